#include "fitting/Fit.h"

#include "fitting/FitEngine.h"
#include "fitting/engine/Grids.h"
#include "table/TableCheck.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>

namespace Fitting {
namespace {

constexpr double Pi = 3.14159265358979323846;
// A shape is followed on about this many inputs of the grid, evenly spaced by a divisor of
// the minimum step (every third input over 4-20 mA), and its error then found between them.
constexpr long long MaxShapeRows = 4001;

double cylinderFraction(double u)
{
    const double theta = 2 * std::acos(std::clamp(1 - 2 * u, -1.0, 1.0));
    return (theta - std::sin(theta)) / (2 * Pi);
}
double sphereFraction(double u) { return u * u * (3 - 2 * u); }

double power10(int n)
{
    double v = 1;
    for (int i = 0; i < n; ++i)
        v *= 10;
    return v;
}

// A grid value as text with exactly `decimals` decimals: 4150, 3 -> "4.150".
QString fixedText(long long units, int decimals)
{
    const bool negative = units < 0;
    QString digits = QString::number(negative ? -units : units);
    if (decimals > 0) {
        if (digits.size() <= decimals)
            digits = QString(decimals + 1 - digits.size(), QLatin1Char('0')) + digits;
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    }
    return negative && units != 0 ? QLatin1Char('-') + digits : digits;
}

QString numberText(double v) { return QString::number(v, 'g', 10); }

QString rowName(const DataRow& row, size_t index) { return QStringLiteral("row %1").arg(row.line > 0 ? row.line : int(index) + 1); }

struct Prepared {
    Engine::Problem problem;
    bool shape = false;
    Shape shapeKind;
    Range in, out; // shape: input and display at the ends
    double span = 0;
    double sourceLow = 0, sourceHigh = 0; // smallest and largest display value of the source

