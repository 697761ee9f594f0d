// The workbook layer without files: displayed text under number formats, ranges,
// number formats of ranges with row and column formats, copy and paste.
#include <QTest>
#include <clocale>

#include "spreadsheet/DisplayText.h"
#include "spreadsheet/Workbook.h"

using namespace Spreadsheet;

class TestWorkbookLayer : public QObject {
    Q_OBJECT
private slots:
    void displayedText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("shown");
        QTest::newRow("half away from zero") << -2.5 << "0" << "-3";
        QTest::newRow("decimal digits, not binary") << 2.675 << "0.00" << "2.68";
        QTest::newRow("carry into a new digit") << 99999.999995 << "0.00000" << "100000.00000";
        QTest::newRow("general: ten digits") << -2.0 / 3 << "General" << "-0.6666666667";
        QTest::newRow("general: negative zero") << -0.0 << "General" << "0";
        QTest::newRow("general: scientific") << 123456789012.0 << "General" << "1.23457E+11";
        QTest::newRow("thousands") << 1234567.891 << "#,##0.00" << "1,234,567.89";
        QTest::newRow("percent") << 0.125 << "0.0%" << "12.5%";
        QTest::newRow("scientific carry") << 9.999 << "0.00E+00" << "1.00E+01";
        QTest::newRow("negative section") << -1.25 << "0.0;(0.0)" << "(1.3)";
        QTest::newRow("section break only outside quotes") << -2.0 << "0\" a;b\";[Red]\\(0\\;)" << "(2;)";
        QTest::newRow("quoted and escaped") << 5.0 << "0.0\" V\"\\!" << "5.0 V!";
        QTest::newRow("currency bracket") << -3.5 << "[$€-407]0.00" << "-€3.50";
        QTest::newRow("scaled by thousands") << 1234567.0 << "0.0," << "1234.6";
        QTest::newRow("date") << 45000.0 << "d-mmm-yy" << "15-Mar-23";
        QTest::newRow("time twelve-hour") << 0.75 << "h:mm AM/PM" << "6:00 PM";
        QTest::newRow("elapsed hours") << 1.5 << "[h]:mm:ss" << "36:00:00";
    }
    void displayedText()
    {
        QFETCH(double, value);
        QFETCH(QString, code);
        QFETCH(QString, shown);
        QCOMPARE(formatNumber(value, code), shown);
    }

    void decimalPointDoesNotFollowTheLocale()
    {
        const QByteArray saved = setlocale(LC_ALL, nullptr);
        if (!setlocale(LC_ALL, "de_DE.UTF-8"))
            setlocale(LC_ALL, "C.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(formatNumber(1234.5, "0.00"), QString("1234.50"));
        QCOMPARE(formatGeneral(0.25), QString("0.25"));
        QCOMPARE(parseNumber("1.5"), std::optional<double>(1.5));
        QCOMPARE(parseNumber("1,5"), std::optional<double>());
        QLocale::setDefault(QLocale::c());
        setlocale(LC_ALL, saved.constData());
    }

    void addressesAndNumbers()
    {
        const auto r = parseRange("B32:A1");
        QVERIFY(r && r->row1 == 0 && r->col1 == 0 && r->row2 == 31 && r->col2 == 1);
        QCOMPARE(parseCellRef("$AB$12")->col, 27);
        QCOMPARE(columnName(27), QString("AB"));
        for (const char* bad : {"A0", "A1:B2:C3", "1A", "XFE1"})
            QVERIFY2(!parseRange(bad), bad);
        for (const char* notNumber : {"", "-", ".", "1.2.3", "1 2", "0x10", "inf", "nan", "1e999"})
            QVERIFY2(!parseNumber(notNumber), notNumber);
    }

    // A cell's format is its own, else its row's, else its column's, else General.
    void numberFormatOfRange()
    {
        Sheet sheet;
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("General"));
        sheet.setColumnFormat(1, "0.00");
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("0.00"));
        sheet.setRowFormat(4, "0.0");
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString());
        QCOMPARE(sheet.NumberFormat("A5:C5"), QString("0.0"));
        QVERIFY(sheet.setNumberFormat("B5", "0.00"));
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(sheet.NumberFormat("A1:B1"), QString()); // A1 is General
        QVERIFY(!sheet.setNumberFormat("nonsense", "0"));
    }

    void copyAndPaste()
    {
        Sheet sheet;
        sheet.setNumberFormat("A1:A32", "0.000");
        sheet.setText(2, 1, "old");
        sheet.setText(5, 0, "two\tparts\r\nand lines");
        QVERIFY(sheet.Select("A2"));
        sheet.Paste("4.000\t-.50000\r\nabc\t\r\n\t7\n1e2");
        QCOMPARE(sheet.cell(1, 0).kind, CellKind::Number);
        QCOMPARE(sheet.cell(2, 1).kind, CellKind::Empty); // emptied by the paste
        sheet.setCell(0, 1, Cell{CellKind::Boolean, 1, {}, "0.0"});
        // Separators inside a text would shift the cells after it.
        QCOMPARE(sheet.Copy("A1:B6"), QString("\tTRUE\r\n4.000\t-0.5\r\nabc\t\r\n\t7\r\n100.000\t\r\ntwo parts  and lines\t\r\n"));
        QVERIFY(sheet.Select("C1"));
        sheet.Paste("1\t2\r3\t4"); // the grid's text: CR between rows
        QCOMPARE(sheet.Copy("C1:D2"), QString("1\t2\r\n3\t4\r\n"));
    }
};

QTEST_MAIN(TestWorkbookLayer)
#include "test_workbook_layer.moc"
