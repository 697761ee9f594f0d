#include "table/ValueRules.h"

#include "table/NumberText.h"

namespace ValueRules {

const char* const ScaleTitle = "Invalid Scale Value";
const char* const DisplayTitle = "Invalid Display Value";
const char* const DisplayHeading = "  Display";

namespace {
struct DisplayRange {
    const char* format;
    const char* low;
    const char* high;
};
constexpr DisplayRange kDisplayRanges[] = {
    {"dddddd", "-99999", "999999"},   {"ddddd.d", "-9999.9", "99999.9"}, {"dddd.dd", "-999.99", "9999.99"},
    {"ddd.ddd", "-99.999", "999.999"}, {"dd.dddd", "-9.9999", "99.9999"}, {"d.ddddd", "-9.9999", "9.99999"},
};

bool below(const QString& value, const char* bound)
{
    return NumberText::leadingValue(value) < NumberText::leadingValue(QLatin1String(bound));
}
bool above(const QString& value, const char* bound)
{
    return NumberText::leadingValue(value) > NumberText::leadingValue(QLatin1String(bound));
}
} // namespace

QString inputMessage(InputType type)
{
    switch (type) {
    case InputType::Voltage: return QStringLiteral("Scale input value must be between -10.000 and 10.000 (V) for Voltage");
    case InputType::Current: return QStringLiteral("Scale input value must be between 0.000 and 23.000 (mA) for Current");
    case InputType::Pulse: return QStringLiteral("Scale input value must be between 0 and 30,000 (Hz) for Pulse");
    }
    return {};
}

QString displayMessage(const QString& format)
{
    for (const DisplayRange& r : kDisplayRanges) {
        if (format == QLatin1String(r.format))
            return QStringLiteral("Display value must be between %1 and %2 for selected decimal pt.")
                .arg(QLatin1String(r.low), QLatin1String(r.high));
    }
    return {};
}

int inputDecimals(InputType type) { return type == InputType::Pulse ? 1 : 3; }

QString normalValue(const QString& text, int decimals)
{
    return NumberText::normalForm(text, decimals, decimals == 5 && text.contains(QLatin1Char('-')));
}

CheckResult checkInput(const QString& text, InputType type)
{
    CheckResult out;
    out.text = text;
    if (text.isEmpty())
        return out;
    const bool minus = text.contains(QLatin1Char('-'));
    out.text = NumberText::normalForm(text, inputDecimals(type));
    const double v = NumberText::leadingValue(out.text);
    switch (type) {
    case InputType::Voltage: out.rejected = v < -10 || v > 10; break;
    case InputType::Current: out.rejected = minus || v > 23; break;
    case InputType::Pulse: out.rejected = minus || v > 30000; break;
    }
    if (out.rejected) {
        out.text.clear();
        out.message = inputMessage(type);
        out.title = QLatin1String(ScaleTitle);
    }
    return out;
}

CheckResult checkDisplay(const QString& text, const QString& format)
{
    CheckResult out;
    out.text = text;
    const int decimals = formatDecimals(format);
    if (text.isEmpty() || decimals < 0)
        return out;
    out.text = normalValue(text, decimals);
    const DisplayRange& r = kDisplayRanges[decimals];
    out.rejected = below(out.text, r.low) || above(out.text, r.high);
    if (out.rejected) {
        out.text.clear();
        out.message = displayMessage(format);
        out.title = QLatin1String(DisplayTitle);
    }
    return out;
}

const QStringList& decimalFormats()
{
    static const QStringList formats{QStringLiteral("dddddd"),  QStringLiteral("ddddd.d"), QStringLiteral("dddd.dd"),
                                     QStringLiteral("ddd.ddd"), QStringLiteral("dd.dddd"), QStringLiteral("d.ddddd")};
    return formats;
}

int formatDecimals(const QString& format) { return int(decimalFormats().indexOf(format)); }

QString numberPattern(const QString& format)
{
    const QStringList parts = format.split(QLatin1Char('.'));
    QString before = parts.value(0);
    const int last = int(before.lastIndexOf(QLatin1Char('d')));
    for (int i = 0; i < before.size(); ++i) {
        if (before[i] == QLatin1Char('d'))
            before[i] = i == last ? QLatin1Char('0') : QLatin1Char('#');
    }
    if (parts.size() > 1)
        before += QLatin1Char('.') + QString(parts[1].count(QLatin1Char('d')), QLatin1Char('0'));
    return before;
}

QString rescaleDisplay(const QString& text, const QString& format)
{
    const int decimals = formatDecimals(format);
    if (decimals < 0)
        return text;
    return NumberText::shiftedInteger(QString(text).remove(QLatin1Char('.')), decimals);
}

InputDefaults defaultsFor(InputType type)
{
    switch (type) {
    case InputType::Voltage: return {QStringLiteral("Input (V)"), QStringLiteral("0.000"), QStringLiteral("10.000"), QStringLiteral("ddd.ddd")};
    case InputType::Current: return {QStringLiteral("Input (mA)"), QStringLiteral("4.000"), QStringLiteral("20.000"), QStringLiteral("ddd.ddd")};
    case InputType::Pulse: return {QStringLiteral("Input (Hz)"), QStringLiteral("0.0"), QStringLiteral("10000.0"), QStringLiteral("ddddd.d")};
    }
    return {};
}

} // namespace ValueRules
