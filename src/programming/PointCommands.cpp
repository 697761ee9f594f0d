#include "programming/PointCommands.h"

#include "table/ValueRules.h"

namespace PointCommands {

Prefixes setV() { return {QStringLiteral("2A2"), QStringLiteral("2A0")}; }
Prefixes setI() { return {QStringLiteral("2A3"), QStringLiteral("2A1")}; }

int pointCount(const QString& text)
{
    for (int n = MeterRules::MinPoints; n <= MeterRules::MaxPoints; ++n)
        if (text == QString::number(n))
            return n;
    return 0;
}

QList<QList<Ref>> groups(int points)
{
    QList<QList<Ref>> out;
    if (points < MeterRules::MinPoints || points > MeterRules::MaxPoints)
        return out;
    out.append({{1, false}, {2, false}, {1, true}, {2, true}});
    for (int k = 3; k <= points; ++k)
        out.append({{k, false}, {k, true}});
    return out;
}

QString valueDigits(const QString& text, int decimals)
{
    QString normal = decimals >= 0 ? ValueRules::normalValue(text, decimals) : text;
    return normal.remove(QLatin1Char('.'));
}

QString command(const Prefixes& set, const Ref& ref, const QString& digits)
{
    return (ref.display ? set.display : set.input) + QStringLiteral("%1").arg(ref.point, 2, 10, QLatin1Char('0')) + digits;
}

QString configurationCommand(InputKind kind)
{
    if (!kind)
        return {};
    switch (*kind) {
    case InputType::Voltage: return QStringLiteral("200030");
    case InputType::Current: return QStringLiteral("201130");
    case InputType::Pulse: return QStringLiteral("208010");
    }
    return {};
}

QString finalCommand(InputKind kind)
{
    if (!kind)
        return {};
    return kind == InputType::Current ? QStringLiteral("33I") : QStringLiteral("33V");
}

} // namespace PointCommands
