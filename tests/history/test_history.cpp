// The run history: DEST strings, the store and its schema on SQLite and on a real PostgreSQL
// server, and the real program writing it while simulated meters answer.
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "common/PostgresServer.h"
#include "common/ProgramEnvironment.h"
#include "history/HistorySpool.h"
#include "history/HistoryStore.h"
#include "meter-sim/SimulatedMeter.h"
#include "meter-sim/SimulatorOptions.h"
#include "programming/RunRecord.h"

namespace {
struct Ran {
    int status = -1;
    QString err;
    QByteArray out;
};

QByteArray recordText(const QString& tag, const QString& address, int status, const QDateTime& start)
{
    RunRecord r;
    r.timeStart = r.timeEnd = start;
    r.tag = tag;
    r.meter.address = address;
    r.status = status;
    r.points = {{"4.000", "0.000"}, {"20.000", "100.000"}};
    return Record::toJsonText(r);
}
History::Filter filter(const QString& tag, const QString& address = {}, const QString& status = {}, const QDateTime& since = {},
                       const QDateTime& until = {}, int limit = -1)
{
    return {tag, address, status, since, until, limit};
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<PostgresServer> m_pg;
    QString m_settings = m_dir.filePath("s.txt"), m_table = m_dir.filePath("t.xlsx");
    int m_files = 0;

    QString dest(const QString& kind) { return kind == "pg" ? m_pg->uri() : m_dir.filePath(QStringLiteral("h%1.sqlite").arg(++m_files)); }
    std::unique_ptr<History::Store> open(const QString& text)
    {
        QString why;
        auto store = std::make_unique<History::Store>(*History::parseDest(text, &why));
        return store->open(&why) ? std::move(store) : (qWarning("%s", qPrintable(why)), nullptr);
    }
    void start(QProcess& p, const QStringList& args, const QProcessEnvironment& env = {})
    {
        p.setProcessEnvironment(env.isEmpty() ? programEnvironment(m_dir.path()) : env);
        p.start(LINEARIZER_EXE, args);
    }
    // The program run to its end, the event loop running meanwhile (the simulated meters answer).
    Ran run(const QStringList& args, const QProcessEnvironment& env = {})
    {
        QProcess p;
        start(p, args, env);
        return finish(p);
    }
    static Ran finish(QProcess& p)
    {
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
            p.kill(), p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError()), p.readAllStandardOutput()};
    }
    QStringList program(const SimulatedMeter& sim, const QString& history, const QString& tag)
    {
        return {"program", "--settings", m_settings, "--table", m_table, "--port", sim.devicePath(), "--history", history, "--tag", tag};
    }
    QJsonArray listed(const QString& history, const QString& tag)
    {
        const Ran r = run({"history", "--history", history, "--tag", tag, "--json"});
        return r.status == 0 ? QJsonDocument::fromJson(r.out).array() : (qWarning("%s", qPrintable(r.err)), QJsonArray());
    }
    static std::unique_ptr<SimulatedMeter> meter(const QStringList& options = {})
    {
        return SimulatedMeter::start(SimulatorOptions::parse(options).config);
    }
    void kinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("SQLite") << "sqlite";
        QTest::newRow("PostgreSQL") << "pg";
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath("state"))); // the program's (programEnvironment)
        m_pg = std::make_unique<PostgresServer>();
        QVERIFY2(m_pg->isRunning(), qPrintable(m_pg->error()));
        const Ran fit = run({"fit", "--shape", "sqrt", "--input", "4:20", "--display", "0:100", "--type", "Current", "--decimal",
                             "ddd.ddd", "--points", "3", "--out", m_table, "--settings-out", m_settings});
        QVERIFY2(fit.status == 0, qPrintable(fit.err));
    }
    void cleanupTestCase() { m_pg.reset(); }

    void dest_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // kind|host|port|user|database|options, or "!" and a part of the fault
        QTest::newRow("file") << "/var/h.sqlite" << "0|||||";
        QTest::newRow("URI") << "postgresql://ann@db.example:5433/hist" << "1|db.example|5433|ann|hist|connect_timeout=5";
        QTest::newRow("socket") << "postgres:///hist?host=/run/pg&user=ann&sslmode=disable" << "1|/run/pg|-1|ann|hist|sslmode=disable;connect_timeout=5";
        QTest::newRow("empty") << "" << "!is empty";
        QTest::newRow("other scheme") << "mysql://h/db" << "!not \"mysql://...\"";
        QTest::newRow("password") << "postgresql://ann:s3cret@h/db" << "!holds a password";
        QTest::newRow("password parameter") << "postgresql:///db?password=s3cret" << "!holds a password";
        QTest::newRow("bad port") << "postgresql://ann:s3cret@h:99999/db" << "!not a valid URI";
        QTest::newRow("unquotable value") << "postgresql:///db?options=-c%20x" << "!cannot be passed on";
        QTest::newRow("two databases") << "postgresql:///a/b" << "!more than one database";
    }
    void dest()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QString fault;
        const auto d = History::parseDest(text, &fault);
        if (parsed.startsWith('!')) {
            QVERIFY(!d);
            QVERIFY2(fault.contains(parsed.mid(1)) && !fault.contains("s3cret"), qPrintable(fault));
            return;
        }
        QVERIFY2(d, qPrintable(fault));
        QCOMPARE(QStringList({QString::number(d->kind), d->host, d->kind ? QString::number(d->port) : "", d->user, d->database, d->options})
                     .join('|'), parsed);
    }

    // Filters, the newest first, a uuid stored once, and the record exactly as written.
    void storeAndList_data() { kinds(); }
    void storeAndList()
    {
        QFETCH(QString, kind);
        const auto store = open(dest(kind));
        QVERIFY(store);
        const QString tag = "SL-" + kind;
        const QDateTime t0 = QDateTime::fromString("2026-03-02T10:00:00+01:00", Qt::ISODate);
        const QList<QByteArray> records{recordText(tag + "-1", "001", 0, t0), recordText(tag + "-2", "002", 1, t0.addDays(1)),
                                        recordText("X" + tag, "001", 0, t0.addDays(2))};
        QString why;
        for (int i = 0; i < records.size(); ++i)
            QVERIFY2(store->store(records[i], kind + QString::number(i), "", &why), qPrintable(why));
        QVERIFY(store->store(records[0], kind + "0", "", &why)); // the same run again
        QCOMPARE(store->list(filter(tag + "*"), &why)->size(), 2);
        const QList<History::Run> all = *store->list(filter("*" + tag + "*"), &why);
        QCOMPARE(all.size(), 3);
        QCOMPARE(all[0].tag, "X" + tag);
        QCOMPARE(*store->record(all[2].id, &why), records[0]);
        QCOMPARE(store->list(filter("*" + tag + "*", "001"), &why)->size(), 2);
        const QList<History::Run> failed = *store->list(filter("*" + tag + "*", {}, "failed"), &why);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].exit, 1);
        QCOMPARE(store->list(filter("*" + tag + "*", {}, {}, t0.addDays(1), t0.addDays(2)), &why)->size(), 1);
        QCOMPARE(store->list(filter("*" + tag + "*", {}, {}, {}, {}, 1), &why)->value(0).id, all[0].id);
    }

    // A history of schema version 1 (no signature column) is brought to the current version
    // with its runs.
    void migration_data() { kinds(); }
    void migration()
    {
        QFETCH(QString, kind);
        QString text = dest(kind), why;
        if (kind == "pg") { // a database of its own
            auto admin = open(text);
            QVERIFY(admin);
            QVERIFY(QSqlQuery(admin->database()).exec("CREATE DATABASE old_schema"));
            text.replace("postgres?", "old_schema?");
        }
        const History::Dest d = *History::parseDest(text, &why);
        {
            History::Store raw(d);
            QVERIFY(raw.open(&why)); // a current schema, replaced below by version 1's
            QSqlQuery q(raw.database());
            QVERIFY(q.exec("DROP TABLE runs") && q.exec("DROP TABLE schema_version"));
            for (const QString& sql : History::migrations().first().statements(d.kind))
                QVERIFY2(q.exec(sql), qPrintable(sql));
            QVERIFY(q.exec("UPDATE schema_version SET version = 1"));
            QVERIFY(q.exec("INSERT INTO runs (uuid, time_start, time_end, started_ms, host, operator, tag, port, address, baud, status, "
                           "exit, points, table_sha256, record) VALUES ('old', 't', 't', 0, 'h', 'o', 'OLD', 'p', '007', 2400, "
                           "'programmed', 0, 2, 'x', '{}')"));
        }
        History::Store store(d);
        QVERIFY2(store.open(&why), qPrintable(why));
        QCOMPARE(store.schemaVersion(&why), History::SchemaVersion);
        QVERIFY(store.store(recordText("NEW", "008", 0, QDateTime::currentDateTime()), "new", "sig", &why));
        QCOMPARE(store.list(filter("OLD"), &why)->value(0).address, "007");
        QSqlQuery q(store.database());
        QVERIFY(q.exec("SELECT signature FROM runs ORDER BY id") && q.next() && q.value(0).isNull() && q.next());
        QCOMPARE(q.value(0).toString(), "sig");
    }

    // Three runs at once into one history: each listed once, with its status and table digest,
    // and shown byte for byte as its --record JSON.
    void parallelRuns_data() { kinds(); }
    void parallelRuns()
    {
        QFETCH(QString, kind);
        const QString history = dest(kind), tag = "PAR-" + kind;
        std::unique_ptr<SimulatedMeter> sims[] = {meter(), meter(), meter({"--refuse", "48=1"})};
        QProcess runs[3];
        for (int i = 0; i < 3; ++i)
            start(runs[i], program(*sims[i], history, tag) + QStringList{"--record", m_dir.filePath(QStringLiteral("%1%2.json").arg(kind).arg(i))});
        QList<int> statuses;
        for (QProcess& p : runs)
            statuses << finish(p).status;
        QCOMPARE(statuses, QList<int>({0, 0, 1}));
        const QJsonArray list = listed(history, tag);
        QCOMPARE(list.size(), 3);
        QSet<QString> uuids;
        int failed = 0;
        for (const QJsonValue& v : list) {
            uuids << v["uuid"].toString();
            failed += v["status"] == "failed";
            const Ran shown = run({"history", "show", QString::number(v["id"].toInteger()), "--history", history});
            QFile json(m_dir.filePath(QStringLiteral("%1%2.json").arg(kind).arg(v["exit"].toInt() ? 2 : 0)));
            QVERIFY(json.open(QIODevice::ReadOnly));
            const QByteArray record = json.readAll();
            QCOMPARE(v["table_sha256"], QJsonDocument::fromJson(record)["table"]["sha256"]);
            QCOMPARE(Record::toJsonText(Record::fromJson(record)), record); // the PDF of show --record is the run's
            if (v["exit"].toInt())
                QCOMPARE(shown.out, record);
        }
        QCOMPARE(uuids.size(), 3);
        QCOMPARE(failed, 1);
    }

    // A server that is down: the run sends nothing and says why in one line.
    void serverStoppedBefore()
    {
        const auto sim = meter();
        QVERIFY(m_pg->stop());
        const Ran r = run(program(*sim, m_pg->uri(), "DOWN"));
        QVERIFY(m_pg->start());
        QCOMPARE(r.status, 14);
        QVERIFY2(r.err.startsWith("talvo-linearizer: the history " + m_pg->uri() + " cannot be written: ") && r.err.count('\n') == 1,
                 qPrintable(r.err));
        QCOMPARE(sim->received(), QStringList());
    }

    // A server stopped while the meter is programmed: the run is kept in the spool (exit 12),
    // and stored once by the next history call, however often the spool is flushed.
    void serverStoppedDuring()
    {
        const auto sim = meter();
        QProcess p;
        start(p, program(*sim, m_pg->uri(), "DURING"));
        QVERIFY(QTest::qWaitFor([&] { return !sim->received().isEmpty(); }, 30000));
        ::kill(pid_t(p.processId()), SIGSTOP);
        const bool stopped = m_pg->stop();
        ::kill(pid_t(p.processId()), SIGCONT);
        QVERIFY(stopped);
        const Ran r = finish(p);
        QVERIFY(m_pg->start());
        QCOMPARE(r.status, 12);
        QVERIFY2(r.err.contains("the run is kept in "), qPrintable(r.err));
        QString why;
        const QString spool = History::Spool::folder(*History::parseDest(m_pg->uri(), &why));
        const QStringList kept = QDir(spool).entryList({"*.json"});
        QCOMPARE(kept.size(), 1);
        QFile::copy(QDir(spool).filePath(kept[0]), m_dir.filePath("kept.json"));
        QCOMPARE(run({"history", "flush", "--history", m_pg->uri()}).status, 0);
        QVERIFY(QDir(spool).entryList({"*.json"}).isEmpty());
        QFile::copy(m_dir.filePath("kept.json"), QDir(spool).filePath(kept[0])); // as if the flush was cut short
        const QJsonArray list = listed(m_pg->uri(), "DURING");
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0]["status"], "programmed");
        QVERIFY(QDir(spool).entryList({"*.json"}).isEmpty());
    }

    // A DEST that is no history: nothing is sent.
    void badDest_data()
    {
        QTest::addColumn<QString>("history");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("status");
        QTest::newRow("scheme") << "mysql://h/db" << "" << 64;
        QTest::newRow("password") << "postgresql://u:s3cret@h/db" << "" << 64;
        QTest::newRow("no folder") << "/nonexistent-talvo/h.sqlite" << "" << 14;
        QTest::newRow("a folder") << "." << "" << 14;
        QTest::newRow("no server") << "postgresql:///db?host=/nonexistent-talvo" << "" << 14;
        QTest::newRow("TALVO_HISTORY") << "" << "postgres://h:0x/db" << 64;
    }
    void badDest()
    {
        QFETCH(QString, history);
        QFETCH(QString, environment);
        QFETCH(int, status);
        const auto sim = meter();
        QProcessEnvironment env = programEnvironment(m_dir.path());
        env.insert("TALVO_HISTORY", environment);
        QStringList args = program(*sim, history, "BAD");
        if (history.isEmpty())
            args.remove(args.indexOf("--history"), 2);
        const Ran r = run(args, env);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.count('\n') == 1 && !r.err.contains("s3cret"), qPrintable(r.err));
        QCOMPARE(sim->received(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
