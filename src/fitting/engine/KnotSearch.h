#pragma once
// The search over candidate inputs: exact over its candidates (a success is a real table),
// or in hull mode a superset of what any table with knots there can take (a failure proves
// that none reaches the error), and the row reductions and bisections around it.
#include "fitting/engine/Grids.h"
#include "fitting/engine/Tube.h"

namespace Fitting::Engine {

// ---- Free placement: a search over candidate inputs.
//
// Layer j holds, for every candidate input, the display values that a table of at most j
// joined pieces from the first input can take there. A piece's state at a knot is its value
// alone (the next piece is any line from it), so each candidate with new values sweeps
// forwards over the rows, keeping the convex set of lines from those values that stay within
// e of them, and offers each later candidate (at least the minimum step away) the values of
// those lines there: an interval per sweep. Two ways of merging the offers:
// - Exact: a candidate keeps the union of its offers (at most UnionParts intervals, the
//   narrowest dropped beyond that). Every value held is reached by a real chain of pieces,
//   so a success is a table (the fit), and with few parts a failure means that no table
//   with knots among the candidates reaches e.
// - Hull: a candidate keeps the hull of all offers, a superset of what any table can take
//   there, so a failure proves that no table with knots among the candidates reaches e
//   (the bound).
// A candidate whose values did not change since the layer before offers nothing new, so
// each sweeps only a few times.
constexpr size_t UnionParts = 8;
constexpr long long GridStarts = 4; // on the grid: values swept one by one, at most
using Union = std::vector<Interval>; // disjoint, rising

struct KnotSearch {
    const Problem& p;
    std::vector<double> xs, ys;  // rows, inputs within the table's ends
    std::vector<long long> cand; // candidate inputs, rising: the first is x0, the last x1
    std::vector<double> cv;
    std::vector<double> chart; // exact: the chart between rows at each candidate (NaN: none)
    std::vector<int> candRow; // first row at or beyond each candidate
    std::vector<char> gapBefore; // hull: grid inputs without a candidate lie just before this one
    long long minStep = 1;
    bool hull = false;
    bool freeStart = false; // the first piece may be shorter than the minimum step
    bool freeEnd = false;   // and the last (a window's edge, where the table's piece goes on)
    bool onGrid = false; // exact: offers keep only what lies between display values of the grid
    double sMax = 0;
    double ee = 0;         // the error of the last decision, with its slack
    long long budget = -1; // row and candidate visits per decision; -1: unlimited
    bool aborted = false;  // the budget ran out: the decision means nothing
    long long visits = 0;  // row and candidate visits of every decision so far
    int links = 0;         // of the last success
    std::vector<std::vector<Union>> reach;

    // A decision's result, set aside and put back (path() reads it).
    struct Held {
        std::vector<std::vector<Union>> reach;
        int links = 0;
        double ee = 0;
    };
    Held take() { return {std::move(reach), links, ee}; }
    void restore(Held&& h)
    {
        reach = std::move(h.reach);
        links = h.links;
        ee = h.ee;
        aborted = false;
    }

    KnotSearch(const Problem& problem, std::vector<double> x, std::vector<double> y, std::vector<long long> candidates, long long step,
               bool hullMerge)
        : p(problem), xs(std::move(x)), ys(std::move(y)), cand(std::move(candidates)), minStep(step), hull(hullMerge)
    {
        for (long long q : cand) {
            cv.push_back(p.inValue(q));
            candRow.push_back(int(std::lower_bound(xs.begin(), xs.end(), cv.back()) - xs.begin()));
        }
        chartFrom(p);
        gapBefore.assign(cand.size(), 0);
        sMax = slopeLimit(p, minStep);
    }

    void setRows(std::vector<double> x, std::vector<double> y)
    {
        xs = std::move(x);
        ys = std::move(y);
        for (size_t i = 0; i < cand.size(); ++i)
            candRow[i] = int(std::lower_bound(xs.begin(), xs.end(), cv[i]) - xs.begin());
    }

    // The chart's values at the candidates from `source`'s rows (a search on fewer rows, or
    // none, still sees the whole chart at its knots). A bound on a curve's samples keeps to
    // them: between samples the curve is not their chord.
    void chartFrom(const Problem& source)
    {
        chart.resize(cand.size());
        for (size_t a = 0; a < cand.size(); ++a)
            chart[a] = hull && source.knotsOnRows ? std::numeric_limits<double>::quiet_NaN() : chartBetween(source, cv[a]);
    }

    // iv held within ee of the chart at candidate a.
    Interval nearChart(Interval iv, size_t a) const
    {
        if (!std::isnan(chart[a]))
            iv = {std::max(iv.lo, chart[a] - ee), std::min(iv.hi, chart[a] + ee)};
        return iv;
    }

