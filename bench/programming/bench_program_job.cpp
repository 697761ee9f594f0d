// A job of N meters on one bus against N single `program` runs of the same meters: the real
// executable against simulated meters that delay every reply by its wire time. Prints each
// single run's time, their sum, the job's time and the ratio (limit 1.05); exit status 1 when a
// run fails or the job takes longer.
//   bench_program_job [meters] [baud]   (default: 4 19200)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "common/ProgramEnvironment.h"
#include "files/SettingsFile.h"
#include "meter-sim/SimulatedMeter.h"
#include "spreadsheet/Workbook.h"

namespace {
// Seconds the program took with these arguments, or -1 when it did not exit 0.
double timed(const QString& dir, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(programEnvironment(dir));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(LINEARIZER_EXE), arguments);
    const bool ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return ok ? double(clock.nsecsElapsed()) / 1e9 : -1;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int meters = std::clamp(args.value(0, QStringLiteral("4")).toInt(), 1, 247);
    const int baud = args.value(1, QStringLiteral("19200")).toInt();
    QTemporaryDir dir;
    MeterConfig config;
    config.baud = baud;
    config.wireTime = true;
    QStringList addresses, jobRows{QStringLiteral("address,table")};
    for (int m = 1; m <= meters; ++m) {
        addresses << QStringLiteral("%1").arg(m, 3, 10, QLatin1Char('0'));
        // 32 points, each meter's display values its own
        Spreadsheet::Application book;
        Spreadsheet::Sheet& sheet = book.Add().ActiveSheet();
        sheet.setNumberFormat(QStringLiteral("B1:B32"), QStringLiteral("0.000"));
        for (int r = 0; r < 32; ++r)
            sheet.Select(QStringLiteral("A%1").arg(r + 1)),
                sheet.Paste(QString::number(4.0 + r * 0.5, 'f', 3) + u'\t' + QString::number(r * (10.0 + m % 20), 'f', 3));
        const QString table = dir.filePath(QStringLiteral("t%1.xlsx").arg(m));
        book.SaveCopyAs(table);
        jobRows << QStringLiteral("%1,t%2.xlsx").arg(addresses.last()).arg(m);
    }
    config.address = addresses.constFirst();
    config.busAddresses = addresses.mid(1);
    const QString settings = dir.filePath(QStringLiteral("s.txt")), job = dir.filePath(QStringLiteral("job.csv"));
    QFile jobFile(job);
    if (!SettingsFile::Save(settings, {QStringLiteral("ddd.ddd"), addresses.constFirst(), QStringLiteral("1"), QString::number(baud),
                                       QStringLiteral("32"), false, true}) ||
        !jobFile.open(QIODevice::WriteOnly) || jobFile.write(jobRows.join(u'\n').toUtf8() + '\n') < 0) {
        std::fprintf(stderr, "bench_program_job: cannot write the files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    jobFile.close();

    // The meters answer from a thread of their own while the program runs.
    QThread meterThread;
    meterThread.start();
    QObject inMeterThread;
    inMeterThread.moveToThread(&meterThread);
    std::unique_ptr<SimulatedMeter> bus;
    QMetaObject::invokeMethod(&inMeterThread, [&] { bus = SimulatedMeter::start(config); }, Qt::BlockingQueuedConnection);
    int rc = 1;
    if (bus) {
        const QStringList common{QStringLiteral("--settings"), settings, QStringLiteral("--port"), bus->devicePath()};
        double sum = 0;
        bool ok = true;
        std::printf("%d meters on one bus, 32 points each, %d baud, replies delayed by their wire time\n", meters, baud);
        for (const QString& address : addresses) {
            const double t =
                timed(dir.path(), QStringList{QStringLiteral("program"), QStringLiteral("--table"), dir.filePath(QStringLiteral("t%1.xlsx").arg(address.toInt())),
                                              QStringLiteral("--address"), address} + common);
            std::printf("  single run, meter %s: %.3f s\n", qPrintable(address), t);
            ok = ok && t > 0;
            sum += t;
        }
        const double whole = timed(dir.path(), QStringList{QStringLiteral("program"), QStringLiteral("--job"), job} + common);
        ok = ok && whole > 0;
        std::printf("  sum of single runs %.3f s; job %.3f s; ratio %.3f (limit 1.05)%s\n", sum, whole, whole / sum,
                    ok ? "" : "; a run FAILED");
        rc = ok && whole <= 1.05 * sum ? 0 : 1;
    } else {
        std::fprintf(stderr, "bench_program_job: no simulated meter\n");
    }
    QMetaObject::invokeMethod(&inMeterThread, [&] { bus.reset(); }, Qt::BlockingQueuedConnection);
    meterThread.quit();
    meterThread.wait();
    return rc;
}
