// The Program Meter sequence of the window: firmware query, table checks, the
// configuration commands, the point download and the final input-type command.
#include "app/frmMain.h"

#include "app/PanelStatusBar.h"
#include "app/PickList.h"
#include "link/MeterLink.h"
#include "link/SerialComm.h"
#include "programming/PointCommands.h"
#include "programming/RunMessages.h"
#include "programming/RunResult.h"
#include "table/TableCheck.h"
#include "app/FlexGrid.h"
#include "table/ValueRules.h"

#include <QPointer>
#include <QScopeGuard>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace {
constexpr int ProgressMax = 70000;

void addProgress(QProgressBar* bar, int amount) { bar->setValue(bar->value() + amount); }
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

void frmMain::cmdProgramMeter_Click()
{
    if (m_running)
        return;
    QPointer<frmMain> self(this);
    CommitCellEditor();
    // A value no list offers (from a settings file) never reaches the wire.
    if (const auto fault = MeterLink::settingFault(cboAddress->Text(), cboBaudRate->Text(), cboSetPoints->Text())) {
        m_lastRunEnd = RunEnd::NotRun;
        RunMsgBox([&] { return MeterLink::settingFault(cboAddress->Text(), cboBaudRate->Text(), cboSetPoints->Text())->text; }, vbExclamation);
        return;
    }
    setPanelText(1, QString());
    cmdProgramMeter->setEnabled(false);
    m_running = true;
    m_runBytesSent = 0;
    m_runBytesReceived = 0;
    m_runPointFailures = 0;
    m_portOpenFailed = false;
    m_lastRunEnd = RunEnd::NotRun;
    FailureCode = 0;
    recordRunBegin();
    const auto recordEnd = qScopeGuard([this, self] {
        if (self)
            recordRunEnd();
    });

    const RunStep end = runProgramSteps();
    if (!self)
        return; // the window is gone: touch nothing
    m_lastRunEnd = runEndOf(end);
    if (end == RunStep::Abandoned || end == RunStep::FirmwareRefused || m_closing) {
        m_running = false;
        return;
    }

    if (end == RunStep::PortFailed) {
        showPortFailure();
        if (!self)
            return;
    } else if (end == RunStep::Done) {
        // The one exit step.
        if (FailureCode == TableCheck::Communication) {
            RunMsgBox(RunMessages::communication, vbOKOnly, RunMessages::communicationTitle());
            if (!self)
                return;
            ProgressBar1->setValue(0);
            MSComm1->setPortOpen(false);
            setPanelText(2, QString());
        } else if (const auto message = TableCheck::failureMessage(FailureCode, pointTable())) {
            RunMsgBox([&] { return TableCheck::failureMessage(FailureCode, pointTable())->text; }, message->style, message->title);
            if (!self)
                return;
            ProgressBar1->setValue(0);
            setPanelText(1, QString());
            setPanelText(2, QString());
        }
    }
    // A refusal keeps the progress bar and panels as the refused step left them.
    m_running = false;
    cmdProgramMeter->setEnabled(true);
}

RunEnd frmMain::runEndOf(RunStep end) const
{
    if (end == RunStep::FirmwareRefused)
        return RunEnd::FirmwareRefused; // the refusal closed the window
    if (m_closing)
        return RunEnd::Abandoned;
    switch (end) {
    case RunStep::Abandoned: return RunEnd::Abandoned;
    case RunStep::FirmwareRefused: return RunEnd::FirmwareRefused;
    case RunStep::Refused: return RunEnd::Refused;
    case RunStep::PortFailed: return m_portOpenFailed ? RunEnd::PortUnavailable : RunEnd::PortLost;
    case RunStep::Done: break;
    }
    if (FailureCode == TableCheck::Communication)
        return RunEnd::TimedOut;
    if (FailureCode != TableCheck::Passed)
        return RunEnd::TableRejected;
    if (m_lastRunEnd == RunEnd::NotRun)
        return RunEnd::NotConfigured; // the success message was not reached
    return m_lastRunEnd;
}

