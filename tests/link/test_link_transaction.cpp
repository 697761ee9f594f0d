// The reply transaction over a real pseudo-terminal against the simulated meter running
// in this process, without a window. One case per fault class.
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "common/Unprivileged.h"
#include "meter-sim/SimulatedMeter.h"

Q_DECLARE_METATYPE(MeterConfig)

namespace {
MeterConfig with(const std::function<void(MeterConfig&)>& change)
{
    MeterConfig c;
    change(c);
    return c;
}
} // namespace

class TestLinkTransaction : public QObject {
    Q_OBJECT
    std::unique_ptr<SimulatedMeter> sim;
    QMap<int, QString> devices;
    std::unique_ptr<SerialComm> port;
    std::unique_ptr<MeterTransaction> link;

    // Port 1 is the simulator, opened at 2400 baud as a programming run does.
    void openLink(const MeterConfig& config = MeterConfig())
    {
        QString error;
        sim = SimulatedMeter::start(config, &error);
        QVERIFY2(sim, qPrintable(error));
        devices = {{1, sim->devicePath()}};
        port = std::make_unique<SerialComm>([this](int n) { return devices.value(n); });
        link = std::make_unique<MeterTransaction>(port.get());
        port->setCommPort(1);
        QVERIFY2(port->setPortOpen(true), qPrintable(port->failure().reason));
    }

private slots:
    void completeReplies_data()
    {
        QTest::addColumn<MeterConfig>("config");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::newRow("acknowledged") << MeterConfig() << "37P3" << "\x02" "A0001\x03";
        QTest::newRow("refused") << with([](MeterConfig& c) { c.refusals.insert("2A2", '3'); }) << "2A2014000"
                                 << "\x02Z3001\x03";
        QTest::newRow("ETX alone") << with([](MeterConfig& c) { c.fixedReply = "\x03"; }) << "33V" << "\x03";
        QTest::newRow("in pieces") << with([](MeterConfig& c) { c.replyPieces = 4; c.pieceGapMs = 80; }) << "F189"
                                   << "\x02" "A0001 01.100\x03";
        QTest::newRow("echoing line") << with([](MeterConfig& c) { c.echo = true; c.replyPieces = 3; }) << "37P3"
                                      << "\x02" "A0001\x03";
        QTest::newRow("echo, a byte before it") << with([](MeterConfig& c) { c.echo = true; c.echoGlitch = MeterConfig::EchoGlitch::ByteBefore; })
                                                << "37P3" << "\x02" "A0001\x03";
        QTest::newRow("echo, its SOH lost") << with([](MeterConfig& c) { c.echo = true; c.echoGlitch = MeterConfig::EchoGlitch::FirstLost; })
                                            << "F189" << "\x02" "A0001 01.100\x03";
        QTest::newRow("Z after ETX") << with([](MeterConfig& c) { c.replySuffix = "Z"; }) << "33I" << "\x02" "A0001\x03Z";
    }
    void completeReplies()
    {
        QFETCH(MeterConfig, config);
        QFETCH(QString, command);
        QFETCH(QString, reply);
        openLink(config);
        QCOMPARE(link->send("001", command), ReplyOutcome::ReplyComplete);
        QCOMPARE(link->replyText(), reply);
        QCOMPARE(sim->received(), QStringList({command}));
        // A completed transaction disarms the reply timer.
        QCOMPARE(link->replyCountdown(), qint16(0));
        QVERIFY(!link->replyTimer().isActive());
    }

    // Each timeout class once; the transaction after it reads what then arrives.
    void timeouts_data()
    {
        QTest::addColumn<MeterConfig>("config");
        QTest::addColumn<QString>("settingsAfter");
        QTest::addColumn<QString>("nextReply");
        QTest::newRow("silent meter") << with([](MeterConfig& c) { c.silentPrefixes << "F189"; }) << "" << "\x02" "A0001\x03";
        QTest::newRow("line speed differs") << with([](MeterConfig& c) { c.baud = 9600; }) << "9600,N,8,1" << "\x02" "A0001\x03";
        // The late reply is waiting when the next command goes out; it is not that command's reply.
        QTest::newRow("late reply") << with([](MeterConfig& c) { c.latePrefix = "F189"; c.lateMs = 2300; }) << ""
                                    << "\x02" "A0001\x03";
        QTest::newRow("echo, no meter") << with([](MeterConfig& c) { c.echo = true; c.silentPrefixes << "F189"; }) << ""
                                        << "\x02" "A0001\x03";
    }
    void timeouts()
    {
        QFETCH(MeterConfig, config);
        QFETCH(QString, settingsAfter);
        QFETCH(QString, nextReply);
        openLink(config);
        int ticks = 0;
        QTimer other;
        connect(&other, &QTimer::timeout, [&] { ++ticks; });
        other.start(50);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->send("001", "F189"), ReplyOutcome::ReplyTimedOut);
        const qint64 ms = clock.elapsed();
        QVERIFY2(ms >= 2000 && ms < 3000, qPrintable(QString::number(ms)));
        QVERIFY2(ticks >= 25, "events are processed while waiting");
        QCOMPARE(link->replyCountdown(), qint16(0));
        QVERIFY(link->replyTimer().isActive()); // not disarmed on this path

