#include "fitting/engine/WindowBounds.h"
#include "fitting/engine/KnotSearch.h"
#include "fitting/engine/Proof.h"

namespace Fitting::Engine {

namespace {

// The search in hull mode on every input of [first, last], over the rows in [from, to] (the
// extremes of StepRuns runs beyond 180 rows), each point at least the minimum step from the
// next but the first and the last (the table's pieces there reach beyond). q becomes p without
// its rows and with its ends pinned only where the window holds them; the search keeps it.
constexpr size_t StepRuns = 60;
KnotSearch windowSearch(const Problem& p, const std::vector<double>& xc, Problem& q, long long first, long long last,
                        long long from, long long to)
{
    std::vector<double> xs, ys;
    std::vector<char> keep(xc.size(), 0);
    const auto begin = std::lower_bound(xc.begin(), xc.end(), p.inValue(from));
    const auto end = std::upper_bound(begin, xc.end(), p.inValue(to));
    markRuns(xc, p.y, size_t(begin - xc.begin()), size_t(end - xc.begin()), StepRuns, keep, p.cancel);
    keptRows(p, xc, keep, xs, ys);
    q = withoutRows(p); // (the search holds its own rows)
    if (first > p.x0)
        q.firstY.reset();
    if (last < p.x1)
        q.lastY.reset();
    std::vector<long long> cand;
    for (long long c = first; c <= last; ++c)
        cand.push_back(c);
    KnotSearch ks(q, std::move(xs), std::move(ys), std::move(cand), p.minStep, true);
    // A window's edge is no knot of the table: the piece through it may begin less than a
    // minimum step before it, and is the table's piece, whose value lies in the display range
    // (its line carried on to the edge from a knot further back could leave it).
    ks.freeStart = first > p.x0;
    ks.freeEnd = last < p.x1;
    ks.chartFrom(p);
    return ks;
}

// Near a rise between rows closer than the minimum step no table follows the rows. The least
// error there of joined pieces on every input of the grid, at least a minimum step apart (the
// first may start nearer: the table's piece before reaches further back), with any values, is
// a bound for every table: its pieces there are such pieces. The largest over the StepRises
// largest rises and both ends (where the first and last pieces start at the ends, with their
// values when the ends are on the source), each bisected from `lo` up to `known` within
// StepWork visits a decision.
} // namespace

constexpr size_t StepRises = 2;
constexpr long long StepWork = 2000000;
double stepBound(const Problem& p, double lo, double known)
{
    if (p.minStep <= 1 || !(known > lo) || p.cancelled())
        return lo;
    const std::vector<double> xc = clampedInputs(p);
    std::vector<std::pair<double, size_t>> rises; // the StepRises largest, largest first
    for (size_t k = 0; k + 1 < xc.size(); ++k) {
        if (k % 65536 == 0 && p.cancelled())
            return lo;
        if (xc[k + 1] > xc[k] && p.inIndex(xc[k + 1]) - p.inIndex(xc[k]) < p.minStep)
            if (const std::pair<double, size_t> r{std::fabs(p.y[k + 1] - p.y[k]), k}; rises.size() < StepRises || r > rises.back()) {
                rises.insert(std::upper_bound(rises.begin(), rises.end(), r, std::greater<>()), r);
                if (rises.size() > StepRises)
                    rises.pop_back();
            }
    }
    const size_t count = rises.size();
    // the inputs whose rows each search follows: both ends, and a minimum step around each rise
    std::vector<std::pair<long long, long long>> windows{{p.x0, p.x0 + 2 * p.minStep}, {p.x1 - 2 * p.minStep, p.x1}};
    for (size_t r = 0; r < count; ++r)
        windows.push_back({p.inIndex(xc[rises[r].second]) - p.minStep, p.inIndex(xc[rises[r].second + 1]) + p.minStep});
    for (const auto& [from, to] : windows) {
        if (p.cancelled())
            break;
        Problem q;
        const long long first = std::max(p.x0, from - p.minStep), last = std::min(p.x1, to + p.minStep);
        KnotSearch ks = windowSearch(p, xc, q, first, last, from, to);
        ks.budget = StepWork;
        lo = provenBelow(ks, p, int((last - first) / p.minStep) + 2, lo, known, 1e-2);
    }
    return lo;
}

// Stepped charts: at a rise larger than the error between rows closer than the minimum step
// a table zigzags, with knots of its own there. Over disjoint windows of inputs, each reaching
// WindowSteps minimum steps beyond a rise, a table has at least (the least pieces that reach e
// on the window's rows) - 1 knots strictly inside each window, and two at the ends: e is out
// of reach when those add up to more than `points`. A window's rows lie a minimum step inside
// it (up to an end of the table), so its first piece may start anywhere and its last needs no
// knot past its rows: the table's pieces there are such pieces. Each window's least pieces by
// the search in hull mode on every input there; windows around the largest rises first, at
// most WindowRises; bisected from `lo` up to `known` within WindowWork visits in all, its first
// decision just above `lo`. Not on a curve's samples: their rises are the curve's slope, which
// joined pieces follow, and the windows only split the joined pieces' bound (on every shape
// they raised no bound, at up to half a second of work).
constexpr size_t WindowRises = 24;
constexpr long long WindowSteps = 5; // a window reaches this many minimum steps beyond its rise
constexpr long long WindowWork = 12000000, WindowInputs = 4000, WindowProbeWork = 1000000;
double windowsBound(const Problem& p, int points, double lo, double known)
{
    if (p.minStep <= 1 || !(known > lo) || points < 3 || p.knotsOnRows || p.cancelled())
        return lo;
    const std::vector<double> xc = clampedInputs(p);
    std::vector<std::pair<double, size_t>> rises;
    for (size_t k = 0; k + 1 < xc.size(); ++k)
        if (k % 65536 == 0 && p.cancelled())
            return lo;
        else if (xc[k + 1] > xc[k] && p.inIndex(xc[k + 1]) - p.inIndex(xc[k]) < p.minStep && std::fabs(p.y[k + 1] - p.y[k]) > known)
            rises.push_back({std::fabs(p.y[k + 1] - p.y[k]), k});
    if (rises.size() < 2)
        return lo; // (one window: the step bound does better)
    // the windows, disjoint: around the largest rises first, each one clear of those taken
    std::sort(rises.begin(), rises.end(), std::greater<>());
    std::vector<std::pair<long long, long long>> windows;
    for (size_t r = 0; r < rises.size() && windows.size() < WindowRises; ++r) {
        const std::pair<long long, long long> range{std::max(p.x0, p.inIndex(xc[rises[r].second]) - WindowSteps * p.minStep),
                                                    std::min(p.x1, p.inIndex(xc[rises[r].second + 1]) + WindowSteps * p.minStep)};
        if (std::none_of(windows.begin(), windows.end(), [&](const auto& w) { return range.first < w.second && w.first < range.second; }))
            windows.push_back(range);
    }
    std::vector<Problem> problems; // (each search keeps a reference)
    problems.reserve(windows.size());
    std::vector<KnotSearch> searches;
    for (const auto& [first, last] : windows) {
        if (p.cancelled())
            return lo;
        if (last - first > WindowInputs)
            continue;
        const long long from = first > p.x0 ? first + p.minStep : first, to = last < p.x1 ? last - p.minStep : last;
        searches.push_back(windowSearch(p, xc, problems.emplace_back(), first, last, from, to));
    }
    if (searches.size() < 2)
        return lo;
    // A decision for provenBelow: false when the knots the windows need add up to more than
    // the points (no table reaches e); aborted when out of work.
    struct {
        std::vector<KnotSearch>& searches;
        const Problem& p;
        int points;
        long long left = WindowWork;
        bool aborted = false;
        bool decide(double e, int)
        {
            int knots = 2;
            for (KnotSearch& ks : searches) {
                aborted = left <= 0 || p.cancelled();
                if (aborted)
                    return false;
                ks.budget = left;
                const long long before = ks.visits;
                const bool reached = ks.decide(e, points - knots + 1);
                left -= ks.visits - before;
                aborted = ks.aborted;
                if (!reached)
                    return false;
                knots += ks.links - 1;
                if (knots > points)
                    return false;
            }
            return true;
        }
    } count{searches, p, points};
    // One decision just above lo first, within WindowProbeWork visits: where a table reaches it
    // the bisection could gain less than that, and where it needs more work the windows stop
    // (on data fits, whose table lies far above the bound, they spent their whole budget there
    // and raised nothing).
    if (known - lo > 4e-3 * known) {
        count.left = WindowProbeWork;
        const double near = lo + 2e-3 * known;
        const bool reached = count.decide(near * (1 + 1e-6), points - 1);
        if (reached || count.aborted)
            return lo;
        lo = near;
        count.left += WindowWork - WindowProbeWork;
    }
    return provenBelow(count, p, points - 1, lo, known, 1e-2);
}


} // namespace Fitting::Engine