frmMain::RunStep frmMain::runProgramSteps()
{
    QPointer<frmMain> self(this);
    DiscardInput();
    setPanelText(1, QString());
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    LinkFailure.reset();
    if (!cboCommPort_Change()) {
        m_portOpenFailed = true;
        return RunStep::PortFailed;
    }
    cboBaudRate_Change();
    if (LinkFailure) { // the port refused the baud rate: the run ends here
        MSComm1->setPortOpen(false);
        return RunStep::PortFailed;
    }

    // Firmware query: the reply is searched for the refused version, not tested for "Z"; it also
    // sets how the meter's later replies are framed (MeterTransaction).
    CommandText = QLatin1String(MeterLink::FirmwareQuery);
    ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
    RunStep step = sendRunCommand(true, false, &outcome);
    if (step != RunStep::Done)
        return step;
    if (outcome == ReplyOutcome::ReplyTimedOut) {
        FailureCode = TableCheck::Communication;
        return RunStep::Done;
    }
    // A firmware reply holds a version: anything else (noise, our own echo) is no meter.
    if (!m_dryRun && !MeterLink::holdsVersion(ReplyText)) {
        setPanelText(1, tr("Error Detected"));
        RestartStatusTimer();
        FailureCode = TableCheck::Communication;
        return RunStep::Done;
    }
    if (ReplyText.contains(QLatin1String("01.000"))) {
        RunMsgBox(RunMessages::firmware, vbCritical);
        if (!self)
            return RunStep::Abandoned;
        MSComm1->setPortOpen(false);
        m_closing = true; // the run itself closes the window: nothing to ask
        close();          // the last window closing ends the program
        return RunStep::FirmwareRefused;
    }

    ProgressBar1->setMaximum(ProgressMax);
    ProgressBar1->setValue(0);
    FailureCode = CheckPointTable();
    if (FailureCode != TableCheck::Passed)
        return RunStep::Done;

    // Sends the command in CommandText; leaves unless it was acknowledged.
    auto send = [&]() -> bool {
        step = sendRunCommand(true, true, &outcome);
        if (step == RunStep::Done && outcome == ReplyOutcome::ReplyTimedOut)
            FailureCode = TableCheck::Communication;
        return step == RunStep::Done && outcome == ReplyOutcome::ReplyComplete;
    };
    auto events = [&](int times) -> bool {
        for (int i = 0; i < times; ++i) {
            DoEvents();
            if (!self || m_closing)
                return false;
        }
        return true;
    };

    cboAddress_Change();
    if (!send())
        return step;
    addProgress(ProgressBar1, 20000);
    setPanelText(2, tr("Processing..."));

    const InputKind kind = selectedInputType();
    if (!kind) {
        // No input type chosen: nothing is configured and nothing is claimed.
        ProgressBar1->setValue(0);
        setPanelText(2, QString());
        return RunStep::Done;
    }

    // a: configuration command; Voltage counts it after its acknowledgement.
    CommandText = PointCommands::configurationCommand(kind);
    if (kind != InputType::Voltage)
        addProgress(ProgressBar1, 10000);
    if (!send())
        return step;
    if (kind == InputType::Voltage)
        addProgress(ProgressBar1, 10000);

    // b: decimal point.
    cboDecimal_Change();
    if (!send())
        return step;
    addProgress(ProgressBar1, 10000);
    if (kind == InputType::Voltage && !events(2))
        return RunStep::Abandoned;

    // c: number of points.
    cboSetPoints_Change();
    if (!send())
        return step;
    addProgress(ProgressBar1, 10000);
    if (!events(2))
        return RunStep::Abandoned;

    // d: the points; their failures are reported there and the run goes on.
    step = downloadPoints(kind == InputType::Current ? PointSet::PointSetI : PointSet::PointSetV);
    if (!self)
        return RunStep::Abandoned;
    if (step != RunStep::Done || FailureCode == TableCheck::Communication)
        return step;

    // e: the input-type command.
    CommandText = PointCommands::finalCommand(kind);
    if (!send())
        return step;
    addProgress(ProgressBar1, 20000);
    if (!events(1))
        return RunStep::Abandoned;

    m_lastRunEnd = m_runPointFailures ? RunEnd::PointsFailed : RunEnd::Programmed;
    // Success is claimed only when the meter acknowledged every command.
    if (m_runPointFailures)
        RunMsgBox([this] { return RunMessages::incomplete(m_runPointFailures); }, vbExclamation);
    else
        RunMsgBox(RunMessages::success, vbOKOnly);
    if (!self)
        return RunStep::Abandoned;
    ProgressBar1->setValue(0);
    setPanelText(2, QString());
    FailureCode = TableCheck::Passed;
    return RunStep::Done;
}

