// How close the printed lower bound comes to the table, on charts a user has where the table is
// near the best: noisy stairs, a random walk, a cone-bottomed silo, short coarse charts, the
// README's horizontal cylinder and shapes (at 11 and 32 points, the ends on the curve or free).
// Prints per chart the time of the whole fit, the table's error, the bound and the gap the
// summary prints ("within X % of the best possible").
//   bench_bound              (every chart)
//   bench_bound NAME...      (those charts)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>

#include "fitting/Fit.h"

namespace {

struct Chart {
    const char* name;
    Fitting::Request request;
};

std::vector<Fitting::DataRow> rowsOf(int n, const std::function<double(int)>& value, double unit)
{
    std::vector<Fitting::DataRow> out;
    for (int i = 0; i < n; ++i)
        out.push_back({double(i), std::round(value(i) / unit) * unit, i + 1});
    return out;
}

Fitting::Request data(std::vector<Fitting::DataRow> rows, const char* format, int points)
{
    Fitting::Request rq;
    rq.rows = std::move(rows);
    rq.input = Fitting::Range{4, 20};
    rq.type = InputType::Current;
    rq.format = QLatin1String(format);
    rq.points = points;
    return rq;
}

Fitting::Request shape(const char* text, int points, bool freeEnds = false)
{
    Fitting::Request rq;
    rq.shape = Fitting::parseShape(QLatin1String(text));
    rq.display = Fitting::Range{0, 100};
    rq.input = Fitting::Range{4, 20};
    rq.type = InputType::Current;
    rq.format = QStringLiteral("ddd.ddd");
    rq.points = points;
    rq.freeEnds = freeEnds;
    return rq;
}

std::vector<Chart> charts()
{
    std::vector<Chart> c;
    // Noisy stairs: a count that steps at seven places, with a little noise, in tenths.
    c.push_back({"stairs-24", data(rowsOf(120, [](int i) { return 100 * std::floor(i / 120.0 * 7) / 7 + 0.8 * std::sin(37.0 * i); }, 0.1), "ddddd.d", 24)});
    c.push_back({"coarse-stairs-24", data(rowsOf(60, [](int i) { return 100 * std::floor(i / 59.0 * 7) / 7 + 0.8 * std::sin(37.0 * i); }, 1), "dddddd", 24)});
    // The same shown in whole units, 60 rows, 32 points.
    c.push_back({"coarse-stairs-32", data(rowsOf(60, [](int i) { return 100 * std::floor(i / 59.0 * 7) / 7 + 0.8 * std::sin(37.0 * i); }, 1), "dddddd", 32)});
    // A random walk of 200 readings at 8 points.
    {
        std::mt19937 gen(7);
        std::normal_distribution<double> step(0, 1);
        std::vector<double> walk(200);
        double v = 50;
        for (double& w : walk)
            w = v += step(gen);
        c.push_back({"walk-8", data(rowsOf(200, [walk](int i) { return walk[size_t(i)]; }, 0.01), "dddd.dd", 8)});
        c.push_back({"walk-30-8", data(rowsOf(30, [walk](int i) { return walk[size_t(i)]; }, 0.01), "dddd.dd", 8)});
        c.push_back({"walk-30-8-units", data(rowsOf(30, [walk](int i) { return walk[size_t(i)]; }, 1), "dddddd", 8)});
    }
    // A silo: a cone taking the bottom 30 % of the level under a cylinder, 301 rows per cm, litres.
    {
        const Fitting::Shape cone{Fitting::ShapeKind::Cone, 0.3};
        c.push_back({"silo-32", data(rowsOf(301, [cone](int i) { return 40000 * Fitting::shapeFraction(cone, i / 300.0); }, 0.1), "ddddd.d", 32)});
        c.push_back({"silo-32-litres", data(rowsOf(301, [cone](int i) { return 40000 * Fitting::shapeFraction(cone, i / 300.0); }, 1), "dddddd", 32)});
        c.push_back({"silo-32-shape", shape("cone:0.3", 32)});
    }
    // A short coarse chart: 16 rows of a log curve read in whole units, 6 points.
    c.push_back({"short-coarse-6", data(rowsOf(16, [](int i) { return 100 * std::log1p(i) / std::log(16.0); }, 1), "dddddd", 6)});
    c.push_back({"short-coarse-8", data(rowsOf(12, [](int i) { return 10 * std::log1p(i) / std::log(12.0); }, 1), "dddddd", 8)});
    c.push_back({"short-coarse-4", data(rowsOf(10, [](int i) { return 20 * std::sqrt(i / 9.0); }, 1), "dddddd", 4)});
    // The README's worked example: a horizontal cylinder 2.40 m across, 241 rows, 32 points.
    {
        const Fitting::Shape cylinder{Fitting::ShapeKind::Cylinder, 0};
        c.push_back({"cylinder-32", data(rowsOf(241, [cylinder](int i) { return 27143 * Fitting::shapeFraction(cylinder, i / 240.0); }, 0.1), "ddddd.d", 32)});
        Fitting::Request free = c.back().request;
        free.freeEnds = true;
        c.push_back({"cylinder-32-free", free});
        Fitting::Request onData = c.back().request;
        onData.freeEnds = false;
        onData.placement = Fitting::Placement::OnData;
        c.push_back({"cylinder-32-on-data", onData});
    }
    c.push_back({"sqrt-11", shape("sqrt", 11)});
    c.push_back({"sqrt-32", shape("sqrt", 32)});
    c.push_back({"heads-32", shape("heads:3,0.25", 32)});
    c.push_back({"cylinder-shape-32", shape("cylinder", 32)});
    // The other shapes and sizes, then each with free ends.
    c.push_back({"heads-11", shape("heads:3,0.25", 11)});
    c.push_back({"cylinder-shape-11", shape("cylinder", 11)});
    c.push_back({"sphere-11", shape("sphere", 11)});
    c.push_back({"sphere-32", shape("sphere", 32)});
    c.push_back({"cone-11", shape("cone:0.3", 11)});
    for (const auto& [name, text, points] : {std::tuple{"sqrt-11-free", "sqrt", 11}, {"sqrt-32-free", "sqrt", 32}, {"heads-11-free", "heads:3,0.25", 11},
                                             {"heads-32-free", "heads:3,0.25", 32}, {"cylinder-shape-11-free", "cylinder", 11},
                                             {"cylinder-shape-32-free", "cylinder", 32}, {"sphere-11-free", "sphere", 11},
                                             {"sphere-32-free", "sphere", 32}, {"cone-11-free", "cone:0.3", 11}, {"cone-32-free", "cone:0.3", 32}})
        c.push_back({name, shape(text, points, true)});
    return c;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList only = app.arguments().mid(1);
    std::printf("%-22s %8s %12s %12s %8s\n", "chart", "ms", "error", "bound", "gap %");
    for (const Chart& c : charts()) {
        if (!only.isEmpty() && !only.contains(QLatin1String(c.name)))
            continue;
        QElapsedTimer timer;
        timer.start();
        const Fitting::Result r = Fitting::fit(c.request);
        const qint64 ms = timer.elapsed();
        if (!r.ok()) {
            std::printf("%-22s failed: %s\n", c.name, qPrintable(r.message));
            continue;
        }
        const double gap = r.lowerBound > 0 ? 100 * (r.maxError - r.lowerBound) / r.lowerBound : INFINITY;
        std::printf("%-22s %8lld %12.5g %12.5g %8.1f\n", c.name, static_cast<long long>(ms), r.maxError, r.lowerBound, gap);
        std::fflush(stdout);
    }
    return 0;
}
