#include "files/PlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindRefusal(const QString& path, mode_t mode)
{
    const char* kind = S_ISDIR(mode)                     ? "a folder"
                       : S_ISFIFO(mode)                  ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                  ? "a socket"
                                                         : "not a regular file";
    return QStringLiteral("%1 is %2, not a plain file").arg(path, QLatin1String(kind));
}

QString systemError(const QString& path) { return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))); }

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

namespace PlainFile {

QString readRefusal(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return S_ISREG(st.st_mode) ? QString() : kindRefusal(path, st.st_mode);
}

QString writeRefusal(const QString& path) { return readRefusal(path); }

Contents read(const QString& path, qint64 limit, const std::atomic_bool* cancel)
{
    Contents out;
    // Refused before it is opened: opening a device can change it (a serial line's DTR).
    if (const QString refusal = readRefusal(path); !refusal.isEmpty()) {
        out.error = refusal;
        return out;
    }
    // O_NONBLOCK: a FIFO put in the file's place since would otherwise wait for a writer.
    Fd f{::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (f.fd < 0) {
        out.error = systemError(path);
        return out;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) {
        out.error = systemError(path);
        return out;
    }
    if (!S_ISREG(st.st_mode)) {
        out.error = kindRefusal(path, st.st_mode);
        return out;
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            out.error = QStringLiteral("%1: reading was cancelled").arg(path);
            return out;
        }
        // One byte past the limit tells a file that is too large, whatever its size claims.
        const qint64 want = std::min<qint64>(qint64(sizeof buffer), limit + 1 - bytes.size());
        const ssize_t n = ::read(f.fd, buffer, size_t(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            out.error = systemError(path);
            return out;
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > limit) {
            out.tooLarge = true;
            out.error = QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(limit));
            return out;
        }
    }
    out.bytes = std::move(bytes);
    return out;
}

bool writeWhole(const QString& path, bool replace, const std::function<bool(QIODevice& file, QString* error)>& fill, QString* error)
{
    // A FIFO, a device or a folder is never replaced by the file written beside it.
    if (const QString refusal = writeRefusal(path); !refusal.isEmpty()) {
        *error = refusal;
        return false;
    }
    const QFileInfo info(path);
    QTemporaryFile file(QDir(info.absolutePath()).filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".XXXXXX")));
    if (!file.open()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QString why;
    if (!fill(file, &why)) {
        *error = QStringLiteral("%1: %2").arg(path, why.isEmpty() ? file.errorString() : why);
        return false;
    }
    if (!file.flush() || file.error() != QFileDevice::NoError || ::fsync(file.handle()) != 0) {
        *error = file.error() != QFileDevice::NoError ? QStringLiteral("%1: %2").arg(path, file.errorString()) : systemError(path);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.handle(), 0666 & ~mask); // as a file made with open() would be
    const QByteArray from = QFile::encodeName(file.fileName()), to = QFile::encodeName(info.absoluteFilePath());
    // Without replace no other writer's file is ever replaced; a file system without
    // RENAME_NOREPLACE gets a link, which fails on an existing name too.
    bool linked = false;
    int done = replace ? ::rename(from.constData(), to.constData())
                       : ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (done != 0 && !replace && (errno == EINVAL || errno == ENOSYS))
        linked = (done = ::link(from.constData(), to.constData())) == 0;
    if (done != 0) {
        *error = errno == EEXIST ? QStringLiteral("%1 exists already").arg(path) : systemError(path);
        return false;
    }
    file.setAutoRemove(linked);
    return true;
}

} // namespace PlainFile
