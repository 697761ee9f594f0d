#include "fitting/FitEngine.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>

namespace Fitting::Engine {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

long long roundHalfAway(double v)
{
    return v < 0 ? -static_cast<long long>(std::floor(-v + 0.5)) : static_cast<long long>(std::floor(v + 0.5));
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

// A small tolerance on errors so that a bound met exactly is met in floating point too.
double slack(const Problem& p, double e)
{
    double scale = p.outStep;
    for (double v : {p.outValue(p.outLow), p.outValue(p.outHigh)})
        scale = std::max(scale, std::fabs(v));
    return e + 1e-12 * scale;
}

// ---- The convex set of lines (value v at the segment's start, slope s) within the tube.
constexpr double SimplifyTolerance = 1e-6;
constexpr size_t SimplifyAbove = 16;
struct Lines {
    using Vertex = std::array<double, 2>; // v, s
    std::vector<Vertex> poly, scratch;

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
        bool cuts = false;
        for (size_t i = 0; i < n && !cuts; ++i)
            cuts = a * poly[i][0] + b * poly[i][1] - c > 0;
        if (!cuts)
            return;
        scratch.clear();
        for (size_t i = 0; i < n; ++i) {
            const Vertex& P = poly[i];
            const Vertex& Q = poly[(i + 1) % n];
            const double fp = a * P[0] + b * P[1] - c;
            const double fq = a * Q[0] + b * Q[1] - c;
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
        if (poly.size() > simplifyAbove) {
            // a large set (a long piece of a smooth source) is held to fewer vertices
            simplify(d, SimplifyTolerance * e * (poly.size() > 4 * SimplifyAbove ? 100 : 1));
            // Arcs keep many vertices within the tolerance: simplify again only once the
            // set has grown well past what this pass left.
            simplifyAbove = std::max(SimplifyAbove, 2 * poly.size());
        }
    }
    size_t simplifyAbove = SimplifyAbove;

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
    }

    // Fewest chords from the first node to the last, each within e of every row it covers
    // and rising by at least the minimum step; at most maxChords. -1 when there is no such path.
    int fewest(double e, int maxChords)
    {
        const int n = int(p.x.size());
        const int last = n - 1;
        const double ee = slack(p, e);
        dist.assign(n, INT_MAX);
        parent.assign(n, -1);
        dist[0] = 0;
        for (int i = 0; i < last; ++i) {
            if (dist[i] >= maxChords || dist[i] + 1 >= dist[last])
                continue;
            if ((i & 255) == 0 && p.cancelled())
                return -1;
            const double xi = Xv[i], yi = Yv[i];
            double lo = -Inf, hi = Inf;
            int k = firstRow[i];
            bool dead = false;
            for (int j = i + 1; j < n; ++j) {
                const double xj = Xv[j];
                for (; k < n && xc[k] <= xj; ++k) {
                    const double d = xc[k] - xi;
                    if (d <= 0) {
                        if (std::fabs(p.y[k] - yi) > ee) {
                            dead = true;
                            break;
                        }
                    } else {
                        lo = std::max(lo, (p.y[k] - ee - yi) / d);
                        hi = std::min(hi, (p.y[k] + ee - yi) / d);
                    }
                }
                if (dead || lo > hi)
                    break;
                if (X[j] - X[i] >= p.minStep) {
                    const double s = (Yv[j] - yi) / (xj - xi);
                    if (s >= lo && s <= hi && dist[i] + 1 < dist[j]) {
                        dist[j] = dist[i] + 1;
                        parent[j] = i;
                    }
                }
            }
        }
        return dist[last] == INT_MAX ? -1 : dist[last];
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
        double e = 0;
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
        return table(nodes);
    }
};

// ---- Free placement.

struct Interval {
    double lo = 0, hi = 0;
    bool empty() const { return lo > hi; }
};

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
    pieces.push_back({p.x0, range, 0, false, {}, 0, LLONG_MAX, 0});
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
        if (widest < 2 * p.minStep)
            break;
        knots.insert(knots.begin() + long(best) + 1, knots[best] + widest / 2);
    }
    return knots;
}

// Display values for fixed inputs.
struct Fixed {
    const Problem& p;
    std::vector<double> xc;
    std::vector<long long> knots;
    std::vector<double> kv;
    std::vector<int> begin, end; // rows of each piece
    std::vector<Interval> reach; // values each point can take, found forwards
    double sMax = 0;

