#include "fitting/engine/Moves.h"
#include "fitting/engine/FixedInputs.h"

namespace Fitting::Engine {

// Moves single inputs while that lets the display values reach a lower error: each knot
// in turn, by steps that halve from a quarter of its pieces' width down to one grid unit.
// A move is tried with one forward pass at the error to beat; a move that passes is kept
// and its error found by bisection. Bounded to about `passes` forward passes. xc: the rows'
// clamped inputs.
std::vector<long long> refineKnots(const Problem& p, const std::vector<double>& xc, std::vector<long long> knots, long long passes)
{
    if (passes < 100) // finding the first error alone takes about 30
        return knots;
    Fixed f(p, xc, knots); // (each try moves one knot of it: two pieces found again)
    auto least = [&](double hi) {
        double lo = 0;
        for (int i = 0; i < 40 && hi - lo > 1e-6 * hi; ++i) {
            const double mid = lo + (hi - lo) / 2;
            (f.forward(mid) ? hi : lo) = mid;
            --passes;
        }
        return hi;
    };
    double best = least(dataSpan(p) + p.outStep);
    bool moved = true;
    while (moved && passes > 0 && !p.cancelled()) {
        moved = false;
        for (size_t i = 1; i + 1 < knots.size() && passes > 0; ++i) {
            const long long room = (knots[i + 1] - knots[i - 1]) / 4;
            for (long long step = room; step >= 1 && passes > 0; step /= 2) {
                for (long long dir : {-1LL, 1LL}) {
                    const long long q = onRow(p, xc, knots[i] + dir * step);
                    if (q == knots[i] || q - knots[i - 1] < p.minStep || knots[i + 1] - q < p.minStep)
                        continue;
                    --passes;
                    const double target = best * (1 - 1e-4);
                    Fixed::Replaced old = f.move(i, q);
                    if (!f.forward(target)) {
                        f.restore(i, std::move(old));
                        continue;
                    }
                    best = least(target);
                    knots[i] = q;
                    moved = true;
                    break;
                }
            }
        }
    }
    return knots;
}

// Moves single inputs while the table's error after rounding falls: the searches above
// choose inputs for values before rounding, and on a coarse display grid other inputs
// often round better (the line's phase against the display grid changes with every grid
// unit). Each knot in turn, by 1, 2, 4 and 8 grid units, a quarter, half and a whole
// minimum step, and a quarter of its pieces' width (with an error below a display step, an
// eighth and a sixteenth too: which rows a piece passes within the step then turns on single
// grid units), for at most `tries` tables. xc: the rows' clamped inputs.
Table roundedMoves(const Problem& p, const std::vector<double>& xc, Table best, long long tries)
{
    HullCache hulls;
    double bestError = chartError(p, best);
    const bool fine = bestError < p.outStep;
    bool moved = true;
    while (moved && tries > 0 && !p.cancelled()) {
        moved = false;
        for (size_t i = 1; i + 1 < best.x.size() && tries > 0; ++i) {
            const long long room = (best.x[i + 1] - best.x[i - 1]) / 4;
            for (long long step : {1LL, 2LL, 4LL, 8LL, p.minStep / 4, p.minStep / 2, p.minStep, room, fine ? room / 2 : 0, fine ? room / 4 : 0}) {
                for (long long dir : {-1LL, 1LL}) {
                    std::vector<long long> k = best.x;
                    k[i] = onRow(p, xc, k[i] + dir * step);
                    if (step < 1 || k[i] == best.x[i] || k[i] - k[i - 1] < p.minStep || k[i + 1] - k[i] < p.minStep || tries-- <= 0)
                        continue;
                    Table t = fixedInputsWith(p, xc, k, bestError, &hulls);
                    if (const double err = t.empty() ? Inf : chartError(p, t); err < bestError) {
                        bestError = err;
                        best = std::move(t);
                        moved = true;
                    }
                }
            }
        }
    }
    return best;
}

// The value of piece s of table t at input q (display grid units).
double onPiece(const Table& t, size_t s, long long q)
{
    return double(t.y[s]) + double(t.y[s + 1] - t.y[s]) * double(q - t.x[s]) / double(t.x[s + 1] - t.x[s]);
}

// Moves every knot at once: a dynamic program over the points, each taking an input near its
// own and a display value within two steps of the table's there. A piece's error depends on
// its two ends alone, so the table found is the best of that whole neighbourhood; again from
// it while that lowers the error, at most `rounds` times and about `work` row visits. The
// inputs: 1 to 8 grid units either way, then steps growing by an eighth, up to a quarter of
// the knot's pieces; only the powers of two when that neighbourhood would cost too much.
// xc: the rows' clamped inputs.
Table knotsTogether(const Problem& p, const std::vector<double>& xc, Table best, int rounds, long long work)
{
    constexpr long long Values = 2;
    const size_t K = best.x.size();
    if (K < 3)
        return best;
    double bestError = chartError(p, best);
    struct State {
        long long x, y;
        size_t from, to; // first row at or after x; first row beyond x
        double own;      // from the chart between rows
        double cost;
        int back;
    };
    std::vector<std::vector<State>> st(K);
    // The table's value at input q, in display units.
    auto tableAt = [&](long long q) {
        return onPiece(best, size_t(std::upper_bound(best.x.begin() + 1, best.x.end() - 1, q) - best.x.begin()) - 1, q);
    };
    // The states of every point; returns the row visits of the dynamic program, at most.
    auto states = [&](bool dense) {
        for (size_t i = 0; i < K; ++i) {
            st[i].clear();
            std::vector<long long> inputs{best.x[i]};
            if (i > 0 && i + 1 < K) {
                const long long room = (best.x[i + 1] - best.x[i - 1]) / 4;
                for (long long d = 1; d <= room; d = dense ? d + std::max(1LL, d / 8) : 2 * d)
                    for (long long q : {best.x[i] - d, best.x[i] + d})
                        if (q > p.x0 && q < p.x1)
                            inputs.push_back(q);
            }
            for (long long q : inputs) {
                long long lo = std::llround(tableAt(q)) - Values, hi = lo + 2 * Values;
                if (i == 0 && p.firstY)
                    lo = hi = *p.firstY;
                if (i + 1 == K && p.lastY)
                    lo = hi = *p.lastY;
                const double v = p.inValue(q);
                const size_t from = size_t(std::lower_bound(xc.begin(), xc.end(), v) - xc.begin());
                const size_t to = size_t(std::upper_bound(xc.begin(), xc.end(), v) - xc.begin());
                for (long long y = std::max(lo, p.outLow); y <= std::min(hi, p.outHigh); ++y)
                    st[i].push_back({q, y, from, to, knotError(p, q, p.outValue(y)), i == 0 ? knotError(p, q, p.outValue(y)) : Inf, -1});
            }
        }
        long long cost = 0;
        for (size_t i = 1; i < K; ++i)
            cost += long(st[i - 1].size() * st[i].size()) * (long(st[i].back().to) - long(st[i - 1].front().from) + 2);
        return cost;
    };
    for (int round = 0; round < rounds && !p.cancelled(); ++round) {
        long long cost = states(true);
        if (cost > work)
            cost = states(false);
        if (cost > work)
            break;
        work -= cost;
        for (size_t i = 1; i < K; ++i)
            for (State& b : st[i]) {
                const double xb = p.inValue(b.x), yb = p.outValue(b.y);
                for (size_t a = 0; a < st[i - 1].size(); ++a) {
                    const State& sa = st[i - 1][a];
                    if (sa.cost >= b.cost || b.x - sa.x < p.minStep)
                        continue;
                    const double xa = p.inValue(sa.x), ya = p.outValue(sa.y), slope = (yb - ya) / (xb - xa);
                    double e = std::max(sa.cost, b.own);
                    for (size_t r = sa.from; r < b.to && e < b.cost; ++r)
                        e = std::max(e, std::fabs(ya + slope * (xc[r] - xa) - p.y[r]));
                    if (e < b.cost) {
                        b.cost = e;
                        b.back = int(a);
                    }
                }
            }
        const auto last = std::min_element(st[K - 1].begin(), st[K - 1].end(), [](const State& a, const State& b) { return a.cost < b.cost; });
        if (last == st[K - 1].end() || !(last->cost < bestError))
            break;
        Table t;
        t.x.resize(K);
        t.y.resize(K);
        size_t at = size_t(last - st[K - 1].begin());
        for (size_t i = K; i-- > 0;) {
            t.x[i] = st[i][at].x;
            t.y[i] = st[i][at].y;
            if (i > 0)
                at = size_t(st[i][at].back);
        }
        const double err = chartError(p, t);
        if (!(err < bestError))
            break;
        best = std::move(t);
        bestError = err;
    }
    return best;
}

// The least error over every table whose inputs lie on the grid (on long input ranges on
// every k-th input, so that the states stay within StatesMost, 200,000 by default) and whose display values lie
// within `Window` steps of the source's (linear between the rows) at each input, by a
// bisection on the error. Each decision is a search by layers
// over the states (input, value): a state's sweep forwards keeps the slopes of the lines
// from it within e of the rows it passes, and marks the states those lines meet, each state
// swept once (at its first layer, which has the most pieces left). The best table found
// below `known` within about `work` input and state visits; empty when none is. firstOnly:
// between two rows a point follows another only at the first input it may take (far
// cheaper, and seldom worse). xc: the rows' clamped inputs.
Table gridStates(const Problem& p, const std::vector<double>& xc, int points, double known, long long work, bool firstOnly, long long StatesMost)
{
    constexpr long long WindowLeast = 24, WindowMost = 96;
    const size_t n = xc.size();
    // (few inputs: a wider window within the same states)
    const long long Window = std::clamp((StatesMost / (p.x1 - p.x0 + 1) - 1) / 2, WindowLeast, WindowMost);
    const long long W = 2 * Window + 1, Row = W + 1; // a state's index: input * Row + offset
    // the inputs: every grid input on short ranges, else every stride-th and the last
    const long long stride = (p.x1 - p.x0 + 1) * W / StatesMost + 1;
    if (n < 2 || (stride > 1 && !firstOnly)) // (on a coarser grid the cheaper search is enough)
        return {};
    std::vector<long long> at; // grid units from the first input
    for (long long q = 0; q < p.x1 - p.x0; q += stride)
        at.push_back(q);
    at.push_back(p.x1 - p.x0);
    const long long N = long(at.size());
    std::vector<double> gx(n), gy(n); // rows in grid units
    for (size_t r = 0; r < n; ++r) {
        gx[r] = xc[r] * p.inScale - double(p.x0);
        gy[r] = p.y[r] * p.outScale;
    }
    // At each input: the source's value, and the rows there, [first[i], beyond[i]).
    std::vector<long long> centre(static_cast<size_t>(N));
    std::vector<size_t> first(static_cast<size_t>(N)), beyond(static_cast<size_t>(N));
    std::vector<double> chart(static_cast<size_t>(N)); // between rows, in display grid units (NaN: at a row or beyond)
    for (long long i = 0, r = 0; i < N; ++i) {
        chart[size_t(i)] = chartBetween(p, p.inValue(p.x0 + at[size_t(i)])) * p.outScale;
        const double q = double(at[size_t(i)]);
        while (r + 1 < long(n) && gx[size_t(r) + 1] < q)
            ++r;
        const size_t a = size_t(r), b = std::min(n - 1, a + 1);
        const double t = gx[b] > gx[a] ? std::clamp((q - gx[a]) / (gx[b] - gx[a]), 0.0, 1.0) : 0.0;
        centre[size_t(i)] = std::llround(gy[a] + t * (gy[b] - gy[a]));
        first[size_t(i)] = size_t(std::lower_bound(gx.begin(), gx.end(), q - 1e-9) - gx.begin());
        beyond[size_t(i)] = size_t(std::upper_bound(gx.begin(), gx.end(), q + 1e-9) - gx.begin());
    }
    // Unseen states: skip[t] leads to the first unseen state at t's input from t on (the last
    // offset of each input is never seen); the states outside an input's valid values count
    // as seen from the start. unseenAt[2i], unseenAt[2i + 1]: the least and greatest unseen
    // offsets at input i; open[i] leads to the first input from i on with unseen states.
    std::vector<int> skip(size_t(N * Row)), open(size_t(N + 1)), unseenAt(size_t(2 * N));
    std::vector<long long> parent(size_t(N * Row));
    std::vector<long long> now, next;
    auto follow = [](std::vector<int>& to, long long t) {
        while (to[size_t(t)] != t) {
            to[size_t(t)] = to[size_t(to[size_t(t)])];
            t = to[size_t(t)];
        }
        return t;
    };
    auto unseen = [&](long long t) { return follow(skip, t); };
    auto value = [&](long long s) { return centre[size_t(s / Row)] + s % Row - Window; };
    const double tol = 1e-9 * std::max(1.0, std::fabs(p.outValue(p.outLow)) + std::fabs(p.outValue(p.outHigh))) * p.outScale;
    // A table reaching e with at most `points` points into *found (display units).
    auto decide = [&](double e, Table* found) -> int { // 1 found, 0 none, -1 out of work
        e = e * p.outScale + tol;
        // the values each input may take: near the source, in range and within e of its rows
        // (the rows beyond the ends lie at them)
        for (long long i = 0; i < N; ++i) {
            const long long c = centre[size_t(i)];
            long long a = std::max(c - Window, p.outLow), b = std::min(c + Window, p.outHigh);
            for (size_t r = first[size_t(i)]; r < beyond[size_t(i)] && a <= b; ++r) {
                a = std::max(a, static_cast<long long>(std::ceil(gy[r] - e)));
                b = std::min(b, static_cast<long long>(std::floor(gy[r] + e)));
            }
            if (const double cq = chart[size_t(i)]; !std::isnan(cq) && a <= b) {
                a = std::max(a, static_cast<long long>(std::ceil(cq - e)));
                b = std::min(b, static_cast<long long>(std::floor(cq + e)));
            }
            const long long row = i * Row, u = a - c + Window, v = b - c + Window;
            unseenAt[size_t(2 * i)] = int(u);
            unseenAt[size_t(2 * i + 1)] = int(v);
            for (long long o = 0; o < Row; ++o)
                skip[size_t(row + o)] = int(u > v || o > v ? row + W : row + std::max(u, o));
            open[size_t(i)] = int(u > v ? i + 1 : i);
        }
        open[size_t(N)] = int(N);
        // Marks the unseen states of offsets [a, b] (valid ones) at input j from state `from`.
        auto mark = [&](long long j, long long a, long long b, long long from) {
            const long long row = j * Row;
            long long t = unseen(row + a);
            if (t > row + b)
                return false;
            for (; t <= row + b; t = unseen(t + 1)) {
                skip[size_t(t)] = int(t + 1);
                parent[size_t(t)] = from;
                --work;
                if (j == N - 1) {
                    found->x.clear();
                    found->y.clear();
                    for (long long u = t; u >= 0; u = parent[size_t(u)]) {
                        found->x.push_back(p.x0 + at[size_t(u / Row)]);
                        found->y.push_back(value(u));
                    }
                    std::reverse(found->x.begin(), found->x.end());
                    std::reverse(found->y.begin(), found->y.end());
                    return true;
                }
                next.push_back(t);
            }
            int& least = unseenAt[size_t(2 * j)];
            int& most = unseenAt[size_t(2 * j + 1)];
            least = int(unseen(row + least) - row);
            while (most >= least && skip[size_t(row + most)] != row + most)
                --most;
            if (least > most)
                open[size_t(j)] = int(j + 1);
            return false;
        };
        now.clear();
        next.clear();
        // offsets [a, b] at input j held to its unseen ones and to the pinned value at an end
        auto held = [&](long long j, long long& a, long long& b, const std::optional<long long>& pin) {
            a = std::max(a, static_cast<long long>(unseenAt[size_t(2 * j)]));
            b = std::min(b, static_cast<long long>(unseenAt[size_t(2 * j + 1)]));
            if (pin)
                a = std::max(a, *pin - centre[size_t(j)] + Window), b = std::min(b, *pin - centre[size_t(j)] + Window);
            return a <= b;
        };
        if (long long a = 0, b = W - 1; held(0, a, b, p.firstY))
            mark(0, a, b, -1);
        std::swap(now, next);
        for (int k = 0; k + 1 < points && !now.empty(); ++k) {
            next.clear();
            for (long long s : now) {
                if (p.cancelled())
                    return -1;
                const long long i = s / Row;
                const double v = double(value(s)), xi = double(at[size_t(i)]);
                double lo = -Inf, hi = Inf;
                size_t r = beyond[size_t(i)];
                const long long j0 = std::lower_bound(at.begin(), at.end(), at[size_t(i)] + p.minStep) - at.begin();
                for (long long j = follow(open, j0); j < N; j = open[size_t(j) + 1] == j + 1 ? j + 1 : follow(open, j + 1), --work) {
                    const double xj = double(at[size_t(j)]);
                    for (; r < first[size_t(j)]; ++r, --work) {
                        const double d = gx[r] - xi;
                        lo = std::max(lo, (gy[r] - e - v) / d);
                        hi = std::min(hi, (gy[r] + e - v) / d);
                    }
                    if (lo > hi)
                        break;
                    if (firstOnly && lo == -Inf && j > j0) { // on to the input past the next row
                        if (r < n)
                            j = std::max(j, static_cast<long long>(std::upper_bound(at.begin(), at.end(), gx[r] + 1e-9,
                                                         [](double x, long long q) { return x < double(q); }) - at.begin()) - 1);
                        continue;
                    }
                    // the offsets at j of the lines kept
                    const double base = v - double(centre[size_t(j)] - Window);
                    long long a = 0, b = W - 1;
                    if (!held(j, a, b, j == N - 1 ? p.lastY : std::nullopt))
                        continue;
                    if (lo > -Inf)
                        a = ceilWithin(base + lo * (xj - xi) - 1e-9, a, b + 1);
                    if (hi < Inf)
                        b = floorWithin(base + hi * (xj - xi) + 1e-9, a - 1, b);
                    if (a <= b && mark(j, a, b, s))
                        return 1;
                }
                if (work < 0)
                    return -1;
            }
            std::swap(now, next);
        }
        return 0;
    };
    // Downwards from the error known by steps from 3 % that double while they hold (a failure
    // sweeps every state), then a bisection to 1 % (the moves after it polish the table).
    Table best;
    double lo = 0, hi = known, step = 0.03;
    for (int i = 0; i < 14 && hi - lo > 1e-2 * hi; ++i, step = std::min(0.5, 2 * step)) {
        const double mid = lo > 0 ? (lo + hi) / 2 : (1 - step) * hi;
        Table t;
        const int r = decide(mid, &t);
        if (r < 0)
            break;
        if (r == 0) {
            lo = mid;
            continue;
        }
        // as many points as asked: each added where the table's error grows least
        while (int(t.x.size()) < points) {
            Table pick;
            double least = Inf;
            for (size_t at = 0; at + 1 < t.x.size(); ++at) {
                const long long a = t.x[at], b = t.x[at + 1];
                for (long long q = a + p.minStep; q <= b - p.minStep; ++q) {
                    Table u = t;
                    const double v = onPiece(t, at, q);
                    u.x.insert(u.x.begin() + long(at) + 1, q);
                    u.y.insert(u.y.begin() + long(at) + 1, std::clamp(std::llround(v), p.outLow, p.outHigh));
                    work -= long(n);
                    if (const double err = chartError(p, u); err < least) {
                        least = err;
                        pick = std::move(u);
                    }
                }
            }
            if (pick.empty() || work < 0)
                break;
            t = std::move(pick);
        }
        const double err = int(t.x.size()) == points ? chartError(p, t) : Inf;
        if (err < hi) {
            best = std::move(t);
            hi = err;
        } else {
            lo = mid; // no table of as many points found there
        }
    }
    return best;
}


} // namespace Fitting::Engine
