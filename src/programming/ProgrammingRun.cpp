#include "programming/ProgrammingRun.h"

#include <QCoreApplication>

#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "programming/PointCommands.h"
#include "programming/RunMessages.h"
#include "table/MeterRules.h"
#include "table/TableCheck.h"
#include "table/ValueRules.h"

namespace {
constexpr int ProgressMax = 70000;
}

PortFailure portFailureOf(const QString& portText, const std::optional<PortFailure>& linkFailure, const SerialComm& port)
{
    PortFailure failure = linkFailure.value_or(port.failure());
    if (portText.isEmpty()) {
        failure = PortFailure{}; // no port was selected: the port stayed closed
    } else if (failure.port == 0 && failure.device.isEmpty()) {
        failure.port = portText.toInt();
        failure.device = port.deviceOf(failure.port);
    }
    return failure;
}

ProgrammingRun::ProgrammingRun(SerialComm* port, MeterTransaction* transaction, RunReporter* reporter)
    : m_port(port), m_transaction(transaction), m_reporter(reporter)
{
}

int ProgrammingRun::CheckPointTable(const MeterSetup& setup)
{
    PointTable table = setup.table;
    while (table.rows.size() < PointCommands::pointCount(setup.points))
        table.rows.append(PointRow{});
    return TableCheck::check(table);
}

int ProgrammingRun::message(std::function<QString()> text, int style, const QString& title)
{
    return m_reporter->message(RunMessage{std::move(text), style, title});
}

void ProgrammingRun::setProgress(int value)
{
    m_progress = value;
    m_reporter->progress(value, m_maximum);
}

RunOutcome ProgrammingRun::run(const MeterSetup& setup)
{
    m_setup = setup;
    m_out = RunOutcome{};
    m_out.timeStart = QDateTime::currentDateTime();
    m_address = MeterLink::addressText(setup.address).value_or(QString());
    m_command.clear();
    m_reply.clear();
    m_linkFailure.reset();
    m_portOpenFailed = false;
    m_maximum = 0;
    exitStep(runSteps());
    m_out.timeEnd = QDateTime::currentDateTime();
    return m_out;
}

void ProgrammingRun::exitStep(Step end)
{
    if (end == Step::FirmwareRefused) {
        m_out.end = RunEnd::FirmwareRefused;
        return;
    }
    if (end == Step::Abandoned || m_reporter->abandoned()) {
        m_out.end = RunEnd::Abandoned;
        return;
    }
    switch (end) {
    case Step::Refused: m_out.end = RunEnd::Refused; break;
    case Step::PortFailed: m_out.end = m_portOpenFailed ? RunEnd::PortUnavailable : RunEnd::PortLost; break;
    default:
        if (m_out.failureCode == TableCheck::Communication)
            m_out.end = RunEnd::TimedOut;
        else if (m_out.failureCode != TableCheck::Passed)
            m_out.end = RunEnd::TableRejected;
        else if (m_out.end == RunEnd::NotRun)
            m_out.end = RunEnd::NotConfigured; // the success message was not reached
        break;
    }

    // A refusal keeps the progress and panels as the refused step left them.
    if (end == Step::PortFailed) {
        PortFailure failure = portFailureOf(m_setup.port, m_linkFailure, *m_port);
        if (m_out.end == RunEnd::PortLost && m_out.bytesSent > 0)
            failure.reason += QStringLiteral("; the meter is not programmed"); // whatever it took before
        message([failure] { return RunMessages::portFailure(failure); }, MessageExclamation);
    } else if (end == Step::Done && m_out.failureCode == TableCheck::Communication) {
        message(RunMessages::communication, MessagePlain, RunMessages::communicationTitle());
        if (m_reporter->abandoned())
            return;
        setProgress(0);
        m_port->setPortOpen(false);
        m_reporter->status(2, QString());
    } else if (const auto shown = end == Step::Done ? TableCheck::failureMessage(m_out.failureCode, m_setup.table) : std::nullopt) {
        const int code = m_out.failureCode;
        const PointTable table = m_setup.table;
        message([code, table] { return TableCheck::failureMessage(code, table)->text; }, shown->style, shown->title);
        if (m_reporter->abandoned())
            return;
        setProgress(0);
        m_reporter->status(1, QString());
        m_reporter->status(2, QString());
    }
}

