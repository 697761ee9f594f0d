// `talvo-linearizer program`: the real executable with no display, against simulated
// meters on pseudo-terminals: the bytes on the wire, exit status, messages, dry run, log.
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include "files/SettingsFile.h"
#include "meter-sim/SimulatedMeter.h"
#include "meter-sim/SimulatorOptions.h"
#include "spreadsheet/Workbook.h"
#include "table/ValueRules.h"

namespace {
const QString Success = QStringLiteral("   Information has been successfully sent to the meter!");

QByteArray frames(const QStringList& commands, const QString& address)
{
    QByteArray out;
    for (const QString& c : commands)
        out += '\x01' + address.toLatin1() + c.toLatin1() + SimulatedMeter::checksum(c.toLatin1()).toLatin1() + '\x03';
    return out;
}

// Every command of a full run; values are given in their normal forms.
QStringList fullRun(QChar type, const QString& address, int decimals, const QStringList& in, const QStringList& out)
{
    const bool current = type == u'I';
    QStringList c{"F189", "38" + address, current ? "201130" : type == u'V' ? "200030" : "208010",
                  "37P" + QString::number(decimals), QStringLiteral("48L%1").arg(in.size(), 2, 10, QChar(u'0'))};
    auto point = [&](int p, bool display) {
        const QString v = QString(display ? out[p] : in[p]).remove(u'.');
        c << (current ? (display ? "2A1" : "2A3") : (display ? "2A0" : "2A2")) + QStringLiteral("%1").arg(p + 1, 2, 10, QChar(u'0')) + v;
    };
    for (int p = 0; p < in.size(); ++p) {
        point(p, false);
        if (p == 0)
            continue;
        if (p == 1)
            point(0, true);
        point(p, true);
    }
    return c << (current ? "33I" : "33V");
}

// A settings file and a workbook in a private folder, and the program run on them.
struct Job {
    QTemporaryDir dir;
    QProcess process;
    QString settings = dir.filePath("s.txt"), table = dir.filePath("t.xlsx");
    Job(QChar type, const QString& address, const QString& baud, int decimals, const QStringList& in,
        const QStringList& out, const QString& lang = QString())
    {
        SettingsValues v{ValueRules::decimalFormats()[decimals], address, "1", baud, QString::number(in.size()),
                         type == u'V', type == u'I'};
        SettingsFile::Save(settings, v);
        Spreadsheet::Application app;
        Spreadsheet::Sheet& sheet = app.Add().ActiveSheet();
        sheet.setNumberFormat("B1:B32", decimals ? "0." + QString(decimals, u'0') : "0");
        QStringList rows;
        for (int r = 0; r < in.size(); ++r)
            rows << in[r] + '\t' + out[r];
        sheet.Select("A1");
        sheet.Paste(rows.join("\r\n"));
        app.SaveCopyAs(table);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("TMPDIR", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        if (!lang.isEmpty())
            env.insert("LC_ALL", lang);
        process.setProcessEnvironment(env);
    }
    ~Job()
    {
        process.kill();
        process.waitForFinished();
    }
    void start(const QString& device, const QStringList& extra = {})
    {
        QStringList args{"program", "--settings", settings, "--table", table};
        process.start(LINEARIZER_EXE, args + (extra.contains("--port") ? extra : extra + QStringList{"--port", device}));
    }
    // Waits with the event loop running, so that the simulated meters answer.
    bool finish() { return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000); }
    QString err() { return QString::fromUtf8(process.readAllStandardError()); }
};

std::unique_ptr<SimulatedMeter> meter(const QStringList& options = {})
{
    auto sim = SimulatedMeter::start(SimulatorOptions::parse(options).config);
    if (!sim)
        qFatal("no simulated meter");
    return sim;
}

QStringList ramp(double from, double step, int decimals, int n = 32)
{
    QStringList out;
    for (int p = 0; p < n; ++p)
        out << QString::number(from + p * step, 'f', decimals);
    return out;
}
} // namespace

