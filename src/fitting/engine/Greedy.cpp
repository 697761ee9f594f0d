#include <climits>

#include "fitting/engine/Greedy.h"
#include "fitting/engine/Tube.h"

namespace Fitting::Engine {

// Greedy split into joined (or, with joined false, separate) straight pieces, each
// reaching as far as the rows allow: the inputs of the pieces' ends, or empty when more
// than maxSegments pieces are needed. A piece that cannot reach the minimum step (near the
// end, where the last piece needs its step too) sends the search back to a nearer end of
// the piece before it, within a bounded amount of work.
std::vector<long long> greedy(const Problem& p, const std::vector<double>& xc, double e, int maxSegments, bool joined, long long minStep)
{
    const int n = int(p.x.size());
    const double ee = slack(p, e);
    const double sMax = slopeLimit(p, minStep);
    const Interval range{p.outValue(p.outLow), p.outValue(p.outHigh)};
    struct Candidate {
        long long q = 0;
        Interval values;
        int next = 0;
    };
    struct Piece {
        long long xt = 0;
        Interval start;
        int rowStart = 0;
        bool done = false;
        std::vector<Candidate> candidates; // rising q
        size_t tried = 0;
        long long limit = LLONG_MAX; // try only ends at or below this
        long long reach = 0;         // grid input of the last row the piece covered
    };
    std::vector<Piece> pieces;
    pieces.push_back({p.x0, joined ? firstValues(p) : range, 0, false, {}, 0, LLONG_MAX, 0});
    long long budget = 6LL * n + 100000;
    Tube lines;
    // Covers rows from the piece's start while one line can; notes the ends it may take.
    // Returns the row where it stopped (n: it reached the last row).
    auto run = [&](Piece& piece) {
        piece.done = true;
        const double xtv = p.inValue(piece.xt);
        lines.box(piece.start.lo, piece.start.hi, sMax);
        int k = piece.rowStart;
        for (; k < n; ++k) {
            lines.row(xc[k] - xtv, p.y[k], ee);
            if (lines.empty())
                break;
            if (k + 1 < n) {
                const long long q = std::min(gridBelow(p, xc[k + 1]), p.x1 - minStep);
                if (q >= std::max(gridAtOrAbove(p, xc[k]), piece.xt + minStep)) {
                    const double xq = p.inValue(q);
                    auto [lo, hi] = lines.valuesAt(xq - xtv);
                    // Joined, the next piece starts here: keep the point within the
                    // tube around the source at q, or the next piece starts outside it.
                    if (joined && xc[k + 1] > xc[k]) {
                        const double yq = p.y[k] + (p.y[k + 1] - p.y[k]) * ((xq - xc[k]) / (xc[k + 1] - xc[k]));
                        lo = std::max(lo, yq - ee);
                        hi = std::min(hi, yq + ee);
                    }
                    lo = std::max(lo, range.lo);
                    hi = std::min(hi, range.hi);
                    if (lo <= hi) {
                        if (!piece.candidates.empty() && piece.candidates.back().q == q)
                            piece.candidates.back() = Candidate{q, {lo, hi}, k + 1};
                        else
                            piece.candidates.push_back(Candidate{q, {lo, hi}, k + 1});
                    }
                }
            }
        }
        budget -= k - piece.rowStart + 1;
        piece.reach = k > piece.rowStart ? gridBelow(p, xc[k - 1]) + 1 : piece.xt;
        return k;
    };
    while (!pieces.empty()) {
        if (p.cancelled())
            return {};
        Piece& piece = pieces.back();
        if (!piece.done) {
            int k = run(piece);
            // A short piece after a long one: its start (the end of the piece before) was
            // a poor choice. Try a few nearer ends of the piece before; keep the one whose
            // next piece reaches farthest.
            if (k < n && pieces.size() >= 2) {
                Piece& before = pieces[pieces.size() - 2];
                const size_t count = before.candidates.size();
                if (2 * (piece.reach - piece.xt) < piece.xt - before.xt && count > 1) {
                    for (int a = 1; a <= 8 && budget > 0; ++a) {
                        const size_t back = std::max<size_t>(1, size_t(a) * count * 3 / 80);
                        if (back >= count)
                            break;
                        const Candidate& c = before.candidates[count - 1 - back];
                        Piece other{c.q, joined ? c.values : range, c.next, false, {}, 0, LLONG_MAX, 0};
                        const int ko = run(other);
                        if (other.reach > piece.reach || ko == n) {
                            piece = std::move(other);
                            k = ko;
                            if (k == n)
                                break;
                        }
                    }
                }
            }
            if (k == n) {
                if (int(pieces.size()) > maxSegments)
                    return {};
                std::vector<long long> knots;
                for (const Piece& pc : pieces)
                    knots.push_back(pc.xt);
                knots.push_back(p.x1);
                return knots;
            }
            if (int(pieces.size()) >= maxSegments && !piece.candidates.empty())
                return {};
        }
        // The farthest end not yet tried.
        while (piece.tried < piece.candidates.size() && piece.candidates[piece.candidates.size() - 1 - piece.tried].q > piece.limit)
            ++piece.tried;
        if (piece.tried >= piece.candidates.size() || budget < 0) {
            const long long failedAt = piece.xt, reach = piece.reach;
            const bool stepShort = piece.candidates.empty();
            pieces.pop_back();
            if (pieces.empty() || budget < 0)
                return {};
            // Nearer ends for the piece before: far enough back that this piece can make its step.
            Piece& before = pieces.back();
            before.limit = std::min(before.limit, failedAt - 1);
            if (stepShort)
                before.limit = std::min(before.limit, failedAt - (failedAt + minStep - reach));
            continue;
        }
        const Candidate c = piece.candidates[piece.candidates.size() - 1 - piece.tried];
        ++piece.tried;
        pieces.push_back({c.q, joined ? c.values : range, c.next, false, {}, 0, LLONG_MAX, 0});
    }
    return {};
}

// Splits the longest pieces in the middle until there are `points` points.
std::vector<long long> padKnots(const Problem& p, std::vector<long long> knots, int points)
{
    while (int(knots.size()) < points) {
        size_t best = 0;
        long long widest = -1;
        for (size_t i = 0; i + 1 < knots.size(); ++i)
            if (knots[i + 1] - knots[i] > widest) {
                widest = knots[i + 1] - knots[i];
                best = i;
            }
        knots.insert(knots.begin() + long(best) + 1, knots[best] + widest / 2);
        if (widest < 2 * p.minStep) {
            // no piece is wide enough: push the inputs apart, forwards then back from the end
            if ((p.x1 - p.x0) < p.minStep * (long long)(knots.size() - 1)) {
                knots.erase(knots.begin() + long(best) + 1);
                break;
            }
            for (size_t i = 1; i < knots.size(); ++i)
                knots[i] = std::max(knots[i], knots[i - 1] + p.minStep);
            knots.back() = p.x1;
            for (size_t i = knots.size() - 1; i-- > 0;)
                knots[i] = std::min(knots[i], knots[i + 1] - p.minStep);
        }
    }
    return knots;
}

// The inputs of the joined pieces that the greedy split finds at the least error it can reach;
// `near` (0: none), an error some table reaches, starts the bracket there.
std::vector<long long> greedyKnots(const Problem& p, int points, double near)
{
    const std::vector<double> xc = clampedInputs(p);
    auto split = [&](double e) { return greedy(p, xc, e, points - 1, true, p.minStep); };
    const double tol = tolerance(p, 1e-7);
    double lo = 0, hi = std::max(near, tol);
    std::vector<long long> knots = split(hi);
    if (near > 0 && !knots.empty()) {
        // downwards by quarters to a failure
        for (lo = hi / 4; lo > tol; lo = hi / 4) {
            if (p.cancelled())
                return {};
            std::vector<long long> k = split(lo);
            if (k.empty())
                break;
            hi = lo;
            knots = std::move(k);
        }
        if (lo <= tol)
            lo = 0;
    }
    // Bracket from below by doubling: a split at an error well below the least one fails
    // after a few short pieces. The display range can keep even a flat line from the
    // middle, so the doubling goes on past the data's span.
    while (knots.empty()) {
        if (p.cancelled() || hi > 1e6 * (dataSpan(p) + p.outStep) + 1e12)
            return {};
        lo = hi;
        hi *= 2;
        knots = split(hi);
    }
    while (hi - lo > tol && hi - lo > 1e-4 * hi) {
        if (p.cancelled())
            return {};
        const double mid = lo + (hi - lo) / 2;
        std::vector<long long> k = split(mid);
        if (k.empty()) {
            lo = mid;
        } else {
            hi = mid;
            knots = std::move(k);
        }
    }
    return padKnots(p, knots, points);
}


} // namespace Fitting::Engine
