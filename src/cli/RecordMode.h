#pragma once
// The records of `talvo-linearizer program --record PATH`, and `talvo-linearizer record
// --verify FILE.json [WORKBOOK]`.
#include <QString>
#include <QList>
#include <QStringList>

struct CommandLine;
struct RunRecord;

namespace RecordMode {

// Why the records cannot be written (checked before anything is sent); "" when they can. A
// named file that is a symbolic link, or that exists without overwrite, is refused.
QString prepare(const QStringList& paths, bool overwrite);
struct Target {
    QString path;
    bool replace = false; // a named file with --record-overwrite; a folder's files are always new
};
// The files a run's records go to: a folder gets a .pdf and a .json named by Record::defaultFileName.
QList<Target> targets(const QStringList& paths, const RunRecord& record, bool overwrite);
// A JSON record is among them (a .json path or a folder).
bool writesJson(const QStringList& paths);
// Writes the record to every target, JSON (and its signature) first, each whole or not at all;
// the files written. error: the
// path and reason of the first that failed, untouched when none did.
QStringList write(const RunRecord& record, const QList<Target>& targets, QString* error);

// record --verify: exit status 0 intact, 1 altered, a different table or a signature that
// does not match, 2 signed by an unknown key, 64 unreadable.
int verify(const CommandLine& cl);

} // namespace RecordMode
