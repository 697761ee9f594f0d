#pragma once
// The fewest joined pieces within e of the chart with knots anywhere, by windows: the pieces
// after the k-th are the lines that cross the farthest-reaching k-th piece on its way, so one
// sweep a piece decides the fewest (no minimum step, no display grid, each set of lines grown
// to a few vertices: a relaxation of the meter's tables, so its bisection is a lower bound on
// any table's error).
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// The fewest joined pieces of any table from the first input to the last within e of the
// chart read between its rows (the ends pinned as the problem says), counting up to most + 1
// (more than most, or none at all, gives most + 1).
int fewestLinks(const Problem& p, double e, int most);

// lo raised towards known (an error some table reaches) as far as fewestLinks proves, to
// 1e-4 of known (1e-3 beyond 20,000 rows); lo unchanged on charts of more than LinkRows rows.
double linkBound(const Problem& p, int points, double lo, double known);

constexpr size_t LinkRows = 400000;

} // namespace Fitting::Engine
