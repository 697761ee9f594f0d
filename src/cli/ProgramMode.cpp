#include "cli/ProgramMode.h"

#include "link/PortMap.h"
#include "record/RunRecorder.h"
#include "cli/CommandLine.h"
#include "cli/HistoryMode.h"
#include "cli/JobFile.h"
#include "cli/ProgramLog.h"
#include "cli/QuitOnSignals.h"
#include "cli/RecordMode.h"
#include "document/SetupDocument.h"
#include "files/SettingsFile.h"
#include "history/HistoryStore.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "programming/MeterJob.h"
#include "programming/ProgrammingRun.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"
#include "programming/RunResult.h"
#include "spreadsheet/TableBlock.h"
#include "table/MeterRules.h"
#include "table/TableCheck.h"
#include "table/ValueRules.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

namespace ProgramMode {

void printErr(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", qPrintable(out));
    std::fflush(stderr);
}

void say(const QString& text)
{
    printErr(QStringLiteral("talvo-linearizer: ") + text);
}

void printMessage(const QString& text, const QString& title)
{
    if (!title.isEmpty())
        printErr(title);
    printErr(text);
}

} // namespace ProgramMode

namespace {
using ProgramMode::printErr;
using ProgramMode::printMessage;

// The setup as the window would hold it after Open Settings and Import: the window's
// document with its defaults, the file and the workbook applied as the window applies them.
struct WorkingSetup {
    SetupDocument document;
    MeterSetup setup{document.meterSetup()};
    bool bothTypes = false; // the file's Voltage and Current lines both "True"

    // Open Settings: what was applied before a failure stays applied.
    bool openSettings(const QString& path)
    {
        const SetupDocument::OpenResult opened = document.openSettings(path);
        setup = document.meterSetup();
        bothTypes = opened.bothTypes;
        if (!opened.ok)
            printMessage(opened.message(), QString());
        return opened.ok;
    }
    // Import: every value in its normal form, the display column's number format taken over
    // as the decimal-point format; a cell that is not a number refuses the workbook.
    bool importWorkbook(const QString& path, QJsonObject* source)
    {
        ValueRules::CheckResult refusal;
        if (!document.importWorkbook(path, &refusal)) {
            printMessage(refusal.message, refusal.title);
            return false;
        }
        setup = document.meterSetup();
        *source = RunRecorder::workbookSource(path);
        return true;
    }
};

} // namespace

std::optional<MeterSetup> ProgramMode::openedSettings(const QString& path)
{
    WorkingSetup working;
    if (!working.openSettings(path))
        return std::nullopt;
    return working.setup;
}

namespace {

// The run's steps on standard error: one line per change of the progress or the panels'
// texts, as "[ 42%] Error Detected | Processing...". Dry-run frames on standard output.
class ConsoleRun final : public RunReporter {
public:
    ConsoleRun(RunRecorder* recorder, bool dryRun) : m_recorder(recorder), m_dryRun(dryRun)
    {
        // Panel 1 clears itself 2 seconds after "Error Detected", then every 3 seconds, as in the window.
        QObject::connect(&m_fade, &QTimer::timeout, [this] {
            m_fade.setInterval(3000);
            status(1, QString());
        });
    }
    void progress(int value, int maximum) override
    {
        if (maximum > 0)
            m_maximum = maximum;
        if (value == m_value)
            return;
        m_value = value;
        printStep();
    }
    void status(int panel, const QString& text) override
    {
        if (panel < 1 || panel > 2 || m_panels[panel - 1] == text)
            return;
        m_panels[panel - 1] = text;
        printStep();
    }
    void statusFades() override { m_fade.start(2000); }
    void stopFading() { m_fade.stop(); } // the run is over: the next meter's steps follow
    int message(const RunMessage& message) override
    {
        const QString text = message.text();
        printMessage(text, message.title);
        m_recorder->message(text);
        return 1; // OK
    }
    // A signal ends the run before its next command; the record and the log line are still written.
    bool abandoned() const override { return QuitOnSignals::requested()->load(); }
    void frame(const RunFrame& frame) override
    {
        if (!m_dryRun)
            return;
        std::printf("%s\n", qPrintable(RunResult::frameLine(frame.frame)));
        std::fflush(stdout);
    }

private:
    void printStep()
    {
        const int percent = m_maximum > 0 ? int(qint64(m_value) * 100 / m_maximum) : 0;
        QStringList texts;
        for (const QString& text : m_panels)
            if (!text.isEmpty())
                texts << text;
        const QString step = QStringLiteral("[%1%] %2").arg(percent, 3).arg(texts.join(QStringLiteral(" | ")));
        if (step != m_lastStep && !(texts.isEmpty() && step.left(6) == m_lastStep.left(6)))
            printErr(step.trimmed());
        m_lastStep = step;
    }

