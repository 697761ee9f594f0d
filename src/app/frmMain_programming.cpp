// Program Meter in the window: the setup is taken from the controls, and the run
// (ProgrammingRun) shows its steps in the progress bar, the status bar and message boxes.
#include "app/frmMain.h"

#include "app/FlexGrid.h"
#include "app/PickList.h"
#include "record/RunRecorder.h"
#include "link/MeterLink.h"
#include "programming/ProgrammingRun.h"
#include "programming/RunMessages.h"
#include "table/TableCheck.h"

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <utility>

namespace {
// The window as the face of a run.
class WindowRun final : public RunReporter {
public:
    WindowRun(frmMain* window, bool dryRun, const MeterSetup& setup) : m_w(window), m_dryRun(dryRun), m_setup(setup) {}
    void progress(int value, int maximum) override
    {
        if (maximum > 0)
            m_w->ProgressBar1->setMaximum(maximum);
        m_w->ProgressBar1->setValue(value);
    }
    void status(int panel, const QString& text) override { m_w->setPanelText(panel, text); }
    void statusFades() override { m_w->RestartStatusTimer(); }
    int message(const RunMessage& message) override
    {
        // The table check's message names the point it is about.
        if (const int row = std::exchange(m_failingRow, -1); row >= 0)
            return m_w->RunMsgBox([text = message.text, row] { return SetupDocument::namingPoint(text(), row); }, message.style,
                                  message.title);
        if (message.title != RunMessages::communicationTitle())
            return m_w->RunMsgBox(message.text, message.style, message.title);
        // The checklist, then what was tried and where to look for the meter.
        const QString device = m_w->ports().device(m_setup.port.toInt());
        return m_w->RunMsgBox(
            [text = message.text, setup = m_setup, device] {
                return text() + QStringLiteral("\r\n\r\n") + RunMessages::communicationTried(setup.port, device, setup.address, setup.baud);
            },
            message.style, message.title);
    }
    void frame(const RunFrame& frame) override
    {
        if (m_dryRun)
            emit m_w->frameSent(frame.frame);
    }
    void tableChecked(int code) override
    {
        // The check leaves the current cell in the input column unless a value is missing.
        if (code != TableCheck::MissingValue && m_w->MSFlexGrid1->Col() != 1)
            m_w->MSFlexGrid1->setCol(1);
        const PointTable table = m_w->pointTable();
        if (const auto cell = TableCheck::isRuleCode(code) ? TableCheck::failingCell(table.rows, table.type, table.format) : std::nullopt)
            m_failingRow = cell->row;
    }
    bool abandoned() const override { return !m_w || m_w->closing(); }

private:
    QPointer<frmMain> m_w;
    bool m_dryRun;
    MeterSetup m_setup;
    int m_failingRow = -1; // the point of the table check's message to come
};
} // namespace

void frmMain::wireProgramming()
{
    connect(cmdProgramMeter, &QPushButton::clicked, this, [this] { cmdProgramMeter_Click(); });
}

bool frmMain::confirmCloseDuringRun()
{
    if (!m_running || m_closing)
        return true;
    QPointer<frmMain> self(this);
    // The run goes on while the question is open; its reply wait keeps being served.
    const int answer = RunMsgBox(RunMessages::closeDuringRun, vbYesNoCancel | vbExclamation);
    return self && answer == vbYes;
}

MeterSetup frmMain::meterSetup() const
{
    return m_doc->meterSetup();
}

void frmMain::cmdProgramMeter_Click()
{
    if (m_running)
        return;
    CommitCellEditor();
    // A value no list offers (from a settings file) never reaches the wire.
    if (const auto fault = MeterLink::settingFault(cboAddress->Text(), cboBaudRate->Text(), cboSetPoints->Text())) {
        m_lastRunEnd = RunEnd::NotRun;
        RunMsgBox([&] { return MeterLink::settingFault(cboAddress->Text(), cboBaudRate->Text(), cboSetPoints->Text())->text; }, vbExclamation);
        return;
    }
    // A run the history cannot take sends nothing.
    if (!historyReady())
        return;
    QPointer<frmMain> self(this);
    const MeterSetup setup = meterSetup();
    WindowRun face(this, m_dryRun, setup);
    const RunOutcome outcome = runMeter(setup, &face);
    if (!self)
        return; // the window is gone: touch nothing
    if (outcome.end == RunEnd::FirmwareRefused) {
        m_closing = true; // the run itself closes the window: nothing to ask
        close();          // the last window closing ends the program
        return;
    }
    if (outcome.end != RunEnd::Abandoned)
        cmdProgramMeter->setEnabled(true);
    if (TableCheck::isRuleCode(outcome.failureCode))
        selectFailingCell();
}

void frmMain::selectFailingCell()
{
    const PointTable table = pointTable();
    const std::optional<TableCheck::Cell> cell = TableCheck::failingCell(table.rows, table.type, table.format);
    if (!cell)
        return;
    MSFlexGrid1->setCurrent(cell->row, cell->column);
    CommitCellEditor(); // the cell keeps its value unchecked: the message has told what to fix
    MSFlexGrid1->scrollTo(MSFlexGrid1->model()->index(cell->row, cell->column));
    MSFlexGrid1->setFocus(Qt::OtherFocusReason);
}

RunOutcome frmMain::runMeter(const MeterSetup& setup, RunReporter* face)
{
    setPanelText(1, QString());
    cmdProgramMeter->setEnabled(false);
    m_running = true;
    m_lastRunEnd = RunEnd::NotRun;
    FailureCode = 0;
    if (!m_dryRun)
        m_recorder->begin(setup, m_ports.device(setup.port.toInt()));

    QPointer<frmMain> self(this);
    ProgrammingRun run(MSComm1, m_transaction, face);
    run.setDryRun(m_dryRun);
    const RunOutcome outcome = run.run(setup);
    if (!self)
        return outcome; // the window is gone: touch nothing
    m_running = false;
    m_lastRunEnd = outcome.end;
    FailureCode = outcome.failureCode;
    m_runBytesSent = outcome.bytesSent;
    m_runBytesReceived = outcome.bytesReceived;
    if (!m_dryRun) {
        m_recorder->end(outcome);
        const bool any = m_recorder->sentSomething();
        mnuSaveRecord->setEnabled(any);
        mnuPrintRecord->setEnabled(any);
        keepRunInHistory();
    }
    return outcome;
}

int frmMain::CheckPointTable()
{
    const int code = ProgrammingRun::CheckPointTable(meterSetup());
    if (code != TableCheck::MissingValue && MSFlexGrid1->Col() != 1)
        MSFlexGrid1->setCol(1);
    return code;
}
