#include "fitting/engine/GridBound.h"
#include "fitting/engine/KnotSearch.h"
#include "fitting/engine/Lines.h"
#include "fitting/engine/Proof.h"

namespace Fitting::Engine {

namespace {

constexpr long long GridInputs = 400000; // inputs of the grid it follows at most
constexpr long long GridStates = 12000000;// (input, value) states at most
constexpr size_t ShortRun = 4;            // runs of fewer values sweep each value alone
constexpr long long GridWork = 20000000;  // input, row and state visits over its bisection (about 0.3 s)
constexpr long long NearWork = 80000000;  // and of the search just below the table's error, beside the other bounds

struct GridSearch {
    const Problem& p;
    std::vector<double> xc, y; // rows, their inputs held within the table's ends
    std::vector<double> top, bottom; // per input: the largest and smallest chart value a knot there meets
    std::vector<long long> lo, hi, base; // per input: the display values within e, the states' offset
    std::vector<unsigned char> layer;     // per state: the fewest pieces reaching it (255: none yet)
    std::vector<long long> unseen;        // per input: states not reached yet
    std::vector<long long> skip;          // per input: at or before the next input with states unseen
    std::vector<size_t> rowAfter;         // per input: the first row past it
    std::vector<char> atRow;              // per input: a row lies there
    // Per gap between the rows swept (before row r): whether the chart is straight there, else
    // the least and largest values it takes there (rows left out of the sweep lie between).
    std::vector<char> straight;
    std::vector<double> gapLo, gapHi;
    std::vector<int> after;               // per row: the fewest separate pieces from it to the end
    std::vector<std::pair<long long, long long>> frontier, next; // (input, value)
    Lines lines;
    double sMax = 0; // the steepest piece the display range allows over a minimum step
    long long budget = GridWork;
    bool aborted = false;
    bool usable = true;
    // Finding tables: every value sweeps alone on every row, so that a path is a table; each
    // state keeps the one it was first reached from (its index), and `found` the path reached.
    bool finding = false;
    std::vector<int> from;
    Table found;

    GridSearch(const Problem& problem, size_t sweptRows)
        : p(problem), xc(clampedInputs(p)), y(p.y)
    {
        lines.grow = true;
        sMax = slopeLimit(p, p.minStep);
        const long long n = p.x1 - p.x0 + 1;
        if (n > GridInputs || p.x.empty()) {
            usable = false;
            return;
        }
        top.assign(size_t(n), -Inf);
        bottom.assign(size_t(n), Inf);
        rowAfter.assign(size_t(n), 0);
        atRow.assign(size_t(n), 0);
        size_t r = 0;
        for (long long q = p.x0; q <= p.x1; ++q) {
            const size_t i = size_t(q - p.x0);
            if (i % 4096 == 0 && p.cancelled()) { // (millions of rows: the pass over them takes a while)
                usable = false;
                return;
            }
            const double v = p.inValue(q);
            while (r < xc.size() && xc[r] < v)
                ++r;
            // rows at this input (beyond the ends too: they meet the end values) and the chart between rows
            for (size_t k = r; k < xc.size() && xc[k] == v; ++k)
                top[i] = std::max(top[i], y[k]), bottom[i] = std::min(bottom[i], y[k]), atRow[i] = 1;
            if (const double c = chartBetween(p, v); !std::isnan(c))
                top[i] = std::max(top[i], c), bottom[i] = std::min(bottom[i], c);
            // a knot that meets nothing may take any value: too many states
            if (top[i] == -Inf && !((q == p.x0 && p.firstY) || (q == p.x1 && p.lastY)))
                usable = false;
        }
        // Long charts: the lines sweep the extremes of runs of rows (fewer rows only widen the
        // set of lines), and between two swept rows the band around every value the chart takes there.
        if (xc.size() > sweptRows && usable) {
            std::vector<double> xs, ys;
            reducedRows(p, xc, sweptRows, xs, ys);
            addRowsAtSameInput(p, xc, xs, ys);
            straight.assign(xs.size() + 1, 0);
            gapLo.assign(xs.size() + 1, Inf);
            gapHi.assign(xs.size() + 1, -Inf);
            size_t f = 0;
            for (size_t k = 1; k < xs.size(); ++k) {
                if (k % 1024 == 0 && p.cancelled()) {
                    usable = false;
                    return;
                }
                while (f < xc.size() && xc[f] < xs[k - 1])
                    ++f;
                size_t inGap = 0;
                for (size_t g = f; g < xc.size() && xc[g] <= xs[k]; ++g, ++inGap)
                    gapLo[k] = std::min(gapLo[k], y[g]), gapHi[k] = std::max(gapHi[k], y[g]);
                straight[k] = inGap == 2;
            }
            xc.swap(xs);
            y.swap(ys);
        }
        r = 0;
        for (long long q = p.x0; q <= p.x1; ++q) {
            const double v = p.inValue(q);
            while (r < xc.size() && xc[r] <= v)
                ++r;
            rowAfter[size_t(q - p.x0)] = r;
        }
    }

