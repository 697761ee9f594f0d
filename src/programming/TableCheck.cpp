#include "programming/TableCheck.h"

#include "table/NumberText.h"

#include <cmath>

namespace TableCheck {
namespace {
const QString CrLf = QStringLiteral("\r\n");
constexpr int StyleNone = 0, StyleCritical = 16, StyleInformation = 64;

bool readsAsNumber(const QString& text) { return NumberText::toNumber(text).has_value(); }
} // namespace

std::optional<double> inputValue(const QString& text, InputKind kind)
{
    return NumberText::toNumber(kind ? NumberText::normalForm(text, ValueRules::inputDecimals(*kind)) : text);
}

int check(const QList<PointRow>& rows, InputKind kind)
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

    for (int r = 0; kind && r < v.size(); ++r) {
        const bool later = r > 0;
        const double span = later ? std::fabs(v[r] - v[r - 1]) : 0.0;
        switch (*kind) {
        case InputType::Voltage:
            if (v[r] > 10 || v[r] < -10)
                return VoltageRange;
            if (later && span < 0.0999999)
                return VoltageSpan;
            break;
        case InputType::Current:
            if (later && span < 0.1499999)
                return CurrentSpan;
            if (v[r] > 23 || v[r] < 0)
                return CurrentRange;
            break;
        case InputType::Pulse:
            if (v[r] > 30000 || v[r] < 0)
                return PulseRange;
            if (later && span < 9.99999)
                return PulseSpan;
            break;
        }
    }
    return Passed;
}

std::optional<Message> failureMessage(int code)
{
    const QString spanHint = QStringLiteral("Please correct your values to reflect the minimum input span");
    switch (code) {
    case MissingValue:
        return Message{QStringLiteral("Please enter value for every point or reset the number of points"), StyleNone,
                       QStringLiteral("Missing Point Value")};
    case VoltageRange:
        return Message{QStringLiteral("Input values for Voltage must be between -10.000 and 10.000 (V)"), StyleCritical, {}};
    case CurrentRange:
        return Message{QStringLiteral("Input values for Current must be between 0.000 and 23.000 (mA)"), StyleCritical, {}};
    case VoltageSpan:
        return Message{QStringLiteral("The minimum input span for Voltage is 0.10 VDC") + CrLf + spanHint, StyleInformation, {}};
    case CurrentSpan:
        return Message{QStringLiteral("The minimum input span for Current is 0.15 mA") + CrLf + spanHint, StyleInformation, {}};
    case InputOrder:
        return Message{QStringList{QStringLiteral("Check Input Values and correct one or both of the following:"), QString(),
                                   QStringLiteral("1. Input value is less than a previously entered input value"),
                                   QStringLiteral("2. Input value is the same as a previously entered input value")}
                           .join(CrLf),
                       StyleNone, QStringLiteral("Input Value Error")};
    case PulseRange:
        return Message{QStringLiteral("Input values for Pulse must be between 0 and 30,000 (Hz)"), StyleCritical, {}};
    case PulseSpan:
        return Message{QStringLiteral("The minimum input span for Pulse is 10 Hz") + CrLf + spanHint, StyleInformation, {}};
    default:
        return std::nullopt;
    }
}

} // namespace TableCheck
