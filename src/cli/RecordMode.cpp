#include "cli/RecordMode.h"

#include "cli/CommandLine.h"
#include "cli/ProgramMode.h"
#include "record/RecordPdf.h"
#include "files/PlainFile.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"
#include "programming/RunResult.h"
#include "spreadsheet/Workbook.h"
#include "table/NumberText.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool isPdf(const QString& path) { return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0; }
bool isJson(const QString& path) { return QFileInfo(path).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0; }

using ProgramMode::say;

// The decimals of a number text ("4.000" -> 3).
int decimalsOf(const QString& text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    return dot < 0 ? 0 : int(text.size() - dot - 1);
}

} // namespace

namespace RecordMode {

QString prepare(const QStringList& paths, bool overwrite)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) { // a link to a folder too: only the files are new ones
            if (!info.isWritable())
                return QStringLiteral("the folder %1 cannot be written").arg(path);
            continue;
        }
        if (!isPdf(path) && !isJson(path))
            return QStringLiteral("--record takes a path ending in .pdf or .json, or a folder, not \"%1\"").arg(path);
        // A link would have the record written wherever it points.
        if (info.isSymLink())
            return QStringLiteral("%1 is a symbolic link").arg(path);
        if (const QString refusal = PlainFile::writeRefusal(path); !refusal.isEmpty())
            return refusal;
        const QFileInfo folder(info.absolutePath());
        if (!folder.isDir() || !folder.isWritable())
            return QStringLiteral("the folder %1 cannot be written").arg(info.absolutePath());
        if (info.exists() && !overwrite)
            return QStringLiteral("%1 exists (--record-overwrite replaces it)").arg(path);
    }
    return {};
}

bool writesJson(const QStringList& paths)
{
    return std::any_of(paths.begin(), paths.end(), [](const QString& path) { return isJson(path) || QFileInfo(path).isDir(); });
}

QList<Target> targets(const QStringList& paths, const RunRecord& record, bool overwrite)
{
    QList<Target> out;
    QStringList seen; // a path named twice is written once
    for (const QString& path : paths) {
        const QStringList files = QFileInfo(path).isDir()
                                      ? QStringList{QDir(path).filePath(Record::defaultFileName(record, QStringLiteral(".pdf"))),
                                                    QDir(path).filePath(Record::defaultFileName(record, QStringLiteral(".json")))}
                                      : QStringList{path};
        for (const QString& file : files)
            if (const QString canonical = QFileInfo(file).absoluteFilePath(); !seen.contains(canonical))
                seen << canonical, out << Target{file, overwrite && files.size() == 1};
    }
    return out;
}

QStringList write(const RunRecord& record, const QList<Target>& targets, QString* error)
{
    // A PDF names the signing key: it is written once the JSON is signed.
    QList<Target> ordered = targets;
    std::stable_partition(ordered.begin(), ordered.end(), [](const Target& t) { return isJson(t.path); });
    QStringList written;
    for (const Target& target : std::as_const(ordered)) {
        QString why;
        if (!RecordPdf::save(record, target.path, &why, target.replace)) {
            if (error->isEmpty())
                *error = why;
            continue;
        }
        written << target.path;
    }
    return written;
}

namespace {
// FILE.json.sig, when there is one: 0 signed by an allowed key, 1 a signature that does not
// check, 2 an unknown key, 64 when ssh-keygen cannot check it.
int verifySignature(const QString& path, const QByteArray& json, const QString& allowedSigners)
{
    const QString sig = RecordSignature::signaturePath(path);
    if (!QFileInfo::exists(sig)) {
        std::printf("%s: not signed (no %s)\n", qPrintable(path), qPrintable(sig));
        return 0;
    }
    const RecordSignature::Verdict v = RecordSignature::verify(json, sig, allowedSigners);
    switch (v.kind) {
    case RecordSignature::Verdict::Good:
        std::printf("%s: signed by %s with the key %s\n", qPrintable(sig), qPrintable(v.principals.join(QStringLiteral(", "))),
                    qPrintable(v.fingerprint));
        return 0;
    case RecordSignature::Verdict::UnknownKey:
        say(QStringLiteral("%1: signed by an unknown key %2 (not among the allowed signers of %3)").arg(sig, v.fingerprint, allowedSigners));
        return 2;
    case RecordSignature::Verdict::Mismatch: say(QStringLiteral("%1: altered: %2").arg(sig, v.message)); return 1;
    case RecordSignature::Verdict::Unusable: break;
    }
    say(QStringLiteral("%1 cannot be checked: %2").arg(sig, v.message));
    return RunResult::ExitUsage;
}
} // namespace

