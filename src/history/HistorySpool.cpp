#include "history/HistorySpool.h"

#include "history/HistoryStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace History::Spool {

namespace {
bool writeFile(const QString& path, const QByteArray& bytes, QString* why)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *why = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}
} // namespace

QString folder(const Dest& dest)
{
    const QString key = QString::fromLatin1(QCryptographicHash::hash(dest.identity().toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) // unset or relative: the default of the XDG base directories
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("talvo-linearizer/spool/") + key);
}

bool keep(const Dest& dest, const QByteArray& record, const QString& uuid, const QString& signature, QString* path, QString* why)
{
    const QDir dir(folder(dest));
    if (!QDir().mkpath(dir.path())) {
        *why = QStringLiteral("the folder %1 cannot be made").arg(dir.path());
        return false;
    }
    *path = dir.filePath(uuid + QStringLiteral(".json"));
    // The history the runs belong to, for whoever finds the folder.
    return writeFile(dir.filePath(QStringLiteral("history.txt")), dest.shown.toUtf8() + '\n', why) &&
           (signature.isEmpty() || writeFile(dir.filePath(uuid + QStringLiteral(".sig")), signature.toUtf8(), why)) &&
           writeFile(*path, record, why);
}

Flushed flush(Store& store)
{
    Flushed out;
    const QDir dir(folder(store.dest()));
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo& file : files) {
        QFile json(file.filePath());
        QFile sig(dir.filePath(file.completeBaseName() + QStringLiteral(".sig")));
        QString why;
        if (!json.open(QIODevice::ReadOnly)) {
            out.failures << QStringLiteral("%1: %2").arg(file.filePath(), json.errorString());
            continue;
        }
        const QByteArray record = json.readAll();
        const QString signature = sig.open(QIODevice::ReadOnly) ? QString::fromUtf8(sig.readAll()) : QString();
        if (!store.store(record, runUuid(record, file.completeBaseName()), signature, &why)) {
            out.failures << QStringLiteral("%1: %2").arg(file.filePath(), why);
            continue;
        }
        json.remove();
        sig.remove();
        ++out.stored;
    }
    return out;
}

Outcome storeOrKeep(Store& store, const QByteArray& record, const QString& uuid, const QString& signature)
{
    Outcome out;
    out.stored = store.store(record, uuid, signature, &out.why);
    QString why;
    if (!out.stored && !keep(store.dest(), record, uuid, signature, &out.spooled, &why)) {
        out.spooled.clear();
        out.why += QStringLiteral("; the spool failed too: ") + why;
    }
    return out;
}

} // namespace History::Spool
