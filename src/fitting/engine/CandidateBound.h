#pragma once
// Bounds that no table of so many points can beat: separate straight pieces (a greedy split,
// exact), and the candidate search in hull mode, whose failure proves that no table with its
// knots on the grid reaches the error.
#include "fitting/engine/KnotSearch.h"

namespace Fitting::Engine {

// The fewest separate straight pieces within e of the rows, the first through the pinned first
// value and the last through the pinned last value when the problem pins them.
int separatePieces(const Problem& p, const std::vector<double>& xc, double e);

// Whether no table of `points` points (inputs on the grid, each at least the minimum step
// from the next, display values not rounded, the ends pinned as the problem says) can reach e.
constexpr long long JoinedDecision = 1000000, JoinedVisits = 4000000;
struct Bound {
    const Problem& p;
    int points;
    std::vector<double> xc;
    KnotSearch joined;

    static std::vector<long long> candidates(const Problem& p, const std::vector<double>& xs)
    {
        std::vector<long long> c;
        if (p.x1 - p.x0 <= 3000) { // every input of the grid
            for (long long q = p.x0; q <= p.x1; ++q)
                c.push_back(q);
            return c;
        }
        c = {p.x0, p.x1};
        for (double x : xs) {
            const long long below = gridBelow(p, x);
            for (long long q : {below, below + 1, below + 2})
                if (q >= p.x0 && q <= p.x1)
                    c.push_back(q);
        }
        sortUnique(c);
        return c;
    }
    // The search in hull mode on at most 3,000 rows (and every row at their inputs).
    static KnotSearch search(const Problem& p, const std::vector<double>& xc)
    {
        std::vector<double> xs, ys;
        reducedRows(p, xc, 3000, xs, ys);
        addRowsAtSameInput(p, xc, xs, ys);
        std::vector<long long> cand = candidates(p, xs);
        return KnotSearch(p, std::move(xs), std::move(ys), std::move(cand), p.minStep, true);
    }

    // chart: the whole chart, when p holds only some of its rows
    Bound(const Problem& problem, int k, const Problem* chart = nullptr)
        : p(problem), points(k), xc(clampedInputs(p)), joined(search(p, xc))
    {
        for (size_t b = 1; b < joined.cand.size(); ++b)
            joined.gapBefore[b] = joined.cand[b] - joined.cand[b - 1] > 1;
        if (chart)
            joined.chartFrom(*chart);
    }
    bool separateFails(double e) { return separatePieces(p, xc, e) > points - 1; }
    // true: proven; false: not proven (or cancelled, or the joined search ran out of work)
    bool rulesOut(double e)
    {
        if (separateFails(e))
            return true;
        // up to JoinedDecision visits a decision and JoinedVisits in all (about 0.15 s)
        joined.budget = std::min(JoinedDecision, JoinedVisits - joined.visits);
        if (joined.budget <= 0) {
            joined.aborted = true;
            return false;
        }
        const double relaxed = e * (1 + 1e-6); // the line sets are held a hair narrower than exact
        return !joined.decide(relaxed, points - 1) && !joined.aborted && !p.cancelled();
    }
};



} // namespace Fitting::Engine
