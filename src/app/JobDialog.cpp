#include "app/JobDialog.h"

#include "record/RunRecorder.h"
#include "record/EnglishText.h"
#include "app/frmMain.h"
#include "link/MeterLink.h"
#include "programming/MeterJob.h"
#include "programming/ProgrammingRun.h"
#include "spreadsheet/TableBlock.h"
#include "table/TableCheck.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// A meter's row as the face of its run: the progress and the panels' texts, then the run's
// message, on the row's progress line. No message box: the job goes on to the next meter.
class RowRun final : public RunReporter {
public:
    RowRun(JobDialog* dialog, int row, frmMain* window) : m_dialog(dialog), m_row(row), m_w(window) {}
    void progress(int value, int maximum) override
    {
        if (maximum > 0)
            m_maximum = maximum;
        m_percent = m_maximum > 0 ? int(qint64(value) * 100 / m_maximum) : 0;
        show();
    }
    void status(int panel, const QString& text) override
    {
        if (panel >= 1 && panel <= 2)
            m_panels[panel - 1] = text;
        show();
    }
    int message(const RunMessage& message) override
    {
        m_message = message.text().simplified();
        if (m_w)
            m_w->recorder()->message(EnglishText::english(message.text));
        show();
        return vbOK;
    }
    bool abandoned() const override { return !m_dialog || !m_w || m_w->closing(); }
    QString lastMessage() const { return m_message; }

private:
    void show()
    {
        if (!m_dialog)
            return;
        QStringList texts;
        for (const QString& text : {m_panels[0], m_panels[1], m_message})
            if (!text.isEmpty())
                texts << text;
        m_dialog->setProgressText(m_row, QStringLiteral("[%1%] %2").arg(m_percent, 3).arg(texts.join(QStringLiteral(" | "))));
    }
    QPointer<JobDialog> m_dialog;
    int m_row;
    QPointer<frmMain> m_w;
    int m_percent = 0, m_maximum = 100;
    QString m_panels[2], m_message;
};
} // namespace

JobDialog::JobDialog(frmMain* window, const QList<FoundMeter>& meters) : QDialog(window), m_w(window)
{
    setObjectName(QStringLiteral("dlgProgramMeters"));
    setWindowTitle(tr("Program these meters"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Each meter gets the table of its workbook; the window's input type, decimal point and number of "
                                    "points apply to all."),
                                 this));
    grdJob = new QTableWidget(int(meters.size()), 5, this);
    grdJob->setObjectName(QStringLiteral("grdJob"));
    grdJob->setHorizontalHeaderLabels({tr("Address"), tr("Baud rate"), tr("Workbook"), tr("Tag"), tr("Progress")});
    grdJob->verticalHeader()->hide();
    grdJob->horizontalHeader()->setStretchLastSection(true);
    m_workbooks.resize(meters.size());
    for (int r = 0; r < meters.size(); ++r) {
        for (auto [column, text] : {std::pair{ColAddress, meters[r].address}, std::pair{ColBaud, meters[r].baud}, std::pair{ColProgress, QString()}}) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            grdJob->setItem(r, column, item);
        }
        grdJob->setItem(r, ColTag, new QTableWidgetItem());
        auto* choose = new QPushButton(tr("Choose..."), grdJob);
        connect(choose, &QPushButton::clicked, this, [this, r] { cmdWorkbook_Click(r); });
        grdJob->setCellWidget(r, ColWorkbook, choose);
    }
    grdJob->resizeColumnsToContents();
    grdJob->setMinimumWidth(560);
    layout->addWidget(grdJob);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdProgram = buttons->addButton(tr("Program"), QDialogButtonBox::ActionRole);
    cmdProgram->setObjectName(QStringLiteral("cmdProgramMeters"));
    connect(cmdProgram, &QPushButton::clicked, this, &JobDialog::cmdProgram_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &JobDialog::reject);
    layout->addWidget(buttons);
}

void JobDialog::reject()
{
    if (!m_running)
        QDialog::reject();
}

void JobDialog::setProgressText(int row, const QString& text) { grdJob->item(row, ColProgress)->setText(text); }

void JobDialog::cmdWorkbook_Click(int row)
{
    if (m_running || !m_w)
        return;
    const QString path = m_w->ShowOpenDialog(tr("Spreadsheets (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|"));
    if (path.isEmpty())
        return;
    m_workbooks[row] = path;
    auto* button = qobject_cast<QPushButton*>(grdJob->cellWidget(row, ColWorkbook));
    button->setText(QFileInfo(path).fileName());
    button->setToolTip(path);
}

void JobDialog::cmdProgram_Click()
{
    if (m_running || !m_w || m_w->programmingRunning() || m_w->searching())
        return;
    m_w->CommitCellEditor();
    const MeterSetup base = m_w->meterSetup();
    QList<MeterSetup> setups;
    QList<MeterJob::Meter> meters;
    // Every row is read and checked first: a fault stops the job before anything is sent.
    for (int r = 0; r < grdJob->rowCount(); ++r) {
        MeterSetup setup = base;
        setup.address = grdJob->item(r, ColAddress)->text();
        setup.baud = grdJob->item(r, ColBaud)->text();
        QString fault;
        ValueRules::CheckResult refusal;
        if (m_workbooks[r].isEmpty())
            fault = tr("No workbook is chosen.");
        else if (const auto setting = MeterLink::settingFault(setup.address, setup.baud, setup.points))
            fault = setting->text;
        else if (!Spreadsheet::importTable(m_workbooks[r], &setup.table, base.table.format, &refusal))
            fault = refusal.message;
        else if (const auto check = TableCheck::failureMessage(ProgrammingRun::CheckPointTable(setup), setup.table))
            fault = check->text;
        if (!fault.isEmpty()) {
            m_w->MsgBox(tr("Meter %1: %2\nNothing was sent to any meter.").arg(setup.address, fault), vbExclamation, windowTitle());
            return;
        }
        setups << setup;
        meters << MeterJob::Meter{setup.address, grdJob->item(r, ColTag)->text()};
        setProgressText(r, tr("waiting"));
    }

    QPointer<JobDialog> self(this);
    QPointer<frmMain> window = m_w;
    RunRecorder* recorder = m_w->recorder();
    // The grid's own source and tag are the window's again after the job.
    const QJsonObject gridSource = recorder->source();
    const QList<PointRow> gridSourceRows = recorder->sourceRows();
    const QString tag = recorder->record().tag;
    m_running = true;
    cmdProgram->setEnabled(false);
    QStringList lastMessages(meters.size());
    auto runOne = [&](qsizetype i) {
        recorder->noteSource(RunRecorder::workbookSource(m_workbooks[int(i)]), setups[i].table.rows);
        recorder->record().tag = meters[i].tag;
        RowRun face(this, int(i), window);
        const int status = window->runMeter(setups[i], &face).exitStatus();
        lastMessages[i] = face.lastMessage();
        return status;
    };
    MeterJob::run(meters, false, runOne, [&] { return !self || !window || window->closing(); });
    if (!window)
        return;
    recorder->noteSource(gridSource, gridSourceRows);
    recorder->record().tag = tag;
    if (!self || window->closing())
        return;
    m_running = false;
    cmdProgram->setEnabled(true);
    window->cmdProgramMeter->setEnabled(true);
    for (int r = 0; r < meters.size(); ++r) {
        const MeterJob::Meter& meter = meters[r];
        setProgressText(r, meter.state == MeterJob::State::Programmed ? tr("programmed")
                           : meter.state == MeterJob::State::Failed   ? tr("failed: %1").arg(lastMessages[r])
                                                                      : tr("not started"));
    }
}
