#pragma once
// The text a spreadsheet shows for a number under a number format code. Numbers are
// rounded on their decimal digits (at most 15 significant digits, as a spreadsheet
// keeps them), half away from zero, and written with "." whatever the locale.
#include <QString>

namespace Spreadsheet {

// "General" (or an empty code): up to 10 significant digits, no trailing zeros,
// scientific notation for very large or very small magnitudes.
QString formatGeneral(double value);

// Any number format code: "0", "0.00", "#,##0.00", "0%", "0.00E+00", "0.0;(0.0)",
// "yyyy-mm-dd", ... Codes that cannot be followed exactly are approximated.
QString formatNumber(double value, const QString& code);

// True when a section of the format code shows the number as a date or a time.
bool isDateFormat(const QString& code);

// The number's digits written with exactly `decimals` decimals, rounded half away from zero.
QString fixedText(double value, int decimals);

} // namespace Spreadsheet
