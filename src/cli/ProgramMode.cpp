#include "cli/ProgramMode.h"
#include "table/MeterRules.h"

#include "cli/CommandLine.h"
#include "app/PanelStatusBar.h"
#include "app/PickList.h"
#include "cli/ProgramLog.h"
#include "cli/RecordMode.h"
#include "app/RunRecorder.h"
#include "cli/QuitOnSignals.h"
#include "app/frmMain.h"
#include "files/SettingsFile.h"
#include "link/MeterLink.h"
#include "programming/RunRecord.h"
#include "programming/RunResult.h"

#include <QProgressBar>
#include <cstdio>

namespace ProgramMode {

void printErr(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", qPrintable(out));
    std::fflush(stderr);
}

} // namespace ProgramMode

namespace {
using ProgramMode::printErr;

QString inputTypeName(const std::optional<InputType>& type)
{
    return type ? QLatin1String(MeterRules::inputLimits(*type).name) : QString();
}

bool isPortNumber(const QString& text)
{
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n)
        if (text == QString::number(n))
            return true;
    return false;
}

} // namespace

namespace ProgramMode {

void prepareWindowless(AppOptions* options)
{
    options->singleInstance = false;
    options->probePorts = false; // only the chosen port is opened
    options->watchPorts = false;
    frmMain::setMessageHook([](const QString& prompt, int, const QString& title) {
        if (title != QLatin1String(AppTitle))
            printErr(title);
        printErr(prompt);
        return int(vbOK);
    });
}

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
        printErr(QStringLiteral("talvo-linearizer: %1 (exit status %2)").arg(result).arg(exitStatus));
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
    if (const QString why = RecordMode::prepare(cl.program.recordPaths); !why.isEmpty()) {
        printErr(QStringLiteral("talvo-linearizer: cannot write the record: %1; nothing was sent").arg(why));
        return RunResult::ExitUsage;
    }

    AppOptions options;
    int portNumber = 0;
    QString error;
    if (!choosePort(cl, &options.ports, &portNumber, &error)) {
        printErr(QStringLiteral("talvo-linearizer: %1").arg(error));
        return finish(status, QStringLiteral("usage"));
    }
    prepareWindowless(&options);
    options.dryRun = cl.program.dryRun;
    frmMain w(options);

    // One line per step: the progress bar's percentage and the status bar's texts.
    QString lastStep;
    auto printStep = [&] {
        const int max = w.ProgressBar1->maximum() - w.ProgressBar1->minimum();
        const int percent = max > 0 ? int(qint64(w.ProgressBar1->value() - w.ProgressBar1->minimum()) * 100 / max) : 0;
        QStringList texts;
        for (int panel : {1, 2})
            if (!w.panelText(panel).isEmpty())
                texts << w.panelText(panel);
        const QString step = QStringLiteral("[%1%] %2").arg(percent, 3).arg(texts.join(QStringLiteral(" | ")));
        if (step != lastStep && !(texts.isEmpty() && step.left(6) == lastStep.left(6)))
            printErr(step.trimmed());
        lastStep = step;
    };
    QObject::connect(w.StatusBar1, &PanelStatusBar::panelTextChanged, &w, printStep);
    QObject::connect(w.ProgressBar1, &QProgressBar::valueChanged, &w, printStep);
    QObject::connect(&w, &frmMain::frameSent, &w, [](const QByteArray& frame) {
        std::printf("%s\n", qPrintable(RunResult::frameLine(frame)));
        std::fflush(stdout);
    });

    auto describeSetup = [&] {
        record.device = w.ports().device(w.cboCommPort->Text().toInt());
        record.address = w.cboAddress->Text();
        record.inputType = inputTypeName(w.selectedInputType());
        record.decimal = w.cboDecimal->Text();
        record.points = w.cboSetPoints->Text();
        record.tableSha256 = Record::tableSha256(w.pointTable().rows);
    };

