#pragma once
// The bound on joined pieces with knots anywhere: a dynamic program over the rows and the
// pieces used, each step a superset of what tables can do, so a failure proves that none
// reaches the error.
#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

// lo raised towards known (an error some table reaches) as far as the program proves, on at
// most JoinedRows of `rows` (the chart's rows and its values between them) within JoinedWork.
double joinedBound(const Problem& p, const Problem& rows, int points, double lo, double known);

} // namespace Fitting::Engine