    double shapeValue(double x) const
    {
        const double u = std::clamp((x - in.low) / (in.high - in.low), 0.0, 1.0);
        return out.low + (out.high - out.low) * shapeFraction(shapeKind, u);
    }
};

Result failure(Status status, const QString& message)
{
    Result r;
    r.status = status;
    r.message = message;
    return r;
}

QString inputRangeText(InputType type)
{
    const MeterRules::InputLimits& l = MeterRules::inputLimits(type);
    return QStringLiteral("%1 to %2 %3")
        .arg(QString::number(l.low, 'f', l.decimals), QString::number(l.high, 'f', l.decimals), QLatin1String(l.unit));
}

QString minStepText(InputType type)
{
    const MeterRules::InputLimits& l = MeterRules::inputLimits(type);
    return QStringLiteral("%1 %2").arg(QString::number(l.minStep, 'f', l.minStepDecimals), QLatin1String(l.unit));
}

// Error of the table against a shape over [in.low, in.high]: each piece sampled, the largest
// deviation then refined by golden-section search.
double shapeError(const Prepared& s, const QList<Point>& table, double* at)
{
    double worst = -1, where = s.in.low;
    auto consider = [&](double a, double b) {
        if (!(b > a)) {
            const double e = std::fabs(tableValue(table, a) - s.shapeValue(a));
            if (e > worst) {
                worst = e;
                where = a;
            }
            return;
        }
        auto dev = [&](double x) { return std::fabs(tableValue(table, x) - s.shapeValue(x)); };
        constexpr int M = 128;
        int bestI = 0;
        double bestE = -1;
        for (int i = 0; i <= M; ++i) {
            const double e = dev(a + (b - a) * i / M);
            if (e > bestE) {
                bestE = e;
                bestI = i;
            }
        }
        double lo = a + (b - a) * std::max(bestI - 1, 0) / M, hi = a + (b - a) * std::min(bestI + 1, M) / M;
        const double g = (std::sqrt(5.0) - 1) / 2;
        double c = hi - g * (hi - lo), d = lo + g * (hi - lo);
        double fc = dev(c), fd = dev(d);
        for (int i = 0; i < 80; ++i) {
            if (fc > fd) {
                hi = d;
                d = c;
                fd = fc;
                c = hi - g * (hi - lo);
                fc = dev(c);
            } else {
                lo = c;
                c = d;
                fc = fd;
                d = lo + g * (hi - lo);
                fd = dev(d);
            }
        }
        const double xm = (lo + hi) / 2;
        const double candidates[] = {a + (b - a) * bestI / M, xm};
        for (double x : candidates) {
            const double e = dev(x);
            if (e > worst) {
                worst = e;
                where = x;
            }
        }
    };
    const double first = table.front().inputValue, last = table.back().inputValue;
    if (s.in.low < first)
        consider(s.in.low, std::min(first, s.in.high));
    for (int t = 0; t + 1 < table.size(); ++t) {
        const double a = std::max(table[t].inputValue, s.in.low), b = std::min(table[t + 1].inputValue, s.in.high);
        if (b >= a)
            consider(a, b);
    }
    if (last < s.in.high)
        consider(std::max(last, s.in.low), s.in.high);
    if (at)
        *at = where;
    return std::max(worst, 0.0);
}

QList<Point> pointsOf(const Engine::Problem& p, const Engine::Table& t, int inDecimals, int outDecimals)
{
    QList<Point> points;
    for (size_t i = 0; i < t.x.size(); ++i) {
        Point pt;
        pt.input = fixedText(t.x[i], inDecimals);
        pt.display = ValueRules::normalValue(fixedText(t.y[i], outDecimals), outDecimals);
        pt.inputValue = p.inValue(t.x[i]);
        pt.displayValue = p.outValue(t.y[i]);
        points.append(pt);
    }
    return points;
}

// The preview's source samples: every row, or the extremes of each stretch of rows.
std::vector<Sample> thinned(const Engine::Problem& p, int samples)
{
    std::vector<Sample> out;
    const size_t n = p.x.size();
    samples = std::max(samples, 4);
    if (n <= size_t(samples)) {
        for (size_t k = 0; k < n; ++k)
            out.push_back({p.x[k], p.y[k]});
        return out;
    }
    const size_t buckets = size_t(samples) / 2;
    for (size_t b = 0; b < buckets; ++b) {
        if (p.cancelled()) // (a cancelled fit drops them)
            return {};
        const size_t from = b * n / buckets, to = (b + 1) * n / buckets;
        size_t lo = from, hi = from;
        for (size_t k = from; k < to; ++k) {
            if (p.y[k] < p.y[lo])
                lo = k;
            if (p.y[k] > p.y[hi])
                hi = k;
        }
        out.push_back({p.x[std::min(lo, hi)], p.y[std::min(lo, hi)]});
        if (lo != hi)
            out.push_back({p.x[std::max(lo, hi)], p.y[std::max(lo, hi)]});
    }
    out.back() = {p.x.back(), p.y.back()};
    out.front() = {p.x.front(), p.y.front()};
    return out;
}

// The rows between x0 and x1 of column A, with the source interpolated at both ends; the
// rows must rise. nullopt with *fault set when the span reaches past the data.
std::optional<std::vector<DataRow>> spanRows(const std::vector<DataRow>& rows, const Range& span, QString* fault)
{
    const double first = rows.front().a, last = rows.back().a;
    if (span.low < first || span.high > last) {
        *fault = QStringLiteral("the span %1:%2 reaches past the data, whose column A runs from %3 to %4")
                     .arg(numberText(span.low), numberText(span.high), numberText(first), numberText(last));
        return std::nullopt;
    }
    auto at = [&](double x) {
        auto it = std::lower_bound(rows.begin(), rows.end(), x, [](const DataRow& r, double v) { return r.a < v; });
        if (it->a == x || it == rows.begin())
            return *it;
        const DataRow& a = *(it - 1);
        return DataRow{x, a.b + (it->b - a.b) * ((x - a.a) / (it->a - a.a)), it->line};
    };
    std::vector<DataRow> out{at(span.low)};
    for (const DataRow& r : rows)
        if (r.a > span.low && r.a < span.high)
            out.push_back(r);
    out.push_back(at(span.high));
    return out;
}

} // namespace

std::optional<Range> parseRange(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto a = NumberText::toNumber(parts[0].trimmed()), b = NumberText::toNumber(parts[1].trimmed());
    if (!a || !b)
        return std::nullopt;
    return Range{*a, *b};
}

std::optional<Shape> parseShape(const QString& text, QString* error)
{
    const QString name = text.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
    const bool hasParameter = text.contains(QLatin1Char(':'));
    const QString parameterText = text.section(QLatin1Char(':'), 1);
    auto fail = [&](const QString& why) -> std::optional<Shape> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    struct Entry {
        const char* name;
        ShapeKind kind;
        const char* parameters; // "" for none, else what follows the ':'
    };
    static const Entry entries[] = {
        {"sqrt", ShapeKind::Sqrt, ""},           {"power", ShapeKind::Power, "P"},  {"cylinder", ShapeKind::Cylinder, ""},
        {"capsule", ShapeKind::Capsule, "R"},    {"sphere", ShapeKind::Sphere, ""}, {"cone", ShapeKind::Cone, "F"},
        {"heads", ShapeKind::Heads, "R,A"},      {"dish", ShapeKind::Dish, "F"},
    };
    for (const Entry& e : entries) {
        if (name != QLatin1String(e.name))
            continue;
        if (!*e.parameters) {
            if (hasParameter)
                return fail(QStringLiteral("shape '%1' takes no parameter").arg(name));
            return Shape{e.kind, 0, 0};
        }
        const bool two = e.kind == ShapeKind::Heads;
        const QStringList values = parameterText.split(QLatin1Char(','));
        const std::optional<double> v = NumberText::toNumber(values.value(0).trimmed());
        const std::optional<double> w = two ? NumberText::toNumber(values.value(1).trimmed()) : std::optional<double>(0);
        if (!hasParameter || !v || !w || values.size() != (two ? 2 : 1))
            return fail(QStringLiteral("shape '%1' needs %2 after ':' (%1:%3)")
                            .arg(name, two ? QStringLiteral("two numbers") : QStringLiteral("a number"), QLatin1String(e.parameters)));
        switch (e.kind) {
        case ShapeKind::Power:
            if (!(*v > 0) || *v > 100)
                return fail(QStringLiteral("power:P needs 0 < P <= 100"));
            break;
        case ShapeKind::Capsule:
            if (!(*v >= 0) || *v > 1e6)
                return fail(QStringLiteral("capsule:R needs R >= 0 (cylinder length / diameter)"));
            break;
        case ShapeKind::Heads:
            if (!(*v >= 0) || *v > 1e6 || !(*w >= 0) || *w > 1e6 || !(*v + *w > 0))
                return fail(QStringLiteral("heads:R,A needs R >= 0 (cylinder length / diameter) and A >= 0 (head depth / diameter), "
                                           "not both 0"));
            break;
        case ShapeKind::Dish:
            if (!(*v > 0) || *v > 1)
                return fail(QStringLiteral("dish:F needs 0 < F <= 1 (fraction of the level in the dished bottom)"));
            break;
        default: // cone
            if (!(*v > 0) || *v > 1)
                return fail(QStringLiteral("cone:F needs 0 < F <= 1 (fraction of the level in the cone)"));
            break;
        }
        return Shape{e.kind, *v, *w};
    }
    return fail(
        QStringLiteral("unknown shape '%1' (sqrt, power:P, cylinder, capsule:R, heads:R,A, sphere, cone:F, dish:F)").arg(text));
}

QString shapeName(const Shape& shape)
{
    const QString p = numberText(shape.parameter);
    switch (shape.kind) {
    case ShapeKind::Sqrt: return QStringLiteral("sqrt");
    case ShapeKind::Power: return QStringLiteral("power:") + p;
    case ShapeKind::Cylinder: return QStringLiteral("cylinder");
    case ShapeKind::Capsule: return QStringLiteral("capsule:") + p;
    case ShapeKind::Heads: return QStringLiteral("heads:%1,%2").arg(p, numberText(shape.second));
    case ShapeKind::Sphere: return QStringLiteral("sphere");
    case ShapeKind::Dish: return QStringLiteral("dish:") + p;
    case ShapeKind::Cone: break;
    }
    return QStringLiteral("cone:") + p;
}

double shapeFraction(const Shape& shape, double u)
{
    u = std::clamp(u, 0.0, 1.0);
    const double f = shape.parameter;
    switch (shape.kind) {
    case ShapeKind::Sqrt: return std::sqrt(u);
    case ShapeKind::Power: return std::pow(u, f);
    case ShapeKind::Cylinder: return cylinderFraction(u);
    case ShapeKind::Capsule: return (3 * f * cylinderFraction(u) + 2 * sphereFraction(u)) / (3 * f + 2);
    case ShapeKind::Heads: // the two heads together make an ellipsoid: a sphere stretched along the axis
        return (3 * f * cylinderFraction(u) + 4 * shape.second * sphereFraction(u)) / (3 * f + 4 * shape.second);
    case ShapeKind::Sphere: return sphereFraction(u);
    case ShapeKind::Dish: {
        const double whole = 1 - f / 3;
        return u <= f ? (u * u / f - u * u * u / (3 * f * f)) / whole : (u - f / 3) / whole;
    }
    case ShapeKind::Cone: break;
    }
    const double whole = 1 - 2 * f / 3;
    return u <= f ? (u * u * u / (3 * f * f)) / whole : (u - 2 * f / 3) / whole;
}

double tableValue(const QList<Point>& table, double x)
{
    if (table.isEmpty())
        return 0;
    if (x <= table.front().inputValue || table.size() == 1)
        return table.front().displayValue;
    if (x >= table.back().inputValue)
        return table.back().displayValue;
    auto it = std::upper_bound(table.begin(), table.end(), x, [](double v, const Point& p) { return v < p.inputValue; });
    const Point& b = *it;
    const Point& a = *(it - 1);
    return a.displayValue + (b.displayValue - a.displayValue) * ((x - a.inputValue) / (b.inputValue - a.inputValue));
}

QString limitingRuleText(LimitingRule rule, InputType type, const QString& format)
{
    switch (rule) {
    case LimitingRule::None: return QString();
    case LimitingRule::MinimumStep: return QCoreApplication::translate("Fit", "minimum input step ") + minStepText(type);
    case LimitingRule::DisplayRange: {
        const auto d = MeterRules::displayLimits(format);
        return d ? QCoreApplication::translate("Fit", "display range %1 to %2").arg(QLatin1String(d->lowText), QLatin1String(d->highText))
                 : QCoreApplication::translate("Fit", "display range");
    }
    case LimitingRule::MaxPoints: break;
    }
    return QCoreApplication::translate("Fit", "%1-point maximum").arg(MeterRules::MaxPoints);
}

Result fit(const Request& request)
{
    const std::optional<MeterRules::DisplayLimits> display = MeterRules::displayLimits(request.format);
    if (!display)
        return failure(Status::BadRequest, QStringLiteral("unknown decimal-point format '%1' (%2)")
                                               .arg(request.format, ValueRules::decimalFormats().join(QStringLiteral(", "))));
    if (request.maxError) {
        if (!(*request.maxError > 0) || !std::isfinite(*request.maxError))
            return failure(Status::BadRequest, QStringLiteral("the maximum error must be a number above 0"));
    } else if (request.points < MeterRules::MinPoints || request.points > MeterRules::MaxPoints) {
        return failure(Status::BadRequest,
                       QStringLiteral("the number of points must be %1 to %2").arg(MeterRules::MinPoints).arg(MeterRules::MaxPoints));
    }

    const MeterRules::InputLimits& inLimits = MeterRules::inputLimits(request.type);
    Prepared s;
    Engine::Problem& p = s.problem;
    p.inScale = power10(inLimits.decimals);
    p.inStep = 1 / p.inScale;
    p.minStep = static_cast<long long>(std::ceil(inLimits.stepThreshold * p.inScale - 1e-6));
    p.outScale = power10(display->decimals);
    p.outStep = 1 / p.outScale;
    p.outLow = std::llround(display->low * p.outScale);
    p.outHigh = std::llround(display->high * p.outScale);
    p.cancel = request.cancel;
    if (request.shape) {
        p.precision = 1e-7; // a shape's error is found to 1e-6 of the span
        p.knotsOnRows = true;
    }
    const long long inLow = std::llround(inLimits.low * p.inScale), inHigh = std::llround(inLimits.high * p.inScale);
    auto inputInRange = [&](double v) {
        const long long i = p.inIndex(v);
        return i >= inLow && i <= inHigh && (inLimits.negativeAllowed || v >= 0 || i == 0);
    };
    auto displayInRange = [&](double v) {
        const long long i = std::llround(std::round(v * p.outScale));
        return std::isfinite(v) && i >= p.outLow && i <= p.outHigh;
    };
    const QString typeName = QLatin1String(inLimits.name);
    const QString displayRange =
        QStringLiteral("%1 to %2 (%3)").arg(QLatin1String(display->lowText), QLatin1String(display->highText), request.format);

    if (request.input) {
        const Range& r = *request.input;
        if (!(r.high > r.low))
            return failure(Status::BadRequest, QStringLiteral("the input range must rise (A:B with A below B)"));
        if (!inputInRange(r.low) || !inputInRange(r.high))
            return failure(Status::BadRequest, QStringLiteral("the input range %1:%2 is outside the %3 range %4")
                                                   .arg(numberText(r.low), numberText(r.high), typeName, inputRangeText(request.type)));
    }

    if (request.span && !(request.span->high > request.span->low))
        return failure(Status::BadRequest, QStringLiteral("the span must rise (X0:X1 with X0 below X1)"));
    if (request.shape) {
        if (request.span)
            return failure(Status::BadRequest, QStringLiteral("a span is for data; a shape spans its input range"));
        if (!request.input || !request.display)
            return failure(Status::BadRequest,
                           QStringLiteral("a shape needs the input range (--input A:B) and the display range (--display C:D)"));
        s.shape = true;
        s.shapeKind = *request.shape;
        s.in = *request.input;
        s.out = *request.display;
        if (!displayInRange(s.out.low) || !displayInRange(s.out.high))
            return failure(
                Status::BadRequest,
                QStringLiteral("the display range %1:%2 is outside %3").arg(numberText(s.out.low), numberText(s.out.high), displayRange));
        if (s.out.low == s.out.high)
            return failure(Status::BadRequest, QStringLiteral("the display range must not be a single value"));
        p.x0 = p.inIndex(s.in.low);
        p.x1 = p.inIndex(s.in.high);
        const long long count = p.x1 - p.x0 + 1;
        long long stride = (count + MaxShapeRows - 1) / MaxShapeRows;
        while (stride > 1 && p.minStep % stride != 0)
            --stride;
        p.x.push_back(s.in.low);
        for (long long i = p.x0 + stride; i < p.x1; i += stride)
            if (p.inValue(i) > s.in.low && p.inValue(i) < s.in.high)
                p.x.push_back(p.inValue(i));
        p.x.push_back(s.in.high);
        for (double x : p.x)
            p.y.push_back(s.shapeValue(x));
        s.sourceLow = std::min(s.out.low, s.out.high);
        s.sourceHigh = std::max(s.out.low, s.out.high);
    } else {
        if (request.rows.size() < 2)
            return failure(Status::BadData, QStringLiteral("the data has fewer than 2 rows"));
        for (size_t i = 0; i < request.rows.size(); ++i) {
            if (i % 65536 == 0 && p.cancelled()) // (millions of rows: a Ctrl+C ends the fit at once)
                return failure(Status::Cancelled, QString());
            const DataRow& row = request.rows[i];
            if (!std::isfinite(row.a) || !std::isfinite(row.b))
                return failure(Status::BadData, rowName(row, i) + QStringLiteral(": not two numbers"));
            if (i > 0 && !(row.a > request.rows[i - 1].a))
                return failure(Status::BadData, rowName(row, i) + QStringLiteral(": input %1 is not above the previous row's %2")
                                                                      .arg(numberText(row.a), numberText(request.rows[i - 1].a)));
        }
        std::vector<DataRow> spanned;
        if (request.span) {
            QString fault;
            const std::optional<std::vector<DataRow>> cut = spanRows(request.rows, *request.span, &fault);
            if (!cut)
                return failure(Status::BadData, fault);
            spanned = *cut;
        }
        const std::vector<DataRow>& rows = request.span ? spanned : request.rows;
        const double a0 = rows.front().a, a1 = rows.back().a;
        p.x.reserve(rows.size());
        p.y.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            if (i % 65536 == 0 && p.cancelled())
                return failure(Status::Cancelled, QString());
            double x = rows[i].a;
            if (request.input)
                x = i + 1 == rows.size() ? request.input->high
                                         : request.input->low + (rows[i].a - a0) / (a1 - a0) * (request.input->high - request.input->low);
            if (!inputInRange(x))
                return failure(
                    Status::BadData,
                    rowName(rows[i], i) +
                        QStringLiteral(": input %1 is outside the %2 range %3").arg(numberText(x), typeName, inputRangeText(request.type)));
            if (!displayInRange(rows[i].b))
                return failure(Status::BadData,
                               rowName(rows[i], i) +
                                   QStringLiteral(": display value %1 is outside %2").arg(numberText(rows[i].b), displayRange));
            p.x.push_back(x);
            p.y.push_back(rows[i].b);
        }
        p.x0 = p.inIndex(p.x.front());
        p.x1 = p.inIndex(p.x.back());
        auto [lo, hi] = std::minmax_element(p.y.begin(), p.y.end());
        s.sourceLow = *lo;
        s.sourceHigh = *hi;
    }
    s.span = s.sourceHigh - s.sourceLow;
    // Free values stay within a span of the source's: two points between neighbouring rows
    // could otherwise spike to any value the display shows, which no row sees.
    const long long displayLow = p.outLow, displayHigh = p.outHigh;
    if (request.placement != Placement::OnData) {
        const double margin = std::max(s.span, p.outStep);
        p.outLow = std::max(p.outLow, std::llround(std::floor((s.sourceLow - margin) * p.outScale)));
        p.outHigh = std::min(p.outHigh, std::llround(std::ceil((s.sourceHigh + margin) * p.outScale)));
    }
    if (p.x1 - p.x0 < p.minStep)
        return failure(s.shape ? Status::BadRequest : Status::BadData,
                       QStringLiteral("the inputs span less than the minimum input step %1").arg(minStepText(request.type)));

