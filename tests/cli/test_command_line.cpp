// The command-line conventions of both executables: wrong usage exits 64 with one line,
// and every option their parsers know is in --help, the manual page and the completion.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "cli/CommandLine.h"
#include "common/ProgramEnvironment.h"
#include "meter-sim/SimulatorOptions.h"

namespace {
QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
// A completion script's branch for a command, from "NAME)" at the start of a line to ";;",
// after what the script says before its first case (shared by every command).
QString section(const QString& script, const QString& command)
{
    const QString label = command.isEmpty() ? QStringLiteral("\\*") : QRegularExpression::escape(command);
    return QRegularExpression("\n\\s*" + label + "\\)(.*?);;", QRegularExpression::DotMatchesEverythingOption)
        .match(script)
        .captured(1).prepend(script.left(script.indexOf(QRegularExpression("\n\\s*case "))));
}
} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void usageErrorIsOneLine_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fault"); // part of the one line
        const QString L = LINEARIZER_EXE, S = METER_SIM_EXE;
        QTest::newRow("window: unknown option") << L << QStringList{"--bogus"} << "'bogus'";
        QTest::newRow("window: missing value") << L << QStringList{"--port"} << "'--port'";
        QTest::newRow("window: bad mapping") << L << QStringList{"--port", "17=/dev/x"} << "17=/dev/x";
        QTest::newRow("window: program's option") << L << QStringList{"--settings", "s.txt"} << "--settings belongs to \"program\"";
        QTest::newRow("window: stray argument") << L << QStringList{"flash"} << "\"flash\"";
        QTest::newRow("program: unknown option") << L << QStringList{"program", "--bogus"} << "'bogus'";
        QTest::newRow("program: missing value") << L << QStringList{"program", "--table", "t.xlsx", "--settings"} << "'--settings'";
        QTest::newRow("program: no table") << L << QStringList{"program", "--settings", "s.txt"} << "--table";
        QTest::newRow("program: port 0") << L << QStringList{"program", "--settings", "s", "--table", "t", "--port", "0"} << "\"0\"";
        QTest::newRow("program: window's option") << L << QStringList{"program", "--simulate", "--settings", "s", "--table", "t"} << "--simulate";
        QTest::newRow("program: address 248") << L << QStringList{"program", "--settings", "s", "--table", "t", "--address", "248"} << "--address takes 1 to 247, not \"248\"";
        QTest::newRow("program: baud 12345") << L << QStringList{"program", "--settings", "s", "--table", "t", "--baud", "12345"} << "not \"12345\"";
        QTest::newRow("window: network port without TCP port") << L << QStringList{"--port", "1=rfc2217://gw"} << "the TCP port is missing";
        QTest::newRow("program: IPv6 without brackets") << L << QStringList{"program", "--settings", "s", "--table", "t", "--port", "tcp://::1:7"} << "brackets";
        QTest::newRow("scan: raw TCP without --baud") << L << QStringList{"scan", "--port", "tcp://127.0.0.1:7"} << "scan over tcp://";
        QTest::newRow("program: job and table") << L << QStringList{"program", "--job", "j.csv", "--table", "t"} << "--table and --job exclude each other";
        QTest::newRow("program: keep going alone") << L << QStringList{"program", "--settings", "s", "--table", "t", "--keep-going"} << "--keep-going is for --job";
        QTest::newRow("fit: program's option") << L << QStringList{"fit", "--table", "t.xlsx"} << "--table belongs to \"program\"";
        QTest::newRow("fit: no source") << L << QStringList{"fit", "--type", "Current", "--decimal", "dddddd", "--points", "4"} << "--data FILE or --shape NAME";
        QTest::newRow("window: fit's option") << L << QStringList{"--shape", "sqrt"} << "--shape belongs to \"fit\"";
        QTest::newRow("meter-sim: unknown option") << S << QStringList{"--bogus"} << "'bogus'";
        QTest::newRow("meter-sim: bad address") << S << QStringList{"--address", "248"} << "--address";
        QTest::newRow("meter-sim: address twice") << S << QStringList{"--address", "005", "--address", "005"} << "--address 005 is given twice";
        QTest::newRow("meter-sim: stray argument") << S << QStringList{"x"} << "\"x\"";
    }
    void usageErrorIsOneLine()
    {
        QFETCH(QString, exe);
        QFETCH(QStringList, arguments);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(programEnvironment(dir.path(), false));
        p.start(exe, arguments);
        QVERIFY(p.waitForFinished(30000));
        const QString name = QFileInfo(exe).fileName(), err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 64);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith(name + ": ") && err.endsWith(". Try '" + name + " --help'.\n"), qPrintable(err));
        QVERIFY2(err.contains(fault), qPrintable(err));
    }

    // The window without a display: one line naming the command that needs none, status 1.
    void noDisplayIsOneLine_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::newRow("nothing set") << QStringList{};
        QTest::newRow("unreachable X display") << QStringList{"DISPLAY=:97531"};
        QTest::newRow("unreachable Wayland display") << QStringList{"WAYLAND_DISPLAY=talvo-none"};
    }
    void noDisplayIsOneLine()
    {
        QFETCH(QStringList, variables);
        QTemporaryDir dir;
        QProcessEnvironment env;
        env.insert("TMPDIR", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("HOME", dir.path());
        for (const QString& v : variables)
            env.insert(v.section('=', 0, 0), v.section('=', 1));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(LINEARIZER_EXE, {"--port", "1=/dev/null"});
        QVERIFY(p.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith("talvo-linearizer: no display") && err.contains("\"talvo-linearizer program\""), qPrintable(err));
    }

    // Each parser's options against the texts that describe them: a new option, or a new
    // command, that one of them leaves out fails here.
    void everyOptionIsDocumented_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("man");
        QTest::addColumn<QStringList>("completions"); // empty: none for this program
        const QString man = readFile(DATA_DIR "/man/talvo-linearizer.1"), sim = readFile(DATA_DIR "/man/talvo-meter-sim.1");
        const QStringList completions{readFile(DATA_DIR "/completion/talvo-linearizer.bash"),
                                      readFile(DATA_DIR "/completion/_talvo-linearizer")};
        auto names = [](const QList<QCommandLineOption>& options) {
            QStringList all;
            for (const QCommandLineOption& o : options)
                all << o.names();
            return all;
        };
        for (const CommandDeclaration& c : CommandLine::commands())
            QTest::newRow(*c.name ? c.name : "window") << c.name << names(c.options) << CommandLine::usage() << man << completions;
        QTest::newRow("talvo-meter-sim") << "" << names(SimulatorOptions::options()) << SimulatorOptions::usage() << sim << QStringList();
    }
    void everyOptionIsDocumented()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, names);
        QFETCH(QString, help);
        QFETCH(QString, man);
        QFETCH(QStringList, completions);
        QVERIFY(!man.isEmpty());
        QVERIFY2(command.isEmpty() || man.contains("\n.SS " + command + "\n"), "no section in the manual page");
        QVERIFY(command.isEmpty() || help.contains(" " + command + " "));
        for (QString name : names) {
            name = (name.size() == 1 ? "-" : "--") + name;
            QVERIFY2(help.contains(QRegularExpression(QRegularExpression::escape(name) + "\\b")), qPrintable(name + " not in --help"));
            QVERIFY2(man.contains(QString(name).replace("-", "\\-")), qPrintable(name + " not in the manual page"));
            for (const QString& completion : completions)
                QVERIFY2(name.size() == 2 || section(completion, command).contains(name),
                         qPrintable(name + " not in the shell completion"));
        }
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
