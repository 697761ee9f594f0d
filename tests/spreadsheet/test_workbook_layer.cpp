// The workbook layer without files: displayed text under number formats, ranges,
// number formats of ranges, copy and paste.
#include <QTest>
#include <clocale>

#include "spreadsheet/DisplayText.h"
#include "spreadsheet/Workbook.h"

using namespace Spreadsheet;

class TestWorkbookLayer : public QObject {
    Q_OBJECT
private slots:
    void fixedFormatsRoundHalfAwayFromZero_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0 of 4") << 4.0 << "0" << "4";
        QTest::newRow("0 of 2.5") << 2.5 << "0" << "3";
        QTest::newRow("0 of -2.5") << -2.5 << "0" << "-3";
        QTest::newRow("0.0 of 0.05") << 0.05 << "0.0" << "0.1";
        QTest::newRow("0.00 of 2.675 (binary 2.67499..)") << 2.675 << "0.00" << "2.68";
        QTest::newRow("0.00 of 1.005") << 1.005 << "0.00" << "1.01";
        QTest::newRow("0.00 of 10.125") << 10.125 << "0.00" << "10.13";
        QTest::newRow("0.000 of 4") << 4.0 << "0.000" << "4.000";
        QTest::newRow("0.000 of 0.1+0.2") << 0.1 + 0.2 << "0.000" << "0.300";
        QTest::newRow("0.0000 of -0.00005") << -0.00005 << "0.0000" << "-0.0001";
        QTest::newRow("0.00000 of 1.234565") << 1.234565 << "0.00000" << "1.23457";
        QTest::newRow("0.00000 of 99999.999995") << 99999.999995 << "0.00000" << "100000.00000";
        QTest::newRow("0.0 of 1e20") << 1e20 << "0.0" << "100000000000000000000.0";
        QTest::newRow("0.000 of 12345678.9") << 12345678.9 << "0.000" << "12345678.900";
    }
    void fixedFormatsRoundHalfAwayFromZero()
    {
        QFETCH(double, value);
        QFETCH(QString, code);
        QFETCH(QString, shown);
        QCOMPARE(formatNumber(value, code), shown);
        QCOMPARE(fixedText(value, code.size() > 1 ? code.size() - 2 : 0), shown);
    }

    void generalShowsTenSignificantDigits_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("integer") << 100.0 << "100";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("no trailing zeros") << 4.5 << "4.5";
        QTest::newRow("third") << 1.0 / 3 << "0.3333333333";
        QTest::newRow("two thirds") << -2.0 / 3 << "-0.6666666667";
        QTest::newRow("binary noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("ten digits") << 1234567890.0 << "1234567890";
        QTest::newRow("rounded to ten digits") << 1234.56789012 << "1234.56789";
        QTest::newRow("large") << 123456789012.0 << "1.23457E+11";
        QTest::newRow("small") << 0.0000000001 << "1E-10";
        QTest::newRow("small with digits") << -1.5e-12 << "-1.5E-12";
    }
    void generalShowsTenSignificantDigits()
    {
        QFETCH(double, value);
        QFETCH(QString, shown);
        QCOMPARE(formatNumber(value, "General"), shown);
        QCOMPARE(formatGeneral(value), shown);
    }

    void otherFormatsAreFollowed_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("shown");
        QTest::newRow("thousands") << 1234567.891 << "#,##0.00" << "1,234,567.89";
        QTest::newRow("thousands small") << 12.0 << "#,##0" << "12";
        QTest::newRow("percent") << 0.125 << "0%" << "13%";
        QTest::newRow("percent decimals") << 0.125 << "0.0%" << "12.5%";
        QTest::newRow("scientific") << 12345.0 << "0.00E+00" << "1.23E+04";
        QTest::newRow("scientific small") << 0.000123 << "0.00E+00" << "1.23E-04";
        QTest::newRow("scientific carry") << 9.999 << "0.00E+00" << "1.00E+01";
        QTest::newRow("negative section") << -1.25 << "0.0;(0.0)" << "(1.3)";
        QTest::newRow("zero section") << 0.0 << "0.0;-0.0;\"zero\"" << "zero";
        QTest::newRow("quoted and escaped") << 5.0 << "0.0\" V\"\\!" << "5.0 V!";
        QTest::newRow("currency bracket") << -3.5 << "[$€-407]0.00" << "-€3.50";
        QTest::newRow("colour") << 2.0 << "[Red]0.0" << "2.0";
        QTest::newRow("optional digits") << 2.5 << "#.##" << "2.5";
        QTest::newRow("no integer digit") << 0.5 << "#.00" << ".50";
        QTest::newRow("scaled by thousands") << 1234567.0 << "0.0," << "1234.6";
        QTest::newRow("date") << 45000.0 << "yyyy-mm-dd" << "2023-03-15";
        QTest::newRow("date with names") << 45000.0 << "d-mmm-yy" << "15-Mar-23";
        QTest::newRow("time") << 0.75 << "h:mm" << "18:00";
        QTest::newRow("time twelve-hour") << 0.75 << "h:mm AM/PM" << "6:00 PM";
        QTest::newRow("elapsed hours") << 1.5 << "[h]:mm:ss" << "36:00:00";
        QTest::newRow("general section") << -7.25 << "General;(General)" << "(7.25)";
        QTest::newRow("text format") << 12.5 << "@" << "12.5";
    }
    void otherFormatsAreFollowed()
    {
        QFETCH(double, value);
        QFETCH(QString, code);
        QFETCH(QString, shown);
        QCOMPARE(formatNumber(value, code), shown);
    }

    void decimalPointDoesNotFollowTheLocale()
    {
        const char* old = setlocale(LC_ALL, nullptr);
        const QByteArray saved = old ? QByteArray(old) : QByteArray("C");
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
        QVERIFY(r);
        QCOMPARE(r->row1, 0);
        QCOMPARE(r->col1, 0);
        QCOMPARE(r->row2, 31);
        QCOMPARE(r->col2, 1);
        QVERIFY(parseCellRef("$AB$12"));
        QCOMPARE(parseCellRef("$AB$12")->col, 27);
        QCOMPARE(columnName(27), QString("AB"));
        QVERIFY(!parseRange("A0"));
        QVERIFY(!parseRange("A1:B2:C3"));
        QVERIFY(!parseCellRef("1A"));
        QVERIFY(!parseCellRef("XFE1")); // beyond the last column
        QCOMPARE(parseNumber(" -.5 "), std::optional<double>(-0.5));
        QCOMPARE(parseNumber("1e3"), std::optional<double>(1000));
        for (const char* notNumber : {"", "-", ".", "1.2.3", "abc", "1 2", "0x10", "inf", "nan", "1e999"})
            QVERIFY2(!parseNumber(notNumber), notNumber);
    }

    void numberFormatOfRange()
    {
        Sheet sheet;
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("General"));
        QVERIFY(sheet.setNumberFormat("B1:B32", "0.00"));
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(sheet.NumberFormat("B5"), QString("0.00"));
        QCOMPARE(sheet.NumberFormat("B1:B33"), QString()); // B33 differs: no single format
        QVERIFY(sheet.setNumberFormat("B17", "0.000"));
        QCOMPARE(sheet.NumberFormat("B1:B32"), QString());
        QCOMPARE(sheet.NumberFormat("B1:B16"), QString("0.00"));
        QVERIFY(!sheet.setNumberFormat("nonsense", "0"));
    }

    void copyGivesDisplayedText()
    {
        Sheet sheet;
        sheet.setNumberFormat("A1:A3", "0.000");
        sheet.setNumberFormat("B1:B3", "0.0");
        sheet.setNumber(0, 0, 4);
        sheet.setNumber(0, 1, 4.25);
        sheet.setText(1, 0, "n/a");
        sheet.setCell(2, 1, Cell{CellKind::Boolean, 1, {}, "0.0"});
        QCOMPARE(sheet.Copy("A1:B4"), QString("4.000\t4.3\r\nn/a\t\r\n\tTRUE\r\n\t\r\n"));
        QCOMPARE(sheet.Copy("A1"), QString("4.000\r\n"));

        // Separators inside a text would shift the cells after it.
        sheet.setText(3, 0, "two\tparts\r\nand lines");
        QCOMPARE(sheet.Copy("A4:B4"), QString("two parts  and lines\t\r\n"));
    }

    void pasteSplitsIntoCellsAndKeepsFormats()
    {
        Sheet sheet;
        sheet.setNumberFormat("A1:A32", "0.0");
        sheet.setText(2, 1, "old");
        QVERIFY(sheet.Select("A2"));
        sheet.Paste("4.000\t-.50000\r\nabc\t\r\n\t7\n1e2");
        QCOMPARE(sheet.cell(1, 0).kind, CellKind::Number);
        QCOMPARE(sheet.cell(1, 0).number, 4.0);
        QCOMPARE(sheet.cell(1, 0).format, QString("0.0"));
        QCOMPARE(sheet.cell(1, 1).number, -0.5);
        QCOMPARE(sheet.cell(2, 0).kind, CellKind::Text);
        QCOMPARE(sheet.cell(2, 0).text, QString("abc"));
        QCOMPARE(sheet.cell(2, 1).kind, CellKind::Empty); // emptied by the paste
        QCOMPARE(sheet.cell(3, 0).kind, CellKind::Empty);
        QCOMPARE(sheet.cell(3, 1).number, 7.0);
        QCOMPARE(sheet.cell(4, 0).number, 100.0);
        QCOMPARE(sheet.cell(0, 0).kind, CellKind::Empty);
        QCOMPARE(sheet.Copy("A2:B5"), QString("4.0\t-0.5\r\nabc\t\r\n\t7\r\n100.0\t\r\n"));

        // Grid text uses CR between rows.
        QVERIFY(sheet.Select("C1"));
        sheet.Paste("1\t2\r3\t4");
        QCOMPARE(sheet.Copy("C1:D2"), QString("1\t2\r\n3\t4\r\n"));
    }
};

QTEST_MAIN(TestWorkbookLayer)
#include "test_workbook_layer.moc"
