#include "spreadsheet/WorkbookViewer.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace Spreadsheet {

namespace {
ViewerHook& viewerHook()
{
    static ViewerHook hook;
    return hook;
}
} // namespace

void setViewerHook(ViewerHook hook) { viewerHook() = std::move(hook); }

bool showInDesktop(const QString& path)
{
    if (viewerHook())
        return viewerHook()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
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
