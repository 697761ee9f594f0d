#pragma once
// The convex set of lines (value at a piece's start, slope) that stay within a band of rows:
// what every search sweeps. Held small by dropping lines within a hair of its edge (a search),
// or by growing it (a bound: a superset of the lines within the band).
#include <array>
#include <vector>

#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// Convex hull of the points (counter-clockwise, monotone chain); the points are reordered.
void convexHull(std::vector<std::array<double, 2>>& pts, std::vector<std::array<double, 2>>& out);
// Holds a convex polygon (counter-clockwise) to at most `cap` vertices by growing it (slopes
// scaled by w).
void capVertices(std::vector<std::array<double, 2>>& poly, size_t cap, double w);

// ---- The convex set of lines (value v at the segment's start, slope s) within the tube.
constexpr double SimplifyTolerance = 1e-6;
constexpr size_t GrowAbove = 16, GrowTo = 10;
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
        if (cuts)
            cut();
    }
    // Keeps the vertices with side <= 0 and the edges' crossings of 0 (side: one per vertex).
    void cut()
    {
        const size_t n = poly.size();
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
    // (each line's value at d found once, both sides cut in one pass: most rows cut both)
    void row(double d, double y, double e)
    {
        if (poly.empty())
            return;
        const size_t n = poly.size();
        side.resize(n + 1);
        double hi = -Inf, lo = Inf;
        for (size_t i = 0; i < n; ++i) {
            const double v = poly[i][0] + d * poly[i][1];
            side[i] = v;
            hi = std::max(hi, v);
            lo = std::min(lo, v);
        }
        const double top = y + e, bottom = y - e;
        if (hi - top > 0 || bottom - lo > 0)
            slab(bottom, top);
        keepSmall(d, e);
    }
    // Keeps the vertices with bottom <= side <= top and the edges' crossings of either
    // (side: one value per vertex).
    void slab(double bottom, double top)
    {
        const size_t n = poly.size();
        side[n] = side[0];
        scratch.clear();
        auto at = [&](const Vertex& P, const Vertex& Q, double fp, double fq, double level) {
            const double t = (fp - level) / (fp - fq);
            scratch.push_back({P[0] + t * (Q[0] - P[0]), P[1] + t * (Q[1] - P[1])});
        };
        for (size_t i = 0; i < n; ++i) {
            const Vertex& P = poly[i];
            const Vertex& Q = poly[i + 1 < n ? i + 1 : 0];
            const double fp = side[i], fq = side[i + 1];
            const bool pUp = fp > top, pDown = fp < bottom, qUp = fq > top, qDown = fq < bottom;
            if (!pUp && !pDown)
                scratch.push_back(P);
            // the crossings along P to Q, in that order
            if (pUp != qUp && !pDown && !qDown) {
                at(P, Q, fp, fq, top);
            } else if (pDown != qDown && !pUp && !qUp) {
                at(P, Q, fp, fq, bottom);
            } else if (pUp && qDown) {
                at(P, Q, fp, fq, top);
                at(P, Q, fp, fq, bottom);
            } else if (pDown && qUp) {
                at(P, Q, fp, fq, bottom);
                at(P, Q, fp, fq, top);
            }
        }
        poly.swap(scratch);
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


} // namespace Fitting::Engine
