#pragma once
// The utility's command line. Without a command it opens the window; "program", "scan", "fit",
// "record" and "history" run without one (ProgramMode.h, ScanMode.h, FitMode.h, RecordMode.h,
// HistoryMode.h). Each
// command's options, with the texts of --help, are in CommandOptions.h.
#include "link/PortMap.h"
#include "cli/CommandOptions.h"

class QCommandLineParser;

struct CommandLine {
    enum class Mode { Window, Program, Scan, Fit, Record, History }; // in the order of commands()
    Mode mode = Mode::Window;
    PortMap ports; // the --port N=DEVICE mappings
    QString port;  // program, scan: the --port DEVICE or N to use; empty: the settings file's port
    // The chosen command's options; the others keep their defaults.
    WindowOptions window;
    ProgramOptions program;
    ScanOptions scan;
    FitOptions fit;
    RecordOptions record;
    HistoryOptions history;
    bool help = false;
    bool version = false;
    QString error; // set when the arguments are wrong

    // Arguments without the program name.
    static CommandLine parse(const QStringList& arguments);
    // --help: each command's synopsis, then its section, made of its declaration.
    static QString usage();

    // Every command's declaration, the window's first, in the order of --help. The man page,
    // --help and the shell completion are tested against their options: a new command adds its entry.
    static QList<CommandDeclaration> commands();

    // A meter address as the options take it (7, 07 and 007 all name meter 007) in its
    // three-digit form; "" for anything but 1 to 247.
    static QString meterAddress(const QString& text);

    // A usage error: one line on standard error, "talvo-linearizer: FAULT. Try 'talvo-linearizer
    // --help'."; returns the exit status of wrong usage (64).
    static int usageError(const QString& fault);

private:
    static CommandLine parseHistory(const QCommandLineParser& parser, const QStringList& words, CommandLine cl);
};
