// Serial devices plugged in and pulled out with the window open, through a watched folder
// whose links lead to real ptys.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/DeviceWatch.h"
#include "app/PickList.h"
#include "common/TestPty.h"
#include "common/TestWindow.h"

class TestPortWatch : public QObject {
    Q_OBJECT

    static QString listed(const frmMain& w)
    {
        QStringList out;
        for (int i = 0; i < w.cboCommPort->ListCount(); ++i)
            out << w.cboCommPort->List(i);
        return out.join(' ');
    }

private slots:
    void devicesComeAndGo_data()
    {
        QTest::addColumn<QString>("kind");   // what the new device is: pty, modem
        QTest::addColumn<QString>("select"); // the number selected before the device goes, "" to keep 1
        QTest::addColumn<bool>("pull");      // the device is pulled out again
        QTest::addColumn<QString>("offered");
        QTest::newRow("appears under the lowest free number") << "pty" << "" << false << "1 2 3";
        QTest::newRow("a modem is not offered") << "modem" << "" << false << "1 3";
        QTest::newRow("pulled out, leaves the list") << "pty" << "" << true << "1 3";
        QTest::newRow("pulled out while selected, stays") << "pty" << "2" << true << "1 2 3";
    }
    void devicesComeAndGo()
    {
        QFETCH(QString, kind);
        QFETCH(QString, select);
        QFETCH(bool, pull);
        TestPty first, third, added(kind == "modem");
        QTemporaryDir dev;
        PortMap ports;
        ports.map(1, first.path());
        ports.map(2, "/dev/does-not-exist");
        ports.map(3, third.path());
        AppOptions options;
        options.ports = ports;
        options.lockPath = dev.filePath("w.lock");
        options.probeWaitMs = 20;
        options.watchDir = dev.path();
        frmMain w(options);
        QCOMPARE(listed(w), QString("1 3"));
        QVERIFY(w.deviceWatch());
        QSignalSpy appeared(w.deviceWatch(), &DeviceWatch::deviceAdded), gone(w.deviceWatch(), &DeviceWatch::deviceRemoved);

        const QString node = dev.filePath("ttyUSB0");
        QVERIFY(QFile::link(added.path(), node));
        QTRY_COMPARE(appeared.count(), 1); // the window's probe starts as the device appears
        QTRY_COMPARE(w.pendingPortProbes(), 0);
        QCOMPARE(added.received(), kind == "modem" ? QByteArray() : QByteArray("ATV1Q0\r")); // probed as at start-up
        QCOMPARE(listed(w), kind == "modem" ? QString("1 3") : QString("1 2 3"));
        if (kind != "modem") {
            QCOMPARE(w.ports().device(2), node);
            w.selectListText(w.cboCommPort, "2");
            QCOMPARE(w.cboCommPort->toolTip().section('\n', 0, 0), "Port 2 is " + node);
        }
        w.selectListText(w.cboCommPort, select.isEmpty() ? "1" : select);
        if (pull) {
            QVERIFY(QFile::remove(node));
            QTRY_COMPARE(gone.count(), 1);
            QCOMPARE(gone.first().first().toString(), node);
        }
        QTEST(listed(w), "offered");
        QCOMPARE(w.ports().device(1) + ' ' + w.ports().device(3), first.path() + ' ' + third.path()); // old numbers stay
        QCOMPARE(w.cboCommPort->Text(), select.isEmpty() ? QString("1") : select);
    }

    // Only serial device names count in the watched folder, not terminals or ptys.
    void serialNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("serial");
        QTest::newRow("usb adapter") << "ttyUSB12" << true;
        QTest::newRow("cdc acm") << "ttyACM0" << true;
        QTest::newRow("bluetooth") << "rfcomm1" << true;
        QTest::newRow("virtual terminal") << "tty3" << false;
        QTest::newRow("pty folder") << "pts" << false;
        QTest::newRow("no number") << "ttyUSB" << false;
    }
    void serialNames()
    {
        QFETCH(QString, name);
        QTEST(DeviceWatch::isSerialName(name), "serial");
    }
};

QTEST_MAIN(TestPortWatch)
#include "test_port_watch.moc"
