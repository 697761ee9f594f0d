// Value rules: normal forms and ranges of input and display values with their messages,
// input-type defaults, decimal-point patterns and the rescale.
#include <QLocale>
#include <QTest>

#include "table/ValueRules.h"

using namespace ValueRules;

class TestValueRules : public QObject {
    Q_OBJECT
private slots:
    void inputValues_data();
    void inputValues();
    void displayValues_data();
    void displayValues();
    void emptyAndUnknown();
    void patternsAndRescale();
    void defaults();
    void germanLocaleGivesTheSameResults();
};

void TestValueRules::inputValues_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept"); // "" = rejected
    const int V = int(InputType::Voltage), I = int(InputType::Current), P = int(InputType::Pulse);
    QTest::newRow("current 23") << I << "23" << "23.000";
    QTest::newRow("current 23.0004") << I << "23.0004" << "23.000";
    QTest::newRow("current 23.0006") << I << "23.0006" << "";
    QTest::newRow("current -0") << I << "-0" << "";
    QTest::newRow("current lone minus") << I << "-" << "";
    QTest::newRow("current .5") << I << ".5" << "0.500";
    QTest::newRow("voltage -10") << V << "-10" << "-10.000";
    QTest::newRow("voltage -10.1") << V << "-10.1" << "";
    QTest::newRow("voltage 10.0004") << V << "10.0004" << "10.000";
    QTest::newRow("voltage 10.0005") << V << "10.0005" << "";
    QTest::newRow("voltage -0") << V << "-0" << "0.000";
    QTest::newRow("voltage lone minus") << V << "-" << "-";
    QTest::newRow("voltage lone point") << V << "." << ".";
    QTest::newRow("pulse 30000") << P << "30000" << "30000.0";
    QTest::newRow("pulse 30000.04") << P << "30000.04" << "30000.0";
    QTest::newRow("pulse 30000.1") << P << "30000.1" << "";
    QTest::newRow("pulse 12.34") << P << "12.34" << "12.3";
    QTest::newRow("pulse 12.35") << P << "12.35" << "12.4";
    QTest::newRow("pulse -0") << P << "-0" << "";
}

void TestValueRules::inputValues()
{
    QFETCH(int, type);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    const CheckResult r = checkInput(typed, InputType(type));
    QCOMPARE(r.text, kept);
    QCOMPARE(r.rejected, kept.isEmpty());
    if (r.rejected) {
        QCOMPARE(r.title, QString("Invalid Scale Value"));
        const QString expected = type == int(InputType::Voltage)
            ? "Scale input value must be between -10.000 and 10.000 (V) for Voltage"
            : type == int(InputType::Current) ? "Scale input value must be between 0.000 and 23.000 (mA) for Current"
                                              : "Scale input value must be between 0 and 30,000 (Hz) for Pulse";
        QCOMPARE(r.message, expected);
    } else {
        QVERIFY(r.message.isEmpty());
    }
}

void TestValueRules::displayValues_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("dddddd 99999.6") << "dddddd" << "99999.6" << "100000";
    QTest::newRow("dddddd 999999.5") << "dddddd" << "999999.5" << "";
    QTest::newRow("dddddd -99999") << "dddddd" << "-99999" << "-99999";
    QTest::newRow("dddddd -99999.5") << "dddddd" << "-99999.5" << "";
    QTest::newRow("ddddd.d -9999.9") << "ddddd.d" << "-9999.9" << "-9999.9";
    QTest::newRow("ddddd.d -10000") << "ddddd.d" << "-10000" << "";
    QTest::newRow("ddddd.d 99999.9") << "ddddd.d" << "99999.9" << "99999.9";
    QTest::newRow("dddd.dd 9999.99") << "dddd.dd" << "9999.99" << "9999.99";
    QTest::newRow("dddd.dd -999.991") << "dddd.dd" << "-999.991" << "-999.99";
    QTest::newRow("ddd.ddd 1000") << "ddd.ddd" << "1000" << "";
    QTest::newRow("ddd.ddd 999.999") << "ddd.ddd" << "999.999" << "999.999";
    QTest::newRow("ddd.ddd -99.999") << "ddd.ddd" << "-99.999" << "-99.999";
    QTest::newRow("ddd.ddd 2.0005") << "ddd.ddd" << "2.0005" << "2.001";
    QTest::newRow("dd.dddd 99.9999") << "dd.dddd" << "99.9999" << "99.9999";
    QTest::newRow("dd.dddd -10") << "dd.dddd" << "-10" << "";
    QTest::newRow("d.ddddd -0.5") << "d.ddddd" << "-0.5" << "-.50000";
    QTest::newRow("d.ddddd -.5") << "d.ddddd" << "-.5" << "-.50000";
    QTest::newRow("d.ddddd 0.5") << "d.ddddd" << "0.5" << "0.50000";
    QTest::newRow("d.ddddd -9.9999") << "d.ddddd" << "-9.9999" << "-9.99990";
    QTest::newRow("d.ddddd -9.99991") << "d.ddddd" << "-9.99991" << "";
    QTest::newRow("d.ddddd 9.99999") << "d.ddddd" << "9.99999" << "9.99999";
    QTest::newRow("d.ddddd 10") << "d.ddddd" << "10" << "";
    QTest::newRow("lone minus") << "ddd.ddd" << "-" << "-";
}

