#include "table/MeterRules.h"

#include <QLatin1String>

namespace MeterRules {

const InputLimits& inputLimits(InputType type)
{
    static const InputLimits voltage{-10, 10, 0.10, 0.0999999, 3, true, "V", "Voltage"};
    static const InputLimits current{0, 23, 0.15, 0.1499999, 3, false, "mA", "Current"};
    static const InputLimits pulse{0, 30000, 10, 9.99999, 1, false, "Hz", "Pulse"};
    switch (type) {
    case InputType::Voltage: return voltage;
    case InputType::Current: return current;
    case InputType::Pulse: break;
    }
    return pulse;
}

std::optional<InputType> inputTypeNamed(const QString& text)
{
    for (InputType type : {InputType::Voltage, InputType::Current, InputType::Pulse})
        if (text.compare(QLatin1String(inputLimits(type).name), Qt::CaseInsensitive) == 0)
            return type;
    return std::nullopt;
}

std::optional<DisplayLimits> displayLimits(const QString& format)
{
    struct Entry {
        const char* format;
        DisplayLimits limits;
    };
    static const Entry entries[] = {
        {"dddddd", {-99999, 999999, 0, "-99999", "999999"}},      {"ddddd.d", {-9999.9, 99999.9, 1, "-9999.9", "99999.9"}},
        {"dddd.dd", {-999.99, 9999.99, 2, "-999.99", "9999.99"}}, {"ddd.ddd", {-99.999, 999.999, 3, "-99.999", "999.999"}},
        {"dd.dddd", {-9.9999, 99.9999, 4, "-9.9999", "99.9999"}}, {"d.ddddd", {-9.9999, 9.99999, 5, "-9.9999", "9.99999"}},
    };
    for (const Entry& e : entries)
        if (format == QLatin1String(e.format))
            return e.limits;
    return std::nullopt;
}

} // namespace MeterRules
