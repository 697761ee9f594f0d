// The record of the last programming run: kept while the run goes, saved as PDF or JSON,
// printed through the system's print dialog.
#include "app/PickList.h"
#include "record/RecordPdf.h"
#include "record/RunRecorder.h"
#include "app/frmMain.h"
#include "programming/RunResult.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

void frmMain::recordWorkbookSource(const QString& path)
{
    m_recorder->noteSource(RunRecorder::workbookSource(path), pointTable().rows);
}

bool frmMain::saveRecord(const QString& path, QString* error) const
{
    return RecordPdf::save(m_recorder->record(), path, error);
}

namespace {
// Operator and tag for the record, the operator defaulting to the login name. False when cancelled.
bool askRecordDetails(frmMain* parent, RunRecord* record)
{
    const QString remembered = parent->rememberedOperator();
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgRecordDetails"));
    dialog.setWindowTitle(frmMain::tr("Record"));
    auto* form = new QFormLayout(&dialog);
    auto* txtOperator = new QLineEdit(!record->operatorName.isEmpty() ? record->operatorName
                                         : remembered.isEmpty()            ? RunRecorder::loginName()
                                                                           : remembered, &dialog);
    txtOperator->setObjectName(QStringLiteral("txtOperator"));
    auto* txtTag = new QLineEdit(record->tag, &dialog);
    txtTag->setObjectName(QStringLiteral("txtTag"));
    txtTag->setPlaceholderText(frmMain::tr("meter serial number or tank tag"));
    form->addRow(frmMain::tr("Operator:"), txtOperator);
    form->addRow(frmMain::tr("Tag:"), txtTag);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    record->operatorName = txtOperator->text().trimmed();
    parent->rememberOperator(record->operatorName);
    record->tag = txtTag->text().trimmed();
    return true;
}
} // namespace

void frmMain::mnuSaveRecord_Click()
{
    if (m_recorder->hasRun() && askRecordDetails(this, &m_recorder->record()))
        saveRecordFile(m_recorder->record(), {});
}

void frmMain::saveRecordFile(const RunRecord& record, const QByteArray& stored)
{
    const QString path = ShowSaveDialog(tr("PDF (*.pdf)|*.pdf|JSON (*.json)|*.json"), tr("Save Record"));
    if (path.isEmpty())
        return;
    QString error;
    if (!(stored.isEmpty() ? RecordPdf::save(record, path, &error) : RecordPdf::saveStored(stored, path, &error)))
        MsgBox(tr("The record %1 cannot be written: %2").arg(QDir::toNativeSeparators(path), error), vbExclamation);
    else
    {
        setPanelText(1, tr("Record saved"));
        RestartStatusTimer();
    }
}

void frmMain::mnuPrintRecord_Click()
{
    if (m_recorder->hasRun() && askRecordDetails(this, &m_recorder->record()))
        printRecord(m_recorder->record());
}

void frmMain::printRecord(const RunRecord& record)
{
    // The saved PDF's page and margins, painted within them (never over the whole paper).
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(false);
    RecordPdf::usePageLayout(printer);
    printer.setDocName(Record::defaultFileName(record, QString()));
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("dlgPrintRecord"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        MsgBox(tr("The record cannot be printed."), vbExclamation);
        return;
    }
    RecordPdf::paint(painter, printer, record);
    painter.end();
}
