#include <climits>

#include "fitting/engine/CandidateBound.h"
#include "fitting/engine/Lines.h"

namespace Fitting::Engine {

// The fewest separate straight pieces within e of the rows, the first through the pinned first
// value and the last through the pinned last value when the problem pins them (a greedy split:
// each piece reaches as far as it can; the last, through its pin, as far back as it can).
int separatePieces(const Problem& p, const std::vector<double>& xc, double e)
{
    const int n = int(xc.size());
    const double ee = slack(p, e), sMax = slopeLimit(p, 1);
    const double x0 = p.inValue(p.x0), x1 = p.inValue(p.x1);
    Lines lines;
    lines.grow = true;
    int end = n; // rows before it: the pieces before the last
    if (p.lastY) {
        const double v = p.outValue(*p.lastY);
        lines.box(v, v, sMax);
        for (end = n; end > 0; --end) {
            lines.row(xc[size_t(end) - 1] - x1, p.y[size_t(end) - 1], ee);
            if (lines.empty())
                break;
        }
        if (end == 0 && p.firstY) { // one piece through both pins, or the first row needs a piece of its own
            lines.row(x0 - x1, p.outValue(*p.firstY), ee - e); // (through the pin, but for rounding)
            if (!lines.empty())
                return 1;
            end = 1;
        }
        if (end == 0)
            return 1;
    }
    int pieces = 0;
    for (int k = 0; k < end;) {
        if (p.cancelled())
            return INT_MAX;
        double origin = xc[size_t(k)];
        if (pieces == 0 && p.firstY) {
            origin = x0;
            lines.box(p.outValue(*p.firstY), p.outValue(*p.firstY), sMax);
        } else {
            lines.box(p.y[size_t(k)] - ee, p.y[size_t(k)] + ee, sMax);
        }
        ++pieces;
        const int from = k;
        for (; k < end; ++k) {
            lines.row(xc[size_t(k)] - origin, p.y[size_t(k)], ee);
            if (lines.empty())
                break;
        }
        if (k == from) // the pinned first value is more than e from the first row
            return INT_MAX;
    }
    return pieces + (p.lastY ? 1 : 0);
}


} // namespace Fitting::Engine
