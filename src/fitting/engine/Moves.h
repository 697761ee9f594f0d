#pragma once
// Moves of a free table's inputs and values after the searches: single inputs judged before
// and after rounding, every knot at once, and every input and value near the source on a
// coarse display. Each returns its start when it finds nothing better.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

std::vector<long long> refineKnots(const Problem& p, const std::vector<double>& xc, std::vector<long long> knots, long long passes);
Table roundedMoves(const Problem& p, const std::vector<double>& xc, Table best, long long tries);
// The value of piece s of table t at input q (display grid units).
double onPiece(const Table& t, size_t s, long long q);
Table knotsTogether(const Problem& p, const std::vector<double>& xc, Table best, int rounds, long long work);
Table gridStates(const Problem& p, const std::vector<double>& xc, int points, double known, long long work, bool firstOnly,
                 long long statesMost = 200000);

} // namespace Fitting::Engine