    // The most points the step rule (and, on the data, the rows) allow.
    long long most = std::min<long long>(MeterRules::MaxPoints, (p.x1 - p.x0) / p.minStep + 1);
    long long chain = most; // on the data: the most rows, first and last included, a minimum step apart
    if (request.placement == Placement::OnData) {
        most = std::min<long long>(most, long(p.x.size()));
        // Taking each row as soon as it lies a step past the last one taken gives the longest
        // chain; the last row may stand in for the last one taken (it lies less than a step
        // beyond it, so at least a step beyond the one before).
        chain = 1;
        long long last = p.inIndex(p.x.front());
        for (size_t i = 1; i < p.x.size(); ++i)
            if (p.inIndex(p.x[i]) - last >= p.minStep)
                ++chain, last = p.inIndex(p.x[i]);
    }
    if (!request.maxError && request.points > std::min(most, chain)) { // a limit of the data, or of a shape's input range
        const bool rows = request.placement == Placement::OnData && most == long(p.x.size());
        const bool steps = request.placement == Placement::OnData && chain < most;
        return failure(s.shape ? Status::BadRequest : Status::BadData,
                       steps ? QStringLiteral("%1 points on the data need %1 rows at least %2 apart; at most %3 of its rows are")
                                   .arg(request.points)
                                   .arg(minStepText(request.type))
                                   .arg(chain)
                       : rows ? QStringLiteral("%1 points on the data need %1 rows; the data has only %2").arg(request.points).arg(most)
                            : QStringLiteral("%1 points need inputs spanning at least %2 steps of %3; at most %4 points fit")
                                  .arg(request.points)
                                  .arg(request.points - 1)
                                  .arg(minStepText(request.type))
                                  .arg(most));
    }
    most = std::min(most, chain);

