#pragma once
// The fitting algorithms on a prepared problem: rows of (input, display) values and the
// meter's grids. Inputs and display values of a table are integers on their grids (the
// normal forms' last decimal). Used by fit(); its tests reach the lower bound here.
#include <atomic>
#include <functional>
#include <future>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

namespace Fitting::Engine {

// Runs f on a thread of its own, or when no thread can be started, when its result is asked for.
template<class F>
auto alongside(F f) -> std::future<decltype(f())>
{
    try {
        return std::async(std::launch::async, f);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, f);
    }
}

// A problem but for its rows: the meter's grids, the table's ends and the searches' settings.
struct ProblemSettings {
    double inStep = 0.001;    // input resolution (value of one grid unit)
    double inScale = 1000;    // 1 / inStep, exact power of ten
    long long minStep = 150;  // smallest rise between neighbouring points, in grid units
    long long x0 = 0, x1 = 0; // the table's first and last inputs, in grid units
    double outStep = 0.001;   // display resolution
    double outScale = 1000;
    long long outLow = 0, outHigh = 0; // display range, in grid units
    // The exact searches stop within this fraction of the display span of the optimum.
    double precision = 1e-9;
    // The rows sample a curve: a table's inputs lie on rows, whose gaps hide the curve.
    bool knotsOnRows = false;
    // Display values (grid units) the first and last points must take; free when unset.
    std::optional<long long> firstY, lastY;
    const std::atomic_bool* cancel = nullptr;
    // Called by the longer searches with the share of their work done (0 to 1).
    std::function<void(double share)> progress;

    double inValue(long long i) const { return double(i) / inScale; }
    double outValue(long long i) const { return double(i) / outScale; }
    long long inIndex(double v) const;  // nearest grid unit, a half away from zero
    long long outIndex(double v) const; // the same, within the display range
    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

struct Problem : ProblemSettings {
    std::vector<double> x, y; // rows: input values (non-decreasing) and display values
};

struct Table {
    std::vector<long long> x, y; // grid units, x rising
    bool empty() const { return x.empty(); }
};

// Largest |table - chart| with the chart read as straight lines between its rows and the
// table as straight segments, its end values beyond its ends: the largest over the rows and
// the table's knots that lie between rows (a knot beyond the chart's ends compares nothing).
// *at gets the input where it lies.
double chartError(const Problem& p, const Table& t, double* at = nullptr);

// On the rows (every point a row, rounded): the table of at most `points` points with the
// least error, exact (within Problem::precision of the display span). Empty when no table of that size
// keeps the minimum step (or when cancelled). *fewestPoints, when given, gets the fewest points
// of any table on the rows that reaches the error of the table returned.
Table onDataLeast(const Problem& p, int points, int* fewestPoints = nullptr);
// On the rows: a table with the fewest points whose error is at most e, at most maxPoints
// points; empty when none has.
Table onDataFewest(const Problem& p, double e, int maxPoints);
// On the rows: the fewest points of any table on the rows whose error is at most e; 0 when none.
int onDataFewestCount(const Problem& p, double e, int maxPoints);

// Free placement: inputs anywhere on the grid, display values free (the ends pinned when
// Problem::firstY / lastY say so). The table of exactly `points` points with the least
// error found.
Table freeLeast(const Problem& p, int points);
// Free placement, quicker and a little worse: the greedy split's inputs at the least error
// it reaches, with their best display values. `near` (0: none): an error some table reaches.
Table freeQuick(const Problem& p, int points, double near = 0);
// Free placement: the fewest points (at most maxPoints) whose table reaches e; empty when none does.
Table freeFewest(const Problem& p, double e, int maxPoints);
// Free placement, quicker: the points of a table that reaches e found by one search, at
// most maxPoints; 0 when that search finds none.
int freeFewestCount(const Problem& p, double e, int maxPoints);

// Display values for fixed inputs (grid units): the least maximum error, then rounded. With
// `below`, empty when no table of these inputs (rounded or not) has an error of at most it.
Table fixedInputs(const Problem& p, const std::vector<long long>& knots, double below = std::numeric_limits<double>::infinity());

// A lower bound on the error of any table of `points` points from the first input to the
// last, keeping the minimum step, the ends pinned as the problem says: the largest of the least
// error of separate straight pieces (exact, by a greedy split), the fewest joined pieces with
// knots anywhere (exact, by windows, no minimum step), a bisection on joined pieces
// whose knots may take every input of the grid, a bisection on joined pieces with knots
// anywhere, each at least a minimum step long, and, where its states are few, a search over
// the meter's grids that sees the display's rounding too (see docs/design.md). `known` (0: none) is the error of a table already found, the top of the search.
double lowerBound(const Problem& p, int points, double known = 0);

} // namespace Fitting::Engine
