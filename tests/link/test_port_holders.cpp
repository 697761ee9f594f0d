// Naming what holds a busy port: lock files, processes with the device open, and the
// usual culprits. The holders are real child processes (this executable in a holding mode).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <unistd.h>

#include "common/TestPty.h"
#include "link/PortHolders.h"
#include "link/SerialComm.h"

namespace {
// A child that holds DEVICE open (by QSerialPort with "qt", as a plain descriptor with "fd",
// or not at all with "none"), says "ready" and waits until its input closes.
struct Holder {
    QProcess process;
    bool start(const QString& how, const QString& device, const QString& program = QCoreApplication::applicationFilePath())
    {
        process.start(program, {"--hold", how, device});
        return process.waitForReadyRead(10000) && process.readAll().startsWith("ready");
    }
    qint64 pid() const { return process.processId(); }
    ~Holder()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
};

int holdMode(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString how = argv[2];
    QSerialPort port(QString::fromLocal8Bit(argv[3]));
    QFile plain(QString::fromLocal8Bit(argv[3]));
    if ((how == "qt" && !port.open(QIODevice::ReadWrite)) || (how == "fd" && !plain.open(QIODevice::ReadWrite)))
        return 2;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
} // namespace

class TestPortHolders : public QObject {
    Q_OBJECT
private slots:
    void lockFileNames_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("usb adapter") << "/dev/ttyUSB0" << "LCK..ttyUSB0";
        QTest::newRow("pty") << "/dev/pts/3" << "LCK..pts_3";
    }
    void lockFileNames()
    {
        QFETCH(QString, device);
        QTEST(PortHolders::lockFileName(device), "name");
    }

    // A port that another program opened: opening it fails and the reason names that program.
    void busyPortNamesItsHolder()
    {
        TestPty pty;
        QVERIFY(pty.isValid());
        Holder holder;
        QVERIFY(holder.start("qt", pty.path()));
        SerialComm port([&](int) { return pty.path(); });
        port.setCommPort(4);
        QVERIFY(!port.setPortOpen(true));
        const QString reason = port.failure().reason;
        QVERIFY2(reason.startsWith(QString::fromLocal8Bit(std::strerror(EBUSY))), qPrintable(reason));
        QVERIFY2(reason.endsWith(QString(", held by test_port_holders (pid %1)").arg(holder.pid())), qPrintable(reason));
    }

    // What is seen of a device: its lock file's pid, a process holding it open, a likely culprit.
    void holderSeen_data()
    {
        QTest::addColumn<QString>("lock");  // lock file content: ascii, qt, binary, stale, none
        QTest::addColumn<QString>("how");   // how the child holds the device: fd, none
        QTest::addColumn<QString>("as");    // the child's program name
        QTest::addColumn<QString>("expected");
        QTest::newRow("uucp lock") << "ascii" << "none" << "" << "held by test_port_holders (pid $PID)";
        QTest::newRow("qt lock") << "qt" << "none" << "" << "held by test_port_holders (pid $PID)";
        QTest::newRow("binary lock") << "binary" << "none" << "" << "held by test_port_holders (pid $PID)";
        QTest::newRow("stale lock, nothing seen") << "stale" << "none" << "" << "";
        QTest::newRow("open descriptor") << "none" << "fd" << "" << "held by test_port_holders (pid $PID)";
        QTest::newRow("lock before descriptor") << "ascii" << "fd" << "" << "held by test_port_holders (pid $PID)";
        QTest::newRow("culprit running") << "none" << "none" << "brltty" << "brltty is running and may hold it";
    }
    void holderSeen()
    {
        QFETCH(QString, lock);
        QFETCH(QString, how);
        QFETCH(QString, as);
        QFETCH(QString, expected);
        TestPty pty;
        QVERIFY(pty.isValid());
        QTemporaryDir dir;
        QString program = QCoreApplication::applicationFilePath();
        if (!as.isEmpty()) {
            program = dir.filePath(as);
            QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), program));
        }
        Holder holder;
        QVERIFY(holder.start(how, pty.path(), program));
        QFile file(dir.filePath(PortHolders::lockFileName(pty.path())));
        const qint32 pid = lock == "stale" ? 0x7ffffff0 : qint32(holder.pid());
        QByteArray text = QString("%1\n").arg(pid, 10).toLatin1();
        if (lock == "qt")
            text = QString("%1\ntest_port_holders\nhost\n").arg(pid).toLatin1();
        if (lock == "binary")
            text = QByteArray(reinterpret_cast<const char*>(&pid), sizeof pid);
        QVERIFY(lock == "none" || (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()));
        file.close();
        const PortHolders holders({dir.path()}, "/proc");
        const QString seen = holders.describe(pty.path());
        if (expected.isEmpty() && holders.likelyCulprits().isEmpty())
            QCOMPARE(seen, QString());
        else
            QVERIFY2(seen.contains(expected.replace("$PID", QString::number(holder.pid()))), qPrintable(seen));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0)
        return holdMode(argc, argv);
    QCoreApplication app(argc, argv);
    TestPortHolders test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_port_holders.moc"
