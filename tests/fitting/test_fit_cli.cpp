// `talvo-linearizer fit`: the real executable with no display. Its exit statuses, that a
// failure writes nothing, and the production flow: fit once, then program a meter from
// the workbook and settings file it wrote.
#include <QtTest>

#include "common/ProgramEnvironment.h"
#include "files/SettingsFile.h"
#include "fitting/DataFile.h"
#include "meter-sim/SimulatedMeter.h"

namespace {

struct Run {
    QTemporaryDir dir;
    QProcess process;
    int status = -1;
    QString out, err;
    Run()
    {
        process.setProcessEnvironment(programEnvironment(dir.path()));
        process.setWorkingDirectory(dir.path());
    }
    ~Run() { process.kill(), process.waitForFinished(); }
    void write(const QString& name, const QByteArray& text)
    {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // Runs to its end with the event loop turning, so that a simulated meter answers.
    bool exec(const QStringList& args)
    {
        process.start(LINEARIZER_EXE, args);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000))
            return false;
        status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return true;
    }
    bool exists(const QString& name) const { return QFile::exists(dir.filePath(name)); }
};

// A tank's strapping chart: level in cm against litres, a horizontal cylinder 2 m across.
QByteArray strappingChart()
{
    QByteArray text = "Tank 7 strapping chart\nLevel (cm);Volume (l)\n";
    for (int cm = 0; cm <= 200; ++cm) {
        const double theta = 2 * std::acos(1 - cm / 100.0);
        text += QByteArray::number(cm) + ';' + QByteArray::number(4500 * (theta - std::sin(theta)) / (2 * M_PI), 'f', 1) + '\n';
    }
    return text;
}

const QStringList Cylinder{"fit", "--shape", "cylinder", "--input", "4:20", "--display", "0:100", "--type", "Current", "--decimal", "ddd.ddd"};
const QStringList Outputs{"--out", "t.xlsx", "--settings-out", "s.txt"};

} // namespace

class TestFitCli : public QObject {
    Q_OBJECT
private slots:
    void statuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // on standard error, or the summary line
        QTest::newRow("fitted") << Cylinder + QStringList{"--points", "11"} + Outputs << 0 << "max error 0.12977 (0.130 % of span) at ";
        QTest::newRow("target not met") << Cylinder + QStringList{"--max-error", "0.001"} + Outputs << 1 << "32 points cannot reach a max error of 0.001";
        QTest::newRow("both points and error") << Cylinder + QStringList{"--points", "5", "--max-error", "1"} + Outputs << 64 << "either --points K or --max-error E";
        QTest::newRow("33 points") << Cylinder + QStringList{"--points", "33"} + Outputs << 64 << "--points takes 2 to 32";
        QTest::newRow("unknown shape") << QStringList{"fit", "--shape", "torus", "--input", "4:20", "--display", "0:1", "--type", "Current", "--decimal", "ddd.ddd", "--points", "4"} << 64 << "torus";
        QTest::newRow("no such file") << QStringList{"fit", "--data", "none.csv", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 64 << "none.csv";
        QTest::newRow("bad row") << QStringList{"fit", "--data", "bad.csv", "--input", "4:20", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 65 << "bad.csv row 4: not two numbers";
        QTest::newRow("outside the range") << QStringList{"fit", "--data", "chart.csv", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 65 << "chart.csv row 27: input 24 is outside the Current range";
        QTest::newRow("bad template") << Cylinder + QStringList{"--points", "4", "--settings", "bad.csv"} + Outputs << 64 << "bad.csv";
        QTest::newRow("csv out") << Cylinder + QStringList{"--points", "3", "--out", "t.csv"} << 0 << "max error";
    }
    void statuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        Run run;
        run.write("bad.csv", "level,volume\n0,0\n10,20\nfull,100\n");
        run.write("chart.csv", strappingChart());
        QVERIFY(run.exec(args));
        QCOMPARE(run.status, status);
        QVERIFY2((status == 0 ? run.out : run.err).contains(said), qPrintable(run.out + run.err));
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        const bool printed = status <= 1;
        QCOMPARE(lines.size(), printed ? (args.contains("--points") ? args[args.indexOf("--points") + 1].toInt() : 32) + 1 : 0);
        for (int i = 0; printed && i + 1 < lines.size(); ++i)
            QVERIFY2(QRegularExpression(QString("^%1\t\\d+\\.\\d{3}\t-?\\d+\\.\\d{3}$").arg(i + 1)).match(lines[i]).hasMatch(), qPrintable(lines[i]));
        QCOMPARE(run.exists("t.xlsx") || run.exists("s.txt"), status == 0 && args.contains("t.xlsx"));
        if (args.contains("t.csv")) { // the file holds the printed table
            QFile csv(run.dir.filePath("t.csv"));
            QVERIFY(csv.open(QIODevice::ReadOnly));
            const Fitting::DataRead back = Fitting::readDelimited(csv.readAll());
            QCOMPARE(int(back.rows.size()), lines.size() - 1);
            for (size_t i = 0; i < back.rows.size(); ++i)
                QCOMPARE(QString::number(back.rows[i].a, 'f', 3), lines[int(i)].section('\t', 1, 1));
        }
    }

    // A strapping chart in cm and litres becomes 32 points on 4-20 mA, and a meter is
    // programmed from the files with the address and baud rate of the template.
    void productionFlow()
    {
        Run run;
        run.write("chart.csv", strappingChart());
        QVERIFY(SettingsFile::Save(run.dir.filePath("rig.txt"), {"dddddd", "007", "1", "9600", "2", false, true}));
        QVERIFY(run.exec({"fit", "--data", "chart.csv", "--input", "4:20", "--type", "Current", "--decimal", "ddddd.d",
                          "--points", "32", "--settings", "rig.txt", "--out", "tank.xlsx", "--settings-out", "tank.txt"}));
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 33);
        QVERIFY2(lines.last().startsWith("max error "), qPrintable(lines.last()));

        MeterConfig config;
        config.address = "007";
        config.baud = 9600;
        auto meter = SimulatedMeter::start(config);
        QVERIFY(meter);
        Run program;
        QVERIFY(program.exec({"program", "--settings", run.dir.filePath("tank.txt"), "--table", run.dir.filePath("tank.xlsx"),
                              "--port", "1=" + meter->devicePath()}));
        QVERIFY2(program.status == 0, qPrintable(program.err));
        for (int i = 0; i + 1 < lines.size(); ++i) {
            const QStringList f = lines[i].split('\t');
            QCOMPARE(meter->displayFor(f[1]), f[2]);
        }
        QVERIFY2(meter->dump().contains("ddddd.d") || meter->dump().contains("32"), qPrintable(meter->dump()));
    }
};

QTEST_GUILESS_MAIN(TestFitCli)
#include "test_fit_cli.moc"
