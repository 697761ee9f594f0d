#include <array>

#include "fitting/engine/KnotSearch.h"

namespace Fitting::Engine {

// Marks the rows of [from, to) a search keeps there: all when there are at most 3 * runs,
// else in each of `runs` runs of consecutive rows the first and those farthest above and
// below the chord across the run (its bends, steps and noise peaks).
void markRuns(const std::vector<double>& xc, const std::vector<double>& y, size_t from, size_t to, size_t runs, std::vector<char>& keep,
              const std::atomic_bool* cancel)
{
    if (to <= from)
        return;
    if (to - from <= 3 * runs) {
        std::fill(keep.begin() + long(from), keep.begin() + long(to), 1);
        return;
    }
    const size_t n = to - from;
    for (size_t r = 0; r < runs; ++r) {
        if (cancel && r % 256 == 0 && cancel->load(std::memory_order_relaxed)) {
            keep[from] = keep[to - 1] = 1; // (the ends at least: a search still has rows)
            return;
        }
        const size_t a = from + r * n / runs, b = from + (r + 1) * n / runs; // [a, b)
        size_t lo = a, hi = a;
        const double x0 = xc[a], y0 = y[a], x1 = xc[b - 1], y1 = y[b - 1];
        auto residual = [&](size_t k) { return y[k] - (x1 > x0 ? y0 + (y1 - y0) * (xc[k] - x0) / (x1 - x0) : y0); };
        for (size_t k = a; k < b; ++k) {
            if (residual(k) < residual(lo))
                lo = k;
            if (residual(k) > residual(hi))
                hi = k;
        }
        keep[a] = keep[lo] = keep[hi] = 1;
    }
    keep[to - 1] = 1;
}

// The rows marked in keep, as a search's rows.
void keptRows(const Problem& p, const std::vector<double>& xc, const std::vector<char>& keep, std::vector<double>& xs, std::vector<double>& ys)
{
    xs.clear();
    ys.clear();
    for (size_t k = 0; k < xc.size(); ++k)
        if (keep[k] && (xs.empty() || xc[k] > xs.back())) {
            xs.push_back(xc[k]);
            ys.push_back(p.y[k]);
        }
}

// For a bound: the lowest and highest of the rows that share an input with a row of xs join
// xs, ys (the rows kept above are the first at each input; a bound must see them all there).
void addRowsAtSameInput(const Problem& p, const std::vector<double>& xc, std::vector<double>& xs, std::vector<double>& ys)
{
    std::vector<std::pair<double, double>> rows;
    for (size_t k = 0; k < xs.size(); ++k) {
        rows.push_back({xs[k], ys[k]});
        const auto [a, b] = std::equal_range(xc.begin(), xc.end(), xs[k]);
        if (b - a > 1) {
            const auto [lo, hi] = std::minmax_element(p.y.begin() + (a - xc.begin()), p.y.begin() + (b - xc.begin()));
            rows.push_back({xs[k], *lo});
            rows.push_back({xs[k], *hi});
        }
    }
    sortUnique(rows);
    xs.clear();
    ys.clear();
    for (auto [x, y] : rows)
        xs.push_back(x), ys.push_back(y);
}

// Adds to a search's rows (rows of xc) those within `radius` grid units of each knot: all of
// them, or the extremes of `runs` runs there (markRuns).
void addRowsNear(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots, long long radius, size_t runs,
                 std::vector<double>& xs, std::vector<double>& ys)
{
    std::vector<char> keep(xc.size(), 0);
    for (double x : xs)
        keep[size_t(std::lower_bound(xc.begin(), xc.end(), x) - xc.begin())] = 1;
    for (long long q : knots) {
        const auto from = std::lower_bound(xc.begin(), xc.end(), p.inValue(q - radius));
        const auto to = std::upper_bound(from, xc.end(), p.inValue(q + radius));
        markRuns(xc, p.y, size_t(from - xc.begin()), size_t(to - xc.begin()), runs, keep, p.cancel);
    }
    keptRows(p, xc, keep, xs, ys);
}

// At most about `keep` rows for a search: every row when there are few, else the first and
// last rows and the extremes of runs (markRuns). Dropping rows only loosens a search.
void reducedRows(const Problem& p, const std::vector<double>& xc, size_t keep, std::vector<double>& xs, std::vector<double>& ys)
{
    std::vector<char> kept(xc.size(), 0);
    markRuns(xc, p.y, 0, xc.size(), std::max<size_t>(keep / 3, 1), kept, p.cancel);
    keptRows(p, xc, kept, xs, ys);
}

// Adds to a search's rows, of the rows of xc farther than e from the lines through the knots'
// values (a search's table before rounding), those farthest above and below each piece: the
// rows left out that limit the table most. Returns how many were added.
size_t addStrayRows(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots,
                    const std::vector<double>& values, double e, std::vector<double>& xs, std::vector<double>& ys)
{
    if (knots.size() < 2)
        return 0;
    std::vector<char> keep(xc.size(), 0);
    for (double x : xs)
        keep[size_t(std::lower_bound(xc.begin(), xc.end(), x) - xc.begin())] = 1;
    const size_t none = xc.size();
    std::vector<std::array<size_t, 2>> worst(knots.size() - 1, {none, none}); // above, below
    std::vector<std::array<double, 2>> by(knots.size() - 1, {e * (1 + 1e-9), e * (1 + 1e-9)});
    size_t piece = 0;
    for (size_t k = 0; k < xc.size(); ++k) {
        while (piece + 2 < knots.size() && p.inValue(knots[piece + 1]) < xc[k])
            ++piece;
        if (keep[k])
            continue;
        const double x0 = p.inValue(knots[piece]), x1 = p.inValue(knots[piece + 1]);
        const double v = x1 > x0 ? values[piece] + (values[piece + 1] - values[piece]) * (xc[k] - x0) / (x1 - x0) : values[piece];
        const size_t side = p.y[k] > v ? 0 : 1;
        if (std::fabs(p.y[k] - v) > by[piece][side]) {
            by[piece][side] = std::fabs(p.y[k] - v);
            worst[piece][side] = k;
        }
    }
    bool any = false;
    for (const auto& w : worst)
        for (size_t k : w)
            if (k != none)
                keep[k] = 1, any = true;
    if (!any)
        return 0;
    const size_t before = xs.size();
    keptRows(p, xc, keep, xs, ys);
    return xs.size() - before;
}

// Candidate inputs for the fit: the grid inputs on both sides of every row, a minimum step
// on both sides of the rows where the source bends or steps most (with `straddle`, half
// steps too and halfway to the neighbouring rows), and an even spread.
std::vector<long long> fitCandidates(const Problem& p, const std::vector<double>& xs, const std::vector<double>& ys, long long spread,
                                     bool straddle)
{
    std::vector<long long> c{p.x0, p.x1};
    const size_t n = xs.size();
    for (size_t k = 0; k < n; ++k) {
        const long long below = gridBelow(p, xs[k]);
        c.push_back(below + 1);
        if (p.inValue(below + 1) != xs[k]) // between two inputs of the grid: both
            c.push_back(below);
    }
    // bends: the largest turns between neighbouring rows, scaled to the display span
    std::vector<std::pair<double, size_t>> turns;
    for (size_t k = 1; k + 1 < n; ++k) {
        const double dl = xs[k] - xs[k - 1], dr = xs[k + 1] - xs[k];
        if (dl > 0 && dr > 0)
            turns.push_back({std::fabs((ys[k + 1] - ys[k]) / dr - (ys[k] - ys[k - 1]) / dl) * std::min(dl, dr), k});
    }
    const size_t bends = std::min<size_t>(turns.size(), 64);
    std::partial_sort(turns.begin(), turns.begin() + long(bends), turns.end(), std::greater<>());
    for (size_t b = 0; b < bends; ++b) {
        const size_t k = turns[b].second;
        const long long q = p.inIndex(xs[k]);
        for (long long d : {-p.minStep, -1LL, 0LL, 1LL, p.minStep})
            c.push_back(q + d);
        // (not on dense rows, such as a shape's samples, whose gaps a knot must not exploit)
        if (!straddle || std::min(xs[k] - xs[k - 1], xs[k + 1] - xs[k]) * p.inScale < double(p.minStep) / 4)
            continue;
        // a step between rows closer than the minimum step is best straddled by knots
        // between the rows: halfway to the neighbours, and half steps around the bend
        const long long half = p.minStep / 2;
        for (long long d : {-2 * p.minStep, -p.minStep - half, -half, half, p.minStep + half, 2 * p.minStep})
            c.push_back(q + d);
        for (size_t m : {k - 1, k + 1})
            c.push_back(p.inIndex((xs[k] + xs[m]) / 2));
    }
    for (long long i = 0; i <= spread; ++i)
        c.push_back(p.x0 + (p.x1 - p.x0) * i / spread);
    for (long long& q : c)
        q = std::clamp(q, p.x0, p.x1);
    sortUnique(c);
    return c;
}

// Bisects [lo, hi] (lo failing, hi reached) to `relative` of hi; leaves the search at hi and
// returns it, or Inf when cancelled or out of work.
// atHi: the search holds its decision at hi already.
double bisectLeast(KnotSearch& ks, const Problem& p, int links, double lo, double hi, double relative, bool atHi)
{
    KnotSearch::Held held; // the decision at hi, set aside while lower errors are tried
    bool heldAtHi = false;
    while (hi - lo > relative * hi && hi - lo > tolerance(p, 1e-9)) {
        if (p.cancelled())
            return Inf;
        const double mid = lo + (hi - lo) / 2;
        if (atHi) {
            held = ks.take();
            heldAtHi = true;
        }
        atHi = ks.decide(mid, links);
        if (atHi) {
            hi = mid;
            heldAtHi = false;
        } else if (ks.aborted) {
            return Inf;
        } else {
            lo = mid;
        }
    }
    if (heldAtHi) {
        ks.restore(std::move(held));
        return hi;
    }
    return atHi || ks.decide(hi, links) ? hi : Inf;
}

// The least error a search reaches with `links` pieces, to `relative` of itself: bracketed
// from `start` by doubling upwards, then bisected. Returns the least e found feasible (and
// leaves the search at it), or Inf.
double leastFeasible(KnotSearch& ks, const Problem& p, int links, double start, double relative)
{
    double lo = 0, hi = std::max(start, tolerance(p, 1e-9));
    while (!ks.decide(hi, links)) {
        if (p.cancelled() || ks.aborted || hi > 4 * (dataSpan(p) + p.outStep) + 1e6 * tolerance(p, 1))
            return Inf;
        lo = hi;
        hi *= 4;
    }
    return bisectLeast(ks, p, links, lo, hi, relative, true);
}

// The least error a search reaches at or above e, to `relative` of itself: bracketed upwards
// by steps from 3 % that double while the search fails, then bisected; leaves the search at
// it. Inf when it does not reach even 2.5 e. failsAtE: the search fails at e (no need to try).
double leastAbove(KnotSearch& ks, const Problem& p, int links, double e, double relative, bool failsAtE)
{
    double lo = e, hi = e, step = 0.03;
    if (failsAtE) {
        hi *= 1 + step;
        step *= 2;
    }
    while (!ks.decide(hi, links)) {
        if (hi > 2.5 * e || ks.aborted || p.cancelled())
            return Inf;
        lo = hi;
        hi *= 1 + step;
        step *= 2;
    }
    return lo < hi ? bisectLeast(ks, p, links, lo, hi, relative, true) : hi;
}

// The least error a search reaches near e, to `relative` of itself: bracketed by steps from
// 3 % of e that double while they hold, then bisected; leaves the search at it. Inf when a
// search does not reach even 2.5 e.
double leastNear(KnotSearch& ks, const Problem& p, int links, double e, double relative)
{
    if (!ks.decide(e, links))
        return ks.aborted || p.cancelled() ? Inf : leastAbove(ks, p, links, e, relative, true);
    double lo = e, hi = e, step = 0.03;
    bool atHi = true; // the search holds its decision at hi
    for (;;) {
        hi = lo;
        lo = hi * (1 - step);
        step = std::min(2 * step, 0.5);
        if (lo <= tolerance(p, 1e-9) || p.cancelled())
            break;
        if (!ks.decide(lo, links)) {
            atHi = false;
            break;
        }
    }
    return bisectLeast(ks, p, links, lo, hi, relative, atHi);
}

// The rows of xc that the table of the search's last success misses join its rows (and xs,
// ys): false when there are none.
bool takeStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, std::vector<double>& xs, std::vector<double>& ys)
{
    std::vector<double> values;
    const std::vector<long long> knots = ks.path(&values);
    if (!addStrayRows(p, xc, knots, values, ks.ee, xs, ys))
        return false;
    ks.setRows(xs, ys);
    return true;
}

// While the table a search found at its least error e misses rows it left out, the farthest of
// them join its rows and it finds its least error again from e, at most Cuts times. Returns
// that error, and leaves the search at it.
double withStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, int links, double e, double relative,
                     std::vector<double>& xs, std::vector<double>& ys)
{
    for (int cut = 0; cut < Cuts && std::isfinite(e) && takeStrayRows(ks, p, xc, xs, ys); ++cut)
        e = leastAbove(ks, p, links, e, relative); // more rows never lower the least error
    return e;
}

// Decides e, taking in the rows the table found misses and deciding again, at most Cuts times.
bool decideWithStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, double e, int links,
                         std::vector<double>& xs, std::vector<double>& ys)
{
    for (int cut = 0; ks.decide(e, links); ++cut)
        if (cut == Cuts || !takeStrayRows(ks, p, xc, xs, ys))
            return true;
    return false;
}


} // namespace Fitting::Engine
