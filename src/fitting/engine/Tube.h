#pragma once
// The lines (value v at a piece's start, slope s) within e of rows met at rising distances
// from the start: the exact searches' sweeps. The same set as Lines, kept as the two
// envelopes that bound it in the (s, v) plane: v <= U(s), the least of the rows' tops, and
// v >= L(s), the most of their bottoms, over [sL, sR]. A row further out than every row
// before it has the steepest line of either envelope, so it can only join U at its right
// end and L at its left, and cut the set at sR (its top) or sL (its bottom): each row takes
// a constant time on average, however many vertices the set has.
#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace Fitting::Engine {

class Tube {
public:
    // |v| within [vLo, vHi], |s| at most sMax.
    void box(double vLo, double vHi, double sMax)
    {
        up.assign(1, {0, vHi});
        down.assign(1, {0, vLo});
        upFrom = downFrom = 0;
        sL = -sMax;
        sR = sMax;
        dead = !(vLo <= vHi);
    }
    bool empty() const { return dead; }
    // The row at distance d (at least that of every row before), value y, within e.
    void row(double d, double y, double e)
    {
        if (!dead)
            top({d, y + e});
        if (!dead)
            bottom({d, y - e});
    }
    // One side of it: the lines at most y + e at d (below), or at least y - e.
    void halfRow(double d, double y, double e, bool below)
    {
        if (!dead)
            below ? top({d, y + e}) : bottom({d, y - e});
    }
    // Values of the lines at distance w: [lo, hi].
    std::pair<double, double> valuesAt(double w) const
    {
        const double hi = extreme(up, upFrom, w, sL, sR, [](double a, double b) { return std::min(a, b); });
        const double lo = extreme(down, downFrom, w, sR, sL, [](double a, double b) { return std::max(a, b); });
        return {lo, hi};
    }

private:
    struct Edge { // v = c - d s
        double d, c;
        double at(double s) const { return c - d * s; }
    };
    // where two lines of different d meet
    static double meet(const Edge& a, const Edge& b) { return (b.c - a.c) / (b.d - a.d); }
    // The top of U(s) + w s (concave), or the bottom of L(s) + w s (convex): where the
    // envelope's slope -d passes -w, between the last line of d <= w and the first beyond it;
    // at ifAllSteeper when every line has d > w, at ifNoneSteeper when none has. envelope: its
    // value where two of its lines meet (the lesser of them for U, the greater for L).
    template<class Envelope>
    double extreme(const std::vector<Edge>& lines, size_t from, double w, double ifAllSteeper, double ifNoneSteeper, Envelope envelope) const
    {
        const size_t j = size_t(std::partition_point(lines.begin() + long(from), lines.end(), [w](const Edge& a) { return a.d <= w; }) - lines.begin());
        if (j == from)
            return lines[from].at(ifAllSteeper) + w * ifAllSteeper;
        if (j == lines.size())
            return lines.back().at(ifNoneSteeper) + w * ifNoneSteeper;
        const double s = std::clamp(meet(lines[j - 1], lines[j]), sL, sR);
        return envelope(lines[j - 1].at(s), lines[j].at(s)) + w * s;
    }

    // U: by d rising from left to right (up[upFrom] holds at sL, up.back() at sR).
    // L: by d rising from right to left (down[downFrom] holds at sR, down.back() at sL).
    std::vector<Edge> up, down;
    size_t upFrom = 0, downFrom = 0;
    double sL = 0, sR = 0;
    bool dead = true;

    void top(const Edge& t)
    {
        if (t.at(sR) >= up.back().at(sR)) // above U at sR, so everywhere in [sL, sR]
            return;
        if (t.at(sR) < down[downFrom].at(sR)) {
            // t - L falls to the right: sR moves left to where t meets L
            for (;;) {
                const Edge& l = down[downFrom];
                const bool last = downFrom + 1 == down.size();
                const double from = last ? sL : meet(l, down[downFrom + 1]); // where l holds: [from, ...]
                const double s = t.d > l.d ? meet(l, t) : -std::numeric_limits<double>::infinity();
                if (s >= from) {
                    sR = s;
                    break;
                }
                if (last) {
                    dead = true;
                    return;
                }
                ++downFrom;
            }
            if (sR < sL) {
                dead = true;
                return;
            }
        }
        // t joins U at its right end, above the lines it hides
        while (up.size() > upFrom) {
            const Edge& u = up.back();
            const double from = up.size() - 1 == upFrom ? sL : meet(up[up.size() - 2], u);
            if (t.at(from) > u.at(from))
                break;
            up.pop_back();
        }
        up.push_back(t);
    }

    void bottom(const Edge& b)
    {
        if (b.at(sL) <= down.back().at(sL)) // below L at sL, so everywhere in [sL, sR]
            return;
        if (b.at(sL) > up[upFrom].at(sL)) {
            // U - b rises to the right: sL moves right to where b meets U
            for (;;) {
                const Edge& u = up[upFrom];
                const bool last = upFrom + 1 == up.size();
                const double to = last ? sR : meet(u, up[upFrom + 1]); // where u holds: [..., to]
                const double s = b.d > u.d ? meet(u, b) : std::numeric_limits<double>::infinity();
                if (s <= to) {
                    sL = s;
                    break;
                }
                if (last) {
                    dead = true;
                    return;
                }
                ++upFrom;
            }
            if (sL > sR) {
                dead = true;
                return;
            }
        }
        // b joins L at its left end, below the lines it hides
        while (down.size() > downFrom) {
            const Edge& l = down.back();
            const double to = down.size() - 1 == downFrom ? sR : meet(down[down.size() - 2], l);
            if (b.at(to) < l.at(to))
                break;
            down.pop_back();
        }
        down.push_back(b);
    }
};

} // namespace Fitting::Engine
