// Naming what holds a busy port: a lock file's live pid, a process with the device open,
// a usual culprit running. The processes are real children (sleep, under a name if need be).
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "common/TestPty.h"
#include "link/PortHolders.h"

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
        QVERIFY(lock == "none" || (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()));
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
};

QTEST_GUILESS_MAIN(TestPortHolders)
#include "test_port_holders.moc"
