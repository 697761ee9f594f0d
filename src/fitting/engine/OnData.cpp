// On the rows: the exact search over chords between rows (onDataLeast, onDataFewest,
// onDataFewestCount in FitEngine.h): every point a row, rounded, the least error exact.
#include <climits>

#include "fitting/engine/Lines.h"

namespace Fitting::Engine {

namespace {

// ---- On the rows: the chord graph.
struct Chords {
    const Problem& p;
    std::vector<double> xc;      // clamped row inputs
    std::vector<long long> X, Y; // node i = row i, rounded
    std::vector<double> Xv, Yv;  // their values
    std::vector<int> firstRow;   // first row at or beyond node i's input
    std::vector<double> own;     // node i's distance from the chart, when it lies between rows
    std::vector<int> dist, parent;

    explicit Chords(const Problem& problem) : p(problem)
    {
        const size_t n = p.x.size();
        // (on millions of rows each array takes a while to map: the cancel flag is polled
        // between them; a cancelled search is left empty, which its callers check first)
        xc = clampedInputs(p);
        for (auto* column : {&X, &Y})
            if (!p.cancelled())
                column->resize(n);
        for (auto* column : {&Xv, &Yv, &own})
            if (!p.cancelled())
                column->resize(n);
        if (!p.cancelled())
            firstRow.resize(n);
        if (p.cancelled())
            return;
        // (the nodes' inputs rise with the rows': one pass, polling the cancel flag on long data)
        for (size_t i = 0, k = 0; i < n; ++i) {
            X[i] = std::clamp(p.inIndex(p.x[i]), p.x0, p.x1);
            Y[i] = p.outIndex(p.y[i]);
            Xv[i] = p.inValue(X[i]);
            Yv[i] = p.outValue(Y[i]);
            while (k < n && xc[k] < Xv[i])
                ++k;
            firstRow[i] = int(k);
            if (i % 65536 == 0 && p.cancelled())
                return;
        }
        X.front() = p.x0;
        X.back() = p.x1;
        Xv.front() = p.inValue(p.x0);
        Xv.back() = p.inValue(p.x1);
        // Each node's distance from the chart between rows (0 at a row's input, or beyond the chart).
        for (size_t i = 0, k = 0; i < n; ++i) {
            const double v = Xv[i];
            while (k < n && p.x[k] < v)
                ++k;
            if (k > 0 && k < n && p.x[k] != v)
                own[i] = std::fabs(Yv[i] - (p.y[k - 1] + (p.y[k] - p.y[k - 1]) * ((v - p.x[k - 1]) / (p.x[k] - p.x[k - 1]))));
            if (i % 65536 == 0 && p.cancelled())
                return;
        }
    }

    // Narrows the wedge [lo, hi] of slopes through a node by a row at distance d from it (along
    // the sweep) that lies delta from the node's value, within ee: false when a row at the node
    // itself (d <= 0) is farther than ee. Divides only when the wedge narrows.
    static bool narrowWedge(double& lo, double& hi, double d, double delta, double ee)
    {
        if (d <= 0)
            return std::fabs(delta) <= ee;
        if (delta - ee > lo * d)
            lo = (delta - ee) / d;
        if (delta + ee < hi * d)
            hi = (delta + ee) / d;
        return true;
    }
    // Whether the sweeps' work bound is spent (and `exhausted` set).
    bool spent() const
    {
        if (budget >= 0 && visits >= budget)
            exhausted = true;
        return exhausted;
    }

    // Calls chord(j) for every node j that a chord from node i may reach: within e of every
    // row it covers and rising by at least the minimum step. `wanted(j)` skips the check.
    template<class Wanted, class Chord>
    void sweep(int i, double ee, Wanted&& wanted, Chord&& chord) const
    {
        const int n = int(p.x.size());
        const double xi = Xv[size_t(i)], yi = Yv[size_t(i)];
        double lo = -Inf, hi = Inf;
        int k = firstRow[size_t(i)];
        if (spent() || own[size_t(i)] > ee)
            return;
        for (int j = i + 1; j < n; ++j) {
            const double xj = Xv[size_t(j)];
            for (; k < n && xc[size_t(k)] <= xj; ++k, ++visits)
                if (!narrowWedge(lo, hi, xc[size_t(k)] - xi, p.y[size_t(k)] - yi, ee))
                    return;
            if (lo > hi)
                return;
            if (wanted(j) && X[size_t(j)] - X[size_t(i)] >= p.minStep && own[size_t(j)] <= ee) {
                const double dx = xj - xi, dy = Yv[size_t(j)] - yi;
                if (dy >= lo * dx && dy <= hi * dx)
                    chord(j);
            }
        }
    }

