#pragma once
// The run history's database: the schema (created on first use and migrated, its version in
// schema_version), one row per run, each run stored in one transaction and never twice (its
// uuid is unique), and the list of runs with filters. docs/history.md describes the tables.
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "history/HistoryDest.h"

namespace History {

inline constexpr int SchemaVersion = 2;

// A run's key fields, as stored beside its record.
struct Run {
    qint64 id = 0;
    QString uuid, timeStart, timeEnd, host, operatorName, tag, port, address;
    int baud = 0;
    QString status; // "programmed" (exit status 0) or "failed"
    int exit = 0;
    int points = 0;
    QString tableSha256;

    QJsonObject toJson() const; // id, uuid, time_start, ... table_sha256
};
// The key fields in the order of the list's columns and --json's keys.
QStringList runColumns();

// Reads the key fields from a run's JSON record; nullopt with the reason when it is not one.
std::optional<Run> runOf(const QByteArray& record, QString* why);
// The run's uuid: the record's own "record_id" when it has one, else fallback.
QString runUuid(const QByteArray& record, const QString& fallback);

struct Filter {
    QString tag;     // the tag, "*" standing for any text
    QString address; // "001"
    QString status;  // "programmed" or "failed"
    QDateTime since, until; // time_start at or after since, before until
    int limit = -1;
};

// A step of the schema: the statements that bring version - 1 to version.
struct Migration {
    int version;
    std::function<QStringList(Dest::Kind)> statements;
};
const QList<Migration>& migrations();

class Store {
public:
    explicit Store(const Dest& dest);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Connects, creates or migrates the schema and (forWriting) checks that a run can be
    // written; false with the reason when not.
    bool open(QString* why, bool forWriting = true);
    void close();
    bool isOpen() const { return m_db.isOpen(); }
    const Dest& dest() const { return m_dest; }
    int schemaVersion(QString* why);

    // The run in one transaction; a run whose uuid is stored already is left as it was. A
    // connection lost since open() is made again.
    bool store(const QByteArray& record, const QString& uuid, const QString& signature, QString* why);
    // The runs the filter lets through, newest first.
    std::optional<QList<Run>> list(const Filter& filter, QString* why);
    // The query list() runs, prepared and bound, for a model to run.
    QSqlQuery listQuery(const Filter& filter);
    // The stored record of run id, exactly as written; nullopt when there is none (why "") or it cannot be read.
    // signature: the run's signature text, "" when it was not signed.
    std::optional<QByteArray> record(qint64 id, QString* why, QByteArray* signature = nullptr);

    QSqlDatabase database() const { return m_db; }

private:
    bool exec(const QString& sql, QString* why);
    bool insert(const Run& run, const QByteArray& record, const QString& uuid, const QString& signature, QString* why);
    bool migrate(QString* why);
    bool checkWritable(QString* why);

    Dest m_dest;
    QString m_connection;
    QSqlDatabase m_db;
};

} // namespace History
