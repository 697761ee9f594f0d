// Free placement (freeLeast, freeQuick, freeFewest, freeFewestCount in FitEngine.h): the
// candidate search, the greedy split and the exact table on the rows, each given its best
// display values, then moved; with free ends never worse than the ends on the source.
#include <atomic>

#include "fitting/engine/CandidateBound.h"
#include "fitting/engine/FixedInputs.h"
#include "fitting/engine/Greedy.h"
#include "fitting/engine/GridBound.h"
#include "fitting/engine/KnotSearch.h"
#include "fitting/engine/LinkBound.h"
#include "fitting/engine/Moves.h"

namespace Fitting::Engine {

namespace {

constexpr size_t SearchRows = 400; // rows a search over candidate inputs follows
constexpr size_t NearRuns = 16;    // runs of rows it follows near each knot when refining
constexpr size_t ShortRows = 2500;  // data up to this many rows gets the wider search
constexpr size_t ShortSearchRows = 800; // on that many rows
constexpr long long ThoroughVisits = 4000000; // unless its first search visits more rows than this
constexpr long long RoundVisits = 12000000;   // the search starts no round past this many visits
constexpr long long Spread = 300;   // evenly spread candidate inputs
constexpr long long Passes = 4000000; // rows visited when moving inputs one at a time
constexpr long long RoundedRows = 200000; // rows over tables tried after rounding (up to 2,000 rows)
constexpr long long RoundedTries = 250;   // and tables at most
constexpr long long FewRoundedRows = 60000; // except on few rows: rows over tables tried
constexpr size_t Polished = 2;         // tables found that the moves start from (short data)
constexpr int KnotRounds = 20;         // moves of every knot at once, at most
constexpr long long KnotWork = 20000000; // and row visits
constexpr long long StateWork = 40000000; // visits of the search over every input and value, each way
constexpr double CoarseSteps = 8;          // that search runs below this many display steps of error
constexpr long long StatesFew = 200000;    // on at most this many states below one step
constexpr long long StatesMany = 1000000;  // and this many above
constexpr long long GridFindWork = 20000000; // visits of each decision of the grids' own search

struct FreeFit {
    Table table;
    double error = Inf;
};

// The best table of `points` points from the search's paths at and a little above its least
// error, each with its display values found on every row, then moved input by input (and
// with everyInput, searched on every input near the source when the display grid is coarse).
FreeFit freeSearch(const Problem& p, int points, bool everyInput = true)
{
    const std::vector<double> xc = clampedInputs(p);
    // Short data affords the wider search: more rows, and rounds that keep every candidate
    // (unless the first search was long already: a wide error band, long pieces).
    bool thorough = p.x.size() <= ShortRows;
    // The greedy split on every row, on a core of its own meanwhile: on long smooth sources its
    // inputs are often better.
    std::future<std::vector<long long>> split = alongside([&p, points] { return greedyKnots(p, points, 0); });
    std::vector<double> xs, ys;
    reducedRows(p, xc, thorough ? ShortSearchRows : SearchRows, xs, ys);
    FreeFit best;
    std::vector<std::vector<long long>> paths;
    std::vector<Table> onGrid; // tables the search on the grid found, with its values
    // Candidates at the rows, bends and an even spread; then every input near the knots found
    // joins them, coarse to fine, while that lowers the least error the search reaches.
    std::vector<long long> cand = fitCandidates(p, xs, ys, Spread, p.x.size() <= xs.size());
    if (p.knotsOnRows) {
        for (long long& q : cand)
            q = onRow(p, xc, q);
        cand.erase(std::unique(cand.begin(), cand.end()), cand.end());
    }
    KnotSearch first(p, xs, ys, cand, p.minStep, false);
    double e = leastFeasible(first, p, points - 1, tolerance(p, 1e-6), 1e-2); // the rounds below go finer
    thorough = thorough && first.visits < ThoroughVisits;
    // The rows left out that the table found misses join the search's rows, and it searches
    // again from there, while there are such rows.
    e = withStrayRows(first, p, xc, points - 1, e, 1e-2, xs, ys);
    // Short data, on a core of its own while the search goes on:
    // - on noisy data the split's inputs depend on the errors it tries: the split again from
    //   the error found;
    // - the best rows: their values lie on the display grid already, which the searches
    //   (on values before rounding) do not see.
    std::future<std::vector<std::vector<long long>>> more = alongside([&p, points, e] {
        std::vector<std::vector<long long>> found;
        if (p.x.size() > 4000)
            return found;
        if (std::vector<long long> knots; std::isfinite(e) && !(knots = greedyKnots(p, points, e)).empty())
            found.push_back(std::move(knots));
        if (Table onRows = onDataLeast(p, points); !onRows.empty())
            found.push_back(std::move(onRows.x));
        return found;
    });
    if (std::isfinite(e)) {
        std::vector<long long> knots = first.path();
        paths.push_back(knots);
        for (double f : {1.01, 1.04})
            if (first.decide(e * f, points - 1))
                paths.push_back(first.path());
        knots = padKnots(p, knots, points);
        long long narrowest = p.x1 - p.x0;
        for (size_t i = 1; i < knots.size(); ++i)
            narrowest = std::min(narrowest, knots[i] - knots[i - 1]);
        // Near the knots every row counts: the rows left out there are those a knot's bend
        // passes closest.
        const long long widest = std::max(p.minStep, narrowest / 4);
        if (xs.size() < xc.size())
            addRowsNear(p, xc, knots, 2 * widest, thorough ? xc.size() : NearRuns, xs, ys);
        // Each round adds the inputs around the knots found, coarse to fine, and on long data
        // searches those alone (the knots themselves among them: a round never loses what the
        // last one found).
        long long searched = first.visits;
        std::vector<double> values;
        int recuts = 2; // rounds again at the same width, at most
        long long last = 0; // visits of the last round: the next one, with more candidates, takes more
        for (long long around = widest; std::isfinite(e) && around >= 1 && !p.cancelled(); around /= 16) {
            if (searched + last > RoundVisits) // a wide error band: each round sweeps far
                break;
            const long long stride = std::max(1LL, around / 8);
            if (!thorough)
                cand.clear();
            for (long long q : knots)
                for (long long d = 0; d <= around; d += stride)
                    for (long long at : {q - d, q + d})
                        cand.push_back(onRow(p, xc, std::clamp(at, p.x0, p.x1)));
            sortUnique(cand);
            KnotSearch ks(p, xs, ys, cand, p.minStep, false);
            const double hi = leastNear(ks, p, points - 1, e, 1e-3);
            searched += ks.visits;
            last = ks.visits;
            if (!std::isfinite(hi))
                break;
            const std::vector<long long> found = ks.path(&values);
            knots = padKnots(p, found, points);
            paths.push_back(knots);
            e = hi;
            // a round again when the table found misses rows left out
            if (addStrayRows(p, xc, found, values, ks.ee, xs, ys) && recuts-- > 0)
                around *= 16;
        }
        // The last candidates with display values on the grid at the knots: on a display grid
        // coarse next to the error, the least error before rounding is a poor guide.
        if (std::isfinite(e) && p.outStep > e / 50) {
            KnotSearch grid(p, xs, ys, cand, p.minStep, false);
            grid.onGrid = true;
            const double g = leastNear(grid, p, points - 1, e, 1e-3);
            if (std::isfinite(withStrayRows(grid, p, xc, points - 1, g, 1e-3, xs, ys))) {
                paths.push_back(grid.path(&values));
                // its own values too: they lie on the grid already
                if (paths.back().size() == size_t(points)) {
                    Table t{paths.back(), {}};
                    for (double v : values)
                        t.y.push_back(p.outIndex(v));
                    onGrid.push_back(std::move(t));
                }
            }
        }
    }
    if (p.progress)
        p.progress(0.4);
    if (std::vector<long long> knots = split.get(); !knots.empty())
        paths.push_back(std::move(knots));
    for (std::vector<long long>& knots : more.get())
        paths.push_back(std::move(knots));
    for (std::vector<long long>& knots : paths)
        knots = padKnots(p, knots, points);
    sortUnique(paths);
    // On long data, the two best on the search's rows go on to every row.
    if (paths.size() > 2 && p.x.size() > 4 * xs.size()) {
        Problem q = p;
        q.x = xs;
        q.y = ys;
        std::vector<std::pair<double, size_t>> rank;
        for (size_t i = 0; i < paths.size(); ++i)
            rank.push_back({chartError(q, fixedInputs(q, paths[i])), i});
        std::sort(rank.begin(), rank.end());
        paths = {paths[rank[0].second], paths[rank[1].second]};
    }
    // Each path with its best display values, and the search's tables on the grid; the best
    // of them go on to the moves below.
    // (the second half on a core of its own meanwhile)
    auto valued = [&p, &paths](size_t from, size_t to) {
        std::vector<FreeFit> out;
        for (size_t i = from; i < to && !p.cancelled(); ++i) {
            Table t = fixedInputs(p, paths[i]);
            const double err = chartError(p, t);
            out.push_back({std::move(t), err});
        }
        return out;
    };
    std::future<std::vector<FreeFit>> later = alongside([&valued, half = paths.size() / 2, all = paths.size()] { return valued(half, all); });
    std::vector<FreeFit> found = valued(0, paths.size() / 2);
    for (FreeFit& f : later.get())
        found.push_back(std::move(f));
    if (p.cancelled())
        return {};
    for (Table& t : onGrid) {
        const double err = chartError(p, t);
        found.push_back({std::move(t), err});
    }
    std::stable_sort(found.begin(), found.end(), [](const FreeFit& a, const FreeFit& b) { return a.error < b.error; });
    if (found.empty() || found.front().table.empty())
        return best;
    found.resize(std::min(found.size(), thorough ? Polished : 1));
    if (p.progress)
        p.progress(0.7);
    const long long rows = long(p.x.size());
    for (FreeFit& f : found) {
        if (p.cancelled())
            return {};
        // Moving inputs one at a time: up to 2000 passes on short data, none past 50,000 rows.
        const long long passes = std::clamp<long long>(Passes / rows, 20, 2000);
        if (const std::vector<long long> knots = refineKnots(p, xc, f.table.x, passes); knots != f.table.x) {
            Table moved = fixedInputs(p, knots);
            const double err = chartError(p, moved);
            if (err < f.error)
                f = {std::move(moved), err};
        }
        // Moves judged after rounding, on short data with a display grid that is not fine next
        // to the error (each try finds a whole table); then every knot at once.
        if (const long long tries = std::min(std::max(RoundedTries, FewRoundedRows / rows), RoundedRows / rows);
            rows <= 2000 && p.outStep > f.error / 1000)
            f.table = roundedMoves(p, xc, std::move(f.table), tries);
        f.table = knotsTogether(p, xc, std::move(f.table), KnotRounds, KnotWork);
        f.error = chartError(p, f.table);
        if (f.error < best.error)
            best = std::move(f);
    }
    // On a display grid as coarse as the error: every input and value near the source, the
    // cheaper search first, within a bounded amount of work each (with an error of a few
    // display steps, on every input of the grid: every fourth missed the best there).
    auto coarse = [&] { return everyInput && rows <= 4000 && best.error < CoarseSteps * p.outStep && best.error > tolerance(p, 1e-9); };
    const long long states = best.error < p.outStep ? StatesFew : std::min(StatesMany, (p.x1 - p.x0 + 1) * 49);
    for (bool firstOnly : {true, false})
        if (coarse())
            if (Table t = gridStates(p, xc, points, best.error, StateWork, firstOnly, states); !t.empty()) {
                best.table = knotsTogether(p, xc, std::move(t), KnotRounds, KnotWork);
                best.error = chartError(p, best.table);
            }
    // Then the grids' own search, every value swept alone on every row: its paths are tables.
    if (coarse())
        if (Table t = gridTable(p, points, best.error, GridFindWork); !t.empty()) {
            t = knotsTogether(p, xc, std::move(t), KnotRounds, KnotWork);
            if (const double err = chartError(p, t); err < best.error)
                best = {std::move(t), err};
        }
    return best;
}

} // namespace

Table freeLeast(const Problem& p, int points)
{
    if (p.x.size() < 2 || points < 2 || p.x1 - p.x0 < p.minStep)
        return {};
    points = int(std::min<long long>(points, (p.x1 - p.x0) / p.minStep + 1)); // as many as the step rule lets in
    // Free ends: the fit with the ends on the first and last rows, on a core of its own
    // meanwhile. Its tables are free tables too, so free ends are never worse than the ends
    // on the source; the searches judge tables before rounding and land elsewhere (a 20-row
    // ramp to a plateau on whole units at 4 points: 0.45 free, 0.31 with the ends on the rows).
    std::atomic_bool stop = false;
    std::future<Table> pinned;
    if (!p.firstY && !p.lastY)
        pinned = alongside([&p, &stop, points] {
            Problem q = p;
            q.progress = nullptr;
            q.cancel = &stop;
            q.firstY = p.outIndex(p.y.front());
            q.lastY = p.outIndex(p.y.back());
            return freeLeast(q, points);
        });
    Table t;
    if (p.x.size() > 3 * LongRows) {
        // Long data: the inputs are chosen on the rows that bound each short run, the
        // display values then on every row.
        Problem q = p;
        reducedRows(p, clampedInputs(p), LongRows, q.x, q.y);
        if (const FreeFit f = freeSearch(q, points); !f.table.empty())
            t = fixedInputs(p, f.table.x);
    } else {
        t = freeSearch(p, points).table;
    }
    if (t.empty() && !p.cancelled()) {
        // The search found no inputs that keep the step rule: start from the rows the exact
        // search on the data picks, which does whenever any rows do.
        const Table onRows = onDataLeast(p, points);
        t = onRows.empty() ? Table{} : fixedInputs(p, padKnots(p, onRows.x, points));
    }
    if (pinned.valid()) {
        stop = p.cancelled();
        if (Table g = pinned.get(); !stop && !g.empty() && (t.empty() || chartError(p, g) < chartError(p, t)))
            t = std::move(g);
    }
    return p.cancelled() ? Table{} : t;
}

Table freeQuick(const Problem& p, int points, double near)
{
    if (p.x.size() < 2 || points < 2 || p.x1 - p.x0 < p.minStep)
        return {};
    points = int(std::min<long long>(points, (p.x1 - p.x0) / p.minStep + 1));
    const std::vector<long long> knots = greedyKnots(p, points, near);
    return knots.empty() ? Table{} : fixedInputs(p, knots);
}

int freeFewestCount(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return 0;
    maxPoints = int(std::min<long long>(maxPoints, (p.x1 - p.x0) / p.minStep + 1));
    const std::vector<double> xc = clampedInputs(p);
    std::vector<double> xs, ys;
    reducedRows(p, xc, SearchRows, xs, ys);
    KnotSearch ks(p, xs, ys, fitCandidates(p, xs, ys, Spread), p.minStep, false);
    if (!decideWithStrayRows(ks, p, xc, e, maxPoints - 1, xs, ys))
        return 0;
    const std::vector<long long> knots = ks.path();
    return chartError(p, fixedInputs(p, knots)) <= e ? int(knots.size()) : 0;
}

Table freeFewest(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return {};
    maxPoints = int(std::min<long long>(maxPoints, (p.x1 - p.x0) / p.minStep + 1));
    auto meets = [&](const Table& t) { return !t.empty() && chartError(p, t) <= e; };
    // The search at e gives a count; the least-error tables of that many points and fewer
    // may reach e with fewer still, until the bound rules fewer out.
    const std::vector<double> xc = clampedInputs(p);
    std::vector<double> xs, ys;
    reducedRows(p, xc, SearchRows, xs, ys);
    KnotSearch ks(p, xs, ys, fitCandidates(p, xs, ys, Spread), p.minStep, false);
    Table best;
    int points = 2;
    if (decideWithStrayRows(ks, p, xc, e, maxPoints - 1, xs, ys)) {
        const std::vector<long long> knots = ks.path();
        points = int(knots.size());
        Table t = fixedInputs(p, knots);
        if (meets(t))
            best = std::move(t);
    } else {
        // The search finds no count: the most points first, then a bisection on the count.
        best = freeLeast(p, maxPoints);
        if (!meets(best))
            return {};
        int fails = std::max(1, std::min(fewestLinks(p, e, maxPoints), maxPoints - 1)), reaches = maxPoints;
        while (reaches - fails > 1 && !p.cancelled()) {
            const int mid = (fails + reaches) / 2;
            if (Table t = freeLeast(p, mid); meets(t)) {
                best = std::move(t);
                reaches = mid;
            } else {
                fails = mid;
            }
        }
        return best;
    }
    for (; !meets(best) && points <= maxPoints; ++points) {
        if (p.cancelled())
            return {};
        best = freeLeast(p, points);
    }
    if (!meets(best))
        return {};
    for (int fewer = int(best.x.size()) - 1; fewer >= 2 && !p.cancelled(); --fewer) {
        if (fewestLinks(p, e, fewer) > fewer - 1 || Bound(p, fewer).rulesOut(e))
            break;
        Table t = freeLeast(p, fewer);
        if (!meets(t))
            break;
        best = std::move(t);
    }
    return best;
}


} // namespace Fitting::Engine