    // The same from node j backwards: calls chord(i) for every node i before j whose chord to
    // j is feasible. The wedge holds the slopes of lines through node j.
    template<class Wanted, class Chord>
    void sweepBack(int j, double ee, Wanted&& wanted, Chord&& chord) const
    {
        const double xj = Xv[size_t(j)], yj = Yv[size_t(j)];
        double lo = -Inf, hi = Inf;
        int k = int(std::upper_bound(xc.begin(), xc.end(), xj) - xc.begin()) - 1;
        if (spent() || own[size_t(j)] > ee)
            return;
        for (int i = j - 1; i >= 0; --i) {
            const double xi = Xv[size_t(i)];
            for (; k >= 0 && xc[size_t(k)] >= xi; --k, ++visits)
                if (!narrowWedge(lo, hi, xj - xc[size_t(k)], yj - p.y[size_t(k)], ee))
                    return;
            if (lo > hi)
                return;
            if (wanted(i) && X[size_t(j)] - X[size_t(i)] >= p.minStep && own[size_t(i)] <= ee) {
                const double dx = xj - xi, dy = yj - Yv[size_t(i)];
                if (dy >= lo * dx && dy <= hi * dx)
                    chord(i);
            }
        }
    }

    // Lower bounds on the chords from each node to the last, valid for every error up to
    // boundError and paths of up to boundChords chords (see narrow()); empty: none yet.
    std::vector<int> bound;
    double boundError = 0;
    int boundChords = 0;
    long long swept = 0; // nodes the last fewest() swept from
    // Row visits of every sweep so far, and the most allowed (-1: no limit); past it, sweeps
    // return at once and `exhausted` is set: the searches' answers then mean nothing.
    mutable long long visits = 0;
    long long budget = -1;
    mutable bool exhausted = false;
    static constexpr int Hopeless = INT_MAX / 4;

    // Fewest chords from the first node to the last, at most maxChords; -1 when there is no
    // such path. `complete` follows every path of up to maxChords chords (for narrow()), not
    // only those that may beat the best found.
    int fewest(double e, int maxChords, bool complete = false)
    {
        const int n = int(p.x.size());
        const int last = n - 1;
        const double ee = slack(p, e);
        if (p.cancelled()) // (before the passes over every node: on millions of rows they take a while)
            return -1;
        dist.assign(size_t(n), INT_MAX);
        parent.assign(size_t(n), -1);
        dist[0] = 0;
        swept = 0;
        // Chords from node i cover the rows beyond it: at least as many as the separate
        // pieces they need, or as the chords found at a larger error.
        const bool narrowed = !bound.empty() && e <= boundError && maxChords <= boundChords;
        if (!narrowed)
            piecesAfter(ee);
        if (p.cancelled())
            return -1;
        const std::vector<int>& lower = narrowed ? bound : after;
        for (int i = 0; i < last; ++i) {
            const int needed = dist[size_t(i)] == INT_MAX ? INT_MAX : dist[size_t(i)] + std::max(lower[size_t(i)], 1);
            if (needed > maxChords || (!complete && needed >= dist[size_t(last)]))
                continue;
            if (p.cancelled()) // (a sweep may cross many rows: polled before each)
                return -1;
            const int next = dist[size_t(i)] + 1;
            ++swept;
            sweep(i, ee, [&](int j) { return next < dist[size_t(j)] && next + lower[size_t(j)] <= maxChords; }, [&](int j) {
                dist[size_t(j)] = next;
                parent[size_t(j)] = i;
            });
            if (exhausted)
                return -1;
        }
        return dist[size_t(last)] == INT_MAX ? -1 : dist[size_t(last)];
    }

