// Naming what holds a busy port: a lock file's live pid, a process with the device open,
// a usual culprit running. The processes are real children (sleep, under a name if need be).
// Port numbers and the port list's tooltip.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/file.h>
#include <sys/ioctl.h>

#include "common/TestPty.h"
#include "common/Unprivileged.h"
#include "link/PortDetails.h"
#include "link/PortHolders.h"
#include "link/PortMap.h"
#include "link/SerialComm.h"

class TestPortHolders : public QObject {
    Q_OBJECT
private slots:
    void holderSeen_data()
    {
        QTest::addColumn<QString>("lock"); // lock file: ascii (UUCP), qt, binary, stale, none
        QTest::addColumn<bool>("opened");  // the child has the device open
        QTest::addColumn<QString>("as");   // the child's program name
        QTest::addColumn<QString>("expected");
        QTest::newRow("uucp lock") << "ascii" << false << "sleep" << "held by sleep (pid $PID)";
        QTest::newRow("qt lock") << "qt" << false << "sleep" << "held by sleep (pid $PID)";
        QTest::newRow("binary lock") << "binary" << false << "sleep" << "held by sleep (pid $PID)";
        QTest::newRow("stale lock, nothing seen") << "stale" << false << "sleep" << "";
        QTest::newRow("open descriptor") << "none" << true << "sleep" << "held by sleep (pid $PID)";
        QTest::newRow("culprit running") << "none" << false << "brltty" << "brltty is running and may hold it";
    }
    void holderSeen()
    {
        QFETCH(QString, lock);
        QFETCH(bool, opened);
        QFETCH(QString, as);
        QFETCH(QString, expected);
        TestPty pty;
        QTemporaryDir dir;
        const QString program = dir.filePath(as);
        QVERIFY(pty.isValid() && QFile::link(QStandardPaths::findExecutable("sleep"), program));
        QProcess child;
        if (opened)
            child.setStandardInputFile(pty.path());
        child.start(program, {"60"});
        QVERIFY(child.waitForStarted());
        const qint32 pid = lock == "stale" ? 0x7ffffff0 : qint32(child.processId());
        QByteArray text = lock == "qt" ? QString("%1\nsleep\nhost\n").arg(pid).toLatin1() : QString("%1\n").arg(pid, 10).toLatin1();
        if (lock == "binary")
            text = QByteArray(reinterpret_cast<const char*>(&pid), sizeof pid);
        QFile file(dir.filePath(PortHolders::lockFileName(pty.path())));
        QVERIFY(lock == "none" || (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush() && // a second old: no lock being taken
                                   file.setFileTime(QDateTime::currentDateTime().addSecs(-2), QFileDevice::FileModificationTime)));
        file.close();
        const PortHolders holders({dir.path()}, "/proc");
        const QString seen = holders.describe(pty.path());
        child.kill();
        child.waitForFinished();
        if (expected.isEmpty() && holders.likelyCulprits().isEmpty())
            QCOMPARE(seen, QString());
        else
            QVERIFY2(seen.contains(expected.replace("$PID", QString::number(pid))), qPrintable(seen));
    }

