#include "fitting/engine/LinkBound.h"
#include "fitting/engine/Lines.h"

#include <array>

namespace Fitting::Engine {

namespace {

constexpr size_t LinkVertices = 12; // a set of lines past this many vertices is grown to half as many

// The chart as a tube: at each input of a row (and at the table's ends) the values a table
// must come within e of there, and on each gap between such inputs the chart's straight line.
struct Tube {
    std::vector<double> x;             // the table's first input, the rows' inputs inside, its last input
    std::vector<double> top, bottom;   // at x: the largest and the smallest value a table there is compared with
    std::vector<double> pinLo, pinHi;  // at x: a pinned end's value (the display range elsewhere)
    std::vector<double> right, left;   // the chart just after x and just before x (NaN: no chart there)
    double slope = 0, room = 0, width = 1; // (width: the mean gap between inputs)

    explicit Tube(const Problem& p)
    {
        const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1);
        const double lowest = p.outValue(p.outLow), highest = p.outValue(p.outHigh);
        room = 1e-10 * (std::fabs(lowest) + std::fabs(highest) + dataSpan(p) + p.outStep);
        slope = slopeLimit(p, p.minStep);
        const auto& rx = p.x;
        const auto& ry = p.y;
        auto chartAfter = [&](double v) { // the chart just right of v, NaN beyond it
            const size_t j = size_t(std::upper_bound(rx.begin(), rx.end(), v) - rx.begin());
            if (j == 0 || j == rx.size())
                return std::numeric_limits<double>::quiet_NaN();
            return ry[j - 1] + (ry[j] - ry[j - 1]) * ((v - rx[j - 1]) / (rx[j] - rx[j - 1]));
        };
        auto chartBefore = [&](double v) { // the chart just left of v, NaN beyond it
            const size_t j = size_t(std::lower_bound(rx.begin(), rx.end(), v) - rx.begin());
            if (j == 0 || j == rx.size())
                return std::numeric_limits<double>::quiet_NaN();
            return ry[j - 1] + (ry[j] - ry[j - 1]) * ((v - rx[j - 1]) / (rx[j] - rx[j - 1]));
        };
        auto open = [&](double v) {
            x.push_back(v), top.push_back(-Inf), bottom.push_back(Inf), pinLo.push_back(lowest - room), pinHi.push_back(highest + room);
            right.push_back(chartAfter(v)), left.push_back(chartBefore(v));
        };
        auto see = [&](double value, size_t i) {
            if (std::isnan(value))
                return;
            top[i] = std::max(top[i], value);
            bottom[i] = std::min(bottom[i], value);
        };
        open(x0);
        size_t k = 0;
        for (; k < rx.size() && rx[k] <= x0; ++k) // rows before the first input meet its value
            see(ry[k], x.size() - 1);
        for (; k < rx.size() && rx[k] < x1; ++k) {
            if (x.back() != rx[k])
                open(rx[k]);
            see(ry[k], x.size() - 1);
        }
        if (x.back() != x1)
            open(x1);
        for (; k < rx.size(); ++k) // and rows after the last input its value
            see(ry[k], x.size() - 1);
        for (size_t i = 0; i < x.size(); ++i)
            see(right[i], i), see(left[i], i);
        width = x.size() > 1 ? (x.back() - x.front()) / double(x.size() - 1) : 1;
        if (p.firstY)
            pinLo.front() = p.outValue(*p.firstY) - room, pinHi.front() = p.outValue(*p.firstY) + room;
        if (p.lastY)
            pinLo.back() = p.outValue(*p.lastY) - room, pinHi.back() = p.outValue(*p.lastY) + room;
    }