// One transaction for CommandText. Done with the outcome for a reply or a time-out;
// a refusal is shown here (when tested) and gives Refused.
frmMain::RunStep frmMain::sendRunCommand(bool loadAddress, bool testRefusal, ReplyOutcome* outcome)
{
    QPointer<frmMain> self(this);
    if (loadAddress)
        LoadAddressText();
    const ReplyOutcome result = SendMeterCommand();
    if (!self)
        return RunStep::Abandoned;
    if (m_closing)
        return RunStep::Abandoned;
    if (outcome)
        *outcome = result;
    if (result == ReplyOutcome::PortFailed)
        return RunStep::PortFailed;
    m_runBytesSent += 1 + AddressText.size() + CommandText.size() + 2 + 1;
    m_runBytesReceived += ReplyText.toLatin1().size();
    if (result == ReplyOutcome::ReplyComplete && testRefusal && IsErrorReply()) {
        RunMsgBox([this] { return ErrorReplyMessage(); }, vbExclamation);
        if (!self)
            return RunStep::Abandoned;
        return RunStep::Refused;
    }
    return RunStep::Done;
}

int frmMain::CheckPointTable()
{
    PointTable table = pointTable();
    // Rows the point count names but the grid lacks count as missing values.
    while (table.rows.size() < PointCommands::pointCount(cboSetPoints->Text()))
        table.rows.append(PointRow{});
    const int code = TableCheck::check(table);
    if (code != TableCheck::MissingValue && MSFlexGrid1->Col() != 1)
        MSFlexGrid1->setCol(1);
    return code;
}

void frmMain::SendPointTable(PointSet set) { downloadPoints(set); }

frmMain::RunStep frmMain::downloadPoints(PointSet set)
{
    QPointer<frmMain> self(this);
    const PointCommands::Prefixes prefixes = set == PointSet::PointSetI ? PointCommands::setI() : PointCommands::setV();
    const auto groups = PointCommands::groups(PointCommands::pointCount(cboSetPoints->Text()));
    int silentInARow = 0; // two point commands in a row without a reply: the line is dead
    for (int g = 0; g < groups.size(); ++g) {
        const auto& group = groups[g];
        for (int i = 0; i < group.size(); ++i) {
            const PointCommands::Ref& ref = group[i];
            // Each cell is read just before its command is built, in its normal form.
            const int row = ref.point - 1;
            const QString text = row < MSFlexGrid1->Rows() ? MSFlexGrid1->TextMatrix(row, ref.display ? 2 : 1) : QString();
            const std::optional<InputType> kind = selectedInputType();
            const int decimals =
                ref.display ? ValueRules::formatDecimals(cboDecimal->Text()) : (kind ? MeterRules::inputLimits(*kind).decimals : -1);
            CommandText = PointCommands::command(prefixes, ref, PointCommands::valueDigits(text, decimals));
            ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
            const RunStep step = sendRunCommand(g == 0, true, &outcome);
            if (step == RunStep::Refused) {
                ++m_runPointFailures;
                silentInARow = 0;
                break; // the refusal was shown; the rest of the group is skipped
            }
            if (step != RunStep::Done)
                return step;
            if (outcome == ReplyOutcome::ReplyTimedOut) {
                ++m_runPointFailures;
                if (++silentInARow == 2) {
                    FailureCode = TableCheck::Communication;
                    return RunStep::Done;
                }
                RunMsgBox(RunMessages::pointTimeout, vbExclamation);
                if (!self)
                    return RunStep::Abandoned;
                break;
            }
            silentInARow = 0;
            const int passes = i + 1 == group.size() ? 2 : 1;
            for (int p = 0; p < passes; ++p) {
                DoEvents();
                if (!self || m_closing)
                    return RunStep::Abandoned;
            }
        }
    }
    return RunStep::Done;
}

void frmMain::showPortFailure()
{
    PortFailure failure = LinkFailure.value_or(MSComm1->failure());
    if (cboCommPort->Text().isEmpty()) {
        failure = PortFailure{}; // no port was selected: the port stayed closed
    } else if (failure.port == 0 && failure.device.isEmpty()) {
        failure.port = cboCommPort->Text().toInt();
        failure.device = m_ports.device(failure.port);
    }
    RunMsgBox([&] { return RunMessages::portFailure(failure); }, vbExclamation);
}
