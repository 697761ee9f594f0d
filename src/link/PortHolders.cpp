#include "link/PortHolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray readSmall(const QString& path, qint64 max = 4096)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(max) : QByteArray();
}

bool processAlive(qint64 pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

// A lock is taken by creating its file and then writing the pid into it: a file younger than a
// second may still be on its way, and one whose holder keeps a flock on it (Qt's do) is held.
bool young(const struct stat& st)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 ms = qint64(now.tv_sec - st.st_mtim.tv_sec) * 1000 + (now.tv_nsec - st.st_mtim.tv_nsec) / 1000000;
    return ms < 1000 && ms > -1000;
}
bool flocked(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}
bool unclaimed(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return true;
    if (young(st))
        return false;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const bool held = fd >= 0 && flocked(fd);
    if (fd >= 0)
        ::close(fd);
    return !held;
}

// The pid of a lock file's text; 0 when it names none (empty, garbage, outside 1 to pidMax - 1).
qint64 lockPid(const QByteArray& text, qint64 pidMax, QString* name)
{
    qint64 pid = 0;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(uchar(c)) || std::isdigit(uchar(c)); });
    if (text.size() == 4 && !ascii) { // the old binary form: the pid as a native int
        qint32 raw = 0;
        std::memcpy(&raw, text.constData(), sizeof raw);
        pid = raw;
    } else { // ASCII: "      4711\n", or Qt's "4711\nappname\nhost\n"
        const QList<QByteArray> lines = text.split('\n');
        pid = lines.value(0).trimmed().toLongLong();
        *name = QString::fromLocal8Bit(lines.value(1).trimmed()).section(QLatin1Char('/'), -1);
    }
    return pid > 0 && pid < pidMax ? pid : 0;
}
} // namespace

QString PortHolders::describe(const Holder& h)
{
    if (h.pid == 0)
        return QStringLiteral("just taken by another program");
    return QStringLiteral("held by %1 (pid %2)").arg(h.name.isEmpty() ? QStringLiteral("another program") : h.name, QString::number(h.pid));
}

PortHolders::PortHolders() : PortHolders(systemLockDirs(), QStringLiteral("/proc")) {}

PortHolders::PortHolders(QStringList lockDirs, QString procRoot) : m_lockDirs(std::move(lockDirs)), m_procRoot(std::move(procRoot)) {}

QStringList PortHolders::systemLockDirs()
{
    // Where serial programs (Qt's among them) put their locks.
    return {QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),   QStringLiteral("/tmp"),       QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock")};
}

QString PortHolders::lockFileName(const QString& device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QList<PortHolders::Lock> PortHolders::locks(const QString& device) const
{
    // The lock may be under the name given or under the device it stands for (a by-id link).
    QStringList names{lockFileName(device)};
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!target.isEmpty() && lockFileName(target) != names.first())
        names << lockFileName(target);
    QList<Lock> found;
    QStringList seen; // one lock folder may be another's link (/var/lock -> /run/lock)
    const qint64 pidMax = maxPid();
    for (const QString& dir : m_lockDirs) {
        const QString realDir = QFileInfo(dir).canonicalFilePath();
        for (const QString& name : names) {
            const QString path = QDir(dir).filePath(name);
            const QFileInfo file(path);
            // A dangling link, a folder or a FIFO in the lock's place is a lock of no one.
            if (realDir.isEmpty() || (!file.exists() && !file.isSymLink()) || seen.contains(realDir + u'/' + name))
                continue;
            seen << realDir + u'/' + name;
            Lock lock{path, {}};
            QString lockName;
            if (file.isFile())
                lock.holder.pid = lockPid(readSmall(path), pidMax, &lockName);
            if (processAlive(lock.holder.pid)) {
                const QString running = processName(lock.holder.pid);
                lock.holder.name = running.isEmpty() ? lockName : running;
            } else {
                lock.holder.pid = 0; // dead, empty, unreadable, out of range or not a lock at all
                lock.stale = !file.isFile() || unclaimed(path);
            }
            found << lock;
        }
    }
    return found;
}

