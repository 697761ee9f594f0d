#include "history/HistoryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QUuid>
#include <QVariant>

namespace History {

namespace {
QString errorOf(const QSqlError& e)
{
    QString text = e.databaseText().trimmed();
    const QString driver = e.driverText().trimmed();
    if (text.isEmpty())
        text = driver;
    else if (!driver.isEmpty() && !text.contains(driver))
        text = driver + QStringLiteral(": ") + text;
    return text.isEmpty() ? QStringLiteral("unknown database error") : text.simplified();
}

QString keyColumns()
{
    return QStringLiteral("id, uuid, time_start, time_end, host, operator, tag, port, address, baud, status, exit, points, table_sha256");
}

Run runAt(const QSqlQuery& q)
{
    Run r;
    r.id = q.value(0).toLongLong();
    r.uuid = q.value(1).toString();
    r.timeStart = q.value(2).toString();
    r.timeEnd = q.value(3).toString();
    r.host = q.value(4).toString();
    r.operatorName = q.value(5).toString();
    r.tag = q.value(6).toString();
    r.port = q.value(7).toString();
    r.address = q.value(8).toString();
    r.baud = q.value(9).toInt();
    r.status = q.value(10).toString();
    r.exit = q.value(11).toInt();
    r.points = q.value(12).toInt();
    r.tableSha256 = q.value(13).toString();
    return r;
}

qint64 msOf(const QString& isoTime)
{
    const QDateTime t = QDateTime::fromString(isoTime, Qt::ISODate);
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}
} // namespace

QStringList runColumns()
{
    return keyColumns().split(QStringLiteral(", "));
}

QJsonObject Run::toJson() const
{
    return QJsonObject{{"id", id},          {"uuid", uuid},       {"time_start", timeStart}, {"time_end", timeEnd}, {"host", host},
                       {"operator", operatorName}, {"tag", tag},  {"port", port},            {"address", address},  {"baud", baud},
                       {"status", status},  {"exit", exit},       {"points", points},        {"table_sha256", tableSha256}};
}

std::optional<Run> runOf(const QByteArray& record, QString* why)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(record, &error);
    const QJsonObject o = doc.object();
    if (error.error != QJsonParseError::NoError || !doc.isObject() || !o.value(QStringLiteral("result")).isObject() ||
        !o.value(QStringLiteral("table")).isObject() || !o.value(QStringLiteral("time_start")).isString()) {
        *why = QStringLiteral("not a run's record: %1")
                   .arg(error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("no result, table or time_start"));
        return std::nullopt;
    }
    Run r;
    r.timeStart = o.value(QStringLiteral("time_start")).toString();
    r.timeEnd = o.value(QStringLiteral("time_end")).toString();
    r.host = o.value(QStringLiteral("host")).toString();
    r.operatorName = o.value(QStringLiteral("operator")).toString();
    r.tag = o.value(QStringLiteral("tag")).toString();
    r.port = o.value(QStringLiteral("port"))[QStringLiteral("device")].toString();
    const QJsonValue meter = o.value(QStringLiteral("meter"));
    r.address = meter[QStringLiteral("address")].toString();
    r.baud = meter[QStringLiteral("baud")].toInt();
    r.exit = o.value(QStringLiteral("result"))[QStringLiteral("status")].toInt(-1);
    r.status = r.exit == 0 ? QStringLiteral("programmed") : QStringLiteral("failed");
    const QJsonValue table = o.value(QStringLiteral("table"));
    r.points = int(table[QStringLiteral("points")].toArray().size());
    r.tableSha256 = table[QStringLiteral("sha256")].toString();
    return r;
}

QString runUuid(const QByteArray& record, const QString& fallback)
{
    const QString id = QJsonDocument::fromJson(record).object().value(QStringLiteral("record_id")).toString();
    return id.isEmpty() ? fallback : id;
}

