// The simulated meter on its own: a raw client on the pty talks to it.
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QtTest>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "meter-sim/SimulatedMeter.h"
#include "meter-sim/SimulatorOptions.h"

namespace {
// The client end of the line: the slave device, raw, at a given speed.
class Client {
public:
    Client(const QString& path, speed_t speed = B2400)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio {};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(m_fd, TCSANOW, &tio);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[256];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                data.append(buf, int(n));
        });
    }
    ~Client()
    {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    void write(const QByteArray& bytes) { QCOMPARE(::write(m_fd, bytes.constData(), bytes.size()), ssize_t(bytes.size())); }
    void frame(const QString& command, const QString& address = "001")
    {
        write("\x01" + address.toLatin1() + command.toLatin1() + SimulatedMeter::checksum(command.toLatin1()).toLatin1() + "\x03");
    }
    // Everything up to and including the next ETX.
    QByteArray reply(int timeoutMs = 2000)
    {
        QElapsedTimer t;
        t.start();
        while (!data.contains('\x03') && t.elapsed() < timeoutMs)
            QTest::qWait(5);
        const int etx = int(data.indexOf('\x03'));
        if (etx < 0)
            return {};
        const QByteArray r = data.left(etx + 1);
        data.remove(0, etx + 1);
        return r;
    }
    QByteArray data;

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
} // namespace

class TestMeterSim : public QObject {
    Q_OBJECT
private slots:
    void answersOnlyValidFramesForItsAddress()
    {
        auto sim = SimulatedMeter::start(MeterConfig());
        QVERIFY(sim);
        QVERIFY(sim->devicePath().startsWith("/dev/pts/"));
        Client c(sim->devicePath());
        QVERIFY(c.ok());
        QSignalSpy commands(sim.get(), &SimulatedMeter::commandReceived);
        c.frame("F189");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0001 01.100\x03"));
        c.frame("37P3", "002");                  // another address
        c.write("\x01" "00137P314\x03");         // bad checksum
        c.write("ATV1Q0\r");                     // modem probe
        c.frame("33V");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0001\x03"));
        QVERIFY(c.data.isEmpty());
        QCOMPARE(sim->received(), QStringList({"F189", "33V"}));
        QCOMPARE(commands.count(), 2);
        // Unknown commands and bad values are refused with a code as third character.
        c.frame("XYZ");
        QCOMPARE(c.reply(), QByteArray("\x02Z0001\x03"));
        c.frame("2A2334000");
        QCOMPARE(c.reply().at(2), '3');
        c.frame("2A201x");
        QCOMPARE(c.reply().at(2), '9');
        c.frame("48L33");
        QCOMPARE(c.reply().at(2), '2');
        // The set-address command moves the meter to the new address.
        c.frame("38007");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0001\x03"));
        c.frame("33V", "007");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0007\x03"));
        sim->clearReceived();
        QVERIFY(sim->received().isEmpty());
    }

    void silentAtAnotherLineSpeed()
    {
        MeterConfig config;
        config.baud = 9600;
        auto sim = SimulatedMeter::start(config);
        Client c(sim->devicePath(), B2400);
        QCOMPARE(sim->lineBaud(), 2400);
        c.frame("F189");
        QCOMPARE(c.reply(300), QByteArray());
        QVERIFY(sim->received().isEmpty());
    }

    void faults()
    {
        MeterConfig config;
        config.silentOnCommand = 2;
        config.silentPrefixes << "2A0";
        config.refusals.insert("48L", '7');
        config.firmware = QString::fromLatin1(OldFirmwareText);
        auto sim = SimulatedMeter::start(config);
        Client c(sim->devicePath());
        c.frame("F189");
        QVERIFY(c.reply().contains("01.000"));
        c.frame("37P3"); // the second command
        QCOMPARE(c.reply(300), QByteArray());
        c.frame("37P3");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0001\x03"));
        c.frame("2A0014000");
        QCOMPARE(c.reply(300), QByteArray());
        c.frame("48L05");
        const QByteArray refused = c.reply();
        QVERIFY(refused.contains('Z'));
        QCOMPARE(refused.at(2), '7');
        // Faults can change while it runs.
        sim->config().refusals.clear();
        c.frame("48L05");
        QCOMPARE(c.reply(), QByteArray("\x02" "A0001\x03"));
    }

