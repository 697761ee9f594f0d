#pragma once
// Helpers for tests that drive the real window: a recorder that answers message boxes
// and file dialogs, and a window built with given ports, a private instance lock and a
// short port probe.
#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/frmMain.h"

struct ShownMessage {
    QString prompt;
    int style = 0;
    QString title;
};

// Records every message box and answers it: with the queued answers first, then vbOK
// (or vbYes for style 35). Optionally runs a callback while the box is "open".
class MessageRecorder {
public:
    MessageRecorder()
    {
        frmMain::setMessageHook([this](const QString& p, int s, const QString& t) {
            shown.append({p, s, t});
            if (onShown)
                onShown(shown.last());
            if (!answers.isEmpty())
                return answers.takeFirst();
            return int(vbOK);
        });
    }
    ~MessageRecorder() { frmMain::setMessageHook({}); }
    QStringList prompts() const
    {
        QStringList out;
        for (const auto& m : shown) out << m.prompt;
        return out;
    }
    QList<ShownMessage> shown;
    QList<int> answers;
    std::function<void(const ShownMessage&)> onShown;
};

// Answers file dialogs with queued paths ("" = cancelled) and records the filters.
class DialogRecorder {
public:
    DialogRecorder()
    {
        frmMain::setFileDialogHook([this](bool save, const QString& filter, const QString&) {
            filters.append(filter);
            saves.append(save);
            return paths.isEmpty() ? QString() : paths.takeFirst();
        });
    }
    ~DialogRecorder() { frmMain::setFileDialogHook({}); }
    QStringList paths;
    QStringList filters;
    QList<bool> saves;
};

// A window on the given ports, with a single-instance lock of its own and a short probe.
inline std::unique_ptr<frmMain> makeWindow(const PortMap& ports = PortMap(), const QString& lockPath = QString())
{
    static QTemporaryDir lockDir;
    static int serial = 0;
    AppOptions options;
    options.ports = ports;
    options.lockPath = lockPath.isEmpty() ? lockDir.filePath(QStringLiteral("w%1.lock").arg(++serial)) : lockPath;
    options.probeWaitMs = 20;
    return std::make_unique<frmMain>(options);
}

// A window shown and active, so that focus and key events reach its controls.
inline std::unique_ptr<frmMain> openWindow(const PortMap& ports = PortMap())
{
    auto w = makeWindow(ports);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    if (!QTest::qWaitFor([&] { return w->isActiveWindow(); }, 5000))
        return nullptr;
    return w;
}
