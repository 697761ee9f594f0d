#include "table/GridClipboard.h"

#include <QRegularExpression>

namespace GridClipboard {

QString toText(const QList<QStringList>& rows)
{
    QString out;
    for (const QStringList& row : rows)
        out += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return out;
}

QList<QStringList> fromText(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QList<QStringList> rows;
    for (const QString& line : lines) {
        QStringList cells = line.split(QLatin1Char('\t'));
        for (QString& c : cells)
            c = c.trimmed();
        rows.append(cells);
    }
    return rows;
}

int valueCount(const QList<QStringList>& rows)
{
    int n = 0;
    for (const QStringList& row : rows)
        n += int(row.size());
    return n;
}

} // namespace GridClipboard
