#pragma once
// Who holds a serial device: the process named in the device's UUCP lock file
// (LCK..ttyUSB0 in /var/lock, /run/lock, ...), a process with the device open, or,
// where neither can be seen, a running program that usually grabs serial ports.
#include <QList>
#include <optional>
#include <QString>
#include <QStringList>

class PortHolders {
public:
    struct Holder {
        qint64 pid = 0;
        QString name; // the program's name, "" when unknown
    };

    PortHolders(); // the system's lock folders and /proc
    PortHolders(QStringList lockDirs, QString procRoot);

    // "held by NAME (pid N)"; "NAME is running and may hold it"; "" when nothing is seen.
    QString describe(const QString& device) const;

    // The device's lock files. A stale one names no live process (dead, empty, unreadable, a pid
    // outside the system's range) and is a second old and locked by no one (flock), or is no lock
    // file at all (a dangling link, a folder). One that is not stale but names no live process is
    // being taken (holder.pid 0): a lock is created before its pid is written into it.
    struct Lock {
        QString path;
        Holder holder;
        bool stale = false;
    };
    QList<Lock> locks(const QString& device) const;
    // The live process the device's lock file names, if any (stale locks are ignored).
    std::optional<Holder> lockHolder(const QString& device) const;
    // Processes other than this one with the device open (only those whose descriptors may be read).
    QList<Holder> openers(const QString& device) const;
    // Running programs known to grab serial ports: ModemManager, brltty.
    QStringList likelyCulprits() const;

    // Removes a stale lock (a file, link or empty folder); false with the reason when it stays.
    // A file is removed only while it is still the same file, locked by no one and a second old.
    static bool removeStale(const QString& path, QString* error);
    // The terminal is open in exclusive mode (TIOCEXCL) by someone: root may still open it, but
    // must not. False when it cannot be told (not a terminal).
    static bool inExclusiveUse(const QString& device);
    // Pids are below this: the system's pid_max.
    qint64 maxPid() const;

    // "LCK..ttyUSB0" for /dev/ttyUSB0; "LCK..pts_3" for /dev/pts/3.
    static QString lockFileName(const QString& device);
    // "held by NAME (pid N)", "another program" when the name is unknown; "just taken by another
    // program" for a lock being taken.
    static QString describe(const Holder& holder);
    static QStringList systemLockDirs();

private:
    QString processName(qint64 pid) const;
    QStringList m_lockDirs;
    QString m_procRoot;
};
