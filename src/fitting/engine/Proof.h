#pragma once
// The bisection by which a bound's decisions become a proven lower bound.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// Raises lo, an error no table reaches, by bisection towards hi, one that some table reaches,
// to `relative` of hi: a failed decision proves that no table reaches its error (tried a hair
// higher: the line sets are held a hair narrower than exact). Stops when the search gives up,
// and below `relative` of the first hi (where every decision holds, the bound stays lo).
// With `first`, the first decision lies that share of hi above lo: where a table reaches it,
// so it does every error above, the bisection could gain less than that, and one decision
// settles it (a bound that cannot help costs one decision).
template<class Search>
double provenBelow(Search& search, const Problem& p, int links, double lo, double hi, double relative, double first = 0)
{
    const double least = relative * hi;
    if (first > 0 && hi - lo > 2 * first * hi && !p.cancelled()) {
        const double near = lo + first * hi;
        const bool reached = search.decide(near * (1 + 1e-6), links);
        if (reached || search.aborted)
            return lo;
        lo = near;
    }
    while (hi - lo > relative * hi && hi > least && !p.cancelled()) {
        const double mid = lo + (hi - lo) / 2;
        const bool reached = search.decide(mid * (1 + 1e-6), links);
        if (search.aborted)
            break;
        (reached ? hi : lo) = mid;
    }
    return lo;
}


} // namespace Fitting::Engine
