#include "cli/ProgramMode.h"

#include "app/PortMap.h"
#include "app/RunRecorder.h"
#include "cli/CommandLine.h"
#include "cli/HistoryMode.h"
#include "cli/ProgramLog.h"
#include "cli/QuitOnSignals.h"
#include "cli/RecordMode.h"
#include "files/SettingsFile.h"
#include "history/HistoryStore.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "programming/PointCommands.h"
#include "programming/ProgrammingRun.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"
#include "programming/RunResult.h"
#include "spreadsheet/TableBlock.h"
#include "table/MeterRules.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>

namespace ProgramMode {

void printErr(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", qPrintable(out));
    std::fflush(stderr);
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

// The setup as the window would hold it after Open Settings and Import: the window's defaults
// first, then each value applied with the effect choosing it in the window has.
struct WorkingSetup {
    MeterSetup setup{QString(), QStringLiteral("2400"), QStringLiteral("001"), QStringLiteral("2"),
                     PointTable{InputType::Current,
                                QStringLiteral("ddd.ddd"),
                                {{QStringLiteral("4.000"), QStringLiteral("4.000")}, {QStringLiteral("20.000"), QStringLiteral("20.000")}}}};
    QString decimalInForce = QStringLiteral("ddd.ddd"); // the format the display values are written in
    bool bothTypes = false; // the file's Voltage and Current lines both "True"

    // The decimal-point list: the display values move to a new format, their digits kept.
    void chooseDecimal(const QString& format)
    {
        setup.table.format = format;
        if (ValueRules::formatDecimals(format) < 0 || format == decimalInForce)
            return;
        for (PointRow& row : setup.table.rows)
            row.display = ValueRules::rescaleDisplay(row.display, format);
        decimalInForce = format;
    }
    // The point-count list: the table gets that many rows.
    void choosePoints(const QString& text)
    {
        setup.points = text;
        if (const int n = PointCommands::pointCount(text))
            setup.table.rows.resize(n);
    }
    // An input-type option: its first two points and its decimal-point format.
    void chooseType(InputType type)
    {
        const ValueRules::InputDefaults d = ValueRules::defaultsFor(type);
        setup.table.type = type;
        setup.table.rows[0] = PointRow{d.point1, d.point1};
        setup.table.rows[1] = PointRow{d.point2, d.point2};
        chooseDecimal(d.format);
    }

    bool openSettings(const QString& path);
    bool importWorkbook(const QString& path, QJsonObject* source);
};

// Open Settings: what was applied before a failure stays applied.
bool WorkingSetup::openSettings(const QString& path)
{
    SettingsReader reader;
    const auto apply = [&](int line, QString* value) {
        const std::optional<QString> text = reader.readLine(line);
        if (text)
            *value = *text;
        return text.has_value();
    };
    QString decimal, points;
    bool ok = reader.open(path) && apply(SettingsFile::DecimalLine, &decimal) && (chooseDecimal(decimal), true) &&
              apply(SettingsFile::AddressLine, &setup.address) && apply(SettingsFile::CommPortLine, &setup.port) &&
              apply(SettingsFile::BaudRateLine, &setup.baud) && apply(SettingsFile::SetPointsLine, &points) && (choosePoints(points), true);
    if (ok) {
        // The input type changes only when both of its lines read well.
        const std::optional<bool> voltage = reader.readTruth(SettingsFile::VoltageLine);
        const std::optional<bool> current = voltage ? reader.readTruth(SettingsFile::CurrentLine) : std::nullopt;
        ok = current.has_value();
        if (ok) {
            bothTypes = *voltage && *current;
            if (*voltage)
                chooseType(InputType::Voltage);
            if (*current)
                chooseType(InputType::Current);
            if (!*voltage && !*current)
                chooseType(InputType::Pulse);
            ok = reader.readLine(SettingsFile::LineCount).has_value();
        }
    }
    if (ok)
        return true;
    if (reader.stopLine() == 0)
        printMessage(QStringLiteral("The settings file %1 could not be opened.\r\n%2").arg(path, reader.errorText()), QString());
    else
        printMessage(QStringLiteral("The settings file %1 could not be read completely: reading stopped at line %2.\r\n%3")
                         .arg(path, QString::number(reader.stopLine()), reader.errorText()),
                     QString());
    return false;
}

// Import: every value in its normal form, the display column's number format taken over as
// the decimal-point format; a cell that is not a number refuses the workbook.
bool WorkingSetup::importWorkbook(const QString& path, QJsonObject* source)
{
    const InputKind type = setup.table.type;
    QString error;
    const std::optional<Spreadsheet::TableBlock> read = Spreadsheet::readTableBlock(path, type, &error);
    if (!read) {
        printMessage(QStringLiteral("The workbook %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), error),
                     QStringLiteral("Import from Excel"));
        return false;
    }
    const int detected = read->detected;
    const QString format = detected >= 0 ? ValueRules::decimalFormats()[detected] : setup.table.format;
    const QStringList lines = read->lines();
    QList<PointRow>& rows = setup.table.rows;
    if (const auto refusal = Spreadsheet::firstNonNumber(lines, int(rows.size()), type, format, path)) {
        printMessage(refusal->message, refusal->title);
        return false;
    }
    const QStringList normal =
        Spreadsheet::normalisedBlock(lines, MeterRules::inputDecimals(type), ValueRules::formatDecimals(format)).split(u'\r');
    for (int r = 0; r < rows.size() && r < normal.size(); ++r) {
        const QStringList cells = normal[r].split(u'\t');
        rows[r].input = cells.value(0);
        if (cells.size() > 1)
            rows[r].display = cells[1];
    }
    if (detected >= 0) {
        chooseDecimal(format);
        // A value missing from the sheet stays missing: the rescale would write zero there.
        for (int r = 0; r < rows.size() && r < lines.size(); ++r)
            if (lines[r].section(u'\t', 1, 1).isEmpty())
                rows[r].display.clear();
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    *source = QJsonObject{{"kind", "workbook"}, {"path", absolute}, {"sha256", Record::fileSha256(absolute)}};
    return true;
}

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

int run(const CommandLine& cl)
{
    ProgramLogRecord record;
    record.time = QDateTime::currentDateTime();
    int status = RunResult::ExitUsage;
    std::optional<ProgramLog::File> log;
    auto finish = [&](int exitStatus, const QString& result) {
        record.result = result;
        record.exitStatus = exitStatus;
        printErr(QStringLiteral("talvo-linearizer: %1 (exit status %2)").arg(result, QString::number(exitStatus)));
        QString why;
        if (log && !log->append(record, &why)) {
            printErr(QStringLiteral("talvo-linearizer: cannot write the log %1: %2").arg(cl.program.logPath, why));
            if (exitStatus == RunResult::ExitProgrammed) {
                printErr(QStringLiteral("talvo-linearizer: the run succeeded, but its log line is missing (exit status %1)")
                             .arg(int(RunResult::ExitLogMissing)));
                return int(RunResult::ExitLogMissing);
            }
        }
        return exitStatus;
    };
    // The log is opened before anything is sent: a rig must not program meters it cannot record.
    if (!cl.program.logPath.isEmpty()) {
        QString why;
        log.emplace();
        if (!log->open(cl.program.logPath, &why)) {
            printErr(QStringLiteral("talvo-linearizer: cannot write the log %1: %2; nothing was sent").arg(cl.program.logPath, why));
            return RunResult::ExitUsage;
        }
    }

    // Records too are checked before anything is sent.
    if (const QString why = RecordMode::prepare(cl.program.recordPaths, cl.program.recordOverwrite); !why.isEmpty()) {
        printErr(QStringLiteral("talvo-linearizer: cannot write the record: %1; nothing was sent").arg(why));
        return RunResult::ExitUsage;
    }
    // So is the key that signs them, by a test signature.
    RunRecord::Signing signing;
    if (const QString key = RecordSignature::chosenKey(cl.program.signKey); !key.isEmpty() && RecordMode::writesJson(cl.program.recordPaths)) {
        const RecordSignature::Signed tried = RecordSignature::tryKey(key);
        if (!tried.ok()) {
            printErr(QStringLiteral("talvo-linearizer: cannot sign with the key %1: %2; nothing was sent").arg(key, tried.error));
            return RunResult::ExitUsage;
        }
        signing = {key, tried.fingerprint};
        printErr(QStringLiteral("talvo-linearizer: JSON records are signed with the key %1 (%2)").arg(key, tried.fingerprint));
    }

    // The history as well: a run it cannot take sends nothing.
    std::unique_ptr<History::Store> history;
    if (!cl.program.dryRun && !cl.program.noHistory) {
        QString fault;
        const auto dest = HistoryMode::dest(cl.program.history, &fault);
        if (!dest)
            return CommandLine::usageError(fault);
        history = std::make_unique<History::Store>(*dest);
        if (!HistoryMode::open(*history, true, nullptr, QStringLiteral("; nothing was sent")))
            return RunResult::ExitHistory;
    }

    PortMap ports;
    int portNumber = 0;
    QString error;
    if (!choosePort(cl, &ports, &portNumber, &error)) {
        printErr(QStringLiteral("talvo-linearizer: %1").arg(error));
        return finish(status, QStringLiteral("usage"));
    }

    RunRecorder recorder;
    ConsoleRun face(&recorder, cl.program.dryRun);
    WorkingSetup working;
    const MeterSetup& setup = working.setup;
    auto describeSetup = [&] {
        record.device = ports.device(setup.port.toInt());
        record.address = setup.address;
        record.inputType = MeterRules::inputTypeName(setup.table.type);
        record.decimal = setup.table.format;
        record.points = setup.points;
        record.tableSha256 = Record::tableSha256(setup.table.rows);
    };

    if (!working.openSettings(cl.program.settingsPath)) {
        describeSetup();
        return finish(status, QStringLiteral("settings file unreadable"));
    }
    face.status(1, QStringLiteral("File: - [%1]").arg(cl.program.settingsPath));
    QJsonObject source;
    if (!working.importWorkbook(cl.program.tablePath, &source)) {
        describeSetup();
        return finish(status, QStringLiteral("workbook unreadable"));
    }
    recorder.noteSource(source, setup.table.rows);
    // --port, --address and --baud stand in for the file's values.
    if (portNumber != 0)
        working.setup.port = QString::number(portNumber);
    if (!cl.program.address.isEmpty())
        working.setup.address = cl.program.address;
    if (!cl.program.baud.isEmpty())
        working.setup.baud = cl.program.baud;
    describeSetup();
    // Lines 19 and 20 both "True" would program Current (the later line wins) for a file
    // that asks for two input types at once.
    if (working.bothTypes) {
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: Voltage (line %3) and Current (line %2) are both \"True\"; "
                                "a meter takes one input type.")
                     .arg(cl.program.settingsPath, QString::number(SettingsFile::CurrentLine), QString::number(SettingsFile::VoltageLine)));
        return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
    }
    // Values the settings file gave that the meter cannot take: nothing is opened or sent.
    if (const auto fault = MeterLink::settingFault(setup.address, setup.baud, setup.points)) {
        static const int lines[] = {SettingsFile::AddressLine, SettingsFile::BaudRateLine, SettingsFile::SetPointsLine};
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: %3").arg(cl.program.settingsPath, QString::number(lines[fault->setting]), fault->text));
        return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
    }
    // Without --port the file's port is the one opened: it must be one of the list's numbers.
    if (cl.port.isEmpty() && MeterLink::portNumber(setup.port) == 0) {
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: The port number \"%3\" is not one of %4 to %5.")
                     .arg(cl.program.settingsPath, QString::number(SettingsFile::CommPortLine), setup.port,
                          QString::number(PortMap::FirstPort), QString::number(PortMap::LastPort)));
        return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
    }
    // A signal while the files were read ends the run before the port is opened.
    if (QuitOnSignals::requested()->load()) {
        printErr(QStringLiteral("talvo-linearizer: interrupted; nothing was sent"));
        return finish(RunResult::ExitCommunication, QStringLiteral("interrupted"));
    }

