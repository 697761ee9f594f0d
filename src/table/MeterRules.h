#pragma once
// The meter's own rules for a linearization table, each written once: how many points it
// holds, the baud rates it talks at, one row per input type (range, resolution, smallest
// step, defaults, the failure codes of the table check and the messages) and one row per
// decimal-point format. Every part that checks, builds, draws or offers a table reads them
// here. A new input type is one more row of inputTypes() (and its commands in the link).
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

enum class InputType { Voltage, Current, Pulse };

namespace MeterRules {

constexpr int MinPoints = 2;
constexpr int MaxPoints = 32;

// The baud rates a meter takes, slowest first: "300" .. "19200".
const QStringList& bauds();
// Choices as a sentence: {"300", "600", "1200"} -> "300, 600 or 1200".
QString alternatives(const QStringList& choices);

struct InputLimits {
    InputType type = InputType::Voltage;
    const char* name = ""; // "Voltage", "Current", "Pulse", as the window's options say
    const char* unit = ""; // "V", "mA", "Hz"
    double low = 0;        // inclusive range of an input value
    double high = 0;
    double minStep = 0;       // smallest rise between neighbouring points: 0.10 V, 0.15 mA, 10 Hz
    int minStepDecimals = 0;  // decimals the messages write the smallest rise with
    double stepThreshold = 0; // a rise below this breaks the step rule (just under minStep)
    int decimals = 0;         // decimals of an input value's normal form
    bool negativeAllowed = false;
    bool spanFirst = false; // the table check tests a row's step before its range
    int rangeCode = 0;      // failure code (and exit status) of a value out of range in the table check
    int spanCode = 0;       // failure code (and exit status) of a rise below the smallest step
    // Defaults put into the table when the type is chosen.
    const char* heading = ""; // input column heading
    const char* point1 = "";  // point 1 input and display
    const char* point2 = "";  // point 2 input and display
    const char* format = "";  // decimal-point format
    // Messages, untranslated: a typed value out of range (context "ValueRules"), the table
    // check's range and step messages (context "TableCheck"), the heading ("ValueRules").
    const char* typedMessage = "";
    const char* rangeMessage = "";
    const char* spanMessage = "";
};
// Every input type, in the order of the window's options.
std::span<const InputLimits> inputTypes();
QStringList inputTypeNames(); // "Voltage", "Current", "Pulse"
const InputLimits& inputLimits(InputType type);
// The type's name; "" with no type selected.
QString inputTypeName(std::optional<InputType> type);
// The type whose name is the text (any letter case); nullopt for none.
std::optional<InputType> inputTypeNamed(const QString& text);
// Decimals of an input value's normal form; with no type selected, three.
int inputDecimals(std::optional<InputType> type);

struct DisplayLimits {
    const char* format = ""; // "dddddd" .. "d.ddddd"
    double low = 0;          // inclusive range of a display value
    double high = 0;
    int decimals = 0;         // also the format's position in the list
    const char* lowText = ""; // the bounds as the meter's messages write them
    const char* highText = "";
};
// The six decimal-point formats in list order.
std::span<const DisplayLimits> displayFormats();
// nullopt when the text is none of the six formats.
std::optional<DisplayLimits> displayLimits(const QString& format);

} // namespace MeterRules
