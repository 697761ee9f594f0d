// The record's page: the curve's point numbers placed clear of each other, and hostile names
// and tags kept as text on the one page (read back by pdftotext).
#include <QFontMetrics>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "programming/RunRecord.h"
#include "record/CurvePaint.h"
#include "record/RecordPdf.h"

namespace {
const QStringList In{"4.000", "8.000", "20.000"}, Out{"0.000", "37.500", "100.000"};

QList<PointRow> rowsOf(const QString& table)
{
    QList<PointRow> rows;
    for (const QString& pair : table.split(';'))
        rows.append({pair.section('=', 0, 0), pair.section('=', 1)});
    return rows;
}

QString pdfText(const QString& pdf, int* status)
{
    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    *status = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

class TestRecordPdf : public QObject {
    Q_OBJECT
private slots:
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
        const QString text = pdfText(dir.filePath("r.pdf"), &tool);
        QFETCH(QString, shown);
        for (const QString& needle : {shown, QString("Why: PC Comm Port 1 (/dev/x%1) cannot be used. (exit status 11)"),
                                      QString("Commands: 0 sent"), "Table SHA-256: " + Record::tableSha256(r.points), QString("Signature:")})
            QVERIFY2(text.simplified().contains(needle), qPrintable(needle + " not in:\n" + text));
        QCOMPARE(text.count('\f') + tool, 1); // one page
        QVERIFY(!text.contains(QRegularExpression("^\\s*Programmed", QRegularExpression::MultilineOption)));
    }
};

QTEST_MAIN(TestRecordPdf)
#include "test_record_pdf.moc"