    SerialComm port([&ports](int n) { return ports.device(n); });
    MeterTransaction transaction(&port);
    recorder.record().operatorName = cl.program.operatorName; // begin() takes the login name for none
    recorder.record().tag = cl.program.tag;
    recorder.record().signing = signing;
    if (!cl.program.dryRun)
        recorder.begin(setup, ports.device(setup.port.toInt()));
    ProgrammingRun programming(&port, &transaction, &face);
    programming.setDryRun(cl.program.dryRun);
    const RunOutcome outcome = programming.run(setup);
    const bool interrupted = outcome.end == RunEnd::Abandoned;
    if (!cl.program.dryRun)
        recorder.end(outcome);
    port.setPortOpen(false);
    status = outcome.exitStatus();
    QString result = interrupted ? QStringLiteral("interrupted") : outcome.resultText();
    if (interrupted)
        recorder.record().resultText = QStringLiteral("Interrupted by a signal; the meter may hold part of the table.");
    if (cl.program.dryRun)
        result = QStringLiteral("dry run, nothing sent: ") + result;
    if (!cl.program.recordPaths.isEmpty() && recorder.hasRun() && recorder.sentSomething()) {
        QString why;
        const QStringList written = RecordMode::write(
            recorder.record(), RecordMode::targets(cl.program.recordPaths, recorder.record(), cl.program.recordOverwrite), &why);
        QStringList files;
        for (const QString& path : written) {
            printErr(QStringLiteral("talvo-linearizer: record written: %1").arg(path));
            files << path;
            if (!signing.key.isEmpty() && path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
                printErr(QStringLiteral("talvo-linearizer: signature written: %1").arg(RecordSignature::signaturePath(path)));
                files << RecordSignature::signaturePath(path);
            }
        }
        record.recordPath = files.join(QLatin1Char(' '));
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
    if (history && recorder.hasRun() && recorder.sentSomething()) {
        const QByteArray json = Record::toJsonText(recorder.record());
        const QString signature = RecordSignature::signatureText(signing.key, json);
        if (!HistoryMode::write(*history, json, History::runUuid(json, recorder.runId()), signature) &&
            status == RunResult::ExitProgrammed) {
            printErr(QStringLiteral("talvo-linearizer: the run succeeded, but the history misses it (exit status %1)")
                         .arg(int(RunResult::ExitLogMissing)));
            status = RunResult::ExitLogMissing;
            result = QStringLiteral("programmed, history entry missing");
        }
    }
    return finish(status, result);
}

} // namespace ProgramMode
