// Workbook files: the .xlsx writer read back by this reader and by independent readers,
// workbooks written by other programs, and files that must be refused.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtEndian>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "XlsxBuilder.h"
#include "spreadsheet/Workbook.h"
#include "spreadsheet/XlsFile.h"
#include "spreadsheet/XlsxFile.h"

using namespace Spreadsheet;

namespace {

QString fixture(const char* name) { return QStringLiteral(FIXTURES_DIR "/") + QString::fromLatin1(name); }

// The sheet an export of a 5-point Current table in "dddd.dd" builds.
Sheet exportedSheet()
{
    Sheet sheet;
    sheet.Select("A1");
    sheet.setNumberFormat("A1:A32", "0.000");
    sheet.setNumberFormat("B1:B32", "0.00");
    sheet.Paste("4.000\t0.00\r8.000\t25.00\r12.000\t50.00\r16.000\t75.00\r20.000\t100.00");
    return sheet;
}

// Runs an independent reader; its standard output, or a null string when it is not installed.
QString runTool(const QString& program, const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(program, {"/usr/bin", "/bin"});
    if (exe.isEmpty())
        return QString();
    QProcess p;
    p.start(exe, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("<failed: %1>").arg(QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestXlsxFiles : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString refusal(const QString& path)
    {
        QString error;
        Application app;
        if (app.Open(path, &error))
            return QStringLiteral("<read>");
        return error;
    }

private slots:
    void exportLayoutReadBackByThisReader()
    {
        const QString path = dir.filePath("export.xlsx");
        QString error;
        QVERIFY2(writeXlsx(exportedSheet(), path, &error), qPrintable(error));
        const auto sheet = readXlsx(path, &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->NumberFormat("A1:A32"), QString("0.000"));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(sheet->NumberFormat("A33"), QString("General"));
        QCOMPARE(sheet->cell(0, 0).kind, CellKind::Number);
        QCOMPARE(sheet->cell(4, 1).number, 100.0);
        QCOMPARE(sheet->cell(5, 0).kind, CellKind::Empty); // row 6: empty but formatted
        QCOMPARE(sheet->cell(31, 1).format, QString("0.00"));
        QCOMPARE(sheet->Copy("A1:B6"),
                 QString("4.000\t0.00\r\n8.000\t25.00\r\n12.000\t50.00\r\n16.000\t75.00\r\n20.000\t100.00\r\n\t\r\n"));
    }

    void exportLayoutReadBackByIndependentReaders()
    {
        const QString path = dir.filePath("export-independent.xlsx");
        QVERIFY(writeXlsx(exportedSheet(), path));
        const QString csv = runTool("xlsx2csv", {path});
        if (csv.isNull())
            QSKIP("xlsx2csv is not installed");
        const QStringList lines = csv.split('\n');
        QVERIFY2(lines.size() >= 5, qPrintable(csv));
        QCOMPARE(lines.mid(0, 5), QStringList({"4.000,0.00", "8.000,25.00", "12.000,50.00", "16.000,75.00", "20.000,100.00"}));

        const QString script = QStringLiteral(
            "import sys, openpyxl\n"
            "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
            "for r in (1, 5, 6, 32, 33):\n"
            "    for c in 'AB':\n"
            "        cell = ws[c + str(r)]\n"
            "        print(cell.coordinate, cell.data_type, cell.number_format, cell.value)\n");
        const QString out = runTool("python3", {"-c", script, path});
        if (out.isNull() || out.contains("No module named"))
            QSKIP("python3-openpyxl is not installed");
        QCOMPARE(out.split('\n', Qt::SkipEmptyParts),
                 QStringList({"A1 n 0.000 4", "B1 n 0.00 0", "A5 n 0.000 20", "B5 n 0.00 100",
                              "A6 n 0.000 None", "B6 n 0.00 None", "A32 n 0.000 None", "B32 n 0.00 None",
                              "A33 n General None", "B33 n General None"}));
    }

    void textAndOtherValuesSurviveTheWriter()
    {
        Sheet sheet;
        sheet.setText(0, 0, "n/a");
        sheet.setText(0, 1, "Größe <&>");
        sheet.setCell(1, 0, Cell{CellKind::Boolean, 1, {}, "General"});
        sheet.setNumber(1, 1, -0.5);
        sheet.setNumberFormat("C1", "0.0%");
        sheet.setNumber(0, 2, 0.125);
        const QString path = dir.filePath("values.xlsx");
        QVERIFY(writeXlsx(sheet, path));
        const auto back = readXlsx(path);
        QVERIFY(back);
        QCOMPARE(back->cell(0, 0).kind, CellKind::Text);
        QCOMPARE(back->Copy("A1:C2"), QString("n/a\tGröße <&>\t12.5%\r\nTRUE\t-0.5\t\r\n"));
    }

    void writerReportsAnUnwritablePath()
    {
        QString error;
        QVERIFY(!writeXlsx(exportedSheet(), dir.filePath("missing-folder/export.xlsx"), &error));
        QVERIFY(!error.isEmpty());
    }

    void workbookWrittenByAnotherProgram()
    {
        QString error;
        const auto sheet = readXlsx(fixture("other_40rows.xlsx"), &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(sheet->Copy("A1:B3"), QString("0.5\t10.13\r\n1\t20.25\r\n1.5\t30.38\r\n"));
        QCOMPARE(sheet->cell(39, 0).number, 20.0);

        const auto mixed = readXlsx(fixture("other_mixed.xlsx"), &error);
        QVERIFY2(mixed, qPrintable(error));
        QCOMPARE(mixed->NumberFormat("B1:B32"), QString());
        QCOMPARE(mixed->NumberFormat("B1:B16"), QString("0.00"));
        QCOMPARE(mixed->NumberFormat("B17:B32"), QString("0.000"));
    }

    void activeSheetStringsBooleansAndFormats()
    {
        QString error;
        const auto sheet = readXlsx(fixture("other_types.xlsx"), &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.0000"));
        QCOMPARE(sheet->Copy("A1:C4"), QString("0.25\t1.2346\t1,234,567.89\r\n"
                                               "n/a\t-0.5000\t12.5%\r\n"
                                               "TRUE\t2.0000\t2023-03-15\r\n"
                                               "\t\tGröße\r\n"));
    }

    void legacyXlsGivesValuesOnly()
    {
        Application app;
        QString error;
        Workbook* book = app.Open(fixture("other_values.xls"), &error);
        QVERIFY2(book, qPrintable(error));
        const Sheet& sheet = book->ActiveSheet();
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("General"));
        QCOMPARE(sheet.Copy("A1:B4"), QString("4\t4.5\r\n12.3456\t120.25\r\ntext\t\r\n\t7\r\n"));
        app.Close(book);
        QVERIFY(!app.ActiveWorkbook());
    }

    void handMadeParts()
    {
        const QByteArray strings =
            "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<si><t>plain</t></si>"
            "<si><r><rPr><b/></rPr><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r><rPh><t>ignored</t></rPh></si>"
            "<si><t>line_x000D_end</t></si></sst>";
        const QByteArray styles =
            "<?xml version=\"1.0\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<numFmts count=\"1\"><numFmt numFmtId=\"170\" formatCode=\"0.0&quot; mA&quot;\"/></numFmts>"
            "<cellStyleXfs count=\"1\"><xf numFmtId=\"2\"/></cellStyleXfs>"
            "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"170\" applyNumberFormat=\"1\"/><xf numFmtId=\"10\"/></cellXfs>"
            "</styleSheet>";
        const QByteArray data =
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row>"
            "<row><c t=\"inlineStr\"><is><t>inline</t></is></c><c s=\"1\"><v>4.25</v></c><c s=\"2\"><v>0.5</v></c></row>"
            "<row r=\"4\"><c r=\"A4\" t=\"e\"><v>#DIV/0!</v></c><c r=\"B4\" t=\"str\"><f>A1</f><v>formula text</v></c>"
            "<c r=\"C4\" s=\"1\"/></row>";
        const QString path = dir.filePath("handmade.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml(data), strings, styles));
        QString error;
        const auto sheet = readXlsx(path, &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->Copy("A1:C4"), QString("plain\trich \tline end\r\ninline\t4.3 mA\t50.00%\r\n\t\t\r\n#DIV/0!\tformula text\t\r\n"));
        QCOMPARE(sheet->cell(3, 2).format, QString("0.0\" mA\""));
        QCOMPARE(sheet->cell(0, 2).text, QString("line\rend"));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QString>("reason");
        QTest::newRow("malformed XML") << "malformed.xlsx" << sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></row>") << "malformed XML";
        QTest::newRow("DTD with entities")
            << "dtd.xlsx"
            << sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&x;</t></is></c></row>",
                        "<!DOCTYPE worksheet [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>")
            << "document type";
        QTest::newRow("thousands of columns") << "wide.xlsx" << sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"BZZ1\"><v>2</v></c></row>")
                                              << "too many columns";
        QTest::newRow("bad reference") << "badref.xlsx" << sheetXml("<row r=\"1\"><c r=\"A0\"><v>1</v></c></row>") << "bad cell reference";
        QTest::newRow("missing shared string") << "nostring.xlsx" << sheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>")
                                               << "shared string";
    }
    void refusedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, sheet);
        QFETCH(QString, reason);
        const QString path = dir.filePath(name);
        QVERIFY(writeWorkbook(path, sheet));
        const QString error = refusal(path);
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void refusedPackages()
    {
        const QString text = dir.filePath("notes.xlsx");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text, not a workbook\n");
        f.close();
        QVERIFY(refusal(text).contains("not a workbook"));

        QVERIFY(refusal(dir.filePath("does-not-exist.xlsx")) != "<read>");

        // A zip archive without a workbook in it.
        const QString plainZip = dir.filePath("plain.xlsx");
        QVERIFY(writeZip(plainZip, {{"readme.txt", "hello"}}));
        QVERIFY(refusal(plainZip).contains("not a workbook"));

        // The first half of a good workbook.
        QFile good(fixture("other_40rows.xlsx"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray bytes = good.readAll();
        const QString cut = dir.filePath("cut.xlsx");
        QFile out(cut);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes.left(bytes.size() / 2));
        out.close();
        QVERIFY(refusal(cut) != "<read>");

        // A compound document that is no .xls (as an encrypted .xlsx is).
        const QString compound = dir.filePath("encrypted.xlsx");
        QFile c(compound);
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write(QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(4096, '\x01'));
        c.close();
        QVERIFY(refusal(compound) != "<read>");
    }

    void zipBombIsRefusedInBoundedTime()
    {
        // 40 MB of blanks inside the sheet compress to a few dozen kilobytes.
        QByteArray filler(40 * 1024 * 1024, ' ');
        const QString path = dir.filePath("bomb.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + filler)));
        filler.clear();
        QVERIFY(QFileInfo(path).size() < 1024 * 1024);
        QElapsedTimer timer;
        timer.start();
        const QString error = refusal(path);
        QVERIFY2(error.contains("too large"), qPrintable(error));
        QVERIFY(timer.elapsed() < 5000);

        // Several parts that are each allowed but together too much.
        XlsxLimits limits;
        limits.maxPartBytes = 4096;
        limits.maxTotalBytes = 6000;
        const QString many = dir.filePath("many.xlsx");
        QVERIFY(writeWorkbook(many, sheetXml(QByteArray(3000, ' ')), "<sst>" + QByteArray(3000, ' ') + "</sst>"));
        QString why;
        QVERIFY(!readXlsx(many, &why, limits));
        QVERIFY2(why.contains("too large"), qPrintable(why));
    }

    void sizeInTheArchiveDirectoryIsNotTrusted()
    {
        const QString path = dir.filePath("lying.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + QByteArray(200000, ' '))));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray zip = f.readAll();
        // Declare the sheet part 100 bytes long, in its local header and in the central directory.
        const QByteArray name = "xl/worksheets/sheet1.xml";
        int patched = 0;
        for (qsizetype at = zip.indexOf(name); at >= 0; at = zip.indexOf(name, at + 1)) {
            if (at >= 30 && zip.mid(at - 30, 4) == "PK\x03\x04") {
                qToLittleEndian<quint32>(100, zip.data() + at - 30 + 22);
                ++patched;
            } else if (at >= 46 && zip.mid(at - 46, 4) == "PK\x01\x02") {
                qToLittleEndian<quint32>(100, zip.data() + at - 46 + 24);
                ++patched;
            }
        }
        QCOMPARE(patched, 2);
        f.seek(0);
        f.write(zip);
        f.close();
        XlsxLimits limits;
        limits.maxPartBytes = 50000;
        QString why;
        QVERIFY(!readXlsx(path, &why, limits));
        QVERIFY(!why.isEmpty());
    }

    void rowsFarDownAreNotRead()
    {
        QByteArray data;
        for (int r = 1; r <= 50; ++r)
            data += QByteArray("<row r=\"") + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>" + QByteArray::number(r) + "</v></c></row>";
        const QString path = dir.filePath("long.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml(data)));
        XlsxLimits limits;
        limits.maxRows = 32;
        const auto sheet = readXlsx(path, nullptr, limits);
        QVERIFY(sheet);
        QCOMPARE(sheet->cell(31, 0).number, 32.0);
        QCOMPARE(sheet->cell(32, 0).kind, CellKind::Empty);

        limits.maxRows = 1000;
        limits.maxCells = 40;
        QString why;
        QVERIFY(!readXlsx(path, &why, limits));
        QVERIFY2(why.contains("too many cells"), qPrintable(why));
    }

    void mutatedWorkbooksAreReadOrRefused()
    {
        // Damage at random places, in the archive and in the XML inside it: every file is
        // either read or refused with a reason, never a crash.
        QRandomGenerator random(20261206);
        QFile good(fixture("other_types.xlsx"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray archive = good.readAll();
        const QByteArray sheet = sheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\"><v>4.25</v></c></row>"
                                          "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>x</t></is></c></row>");
        const QByteArray strings = "<sst><si><t>a</t></si></sst>";
        const QByteArray styles = "<styleSheet><numFmts><numFmt numFmtId=\"170\" formatCode=\"0.0\"/></numFmts>"
                                  "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/></cellXfs></styleSheet>";
        const QString path = dir.filePath("mutated.xlsx");
        int read = 0, refused = 0;
        for (int round = 0; round < 300; ++round) {
            const bool inXml = round % 2 == 1;
            QByteArray target = inXml ? sheet : archive;
            const int flips = 1 + int(random.bounded(4));
            for (int k = 0; k < flips; ++k)
                target[qsizetype(random.bounded(int(target.size())))] = char(random.bounded(256));
            if (inXml)
                QVERIFY(writeWorkbook(path, target, strings, styles));
            else
                QVERIFY(writeFile(path, target));
            QString error;
            Application app;
            if (app.Open(path, &error)) {
                ++read;
            } else {
                QVERIFY(!error.isEmpty());
                ++refused;
            }
        }
        QVERIFY(read > 0 && refused > 0);
    }

    void legacyReaderFaultsStayInTheirProcess()
    {
        // A damaged .xls on which libfreexl reads past a buffer (found by fuzzing): the
        // reader runs in a child process, so the caller gets a sheet or a reason, never a crash.
        QString error;
        const auto sheet = readXls(fixture("damaged-freexl-overread.xls"), &error);
        QVERIFY2(sheet || !error.isEmpty(), "neither a sheet nor a reason");
        // The same reader still returns the cells of a sound file.
        const auto good = readXls(fixture("other_values.xls"), &error);
        QVERIFY2(good, qPrintable(error));
        QVERIFY(!good->cells().empty());
        // A missing file is reported, not crashed on.
        QVERIFY(!readXls(QDir::temp().filePath("no-such-workbook.xls"), &error));
        QVERIFY(!error.isEmpty());
    }

    void builtinFormats()
    {
        QCOMPARE(builtinNumberFormat(1), QString("0"));
        QCOMPARE(builtinNumberFormat(2), QString("0.00"));
        QCOMPARE(builtinNumberFormat(49), QString("@"));
        QCOMPARE(builtinNumberFormat(200), QString());
    }
};

QTEST_MAIN(TestXlsxFiles)
#include "test_xlsx_files.moc"
