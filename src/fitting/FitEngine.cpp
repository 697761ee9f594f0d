#include "fitting/FitEngine.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <cstdlib>
#include <functional>

namespace Fitting::Engine {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

template<class T>
void sortUnique(std::vector<T>& v)
{
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

long long roundHalfAway(double v)
{
    return v < 0 ? -static_cast<long long>(std::floor(-v + 0.5)) : static_cast<long long>(std::floor(v + 0.5));
}

// The least integer at or above v, and the greatest at or below, for v held to [lo, hi]
// (integers: no library call on a hot path).
long long ceilWithin(double v, long long lo, long long hi)
{
    const double t = std::clamp(v, double(lo), double(hi));
    const long long q = static_cast<long long>(t);
    return q + (double(q) < t);
}
long long floorWithin(double v, long long lo, long long hi)
{
    const double t = std::clamp(v, double(lo), double(hi));
    const long long q = static_cast<long long>(t);
    return q - (double(q) > t);
}

// Inputs of the rows held within the table's ends: beyond them the table keeps its end values.
std::vector<double> clampedInputs(const Problem& p)
{
    const double lo = p.inValue(p.x0), hi = p.inValue(p.x1);
    std::vector<double> xc(p.x.size());
    for (size_t k = 0; k < p.x.size(); ++k)
        xc[k] = std::clamp(p.x[k], lo, hi);
    return xc;
}

// The chart read linearly between its rows, at an input v strictly between two rows' inputs
// (a knot there is compared with it); NaN at a row's input, where the rows compare, and
// beyond the chart's ends, where nothing does.
double chartBetween(const Problem& p, double v)
{
    const auto it = std::lower_bound(p.x.begin(), p.x.end(), v);
    if (it == p.x.begin() || it == p.x.end() || *it == v)
        return std::numeric_limits<double>::quiet_NaN();
    const size_t k = size_t(it - p.x.begin());
    return p.y[k - 1] + (p.y[k] - p.y[k - 1]) * ((v - p.x[k - 1]) / (p.x[k] - p.x[k - 1]));
}

// How far a knot's value (display units) lies from the chart between rows; 0 at a row's input
// or beyond the chart.
double knotError(const Problem& p, long long q, double value)
{
    const double c = chartBetween(p, p.inValue(q));
    return std::isnan(c) ? 0 : std::fabs(value - c);
}

// q, or on a curve's samples the input of the row nearest q.
long long onRow(const Problem& p, const std::vector<double>& xc, long long q)
{
    if (!p.knotsOnRows || xc.empty())
        return q;
    const double v = p.inValue(q);
    auto it = std::lower_bound(xc.begin(), xc.end(), v);
    if (it == xc.end() || (it != xc.begin() && v - *(it - 1) < *it - v))
        --it;
    return p.inIndex(*it);
}

// A small tolerance on errors so that a bound met exactly is met in floating point too.
double slack(const Problem& p, double e)
{
    double scale = p.outStep;
    for (double v : {p.outValue(p.outLow), p.outValue(p.outHigh)})
        scale = std::max(scale, std::fabs(v));
    return e + 1e-12 * scale;
}

void capVertices(std::vector<std::array<double, 2>>& poly, size_t cap, double w);

// ---- The convex set of lines (value v at the segment's start, slope s) within the tube.
constexpr double SimplifyTolerance = 1e-6;
constexpr size_t GrowAbove = 32, GrowTo = 24;
constexpr size_t SimplifyAbove = 16;
struct Lines {
    using Vertex = std::array<double, 2>; // v, s
    std::vector<Vertex> poly, scratch;
    std::vector<double> side; // clip(): each vertex's side of the line

    void box(double vLo, double vHi, double sMax)
    {
        poly.assign({{vLo, -sMax}, {vHi, -sMax}, {vHi, sMax}, {vLo, sMax}});
        simplifyAbove = SimplifyAbove;
    }
    bool empty() const { return poly.empty(); }
    // Keeps the lines with a*v + b*s <= c.
    void clip(double a, double b, double c)
    {
        if (poly.empty())
            return;
        const size_t n = poly.size();
        side.resize(n + 1);
        bool cuts = false;
        for (size_t i = 0; i < n; ++i) {
            side[i] = a * poly[i][0] + b * poly[i][1] - c;
            cuts = cuts || side[i] > 0;
        }
        if (!cuts)
            return;
        side[n] = side[0];
        scratch.clear();
        for (size_t i = 0; i < n; ++i) {
            const Vertex& P = poly[i];
            const Vertex& Q = poly[i + 1 < n ? i + 1 : 0];
            const double fp = side[i];
            const double fq = side[i + 1];
            if (fp <= 0)
                scratch.push_back(P);
            if ((fp <= 0) != (fq <= 0)) {
                const double t = fp / (fp - fq);
                scratch.push_back({P[0] + t * (Q[0] - P[0]), P[1] + t * (Q[1] - P[1])});
            }
        }
        poly.swap(scratch);
    }
    // The row (d from the segment's start, value y) within e.
    void row(double d, double y, double e)
    {
        clip(1, d, y + e);
        clip(-1, -d, -(y - e));
        keepSmall(d, e);
    }
    // One side of it: the lines at most y + e at d (below), or at least y - e.
    void halfRow(double d, double y, double e, bool below)
    {
        if (below)
            clip(1, d, y + e);
        else
            clip(-1, -d, -(y - e));
        keepSmall(d, e);
    }
    void keepSmall(double d, double e)
    {
        if (grow) {
            if (poly.size() > GrowAbove)
                capVertices(poly, GrowTo, std::max(d, 1e-12));
            return;
        }
        if (poly.size() > simplifyAbove) {
            // a large set (a long piece of a smooth source) is held to fewer vertices
            simplify(d, SimplifyTolerance * e * (poly.size() > 4 * SimplifyAbove ? 100 : 1));
            // Arcs keep many vertices within the tolerance: simplify again only once the
            // set has grown well past what this pass left.
            simplifyAbove = std::max(SimplifyAbove, 2 * poly.size());
        }
    }
    size_t simplifyAbove = SimplifyAbove;
    // A bound's sets: held small by growing them (a superset of the lines within the tube),
    // never by dropping lines.
    bool grow = false;

    // Drops vertices whose lines lie within tol (in value, over a piece of width w) of the
    // chord that replaces them. The set only shrinks: every line kept stays within the
    // tube, at the cost of lines within tol of its edge. Keeps the vertex count small on
    // smooth data, where the sides of the set are arcs of very many short edges.
    void simplify(double w, double tol)
    {
        const size_t n = poly.size();
        const double tol2 = tol * tol;
        auto near = [w, tol2](const Vertex& a, const Vertex& b, const Vertex& p) {
            // p within tol of the line through a and b, with slopes scaled by w
            const double ax = a[0], ay = a[1] * w, px = p[0] - ax, py = p[1] * w - ay;
            const double dx = b[0] - ax, dy = b[1] * w - ay;
            const double len2 = dx * dx + dy * dy;
            if (len2 == 0)
                return px * px + py * py <= tol2;
            const double cross = px * dy - py * dx;
            return cross * cross <= tol2 * len2;
        };
        scratch.clear();
        scratch.push_back(poly[0]);
        size_t pendingFrom = 1; // vertices dropped since the last one kept
        for (size_t i = 1; i < n; ++i) {
            const Vertex& next = poly[(i + 1) % n];
            bool drop = i + 1 < n;
            for (size_t j = pendingFrom; drop && j <= i; ++j)
                drop = near(scratch.back(), next, poly[j]);
            if (!drop) {
                scratch.push_back(poly[i]);
                pendingFrom = i + 1;
            }
        }
        if (scratch.size() >= 3)
            poly.swap(scratch);
    }
    // Values of the lines at distance w: [lo, hi].
    std::pair<double, double> valuesAt(double w) const
    {
        double lo = Inf, hi = -Inf;
        for (const Vertex& P : poly) {
            const double v = P[0] + P[1] * w;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return {lo, hi};
    }
};

// Largest slope a table can have: display span over the smallest step, with room.
double slopeLimit(const Problem& p, long long minStep)
{
    const double span = p.outValue(p.outHigh) - p.outValue(p.outLow);
    return 1.5 * (span + p.outStep) / p.inValue(std::max<long long>(minStep, 1)) + 1;
}

// Largest grid index whose value is below v; smallest whose value is at or above v.
long long gridBelow(const Problem& p, double v)
{
    long long q = static_cast<long long>(std::floor(v * p.inScale));
    while (p.inValue(q) >= v)
        --q;
    while (p.inValue(q + 1) < v)
        ++q;
    return q;
}
long long gridAtOrAbove(const Problem& p, double v) { return gridBelow(p, v) + 1; }

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
        xc = clampedInputs(p);
        X.resize(n);
        Y.resize(n);
        Xv.resize(n);
        Yv.resize(n);
        firstRow.resize(n);
        for (size_t i = 0; i < n; ++i) {
            X[i] = std::clamp(p.inIndex(p.x[i]), p.x0, p.x1);
            Y[i] = p.outIndex(p.y[i]);
            Xv[i] = p.inValue(X[i]);
            Yv[i] = p.outValue(Y[i]);
            firstRow[i] = int(std::lower_bound(xc.begin(), xc.end(), Xv[i]) - xc.begin());
        }
        X.front() = p.x0;
        X.back() = p.x1;
        Xv.front() = p.inValue(p.x0);
        Xv.back() = p.inValue(p.x1);
        for (size_t i = 0; i < n; ++i)
            own.push_back(knotError(p, X[i], Yv[i]));
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
        dist.assign(size_t(n), INT_MAX);
        parent.assign(size_t(n), -1);
        dist[0] = 0;
        swept = 0;
        // Chords from node i cover the rows beyond it: at least as many as the separate
        // pieces they need, or as the chords found at a larger error.
        const bool narrowed = !bound.empty() && e <= boundError && maxChords <= boundChords;
        if (!narrowed)
            piecesAfter(ee);
        const std::vector<int>& lower = narrowed ? bound : after;
        for (int i = 0; i < last; ++i) {
            const int needed = dist[size_t(i)] == INT_MAX ? INT_MAX : dist[size_t(i)] + std::max(lower[size_t(i)], 1);
            if (needed > maxChords || (!complete && needed >= dist[size_t(last)]))
                continue;
            if ((i & 255) == 0 && p.cancelled())
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
            if ((j & 255) == 0 && p.cancelled())
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
        for (int i = 0; i < n; ++i)
            after[size_t(i)] = suffix[size_t(std::upper_bound(xc.begin(), xc.end(), Xv[size_t(i)]) - xc.begin())];
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

// ---- Free placement.

struct Interval {
    double lo = 0, hi = 0;
    bool empty() const { return lo > hi; }
};

Interval displayRange(const Problem& p) { return {p.outValue(p.outLow), p.outValue(p.outHigh)}; }
// The display grid's values within iv, in grid units: [first, last] (none when first > last).
std::pair<long long, long long> gridValuesIn(const Problem& p, const Interval& iv)
{
    return {static_cast<long long>(std::ceil(iv.lo * p.outScale - 1e-6)), static_cast<long long>(std::floor(iv.hi * p.outScale + 1e-6))};
}
// The values the first and last points may take: the pinned value or the display range.
Interval firstValues(const Problem& p)
{
    return p.firstY ? Interval{p.outValue(*p.firstY), p.outValue(*p.firstY)} : displayRange(p);
}
Interval lastValues(const Problem& p)
{
    return p.lastY ? Interval{p.outValue(*p.lastY), p.outValue(*p.lastY)} : displayRange(p);
}

// Greedy split into joined (or, with joined false, separate) straight pieces, each
// reaching as far as the rows allow: the inputs of the pieces' ends, or empty when more
// than maxSegments pieces are needed. A piece that cannot reach the minimum step (near the
// end, where the last piece needs its step too) sends the search back to a nearer end of
// the piece before it, within a bounded amount of work.
std::vector<long long> greedy(const Problem& p, const std::vector<double>& xc, double e, int maxSegments, bool joined, long long minStep)
{
    const int n = int(p.x.size());
    const double ee = slack(p, e);
    const double sMax = slopeLimit(p, minStep);
    const Interval range{p.outValue(p.outLow), p.outValue(p.outHigh)};
    struct Candidate {
        long long q = 0;
        Interval values;
        int next = 0;
    };
    struct Piece {
        long long xt = 0;
        Interval start;
        int rowStart = 0;
        bool done = false;
        std::vector<Candidate> candidates; // rising q
        size_t tried = 0;
        long long limit = LLONG_MAX; // try only ends at or below this
        long long reach = 0;         // grid input of the last row the piece covered
    };
    std::vector<Piece> pieces;
    pieces.push_back({p.x0, joined ? firstValues(p) : range, 0, false, {}, 0, LLONG_MAX, 0});
    long long budget = 6LL * n + 100000;
    Lines lines;
    // Covers rows from the piece's start while one line can; notes the ends it may take.
    // Returns the row where it stopped (n: it reached the last row).
    auto run = [&](Piece& piece) {
        piece.done = true;
        const double xtv = p.inValue(piece.xt);
        lines.box(piece.start.lo, piece.start.hi, sMax);
        int k = piece.rowStart;
        for (; k < n; ++k) {
            lines.row(xc[k] - xtv, p.y[k], ee);
            if (lines.empty())
                break;
            if (k + 1 < n) {
                const long long q = std::min(gridBelow(p, xc[k + 1]), p.x1 - minStep);
                if (q >= std::max(gridAtOrAbove(p, xc[k]), piece.xt + minStep)) {
                    const double xq = p.inValue(q);
                    auto [lo, hi] = lines.valuesAt(xq - xtv);
                    // Joined, the next piece starts here: keep the point within the
                    // tube around the source at q, or the next piece starts outside it.
                    if (joined && xc[k + 1] > xc[k]) {
                        const double yq = p.y[k] + (p.y[k + 1] - p.y[k]) * ((xq - xc[k]) / (xc[k + 1] - xc[k]));
                        lo = std::max(lo, yq - ee);
                        hi = std::min(hi, yq + ee);
                    }
                    lo = std::max(lo, range.lo);
                    hi = std::min(hi, range.hi);
                    if (lo <= hi) {
                        if (!piece.candidates.empty() && piece.candidates.back().q == q)
                            piece.candidates.back() = Candidate{q, {lo, hi}, k + 1};
                        else
                            piece.candidates.push_back(Candidate{q, {lo, hi}, k + 1});
                    }
                }
            }
        }
        budget -= k - piece.rowStart + 1;
        piece.reach = k > piece.rowStart ? gridBelow(p, xc[k - 1]) + 1 : piece.xt;
        return k;
    };
    while (!pieces.empty()) {
        if (p.cancelled())
            return {};
        Piece& piece = pieces.back();
        if (!piece.done) {
            int k = run(piece);
            // A short piece after a long one: its start (the end of the piece before) was
            // a poor choice. Try a few nearer ends of the piece before; keep the one whose
            // next piece reaches farthest.
            if (k < n && pieces.size() >= 2) {
                Piece& before = pieces[pieces.size() - 2];
                const size_t count = before.candidates.size();
                if (2 * (piece.reach - piece.xt) < piece.xt - before.xt && count > 1) {
                    for (int a = 1; a <= 8 && budget > 0; ++a) {
                        const size_t back = std::max<size_t>(1, size_t(a) * count * 3 / 80);
                        if (back >= count)
                            break;
                        const Candidate& c = before.candidates[count - 1 - back];
                        Piece other{c.q, joined ? c.values : range, c.next, false, {}, 0, LLONG_MAX, 0};
                        const int ko = run(other);
                        if (other.reach > piece.reach || ko == n) {
                            piece = std::move(other);
                            k = ko;
                            if (k == n)
                                break;
                        }
                    }
                }
            }
            if (k == n) {
                if (int(pieces.size()) > maxSegments)
                    return {};
                std::vector<long long> knots;
                for (const Piece& pc : pieces)
                    knots.push_back(pc.xt);
                knots.push_back(p.x1);
                return knots;
            }
            if (int(pieces.size()) >= maxSegments && !piece.candidates.empty())
                return {};
        }
        // The farthest end not yet tried.
        while (piece.tried < piece.candidates.size() && piece.candidates[piece.candidates.size() - 1 - piece.tried].q > piece.limit)
            ++piece.tried;
        if (piece.tried >= piece.candidates.size() || budget < 0) {
            const long long failedAt = piece.xt, reach = piece.reach;
            const bool stepShort = piece.candidates.empty();
            pieces.pop_back();
            if (pieces.empty() || budget < 0)
                return {};
            // Nearer ends for the piece before: far enough back that this piece can make its step.
            Piece& before = pieces.back();
            before.limit = std::min(before.limit, failedAt - 1);
            if (stepShort)
                before.limit = std::min(before.limit, failedAt - (failedAt + minStep - reach));
            continue;
        }
        const Candidate c = piece.candidates[piece.candidates.size() - 1 - piece.tried];
        ++piece.tried;
        pieces.push_back({c.q, joined ? c.values : range, c.next, false, {}, 0, LLONG_MAX, 0});
    }
    return {};
}

// Splits the longest pieces in the middle until there are `points` points.
std::vector<long long> padKnots(const Problem& p, std::vector<long long> knots, int points)
{
    while (int(knots.size()) < points) {
        size_t best = 0;
        long long widest = -1;
        for (size_t i = 0; i + 1 < knots.size(); ++i)
            if (knots[i + 1] - knots[i] > widest) {
                widest = knots[i + 1] - knots[i];
                best = i;
            }
        knots.insert(knots.begin() + long(best) + 1, knots[best] + widest / 2);
        if (widest < 2 * p.minStep) {
            // no piece is wide enough: push the inputs apart, forwards then back from the end
            if ((p.x1 - p.x0) < p.minStep * (long long)(knots.size() - 1)) {
                knots.erase(knots.begin() + long(best) + 1);
                break;
            }
            for (size_t i = 1; i < knots.size(); ++i)
                knots[i] = std::max(knots[i], knots[i - 1] + p.minStep);
            knots.back() = p.x1;
            for (size_t i = knots.size() - 1; i-- > 0;)
                knots[i] = std::min(knots[i], knots[i + 1] - p.minStep);
        }
    }
    return knots;
}

// A piece's rows as far as a line within a band sees them: the lower hull of the rows (d from
// the piece's start, y) bounds the line from above, the upper hull from below; a row off its
// hull is within the band whenever the hull's vertices around it are. Rising in d.
struct HullVertex {
    double d, y;
    bool below; // on the lower hull: the line stays below y + e
};

// atStart, atEnd: the chart at the piece's two ends (d = 0 and width), NaN where no row of its
// own stands for it there (chartBetween).
std::vector<HullVertex> hullsOf(const std::vector<double>& xc, const std::vector<double>& y, int from, int to, double start,
                                double atStart = std::numeric_limits<double>::quiet_NaN(),
                                double atEnd = std::numeric_limits<double>::quiet_NaN(), double width = 0)
{
    std::vector<HullVertex> lower, upper, out;
    // turn of a -> b -> c: positive counter-clockwise
    auto turn = [](const HullVertex& a, const HullVertex& b, const HullVertex& c) {
        return (b.d - a.d) * (c.y - a.y) - (b.y - a.y) * (c.d - a.d);
    };
    auto add = [&](const HullVertex& v) {
        if (lower.empty() || lower.back().d != v.d || v.y < lower.back().y) {
            if (!lower.empty() && lower.back().d == v.d)
                lower.pop_back();
            while (lower.size() >= 2 && turn(lower[lower.size() - 2], lower.back(), v) <= 0)
                lower.pop_back();
            lower.push_back(v);
        }
        if (upper.empty() || upper.back().d != v.d || v.y > upper.back().y) {
            if (!upper.empty() && upper.back().d == v.d)
                upper.pop_back();
            while (upper.size() >= 2 && turn(upper[upper.size() - 2], upper.back(), v) >= 0)
                upper.pop_back();
            upper.push_back({v.d, v.y, false});
        }
    };
    if (!std::isnan(atStart))
        add({0, atStart, true});
    for (int k = from; k < to; ++k)
        add({xc[k] - start, y[k], true});
    if (!std::isnan(atEnd))
        add({width, atEnd, true});
    out.resize(lower.size() + upper.size());
    std::merge(lower.begin(), lower.end(), upper.begin(), upper.end(), out.begin(),
               [](const HullVertex& a, const HullVertex& b) { return a.d < b.d; });
    return out;
}

// Display values for fixed inputs.
// Each piece's hulls, kept for tables that share pieces (key: the piece's two inputs).
using HullCache = std::map<std::pair<long long, long long>, std::vector<HullVertex>>;

struct Fixed {
    const Problem& p;
    const std::vector<double>& xc; // clamped inputs, outliving the object
    std::vector<long long> knots;
    std::vector<double> kv;
    std::vector<std::vector<HullVertex>> hull; // of each piece's rows
    std::vector<Interval> reach; // values each point can take, found forwards
    double sMax = 0;

    Fixed(const Problem& problem, const std::vector<double>& clamped, std::vector<long long> k, HullCache* cache = nullptr)
        : p(problem), xc(clamped), knots(std::move(k))
    {
        for (long long q : knots)
            kv.push_back(p.inValue(q));
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            if (cache)
                if (auto it = cache->find({knots[t], knots[t + 1]}); it != cache->end()) {
                    hull.push_back(it->second);
                    continue;
                }
            const int begin = int(std::lower_bound(xc.begin(), xc.end(), kv[t]) - xc.begin());
            const int end = int(std::upper_bound(xc.begin(), xc.end(), kv[t + 1]) - xc.begin());
            hull.push_back(hullsOf(xc, p.y, begin, end, kv[t], chartBetween(p, kv[t]), chartBetween(p, kv[t + 1]), kv[t + 1] - kv[t]));
            if (cache)
                cache->emplace(std::make_pair(knots[t], knots[t + 1]), hull.back());
        }
        long long narrowest = LLONG_MAX;
        for (size_t t = 0; t + 1 < knots.size(); ++t)
            narrowest = std::min(narrowest, knots[t + 1] - knots[t]);
        sMax = slopeLimit(p, narrowest);
    }

    bool forward(double e)
    {
        const double ee = slack(p, e);
        const Interval range = displayRange(p);
        reach.assign(knots.size(), range);
        reach.front() = firstValues(p);
        const Interval last = lastValues(p);
        Lines lines;
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            lines.box(reach[t].lo, reach[t].hi, sMax);
            for (size_t k = 0; k < hull[t].size() && !lines.empty(); ++k)
                lines.halfRow(hull[t][k].d, hull[t][k].y, ee, hull[t][k].below);
            if (lines.empty())
                return false;
            // values at this point that no line of the piece continues are of no use
            const auto [from, to] = lines.valuesAt(0);
            reach[t] = {std::max(reach[t].lo, from), std::min(reach[t].hi, to)};
            auto [lo, hi] = lines.valuesAt(kv[t + 1] - kv[t]);
            const Interval& bound = t + 2 == knots.size() ? last : range;
            reach[t + 1] = {std::max(lo, bound.lo), std::min(hi, bound.hi)};
            if (reach[t + 1].empty())
                return false;
        }
        return true;
    }

    long long nearestIn(const Interval& iv) const
    {
        // an empty interval (rows that no value meets) may lie far outside the display range
        const double halfway = (iv.lo + iv.hi) / 2;
        const double mid = std::isfinite(halfway) ? std::clamp(halfway, p.outValue(p.outLow), p.outValue(p.outHigh)) : 0.0;
        long long v = p.outIndex(mid);
        if (!iv.empty()) {
            if (p.outValue(v) < iv.lo && p.outValue(v + 1) <= iv.hi)
                ++v;
            else if (p.outValue(v) > iv.hi && p.outValue(v - 1) >= iv.lo)
                --v;
        }
        return std::clamp(v, p.outLow, p.outHigh);
    }

    // Rounded values chosen backwards within the reach found at e.
    Table backward(double e) const
    {
        const double ee = slack(p, e);
        const size_t m = knots.size() - 1;
        Table t;
        t.x = knots;
        t.y.assign(knots.size(), 0);
        t.y[m] = nearestIn(reach[m]);
        for (size_t s = m; s-- > 0;) {
            const double u = p.outValue(t.y[s + 1]);
            const double w = kv[s + 1] - kv[s];
            Interval iv = reach[s];
            for (const HullVertex& h : hull[s]) {
                const double lam = h.d / w;
                if (lam >= 1)
                    continue;
                const double a = 1 - lam;
                if (h.below)
                    iv.hi = std::min(iv.hi, (h.y + ee - u * lam) / a);
                else
                    iv.lo = std::max(iv.lo, (h.y - ee - u * lam) / a);
            }
            t.y[s] = s == 0 && p.firstY ? *p.firstY : nearestIn(iv);
        }
        if (p.lastY)
            t.y[m] = *p.lastY;
        return t;
    }

    // Display values on the grid within the reach found at the last forward pass, the best of
    // them by a dynamic program over the points (each piece's error depends on its two values
    // only). A table of error at most that pass's e holds values within its reach, so with at
    // most GridValues values a point the choice is the best of all such tables.
    static constexpr long long GridValues = 48;
    Table gridChoice() const
    {
        const size_t m = knots.size();
        std::vector<std::vector<long long>> values(m);
        for (size_t t = 0; t < m; ++t) {
            const Interval& iv = reach[t];
            if ((t == 0 && p.firstY) || (t + 1 == m && p.lastY)) {
                values[t] = {t == 0 ? *p.firstY : *p.lastY};
                continue;
            }
            auto [from, to] = gridValuesIn(p, iv);
            from = std::max(p.outLow, from);
            to = std::min(p.outHigh, to);
            if (to < from) // none on the grid: the nearest ones
                from = to = std::clamp(p.outIndex((iv.lo + iv.hi) / 2), p.outLow, p.outHigh);
            if (to - from >= GridValues) {
                const long long mid = from + (to - from) / 2;
                from = mid - GridValues / 2;
                to = from + GridValues - 1;
            }
            for (long long v = from; v <= to; ++v)
                values[t].push_back(v);
        }
        std::vector<std::vector<double>> cost(m);
        std::vector<std::vector<int>> back(m);
        cost[0].assign(values[0].size(), 0);
        for (size_t t = 1; t < m; ++t) {
            cost[t].assign(values[t].size(), Inf);
            back[t].assign(values[t].size(), 0);
            const double w = kv[t] - kv[t - 1];
            for (size_t u = 0; u < values[t - 1].size(); ++u) {
                const double v0 = p.outValue(values[t - 1][u]);
                for (size_t v = 0; v < values[t].size(); ++v) {
                    const double v1 = p.outValue(values[t][v]);
                    double e = cost[t - 1][u];
                    for (size_t k = 0; k < hull[t - 1].size() && e < cost[t][v]; ++k)
                        e = std::max(e, std::fabs(v0 + (v1 - v0) * (hull[t - 1][k].d / w) - hull[t - 1][k].y));
                    if (e < cost[t][v]) {
                        cost[t][v] = e;
                        back[t][v] = int(u);
                    }
                }
            }
        }
        Table t;
        t.x = knots;
        t.y.assign(m, 0);
        size_t at = size_t(std::min_element(cost[m - 1].begin(), cost[m - 1].end()) - cost[m - 1].begin());
        for (size_t i = m; i-- > 0;) {
            t.y[i] = values[i][at];
            if (i > 0)
                at = size_t(back[i][at]);
        }
        return t;
    }

    double pieceError(const Table& t, size_t s) const
    {
        const double v0 = p.outValue(t.y[s]), v1 = p.outValue(t.y[s + 1]);
        const double w = kv[s + 1] - kv[s];
        double e = 0;
        for (const HullVertex& h : hull[s])
            e = std::max(e, std::fabs(v0 + (v1 - v0) * (h.d / w) - h.y));
        return e;
    }

    // Moves single values by one step while that lowers the larger error of their two pieces.
    void polish(Table& t) const
    {
        const size_t m = knots.size() - 1;
        std::vector<double> err(m);
        for (size_t s = 0; s < m; ++s)
            err[s] = pieceError(t, s);
        for (int pass = 0; pass < 8; ++pass) {
            bool moved = false;
            for (size_t i = p.firstY ? 1 : 0; i <= m - (p.lastY ? 1 : 0); ++i) {
                auto local = [&](size_t i) {
                    double e = 0;
                    if (i > 0)
                        e = std::max(e, err[i - 1]);
                    if (i < m)
                        e = std::max(e, err[i]);
                    return e;
                };
                for (int step : {-1, 1}) {
                    const long long old = t.y[i];
                    const long long nv = old + step;
                    if (nv < p.outLow || nv > p.outHigh)
                        continue;
                    const double before = local(i);
                    t.y[i] = nv;
                    const double eL = i > 0 ? pieceError(t, i - 1) : 0;
                    const double eR = i < m ? pieceError(t, i) : 0;
                    if (std::max(eL, eR) < before) {
                        if (i > 0)
                            err[i - 1] = eL;
                        if (i < m)
                            err[i] = eR;
                        moved = true;
                    } else {
                        t.y[i] = old;
                    }
                }
            }
            if (!moved)
                break;
        }
    }
};

double dataSpan(const Problem& p)
{
    if (p.y.empty())
        return 0;
    auto [lo, hi] = std::minmax_element(p.y.begin(), p.y.end());
    return *hi - *lo;
}

double tolerance(const Problem& p, double relative) { return relative * std::max(dataSpan(p), p.outStep); }

} // namespace

long long Problem::inIndex(double v) const { return roundHalfAway(v * inScale); }

long long Problem::outIndex(double v) const { return std::clamp(roundHalfAway(v * outScale), outLow, outHigh); }

double chartError(const Problem& p, const Table& t, double* at)
{
    double worst = -1, where = p.x.empty() ? 0 : p.x.front();
    size_t s = 0;
    const double x0 = p.inValue(t.x.front()), x1 = p.inValue(t.x.back());
    for (size_t k = 0; k < p.x.size(); ++k) {
        const double x = std::clamp(p.x[k], x0, x1);
        while (s + 2 < t.x.size() && p.inValue(t.x[s + 1]) < x)
            ++s;
        const double xa = p.inValue(t.x[s]), xb = p.inValue(t.x[s + 1]);
        const double ya = p.outValue(t.y[s]), yb = p.outValue(t.y[s + 1]);
        const double v = ya + (yb - ya) * ((x - xa) / (xb - xa));
        const double e = std::fabs(v - p.y[k]);
        if (e > worst) {
            worst = e;
            where = p.x[k];
        }
    }
    // Between rows both the chart and the table are straight but for the table's knots.
    for (size_t i = 0; i < t.x.size(); ++i)
        if (const double e = knotError(p, t.x[i], p.outValue(t.y[i])); e > worst) {
            worst = e;
            where = p.inValue(t.x[i]);
        }
    if (at)
        *at = where;
    return std::max(worst, 0.0);
}

// Rows up to which the fewest points for the error found are counted exactly.
constexpr size_t LongChords = 20000;
// Row visits of the bisection on the data: well under a second at 100,000 rows.
constexpr long long OnDataVisits = 40000000, OnDataVisitsPerRow = 200;

Table onDataLeast(const Problem& p, int points, int* fewestPoints)
{
    if (p.x.size() < 2 || points < 2)
        return {};
    Chords chords(p);
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
        if (chords.farthest(mid, maxChords, nodes) || chords.beam(mid, maxChords, nodes)) {
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
    if (chords.fewest(e, maxPoints - 1) < 0)
        return {};
    return chords.table(chords.pathNodes());
}

int onDataFewestCount(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return 0;
    Chords chords(p);
    const int chordCount = chords.fewest(e, maxPoints - 1);
    return chordCount < 0 ? 0 : chordCount + 1;
}

namespace {
Table fixedInputsWith(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots, double below,
                      HullCache* cache);
}

Table fixedInputs(const Problem& p, const std::vector<long long>& knots, double below)
{
    return fixedInputsWith(p, clampedInputs(p), knots, below, nullptr);
}

namespace {
// fixedInputs on the clamped inputs xc, with the hulls of pieces seen before.
Table fixedInputsWith(const Problem& p, const std::vector<double>& xc, const std::vector<long long>& knots, double below,
                      HullCache* cache)
{
    Fixed fixed(p, xc, knots, cache);
    if (std::isfinite(below) && !fixed.forward(below)) // no table of these inputs reaches it
        return {};
    // An upper bound: the values of the rows at the inputs.
    Table start;
    start.x = knots;
    for (long long q : knots) {
        const double xq = p.inValue(q);
        auto it = std::lower_bound(fixed.xc.begin(), fixed.xc.end(), xq);
        const size_t k = std::min<size_t>(size_t(it - fixed.xc.begin()), p.x.size() - 1);
        double v = p.y[k];
        if (k > 0 && fixed.xc[k] > xq && fixed.xc[k] > fixed.xc[k - 1])
            v = p.y[k - 1] + (p.y[k] - p.y[k - 1]) * (xq - fixed.xc[k - 1]) / (fixed.xc[k] - fixed.xc[k - 1]);
        start.y.push_back(p.outIndex(v));
    }
    if (p.firstY)
        start.y.front() = *p.firstY;
    if (p.lastY)
        start.y.back() = *p.lastY;
    double hi = chartError(p, start) + p.outStep, lo = 0;
    if (!fixed.forward(hi))
        return start;
    // (the values are rounded next: a ten-thousandth of a display step is close enough)
    const double tol = tolerance(p, 1e-10), close = std::max(tol, 1e-4 * p.outStep);
    for (int i = 0; i < 200 && hi - lo > close; ++i) {
        const double mid = lo + (hi - lo) / 2;
        (fixed.forward(mid) ? hi : lo) = mid;
    }
    Table best = start;
    double bestError = chartError(p, start);
    auto consider = [&](Table t) {
        fixed.polish(t);
        if (const double err = chartError(p, t); err < bestError) {
            bestError = err;
            best = std::move(t);
        }
    };
    for (int j = 0; j <= 4; ++j) {
        const double e = hi + j * p.outStep / 4;
        if (fixed.forward(e))
            consider(fixed.backward(e));
    }
    // Rounding each value moves the table by at most half a display unit, so the best table on
    // the grid is within that of the least error before rounding: its values lie in the reach there.
    if (fixed.forward(std::min(bestError, hi + p.outStep / 2) + tol))
        consider(fixed.gridChoice());
    return best;
}
} // namespace

namespace {

// Moves single inputs while that lets the display values reach a lower error: each knot
// in turn, by steps that halve from a quarter of its pieces' width down to one grid unit.
// A move is tried with one forward pass at the error to beat; a move that passes is kept
// and its error found by bisection. Bounded to about `passes` forward passes. xc: the rows'
// clamped inputs.
std::vector<long long> refineKnots(const Problem& p, const std::vector<double>& xc, std::vector<long long> knots, long long passes)
{
    if (passes < 100) // finding the first error alone takes about 30
        return knots;
    auto least = [&](const std::vector<long long>& k, double hi) {
        Fixed f(p, xc, k);
        double lo = 0;
        for (int i = 0; i < 40 && hi - lo > 1e-6 * hi; ++i) {
            const double mid = lo + (hi - lo) / 2;
            (f.forward(mid) ? hi : lo) = mid;
            --passes;
        }
        return hi;
    };
    double best = least(knots, dataSpan(p) + p.outStep);
    bool moved = true;
    while (moved && passes > 0 && !p.cancelled()) {
        moved = false;
        for (size_t i = 1; i + 1 < knots.size() && passes > 0; ++i) {
            const long long room = (knots[i + 1] - knots[i - 1]) / 4;
            for (long long step = room; step >= 1 && passes > 0; step /= 2) {
                for (long long dir : {-1LL, 1LL}) {
                    std::vector<long long> k = knots;
                    k[i] = onRow(p, xc, k[i] + dir * step);
                    if (k[i] == knots[i] || k[i] - k[i - 1] < p.minStep || k[i + 1] - k[i] < p.minStep)
                        continue;
                    --passes;
                    const double target = best * (1 - 1e-4);
                    if (!Fixed(p, xc, k).forward(target))
                        continue;
                    best = least(k, target);
                    knots = std::move(k);
                    moved = true;
                    break;
                }
            }
        }
    }
    return knots;
}

// Moves single inputs while the table's error after rounding falls: the searches above
// choose inputs for values before rounding, and on a coarse display grid other inputs
// often round better (the line's phase against the display grid changes with every grid
// unit). Each knot in turn, by 1, 2, 4 and 8 grid units, a quarter, half and a whole
// minimum step, and a quarter of its pieces' width (with an error below a display step, an
// eighth and a sixteenth too: which rows a piece passes within the step then turns on single
// grid units), for at most `tries` tables. xc: the rows' clamped inputs.
Table roundedMoves(const Problem& p, const std::vector<double>& xc, Table best, long long tries)
{
    HullCache hulls;
    double bestError = chartError(p, best);
    const bool fine = bestError < p.outStep;
    bool moved = true;
    while (moved && tries > 0 && !p.cancelled()) {
        moved = false;
        for (size_t i = 1; i + 1 < best.x.size() && tries > 0; ++i) {
            const long long room = (best.x[i + 1] - best.x[i - 1]) / 4;
            for (long long step : {1LL, 2LL, 4LL, 8LL, p.minStep / 4, p.minStep / 2, p.minStep, room, fine ? room / 2 : 0, fine ? room / 4 : 0}) {
                for (long long dir : {-1LL, 1LL}) {
                    std::vector<long long> k = best.x;
                    k[i] = onRow(p, xc, k[i] + dir * step);
                    if (step < 1 || k[i] == best.x[i] || k[i] - k[i - 1] < p.minStep || k[i + 1] - k[i] < p.minStep || tries-- <= 0)
                        continue;
                    Table t = fixedInputsWith(p, xc, k, bestError, &hulls);
                    if (const double err = t.empty() ? Inf : chartError(p, t); err < bestError) {
                        bestError = err;
                        best = std::move(t);
                        moved = true;
                    }
                }
            }
        }
    }
    return best;
}

} // namespace

namespace {

// The value of piece s of table t at input q (display grid units).
double onPiece(const Table& t, size_t s, long long q)
{
    return double(t.y[s]) + double(t.y[s + 1] - t.y[s]) * double(q - t.x[s]) / double(t.x[s + 1] - t.x[s]);
}

// Moves every knot at once: a dynamic program over the points, each taking an input near its
// own and a display value within two steps of the table's there. A piece's error depends on
// its two ends alone, so the table found is the best of that whole neighbourhood; again from
// it while that lowers the error, at most `rounds` times and about `work` row visits. The
// inputs: 1 to 8 grid units either way, then steps growing by an eighth, up to a quarter of
// the knot's pieces; only the powers of two when that neighbourhood would cost too much.
// xc: the rows' clamped inputs.
Table knotsTogether(const Problem& p, const std::vector<double>& xc, Table best, int rounds, long long work)
{
    constexpr long long Values = 2;
    const size_t K = best.x.size();
    if (K < 3)
        return best;
    double bestError = chartError(p, best);
    struct State {
        long long x, y;
        size_t from, to; // first row at or after x; first row beyond x
        double own;      // from the chart between rows
        double cost;
        int back;
    };
    std::vector<std::vector<State>> st(K);
    // The table's value at input q, in display units.
    auto tableAt = [&](long long q) {
        return onPiece(best, size_t(std::upper_bound(best.x.begin() + 1, best.x.end() - 1, q) - best.x.begin()) - 1, q);
    };
    // The states of every point; returns the row visits of the dynamic program, at most.
    auto states = [&](bool dense) {
        for (size_t i = 0; i < K; ++i) {
            st[i].clear();
            std::vector<long long> inputs{best.x[i]};
            if (i > 0 && i + 1 < K) {
                const long long room = (best.x[i + 1] - best.x[i - 1]) / 4;
                for (long long d = 1; d <= room; d = dense ? d + std::max(1LL, d / 8) : 2 * d)
                    for (long long q : {best.x[i] - d, best.x[i] + d})
                        if (q > p.x0 && q < p.x1)
                            inputs.push_back(q);
            }
            for (long long q : inputs) {
                long long lo = std::llround(tableAt(q)) - Values, hi = lo + 2 * Values;
                if (i == 0 && p.firstY)
                    lo = hi = *p.firstY;
                if (i + 1 == K && p.lastY)
                    lo = hi = *p.lastY;
                const double v = p.inValue(q);
                const size_t from = size_t(std::lower_bound(xc.begin(), xc.end(), v) - xc.begin());
                const size_t to = size_t(std::upper_bound(xc.begin(), xc.end(), v) - xc.begin());
                for (long long y = std::max(lo, p.outLow); y <= std::min(hi, p.outHigh); ++y)
                    st[i].push_back({q, y, from, to, knotError(p, q, p.outValue(y)), i == 0 ? knotError(p, q, p.outValue(y)) : Inf, -1});
            }
        }
        long long cost = 0;
        for (size_t i = 1; i < K; ++i)
            cost += long(st[i - 1].size() * st[i].size()) * (long(st[i].back().to) - long(st[i - 1].front().from) + 2);
        return cost;
    };
    for (int round = 0; round < rounds && !p.cancelled(); ++round) {
        long long cost = states(true);
        if (cost > work)
            cost = states(false);
        if (cost > work)
            break;
        work -= cost;
        for (size_t i = 1; i < K; ++i)
            for (State& b : st[i]) {
                const double xb = p.inValue(b.x), yb = p.outValue(b.y);
                for (size_t a = 0; a < st[i - 1].size(); ++a) {
                    const State& sa = st[i - 1][a];
                    if (sa.cost >= b.cost || b.x - sa.x < p.minStep)
                        continue;
                    const double xa = p.inValue(sa.x), ya = p.outValue(sa.y), slope = (yb - ya) / (xb - xa);
                    double e = std::max(sa.cost, b.own);
                    for (size_t r = sa.from; r < b.to && e < b.cost; ++r)
                        e = std::max(e, std::fabs(ya + slope * (xc[r] - xa) - p.y[r]));
                    if (e < b.cost) {
                        b.cost = e;
                        b.back = int(a);
                    }
                }
            }
        const auto last = std::min_element(st[K - 1].begin(), st[K - 1].end(), [](const State& a, const State& b) { return a.cost < b.cost; });
        if (last == st[K - 1].end() || !(last->cost < bestError))
            break;
        Table t;
        t.x.resize(K);
        t.y.resize(K);
        size_t at = size_t(last - st[K - 1].begin());
        for (size_t i = K; i-- > 0;) {
            t.x[i] = st[i][at].x;
            t.y[i] = st[i][at].y;
            if (i > 0)
                at = size_t(st[i][at].back);
        }
        const double err = chartError(p, t);
        if (!(err < bestError))
            break;
        best = std::move(t);
        bestError = err;
    }
    return best;
}

// The least error over every table whose inputs lie on the grid (on long input ranges on
// every k-th input, so that the states stay within StatesMost) and whose display values lie
// within `Window` steps of the source's (linear between the rows) at each input, by a
// bisection on the error. Each decision is a search by layers
// over the states (input, value): a state's sweep forwards keeps the slopes of the lines
// from it within e of the rows it passes, and marks the states those lines meet, each state
// swept once (at its first layer, which has the most pieces left). The best table found
// below `known` within about `work` input and state visits; empty when none is. firstOnly:
// between two rows a point follows another only at the first input it may take (far
// cheaper, and seldom worse). xc: the rows' clamped inputs.
Table gridStates(const Problem& p, const std::vector<double>& xc, int points, double known, long long work, bool firstOnly)
{
    constexpr long long WindowLeast = 24, WindowMost = 96, StatesMost = 200000;
    const size_t n = xc.size();
    // (few inputs: a wider window within the same states)
    const long long Window = std::clamp((StatesMost / (p.x1 - p.x0 + 1) - 1) / 2, WindowLeast, WindowMost);
    const long long W = 2 * Window + 1, Row = W + 1; // a state's index: input * Row + offset
    // the inputs: every grid input on short ranges, else every stride-th and the last
    const long long stride = (p.x1 - p.x0 + 1) * W / StatesMost + 1;
    if (n < 2 || (stride > 1 && !firstOnly)) // (on a coarser grid the cheaper search is enough)
        return {};
    std::vector<long long> at; // grid units from the first input
    for (long long q = 0; q < p.x1 - p.x0; q += stride)
        at.push_back(q);
    at.push_back(p.x1 - p.x0);
    const long long N = long(at.size());
    std::vector<double> gx(n), gy(n); // rows in grid units
    for (size_t r = 0; r < n; ++r) {
        gx[r] = xc[r] * p.inScale - double(p.x0);
        gy[r] = p.y[r] * p.outScale;
    }
    // At each input: the source's value, and the rows there, [first[i], beyond[i]).
    std::vector<long long> centre(static_cast<size_t>(N));
    std::vector<size_t> first(static_cast<size_t>(N)), beyond(static_cast<size_t>(N));
    std::vector<double> chart(static_cast<size_t>(N)); // between rows, in display grid units (NaN: at a row or beyond)
    for (long long i = 0, r = 0; i < N; ++i) {
        chart[size_t(i)] = chartBetween(p, p.inValue(p.x0 + at[size_t(i)])) * p.outScale;
        const double q = double(at[size_t(i)]);
        while (r + 1 < long(n) && gx[size_t(r) + 1] < q)
            ++r;
        const size_t a = size_t(r), b = std::min(n - 1, a + 1);
        const double t = gx[b] > gx[a] ? std::clamp((q - gx[a]) / (gx[b] - gx[a]), 0.0, 1.0) : 0.0;
        centre[size_t(i)] = std::llround(gy[a] + t * (gy[b] - gy[a]));
        first[size_t(i)] = size_t(std::lower_bound(gx.begin(), gx.end(), q - 1e-9) - gx.begin());
        beyond[size_t(i)] = size_t(std::upper_bound(gx.begin(), gx.end(), q + 1e-9) - gx.begin());
    }
    // Unseen states: skip[t] leads to the first unseen state at t's input from t on (the last
    // offset of each input is never seen); the states outside an input's valid values count
    // as seen from the start. unseenAt[2i], unseenAt[2i + 1]: the least and greatest unseen
    // offsets at input i; open[i] leads to the first input from i on with unseen states.
    std::vector<int> skip(size_t(N * Row)), open(size_t(N + 1)), unseenAt(size_t(2 * N));
    std::vector<long long> parent(size_t(N * Row));
    std::vector<long long> now, next;
    auto follow = [](std::vector<int>& to, long long t) {
        while (to[size_t(t)] != t) {
            to[size_t(t)] = to[size_t(to[size_t(t)])];
            t = to[size_t(t)];
        }
        return t;
    };
    auto unseen = [&](long long t) { return follow(skip, t); };
    auto value = [&](long long s) { return centre[size_t(s / Row)] + s % Row - Window; };
    const double tol = 1e-9 * std::max(1.0, std::fabs(p.outValue(p.outLow)) + std::fabs(p.outValue(p.outHigh))) * p.outScale;
    // A table reaching e with at most `points` points into *found (display units).
    auto decide = [&](double e, Table* found) -> int { // 1 found, 0 none, -1 out of work
        e = e * p.outScale + tol;
        // the values each input may take: near the source, in range and within e of its rows
        // (the rows beyond the ends lie at them)
        for (long long i = 0; i < N; ++i) {
            const long long c = centre[size_t(i)];
            long long a = std::max(c - Window, p.outLow), b = std::min(c + Window, p.outHigh);
            for (size_t r = first[size_t(i)]; r < beyond[size_t(i)] && a <= b; ++r) {
                a = std::max(a, static_cast<long long>(std::ceil(gy[r] - e)));
                b = std::min(b, static_cast<long long>(std::floor(gy[r] + e)));
            }
            if (const double cq = chart[size_t(i)]; !std::isnan(cq) && a <= b) {
                a = std::max(a, static_cast<long long>(std::ceil(cq - e)));
                b = std::min(b, static_cast<long long>(std::floor(cq + e)));
            }
            const long long row = i * Row, u = a - c + Window, v = b - c + Window;
            unseenAt[size_t(2 * i)] = int(u);
            unseenAt[size_t(2 * i + 1)] = int(v);
            for (long long o = 0; o < Row; ++o)
                skip[size_t(row + o)] = int(u > v || o > v ? row + W : row + std::max(u, o));
            open[size_t(i)] = int(u > v ? i + 1 : i);
        }
        open[size_t(N)] = int(N);
        // Marks the unseen states of offsets [a, b] (valid ones) at input j from state `from`.
        auto mark = [&](long long j, long long a, long long b, long long from) {
            const long long row = j * Row;
            long long t = unseen(row + a);
            if (t > row + b)
                return false;
            for (; t <= row + b; t = unseen(t + 1)) {
                skip[size_t(t)] = int(t + 1);
                parent[size_t(t)] = from;
                --work;
                if (j == N - 1) {
                    found->x.clear();
                    found->y.clear();
                    for (long long u = t; u >= 0; u = parent[size_t(u)]) {
                        found->x.push_back(p.x0 + at[size_t(u / Row)]);
                        found->y.push_back(value(u));
                    }
                    std::reverse(found->x.begin(), found->x.end());
                    std::reverse(found->y.begin(), found->y.end());
                    return true;
                }
                next.push_back(t);
            }
            int& least = unseenAt[size_t(2 * j)];
            int& most = unseenAt[size_t(2 * j + 1)];
            least = int(unseen(row + least) - row);
            while (most >= least && skip[size_t(row + most)] != row + most)
                --most;
            if (least > most)
                open[size_t(j)] = int(j + 1);
            return false;
        };
        now.clear();
        next.clear();
        // offsets [a, b] at input j held to its unseen ones and to the pinned value at an end
        auto held = [&](long long j, long long& a, long long& b, const std::optional<long long>& pin) {
            a = std::max(a, static_cast<long long>(unseenAt[size_t(2 * j)]));
            b = std::min(b, static_cast<long long>(unseenAt[size_t(2 * j + 1)]));
            if (pin)
                a = std::max(a, *pin - centre[size_t(j)] + Window), b = std::min(b, *pin - centre[size_t(j)] + Window);
            return a <= b;
        };
        if (long long a = 0, b = W - 1; held(0, a, b, p.firstY))
            mark(0, a, b, -1);
        std::swap(now, next);
        for (int k = 0; k + 1 < points && !now.empty(); ++k) {
            next.clear();
            for (long long s : now) {
                if (p.cancelled())
                    return -1;
                const long long i = s / Row;
                const double v = double(value(s)), xi = double(at[size_t(i)]);
                double lo = -Inf, hi = Inf;
                size_t r = beyond[size_t(i)];
                const long long j0 = std::lower_bound(at.begin(), at.end(), at[size_t(i)] + p.minStep) - at.begin();
                for (long long j = follow(open, j0); j < N; j = open[size_t(j) + 1] == j + 1 ? j + 1 : follow(open, j + 1), --work) {
                    const double xj = double(at[size_t(j)]);
                    for (; r < first[size_t(j)]; ++r, --work) {
                        const double d = gx[r] - xi;
                        lo = std::max(lo, (gy[r] - e - v) / d);
                        hi = std::min(hi, (gy[r] + e - v) / d);
                    }
                    if (lo > hi)
                        break;
                    if (firstOnly && lo == -Inf && j > j0) { // on to the input past the next row
                        if (r < n)
                            j = std::max(j, static_cast<long long>(std::upper_bound(at.begin(), at.end(), gx[r] + 1e-9,
                                                         [](double x, long long q) { return x < double(q); }) - at.begin()) - 1);
                        continue;
                    }
                    // the offsets at j of the lines kept
                    const double base = v - double(centre[size_t(j)] - Window);
                    long long a = 0, b = W - 1;
                    if (!held(j, a, b, j == N - 1 ? p.lastY : std::nullopt))
                        continue;
                    if (lo > -Inf)
                        a = ceilWithin(base + lo * (xj - xi) - 1e-9, a, b + 1);
                    if (hi < Inf)
                        b = floorWithin(base + hi * (xj - xi) + 1e-9, a - 1, b);
                    if (a <= b && mark(j, a, b, s))
                        return 1;
                }
                if (work < 0)
                    return -1;
            }
            std::swap(now, next);
        }
        return 0;
    };
    // Downwards from the error known by steps from 3 % that double while they hold (a failure
    // sweeps every state), then a bisection to 1 % (the moves after it polish the table).
    Table best;
    double lo = 0, hi = known, step = 0.03;
    for (int i = 0; i < 14 && hi - lo > 1e-2 * hi; ++i, step = std::min(0.5, 2 * step)) {
        const double mid = lo > 0 ? (lo + hi) / 2 : (1 - step) * hi;
        Table t;
        const int r = decide(mid, &t);
        if (r < 0)
            break;
        if (r == 0) {
            lo = mid;
            continue;
        }
        // as many points as asked: each added where the table's error grows least
        while (int(t.x.size()) < points) {
            Table pick;
            double least = Inf;
            for (size_t at = 0; at + 1 < t.x.size(); ++at) {
                const long long a = t.x[at], b = t.x[at + 1];
                for (long long q = a + p.minStep; q <= b - p.minStep; ++q) {
                    Table u = t;
                    const double v = onPiece(t, at, q);
                    u.x.insert(u.x.begin() + long(at) + 1, q);
                    u.y.insert(u.y.begin() + long(at) + 1, std::clamp(std::llround(v), p.outLow, p.outHigh));
                    work -= long(n);
                    if (const double err = chartError(p, u); err < least) {
                        least = err;
                        pick = std::move(u);
                    }
                }
            }
            if (pick.empty() || work < 0)
                break;
            t = std::move(pick);
        }
        const double err = int(t.x.size()) == points ? chartError(p, t) : Inf;
        if (err < hi) {
            best = std::move(t);
            hi = err;
        } else {
            lo = mid; // no table of as many points found there
        }
    }
    return best;
}

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
            chart.push_back(chartBetween(p, cv.back()));
        }
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
    // none, still sees the whole chart at its knots).
    void chartFrom(const Problem& source)
    {
        for (size_t a = 0; a < cand.size(); ++a)
            chart[a] = chartBetween(source, cv[a]);
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
        Lines lines;
        lines.box(last.lo, last.hi, sMax);
        int k = int(xs.size()) - 1;
        bool any = false;
        for (int a = C - 2; a >= 0; --a) {
            const int k0 = k;
            for (; k >= 0 && xs[size_t(k)] >= cv[size_t(a)] && !lines.empty(); --k)
                lines.row(xs[size_t(k)] - xe, ys[size_t(k)], ee);
            work += k0 - k + 1;
            visits += k0 - k + 1;
            bool meets = false;
            if (changed[size_t(a)] && !lines.empty() && cand[size_t(C) - 1] - cand[size_t(a)] >= minStep) {
                const auto [lo, hi] = lines.valuesAt(cv[size_t(a)] - xe);
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
        Lines lines;
        lines.grow = hull;
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
                    lines.box(ia.lo, ia.hi, sMax);
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
                            lines.row(xs[size_t(k)] - xa, ys[size_t(k)], ee);
                            if (lines.empty()) {
                                alive = false;
                                break;
                            }
                        }
                        work += k - k0 + 1;
                        visits += k - k0 + 1;
                        if (!alive || (cand[size_t(b)] - stepFrom(a) < minStep && !(freeStart && a == 0) && !(freeEnd && b + 1 == C)) ||
                            (lastPiece && b + 1 < C))
                            continue;
                        const auto [lo, hi] = lines.valuesAt(xb - xa);
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

// Marks the rows of [from, to) a search keeps there: all when there are at most 3 * runs,
// else in each of `runs` runs of consecutive rows the first and those farthest above and
// below the chord across the run (its bends, steps and noise peaks).
void markRuns(const std::vector<double>& xc, const std::vector<double>& y, size_t from, size_t to, size_t runs, std::vector<char>& keep)
{
    if (to <= from)
        return;
    if (to - from <= 3 * runs) {
        std::fill(keep.begin() + long(from), keep.begin() + long(to), 1);
        return;
    }
    const size_t n = to - from;
    for (size_t r = 0; r < runs; ++r) {
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
        markRuns(xc, p.y, size_t(from - xc.begin()), size_t(to - xc.begin()), runs, keep);
    }
    keptRows(p, xc, keep, xs, ys);
}

// At most about `keep` rows for a search: every row when there are few, else the first and
// last rows and the extremes of runs (markRuns). Dropping rows only loosens a search.
void reducedRows(const Problem& p, const std::vector<double>& xc, size_t keep, std::vector<double>& xs, std::vector<double>& ys)
{
    std::vector<char> kept(xc.size(), 0);
    markRuns(xc, p.y, 0, xc.size(), std::max<size_t>(keep / 3, 1), kept);
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
                                     bool straddle = false)
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

constexpr size_t SearchRows = 400; // rows a search over candidate inputs follows
constexpr size_t NearRuns = 16;    // runs of rows it follows near each knot when refining
constexpr size_t ShortRows = 2500;  // data up to this many rows gets the wider search
constexpr size_t ShortSearchRows = 800; // on that many rows
constexpr long long ThoroughVisits = 4000000; // unless its first search visits more rows than this
constexpr long long RoundVisits = 12000000;   // the search starts no round past this many visits
constexpr int Cuts = 6;                // searches again with the rows a table missed, at most
constexpr long long Spread = 300;   // evenly spread candidate inputs
constexpr long long Passes = 4000000; // rows visited when moving inputs one at a time
constexpr size_t LongRows = 15000;    // rows that choose the inputs on long data
constexpr size_t JoinedRows = 600;    // rows the bound on joined pieces follows
constexpr long long JoinedWork = 120000; // row and piece visits of that bound, over its bisection
constexpr size_t EndRows = 100;       // rows near each end it follows besides
constexpr long long RoundedRows = 200000; // rows over tables tried after rounding (up to 2,000 rows)
constexpr long long RoundedTries = 250;   // and tables at most
constexpr long long FewRoundedRows = 60000; // except on few rows: rows over tables tried
constexpr size_t Polished = 2;         // tables found that the moves start from (short data)
constexpr int KnotRounds = 20;         // moves of every knot at once, at most
constexpr long long KnotWork = 20000000; // and row visits
constexpr long long StateWork = 40000000; // visits of the search over every input and value, each way

// The inputs of the joined pieces that the greedy split finds at the least error it can reach;
// `near` (0: none), an error some table reaches, starts the bracket there.
std::vector<long long> greedyKnots(const Problem& p, int points, double near)
{
    const std::vector<double> xc = clampedInputs(p);
    auto split = [&](double e) { return greedy(p, xc, e, points - 1, true, p.minStep); };
    const double tol = tolerance(p, 1e-7);
    double lo = 0, hi = std::max(near, tol);
    std::vector<long long> knots = split(hi);
    if (near > 0 && !knots.empty()) {
        // downwards by quarters to a failure
        for (lo = hi / 4; lo > tol; lo = hi / 4) {
            if (p.cancelled())
                return {};
            std::vector<long long> k = split(lo);
            if (k.empty())
                break;
            hi = lo;
            knots = std::move(k);
        }
        if (lo <= tol)
            lo = 0;
    }
    // Bracket from below by doubling: a split at an error well below the least one fails
    // after a few short pieces. The display range can keep even a flat line from the
    // middle, so the doubling goes on past the data's span.
    while (knots.empty()) {
        if (p.cancelled() || hi > 1e6 * (dataSpan(p) + p.outStep) + 1e12)
            return {};
        lo = hi;
        hi *= 2;
        knots = split(hi);
    }
    while (hi - lo > tol && hi - lo > 1e-4 * hi) {
        if (p.cancelled())
            return {};
        const double mid = lo + (hi - lo) / 2;
        std::vector<long long> k = split(mid);
        if (k.empty()) {
            lo = mid;
        } else {
            hi = mid;
            knots = std::move(k);
        }
    }
    return padKnots(p, knots, points);
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
double leastAbove(KnotSearch& ks, const Problem& p, int links, double e, double relative, bool failsAtE = false)
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
    std::vector<FreeFit> found;
    for (const std::vector<long long>& knots : paths) {
        if (p.cancelled())
            return {};
        Table t = fixedInputs(p, knots);
        const double err = chartError(p, t);
        found.push_back({std::move(t), err});
    }
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
    // cheaper search first, within a bounded amount of work each.
    for (bool firstOnly : {true, false})
        if (everyInput && rows <= 2000 && best.error < p.outStep && best.error > tolerance(p, 1e-9))
            if (Table t = gridStates(p, xc, points, best.error, StateWork, firstOnly); !t.empty()) {
                best.table = knotsTogether(p, xc, std::move(t), KnotRounds, KnotWork);
                best.error = chartError(p, best.table);
            }
    return best;
}

} // namespace

namespace {

// The fewest separate straight pieces within e of the rows, the first through the pinned first
// value and the last through the pinned last value when the problem pins them (a greedy split:
// each piece reaches as far as it can; the last, through its pin, as far back as it can).
int separatePieces(const Problem& p, const std::vector<double>& xc, double e)
{
    const int n = int(xc.size());
    const double ee = slack(p, e), sMax = slopeLimit(p, 1);
    const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1);
    Lines lines;
    lines.grow = true;
    int end = n; // rows before it: the pieces before the last
    if (p.lastY) {
        const double v = p.outValue(*p.lastY);
        lines.box(v, v, sMax);
        for (end = n; end > 0; --end) {
            lines.row(xc[size_t(end) - 1] - x1, p.y[size_t(end) - 1], ee);
            if (lines.empty())
                break;
        }
        if (end == 0 && p.firstY) { // one piece through both pins, or the first row needs a piece of its own
            lines.row(x0 - x1, p.outValue(*p.firstY), ee - e); // (through the pin, but for rounding)
            if (!lines.empty())
                return 1;
            end = 1;
        }
        if (end == 0)
            return 1;
    }
    int pieces = 0;
    for (int k = 0; k < end;) {
        if (p.cancelled())
            return INT_MAX;
        double origin = xc[size_t(k)];
        if (pieces == 0 && p.firstY) {
            origin = x0;
            lines.box(p.outValue(*p.firstY), p.outValue(*p.firstY), sMax);
        } else {
            lines.box(p.y[size_t(k)] - ee, p.y[size_t(k)] + ee, sMax);
        }
        ++pieces;
        const int from = k;
        for (; k < end; ++k) {
            lines.row(xc[size_t(k)] - origin, p.y[size_t(k)], ee);
            if (lines.empty())
                break;
        }
        if (k == from) // the pinned first value is more than e from the first row
            return INT_MAX;
    }
    return pieces + (p.lastY ? 1 : 0);
}

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


// ---- The bound on joined pieces: a dynamic program over the rows and the pieces used.
// State: the lines (value at the row, slope) the current piece may be, per count of pieces
// used. Between two rows a piece may end at one knot, where the next line crosses it (their
// difference changes sign between the rows), or at two or more (the next piece is then any
// line), each piece at least a minimum step long. Knots anywhere, slopes within what the
// display range allows over a minimum step, the hull of a union for the union: each step
// keeps a superset of what tables can do, so a failure proves that none reaches e.
using Point = Lines::Vertex;

// Convex hull of the points (counter-clockwise, monotone chain); the points are reordered.
void convexHull(std::vector<Point>& pts, std::vector<Point>& out)
{
    sortUnique(pts);
    out.clear();
    if (pts.size() < 3) {
        out = pts;
        return;
    }
    auto cross = [](const Point& o, const Point& a, const Point& b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    out.resize(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(out[k - 2], out[k - 1], pts[i]) <= 0)
            --k;
        out[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(out[k - 2], out[k - 1], pts[i]) <= 0)
            --k;
        out[k++] = pts[i];
    }
    out.resize(k - 1);
}

// Holds a convex polygon (counter-clockwise) to at most `cap` vertices by growing it: two
// neighbouring vertices become the meeting point of the edges on either side, where that adds
// the least area (slopes scaled by w).
void capVertices(std::vector<Point>& poly, size_t cap, double w)
{
    if (poly.size() <= cap)
        return;
    // first the hull of its vertices: clipping leaves repeated vertices and slivers behind,
    // about which no meeting point of edges is safe
    std::vector<Point> pts = poly;
    convexHull(pts, poly);
    while (poly.size() > cap) {
        const size_t n = poly.size();
        double bestArea = Inf;
        size_t best = n;
        Point bestX{};
        for (size_t k = 0; k < n; ++k) {
            const Point &a = poly[(k + n - 1) % n], &b = poly[k], &c = poly[(k + 1) % n], &d = poly[(k + 2) % n];
            const double ux = b[0] - a[0], uy = (b[1] - a[1]) * w, vx = c[0] - d[0], vy = (c[1] - d[1]) * w;
            const double den = ux * vy - uy * vx; // b + t u = c + s v
            if (den == 0)
                continue;
            const double rx = c[0] - b[0], ry = (c[1] - b[1]) * w;
            const double t = (rx * vy - ry * vx) / den, s = (rx * uy - ry * ux) / den;
            if (!(t >= 0) || !(s >= 0))
                continue;
            const double px = ux * t, py = uy * t; // x - b
            const double area = std::fabs(px * ry - py * rx);
            // the polygon must stay convex about the new vertex (a near-zero edge has no
            // direction to speak of: its meeting point may cut the polygon)
            const Point &before = poly[(k + n - 2) % n], &after = poly[(k + 3) % n];
            const double xx = b[0] + px, xy = b[1] * w + py;
            auto left = [](double ox, double oy, double ax, double ay, double bx, double by) { return (ax - ox) * (by - oy) - (ay - oy) * (bx - ox) >= 0; };
            if (n > 4 && (!left(before[0], before[1] * w, a[0], a[1] * w, xx, xy) || !left(xx, xy, d[0], d[1] * w, after[0], after[1] * w)))
                continue;
            if (area < bestArea) {
                bestArea = area;
                best = k;
                bestX = {b[0] + px, b[1] + py / w};
            }
        }
        if (best == n)
            return;
        poly[best] = bestX;
        poly.erase(poly.begin() + long((best + 1) % n));
    }
}

struct JoinedBound {
    const Problem& p;
    std::vector<double> x, top, bottom; // merged rows: input, the largest and the smallest value there
    std::vector<double> pinLo, pinHi;   // pinned ends: the only value there
    double sMax = 0, width = 1;
    long long budget = 0; // row and piece visits left; none: the decisions stop
    bool aborted = false;
    double step = 0;      // the minimum step, in input units
    std::vector<Lines> old, nold; // per pieces used: the lines of pieces that may end
    struct Young { // lines of pieces that began after start
        double start;
        Lines lines;
    };
    std::vector<std::vector<Young>> young, nyoung;
    std::vector<Point> pts;
    std::vector<int> after;
    Lines scratch;

    JoinedBound(const Problem& problem, const std::vector<double>& xs, const std::vector<double>& ys, long long work)
        : p(problem), budget(work)
    {
        const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1);
        auto add = [&](double xi, double hiY, double loY, double pl, double ph) {
            if (!x.empty() && x.back() == xi) {
                top.back() = std::max(top.back(), hiY);
                bottom.back() = std::min(bottom.back(), loY);
                pinLo.back() = std::max(pinLo.back(), pl);
                pinHi.back() = std::min(pinHi.back(), ph);
                return;
            }
            x.push_back(xi), top.push_back(hiY), bottom.push_back(loY), pinLo.push_back(pl), pinHi.push_back(ph);
        };
        const double room = 1e-9 * (std::fabs(p.outValue(p.outLow)) + std::fabs(p.outValue(p.outHigh)) + p.outStep);
        if (p.firstY)
            add(x0, -Inf, Inf, p.outValue(*p.firstY) - room, p.outValue(*p.firstY) + room);
        for (size_t k = 0; k < xs.size(); ++k)
            add(xs[k], ys[k], ys[k], -Inf, Inf);
        if (p.lastY)
            add(x1, -Inf, Inf, p.outValue(*p.lastY) - room, p.outValue(*p.lastY) + room);
        sMax = slopeLimit(p, p.minStep);
        step = p.inValue(std::max<long long>(p.minStep, 1));
        width = x.size() > 1 ? (x.back() - x.front()) / double(x.size() - 1) : 1;
        if (!(width > 0))
            width = 1;
    }

    Interval band(size_t i, double e) const
    {
        return {std::max(top[i] - e, pinLo[i]), std::min(bottom[i] + e, pinHi[i])};
    }
    // The lines of `from` moved dx on and kept within the band there, added to pts.
    void carry(const Lines& from, double dx, Interval b)
    {
        if (from.empty())
            return;
        scratch.poly = from.poly;
        for (Point& v : scratch.poly)
            v[0] += v[1] * dx;
        scratch.clip(1, 0, b.hi);
        scratch.clip(-1, 0, -b.lo);
        pts.insert(pts.end(), scratch.poly.begin(), scratch.poly.end());
    }
    // The lines (value at the next row, slope) that cross a line of `source` (hull vertices,
    // at this row) within dx on, in the band there: `rising` those from below it to above it.
    void crossing(const std::vector<Point>& source, double dx, Interval b, bool rising, Lines& out)
    {
        // In (value here, value there) a line N crosses O when N is below O here and above
        // it there (or the reverse): the source's points plus a quadrant, cut at R.
        double reach = 0;
        for (const Point& v : source)
            reach = std::max(reach, std::fabs(v[0]) + std::fabs(v[1]) * dx);
        const double R = 2 * (reach + std::max(std::fabs(b.lo), std::fabs(b.hi)) + 2 * sMax * dx + 1);
        const double sp = rising ? -R : R, sv = rising ? R : -R;
        pts.clear();
        for (const Point& v : source) {
            const double a = v[0], c = v[0] + v[1] * dx;
            for (auto [dp, dv] : {std::pair{0.0, 0.0}, {sp, 0.0}, {0.0, sv}, {sp, sv}})
                pts.push_back({c + dv, ((c + dv) - (a + dp)) / dx});
        }
        convexHull(pts, out.poly);
        out.clip(1, 0, b.hi);
        out.clip(-1, 0, -b.lo);
        out.clip(0, 1, sMax);
        out.clip(0, -1, sMax);
    }

    // Whether tables of at most `links` pieces may reach e (false: proven that none does,
    // unless aborted or cancelled). A piece that began after `start` may end only a minimum
    // step later: until then it is young, and afterwards its lines join the old ones.
    bool decide(double e, int links)
    {
        const size_t n = x.size(), L = size_t(links);
        const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1), tiny = 1e-9 * (std::fabs(x0) + std::fabs(x1) + 1);
        aborted = false;
        old.assign(L + 1, Lines{});
        nold.assign(L + 1, Lines{});
        young.assign(L + 1, {});
        nyoung.assign(L + 1, {});
        const Interval b0 = band(0, e);
        if (b0.empty())
            return false;
        young[1].push_back({x0, {}});
        young[1].back().lines.box(b0.lo, b0.hi, sMax);
        // after[i]: the fewest separate pieces the rows from i on need (split from the end,
        // each piece reaching back as far as it can); a piece at row i that j pieces reach
        // needs j - 1 + after[i] <= links.
        after.assign(n, 0);
        for (size_t k = n, pieces = 0, origin = n; k-- > 0;) {
            const Interval bk = band(k, e);
            if (bk.empty())
                return false;
            if (origin < n) {
                scratch.clip(1, x[k] - x[origin], bk.hi);
                scratch.clip(-1, -(x[k] - x[origin]), -bk.lo);
                capVertices(scratch.poly, 24, width);
            }
            if (origin == n || scratch.empty()) {
                origin = k;
                scratch.box(bk.lo, bk.hi, sMax);
                ++pieces;
            }
            after[k] = int(pieces);
        }
        for (size_t i = 0; i + 1 < n; ++i) {
            if (p.cancelled() || budget <= 0) {
                aborted = budget <= 0;
                return true;
            }
            const double dx = x[i + 1] - x[i];
            const Interval b = band(i + 1, e);
            if (b.empty())
                return false;
            // Pieces that may end between these rows join the old ones.
            for (size_t j = 1; j <= L; ++j) {
                std::vector<Young>& ys = young[j];
                pts.clear();
                for (const Young& y : ys)
                    if (y.start <= x[i + 1] - step + tiny)
                        pts.insert(pts.end(), y.lines.poly.begin(), y.lines.poly.end());
                ys.erase(std::remove_if(ys.begin(), ys.end(), [&](const Young& y) { return y.start <= x[i + 1] - step + tiny; }), ys.end());
                if (!pts.empty()) {
                    pts.insert(pts.end(), old[j].poly.begin(), old[j].poly.end());
                    convexHull(pts, old[j].poly);
                }
            }
            bool any = false;
            for (size_t j = 1; j <= L; ++j) {
                nold[j].poly.clear();
                nyoung[j].clear();
                const bool knot = j >= 2 && !old[j - 1].empty(), twoKnots = j >= 3 && !old[j - 2].empty() && dx >= step - tiny;
                if ((old[j].empty() && young[j].empty() && !knot && !twoKnots) || int(j) - 1 + after[i + 1] > links)
                    continue;
                budget -= 1 + long(young[j].size());
                pts.clear();
                carry(old[j], dx, b);
                convexHull(pts, nold[j].poly);
                capVertices(nold[j].poly, 24, width);
                for (const Young& y : young[j]) {
                    pts.clear();
                    carry(y.lines, dx, b);
                    if (!pts.empty()) {
                        nyoung[j].push_back({y.start, {}});
                        convexHull(pts, nyoung[j].back().lines.poly);
                    }
                }
                if (knot) // one knot between the rows
                    for (bool rising : {true, false}) {
                        nyoung[j].push_back({x[i], {}});
                        crossing(old[j - 1].poly, dx, b, rising, nyoung[j].back().lines);
                    }
                if (twoKnots) { // two knots between the rows: any line
                    nyoung[j].push_back({x[i], {}});
                    nyoung[j].back().lines.box(b.lo, b.hi, sMax);
                }
                std::vector<Young>& ys = nyoung[j];
                ys.erase(std::remove_if(ys.begin(), ys.end(), [](const Young& y) { return y.lines.empty(); }), ys.end());
                // At most a few young sets: the two of the nearest starts become one, from the earlier.
                while (ys.size() > 6) {
                    size_t k = 0;
                    for (size_t m = 1; m + 1 < ys.size(); ++m)
                        if (ys[m + 1].start - ys[m].start < ys[k + 1].start - ys[k].start)
                            k = m;
                    pts = ys[k].lines.poly;
                    pts.insert(pts.end(), ys[k + 1].lines.poly.begin(), ys[k + 1].lines.poly.end());
                    convexHull(pts, ys[k].lines.poly);
                    ys.erase(ys.begin() + long(k) + 1);
                }
                for (Young& y : ys)
                    capVertices(y.lines.poly, 24, width);
                any = any || !nold[j].empty() || !ys.empty();
            }
            if (!any)
                return false;
            old.swap(nold), young.swap(nyoung);
        }
        // The last piece ends at the last input, a minimum step after it began at the least.
        for (size_t j = 1; j <= L; ++j) {
            if (!old[j].empty())
                return true;
            for (const Young& y : young[j])
                if (y.start <= x1 - step + tiny)
                    return true;
        }
        return false;
    }
};


// The rows the bound on joined pieces follows: at most JoinedRows spread as for a search, and
// near each end, where the minimum step binds most, up to EndRows of those within four steps.
void joinedRows(const Problem& p, std::vector<double>& xs, std::vector<double>& ys)
{
    const std::vector<double> xc = clampedInputs(p);
    reducedRows(p, xc, JoinedRows, xs, ys);
    addRowsAtSameInput(p, xc, xs, ys);
    if (xs.size() == xc.size())
        return;
    const double near = 4 * p.inValue(std::max<long long>(p.minStep, 1));
    const double lo = p.inValue(p.x0) + near, hi = p.inValue(p.x1) - near;
    const size_t first = size_t(std::upper_bound(xc.begin(), xc.end(), lo) - xc.begin());
    const size_t last = size_t(std::lower_bound(xc.begin(), xc.end(), hi) - xc.begin());
    std::vector<std::pair<double, double>> rows;
    for (size_t k = 0; k < xs.size(); ++k)
        rows.push_back({xs[k], ys[k]});
    for (auto [from, to] : {std::pair{size_t(0), std::min(first, last)}, std::pair{std::max(first, last), xc.size()}}) {
        const size_t every = std::max<size_t>(1, (to - from) / EndRows);
        for (size_t k = from; k < to; k += every)
            rows.push_back({xc[k], p.y[k]});
    }
    sortUnique(rows);
    xs.clear(), ys.clear();
    for (auto [x, y] : rows)
        xs.push_back(x), ys.push_back(y);
}

} // namespace