qint64 PortHolders::maxPid() const
{
    // Pids run below pid_max; without it, below the kernel's largest possible pid_max.
    bool ok = false;
    const qint64 max = readSmall(QDir(m_procRoot).filePath(QStringLiteral("sys/kernel/pid_max")), 32).trimmed().toLongLong(&ok);
    return ok && max > 1 ? max : qint64(1) << 22;
}

bool PortHolders::removeStale(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT;
    int failed = 0;
    if (S_ISDIR(st.st_mode)) {
        failed = ::rmdir(name.constData());
    } else if (S_ISREG(st.st_mode)) {
        // Held by its flock from here to the unlink: another process that found it stale too, or
        // a new lock in its place, is never removed by mistake.
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            return true;
        if (fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        struct stat opened {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || young(opened)) {
            ::close(fd);
            *error = QStringLiteral("it was just taken");
            return false;
        }
        const bool same = ::lstat(name.constData(), &st) == 0 && st.st_ino == opened.st_ino && st.st_dev == opened.st_dev;
        failed = same ? ::unlink(name.constData()) : 0;
        const int saved = errno;
        ::close(fd);
        errno = saved;
    } else {
        failed = ::unlink(name.constData());
    }
    if (failed == 0 || errno == ENOENT)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno)); // a folder that is not empty, no right to the lock folder
    return false;
}

bool PortHolders::inExclusiveUse(const QString& device)
{
    // Opening is harmless: it changes no setting, and only the last close would hang the line up.
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    const bool known = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    ::close(fd);
    return known && exclusive != 0;
}

std::optional<PortHolders::Holder> PortHolders::lockHolder(const QString& device) const
{
    for (const Lock& lock : locks(device))
        if (lock.holder.pid != 0)
            return lock.holder;
    return std::nullopt;
}

QList<PortHolders::Holder> PortHolders::openers(const QString& device) const
{
    QList<Holder> out;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return out;
    const qint64 self = ::getpid();
    const QDir proc(m_procRoot);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == target) {
                out << Holder{pid, processName(pid)};
                break;
            }
        }
    }
    return out;
}

QStringList PortHolders::likelyCulprits() const
{
    static const QStringList known = {QStringLiteral("ModemManager"), QStringLiteral("brltty")};
    QStringList running;
    const QDir proc(m_procRoot);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString comm = QString::fromLocal8Bit(readSmall(proc.filePath(entry + QStringLiteral("/comm"))).trimmed());
        if (known.contains(comm) && !running.contains(comm))
            running << comm;
    }
    std::sort(running.begin(), running.end(), [](const QString& a, const QString& b) { return known.indexOf(a) < known.indexOf(b); });
    return running;
}

QString PortHolders::processName(qint64 pid) const
{
    // comm is cut to 15 characters; the command's first word gives the whole name when it agrees.
    const QString base = QDir(m_procRoot).filePath(QString::number(pid));
    const QString comm = QString::fromLocal8Bit(readSmall(base + QStringLiteral("/comm")).trimmed());
    const QByteArray cmdline = readSmall(base + QStringLiteral("/cmdline"));
    const QString argv0 = QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0'))).section(QLatin1Char('/'), -1);
    if (!argv0.isEmpty() && (comm.isEmpty() || argv0.startsWith(comm)))
        return argv0;
    return comm;
}

QString PortHolders::describe(const QString& device) const
{
    if (const auto h = lockHolder(device))
        return describe(*h);
    for (const Lock& lock : locks(device))
        if (!lock.stale)
            return describe(lock.holder); // being taken
    const QList<Holder> seen = openers(device);
    if (!seen.isEmpty()) {
        QStringList parts;
        for (const Holder& h : seen)
            parts << describe(h);
        return parts.join(QStringLiteral(", "));
    }
    const QStringList culprits = likelyCulprits();
    if (culprits.isEmpty())
        return QString();
    return culprits.join(QStringLiteral(" or ")) +
           (culprits.size() > 1 ? QStringLiteral(" are running and may hold it") : QStringLiteral(" is running and may hold it"));
}
