// A whole Program Meter run of 32 Current points through Debian's ser2net on 127.0.0.1
// (RFC 2217 and raw TCP) against the same run on the simulated meter's pseudo-terminal,
// the meter delaying every reply by its wire time as a real line does. Prints the mean wall
// time of each transport and its ratio to the local one.
//   bench_network [runs] [baud]   (default: 5 runs at 19200)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "common/Ser2net.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "meter-sim/SimulatedMeter.h"
#include "programming/ProgrammingRun.h"

namespace {
class Quiet final : public RunReporter {
public:
    void progress(int, int) override {}
    void status(int, const QString&) override {}
    int message(const RunMessage&) override { return 1; }
};
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, QString(argv[1]).toInt()) : 5;
    const int baud = argc > 2 ? QString(argv[2]).toInt() : 19200;
    MeterConfig config;
    config.baud = baud;
    config.wireTime = true;
    QString error;
    auto sim = SimulatedMeter::start(config, &error);
    Ser2net server;
    if (sim)
        error = server.start(sim->devicePath(), baud);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "bench_network: %s\n", qPrintable(error));
        return 1;
    }
    MeterSetup setup{"1", QString::number(baud), "001", "32", {InputType::Current, "ddd.ddd", {}}};
    for (int p = 0; p < 32; ++p)
        setup.table.rows.append({QString::number(4.0 + p * 0.5, 'f', 3), QString::number(p * 3.0, 'f', 3)});

    double localMs = 0;
    for (const QString& device : {sim->devicePath(), server.url(true), server.url(false)}) {
        QTest::qWait(500); // ser2net lets go of the device a moment after the last connection ends
        SerialComm port([&device](int) { return device; });
        MeterTransaction transaction(&port);
        Quiet face;
        ProgrammingRun run(&port, &transaction, &face);
        double total = 0;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            const RunOutcome outcome = run.run(setup);
            total += double(clock.nsecsElapsed()) / 1e6;
            port.setPortOpen(false);
            if (outcome.end != RunEnd::Programmed) {
                std::fprintf(stderr, "bench_network: %s: %s (%s)\n", qPrintable(device), qPrintable(outcome.resultText()),
                             qPrintable(port.failure().reason));
                return 1;
            }
        }
        const double mean = total / runs;
        if (localMs == 0)
            localMs = mean;
        std::printf("%-28s %d runs of 32 points at %d baud: %8.1f ms a run, %.3f x the local pty\n", qPrintable(device.section(':', 0, 0)),
                    runs, baud, mean, mean / localMs);
    }
    return 0;
}