        if (config.lateMs) // the late reply is waiting before the next command goes out
            QTRY_VERIFY(port->inBufferCount() > 0);
        if (!settingsAfter.isEmpty()) {
            QVERIFY(port->setSettings(settingsAfter)); // applies while open
            QCOMPARE(sim->lineBaud(), 9600);
        }
        QCOMPARE(link->send("001", "33V"), ReplyOutcome::ReplyComplete);
        QCOMPARE(link->replyText(), nextReply);
        QCOMPARE(link->echoSeen(), config.echo);
    }

    void discardInputDropsWaitingReplies()
    {
        openLink();
        QVERIFY(port->output("\x01" "001F18918\x03"));
        QTRY_VERIFY(port->inBufferCount() > 0);
        port->discardInput();
        QCOMPARE(link->send("001", "33V"), ReplyOutcome::ReplyComplete);
        QCOMPARE(link->replyText(), QString("\x02" "A0001\x03"));
    }

    void portFailures_data()
    {
        QTest::addColumn<int>("when"); // 0 before writing, 1 while idle, 2 while waiting, 3 aborted while waiting
        QTest::addColumn<QString>("reason"); // part of the failure's reason
        QTest::newRow("vanished before writing") << 0 << "";
        QTest::newRow("vanished while idle") << 1 << "lost";
        QTest::newRow("vanished while waiting") << 2 << "";
        QTest::newRow("aborted while waiting") << 3 << "the window is closing";
    }
    void portFailures()
    {
        QFETCH(int, when);
        QFETCH(QString, reason);
        openLink(with([](MeterConfig& c) { c.silentPrefixes << "F189"; }));
        const QString path = sim->devicePath();
        if (when == 1) {
            QSignalSpy failed(port.get(), &SerialComm::failed);
            sim->closeDevice();
            QVERIFY(failed.wait(2000));
        } else if (when == 0) {
            sim->closeDevice();
        }
        if (when >= 2)
            QTimer::singleShot(300, link.get(), [this, when] { when == 2 ? sim->closeDevice() : link->abort("the window is closing"); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->send("001", "F189"), ReplyOutcome::PortFailed);
        QVERIFY(clock.elapsed() < 1500);
        QCOMPARE(link->failure().port, 1);
        QCOMPARE(link->failure().device, path);
        QVERIFY2(link->failure().reason.contains(reason) && !link->failure().reason.isEmpty(),
                 qPrintable(link->failure().reason));
        QVERIFY(!link->replyTimer().isActive());
        if (when != 3) {
            QVERIFY(!port->portOpen());
            QVERIFY(!port->setPortOpen(true)); // the device is gone
        }
        QCOMPARE(link->send("001", "33V"), ReplyOutcome::PortFailed); // and stays failed
    }

    void portsThatCannotBeOpened_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing device") << 3 << "No such file";
        QTest::newRow("held by another program") << 1 << "busy";
        QTest::newRow("no permission") << 2 << "Permission denied";
    }
    void portsThatCannotBeOpened()
    {
        QFETCH(int, number);
        QFETCH(QString, reason);
        if (number == 2)
            TALVO_ROW_AS_UNPRIVILEGED_USER(); // root may open any device
        openLink();
        QTemporaryDir dir;
        QFile locked(dir.filePath("ttyLOCKED"));
        QVERIFY(locked.open(QIODevice::WriteOnly) && locked.setPermissions(QFileDevice::Permissions()));
        devices = {{1, sim->devicePath()}, {2, locked.fileName()}, {3, "/dev/pts/no-such-device"}};
        port->setPortOpen(false);
        QSerialPort other(sim->devicePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        port->setCommPort(number);
        QVERIFY(!port->setPortOpen(true));
        QCOMPARE(port->failure().port, number);
        QCOMPARE(port->failure().device, devices.value(number));
        QVERIFY2(port->failure().reason.contains(reason, Qt::CaseInsensitive), qPrintable(port->failure().reason));
        QCOMPARE(port->failure().permissionDenied, number == 2);
    }

    // Last: once the application is told to quit, no event loop runs again in this process.
    void quittingTheApplicationEndsTheWait()
    {
        openLink(with([](MeterConfig& c) { c.silentPrefixes << "F189"; }));
        ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
        QTimer::singleShot(0, QCoreApplication::instance(), [&] {
            QTimer::singleShot(200, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
            outcome = link->send("001", "F189");
        });
        QCoreApplication::exec();
        QCOMPARE(outcome, ReplyOutcome::PortFailed);
        QCOMPARE(link->failure().reason, QString("interrupted"));
    }
};

QTEST_GUILESS_MAIN(TestLinkTransaction)
#include "test_link_transaction.moc"
