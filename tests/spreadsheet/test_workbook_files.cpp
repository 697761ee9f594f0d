// Workbook files: the .xlsx writer read back, workbooks made by other programs in every
// format, hand-made parts for what those programs rarely write, and files to refuse.
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "XlsxBuilder.h"
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
    const qsizetype at = bytes.indexOf(from);
    return at < 0 ? QByteArray() : bytes.replace(at, from.size(), to);
}
QByteArray odsBytes(const QByteArray& styles, const QByteArray& tables, const QByteArray& settings = QByteArray())
{
    const QByteArray ns = "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                          "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
                          "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
                          "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
                          "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"";
    PartList parts{{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                   {"content.xml", "<office:document-content " + ns + "><office:automatic-styles>" + styles
                                       + "</office:automatic-styles><office:body><office:spreadsheet>" + tables
                                       + "</office:spreadsheet></office:body></office:document-content>"}};
    if (!settings.isEmpty())
        parts.append({"settings.xml", "<office:document-settings " + ns + "><config:config-item config:name=\"ActiveTable\">"
                                          + settings + "</config:config-item></office:document-settings>"});
    return zipBytes(parts);
}
QByteArray cell(const QByteArray& attributes, const QByteArray& inside = QByteArray())
{
    return "<table:table-cell " + attributes + ">" + inside + "</table:table-cell>";
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
        Workbook* book = writeFile(path, bytes) ? app.Open(path, error) : nullptr;
        return book ? std::optional<Sheet>(book->ActiveSheet()) : std::nullopt;
    }

private slots:
    void exportReadBackHereAndByAnotherReader()
    {
        Sheet sheet;
        sheet.Select("A1");
        sheet.setNumberFormat("A1:A32", "0.000");
        sheet.setNumberFormat("B1:B32", "0.00");
        sheet.Paste("4.000\t0.00\r8.000\t25.00\r20.000\t100.00\rn/a\tGröße <&>");
        sheet.setCell(4, 0, Cell{CellKind::Boolean, 1, {}, "0.000"});
        const QString path = dir.filePath("export.xlsx");
        QString error;
        QVERIFY(!writeXlsx(sheet, dir.filePath("missing-folder/export.xlsx"), &error) && !error.isEmpty());
        QVERIFY2(writeXlsx(sheet, path, &error), qPrintable(error));
        const auto back = readXlsx(path, &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(back->NumberFormat("A1:A32"), QString("0.000"));
        QCOMPARE(back->NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(back->NumberFormat("A33"), QString("General"));
        QCOMPARE(back->Copy("A1:B6"), QString("4.000\t0.00\r\n8.000\t25.00\r\n20.000\t100.00\r\nn/a\tGröße <&>\r\nTRUE\t\r\n\t\r\n"));

        QProcess p;
        p.start("/usr/bin/python3", {"-c", "import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                           "for c in ('A1', 'B3', 'B6', 'B33'): print(c, ws[c].number_format, ws[c].value)", path});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            QSKIP("python3-openpyxl is not installed");
        QCOMPARE(QString(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"A1 0.000 4", "B3 0.00 100", "B6 0.00 None", "B33 General None"}));
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

    void handMadeXlsxParts()
    {
        const QByteArray strings = "<sst><si><t>plain</t></si><si><r><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r>"
                                   "<rPh><t>ignored</t></rPh></si><si><t>line_x000D_end</t></si></sst>";
        const QByteArray styles = "<styleSheet><numFmts><numFmt numFmtId=\"170\" formatCode=\"0.0&quot; mA&quot;\"/></numFmts>"
                                  "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"170\"/><xf numFmtId=\"10\"/><xf numFmtId=\"2\"/></cellXfs></styleSheet>";
        const QByteArray data =
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row>"
            "<row><c t=\"inlineStr\"><is><t>inline</t></is></c><c s=\"1\"><v>4.25</v></c><c s=\"2\"><v>0.5</v></c></row>"
            "<row r=\"4\" s=\"1\" customFormat=\"1\"><c r=\"A4\" t=\"e\"><v>#DIV/0!</v></c><c r=\"B4\" t=\"str\"><v>formula text</v></c>"
            "<c r=\"C4\"><v>2</v></c></row><row r=\"5\"><c r=\"D5\"><v>3</v></c></row>";
        const QString path = dir.filePath("handmade.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml(data).replace("<sheetData>", "<cols><col min=\"4\" max=\"4\" style=\"3\"/></cols><sheetData>"),
                              strings, styles));
        QString error;
        const auto sheet = readXlsx(path, &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->Copy("A1:D5"), QString("plain\trich \tline end\t\r\ninline\t4.3 mA\t50.00%\t\r\n\t\t\t\r\n"
                                               "#DIV/0!\tformula text\t2.0 mA\t\r\n\t\t\t3.00\r\n"));
        QCOMPARE(sheet->NumberFormat("A4:Z4"), QString("0.0\" mA\"")); // the row's format
        QCOMPARE(sheet->NumberFormat("D1:D3"), QString("0.00"));        // the column's
    }

    void handMadeOdsParts()
    {
        const QByteArray styles =
            "<number:number-style style:name=\"N2\"><number:number number:decimal-places=\"2\" number:min-integer-digits=\"1\"/></number:number-style>"
            "<number:number-style style:name=\"NV\"><number:number number:decimal-places=\"1\" number:min-integer-digits=\"1\" number:grouping=\"true\"/>"
            "<number:text> V</number:text></number:number-style>"
            "<number:percentage-style style:name=\"NP\"><number:number number:decimal-places=\"1\" number:min-integer-digits=\"1\"/>"
            "<number:text>%</number:text></number:percentage-style>"
            "<number:number-style style:name=\"N1\"><number:number number:decimal-places=\"1\" number:min-integer-digits=\"1\"/></number:number-style>"
            "<number:number-style style:name=\"NN\"><number:text>(</number:text><number:number number:decimal-places=\"1\" "
            "number:min-integer-digits=\"1\"/><number:text>)</number:text><style:map style:condition=\"value()&gt;=0\" style:apply-style-name=\"N1\"/></number:number-style>"
            "<number:time-style style:name=\"NT\"><number:hours number:style=\"long\"/><number:text>:</number:text><number:minutes number:style=\"long\"/></number:time-style>"
            "<number:date-style style:name=\"ND\"><number:day/><number:text>.</number:text><number:month/><number:text>.</number:text><number:year number:style=\"long\"/></number:date-style>";
        QByteArray cellStyles;
        for (const char* s : {"N2", "NV", "NP", "NN", "NT", "ND"})
            cellStyles += QByteArray("<style:style style:family=\"table-cell\" style:name=\"c") + s + "\" style:data-style-name=\"" + s + "\"/>";
        cellStyles += "<style:style style:family=\"table-cell\" style:name=\"child\" style:parent-style-name=\"cNV\"/>";
        const QByteArray rows =
            "<table:table-column/><table:table-column table:default-cell-style-name=\"cN2\" table:number-columns-repeated=\"3\"/>"
            "<table:table-row>" + cell("office:value-type=\"float\" office:value=\"4\"") + cell("office:value-type=\"float\" office:value=\"5.3456\"")
            + cell("table:style-name=\"child\" office:value-type=\"float\" office:value=\"1234.56\"")
            + cell("table:style-name=\"cNP\" table:number-columns-repeated=\"2\" office:value-type=\"percentage\" office:value=\"0.125\"")
            + "</table:table-row><table:table-row>"
            + cell("office:value-type=\"string\"", "<office:annotation><text:p>note</text:p></office:annotation><text:p>a<text:s text:c=\"2\"/>b<text:span>c</text:span></text:p>")
            + "<table:covered-table-cell office:value-type=\"float\" office:value=\"9\"/>"
            + cell("table:style-name=\"cNN\" office:value-type=\"float\" office:value=\"-2.5\"")
            + cell("table:style-name=\"cNT\" office:value-type=\"time\" office:time-value=\"PT18H30M00S\"")
            + cell("table:style-name=\"cND\" office:value-type=\"date\" office:date-value=\"2023-03-15\"")
            + "</table:table-row><table:table-row table:number-rows-repeated=\"2\">" + cell("office:value-type=\"float\" office:value=\"7\"")
            + cell("office:value-type=\"boolean\" office:boolean-value=\"true\"") + "</table:table-row>"
            + "<table:table-row table:number-rows-repeated=\"1048570\">" + cell("table:number-columns-repeated=\"16384\"") + "</table:table-row>"
            + "<table:table-row>" + cell("office:value-type=\"float\" office:value=\"99\"") + "</table:table-row>";
        const QByteArray tables = "<table:table table:name=\"First\">" + cell("office:value-type=\"float\" office:value=\"1\"")
            + "</table:table><table:table table:name=\"Shown\">" + rows + "</table:table>";
        QString error;
        const auto sheet = readOdsBytes(odsBytes(styles + cellStyles, tables, "Shown"), &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->Copy("A1:E5"), QString("4\t5.35\t1,234.6 V\t12.5%\t12.5%\r\na  bc\t\t(2.5)\t18:30\t15.3.2023\r\n"
                                               "7\tTRUE\t\t\t\r\n7\tTRUE\t\t\t\r\n\t\t\t\t\r\n"));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.00"));
        QVERIFY(sheet->cells().rbegin()->first.first < 4); // the row past the bound is not read
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray xls = fixtureBytes("office_column_format.xls");
        QTest::newRow("text") << QByteArray("not a workbook") << "not a workbook";
        QTest::newRow("zip without workbook") << zipBytes({{"readme.txt", "hello"}}) << "not a workbook";
        QTest::newRow("half an xlsx") << fixtureBytes("column_format.xlsx").left(3000) << "zip";
        QTest::newRow("xls with FILEPASS") << patched(xls, QByteArray::fromHex("3d001200"), QByteArray::fromHex("2f001200")) << "encrypted";
        QTest::newRow("BIFF5 xls") << patched(xls, QByteArray::fromHex("0908100000060500"), QByteArray::fromHex("0908100000050500")) << "BIFF5";
        QTest::newRow("half an xls") << xls.left(xls.size() / 2) << "damaged";
        QTest::newRow("damaged compound file") << fixtureBytes("damaged-freexl-overread.xls") << "damaged";
        QTest::newRow("compound file without workbook") << QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(4096, '\x01') << "damaged";
        QTest::newRow("xlsx malformed XML") << zipBytes({{"xl/workbook.xml", workbookXml()}, {"xl/_rels/workbook.xml.rels", relsXml()},
                                                         {"xl/worksheets/sheet1.xml", sheetXml("<row><c><v>1</v></row>")}}) << "malformed XML";
        QTest::newRow("xlsx DTD") << zipBytes({{"xl/workbook.xml", "<!DOCTYPE w [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><w>&x;</w>"}})
                                  << "document type";
        QTest::newRow("xlsx thousands of columns") << zipBytes({{"xl/workbook.xml", workbookXml()}, {"xl/_rels/workbook.xml.rels", relsXml()},
                                                                {"xl/worksheets/sheet1.xml", sheetXml("<row r=\"1\"><c r=\"BZZ1\"><v>2</v></c></row>")}})
                                                   << "too many columns";
        QTest::newRow("xlsx missing shared string") << zipBytes({{"xl/workbook.xml", workbookXml()}, {"xl/_rels/workbook.xml.rels", relsXml()},
                                                                 {"xl/worksheets/sheet1.xml", sheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>")}})
                                                    << "shared string";
        QTest::newRow("ods value far right") << odsBytes({}, "<table:table><table:table-row>" + cell("table:number-columns-repeated=\"2000\" office:value-type=\"float\" office:value=\"1\"")
                                                             + "</table:table-row></table:table>") << "too many columns";
        QTest::newRow("ods malformed") << odsBytes({}, "<table:table>") << "malformed XML";
        QTest::newRow("ods zip bomb") << odsBytes({}, QByteArray(40 * 1024 * 1024, ' ')) << "too large";
        QTest::newRow("ods of a text document") << zipBytes({{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", "<x/>"}})
                                                << "not a spreadsheet";
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
        QByteArray rows;
        for (int r = 1; r <= 50; ++r)
            rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>" + QByteArray::number(r) + "</v></c></row>";
        const QString path = dir.filePath("long.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml(rows), "<sst>" + QByteArray(3000, ' ') + "</sst>"));
        XlsxLimits limits;
        limits.maxRows = 32;
        const auto sheet = readXlsx(path, nullptr, limits);
        QVERIFY(sheet && sheet->cell(31, 0).number == 32.0 && sheet->cell(32, 0).kind == CellKind::Empty);
        QString why;
        limits = XlsxLimits();
        limits.maxCells = 40;
        QVERIFY(!readXlsx(path, &why, limits) && why.contains("too many cells"));
        limits = XlsxLimits();
        limits.maxTotalBytes = 4000; // each part fits, both together do not
        QVERIFY(!readXlsx(path, &why, limits) && why.contains("too large"));

        // A part declared 100 bytes long in both headers that inflates to far more.
        QByteArray zip = zipBytes({{"content.xml", QByteArray(200000, ' ')}});
        for (qsizetype at : {qsizetype(22), zip.lastIndexOf("PK\x01\x02") + 24})
            qToLittleEndian<quint32>(100, zip.data() + at);
        QVERIFY(!readOdsBytes(zip, &why) && why.contains("content.xml"));

        OdsLimits few;
        few.maxCells = 3;
        QVERIFY(!readOdsBytes(fixtureBytes("office_column_format.ods"), &why, few) && why.contains("too many cells"));
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