    RunRecorder* m_recorder;
    bool m_dryRun;
    int m_value = 0, m_maximum = 100;
    QString m_panels[2];
    QString m_lastStep;
    QTimer m_fade;
};

} // namespace

namespace ProgramMode {

bool choosePort(const CommandLine& cl, PortMap* ports, int* number, QString* error)
{
    *number = 0;
    bool isNumber = false;
    const int n = cl.port.toInt(&isNumber);
    if (!cl.port.isEmpty() && !isNumber) {
        // A device path: its mapped number, or the lowest free one.
        *ports = cl.ports;
        *number = ports->numberOf(cl.port);
        if (*number == 0) {
            *number = ports->firstFreeNumber();
            ports->map(*number, cl.port);
        }
        if (*number == 0)
            *error = QStringLiteral("no port number is free for %1").arg(cl.port);
        return *number != 0;
    }
    *ports = cl.ports.isEmpty() ? PortMap::fromSystem() : cl.ports;
    if (isNumber)
        *number = n; // 1 to 16: the command line checked it
    return true;
}

} // namespace ProgramMode

namespace {

// What the runs of one command share: the log, opened before anything is sent, and the port
// numbering.
struct Session {
    const CommandLine& cl;
    std::optional<ProgramLog::File> log;
    PortMap ports;
    int portNumber = 0;
    RunRecord::Signing signing;              // the key that signs JSON records, tried before
    std::unique_ptr<History::Store> history; // null: no history
};

// One meter's run, from its settings file and workbook to its record and log line.
class MeterRun {
public:
    MeterRun(Session* session, const ProgramOptions& options) : m_session(session), m_options(options), m_face(&m_recorder, options.dryRun)
    {
        m_log.time = QDateTime::currentDateTime();
    }

    // Reads the files and refuses what no meter or port list takes (the reason printed);
    // nothing is opened. False with status() and result() telling why.
    bool prepare();
    // Programs the prepared meter (or a dry run), writes its records; the log line and the exit status.
    int run();
    // The result's line on standard error and the log line; the exit status.
    int finish(int exitStatus, const QString& result);

    const MeterSetup& setup() const { return m_working.setup; }
    int status() const { return m_status; }
    const QString& result() const { return m_result; }

private:
    bool refuse(const QString& result)
    {
        describeSetup();
        m_result = result;
        return false;
    }
    void describeSetup()
    {
        const MeterSetup& setup = m_working.setup;
        m_log.device = m_session->ports.device(setup.port.toInt());
        m_log.address = setup.address;
        m_log.inputType = MeterRules::inputTypeName(setup.table.type);
        m_log.decimal = setup.table.format;
        m_log.points = setup.points;
        m_log.tableSha256 = Record::tableSha256(setup.table.rows);
    }

