// `talvo-linearizer program`: the real executable with no display, against simulated
// meters on pseudo-terminals: the bytes on the wire, exit status, messages, dry run, log.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <csignal>
#include <sys/stat.h>

#include "common/ProgramEnvironment.h"
#include "common/Ser2net.h"
#include "files/SettingsFile.h"
#include "programming/RunRecord.h"
#include "meter-sim/SimulatedMeter.h"
#include "meter-sim/SimulatorOptions.h"
#include "spreadsheet/Workbook.h"
#include "table/ValueRules.h"

namespace {
QByteArray frames(const QStringList& commands, const QString& address)
{
    QByteArray out;
    for (const QString& c : commands)
        out += '\x01' + address.toLatin1() + c.toLatin1() + MeterModel::checksum(c.toLatin1()).toLatin1() + '\x03';
    return out;
}

// Every command of a full run of the two-point Current table In -> Out at this address.
QStringList currentRun(const QString& address)
{
    return QStringLiteral("F189 38%1 201130 37P3 48L02 2A3014000 2A30220000 2A1010000 2A102100000 33I").arg(address).split(' ');
}

// A workbook of the table In -> Out, the display column formatted with that many decimals.
void writeWorkbook(const QString& path, const QStringList& in, const QStringList& out, int decimals)
{
    Spreadsheet::Application app;
    Spreadsheet::Sheet& sheet = app.Add().ActiveSheet();
    sheet.setNumberFormat("B1:B32", decimals ? "0." + QString(decimals, u'0') : "0");
    for (int r = 0; r < in.size(); ++r)
        sheet.Select(QStringLiteral("A%1").arg(r + 1)), sheet.Paste(in[r] + '\t' + out[r]);
    app.SaveCopyAs(path);
}

// A settings file and a workbook in a private folder, and the program run on them.
struct Job {
    QTemporaryDir dir;
    QProcess process;
    QString settings = dir.filePath("s.txt"), table = dir.filePath("t.xlsx");
    Job(const QString& setup, const QStringList& in, const QStringList& out)
    {
        const QStringList s = setup.split(' ');
        const int decimals = s[3].toInt();
        SettingsFile::Save(settings, {ValueRules::decimalFormats()[decimals], s[1], "1", s[2],
                                      QString::number(in.size()), s[0] == "V", s[0] == "I"});
        writeWorkbook(table, in, out, decimals);
        QProcessEnvironment env = programEnvironment(dir.path());
        if (s.size() > 4)
            env.insert("LC_ALL", s[4]);
        process.setProcessEnvironment(env);
    }
    ~Job() { process.kill(), process.waitForFinished(); }
    // "@fsize" in extra: files cannot grow past 1 KiB (SIGXFSZ ignored), as on a full disk;
    // "@noplugin": a display plugin that does not exist, which would end a GUI application.
    void start(const QString& device, QStringList extra = {})
    {
        const bool full = extra.removeAll("@fsize") > 0;
        if (extra.removeAll("@noplugin") > 0) {
            QProcessEnvironment env = process.processEnvironment();
            env.insert("QT_QPA_PLATFORM", "no-such-plugin");
            process.setProcessEnvironment(env);
        }
        const QStringList args = QStringList{"program", "--settings", settings, "--table", table} + (extra.contains("--port") ? extra : extra + QStringList{"--port", device});
        if (full)
            process.start("bash", QStringList{"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", LINEARIZER_EXE} + args);
        else
            process.start(LINEARIZER_EXE, args);
    }
    // Waits with the event loop running, so that the simulated meters answer.
    bool finish() { return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000); }
};

const QStringList In{"4.000", "20.000"}, Out{"0.000", "100.000"};

// A lock file of the device left in any of the lock folders.
bool lockLeft(const QString& device)
{
    const QString lock = "LCK.." + device.mid(5).replace('/', '_');
    for (const char* dir : {"/var/lock", "/run/lock", "/tmp"})
        if (QFileInfo::exists(QDir(dir).filePath(lock)))
            return true;
    return false;
}
QStringList logLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
}
// A log line's fields (every one quoted; none of ours holds a quote).
QStringList fields(const QString& line) { return line.size() < 2 ? QStringList() : line.mid(1).chopped(1).split("\",\""); }
// The record files a log line names; "" for one that is not complete (a JSON object, a PDF to its end).
QStringList completeRecords(const QString& line)
{
    QStringList files = fields(line).value(9).split(' ', Qt::SkipEmptyParts);
    std::stable_partition(files.begin(), files.end(), [](const QString& path) { return path.endsWith(".pdf"); }); // PDF, then JSON
    for (QString& path : files) {
        QFile f(path);
        const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (path.endsWith(".pdf") ? !b.startsWith("%PDF") || !b.trimmed().endsWith("%%EOF") : !QJsonDocument::fromJson(b).isObject())
            path.clear();
    }
    return files;
}
QJsonObject jsonOf(const QString& path) { QFile f(path); return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject(); }
} // namespace

