#include "fitting/FitReport.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "table/MeterRules.h"
#include "table/ValueRules.h"

namespace {

QString fixed(double v, int decimals) { return QString::number(v, 'f', std::max(decimals, 0)); }

// A JSON string literal.
QString jsonText(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

} // namespace

namespace FitReport {

Figures figures(const Fitting::Result& r, const Fitting::Request& q)
{
    const MeterRules::InputLimits& in = MeterRules::inputLimits(q.type);
    Figures f;
    f.maxError = fixed(r.maxError, ValueRules::formatDecimals(q.format) + 2);
    f.percent = fixed(r.maxErrorPercent, 3);
    f.at = fixed(r.maxErrorAt, in.decimals);
    f.unit = QLatin1String(in.unit);
    if (r.lowerBound > 0)
        f.lowerBound = fixed(r.lowerBound, ValueRules::formatDecimals(q.format) + 2);
    // Against a bound under half a display unit a percentage says nothing (the bound may be 0):
    // a table within half a unit of it is then said to be so, in display units.
    const int decimals = ValueRules::formatDecimals(q.format);
    const double halfUnit = 0.5 * std::pow(10.0, -decimals);
    if (r.lowerBound >= halfUnit)
        f.aboveBest = fixed(std::max(0.0, 100 * (r.maxError - r.lowerBound) / r.lowerBound), 1);
    else if (!r.table.isEmpty() && r.maxError - r.lowerBound < halfUnit)
        f.aboveBy = fixed(std::max(0.0, r.maxError - r.lowerBound), decimals + 2);
    f.ends = q.placement == Fitting::Placement::OnData || !q.freeEnds ? QStringLiteral("source") : QStringLiteral("free");
    if (!q.maxError && r.fewestPoints > 0 && r.fewestPoints < r.table.size())
        f.fewestPoints = r.fewestPoints;
    return f;
}

QString summary(const Fitting::Result& r, const Fitting::Request& q)
{
    const Figures f = figures(r, q);
    QString line = QCoreApplication::translate("FitMode", "max error %1 (%2 % of span) at %3 %4").arg(f.maxError, f.percent, f.at, f.unit);
    if (!f.aboveBest.isEmpty())
        line += QCoreApplication::translate("FitMode", ", within %1 % of the best possible").arg(f.aboveBest);
    else if (!f.aboveBy.isEmpty())
        line += QCoreApplication::translate("FitMode", ", within %1 of the best possible").arg(f.aboveBy);
    line += f.ends == QLatin1String("free") ? QCoreApplication::translate("FitMode", "; ends free") : QCoreApplication::translate("FitMode", "; ends on the source");
    if (!r.limitingText.isEmpty())
        line += QCoreApplication::translate("FitMode", "; limited by the ") + r.limitingText;
    if (f.fewestPoints > 0)
        line += QCoreApplication::translate("FitMode", "; %1 points reach the same error").arg(f.fewestPoints);
    return line;
}

QString json(const Fitting::Result& r, const Fitting::Request& q, const QString& source)
{
    const Figures f = figures(r, q);
    QStringList points;
    for (const Fitting::Point& p : r.table)
        points << QStringLiteral("{\"input\": %1, \"display\": %2}").arg(jsonText(p.input), jsonText(p.display));
    const QString null = QStringLiteral("null");
    return QStringLiteral("{\"source\": %1, \"ends\": \"%2\", \"points\": [%3], \"max_error\": %4, \"at\": %5, \"unit\": %6, "
                          "\"percent_of_span\": %7, \"limit\": %8, \"lower_bound\": %9, \"fewest_points\": %10}")
        .arg(jsonText(source), f.ends, points.join(QStringLiteral(", ")), f.maxError, f.at, jsonText(f.unit), f.percent,
             r.limitingText.isEmpty() ? null : jsonText(r.limitingText), f.lowerBound.isEmpty() ? null : f.lowerBound)
        .arg(f.fewestPoints > 0 ? QString::number(f.fewestPoints) : null);
}

} // namespace FitReport
