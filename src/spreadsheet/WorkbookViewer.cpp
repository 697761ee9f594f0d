#include "spreadsheet/WorkbookViewer.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace Spreadsheet {

namespace {
ViewerHook& viewerHook()
{
    static ViewerHook hook;
    return hook;
}
// The desktop starts its opener even when no application takes .xlsx files; ask first
// where the desktop can tell. true when it cannot tell.
bool desktopHasSpreadsheetApplication()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return true;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0
        || !query.readAllStandardOutput().trimmed().isEmpty();
#else
    return true;
#endif
}

} // namespace

void setViewerHook(ViewerHook hook) { viewerHook() = std::move(hook); }

bool showInDesktop(const QString& path)
{
    if (viewerHook())
        return viewerHook()(path);
    return desktopHasSpreadsheetApplication() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString newExportPath()
{
    const QDir dir(QDir::tempPath());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = dir.filePath(QStringLiteral("talvo-points-%1.xlsx").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("talvo-points-%1-%2.xlsx").arg(stamp).arg(n));
    return path;
}

} // namespace Spreadsheet