const QList<Migration>& migrations()
{
    static const QList<Migration> steps{
        {1,
         [](Dest::Kind kind) {
             const QString id = kind == Dest::SQLite ? QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT")
                                                     : QStringLiteral("id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
             return QStringList{
                 QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
                 QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"),
                 QStringLiteral("CREATE TABLE runs (%1, uuid TEXT NOT NULL UNIQUE, time_start TEXT NOT NULL, time_end TEXT NOT NULL, "
                                "started_ms BIGINT NOT NULL, host TEXT NOT NULL, operator TEXT NOT NULL, tag TEXT NOT NULL, "
                                "port TEXT NOT NULL, address TEXT NOT NULL, baud INTEGER NOT NULL, status TEXT NOT NULL, "
                                "exit INTEGER NOT NULL, points INTEGER NOT NULL, table_sha256 TEXT NOT NULL, record TEXT NOT NULL)")
                     .arg(id),
                 QStringLiteral("CREATE INDEX runs_started ON runs (started_ms)"),
                 QStringLiteral("CREATE INDEX runs_tag ON runs (tag)"),
                 QStringLiteral("CREATE INDEX runs_address ON runs (address, started_ms)"),
             };
         }},
        {2,
         [](Dest::Kind) {
             return QStringList{QStringLiteral("ALTER TABLE runs ADD COLUMN signature TEXT"),
                                QStringLiteral("CREATE INDEX runs_status ON runs (status, started_ms)")};
         }},
    };
    return steps;
}

Store::Store(const Dest& dest) : m_dest(dest), m_connection(QStringLiteral("talvo-history-") + QUuid::createUuid().toString(QUuid::Id128)) {}

Store::~Store()
{
    close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::removeDatabase(m_connection);
}

void Store::close()
{
    if (m_db.isValid())
        m_db.close();
}

bool Store::exec(const QString& sql, QString* why)
{
    QSqlQuery q(m_db);
    if (q.exec(sql))
        return true;
    *why = errorOf(q.lastError());
    return false;
}

int Store::schemaVersion(QString* why)
{
    QSqlQuery q(m_db);
    const QString exists = m_dest.kind == Dest::SQLite
                               ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'")
                               : QStringLiteral("SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' AND schemaname = current_schema()");
    if (!q.exec(exists) || !q.next()) {
        *why = errorOf(q.lastError());
        return -1;
    }
    if (q.value(0).toInt() == 0)
        return 0;
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next()) {
        *why = errorOf(q.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

bool Store::open(QString* why, bool forWriting)
{
    if (m_db.isOpen())
        return true;
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(m_dest.kind == Dest::SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_connection);
    if (!m_db.isValid()) {
        *why = QStringLiteral("Qt's %1 driver is not installed").arg(m_dest.kind == Dest::SQLite ? "SQLite" : "PostgreSQL");
        return false;
    }
    if (m_dest.kind == Dest::SQLite) {
        const QFileInfo file(m_dest.path);
        if (file.isDir()) {
            *why = QStringLiteral("it is a folder");
            return false;
        }
        if (!forWriting && !file.exists()) { // reading makes no history
            *why = QStringLiteral("no run has been stored there (the file does not exist)");
            return false;
        }
        // The default's folder is made; a folder named by hand must exist.
        if (!file.dir().exists() && (m_dest.path != QFileInfo(defaultDest()).absoluteFilePath() || !QDir().mkpath(file.absolutePath()))) {
            *why = QStringLiteral("the folder %1 does not exist").arg(file.absolutePath());
            return false;
        }
        m_db.setDatabaseName(m_dest.path);
        // Runs on several ports of one machine wait for each other's commit.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    } else {
        m_db.setHostName(m_dest.host);
        m_db.setPort(m_dest.port);
        m_db.setUserName(m_dest.user);
        m_db.setDatabaseName(m_dest.database);
        m_db.setConnectOptions(m_dest.options);
    }
    if (!m_db.open()) {
        *why = errorOf(m_db.lastError());
        return false;
    }
    bool ok = m_dest.kind != Dest::SQLite || exec(QStringLiteral("PRAGMA journal_mode = WAL"), why);
    int version = ok ? schemaVersion(why) : -1;
    if (version >= 0 && version < SchemaVersion)
        ok = migrate(why);
    else if (version > SchemaVersion) {
        *why = QStringLiteral("its schema is version %1, newer than this utility's %2").arg(version).arg(SchemaVersion);
        ok = false;
    }
    ok = ok && version >= 0 && (!forWriting || checkWritable(why));
    if (!ok)
        close();
    return ok;
}

bool Store::migrate(QString* why)
{
    // One migration at a time: the others wait, then find the schema current.
    const bool sqlite = m_dest.kind == Dest::SQLite;
    if (!exec(sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"), why))
        return false;
    bool ok = sqlite || exec(QStringLiteral("SELECT pg_advisory_xact_lock(74686973)"), why);
    const int current = ok ? schemaVersion(why) : -1;
    ok = ok && current >= 0;
    for (const Migration& step : migrations())
        if (ok && step.version > current)
            for (const QString& sql : step.statements(m_dest.kind))
                ok = ok && exec(sql, why);
    if (ok && current < SchemaVersion)
        ok = exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(SchemaVersion), why);
    if (ok && exec(QStringLiteral("COMMIT"), why))
        return true;
    QString ignored;
    exec(QStringLiteral("ROLLBACK"), &ignored);
    *why = QStringLiteral("its schema cannot be brought to version %1: %2").arg(SchemaVersion).arg(*why);
    return false;
}

bool Store::checkWritable(QString* why)
{
    if (m_dest.kind == Dest::PostgreSQL) {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SELECT has_table_privilege('runs', 'INSERT'), current_setting('transaction_read_only')")) || !q.next()) {
            *why = errorOf(q.lastError());
            return false;
        }
        if (q.value(0).toBool() && q.value(1).toString() == QLatin1String("off"))
            return true;
        *why = QStringLiteral("runs cannot be written there (no INSERT privilege on runs, or a read-only server)");
        return false;
    }
    // A write that is rolled back: a read-only file or folder fails it.
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), why))
        return false;
    const bool ok = exec(QStringLiteral("UPDATE schema_version SET version = version"), why);
    QString ignored;
    exec(QStringLiteral("ROLLBACK"), &ignored);
    return ok;
}

