#pragma once
// The records of `talvo-linearizer program --record PATH`, and `talvo-linearizer record
// --verify FILE.json [WORKBOOK]`.
#include <QString>
#include <QStringList>

struct CommandLine;
struct RunRecord;

namespace RecordMode {

// Why the records cannot be written (checked before anything is sent); "" when they can.
QString prepare(const QStringList& paths);
// A JSON record is among them (a .json path or a folder).
bool writesJson(const QStringList& paths);
// The files a run's records go to: a folder gets talvo-YYYYMMDD-HHMMSS-ADDRESS.pdf and .json.
QStringList targets(const QStringList& paths, const RunRecord& record);
// Writes the record to each target, JSON (and its signature) first; false with the path and
// reason of the first that fails.
bool write(const RunRecord& record, const QStringList& targets, QString* error);

// record --verify: exit status 0 intact, 1 altered, a different table or a signature that
// does not match, 2 signed by an unknown key, 64 unreadable.
int verify(const CommandLine& cl);

} // namespace RecordMode
