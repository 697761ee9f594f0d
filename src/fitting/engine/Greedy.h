#pragma once
// The greedy split: joined or separate straight pieces, each reaching as far as the rows let
// it; quick, a start for the searches and an upper bound on the least error.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// The inputs of the pieces' ends at e, or empty when more than maxSegments pieces are needed.
std::vector<long long> greedy(const Problem& p, const std::vector<double>& xc, double e, int maxSegments, bool joined, long long minStep);
// Splits the longest pieces in the middle until there are `points` points.
std::vector<long long> padKnots(const Problem& p, std::vector<long long> knots, int points);
// The inputs of the joined pieces the split finds at the least error it reaches; near: an
// error some table reaches (0: none).
std::vector<long long> greedyKnots(const Problem& p, int points, double near);

} // namespace Fitting::Engine
