// Free tables on charts a user has, against a reference: a horizontal tank with 2:1 heads read
// per mm in whole litres, a sphere, a 1/x curve, a capsule tank and a 100,000-row chart, each
// fitted with the ends on the source and free. The reference is the better of the two fits
// polished for a long while: every knot kicked at random, then moved together and one at a
// time after rounding, kept when better (many restarts of the local search; slow, which is
// why it is here and not in a test). Prints per case the time of each fit and its excess
// over the reference, and the gap to the printed lower bound (a gap under 1 % proves the
// table within 1 % of the best there is).
//   bench_fit_quality [SECONDS]   (the reference's time per case, 20 by default)
//   bench_fit_quality 0 CHART FREE   (one fit alone: the chart's index, 1 for free ends)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <random>

#include "fitting/Fit.h"
#include "fitting/engine/FixedInputs.h"
#include "fitting/engine/Moves.h"

namespace {

using namespace Fitting;

struct Chart {
    const char* name;
    int points;
    std::vector<DataRow> rows;
    QString format;
};

std::vector<DataRow> vessel(const Shape& s, int rows, double litres, double unit)
{
    std::vector<DataRow> out;
    for (int i = 0; i < rows; ++i)
        out.push_back({double(i), std::round(litres * shapeFraction(s, double(i) / (rows - 1)) / unit) * unit, i + 1});
    return out;
}

std::vector<Chart> charts()
{
    std::vector<Chart> c;
    // 2 m across, 6 m long, 2:1 heads (a quarter of the diameter deep): 20,944 l, per mm
    c.push_back({"heads 2:1 per mm", 24, vessel(Shape{ShapeKind::Heads, 3, 0.25}, 2001, 20944, 1), QStringLiteral("dddddd")});
    // a sphere 3 m across, per cm, in litres with one decimal
    c.push_back({"sphere", 20, vessel(Shape{ShapeKind::Sphere, 0, 0}, 301, 14137.2, 0.1), QStringLiteral("ddddd.d")});
    // 1/x: 1,000 rows of 100 / x over 1 to 10, three decimals
    std::vector<DataRow> inverse;
    for (int i = 0; i < 1000; ++i) {
        const double x = 1 + 9.0 * i / 999;
        inverse.push_back({x, std::round(100000 / x) / 1000, i + 1});
    }
    c.push_back({"1/x", 24, inverse, QStringLiteral("ddd.ddd")});
    // a capsule 2.5 m across, 10 m long in all, per mm, whole litres
    c.push_back({"capsule per mm", 32, vessel(Shape{ShapeKind::Capsule, 3, 0}, 2501, 45000, 1), QStringLiteral("dddddd")});
    // a horizontal cylinder of 100,000 rows, 50,000 l with one decimal
    c.push_back({"cylinder 100,000", 32, vessel(Shape{ShapeKind::Cylinder, 0, 0}, 100000, 50000, 0.1), QStringLiteral("ddddd.d")});
    return c;
}

Request request(const Chart& c, bool freeEnds)
{
    Request rq;
    rq.rows = c.rows;
    rq.input = Range{4, 20};
    rq.type = InputType::Current;
    rq.format = c.format;
    rq.points = c.points;
    rq.freeEnds = freeEnds;
    return rq;
}

// The problem fit() solves for a free table of a chart over 4-20 mA (as it prepares it).
Engine::Problem problem(const Chart& c, const Result& r, bool freeEnds)
{
    Engine::Problem p;
    const int decimals = int(c.format.size() - c.format.indexOf(QLatin1Char('.')) - 1) % int(c.format.size());
    p.outScale = std::pow(10.0, c.format.contains(QLatin1Char('.')) ? decimals : 0);
    p.outStep = 1 / p.outScale;
    const double a0 = c.rows.front().a, a1 = c.rows.back().a;
    double lo = c.rows.front().b, hi = lo;
    for (size_t i = 0; i < c.rows.size(); ++i) {
        p.x.push_back(i + 1 == c.rows.size() ? 20.0 : 4 + 16 * (c.rows[i].a - a0) / (a1 - a0));
        p.y.push_back(c.rows[i].b);
        lo = std::min(lo, c.rows[i].b);
        hi = std::max(hi, c.rows[i].b);
    }
    const double margin = std::max(hi - lo, p.outStep);
    p.outLow = std::llround(std::floor((lo - margin) * p.outScale));
    p.outHigh = std::llround(std::ceil((hi + margin) * p.outScale));
    p.x0 = 4000;
    p.x1 = 20000;
    if (!freeEnds) {
        p.firstY = p.outIndex(p.y.front());
        p.lastY = p.outIndex(p.y.back());
    }
    (void)r;
    return p;
}

Engine::Table gridTable(const Engine::Problem& p, const Result& r)
{
    Engine::Table t;
    for (const Point& pt : r.table) {
        t.x.push_back(p.inIndex(pt.inputValue));
        t.y.push_back(std::llround(pt.displayValue * p.outScale));
    }
    return t;
}

// The search over every input and value near the chart, then the local search kicked at
// random from the best table, for `seconds`.
double reference(const Engine::Problem& p, Engine::Table best, double seconds)
{
    const std::vector<double> xc = Engine::clampedInputs(p);
    double bestError = Engine::chartError(p, best);
    std::mt19937 rng(7);
    QElapsedTimer clock;
    clock.start();
    const size_t K = best.x.size();
    // every input of the grid and every value within 24 steps of the chart, for a long while
    for (bool firstOnly : {true, false})
        if (Engine::Table t = Engine::gridStates(p, xc, int(K), bestError, 4000000000LL, firstOnly, (p.x1 - p.x0 + 1) * 49); !t.empty()) {
            t = Engine::knotsTogether(p, xc, std::move(t), 20, 20000000);
            if (const double e = Engine::chartError(p, t); e < bestError) {
                bestError = e;
                best = std::move(t);
            }
        }
    std::printf("  (every input and value: %.4f after %.1f s)\n", bestError, clock.elapsed() / 1000.0);
    while (clock.elapsed() < seconds * 1000) {
        std::vector<long long> k = best.x;
        const int kicks = 1 + int(rng() % 3);
        for (int j = 0; j < kicks; ++j) {
            const size_t i = 1 + rng() % (K - 2);
            const long long room = std::max(2LL, (k[i + 1] - k[i - 1]) / 6);
            k[i] += std::uniform_int_distribution<long long>(-room, room)(rng);
        }
        bool valid = true;
        for (size_t i = 1; i < K; ++i)
            valid = valid && k[i] - k[i - 1] >= p.minStep;
        if (!valid)
            continue;
        Engine::Table t = Engine::fixedInputs(p, k);
        if (t.empty())
            continue;
        if (p.x.size() <= 4000)
            t = Engine::roundedMoves(p, xc, std::move(t), 200);
        t = Engine::knotsTogether(p, xc, std::move(t), 20, 20000000);
        if (const double e = Engine::chartError(p, t); e < bestError) {
            bestError = e;
            best = std::move(t);
        }
    }
    return bestError;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    if (argc == 4) { // bench_fit_quality 0 CHART FREE: that fit alone, for a profiler
        const Chart c = charts()[size_t(std::atoi(argv[2]))];
        const Result r = fit(request(c, std::atoi(argv[3]) != 0));
        std::printf("%s %.4f\n", c.name, r.maxError);
        const Engine::Problem p = problem(c, r, std::atoi(argv[3]) != 0);
        QElapsedTimer timer;
        timer.start();
        const Engine::Table t = Engine::freeLeast(p, c.points);
        const qint64 search = timer.restart();
        const double bound = Engine::lowerBound(p, c.points, Engine::chartError(p, t));
        std::printf("search %lld ms (%.4f), bound %lld ms (%.4f)\n", static_cast<long long>(search), Engine::chartError(p, t),
                    static_cast<long long>(timer.elapsed()), bound);
        return 0;
    }
    std::printf("%-18s %6s %-6s %8s %10s %10s %8s %10s\n", "chart", "points", "ends", "ms", "error", "reference", "excess", "bound gap");
    for (const Chart& c : charts()) {
        Result fits[2];
        qint64 ms[2];
        for (bool freeEnds : {false, true}) {
            QElapsedTimer timer;
            timer.start();
            fits[freeEnds] = fit(request(c, freeEnds));
            ms[freeEnds] = timer.elapsed();
        }
        for (bool freeEnds : {false, true}) {
            const Result& r = fits[freeEnds];
            if (!r.ok()) {
                std::printf("%-18s failed: %s\n", c.name, qPrintable(r.message));
                continue;
            }
            const Engine::Problem p = problem(c, r, freeEnds);
            // free ends: the default's table is a free table too
            Engine::Table start = gridTable(p, r);
            if (freeEnds && fits[0].ok() && fits[0].maxError < r.maxError)
                start = gridTable(p, fits[0]);
            const double ref = std::min(r.maxError, reference(p, start, seconds));
            std::printf("%-18s %6d %-6s %8lld %10.4f %10.4f %7.2f%% %9.2f%%\n", c.name, c.points, freeEnds ? "free" : "source",
                        static_cast<long long>(ms[freeEnds]), r.maxError, ref, 100 * (r.maxError / ref - 1),
                        r.lowerBound > 0 ? 100 * (r.maxError / r.lowerBound - 1) : INFINITY);
            std::fflush(stdout);
        }
    }
    return 0;
}
