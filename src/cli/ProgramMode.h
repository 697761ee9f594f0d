#pragma once
// `talvo-linearizer program`: one Program Meter run without a window. The settings file is
// applied as Open Settings applies it and the workbook imported as Import does, into a
// MeterSetup; the run (ProgrammingRun) tells its steps and messages on standard error and
// dry-run frames on standard output.
#include <QString>
#include <optional>

#include "programming/ProgrammingRun.h"

struct CommandLine;
class PortMap;

namespace ProgramMode {

// Runs with a QCoreApplication in place; returns the exit status.
int run(const CommandLine& commandLine);

// The port numbering of a run and the number its --port names (0: none named); false, with
// error, when a device path finds no free number.
bool choosePort(const CommandLine& commandLine, PortMap* ports, int* number, QString* error);
// A message of a run without a window: its title unless it is the application's, then its
// text, CR LF as new lines, on standard error.
void printErr(const QString& text);
// "talvo-linearizer: TEXT" on standard error.
void say(const QString& text);
void printMessage(const QString& text, const QString& title);
// The setup `program --settings` takes from a settings file before the workbook: the
// defaults of a fresh window with the file opened as Open Settings opens it. None when
// the file cannot be read (said on standard error).
std::optional<MeterSetup> openedSettings(const QString& path);

} // namespace ProgramMode
