// Save Settings and Open Settings: the document's settings written, a file applied to it.
#include "app/frmMain.h"

#include "app/CellEditor.h"
#include "files/SettingsFile.h"

#include <QAction>
#include <QFileInfo>
#include <QRadioButton>

namespace {
const char* const DialogFilter = QT_TRANSLATE_NOOP("frmMain", "Text (*.txt)|*.txt|All Files (*.*)|*.*");
const char* const DialogTitle = QT_TRANSLATE_NOOP("frmMain", "User Settings");
} // namespace

void frmMain::wireFiles()
{
    connect(mnuSave, &QAction::triggered, this, &frmMain::mnuSave_Click);
    connect(mnuOpen, &QAction::triggered, this, &frmMain::mnuOpen_Click);
}

void frmMain::mnuSave_Click()
{
    QString path = ShowSaveDialog(tr(DialogFilter), tr(DialogTitle));
    if (path.isEmpty())
        return;
    if (!QFileInfo(path).fileName().contains(u'.')) // Open Settings' filter shows it
        path += QStringLiteral(".txt");
    const SettingsValues values = m_doc->settingsValues();
    QString why;
    if (!SettingsFile::Save(path, values, &why))
        MsgBox(tr("The settings could not be saved to %1\r\n%2\r\nAny file already there is unchanged.").arg(path, why),
               vbExclamation);
    else
        noteRecentFile(path);
}

void frmMain::mnuOpen_Click()
{
    setPanelText(1, QString());
    const QString path = ShowOpenDialog(tr(DialogFilter), tr(DialogTitle));
    if (path.isEmpty())
        return;
    openSettingsFile(path);
}

bool frmMain::openSettingsFile(const QString& path)
{
    finishEdit(true); // a value still being typed is taken first
    UndoStep step(*this, tr("Open Settings"));
    const SetupDocument::OpenResult opened = m_doc->openSettings(path);
    Text1->setText(EditorTextOfCell());
    if (!opened.ok) {
        MsgBox(opened.message(), vbExclamation);
        return false;
    }
    setPanelText(1, tr("File: - [%1]").arg(path));
    noteRecentFile(path);
    return true;
}
