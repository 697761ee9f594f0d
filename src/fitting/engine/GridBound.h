#pragma once
// The bound on the meter's own grids: every input of the grid a possible knot, every display
// value of the grid within the error of the chart there a possible value, each piece at least
// the minimum step long. A search by layers over these states, each step keeping a superset of
// what tables as the meter takes them (rounded) can do, so its failure proves that none reaches
// the error. Only where the states are few enough (a display grid as coarse as the error, or
// short input ranges), within a bounded amount of work. The same search, every value swept
// alone, finds tables too (gridTable).
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// lo raised towards known (an error some table reaches) as far as the search proves, to 0.5 %
// of known; lo itself when the states are too many or the work runs out. The lines sweep at
// most `rows` rows (the extremes of runs), and between them the band around the chart's values.
// First one search just below known (Near: that alone), then a bisection below it (Below: that
// alone, where the search just below known found no proof).
enum class GridTries { Both, Near, Below };
constexpr size_t GridRows = 6000;
double gridBound(const Problem& p, int points, double lo, double known, size_t rows = GridRows, GridTries tries = GridTries::Both);

// A table on the grids with at most `points` points and an error below known, found by the same
// search with every value swept alone on every row (a path is then a table), down from known
// while one is found, within `work` visits a search; empty when none is.
Table gridTable(const Problem& p, int points, double known, long long work);

} // namespace Fitting::Engine