    // Opening the port: a live lock of another program (of another user too), in either form, is
    // respected, and so is one being taken (younger than a second, or flocked) and a device in
    // exclusive use; one naming no live process (dead, empty, not a lock, a pid beyond pid_max, a
    // dangling link, a folder) is removed and the port opens, or, when it cannot be removed, is named.
    void locksOnOpen_data()
    {
        QTest::addColumn<QByteArray>("text"); // $PID: a live child's pid, $DEAD: an ended one's, $OTHER: another user's
                                              // @link, @folder, @full folder: no file; @new: not aged; @flock: held; @excl: TIOCEXCL
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("folderTwice"); // searched under two names, as /var/lock -> /run/lock
        QTest::addColumn<QString>("reason");   // of a refusal; $LOCK: the lock file
        const QString held = "(lock file $LOCK), held by sleep (pid $PID)";
        QTest::newRow("uucp, live") << QByteArray("$PID\n") << false << false << held;
        QTest::newRow("qt, live") << QByteArray("$PID\nminicom\nhost\n") << false << true << held;
        QTest::newRow("uucp, dead") << QByteArray("2147483600\n") << true << false << "";
        QTest::newRow("uucp, ended process") << QByteArray("$DEAD\n") << true << false << "";
        QTest::newRow("another user's live process") << QByteArray("$OTHER\nminicom\nhost\n") << false << false << "(lock file $LOCK), held by ";
        QTest::newRow("empty, just created") << QByteArray("@new") << false << false << "(lock file $LOCK), just taken by another program";
        QTest::newRow("empty, flocked") << QByteArray("@flock") << false << false << "(lock file $LOCK), just taken by another program";
        QTest::newRow("no lock, exclusive use") << QByteArray("@excl") << false << false << "Device or resource busy (in exclusive use)";
        QTest::newRow("dead, folder twice") << QByteArray("2147483600\nminicom\nhost\n") << true << true << "";
        QTest::newRow("empty") << QByteArray() << true << false << "";
        QTest::newRow("not a lock") << QByteArray("hello\n") << true << false << "";
        QTest::newRow("pid 2^32 + 1 (not 1)") << QByteArray("4294967297\n") << true << false << "";
        QTest::newRow("pid_max") << QByteArray("$PIDMAX\nminicom\nhost\n") << true << false << "";
        QTest::newRow("dangling link") << QByteArray("@link") << true << true << "";
        QTest::newRow("empty folder") << QByteArray("@folder") << true << false << "";
        QTest::newRow("folder with a file") << QByteArray("@full folder") << false << false << "the stale lock file $LOCK cannot be removed: ";
    }
    void locksOnOpen()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, opens);
        QFETCH(bool, folderTwice);
        QFETCH(QString, reason);
        if (text.startsWith("$OTHER")) {
            TALVO_ROW_AS_UNPRIVILEGED_USER(); // as root every process is alive to kill(pid, 0)
            text.replace("$OTHER", QByteArray::number(::getppid())); // the root test that started this one
        }
        TestPty pty;
        QTemporaryDir dir, other;
        const QString alias = other.filePath("lock");
        QVERIFY(!folderTwice || QFile::link(dir.path(), alias));
        QProcess child, ended;
        child.start(QStandardPaths::findExecutable("sleep"), {"60"});
        ended.start("sh", {"-c", "echo $$"});
        QVERIFY(pty.isValid() && child.waitForStarted() && ended.waitForFinished());
        const QString pid = QString::number(child.processId());
        text.replace("$PID", QString("%1").arg(pid, text.contains("minicom") ? 0 : 10).toLatin1());
        text.replace("$DEAD", ended.readAll().trimmed().rightJustified(10));
        QFile pidMax("/proc/sys/kernel/pid_max");
        QVERIFY(pidMax.open(QIODevice::ReadOnly));
        text.replace("$PIDMAX", pidMax.readAll().trimmed());
        QFile lock(dir.filePath(PortHolders::lockFileName(pty.path())));
        if (text == "@link")
            QVERIFY(QFile::link(dir.filePath("gone"), lock.fileName()));
        else if (text.endsWith("folder"))
            QVERIFY(QDir().mkdir(lock.fileName()) && (text == "@folder" || QFile(lock.fileName() + "/f").open(QIODevice::WriteOnly)));
        else if (text != "@excl")
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(text.startsWith('@') ? QByteArray() : text) >= 0 && lock.flush());
        // Older than a second, unless just created.
        QVERIFY(!lock.isOpen() || text == "@new" || lock.setFileTime(QDateTime::currentDateTime().addSecs(-2), QFileDevice::FileModificationTime));
        QVERIFY(text != "@flock" || ::flock(lock.handle(), LOCK_EX) == 0);
        QFile tty(pty.path());
        QVERIFY(text != "@excl" || (tty.open(QIODevice::ReadWrite) && ::ioctl(tty.handle(), TIOCEXCL) == 0));
        SerialComm port([&](int) { return pty.path(); });
        port.setHolderSearch(PortHolders(folderTwice ? QStringList{dir.path(), alias} : QStringList{dir.path()}, "/proc"));
        port.setCommPort(1);
        const bool opened = port.setPortOpen(true);
        lock.close();
        child.kill();
        child.waitForFinished();
        QCOMPARE(opened, opens);
        QCOMPARE(QFileInfo(lock.fileName()).exists() || QFileInfo(lock.fileName()).isSymLink(), !opens && text != "@excl");
        reason.replace("$LOCK", lock.fileName()).replace("$PID", pid);
        QVERIFY2(opens || port.failure().reason.contains(reason), qPrintable(port.failure().reason));
    }

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

QTEST_GUILESS_MAIN(TestPortHolders)
#include "test_port_holders.moc"
