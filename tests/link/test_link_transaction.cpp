// The window's send-and-wait transaction over a real pseudo-terminal, against the
// simulated meter running in this process.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>
#include <unistd.h>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "link/MeterLink.h"
#include "link/SerialComm.h"
#include "meter-sim/SimulatedMeter.h"

namespace {
const QString ETX(QChar(0x03));

double cpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
} // namespace

class TestLinkTransaction : public QObject {
    Q_OBJECT

    std::unique_ptr<SimulatedMeter> sim;
    std::unique_ptr<frmMain> w;

    // A window with the simulator as port 1, the port opened as a programming run does.
    void openLink(const MeterConfig& config = MeterConfig())
    {
        QString error;
        sim = SimulatedMeter::start(config, &error);
        QVERIFY2(sim, qPrintable(error));
        PortMap ports;
        ports.map(1, sim->devicePath());
        w = makeWindow(ports);
        QVERIFY(w->selectListText(w->cboCommPort, "1"));
        QCOMPARE(w->cboBaudRate->Text(), QString("2400"));
        w->cboBaudRate_Change();
        QVERIFY(w->cboCommPort_Change());
        QVERIFY(w->MSComm1->portOpen());
        w->DiscardInput();
        w->LoadAddressText();
        QCOMPARE(w->AddressText, QString("001"));
        sim->clearReceived();
    }

    ReplyOutcome send(const QString& command)
    {
        w->CommandText = command;
        return w->SendMeterCommand();
    }

private slots:
    void cleanup()
    {
        w.reset();
        sim.reset();
    }

    void commandTextsFromTheLists()
    {
        w = makeWindow();
        w->CommandText = "keep";
        w->cboAddress->setCurrentIndex(-1);
        w->cboAddress_Change();
        QCOMPARE(w->CommandText, QString("keep"));
        w->AddressText = "005";
        w->LoadAddressText();
        QCOMPARE(w->AddressText, QString("005"));
        QVERIFY(w->selectListText(w->cboAddress, "247"));
        w->cboAddress_Change();
        QCOMPARE(w->CommandText, QString("38247"));
        w->LoadAddressText();
        QCOMPARE(w->AddressText, QString("247"));
        QVERIFY(w->selectListText(w->cboDecimal, "dddddd"));
        w->cboDecimal_Change();
        QCOMPARE(w->CommandText, QString("37P0"));
        QVERIFY(w->selectListText(w->cboSetPoints, "9"));
        w->cboSetPoints_Change();
        QCOMPARE(w->CommandText, QString("48L09"));
        w->cboSetPoints->setCurrentIndex(-1);
        w->cboSetPoints_Change();
        QCOMPARE(w->CommandText, QString("48L09"));
        w->ChecksumText = MeterLink::ComputeChecksum("37P3");
        w->CommandText = "37P3";
        w->AddressText = "001";
        QCOMPARE(w->BuildMeterFrame().toLatin1(), QByteArray::fromHex("0130303133375033313303"));
    }

    void workedFramesOnTheWire()
    {
        openLink();
        const QByteArray before = sim->rawReceived();
        QCOMPARE(send("37P3"), ReplyOutcome::ReplyComplete);
        QCOMPARE(sim->rawReceived().mid(before.size()), QByteArray::fromHex("0130303133375033313303"));
        QCOMPARE(w->ChecksumText, QString("13"));
        QCOMPARE(send("38001"), ReplyOutcome::ReplyComplete);
        QCOMPARE(send("F189"), ReplyOutcome::ReplyComplete);
        QCOMPARE(send("48L02"), ReplyOutcome::ReplyComplete);
        QCOMPARE(w->ChecksumText, QString("E6"));
        QVERIFY(sim->rawReceived().endsWith("\x01" "00148L02E6\x03"));
        QCOMPARE(sim->received(), QStringList({"37P3", "38001", "F189", "48L02"}));
        // A completed transaction disarms the reply timer.
        QCOMPARE(w->ReplyCountdown, qint16(0));
        QVERIFY(!w->tmrSerial.isActive());
        QCOMPARE(w->tmrSerial.interval(), 0);
    }

