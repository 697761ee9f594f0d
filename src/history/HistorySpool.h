#pragma once
// Runs that could not be stored: each kept as its record (<uuid>.json, the bytes the history
// would have held) and its signature (<uuid>.sig), in a folder of its own per history under
// $XDG_STATE_HOME/talvo-linearizer/spool/. A flush stores them and removes each once stored;
// a run stored twice is left as it was (its uuid), so a flush cut short repeats nothing.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "history/HistoryDest.h"

namespace History {

class Store;

namespace Spool {

// The folder of the history's spool (it need not exist).
QString folder(const Dest& dest);
// Keeps a run; false with the reason when it cannot. path: the record's file.
bool keep(const Dest& dest, const QByteArray& record, const QString& uuid, const QString& signature, QString* path, QString* why);

struct Flushed {
    int stored = 0;
    QStringList failures; // a line per run left in the spool, with the reason
};
// Stores every run the history's spool holds, the oldest first.
Flushed flush(Store& store);

// After a run: stored, else kept in the spool.
struct Outcome {
    bool stored = false;
    QString spooled; // the file the run is kept in, "" when it could not be kept either
    QString why;     // why it was not stored, and why it was not kept
};
Outcome storeOrKeep(Store& store, const QByteArray& record, const QString& uuid, const QString& signature);

} // namespace Spool
} // namespace History
