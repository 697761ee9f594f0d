#pragma once
// `talvo-linearizer program`: one Program Meter run of the window, without showing it.
// The settings file is applied as Open Settings does, the workbook imported as Import
// does; messages and progress go to standard error, dry-run frames to standard output.
struct CommandLine;

namespace ProgramMode {

// Runs with a QApplication in place; returns the exit status.
int run(const CommandLine& commandLine);

} // namespace ProgramMode
