// Whole-table checks and their messages, on table snapshots.
#include <QLocale>
#include <QTest>

#include "programming/TableCheck.h"

namespace {
QList<PointRow> inputs(const QStringList& values)
{
    QList<PointRow> rows;
    for (const QString& v : values)
        rows.append({v, QStringLiteral("1.000")});
    return rows;
}
} // namespace

class TestTableCheck : public QObject {
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<int>("code");
        const int V = int(InputType::Voltage), I = int(InputType::Current), P = int(InputType::Pulse), N = -1;
        QTest::newRow("voltage limits pass") << V << QStringList{"-10.000", "10.000"} << 0;
        QTest::newRow("voltage above") << V << QStringList{"1.000", "10.001"} << 3;
        QTest::newRow("voltage below") << V << QStringList{"-10.001", "1.000"} << 3;
        QTest::newRow("voltage span short") << V << QStringList{"1.000", "1.050"} << 5;
        QTest::newRow("voltage span exact") << V << QStringList{"1.000", "1.100"} << 0;
        QTest::newRow("voltage range before span") << V << QStringList{"9.95", "10.02"} << 3;
        QTest::newRow("current span short") << I << QStringList{"4.000", "4.100"} << 6;
        QTest::newRow("current span exact") << I << QStringList{"4.000", "4.150"} << 0;
        QTest::newRow("current range") << I << QStringList{"22.9", "23.5"} << 4;
        QTest::newRow("current span before range") << I << QStringList{"22.98", "23.10"} << 6;
        QTest::newRow("current limits") << I << QStringList{"0.000", "23.000"} << 0;
        QTest::newRow("current negative") << I << QStringList{"-1.000", "4.000"} << 4;
        QTest::newRow("pulse span short") << P << QStringList{"0", "9"} << 9;
        QTest::newRow("pulse span exact") << P << QStringList{"0", "10"} << 0;
        QTest::newRow("pulse above") << P << QStringList{"0.0", "30000.1"} << 8;
        QTest::newRow("pulse limit") << P << QStringList{"0.0", "30000.0"} << 0;
        QTest::newRow("equal values before range") << V << QStringList{"20.000", "20.000"} << 7;
        QTest::newRow("falling") << I << QStringList{"4.000", "8.000", "6.000"} << 7;
        QTest::newRow("order for no type") << N << QStringList{"5", "4"} << 7;
        QTest::newRow("no type skips range") << N << QStringList{"100", "400"} << 0;
        QTest::newRow("order before earlier range") << V << QStringList{"11.000", "12.000", "12.000"} << 7;
        QTest::newRow("first broken row wins") << V << QStringList{"1.000", "1.010", "20.000"} << 5;
        // Values are compared as the meter receives them (normal form).
        QTest::newRow("equal once rounded") << V << QStringList{"1.0001", "1.0004"} << 7;
        QTest::newRow("thousands not grouped") << V << QStringList{"1.000", "4.000"} << 0;
    }
    void rules()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, values);
        QFETCH(int, code);
        QCOMPARE(TableCheck::check(inputs(values), kind < 0 ? InputKind() : InputKind(InputType(kind))), code);
    }

    void readsWithPointWhateverTheLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // Under a German locale "4.000" must still be four, not four thousand.
        const int code = TableCheck::check(inputs({"4.000", "20.000"}), InputType::Current);
        const int comma = TableCheck::check(inputs({"4,000", "20.000"}), InputType::Current);
        QLocale::setDefault(saved);
        QCOMPARE(code, 0);
        QCOMPARE(comma, 2);
    }

    void presence()
    {
        QList<PointRow> rows{{"4.000", "4.000"}, {"20.000", ""}};
        QCOMPARE(TableCheck::check(rows, InputType::Current), 2); // display value only present-checked
        rows = {{"", "4.000"}, {"4.000", "4.000"}};               // empty beats the broken order
        QCOMPARE(TableCheck::check(rows, InputType::Voltage), 2);
        // Cells that do not read as numbers are missing values too.
        for (const char* bad : {" ", "abc", "-", ".", "1.2.3"}) {
            rows = {{"4.000", "4.000"}, {QString::fromLatin1(bad), "20.000"}};
            QVERIFY2(TableCheck::check(rows, InputType::Current) == 2, bad);
            rows = {{"4.000", QString::fromLatin1(bad)}, {"20.000", "20.000"}};
            QVERIFY2(TableCheck::check(rows, InputType::Current) == 2, bad);
        }
        rows = {{"4.000", "4.000"}, {"20.000", "-.50000"}};
        QCOMPARE(TableCheck::check(rows, InputType::Current), 0);
    }

    void thirtyTwoPoints()
    {
        QStringList values;
        for (int p = 0; p < 32; ++p)
            values << QString::number(p * 0.5 - 8, 'f', 3);
        values[31] = QStringLiteral("7.050");
        QCOMPARE(TableCheck::check(inputs(values), InputType::Voltage), 5);
        values[31] = QStringLiteral("7.100");
        QCOMPARE(TableCheck::check(inputs(values), InputType::Voltage), 0);
    }

    void messages()
    {
        const QString hint = QStringLiteral("\r\nPlease correct your values to reflect the minimum input span");
        struct Expected { int code; const char* text; int style; const char* title; };
        const Expected expected[] = {
            {2, "Please enter value for every point or reset the number of points", 0, "Missing Point Value"},
            {3, "Input values for Voltage must be between -10.000 and 10.000 (V)", 16, ""},
            {4, "Input values for Current must be between 0.000 and 23.000 (mA)", 16, ""},
            {5, "The minimum input span for Voltage is 0.10 VDC", 64, ""},
            {6, "The minimum input span for Current is 0.15 mA", 64, ""},
            {7, "Check Input Values and correct one or both of the following:\r\n\r\n"
                "1. Input value is less than a previously entered input value\r\n"
                "2. Input value is the same as a previously entered input value", 0, "Input Value Error"},
            {8, "Input values for Pulse must be between 0 and 30,000 (Hz)", 16, ""},
            {9, "The minimum input span for Pulse is 10 Hz", 64, ""},
        };
        for (const Expected& e : expected) {
            const auto m = TableCheck::failureMessage(e.code);
            QVERIFY(m);
            const bool span = e.code == 5 || e.code == 6 || e.code == 9;
            QCOMPARE(m->text, QString::fromLatin1(e.text) + (span ? hint : QString()));
            QCOMPARE(m->style, e.style);
            QCOMPARE(m->title, QString::fromLatin1(e.title));
        }
        QVERIFY(!TableCheck::failureMessage(0));
        QVERIFY(!TableCheck::failureMessage(1));
        QVERIFY(!TableCheck::failureMessage(10));
    }
};

QTEST_GUILESS_MAIN(TestTableCheck)
#include "test_table_check.moc"
