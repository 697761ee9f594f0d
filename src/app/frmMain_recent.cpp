// What the window remembers per user (QSettings): the last folder of each kind of file, the
// recent settings files and workbooks under File > Recent Files, and the records' operator.
#include "app/frmMain.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <memory>

namespace {
constexpr int MaxRecentFiles = 8;
const QString RecentKey = QStringLiteral("recentFiles");
const QString OperatorKey = QStringLiteral("record/operator");

std::unique_ptr<QSettings> userSettings()
{
    const QString name = QStringLiteral("talvo-linearizer");
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, name, name);
}

// The kind of file a dialog's filter is for, by its first pattern: the key of its folder, or ""
// for a kind whose folder is not remembered.
QString folderKey(const QString& filter)
{
    const QString first = filter.section(u'|', 1, 1).section(u';', 0, 0).trimmed().toLower();
    if (first == QLatin1String("*.txt"))
        return QStringLiteral("folders/settings");
    if (first == QLatin1String("*.xlsx"))
        return QStringLiteral("folders/workbooks");
    if (first == QLatin1String("*.pdf") || first == QLatin1String("*.json"))
        return QStringLiteral("folders/records");
    return QString();
}

bool isWorkbook(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xlsx") || suffix == QLatin1String("xls") || suffix == QLatin1String("ods");
}
} // namespace

QString frmMain::startFolder(const QString& filter) const
{
    const QString key = folderKey(filter);
    const QString folder = key.isEmpty() ? QString() : userSettings()->value(key).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void frmMain::rememberFolder(const QString& filter, const QString& path)
{
    if (const QString key = folderKey(filter); !key.isEmpty() && !path.isEmpty())
        userSettings()->setValue(key, QFileInfo(path).absolutePath());
}

QStringList frmMain::recentFiles() const { return userSettings()->value(RecentKey).toStringList(); }

void frmMain::noteRecentFile(const QString& path)
{
    QStringList files = recentFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    userSettings()->setValue(RecentKey, files.mid(0, MaxRecentFiles));
    fillRecentMenu();
}

void frmMain::openRecentFile(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        QStringList files = recentFiles();
        files.removeAll(path);
        userSettings()->setValue(RecentKey, files);
        fillRecentMenu();
        MsgBox(tr("The file %1 is no longer there. It is removed from the recent files.").arg(QDir::toNativeSeparators(path)),
               vbExclamation);
        return;
    }
    if (isWorkbook(path))
        importWorkbook(path);
    else
        openSettingsFile(path);
}

QString frmMain::rememberedOperator() const { return userSettings()->value(OperatorKey).toString(); }

void frmMain::rememberOperator(const QString& name) { userSettings()->setValue(OperatorKey, name); }

void frmMain::wireRecent()
{
    // Under File, after Save Settings.
    auto* mnuFile = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    mnuRecent = new QMenu(tr("Recent Files"), this);
    mnuRecent->setObjectName(QStringLiteral("mnuRecent"));
    const QList<QAction*> actions = mnuFile->actions();
    mnuFile->insertMenu(actions.value(actions.indexOf(mnuSave) + 1), mnuRecent);
    fillRecentMenu();
}

void frmMain::fillRecentMenu()
{
    if (!mnuRecent)
        return;
    mnuRecent->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* action = mnuRecent->addAction(QStringLiteral("&%1 %2").arg(QString::number(i + 1), QDir::toNativeSeparators(path)));
        action->setObjectName(QStringLiteral("mnuRecentFile%1").arg(i + 1));
        connect(action, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    mnuRecent->setEnabled(!files.isEmpty());
}
