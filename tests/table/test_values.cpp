// Number texts and value rules: normal forms, ranges, rescale and exact comparison, one
// row per way a value can be read or rounded wrongly; the same table under German.
#include <QTest>

#include "common/LocaleGuard.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

using namespace ValueRules;

namespace {
enum Kind { Normal, DropZero, InputCheck, DisplayCheck, Rescale, Compare };

// What the code makes of `typed`; "" for a rejected value.
QString result(Kind kind, const QString& arg, const QString& typed)
{
    switch (kind) {
    case Normal: return NumberText::normalForm(typed, arg.toInt());
    case DropZero: return NumberText::normalForm(typed, arg.toInt(), true);
    case InputCheck: return checkInput(typed, InputType(arg.toInt())).text;
    case DisplayCheck: return checkDisplay(typed, arg).text;
    case Rescale: return rescaleDisplay(typed, arg);
    case Compare: return NumberText::compare(typed, arg) ? QString::number(*NumberText::compare(typed, arg)) : "none";
    }
    return {};
}
} // namespace

class TestValues : public QObject {
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        const QString V = QString::number(int(InputType::Voltage)), I = QString::number(int(InputType::Current)),
                      P = QString::number(int(InputType::Pulse));
        QTest::newRow("half up, not binary") << Normal << "3" << "2.0005" << "2.001";
        QTest::newRow("half away from zero") << Normal << "3" << "-2.0005" << "-2.001";
        QTest::newRow("carry into a new digit") << Normal << "1" << "99999.96" << "100000.0";
        QTest::newRow("rounds to zero: no sign") << Normal << "3" << "-0.0001" << "0.000";
        QTest::newRow("beyond double precision") << Normal << "0" << "123456789012345678.5" << "123456789012345679";
        QTest::newRow("integer 0 dropped") << DropZero << "5" << "-0.5" << "-.50000";
        QTest::newRow("current rounded into range") << InputCheck << I << "23.0004" << "23.000";
        QTest::newRow("current rounded out of range") << InputCheck << I << "23.0006" << "";
        QTest::newRow("current -0 refused") << InputCheck << I << "-0" << "";
        QTest::newRow("voltage lone minus kept") << InputCheck << V << "-" << "-";
        QTest::newRow("pulse one decimal") << InputCheck << P << "12.35" << "12.4";
        QTest::newRow("pulse above range") << InputCheck << P << "30000.1" << "";
        QTest::newRow("ddd.ddd 1000 refused") << DisplayCheck << "ddd.ddd" << "1000" << "";
        QTest::newRow("d.ddddd lower bound") << DisplayCheck << "d.ddddd" << "-9.99991" << "";
        QTest::newRow("d.ddddd negative fraction") << DisplayCheck << "d.ddddd" << "-0.5" << "-.50000";
        QTest::newRow("rescale keeps digits") << Rescale << "ddddd.d" << "12.345" << "1234.5";
        QTest::newRow("rescale keeps empty empty") << Rescale << "dddd.dd" << "" << "";
        QTest::newRow("compare trailing zeros") << Compare << "-9.9999" << "-9.99990" << "0";
        QTest::newRow("compare non-number") << Compare << "0" << "-" << "none";
    }
    void values()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, arg);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QCOMPARE(result(kind, arg, typed), expected);
    }
    void valuesUnderGermanLocale_data() { values_data(); }
    void valuesUnderGermanLocale()
    {
        GermanLocale german;
        REQUIRE_GERMAN_LOCALE(german);
        values();
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "test_values.moc"