bool Store::store(const QByteArray& record, const QString& uuid, const QString& signature, QString* why)
{
    const std::optional<Run> run = runOf(record, why);
    if (!run || !open(why))
        return false;
    if (insert(*run, record, uuid, signature, why))
        return true;
    // A connection the server dropped since it was opened (a restart) is made again, once.
    close();
    return open(why) && insert(*run, record, uuid, signature, why);
}

bool Store::insert(const Run& run, const QByteArray& record, const QString& uuid, const QString& signature, QString* why)
{
    const bool sqlite = m_dest.kind == Dest::SQLite;
    if (!exec(sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"), why))
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO runs (uuid, time_start, time_end, started_ms, host, operator, tag, port, address, baud, "
                             "status, exit, points, table_sha256, record, signature) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (uuid) DO NOTHING"));
    for (const QVariant& v : {QVariant(uuid), QVariant(run.timeStart), QVariant(run.timeEnd), QVariant(msOf(run.timeStart)),
                              QVariant(run.host), QVariant(run.operatorName), QVariant(run.tag), QVariant(run.port),
                              QVariant(run.address), QVariant(run.baud), QVariant(run.status), QVariant(run.exit),
                              QVariant(run.points), QVariant(run.tableSha256), QVariant(QString::fromUtf8(record)),
                              signature.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(signature)})
        q.addBindValue(v);
    bool ok = q.exec();
    if (!ok)
        *why = errorOf(q.lastError());
    if (ok && exec(QStringLiteral("COMMIT"), why))
        return true;
    QString ignored;
    exec(QStringLiteral("ROLLBACK"), &ignored);
    return false;
}

QSqlQuery Store::listQuery(const Filter& f)
{
    QStringList where;
    QVariantList values;
    if (!f.tag.isEmpty()) {
        if (f.tag.contains(QLatin1Char('*'))) {
            QString pattern = f.tag;
            pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('%'), QStringLiteral("\\%"));
            pattern.replace(QLatin1Char('_'), QStringLiteral("\\_")).replace(QLatin1Char('*'), QLatin1Char('%'));
            where << QStringLiteral("tag LIKE ? ESCAPE '\\'");
            values << pattern;
        } else {
            where << QStringLiteral("tag = ?");
            values << f.tag;
        }
    }
    if (!f.address.isEmpty()) {
        where << QStringLiteral("address = ?");
        values << f.address;
    }
    if (!f.status.isEmpty()) {
        where << QStringLiteral("status = ?");
        values << f.status;
    }
    if (f.since.isValid()) {
        where << QStringLiteral("started_ms >= ?");
        values << f.since.toMSecsSinceEpoch();
    }
    if (f.until.isValid()) {
        where << QStringLiteral("started_ms < ?");
        values << f.until.toMSecsSinceEpoch();
    }
    QString sql = QStringLiteral("SELECT ") + keyColumns() + QStringLiteral(" FROM runs");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY started_ms DESC, id DESC");
    if (f.limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(f.limit);
    QSqlQuery q(m_db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q;
}

std::optional<QList<Run>> Store::list(const Filter& filter, QString* why)
{
    QSqlQuery q = listQuery(filter);
    q.setForwardOnly(true);
    if (!q.exec()) {
        *why = errorOf(q.lastError());
        return std::nullopt;
    }
    QList<Run> runs;
    while (q.next())
        runs << runAt(q);
    return runs;
}

std::optional<QByteArray> Store::record(qint64 id, QString* why, QByteArray* signature)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT record, signature FROM runs WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        *why = errorOf(q.lastError());
        return std::nullopt;
    }
    why->clear();
    if (!q.next())
        return std::nullopt;
    if (signature)
        *signature = q.value(1).toString().toUtf8();
    return q.value(0).toString().toUtf8();
}

} // namespace History
