#include "fitting/engine/FixedInputs.h"

namespace Fitting::Engine {

Table fixedInputs(const Problem& p, const std::vector<long long>& knots, double below)
{
    return fixedInputsWith(p, clampedInputs(p), knots, below, nullptr);
}

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
    if (p.cancelled()) // (a table all the same: its callers measure it)
        return start;
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
    for (int j = 0; j <= 4 && !p.cancelled(); ++j) { // (each try reads every row)
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

} // namespace Fitting::Engine
