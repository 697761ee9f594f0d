// Save Settings and Open Settings.
#include "app/frmMain.h"

#include "app/PickList.h"
#include "files/SettingsFile.h"

#include <QAction>
#include <QFileInfo>
#include <QRadioButton>

namespace {
const char* const DialogFilter = QT_TRANSLATE_NOOP("frmMain", "Text (*.txt)|*.txt|All Files (*.*)|*.*");
const char* const DialogTitle = QT_TRANSLATE_NOOP("frmMain", "User Settings");

// Appends the value, selects its first occurrence (the list's handler runs as for a user
// choice) and removes later repeats of every entry.
void applyListValue(frmMain& w, PickList* list, const QString& value)
{
    list->AddItem(value);
    w.selectListText(list, value);
    const int count = list->ListCount();
    for (int i = 0; i < count - 1; ++i) {
        for (int j = list->ListCount() - 1; j > i; --j) {
            if (list->List(j) == list->List(i))
                list->RemoveItem(j);
        }
    }
}
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
    SettingsValues values;
    values.decimal = cboDecimal->Text();
    values.address = cboAddress->Text();
    values.commPort = cboCommPort->Text();
    values.baudRate = cboBaudRate->Text();
    values.setPoints = cboSetPoints->Text();
    values.voltage = optVoltage->isChecked();
    values.current = optCurrent->isChecked();
    QString why;
    if (!SettingsFile::Save(path, values, &why))
        MsgBox(tr("The settings could not be saved to %1\r\n%2\r\nAny file already there is unchanged.").arg(path, why),
               vbExclamation);
    else
        noteRecentFile(path);
}

void frmMain::mnuOpen_Click()
{
    if (m_opening)
        return;
    setPanelText(1, QString());
    const QString path = ShowOpenDialog(tr(DialogFilter), tr(DialogTitle));
    if (path.isEmpty())
        return;
    openSettingsFile(path);
}

bool frmMain::openSettingsFile(const QString& path)
{
    if (m_opening)
        return false;
    UndoStep step(*this, tr("Open Settings"));
    m_opening = true;
    SettingsReader reader;
    QString decimal;
    const auto readValue = [&](int line, PickList* list) {
        const std::optional<QString> value = reader.readLine(line);
        if (value)
            applyListValue(*this, list, *value);
        if (value && list == cboDecimal)
            decimal = *value;
        return value.has_value();
    };
    bool ok = reader.open(path) && readValue(SettingsFile::DecimalLine, cboDecimal) && readValue(SettingsFile::AddressLine, cboAddress) &&
              readValue(SettingsFile::CommPortLine, cboCommPort) && readValue(SettingsFile::BaudRateLine, cboBaudRate) &&
              readValue(SettingsFile::SetPointsLine, cboSetPoints);
    if (ok) {
        DoEvents();
        // The input type is one setting in two lines: it changes only when both read well,
        // so a damaged file never leaves the window without an input type.
        const std::optional<bool> voltage = reader.readTruth(SettingsFile::VoltageLine);
        const std::optional<bool> current = voltage ? reader.readTruth(SettingsFile::CurrentLine) : std::nullopt;
        ok = current.has_value();
        if (ok) {
            setOptionValue(optVoltage, *voltage);
            setOptionValue(optCurrent, *current);
            if (!*voltage && !*current)
                setOptionValue(optPulse, true);
            selectListText(cboDecimal, decimal); // the file's format, not the type's default
            ok = reader.readLine(SettingsFile::LineCount).has_value();
        }
    }
    m_opening = false;

    if (ok) {
        setFitSource({}); // the table now comes from the file, even where its values are the same
        setPanelText(1, tr("File: - [%1]").arg(path));
        noteRecentFile(path);
        return true;
    }
    if (reader.stopLine() == 0)
        MsgBox(tr("The settings file %1 could not be opened.\r\n%2").arg(path, reader.errorText()), vbExclamation);
    else
        MsgBox(tr("The settings file %1 could not be read completely: reading stopped at line %2.\r\n%3")
                   .arg(path, QString::number(reader.stopLine()), reader.errorText()),
               vbExclamation);
    return false;
}
