#pragma once
// `talvo-linearizer history`: the runs stored, a run's record, the spool written; and the
// history of `program`: checked before the run, written after it.
#include <QByteArray>
#include <QString>
#include <optional>

#include "history/HistoryDest.h"

struct CommandLine;
namespace History {
class Store;
}

namespace HistoryMode {

// The DEST of --history, else TALVO_HISTORY, else the default; nullopt with the fault when
// it is not one.
std::optional<History::Dest> dest(const QString& option, QString* fault);
// Opens the history and stores the runs its spool holds, each told on standard error (left:
// how many are not stored); false with one line naming DEST and the reason when it cannot be
// reached (or written), the consequence after it.
bool open(History::Store& store, bool forWriting = true, qsizetype* left = nullptr, const QString& consequence = {});
// Stores a run's record, else keeps it in the spool; false (the reason and the spool's file
// told) when it was not stored.
bool write(History::Store& store, const QByteArray& record, const QString& uuid, const QString& signature);

int run(const CommandLine& cl);

} // namespace HistoryMode
