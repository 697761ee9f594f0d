// Meter link handlers of the window: command texts from the selections, the serial
// port settings, and the send-and-wait transaction with its two-second timeout.

#include "app/PickList.h"
#include "app/frmMain.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"

void frmMain::shutdownLink()
{
    m_transaction->abort(QStringLiteral("the window is closing"));
    MSComm1->setPortOpen(false);
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

ReplyOutcome frmMain::SendMeterCommand()
{
    if (m_dryRun && !m_closing) {
        // Hand the frame over and take it as acknowledged by the selected address.
        ChecksumText = MeterLink::ComputeChecksum(CommandText);
        LinkFailure.reset();
        emit frameSent(BuildMeterFrame().toLatin1());
        ReplyText = QStringLiteral("\x02"
                                   "A0") +
                    AddressText + QStringLiteral("\x03");
        ReplyCountdown = 0;
        return ReplyOutcome::ReplyComplete;
    }
    const ReplyOutcome outcome = m_transaction->send(AddressText, CommandText);
    ChecksumText = m_transaction->checksumText();
    ReplyText = m_transaction->replyText();
    ReplyCountdown = m_transaction->replyCountdown();
    LinkFailure.reset();
    if (outcome == ReplyOutcome::PortFailed)
        LinkFailure = m_transaction->failure();
    if (outcome == ReplyOutcome::ReplyTimedOut) {
        setPanelText(1, tr("Error Detected"));
        RestartStatusTimer();
    }
    return outcome;
}

bool frmMain::IsErrorReply() const { return MeterLink::isErrorReply(ReplyText); }

QString frmMain::ErrorReplyMessage() const { return MeterLink::errorReplyMessage(ReplyText); }
