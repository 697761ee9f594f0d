#pragma once
// Where the run history lives: DEST, a file path (SQLite) or a PostgreSQL URI in libpq's
// forms, "postgresql://user@host:5432/dbname" and "postgresql:///dbname?host=/socket/folder&user=NAME".
// A password is never taken from DEST (it would stand on a command line): libpq's ~/.pgpass
// and PGPASSWORD supply it.
#include <QString>
#include <optional>

namespace History {

struct Dest {
    enum Kind { SQLite, PostgreSQL } kind = SQLite;
    QString path;                          // SQLite: the file, absolute
    QString host, user, database, options; // PostgreSQL; options: other libpq parameters, "name=value;..."
    int port = -1;
    QString shown; // DEST as told to the user

    // Names one database: the spool of runs kept for it is found by this.
    QString identity() const;
};

// DEST as given; nullopt with the fault when it is not one.
std::optional<Dest> parseDest(const QString& text, QString* fault);
// $XDG_DATA_HOME/talvo-linearizer/history.sqlite (~/.local/share/... without XDG_DATA_HOME).
QString defaultDest();
// --history's DEST when given, else TALVO_HISTORY's, else the default.
QString chosenDest(const QString& option);

} // namespace History
