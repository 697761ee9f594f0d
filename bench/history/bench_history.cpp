// The run history's cost: what storing one run adds to a run (the check before it, then the
// write after it, as program does), and a filtered list over many stored runs; on a SQLite file
// and on a throw-away PostgreSQL server over a Unix socket.
//   bench_history [runs stored, default 200] [runs listed, default 100000]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <cstdio>

#include "common/PostgresServer.h"
#include "history/HistoryStore.h"
#include "programming/RunRecord.h"

namespace {
QByteArray recordText(int i)
{
    RunRecord r;
    r.timeStart = r.timeEnd = QDateTime::currentDateTime().addSecs(-i * 60);
    r.host = QStringLiteral("rig%1").arg(i % 8);
    r.operatorName = QStringLiteral("fitter");
    r.tag = QStringLiteral("TK-%1").arg(i % 5000);
    r.port.device = QStringLiteral("/dev/ttyUSB%1").arg(i % 4);
    r.meter = {QStringLiteral("%1").arg(i % 247 + 1, 3, 10, QLatin1Char('0')), 9600, QStringLiteral("01.100")};
    r.inputType = QStringLiteral("Current");
    r.decimal = QStringLiteral("ddd.ddd");
    for (int p = 0; p < 32; ++p)
        r.points << PointRow{QString::number(4.0 + p * 0.5, 'f', 3), QString::number(p * 3.2, 'f', 3)};
    r.status = i % 20 == 0 ? 1 : 0;
    return Record::toJsonText(r);
}

// Each run as program makes it: open (schema, write check), then the run stored.
void storeRuns(const QString& name, const History::Dest& dest, int count)
{
    QList<double> ms;
    for (int i = 0; i < count; ++i) {
        const QByteArray json = recordText(i);
        QElapsedTimer t;
        t.start();
        History::Store store(dest);
        QString why;
        bool ok = store.open(&why);
        const double opened = double(t.nsecsElapsed()) / 1e6;
        ok = ok && store.store(json, QUuid::createUuid().toString(QUuid::WithoutBraces), QString(), &why);
        ms << double(t.nsecsElapsed()) / 1e6;
        if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
            std::printf("open %.1f ms, all %.1f ms\n", opened, ms.last());
        if (!ok) {
            std::printf("%s: %s\n", qPrintable(name), qPrintable(why));
            return;
        }
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::printf("%-11s store one run: mean %.1f ms, median %.1f ms, max %.1f ms (%d runs)\n", qPrintable(name), sum / count,
                ms[count / 2], ms.last(), count);
}

// Fills the history to count runs in one transaction, then times filtered lists.
void listRuns(const QString& name, const History::Dest& dest, int count)
{
    History::Store store(dest);
    QString why;
    if (!store.open(&why)) {
        std::printf("%s: %s\n", qPrintable(name), qPrintable(why));
        return;
    }
    QSqlDatabase db = store.database();
    QElapsedTimer fill;
    fill.start();
    db.transaction();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO runs (uuid, time_start, time_end, started_ms, host, operator, tag, port, address, baud, status, "
                             "exit, points, table_sha256, record) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QByteArray sample = recordText(0);
    QList<History::Run> kinds; // a thousand runs' key fields, repeated
    for (int i = 0; i < 1000; ++i)
        kinds << *History::runOf(recordText(i), &why);
    for (int i = 0; i < count; ++i) {
        const History::Run* run = &kinds[i % 1000];
        const QDateTime start = QDateTime::currentDateTime().addSecs(-qint64(i) * 60);
        for (const QVariant& v : {QVariant(QUuid::createUuid().toString()), QVariant(run->timeStart), QVariant(run->timeEnd),
                                  QVariant(start.toMSecsSinceEpoch()), QVariant(run->host), QVariant(run->operatorName),
                                  QVariant(QStringLiteral("TK-%1").arg(i % 5000)), QVariant(run->port),
                                  QVariant(QStringLiteral("%1").arg(i % 247 + 1, 3, 10, QLatin1Char('0'))), QVariant(run->baud),
                                  QVariant(i % 20 ? "programmed" : "failed"), QVariant(i % 20 ? 0 : 1), QVariant(run->points),
                                  QVariant(run->tableSha256), QVariant(QString::fromUtf8(sample))})
            q.addBindValue(v);
        q.exec();
    }
    db.commit();
    std::printf("%-11s %d runs added in %.1f s\n", qPrintable(name), count, double(fill.elapsed()) / 1000);
    const QDateTime now = QDateTime::currentDateTime();
    const QList<std::pair<const char*, History::Filter>> filters{
        {"--tag TK-42", {QStringLiteral("TK-42"), {}, {}, {}, {}, -1}},
        {"--tag 'TK-42*'", {QStringLiteral("TK-42*"), {}, {}, {}, {}, -1}},
        {"--address 7 --status failed", {{}, QStringLiteral("007"), QStringLiteral("failed"), {}, {}, -1}},
        {"--since (last 7 days)", {{}, {}, {}, now.addDays(-7), {}, -1}},
        {"--limit 100", {{}, {}, {}, {}, {}, 100}},
    };
    for (const auto& [text, filter] : filters) {
        QElapsedTimer t;
        t.start();
        const auto runs = store.list(filter, &why);
        std::printf("%-11s list %-30s %6lld runs in %.1f ms\n", qPrintable(name), text, runs ? qlonglong(runs->size()) : -1LL,
                    double(t.nsecsElapsed()) / 1e6);
    }
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int stored = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    const int listed = argc > 2 ? std::max(1, atoi(argv[2])) : 100000;
    QTemporaryDir dir;
    PostgresServer server;
    if (!server.isRunning())
        std::printf("PostgreSQL: %s\n", qPrintable(server.error()));
    QString why;
    const QList<std::pair<QString, QString>> histories{{QStringLiteral("SQLite"), dir.filePath(QStringLiteral("h.sqlite"))},
                                                       {QStringLiteral("PostgreSQL"), server.uri()}};
    for (const auto& [name, text] : histories) {
        if (name == QLatin1String("PostgreSQL") && !server.isRunning())
            continue;
        const History::Dest dest = *History::parseDest(text, &why);
        storeRuns(name, dest, stored);
        listRuns(name, dest, listed);
    }
    return 0;
}