    Interval at(size_t i, double e) const { return {std::max(top[i] - e, pinLo[i]), std::min(bottom[i] + e, pinHi[i])}; }
    // Between x[i] and x[i + 1] (strictly): the chart's band, unbounded where there is no chart.
    Interval between(size_t i, double v, double e) const
    {
        const double a = right[i], b = left[i + 1];
        if (std::isnan(a) || std::isnan(b))
            return {-Inf, Inf};
        const double c = a + (b - a) * ((v - x[i]) / (x[i + 1] - x[i]));
        return {c - e, c + e};
    }
};

// Lines y = v + s (x - ref) as a convex polygon of (v, s).
struct LineSet {
    double ref = 0;
    std::vector<std::array<double, 2>> poly, out; // (out: scratch)

    void box(double vLo, double vHi, double s)
    {
        poly = {{{vLo, -s}}, {{vHi, -s}}, {{vHi, s}}, {{vLo, s}}};
    }
    // Keeps the lines with value at x at most c (sign 1) or at least c (sign -1).
    void clip(double x, int sign, double c)
    {
        if (poly.empty() || std::isinf(c))
            return;
        const double a = sign, b = sign * (x - ref), k = sign * c;
        out.clear();
        for (size_t i = 0; i < poly.size(); ++i) {
            const auto& P = poly[i];
            const auto& Q = poly[(i + 1) % poly.size()];
            const double dp = a * P[0] + b * P[1] - k, dq = a * Q[0] + b * Q[1] - k;
            if (dp <= 0)
                out.push_back(P);
            if ((dp < 0 && dq > 0) || (dp > 0 && dq < 0)) {
                const double t = dp / (dp - dq);
                out.push_back({P[0] + t * (Q[0] - P[0]), P[1] + t * (Q[1] - P[1])});
            }
        }
        poly.swap(out);
    }
    void clip(double x, Interval b, int side)
    {
        if (side >= 0)
            clip(x, 1, b.hi);
        if (side <= 0)
            clip(x, -1, b.lo);
    }
    Interval values(double x) const
    {
        Interval r{Inf, -Inf};
        for (const auto& v : poly) {
            const double y = v[0] + v[1] * (x - ref);
            r.lo = std::min(r.lo, y), r.hi = std::max(r.hi, y);
        }
        return r;
    }
};

struct Line {
    double v = 0, s = 0, ref = 0;
    double at(double x) const { return v + s * (x - ref); }
};

struct Reach {
    double x = 0;  // how far the lines reach
    bool end = false;
    Line line;     // one line reaching that far
};

struct Windows {
    const Problem& p;
    Tube tube;
    std::vector<std::array<double, 2>> spare;
    explicit Windows(const Problem& problem) : p(problem), tube(problem) {}

    static Line inside(const LineSet& set)
    {
        Line l{0, 0, set.ref};
        for (const auto& v : set.poly)
            l.v += v[0], l.s += v[1];
        l.v /= double(set.poly.size()), l.s /= double(set.poly.size());
        return l;
    }

    // How far the lines of `set` (within the tube from `from` on) stay within it, from row i
    // on (the first input beyond `from`). Up to `until` only the side `side` binds (1: the
    // values above, -1: below, 0: both).
    Reach sweep(LineSet set, size_t i, double from, double until, int side, double e)
    {
        const size_t n = tube.x.size();
        for (; i < n; ++i) {
            if (p.cancelled())
                return {};
            // the lines' values there against the band: all inside, some (clipped), or none
            const Interval band = tube.at(i, e), r = set.values(tube.x[i]);
            const int s = tube.x[i] <= until ? side : 0;
            if ((s > 0 || r.hi >= band.lo) && (s < 0 || r.lo <= band.hi) && band.lo <= band.hi) {
                if ((s <= 0 && r.lo < band.lo) || (s >= 0 && r.hi > band.hi)) {
                    spare = set.poly;
                    set.clip(tube.x[i], band, s);
                    if (set.poly.empty()) // a sliver lost to rounding: the lines before this row instead
                        set.poly.swap(spare);
                    if (set.poly.size() > LinkVertices)
                        capVertices(set.poly, LinkVertices / 2, tube.width);
                }
                from = tube.x[i];
                continue;
            }
            // The lines leave the tube between `from` and x[i]: the farthest place any line
            // is still inside, by bisection (the set of such places is an interval).
            auto fits = [&](double v, LineSet* keep) {
                const Interval b = tube.between(i - 1, v, e);
                const int s = v <= until ? side : 0;
                if (keep) {
                    *keep = set;
                    keep->clip(v, b, s);
                    return !keep->poly.empty();
                }
                const Interval r = set.values(v);
                return (s > 0 || r.hi >= b.lo) && (s < 0 || r.lo <= b.hi) && b.lo <= b.hi;
            };
            double lo = from, hi = tube.x[i];
            for (int k = 0; k < 60 && hi - lo > 1e-13 * (std::fabs(hi) + 1); ++k) {
                const double mid = lo + (hi - lo) / 2;
                (fits(mid, nullptr) ? lo : hi) = mid;
            }
            LineSet last;
            if (!fits(lo, &last))
                last = set;
            return {lo, false, inside(last)};
        }
        return {tube.x.back(), true, inside(set)};
    }

