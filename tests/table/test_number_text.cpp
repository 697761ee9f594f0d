// Number texts: exact decimal rounding, reading and comparison, whatever the locale.
#include <QLocale>
#include <QTest>

#include "table/NumberText.h"

class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void normalForm_data();
    void normalForm();
    void normalFormGerman();
    void leadingValue();
    void toNumber();
    void compare();
    void shiftedInteger();
};

void TestNumberText::normalForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QString>("expected");
    QTest::newRow("5") << "5" << 3 << false << "5.000";
    QTest::newRow(".5") << ".5" << 3 << false << "0.500";
    QTest::newRow("12.3456") << "12.3456" << 3 << false << "12.346";
    QTest::newRow("-3") << "-3" << 3 << false << "-3.000";
    QTest::newRow("half up exact") << "2.0005" << 3 << false << "2.001";
    QTest::newRow("half negative") << "-2.0005" << 3 << false << "-2.001";
    QTest::newRow("below half") << "23.0004" << 3 << false << "23.000";
    QTest::newRow("carry") << "99999.96" << 1 << false << "100000.0";
    QTest::newRow("carry integer") << "99999.6" << 0 << false << "100000";
    QTest::newRow("pulse") << "12.34" << 1 << false << "12.3";
    QTest::newRow("drop zero") << "-0.12345" << 5 << true << "-.12345";
    QTest::newRow("drop -0.5") << "-0.5" << 5 << true << "-.50000";
    QTest::newRow("drop keeps integer") << "-1.5" << 5 << true << "-1.50000";
    QTest::newRow("drop chained") << "-.50000" << 5 << true << "-.50000";
    QTest::newRow("lone minus") << "-" << 3 << false << "-";
    QTest::newRow("lone point") << "." << 3 << false << ".";
    QTest::newRow("empty") << "" << 3 << false << "";
    QTest::newRow("letters") << "abc" << 3 << false << "abc";
    QTest::newRow("two points") << "1.2.3" << 3 << false << "1.2.3";
    QTest::newRow("comma") << "1,5" << 3 << false << "1,5";
    QTest::newRow("minus zero") << "-0" << 3 << false << "0.000";
    QTest::newRow("tiny negative") << "-0.0001" << 3 << false << "0.000";
    QTest::newRow("leading zeros") << "007.5" << 1 << false << "7.5";
    QTest::newRow("trailing point") << "12." << 2 << false << "12.00";
    QTest::newRow("blanks") << " 4 " << 3 << false << "4.000";
    QTest::newRow("exponent") << "1e-05" << 5 << false << "0.00001";
    QTest::newRow("exponent big") << "1.5E3" << 0 << false << "1500";
    QTest::newRow("long digits") << "123456789012345678.5" << 0 << false << "123456789012345679";
    QTest::newRow("no thousands") << "1234567" << 2 << false << "1234567.00";
}

void TestNumberText::normalForm()
{
    QFETCH(QString, text);
    QFETCH(int, decimals);
    QFETCH(bool, drop);
    QFETCH(QString, expected);
    QCOMPARE(NumberText::normalForm(text, decimals, drop), expected);
}

void TestNumberText::normalFormGerman()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(NumberText::normalForm("2.0005", 3), QString("2.001"));
    QCOMPARE(NumberText::normalForm("1234567.5", 1), QString("1234567.5"));
    QCOMPARE(NumberText::leadingValue("12.5x"), 12.5);
    QCOMPARE(NumberText::toNumber("-3.25"), std::optional<double>(-3.25));
    QCOMPARE(NumberText::toNumber("3,25"), std::nullopt);
    QCOMPARE(NumberText::shiftedInteger("12345", 1), QString("1234.5"));
    QLocale::setDefault(saved);
}

void TestNumberText::leadingValue()
{
    QCOMPARE(NumberText::leadingValue("23.001"), 23.001);
    QCOMPARE(NumberText::leadingValue("-.50000"), -0.5);
    QCOMPARE(NumberText::leadingValue("-"), 0.0);
    QCOMPARE(NumberText::leadingValue("."), 0.0);
    QCOMPARE(NumberText::leadingValue(""), 0.0);
    QCOMPARE(NumberText::leadingValue("  7.5abc"), 7.5);
    QCOMPARE(NumberText::leadingValue("1.2.3"), 1.2);
    QCOMPARE(NumberText::leadingValue("5."), 5.0);
    QCOMPARE(NumberText::leadingValue("x5"), 0.0);
    QCOMPARE(NumberText::leadingNumberText("-12.5abc"), QString("-12.5"));
    QCOMPARE(NumberText::leadingNumberText("-"), QString());
}

void TestNumberText::toNumber()
{
    QCOMPARE(NumberText::toNumber(" 10.000 "), std::optional<double>(10.0));
    QCOMPARE(NumberText::toNumber("-.5"), std::optional<double>(-0.5));
    QCOMPARE(NumberText::toNumber(""), std::nullopt);
    QCOMPARE(NumberText::toNumber("-"), std::nullopt);
    QCOMPARE(NumberText::toNumber("1.5x"), std::nullopt);
    QCOMPARE(NumberText::toNumber("1,000"), std::nullopt);
}

void TestNumberText::compare()
{
    QCOMPARE(NumberText::compare("23.001", "23"), std::optional<int>(1));
    QCOMPARE(NumberText::compare("23.000", "23"), std::optional<int>(0));
    QCOMPARE(NumberText::compare("-9.99990", "-9.9999"), std::optional<int>(0));
    QCOMPARE(NumberText::compare("-10.000", "-10"), std::optional<int>(0));
    QCOMPARE(NumberText::compare("-10.001", "-10"), std::optional<int>(-1));
    QCOMPARE(NumberText::compare("-0", "0"), std::optional<int>(0));
    QCOMPARE(NumberText::compare("100000", "999999"), std::optional<int>(-1));
    QCOMPARE(NumberText::compare("-", "0"), std::nullopt);
}

void TestNumberText::shiftedInteger()
{
    QCOMPARE(NumberText::shiftedInteger("12345", 1), QString("1234.5"));
    QCOMPARE(NumberText::shiftedInteger("-1500", 2), QString("-15.00"));
    QCOMPARE(NumberText::shiftedInteger("", 2), QString("0.00"));
    QCOMPARE(NumberText::shiftedInteger("5", 3), QString("0.005"));
    QCOMPARE(NumberText::shiftedInteger("-50000", 5), QString("-0.50000"));
    QCOMPARE(NumberText::shiftedInteger("15", 0), QString("15"));
    QCOMPARE(NumberText::shiftedInteger("007", 1), QString("0.7"));
    QCOMPARE(NumberText::shiftedInteger("12abc", 1), QString("1.2"));
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "test_number_text.moc"
