// Port numbers and the port list's tooltip, without a window.
#include <QTest>

#include "link/PortDetails.h"
#include "link/PortMap.h"

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void portNumbers()
    {
        const PortMap m = PortMap::fromDevices({"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2", "/dev/ttyUSB0", "/dev/ttyS2"});
        QCOMPARE(QStringList({m.device(1), m.device(2), m.device(3), m.device(4), m.device(5), m.device(6)}), // by kind, then number
                 QStringList({"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", ""}));
        PortMap given;
        QVERIFY(given.addMapping("3=/dev/pts/7") && given.addMapping("16=/dev/ttyUSB0"));
        QCOMPARE(given.device(3) + given.device(16) + QString::number(given.firstFreeNumber()), QString("/dev/pts/7/dev/ttyUSB01"));
        for (const char* bad : {"0=/dev/x", "17=/dev/x", "x=/dev/x", "3=", "3"}) {
            QString error;
            QVERIFY2(!given.addMapping(bad, &error) && !error.isEmpty(), bad);
        }
    }
    // The port list's tooltip names the devices left out for want of permission, with the fix.
    void portToolTipTexts_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("expected");
        const QString fix = "Left out, no permission: /dev/ttyS0, /dev/ttyUSB1\nTo use them, add your user to the \"dialout\" group "
                            "(for example: sudo usermod -aG dialout $USER), then log out and log in again.";
        QTest::newRow("offered and left out") << "2" << "Port 2 is /dev/ttyUSB0\nProduct: FT232R\n\n" + fix;
        QTest::newRow("empty for want of permission") << ""
            << "No port is offered: you have no permission to open the serial devices.\n\n" + fix;
    }
    void portToolTipTexts()
    {
        QFETCH(QString, number);
        QTEST(PortDetails::toolTip(number, number.isEmpty() ? "" : "/dev/ttyUSB0", {"Product: FT232R"}, {"/dev/ttyS0", "/dev/ttyUSB1"}),
              "expected");
    }
};

QTEST_MAIN(TestPortMap)
#include "test_port_map.moc"
