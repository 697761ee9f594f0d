#pragma once
// The meter's own limits on a linearization table: how many points it holds, the range,
// resolution and smallest step of each input type, and the range and decimals of each
// decimal-point format. Every part that checks, builds or draws a table reads them here.
#include <QString>
#include <optional>

enum class InputType { Voltage, Current, Pulse };

namespace MeterRules {

constexpr int MinPoints = 2;
constexpr int MaxPoints = 32;

struct InputLimits {
    double low = 0; // inclusive range of an input value
    double high = 0;
    double minStep = 0;       // smallest rise between neighbouring points: 0.10 V, 0.15 mA, 10 Hz
    double stepThreshold = 0; // a rise below this breaks the step rule (just under minStep)
    int decimals = 0;         // decimals of an input value's normal form
    bool negativeAllowed = false;
    const char* unit = ""; // "V", "mA", "Hz"
    const char* name = ""; // "Voltage", "Current", "Pulse", as the window's options say
};
const InputLimits& inputLimits(InputType type);
// The type whose name is the text (any letter case); nullopt for none.
std::optional<InputType> inputTypeNamed(const QString& text);

struct DisplayLimits {
    double low = 0; // inclusive range of a display value
    double high = 0;
    int decimals = 0;
    const char* lowText = ""; // the bounds as the meter's messages write them
    const char* highText = "";
};
// nullopt when the text is none of the six formats.
std::optional<DisplayLimits> displayLimits(const QString& format);

} // namespace MeterRules