class TestProgramCli : public QObject {
    Q_OBJECT
    static std::unique_ptr<SimulatedMeter> meter(const QStringList& options = {})
    {
        auto sim = SimulatedMeter::start(SimulatorOptions::parse(options).config);
        return sim ? std::move(sim) : (qFatal("no simulated meter"), nullptr);
    }
private slots:
    void run_data()
    {
        // setup: "TYPE ADDRESS BAUD DECIMALS [LOCALE]"; sent: the commands the meter receives ("-": none;
        // "~": on the wire, but damaged on the way)
        for (const char* column : {"sim", "setup", "table", "extra", "sent", "message"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("status");
        auto row = [](const char* name, const QString& sim, const QString& setup, const QString& table, const QString& extra,
                      const QString& sent, const QString& message, int status) {
            QTest::newRow(name) << sim << setup << table << extra << sent << message << status;
        };
        const QString ok = QStringLiteral("   Information has been successfully sent to the meter!"), I = "I 001 2400 3";
        const QString all = currentRun("001").join(' ');
        // Inputs 1 and 2, displays 1 and 2, then input and display of each further point.
        row("32 points", "--address 247 --baud 19200", "V 247 19200 3", "ramp", "",
            "F189 38247 200030 37P3 48L32 2A201-8000 2A202-7500 2A0010000 2A0023000 2A203-7000 2A0036000 2A204-6500 "
            "2A0049000 2A205-6000 2A00512000 2A206-5500 2A00615000 2A207-5000 2A00718000 2A208-4500 2A00821000 "
            "2A209-4000 2A00924000 2A210-3500 2A01027000 2A211-3000 2A01130000 2A212-2500 2A01233000 2A213-2000 "
            "2A01336000 2A214-1500 2A01439000 2A215-1000 2A01542000 2A216-0500 2A01645000 2A2170000 2A01748000 "
            "2A2180500 2A01851000 2A2191000 2A01954000 2A2201500 2A02057000 2A2212000 2A02160000 2A2222500 "
            "2A02263000 2A2233000 2A02366000 2A2243500 2A02469000 2A2254000 2A02572000 2A2264500 2A02675000 "
            "2A2275000 2A02778000 2A2285500 2A02881000 2A2296000 2A02984000 2A2306500 2A03087000 2A2317000 "
            "2A03190000 2A2327500 2A03293000 33V",
            ok, 0);
        row("pulse", "", "P 001 2400 4", "0.0:0.0000 1000.0:-9.9999", "",
            "F189 38001 208010 37P4 48L02 2A20100 2A20210000 2A00100000 2A002-99999 33V", ok, 0);
        row("german locale", "", "I 001 2400 3 de_DE.UTF-8", "", "", all, ok, 0);
        // A firmware reply without a version is no meter's.
        const QString checklist = "Please verify the following conditions";
        row("Z to firmware query", "--refuse F189=0", I, "", "", "F189", checklist, 1);
        row("firmware text without a version", "--firmware 1.1", I, "", "", "F189", checklist, 1);
        row("missing value", "", I, "4.000:1.000 20.000:", "", "F189", "Missing Point Value", 2);
        row("voltage span", "", "V 001 2400 3", "1.000:0.000 1.050:1.000", "", "F189", "minimum input span for Voltage", 5);
        row("no reply", "--silent-prefix F189", I, "", "", "F189", "Error Detected", 1);
        row("refused", "--refuse 37P=2", I, "", "", "F189 38001 201130 37P3", "Error writing output option", 1);
        row("echo", "--echo", I, "", "", all, ok, 0);
        row("echo, no meter", "--echo --silent-prefix F189", I, "", "", "F189", "Error Detected", 1);
        row("echo, a byte before it, no meter", "--echo-glitch before --silent-prefix F189", I, "", "", "F189", "Error Detected", 1);
        row("echo, its SOH lost", "--echo-glitch lost", I, "", "", all, ok, 0);
        row("echo, a byte before it, refused", "--echo-glitch before --refuse 37P=2", I, "", "", "F189 38001 201130 37P3",
            "Error writing output option", 1);
        // Line faults while the meter misses a command: each ends with the checklist after the timeout.
        row("stray ETX", "--stray-etx 4", I, "", "", "F189 38001 201130 37P3", checklist, 1);
        row("another meter answers", "--foreign 3=007", I, "", "", "F189 38001 201130", checklist, 1);
        row("meter restarts", "--boot-on 5", I, "", "", "F189 38001 201130 37P3 48L02", checklist, 1);
        // A damaged echo, a damaged refusal and a noise burst are no acknowledgement.
        row("one bit flipped, echo, SOH", "--echo --reply-start soh --flip-on 4 --seed 7", I, "", "", "F189 38001 201130 ~37P3", checklist, 1);
        row("one bit flipped, echo, no start", "--echo --reply-start none --flip-on 6", I, "", "", "F189 38001 201130 37P3 48L02 ~2A3014000 33I",
            "did not take 4 of the point values", 1);
        row("refusal's Z flipped", "--flipped-refusal-on 3 --seed 3", I, "", "", "F189 38001 201130", checklist, 1);
        // A point that fails alone fails the run; the values it leaves unsent count as not taken.
        row("noise burst for point 1", "--noise-on 6 --seed 5", I, "", "", "F189 38001 201130 37P3 48L02 2A3014000 33I",
            "did not take 4 of the point values", 1);
        row("firmware 01.099", "--firmware 01.099", I, "", "", "F189", "firmware Ver. 1.100", 10);
        row("echo, old firmware", "--echo --old-firmware", I, "", "", "F189", "firmware Ver. 1.100", 10);
        row("echo, refused point", "--echo --refuse 2A102=3", I, "", "", all, "did not take 1 of the point values", 1);
        row("repeated reply, then silence", "--duplicate 2A102 --silent-prefix 33I", I, "", "", all, "Error Detected", 1);
        const QString five = "4.000:0.000 8.000:25.000 12.000:50.000 16.000:75.000 20.000:100.000";
        row("dead line", "--silent-prefix 2A", I, five, "", "F189 38001 201130 37P3 48L05 2A3014000 2A30312000",
            "Please verify the following conditions", 1);
        row("one silent point", "--silent-on 9", I, "", "", all, "did not take 1 of the point values", 1);
        row("failed points", "--silent-prefix 2A301 --refuse 2A304=3", I, five, "",
            "F189 38001 201130 37P3 48L05 2A3014000 2A30312000 2A10350000 2A30416000 2A30520000 2A105100000 33I",
            "Serial port timeout: OOwr.", 1);
        row("old firmware", "--old-firmware", I, "", "", "F189", "firmware Ver. 1.100", 10);
        row("missing port", "", I, "", "--port /dev/x0", "-", "PC Comm Port 1 (/dev/x0) cannot be used.\nReason: No such", 11);
        // A dry run opens nothing, so a port held by another program does not stop it.
        const QString dry = "Dry run: nothing was sent to the meter";
        row("dry run", "", I, "", "--dry-run @busy", "-", dry, 0);
        // Neither a run nor a dry run needs a display plugin.
        row("no display plugin", "", I, "", "@noplugin", all, ok, 0);
        row("dry run, no display plugin", "", I, "", "--dry-run @noplugin", "-", dry, 0);
        row("busy port", "", I, "", "@busy", "-", "LCK..pts_$PTS), held by test_program_cli (pid $PID)\n", 11);
        row("log in a missing folder", "", I, "", "--log /none/runs.csv", "-", "cannot write the log /none/runs.csv: No such file or directory; nothing was sent", 64);
        row("log on a full disk", "", I, "", "--log $DIR/full.csv --no-history @fsize", all, "the run succeeded, but its log line is missing (exit status 12)", 12);
        row("unreadable settings", "", I, "", "--settings /none/s.txt", "-", "/none/s.txt could not be opened", 64);
        // Only plain files: a FIFO or a device is refused at once, never read, written or replaced.
        row("log to a device", "", I, "", "--log /dev/full", "-", "cannot write the log /dev/full: /dev/full is a device, not a plain file; nothing was sent", 64);
        row("log to a FIFO", "", I, "", "--log $FIFO", "-", "cannot write the log $FIFO: $FIFO is a FIFO, not a plain file; nothing was sent", 64);
        row("table from a FIFO", "", I, "", "--table $FIFO", "-", "$FIFO cannot be read: $FIFO is a FIFO, not a plain file", 64);
        row("settings from a device", "", I, "", "--settings /dev/zero", "-", "/dev/zero could not be opened.\nIt is a device, not a plain file", 64);
        row("text in the workbook", "", I, "x:0.000 20.000:100.000", "", "-",
            "Invalid Scale Value\nScale input value must be between 0.000 and 23.000 (mA) for Current\nCell A1 of ", 64);
        row("display out of range", "", I, "4.000:0.000 20.000:1000", "", "F189",
            "Invalid Display Value\nDisplay value must be between -99.999 and 999.999 for selected decimal pt.\nPoint 2 is outside this range.", 13);
    }
    void run()
    {
        QFETCH(QString, sim);
        QFETCH(QString, setup);
        QFETCH(QString, table);
        QFETCH(QString, extra);
        QFETCH(QString, sent);
        QFETCH(QString, message);
        auto meter = this->meter(sim.split(' ', Qt::SkipEmptyParts));
        QTemporaryDir files;
        const QString fifo = files.filePath("fifo");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QFile full(files.filePath("full.csv")); // a log already as large as the files may grow
        QVERIFY(full.open(QIODevice::WriteOnly) && full.write(QByteArray(1000, '\n')) == 1000);
        full.close();
        for (QString* text : {&message, &extra})
            text->replace("$FIFO", fifo).replace("$DIR", files.path());
        message.replace("$PID", QString::number(QCoreApplication::applicationPid())).replace("$PTS", meter->devicePath().section('/', -1));
        QSerialPort holder(meter->devicePath());
        QVERIFY(!extra.contains("@busy") || holder.open(QIODevice::ReadWrite));
        QStringList in = table.isEmpty() ? In : QStringList(), out = in.isEmpty() ? QStringList() : Out;
        for (int p = 0; table == "ramp" && p < 32; ++p)
            in << QString::number(p * 0.5 - 8, 'f', 3), out << QString::number(p * 3.0, 'f', 3);
        if (table.contains(':'))
            in = out = table.split(' ');
        Job job(setup, in.replaceInStrings(QRegularExpression(":.*"), ""), out.replaceInStrings(QRegularExpression(".*:"), ""));
        job.start(meter->devicePath(), extra.remove(" @busy").remove("@busy").split(' ', Qt::SkipEmptyParts));
        QVERIFY(job.finish());
        const QString err = QString::fromUtf8(job.process.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
        QTEST(job.process.exitCode(), "status");
        const bool programmed = job.process.exitCode() == 0 || job.process.exitCode() == 12;
        // Success is never claimed for a failed run, nor for a dry run.
        QCOMPARE(err.contains("successfully sent to the meter"), programmed && !extra.contains("--dry-run"));
        // A dry run prints each frame as hex bytes and as text.
        const QStringList lines = QString::fromLatin1(job.process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const QStringList dry = extra.contains("--dry-run") ? currentRun("001") : QStringList();
        QCOMPARE(lines.size(), dry.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(frames({dry[i]}, "001").toHex(' ').toUpper() + "  <SOH>001" + dry[i]), qPrintable(lines[i]));
        QStringList wire = sent.split(' ').filter(QRegularExpression("^[^-]"));
        QCOMPARE(meter->received(), wire.filter(QRegularExpression("^[^~]")));
        QCOMPARE(meter->rawReceived(), frames(wire.replaceInStrings("~", ""), setup.section(' ', 1, 1)));
        // A run that says it programmed the meter left every point in it.
        for (int p = 0; programmed && !extra.contains("--dry-run") && p < in.size(); ++p)
            QCOMPARE(meter->displayFor(in[p]), out[p]);
    }

    // A settings file value that no list offers: status 64 naming the line, nothing opened or
    // sent (no --port: the file's port is the one to use). The log holds no live formula.
    void refusedSettings_data()
    {
        for (const char* column : {"address", "port", "baud", "points", "fault", "logged"})
            QTest::addColumn<QString>(column);
        auto row = [](const char* name, const char* address, const char* port, const char* baud, const char* points, const char* fault,
                      const char* logged) { QTest::newRow(name) << address << port << baud << points << fault << logged; };
        row("two input types", "001", "1", "2400", "2", "line 20: Voltage (line 19) and Current (line 20) are both \"True\"", ",\"001\",\"Current\",");
        row("address 250", "250", "1", "2400", "2", "line 8: The meter address \"250\"", ",\"250\",");
        row("address empty", "", "1", "2400", "2", "line 8: The meter address \"\"", ",\"\",");
        row("address formula", "=HYPERLINK(\"http://x\",\"y\")", "1", "2400", "2", "line 8: The meter address \"=HYPERLINK",
            ",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",");
        row("baud 12345", "001", "1", "12345", "2", "line 14: The baud rate \"12345\"", ",\"2\",");
        row("33 points", "001", "1", "2400", "33", "line 17: The number of points \"33\"", ",\"33\",");
        row("-5 points", "001", "1", "2400", "-5", "line 17: The number of points \"-5\"", ",\"-5\",");
        row("points formula", "001", "1", "2400", "@SUM(1)", "line 17: The number of points \"@SUM(1)\"", ",\"'@SUM(1)\",");
        row("port 17", "001", "17", "2400", "2", "line 11: The port number \"17\" is not one of 1 to 16.", ",\"001\",");
        row("port 0", "001", "0", "2400", "2", "line 11: The port number \"0\"", ",\"001\",");
        row("port abc", "001", "abc", "2400", "2", "line 11: The port number \"abc\"", ",\"001\",");
    }
    void refusedSettings()
    {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QString, baud);
        QFETCH(QString, points);
        QFETCH(QString, fault);
        QFETCH(QString, logged);
        Job job("I 001 2400 3", In, Out);
        job.settings = job.dir.filePath("s %1%2.txt"); // a "%" in the name is text in every message
        QVERIFY(SettingsFile::Save(job.settings, {"ddd.ddd", address, port, baud, points, fault.contains("both"), true}));
        const QString log = job.dir.filePath("runs.csv");
        job.process.start(LINEARIZER_EXE, {"program", "--settings", job.settings, "--table", job.table, "--log", log});
        QVERIFY(job.finish());
        QCOMPARE(job.process.exitCode(), 64);
        const QString err = QString::fromUtf8(job.process.readAllStandardError());
        QVERIFY2(err.contains(job.settings + " " + fault) && err.contains("(exit status 64)"), qPrintable(err));
        const QString line = logLines(log).value(1);
        QVERIFY2(line.contains(logged) && line.contains(",\"settings file value refused\",\"64\","), qPrintable(line));
    }

    // Ctrl+C or SIGTERM during a reply wait, once or twice, or twice while the record is written:
    // the run ends there, lets go of the port (no lock file left) and still writes its whole record
    // and log line; the command in flight was sent, its outcome unknown.
    void interruptedRunKeepsItsRecord_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("when"); // the command the meter leaves unanswered, or "record"
        QTest::newRow("SIGTERM in a reply wait") << int(SIGTERM) << 1 << "37P3";
        QTest::newRow("two SIGINTs in a reply wait") << int(SIGINT) << 2 << "F189";
        QTest::newRow("two SIGINTs while the record is written") << int(SIGINT) << 2 << "record";
    }
    void interruptedRunKeepsItsRecord()
    {
        QFETCH(int, signal);
        QFETCH(int, count);
        QFETCH(QString, when);
        auto sim = meter(when == "record" ? QStringList() : QStringList{"--silent-prefix", when});
        Job job("I 001 2400 3", In, Out);
        const QString log = job.dir.filePath("runs.csv");
        job.start(sim->devicePath(), {"--record", job.dir.path(), "--log", log});
        job.process.setReadChannel(QProcess::StandardError);
        QVERIFY(QTest::qWaitFor([&] { return when == "record" ? job.process.peek(1 << 16).contains("successfully sent") : sim->received().contains(when); }, 10000));
        for (int i = 0; i < count; ++i) // apart, or the second would merge with the first while pending
            QTest::qWait(i * 20), ::kill(pid_t(job.process.processId()), signal);
        QVERIFY(job.finish());
        const QString line = logLines(log).value(1);
        const bool interrupted = fields(line).value(6) == "interrupted";
        QVERIFY2(interrupted ? job.process.exitCode() == 1 : when == "record" && fields(line).value(6) == "programmed", qPrintable(line));
        const QStringList records = completeRecords(line);
        const QJsonObject r = jsonOf(records.value(1)), last = r["commands"].toArray().last().toObject();
        QVERIFY(records.size() == 2 && !records.contains(QString()));
        QCOMPARE(r["result"]["text"].toString().startsWith("Interrupted"), interrupted);
        QVERIFY(when == "record" || last["outcome"].toString() + ' ' + last["command"].toString() == "sent, outcome unknown " + when);
        QVERIFY(!lockLeft(sim->devicePath()));
    }

    // Standard error read by "head -3": the closed pipe does not end the run, which goes on to
    // its log line and lets go of the port.
    void closedPipeEndsNothing()
    {
        auto sim = meter();
        Job job("I 001 2400 3", In, Out);
        const QString log = job.dir.filePath("runs.csv");
        job.process.start("bash", {"-c", "\"$@\" 2>&1 | head -3; exit ${PIPESTATUS[0]}", "bash", LINEARIZER_EXE, "program", "--settings",
                                   job.settings, "--table", job.table, "--port", sim->devicePath(), "--log", log});
        QVERIFY(job.finish());
        QCOMPARE(job.process.readAllStandardOutput().count('\n'), 3);
        QCOMPARE(job.process.exitCode(), 0);
        QCOMPARE(sim->received(), currentRun("001"));
        QVERIFY(logLines(log).value(1).contains(",\"programmed\",\"0\","));
        QVERIFY(!lockLeft(sim->devicePath()));
    }

    // Two rigs at once, each on its own meter, logging to one file. One settings file serves
    // both: --address and --baud name each meter's own, as on a bus. A device path holding a
    // line break is logged with "\n": one run, one line.
    void twoAtOnceWithLog()
    {
        auto simA = meter(), simB = meter({"--address", "012", "--baud", "9600"});
        Job a("I 001 2400 3", In, Out), b("I 001 2400 3", In, Out);
        const QString log = a.dir.filePath("runs.csv"), linkB = b.dir.filePath("adapter\nB");
        QVERIFY(QFile::link(simB->devicePath(), linkB));
        a.start(simA->devicePath(), {"--log", log});
        b.start(linkB, {"--log", log, "--address", "12", "--baud", "9600"});
        QVERIFY(a.finish() && b.finish());
        QCOMPARE(a.process.exitCode() + b.process.exitCode(), 0);
        const QStringList lines = logLines(log);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("time,device,address,input,decimal,points,result,exit,table_sha256,record"));
        QVERIFY(QDateTime::fromString(lines[1].section(',', 0, 0).remove('"'), Qt::ISODate).isValid());
        for (const auto& [sim, device, address] :
             {std::tuple{simA.get(), simA->devicePath(), "001"}, std::tuple{simB.get(), QString(linkB).replace('\n', "\\n"), "012"}}) {
            QCOMPARE(sim->rawReceived(), frames(currentRun(address), address));
            QCOMPARE(lines.filter(device).value(0).section(',', 1),
                     '"' + device + "\",\"" + address + "\",\"Current\",\"ddd.ddd\",\"2\",\"programmed\",\"0\",\"" +
                         Record::tableSha256({{In[0], Out[0]}, {In[1], Out[1]}}) + "\",\"\"");
        }
    }

    // Through Debian's ser2net on 127.0.0.1 in front of the meter's pty (19200 baud). Over RFC 2217
    // the server opens the line at 9600 and the run sets 19200 through it; raw TCP runs at the
    // server's 19200. A closed port and a busy server (its one connection held) send nothing; a
    // server killed during the run never yields "programmed".
    void network_data()
    {
        QTest::addColumn<QString>("port"); // "rfc2217", "tcp", "closed", "busy", "killed"
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("status");
        QTest::newRow("RFC 2217") << "rfc2217" << "successfully sent to the meter" << 0;
        QTest::newRow("raw TCP") << "tcp" << "successfully sent to the meter" << 0;
        QTest::newRow("connection refused") << "closed" << "Reason: connection refused by 127.0.0.1:" << 11;
        QTest::newRow("busy") << "busy" << "Reason: busy: 127.0.0.1:" << 11;
        QTest::newRow("server killed during the run") << "killed" << "closed the connection); the meter is not programmed" << 1;
    }
    void network()
    {
        QFETCH(QString, port);
        QFETCH(QString, message);
        auto sim = meter({"--baud", "19200"});
        Ser2net server;
        const QString why = server.start(sim->devicePath(), port == "tcp" ? 19200 : 9600);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QTcpSocket holder; // the server's option negotiation comes once the connection is its one
        QVERIFY(port != "busy" || (holder.connectToHost(QHostAddress::LocalHost, server.rfc2217), holder.waitForReadyRead(20000)));
        if (port == "killed")
            connect(sim.get(), &SimulatedMeter::commandReceived, this, [&](const QString& command) {
                if (command.startsWith("2A1"))
                    server.stop();
            });
        Job job("I 001 19200 3", In, Out);
        const QString log = job.dir.filePath("runs.csv"), record = job.dir.filePath("run.json");
        job.start(port == "closed" ? QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2net::freePort()) : server.url(port != "tcp"),
                  {"--log", log, "--record", record});
        QVERIFY(job.finish());
        const int status = job.process.exitCode();
        const QString result = status == 0 ? "programmed" : status == 1 ? "port lost" : "port unavailable";
        QVERIFY2(logLines(log).value(1).contains(QStringLiteral(",\"%1\",\"%2\",").arg(result).arg(status)), qPrintable(logLines(log).value(1)));
        QFile json(record); // written when something was sent
        QCOMPARE(json.open(QIODevice::ReadOnly), status != 11);
        QVERIFY(status == 11 || QJsonDocument::fromJson(json.readAll())["result"]["text"].toString().contains(message));
        const QString err = QString::fromUtf8(job.process.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
        QTEST(job.process.exitCode(), "status");
        QCOMPARE(err.contains("(exit status 0)"), status == 0);
        if (status != 1)
            QCOMPARE(sim->rawReceived(), status ? QByteArray() : frames(currentRun("001"), "001"));
    }

    // A search through RFC 2217 changes the line's rate at the server: the meter at 19200 is
    // found after 9600 was tried. Over raw TCP the server's 9600 is the one rate, and it says so.
    void networkScan_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QByteArray>("found");
        QTest::newRow("RFC 2217") << true << QByteArray("at 9600 baud: address 001") << QByteArray("002\t19200\t01.100\n");
        QTest::newRow("raw TCP") << false << QByteArray("searching at 9600 baud only") << QByteArray();
    }
    void networkScan()
    {
        QFETCH(bool, rfc2217);
        auto sim = meter({"--baud", "19200", "--address", "002"});
        Ser2net server;
        const QString why = server.start(sim->devicePath(), 9600);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QTemporaryDir dir;
        QProcess scan;
        scan.setProcessEnvironment(programEnvironment(dir.path()));
        scan.start(LINEARIZER_EXE, QStringList{"scan", "--port", server.url(rfc2217), "--baud", "9600", "--address", "1-3"} +
                                       (rfc2217 ? QStringList{"--baud", "19200"} : QStringList()));
        QVERIFY(QTest::qWaitFor([&] { return scan.state() == QProcess::NotRunning; }, 60000));
        QFETCH(QByteArray, said);
        QVERIFY(scan.readAllStandardError().contains(said));
        QTEST(scan.readAllStandardOutput(), "found");
        QCOMPARE(scan.exitCode(), rfc2217 ? 0 : 1);
    }

    // Two runs on one port started a few milliseconds apart, many times (as root too): never both
    // on the port. The loser stops with status 11 naming the holder; the meter gets whole runs.
    void oneRunPerPort()
    {
        auto sim = meter({"--baud", "19200"});
        QByteArray expected;
        for (int i = 0; i < 6; ++i) {
            Job a("I 001 19200 3", In, Out), b("I 001 19200 3", In, Out);
            a.start(sim->devicePath()), QTest::qWait(i), b.start(sim->devicePath());
            QVERIFY(a.finish() && b.finish());
            for (Job* job : {&a, &b}) {
                const QByteArray err = job->process.readAllStandardError();
                QVERIFY2(job->process.exitCode() == 0 || (job->process.exitCode() == 11 && err.contains("Device or resource busy (") && err.contains(" by ")), err);
                expected += job->process.exitCode() ? QByteArray() : frames(currentRun("001"), "001");
            }
        }
        QCOMPARE(sim->rawReceived(), expected);
    }

    // Rigs at one address writing one folder and one log, twice at once, one of them refused and
    // so retried at once: every run has its own complete PDF and JSON, named in its own log line.
    void recordsOfParallelRuns()
    {
        std::unique_ptr<SimulatedMeter> sims[] = {meter(), meter(), meter({"--refuse", "2A102=3"})};
        QTemporaryDir folder;
        const QString log = folder.filePath("runs.csv");
        for (int round = 0; round < 2; ++round) {
            std::vector<std::unique_ptr<Job>> jobs;
            for (auto& sim : sims)
                jobs.push_back(std::make_unique<Job>("I 001 2400 3", In, Out)),
                    jobs.back()->start(sim->devicePath(), {"--record", folder.path(), "--log", log, "--tag", "TK 7/ä"});
            for (int i = 0; i < 3; ++i)
                QVERIFY(jobs[i]->finish() && jobs[i]->process.exitCode() == (i == 2 ? 1 : 0));
        }
        QSet<QString> ids;
        for (const QString& line : logLines(log).mid(1)) {
            const QStringList files = completeRecords(line);
            const QJsonObject r = jsonOf(files.value(1));
            QVERIFY2(files.size() == 2 && files[0].endsWith("-TK_7__.pdf") && files[1] == files[0].chopped(4) + ".json" &&
                         files[1].contains(r["record_id"].toString().left(8)), qPrintable(line));
            QCOMPARE(r["port"]["device"].toString() + ' ' + QString::number(r["result"]["status"].toInt()), fields(line)[1] + ' ' + fields(line)[7]);
            ids << r["record_id"].toString();
        }
        QCOMPARE(ids.size(), 6); // six log lines, six records of their own
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 13); // and no temporary file
    }

