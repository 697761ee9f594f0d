#include "fitting/engine/Lines.h"

namespace Fitting::Engine {

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


} // namespace Fitting::Engine
