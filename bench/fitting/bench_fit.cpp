// Fits 32-point tables to dense strapping charts (a horizontal cylinder of 1,601 to
// 1,000,000 rows, and a non-convex chart with dents) on the rows (--on-data) and with free
// placement (ends on the source, or free), the square root on its curve and free at 11
// and 32 points, and short charts on a whole-unit display, each in a process of its own
// (at most 120 s), and prints per case: the time, the peak resident memory of that process,
// the error and the lower bound in % of span, the points, the fewest points reaching that
// error, and whether the minimum step limits the table.
//   bench_fit            (every case)
//   bench_fit --one CASE ROWS   (one case: prints "milliseconds peak-KiB error% bound%")
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

#include "fitting/Fit.h"

namespace {

// A chart of level (0..rows-1 cm) against volume in litres: a horizontal cylinder, or with
// dents (a non-convex chart) when dented.
std::vector<Fitting::DataRow> chart(int rows, bool dented)
{
    std::vector<Fitting::DataRow> out;
    const Fitting::Shape cylinder{Fitting::ShapeKind::Cylinder, 0};
    for (int i = 0; i < rows; ++i) {
        const double u = double(i) / (rows - 1);
        double v = 50000 * Fitting::shapeFraction(cylinder, u);
        if (dented)
            v += 300 * std::sin(40 * u) * u;
        out.push_back({double(i), std::round(v * 10) / 10, i + 1});
    }
    return out;
}

// A short chart shown in whole units, as coarse as the error: stairs (level against a
// count that steps at seven places, with a little noise) or a log curve rounded to 0..10.
std::vector<Fitting::DataRow> coarseChart(int rows, bool stairs)
{
    std::vector<Fitting::DataRow> out;
    for (int i = 0; i < rows; ++i) {
        const double u = double(i) / (rows - 1);
        const double v = stairs ? 100 * std::floor(u * 7) / 7 + 0.8 * std::sin(37.0 * i) : 10 * std::log1p(50 * u) / std::log(51.0);
        out.push_back({16.0 * u, std::round(v), i + 1});
    }
    return out;
}

int one(const QString& name, int rows)
{
    Fitting::Request rq;
    if (name.startsWith(QLatin1String("shape"))) { // the square root on the curve / free, 4-20 mA
        rq.shape = Fitting::parseShape(QStringLiteral("sqrt"));
        rq.display = Fitting::Range{0, 100};
        rq.format = QStringLiteral("ddd.ddd");
        rq.points = rows;
    } else if (name.contains(QLatin1String("coarse"))) {
        rq.rows = coarseChart(rows, name.endsWith(QLatin1String("stairs")));
        rq.format = QStringLiteral("dddddd");
        rq.points = 32;
    } else {
        rq.rows = chart(rows, name.endsWith(QLatin1String("dented")));
        rq.format = QStringLiteral("ddddd.d");
        rq.points = 32;
    }
    rq.input = Fitting::Range{4, 20};
    rq.type = InputType::Current;
    rq.placement = name.contains(QLatin1String("on-data")) ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
    rq.freeEnds = name.contains(QLatin1String("free-ends"));
    QElapsedTimer timer;
    timer.start();
    const Fitting::Result r = Fitting::fit(rq);
    const qint64 ms = timer.elapsed();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %ld %.5f %.5f %d %d %s\n", static_cast<long long>(ms), usage.ru_maxrss, r.maxErrorPercent,
                r.span > 0 ? 100 * r.lowerBound / r.span : 0.0, int(r.table.size()), r.fewestPoints,
                r.limitingRule == Fitting::LimitingRule::MinimumStep ? "step" : "-");
    return r.ok() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--one"))
        return one(args[2], args[3].toInt());
    struct Case {
        const char* name;
        int rows; // shapes: the points
    };
    const Case cases[] = {
        {"on-data", 1601},      {"on-data", 10000},      {"on-data", 100000},   {"on-data", 1000000},  {"on-data-dented", 100000}, {"free", 1601},
        {"free-free-ends", 1601}, {"free", 10000},       {"free-dented", 10000}, {"free", 100000},      {"free-dented", 100000},
        {"shape-on-data", 11},  {"shape-on-data", 32},   {"shape", 11},         {"shape", 32}, {"free-coarse-log", 150},
        {"free-coarse-stairs", 60},
    };
    std::printf("%-18s %8s %8s %9s %9s %9s %6s %6s %5s\n", "case", "rows/pts", "ms", "peak MiB", "error %", "bound %", "points", "fewest",
                "limit");
    for (const Case& c : cases) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one"), QLatin1String(c.name), QString::number(c.rows)});
        if (!child.waitForFinished(120000)) {
            child.kill();
            child.waitForFinished();
            std::printf("%-18s %8d  over 120 s\n", c.name, c.rows);
            continue;
        }
        const QStringList f = QString::fromLatin1(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        if (f.size() < 7) {
            std::printf("%-18s %8d failed\n", c.name, c.rows);
            continue;
        }
        std::printf("%-18s %8d %8s %9.1f %9s %9s %6s %6s %5s\n", c.name, c.rows, qPrintable(f[0]), f[1].toDouble() / 1024, qPrintable(f[2]),
                    qPrintable(f[3]), qPrintable(f[4]), qPrintable(f[5]), qPrintable(f[6]));
        std::fflush(stdout);
    }
    return 0;
}