    Fixed(const Problem& problem, std::vector<double> clamped, std::vector<long long> k)
        : p(problem), xc(std::move(clamped)), knots(std::move(k))
    {
        for (long long q : knots)
            kv.push_back(p.inValue(q));
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            begin.push_back(int(std::lower_bound(xc.begin(), xc.end(), kv[t]) - xc.begin()));
            end.push_back(int(std::upper_bound(xc.begin(), xc.end(), kv[t + 1]) - xc.begin()));
        }
        long long narrowest = LLONG_MAX;
        for (size_t t = 0; t + 1 < knots.size(); ++t)
            narrowest = std::min(narrowest, knots[t + 1] - knots[t]);
        sMax = slopeLimit(p, narrowest);
    }

    bool forward(double e)
    {
        const double ee = slack(p, e);
        const Interval range{p.outValue(p.outLow), p.outValue(p.outHigh)};
        reach.assign(knots.size(), range);
        Lines lines;
        for (size_t t = 0; t + 1 < knots.size(); ++t) {
            lines.box(reach[t].lo, reach[t].hi, sMax);
            for (int k = begin[t]; k < end[t] && !lines.empty(); ++k)
                lines.row(xc[k] - kv[t], p.y[k], ee);
            if (lines.empty())
                return false;
            auto [lo, hi] = lines.valuesAt(kv[t + 1] - kv[t]);
            reach[t + 1] = {std::max(lo, range.lo), std::min(hi, range.hi)};
            if (reach[t + 1].empty())
                return false;
        }
        return true;
    }

    long long nearestIn(const Interval& iv) const
    {
        const double mid = (iv.lo + iv.hi) / 2;
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
            for (int k = begin[s]; k < end[s]; ++k) {
                const double lam = (xc[k] - kv[s]) / w;
                if (lam >= 1)
                    continue;
                const double a = 1 - lam;
                iv.lo = std::max(iv.lo, (p.y[k] - ee - u * lam) / a);
                iv.hi = std::min(iv.hi, (p.y[k] + ee - u * lam) / a);
            }
            t.y[s] = nearestIn(iv);
        }
        return t;
    }

    double pieceError(const Table& t, size_t s) const
    {
        const double v0 = p.outValue(t.y[s]), v1 = p.outValue(t.y[s + 1]);
        const double w = kv[s + 1] - kv[s];
        double e = 0;
        for (int k = begin[s]; k < end[s]; ++k)
            e = std::max(e, std::fabs(v0 + (v1 - v0) * ((xc[k] - kv[s]) / w) - p.y[k]));
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
            for (size_t i = 0; i <= m; ++i) {
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

double rowError(const Problem& p, const Table& t, double* at)
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
    if (at)
        *at = where;
    return std::max(worst, 0.0);
}

Table onDataLeast(const Problem& p, int points)
{
    if (p.x.size() < 2 || points < 2)
        return {};
    Chords chords(p);
    const int maxChords = points - 1;
    // Bracket the least error from below by doubling: a search at an error well below it
    // ends after a few short chords, while one far above it follows chords across the
    // whole table.
    const double tol = tolerance(p, p.precision);
    const double ceiling = 4 * (dataSpan(p) + p.outStep);
    double lo = 0, hi = tol;
    while (hi < ceiling && chords.fewest(hi, maxChords) < 0) {
        if (p.cancelled())
            return {};
        lo = hi;
        hi *= 2;
    }
    if (hi >= ceiling && chords.fewest(Inf, maxChords) < 0)
        return {};
    std::vector<int> best = chords.pathNodes();
    double bestError = rowError(p, chords.table(best));
    hi = std::min(hi, bestError);
    while (hi - lo > tol) {
        if (p.cancelled())
            return {};
        const double mid = lo + (hi - lo) / 2;
        if (chords.fewest(mid, maxChords) >= 0) {
            std::vector<int> nodes = chords.pathNodes();
            const double e = rowError(p, chords.table(nodes));
            if (e < bestError) {
                bestError = e;
                best = std::move(nodes);
            }
            hi = std::min(mid, e);
        } else {
            lo = mid;
        }
    }
    return chords.padded(best, points, bestError);
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

Table fixedInputs(const Problem& p, const std::vector<long long>& knots)
{
    Fixed fixed(p, clampedInputs(p), knots);
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
    double hi = rowError(p, start) + p.outStep, lo = 0;
    if (!fixed.forward(hi))
        return start;
    const double tol = tolerance(p, 1e-10);
    for (int i = 0; i < 200 && hi - lo > tol; ++i) {
        const double mid = lo + (hi - lo) / 2;
        (fixed.forward(mid) ? hi : lo) = mid;
    }
    Table best = start;
    double bestError = rowError(p, start);
    for (int j = 0; j <= 4; ++j) {
        const double e = hi + j * p.outStep / 4;
        if (!fixed.forward(e))
            continue;
        Table t = fixed.backward(e);
        fixed.polish(t);
        const double err = rowError(p, t);
        if (err < bestError) {
            bestError = err;
            best = t;
        }
    }
    return best;
}

namespace {

// The inputs of the joined pieces that the greedy split finds at the least error it can reach.
std::vector<long long> greedyKnots(const Problem& p, int points)
{
    const std::vector<double> xc = clampedInputs(p);
    // Bracket from below by doubling: a split at an error well below the least one fails
    // after a few short pieces. The display range can keep even a flat line from the
    // middle, so the doubling goes on past the data's span.
    double lo = 0, hi = tolerance(p, 1e-7);
    std::vector<long long> knots = greedy(p, xc, hi, points - 1, true, p.minStep);
    while (knots.empty()) {
        if (p.cancelled() || hi > 1e6 * (dataSpan(p) + p.outStep) + 1e12)
            return {};
        lo = hi;
        hi *= 2;
        knots = greedy(p, xc, hi, points - 1, true, p.minStep);
    }
    const double tol = tolerance(p, 1e-7);
    while (hi - lo > tol && hi - lo > 1e-4 * hi) {
        if (p.cancelled())
            return {};
        const double mid = lo + (hi - lo) / 2;
        std::vector<long long> k = greedy(p, xc, mid, points - 1, true, p.minStep);
        if (k.empty()) {
            lo = mid;
        } else {
            hi = mid;
            knots = std::move(k);
        }
    }
    return padKnots(p, knots, points);
}

} // namespace

namespace {

// Moves single inputs while that lets the display values reach a lower error: each knot
// in turn, by steps that halve from a quarter of its pieces' width down to one grid unit.
// A move is tried with one forward pass at the error to beat; a move that passes is kept
// and its error found by bisection. Bounded to about `passes` forward passes.
std::vector<long long> refineKnots(const Problem& p, std::vector<long long> knots, long long passes)
{
    if (passes < 100) // finding the first error alone takes about 30
        return knots;
    const std::vector<double> xc = clampedInputs(p);
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
                    k[i] += dir * step;
                    if (k[i] - k[i - 1] < p.minStep || k[i + 1] - k[i] < p.minStep)
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

} // namespace

Table freeLeast(const Problem& p, int points)
{
    if (p.x.size() < 2 || points < 2 || p.x1 - p.x0 < p.minStep)
        return {};
    points = int(std::min<long long>(points, (p.x1 - p.x0) / p.minStep + 1)); // as many as the step rule lets in
    const std::vector<long long> knots = greedyKnots(p, points);
    if (!knots.empty()) // up to 2000 passes on short data, none past 50,000 rows
        return fixedInputs(p, refineKnots(p, knots, std::clamp<long long>(5000000 / long(p.x.size()), 20, 2000)));
    // The greedy split found no inputs that keep the step rule: start from the rows the
    // exact search on the data picks, which does whenever any rows do.
    const Table onRows = onDataLeast(p, points);
    return onRows.empty() ? Table{} : fixedInputs(p, onRows.x);
}

Table freeFewest(const Problem& p, double e, int maxPoints)
{
    if (p.x.size() < 2 || maxPoints < 2)
        return {};
    auto meets = [&](const Table& t) { return !t.empty() && rowError(p, t) <= e; };
    // The greedy split at e gives a count; the least-error tables of that many points and
    // fewer, whose display values are re-optimised, may reach e with fewer still.
    const std::vector<long long> knots = greedy(p, clampedInputs(p), e, maxPoints - 1, true, p.minStep);
    Table best;
    int points = maxPoints;
    if (!knots.empty()) {
        points = int(knots.size());
        best = fixedInputs(p, knots);
        if (!meets(best)) // rounding took it over
            best = {};
    }
    for (; !meets(best) && points <= maxPoints; ++points) {
        if (p.cancelled())
            return {};
        best = freeLeast(p, points);
    }
    if (!meets(best))
        return {};
    for (int fewer = int(best.x.size()) - 1; fewer >= 2 && !p.cancelled(); --fewer) {
        Table t = freeLeast(p, fewer);
        if (!meets(t))
            break;
        best = std::move(t);
    }
    return best;
}

double lowerBound(const Problem& p, int points)
{
    if (p.x.size() < 2 || points < 2)
        return 0;
    const std::vector<double> xc = clampedInputs(p);
    double lo = 0, hi = dataSpan(p) / 2 + p.outStep;
    const double tol = tolerance(p, 1e-9);
    while (hi - lo > tol) {
        const double mid = lo + (hi - lo) / 2;
        (greedy(p, xc, mid, points - 1, false, 1).empty() ? lo : hi) = mid;
    }
    return lo;
}

} // namespace Fitting::Engine
