#include "spreadsheet/Workbook.h"

#include "files/PlainFile.h"
#include "spreadsheet/DisplayText.h"
#include "spreadsheet/OdsFile.h"
#include "spreadsheet/XlsFile.h"
#include "spreadsheet/XlsxFile.h"
#include "table/NumberText.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <algorithm>

namespace Spreadsheet {

std::optional<CellRef> parseCellRef(const QString& address)
{
    // [$]letters[$]digits, by hand: sheets hold hundreds of thousands of references.
    const QString a = address.trimmed();
    qsizetype i = 0;
    const auto dollar = [&] {
        if (i < a.size() && a[i] == u'$')
            ++i;
    };
    dollar();
    int col = 0, letters = 0;
    for (; i < a.size() && letters < 4; ++i, ++letters) {
        const char16_t c = QChar::toUpper(a[i].unicode());
        if (c < u'A' || c > u'Z')
            break;
        col = col * 26 + (c - u'A' + 1);
    }
    dollar();
    int row = 0, digits = 0;
    for (; i < a.size() && digits < 8; ++i, ++digits) {
        if (a[i] < u'0' || a[i] > u'9')
            break;
        row = row * 10 + (a[i].unicode() - u'0');
    }
    if (i != a.size() || letters < 1 || letters > 3 || digits < 1 || digits > 7 || row < 1 || row > MaxSheetRows || col > MaxSheetColumns)
        return std::nullopt;
    return CellRef{row - 1, col - 1};
}

std::optional<RangeRef> parseRange(const QString& address)
{
    const QStringList parts = address.split(u':');
    if (parts.size() > 2)
        return std::nullopt;
    const auto a = parseCellRef(parts[0]);
    const auto b = parseCellRef(parts.size() == 2 ? parts[1] : parts[0]);
    if (!a || !b)
        return std::nullopt;
    return RangeRef{std::min(a->row, b->row), std::min(a->col, b->col), std::max(a->row, b->row), std::max(a->col, b->col)};
}

QString columnName(int col)
{
    QString name;
    for (int n = col + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

QString displayText(const Cell& cell)
{
    switch (cell.kind) {
    case CellKind::Empty: return QString();
    case CellKind::Number: return formatNumber(cell.number, cell.format);
    case CellKind::Boolean: return cell.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellKind::Text:
    case CellKind::Error: return cell.text;
    }
    return QString();
}

std::optional<double> parseNumber(const QString& text) { return NumberText::toNumber(text); }

QString decimalsFormat(int decimals)
{
    return decimals > 0 ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0')) : QStringLiteral("0");
}

// ---- Sheet ----

Cell Sheet::cell(int row, int col) const
{
    const auto it = m_cells.find({row, col});
    if (it != m_cells.end())
        return it->second;
    Cell empty;
    empty.format = defaultFormat(row, col);
    return empty;
}

QString Sheet::defaultFormat(int row, int col) const
{
    if (const auto r = m_rowFormats.find(row); r != m_rowFormats.end())
        return r->second;
    if (const auto c = m_columnFormats.find(col); c != m_columnFormats.end())
        return c->second;
    return QStringLiteral("General");
}

void Sheet::setCell(int row, int col, const Cell& cell)
{
    if (cell.kind == CellKind::Empty && cell.format == defaultFormat(row, col))
        m_cells.erase({row, col});
    else
        m_cells[{row, col}] = cell;
}

void Sheet::setNumber(int row, int col, double value)
{
    Cell c = cell(row, col);
    c.kind = CellKind::Number;
    c.number = value;
    c.text.clear();
    setCell(row, col, c);
}

void Sheet::setText(int row, int col, const QString& text)
{
    Cell c = cell(row, col);
    c.kind = text.isEmpty() ? CellKind::Empty : CellKind::Text;
    c.number = 0;
    c.text = text;
    setCell(row, col, c);
}

QString Sheet::NumberFormat(const QString& range) const
{
    const auto r = parseRange(range);
    if (!r)
        return QString();
    const QString first = cell(r->row1, r->col1).format;
    for (int row = r->row1; row <= r->row2; ++row)
        for (int col = r->col1; col <= r->col2; ++col)
            if (cell(row, col).format != first)
                return QString();
    return first;
}

bool Sheet::setNumberFormat(const QString& range, const QString& code)
{
    const auto r = parseRange(range);
    if (!r || qint64(r->row2 - r->row1 + 1) * (r->col2 - r->col1 + 1) > 100000)
        return false;
    for (int row = r->row1; row <= r->row2; ++row)
        for (int col = r->col1; col <= r->col2; ++col) {
            Cell c = cell(row, col);
            c.format = code;
            setCell(row, col, c);
        }
    return true;
}

QString Sheet::Copy(const QString& range) const
{
    const auto r = parseRange(range);
    if (!r)
        return QString();
    QString out;
    for (int row = r->row1; row <= r->row2; ++row) {
        for (int col = r->col1; col <= r->col2; ++col) {
            if (col > r->col1)
                out += u'\t';
            // TAB and line ends inside a cell would shift the cells after it.
            QString shown = displayText(cell(row, col));
            for (QChar& c : shown)
                if (c == u'\t' || c == u'\r' || c == u'\n')
                    c = u' ';
            out += shown;
        }
        out += QStringLiteral("\r\n");
    }
    return out;
}

bool Sheet::Select(const QString& address)
{
    const auto c = parseCellRef(address);
    if (c)
        m_selection = *c;
    return bool(c);
}

void Sheet::Paste(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (t.endsWith(u'\n'))
        t.chop(1);
    const QStringList lines = t.split(u'\n');
    for (int i = 0; i < lines.size() && m_selection.row + i < MaxSheetRows; ++i) {
        const QStringList pieces = lines[i].split(u'\t');
        for (int j = 0; j < pieces.size() && m_selection.col + j < MaxSheetColumns; ++j) {
            const int row = m_selection.row + i, col = m_selection.col + j;
            if (const auto v = parseNumber(pieces[j]))
                setNumber(row, col, *v);
            else
                setText(row, col, pieces[j]);
        }
    }
}

// ---- Application ----

Workbook& Application::Add()
{
    m_books.push_back(std::make_unique<Workbook>());
    return *m_books.back();
}

Workbook* Application::Open(const QString& path, QString* error)
{
    // A FIFO or a device would block the read or never end it.
    if (const QString refusal = PlainFile::readRefusal(path); !refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return nullptr;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return nullptr;
    }
    const QByteArray magic = file.read(8);
    file.close();
    std::optional<Sheet> sheet;
    QString reason;
    if (magic.startsWith("PK\x03\x04"))
        sheet = isOds(path) ? readOds(path, &reason) : readXlsx(path, &reason);
    else if (magic == QByteArray::fromHex("D0CF11E0A1B11AE1"))
        sheet = readXls(path, &reason); // also where an encrypted .xlsx ends up
    else
        reason = QStringLiteral("not a workbook");
    if (!sheet) {
        if (error)
            *error = reason;
        return nullptr;
    }
    Workbook& book = Add();
    book.ActiveSheet() = std::move(*sheet);
    book.setPath(path);
    return &book;
}

bool Application::SaveCopyAs(const QString& path, QString* error)
{
    Workbook* book = ActiveWorkbook();
    if (!book) {
        if (error)
            *error = QStringLiteral("no workbook is open");
        return false;
    }
    return writeXlsx(book->ActiveSheet(), path, error);
}

void Application::Close(Workbook* book)
{
    m_books.erase(std::remove_if(m_books.begin(), m_books.end(), [book](const auto& b) { return b.get() == book; }), m_books.end());
}

} // namespace Spreadsheet
