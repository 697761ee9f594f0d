#pragma once
// The environment of the real program started by a test: a private TMPDIR and XDG_RUNTIME_DIR
// (its lock files live there), and, when headless, no display.
#include <QProcessEnvironment>

inline QProcessEnvironment programEnvironment(const QString& dir, bool headless = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (headless)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
    env.insert("TMPDIR", dir);
    env.insert("XDG_RUNTIME_DIR", dir);
    return env;
}
