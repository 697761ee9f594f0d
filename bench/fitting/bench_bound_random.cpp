// The printed bound against the table on random charts of kinds the tuned charts lack: noisy
// ramps, stairs, random walks, waves, spikes and dents, 8 to 20,000 rows, every input type and
// placement, 3 to 32 points. A bound above its table's error is a false proof ("FALSE"); the
// summary gives the gaps the summary line would print.
//   bench_bound_random [charts] [seed]   (BOUND_ONLY=N: chart N alone; BOUND_DUMP=N: chart N as CSV on standard error)
#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "fitting/Fit.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int charts = argc > 1 ? std::atoi(argv[1]) : 200;
    std::mt19937 rng(argc > 2 ? unsigned(std::atoi(argv[2])) : 1u);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const char* kinds[] = {"noisy", "stairs", "walk", "wave", "spikes", "dents"};
    const char* formats[] = {"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd"};
    int falseProofs = 0, counted = 0, over5 = 0, units = 0;
    double worstUnits = 0;
    std::vector<double> gaps;
    for (int c = 0; c < charts; ++c) {
        const int kind = pick(6), rows = pick(3) == 0 ? 8 + pick(40) : pick(2) ? 100 + pick(2000) : 2000 + pick(18000);
        const double scale = std::pow(10.0, uniform(0, 4));
        std::vector<Fitting::DataRow> data;
        double walk = 0;
        for (int i = 0; i < rows; ++i) {
            const double u = i / double(rows - 1);
            double v = 0;
            switch (kind) {
            case 0: v = u * u + uniform(-0.01, 0.01); break;
            case 1: v = std::floor(u * (3 + c % 9)) / (3 + c % 9) + uniform(-0.003, 0.003); break;
            case 2: v = walk += uniform(-1, 1) / std::sqrt(double(rows)); break;
            case 3: v = std::sin(6.28 * (1 + c % 5) * u) * 0.3 + u; break;
            case 4: v = u + (pick(40) == 0 ? uniform(0.05, 0.2) : 0); break;
            default: v = std::sqrt(u) - (std::fabs(u - 0.5) < 0.02 ? 0.05 : 0); break;
            }
            data.push_back({double(i), v * scale, i + 1});
        }
        Fitting::Request rq;
        rq.rows = std::move(data);
        const int type = pick(3);
        rq.type = type == 0 ? InputType::Voltage : type == 1 ? InputType::Current : InputType::Pulse;
        rq.input = type == 0 ? Fitting::Range{0, 10} : type == 1 ? Fitting::Range{4, 20} : Fitting::Range{0, 5000};
        rq.format = QLatin1String(formats[pick(4)]);
        rq.points = 3 + pick(30);
        const int placement = pick(3);
        rq.placement = placement == 2 ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
        rq.freeEnds = placement == 1;
        if (const char* only = std::getenv("BOUND_ONLY"); only && std::atoi(only) != c)
            continue;
        if (const char* dump = std::getenv("BOUND_DUMP"); dump && std::atoi(dump) == c) { // the chart as CSV, and the request
            std::fprintf(stderr, "# type %d format %s points %d placement %d\n", type, qPrintable(rq.format), rq.points, placement);
            for (const Fitting::DataRow& d : rq.rows)
                std::fprintf(stderr, "%.17g,%.17g\n", d.a, d.b);
        }
        const Fitting::Result r = Fitting::fit(rq);
        if (!r.ok())
            continue;
        const double gap = r.lowerBound > 0 ? (r.maxError - r.lowerBound) / r.lowerBound : INFINITY;
        // the summary line prints the gap in display units when the bound is under half a unit
        const qsizetype point = rq.format.indexOf(QLatin1Char('.'));
        const double halfUnit = 0.5 * std::pow(10.0, point < 0 ? 0.0 : -double(rq.format.size() - 1 - point));
        const bool inUnits = r.lowerBound < halfUnit;
        const bool proofFalse = r.lowerBound > r.maxError * (1 + 1e-9) + 1e-12;
        falseProofs += proofFalse;
        if (placement != 2 && std::isfinite(gap) && !inUnits) // on the data the table is that placement's best, not any table's
            gaps.push_back(gap), ++counted, over5 += gap > 0.05;
        if (placement != 2 && inUnits)
            ++units, worstUnits = std::max(worstUnits, r.maxError - r.lowerBound);
        std::printf("%4d %-7s %6d rows %-8s %2d points %-9s error %-12.6g bound %-12.6g gap %7.2f %%%s%s\n", c, kinds[kind], rows,
                    formats[0] == rq.format ? "dddddd" : qPrintable(rq.format), rq.points,
                    placement == 0 ? "default" : placement == 1 ? "free-ends" : "on-data", r.maxError, r.lowerBound, 100 * gap,
                    inUnits ? " (in units)" : "", proofFalse ? "  FALSE" : "");
        std::fflush(stdout);
    }
    std::sort(gaps.begin(), gaps.end());
    auto at = [&](double q) { return gaps.empty() ? 0.0 : 100 * gaps[size_t(q * double(gaps.size() - 1))]; };
    std::printf("false proofs: %d; default and free-ends fits with the gap in %%: %d, median %.2f %%, 90th percentile %.2f %%, largest %.2f %%, over 5 %%: %d;"
                " with the gap in display units (a bound under half a unit): %d, largest %.4g\n",
                falseProofs, counted, at(0.5), at(0.9), at(1.0), over5, units, worstUnits);
    return falseProofs ? 1 : 0;
}