    // Progress, once the fit has run for two seconds: each stage's share of the percentage.
    QElapsedTimer clock;
    clock.start();
    int shown = -1, from = 0, to = 85;
    auto stage = [&](int a, int b) {
        from = a;
        to = b;
        if (request.progress && clock.elapsed() >= 2000 && a > shown)
            request.progress(shown = a);
    };
    if (request.progress)
        p.progress = [&](double share) {
            const int percent = from + int(std::clamp(share, 0.0, 1.0) * (to - from));
            if (percent > shown && clock.elapsed() >= 2000)
                request.progress(shown = percent);
        };

    const bool onData = request.placement == Placement::OnData;
    if (!onData && !request.freeEnds) { // the ends on the source
        p.firstY = p.outIndex(p.y.front());
        p.lastY = p.outIndex(p.y.back());
    }
    auto least = [&](const Engine::Problem& problem, int k) {
        return onData ? Engine::onDataLeast(problem, k) : Engine::freeLeast(problem, k);
    };
    Result r;
    r.status = Status::Fitted;
    Engine::Table table;
    int fewestOnData = 0; // found with the table, when it is
    if (request.maxError) {
        table = onData ? Engine::onDataFewest(p, *request.maxError, int(most)) : Engine::freeFewest(p, *request.maxError, int(most));
        // (on the data they are the fewest for its own error too, which is at most the target's)
        fewestOnData = onData ? int(table.x.size()) : 0;
        if (table.empty() && !p.cancelled()) {
            r.status = Status::TargetNotMet;
            table = onData ? Engine::onDataLeast(p, int(most), &fewestOnData) : least(p, int(most));
        }
    } else {
        table = onData ? Engine::onDataLeast(p, request.points, &fewestOnData) : least(p, request.points);
    }
    if (p.cancelled())
        return failure(Status::Cancelled, QString());
    if (table.empty())
        return failure(Status::BadRequest,
                       QStringLiteral("no table of these points keeps the minimum input step %1").arg(minStepText(request.type)));

