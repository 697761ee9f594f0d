#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into QCoreApplication::exit(128 + signal), so that the window and
// its serial port close as on a normal exit (no port lock file is left behind). Waits in
// progress end as they do when the program ends; a second signal ends the process at once.
class QObject;

namespace QuitOnSignals {
// Call once, after the application object exists.
bool install(QObject* parent);
} // namespace QuitOnSignals
