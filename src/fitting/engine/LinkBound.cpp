#include "fitting/engine/LinkBound.h"
#include "fitting/engine/Lines.h"

namespace Fitting::Engine {

namespace {

// The chart as a tube: at each input of a row (and at the table's ends) the values a table
// must come within e of there, and on each gap between such inputs the chart's straight line.
struct ChartTube {
    std::vector<double> x;             // the table's first input, the rows' inputs inside, its last input
    std::vector<double> top, bottom;   // at x: the largest and the smallest value a table there is compared with
    std::vector<double> pinLo, pinHi;  // at x: a pinned end's value (the display range elsewhere)
    std::vector<double> right, left;   // the chart just after x and just before x (NaN: no chart there)
    double slope = 0, room = 0;

    explicit ChartTube(const Problem& p)
    {
        const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1);
        const double lowest = p.outValue(p.outLow), highest = p.outValue(p.outHigh);
        room = 1e-10 * (std::fabs(lowest) + std::fabs(highest) + dataSpan(p) + p.outStep);
        slope = slopeLimit(p, p.minStep);
        const auto& rx = p.x;
        const auto& ry = p.y;
        // the chart at v on the piece between rows j - 1 and j, NaN beyond it
        auto chart = [&](size_t j, double v) {
            if (j == 0 || j == rx.size())
                return std::numeric_limits<double>::quiet_NaN();
            return ry[j - 1] + (ry[j] - ry[j - 1]) * ((v - rx[j - 1]) / (rx[j] - rx[j - 1]));
        };
        auto open = [&](double v) { // (just right of v: the piece after its rows; just left: before them)
            x.push_back(v), top.push_back(-Inf), bottom.push_back(Inf), pinLo.push_back(lowest - room), pinHi.push_back(highest + room);
            right.push_back(chart(size_t(std::upper_bound(rx.begin(), rx.end(), v) - rx.begin()), v));
            left.push_back(chart(size_t(std::lower_bound(rx.begin(), rx.end(), v) - rx.begin()), v));
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

// Lines y = v + s (x - ref): a bound's set (grown, never cut, to stay small).
struct LinesFrom {
    double ref = 0;
    Lines set;

    LinesFrom(double x, double vLo, double vHi, double sMax)
        : ref(x)
    {
        set.grow = true;
        set.box(vLo, vHi, sMax);
    }
    Interval values(double x) const
    {
        const auto [lo, hi] = set.valuesAt(x - ref);
        return {lo, hi};
    }
    // Keeps the lines within b at x: its top (side 1), its bottom (-1) or both (0).
    void keepWithin(double x, Interval b, int side)
    {
        const double d = x - ref;
        if (side >= 0 && b.hi < Inf)
            set.clip(1, d, b.hi);
        if (side <= 0 && b.lo > -Inf)
            set.clip(-1, -d, -b.lo);
        set.keepSmall(d, 0);
    }
};

// Whether lines whose values are r meet the band b (only its side `side` binding, when one does).
bool meets(Interval r, Interval b, int side)
{
    return (side > 0 || r.hi >= b.lo) && (side < 0 || r.lo <= b.hi) && b.lo <= b.hi;
}

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
    ChartTube tube;
    std::vector<Lines::Vertex> spare;
    explicit Windows(const Problem& problem) : p(problem), tube(problem) {}

    static Line inside(const LinesFrom& lines)
    {
        Line l{0, 0, lines.ref};
        for (const Lines::Vertex& v : lines.set.poly)
            l.v += v[0], l.s += v[1];
        l.v /= double(lines.set.poly.size()), l.s /= double(lines.set.poly.size());
        return l;
    }

    // How far the lines of `set` (within the tube from `from` on) stay within it, from row i
    // on (the first input beyond `from`). Up to `until` only the side `side` binds (1: the
    // values above, -1: below, 0: both).
    Reach sweep(LinesFrom lines, size_t i, double from, double until, int side, double e)
    {
        const size_t n = tube.x.size();
        for (; i < n; ++i) {
            if (p.cancelled())
                return {};
            // the lines' values there against the band: some inside (the rest clipped), or none
            const Interval band = tube.at(i, e);
            const int s = tube.x[i] <= until ? side : 0;
            if (meets(lines.values(tube.x[i]), band, s)) {
                spare = lines.set.poly;
                lines.keepWithin(tube.x[i], band, s);
                if (lines.set.empty()) // a sliver lost to rounding: the lines before this row instead
                    lines.set.poly.swap(spare);
                from = tube.x[i];
                continue;
            }
            // The lines leave the tube between `from` and x[i]: the farthest place any line
            // is still inside, by bisection (the set of such places is an interval).
            auto fits = [&](double v) { return meets(lines.values(v), tube.between(i - 1, v, e), v <= until ? side : 0); };
            double lo = from, hi = tube.x[i];
            for (int k = 0; k < 60 && hi - lo > 1e-13 * (std::fabs(hi) + 1); ++k) {
                const double mid = lo + (hi - lo) / 2;
                (fits(mid) ? lo : hi) = mid;
            }
            LinesFrom last = lines;
            last.keepWithin(lo, tube.between(i - 1, lo, e), lo <= until ? side : 0);
            return {lo, false, inside(last.set.empty() ? lines : last)};
        }
        return {tube.x.back(), true, inside(lines)};
    }

    // The fewest pieces within e (the tube a hair wider: a decision on e(1 + 1e-9) holds in
    // floating point), counting up to most + 1.
    int fewest(double e, int most)
    {
        e = e * (1 + 1e-9) + tube.room;
        const size_t n = tube.x.size();
        if (n < 2)
            return most + 1;
        const double d = tube.room, S = tube.slope;
        for (size_t i = 0; i < n; ++i)
            if (tube.at(i, e).empty())
                return most + 1;
        const Interval b0 = tube.at(0, e);
        Reach r = sweep(LinesFrom(tube.x[0], b0.lo, b0.hi, S), 1, tube.x[0], tube.x[0], 0, e);
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
            LinesFrom up(a, lb - w, la + d, S), down(a, la - d, lb + w, S);
            up.set.clip(-1, -(b - a), -(lb - d));
            down.set.clip(1, b - a, lb + d);
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
    return Windows(p).fewest(e, most);
}

double linkBound(const Problem& p, int points, double lo, double known)
{
    if (p.x.empty() || p.x.size() > LinkRows || points < 2 || !(known > lo) || p.x1 <= p.x0)
        return lo;
    Windows w(p);
    double hi = known;
    // Tables are mostly near the best: first just below the known error (one decision then)
    if (const double near = known * (1 - 1e-3); near > lo) {
        if (w.fewest(near, points - 1) > points - 1)
            return p.cancelled() ? 0 : near;
        hi = near;
    }
    const double precision = p.x.size() > 20000 ? 1e-3 : 1e-4; // (long charts: each decision costs more)
    while (hi - lo > precision * known && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        (w.fewest(mid, points - 1) > points - 1 ? lo : hi) = mid;
    }
    return p.cancelled() ? 0 : lo;
}

} // namespace Fitting::Engine
