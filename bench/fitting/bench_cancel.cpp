// How soon a fit ends once its cancel flag is set (Ctrl+C, a new run in the window): fits of
// 32 points to a horizontal cylinder of ten million rows, on the rows (--on-data), free, and
// free with free ends, the flag set 20 ms in and then every STEP ms (default 250) until a fit
// ends first; prints the time from the flag to fit() returning, and the longest per case.
// With --load, two busy threads run alongside (a machine busy with other work).
//   bench_cancel [--load] [--rows N] [--step MS] [CASE...]   (cases: on-data free free-ends)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "fitting/Fit.h"

namespace {

std::vector<Fitting::DataRow> cylinderChart(int rows)
{
    std::vector<Fitting::DataRow> out;
    out.reserve(size_t(rows));
    const Fitting::Shape cylinder{Fitting::ShapeKind::Cylinder, 0};
    for (int i = 0; i < rows; ++i)
        out.push_back({double(i), std::round(500000 * Fitting::shapeFraction(cylinder, double(i) / (rows - 1))) / 10, i + 1});
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool load = args.removeAll(QStringLiteral("--load")) > 0;
    int rows = 10000000;
    if (const qsizetype at = args.indexOf(QStringLiteral("--rows")); at >= 0 && at + 1 < args.size()) {
        rows = args[at + 1].toInt();
        args.remove(at, 2);
    }
    int step = 250;
    if (const qsizetype at = args.indexOf(QStringLiteral("--step")); at >= 0 && at + 1 < args.size()) {
        step = std::max(args[at + 1].toInt(), 10);
        args.remove(at, 2);
    }
    if (args.isEmpty())
        args = {QStringLiteral("on-data"), QStringLiteral("free"), QStringLiteral("free-ends")};

    std::atomic_bool stopLoad = false;
    std::vector<std::thread> busy;
    if (load)
        for (int i = 0; i < 2; ++i)
            busy.emplace_back([&stopLoad] {
                volatile double x = 1;
                while (!stopLoad.load(std::memory_order_relaxed))
                    x = x * 1.0000001 + 1e-9;
            });

    Fitting::Request base;
    base.rows = cylinderChart(rows);
    base.input = Fitting::Range{4, 20};
    base.type = InputType::Current;
    base.format = QStringLiteral("ddddd.d");
    base.points = 32;
    std::printf("%-10s %9s %12s\n", "case", "flag at", "ms to end");
    for (const QString& name : args) {
        Fitting::Request rq = base;
        rq.placement = name == QLatin1String("on-data") ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
        rq.freeEnds = name == QLatin1String("free-ends");
        qint64 longest = 0;
        for (int delay = 20;; delay = delay < step ? step : delay + step) {
            std::atomic_bool cancel = false;
            std::atomic_bool done = false;
            rq.cancel = &cancel;
            QElapsedTimer flagged;
            std::thread fit([&] {
                Fitting::fit(rq);
                done = true;
            });
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
            while (!done && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const bool before = done;
            cancel = true;
            flagged.start();
            fit.join();
            const qint64 ms = flagged.elapsed();
            if (before) {
                std::printf("%-10s %7d ms %12s   longest %lld ms\n", qPrintable(name), delay, "(ended before)", static_cast<long long>(longest));
                break;
            }
            longest = std::max(longest, ms);
            std::printf("%-10s %7d ms %12lld\n", qPrintable(name), delay, static_cast<long long>(ms));
            std::fflush(stdout);
        }
    }
    stopLoad = true;
    for (std::thread& t : busy)
        t.join();
    return 0;
}
