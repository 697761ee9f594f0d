#include "fitting/engine/Grids.h"

namespace Fitting::Engine {

long long ProblemSettings::inIndex(double v) const { return roundHalfAway(v * inScale); }

long long ProblemSettings::outIndex(double v) const { return std::clamp(roundHalfAway(v * outScale), outLow, outHigh); }

double chartError(const Problem& p, const Table& t, double* at)
{
    double worst = -1, where = p.x.empty() ? 0 : p.x.front();
    size_t s = 0;
    const double x0 = p.inValue(t.x.front()), x1 = p.inValue(t.x.back());
    // (the piece's ends found once a piece: millions of rows)
    double xa = p.inValue(t.x[0]), xb = p.inValue(t.x[1]), ya = p.outValue(t.y[0]), yb = p.outValue(t.y[1]);
    for (size_t k = 0; k < p.x.size(); ++k) {
        const double x = std::clamp(p.x[k], x0, x1);
        while (s + 2 < t.x.size() && xb < x) {
            ++s;
            xa = xb;
            ya = yb;
            xb = p.inValue(t.x[s + 1]);
            yb = p.outValue(t.y[s + 1]);
        }
        const double v = ya + (yb - ya) * ((x - xa) / (xb - xa));
        const double e = std::fabs(v - p.y[k]);
        if (e > worst) {
            worst = e;
            where = p.x[k];
        }
    }
    // Between rows both the chart and the table are straight but for the table's knots.
    for (size_t i = 0; i < t.x.size(); ++i)
        if (const double e = knotError(p, t.x[i], p.outValue(t.y[i])); e > worst) {
            worst = e;
            where = p.inValue(t.x[i]);
        }
    if (at)
        *at = where;
    return std::max(worst, 0.0);
}


} // namespace Fitting::Engine
