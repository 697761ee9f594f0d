#include "fitting/DataFile.h"

#include "spreadsheet/Workbook.h"
#include "table/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace Fitting {
namespace {

// Collects rows in order: titles before the first data row are skipped, after it every
// row must be two numbers; trailing empty rows end the data.
class RowCollector {
public:
    // a, b: the row's first two cells as numbers, when they are; line: its row number.
    void add(const std::optional<double>& a, const std::optional<double>& b, bool blank, int line)
    {
        if (m_read.outcome == DataRead::Outcome::BadRow)
            return;
        if (blank) {
            if (!m_read.rows.empty() && m_firstBlank == 0)
                m_firstBlank = line;
            return;
        }
        const bool numbers = a && b && std::isfinite(*a) && std::isfinite(*b);
        if (m_read.rows.empty() && !numbers)
            return; // a title or a heading
        if (m_firstBlank != 0)
            return fail(m_firstBlank, QStringLiteral("an empty row inside the data"));
        if (!numbers)
            return fail(line, QStringLiteral("not two numbers"));
        m_read.rows.push_back(DataRow{*a, *b, line});
    }
    DataRead finish()
    {
        if (m_read.outcome == DataRead::Outcome::BadRow)
            return m_read;
        if (m_read.rows.size() < 2) {
            m_read.outcome = DataRead::Outcome::BadRow;
            m_read.message = m_read.rows.empty()
                                 ? QStringLiteral("no row of two numbers (input, display value)")
                                 : QStringLiteral("row %1: only one row of data; at least 2 are needed").arg(m_read.rows.front().line);
            return m_read;
        }
        m_read.outcome = DataRead::Outcome::Read;
        return m_read;
    }

private:
    void fail(int line, const QString& why)
    {
        m_read.outcome = DataRead::Outcome::BadRow;
        m_read.message = QStringLiteral("row %1: %2").arg(line).arg(why);
        m_read.rows.clear();
    }
    DataRead m_read;
    int m_firstBlank = 0;
};

std::optional<double> numberOf(QByteArrayView piece)
{
    const QString text = QString::fromUtf8(piece).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return NumberText::toNumber(text);
}

std::optional<double> numberOf(const Spreadsheet::Cell& cell)
{
    switch (cell.kind) {
    case Spreadsheet::CellKind::Number: return cell.number;
    case Spreadsheet::CellKind::Text: return NumberText::toNumber(cell.text.trimmed());
    default: return std::nullopt;
    }
}

} // namespace

DataRead readDelimited(const QByteArray& text)
{
    RowCollector rows;
    int line = 0;
    qsizetype start = 0;
    if (text.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView row(text.constData() + start, end - start);
        start = end + 1;
        ++line;
        if (row.endsWith('\r'))
            row.chop(1);
        if (row.trimmed().isEmpty()) {
            rows.add(std::nullopt, std::nullopt, true, line);
            continue;
        }
        // The first of TAB, ";" or "," in the row separates the columns.
        qsizetype cut = -1;
        for (char separator : {'\t', ';', ','})
            if ((cut = row.indexOf(separator)) >= 0)
                break;
        if (cut < 0) {
            rows.add(numberOf(row), std::nullopt, false, line);
            continue;
        }
        QByteArrayView rest = row.sliced(cut + 1);
        const char separator = row.at(cut);
        // A third column is allowed (a note, a unit) and ignored.
        if (const qsizetype next = rest.indexOf(separator); next >= 0)
            rest = rest.first(next);
        rows.add(numberOf(row.first(cut)), numberOf(rest), false, line);
    }
    return rows.finish();
}

DataRead readSheet(const Spreadsheet::Sheet& sheet)
{
    RowCollector rows;
    int lastRow = -1;
    for (const auto& [key, cell] : sheet.cells())
        if (key.second <= 1 && cell.kind != Spreadsheet::CellKind::Empty)
            lastRow = std::max(lastRow, key.first);
    for (int r = 0; r <= lastRow; ++r) {
        const Spreadsheet::Cell a = sheet.cell(r, 0), b = sheet.cell(r, 1);
        const bool blank = a.kind == Spreadsheet::CellKind::Empty && b.kind == Spreadsheet::CellKind::Empty;
        rows.add(numberOf(a), numberOf(b), blank, r + 1);
    }
    return rows.finish();
}

DataRead readDataFile(const QString& path)
{
    DataRead read;
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        read.message =
            QFileInfo(path).isDir() ? QStringLiteral("%1 is a folder").arg(path) : QStringLiteral("%1: %2").arg(path, file.errorString());
        return read;
    }
    if (file.size() > MaxDataFileBytes) {
        read.message = QStringLiteral("%1: larger than %2 MiB").arg(path).arg(MaxDataFileBytes >> 20);
        return read;
    }
    const QByteArray magic = file.peek(8);
    if (magic.startsWith("PK\x03\x04") || magic == QByteArray::fromHex("D0CF11E0A1B11AE1")) {
        file.close();
        Spreadsheet::Application excel;
        QString why;
        const Spreadsheet::Workbook* book = excel.Open(path, &why);
        if (!book) {
            read.message = QStringLiteral("%1: %2").arg(path, why);
            return read;
        }
        return readSheet(book->ActiveSheet());
    }
    const QByteArray text = file.readAll();
    if (text.contains('\0')) {
        read.message = QStringLiteral("%1: not a text or workbook file").arg(path);
        return read;
    }
    return readDelimited(text);
}

} // namespace Fitting
