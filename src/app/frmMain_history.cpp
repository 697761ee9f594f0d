// The run history in the window: checked before Program Meter sends anything, written after
// each run that sent something (kept in the spool when it cannot be), and File > History...
#include "app/HistoryDialog.h"
#include "record/RunRecorder.h"
#include "app/frmMain.h"
#include "history/HistorySpool.h"
#include "history/HistoryStore.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"

bool frmMain::historyReady()
{
    if (m_noHistory || m_dryRun)
        return true;
    QString why;
    const QString text = History::chosenDest(m_historyDest);
    const auto dest = History::parseDest(text, &why);
    if (dest && (!m_history || m_history->dest().identity() != dest->identity()))
        m_history = std::make_unique<History::Store>(*dest);
    if (dest)
        m_history->close(); // a connection of an earlier run proves nothing now
    if (dest && m_history->open(&why)) {
        History::Spool::flush(*m_history);
        return true;
    }
    MsgBox(tr("The run history %1 cannot be written: %2\r\nNothing was sent to the meter.").arg(dest ? dest->shown : text, why), vbExclamation);
    return false;
}

void frmMain::keepRunInHistory()
{
    if (m_noHistory || m_dryRun || !m_history || !m_recorder->sentSomething())
        return;
    const QByteArray json = Record::toJsonText(m_recorder->record());
    const QString signature = RecordSignature::signatureText(m_recorder->record().signing.key, json);
    const History::Spool::Outcome out = History::Spool::storeOrKeep(*m_history, json, History::runUuid(json, m_recorder->runId()), signature);
    if (out.stored)
        return;
    MsgBox(tr("The run could not be stored in the run history %1: %2\r\n%3")
               .arg(m_history->dest().shown, out.why,
                    out.spooled.isEmpty() ? tr("It could not be kept either.")
                                          : tr("It is kept in %1 until the history can be written.").arg(out.spooled)),
           vbExclamation);
}

void frmMain::mnuHistory_Click()
{
    QString why;
    const QString text = History::chosenDest(m_historyDest);
    const auto dest = History::parseDest(text, &why);
    if (m_historyDialog)
        m_historyDialog->close();
    if (dest) {
        m_historyDialog = new HistoryDialog(*dest, this);
        m_historyDialog->setAttribute(Qt::WA_DeleteOnClose);
        why = m_historyDialog->error();
    }
    if (!why.isEmpty()) {
        if (m_historyDialog)
            m_historyDialog->deleteLater();
        MsgBox(tr("The run history %1 cannot be read: %2").arg(dest ? dest->shown : text, why), vbExclamation);
        return;
    }
    connect(m_historyDialog, &HistoryDialog::saveRecord, this, [this](const QByteArray& json) { saveRecordFile(Record::fromJson(json), json); });
    connect(m_historyDialog, &HistoryDialog::printRecord, this, [this](const QByteArray& json) { printRecord(Record::fromJson(json)); });
    m_historyDialog->show();
}