    // Where a knot at candidate a lies, for the minimum step (after a gap: anywhere in it).
    long long stepFrom(int a) const { return a > 0 && gapBefore[size_t(a)] ? cand[size_t(a) - 1] + 1 : cand[size_t(a)]; }

    // Adds iv to u; true when that adds more than `worth` anywhere (worth another sweep).
    bool add(Union& u, const Interval& iv, double worth) const
    {
        if (hull || u.empty()) {
            if (u.empty()) {
                u = {iv};
                return true;
            }
            Interval& h = u.front();
            const bool grew = iv.lo < h.lo - worth || iv.hi > h.hi + worth;
            h = {std::min(h.lo, iv.lo), std::max(h.hi, iv.hi)};
            return grew;
        }
        // on the grid, neighbouring values of the grid make one part
        const double join = onGrid ? 1.001 * p.outStep : 0;
        auto first = std::lower_bound(u.begin(), u.end(), iv.lo - join, [](const Interval& a, double v) { return a.hi < v; });
        auto last = first;
        double covered = 0; // of iv, by the parts it meets
        while (last != u.end() && last->lo <= iv.hi + join) {
            covered += std::max(0.0, std::min(last->hi, iv.hi) - std::max(last->lo, iv.lo));
            if (last->lo <= iv.lo && last->hi >= iv.hi)
                return false;
            ++last;
        }
        if (!onGrid && iv.hi - iv.lo - covered <= worth && first != last)
            return false;
        if (first == last) {
            u.insert(first, iv);
        } else {
            *first = {std::min(first->lo, iv.lo), std::max((last - 1)->hi, iv.hi)};
            u.erase(first + 1, last);
        }
        if (u.size() > UnionParts) // the narrowest part goes: what is kept is still reached
            u.erase(std::min_element(u.begin(), u.end(), [](const Interval& a, const Interval& b) { return a.hi - a.lo < b.hi - b.lo; }));
        return true;
    }

    // Clears changed[a] where no value held at a starts a line within ee of the rows to the last
    // candidate that ends at a value the table's end may take (one sweep backwards from the
    // end, widened a hair: the sweeps forwards decide). False when no candidate is left.
    bool startsToEnd(std::vector<char>& changed, const std::vector<Union>& held, long long& work)
    {
        const int C = int(cand.size());
        const Interval last = lastValues(p);
        const double xe = cv[size_t(C) - 1], hair = 1e-3 * ee + 1e-9 * (std::fabs(last.lo) + std::fabs(last.hi));
        Tube lines; // (backwards: distances and slopes turned round)
        lines.box(last.lo, last.hi, sMax);
        int k = int(xs.size()) - 1;
        bool any = false;
        for (int a = C - 2; a >= 0; --a) {
            const int k0 = k;
            for (; k >= 0 && xs[size_t(k)] >= cv[size_t(a)] && !lines.empty(); --k)
                lines.row(xe - xs[size_t(k)], ys[size_t(k)], ee);
            work += k0 - k + 1;
            visits += k0 - k + 1;
            bool meets = false;
            if (changed[size_t(a)] && !lines.empty() && cand[size_t(C) - 1] - cand[size_t(a)] >= minStep) {
                const auto [lo, hi] = lines.valuesAt(xe - cv[size_t(a)]);
                for (const Interval& iv : held[size_t(a)])
                    meets = meets || (iv.lo <= hi + hair && iv.hi >= lo - hair);
            }
            changed[size_t(a)] = meets;
            any = any || meets;
        }
        return any;
    }