    stage(85, 90);
    // How close the table is to any table of as many points: on a core of its own meanwhile.
    const double onRows = Engine::chartError(p, table);
    const int count = int(table.x.size());
    Engine::Problem ends = p; // on the data, every table's ends are the first and last rows
    ends.progress = nullptr;
    if (onData) {
        ends.firstY = table.y.front();
        ends.lastY = table.y.back();
    }
    std::future<double> bound = Engine::alongside([&ends, count, onRows] { return Engine::lowerBound(ends, count, onRows); });
    r.table = pointsOf(p, table, inLimits.decimals, display->decimals);
    QList<PointRow> rows;
    for (const Point& pt : r.table)
        rows.append(PointRow{pt.input, pt.display});
    const int code = TableCheck::check(rows, request.type);
    if (code != TableCheck::Passed) {
        const auto m = TableCheck::failureMessage(code);
        return failure(Status::BadRequest, QStringLiteral("the fitted table breaks a table rule: ") +
                                               (m ? m->text.section(QLatin1Char('\r'), 0, 0) : QString::number(code)));
    }

    r.span = s.span;
    r.maxError = s.shape ? shapeError(s, r.table, &r.maxErrorAt) : Engine::chartError(p, table, &r.maxErrorAt);
    r.maxErrorPercent = s.span > 0 ? 100 * r.maxError / s.span : 0;
    if (r.status == Status::TargetNotMet)
        r.maxError = std::max(r.maxError, 0.0);

