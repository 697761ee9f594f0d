#pragma once
// How a Program Meter run ended, and what that means to a script: the exit status of
// `talvo-linearizer program` and the words its log line uses.
#include <QByteArray>
#include <QString>

enum class RunEnd {
    NotRun,          // no run has ended yet
    Programmed,      // success message shown
    PointsFailed,    // ran to its end, but one or more points were refused or timed out
    TableRejected,   // a table rule is broken (FailureCode 2..9, 13)
    TimedOut,        // no reply to the firmware query or a configuration command
    Refused,         // the meter refused a configuration command
    FirmwareRefused, // the meter's firmware is too old
    PortUnavailable, // the port could not be opened
    PortLost,        // the port failed during the run
    NotConfigured,   // no input type was selected
    Abandoned,       // the window closed during the run
};

namespace RunResult {

enum ExitStatus {
    ExitProgrammed = 0,
    ExitCommunication = 1,
    // 2..9: the table check's failure code
    ExitFirmware = 10,
    ExitPort = 11,
    ExitLogMissing = 12,   // programmed, but the log line could not be written
    ExitDisplayRange = 13, // a display value outside the format's range (FailureCode 13)
    ExitHistory = 14,      // the run history cannot be reached or written: nothing sent
    ExitUsage = 64,
};

// The exit status for a run that ended so; failureCode is the window's FailureCode.
int exitStatus(RunEnd end, int failureCode);
// A short word for a log: "programmed", "table error 3", "no reply", ...
QString resultText(RunEnd end, int failureCode);
// One frame as hex bytes and as text, control bytes by name:
// "01 30 30 31 46 31 38 39 ... 03  <SOH>001F189..<ETX>"
QString frameLine(const QByteArray& frame);
// The text half of frameLine: "<SOH>001F189..<ETX>".
QString frameText(const QByteArray& frame);

} // namespace RunResult
