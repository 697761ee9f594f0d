#include "table/ValueRules.h"

#include "table/NumberText.h"

#include <QCoreApplication>

namespace ValueRules {

const char* const ScaleTitle = QT_TRANSLATE_NOOP("ValueRules", "Invalid Scale Value");
const char* const DisplayTitle = QT_TRANSLATE_NOOP("ValueRules", "Invalid Display Value");
const char* const DisplayHeading = "  Display";

namespace {
bool below(const QString& value, const char* bound)
{
    return NumberText::leadingValue(value) < NumberText::leadingValue(QLatin1String(bound));
}
bool above(const QString& value, const char* bound)
{
    return NumberText::leadingValue(value) > NumberText::leadingValue(QLatin1String(bound));
}
} // namespace

QString inputMessage(InputType type) { return QCoreApplication::translate("ValueRules", MeterRules::inputLimits(type).typedMessage); }

QString displayMessage(const QString& format)
{
    const std::optional<MeterRules::DisplayLimits> limits = MeterRules::displayLimits(format);
    if (!limits)
        return {};
    return QCoreApplication::translate("ValueRules", "Display value must be between %1 and %2 for selected decimal pt.")
        .arg(QLatin1String(limits->lowText), QLatin1String(limits->highText));
}

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
    out.text = NumberText::normalForm(text, MeterRules::inputDecimals(type));
    const double v = NumberText::leadingValue(out.text);
    const MeterRules::InputLimits& limits = MeterRules::inputLimits(type);
    // A minus sign refuses a type without negative values, even on a text reading as zero.
    out.rejected = (minus && !limits.negativeAllowed) || v < limits.low || v > limits.high;
    if (out.rejected) {
        out.text.clear();
        out.message = inputMessage(type);
        out.title = QCoreApplication::translate("ValueRules", ScaleTitle);
    }
    return out;
}

CheckResult checkDisplay(const QString& text, const QString& format)
{
    CheckResult out;
    out.text = text;
    const std::optional<MeterRules::DisplayLimits> limits = MeterRules::displayLimits(format);
    if (text.isEmpty() || !limits)
        return out;
    out.text = normalValue(text, limits->decimals);
    out.rejected = below(out.text, limits->lowText) || above(out.text, limits->highText);
    if (out.rejected) {
        out.text.clear();
        out.message = displayMessage(format);
        out.title = QCoreApplication::translate("ValueRules", DisplayTitle);
    }
    return out;
}

CheckResult refuseNonNumber(const QString& text, bool inputColumn, std::optional<InputType> type, const QString& format)
{
    CheckResult out;
    out.text = text;
    if (text.trimmed().isEmpty() || NumberText::toNumber(text))
        return out;
    out.text.clear();
    out.rejected = true;
    if (inputColumn) {
        out.message = type ? inputMessage(*type) : QCoreApplication::translate("ValueRules", "Scale input value must be a number");
        out.title = QCoreApplication::translate("ValueRules", ScaleTitle);
    } else {
        out.message = displayMessage(format);
        if (out.message.isEmpty())
            out.message = QCoreApplication::translate("ValueRules", "Display value must be a number");
        out.title = QCoreApplication::translate("ValueRules", DisplayTitle);
    }
    return out;
}

const QStringList& decimalFormats()
{
    static const QStringList formats = [] {
        QStringList list;
        for (const MeterRules::DisplayLimits& row : MeterRules::displayFormats())
            list << QLatin1String(row.format);
        return list;
    }();
    return formats;
}

int formatDecimals(const QString& format) { return int(decimalFormats().indexOf(format)); }

QString rescaleDisplay(const QString& text, const QString& format)
{
    const int decimals = formatDecimals(format);
    if (decimals < 0)
        return text;
    if (text.trimmed().isEmpty())
        return QString(); // a missing value stays missing: zero would be sent for it
    return NumberText::shiftedInteger(QString(text).remove(QLatin1Char('.')), decimals);
}

InputDefaults defaultsFor(InputType type)
{
    const MeterRules::InputLimits& row = MeterRules::inputLimits(type);
    return {QCoreApplication::translate("ValueRules", row.heading), QLatin1String(row.point1), QLatin1String(row.point2), QLatin1String(row.format)};
}

} // namespace ValueRules
