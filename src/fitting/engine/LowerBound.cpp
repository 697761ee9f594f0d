// The lower bound (lowerBound in FitEngine.h): the largest of the bounds of this folder, each
// a proof that no table of so many points reaches less on the chart read between its rows.
#include "fitting/engine/CandidateBound.h"
#include "fitting/engine/GridBound.h"
#include "fitting/engine/JoinedBound.h"
#include "fitting/engine/LinkBound.h"
#include "fitting/engine/ThreePointBound.h"
#include "fitting/engine/WindowBounds.h"

namespace Fitting::Engine {

// The chart between rows as rows of its own, at the grid inputs inside each gap between rows
// (every stride-th when there are more than `most`): a table within e of the chart is within
// e of them, and with every grid input the rows bound tables with knots on the grid exactly.
namespace {
Problem chartRows(const Problem& p, long long most)
{
    long long inside = 0;
    for (size_t k = 0; k + 1 < p.x.size() && !(k % 65536 == 0 && p.cancelled()); ++k)
        if (p.x[k + 1] > p.x[k])
            inside += std::max(0LL, gridBelow(p, std::min(p.x[k + 1], p.inValue(p.x1))) - gridBelow(p, std::max(p.x[k], p.inValue(p.x0))) - 1);
    if (inside == 0 || p.knotsOnRows || p.cancelled()) // (a curve's samples: its knots lie on them)
        return p;
    const long long stride = inside / std::max(most, 1LL) + 1;
    Problem d = p;
    d.x.clear();
    d.y.clear();
    for (size_t k = 0; k < p.x.size() && !(k % 65536 == 0 && p.cancelled()); ++k) {
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
} // namespace

constexpr double CloseEnough = 1e-2;

double lowerBound(const Problem& p, int points, double known)
{
    if (p.x.size() < 2 || points < 2)
        return 0;
    // Separate pieces on the chart's rows and its values between them (leaving rows out only
    // lowers the bound), at most LongRows.
    Problem dense = chartRows(p, 60000);
    if (p.cancelled())
        return 0;
    if (dense.x.size() > LongRows) {
        std::vector<double> xs, ys; // (the rows it reads are the ones it replaces)
        reducedRows(dense, clampedInputs(dense), LongRows, xs, ys);
        dense.x.swap(xs);
        dense.y.swap(ys);
    }
    const std::vector<double> denseInputs = clampedInputs(dense);
    // (up to the known error, which a table's pieces reach)
    double lo = 0, hi = known > 0 ? known * (1 + 1e-9) + tolerance(p, 1e-9) : dataSpan(p) / 2 + p.outStep;
    while (hi - lo > 1e-5 * hi && hi - lo > tolerance(p, 1e-9) && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        (separatePieces(dense, denseInputs, mid) > points - 1 ? lo : hi) = mid;
    }
    // Joined pieces with knots anywhere, no minimum step: the fewest by windows, exact.
    lo = linkBound(p, points, lo, known);
    // The search over the meter's grids just below the known error, on a core of its own meanwhile.
    std::future<double> grid = alongside([&p, points, lo, known] { return gridBound(p, points, lo, known, GridRows, GridTries::Near); });
    // Joined pieces: a bisection between that bound and the known error, on at most LongRows
    // rows, the chart's values at the knots.
    if (p.cancelled())
        return 0;
    Problem q = p.x.size() > LongRows ? withoutRows(p) : p;
    if (p.x.size() > LongRows)
        reducedRows(p, clampedInputs(p), LongRows, q.x, q.y);
    Bound bound(q, points, &p);
    hi = known > lo ? known : 0;
    if (hi > lo * (1 + 2e-4) && !p.cancelled()) { // first a hair above lo: where no proof holds there, none does above
        if (const double near = lo * (1 + 1e-4); bound.rulesOut(near))
            lo = near;
        else
            hi = 0;
    }
    for (int i = 0; i < 10 && hi > lo * (1 + 1e-4) && !p.cancelled(); ++i) {
        const double mid = lo + (hi - lo) / 2;
        if (bound.rulesOut(mid))
            lo = mid;
        else if (bound.joined.aborted)
            break;
        else
            hi = mid;
    }
    // The costlier bounds below go on while the bound is more than 1 % under the known error
    // (the table is near the best once it is within that).
    auto farBelow = [&] { return known * (1 - CloseEnough) > lo && !p.cancelled(); };
    // Joined pieces with knots anywhere: a bisection up to the known error, on at most
    // JoinedRows rows, within a bounded amount of work.
    if (farBelow())
        lo = joinedBound(p, dense, points, lo, known);
    if (points == 3 && known > lo && !p.cancelled()) // the rows of the separate pieces, the rows at one input too
        lo = threePointBound(p, denseInputs, dense.y, lo, known);
    lo = stepBound(p, lo, known);
    if (farBelow())
        lo = windowsBound(p, points, lo, known);
    // where it proves nothing there, a bisection below it from the others' bound
    if (const double g = grid.get(); g > lo)
        lo = g;
    else if (farBelow())
        lo = gridBound(p, points, lo, known, GridRows, GridTries::Below);
    return p.cancelled() ? 0 : lo;
}


} // namespace Fitting::Engine