    // The display values (grid units) a knot at input q may take within ee.
    std::pair<long long, long long> values(long long q, double ee) const
    {
        const size_t i = size_t(q - p.x0);
        if (p.knotsOnRows && !atRow[i]) // a curve's knots lie on its samples
            return {1, 0};
        long long a = p.outLow, b = p.outHigh;
        if (top[i] > -Inf) {
            a = std::max(a, static_cast<long long>(std::ceil((top[i] - ee) * p.outScale - 1e-6)));
            b = std::min(b, static_cast<long long>(std::floor((bottom[i] + ee) * p.outScale + 1e-6)));
        }
        if (q == p.x0 && p.firstY)
            a = std::max(a, *p.firstY), b = std::min(b, *p.firstY);
        if (q == p.x1 && p.lastY)
            a = std::max(a, *p.lastY), b = std::min(b, *p.lastY);
        return {a, b};
    }

    // The fewest separate straight pieces (a superset of lines each) the rows from each on need:
    // a split from the end, each piece reaching back as far as it can.
    void countAfter(double ee)
    {
        const size_t n = xc.size();
        after.assign(n + 1, 0);
        Lines lines;
        lines.grow = true;
        const double sMax = slopeLimit(p, 1);
        size_t origin = n;
        int pieces = 0;
        for (size_t k = n; k-- > 0;) {
            if (origin < n)
                lines.row(xc[k] - xc[origin], y[k], ee);
            if (origin == n || lines.empty()) {
                origin = k;
                lines.box(y[k] - ee, y[k] + ee, sMax);
                ++pieces;
            }
            after[k] = pieces;
        }
    }

    // The first input at or after i (offsets from x0) with states unseen; n when none.
    long long unseenFrom(long long i)
    {
        long long r = i;
        while (skip[size_t(r)] != r)
            r = skip[size_t(r)];
        while (skip[size_t(i)] != r) {
            const long long up = skip[size_t(i)];
            skip[size_t(i)] = r;
            i = up;
        }
        return r;
    }

    // The table from the first input to (q, w), reached from state `source`.
    void pathTo(long long q, long long w, int source)
    {
        found = {};
        found.x.push_back(q), found.y.push_back(w);
        for (long long s = source; s >= 0; s = from[size_t(s)]) {
            const size_t i = size_t(std::upper_bound(base.begin(), base.end(), s) - base.begin()) - 1;
            found.x.push_back(p.x0 + long(i)), found.y.push_back(lo[i] + s - base[i]);
        }
        std::reverse(found.x.begin(), found.x.end());
        std::reverse(found.y.begin(), found.y.end());
    }

