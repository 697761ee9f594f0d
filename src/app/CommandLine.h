#pragma once
// The utility's command line. Without a command it opens the window:
//   talvo-linearizer [--port N=DEVICE]... [--simulate]
// With "program" it programs one meter without a window:
//   talvo-linearizer program --settings FILE --table WORKBOOK [--port DEVICE|N] [--dry-run] [--log FILE]
#include <QStringList>

#include "app/PortMap.h"

struct CommandLine {
    enum class Mode { Window, Program };
    Mode mode = Mode::Window;
    PortMap ports;          // the --port N=DEVICE mappings
    QString port;           // program: the --port DEVICE or N to use; empty: the settings file's port
    QString settingsPath;   // program: --settings
    QString tablePath;      // program: --table
    QString logPath;        // program: --log
    bool dryRun = false;    // program: --dry-run
    bool simulate = false;  // window: start a simulated meter and offer it as a port
    bool help = false;
    bool version = false;
    QString error;          // set when the arguments are wrong

    // Arguments without the program name.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};
