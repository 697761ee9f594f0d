#pragma once
// Number texts: values held as text with "." as the decimal separator, whatever the
// locale, never with a thousands separator. Rounding works on the decimal digits as
// written (string arithmetic), half away from zero.
#include <QString>
#include <optional>

namespace NumberText {

// The text written with exactly `decimals` decimals ("0", "0.0" ... "0.00000" patterns).
// With dropZeroInteger the integer digit 0 of a value between -1 and 1 is left out
// (".00000" pattern: -0.5 -> "-.50000"). A text that does not read as a number
// (a lone "-" or ".") is returned unchanged.
QString normalForm(const QString& text, int decimals, bool dropZeroInteger = false);

// The number formed by the text's longest leading part that reads as a decimal number
// (optional sign, digits, one "."); 0 when there is none.
double leadingValue(const QString& text);

// The whole text (surrounding blanks allowed) as a decimal number with "."; nullopt when it is not one.
std::optional<double> toNumber(const QString& text);

} // namespace NumberText