    Session* m_session;
    ProgramOptions m_options;
    RunRecorder m_recorder;
    ConsoleRun m_face;
    WorkingSetup m_working;
    ProgramLogRecord m_log;
    int m_status = RunResult::ExitUsage;
    QString m_result;
};

int MeterRun::finish(int exitStatus, const QString& result)
{
    m_log.result = result;
    m_log.exitStatus = exitStatus;
    printErr(QStringLiteral("talvo-linearizer: %1 (exit status %2)").arg(result, QString::number(exitStatus)));
    QString why;
    if (m_session->log && !m_session->log->append(m_log, &why)) {
        printErr(QStringLiteral("talvo-linearizer: cannot write the log %1: %2").arg(m_options.logPath, why));
        if (exitStatus == RunResult::ExitProgrammed) {
            printErr(QStringLiteral("talvo-linearizer: the run succeeded, but its log line is missing (exit status %1)")
                         .arg(int(RunResult::ExitLogMissing)));
            return int(RunResult::ExitLogMissing);
        }
    }
    return exitStatus;
}

bool MeterRun::prepare()
{
    const QString& settingsPath = m_options.settingsPath;
    if (!m_working.openSettings(settingsPath))
        return refuse(QStringLiteral("settings file unreadable"));
    m_face.status(1, QStringLiteral("File: - [%1]").arg(settingsPath));
    QJsonObject source;
    if (!m_working.importWorkbook(m_options.tablePath, &source))
        return refuse(QStringLiteral("workbook unreadable"));
    MeterSetup& setup = m_working.setup;
    m_recorder.noteSource(source, setup.table.rows);
    // --port, --address and --baud stand in for the file's values.
    if (m_session->portNumber != 0)
        setup.port = QString::number(m_session->portNumber);
    if (!m_options.address.isEmpty())
        setup.address = m_options.address;
    if (!m_options.baud.isEmpty())
        setup.baud = m_options.baud;
    describeSetup();
    // Lines 19 and 20 both "True" would program Current (the later line wins) for a file
    // that asks for two input types at once.
    if (m_working.bothTypes) {
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: Voltage (line %3) and Current (line %2) are both \"True\"; "
                                "a meter takes one input type.")
                     .arg(settingsPath, QString::number(SettingsFile::CurrentLine), QString::number(SettingsFile::VoltageLine)));
        return refuse(QStringLiteral("settings file value refused"));
    }
    // Values the settings file gave that the meter cannot take: nothing is opened or sent.
    if (const auto fault = MeterLink::settingFault(setup.address, setup.baud, setup.points)) {
        static const int lines[] = {SettingsFile::AddressLine, SettingsFile::BaudRateLine, SettingsFile::SetPointsLine};
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: %3").arg(settingsPath, QString::number(lines[fault->setting]), fault->text));
        return refuse(QStringLiteral("settings file value refused"));
    }
    // Without --port the file's port is the one opened: it must be one of the list's numbers.
    if (m_session->cl.port.isEmpty() && MeterLink::portNumber(setup.port) == 0) {
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: The port number \"%3\" is not one of %4 to %5.")
                     .arg(settingsPath, QString::number(SettingsFile::CommPortLine), setup.port,
                          QString::number(PortMap::FirstPort), QString::number(PortMap::LastPort)));
        return refuse(QStringLiteral("settings file value refused"));
    }
    return true;
}

