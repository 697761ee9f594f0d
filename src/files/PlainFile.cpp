#include "files/PlainFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
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

} // namespace PlainFile