    // After fewest(e, maxChords, true) found a path, with its forward pass `dist`: the exact
    // chords from every node that lies on some path of at most maxChords chords to the last
    // node (a backward pass over the nodes the forward pass reached), Hopeless for every
    // other node. No node outside can lie on such a path at a smaller error either, so later
    // searches below e look at these only.
    void narrow(double e, int maxChords, const std::vector<int>& dist)
    {
        const int n = int(p.x.size());
        // a hair wider than the forward pass (1e-9 of the display's largest magnitude and of
        // e), so that rounding never makes a bound too high
        const double ee = slack(p, e) + 1e-9 * (1e12 * slack(p, 0) + e);
        std::vector<int> back(size_t(n), INT_MAX);
        back[size_t(n) - 1] = 0;
        for (int j = n - 1; j > 0; --j) {
            if (back[size_t(j)] == INT_MAX || dist[size_t(j)] == INT_MAX || dist[size_t(j)] + back[size_t(j)] > maxChords)
                continue;
            if (p.cancelled())
                return;
            const int next = back[size_t(j)] + 1;
            sweepBack(j, ee, [&](int i) { return next < back[size_t(i)] && dist[size_t(i)] != INT_MAX && dist[size_t(i)] + next <= maxChords; },
                      [&](int i) { back[size_t(i)] = next; });
        }
        if (exhausted)
            return;
        for (int i = 0; i < n; ++i)
            if (back[size_t(i)] == INT_MAX || dist[size_t(i)] == INT_MAX || dist[size_t(i)] + back[size_t(i)] > maxChords)
                back[size_t(i)] = Hopeless;
        bound = std::move(back);
        boundError = e;
        boundChords = maxChords;
    }

    // A path of at most maxChords chords, each to the farthest node the last one reaches (or,
    // failing that, the same backwards): an upper bound on the least error in a pass or two
    // over the rows.
    bool farthest(double e, int maxChords, std::vector<int>& nodes) const
    {
        const int last = int(p.x.size()) - 1;
        const double ee = slack(p, e);
        nodes.assign(1, 0);
        while (nodes.back() != last) {
            if (int(nodes.size()) > maxChords || p.cancelled())
                return backwards(ee, maxChords, nodes);
            // The farthest node from which the last chord can still make its step; with the
            // chords counted at a larger error (narrow()), the farthest of those needing fewest.
            int far = -1;
            const bool guided = !bound.empty() && e <= boundError;
            sweep(nodes.back(), ee, [&](int j) { return j == last || X[size_t(last)] - X[size_t(j)] >= p.minStep; },
                  [&](int j) {
                      if (far < 0 || !guided || bound[size_t(j)] <= bound[size_t(far)])
                          far = j;
                  });
            if (far < 0)
                return backwards(ee, maxChords, nodes);
            nodes.push_back(far);
        }
        return true;
    }
    bool backwards(double ee, int maxChords, std::vector<int>& nodes) const
    {
        nodes.assign(1, int(p.x.size()) - 1);
        while (nodes.back() != 0) {
            if (int(nodes.size()) > maxChords || p.cancelled())
                return false;
            int near = -1;
            sweepBack(nodes.back(), ee, [&](int i) { return i == 0 || X[size_t(i)] - X[0] >= p.minStep; }, [&](int i) { near = i; });
            if (near < 0)
                return false;
            nodes.push_back(near);
        }
        std::reverse(nodes.begin(), nodes.end());
        return true;
    }

    // A beam of the farther nodes each chord reaches (the farthest, and more spread over the
    // farther half), layer by layer: a path of at most maxChords chords more often than the
    // farthest chords alone find, at a few dozen times their work.
    bool beam(double e, int maxChords, std::vector<int>& nodes) const
    {
        constexpr size_t Width = 24;
        const int n = int(p.x.size()), last = n - 1;
        const double ee = slack(p, e);
        std::vector<std::vector<std::pair<int, int>>> layers{{{0, -1}}}; // node, index in the layer before
        std::vector<int> seen(size_t(n), -1);
        for (int layer = 0; layer < maxChords; ++layer) {
            std::vector<std::pair<int, int>> next;
            const auto& here = layers.back();
            for (size_t a = 0; a < here.size(); ++a) {
                if (p.cancelled())
                    return false;
                sweep(here[a].first, ee, [&](int j) { return seen[size_t(j)] != layer && (j == last || X[size_t(last)] - X[size_t(j)] >= p.minStep); },
                      [&](int j) {
                          seen[size_t(j)] = layer;
                          next.push_back({j, int(a)});
                      });
            }
            if (next.empty())
                return false;
            std::sort(next.begin(), next.end());
            if (next.back().first == last) {
                layers.push_back({next.back()});
                nodes.clear();
                for (int l = int(layers.size()) - 1, at = 0; l >= 0; --l) {
                    nodes.push_back(layers[size_t(l)][size_t(at)].first);
                    at = layers[size_t(l)][size_t(at)].second;
                }
                std::reverse(nodes.begin(), nodes.end());
                return true;
            }
            std::vector<std::pair<int, int>> kept;
            const size_t count = next.size(), half = Width / 2;
            for (size_t m = 0; m < std::min(half, count); ++m)
                kept.push_back(next[count - 1 - m]);
            for (size_t m = 1; m <= half && count > half; ++m) // spread over the farther half of the rest
                kept.push_back(next[count - half - 1 - (count - half - 1) * m / (2 * half)]);
            sortUnique(kept);
            layers.push_back(std::move(kept));
        }
        return false;
    }

