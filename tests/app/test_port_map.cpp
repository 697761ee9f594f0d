// Port numbers for the machine's serial devices and from the command line.
#include <QTest>

#include "app/CommandLine.h"
#include "app/PortMap.h"
#include "app/ProbeVerdict.h"

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void devicesAreNumberedInStableOrder()
    {
        QStringList devices{"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2", "/dev/ttyUSB0", "/dev/serial-x", "/dev/ttyS2"};
        for (int i = 0; i < 14; ++i)
            devices << QString("/dev/ttyAMA%1").arg(i);
        const PortMap m = PortMap::fromDevices(devices);
        QStringList numbered;
        for (int n : m.numbers())
            numbered << m.device(n);
        QCOMPARE(numbered.mid(0, 6), QStringList({"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyAMA0"}));
        QCOMPARE(numbered.size(), 16); // no more than 16 numbers
    }
    void portArgumentsMapNumbers()
    {
        const CommandLine cl = CommandLine::parse({"--port", "3=/dev/pts/7", "--port=16=/dev/ttyUSB0"});
        QCOMPARE(cl.ports.numbers(), QList<int>({3, 16}));
        QCOMPARE(cl.ports.device(3) + cl.ports.device(16), QString("/dev/pts/7/dev/ttyUSB0"));
        QCOMPARE(cl.ports.firstFreeNumber(), 1);
        for (const char* bad : {"0=/dev/x", "17=/dev/x", "x=/dev/x", "3=", "3"})
            QVERIFY2(!CommandLine::parse({"--port", bad}).error.isEmpty(), bad);
    }
    void modemAnswerNeedsOkAndLineEnd()
    {
        QVERIFY(ProbeVerdict::isModem("ATV1Q0\r\r\nOK\r\n"));
        for (const char* answer : {"OK", "ok\r\n", ""})
            QVERIFY2(!ProbeVerdict::isModem(answer), answer);
    }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "test_port_map.moc"
