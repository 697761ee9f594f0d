#include "table/MeterRules.h"

#include <QCoreApplication>
#include <QLatin1String>
#include <array>

namespace MeterRules {
namespace {

constexpr std::array<InputLimits, 3> InputRows{{
    {InputType::Voltage, "Voltage", "V", -10, 10, 0.10, 2, 0.0999999, 3, true, false, 3, 5, QT_TRANSLATE_NOOP("ValueRules", "Input (V)"), "0.000",
     "10.000", "ddd.ddd", QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between -10.000 and 10.000 (V) for Voltage"),
     QT_TRANSLATE_NOOP("TableCheck", "Input values for Voltage must be between -10.000 and 10.000 (V)"),
     QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Voltage is 0.10 VDC")},
    {InputType::Current, "Current", "mA", 0, 23, 0.15, 2, 0.1499999, 3, false, true, 4, 6, QT_TRANSLATE_NOOP("ValueRules", "Input (mA)"), "4.000",
     "20.000", "ddd.ddd", QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between 0.000 and 23.000 (mA) for Current"),
     QT_TRANSLATE_NOOP("TableCheck", "Input values for Current must be between 0.000 and 23.000 (mA)"),
     QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Current is 0.15 mA")},
    {InputType::Pulse, "Pulse", "Hz", 0, 30000, 10, 0, 9.99999, 1, false, false, 8, 9, QT_TRANSLATE_NOOP("ValueRules", "Input (Hz)"), "0.0",
     "10000.0", "ddddd.d", QT_TRANSLATE_NOOP("ValueRules", "Scale input value must be between 0 and 30,000 (Hz) for Pulse"),
     QT_TRANSLATE_NOOP("TableCheck", "Input values for Pulse must be between 0 and 30,000 (Hz)"),
     QT_TRANSLATE_NOOP("TableCheck", "The minimum input span for Pulse is 10 Hz")},
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
