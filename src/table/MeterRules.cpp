#include "table/MeterRules.h"

#include <QCoreApplication>
#include <QLatin1String>
#include <array>

namespace MeterRules {
namespace {

constexpr std::array<InputLimits, 3> InputRows{{
    {.type = InputType::Voltage, .name = "Voltage", .unit = "V", .low = -10, .high = 10, .minStep = 0.10, .minStepDecimals = 2,
     .stepThreshold = 0.0999999, .decimals = 3, .negativeAllowed = true, .spanFirst = false, .rangeCode = 3, .spanCode = 5,
     .heading = QT_TRANSLATE_NOOP("ValueRules", "Input (V)"), .point1 = "0.000", .point2 = "10.000", .format = "ddd.ddd",
     .typedMessage = QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between -10.000 and 10.000 (V) for Voltage"),
     .rangeMessage = QT_TRANSLATE_NOOP("TableCheck", "Input values for Voltage must be between -10.000 and 10.000 (V)"),
     .spanMessage = QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Voltage is 0.10 VDC")},
    {.type = InputType::Current, .name = "Current", .unit = "mA", .low = 0, .high = 23, .minStep = 0.15, .minStepDecimals = 2,
     .stepThreshold = 0.1499999, .decimals = 3, .negativeAllowed = false, .spanFirst = true, .rangeCode = 4, .spanCode = 6,
     .heading = QT_TRANSLATE_NOOP("ValueRules", "Input (mA)"), .point1 = "4.000", .point2 = "20.000", .format = "ddd.ddd",
     .typedMessage = QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between 0.000 and 23.000 (mA) for Current"),
     .rangeMessage = QT_TRANSLATE_NOOP("TableCheck", "Input values for Current must be between 0.000 and 23.000 (mA)"),
     .spanMessage = QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Current is 0.15 mA")},
    {.type = InputType::Pulse, .name = "Pulse", .unit = "Hz", .low = 0, .high = 30000, .minStep = 10, .minStepDecimals = 0,
     .stepThreshold = 9.99999, .decimals = 1, .negativeAllowed = false, .spanFirst = false, .rangeCode = 8, .spanCode = 9,
     .heading = QT_TRANSLATE_NOOP("ValueRules", "Input (Hz)"), .point1 = "0.0", .point2 = "10000.0", .format = "ddddd.d",
     .typedMessage = QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between 0 and 30,000 (Hz) for Pulse"),
     .rangeMessage = QT_TRANSLATE_NOOP("TableCheck", "Input values for Pulse must be between 0 and 30,000 (Hz)"),
     .spanMessage = QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Pulse is 10 Hz")},
}};

// A row's failure codes are its own, and none is a code of another kind of failure: 0 success,
// 1 communication, 2 missing value, 7 order, 10 firmware, 11 port, 12 log, 13 display range,
// 64 usage (the exit statuses of `program`).
constexpr bool codesDistinct()
{
    std::array<int, 9> taken{0, 1, 2, 7, 10, 11, 12, 13, 64};
    for (std::size_t i = 0; i < InputRows.size(); ++i) {
        const InputLimits& row = InputRows[i];
        if (row.rangeCode == row.spanCode || row.rangeCode < 2 || row.spanCode < 2 || row.rangeCode > 63 || row.spanCode > 63)
            return false;
        for (int code : taken)
            if (row.rangeCode == code || row.spanCode == code)
                return false;
        for (std::size_t j = 0; j < i; ++j)
            for (int code : {InputRows[j].rangeCode, InputRows[j].spanCode})
                if (row.rangeCode == code || row.spanCode == code)
                    return false;
        if (int(row.type) != int(i)) // rows in the enumeration's order
            return false;
    }
    return true;
}
static_assert(codesDistinct(), "every input type needs failure codes of its own");

constexpr std::array<DisplayLimits, 6> DisplayRows{{
    {"dddddd", -99999, 999999, 0, "-99999", "999999"},
    {"ddddd.d", -9999.9, 99999.9, 1, "-9999.9", "99999.9"},
    {"dddd.dd", -999.99, 9999.99, 2, "-999.99", "9999.99"},
    {"ddd.ddd", -99.999, 999.999, 3, "-99.999", "999.999"},
    {"dd.dddd", -9.9999, 99.9999, 4, "-9.9999", "99.9999"},
    {"d.ddddd", -9.9999, 9.99999, 5, "-9.9999", "9.99999"},
}};

constexpr bool formatsInOrder()
{
    for (std::size_t i = 0; i < DisplayRows.size(); ++i)
        if (DisplayRows[i].decimals != int(i))
            return false;
    return true;
}
static_assert(formatsInOrder(), "a format's position in the list is its number of decimals");

} // namespace

const QStringList& bauds()
{
    static const QStringList rates{"300", "600", "1200", "2400", "4800", "9600", "19200"};
    return rates;
}

QString alternatives(const QStringList& choices)
{
    if (choices.size() < 2)
        return choices.join(QString());
    return choices.mid(0, choices.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + choices.constLast();
}

std::span<const InputLimits> inputTypes() { return InputRows; }

QStringList inputTypeNames()
{
    QStringList names;
    for (const InputLimits& row : InputRows)
        names << QLatin1String(row.name);
    return names;
}

const InputLimits& inputLimits(InputType type) { return InputRows[std::size_t(type)]; }

std::optional<InputType> inputTypeNamed(const QString& text)
{
    for (const InputLimits& row : InputRows)
        if (text.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return row.type;
    return std::nullopt;
}

QString inputTypeName(std::optional<InputType> type) { return type ? QLatin1String(inputLimits(*type).name) : QString(); }

int inputDecimals(std::optional<InputType> type) { return type ? inputLimits(*type).decimals : 3; }

std::span<const DisplayLimits> displayFormats() { return DisplayRows; }

std::optional<DisplayLimits> displayLimits(const QString& format)
{
    for (const DisplayLimits& row : DisplayRows)
        if (format == QLatin1String(row.format))
            return row;
    return std::nullopt;
}

} // namespace MeterRules
