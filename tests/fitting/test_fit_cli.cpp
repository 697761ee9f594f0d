// `talvo-linearizer fit`: the real executable with no display. Its exit statuses, that a
// failure writes nothing, the readers behind it (European and ambiguous files, FIFOs, the
// span), --json against the text, a signal during a long fit, the shapes against closed
// forms, and the production flow: fit once, then program a meter from the workbook and
// settings file it wrote.
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

#include "common/ProgramEnvironment.h"
#include "files/SettingsFile.h"
#include "fitting/DataFile.h"
#include "fitting/Fit.h"
#include "meter-sim/SimulatedMeter.h"

namespace {

struct Run {
    QTemporaryDir dir;
    QProcess process;
    int status = -1;
    QString out, err;
    Run()
    {
        QProcessEnvironment env = programEnvironment(dir.path());
        env.insert("QT_QPA_PLATFORM", "no-such-plugin"); // fit loads none: a GUI application would abort
        process.setProcessEnvironment(env);
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
    bool exec(const QStringList& args, int timeoutMs = 60000)
    {
        if (process.state() == QProcess::NotRunning)
            process.start(LINEARIZER_EXE, args);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs))
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

// The volume fraction of a horizontal vessel of diameter 1 filled to u: slices across its
// axis (each a circle of radius rho at axial position x, filled to u - (0.5 - rho)),
// integrated by Simpson's rule; the heads are ellipsoids a deep, the cylinder l long.
double sliced(double u, double l, double a)
{
    const auto segment = [](double rho, double depth) {
        depth = std::clamp(depth, 0.0, 2 * rho);
        return rho <= 0 ? 0 : rho * rho * std::acos((rho - depth) / rho) - (rho - depth) * std::sqrt(std::max(0.0, 2 * rho * depth - depth * depth));
    };
    const int n = 4000;
    double heads = 0;
    for (int i = 0; i <= n; ++i) { // x = a sin(t): dense near the rim, where the radius falls steeply
        const double t = M_PI / 2 * i / n, rho = 0.5 * std::cos(t);
        heads += (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) * segment(rho, u - (0.5 - rho)) * a * std::cos(t);
    }
    heads *= 2 * (M_PI / 2 / n) / 3;
    const double whole = l * M_PI / 4 + 2 * a * M_PI / 6;
    return (l * segment(0.5, u) + heads) / whole;
}
// A vertical cylinder of radius 1 and level 1 whose ellipsoidal bottom is f deep, filled to u.
double dished(double u, double f)
{
    const int n = 4000;
    double volume = 0;
    for (int i = 0; i <= n; ++i) {
        const double h = u * i / n, r2 = h < f ? 1 - (f - h) * (f - h) / (f * f) : 1;
        volume += (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) * M_PI * r2;
    }
    return volume * (u / n) / 3 / (M_PI * (1 - f / 3));
}

void makeFifo(const QString& path) { QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0); }
bool isFifo(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
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
        QTest::newRow("fitted") << Cylinder + QStringList{"--points", "11"} + Outputs << 0 << "(0.129 % of span) at ";
        QTest::newRow("target not met") << Cylinder + QStringList{"--max-error", "0.001"} + Outputs << 1 << "32 points cannot reach a max error of 0.001";
        QTest::newRow("both points and error") << Cylinder + QStringList{"--points", "5", "--max-error", "1"} + Outputs << 64 << "either --points K or --max-error E";
        QTest::newRow("unknown type") << QStringList{"fit", "--shape", "cylinder", "--input", "4:20", "--display", "0:100", "--type", "Volts", "--decimal", "ddd.ddd", "--points", "4"} << 64 << "--type takes Voltage, Current or Pulse, not \"Volts\"";
        QTest::newRow("33 points") << Cylinder + QStringList{"--points", "33"} + Outputs << 64 << "--points takes 2 to 32";
        QTest::newRow("unknown shape") << QStringList{"fit", "--shape", "torus", "--input", "4:20", "--display", "0:1", "--type", "Current", "--decimal", "ddd.ddd", "--points", "4"} << 64 << "torus";
        QTest::newRow("no such file") << QStringList{"fit", "--data", "none.csv", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 64 << "none.csv";
        QTest::newRow("bad row") << QStringList{"fit", "--data", "bad.csv", "--input", "4:20", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 65 << "bad.csv row 4: not two numbers";
        QTest::newRow("outside the range") << QStringList{"fit", "--data", "chart.csv", "--type", "Current", "--decimal", "dddddd", "--points", "4"} + Outputs << 65 << "chart.csv row 27: input 24 is outside the Current range";
        QTest::newRow("bad template") << Cylinder + QStringList{"--points", "4", "--settings", "bad.csv"} + Outputs << 64 << "bad.csv";
        QTest::newRow("csv out") << Cylinder + QStringList{"--points", "3", "--out", "t.csv"} << 0 << "max error";
        QTest::newRow("the rule named") << Cylinder + QStringList{"--max-error", "0.001"} << 1 << "limited by the 32-point maximum";
        QTest::newRow("free ends") << Cylinder + QStringList{"--points", "5", "--free-ends"} << 0 << "; ends free";
        QTest::newRow("ends on the source") << Cylinder + QStringList{"--points", "5"} << 0 << "; ends on the source";
        QTest::newRow("free ends on data") << Cylinder + QStringList{"--points", "5", "--free-ends", "--on-data"} << 64 << "--on-data keeps every point";
        QTest::newRow("2:1 heads") << QStringList{"fit", "--shape", "heads:3,0.25", "--input", "4:20", "--display", "0:25000", "--type", "Current", "--decimal", "ddddd.d", "--points", "12", "--on-data"} << 0 << "12\t20.000\t25000.0";
        QTest::newRow("dished bottom") << QStringList{"fit", "--shape", "dish:0.1", "--input", "0:10", "--display", "0:800", "--type", "Voltage", "--decimal", "dddd.dd", "--points", "6", "--on-data"} << 0 << "1\t0.000\t0.00";
        QTest::newRow("bad heads") << QStringList{"fit", "--shape", "heads:3", "--input", "4:20", "--display", "0:1", "--type", "Current", "--decimal", "ddd.ddd", "--points", "4"} << 64 << "heads:R,A";
        const QStringList data{"fit", "--input", "4:20", "--type", "Current", "--decimal", "ddd.ddd", "--on-data"};
        QTest::newRow("semicolon, decimal comma") << data + QStringList{"--data", "eu.csv", "--points", "3"} << 0 << "1\t4.000\t0.000\n2\t12.000\t12.500\n3\t20.000\t50.000\n";
        QTest::newRow("tab, decimal comma") << data + QStringList{"--data", "eu.txt", "--points", "3"} << 0 << "2\t12.000\t1.250\n";
        QTest::newRow("quoted, comma") << data + QStringList{"--data", "quoted.csv", "--points", "3"} << 0 << "2\t12.000\t1.250\n";
        QTest::newRow("ambiguous") << data + QStringList{"--data", "amb.csv", "--points", "3"} + Outputs << 65 << "amb.csv row 3: \"1,5,2,5\" is more than two numbers with \",\" between them; if \",\" is the decimal point, put \";\"";
        QTest::newRow("span") << data + QStringList{"--data", "sq.csv", "--span", "2.5:7.5", "--points", "2"} << 0 << "1\t4.000\t6.500\n2\t20.000\t56.500\n";
        QTest::newRow("span past the data") << data + QStringList{"--data", "sq.csv", "--span", "2.5:11", "--points", "2"} + Outputs << 65 << "sq.csv: the span 2.5:11 reaches past the data, whose column A runs from 0 to 10";
        QTest::newRow("span of a shape") << Cylinder + QStringList{"--points", "5", "--span", "1:2"} << 64 << "--span X0:X1 is for data";
        QTest::newRow("only 2 rows") << data + QStringList{"--data", "two.csv", "--points", "3"} + Outputs << 65 << "two.csv: 3 points on the data need 3 rows; the data has only 2";
        QTest::newRow("too narrow a range") << QStringList{"fit", "--data", "narrow.csv", "--type", "Current", "--decimal", "ddd.ddd", "--points", "4"} << 65 << "narrow.csv: 4 points need inputs spanning at least 3 steps of 0.15 mA; at most 3 points fit";
        QTest::newRow("rows closer than a step") << QStringList{"fit", "--data", "close.csv", "--type", "Current", "--decimal", "ddd.ddd", "--on-data", "--points", "5"} << 65 << "close.csv: 5 points on the data need 5 rows at least 0.15 mA apart; at most 4 of its rows are";
        // A bound near 0: the gap in display units, not a percentage of almost nothing.
        QTest::newRow("dead band, gap in units") << QStringList{"fit", "--data", "dead.csv", "--input", "4:20", "--type", "Current", "--decimal", "dddd.dd", "--points", "32"} << 0 << ", within 0.00";
        QTest::newRow("K points on a falling chart") << QStringList{"fit", "--data", "fall.csv", "--type", "Pulse", "--decimal", "dddddd", "--on-data", "--points", "3"} << 0 << "3\t1500.0\t250";
        QTest::newRow("FIFO as data") << data + QStringList{"--data", "fifo.csv", "--points", "3"} + Outputs << 64 << "fifo.csv is a FIFO, not a plain file";
        QTest::newRow("device as data") << data + QStringList{"--data", "/dev/zero", "--points", "3"} + Outputs << 64 << "/dev/zero is a device";
        QTest::newRow("FIFO as out") << Cylinder + QStringList{"--points", "3", "--out", "fifo.csv"} << 64 << "fifo.csv cannot be written: ";
        QTest::newRow("FIFO as settings") << Cylinder + QStringList{"--points", "3", "--out", "t.xlsx", "--settings-out", "fifo.csv"} << 64 << "fifo.csv is a FIFO";
        QTest::newRow("FIFO as template") << Cylinder + QStringList{"--points", "3", "--settings", "fifo.csv"} + Outputs << 64 << "fifo.csv is a FIFO";
        QTest::newRow("folder as out") << Cylinder + QStringList{"--points", "3", "--out", "folder.xlsx"} << 64 << "folder.xlsx is a folder";
    }
    void statuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        Run run;
        run.write("bad.csv", "level,volume\n0,0\n10,20\nfull,100\n");
        run.write("chart.csv", strappingChart());
        run.write("eu.csv", "Stand (cm);Volumen (l)\n0;0,0\n50;\"12,5\"\n100;50,0\n");
        run.write("eu.txt", "0\t0\n0,5\t1,25\n1\t5\n");
        run.write("quoted.csv", "\"0\",\"0\"\n\"0,5\",\"1,25\",note\n\"1\",\"5\"\n");
        run.write("amb.csv", "a,b\n0,0\n1,5,2,5\n3,9\n");
        run.write("two.csv", "0,0\n10,5\n");
        run.write("narrow.csv", "4,0\n4.1,1\n4.2,2\n4.3,3\n");
        QByteArray dead;
        for (int x = 0; x <= 80; ++x)
            dead += QByteArray::number(x) + ',' + QByteArray::number(x <= 10 ? 0.0 : 1000.0 * (x - 10) / 70, 'f', 4) + '\n';
        run.write("dead.csv", dead);
        run.write("close.csv", "4,0\n4.1,1\n4.2,2\n4.3,3\n4.5,5\n4.7,7\n");
        QByteArray square, falling;
        for (int a = 0; a <= 10; ++a)
            square += QByteArray::number(a) + ',' + QByteArray::number(a * a) + '\n';
        for (int hz = 0; hz <= 1500; hz += 10)
            falling += QByteArray::number(hz) + ',' + QByteArray::number(1000 - hz / 2) + '\n';
        run.write("sq.csv", square);
        run.write("fall.csv", falling);
        makeFifo(run.dir.filePath("fifo.csv"));
        QVERIFY(QDir(run.dir.path()).mkdir("folder.xlsx"));
        QVERIFY(run.exec(args)); // a FIFO is refused at once: nothing waits for a writer
        QCOMPARE(run.status, status);
        QVERIFY2((status == 0 ? run.out : status == 1 ? run.out + run.err : run.err).contains(said), qPrintable(run.out + run.err));
        QVERIFY(isFifo(run.dir.filePath("fifo.csv"))); // never replaced
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        const bool printed = status <= 1;
        QCOMPARE(lines.size(), printed ? (args.contains("--points") ? args[args.indexOf("--points") + 1].toInt() : 32) + 1 : 0);
        for (int i = 0; printed && i + 1 < lines.size(); ++i)
            QVERIFY2(QRegularExpression(QString("^%1\t\\d+\\.\\d{1,3}\t-?\\d+(\\.\\d+)?$").arg(i + 1)).match(lines[i]).hasMatch(), qPrintable(lines[i]));
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

    // --json holds the figures of the text output.
    void json_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("shape") << Cylinder + QStringList{"--points", "11"};
        QTest::newRow("free ends") << Cylinder + QStringList{"--points", "7", "--free-ends"};
        QTest::newRow("target not met") << Cylinder + QStringList{"--max-error", "0.001"};
        QTest::newRow("on the data") << QStringList{"fit", "--data", "chart.csv", "--input", "4:20", "--type", "Current", "--decimal", "ddddd.d", "--points", "9", "--on-data"};
    }
    void json()
    {
        QFETCH(QStringList, args);
        Run text, json;
        for (Run* run : {&text, &json}) {
            run->write("chart.csv", strappingChart());
            QVERIFY(run->exec(run == &json ? args + QStringList{"--json"} : args));
        }
        QCOMPARE(json.status, text.status);
        const QRegularExpression progress("fitting: \\d+ %\n"); // a slow run's
        QCOMPARE(json.err.remove(progress), text.err.remove(progress));
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError && json.out.count('\n') == 1, qPrintable(json.out));
        QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
        const QString summary = lines.takeLast();
        const QJsonArray points = o["points"].toArray();
        QCOMPARE(points.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(QString("%1\t%2\t%3").arg(i + 1).arg(points[i]["input"].toString(), points[i]["display"].toString()), lines[i]);
        const QRegularExpressionMatch m =
            QRegularExpression("^max error ([\\d.]+) \\(([\\d.]+) % of span\\) at ([\\d.]+) (\\w+)(, within [\\d.]+ % of the best possible)?; ends (on the source|free)(; limited by the (.*?))?(;|$)").match(summary);
        QVERIFY2(m.hasMatch(), qPrintable(summary));
        QCOMPARE(o["max_error"].toDouble(), m.captured(1).toDouble());
        QCOMPARE(o["percent_of_span"].toDouble(), m.captured(2).toDouble());
        QCOMPARE(o["at"].toDouble(), m.captured(3).toDouble());
        QCOMPARE(o["unit"].toString(), m.captured(4));
        QCOMPARE(o["ends"].toString(), m.captured(6) == "free" ? "free" : "source");
        QCOMPARE(o["limit"].isNull(), m.captured(8).isEmpty());
        QCOMPARE(o["limit"].toString(), m.captured(8));
        QCOMPARE(o["lower_bound"].isNull(), m.captured(5).isEmpty());
        QCOMPARE(o["source"].toString(), args.contains("--data") ? "chart.csv" : "cylinder");
    }

    // A long fit (two million rows of a tank's chart on the data) shows its progress on standard
    // error, and the first SIGTERM ends it at once, writing nothing.
    void signalEndsFit()
    {
        Run run;
        QByteArray rows;
        rows.reserve(40'000'000);
        const Fitting::Shape cylinder{Fitting::ShapeKind::Cylinder, 0, 0};
        for (int i = 0; i <= 2'000'000; ++i)
            rows += QByteArray::number(i) + ',' + QByteArray::number(5000 * Fitting::shapeFraction(cylinder, i / 2e6), 'f', 3) + '\n';
        run.write("big.csv", rows);
        run.process.start(LINEARIZER_EXE, {"fit", "--data", "big.csv", "--input", "4:20", "--type", "Current", "--decimal", "dddd.dd",
                                           "--points", "32", "--on-data", "--out", "t.xlsx", "--settings-out", "s.txt"});
        QVERIFY(run.process.waitForStarted());
        // Once the program catches SIGTERM (its status lists it among the caught signals), send it.
        const auto catches = [&] {
            QFile status(QString("/proc/%1/status").arg(run.process.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            const QString caught = QRegularExpression("SigCgt:\\s*([0-9a-f]+)").match(QString::fromLatin1(status.readAll())).captured(1);
            return ((caught.toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        };
        QVERIFY(QTest::qWaitFor(catches, 30000));
        QByteArray said;
        QVERIFY(QTest::qWaitFor([&] { return (said += run.process.readAllStandardError()).contains("fitting: "); }, 60000));
        ::kill(pid_t(run.process.processId()), SIGTERM);
        QVERIFY(run.exec({}, 20000));
        QVERIFY2(QRegularExpression("^(fitting: \\d+ %\n)+$").match(QString::fromUtf8(said + run.err.toUtf8())).hasMatch(), said.constData());
        QCOMPARE(run.status, 128 + SIGTERM);
        QCOMPARE(run.out, QString());
        QVERIFY(!run.exists("t.xlsx") && !run.exists("s.txt"));
    }

    // The vessel shapes against their volumes found by slicing, and heads:R,0.5 == capsule:R.
    void vesselShapes_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("same"); // a shape with the same curve, or ""
        QTest::addColumn<double>("length");
        QTest::addColumn<double>("depth"); // heads: depth / diameter; dish: F
        QTest::newRow("2:1 heads") << "heads:3,0.25" << "" << 3.0 << 0.25;
        QTest::newRow("hemispheres") << "heads:2,0.5" << "capsule:2" << 2.0 << 0.5;
        QTest::newRow("flat heads") << "heads:4,0" << "cylinder" << 4.0 << 0.0;
        QTest::newRow("heads only") << "heads:0,0.5" << "sphere" << 0.0 << 0.5;
        QTest::newRow("dished bottom") << "dish:0.1" << "" << 0.0 << 0.1;
        QTest::newRow("all dish") << "dish:1" << "" << 0.0 << 1.0;
    }
    void vesselShapes()
    {
        QFETCH(QString, shape);
        QFETCH(QString, same);
        QFETCH(double, length);
        QFETCH(double, depth);
        QString why;
        const std::optional<Fitting::Shape> s = Fitting::parseShape(shape, &why);
        QVERIFY2(s, qPrintable(why));
        QCOMPARE(Fitting::shapeName(*s), shape);
        const std::optional<Fitting::Shape> other = same.isEmpty() ? std::nullopt : Fitting::parseShape(same);
        for (double u : {0.0, 0.05, 0.1, 0.25, 0.5, 0.7, 0.93, 1.0}) {
            const double f = Fitting::shapeFraction(*s, u);
            const double expected = shape.startsWith("dish") ? dished(u, depth) : sliced(u, length, depth);
            QVERIFY2(std::abs(f - expected) < 1e-6, qPrintable(QString("u %1: %2, sliced %3").arg(u).arg(f).arg(expected)));
            if (other)
                QVERIFY(std::abs(f - Fitting::shapeFraction(*other, u)) < 1e-12);
        }
        if (shape.startsWith("heads")) // full and half: the closed forms
            QVERIFY(std::abs(Fitting::shapeFraction(*s, 0.5) - 0.5) < 1e-12);
        else // pi r^2 (u - F/3) of pi r^2 (1 - F/3) above the dish; 2/3 of the dish at its rim
            QVERIFY(std::abs(Fitting::shapeFraction(*s, depth) - (2 * depth / 3) / (1 - depth / 3)) < 1e-12);
        QCOMPARE(Fitting::shapeFraction(*s, 1), 1.0);
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
