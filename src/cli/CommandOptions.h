#pragma once
// The options of each command: the values CommandLine::parse() reads into it, and its
// declaration, which the parser and --help are made of.
#include <QCommandLineOption>
#include <QList>
#include <QStringList>

#include "history/HistoryStore.h"

// A command's words: its name ("" is the window), its synopsis after "talvo-linearizer NAME"
// (a line each, later lines aligned under the first), and its section of --help: the text
// before the options, a line for each option with a description (lines after its first start
// at column), the text after them. An option without a description is told of in the texts.
struct CommandDeclaration {
    const char* name;
    const char* synopsis;
    const char* about;
    QList<QCommandLineOption> options;
    const char* notes;
    int column = 21;
};

// Without a command: the window.
struct WindowOptions {
    bool simulate = false;                   // start a simulated meter and offer it as a port
    QString signKey;                         // --sign-key KEYFILE: Save Record... signs JSON records
    QString history;                         // --history DEST; "" for TALVO_HISTORY or the default
    bool noHistory = false;                  // --no-history
    static CommandDeclaration declaration(); // with --help and --version
};

// program: programs one meter, or every meter of a job, without a window (ProgramMode.h).
struct ProgramOptions {
    QString settingsPath, tablePath, logPath; // --settings, --table, --log
    QString jobPath;                          // --job FILE: a meter per row (JobFile.h)
    bool keepGoing = false;                   // --keep-going: a failed meter of a job does not stop it
    bool dryRun = false;
    QStringList recordPaths;   // --record PATH (a .pdf, a .json or a folder), repeatable
    bool recordOverwrite = false; // --record-overwrite: a named record file may be replaced
    QString operatorName, tag; // --operator (default: the login name), --tag
    QString address;           // --address NNN instead of the settings file's (three digits)
    QString baud;              // --baud B instead of the settings file's
    QString signKey;           // --sign-key KEYFILE: the JSON records are signed with it
    QString history;           // --history DEST; "" for TALVO_HISTORY or the default
    bool noHistory = false;    // --no-history
    static CommandDeclaration declaration();
    static const char* const exitStatuses; // a section of --help of its own, before record's
};

// scan: searches a port for meters (ScanMode.h).
struct ScanOptions {
    QStringList bauds;         // the rates to try; empty: every rate, the window's default first
    int first = 1, last = 247; // --address A[-B]
    bool all = false;
    static CommandDeclaration declaration();
};

// fit: each option's text as given ("" when absent); FitMode checks and reads them.
struct FitOptions {
    QString data, shape, input, display, type, decimal, points, maxError, out, settingsOut, span;
    QString settingsTemplate; // --settings TEMPLATE
    bool onData = false;
    bool freeEnds = false;
    bool json = false;
    static CommandDeclaration declaration();
};

// record: checks a run's JSON record (RecordMode.h).
struct RecordOptions {
    QString verifyPath, workbook; // --verify FILE.json and the workbook to compare it with
    QString allowedSigners;       // --allowed-signers FILE; empty: ~/.ssh/allowed_signers
    static CommandDeclaration declaration();
};

// history: lists the run history, shows a run's record, writes the spool (HistoryMode.h).
struct HistoryOptions {
    enum class Action { List, Show, Flush } action = Action::List;
    QString history;        // --history DEST; "" for TALVO_HISTORY or the default
    History::Filter filter; // --tag, --address, --status, --since, --until, --limit
    bool json = false, csv = false;
    qint64 id = 0;          // show ID
    QString recordPath;     // show ID --record PATH
    static CommandDeclaration declaration();
};
