#pragma once
// Display values for fixed inputs: the least error before rounding by a bisection on value
// intervals, then rounded by a dynamic program that is exact for up to 48 values a point.
// Every table returned is measured against the chart, its knots between rows included.
#include <map>

#include "fitting/engine/Grids.h"
#include "fitting/engine/Tube.h"

namespace Fitting::Engine {

// A piece's rows as far as a line within a band sees them: the lower hull of the rows (d from
// the piece's start, y) bounds the line from above, the upper hull from below; a row off its
// hull is within the band whenever the hull's vertices around it are. Rising in d.
struct HullVertex {
    double d, y;
    bool below; // on the lower hull: the line stays below y + e
};

// atStart, atEnd: the chart at the piece's two ends (d = 0 and width), NaN where no row of its
// own stands for it there (chartBetween).
inline std::vector<HullVertex> hullsOf(const std::vector<double>& xc, const std::vector<double>& y, int from, int to, double start,
                                double atStart = std::numeric_limits<double>::quiet_NaN(),
                                double atEnd = std::numeric_limits<double>::quiet_NaN(), double width = 0)
{
    std::vector<HullVertex> lower, upper, out;
    // turn of a -> b -> c: positive counter-clockwise
    auto turn = [](const HullVertex& a, const HullVertex& b, const HullVertex& c) {
        return (b.d - a.d) * (c.y - a.y) - (b.y - a.y) * (c.d - a.d);
    };
    auto add = [&](const HullVertex& v) {
        if (lower.empty() || lower.back().d != v.d || v.y < lower.back().y) {
            if (!lower.empty() && lower.back().d == v.d)
                lower.pop_back();
            while (lower.size() >= 2 && turn(lower[lower.size() - 2], lower.back(), v) <= 0)
                lower.pop_back();
            lower.push_back(v);
        }
        if (upper.empty() || upper.back().d != v.d || v.y > upper.back().y) {
            if (!upper.empty() && upper.back().d == v.d)
                upper.pop_back();
            while (upper.size() >= 2 && turn(upper[upper.size() - 2], upper.back(), v) >= 0)
                upper.pop_back();
            upper.push_back({v.d, v.y, false});
        }
    };
    if (!std::isnan(atStart))
        add({0, atStart, true});
    for (int k = from; k < to; ++k)
        add({xc[k] - start, y[k], true});
    if (!std::isnan(atEnd))
        add({width, atEnd, true});
    out.resize(lower.size() + upper.size());
    std::merge(lower.begin(), lower.end(), upper.begin(), upper.end(), out.begin(),
               [](const HullVertex& a, const HullVertex& b) { return a.d < b.d; });
    return out;
}

// Display values for fixed inputs.
// Each piece's hulls, kept for tables that share pieces (key: the piece's two inputs).
using HullCache = std::map<std::pair<long long, long long>, std::vector<HullVertex>>;

struct Fixed {
    const Problem& p;
    const std::vector<double>& xc; // clamped inputs, outliving the object
    std::vector<long long> knots;
    std::vector<double> kv;
    std::vector<std::vector<HullVertex>> hull; // of each piece's rows
    std::vector<Interval> reach; // values each point can take, found forwards
    double sMax = 0;

    Fixed(const Problem& problem, const std::vector<double>& clamped, std::vector<long long> k, HullCache* cache = nullptr)
        : p(problem), xc(clamped), knots(std::move(k))
    {
        for (long long q : knots)
            kv.push_back(p.inValue(q));
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            if (cache)
                if (auto it = cache->find({knots[t], knots[t + 1]}); it != cache->end()) {
                    hull.push_back(it->second);
                    continue;
                }
            hull.push_back(pieceHull(t));
            if (cache)
                cache->emplace(std::make_pair(knots[t], knots[t + 1]), hull.back());
        }
        setSlopeLimit();
    }

    // Knot i (not an end) moved to q: its two pieces' hulls found again. Returns what it
    // replaced, for restore().
    struct Replaced {
        long long q;
        std::vector<HullVertex> before, after;
        double sMax;
    };
    Replaced move(size_t i, long long q)
    {
        Replaced old{knots[i], std::move(hull[i - 1]), std::move(hull[i]), sMax};
        knots[i] = q;
        kv[i] = p.inValue(q);
        hull[i - 1] = pieceHull(i - 1);
        hull[i] = pieceHull(i);
        setSlopeLimit();
        return old;
    }
    void restore(size_t i, Replaced&& old)
    {
        knots[i] = old.q;
        kv[i] = p.inValue(old.q);
        hull[i - 1] = std::move(old.before);
        hull[i] = std::move(old.after);
        sMax = old.sMax;
    }

