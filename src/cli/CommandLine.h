#pragma once
// The utility's command line. Without a command it opens the window:
//   talvo-linearizer [--port N=DEVICE]... [--simulate]
// With "program" it programs one meter without a window:
//   talvo-linearizer program --settings FILE --table WORKBOOK [--port DEVICE|N] [--dry-run] [--log FILE]
// With "scan" it searches a port for meters (see ScanMode.h):
//   talvo-linearizer scan --port DEVICE|N [--baud B]... [--address A[-B]] [--all]
// With "fit" it fits a table to dense data or a shape and prints it (see FitMode.h).
// With "record" it checks a run's JSON record (see RecordMode.h):
//   talvo-linearizer record --verify FILE.json [WORKBOOK]
#include <QCommandLineOption>
#include <QList>
#include <QStringList>

#include "app/PortMap.h"

struct CommandLine {
    enum class Mode { Window, Program, Fit, Scan, Record };
    Mode mode = Mode::Window;
    PortMap ports;        // the --port N=DEVICE mappings
    QString port;         // program: the --port DEVICE or N to use; empty: the settings file's port
    QString settingsPath; // program: --settings
    QString tablePath;    // program: --table
    QString logPath;      // program: --log
    bool dryRun = false;  // program: --dry-run
    QStringList recordPaths;       // program: --record PATH (a .pdf, a .json or a folder), repeatable
    QString operatorName, tag;     // program: --operator (default: the login name), --tag
    QString verifyPath, workbook;  // record: --verify FILE.json and the workbook to compare it with
    QString address;      // program: --address NNN instead of the settings file's (three digits)
    QString baud;         // program: --baud B instead of the settings file's
    // scan: the rates to try (empty: every rate, the window's default first), the addresses, --all
    QStringList scanBauds;
    int scanFirst = 1, scanLast = 247;
    bool scanAll = false;
    bool simulate = false; // window: start a simulated meter and offer it as a port
    // fit: each option's text as given ("" when absent); FitMode checks and reads them.
    struct FitArguments {
        QString data, shape, input, display, type, decimal, points, maxError, out, settingsOut, span;
        bool onData = false;
        bool freeEnds = false;
        bool json = false;
    } fit; // fit's --settings TEMPLATE is settingsPath
    bool help = false;
    bool version = false;
    QString error; // set when the arguments are wrong

    // Arguments without the program name.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();

    // Every option each command's parser knows, by command ("" is the window). The man page,
    // --help and the shell completion are tested against this list: a new command adds its entry.
    struct Command {
        const char* name;
        QList<QCommandLineOption> (*options)();
    };
    static QList<Command> commands();
    static QList<QCommandLineOption> windowOptions(); // with --help and --version
    static QList<QCommandLineOption> programOptions();
    static QList<QCommandLineOption> fitOptions();
    static QList<QCommandLineOption> scanOptions();
    static QList<QCommandLineOption> recordOptions();

    // A usage error: one line on standard error, "talvo-linearizer: FAULT. Try 'talvo-linearizer
    // --help'."; returns the exit status of wrong usage (64).
    static int usageError(const QString& fault);
};