void TestValueRules::displayValues()
{
    QFETCH(QString, format);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    const CheckResult r = checkDisplay(typed, format);
    QCOMPARE(r.text, kept);
    QCOMPARE(r.rejected, kept.isEmpty());
    if (r.rejected) {
        QCOMPARE(r.title, QString("Invalid Display Value"));
        QVERIFY(r.message.startsWith("Display value must be between "));
        QVERIFY(r.message.endsWith(" for selected decimal pt."));
        QCOMPARE(r.message, displayMessage(format));
    }
}

void TestValueRules::emptyAndUnknown()
{
    QCOMPARE(checkInput("", InputType::Current).text, QString());
    QVERIFY(!checkInput("", InputType::Current).rejected);
    QCOMPARE(checkDisplay("", "ddd.ddd").text, QString());
    QVERIFY(!checkDisplay("", "ddd.ddd").rejected);
    // An unknown format leaves the text as typed, untested.
    QCOMPARE(checkDisplay("123456789", "").text, QString("123456789"));
    QVERIFY(!checkDisplay("123456789", "dd.dd").rejected);
    QCOMPARE(displayMessage("dddddd"), QString("Display value must be between -99999 and 999999 for selected decimal pt."));
    QCOMPARE(displayMessage("d.ddddd"), QString("Display value must be between -9.9999 and 9.99999 for selected decimal pt."));
    QCOMPARE(displayMessage("ddddd.d"), QString("Display value must be between -9999.9 and 99999.9 for selected decimal pt."));
    QCOMPARE(displayMessage("dddd.dd"), QString("Display value must be between -999.99 and 9999.99 for selected decimal pt."));
    QCOMPARE(displayMessage("dd.dddd"), QString("Display value must be between -9.9999 and 99.9999 for selected decimal pt."));
}

void TestValueRules::patternsAndRescale()
{
    const QStringList patterns{"#####0", "####0.0", "###0.00", "##0.000", "#0.0000", "0.00000"};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(formatDecimals(decimalFormats()[i]), i);
        QCOMPARE(numberPattern(decimalFormats()[i]), patterns[i]);
    }
    QCOMPARE(formatDecimals("x"), -1);
    QCOMPARE(rescaleDisplay("12.345", "ddddd.d"), QString("1234.5"));
    QCOMPARE(rescaleDisplay("-1.500", "dddd.dd"), QString("-15.00"));
    QCOMPARE(rescaleDisplay("", "dddd.dd"), QString("0.00"));
    QCOMPARE(rescaleDisplay("123.456", "d.ddddd"), QString("1.23456"));
    QCOMPARE(rescaleDisplay("1.5", "dddddd"), QString("15"));
    QCOMPARE(rescaleDisplay("20.000", "dddd.dd"), QString("200.00"));
    QCOMPARE(rescaleDisplay("20.000", "dddddd"), QString("20000"));
    QCOMPARE(rescaleDisplay("-.50000", "dd.dddd"), QString("-5.0000"));
    QCOMPARE(rescaleDisplay("-", "ddd.ddd"), QString("0.000"));
    QCOMPARE(rescaleDisplay("abc", "ddd.ddd"), QString("0.000"));
    QCOMPARE(rescaleDisplay("5", "unknown"), QString("5"));
}

void TestValueRules::defaults()
{
    const InputDefaults v = defaultsFor(InputType::Voltage);
    QCOMPARE(v.heading, QString("Input (V)"));
    QCOMPARE(v.point1, QString("0.000"));
    QCOMPARE(v.point2, QString("10.000"));
    QCOMPARE(v.format, QString("ddd.ddd"));
    const InputDefaults i = defaultsFor(InputType::Current);
    QCOMPARE(i.heading, QString("Input (mA)"));
    QCOMPARE(i.point1, QString("4.000"));
    QCOMPARE(i.point2, QString("20.000"));
    QCOMPARE(i.format, QString("ddd.ddd"));
    const InputDefaults p = defaultsFor(InputType::Pulse);
    QCOMPARE(p.heading, QString("Input (Hz)"));
    QCOMPARE(p.point1, QString("0.0"));
    QCOMPARE(p.point2, QString("10000.0"));
    QCOMPARE(p.format, QString("ddddd.d"));
    QCOMPARE(QString(DisplayHeading), QString("  Display"));
}

void TestValueRules::germanLocaleGivesTheSameResults()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(checkInput("23.0004", InputType::Current).text, QString("23.000"));
    QVERIFY(checkInput("23.0006", InputType::Current).rejected);
    QCOMPARE(checkInput("30000", InputType::Pulse).text, QString("30000.0"));
    QCOMPARE(checkDisplay("99999.6", "dddddd").text, QString("100000"));
    QCOMPARE(checkDisplay("-0.5", "d.ddddd").text, QString("-.50000"));
    QCOMPARE(rescaleDisplay("12.345", "ddddd.d"), QString("1234.5"));
    QCOMPARE(displayMessage("ddddd.d"), QString("Display value must be between -9999.9 and 99999.9 for selected decimal pt."));
    QLocale::setDefault(saved);
}

QTEST_GUILESS_MAIN(TestValueRules)
#include "test_value_rules.moc"
