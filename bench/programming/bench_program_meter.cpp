// Programs a 32-point Current table into the simulated meter at each baud rate, with
// the meter delaying every reply by its wire time, and prints per run: the total time,
// the wire-time lower bound of the bytes exchanged, their ratio, and the CPU time of
// the utility's thread. The meter runs on a thread of its own, so its CPU time is not
// counted.
//   bench_program_meter [--latency MS] [--no-wire-time] [baud ...]   (default: 19200 2400)
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QRadioButton>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "meter-sim/SimulatedMeter.h"
#include "app/FlexGrid.h"

namespace {
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Figures {
    bool ok = false;
    QString why;
    double wall = 0, cpu = 0;
    qint64 sent = 0, received = 0;
    int transactions = 0;
};

Figures programOnce(int baud, int latencyMs, bool wireTime)
{
    Figures f;
    QThread meterThread;
    meterThread.start();
    QObject inMeterThread;
    inMeterThread.moveToThread(&meterThread);
    std::unique_ptr<SimulatedMeter> sim;
    QString error;
    MeterConfig config;
    config.baud = baud;
    config.wireTime = wireTime;
    config.latencyMs = latencyMs;
    QMetaObject::invokeMethod(
        &inMeterThread, [&] { sim = SimulatedMeter::start(config, &error); }, Qt::BlockingQueuedConnection);
    if (!sim) {
        f.why = QStringLiteral("simulated meter: ") + error;
    } else {
        PortMap ports;
        ports.map(1, sim->devicePath());
        auto w = makeWindow(ports);
        w->selectListText(w->cboCommPort, QStringLiteral("1"));
        w->selectListText(w->cboBaudRate, QString::number(baud));
        w->setOptionValue(w->optCurrent, true);
        w->selectListText(w->cboSetPoints, QStringLiteral("32"));
        for (int r = 0; r < 32; ++r) {
            w->MSFlexGrid1->setTextMatrix(r, 1, QString::number(4.0 + r * 0.5, 'f', 3));
            w->MSFlexGrid1->setTextMatrix(r, 2, QString::number(r * 25.0, 'f', 3));
        }
        QStringList prompts;
        frmMain::setMessageHook([&](const QString& p, int, const QString&) {
            prompts << p;
            return int(vbOK);
        });
        QMetaObject::invokeMethod(
            &inMeterThread, [&] { sim->clearReceived(); }, Qt::BlockingQueuedConnection);

        QElapsedTimer clock;
        const double cpu0 = threadCpuSeconds();
        clock.start();
        w->cmdProgramMeter_Click();
        f.wall = double(clock.nsecsElapsed()) / 1e9;
        f.cpu = threadCpuSeconds() - cpu0;
        frmMain::setMessageHook({});

        QStringList got;
        QMetaObject::invokeMethod(
            &inMeterThread, [&] { got = sim->received(); }, Qt::BlockingQueuedConnection);
        f.sent = w->runBytesSent();
        f.received = w->runBytesReceived();
        f.transactions = int(got.size());
        const bool success = prompts == QStringList{QStringLiteral("   Information has been successfully sent to the meter!")};
        f.ok = success && got.size() == 70;
        if (!f.ok)
            f.why = QStringLiteral("run did not succeed: %1 commands, messages: %2").arg(got.size()).arg(prompts.join(" | "));
        QMetaObject::invokeMethod(
            &inMeterThread, [&] { sim.reset(); }, Qt::BlockingQueuedConnection);
    }
    meterThread.quit();
    meterThread.wait();
    return f;
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    int latencyMs = 0;
    bool wireTime = true;
    QList<int> bauds;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--latency") && i + 1 < args.size())
            latencyMs = args[++i].toInt();
        else if (args[i] == QLatin1String("--no-wire-time"))
            wireTime = false;
        else if (args[i].toInt() > 0)
            bauds << args[i].toInt();
    }
    if (bauds.isEmpty())
        bauds = {19200, 2400};

    int rc = 0;
    std::printf("32-point Current table, 70 commands, meter %s%s\n", wireTime ? "delays each reply by its wire time" : "answers at once",
                latencyMs ? qPrintable(QStringLiteral(" + %1 ms latency").arg(latencyMs)) : "");
    for (int baud : bauds) {
        const Figures f = programOnce(baud, latencyMs, wireTime);
        if (!f.ok) {
            std::printf("%6d baud: FAILED (%s)\n", baud, qPrintable(f.why));
            rc = 1;
            continue;
        }
        const double bitTime = 10.0 / baud; // start + 8 data + stop bits
        const double lineBound = double(f.sent + f.received) * bitTime;
        // What the simulated meter itself waits: the wire time of each frame and of its
        // reply (each rounded up to whole milliseconds), plus the latency.
        const double avgFrame = double(f.sent) / f.transactions, avgReply = double(f.received) / f.transactions;
        auto ms = [&](double bytes) { return std::ceil(bytes * bitTime * 1000.0) / 1000.0; };
        const double meterBound = f.transactions * ((wireTime ? ms(avgFrame) + ms(avgReply) : 0.0) + latencyMs / 1000.0);
        std::printf("%6d baud: total %.3f s; wire-time lower bound %.3f s (%lld bytes out, %lld bytes in); "
                    "ratio %.3f (limit %.2f)\n",
                    baud, f.wall, lineBound, f.sent, f.received, f.wall / lineBound,
                    1.10 + (latencyMs / 1000.0) * f.transactions / lineBound);
        std::printf("%6s        meter's own delay %.3f s, ratio to it %.3f; utility CPU %.3f s = %.2f%% of wall\n", "", meterBound,
                    f.wall / meterBound, f.cpu, 100.0 * f.cpu / f.wall);
    }
    return rc;
}
