// Serial devices plugged in and pulled out with the window open, through a watched folder
// whose links lead to real ptys.
#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/DeviceWatch.h"
#include "app/PickList.h"
#include "common/Ser2net.h"
#include "common/TestPty.h"
#include "common/TestWindow.h"
#include "common/Unprivileged.h"

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
        QTest::addColumn<QString>("kind"); // the new device: pty, modem, denied (the user may not open it), busy (held at first)
        QTest::addColumn<QString>("select"); // the number selected before the device goes, "" to keep 1
        QTest::addColumn<bool>("pull");      // the device is pulled out again
        QTest::addColumn<QString>("offered");
        QTest::newRow("appears under the lowest free number") << "pty" << "" << false << "1 2 3";
        QTest::newRow("busy at first, offered when let go") << "busy" << "" << false << "1 2 3";
        QTest::newRow("a modem is not offered") << "modem" << "" << false << "1 3";
        QTest::newRow("no permission: named in the tooltip") << "denied" << "" << false << "1 3";
        QTest::newRow("pulled out, leaves the list") << "pty" << "" << true << "1 3";
        QTest::newRow("pulled out while selected, stays") << "pty" << "2" << true << "1 2 3";
    }
    void devicesComeAndGo()
    {
        QFETCH(QString, kind);
        QFETCH(QString, select);
        QFETCH(bool, pull);
        if (kind == "denied")
            TALVO_ROW_AS_UNPRIVILEGED_USER(); // root may open any device
        TestPty first, third, added(kind == "modem");
        QTemporaryDir dev;
        PortMap ports;
        ports.map(1, first.path());
        ports.map(2, "/dev/does-not-exist");
        ports.map(3, third.path());
        // A network port where no server listens: listed unprobed, and no device leaving removes it.
        const QString net = QStringLiteral("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort());
        ports.map(4, net);
        AppOptions options;
        options.ports = ports;
        options.lockPath = dev.filePath("w.lock");
        options.probeWaitMs = 20;
        options.watchDir = options.byIdDir = dev.path();
        frmMain w(options);
        QCOMPARE(listed(w), QString("1 3 4"));
        w.selectListText(w.cboCommPort, "4");
        QVERIFY2(w.cboCommPort->toolTip().startsWith("Port 4 is " + net + "\nA serial port on a network server"), qPrintable(w.cboCommPort->toolTip()));
        QVERIFY(w.deviceWatch());
        QSignalSpy appeared(w.deviceWatch(), &DeviceWatch::deviceAdded), gone(w.deviceWatch(), &DeviceWatch::deviceRemoved);

        const QString node = dev.filePath("ttyUSB0"), byId = dev.filePath("usb-Quillon_RS485-if00-port0");
        QFile locked(dev.filePath("locked"));
        QVERIFY(locked.open(QIODevice::WriteOnly) && locked.setPermissions(QFileDevice::Permissions()));
        QSerialPort holder(added.path());
        QVERIFY(kind != "busy" || holder.open(QIODevice::ReadWrite));
        QVERIFY(QFile::link(kind == "denied" ? locked.fileName() : added.path(), node) && QFile::link(node, byId));
        QTRY_COMPARE(appeared.count(), 1); // the window's probe starts as the device appears
        holder.close();
        const bool offered = kind == "pty" || kind == "busy";
        QTRY_COMPARE(added.received(), offered ? QByteArray("ATV1Q0\r") : QByteArray()); // probed as at start-up
        QTRY_COMPARE(w.pendingPortProbes(), 0);
        QCOMPARE(listed(w), offered ? QString("1 2 3 4") : QString("1 3 4"));
        QCOMPARE(w.cboCommPort->toolTip().contains("Left out, no permission: " + node), kind == "denied");
        if (offered) {
            QCOMPARE(w.ports().device(2), node);
            w.selectListText(w.cboCommPort, "2");
            QCOMPARE(w.cboCommPort->toolTip().split('\n').mid(0, 2), QStringList({"Port 2 is " + node, "By id: " + byId}));
        }
        w.selectListText(w.cboCommPort, select.isEmpty() ? "1" : select);
        if (pull) {
            QVERIFY(QFile::remove(node));
            QTRY_COMPARE(gone.count(), 1);
            QCOMPARE(gone.first().first().toString(), node);
        }
        QTEST(listed(w).remove(" 4"), "offered");
        QVERIFY(listed(w).endsWith(" 4"));
        QCOMPARE(w.ports().device(1) + ' ' + w.ports().device(3), first.path() + ' ' + third.path()); // old numbers stay
        QCOMPARE(w.cboCommPort->Text(), select.isEmpty() ? QString("1") : select);
    }
};

QTEST_MAIN(TestPortWatch)
#include "test_port_watch.moc"
