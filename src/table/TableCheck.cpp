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

// The first broken input rule and its cell.
int checkInputs(const QList<PointRow>& rows, InputKind kind, Cell* at)
{
    const auto fault = [at](int code, int row, int column) {
        if (at)
            *at = Cell{row, column};
        return code;
    };
    // Presence: an empty cell, or one that does not read as a number, is a missing value.
    for (int r = 0; r < rows.size(); ++r) {
        if (rows[r].input.isEmpty() || !readsAsNumber(rows[r].input))
            return fault(MissingValue, r, 1);
        if (rows[r].display.isEmpty() || !readsAsNumber(rows[r].display))
            return fault(MissingValue, r, 2);
    }

    // Values compared are those sent: the input type's normal form.
    QList<double> v;
    v.reserve(rows.size());
    for (const PointRow& row : rows)
        v.append(*inputValue(row.input, kind));

    for (int r = 1; r < v.size(); ++r)
        if (v[r - 1] >= v[r])
            return fault(InputOrder, r, 1);

    if (!kind)
        return Passed;
    const MeterRules::InputLimits& limits = MeterRules::inputLimits(*kind);
    for (int r = 0; r < v.size(); ++r) {
        const bool outOfRange = v[r] > limits.high || v[r] < limits.low;
        const bool tooClose = r > 0 && std::fabs(v[r] - v[r - 1]) < limits.stepThreshold;
        if (limits.spanFirst && tooClose)
            return fault(limits.spanCode, r, 1);
        if (outOfRange)
            return fault(limits.rangeCode, r, 1);
        if (tooClose)
            return fault(limits.spanCode, r, 1);
    }
    return Passed;
}
} // namespace

bool isRuleCode(int code)
{
    if (code == MissingValue || code == InputOrder || code == DisplayRange)
        return true;
    for (const MeterRules::InputLimits& row : MeterRules::inputTypes())
        if (code == row.rangeCode || code == row.spanCode)
            return true;
    return false;
}

std::optional<double> inputValue(const QString& text, InputKind kind)
{
    return NumberText::toNumber(kind ? NumberText::normalForm(text, MeterRules::inputLimits(*kind).decimals) : text);
}

int check(const QList<PointRow>& rows, InputKind kind, const QString& format)
{
    if (const int code = checkInputs(rows, kind, nullptr); code != Passed)
        return code;
    return displayOutOfRange(rows, format) ? DisplayRange : Passed;
}

std::optional<Cell> failingCell(const QList<PointRow>& rows, InputKind kind, const QString& format)
{
    Cell at;
    if (checkInputs(rows, kind, &at) != Passed)
        return at;
    if (const int point = displayOutOfRange(rows, format))
        return Cell{point - 1, 2};
    return std::nullopt;
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
    for (const MeterRules::InputLimits& row : MeterRules::inputTypes()) {
        if (code == row.rangeCode)
            return Message{QCoreApplication::translate("TableCheck", row.rangeMessage), StyleCritical, {}};
        if (code == row.spanCode)
            return Message{QCoreApplication::translate("TableCheck", row.spanMessage) + CrLf +
                               QCoreApplication::translate("TableCheck", "Please correct your values to reflect the minimum input span"),
                           StyleInformation, {}};
    }
    switch (code) {
    case MissingValue:
        return Message{QCoreApplication::translate("TableCheck", "Please enter value for every point or reset the number of points"), StyleNone,
                       QCoreApplication::translate("TableCheck", "Missing Point Value")};
    case InputOrder:
        return Message{QStringList{QCoreApplication::translate("TableCheck", "Check Input Values and correct one or both of the following:"), QString(),
                                   QCoreApplication::translate("TableCheck", "1. Input value is less than a previously entered input value"),
                                   QCoreApplication::translate("TableCheck", "2. Input value is the same as a previously entered input value")}
                           .join(CrLf),
                       StyleNone, QCoreApplication::translate("TableCheck", "Input Value Error")};
    case DisplayRange:
        return Message{ValueRules::displayMessage(table.format) + CrLf +
                           QCoreApplication::translate("TableCheck", "Point %1 is outside this range.").arg(displayOutOfRange(table.rows, table.format)),
                       StyleNone, QCoreApplication::translate("ValueRules", ValueRules::DisplayTitle)};
    default: return std::nullopt;
    }
}

} // namespace TableCheck
