#include "table/CurveModel.h"

#include "table/NumberText.h"

#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {
// An axis over [lo, hi] with about five steps of 1, 2 or 5 times a power of ten, no finer
// than the last decimal written.
CurveModel::Axis makeAxis(const QString& title, double lo, double hi, int decimals)
{
    CurveModel::Axis axis;
    axis.title = title;
    axis.decimals = decimals;
    if (hi - lo <= 0) { // one value, or none: room around it
        const double pad = std::max(std::fabs(lo) * 0.1, 1.0);
        lo -= pad;
        hi += pad;
    }
    const double raw = (hi - lo) / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    double step = (norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10) * magnitude;
    step = std::max(step, std::pow(10.0, -decimals));
    const long first = long(std::floor(lo / step + 1e-9));
    long last = long(std::ceil(hi / step - 1e-9));
    if (last == first)
        ++last;
    for (long k = first; k <= last; ++k)
        axis.ticks.append(k == 0 ? 0.0 : k * step);
    axis.low = axis.ticks.first();
    axis.high = axis.ticks.last();
    return axis;
}
} // namespace

QString CurveModel::Axis::label(double value) const { return NumberText::normalForm(QLocale::c().toString(value, 'f', 10), decimals); }

void CurveModel::update(const QList<PointRow>& rows, std::optional<InputType> type, const QString& format, const QString& inputTitle,
                        const TableRule& rule)
{
    const int inputDecimals = MeterRules::inputDecimals(type);
    m_points.clear();
    m_missing.clear();
    m_text.clear();
    m_broken = 0;

    QList<PointRow> complete;
    QStringList missingText;
    for (int i = 0; i < rows.size(); ++i) {
        // Read as the check reads them: the input in the type's normal form.
        const std::optional<double> x = NumberText::toNumber(type ? NumberText::normalForm(rows[i].input, inputDecimals) : rows[i].input);
        const std::optional<double> y = NumberText::toNumber(rows[i].display);
        const bool noInput = !x || !std::isfinite(*x), noDisplay = !y || !std::isfinite(*y);
        if (!noInput && !noDisplay) {
            m_points.append({i + 1, *x, *y});
            complete.append(rows[i]);
            continue;
        }
        m_missing.append(i + 1);
        const QString what = noInput && noDisplay ? QCoreApplication::translate("CurveModel", "values")
                             : noInput            ? QCoreApplication::translate("CurveModel", "input value")
                                                  : QCoreApplication::translate("CurveModel", "display value");
        if (m_missing.size() == 1)
            missingText << QCoreApplication::translate("CurveModel", "Point %1 has no %2").arg(i + 1).arg(what);
    }
    if (m_missing.size() > 1)
        missingText[0] += QCoreApplication::translate("CurveModel", " (%1 more incomplete)").arg(m_missing.size() - 1);
    m_text = missingText;

    // The points drawn are checked as a table of their own, so a point that breaks a rule
    // shows while others are still empty. The broken point is the end of the shortest run
    // of points from the first that breaks the same rule.
    const QString verdict = rule ? rule(complete) : QString();
    if (!verdict.isEmpty()) {
        for (int k = 1; k <= complete.size() && !m_broken; ++k)
            if (rule(complete.mid(0, k)) == verdict)
                m_broken = m_points[k - 1].number;
        // The first line names the point that breaks the rule.
        QString prefix = m_broken ? QCoreApplication::translate("CurveModel", "point %1: ").arg(m_broken) : QString();
        for (const QString& line : verdict.split(QStringLiteral("\r\n")))
            if (!line.isEmpty()) {
                m_text << prefix + line;
                prefix.clear();
            }
    } else if (m_missing.isEmpty()) {
        m_text << QCoreApplication::translate("CurveModel", "Table OK, %1 points").arg(rows.size());
    }

    double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    if (!m_points.isEmpty()) {
        const auto byInput = [](const Point& a, const Point& b) { return a.input < b.input; };
        const auto byDisplay = [](const Point& a, const Point& b) { return a.display < b.display; };
        const auto [xmin, xmax] = std::minmax_element(m_points.begin(), m_points.end(), byInput);
        const auto [ymin, ymax] = std::minmax_element(m_points.begin(), m_points.end(), byDisplay);
        xlo = xmin->input, xhi = xmax->input, ylo = ymin->display, yhi = ymax->display;
    }
    m_x = makeAxis(inputTitle, xlo, xhi, inputDecimals);
    m_y = makeAxis(QCoreApplication::translate("frmMain", "Display"), ylo, yhi, std::max(ValueRules::formatDecimals(format), 0));
}