ProgrammingRun::Step ProgrammingRun::runSteps()
{
    m_port->discardInput();
    m_reporter->status(1, QString());
    if (m_port->portOpen())
        m_port->setPortOpen(false);
    if (!openPort()) {
        m_portOpenFailed = true;
        return Step::PortFailed;
    }
    if (MeterLink::isListedBaud(m_setup.baud) && !m_port->setSettings(MeterLink::settingsFor(m_setup.baud))) {
        m_linkFailure = m_port->failure(); // the port refused the baud rate: the run ends here
        m_port->setPortOpen(false);
        return Step::PortFailed;
    }

    // Firmware query: the reply's version is compared with the oldest taken, not tested for "Z"; it also
    // sets how the meter's later replies are framed (MeterTransaction).
    m_command = QLatin1String(MeterLink::FirmwareQuery);
    ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
    Step step = send(false, &outcome);
    if (step != Step::Done)
        return step;
    if (outcome == ReplyOutcome::ReplyTimedOut) {
        m_out.failureCode = TableCheck::Communication;
        return Step::Done;
    }
    // A firmware reply holds a version: anything else (noise, our own echo) is no meter.
    if (!m_dryRun && !MeterLink::holdsVersion(m_reply)) {
        m_reporter->status(1, RunMessages::errorDetected());
        m_reporter->statusFades();
        m_out.failureCode = TableCheck::Communication;
        return Step::Done;
    }
    if (!m_dryRun && MeterLink::firmwareVersion(m_reply) < MeterLink::OldestFirmware) {
        message(RunMessages::firmware, MessageCritical);
        if (m_reporter->abandoned())
            return Step::Abandoned;
        m_port->setPortOpen(false);
        return Step::FirmwareRefused; // the program ends
    }

    m_maximum = ProgressMax;
    setProgress(0);
    m_out.failureCode = CheckPointTable(m_setup);
    m_reporter->tableChecked(m_out.failureCode);
    if (m_out.failureCode != TableCheck::Passed)
        return Step::Done;

    // Sends m_command; leaves unless it was acknowledged.
    auto sent = [&]() -> bool {
        step = send(true, &outcome);
        if (step == Step::Done && outcome == ReplyOutcome::ReplyTimedOut)
            m_out.failureCode = TableCheck::Communication;
        return step == Step::Done && outcome == ReplyOutcome::ReplyComplete;
    };
    auto take = [this](const std::optional<QString>& command) {
        if (command)
            m_command = *command; // a text no list offers leaves the command as it was
    };

    take(MeterLink::addressCommand(m_setup.address));
    if (!sent())
        return step;
    addProgress(20000);
    m_reporter->status(2, RunMessages::processing());

    const InputKind kind = m_setup.table.type;
    if (!kind) {
        // No input type chosen: nothing is configured and nothing is claimed.
        setProgress(0);
        m_reporter->status(2, QString());
        return Step::Done;
    }

    // a: configuration command; Voltage counts it after its acknowledgement.
    m_command = PointCommands::configurationCommand(kind);
    if (kind != InputType::Voltage)
        addProgress(10000);
    if (!sent())
        return step;
    if (kind == InputType::Voltage)
        addProgress(10000);

    // b: decimal point.
    take(MeterLink::decimalCommand(m_setup.table.format));
    if (!sent())
        return step;
    addProgress(10000);
    if (kind == InputType::Voltage && pause(2) != Step::Done)
        return Step::Abandoned;

    // c: number of points.
    take(MeterLink::pointsCommand(m_setup.points));
    if (!sent())
        return step;
    addProgress(10000);
    if (pause(2) != Step::Done)
        return Step::Abandoned;

    // d: the points; their failures are reported there and the run goes on.
    step = SendPointTable(kind == InputType::Current ? PointSet::PointSetI : PointSet::PointSetV);
    if (step != Step::Done || m_out.failureCode == TableCheck::Communication)
        return step;

    // e: the input-type command.
    m_command = PointCommands::finalCommand(kind);
    if (!sent())
        return step;
    addProgress(20000);
    if (pause(1) != Step::Done)
        return Step::Abandoned;

    // Success is claimed only when the meter acknowledged every command.
    m_out.end = m_out.pointFailures ? RunEnd::PointsFailed : RunEnd::Programmed;
    if (m_out.pointFailures) {
        const int failures = m_out.pointFailures;
        message([failures] { return RunMessages::incomplete(failures); }, MessageExclamation);
    } else if (m_dryRun) {
        message([] { return QStringLiteral("Dry run: nothing was sent to the meter; every command above would be sent."); }, MessagePlain);
    } else {
        message(RunMessages::success, MessagePlain);
    }
    if (m_reporter->abandoned())
        return Step::Abandoned;
    setProgress(0);
    m_reporter->status(2, QString());
    m_out.failureCode = TableCheck::Passed;
    return Step::Done;
}

bool ProgrammingRun::openPort()
{
    const int n = MeterLink::portNumber(m_setup.port);
    if (n == 0)
        return true; // no selection: the port stays closed, and the first frame fails
    m_port->setCommPort(n);
    if (m_dryRun)
        return true; // nothing is opened
    if (!m_port->setPortOpen(true)) {
        m_linkFailure = m_port->failure();
        return false;
    }
    return true;
}

ProgrammingRun::Step ProgrammingRun::pause(int passes)
{
    for (int i = 0; i < passes; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_reporter->abandoned())
            return Step::Abandoned;
    }
    return Step::Done;
}

