#pragma once
// The environment of the real program started by a test: a private TMPDIR, XDG_RUNTIME_DIR
// (its lock files live there), XDG_DATA_HOME and XDG_STATE_HOME (its run history and spool),
// and, when headless, no display.
#include <QProcessEnvironment>

inline QProcessEnvironment programEnvironment(const QString& dir, bool headless = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (headless)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
    env.insert("TMPDIR", dir);
    env.insert("XDG_RUNTIME_DIR", dir);
    env.insert("XDG_DATA_HOME", dir + "/data");
    env.insert("XDG_STATE_HOME", dir + "/state");
    env.remove("TALVO_HISTORY");
    return env;
}
