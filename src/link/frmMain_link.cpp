// Meter link handlers of the window.
#include "app/frmMain.h"
#include "link/SerialComm.h"

void frmMain::wireLink() {}
void frmMain::shutdownLink()
{
    if (m_wakeWait)
        m_wakeWait();
    if (MSComm1)
        MSComm1->setPortOpen(false);
}
void frmMain::LoadAddressText() {}
void frmMain::cboAddress_Change() {}
void frmMain::cboDecimal_Change() {}
void frmMain::cboSetPoints_Change() {}
void frmMain::ApplyBaudRate(const QString&) {}
void frmMain::cboBaudRate_Change() {}
bool frmMain::cboCommPort_Change() { return false; }
void frmMain::DiscardInput() {}
void frmMain::StartReplyTimer() {}
void frmMain::StopReplyTimer() {}
void frmMain::tmrSerial_Timer() {}
ReplyOutcome frmMain::SendMeterCommand() { return ReplyOutcome::PortFailed; }
bool frmMain::IsErrorReply() const { return ReplyText.contains('Z'); }
QString frmMain::ErrorReplyMessage() const { return {}; }
