// The simulated meter's model without a line: frame contents in, replies out.
#include <QtTest>

#include "meter-sim/MeterModel.h"

namespace {
QByteArray content(const QString& command, const QString& address = "001")
{
    return (address + command).toLatin1() + MeterModel::checksum(command.toLatin1()).toLatin1();
}
} // namespace

class TestMeterModel : public QObject {
    Q_OBJECT
private slots:
    // Frame contents in, replies out; frames not meant for it get none.
    void frames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("firmware") << content("F189") << QByteArray("\x02" "A0001 01.100\x03");
        QTest::newRow("accepted") << content("37P3") << QByteArray("\x02" "A0001\x03");
        QTest::newRow("unknown command") << content("XYZ") << QByteArray("\x02Z0001\x03");
        QTest::newRow("point number 33") << content("2A2334000") << QByteArray("\x02Z3001\x03");
        QTest::newRow("bad digits") << content("2A201x") << QByteArray("\x02Z9001\x03");
        QTest::newRow("33 points") << content("48L33") << QByteArray("\x02Z2001\x03");
        QTest::newRow("another address") << content("37P3", "002") << QByteArray();
        QTest::newRow("bad checksum") << QByteArray("00137P314") << QByteArray();
        QTest::newRow("too short") << QByteArray("0011") << QByteArray();
    }
    void frames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, reply);
        MeterModel meter;
        const std::optional<QString> command = meter.commandOf(frame);
        QCOMPARE(command ? meter.reply(*command) : QByteArray(), reply);
    }

    void programmedTableIsShown()
    {
        MeterModel meter;
        QCOMPARE(meter.displayFor("12.000"), QString());
        for (const char* c : {"201130", "37P3", "48L03", "2A3014000", "2A1010", "2A30212000", "2A10250000",
                              "2A30320000", "2A103100000", "33I"})
            QVERIFY2(!meter.reply(c).contains('Z'), c);
        QCOMPARE(meter.displayFor("4.000"), QString("0.000"));
        QCOMPARE(meter.displayFor("8"), QString("25.000"));
        QCOMPARE(meter.displayFor("25.000"), QString("100.000")); // held at the last point
        const QString dump = meter.dump();
        QVERIFY(dump.contains("201130 (Current)") && dump.contains("37P3 (ddd.ddd)") && dump.contains("Number of points: 3"));
        QVERIFY2(dump.contains("input 12000    = 12.000"), qPrintable(dump));
        // The set-address command is acknowledged at the old address and moves the meter.
        QCOMPARE(meter.reply("38007"), QByteArray("\x02" "A0001\x03"));
        QVERIFY(!meter.commandOf(content("33V")) && meter.commandOf(content("33V", "007")));
    }
};

QTEST_APPLESS_MAIN(TestMeterModel)
#include "test_meter_model.moc"
