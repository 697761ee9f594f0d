#pragma once
// The problem and its grids: inputs and display values in grid units, the chart read between its
// rows, the tolerances every search shares. Small helpers, inline.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "fitting/FitEngine.h"

namespace Fitting::Engine {

constexpr double Inf = std::numeric_limits<double>::infinity();

template<class T>
inline void sortUnique(std::vector<T>& v)
{
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

inline long long roundHalfAway(double v)
{
    return v < 0 ? -static_cast<long long>(std::floor(-v + 0.5)) : static_cast<long long>(std::floor(v + 0.5));
}

// The least integer at or above v, and the greatest at or below, for v held to [lo, hi]
// (integers: no library call on a hot path).
inline long long ceilWithin(double v, long long lo, long long hi)
{
    const double t = std::clamp(v, double(lo), double(hi));
    const long long q = static_cast<long long>(t);
    return q + (double(q) < t);
}
inline long long floorWithin(double v, long long lo, long long hi)
{
    const double t = std::clamp(v, double(lo), double(hi));
    const long long q = static_cast<long long>(t);
    return q - (double(q) > t);
}

// Inputs of the rows held within the table's ends: beyond them the table keeps its end values.
inline std::vector<double> clampedInputs(const Problem& p)
{
    const double lo = p.inValue(p.x0), hi = p.inValue(p.x1);
    std::vector<double> xc(p.x.size());
    for (size_t k = 0; k < p.x.size(); ++k)
        xc[k] = std::clamp(p.x[k], lo, hi);
    return xc;
}

// The chart read linearly between its rows, at an input v strictly between two rows' inputs
// (a knot there is compared with it); NaN at a row's input, where the rows compare, and
// beyond the chart's ends, where nothing does.
inline double chartBetween(const Problem& p, double v)
{
    const auto it = std::lower_bound(p.x.begin(), p.x.end(), v);
    if (it == p.x.begin() || it == p.x.end() || *it == v)
        return std::numeric_limits<double>::quiet_NaN();
    const size_t k = size_t(it - p.x.begin());
    return p.y[k - 1] + (p.y[k] - p.y[k - 1]) * ((v - p.x[k - 1]) / (p.x[k] - p.x[k - 1]));
}

// How far a knot's value (display units) lies from the chart between rows; 0 at a row's input
// or beyond the chart.
inline double knotError(const Problem& p, long long q, double value)
{
    const double c = chartBetween(p, p.inValue(q));
    return std::isnan(c) ? 0 : std::fabs(value - c);
}

// q, or on a curve's samples the input of the row nearest q.
inline long long onRow(const Problem& p, const std::vector<double>& xc, long long q)
{
    if (!p.knotsOnRows || xc.empty())
        return q;
    const double v = p.inValue(q);
    auto it = std::lower_bound(xc.begin(), xc.end(), v);
    if (it == xc.end() || (it != xc.begin() && v - *(it - 1) < *it - v))
        --it;
    return p.inIndex(*it);
}

// A small tolerance on errors so that a bound met exactly is met in floating point too.
inline double slack(const Problem& p, double e)
{
    double scale = p.outStep;
    for (double v : {p.outValue(p.outLow), p.outValue(p.outHigh)})
        scale = std::max(scale, std::fabs(v));
    return e + 1e-12 * scale;
}

// Largest slope a table can have: display span over the smallest step, with room.
inline double slopeLimit(const Problem& p, long long minStep)
{
    const double span = p.outValue(p.outHigh) - p.outValue(p.outLow);
    return 1.5 * (span + p.outStep) / p.inValue(std::max<long long>(minStep, 1)) + 1;
}

// Largest grid index whose value is below v; smallest whose value is at or above v.
inline long long gridBelow(const Problem& p, double v)
{
    long long q = static_cast<long long>(std::floor(v * p.inScale));
    while (p.inValue(q) >= v)
        --q;
    while (p.inValue(q + 1) < v)
        ++q;
    return q;
}
inline long long gridAtOrAbove(const Problem& p, double v) { return gridBelow(p, v) + 1; }

struct Interval {
    double lo = 0, hi = 0;
    bool empty() const { return lo > hi; }
};

inline Interval displayRange(const Problem& p) { return {p.outValue(p.outLow), p.outValue(p.outHigh)}; }
// The display grid's values within iv, in grid units: [first, last] (none when first > last).
inline std::pair<long long, long long> gridValuesIn(const Problem& p, const Interval& iv)
{
    return {static_cast<long long>(std::ceil(iv.lo * p.outScale - 1e-6)), static_cast<long long>(std::floor(iv.hi * p.outScale + 1e-6))};
}
// The values the first and last points may take: the pinned value or the display range.
inline Interval firstValues(const Problem& p)
{
    return p.firstY ? Interval{p.outValue(*p.firstY), p.outValue(*p.firstY)} : displayRange(p);
}
inline Interval lastValues(const Problem& p)
{
    return p.lastY ? Interval{p.outValue(*p.lastY), p.outValue(*p.lastY)} : displayRange(p);
}

// p without its rows: grids, ends, flags (copying millions of rows takes a while).
inline Problem withoutRows(const Problem& p)
{
    Problem q;
    static_cast<ProblemSettings&>(q) = p;
    return q;
}

inline double dataSpan(const Problem& p)
{
    if (p.y.empty())
        return 0;
    auto [lo, hi] = std::minmax_element(p.y.begin(), p.y.end());
    return *hi - *lo;
}

inline double tolerance(const Problem& p, double relative) { return relative * std::max(dataSpan(p), p.outStep); }


constexpr size_t LongRows = 15000;    // rows that choose the inputs on long data

} // namespace Fitting::Engine