class TestProgramCli : public QObject {
    Q_OBJECT
private slots:
    void run_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("setup"); // type, address, baud, decimals, locale
        QTest::addColumn<QStringList>("in");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("sent"); // empty: the full run
        QTest::addColumn<QString>("message");
        const QStringList i2{"4.000", "20.000"}, d2{"0.000", "100.000"};
        QTest::newRow("32 points") << QStringList{"--address", "247", "--baud", "19200"} << "V 247 19200 3"
                                   << ramp(-8, 0.5, 3) << ramp(0, 3, 3) << QStringList() << 0 << QStringList() << Success;
        QTest::newRow("pulse") << QStringList() << "P 001 2400 4" << QStringList{"0.0", "1000.0"}
                               << QStringList{"0.0000", "-9.9999"} << QStringList() << 0 << QStringList() << Success;
        QTest::newRow("german locale") << QStringList() << "I 001 2400 3 de_DE.UTF-8" << i2 << d2 << QStringList() << 0
                                       << QStringList() << Success;
        QTest::newRow("Z to firmware query") << QStringList{"--refuse", "F189=0"} << "I 001 2400 3" << i2 << d2
                                             << QStringList() << 0 << QStringList() << Success;
        QTest::newRow("missing value") << QStringList() << "I 001 2400 3" << i2 << QStringList{"1.000", ""}
                                       << QStringList() << 2 << QStringList{"F189"} << "Missing Point Value";
        QTest::newRow("voltage span") << QStringList() << "V 001 2400 3" << QStringList{"1.000", "1.050"} << d2
                                      << QStringList() << 5 << QStringList{"F189"} << "minimum input span for Voltage";
        QTest::newRow("no reply") << QStringList{"--silent-prefix", "F189"} << "I 001 2400 3" << i2 << d2
                                  << QStringList() << 1 << QStringList{"F189"} << "Error Detected";
        QTest::newRow("refused") << QStringList{"--refuse", "37P=2"} << "I 001 2400 3" << i2 << d2 << QStringList()
                                 << 1 << QStringList{"F189", "38001", "201130", "37P3"} << "Error writing output option";
        QTest::newRow("failed points") << QStringList{"--silent-prefix", "2A301", "--refuse", "2A304=3"} << "I 001 2400 3"
                                       << ramp(4, 4, 3, 5) << ramp(0, 25, 3, 5) << QStringList() << 1
                                       << QStringList{"F189", "38001", "201130", "37P3", "48L05", "2A3014000",
                                                      "2A30312000", "2A10350000", "2A30416000", "2A30520000",
                                                      "2A105100000", "33I"}
                                       << "Serial port timeout: OOwr.";
        QTest::newRow("old firmware") << QStringList{"--old-firmware"} << "I 001 2400 3" << i2 << d2 << QStringList()
                                      << 10 << QStringList{"F189"} << "firmware Ver. 1.100";
        QTest::newRow("missing port") << QStringList() << "I 001 2400 3" << i2 << d2
                                      << QStringList{"--port", "/dev/talvo-none"} << 11 << QStringList{""}
                                      << "PC Comm Port 1 (/dev/talvo-none) cannot be used.\nReason: No such file";
        QTest::newRow("unreadable settings") << QStringList() << "I 001 2400 3" << i2 << d2
                                             << QStringList{"--settings", "/nonexistent/s.txt"} << 64 << QStringList{""}
                                             << "/nonexistent/s.txt could not be opened";
    }
    void run()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, setup);
        QFETCH(QStringList, in);
        QFETCH(QStringList, out);
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(QStringList, sent);
        QFETCH(QString, message);
        const QStringList s = setup.split(' ');
        auto sim = meter(simOptions);
        Job job(s[0][0], s[1], s[2], s[3].toInt(), in, out, s.value(4));
        job.start(sim->devicePath(), extra);
        QVERIFY(job.finish());
        const QString err = job.err();
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(job.process.exitCode(), status);
        if (sent.isEmpty())
            sent = fullRun(s[0][0], s[1], s[3].toInt(), in, out);
        sent.removeAll(QString());
        QCOMPARE(sim->received(), sent);
        QCOMPARE(sim->rawReceived(), frames(sent, s[1]));
    }

    // Two rigs at once, each on its own meter, logging to one file.
    void twoAtOnceWithLog()
    {
        auto simA = meter(), simB = meter({"--address", "002"});
        Job a('I', "001", "2400", 3, {"4.000", "20.000"}, {"0.000", "100.000"});
        Job b('V', "002", "2400", 2, {"0.000", "5.000"}, {"1.00", "2.00"});
        const QString log = a.dir.filePath("runs.csv");
        a.start(simA->devicePath(), {"--log", log});
        b.start(simB->devicePath(), {"--log", log});
        QVERIFY(a.finish() && b.finish());
        QCOMPARE(a.process.exitCode() + b.process.exitCode(), 0);
        QCOMPARE(simA->rawReceived(), frames(fullRun('I', "001", 3, {"4.000", "20.000"}, {"0.000", "100.000"}), "001"));
        QCOMPARE(simB->rawReceived(), frames(fullRun('V', "002", 2, {"0.000", "5.000"}, {"1.00", "2.00"}), "002"));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("time,device,address,input,decimal,points,result,exit"));
        const QString lineA = lines[1].contains(simA->devicePath()) ? lines[1] : lines[2];
        QCOMPARE(lineA.section(',', 1), simA->devicePath() + ",001,Current,ddd.ddd,2,programmed,0");
        QVERIFY(QDateTime::fromString(lineA.section(',', 0, 0), Qt::ISODate).isValid());
    }

    // A dry run opens nothing, so a port held by another program does not stop it;
    // a real run on that port is told the port is busy.
    void dryRunAndBusyPort()
    {
        auto sim = meter();
        QSerialPort holder(sim->devicePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        Job job('I', "001", "2400", 3, {"4.000", "20.000"}, {"0.000", "100.000"});
        job.start(sim->devicePath(), {"--dry-run"});
        QVERIFY(job.finish());
        QCOMPARE(job.process.exitCode(), 0);
        const QStringList lines = QString::fromLatin1(job.process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const QStringList commands = fullRun('I', "001", 3, {"4.000", "20.000"}, {"0.000", "100.000"});
        QCOMPARE(lines.size(), commands.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(frames({commands[i]}, "001").toHex(' ').toUpper() + "  <SOH>001" + commands[i]),
                     qPrintable(lines[i]));
        QVERIFY(sim->rawReceived().isEmpty());

        job.start(sim->devicePath());
        QVERIFY(job.finish());
        QCOMPARE(job.process.exitCode(), 11);
        const QString err = job.err();
        QVERIFY2(err.contains(sim->devicePath()) && err.contains("busy"), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestProgramCli)
#include "test_program_cli.moc"