    if (!w.openSettingsFile(cl.program.settingsPath)) {
        describeSetup();
        return finish(status, QStringLiteral("settings file unreadable"));
    }
    if (!w.importWorkbook(cl.program.tablePath)) {
        describeSetup();
        return finish(status, QStringLiteral("workbook unreadable"));
    }
    // --port, --address and --baud stand in for the file's values: chosen in their lists,
    // added first where the list lacks them.
    auto choose = [&w](PickList* list, const QString& text) {
        if (text.isEmpty())
            return;
        if (list->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
            list->AddItem(text);
        w.selectListText(list, text);
    };
    choose(w.cboCommPort, portNumber != 0 ? QString::number(portNumber) : QString());
    choose(w.cboAddress, cl.program.address);
    choose(w.cboBaudRate, cl.program.baud);
    describeSetup();
    // Lines 19 and 20 both "True" would program Current (the later line wins) for a file
    // that asks for two input types at once.
    {
        SettingsReader reader;
        if (reader.open(cl.program.settingsPath) && reader.readTruth(SettingsFile::VoltageLine).value_or(false) &&
            reader.readTruth(SettingsFile::CurrentLine).value_or(false)) {
            printErr(QStringLiteral("talvo-linearizer: %1 line %2: Voltage (line %3) and Current (line %2) are both \"True\"; "
                                    "a meter takes one input type.")
                         .arg(cl.program.settingsPath)
                         .arg(SettingsFile::CurrentLine)
                         .arg(SettingsFile::VoltageLine));
            return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
        }
    }
    // Values the settings file put in a list that the meter cannot take: nothing is opened or sent.
    if (const auto fault = MeterLink::settingFault(w.cboAddress->Text(), w.cboBaudRate->Text(), w.cboSetPoints->Text())) {
        static const int lines[] = {SettingsFile::AddressLine, SettingsFile::BaudRateLine, SettingsFile::SetPointsLine};
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: %3").arg(cl.program.settingsPath).arg(lines[fault->setting]).arg(fault->text));
        return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
    }
    // Without --port the file's port is the one opened: it must be one of the list's numbers.
    if (cl.port.isEmpty() && !isPortNumber(w.cboCommPort->Text())) {
        printErr(QStringLiteral("talvo-linearizer: %1 line %2: The port number \"%3\" is not one of %4 to %5.")
                     .arg(cl.program.settingsPath)
                     .arg(SettingsFile::CommPortLine)
                     .arg(w.cboCommPort->Text())
                     .arg(PortMap::FirstPort)
                     .arg(PortMap::LastPort));
        return finish(RunResult::ExitUsage, QStringLiteral("settings file value refused"));
    }
    // A signal while the files were read ends the run before the port is opened.
    if (QuitOnSignals::requested()->load()) {
        printErr(QStringLiteral("talvo-linearizer: interrupted; nothing was sent"));
        return finish(RunResult::ExitCommunication, QStringLiteral("interrupted"));
    }

    RunRecord& runRecord = w.recorder()->record();
    runRecord.operatorName = cl.program.operatorName.isEmpty() ? RunRecorder::loginName() : cl.program.operatorName;
    runRecord.tag = cl.program.tag;
    w.cmdProgramMeter_Click();
    status = RunResult::exitStatus(w.lastRunEnd(), w.FailureCode);
    QString result = RunResult::resultText(w.lastRunEnd(), w.FailureCode);
    if (cl.program.dryRun)
        result = QStringLiteral("dry run, nothing sent: ") + result;
    if (!cl.program.recordPaths.isEmpty() && w.recorder()->hasRun() && w.recorder()->sentSomething()) {
        const QStringList targets = RecordMode::targets(cl.program.recordPaths, runRecord);
        QString why;
        if (!RecordMode::write(runRecord, targets, &why)) {
            printErr(QStringLiteral("talvo-linearizer: cannot write the record %1").arg(why));
            if (status == RunResult::ExitProgrammed) {
                printErr(QStringLiteral("talvo-linearizer: the run succeeded, but its record is missing (exit status %1)")
                             .arg(int(RunResult::ExitLogMissing)));
                status = RunResult::ExitLogMissing;
                result = QStringLiteral("programmed, record missing");
            }
        } else {
            for (const QString& t : targets)
                printErr(QStringLiteral("talvo-linearizer: record written: %1").arg(t));
            record.recordPath = targets.join(QLatin1Char(' '));
        }
    }
    frmMain::setMessageHook({});
    return finish(status, result);
}

} // namespace ProgramMode
