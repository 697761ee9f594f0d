#include "cli/HistoryMode.h"

#include "record/RecordPdf.h"
#include "cli/CommandLine.h"
#include "cli/ProgramLog.h"
#include "cli/ProgramMode.h"
#include "cli/RecordMode.h"
#include "history/HistorySpool.h"
#include "history/HistoryStore.h"
#include "link/MeterLink.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"
#include "programming/RunResult.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace {
using ProgramMode::say;

// One aligned line per run, under a heading; control characters as <hh>.
void printList(const QList<History::Run>& runs)
{
    QList<QStringList> lines{{"ID", "START", "STATUS", "EXIT", "ADDRESS", "POINTS", "TAG", "PORT", "OPERATOR", "HOST"}};
    for (const History::Run& r : runs)
        lines << QStringList{QString::number(r.id), r.timeStart,    r.status, QString::number(r.exit), r.address,
                             QString::number(r.points), r.tag, r.port, r.operatorName, r.host};
    QList<qsizetype> widths(lines[0].size(), 0);
    for (QStringList& line : lines)
        for (qsizetype c = 0; c < line.size(); ++c) {
            line[c] = MeterLink::printable(line[c]);
            widths[c] = std::max(widths[c], line[c].size());
        }
    for (const QStringList& line : lines) {
        QString text;
        for (qsizetype c = 0; c < line.size(); ++c)
            text += c + 1 < line.size() ? line[c].leftJustified(widths[c] + 2) : line[c];
        std::printf("%s\n", qPrintable(text));
    }
}

void printCsv(const QList<History::Run>& runs)
{
    const QStringList columns = History::runColumns();
    std::printf("%s\n", qPrintable(columns.join(QLatin1Char(','))));
    for (const History::Run& r : runs) {
        const QJsonObject o = r.toJson();
        QStringList fields;
        for (const QString& c : columns)
            fields << ProgramLog::csvField(o.value(c).toVariant().toString());
        std::printf("%s\n", qPrintable(fields.join(QLatin1Char(','))));
    }
}

// history show ID --record PATH: the stored JSON as it is, the PDF from it, a folder both.
int writeRecord(const QByteArray& json, const QByteArray& signature, const QString& path)
{
    if (const QString why = RecordMode::prepare({path}, false); !why.isEmpty()) {
        say(QStringLiteral("cannot write the record: %1").arg(why));
        return RunResult::ExitUsage;
    }
    const RunRecord record = Record::fromJson(json);
    for (const RecordMode::Target& target : RecordMode::targets({path}, record, false)) {
        QString why;
        if (!RecordPdf::saveStored(json, target.path, &why, signature, target.replace)) {
            say(QStringLiteral("cannot write the record %1: %2").arg(target.path, why));
            return 1;
        }
        say(QStringLiteral("record written: %1").arg(target.path));
        if (!signature.isEmpty() && !target.path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            say(QStringLiteral("signature written: %1").arg(RecordSignature::signaturePath(target.path)));
    }
    return 0;
}
} // namespace

namespace HistoryMode {

std::optional<History::Dest> dest(const QString& option, QString* fault)
{
    const QString text = History::chosenDest(option);
    auto d = History::parseDest(text, fault);
    if (!d && option.isEmpty())
        *fault = QStringLiteral("TALVO_HISTORY: ") + *fault;
    return d;
}

bool open(History::Store& store, bool forWriting, qsizetype* left, const QString& consequence)
{
    QString why;
    if (!store.open(&why, forWriting)) {
        say(QStringLiteral("the history %1 cannot be %2: %3%4").arg(store.dest().shown, forWriting ? "written" : "read", why, consequence));
        return false;
    }
    const History::Spool::Flushed flushed = History::Spool::flush(store);
    if (flushed.stored > 0)
        say(QStringLiteral("%1 run(s) kept in the spool stored in the history %2").arg(flushed.stored).arg(store.dest().shown));
    for (const QString& failure : flushed.failures)
        say(QStringLiteral("a run kept in the spool is not stored yet: %1").arg(failure));
    if (left)
        *left = flushed.failures.size();
    return true;
}

bool write(History::Store& store, const QByteArray& record, const QString& uuid, const QString& signature)
{
    const History::Spool::Outcome out = History::Spool::storeOrKeep(store, record, uuid, signature);
    if (out.stored) {
        say(QStringLiteral("run stored in the history %1").arg(store.dest().shown));
        return true;
    }
    say(QStringLiteral("the run could not be stored in the history %1: %2").arg(store.dest().shown, out.why));
    if (!out.spooled.isEmpty())
        say(QStringLiteral("the run is kept in %1 until the history can be written").arg(out.spooled));
    return false;
}

int run(const CommandLine& cl)
{
    const HistoryOptions& h = cl.history;
    QString fault;
    const auto d = dest(h.history, &fault);
    if (!d)
        return CommandLine::usageError(fault);
    History::Store store(*d);
    qsizetype left = 0;
    if (!open(store, h.action == HistoryOptions::Action::Flush, &left))
        return RunResult::ExitHistory;
    QString why;
    switch (h.action) {
    case HistoryOptions::Action::Flush:
        return left > 0 ? 1 : 0;
    case HistoryOptions::Action::Show: {
        QByteArray signature;
        const std::optional<QByteArray> json = store.record(h.id, &why, &signature);
        if (!json) {
            say(why.isEmpty() ? QStringLiteral("the history %1 holds no run %2").arg(d->shown).arg(h.id)
                              : QStringLiteral("the history %1 cannot be read: %2").arg(d->shown, why));
            return why.isEmpty() ? 1 : int(RunResult::ExitHistory);
        }
        if (!h.recordPath.isEmpty())
            return writeRecord(*json, signature, h.recordPath);
        std::fwrite(json->constData(), 1, size_t(json->size()), stdout);
        return 0;
    }
    case HistoryOptions::Action::List:
        break;
    }
    const auto runs = store.list(h.filter, &why);
    if (!runs) {
        say(QStringLiteral("the history %1 cannot be read: %2").arg(d->shown, why));
        return RunResult::ExitHistory;
    }
    if (h.json) {
        QJsonArray array;
        for (const History::Run& r : *runs)
            array << r.toJson();
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
    } else if (h.csv) {
        printCsv(*runs);
    } else {
        printList(*runs);
    }
    return 0;
}

} // namespace HistoryMode