// Raises lo, an error no table reaches, by bisection towards hi, one that some table reaches,
// to `relative` of hi: a failed decision proves that no table reaches its error (tried a hair
// higher: the line sets are held a hair narrower than exact). Stops when the search gives up,
// and below `relative` of the first hi (where every decision holds, the bound stays lo).
template<class Search>
double provenBelow(Search& search, const Problem& p, int links, double lo, double hi, double relative)
{
    const double least = relative * hi;
    while (hi - lo > relative * hi && hi > least && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        const bool reached = search.decide(mid * (1 + 1e-6), links);
        if (search.aborted)
            break;
        (reached ? hi : lo) = mid;
    }
    return lo;
}

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
    markRuns(xc, p.y, size_t(begin - xc.begin()), size_t(end - xc.begin()), StepRuns, keep);
    keptRows(p, xc, keep, xs, ys);
    q = p;
    std::vector<double>().swap(q.x); // (the search holds its own rows)
    std::vector<double>().swap(q.y);
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
constexpr size_t StepRises = 2;
constexpr long long StepWork = 2000000;
double stepBound(const Problem& p, double lo, double known)
{
    if (p.minStep <= 1 || !(known > lo))
        return lo;
    const std::vector<double> xc = clampedInputs(p);
    std::vector<std::pair<double, size_t>> rises;
    for (size_t k = 0; k + 1 < xc.size(); ++k)
        if (xc[k + 1] > xc[k] && p.inIndex(xc[k + 1]) - p.inIndex(xc[k]) < p.minStep)
            rises.push_back({std::fabs(p.y[k + 1] - p.y[k]), k});
    const size_t count = std::min(rises.size(), StepRises);
    std::partial_sort(rises.begin(), rises.begin() + long(count), rises.end(), std::greater<>());
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
// most WindowRises; bisected from `lo` up to `known` within WindowWork visits in all.
constexpr size_t WindowRises = 24;
constexpr long long WindowSteps = 5; // a window reaches this many minimum steps beyond its rise
constexpr long long WindowWork = 12000000, WindowInputs = 4000;
double windowsBound(const Problem& p, int points, double lo, double known)
{
    if (p.minStep <= 1 || !(known > lo) || points < 3)
        return lo;
    const std::vector<double> xc = clampedInputs(p);
    std::vector<std::pair<double, size_t>> rises;
    for (size_t k = 0; k + 1 < xc.size(); ++k)
        if (xc[k + 1] > xc[k] && p.inIndex(xc[k + 1]) - p.inIndex(xc[k]) < p.minStep && std::fabs(p.y[k + 1] - p.y[k]) > known)
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
    return provenBelow(count, p, points - 1, lo, known, 1e-2);
}

// Three points, one knot between the ends: a table reaches e when the lines of its first
// piece (from the first input, within e of the rows up to the knot) and of its last (from
// the last input, the rows from the knot on) hold a common value at the knot. Exact for
// knots on the grid and display values before rounding, on the rows given; bisected from
// `lo` up to `known`. On input ranges of more than ThreeKnots grid units, lo as it is.
constexpr long long ThreeKnots = 200000;
double threePointBound(const Problem& p, const std::vector<double>& xs, const std::vector<double>& ys, double lo, double known)
{
    const long long from = p.x0 + std::max<long long>(p.minStep, 1), to = p.x1 - std::max<long long>(p.minStep, 1);
    if (to < from || to - from > ThreeKnots || xs.empty())
        return lo;
    const size_t n = xs.size(), knots = size_t(to - from + 1);
    const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1), sMax = slopeLimit(p, p.minStep);
    const Interval range = displayRange(p), first = firstValues(p), last = lastValues(p);
    std::vector<Interval> fromEnd(knots);
    Lines lines;
    lines.grow = true;
    // Whether some table may reach e (false: none does). The lines are held a hair wide of
    // e (their sets are simplified a hair narrower than exact).
    auto reaches = [&](double e) {
        const double ee = slack(p, e) * (1 + 2e-4);
        lines.box(last.lo, last.hi, sMax);
        size_t r = n;
        for (long long q = to; q >= from; --q) {
            const double xq = p.inValue(q);
            for (; r > 0 && xs[r - 1] >= xq && !lines.empty(); --r) // (a row at the knot is in both pieces; one past it in the last only)
                lines.row(xs[r - 1] - x1, ys[r - 1], ee);
            const auto [a, b] = lines.empty() ? std::pair{Inf, -Inf} : lines.valuesAt(xq - x1);
            fromEnd[size_t(q - from)] = {std::max(a, range.lo), std::min(b, range.hi)};
        }
        lines.box(first.lo, first.hi, sMax);
        r = 0;
        for (long long q = p.x0; q <= to && !p.cancelled(); ++q) {
            const double xq = p.inValue(q);
            for (; r < n && xs[r] <= xq && !lines.empty(); ++r)
                lines.row(xs[r] - x0, ys[r], ee);
            if (lines.empty())
                return false;
            if (q < from)
                continue;
            const auto [a, b] = lines.valuesAt(xq - x0);
            const Interval& back = fromEnd[size_t(q - from)];
            if (std::max(a, back.lo) <= std::min(b, back.hi))
                return true;
        }
        return p.cancelled();
    };
    double hi = known;
    while (hi - lo > 1e-4 * hi && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        (reaches(mid) ? hi : lo) = mid;
    }
    return lo;
}