    // Whether a table of at most `links` pieces on the grids may reach e (false: proven that
    // none does, unless aborted or cancelled).
    bool decide(double e, int links)
    {
        aborted = false;
        const double ee = slack(p, e);
        const long long n = p.x1 - p.x0 + 1;
        lo.resize(size_t(n)), hi.resize(size_t(n)), base.resize(size_t(n) + 1), unseen.resize(size_t(n));
        base[0] = 0;
        for (long long q = p.x0; q <= p.x1; ++q) {
            const size_t i = size_t(q - p.x0);
            std::tie(lo[i], hi[i]) = values(q, ee);
            unseen[i] = std::max(0LL, hi[i] - lo[i] + 1);
            base[i + 1] = base[i] + unseen[i];
            if (base[i + 1] > GridStates) {
                aborted = true;
                return true;
            }
        }
        budget -= n;
        skip.resize(size_t(n) + 1);
        for (size_t i = 0; i <= size_t(n); ++i)
            skip[i] = i < size_t(n) && unseen[i] == 0 ? (long long)i + 1 : (long long)i;
        countAfter(ee);
        layer.assign(size_t(base[size_t(n)]), 255);
        if (finding)
            from.assign(layer.size(), -1);
        frontier.clear();
        for (long long v = lo[0]; v <= hi[0]; ++v)
            frontier.push_back({p.x0, v}), layer[size_t(v - lo[0])] = 0;
        for (int j = 0; j < links && !frontier.empty(); ++j) {
            next.clear();
            // the first input from which the rows after it can still be covered (after[] falls)
            long long lo0 = 0, hi0 = n;
            while (lo0 < hi0) {
                const long long mid = (lo0 + hi0) / 2;
                (j + 1 + after[rowAfter[size_t(mid)]] > links ? lo0 = mid + 1 : hi0 = mid);
            }
            const long long allowed = p.x0 + lo0;
            // Each run of neighbouring values reached at an input sweeps as one: the lines from
            // any value between its ends (a superset of those from its grid values).
            std::sort(frontier.begin(), frontier.end());
            for (size_t f = 0; f < frontier.size();) {
                if (p.cancelled() || budget <= 0) {
                    aborted = budget <= 0;
                    return true;
                }
                const long long q = frontier[f].first, first = frontier[f].second;
                size_t g = f + 1;
                while (g < frontier.size() && frontier[g].first == q && frontier[g].second == frontier[g - 1].second + 1)
                    ++g;
                if (g - f < ShortRun || p.knotsOnRows || finding) // a short run (or few inputs): each value alone, exactly
                    g = f + 1;
                const int source = int(base[size_t(q - p.x0)] + first - lo[size_t(q - p.x0)]);
                const long long last = frontier[g - 1].second;
                f = g;
                const double X = p.inValue(q);
                // a single value sweeps its slopes alone (an interval), a run the set of lines
                const bool single = first == last;
                const double v = p.outValue(first);
                double sLo = -sMax, sHi = sMax;
                lines.box(v, p.outValue(last), sMax);
                auto valuesAt = [&](double t) {
                    return single ? std::pair{v + sLo * t, v + sHi * t} : lines.valuesAt(t);
                };
                // the states at q2 the lines within e of the rows between reach
                auto visit = [&](long long q2) {
                    budget -= single ? 1 : 1 + long(lines.poly.size());
                    const size_t i = size_t(q2 - p.x0);
                    if (unseen[i] == 0 || j + 1 + after[rowAfter[i]] > links)
                        return false;
                    const auto [vLo, vHi] = valuesAt(p.inValue(q2) - X);
                    const long long a = std::max(lo[i], ceilWithin(vLo * p.outScale - 1e-6, lo[i] - 1, hi[i] + 1));
                    const long long b = std::min(hi[i], floorWithin(vHi * p.outScale + 1e-6, lo[i] - 1, hi[i] + 1));
                    for (long long w = a; w <= b; ++w) {
                        unsigned char& l = layer[size_t(base[i] + w - lo[i])];
                        if (l != 255)
                            continue;
                        if (q2 == p.x1) {
                            if (finding)
                                pathTo(q2, w, source);
                            return true;
                        }
                        l = static_cast<unsigned char>(j + 1);
                        if (finding)
                            from[size_t(base[i] + w - lo[i])] = source;
                        if (--unseen[i] == 0)
                            skip[i] = (long long)i + 1;
                        next.push_back({q2, w});
                    }
                    budget -= std::max(0LL, b - a);
                    return false;
                };
                size_t r = rowAfter[size_t(q - p.x0)];
                const size_t rows = xc.size();
                for (long long q2 = std::max(allowed, q + std::max<long long>(p.minStep, 1)); q2 <= p.x1;) {
                    q2 = p.x0 + unseenFrom(q2 - p.x0);
                    if (q2 > p.x1)
                        break;
                    const double X2 = p.inValue(q2);
                    for (; r < rows && xc[r] < X2 && sLo <= sHi && !lines.empty(); ++r) {
                        const double d = xc[r] - X;
                        if (single) {
                            sLo = std::max(sLo, (y[r] - ee - v) / d);
                            sHi = std::min(sHi, (y[r] + ee - v) / d);
                            --budget;
                        } else {
                            lines.row(d, y[r], ee);
                            budget -= long(lines.poly.size());
                        }
                    }
                    if (sLo > sHi || lines.empty())
                        break;
                    if (r == 0 || r == rows || !(xc[r] > X2) || !(xc[r - 1] < X2)) { // at a row's input
                        if (visit(q2))
                            return true;
                        ++q2;
                        continue;
                    }
                    // Strictly between rows r - 1 and r the chart is straight and the lines' values
                    // lie between vMin + sMin t and vMax + sMax t: only the inputs where these meet
                    // the band around the chart count.
                    double vMin = v, vMax = v, sMin = sLo, sMost = sHi;
                    if (!single) {
                        vMin = sMin = Inf, vMax = sMost = -Inf;
                        for (const Lines::Vertex& P : lines.poly)
                            vMin = std::min(vMin, P[0]), vMax = std::max(vMax, P[0]), sMin = std::min(sMin, P[1]), sMost = std::max(sMost, P[1]);
                    }
                    const long long gapEnd = std::min(p.x1, gridBelow(p, xc[r]));
                    const bool swept = straight.empty() || straight[r];
                    const double m = swept ? (y[r] - y[r - 1]) / (xc[r] - xc[r - 1]) : 0, cX = swept ? y[r - 1] + m * (X - xc[r - 1]) : 0;
                    const double cHi = swept ? cX : gapHi[r], cLo = swept ? cX : gapLo[r];
                    const double delta = 1e-9 * (std::fabs(vMin) + std::fabs(vMax) + std::fabs(cHi) + std::fabs(cLo) + ee + p.outStep);
                    double tMin = X2 - X, tMax = p.inValue(gapEnd) - X;
                    auto keep = [&](double A, double B) { // A t + B <= 0
                        if (A > 0)
                            tMax = std::min(tMax, -B / A);
                        else if (A < 0)
                            tMin = std::max(tMin, -B / A);
                        else if (B > 0)
                            tMax = -Inf;
                    };
                    keep(sMin - m, vMin - cHi - ee - delta);
                    keep(m - sMost, cLo - vMax - ee - delta);
                    budget -= single ? 2 : 2 + long(lines.poly.size());
                    if (tMin <= tMax) {
                        const long long qa = std::max(q2, static_cast<long long>(std::floor((X + tMin) * p.inScale)) - 1);
                        const long long qb = std::min(gapEnd, static_cast<long long>(std::ceil((X + tMax) * p.inScale)) + 1);
                        for (long long w = p.x0 + unseenFrom(qa - p.x0); w <= qb; w = p.x0 + unseenFrom(w + 1 - p.x0))
                            if (visit(w))
                                return true;
                    }
                    q2 = gapEnd + 1;
                }
            }
            frontier.swap(next);
        }
        return false;
    }
};

// As many points as asked: each added on a piece of t, on its line or a display step from it,
// where the error grows least (on a curve's samples only at a sample); empty when no piece is
// long enough.
Table padded(const Problem& p, Table t, int points)
{
    const long long step = std::max<long long>(p.minStep, 1);
    while (t.x.size() < size_t(points)) {
        Table pick;
        double least = Inf;
        for (size_t at = 0; at + 1 < t.x.size(); ++at) {
            const long long a = t.x[at], b = t.x[at + 1];
            const long long stride = std::max<long long>(1, (b - a - 2 * step) / 16);
            for (long long q = a + step; q <= b - step; q += stride) {
                if (p.knotsOnRows && !std::binary_search(p.x.begin(), p.x.end(), p.inValue(q)))
                    continue;
                const double v = double(t.y[at]) + double(t.y[at + 1] - t.y[at]) * double(q - a) / double(b - a);
                for (long long w = std::llround(v) - 1; w <= std::llround(v) + 1; ++w) {
                    Table u = t;
                    u.x.insert(u.x.begin() + long(at) + 1, q);
                    u.y.insert(u.y.begin() + long(at) + 1, std::clamp(w, p.outLow, p.outHigh));
                    if (const double err = chartError(p, u); err < least)
                        least = err, pick = std::move(u);
                }
            }
        }
        if (pick.empty())
            return {};
        t = std::move(pick);
    }
    return t;
}

} // namespace

Table gridTable(const Problem& p, int points, double known, long long work)
{
    if (!(known > 0) || points < 2 || p.cancelled())
        return {};
    GridSearch search(p, std::numeric_limits<size_t>::max());
    if (!search.usable)
        return {};
    search.finding = true;
    // Down from the known error by steps from 0.5 % that double while tables are found there,
    // then halving the step below the last table found, to 0.1 %.
    Table best;
    double hi = known, step = 5e-3;
    while (step > 1e-3 && !p.cancelled()) {
        const double e = hi * (1 - step);
        search.budget = work;
        if (!search.decide(e, points - 1) || search.aborted) {
            if (search.aborted)
                break;
            step /= 2;
            continue;
        }
        Table t = padded(p, search.found, points);
        const double err = t.empty() ? Inf : chartError(p, t);
        if (!(err < hi)) { // fewer points that cannot be made as many
            step /= 2;
            continue;
        }
        best = std::move(t);
        hi = err;
        step = std::min(0.5, 2 * step);
    }
    return best;
}

double gridBound(const Problem& p, int points, double lo, double known, size_t rows, GridTries tries)
{
    if (!(known > lo) || points < 2 || p.cancelled())
        return lo;
    // On a curve's samples only where the display is coarse against the error (a step of a
    // twentieth of it or more): elsewhere the rounding matters little there, and the states are many.
    if (p.knotsOnRows && p.outStep < known / 20)
        return lo;
    GridSearch search(p, rows);
    if (!search.usable)
        return lo;
    // (not on a curve's samples, where every value sweeps alone: on 2:1 heads at 32 points the
    // search just below the error took 220,000,000 visits to find no proof)
    if (tries == GridTries::Near && !p.knotsOnRows)
        search.budget = NearWork;
    // Tables are mostly near the best: a proof just below the table's error first (one search),
    // then a bisection below it when a table reaches that.
    const double near = known * (1 - 4e-3);
    if (near <= lo)
        return lo;
    if (tries != GridTries::Below && !search.decide(near * (1 + 1e-6), points - 1))
        return near;
    if (search.aborted || tries == GridTries::Near)
        return lo;
    // (below: from the other bounds' lo, first just above it, where a bound that cannot help
    // costs one search)
    return provenBelow(search, p, points - 1, lo, near, 5e-3, tries == GridTries::Below ? 5e-3 : 0);
}

} // namespace Fitting::Engine
