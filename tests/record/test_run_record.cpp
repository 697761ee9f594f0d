// The record of a programming run: `program --record` against the simulated meter (JSON,
// PDF read back by pdftotext and rendered by pdftoppm), the page's curve and texts, `record
// --verify`, and the window's Save Record and Print Record after a run.
#include <QComboBox>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPrintDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <cmath>
#include <sys/stat.h>

#include "app/PickList.h"
#include "record/CurvePaint.h"
#include "record/RecordPdf.h"
#include "record/RunRecorder.h"
#include "common/MeterRig.h"
#include "common/ProgramEnvironment.h"
#include "files/SettingsFile.h"
#include "meter-sim/SimulatorOptions.h"
#include "programming/RunRecord.h"
#include "spreadsheet/Workbook.h"
#include "app/FlexGrid.h"

namespace {
const QStringList In{"4.000", "8.000", "20.000"}, Out{"0.000", "37.500", "100.000"};

// "4.000=4;=8" -> two rows, the second without an input value.
QList<PointRow> rowsOf(const QString& table)
{
    QList<PointRow> rows;
    for (const QString& pair : table.split(';'))
        rows.append({pair.section('=', 0, 0), pair.section('=', 1)});
    return rows;
}

QString run(const QString& program, const QStringList& args, const QString& dir, int* status)
{
    QProcess p;
    QProcessEnvironment env = programEnvironment(dir);
    env.insert("QT_QPA_PLATFORM", "no-such-plugin"); // record --verify loads none; a PDF record picks its own
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000);
    *status = ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

void writeTable(const QString& path, const QStringList& in, const QStringList& out)
{
    Spreadsheet::Application app;
    Spreadsheet::Sheet& sheet = app.Add().ActiveSheet();
    sheet.setNumberFormat("B1:B32", "0.000");
    for (int r = 0; r < in.size(); ++r)
        sheet.Select(QStringLiteral("A%1").arg(r + 1)), sheet.Paste(in[r] + '\t' + out[r]);
    app.SaveCopyAs(path);
}

// Where the page's first word starts, in whole points (pdftotext -bbox).
QPoint firstWordCorner(const QString& pdf)
{
    int status = -1;
    const QRegularExpressionMatch word = QRegularExpression(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)")re")
                                             .match(run("pdftotext", {"-bbox", pdf, "-"}, QFileInfo(pdf).absolutePath(), &status));
    return QPoint(qRound(word.captured(1).toDouble()), qRound(word.captured(2).toDouble()));
}

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}
} // namespace

class TestRunRecord : public QObject {
    Q_OBJECT
private slots:
    void programWritesRecords_data()
    {
        QTest::addColumn<QString>("sim");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("failed"); // the commands not acknowledged: the code of a refusal, or "not sent"
        QTest::newRow("programmed") << "" << 0 << "";
        QTest::newRow("refused point") << "--refuse 2A102=3" << 1 << "2A10237500=3";
        QTest::newRow("refused point 1") << "--refuse 2A301=3" << 1
                                         << "2A3014000=3 2A3028000=not sent 2A1010000=not sent 2A10237500=not sent";
    }
    void programWritesRecords()
    {
        QFETCH(QString, sim);
        QFETCH(int, status);
        QFETCH(QString, failed);
        QTemporaryDir dir;
        auto meter = SimulatedMeter::start(SimulatorOptions::parse(sim.split(' ', Qt::SkipEmptyParts)).config);
        QVERIFY(meter);
        QVERIFY(SettingsFile::Save(dir.filePath("s.txt"), {"ddd.ddd", "001", "1", "2400", "3", false, true}));
        writeTable(dir.filePath("t.xlsx"), In, Out);
        int exit = -1;
        const QString pdf = dir.filePath("r.pdf"), json = dir.filePath("r.json");
        QFile old(json); // replaced whole by --record-overwrite
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("{}") == 2);
        old.close();
        const QString err = run(LINEARIZER_EXE,
                                {"program", "--settings", dir.filePath("s.txt"), "--table", dir.filePath("t.xlsx"), "--port",
                                 meter->devicePath(), "--record", pdf, "--record", json, "--record", dir.path(), "--record", dir.path() + "/", "--operator",
                                 "Ann Example", "--tag", "TK-7", "--record-overwrite"},
                                dir.path(), &exit);
        QCOMPARE(exit, status);