// One transaction for m_command. Done with the outcome for a reply or a time-out; a refusal
// is shown here (when tested) and gives Refused.
ProgrammingRun::Step ProgrammingRun::send(bool testRefusal, ReplyOutcome* outcome)
{
    const ReplyOutcome result = SendMeterCommand();
    if (m_reporter->abandoned())
        return Step::Abandoned;
    *outcome = result;
    if (result == ReplyOutcome::PortFailed)
        return Step::PortFailed;
    m_out.bytesSent += 1 + m_address.size() + m_command.size() + 2 + 1;
    m_out.bytesReceived += m_reply.toLatin1().size();
    if (result == ReplyOutcome::ReplyComplete && testRefusal && MeterLink::isErrorReply(m_reply)) {
        const QString reply = m_reply;
        message([reply] { return MeterLink::errorReplyMessage(reply); }, MessageExclamation);
        if (m_reporter->abandoned())
            return Step::Abandoned;
        return Step::Refused;
    }
    return Step::Done;
}

ReplyOutcome ProgrammingRun::SendMeterCommand()
{
    RunFrame f;
    f.command = m_command;
    f.frame = MeterLink::BuildMeterFrame(m_address, m_command, MeterLink::ComputeChecksum(m_command)).toLatin1();
    if (m_dryRun && !m_reporter->abandoned()) {
        // Taken as acknowledged by the selected address.
        m_reply = QStringLiteral("\x02"
                                 "A0") +
                  m_address + QStringLiteral("\x03");
        f.reply = m_reply;
        m_out.frames.append(f);
        m_reporter->frame(f);
        return ReplyOutcome::ReplyComplete;
    }
    f.outcome = m_transaction->send(m_address, m_command);
    m_reply = f.reply = m_transaction->replyText();
    f.sent = m_transaction->frameSent();
    m_linkFailure.reset();
    if (f.outcome == ReplyOutcome::PortFailed)
        m_linkFailure = m_transaction->failure();
    if (f.outcome == ReplyOutcome::ReplyComplete && m_command == QLatin1String(MeterLink::FirmwareQuery))
        m_out.firmware = MeterLink::printable(MeterLink::firmwareText(m_reply));
    m_out.frames.append(f);
    m_reporter->frame(f);
    if (f.outcome == ReplyOutcome::ReplyTimedOut) {
        m_reporter->status(1, RunMessages::errorDetected());
        m_reporter->statusFades();
    }
    return f.outcome;
}

QString ProgrammingRun::pointCommand(const PointCommands::Prefixes& prefixes, const PointCommands::Ref& ref) const
{
    // Each value is sent in its normal form.
    const QList<PointRow>& rows = m_setup.table.rows;
    const InputKind kind = m_setup.table.type;
    const int row = ref.point - 1;
    const QString text = row < rows.size() ? (ref.display ? rows[row].display : rows[row].input) : QString();
    const int decimals =
        ref.display ? ValueRules::formatDecimals(m_setup.table.format) : (kind ? MeterRules::inputLimits(*kind).decimals : -1);
    return PointCommands::command(prefixes, ref, PointCommands::valueDigits(text, decimals));
}

ProgrammingRun::Step ProgrammingRun::SendPointTable(PointSet set)
{
    const PointCommands::Prefixes prefixes = set == PointSet::PointSetI ? PointCommands::setI() : PointCommands::setV();
    const auto groups = PointCommands::groups(PointCommands::pointCount(m_setup.points));
    // Values a failure leaves unsent go into the outcome too, and count as not taken.
    auto unsent = [&](qsizetype g, qsizetype from) {
        for (qsizetype i = from; i < groups[g].size(); ++i) {
            RunFrame f;
            f.command = pointCommand(prefixes, groups[g][i]);
            f.frame = MeterLink::BuildMeterFrame(m_address, f.command, MeterLink::ComputeChecksum(f.command)).toLatin1();
            f.sent = false;
            m_out.frames.append(f);
            ++m_out.pointFailures;
        }
    };
    int silentInARow = 0; // two point commands in a row without a reply: the line is dead
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const auto& group = groups[g];
        for (qsizetype i = 0; i < group.size(); ++i) {
            m_command = pointCommand(prefixes, group[i]);
            ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
            const Step step = send(true, &outcome);
            if (step == Step::Refused) {
                ++m_out.pointFailures;
                silentInARow = 0;
                unsent(g, i + 1); // the refusal was shown; the rest of the group is skipped
                break;
            }
            if (step != Step::Done)
                return step;
            if (outcome == ReplyOutcome::ReplyTimedOut) {
                ++m_out.pointFailures;
                unsent(g, i + 1);
                if (++silentInARow == 2) {
                    for (qsizetype rest = g + 1; rest < groups.size(); ++rest)
                        unsent(rest, 0);
                    m_out.failureCode = TableCheck::Communication;
                    return Step::Done;
                }
                message(RunMessages::pointTimeout, MessageExclamation);
                if (m_reporter->abandoned())
                    return Step::Abandoned;
                break;
            }
            silentInARow = 0;
            if (pause(i + 1 == group.size() ? 2 : 1) != Step::Done)
                return Step::Abandoned;
        }
    }
    return Step::Done;
}
