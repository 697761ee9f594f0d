#pragma once
// Command line of talvo-meter-sim, turned into a meter configuration.
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include "meter-sim/SimulatedMeter.h"

struct SimulatorOptions {
    MeterConfig config;
    bool dumpOnExit = false;
    bool help = false;
    bool version = false;
    QString error; // non-empty: the command line was not understood

    static constexpr int ExitUsage = 64; // wrong usage; 1: the pseudo-terminal could not be made

    static SimulatorOptions parse(const QStringList& args); // arguments without the program name
    static QList<QCommandLineOption> options();             // every option parse() knows
    static QString usage();
};