    std::vector<HullVertex> pieceHull(size_t t) const
    {
        if (p.cancelled()) // (no rows: what follows is thrown away)
            return {};
        const int begin = int(std::lower_bound(xc.begin(), xc.end(), kv[t]) - xc.begin());
        const int end = int(std::upper_bound(xc.begin(), xc.end(), kv[t + 1]) - xc.begin());
        return hullsOf(xc, p.y, begin, end, kv[t], chartBetween(p, kv[t]), chartBetween(p, kv[t + 1]), kv[t + 1] - kv[t]);
    }
    void setSlopeLimit()
    {
        long long narrowest = LLONG_MAX;
        for (size_t t = 0; t + 1 < knots.size(); ++t)
            narrowest = std::min(narrowest, knots[t + 1] - knots[t]);
        sMax = slopeLimit(p, narrowest);
    }

    bool forward(double e)
    {
        const double ee = slack(p, e);
        const Interval range = displayRange(p);
        reach.assign(knots.size(), range);
        reach.front() = firstValues(p);
        const Interval last = lastValues(p);
        Tube lines;
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            lines.box(reach[t].lo, reach[t].hi, sMax);
            for (size_t k = 0; k < hull[t].size() && !lines.empty(); ++k)
                lines.halfRow(hull[t][k].d, hull[t][k].y, ee, hull[t][k].below);
            if (lines.empty())
                return false;
            // values at this point that no line of the piece continues are of no use
            const auto [from, to] = lines.valuesAt(0);
            reach[t] = {std::max(reach[t].lo, from), std::min(reach[t].hi, to)};
            auto [lo, hi] = lines.valuesAt(kv[t + 1] - kv[t]);
            const Interval& bound = t + 2 == knots.size() ? last : range;
            reach[t + 1] = {std::max(lo, bound.lo), std::min(hi, bound.hi)};
            if (reach[t + 1].empty())
                return false;
        }
        return true;
    }

    long long nearestIn(const Interval& iv) const
    {
        // an empty interval (rows that no value meets) may lie far outside the display range
        const double halfway = (iv.lo + iv.hi) / 2;
        const double mid = std::isfinite(halfway) ? std::clamp(halfway, p.outValue(p.outLow), p.outValue(p.outHigh)) : 0.0;
        long long v = p.outIndex(mid);
        if (!iv.empty()) {
            if (p.outValue(v) < iv.lo && p.outValue(v + 1) <= iv.hi)
                ++v;
            else if (p.outValue(v) > iv.hi && p.outValue(v - 1) >= iv.lo)
                --v;
        }
        return std::clamp(v, p.outLow, p.outHigh);
    }

    // Rounded values chosen backwards within the reach found at e.
    Table backward(double e) const
    {
        const double ee = slack(p, e);
        const size_t m = knots.size() - 1;
        Table t;
        t.x = knots;
        t.y.assign(knots.size(), 0);
        t.y[m] = nearestIn(reach[m]);
        for (size_t s = m; s-- > 0;) {
            const double u = p.outValue(t.y[s + 1]);
            const double w = kv[s + 1] - kv[s];
            Interval iv = reach[s];
            for (const HullVertex& h : hull[s]) {
                const double lam = h.d / w;
                if (lam >= 1)
                    continue;
                const double a = 1 - lam;
                if (h.below)
                    iv.hi = std::min(iv.hi, (h.y + ee - u * lam) / a);
                else
                    iv.lo = std::max(iv.lo, (h.y - ee - u * lam) / a);
            }
            t.y[s] = s == 0 && p.firstY ? *p.firstY : nearestIn(iv);
        }
        if (p.lastY)
            t.y[m] = *p.lastY;
        return t;
    }

    // Display values on the grid within the reach found at the last forward pass, the best of
    // them by a dynamic program over the points (each piece's error depends on its two values
    // only). A table of error at most that pass's e holds values within its reach, so with at
    // most GridValues values a point the choice is the best of all such tables.
    static constexpr long long GridValues = 48;
    Table gridChoice() const
    {
        const size_t m = knots.size();
        std::vector<std::vector<long long>> values(m);
        for (size_t t = 0; t < m; ++t) {
            const Interval& iv = reach[t];
            if ((t == 0 && p.firstY) || (t + 1 == m && p.lastY)) {
                values[t] = {t == 0 ? *p.firstY : *p.lastY};
                continue;
            }
            auto [from, to] = gridValuesIn(p, iv);
            from = std::max(p.outLow, from);
            to = std::min(p.outHigh, to);
            if (to < from) // none on the grid: the nearest ones
                from = to = std::clamp(p.outIndex((iv.lo + iv.hi) / 2), p.outLow, p.outHigh);
            if (to - from >= GridValues) {
                const long long mid = from + (to - from) / 2;
                from = mid - GridValues / 2;
                to = from + GridValues - 1;
            }
            for (long long v = from; v <= to; ++v)
                values[t].push_back(v);
        }
        std::vector<std::vector<double>> cost(m);
        std::vector<std::vector<int>> back(m);
        cost[0].assign(values[0].size(), 0);
        for (size_t t = 1; t < m; ++t) {
            cost[t].assign(values[t].size(), Inf);
            back[t].assign(values[t].size(), 0);
            const double w = kv[t] - kv[t - 1];
            for (size_t u = 0; u < values[t - 1].size(); ++u) {
                const double v0 = p.outValue(values[t - 1][u]);
                for (size_t v = 0; v < values[t].size(); ++v) {
                    const double v1 = p.outValue(values[t][v]);
                    double e = cost[t - 1][u];
                    for (size_t k = 0; k < hull[t - 1].size() && e < cost[t][v]; ++k)
                        e = std::max(e, std::fabs(v0 + (v1 - v0) * (hull[t - 1][k].d / w) - hull[t - 1][k].y));
                    if (e < cost[t][v]) {
                        cost[t][v] = e;
                        back[t][v] = int(u);
                    }
                }
            }
        }
        Table t;
        t.x = knots;
        t.y.assign(m, 0);
        size_t at = size_t(std::min_element(cost[m - 1].begin(), cost[m - 1].end()) - cost[m - 1].begin());
        for (size_t i = m; i-- > 0;) {
            t.y[i] = values[i][at];
            if (i > 0)
                at = size_t(back[i][at]);
        }
        return t;
    }

    double pieceError(const Table& t, size_t s) const
    {
        const double v0 = p.outValue(t.y[s]), v1 = p.outValue(t.y[s + 1]);
        const double w = kv[s + 1] - kv[s];
        double e = 0;
        for (const HullVertex& h : hull[s])
            e = std::max(e, std::fabs(v0 + (v1 - v0) * (h.d / w) - h.y));
        return e;
    }

    // Moves single values by one step while that lowers the larger error of their two pieces.
    void polish(Table& t) const
    {
        const size_t m = knots.size() - 1;
        std::vector<double> err(m);
        for (size_t s = 0; s < m; ++s)
            err[s] = pieceError(t, s);
        for (int pass = 0; pass < 8; ++pass) {
            bool moved = false;
            for (size_t i = p.firstY ? 1 : 0; i <= m - (p.lastY ? 1 : 0); ++i) {
                auto local = [&](size_t i) {
                    double e = 0;
                    if (i > 0)
                        e = std::max(e, err[i - 1]);
                    if (i < m)
                        e = std::max(e, err[i]);
                    return e;
                };
                for (int step : {-1, 1}) {
                    const long long old = t.y[i];
                    const long long nv = old + step;
                    if (nv < p.outLow || nv > p.outHigh)
                        continue;
                    const double before = local(i);
                    t.y[i] = nv;
                    const double eL = i > 0 ? pieceError(t, i - 1) : 0;
                    const double eR = i < m ? pieceError(t, i) : 0;
                    if (std::max(eL, eR) < before) {
                        if (i > 0)
                            err[i - 1] = eL;
                        if (i < m)
                            err[i] = eR;
                        moved = true;
                    } else {
                        t.y[i] = old;
                    }
                }
            }
            if (!moved)
                break;
        }
    }
};

// fixedInputs on the clamped inputs xc, with the hulls of pieces seen before.
Table fixedInputsWith(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots, double below,
                      HullCache* cache);

} // namespace Fitting::Engine