int MeterRun::run()
{
    const MeterSetup& setup = m_working.setup;
    const bool dryRun = m_options.dryRun;
    SerialComm port([this](int n) { return m_session->ports.device(n); });
    MeterTransaction transaction(&port);
    m_recorder.record().operatorName = m_options.operatorName; // begin() takes the login name for none
    m_recorder.record().tag = m_options.tag;
    m_recorder.record().signing = m_session->signing;
    if (!dryRun)
        m_recorder.begin(setup, m_session->ports.device(setup.port.toInt()));
    ProgrammingRun programming(&port, &transaction, &m_face);
    programming.setDryRun(dryRun);
    const RunOutcome outcome = programming.run(setup);
    const bool interrupted = outcome.end == RunEnd::Abandoned;
    if (!dryRun)
        m_recorder.end(outcome);
    port.setPortOpen(false);
    m_face.stopFading();
    int status = outcome.exitStatus();
    QString result = interrupted ? QStringLiteral("interrupted") : outcome.resultText();
    if (interrupted)
        m_recorder.record().resultText = QStringLiteral("Interrupted by a signal; the meter may hold part of the table.");
    if (dryRun)
        result = QStringLiteral("dry run, nothing sent: ") + result;
    const RunRecord::Signing& signing = m_session->signing;
    if (!m_options.recordPaths.isEmpty() && m_recorder.hasRun() && m_recorder.sentSomething()) {
        QString why;
        const QStringList written = RecordMode::write(
            m_recorder.record(), RecordMode::targets(m_options.recordPaths, m_recorder.record(), m_options.recordOverwrite), &why);
        QStringList files;
        for (const QString& path : written) {
            printErr(QStringLiteral("talvo-linearizer: record written: %1").arg(path));
            files << path;
            if (!signing.key.isEmpty() && path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
                printErr(QStringLiteral("talvo-linearizer: signature written: %1").arg(RecordSignature::signaturePath(path)));
                files << RecordSignature::signaturePath(path);
            }
        }
        m_log.recordPath = files.join(QLatin1Char(' '));
        if (!why.isEmpty()) {
            printErr(QStringLiteral("talvo-linearizer: cannot write the record %1").arg(why));
            if (status == RunResult::ExitProgrammed) {
                printErr(QStringLiteral("talvo-linearizer: the run succeeded, but its record is missing (exit status %1)")
                             .arg(int(RunResult::ExitLogMissing)));
                status = RunResult::ExitLogMissing;
                result = QStringLiteral("programmed, record missing");
            }
        }
    }
    if (m_session->history && m_recorder.hasRun() && m_recorder.sentSomething()) {
        const QByteArray json = Record::toJsonText(m_recorder.record());
        const QString signature = RecordSignature::signatureText(signing.key, json);
        if (!HistoryMode::write(*m_session->history, json, History::runUuid(json, m_recorder.runId()), signature) &&
            status == RunResult::ExitProgrammed) {
            printErr(QStringLiteral("talvo-linearizer: the run succeeded, but the history misses it (exit status %1)")
                         .arg(int(RunResult::ExitLogMissing)));
            status = RunResult::ExitLogMissing;
            result = QStringLiteral("programmed, history entry missing");
        }
    }
    return finish(status, result);
}

// Opens what every run of the command needs before anything is sent: the log, the records'
// places and the port. The exit status when that fails (the reason printed), else nullopt.
std::optional<int> openSession(Session* session)
{
    const ProgramOptions& options = session->cl.program;
    // The log is opened before anything is sent: a rig must not program meters it cannot record.
    if (!options.logPath.isEmpty()) {
        QString why;
        session->log.emplace();
        if (!session->log->open(options.logPath, &why)) {
            printErr(QStringLiteral("talvo-linearizer: cannot write the log %1: %2; nothing was sent").arg(options.logPath, why));
            return RunResult::ExitUsage;
        }
    }
    // Records too are checked before anything is sent.
    if (const QString why = RecordMode::prepare(options.recordPaths, options.recordOverwrite); !why.isEmpty()) {
        printErr(QStringLiteral("talvo-linearizer: cannot write the record: %1; nothing was sent").arg(why));
        return RunResult::ExitUsage;
    }
    // So is the key that signs them, by a test signature.
    if (const QString key = RecordSignature::chosenKey(options.signKey); !key.isEmpty() && RecordMode::writesJson(options.recordPaths)) {
        const RecordSignature::Signed tried = RecordSignature::tryKey(key);
        if (!tried.ok()) {
            printErr(QStringLiteral("talvo-linearizer: cannot sign with the key %1: %2; nothing was sent").arg(key, tried.error));
            return RunResult::ExitUsage;
        }
        session->signing = {key, tried.fingerprint};
        printErr(QStringLiteral("talvo-linearizer: JSON records are signed with the key %1 (%2)").arg(key, tried.fingerprint));
    }
    // The history as well: a run it cannot take sends nothing.
    if (!options.dryRun && !options.noHistory) {
        QString fault;
        const auto dest = HistoryMode::dest(options.history, &fault);
        if (!dest)
            return CommandLine::usageError(fault);
        session->history = std::make_unique<History::Store>(*dest);
        if (!HistoryMode::open(*session->history, true, nullptr, QStringLiteral("; nothing was sent")))
            return RunResult::ExitHistory;
    }
    QString error;
    if (!ProgramMode::choosePort(session->cl, &session->ports, &session->portNumber, &error)) {
        printErr(QStringLiteral("talvo-linearizer: %1").arg(error));
        return MeterRun(session, options).finish(RunResult::ExitUsage, QStringLiteral("usage"));
    }
    return std::nullopt;
}