    // A path of exactly `chords` chords within e, into parent (and pathNodes); false when none.
    bool exactly(double e, int chords)
    {
        const int n = int(p.x.size());
        const double ee = slack(p, e);
        std::vector<std::vector<int>> from(size_t(chords) + 1, std::vector<int>(size_t(n), -1));
        from[0][0] = 0;
        for (int h = 0; h < chords; ++h)
            for (int i = 0; i + 1 < n; ++i) {
                if (from[size_t(h)][size_t(i)] < 0)
                    continue;
                if (p.cancelled())
                    return false;
                std::vector<int>& layer = from[size_t(h) + 1];
                sweep(i, ee, [&](int j) { return layer[size_t(j)] < 0; }, [&](int j) { layer[size_t(j)] = i; });
            }
        if (from[size_t(chords)][size_t(n) - 1] < 0)
            return false;
        parent.assign(size_t(n), -1);
        std::vector<int> nodes{n - 1};
        for (int h = chords; h > 0; --h)
            nodes.push_back(from[size_t(h)][size_t(nodes.back())]);
        exactNodes.assign(nodes.rbegin(), nodes.rend());
        return true;
    }
    std::vector<int> exactNodes;

    // after[i]: the fewest separate straight pieces within e of the rows beyond node i's
    // input, from a greedy split run backwards from the last row (optimal for every suffix).
    std::vector<int> after;
    void piecesAfter(double ee)
    {
        const int n = int(p.x.size());
        std::vector<int> suffix(size_t(n) + 1, 0); // pieces for rows k..n-1
        const double sMax = slopeLimit(p, 1);
        Lines lines;
        lines.grow = true; // (a lower bound)
        int pieces = 0;
        double origin = 0;
        bool open = false;
        for (int k = n - 1; k >= 0; --k) {
            if (k % 65536 == 0 && p.cancelled()) {
                after.assign(size_t(n), 0);
                return;
            }
            if (open) {
                lines.row(xc[size_t(k)] - origin, p.y[size_t(k)], ee);
                open = !lines.empty();
            }
            if (!open) {
                ++pieces;
                origin = xc[size_t(k)];
                lines.box(p.y[size_t(k)] - ee, p.y[size_t(k)] + ee, sMax);
                open = true;
            }
            suffix[size_t(k)] = pieces;
        }
        after.assign(size_t(n), 0);
        for (int i = 0, k = 0; i < n; ++i) { // (the first row beyond each node: the nodes rise)
            while (k < n && xc[size_t(k)] <= Xv[size_t(i)])
                ++k;
            after[size_t(i)] = suffix[size_t(k)];
        }
    }

    std::vector<int> pathNodes() const
    {
        std::vector<int> nodes;
        for (int j = int(p.x.size()) - 1; j >= 0; j = parent[j]) {
            nodes.push_back(j);
            if (j == 0)
                break;
        }
        std::reverse(nodes.begin(), nodes.end());
        return nodes;
    }

    Table table(const std::vector<int>& nodes) const
    {
        Table t;
        for (int i : nodes) {
            t.x.push_back(X[i]);
            t.y.push_back(Y[i]);
        }
        return t;
    }

    // Error of the chord between nodes i and j over the rows it covers.
    double chordError(int i, int j) const
    {
        const int n = int(p.x.size());
        const double s = (Yv[j] - Yv[i]) / (Xv[j] - Xv[i]);
        double e = std::max(own[size_t(i)], own[size_t(j)]);
        for (int k = firstRow[i]; k < n && xc[k] <= Xv[j]; ++k)
            e = std::max(e, std::fabs(Yv[i] + s * (xc[k] - Xv[i]) - p.y[k]));
        return e;
    }

