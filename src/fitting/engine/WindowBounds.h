#pragma once
// Bounds from windows of the chart: near its ends and its steepest rises (stepBound), and the
// knots that rises steeper than the minimum step allows cost over disjoint windows
// (windowsBound). A window's edge is no knot of the table: its pieces there may be short.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

double stepBound(const Problem& p, double lo, double known);
double windowsBound(const Problem& p, int points, double lo, double known);

} // namespace Fitting::Engine