    // A full disk (a small tmpfs): status 12 with the reason; no file under a record's name is
    // cut, none is left half-written, and the log names only the records written.
    void recordsOnAFullDisk()
    {
        auto sim = meter();
        Job job("I 001 2400 3", In, Out);
        const QString disk = job.dir.filePath("disk"), log = job.dir.filePath("runs.csv");
        if (::geteuid() != 0 || !QDir().mkdir(disk) || QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=12k", "tmpfs", disk}) != 0)
            QSKIP("no small tmpfs to fill: mounting one needs root");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk}); });
        job.start(sim->devicePath(), {"--record", disk, "--log", log});
        QVERIFY(job.finish());
        QVERIFY2(job.process.exitCode() == 12 && job.process.readAllStandardError().contains("No space left on device"), "not refused");
        const QStringList records = completeRecords(logLines(log).value(1));
        QVERIFY(!records.contains(QString()));
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden).size(), records.size());
    }

    // Three meters on one bus, each programmed with its own table, log line and records; each
    // takes only the frames to its own address, and the line's log names it.
    void jobOnABus()
    {
        auto bus = meter({"--address", "005", "--address", "009", "--address", "012"});
        QStringList frameLog;
        connect(bus.get(), &SimulatedMeter::logLine, this, [&](const QString& line) { frameLog << line; });
        Job job("I 001 2400 3", In, Out);
        const QStringList addresses{"005", "009", "012"};
        QString rows = "Address;Table;Tag\n";
        for (int i = 0; i < 3; ++i) {
            writeWorkbook(job.dir.filePath(QStringLiteral("tank%1.xlsx").arg(i)), In, {"0.000", QStringLiteral("%1.000").arg(100 * (i + 1))}, 3);
            rows += QStringLiteral("%1;tank%2.xlsx;\"T;%2\"\n").arg(addresses[i].toInt()).arg(i);
        }
        const QString log = job.dir.filePath("runs.csv"), records = job.dir.filePath("records");
        QVERIFY(writeJob(job, rows) && QDir(job.dir.path()).mkdir("records"));
        runJob(job, bus->devicePath(), {"--log", log, "--record", records});
        QCOMPARE(job.process.exitCode(), 0);
        QCOMPARE(job.process.readAllStandardOutput(), QByteArray("005\tT;0\tprogrammed\t0\n009\tT;1\tprogrammed\t0\n012\tT;2\tprogrammed\t0\n"));
        for (int i = 0; i < 3; ++i) {
            QStringList own = currentRun(addresses[i]);
            own[8] = QStringLiteral("2A102%1").arg(100 * (i + 1)) + "000";
            QCOMPARE(bus->received(addresses[i]), own);
            QCOMPARE(bus->displayFor("20.000", addresses[i]), QStringLiteral("%1.000").arg(100 * (i + 1)));
            QVERIFY(!frameLog.filter(QStringLiteral("-> %1 %2 ").arg(addresses[i], own[8])).isEmpty());
        }
        QCOMPARE(logLines(log).size(), 4);
        QCOMPARE(QDir(records).entryList(QDir::Files).size(), 6);
    }

    // A meter that fails stops the job unless --keep-going; the summary names every meter.
    void jobAfterAFailure_data()
    {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("status");
        const QStringList bus{"--address", "005", "--address", "009"};
        QTest::newRow("missing meter") << bus << "" << "005\t\tprogrammed\t0\n007\t\tfailed\t1\n009\t\tnot started\t-\n" << 1;
        QTest::newRow("missing meter, keep going") << bus << "--keep-going" << "005\t\tprogrammed\t0\n007\t\tfailed\t1\n009\t\tprogrammed\t0\n" << 1;
        QTest::newRow("old firmware") << bus + QStringList{"--old-firmware"} << "" << "005\t\tfailed\t10\n007\t\tnot started\t-\n009\t\tnot started\t-\n" << 10;
        QTest::newRow("missing port") << bus << "--port /dev/none" << "005\t\tfailed\t11\n007\t\tnot started\t-\n009\t\tnot started\t-\n" << 11;
    }
    void jobAfterAFailure()
    {
        QFETCH(QStringList, sim);
        QFETCH(QString, extra);
        QFETCH(QString, summary);
        auto bus = meter(sim);
        Job job("I 001 2400 3", In, Out);
        QVERIFY(writeJob(job, "address,table,\n5,t.xlsx\n,,\n7,t.xlsx\n9,t.xlsx,\n")); // a spreadsheet's separators
        runJob(job, bus->devicePath(), extra.split(' ', Qt::SkipEmptyParts));
        QCOMPARE(QString::fromUtf8(job.process.readAllStandardOutput()), summary);
        QTEST(job.process.exitCode(), "status");
        QCOMPARE(bus->received("009").isEmpty(), summary.contains("009\t\tnot started"));
    }

    // A row that cannot be run refuses the whole job: status 64 naming the row, nothing sent.
    void jobRefused_data()
    {
        QTest::addColumn<QString>("rows"); // after the first meter's row
        QTest::addColumn<QString>("fault");
        QTest::newRow("address 300") << "300;t.xlsx" << "row 3: the address \"300\" is not 1 to 247";
        QTest::newRow("address twice") << "005;t.xlsx" << "row 3: the address 005 is row 2's too";
        QTest::newRow("missing workbook") << "9;none.xlsx" << "row 3: workbook unreadable";
        QTest::newRow("display out of range") << "9;wide.xlsx" << "row 3: Invalid Display Value: Display value must be between -99.999 and 999.999 for selected decimal pt. Point 2 is outside this range; nothing";
        QTest::newRow("baud rate") << "9;t.xlsx;1234" << "row 3: the baud rate \"1234\" is not 300, 600";
        QTest::newRow("open quote") << "9;\"t.xlsx" << "row 3: a double quote is not closed";
    }
    void jobRefused()
    {
        QFETCH(QString, rows);
        QFETCH(QString, fault);
        auto bus = meter({"--address", "005", "--address", "009"});
        Job job("I 001 2400 3", In, Out);
        writeWorkbook(job.dir.filePath("wide.xlsx"), In, {"0.000", "1000"}, 3);
        QVERIFY(writeJob(job, "address;table;baud\n5;t.xlsx\n" + rows + "\n"));
        runJob(job, bus->devicePath());
        QCOMPARE(job.process.exitCode(), 64);
        const QString err = QString::fromUtf8(job.process.readAllStandardError());
        QVERIFY2(err.contains("job.csv " + fault) && err.contains("; nothing was sent to any meter"), qPrintable(err));
        QVERIFY(job.process.readAllStandardOutput().isEmpty());
        QVERIFY(bus->rawReceived().isEmpty());
    }

private:
    static bool writeJob(Job& job, const QString& rows)
    {
        QFile file(job.dir.filePath("job.csv"));
        return file.open(QIODevice::WriteOnly) && file.write(rows.toUtf8()) == rows.toUtf8().size();
    }
    static void runJob(Job& job, const QString& device, const QStringList& extra = {})
    {
        job.process.start(LINEARIZER_EXE, QStringList{"program", "--job", job.dir.filePath("job.csv"), "--settings", job.settings} +
                                              (extra.contains("--port") ? extra : extra + QStringList{"--port", device}));
        QVERIFY(job.finish());
    }
};

QTEST_GUILESS_MAIN(TestProgramCli)
#include "test_program_cli.moc"