    // Splits chords at nodes while the table has fewer than `points` points and the
    // split keeps every chord within e.
    Table padded(std::vector<int> nodes, int points, double e) const
    {
        bool grown = true;
        while (int(nodes.size()) < points && grown) {
            grown = false;
            for (size_t c = 0; c + 1 < nodes.size() && int(nodes.size()) < points; ++c) {
                const int i = nodes[c], j = nodes[c + 1];
                if (j - i < 2 || X[j] - X[i] < 2 * p.minStep)
                    continue;
                // Try splits from the middle outwards.
                const int tries = 16;
                for (int a = 0; a < tries; ++a) {
                    const double f = 0.5 + (a % 2 ? 1 : -1) * ((a + 1) / 2) * (1.0 / (tries + 2));
                    const int m = i + std::clamp(int(std::lround(f * (j - i))), 1, j - i - 1);
                    if (X[m] - X[i] < p.minStep || X[j] - X[m] < p.minStep)
                        continue;
                    if (chordError(i, m) <= e && chordError(m, j) <= e) {
                        nodes.insert(nodes.begin() + long(c) + 1, m);
                        grown = true;
                        break;
                    }
                }
            }
        }
        // Still short: split where the larger error of the two new chords is least.
        while (int(nodes.size()) < points) {
            double bestError = Inf;
            size_t at = 0;
            int bestRow = -1;
            for (size_t c = 0; c + 1 < nodes.size(); ++c) {
                const int i = nodes[c], j = nodes[c + 1];
                const int stride = std::max(1, (j - i) / 64);
                for (int m = i + 1; m < j; m += stride) {
                    if (X[m] - X[i] < p.minStep || X[j] - X[m] < p.minStep)
                        continue;
                    const double err = std::max(chordError(i, m), chordError(m, j));
                    if (err < bestError) {
                        bestError = err;
                        at = c;
                        bestRow = m;
                    }
                }
            }
            if (bestRow < 0)
                break;
            nodes.insert(nodes.begin() + long(at) + 1, bestRow);
        }
        return table(nodes);
    }
};

} // namespace

// Rows up to which the fewest points for the error found are counted exactly.
constexpr size_t LongChords = 20000;
// Row visits of the bisection on the data: well under a second at 100,000 rows.
constexpr long long OnDataVisits = 40000000, OnDataVisitsPerRow = 200;

Table onDataLeast(const Problem& p, int points, int* fewestPoints)
{
    if (p.x.size() < 2 || points < 2)
        return {};
    Chords chords(p);
    if (p.cancelled())
        return {};
    const int maxChords = points - 1;
    const double tol = tolerance(p, p.precision);
    const double ceiling = 4 * (dataSpan(p) + p.outStep);
    // Bracket the least error from above by the path that always takes the farthest chord,
    // by doubling and then a short bisection: each try is a pass or two over the rows.
    double lo = 0, hi = tol;
    std::vector<int> nodes;
    while (hi < ceiling && !chords.farthest(hi, maxChords, nodes)) {
        if (p.cancelled())
            return {};
        hi *= 2;
    }
    if (hi < ceiling) {
        double below = hi > tol ? hi / 2 : 0;
        for (int i = 0; i < 12 && hi - below > 1e-3 * hi; ++i) {
            const double mid = below + (hi - below) / 2;
            (chords.farthest(mid, maxChords, nodes) ? hi : below) = mid;
        }
    } else {
        // No such path (the step rule): bracket from below by doubling the full search, which
        // at an error well below the least one ends after a few short chords.
        hi = tol;
        while (hi < ceiling && chords.fewest(hi, maxChords) < 0) {
            if (p.cancelled())
                return {};
            lo = hi;
            hi *= 2;
        }
        if (hi >= ceiling)
            hi = Inf;
    }
    // A path at the top of the bracket. Below it a bisection: the farthest chords often reach
    // the end at an error that still has room; else the full search decides, and after each
    // success follows only the nodes that lie on a path of at most maxChords chords (narrow()).
    if (!std::isfinite(hi) || !chords.farthest(hi, maxChords, nodes)) {
        if (chords.fewest(hi, maxChords) < 0)
            return {};
        nodes = chords.pathNodes();
    }
    std::vector<int> best = nodes;
    double bestError = chartError(p, chords.table(best));
    hi = std::min(hi, bestError);
    const double width = hi - lo;
    // With a table in hand the search is bounded: on long noisy, stepped or wavy data the failures
    // near the least error sweep from most rows, each far along. Past the bound the best table
    // found stands (within the bracket of the searches so far).
    chords.budget = chords.visits + OnDataVisits + OnDataVisitsPerRow * (long long)p.x.size();
    while (hi - lo > tol && !chords.exhausted) {
        if (p.cancelled())
            return {};
        if (p.progress && width > tol)
            p.progress(std::log(width / (hi - lo)) / std::log(width / tol));
        // A failure far below the least error sweeps from most rows, a success is a pass or
        // two: until a corridor narrows the search, try near the top of the bracket.
        const double mid = lo + (hi - lo) * (chords.bound.empty() ? 0.85 : 0.5);
        const bool quick = chords.farthest(mid, maxChords, nodes) || chords.beam(mid, maxChords, nodes);
        if (p.cancelled())
            return {};
        if (quick) {
            const double e = chartError(p, chords.table(nodes));
            if (e < bestError) {
                bestError = e;
                best = std::move(nodes);
            }
            hi = std::min(mid, e);
        } else if (chords.fewest(mid, maxChords, true) >= 0) {
            nodes = chords.pathNodes();
            const double e = chartError(p, chords.table(nodes));
            if (e < bestError) {
                bestError = e;
                best = std::move(nodes);
            }
            chords.narrow(mid, maxChords, chords.dist);
            hi = std::min(mid, e);
        } else if (!chords.exhausted) {
            lo = mid;
            // A failure that swept from many nodes: unless the corridor is recent, the searches
            // from now on follow only the nodes on the paths at the top of the bracket.
            const bool recent = !chords.bound.empty() && hi > chords.boundError - (chords.boundError - lo) / 4;
            if (!recent && chords.swept > long(p.x.size()) / 8 && chords.fewest(hi, maxChords, true) >= 0)
                chords.narrow(hi, maxChords, chords.dist);
        }
    }
    // Fewer points reach the least error. On short data: the least error of exactly as
    // many as asked, by the same bisection; else chords split where that costs least.
    Table result;
    if (int(best.size()) < points && p.x.size() <= 2000 && chords.exactly(bestError, points - 1)) {
        result = chords.table(chords.exactNodes);
    } else if (int(best.size()) < points && p.x.size() <= 2000 && chords.exactly(2 * (dataSpan(p) + p.outStep), points - 1)) {
        double below = bestError, above = 2 * (dataSpan(p) + p.outStep);
        std::vector<int> exact = chords.exactNodes;
        above = std::min(above, chartError(p, chords.table(exact)));
        while (above - below > tol && !p.cancelled()) {
            const double mid = below + (above - below) / 2;
            if (chords.exactly(mid, points - 1)) {
                exact = chords.exactNodes;
                above = std::min(mid, chartError(p, chords.table(exact)));
            } else {
                below = mid;
            }
        }
        result = chords.table(exact);
    } else {
        result = chords.padded(best, points, bestError);
    }
    if (p.cancelled())
        return {};
    if (fewestPoints) {
        // As many as a larger error needs: no fewer reach this one.
        const double e = chartError(p, result);
        const int chordsAbove = !chords.bound.empty() && e <= chords.boundError ? chords.bound[0] : 0;
        int count = int(result.x.size()) - 1;
        if (chordsAbove >= count) {
            count = chordsAbove;
        } else if (p.x.size() <= LongChords) {
            count = chords.fewest(e, count);
        } else {
            // Long data: fewer chords when the quick searches find them (a full search here
            // would take longer than the fit).
            for (std::vector<int> fewer; count > 1 && (chords.farthest(e, count - 1, fewer) || chords.beam(e, count - 1, fewer));)
                count = int(fewer.size()) - 1;
        }
        *fewestPoints = count < 0 ? int(result.x.size()) : count + 1;
    }
    return result;
}

Table onDataFewest(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return {};
    Chords chords(p);
    if (p.cancelled() || chords.fewest(e, maxPoints - 1) < 0)
        return {};
    return chords.table(chords.pathNodes());
}

int onDataFewestCount(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return 0;
    Chords chords(p);
    const int chordCount = p.cancelled() ? -1 : chords.fewest(e, maxPoints - 1);
    return chordCount < 0 ? 0 : chordCount + 1;
}


} // namespace Fitting::Engine