    bool decide(double e, int maxLinks)
    {
        const int C = int(cand.size()), n = int(xs.size());
        ee = slack(p, e);
        const double worth = hull ? 0 : 0.05 * ee; // a wider offer by a hair is not worth another sweep (a bound sweeps every one)
        const Interval range = displayRange(p), last = lastValues(p);
        reach.resize(size_t(maxLinks) + 1);
        reach[0].assign(size_t(C), Union{});
        // the first value lies within ee of the rows at the first input (on the grid, then
        // often a few values, each swept on its own)
        Interval first = nearChart(firstValues(p), 0);
        for (int k = 0; k < n && xs[size_t(k)] <= cv[0]; ++k)
            first = {std::max(first.lo, ys[size_t(k)] - ee), std::min(first.hi, ys[size_t(k)] + ee)};
        if (first.empty())
            return false;
        reach[0][0] = {first};
        std::vector<char> changed(size_t(C), 0), next(size_t(C), 0);
        changed[0] = 1;
        long long work = 0;
        aborted = false;
        Tube tube;
        const double band = hull ? ee * (1 + 1e-9) : ee; // (a bound's: wider by a hair, for rounding)
        std::vector<Interval> starts;
        for (int j = 1; j <= maxLinks; ++j) {
            reach[size_t(j)] = reach[size_t(j) - 1];
            std::fill(next.begin(), next.end(), 0);
            bool any = false;
            std::vector<Union>& here = reach[size_t(j)];
            // The last piece: one sweep back from the end finds the values at each candidate
            // that a line to the end may start from, and only candidates holding one of them
            // sweep forwards (offering to the end alone).
            const bool lastPiece = !hull && j == maxLinks;
            if (lastPiece && !startsToEnd(changed, reach[size_t(j) - 1], work))
                return false;
            for (int a = 0; a + 1 < C; ++a) {
                if (!changed[size_t(a)])
                    continue;
                starts.clear();
                for (const Interval& ia : reach[size_t(j) - 1][size_t(a)]) {
                    // on the grid, a sweep from each value while they are few
                    const auto [g0, g1] = gridValuesIn(p, ia);
                    if (onGrid && g1 >= g0 && g1 - g0 < GridStarts)
                        for (long long g = g0; g <= g1; ++g)
                            starts.push_back({p.outValue(g), p.outValue(g)});
                    else
                        starts.push_back(ia);
                }
                for (const Interval& ia : starts) {
                    if (p.cancelled() || (budget >= 0 && work > budget)) {
                        aborted = budget >= 0 && work > budget;
                        return false;
                    }
                    tube.box(ia.lo, ia.hi, sMax);
                    int k = candRow[size_t(a)];
                    const double xa = cv[size_t(a)];
                    bool alive = true;
                    for (int b = a + 1; b < C && alive; ++b) {
                        const double xb = cv[size_t(b)];
                        // Hull: a knot on an input between candidates may join the next piece
                        // anywhere, so the candidate after the gap may start afresh (the rows
                        // inside the gap left out). At the last candidate that piece is the last.
                        if (hull && gapBefore[size_t(b)] && (cand[size_t(b)] - 1 - stepFrom(a) >= minStep || (freeStart && a == 0) || (freeEnd && b + 1 == C))) {
                            if (b + 1 == C) {
                                if (j < maxLinks) {
                                    links = j + 1;
                                    return true;
                                }
                            } else if (add(here[size_t(b)], range, 0)) {
                                next[size_t(b)] = 1;
                                any = true;
                            }
                        }
                        const int k0 = k;
                        for (; k < n && xs[size_t(k)] <= xb; ++k) {
                            tube.row(xs[size_t(k)] - xa, ys[size_t(k)], band);
                            if (tube.empty()) {
                                alive = false;
                                break;
                            }
                        }
                        work += k - k0 + 1;
                        visits += k - k0 + 1;
                        if (!alive || (cand[size_t(b)] - stepFrom(a) < minStep && !(freeStart && a == 0) && !(freeEnd && b + 1 == C)) ||
                            (lastPiece && b + 1 < C))
                            continue;
                        const auto [lo, hi] = tube.valuesAt(xb - xa);
                        const Interval& bound = b + 1 == C ? last : range;
                        Interval iv = nearChart({std::max(lo, bound.lo), std::min(hi, bound.hi)}, size_t(b));
                        if (onGrid && !iv.empty()) { // the display values a table can hold there
                            const auto [g0, g1] = gridValuesIn(p, iv);
                            iv = {p.outValue(g0), p.outValue(g1)};
                        }
                        if (!iv.empty() && add(here[size_t(b)], iv, worth)) {
                            next[size_t(b)] = 1;
                            any = true;
                        }
                    }
                }
            }
            if (!here[size_t(C) - 1].empty()) {
                links = j;
                return true;
            }
            if (!any)
                return false;
            changed.swap(next);
        }
        return false;
    }

