#include "fitting/engine/JoinedBound.h"
#include "fitting/engine/Lines.h"
#include "fitting/engine/KnotSearch.h"
#include "fitting/engine/Proof.h"

namespace Fitting::Engine {

namespace {

constexpr size_t JoinedRows = 600;    // rows the bound on joined pieces follows
constexpr long long JoinedWork = 120000; // row and piece visits of that bound, over its bisection
constexpr size_t EndRows = 100;       // rows near each end it follows besides

// ---- The bound on joined pieces: a dynamic program over the rows and the pieces used.
// State: the lines (value at the row, slope) the current piece may be, per count of pieces
// used. Between two rows a piece may end at one knot, where the next line crosses it (their
// difference changes sign between the rows), or at two or more (the next piece is then any
// line), each piece at least a minimum step long. Knots anywhere, slopes within what the
// display range allows over a minimum step, the hull of a union for the union: each step
// keeps a superset of what tables can do, so a failure proves that none reaches e.
using Point = Lines::Vertex;

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

double joinedBound(const Problem& p, const Problem& rows, int points, double lo, double known)
{
    std::vector<double> xs, ys;
    joinedRows(rows, xs, ys);
    JoinedBound joined(p, xs, ys, JoinedWork);
    return provenBelow(joined, p, points - 1, lo, known, 5e-4, 5e-4);
}

} // namespace Fitting::Engine