bool interruptedBeforeSending()
{
    // A signal while the files were read ends the run before the port is opened.
    if (!QuitOnSignals::requested()->load())
        return false;
    printErr(QStringLiteral("talvo-linearizer: interrupted; nothing was sent"));
    return true;
}

// program --job: every row read and checked, then each meter's run in the file's order.
int runJob(Session* session)
{
    const ProgramOptions& options = session->cl.program;
    const QString& jobPath = options.jobPath;
    auto refusedJob = [](QString why) {
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        printErr(QStringLiteral("talvo-linearizer: %1; nothing was sent to any meter").arg(why));
        return int(RunResult::ExitUsage);
    };
    auto refused = [&](int line, const QString& why) { return refusedJob(QStringLiteral("%1 row %2: %3").arg(jobPath, QString::number(line), why)); };
    // Each meter gets records of its own: a file would hold only the last one's.
    for (const QString& path : options.recordPaths)
        if (!QFileInfo(path).isDir())
            return refusedJob(QStringLiteral("--record with --job takes a folder, not \"%1\"").arg(path));
    QString error;
    const std::optional<QList<JobRow>> rows = JobFile::read(jobPath, &error);
    if (!rows)
        return refusedJob(error);

    std::vector<std::unique_ptr<MeterRun>> runs;
    QList<MeterJob::Meter> meters;
    for (const JobRow& row : *rows) {
        ProgramOptions rowOptions = options;
        rowOptions.tablePath = row.table;
        rowOptions.address = row.address;
        for (auto [value, rowValue] : {std::pair{&rowOptions.settingsPath, &row.settings}, std::pair{&rowOptions.baud, &row.baud},
                                       std::pair{&rowOptions.tag, &row.tag}, std::pair{&rowOptions.operatorName, &row.operatorName}})
            if (!rowValue->isEmpty())
                *value = *rowValue;
        if (rowOptions.settingsPath.isEmpty())
            return refused(row.line, QStringLiteral("no settings file: the row's \"settings\" or --settings names one"));
        auto& run = *runs.emplace_back(std::make_unique<MeterRun>(session, rowOptions));
        if (!run.prepare())
            return refused(row.line, run.result());
        if (const int code = ProgrammingRun::CheckPointTable(run.setup()); code != TableCheck::Passed) {
            const TableCheck::Message message = *TableCheck::failureMessage(code, run.setup().table);
            const QString text = message.text.simplified();
            return refused(row.line, message.title.isEmpty() ? text : QStringLiteral("%1: %2").arg(message.title, text));
        }
        meters << MeterJob::Meter{row.address, rowOptions.tag};
    }
    if (interruptedBeforeSending())
        return RunResult::ExitCommunication;

    auto runOne = [&](qsizetype i) {
        printErr(QStringLiteral("talvo-linearizer: %1 row %2: meter %3%4")
                     .arg(jobPath, QString::number((*rows)[i].line), meters[i].address,
                          meters[i].tag.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(meters[i].tag)));
        const int status = runs[size_t(i)]->run();
        return status;
    };
    MeterJob::run(meters, options.keepGoing, runOne, [] { return QuitOnSignals::requested()->load(); });
    for (const MeterJob::Meter& meter : meters)
        std::printf("%s\n", qPrintable(MeterJob::summaryLine(meter)));
    std::fflush(stdout);
    return MeterJob::exitStatus(meters);
}

} // namespace

namespace ProgramMode {

int run(const CommandLine& cl)
{
    Session session{cl, {}, {}, 0, {}, {}};
    if (const std::optional<int> refused = openSession(&session))
        return *refused;
    if (!cl.program.jobPath.isEmpty())
        return runJob(&session);
    MeterRun run(&session, cl.program);
    if (!run.prepare())
        return run.finish(RunResult::ExitUsage, run.result());
    if (interruptedBeforeSending())
        return run.finish(RunResult::ExitCommunication, QStringLiteral("interrupted"));
    return run.run();
}

} // namespace ProgramMode