int verify(const CommandLine& cl)
{
    const PlainFile::Contents json = PlainFile::read(cl.record.verifyPath, 16 << 20);
    if (!json.error.isEmpty()) {
        say(QStringLiteral("cannot read the record: %1").arg(json.error));
        return RunResult::ExitUsage;
    }
    const QString allowedSigners =
        cl.record.allowedSigners.isEmpty() ? RecordSignature::defaultAllowedSigners() : cl.record.allowedSigners;
    if (!cl.record.allowedSigners.isEmpty() && !QFileInfo(allowedSigners).isReadable()) {
        say(QStringLiteral("cannot read the allowed signers file %1").arg(allowedSigners));
        return RunResult::ExitUsage;
    }
    const Record::Verification v = Record::verify(json.bytes);
    if (!v.intact) {
        const bool unreadable = v.reason.startsWith(QLatin1String("not a record"));
        say(QStringLiteral("%1: %2").arg(cl.record.verifyPath, unreadable ? v.reason : QStringLiteral("altered: ") + v.reason));
        return unreadable ? int(RunResult::ExitUsage) : 1;
    }
    const QList<PointRow> rows = Record::tableOf(json.bytes);
    if (v.whole)
        std::printf("%s: intact: the whole record was checked (record SHA-256 %s), table SHA-256 %s\n", qPrintable(cl.record.verifyPath),
                    qPrintable(Record::recordSha256(QJsonDocument::fromJson(json.bytes).object())),
                    qPrintable(Record::tableSha256(rows)));
    else
        std::printf("%s: table intact (SHA-256 %s); the rest of the record could not be checked: it has no record_sha256\n",
                    qPrintable(cl.record.verifyPath), qPrintable(Record::tableSha256(rows)));
    const int signature = verifySignature(cl.record.verifyPath, json.bytes, allowedSigners);
    if (signature == 1 || signature == RunResult::ExitUsage || cl.record.workbook.isEmpty())
        return signature;

    Spreadsheet::Application app;
    QString error;
    Spreadsheet::Workbook* book = app.Open(cl.record.workbook, &error);
    if (!book) {
        say(QStringLiteral("the workbook %1 cannot be read: %2").arg(cl.record.workbook, error));
        return RunResult::ExitUsage;
    }
    Spreadsheet::Sheet& sheet = book->ActiveSheet();
    sheet.setNumberFormat(QStringLiteral("A1:B32"), QStringLiteral("0.0000000000"));
    const QStringList lines = sheet.Copy(QStringLiteral("A1:B32")).split(QStringLiteral("\r\n"));
    QString difference;
    int n = 0;
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        ++n;
        if (n > rows.size()) {
            difference = QStringLiteral("the workbook has more points than the record's %1").arg(rows.size());
            break;
        }
        const PointRow& r = rows[n - 1];
        const QStringList cells = line.split(QLatin1Char('\t'));
        const QString texts[2] = {r.input, r.display};
        for (int c = 0; c < 2 && difference.isEmpty(); ++c) {
            const auto recorded = NumberText::toNumber(texts[c]);
            const auto found = NumberText::toNumber(cells.value(c).trimmed());
            const double halfUnit = 0.5 * std::pow(10.0, -decimalsOf(texts[c]));
            if (!recorded || !found || std::abs(*recorded - *found) > halfUnit * (1 + 1e-9))
                difference = QStringLiteral("point %1: the record's %2 is %3, the workbook's is \"%4\"")
                                 .arg(n)
                                 .arg(c == 0 ? QStringLiteral("input") : QStringLiteral("display"), texts[c], cells.value(c).trimmed());
        }
        if (!difference.isEmpty())
            break;
    }
    if (difference.isEmpty() && n < rows.size())
        difference = QStringLiteral("the workbook has %1 points, the record %2").arg(n).arg(rows.size());
    if (!difference.isEmpty()) {
        say(QStringLiteral("%1 differs from the record: %2").arg(cl.record.workbook, difference));
        return 1;
    }
    std::printf("%s: the same table\n", qPrintable(cl.record.workbook));
    return signature;
}

} // namespace RecordMode