    int fewest(double e, int most)
    {
        const size_t n = tube.x.size();
        if (n < 2)
            return most + 1;
        const double d = tube.room, S = tube.slope;
        for (size_t i = 0; i < n; ++i)
            if (tube.at(i, e).empty())
                return most + 1;
        LineSet first;
        first.ref = tube.x[0];
        const Interval b0 = tube.at(0, e);
        first.box(b0.lo, b0.hi, S);
        Reach r = sweep(first, 1, tube.x[0], tube.x[0], 0, e);
        double start = tube.x[0]; // where the last piece's line begins
        int links = 1;
        while (!r.end) {
            if (links >= most || p.cancelled())
                return most + 1;
            // The next piece crosses this one between `start` and where it leaves the tube:
            // from below (rising past it: only the tube's top binds until then) or from above.
            const Line& l = r.line;
            const double a = start, b = r.x, la = l.at(a), lb = l.at(b), w = S * (b - a) + 2 * d + 1;
            const size_t i = size_t(std::upper_bound(tube.x.begin(), tube.x.end(), a) - tube.x.begin());
            LineSet up, down;
            up.ref = down.ref = a;
            up.box(lb - w, la + d, S);
            up.clip(b, -1, lb - d);
            down.box(la - d, lb + w, S);
            down.clip(b, 1, lb + d);
            const Reach ru = sweep(up, i, a, b, 1, e), rd = sweep(down, i, a, b, -1, e);
            const Reach& best = (ru.end || (!rd.end && ru.x >= rd.x)) ? ru : rd;
            if (!best.end && !(best.x > b))
                return most + 1; // no way on
            const double ds = best.line.s - l.s;
            start = ds != 0 ? std::clamp(a - (best.line.at(a) - la) / ds, a, b) : a;
            r = best;
            ++links;
        }
        return links;
    }
};

} // namespace

int fewestLinks(const Problem& p, double e, int most)
{
    if (p.x.size() < 1 || p.x1 <= p.x0)
        return most + 1;
    Windows w(p);
    return w.fewest(e * (1 + 1e-9) + w.tube.room, most);
}

double linkBound(const Problem& p, int points, double lo, double known)
{
    if (p.x.empty() || p.x.size() > LinkRows || points < 2 || !(known > lo) || p.x1 <= p.x0)
        return lo;
    Windows w(p);
    double hi = known;
    // Tables are mostly near the best: first just below the known error (one decision then)
    if (const double near = known * (1 - 1e-3); near > lo) {
        if (w.fewest(near * (1 + 1e-9) + w.tube.room, points - 1) > points - 1)
            return p.cancelled() ? 0 : near;
        hi = near;
    }
    const double precision = p.x.size() > 20000 ? 1e-3 : 1e-4; // (long charts: each decision costs more)
    while (hi - lo > precision * known && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        (w.fewest(mid * (1 + 1e-9) + w.tube.room, points - 1) > points - 1 ? lo : hi) = mid;
    }
    return p.cancelled() ? 0 : lo;
}

} // namespace Fitting::Engine
