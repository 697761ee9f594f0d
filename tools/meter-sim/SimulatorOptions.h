#pragma once
// Command line of talvo-meter-sim, turned into a meter configuration.
#include <QString>
#include <QStringList>

#include "meter-sim/SimulatedMeter.h"

struct SimulatorOptions {
    MeterConfig config;
    bool dumpOnExit = false;
    bool help = false;
    bool version = false;
    QString error;   // non-empty: the command line was not understood

    static SimulatorOptions parse(const QStringList& args); // arguments without the program name
    static QString usage();
};
