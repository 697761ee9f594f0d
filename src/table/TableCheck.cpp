#include "table/TableCheck.h"

#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QCoreApplication>
#include <cmath>

namespace TableCheck {
namespace {
const QString CrLf = QStringLiteral("\r\n");
constexpr int StyleNone = 0, StyleCritical = 16, StyleInformation = 64;

bool readsAsNumber(const QString& text) { return NumberText::toNumber(text).has_value(); }

int checkInputs(const QList<PointRow>& rows, InputKind kind)
{
    // Presence: an empty cell, or one that does not read as a number, is a missing value.
    for (const PointRow& row : rows) {
        if (row.input.isEmpty() || !readsAsNumber(row.input))
            return MissingValue;
        if (row.display.isEmpty() || !readsAsNumber(row.display))
            return MissingValue;
    }

    // Values compared are those sent: the input type's normal form.
    QList<double> v;
    v.reserve(rows.size());
    for (const PointRow& row : rows)
        v.append(*inputValue(row.input, kind));

    for (int r = 1; r < v.size(); ++r)
        if (v[r - 1] >= v[r])
            return InputOrder;

    if (!kind)
        return Passed;
    const MeterRules::InputLimits& limits = MeterRules::inputLimits(*kind);
    // Current tests the span before the range; Voltage and Pulse the range first.
    const bool spanFirst = *kind == InputType::Current;
    const Code rangeCode = *kind == InputType::Voltage ? VoltageRange : *kind == InputType::Current ? CurrentRange : PulseRange;
    const Code spanCode = *kind == InputType::Voltage ? VoltageSpan : *kind == InputType::Current ? CurrentSpan : PulseSpan;
    for (int r = 0; r < v.size(); ++r) {
        const bool outOfRange = v[r] > limits.high || v[r] < limits.low;
        const bool tooClose = r > 0 && std::fabs(v[r] - v[r - 1]) < limits.stepThreshold;
        if (spanFirst && tooClose)
            return spanCode;
        if (outOfRange)
            return rangeCode;
        if (tooClose)
            return spanCode;
    }
    return Passed;
}
} // namespace

std::optional<double> inputValue(const QString& text, InputKind kind)
{
    return NumberText::toNumber(kind ? NumberText::normalForm(text, MeterRules::inputLimits(*kind).decimals) : text);
}

int check(const QList<PointRow>& rows, InputKind kind, const QString& format)
{
    if (const int code = checkInputs(rows, kind); code != Passed)
        return code;
    return displayOutOfRange(rows, format) ? DisplayRange : Passed;
}

int displayOutOfRange(const QList<PointRow>& rows, const QString& format)
{
    for (int r = 0; r < rows.size(); ++r)
        if (ValueRules::checkDisplay(rows[r].display, format).rejected)
            return r + 1;
    return 0;
}

std::optional<Message> failureMessage(int code, const PointTable& table)
{
    const QString spanHint = QCoreApplication::translate("TableCheck", "Please correct your values to reflect the minimum input span");
    switch (code) {
    case MissingValue:
        return Message{QCoreApplication::translate("TableCheck", "Please enter value for every point or reset the number of points"), StyleNone,
                       QCoreApplication::translate("TableCheck", "Missing Point Value")};
    case VoltageRange: return Message{QCoreApplication::translate("TableCheck", "Input values for Voltage must be between -10.000 and 10.000 (V)"), StyleCritical, {}};
    case CurrentRange: return Message{QCoreApplication::translate("TableCheck", "Input values for Current must be between 0.000 and 23.000 (mA)"), StyleCritical, {}};
    case VoltageSpan:
        return Message{QCoreApplication::translate("TableCheck", "The minimum input span for Voltage is 0.10 VDC") + CrLf + spanHint, StyleInformation, {}};
    case CurrentSpan:
        return Message{QCoreApplication::translate("TableCheck", "The minimum input span for Current is 0.15 mA") + CrLf + spanHint, StyleInformation, {}};
    case InputOrder:
        return Message{QStringList{QCoreApplication::translate("TableCheck", "Check Input Values and correct one or both of the following:"), QString(),
                                   QCoreApplication::translate("TableCheck", "1. Input value is less than a previously entered input value"),
                                   QCoreApplication::translate("TableCheck", "2. Input value is the same as a previously entered input value")}
                           .join(CrLf),
                       StyleNone, QCoreApplication::translate("TableCheck", "Input Value Error")};
    case PulseRange: return Message{QCoreApplication::translate("TableCheck", "Input values for Pulse must be between 0 and 30,000 (Hz)"), StyleCritical, {}};
    case PulseSpan: return Message{QCoreApplication::translate("TableCheck", "The minimum input span for Pulse is 10 Hz") + CrLf + spanHint, StyleInformation, {}};
    case DisplayRange:
        return Message{ValueRules::displayMessage(table.format) + CrLf +
                           QCoreApplication::translate("TableCheck", "Point %1 is outside this range.").arg(displayOutOfRange(table.rows, table.format)),
                       StyleNone, QCoreApplication::translate("ValueRules", ValueRules::DisplayTitle)};
    default: return std::nullopt;
    }
}

} // namespace TableCheck