        // The JSON: the frames the meter received, in order, each with its outcome; the table as sent.
        const QJsonObject r = readJson(json);
        const QJsonArray commands = r["commands"].toArray();
        QStringList sent, notAcknowledged;
        for (const QJsonValue& c : commands) {
            if (c["outcome"] != "not sent")
                sent << c["command"].toString();
            if (c["outcome"] != "acknowledged")
                notAcknowledged << c["command"].toString() + "=" + c[c["outcome"] == "refused" ? "code" : "outcome"].toString();
        }
        QCOMPARE(notAcknowledged.join(' '), failed);
        QCOMPARE(sent, meter->received());
        QCOMPARE(r["result"]["status"].toInt(), status);
        QCOMPARE(r["meter"]["address"].toString(), QStringLiteral("001"));
        QCOMPARE(r["meter"]["firmware"].toString(), QStringLiteral("01.100"));
        QCOMPARE(r["operator"].toString(), QStringLiteral("Ann Example"));
        QCOMPARE(r["table"]["source"]["kind"].toString(), QStringLiteral("workbook"));
        const QJsonArray points = r["table"]["points"].toArray();
        QCOMPARE(points.size(), In.size());
        for (int i = 0; i < In.size(); ++i)
            QVERIFY(points[i]["input"] == In[i] && points[i]["display"] == Out[i]);
        QVERIFY(QDateTime::fromString(r["time_start"].toString(), Qt::ISODate).isValid());

        // The folder got both, named by time, address, id and tag.
        const QString id = r["record_id"].toString();
        QVERIFY(!QUuid::fromString(id).isNull() && r["schema_version"] == 2);
        QCOMPARE(QDir(dir.path()).entryList({"talvo-*-001-" + id.left(8) + "-TK-7.*"}).size(), 2);

