// Workbook files: the .xlsx writer read back, workbooks made by other programs in every
// format, hand-made parts for what those programs rarely write, and files to refuse.
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "spreadsheet/OdsFile.h"
#include "spreadsheet/Workbook.h"
#include "spreadsheet/XlsFile.h"
#include "spreadsheet/XlsxFile.h"

using namespace Spreadsheet;

namespace {
QString fixture(const QString& name) { return QStringLiteral(FIXTURES_DIR "/") + name; }
QByteArray fixtureBytes(const QString& name)
{
    QFile f(fixture(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// The first record header `from` in the file turned into `to` (BIFF records lie whole in one sector).
QByteArray patched(QByteArray bytes, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = bytes.indexOf(QByteArray::fromHex(from));
    return at < 0 ? QByteArray() : bytes.replace(at, to.size() / 2, QByteArray::fromHex(to));
}
} // namespace

class TestWorkbookFiles : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    std::optional<Sheet> open(const QByteArray& bytes, QString* error, const char* suffix = "bin")
    {
        const QString path = dir.filePath(QStringLiteral("input.") + suffix);
        Application app;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return std::nullopt;
        f.close();
        Workbook* book = app.Open(path, error);
        return book ? std::optional<Sheet>(book->ActiveSheet()) : std::nullopt;
    }

private slots:
    void exportReadByAnotherReader()
    {
        Sheet sheet;
        sheet.setNumberFormat("A1:A32", "0.000");
        sheet.Paste("4.000\t0.00\r8.000\t25.00\r20.000\tn/a");
        QString error;
        QVERIFY(!writeXlsx(sheet, dir.filePath("missing-folder/export.xlsx"), &error) && !error.isEmpty());
        QVERIFY2(writeXlsx(sheet, dir.filePath("export.xlsx"), &error), qPrintable(error));
        QProcess p;
        p.start("/usr/bin/python3", {"-c", "import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                           "for c in ('A1', 'B2', 'B3', 'A32', 'A33'): print(c, ws[c].number_format, ws[c].value)",
                                     dir.filePath("export.xlsx")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            QSKIP("python3-openpyxl is not installed");
        QCOMPARE(QString(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"A1 0.000 4", "B2 General 25", "B3 General n/a", "A32 0.000 None", "A33 General None"}));
    }

    // What other programs wrote, as shown: formats of cells, rows and whole columns, the
    // active sheet, dates and percentages, empty cells, long and shared strings.
    void workbooksOfOtherPrograms_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format"); // of B1:B32
        QTest::addColumn<QString>("shown");  // A1:C4
        const QString points = "4\t0.00\t2023-03-15\r\n5.6\t5.35\t12.5%\r\n7.2\t10.69\t\r\n8.8\t16.04\t\r\n";
        for (const char* name : {"column_format.xlsx", "office_column_format.xls", "office_column_format.ods",
                                 "gnumeric_second_sheet.xls", "gnumeric_second_sheet.ods"})
            QTest::newRow(name) << name << "0.00" << points;
        QTest::newRow("xlwt: cell formats, 1904 dates") << "other_values.xls" << "0.00"
                                                        << "4\t4.50\t2023-03-15\r\n12.3456\t120.25\t12.5%\r\ntext\t\tTRUE\r\n\t7.00\t\r\n";
        QTest::newRow("openpyxl: second sheet") << "other_types.xlsx" << "0.0000"
                                                << "0.25\t1.2346\t1,234,567.89\r\nn/a\t-0.5000\t12.5%\r\nTRUE\t2.0000\t2023-03-15\r\n\t\tGröße\r\n";
        QTest::newRow("hand-made xlsx: rich text, row and column formats")
            << "handmade.xlsx" << "" << "plain\trich \tline end\r\ninline\t4.3 mA\t50.00%\r\n\t3.00\t\r\n#DIV/0!\tformula text\t2.0 mA\r\n";
        QTest::newRow("hand-made ods: styles, repeats, covered cells")
            << "handmade.ods" << "0.00" << "4\t5.35\t1,234.6 V\r\na  bc\t\t(2.5)\r\n7\tTRUE\t\r\n7\tTRUE\t\r\n";
        const QString mixed = "1\t1.50\t\r\n2\t3.00\t\r\n3\t4.50\t\r\n4\t6.00\t\r\n";
        const QString empty = "1\t10\t\r\n2\t\t\r\n\t30\t\r\n4\t40.25\t\r\n";
        for (const char* suffix : {"xlsx", "xls", "ods"}) {
            const QString prefix = QString(suffix) == "xlsx" ? "other_" : "office_";
            QTest::newRow(qPrintable("mixed " + QString(suffix))) << prefix + "mixed." + suffix << "" << mixed;
            QTest::newRow(qPrintable("empty " + QString(suffix))) << prefix + "empty." + suffix << "General" << empty;
        }
    }
    void workbooksOfOtherPrograms()
    {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(QString, shown);
        QString error;
        const auto sheet = open(fixtureBytes(name), &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->NumberFormat("B1:B32"), format);
        QCOMPARE(sheet->Copy("A1:C4"), shown);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray xls = fixtureBytes("office_column_format.xls");
        QTest::newRow("text") << QByteArray("not a workbook") << "not a workbook";
        QTest::newRow("half an xlsx") << fixtureBytes("column_format.xlsx").left(3000) << "zip";
        QTest::newRow("xls with FILEPASS") << patched(xls, "3d001200", "2f00") << "encrypted";
        QTest::newRow("BIFF5 xls") << patched(xls, "0908100000060500", "0908100000050500") << "BIFF5";
        QTest::newRow("half an xls") << xls.left(xls.size() / 2) << "damaged";
        QTest::newRow("damaged compound file") << fixtureBytes("damaged-freexl-overread.xls") << "damaged";
        QTest::newRow("compound file without workbook") << QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(4096, '\x01') << "damaged";
        const QList<QPair<const char*, const char*>> files{
            {"refuse_no_workbook.xlsx", "not a workbook"}, {"refuse_malformed.xlsx", "malformed XML"},
            {"refuse_dtd.xlsx", "document type"},          {"refuse_wide.xlsx", "too many columns"},
            {"refuse_no_string.xlsx", "shared string"},    {"refuse_far_right.ods", "too many columns"},
            {"refuse_malformed.ods", "malformed XML"},     {"refuse_bomb.ods", "too large"},
            {"refuse_lying_size.ods", "content.xml"},      {"refuse_text_document.ods", "not a spreadsheet"},
            {"refuse_dtd.ods", "content.xml: document type"}};
        for (const auto& [name, reason] : files)
            QTest::newRow(name) << fixtureBytes(name) << reason;
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QVERIFY(!bytes.isEmpty());
        QString error;
        QVERIFY(!open(bytes, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void boundsHold()
    {
        QString why;
        const auto sheet = readXlsx(fixture("other_40rows.xlsx"), nullptr, XlsxLimits{.maxRows = 32});
        QVERIFY(sheet && sheet->cell(31, 0).number == 16.0 && sheet->cell(32, 0).kind == CellKind::Empty);
        QVERIFY(!readXlsx(fixture("other_40rows.xlsx"), &why, XlsxLimits{.maxCells = 40}) && why.contains("too many cells"));
        // Each part fits, all together do not.
        QVERIFY(!readXlsx(fixture("other_40rows.xlsx"), &why, XlsxLimits{.zip = {.maxTotalBytes = 3000}}) && why.contains("too large"));
        QVERIFY(!readOdsBytes(fixtureBytes("office_column_format.ods"), &why, OdsLimits{.maxCells = 3}) && why.contains("too many cells"));
        QVERIFY(!readXlsBytes(fixtureBytes("office_column_format.xls"), &why, XlsLimits{.maxCells = 3}) && why.contains("too many cells"));
        const auto ods = readOdsBytes(fixtureBytes("handmade.ods"), &why);
        QVERIFY(ods && ods->cells().rbegin()->first.first < 4); // the row past the bound is not read
    }

    // Damage at random places: every file is read or refused with a reason, never a crash.
    void mutatedWorkbooksAreReadOrRefused()
    {
        QRandomGenerator random(20261206);
        for (const char* name : {"other_types.xlsx", "office_column_format.xls", "office_column_format.ods"}) {
            const QByteArray good = fixtureBytes(name);
            int read = 0, refused = 0;
            for (int round = 0; round < 150; ++round) {
                QByteArray bytes = good;
                for (int k = 1 + int(random.bounded(4)); k > 0; --k)
                    bytes[qsizetype(random.bounded(int(bytes.size())))] = char(random.bounded(256));
                QString error;
                if (open(bytes, &error))
                    ++read;
                else
                    QVERIFY2(!error.isEmpty() && ++refused, name);
            }
            QVERIFY2(read > 0 && refused > 0, name);
        }
    }
};

QTEST_MAIN(TestWorkbookFiles)
#include "test_workbook_files.moc"
