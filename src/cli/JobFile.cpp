#include "cli/JobFile.h"

#include "cli/CommandLine.h"
#include "files/PlainFile.h"
#include "link/MeterLink.h"
#include "table/MeterRules.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr qint64 MaxJobBytes = 4 << 20;
const QStringList Columns{QStringLiteral("address"), QStringLiteral("table"),    QStringLiteral("tag"),
                          QStringLiteral("baud"),    QStringLiteral("settings"), QStringLiteral("operator")};

// A line's fields, split at the separator outside double quotes ("" is a quote inside them);
// nullopt when a quote is left open.
std::optional<QStringList> fieldsOf(const QString& line, QChar separator)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == u'"')
                fields.last() += c, ++i;
            else
                quoted = !quoted;
        } else if (c == separator && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    if (quoted)
        return std::nullopt;
    for (QString& f : fields)
        f = f.trimmed();
    return fields;
}

} // namespace

namespace JobFile {

std::optional<QList<JobRow>> read(const QString& path, QString* error)
{
    auto fail = [&](int line, const QString& why) {
        *error = line ? QStringLiteral("%1 row %2: %3").arg(path, QString::number(line), why) : QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    const PlainFile::Contents contents = PlainFile::read(path, MaxJobBytes);
    if (!contents.error.isEmpty()) {
        *error = contents.error; // it names the file
        return std::nullopt;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(contents.bytes);
    if (utf8.hasError())
        return fail(0, QStringLiteral("the file is not UTF-8 text"));
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    const QDir folder = QFileInfo(path).absoluteDir();

    QStringList header;
    QChar separator;
    QList<JobRow> rows;
    for (int n = 1; n <= lines.size(); ++n) {
        QString line = lines[n - 1];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (header.isEmpty()) {
            separator = line.contains(u';') ? u';' : u',';
            const auto names = fieldsOf(line, separator);
            if (!names)
                return fail(n, QStringLiteral("a double quote is not closed"));
            for (const QString& name : *names) {
                const QString column = name.toLower();
                if (column.isEmpty()) { // a spreadsheet's trailing separators
                    header << column;
                    continue;
                }
                if (!Columns.contains(column))
                    return fail(n, QStringLiteral("the column \"%1\" is not one of %2").arg(name, Columns.join(QStringLiteral(", "))));
                if (header.contains(column))
                    return fail(n, QStringLiteral("the column \"%1\" is given twice").arg(name));
                header << column;
            }
            for (const char* required : {"address", "table"})
                if (!header.contains(QLatin1String(required)))
                    return fail(n, QStringLiteral("the header has no column \"%1\"").arg(QLatin1String(required)));
            continue;
        }
        const auto fields = fieldsOf(line, separator);
        if (!fields)
            return fail(n, QStringLiteral("a double quote is not closed"));
        if (fields->join(QString()).isEmpty()) // a row of separators alone
            continue;
        if (fields->size() > header.size())
            return fail(n, QStringLiteral("%1 fields, the header names %2").arg(QString::number(fields->size()), QString::number(header.size())));
        for (qsizetype i = 0; i < fields->size(); ++i)
            if (header[i].isEmpty() && !(*fields)[i].isEmpty())
                return fail(n, QStringLiteral("\"%1\" stands in a column without a name").arg((*fields)[i]));
        auto field = [&](const char* column) { return fields->value(header.indexOf(QLatin1String(column))); };
        JobRow row;
        row.line = n;
        row.address = CommandLine::meterAddress(field("address"));
        if (row.address.isEmpty())
            return fail(n, QStringLiteral("the address \"%1\" is not 1 to 247").arg(field("address")));
        for (const JobRow& earlier : rows)
            if (earlier.address == row.address)
                return fail(n, QStringLiteral("the address %1 is row %2's too: one meter per address").arg(row.address, QString::number(earlier.line)));
        if (field("table").isEmpty())
            return fail(n, QStringLiteral("no table"));
        row.table = QDir::cleanPath(folder.filePath(field("table")));
        if (!field("settings").isEmpty())
            row.settings = QDir::cleanPath(folder.filePath(field("settings")));
        row.baud = field("baud");
        if (!row.baud.isEmpty() && !MeterLink::isListedBaud(row.baud))
            return fail(n, QStringLiteral("the baud rate \"%1\" is not %2").arg(row.baud, MeterRules::alternatives(MeterRules::bauds())));
        row.tag = field("tag");
        row.operatorName = field("operator");
        rows << row;
    }
    if (rows.isEmpty())
        return fail(0, header.isEmpty() ? QStringLiteral("the file is empty") : QStringLiteral("the file names no meter"));
    return rows;
}

} // namespace JobFile