    // The inputs of a table found by the last successful decision (exact merge): from the
    // last candidate backwards, each piece the one whose line through the knot's value meets
    // the rows and a value held at its start with the most room, that value the middle of what
    // it may be there.
    // values, when given, gets each knot's value (the table before rounding, within ee of the
    // search's rows).
    std::vector<long long> path(std::vector<double>* values = nullptr) const
    {
        const int C = int(cand.size());
        int b = C - 1;
        const Union& end = reach[size_t(links)][size_t(b)];
        const Interval widest = *std::max_element(end.begin(), end.end(), [](const Interval& a, const Interval& c) {
            return a.hi - a.lo < c.hi - c.lo;
        });
        // on the grid, the value of the grid nearest the middle (a part holds its ends)
        auto middle = [&](const Interval& iv) {
            const double m = (iv.lo + iv.hi) / 2;
            if (!onGrid)
                return m;
            const double g = p.outValue(std::llround(m * p.outScale));
            return g >= iv.lo - 1e-9 * p.outStep && g <= iv.hi + 1e-9 * p.outStep ? g : Inf;
        };
        double yb = p.lastY ? p.outValue(*p.lastY) : middle(widest);
        if (yb == Inf) // (parts on the grid hold values of the grid at their ends)
            yb = (widest.lo + widest.hi) / 2;
        std::vector<long long> knots{cand.back()};
        std::vector<double> vs{yb};
        for (int j = links; b != 0 && j > 0; --j) {
            const double xb = cv[size_t(b)];
            double sLo = -sMax, sHi = sMax;
            int k = candRow[size_t(b)] - 1; // rows before the knot, going down
            int pick = -1;
            double pickValue = 0, pickWidth = -Inf;
            for (int a = b - 1; a >= 0 && sLo <= sHi; --a) {
                const double xa = cv[size_t(a)];
                for (; k >= 0 && xs[size_t(k)] >= xa; --k) {
                    const double d = xs[size_t(k)] - xb; // < 0
                    sLo = std::max(sLo, (ys[size_t(k)] + ee - yb) / d);
                    sHi = std::min(sHi, (ys[size_t(k)] - ee - yb) / d);
                }
                if (sLo > sHi || cand[size_t(b)] - cand[size_t(a)] < minStep)
                    continue;
                const Interval at{yb - sHi * (xb - xa), yb - sLo * (xb - xa)};
                for (const Interval& held : reach[size_t(j) - 1][size_t(a)]) {
                    const Interval both{std::max(at.lo, held.lo), std::min(at.hi, held.hi)};
                    // a value held within a hair of the offer counts (rounding in the sweep)
                    const double width = both.hi - both.lo;
                    // on the grid, a value off it only when no value of the grid fits
                    double v = width >= 0 ? middle(both) : (at.lo > held.hi ? held.hi : held.lo);
                    double score = width;
                    if (v == Inf) {
                        v = (both.lo + both.hi) / 2;
                        score = width - 2 * (std::fabs(yb) + 1);
                    }
                    if (score > pickWidth && width >= -1e-9 * (1 + std::fabs(yb))) {
                        pick = a;
                        pickWidth = score;
                        pickValue = v;
                    }
                }
            }
            if (pick < 0)
                break; // not reached: the caller's check of the table finds it wanting
            b = pick;
            yb = b == 0 && p.firstY ? p.outValue(*p.firstY) : pickValue;
            knots.push_back(cand[size_t(b)]);
            vs.push_back(yb);
        }
        if (knots.back() != cand.front()) {
            knots.push_back(cand.front());
            vs.push_back(vs.back());
        }
        std::reverse(knots.begin(), knots.end());
        std::reverse(vs.begin(), vs.end());
        if (values)
            *values = std::move(vs);
        return knots;
    }
};

constexpr int Cuts = 6;                // searches again with the rows a table missed, at most

void markRuns(const std::vector<double>& xc, const std::vector<double>& y, size_t from, size_t to, size_t runs, std::vector<char>& keep,
              const std::atomic_bool* cancel = nullptr);
void keptRows(const Problem& p, const std::vector<double>& xc, const std::vector<char>& keep, std::vector<double>& xs, std::vector<double>& ys);
void addRowsAtSameInput(const Problem& p, const std::vector<double>& xc, std::vector<double>& xs, std::vector<double>& ys);
void addRowsNear(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots, long long radius, size_t runs,
                 std::vector<double>& xs, std::vector<double>& ys);
void reducedRows(const Problem& p, const std::vector<double>& xc, size_t keep, std::vector<double>& xs, std::vector<double>& ys);
size_t addStrayRows(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots,
                    const std::vector<double>& values, double e, std::vector<double>& xs, std::vector<double>& ys);
std::vector<long long> fitCandidates(const Problem& p, const std::vector<double>& xs, const std::vector<double>& ys, long long spread,
                                     bool straddle = false);
double bisectLeast(KnotSearch& ks, const Problem& p, int links, double lo, double hi, double relative, bool atHi);
double leastFeasible(KnotSearch& ks, const Problem& p, int links, double start, double relative);
double leastAbove(KnotSearch& ks, const Problem& p, int links, double e, double relative, bool failsAtE = false);
double leastNear(KnotSearch& ks, const Problem& p, int links, double e, double relative);
bool takeStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, std::vector<double>& xs, std::vector<double>& ys);
double withStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, int links, double e, double relative,
                     std::vector<double>& xs, std::vector<double>& ys);
bool decideWithStrayRows(KnotSearch& ks, const Problem& p, const std::vector<double>& xc, double e, int links,
                         std::vector<double>& xs, std::vector<double>& ys);

} // namespace Fitting::Engine
