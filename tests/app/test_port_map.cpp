#include <QTest>

#include "app/CommandLine.h"
#include "app/PortMap.h"
#include "app/ProbeVerdict.h"

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void devicesAreNumberedInStableOrder()
    {
        const PortMap m = PortMap::fromDevices({"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2",
                                                "/dev/ttyUSB0", "/dev/serial-x", "/dev/ttyS2"});
        QCOMPARE(m.numbers(), QList<int>({1, 2, 3, 4, 5, 6}));
        QCOMPARE(m.device(1), QString("/dev/ttyS2"));
        QCOMPARE(m.device(2), QString("/dev/ttyS10"));
        QCOMPARE(m.device(3), QString("/dev/ttyUSB0"));
        QCOMPARE(m.device(4), QString("/dev/ttyUSB1"));
        QCOMPARE(m.device(5), QString("/dev/ttyACM0"));
        QCOMPARE(m.device(6), QString("/dev/serial-x"));
    }
    void onlySixteenNumbersExist()
    {
        QStringList many;
        for (int i = 0; i < 20; ++i)
            many << QString("/dev/ttyUSB%1").arg(i);
        const PortMap m = PortMap::fromDevices(many);
        QCOMPARE(m.numbers().size(), 16);
        QCOMPARE(m.device(16), QString("/dev/ttyUSB15"));
        QVERIFY(m.device(17).isEmpty());
    }
    void portArgumentsMapNumbers()
    {
        const CommandLine cl = CommandLine::parse({"--port", "3=/dev/pts/7", "--port=16=/dev/ttyUSB0"});
        QVERIFY2(cl.error.isEmpty(), qPrintable(cl.error));
        QCOMPARE(cl.ports.numbers(), QList<int>({3, 16}));
        QCOMPARE(cl.ports.device(3), QString("/dev/pts/7"));
        QCOMPARE(cl.ports.firstFreeNumber(), 1);
        for (const char* bad : {"0=/dev/x", "17=/dev/x", "x=/dev/x", "3=", "3"})
            QVERIFY2(!CommandLine::parse({"--port", bad}).error.isEmpty(), bad);
        QVERIFY(!CommandLine::parse({"--bogus"}).error.isEmpty());
        QVERIFY(CommandLine::parse({"--simulate"}).simulate);
    }
    void modemAnswerIsJudgedAlone()
    {
        QVERIFY(ProbeVerdict::isModem("ATV1Q0\r\r\nOK\r\n"));
        QVERIFY(!ProbeVerdict::isModem("OK"));
        QVERIFY(!ProbeVerdict::isModem("\r\n"));
        QVERIFY(!ProbeVerdict::isModem(""));
        QVERIFY(!ProbeVerdict::isModem("ok\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "test_port_map.moc"
