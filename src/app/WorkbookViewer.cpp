#include "app/WorkbookViewer.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    return query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0 || !query.readAllStandardOutput().trimmed().isEmpty();
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

QString newExportPath(QString* error)
{
    // A folder only this user can enter: nobody else can plant a file or a link there.
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QByteArray dir = QFile::encodeName(QDir(base).filePath(QStringLiteral("talvo-linearizer")));
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    if (base.isEmpty())
        return fail(QStringLiteral("no private folder for the workbook"));
    QDir().mkpath(base);
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return fail(QStringLiteral("%1 is not a folder of this user").arg(QFile::decodeName(dir)));
    if ((st.st_mode & 077) != 0 && ::chmod(dir.constData(), 0700) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            n == 1 ? QStringLiteral("talvo-points-%1.xlsx").arg(stamp) : QStringLiteral("talvo-points-%1-%2.xlsx").arg(stamp).arg(n);
        const QString path = QFile::decodeName(dir) + QLatin1Char('/') + name;
        // Created here, never an existing file or a link to one.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return fail(QString::fromLocal8Bit(std::strerror(EEXIST)));
}

} // namespace Spreadsheet