// The chart between rows as rows of its own, at the grid inputs inside each gap between rows
// (every stride-th when there are more than `most`): a table within e of the chart is within
// e of them, and with every grid input the rows bound tables with knots on the grid exactly.
Problem chartRows(const Problem& p, long long most)
{
    long long inside = 0;
    for (size_t k = 0; k + 1 < p.x.size(); ++k)
        if (p.x[k + 1] > p.x[k])
            inside += std::max(0LL, gridBelow(p, std::min(p.x[k + 1], p.inValue(p.x1))) - gridBelow(p, std::max(p.x[k], p.inValue(p.x0))) - 1);
    if (inside == 0 || p.knotsOnRows) // (a curve's samples: its knots lie on them)
        return p;
    const long long stride = inside / std::max(most, 1LL) + 1;
    Problem d = p;
    d.x.clear();
    d.y.clear();
    for (size_t k = 0; k < p.x.size(); ++k) {
        d.x.push_back(p.x[k]);
        d.y.push_back(p.y[k]);
        if (k + 1 == p.x.size() || !(p.x[k + 1] > p.x[k]))
            continue;
        const long long from = gridAtOrAbove(p, std::max(p.x[k], p.inValue(p.x0))), to = gridBelow(p, std::min(p.x[k + 1], p.inValue(p.x1)));
        for (long long q = from + (from - p.x0) % stride; q <= to; q += stride)
            if (const double v = p.inValue(q); v > p.x[k] && v < p.x[k + 1]) {
                d.x.push_back(v);
                d.y.push_back(chartBetween(p, v));
            }
    }
    return d;
}