        // The PDF: searchable text with every value, the result in words, one page that renders.
        int tool = -1;
        const QString text = run("pdftotext", {"-layout", pdf, "-"}, dir.path(), &tool);
        QCOMPARE(tool, 0);
        for (const QString& needle : In + Out + QStringList{"001", "01.100", "Ann Example", "TK-7", r["table"]["sha256"].toString(), id})
            QVERIFY2(text.contains(needle), qPrintable(needle + " not in:\n" + text));
        QCOMPARE(text.contains("NOT PROGRAMMED"), status != 0);
        QVERIFY(text.contains(QString("%1 not sent").arg(failed.count("not sent"))));
        QCOMPARE(text.contains("successfully"), status == 0);
        run("pdftoppm", {"-r", "40", "-png", pdf, dir.filePath("page")}, dir.path(), &tool);
        QCOMPARE(tool, 0);
        QVERIFY(QFileInfo(dir.filePath("page-1.png")).size() > 1000 && !QFileInfo::exists(dir.filePath("page-2.png")));
        QVERIFY2(err.contains("record written: " + json), qPrintable(err));
    }

    // Every point's number is drawn, clear of every marker and of every other number, on
    // curves whose points crowd together.
    void numbersNeverCovered_data()
    {
        QTest::addColumn<QString>("table");
        QStringList sixteen, steep, flat;
        for (int p = 0; p < 16; ++p) // a square root: crowded at the start
            sixteen << QStringLiteral("%1=%2").arg(4 + p * p / 225.0 * 16, 0, 'f', 3).arg(std::sqrt(p / 15.0) * 100, 0, 'f', 3);
        for (int p = 0; p < 32; ++p) {
            steep << QStringLiteral("%1=%2").arg(4 + p * 0.5, 0, 'f', 3).arg(p < 16 ? p * 0.1 : 1.5 + (p - 15) * 50.0, 0, 'f', 3);
            flat << QStringLiteral("%1=%2").arg(4 + p * 0.5, 0, 'f', 3).arg(p % 2 ? 10.0 : 10.001, 0, 'f', 3);
        }
        QTest::newRow("16 points, square root") << sixteen.join(';');
        QTest::newRow("32 points, flat then steep") << steep.join(';');
        QTest::newRow("32 points, zigzag") << flat.join(';');
    }

    void numbersNeverCovered()
    {
        QFETCH(QString, table);
        CurveModel m;
        m.update(rowsOf(table), InputType::Current, "ddd.ddd", "Input (mA)", CurvePaint::tableCheckRule(InputType::Current));
        // The plot's inner area at the window's first size, as paint() maps the points.
        const QRectF area(60, 14, 520, 330);
        const QFont font;
        const QFontMetrics fm(font);
        QList<CurvePaint::NumberLabel> labels;
        const auto& pts = m.points();
        for (const CurveModel::Point& p : pts) {
            const QPointF c(area.left() + 30 + (p.input - m.xAxis().low) / (m.xAxis().high - m.xAxis().low) * (area.width() - 60),
                            area.bottom() - 14 - (p.display - m.yAxis().low) / (m.yAxis().high - m.yAxis().low) * (area.height() - 44));
            labels.append({c, 4.5, QPointF(-0.7071, -0.7071), QSizeF(fm.horizontalAdvance(QString::number(p.number)) + 2, fm.height())});
        }
        const QList<QRectF> places = CurvePaint::placeNumbers(labels, area, 1);
        QCOMPARE(places.size(), pts.size());
        for (int i = 0; i < places.size(); ++i) {
            QVERIFY2(area.contains(places[i]), qPrintable(QString::number(i + 1)));
            for (int j = 0; j < places.size(); ++j) {
                const QRectF marker(labels[j].marker - QPointF(4.5, 4.5), QSizeF(9, 9));
                QVERIFY2(!places[i].intersects(marker), qPrintable(QStringLiteral("number %1 over marker %2").arg(i + 1).arg(j + 1)));
                QVERIFY2(i == j || !places[i].intersects(places[j]), qPrintable(QStringLiteral("numbers %1 and %2").arg(i + 1).arg(j + 1)));
            }
        }
    }

    // Names and tags are text on the page: a long one is wrapped or cut and every section stays on
    // the one page, control and bidi characters are escaped, a "%" in them or a device path is kept.
    void pdfShowsHostileTexts_data()
    {
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("shown");
        QTest::newRow("long, with blanks") << QString("Ann Example ").repeated(130) << "TK-7" << "Ann Example Ann";
        QTest::newRow("long, no blanks") << "Ann" << QString(1500, 'x') << "xxxxxxxxxx…";
        QTest::newRow("newline and override") << "Ann" << "TK\nProgrammed\u202E\u2067" << "TK<0a>Programmed<U+202E><U+2067>";
    }
    void pdfShowsHostileTexts()
    {
        RunRecord r;
        QFETCH(QString, operatorName);
        QFETCH(QString, tag);
        r.operatorName = operatorName, r.tag = tag, r.port.device = "/dev/x%1", r.meter = {"001", 2400, "01.100"}, r.status = 11;
        r.resultText = "PC Comm Port 1 (/dev/x%1) cannot be used.", r.inputType = "Current", r.decimal = "ddd.ddd";
        for (int i = 0; i < In.size(); ++i)
            r.points.append({In[i], Out[i]}), r.commands.append({"2A30" + QString::number(i + 1), "", RecordCommand::NotSent, ""});
        QTemporaryDir dir;
        QString error;
        QVERIFY2(RecordPdf::save(r, dir.filePath("r.pdf"), &error), qPrintable(error));
        int tool = -1;
        const QString text = run("pdftotext", {"-layout", dir.filePath("r.pdf"), "-"}, dir.path(), &tool);
        QFETCH(QString, shown);
        for (const QString& needle : {shown, QString("Why: PC Comm Port 1 (/dev/x%1) cannot be used. (exit status 11)"),
                                      QString("Commands: 0 sent"), "Table SHA-256: " + Record::tableSha256(r.points), QString("Signature:")})
            QVERIFY2(text.simplified().contains(needle), qPrintable(needle + " not in:\n" + text));
        QCOMPARE(text.count('\f') + tool, 1); // one page
        QVERIFY(!text.contains(QRegularExpression("^\\s*Programmed", QRegularExpression::MultilineOption)));
    }

    // A record that cannot be written, or would replace a file, stops the run before anything is sent.
    void unwritableRecordSendsNothing()
    {
        QTemporaryDir dir;
        auto meter = SimulatedMeter::start(MeterConfig{});
        QVERIFY(meter && SettingsFile::Save(dir.filePath("s.txt"), {"ddd.ddd", "001", "1", "2400", "3", false, true}));
        writeTable(dir.filePath("t.xlsx"), In, Out);
        // A named file that exists (without --record-overwrite) or is a symbolic link is refused too.
        QVERIFY(QFile(dir.filePath("t.xlsx")).copy(dir.filePath("old.json")) && QFile::link(dir.filePath("new.json"), dir.filePath("link.json")));
        for (const QString& bad : {QStringLiteral("/none/r.json"), dir.filePath("r.txt"), dir.filePath("old.json"), dir.filePath("link.json")}) {
            int exit = -1;
            const QString err = run(LINEARIZER_EXE,
                                    {"program", "--settings", dir.filePath("s.txt"), "--table", dir.filePath("t.xlsx"), "--port",
                                     meter->devicePath(), "--record", bad},
                                    dir.path(), &exit);
            QCOMPARE(exit, 64);
            QVERIFY2(err.contains("cannot write the record"), qPrintable(err));
        }
        QCOMPARE(meter->rawReceived(), QByteArray());
    }

    // record --verify: intact, an edited value, and a workbook compared with the record's table.
    void verify_data()
    {
        QTest::addColumn<QString>("edit"); // "from=to" applied to the JSON text
        QTest::addColumn<QString>("workbookDisplay");
        QTest::addColumn<int>("status");
        QTest::newRow("intact") << "" << "" << 0;
        QTest::newRow("display edited") << "\"37.500\"=\"37.600\"" << "" << 1;
        QTest::newRow("same workbook") << "" << "37.5" << 0;
        QTest::newRow("other workbook") << "" << "37.6" << 1;
        QTest::newRow("not a record") << "\"table\"=\"tabel\"" << "" << 64;
    }
    void verify()
    {
        QFETCH(QString, edit);
        QFETCH(QString, workbookDisplay);
        QTemporaryDir dir;
        RunRecord record;
        record.meter.address = "001";
        for (int i = 0; i < In.size(); ++i)
            record.points.append({In[i], Out[i]});
        QByteArray json = Record::toJsonText(record);
        if (!edit.isEmpty())
            json.replace(edit.section('=', 0, 0).toUtf8(), edit.section('=', 1).toUtf8());
        QFile f(dir.filePath("r.json"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(json) == json.size());
        f.close();
        QStringList args{"record", "--verify", f.fileName()};
        if (!workbookDisplay.isEmpty()) {
            writeTable(dir.filePath("t.xlsx"), In, {Out[0], workbookDisplay, Out[2]});
            args << dir.filePath("t.xlsx");
        }
        int exit = -1;
        const QString out = run(LINEARIZER_EXE, args, dir.path(), &exit);
        QTEST(exit, "status");
        QCOMPARE(out.contains("intact"), exit == 0 || (!workbookDisplay.isEmpty() && !out.contains("altered")));
    }

    // The window: File > Save Record... and Print Record... are on once a run has ended, and
    // save that run.
    void windowSavesAndPrints()
    {
        MeterRig rig;
        QVERIFY(rig.w);
        QVERIFY(!rig.w->mnuSaveRecord->isEnabled());
        MessageRecorder messages;
        rig.press();
        QVERIFY(QTest::qWaitFor([&] { return !rig.w->programmingRunning() && rig.w->mnuSaveRecord->isEnabled(); }, 20000));
        QTemporaryDir dir;
        DialogRecorder dialogs;
        dialogs.paths << dir.filePath("w.json");
        // The details dialog: the operator is the login name until changed; the tag is asked.
        QTimer::singleShot(0, [] {
            QWidget* d = QApplication::activeModalWidget();
            QVERIFY(d && d->objectName() == "dlgRecordDetails");
            d->findChild<QLineEdit*>("txtTag")->setText("TK-9");
            QMetaObject::invokeMethod(d, "accept");
        });
        rig.w->mnuSaveRecord->trigger();
        const QJsonObject r = readJson(dir.filePath("w.json"));
        QCOMPARE(r["tag"].toString(), QStringLiteral("TK-9"));
        QCOMPARE(r["result"]["status"].toInt(), 0);
        QCOMPARE(r["table"]["source"]["kind"].toString(), QStringLiteral("typed"));
        QCOMPARE(r["table"]["points"][1]["display"].toString(), rig.w->MSFlexGrid1->TextMatrix(1, 2));
        QCOMPARE(r["commands"].toArray().size(), rig.sim->received().size());

        // A FIFO named as the record is refused, never replaced or blocked on.
        const QString fifo = dir.filePath("fifo.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        dialogs.paths << fifo;
        QTimer::singleShot(0, [] { QMetaObject::invokeMethod(QApplication::activeModalWidget(), "accept"); });
        rig.w->mnuSaveRecord->trigger();
        struct stat st;
        QVERIFY(messages.prompts().join("").contains("is a FIFO") && ::stat(qPrintable(fifo), &st) == 0 && S_ISFIFO(st.st_mode));

        // Printed to a file, the page keeps the saved PDF's margins.
        const QString printed = dir.filePath("printed.pdf"), saved = dir.filePath("saved.pdf");
        QString error;
        QVERIFY2(rig.w->saveRecord(saved, &error), qPrintable(error));
        QTimer::singleShot(0, [&] {
            QMetaObject::invokeMethod(QApplication::activeModalWidget(), "accept");
            QTimer::singleShot(0, [&] {
                auto* print = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
                QVERIFY(print);
                auto* printers = print->findChild<QComboBox*>("printers");
                printers->setCurrentIndex(printers->count() - 1); // "Print to File (PDF)"
                print->findChild<QLineEdit*>("filename")->setText(printed);
                print->accept();
            });
        });
        rig.w->mnuPrintRecord->trigger();
        QCOMPARE(firstWordCorner(printed), firstWordCorner(saved));
        QCOMPARE(firstWordCorner(saved), QPoint(36, 36));
    }
};

QTEST_MAIN(TestRunRecord)
#include "test_run_record.moc"
