#pragma once
// Three points: the one knot tried at every input of the grid, exact before rounding.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

double threePointBound(const Problem& p, const std::vector<double>& xs, const std::vector<double>& ys, double lo, double known);

} // namespace Fitting::Engine
