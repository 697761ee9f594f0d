// Meter link handlers of the window: command texts from the selections, the serial
// port settings, and the send-and-wait transaction with its two-second timeout.
#include <QCoreApplication>
#include <QEventLoop>

#include "app/PickList.h"
#include "app/frmMain.h"
#include "link/MeterLink.h"
#include "link/SerialComm.h"

void frmMain::wireLink()
{
    connect(&tmrSerial, &QTimer::timeout, this, [this] { tmrSerial_Timer(); });
}

void frmMain::shutdownLink()
{
    if (m_wakeWait)
        m_wakeWait();
    if (MSComm1)
        MSComm1->setPortOpen(false);
    tmrSerial.stop();
}

void frmMain::LoadAddressText()
{
    if (const auto a = MeterLink::addressText(cboAddress->Text()))
        AddressText = *a;
}

void frmMain::cboAddress_Change()
{
    if (const auto c = MeterLink::addressCommand(cboAddress->Text()))
        CommandText = *c;
}

void frmMain::cboDecimal_Change()
{
    if (const auto c = MeterLink::decimalCommand(cboDecimal->Text()))
        CommandText = *c;
}

void frmMain::cboSetPoints_Change()
{
    if (const auto c = MeterLink::pointsCommand(cboSetPoints->Text()))
        CommandText = *c;
}

QString frmMain::BuildMeterFrame() const { return MeterLink::BuildMeterFrame(AddressText, CommandText, ChecksumText); }

void frmMain::ApplyBaudRate(const QString& baud)
{
    // Input is always read whole and as text (one byte per character).
    if (!MSComm1->setSettings(MeterLink::settingsFor(baud)))
        LinkFailure = MSComm1->failure();
    if (MeterLink::isListedBaud(baud)) {
        const int i = cboBaudRate->findText(baud, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (i >= 0 && cboBaudRate->currentIndex() != i)
            cboBaudRate->setCurrentIndex(i); // no picked(): nothing else runs
    }
}

void frmMain::cboBaudRate_Change()
{
    const QString baud = cboBaudRate->Text();
    if (MeterLink::isListedBaud(baud))
        ApplyBaudRate(baud);
}

bool frmMain::cboCommPort_Change()
{
    const QString text = cboCommPort->Text();
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        if (text != QString::number(n))
            continue;
        LinkFailure.reset();
        MSComm1->setCommPort(n);
        if (m_dryRun)
            return true; // nothing is opened
        if (!MSComm1->setPortOpen(true)) {
            LinkFailure = MSComm1->failure();
            return false;
        }
        return true;
    }
    return true; // no selection: the port stays closed
}

void frmMain::DiscardInput() { MSComm1->discardInput(); }

void frmMain::StartReplyTimer()
{
    ReplyCountdown = 2;
    tmrSerial.setInterval(1000);
    tmrSerial.start();
}

void frmMain::StopReplyTimer()
{
    ReplyCountdown = 0;
    tmrSerial.stop();
    tmrSerial.setInterval(0);
}

void frmMain::tmrSerial_Timer()
{
    if (ReplyCountdown != 0)
        --ReplyCountdown;
}

ReplyOutcome frmMain::SendMeterCommand()
{
    ChecksumText = MeterLink::ComputeChecksum(CommandText);
    ReplyText.clear();
    LinkFailure.reset();
    if (m_dryRun && !m_closing) {
        // Hand the frame over and take it as acknowledged by the selected address.
        emit frameSent(BuildMeterFrame().toLatin1());
        ReplyText = QStringLiteral("\x02" "A0") + AddressText + QStringLiteral("\x03");
        return ReplyOutcome::ReplyComplete;
    }
    if (m_closing || !MSComm1->output(BuildMeterFrame().toLatin1())) {
        LinkFailure = MSComm1->failure();
        if (m_closing)
            LinkFailure->reason = QStringLiteral("the window is closing");
        return ReplyOutcome::PortFailed;
    }
    StartReplyTimer();

    // Sleep in an event loop until something can change the outcome: input arrives,
    // the reply timer ticks, the port fails, or the window closes. Events keep being
    // processed meanwhile (timers, repaints, user input).
    QEventLoop wait;
    bool woken = true; // the first pass only processes what is pending
    auto wake = [&] {
        woken = true;
        wait.quit();
    };
    const auto c1 = connect(MSComm1, &SerialComm::readyRead, &wait, wake);
    bool portFailed = false;
    const auto c2 = connect(MSComm1, &SerialComm::failed, &wait, [&] {
        portFailed = true;
        wake();
    });
    const auto c3 = connect(&tmrSerial, &QTimer::timeout, &wait, wake);
    auto previousWake = std::exchange(m_wakeWait, wake);
    struct Restore {
        std::function<void()>& slot;
        std::function<void()> previous;
        ~Restore() { slot = std::move(previous); }
    } restore{m_wakeWait, std::move(previousWake)};

    ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
    bool quitting = false; // the application is ending: event loops no longer run
    for (;;) {
        if (woken) {
            woken = false;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            quitting = wait.exec() < 0;
            woken = false;
        }
        ReplyText += QString::fromLatin1(MSComm1->input());
        if (m_closing || quitting || !MSComm1->portOpen()) {
            if (portFailed && !m_closing)
                LinkFailure = MSComm1->failure();
            else
                LinkFailure = PortFailure{MSComm1->commPort(), MSComm1->device(),
                                          m_closing  ? QStringLiteral("the window is closing")
                                          : quitting ? QStringLiteral("the program is ending")
                                                     : QStringLiteral("the port was closed"),
                                          false};
            outcome = ReplyOutcome::PortFailed;
            StopReplyTimer();
            break;
        }
        if (ReplyCountdown == 0) {
            outcome = ReplyOutcome::ReplyTimedOut;
            break;
        }
        if (MeterLink::replyComplete(ReplyText)) {
            StopReplyTimer();
            break;
        }
    }
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);

    if (outcome == ReplyOutcome::ReplyTimedOut) {
        // The reply timer stays armed at 0; the next StartReplyTimer re-arms it.
        setPanelText(1, QStringLiteral("Error Detected"));
        RestartStatusTimer();
    }
    return outcome;
}

bool frmMain::IsErrorReply() const { return MeterLink::isErrorReply(ReplyText); }

QString frmMain::ErrorReplyMessage() const { return MeterLink::errorReplyMessage(ReplyText); }
