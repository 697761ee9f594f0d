// Fits 32-point tables to dense strapping charts (a horizontal cylinder of 10,000 and
// 100,000 rows, and a non-convex chart with dents) on the rows (--on-data) and with free
// placement, each in a process of its own, and prints per case: the time, the peak
// resident memory of that process, the error in % of span, and for free placement the
// lower bound it is measured against.
//   bench_fit            (every case)
//   bench_fit --one CASE ROWS   (one case: prints "milliseconds peak-KiB error% bound%")
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

#include "fitting/Fit.h"
#include "fitting/FitEngine.h"

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

int one(const QString& name, int rows)
{
    Fitting::Request rq;
    rq.rows = chart(rows, name.endsWith(QLatin1String("dented")));
    rq.input = Fitting::Range{4, 20};
    rq.type = InputType::Current;
    rq.format = QStringLiteral("ddddd.d");
    rq.points = 32;
    rq.placement = name.startsWith(QLatin1String("on-data")) ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
    QElapsedTimer timer;
    timer.start();
    const Fitting::Result r = Fitting::fit(rq);
    const qint64 ms = timer.elapsed();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    double bound = 0;
    if (rq.placement == Fitting::Placement::LeastError) {
        Fitting::Engine::Problem p;
        p.inScale = 1000;
        p.inStep = 0.001;
        p.minStep = 150;
        p.outScale = 10;
        p.outStep = 0.1;
        p.outLow = -99999;
        p.outHigh = 999999;
        for (const Fitting::DataRow& row : rq.rows) {
            p.x.push_back(4 + 16 * row.a / (rows - 1));
            p.y.push_back(row.b);
        }
        p.x0 = 4000;
        p.x1 = 20000;
        bound = 100 * Fitting::Engine::lowerBound(p, 32) / r.span;
    }
    std::printf("%lld %ld %.5f %.5f %d\n", static_cast<long long>(ms), usage.ru_maxrss, r.maxErrorPercent, bound, int(r.table.size()));
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
        int rows;
    };
    const Case cases[] = {
        {"on-data", 10000}, {"on-data-dented", 10000}, {"on-data", 1000}, {"free", 100000}, {"free-dented", 100000}, {"free", 10000},
    };
    std::printf("%-16s %8s %8s %10s %10s %10s %7s\n", "case", "rows", "ms", "peak MiB", "error %", "bound %", "points");
    for (const Case& c : cases) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one"), QLatin1String(c.name), QString::number(c.rows)});
        child.waitForFinished(600000);
        const QStringList f = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
        if (f.size() < 5) {
            std::printf("%-16s %8d failed\n", c.name, c.rows);
            continue;
        }
        std::printf("%-16s %8d %8s %10.1f %10s %10s %7s", c.name, c.rows, qPrintable(f[0]), f[1].toDouble() / 1024, qPrintable(f[2]),
                    f[3].toDouble() > 0 ? qPrintable(f[3]) : "-", qPrintable(f[4]));
    }
    return 0;
}
