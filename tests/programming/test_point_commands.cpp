// Commands of a run and the texts it shows.
#include <QTest>

#include "programming/PointCommands.h"
#include "programming/RunMessages.h"
#include "table/ValueRules.h"

using namespace PointCommands;

namespace {
QStringList prefixesOf(const Prefixes& set, int points)
{
    QStringList out;
    for (const auto& group : groups(points))
        for (const Ref& ref : group)
            out << command(set, ref, QString());
    return out;
}
} // namespace

class TestPointCommands : public QObject {
    Q_OBJECT
private slots:
    void wireOrder()
    {
        QCOMPARE(prefixesOf(setV(), 4),
                 (QStringList{"2A201", "2A202", "2A001", "2A002", "2A203", "2A003", "2A204", "2A004"}));
        QCOMPARE(prefixesOf(setI(), 2), (QStringList{"2A301", "2A302", "2A101", "2A102"}));
        const QStringList v32 = prefixesOf(setV(), 32);
        QCOMPARE(v32.size(), 64);
        QCOMPARE(v32.mid(62), (QStringList{"2A232", "2A032"}));
        QCOMPARE(prefixesOf(setI(), 32).mid(62), (QStringList{"2A332", "2A132"}));
        QCOMPARE(groups(5).size(), 4);
        QCOMPARE(groups(5).first().size(), 4);
        QCOMPARE(groups(5).last().size(), 2);
        QVERIFY(groups(1).isEmpty());
        QVERIFY(groups(33).isEmpty());
    }

    void pointCount()
    {
        QCOMPARE(PointCommands::pointCount("2"), 2);
        QCOMPARE(PointCommands::pointCount("32"), 32);
        QCOMPARE(PointCommands::pointCount("09"), 0);
        QCOMPARE(PointCommands::pointCount("33"), 0);
        QCOMPARE(PointCommands::pointCount(""), 0);
    }

    void valueDigits()
    {
        QCOMPARE(ValueRules::formatDecimals("dddddd"), 0);
        QCOMPARE(ValueRules::formatDecimals("d.ddddd"), 5);
        QCOMPARE(ValueRules::formatDecimals("dd.ddd"), -1);
        QCOMPARE(PointCommands::valueDigits("4.000", 3), QString("4000"));
        QCOMPARE(PointCommands::valueDigits("-10.000", 3), QString("-10000"));
        QCOMPARE(PointCommands::valueDigits("0.000", 3), QString("0000"));
        QCOMPARE(PointCommands::valueDigits("-9.9999", 4), QString("-99999"));
        // Values stored unchecked are sent in units of the format's last decimal.
        QCOMPARE(PointCommands::valueDigits("4", 3), QString("4000"));
        QCOMPARE(PointCommands::valueDigits("12.5", 1), QString("125"));
        QCOMPARE(PointCommands::valueDigits("12.34", 1), QString("123"));
        QCOMPARE(PointCommands::valueDigits("99999.6", 0), QString("100000"));
        QCOMPARE(PointCommands::valueDigits("-0.5", 5), QString("-50000"));
        QCOMPARE(PointCommands::valueDigits("-.50000", 5), QString("-50000"));
        QCOMPARE(PointCommands::valueDigits("1.5", 5), QString("150000"));
        QCOMPARE(PointCommands::valueDigits("1.5", -1), QString("15"));
        QCOMPARE(command(setV(), {1, false}, "4000"), QString("2A2014000"));
        QCOMPARE(command(setI(), {2, true}, "20000"), QString("2A10220000"));
    }

    void fixedCommands()
    {
        QCOMPARE(configurationCommand(InputType::Voltage), QString("200030"));
        QCOMPARE(configurationCommand(InputType::Current), QString("201130"));
        QCOMPARE(configurationCommand(InputType::Pulse), QString("208010"));
        QCOMPARE(finalCommand(InputType::Voltage), QString("33V"));
        QCOMPARE(finalCommand(InputType::Current), QString("33I"));
        QCOMPARE(finalCommand(InputType::Pulse), QString("33V"));
        QVERIFY(configurationCommand(std::nullopt).isEmpty());
    }

    void messages()
    {
        QCOMPARE(RunMessages::success(), QString("   Information has been successfully sent to the meter!"));
        QCOMPARE(RunMessages::communication(),
                 QString("Please verify the following conditions:\r\n\r\n   1.  Meter power is on\r\n\r\n"
                         "   2.  Correct Comm. Port is in use\r\n\r\n   3.  Check serial connection to meter\r\n\r\n"
                         "   4.  Confirm Address and Baud Rate of the meter match\r\n         selected settings"));
        QCOMPARE(RunMessages::communicationTitle(), QString("Communication Error"));
        QCOMPARE(RunMessages::firmware(),
                 QString("This program requires firmware Ver. 1.100 or greater to use.\r\n"
                         "Please contact Technical Support at Quillon for more information."));
        QCOMPARE(RunMessages::pointTimeout(), QString("Serial port timeout: OOwr."));

        PortFailure denied{3, "/dev/ttyS2", "Permission denied", true};
        const QString d = RunMessages::portFailure(denied);
        QVERIFY(d.contains("Port 3"));
        QVERIFY(d.contains("/dev/ttyS2"));
        QVERIFY(d.contains("Permission denied"));
        QVERIFY(d.contains("dialout"));
        PortFailure busy{2, "/dev/ttyUSB0", "Device or resource busy", false};
        const QString b = RunMessages::portFailure(busy);
        QVERIFY(b.contains("Port 2") && b.contains("/dev/ttyUSB0") && b.contains("busy"));
        QVERIFY(!b.contains("dialout"));
        QVERIFY(RunMessages::portFailure(PortFailure{}).contains("No PC Comm Port"));
    }
};

QTEST_GUILESS_MAIN(TestPointCommands)
#include "test_point_commands.moc"
