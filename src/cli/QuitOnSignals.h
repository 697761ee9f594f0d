#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into QCoreApplication::exit(128 + signal), so that the window and
// its serial port close as on a normal exit (no port lock file is left behind). Waits in
// progress end as they do when the program ends; a second signal still lets a run write its
// record and log line, a third ends the process at once.
// SIGPIPE is ignored: a closed standard output or error never ends a run.
#include <atomic>

class QObject;

namespace QuitOnSignals {
// Call once, after the application object exists.
bool install(QObject* parent);
// Set by the first SIGINT, SIGTERM or SIGHUP, in the handler itself: work that runs without the
// event loop (reading a data file, a fit) polls it as its cancel flag.
const std::atomic_bool* requested();
} // namespace QuitOnSignals
