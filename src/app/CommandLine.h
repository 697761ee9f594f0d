#pragma once
// The utility's command line: --port N=DEVICE (repeatable), --simulate, --help, --version.
#include <QStringList>

#include "app/PortMap.h"

struct CommandLine {
    PortMap ports;          // the --port mappings
    bool simulate = false;  // start a simulated meter and offer it as a port
    bool help = false;
    bool version = false;
    QString error;          // set when the arguments are wrong

    static CommandLine parse(const QStringList& arguments); // arguments without the program name
    static QString usage();
};