    // Which meter rule holds the error up.
    if (r.status == Status::TargetNotMet) {
        r.limitingRule = LimitingRule::MaxPoints;
    } else {
        bool atMinStep = false;
        for (size_t i = 0; i + 1 < table.x.size(); ++i)
            atMinStep = atMinStep || table.x[i + 1] - table.x[i] == p.minStep;
        if (atMinStep) {
            Engine::Problem relaxed = p.x.size() > 20000 ? Engine::withoutRows(p) : p;
            relaxed.minStep = 1;
            if (p.x.size() > 20000) { // long data: inputs chosen on every few rows, checked on all
                const size_t every = p.x.size() / 10000;
                for (size_t k = 0; k < p.x.size(); k += every)
                    relaxed.x.push_back(p.x[k]), relaxed.y.push_back(p.y[k]);
                relaxed.x.push_back(p.x.back());
                relaxed.y.push_back(p.y.back());
            }
            // (free: the quick search, which without the step rule does well enough to show it)
            Engine::Table t = onData ? Engine::onDataLeast(relaxed, int(table.x.size())) : Engine::freeQuick(relaxed, int(table.x.size()), onRows);
            if (!t.empty() && relaxed.x.size() < p.x.size())
                t = onData ? t : Engine::fixedInputs(p, t.x);
            if (p.cancelled())
                return failure(Status::Cancelled, QString());
            if (!t.empty() && Engine::chartError(p, t) < 0.98 * onRows - p.outStep / 2)
                r.limitingRule = LimitingRule::MinimumStep;
        }
        if (r.limitingRule == LimitingRule::None) {
            for (long long y : table.y)
                if ((y == displayLow && s.sourceLow > p.outValue(displayLow)) || (y == displayHigh && s.sourceHigh < p.outValue(displayHigh)))
                    r.limitingRule = LimitingRule::DisplayRange;
        }
    }
    r.limitingText = limitingRuleText(r.limitingRule, request.type, request.format);
    stage(90, 95);

