#pragma once
// One Program Meter run without a window: the firmware query, the table checks, the
// configuration commands, the point download and the final input-type command, for a
// MeterSetup taken when the run starts, over the link's MeterTransaction. Every step is
// told to a RunReporter (the window's progress bar, status bar and message boxes, or the
// command line's standard error); the run's result is a RunOutcome.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "link/LinkTypes.h"
#include "programming/PointCommands.h"
#include "programming/RunResult.h"
#include "table/PointTable.h"

class MeterTransaction;
class SerialComm;

// The working settings of a run as the lists, options and grid held them when it started.
struct MeterSetup {
    QString port;     // "1".."16"; any other text: no port selected
    QString baud;     // "300".."19200"
    QString address;  // "001".."247"
    QString points;   // "2".."32"
    PointTable table; // input type, decimal-point format and rows
};

// Message box styles: the icon (0 none, 16 critical, 48 exclamation, 64 information) plus the buttons.
enum RunMessageStyle { MessagePlain = 0, MessageCritical = 16, MessageExclamation = 48, MessageInformation = 64 };

// A message of the run. The text is made when it is shown, in the language then in force.
struct RunMessage {
    std::function<QString()> text;
    int style = MessagePlain;
    QString title; // "" for the application's title
};

// One frame of the run and what became of it.
struct RunFrame {
    QString command;
    QByteArray frame; // SOH, address, command, checksum, ETX
    ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
    QString reply;     // everything read for it
    bool sent = false; // it went out (also when the run ended before its reply)
};

struct RunOutcome {
    RunEnd end = RunEnd::NotRun;
    int failureCode = 0; // 0, 1 (communication) or the table check's code
    QList<RunFrame> frames;
    QString firmware; // the firmware reply's text, control characters escaped; "" before a reply
    QDateTime timeStart, timeEnd;
    int pointFailures = 0; // point values refused, timed out or left unsent
    qint64 bytesSent = 0, bytesReceived = 0;
    int exitStatus() const { return RunResult::exitStatus(end, failureCode); }
    QString resultText() const { return RunResult::resultText(end, failureCode); }
};

// What the run tells its face. Panels are counted from 1; a progress maximum of 0 leaves the
// maximum as it is.
class RunReporter {
public:
    virtual ~RunReporter() = default;
    virtual void progress(int value, int maximum) = 0;
    virtual void status(int panel, const QString& text) = 0;
    virtual void statusFades() {} // panel 1 clears itself a little later ("Error Detected")
    virtual int message(const RunMessage& message) = 0; // the button pressed
    virtual void frame(const RunFrame&) {}              // each frame once its outcome is known
    virtual void tableChecked(int) {}                   // the table check's code, before anything is written
    // The face is going away (the window closes): the run ends before its next command.
    virtual bool abandoned() const { return false; }
};

// The port's failure as a run or a search tells it: the port named by portText, the
// link's own failure where it has one.
PortFailure portFailureOf(const QString& portText, const std::optional<PortFailure>& linkFailure, const SerialComm& port);

class ProgrammingRun {
public:
    ProgrammingRun(SerialComm* port, MeterTransaction* transaction, RunReporter* reporter);

    // Frames go to the reporter and are taken as acknowledged; no port is opened.
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }

    RunOutcome run(const MeterSetup& setup);

    // The table check of the run: 0 or the first broken rule's code. Rows the point count
    // names but the table lacks count as missing values.
    static int CheckPointTable(const MeterSetup& setup);

private:
    enum class Step { Done, Refused, PortFailed, FirmwareRefused, Abandoned };
    enum class PointSet { PointSetV, PointSetI };
    Step runSteps();
    void exitStep(Step end); // the one way out: the end's message, progress and panels
    Step send(bool testRefusal, ReplyOutcome* outcome);
    ReplyOutcome SendMeterCommand();
    Step SendPointTable(PointSet set);
    QString pointCommand(const PointCommands::Prefixes& prefixes, const PointCommands::Ref& ref) const;
    Step pause(int passes);
    bool openPort();
    int message(std::function<QString()> text, int style, const QString& title = QString());
    void setProgress(int value);
    void addProgress(int amount) { setProgress(m_progress + amount); }

    SerialComm* m_port;
    MeterTransaction* m_transaction;
    RunReporter* m_reporter;
    bool m_dryRun = false;
    MeterSetup m_setup;
    RunOutcome m_out;
    QString m_address;  // the frame's address, "001"
    QString m_command;  // the command of the next frame
    QString m_reply;    // the last frame's reply
    std::optional<PortFailure> m_linkFailure;
    bool m_portOpenFailed = false;
    int m_progress = 0, m_maximum = 100;
};