    void piecesLatencyAndWireTime()
    {
        MeterConfig config;
        config.baud = 300;
        config.wireTime = true;
        config.latencyMs = 50;
        config.replyPieces = 3;
        auto sim = SimulatedMeter::start(config);
        Client c(sim->devicePath(), B300);
        QSignalSpy replied(sim.get(), &SimulatedMeter::replied);
        QElapsedTimer t;
        t.start();
        c.frame("33V");
        const QByteArray r = c.reply();
        // The 7-byte reply alone takes 234 ms on the wire at 300 baud (the frame more), plus the latency.
        QVERIFY2(t.elapsed() >= 280, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(r, QByteArray("\x02" "A0001\x03"));
        QCOMPARE(replied.count(), 1);
        QCOMPARE(sim->repliesSent(), 1);

        sim->config().wireTime = false;
        sim->config().latencyMs = 0;
        sim->config().latePrefix = "F1";
        sim->config().lateMs = 300;
        t.restart();
        c.frame("F189");
        QVERIFY(!c.reply().isEmpty());
        QVERIFY(t.elapsed() >= 300);
    }

    void modemAnswersOnlyTheProbe()
    {
        MeterConfig config;
        config.modem = true;
        auto sim = SimulatedMeter::start(config);
        Client c(sim->devicePath());
        c.frame("F189");
        c.write("ATV1Q0\r");
        QTRY_COMPARE(c.data, QByteArray("OK\r\n"));
        QVERIFY(sim->received().isEmpty());
    }

    void tableDumpAndDisplay()
    {
        auto sim = SimulatedMeter::start(MeterConfig());
        Client c(sim->devicePath());
        QCOMPARE(sim->displayFor("12.000"), QString());
        for (const char* cmd : {"201130", "37P3", "48L03", "2A3014000", "2A1010", "2A30212000", "2A10250000",
                                "2A30320000", "2A103100000", "33I"}) {
            c.frame(cmd);
            QVERIFY2(!c.reply().contains('Z'), cmd);
        }
        QCOMPARE(sim->displayFor("4.000"), QString("0.000"));
        QCOMPARE(sim->displayFor("8"), QString("25.000"));
        QCOMPARE(sim->displayFor("12.000"), QString("50.000"));
        QCOMPARE(sim->displayFor("16.000"), QString("75.000"));
        QCOMPARE(sim->displayFor("25.000"), QString("100.000")); // held at the last point
        QCOMPARE(sim->displayFor("abc"), QString());
        const QString dump = sim->dump();
        QVERIFY(dump.contains("201130 (Current)"));
        QVERIFY(dump.contains("37P3 (ddd.ddd)"));
        QVERIFY(dump.contains("Number of points: 3"));
        QVERIFY(dump.contains("33I"));
        QVERIFY2(dump.contains("input 12000    = 12.000"), qPrintable(dump));
        QVERIFY(dump.contains("display 100000   = 100.000"));
    }

    void logsEveryFrame()
    {
        auto sim = SimulatedMeter::start(MeterConfig());
        Client c(sim->devicePath());
        QSignalSpy log(sim.get(), &SimulatedMeter::logLine);
        c.frame("37P3");
        c.reply();
        c.frame("37P3", "009");
        QTRY_COMPARE(log.count(), 2);
        QVERIFY(log.at(0).at(0).toString().contains("decimal point: ddd.ddd"));
        QVERIFY(log.at(1).at(0).toString().contains("silent"));
    }

    void vanishes()
    {
        auto sim = SimulatedMeter::start(MeterConfig());
        Client c(sim->devicePath());
        sim->closeDevice();
        QCOMPARE(sim->lineBaud(), 0);
        sim->closeDevice(); // twice is harmless
    }

    void standaloneTool()
    {
        QProcess tool;
        tool.start(METER_SIM_EXE, {"--address", "005", "--refuse", "48L=4"});
        QVERIFY(tool.waitForStarted());
        QVERIFY(tool.waitForReadyRead(5000));
        const QString first = QString::fromLocal8Bit(tool.readLine()).trimmed();
        QVERIFY2(first.startsWith("Simulated meter on /dev/pts/"), qPrintable(first));
        {
            Client c(first.section(' ', -1));
            QVERIFY(c.ok());
            c.frame("37P2", "005");
            QCOMPARE(c.reply(), QByteArray("\x02" "A0005\x03"));
            c.frame("48L04", "005");
            QCOMPARE(c.reply(), QByteArray("\x02Z4005\x03"));
        }
        tool.terminate(); // SIGTERM: prints the dump and ends
        QVERIFY(tool.waitForFinished(5000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(tool.readAll());
        QVERIFY2(out.contains("005 37P2 (decimal point: dddd.dd): reply <STX>A0005<ETX>"), qPrintable(out));
        QVERIFY(out.contains("<STX>Z4005<ETX>"));
        QVERIFY(out.contains("Decimal point: 37P2 (dddd.dd)"));
        QVERIFY(out.contains("Number of points: (not set)"));

        QProcess bad;
        bad.start(METER_SIM_EXE, {"--baud"});
        QVERIFY(bad.waitForFinished(5000));
        QCOMPARE(bad.exitCode(), 2);
    }

    void commandLine()
    {
        auto o = SimulatorOptions::parse({"--address", "012", "--baud", "9600", "--firmware", "02.000", "--modem",
                                          "--wire-time", "--latency", "20", "--silent-on", "3", "--silent-prefix",
                                          "2A", "--refuse", "48L=5", "--late", "F189=2500", "--pieces", "4"});
        QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
        QCOMPARE(o.config.address, QString("012"));
        QCOMPARE(o.config.baud, 9600);
        QCOMPARE(o.config.firmware, QString("02.000"));
        QVERIFY(o.config.modem && o.config.wireTime);
        QCOMPARE(o.config.latencyMs, 20);
        QCOMPARE(o.config.silentOnCommand, 3);
        QCOMPARE(o.config.silentPrefixes, QStringList({"2A"}));
        QCOMPARE(o.config.refusals.value("48L"), QChar('5'));
        QCOMPARE(o.config.latePrefix, QString("F189"));
        QCOMPARE(o.config.lateMs, 2500);
        QCOMPARE(o.config.replyPieces, 4);
        QCOMPARE(SimulatorOptions::parse({"--old-firmware"}).config.firmware, QString("01.000"));
        QVERIFY(SimulatorOptions::parse({}).error.isEmpty());
        for (const QStringList& bad : QList<QStringList>{{"--address", "248"}, {"--address", "1"}, {"--baud"},
                                                         {"--refuse", "48L=x"}, {"--late", "F189"}, {"--bogus"},
                                                         {"--pieces", "0"}})
            QVERIFY2(!SimulatorOptions::parse(bad).error.isEmpty(), qPrintable(bad.join(' ')));
        QVERIFY(SimulatorOptions::parse({"--help"}).help);
    }
};

QTEST_GUILESS_MAIN(TestMeterSim)
#include "test_meter_sim.moc"
