// Runs transactions against the simulated meter and prints the mean time per
// transaction, the wall time and the CPU time used by the process while waiting.
//   bench_link [count] [--no-wire-time] [--baud N] [--latency MS] [--separate]
// By default the meter delays each reply by its wire time, as a real line does.
// --separate runs the meter as a talvo-meter-sim child process, so the CPU time is
// the link's alone; otherwise the meter runs in this process and its CPU time counts too.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "meter-sim/SimulatedMeter.h"

namespace {
double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int count = 200;
    bool separate = false;
    MeterConfig config;
    config.wireTime = true;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--no-wire-time")
            config.wireTime = false;
        else if (args[i] == "--separate")
            separate = true;
        else if (args[i] == "--baud" && i + 1 < args.size())
            config.baud = args[++i].toInt();
        else if (args[i] == "--latency" && i + 1 < args.size())
            config.latencyMs = args[++i].toInt();
        else
            count = std::max(1, args[i].toInt());
    }

    std::unique_ptr<SimulatedMeter> sim;
    QProcess child;
    QString device;
    if (separate) {
        QStringList simArgs = {"--baud", QString::number(config.baud), "--latency", QString::number(config.latencyMs)};
        if (config.wireTime)
            simArgs << "--wire-time";
        const QString exe = QCoreApplication::applicationDirPath() + "/../../tools/meter-sim/talvo-meter-sim";
        child.start(exe, simArgs);
        if (!child.waitForStarted() || !child.waitForReadyRead(5000)) {
            std::fprintf(stderr, "bench_link: cannot start %s\n", qPrintable(exe));
            return 1;
        }
        device = QString::fromLocal8Bit(child.readLine()).trimmed().section(' ', -1);
    } else {
        QString error;
        sim = SimulatedMeter::start(config, &error);
        if (!sim) {
            std::fprintf(stderr, "bench_link: %s\n", qPrintable(error));
            return 1;
        }
        device = sim->devicePath();
    }

    SerialComm port([&device](int) { return device; });
    port.setCommPort(1);
    if (!port.setSettings(MeterLink::settingsFor(QString::number(config.baud))) || !port.setPortOpen(true)) {
        std::fprintf(stderr, "bench_link: cannot open %s: %s\n", qPrintable(device), qPrintable(port.failure().reason));
        return 1;
    }
    port.discardInput();
    MeterTransaction transaction(&port);
    const QString address = QStringLiteral("001");

    const QStringList commands = {"F189", "38001", "201130", "37P3", "48L02", "2A3014000", "2A1014000", "33I"};
    int completed = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    for (int i = 0; i < count; ++i) {
        if (transaction.send(address, commands[i % commands.size()]) == ReplyOutcome::ReplyComplete &&
            !MeterLink::isErrorReply(transaction.replyText()))
            ++completed;
    }
    const double cpu = cpuSeconds() - cpu0;
    const double ms = double(wall.nsecsElapsed()) / 1e6;

    std::printf("transactions: %d (%d acknowledged), meter %s, %d baud%s, latency %d ms\n", count, completed,
                separate ? "in a child process" : "in this process", config.baud, config.wireTime ? " with wire time" : "",
                config.latencyMs);
    std::printf("mean per transaction: %.3f ms\n", ms / count);
    std::printf("wall time: %.1f ms\n", ms);
    std::printf("CPU time: %.1f ms (%.1f%% of wall time)\n", cpu * 1000.0, 100.0 * cpu * 1000.0 / ms);
    if (separate) {
        child.terminate();
        child.waitForFinished(2000);
    }
    return completed == count ? 0 : 1;
}
