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
// (a lone "-" or ".") is returned unchanged. A value that rounds to zero is written
// without a sign.
QString normalForm(const QString& text, int decimals, bool dropZeroInteger = false);

// The number formed by the text's longest leading part that reads as a decimal number
// (optional sign, digits, one "."); 0 when there is none. Leading blanks are skipped.
double leadingValue(const QString& text);

// The whole text as a decimal number: blanks (space, tab) around an optional sign, digits
// with at most one ".", and an optional exponent of 1 to 3 digits ("1.5E3"); nullopt when
// it is not one or does not fit a double. The one reader of number texts.
std::optional<double> toNumber(const QString& text);

// The first `keep` digits of a digit string (0-9 only), rounded half away from zero on
// the digits dropped; a carry out of the first digit adds a leading "1" (the result is
// then one digit longer). keep 0 gives "" or "1"; keep < 0 gives "". The one rounding
// of decimal digits, used by the normal forms and by the spreadsheet's displayed text.
QString roundDigits(const QString& digits, int keep);

// The leading decimal number of a text as written ("-12.5" from "-12.5abc"); "" when there is none.
QString leadingNumberText(const QString& text);

// Exact comparison of two number texts: -1, 0 or 1; nullopt when either is not a number.
std::optional<int> compare(const QString& a, const QString& b);

// The leading integer of a text (blanks skipped, optional sign, digits; reading stops at
// the first other character), divided by 10^decimals and written with `decimals`
// decimals, exactly. "12345", 1 -> "1234.5"; "-1500", 2 -> "-15.00"; "" -> "0.00".
QString shiftedInteger(const QString& text, int decimals);

} // namespace NumberText
