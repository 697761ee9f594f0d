#pragma once
// Blocks of cell texts as the clipboard carries them: TAB between cells, a line break
// between rows, as spreadsheets copy and paste them.
#include <QList>
#include <QString>
#include <QStringList>

namespace GridClipboard {

// Rows of cells as one clipboard text, each row ended by "\n".
QString toText(const QList<QStringList>& rows);
// Clipboard text as rows of trimmed cells; CRLF, CR and LF all end a row, and a final
// line break adds no empty row. An empty text gives no rows.
QList<QStringList> fromText(const QString& text);
// Number of cells in the rows.
int valueCount(const QList<QStringList>& rows);

} // namespace GridClipboard
