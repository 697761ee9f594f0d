#include "fitting/engine/ThreePointBound.h"
#include "fitting/engine/Lines.h"

namespace Fitting::Engine {

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


} // namespace Fitting::Engine
