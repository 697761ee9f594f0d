#pragma once
// Rules of the point table's values: the normal forms and ranges of input and display
// values with their messages, the input types' defaults, and the decimal-point formats
// with the rescale that moves the point of a display value.
#include <QString>
#include <QStringList>
#include <optional>

#include "table/MeterRules.h"

namespace ValueRules {

// Outcome of checking one typed value: the text to keep (its normal form, or "" when
// rejected) and, for a rejection, the message and its title.
struct CheckResult {
    QString text;
    bool rejected = false;
    QString message;
    QString title;
};

extern const char* const ScaleTitle;   // "Invalid Scale Value"
extern const char* const DisplayTitle; // "Invalid Display Value"

// Input value in the type's normal form and range. An empty text passes unchanged.
CheckResult checkInput(const QString& text, InputType type);
// Display value in the format's normal form and range. An empty text, or a format that
// is none of the six, passes unchanged.
CheckResult checkDisplay(const QString& text, const QString& format);

// A pasted or imported text that is not a number, refused with the message its column gives
// a refused typed value (the input type's, or the format's); not rejected for a number or a
// text of blanks. Without an input type or a known format the message asks for a number.
CheckResult refuseNonNumber(const QString& text, bool inputColumn, std::optional<InputType> type, const QString& format);

// A value in its normal form with `decimals` decimals; with five decimals a negative value
// is written without its integer 0 (-0.5 -> "-.50000"), as the "d.ddddd" display shows it.
QString normalValue(const QString& text, int decimals);

QString inputMessage(InputType type);
QString displayMessage(const QString& format); // "" for an unknown format

// The six decimal-point formats in list order; a format's position is its number of decimals.
const QStringList& decimalFormats();
int formatDecimals(const QString& format); // -1 when the text is none of the six
// A display text with its decimal point moved to the format: the digits stay.
// "12.345" under "ddddd.d" -> "1234.5"; an empty (blank) text stays empty. Unknown format: unchanged.
QString rescaleDisplay(const QString& text, const QString& format);

struct InputDefaults {
    QString heading; // input column heading
    QString point1;  // point 1 input and display
    QString point2;  // point 2 input and display
    QString format;  // decimal-point format
};
InputDefaults defaultsFor(InputType type);
extern const char* const DisplayHeading; // "  Display"

} // namespace ValueRules