double lowerBound(const Problem& p, int points, double known)
{
    if (p.x.size() < 2 || points < 2)
        return 0;
    // Separate pieces on the chart's rows and its values between them (leaving rows out only
    // lowers the bound), at most LongRows.
    Problem dense = chartRows(p, 60000);
    if (dense.x.size() > LongRows)
        reducedRows(dense, clampedInputs(dense), LongRows, dense.x, dense.y);
    const std::vector<double> denseInputs = clampedInputs(dense);
    double lo = 0, hi = dataSpan(p) / 2 + p.outStep;
    while (hi - lo > 1e-5 * hi && hi - lo > tolerance(p, 1e-9) && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        (separatePieces(dense, denseInputs, mid) > points - 1 ? lo : hi) = mid;
    }
    // Joined pieces: a bisection between the separate pieces' bound and the known error, on
    // at most LongRows rows, the chart's values at the knots.
    Problem q = p;
    if (p.x.size() > LongRows)
        reducedRows(p, clampedInputs(p), LongRows, q.x, q.y);
    Bound bound(q, points, &p);
    hi = known > lo ? known : 0;
    for (int i = 0; i < 10 && hi > lo * (1 + 1e-4) && !p.cancelled(); ++i) {
        const double mid = lo + (hi - lo) / 2;
        if (bound.rulesOut(mid))
            lo = mid;
        else if (bound.joined.aborted)
            break;
        else
            hi = mid;
    }
    // Joined pieces with knots anywhere: a bisection up to the known error, on at most
    // JoinedRows rows, within a bounded amount of work.
    if (known > lo && !p.cancelled()) {
        std::vector<double> xs, ys;
        joinedRows(dense, xs, ys);
        JoinedBound joined(p, xs, ys, JoinedWork);
        lo = provenBelow(joined, p, points - 1, lo, known, 5e-4);
    }
    if (points == 3 && known > lo && !p.cancelled()) // the rows of the separate pieces, the rows at one input too
        lo = threePointBound(p, denseInputs, dense.y, lo, known);
    lo = stepBound(p, lo, known);
    lo = windowsBound(p, points, lo, known);
    return p.cancelled() ? 0 : lo;
}

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
    if (Bound(p, maxPoints).rulesOut(e))
        return 0;
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
        int fails = 1, reaches = maxPoints;
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
        if (Bound(p, fewer).rulesOut(e))
            break;
        Table t = freeLeast(p, fewer);
        if (!meets(t))
            break;
        best = std::move(t);
    }
    return best;
}

} // namespace Fitting::Engine
