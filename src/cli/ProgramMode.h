#pragma once
// `talvo-linearizer program`: one Program Meter run of the window, without showing it.
// The settings file is applied as Open Settings does, the workbook imported as Import
// does; messages and progress go to standard error, dry-run frames to standard output.
#include <QString>

struct AppOptions;
struct CommandLine;
class PortMap;

namespace ProgramMode {

// Runs with a QApplication in place; returns the exit status.
int run(const CommandLine& commandLine);

// The port numbering of a run and the number its --port names (0: none named); false, with
// error, when a device path finds no free number.
bool choosePort(const CommandLine& commandLine, PortMap* ports, int* number, QString* error);
// A windowless run's message: CR LF as new lines, on standard error.
void printErr(const QString& text);
// Sets up a windowless run of one command on one port: options without the single-instance
// lock (several runs at once, one per port), without probing or watching other ports, and
// the window's messages sent to standard error.
void prepareWindowless(AppOptions* options);

} // namespace ProgramMode