    // How few points reach its error.
    if (onData) {
        r.fewestPoints = std::min(count, std::max(2, fewestOnData > 0 ? fewestOnData : Engine::onDataFewestCount(p, onRows, count)));
    } else {
        const int fewer = count > 2 ? Engine::freeFewestCount(p, onRows, count - 1) : 0;
        r.fewestPoints = fewer > 0 ? fewer : count;
    }
    stage(95, 99);
    r.lowerBound = std::min(bound.get(), r.maxError);
    if (p.cancelled())
        return failure(Status::Cancelled, QString());

    if (shown >= 0)
        request.progress(100);
    // Preview.
    if (s.shape) {
        const int n = std::max(request.previewSamples, 2);
        for (int i = 0; i < n; ++i) {
            const double x = s.in.low + (s.in.high - s.in.low) * i / (n - 1);
            r.source.push_back({x, s.shapeValue(x)});
        }
    } else {
        r.source = thinned(p, request.previewSamples);
        if (p.cancelled())
            return failure(Status::Cancelled, QString());
        // the chart at the table's points between rows, where the error between rows peaks
        for (const Point& pt : r.table)
            if (const double c = Engine::chartBetween(p, pt.inputValue); !std::isnan(c))
                r.source.push_back({pt.inputValue, c});
        std::stable_sort(r.source.begin(), r.source.end(), [](const Sample& a, const Sample& b) { return a.input < b.input; });
    }
    for (const Sample& smp : r.source)
        r.error.push_back({smp.input, tableValue(r.table, smp.input) - smp.value});
    return r;
}

} // namespace Fitting