    void acknowledgementAndRefusal()
    {
        MeterConfig config;
        config.refusals.insert("2A2", '3');
        openLink(config);
        QCOMPARE(send("F189"), ReplyOutcome::ReplyComplete);
        QVERIFY(w->ReplyText.contains("01.100"));
        QVERIFY(w->ReplyText.endsWith(ETX));
        QVERIFY(!w->IsErrorReply());
        QCOMPARE(send("2A2014000"), ReplyOutcome::ReplyComplete);
        QVERIFY(w->IsErrorReply());
        QCOMPARE(w->ReplyText.at(2), QChar('3'));
        QCOMPARE(w->ErrorReplyMessage(), "Error writing output option: \r\n" + MeterLink::errorText('3'));
    }

    void etxAloneIsAccepted()
    {
        MeterConfig config;
        config.fixedReply = QByteArray(1, 0x03);
        openLink(config);
        QCOMPARE(send("33V"), ReplyOutcome::ReplyComplete);
        QCOMPARE(w->ReplyText, ETX);
        QVERIFY(!w->IsErrorReply());
    }

    void replyInPiecesIsJoined()
    {
        MeterConfig config;
        config.replyPieces = 4;
        config.pieceGapMs = 80;
        openLink(config);
        QSignalSpy reads(w->MSComm1, &SerialComm::readyRead);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("F189"), ReplyOutcome::ReplyComplete);
        QCOMPARE(w->ReplyText, QString("\x02" "A0001 01.100\x03"));
        QVERIFY2(reads.count() >= 2, "the reply should arrive in several reads");
        QVERIFY(clock.elapsed() >= 3 * 80);
    }

    void zAfterEtxIsRefused()
    {
        MeterConfig config;
        config.replySuffix = "Z";
        openLink(config);
        QCOMPARE(send("33I"), ReplyOutcome::ReplyComplete);
        QVERIFY(w->ReplyText.indexOf('Z') > w->ReplyText.indexOf(ETX));
        QVERIFY(w->IsErrorReply());
    }

    void noReplyTimesOutAfterTwoSecondsWhileEventsRun()
    {
        MeterConfig config;
        config.silentPrefixes << "F189";
        openLink(config);
        int ticks = 0;
        QTimer other;
        connect(&other, &QTimer::timeout, [&] { ++ticks; });
        other.start(50);
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = cpuSeconds();
        QCOMPARE(send("F189"), ReplyOutcome::ReplyTimedOut);
        const qint64 ms = clock.elapsed();
        const double cpu = cpuSeconds() - cpu0;
        QVERIFY2(ms >= 1900 && ms < 3000, qPrintable(QString::number(ms)));
        QVERIFY2(ticks >= 25, qPrintable(QString("other timer ticked %1 times").arg(ticks)));
        QVERIFY2(cpu < 0.2 * double(ms) / 1000.0, qPrintable(QString("cpu %1 s over %2 ms").arg(cpu).arg(ms)));
        QCOMPARE(w->panelText(1), QString("Error Detected"));
        QVERIFY(w->tmrStatusBarText.isActive());
        QCOMPARE(w->ReplyCountdown, qint16(0));
        QVERIFY(w->tmrSerial.isActive()); // not disarmed on this path
        QCOMPARE(sim->received(), QStringList({"F189"}));

        // A frame for another address, or with a bad checksum, is not answered either:
        // only the good frame's reply arrives in the following transaction.
        QVERIFY(w->MSComm1->output("\x01" "00237P313\x03"));
        QVERIFY(w->MSComm1->output("\x01" "00137P314\x03"));
        QCOMPARE(send("33V"), ReplyOutcome::ReplyComplete);
        QCOMPARE(w->ReplyText, QString("\x02" "A0001\x03"));
        QCOMPARE(sim->received(), QStringList({"F189", "33V"}));
    }

    void wrongAddressTimesOut()
    {
        openLink();
        w->AddressText = "002";
        QCOMPARE(send("37P3"), ReplyOutcome::ReplyTimedOut);
        QVERIFY(sim->received().isEmpty());
        QVERIFY(sim->rawReceived().endsWith("\x01" "00237P313\x03"));
    }

    void lateReplyCompletesTheNextTransaction()
    {
        MeterConfig config;
        config.latePrefix = "F189";
        config.lateMs = 2300;
        openLink(config);
        QSignalSpy replied(sim.get(), &SimulatedMeter::replied);
        QCOMPARE(send("F189"), ReplyOutcome::ReplyTimedOut);
        QVERIFY(replied.wait(2000));
        QTRY_VERIFY(w->MSComm1->inBufferCount() > 0);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("37P3"), ReplyOutcome::ReplyComplete);
        QVERIFY(clock.elapsed() < 500);
        QVERIFY(w->ReplyText.startsWith("\x02" "A0001 01.100\x03"));
        // The 37P3 acknowledgement is read by the transaction after it.
        QCOMPARE(send("33V"), ReplyOutcome::ReplyComplete);
        QVERIFY(w->ReplyText.startsWith("\x02" "A0001\x03"));
    }

    void discardInputDropsWaitingReplies()
    {
        openLink();
        QSignalSpy replied(sim.get(), &SimulatedMeter::replied);
        QVERIFY(w->MSComm1->output("\x01" "001F18918\x03"));
        QVERIFY(replied.wait(2000));
        QTRY_VERIFY(w->MSComm1->inBufferCount() > 0);
        w->DiscardInput();
        QCOMPARE(w->MSComm1->inBufferCount(), 0);
        QCOMPARE(send("33V"), ReplyOutcome::ReplyComplete);
        QCOMPARE(w->ReplyText, QString("\x02" "A0001\x03"));
    }

    void baudRateAppliesWhileOpen()
    {
        MeterConfig config;
        config.baud = 9600;
        openLink(config);
        QCOMPARE(sim->lineBaud(), 2400);
        QCOMPARE(send("37P3"), ReplyOutcome::ReplyTimedOut); // line at 2400, meter at 9600
        QVERIFY(sim->received().isEmpty());

        QSignalSpy picked(w->cboBaudRate, &PickList::picked);
        w->ApplyBaudRate("9600");
        QCOMPARE(w->MSComm1->settings(), QString("9600,N,8,1"));
        QVERIFY(w->MSComm1->portOpen());
        QCOMPARE(w->MSComm1->port().baudRate(), 9600);
        QCOMPARE(sim->lineBaud(), 9600);
        QCOMPARE(w->cboBaudRate->Text(), QString("9600"));
        QCOMPARE(picked.count(), 0);
        QCOMPARE(send("37P3"), ReplyOutcome::ReplyComplete);
        QCOMPARE(sim->received(), QStringList({"37P3"}));

        // An unlisted rate is applied to the port but not selected in the list.
        w->ApplyBaudRate("38400");
        QCOMPARE(w->MSComm1->settings(), QString("38400,N,8,1"));
        QCOMPARE(w->cboBaudRate->Text(), QString("9600"));
        // No selection: cboBaudRate_Change changes nothing.
        w->cboBaudRate->setCurrentIndex(-1);
        w->cboBaudRate_Change();
        QCOMPARE(w->MSComm1->settings(), QString("38400,N,8,1"));
        QVERIFY(w->selectListText(w->cboBaudRate, "1200"));
        w->cboBaudRate_Change();
        QCOMPARE(w->MSComm1->settings(), QString("1200,N,8,1"));
        QCOMPARE(sim->lineBaud(), 1200);
    }

    void vanishedDeviceFailsWithoutHanging()
    {
        MeterConfig config;
        config.silentPrefixes << "F189";
        openLink(config);
        const QString path = sim->devicePath();
        QTimer::singleShot(300, sim.get(), [this] { sim->closeDevice(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("F189"), ReplyOutcome::PortFailed);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(w->LinkFailure);
        QCOMPARE(w->LinkFailure->port, 1);
        QCOMPARE(w->LinkFailure->device, path);
        QVERIFY(!w->LinkFailure->reason.isEmpty());
        QVERIFY(!w->MSComm1->portOpen());
        QVERIFY(!w->tmrSerial.isActive());
        // Writing to the closed port fails at once.
        QCOMPARE(send("33V"), ReplyOutcome::PortFailed);
        QCOMPARE(w->LinkFailure->device, path);
        // Reopening the vanished device fails with the device's path.
        QVERIFY(!w->cboCommPort_Change());
        QCOMPARE(w->LinkFailure->device, path);
    }

    void deviceVanishedBeforeWriting()
    {
        openLink();
        sim->closeDevice();
        const ReplyOutcome outcome = send("37P3");
        QCOMPARE(outcome, ReplyOutcome::PortFailed);
        QVERIFY(w->LinkFailure);
        QCOMPARE(w->LinkFailure->device, sim->devicePath());
        QVERIFY(!w->LinkFailure->reason.isEmpty());
    }

    void deviceVanishedWhileIdle()
    {
        openLink();
        QSignalSpy failed(w->MSComm1, &SerialComm::failed);
        sim->closeDevice();
        QVERIFY(failed.wait(2000));
        QVERIFY(!w->MSComm1->portOpen());
        QCOMPARE(send("37P3"), ReplyOutcome::PortFailed);
        QVERIFY2(w->LinkFailure->reason.contains("lost"), qPrintable(w->LinkFailure->reason));
        QCOMPARE(w->LinkFailure->port, 1);
    }

    void closingTheWindowEndsTheWait()
    {
        MeterConfig config;
        config.silentPrefixes << "F189";
        openLink(config);
        QTimer::singleShot(200, w.get(), [this] { w->close(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(send("F189"), ReplyOutcome::PortFailed);
        QVERIFY(clock.elapsed() < 1500);
        QVERIFY(!w->MSComm1->portOpen());
        QVERIFY(w->LinkFailure);
    }

    void portsThatCannotBeOpened()
    {
        // No selection: the port stays closed and the next write fails.
        w = makeWindow();
        w->cboCommPort->setCurrentIndex(-1);
        QVERIFY(w->cboCommPort_Change());
        QVERIFY(!w->MSComm1->portOpen());
        w->AddressText = "001";
        QCOMPARE(send("F189"), ReplyOutcome::PortFailed);
        QVERIFY(w->LinkFailure);
        QVERIFY(w->LinkFailure->reason.contains("not open"));

        // A missing device.
        PortMap ports;
        ports.map(3, "/dev/pts/no-such-device");
        w = makeWindow(ports);
        w->cboCommPort->AddItem("3");
        QVERIFY(w->selectListText(w->cboCommPort, "3"));
        QVERIFY(!w->cboCommPort_Change());
        QVERIFY(w->LinkFailure);
        QCOMPARE(w->LinkFailure->port, 3);
        QCOMPARE(w->LinkFailure->device, QString("/dev/pts/no-such-device"));
        QVERIFY(w->LinkFailure->reason.contains("No such file", Qt::CaseInsensitive));
        QVERIFY(!w->LinkFailure->permissionDenied);

        // A port number without a device.
        w->cboCommPort->AddItem("4");
        QVERIFY(w->selectListText(w->cboCommPort, "4"));
        QVERIFY(!w->cboCommPort_Change());
        QCOMPARE(w->LinkFailure->port, 4);
        QVERIFY(w->LinkFailure->device.isEmpty());
    }

    void busyPortIsRefused()
    {
        openLink();
        // Another program holds the port: our own second handle.
        QSerialPort other(sim->devicePath());
        w->MSComm1->setPortOpen(false);
        QVERIFY(other.open(QIODevice::ReadWrite));
        QVERIFY(!w->cboCommPort_Change());
        QVERIFY(w->LinkFailure);
        QCOMPARE(w->LinkFailure->device, sim->devicePath());
        QVERIFY2(w->LinkFailure->reason.contains("busy", Qt::CaseInsensitive), qPrintable(w->LinkFailure->reason));
        QVERIFY(!w->LinkFailure->permissionDenied);
        other.close();
        QVERIFY(w->cboCommPort_Change());
    }

    void permissionDenied()
    {
        if (::geteuid() == 0)
            QSKIP("root may open any device");
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyLOCKED");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        PortMap ports;
        ports.map(2, path);
        w = makeWindow(ports);
        w->cboCommPort->AddItem("2");
        QVERIFY(w->selectListText(w->cboCommPort, "2"));
        QVERIFY(!w->cboCommPort_Change());
        QVERIFY(w->LinkFailure->permissionDenied);
        QCOMPARE(w->LinkFailure->device, path);
    }

    // Last: once the application is told to quit, no event loop runs again in this process.
    void quittingTheApplicationEndsTheWait()
    {
        MeterConfig config;
        config.silentPrefixes << "F189";
        openLink(config);
        ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
        QElapsedTimer clock;
        QTimer::singleShot(0, qApp, [&] {
            QTimer::singleShot(200, qApp, [] { QCoreApplication::exit(0); });
            clock.start();
            outcome = send("F189");
        });
        QCoreApplication::exec();
        QCOMPARE(outcome, ReplyOutcome::PortFailed);
        QVERIFY(clock.elapsed() < 1500);
        QVERIFY(w->LinkFailure);
        QCOMPARE(w->LinkFailure->reason, QString("the program is ending"));
    }
};

QTEST_MAIN(TestLinkTransaction)
#include "test_link_transaction.moc"
