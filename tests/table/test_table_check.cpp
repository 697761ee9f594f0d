// Rules of a run on plain values: the whole-table checks and the digits a value is sent as.
#include <QTest>

#include "programming/PointCommands.h"
#include "programming/RunMessages.h"
#include "table/TableCheck.h"
#include "table/ValueRules.h"

class TestTableCheck : public QObject {
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<InputKind>("input");
        QTest::addColumn<QStringList>("rows"); // "input|display"; the display value is 1.000 when left out
        QTest::addColumn<int>("code");
        const InputKind V = InputType::Voltage, I = InputType::Current, P = InputType::Pulse, N;
        QTest::newRow("voltage limits") << V << QStringList{"-10.000", "10.000"} << 0;
        QTest::newRow("voltage above") << V << QStringList{"1.000", "10.001"} << 3;
        QTest::newRow("voltage span short") << V << QStringList{"1.000", "1.050"} << 5;
        QTest::newRow("voltage span exact") << V << QStringList{"1.000", "1.100"} << 0;
        QTest::newRow("voltage span one unit short") << V << QStringList{"1.000", "1.099"} << 5;
        QTest::newRow("voltage range before span") << V << QStringList{"9.95", "10.02"} << 3;
        QTest::newRow("current span short") << I << QStringList{"4.000", "4.100"} << 6;
        QTest::newRow("current span exact") << I << QStringList{"4.000", "4.150"} << 0;
        QTest::newRow("current span one unit short") << I << QStringList{"4.000", "4.149"} << 6;
        QTest::newRow("current range") << I << QStringList{"22.9", "23.5"} << 4;
        QTest::newRow("current span before range") << I << QStringList{"22.98", "23.10"} << 6;
        QTest::newRow("pulse span short") << P << QStringList{"0", "9"} << 9;
        QTest::newRow("pulse span exact") << P << QStringList{"0", "10"} << 0;
        QTest::newRow("pulse span one unit short") << P << QStringList{"0.0", "9.9"} << 9;
        QTest::newRow("pulse above") << P << QStringList{"0.0", "30000.1"} << 8;
        QTest::newRow("pulse limit") << P << QStringList{"0.0", "30000.0"} << 0;
        QTest::newRow("falling") << I << QStringList{"4.000", "8.000", "6.000"} << 7;
        QTest::newRow("no type skips range") << N << QStringList{"100", "400"} << 0;
        QTest::newRow("order before earlier range") << V << QStringList{"11.000", "12.000", "12.000"} << 7;
        QTest::newRow("first broken row wins") << V << QStringList{"1.000", "1.010", "20.000"} << 5;
        QTest::newRow("equal once rounded") << V << QStringList{"1.0001", "1.0004"} << 7;
        QTest::newRow("display empty") << I << QStringList{"4.000", "20.000|"} << 2;
        QTest::newRow("empty beats order") << V << QStringList{"|4.000", "4.000"} << 2;
        QTest::newRow("comma") << I << QStringList{"4,000", "20.000"} << 2;
        QTest::newRow("display sign and point") << I << QStringList{"4.000", "20.000|-.50000"} << 0;
    }
    void rules()
    {
        QFETCH(InputKind, input);
        QFETCH(QStringList, rows);
        QFETCH(int, code);
        QList<PointRow> table;
        for (const QString& r : rows)
            table.append({r.section('|', 0, 0), r.contains('|') ? r.section('|', 1) : QStringLiteral("1.000")});
        QCOMPARE(TableCheck::check(table, input), code);
    }

    // Display values from a workbook or the clipboard meet the typed value's range before a run.
    void displayRange_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("displays"); // of the points 4.000 mA and 20.000 mA
        QTest::addColumn<int>("point");            // the first out of range; 0: the check passes
        QTest::newRow("bounds") << "ddd.ddd" << QStringList{"-99.999", "999.999"} << 0;
        QTest::newRow("1000") << "ddd.ddd" << QStringList{"0.000", "1000"} << 2;
        QTest::newRow("123456789") << "ddd.ddd" << QStringList{"123456789", "0"} << 1;
        QTest::newRow("1e308") << "dddddd" << QStringList{"0", "1e308"} << 2;
        QTest::newRow("below") << "ddddd.d" << QStringList{"-10000", "0"} << 1;
        QTest::newRow("d.ddddd sign") << "d.ddddd" << QStringList{"-9.9999", "9.99999"} << 0;
        QTest::newRow("no format") << "" << QStringList{"0", "1e9"} << 0;
        // Each format's top passes and one unit of its last digit more does not.
        const char* const tops[][3] = {{"dddddd", "999999", "1000000"},       {"ddddd.d", "99999.9", "100000.0"},
                                       {"dddd.dd", "9999.99", "10000.00"},    {"ddd.ddd", "999.999", "1000.000"},
                                       {"dd.dddd", "99.9999", "100.0000"},    {"d.ddddd", "9.99999", "10.00000"}};
        for (const auto& [format, top, above] : tops) {
            QTest::addRow("%s top", format) << format << QStringList{"0", top} << 0;
            QTest::addRow("%s top + 1", format) << format << QStringList{"0", above} << 2;
        }
    }
    void displayRange()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, displays);
        QFETCH(int, point);
        const PointTable table{InputType::Current, format, {{"4.000", displays[0]}, {"20.000", displays[1]}}};
        QCOMPARE(TableCheck::check(table), point ? 13 : 0);
        QCOMPARE(TableCheck::check({{"4.000", displays[0]}, {"4.000", displays[1]}}, InputType::Current, format), 7); // input rules first
        if (!point)
            return;
        const auto message = TableCheck::failureMessage(TableCheck::check(table), table);
        QVERIFY(message && message->title == "Invalid Display Value" && message->style == 0);
        QCOMPARE(message->text, ValueRules::displayMessage(format) + QString("\r\nPoint %1 is outside this range.").arg(point));
    }

    // Values stored unchecked are sent rounded to units of the format's last decimal.
    void valueDigits()
    {
        const struct { const char* text; int decimals; const char* digits; } cases[] = {
            {"-10.000", 3, "-10000"}, {"4", 3, "4000"}, {"12.34", 1, "123"}, {"99999.6", 0, "100000"},
            {"-.50000", 5, "-50000"}, {"1.5", -1, "15"}};
        for (const auto& c : cases)
            QCOMPARE(PointCommands::valueDigits(c.text, c.decimals), QString(c.digits));
    }

    void pointCountAndPortHint()
    {
        QCOMPARE(PointCommands::pointCount("32"), 32);
        QCOMPARE(PointCommands::pointCount("09") + PointCommands::pointCount("33"), 0);
        QVERIFY(RunMessages::portFailure({3, "/dev/ttyS2", "Permission denied", true}).contains("dialout"));
        QVERIFY(!RunMessages::portFailure({2, "/dev/ttyUSB0", "Device or resource busy", false}).contains("dialout"));
    }
};

QTEST_GUILESS_MAIN(TestTableCheck)
#include "test_table_check.moc"
