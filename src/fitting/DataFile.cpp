#include "fitting/DataFile.h"

#include "files/PlainFile.h"
#include "spreadsheet/Workbook.h"
#include "table/NumberText.h"

#include <algorithm>
#include <charconv>
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
    // A row that cannot be read as it stands ends the data.
    void refuse(int line, const QString& why)
    {
        if (m_read.outcome != DataRead::Outcome::BadRow)
            fail(line, why);
    }
    DataRead finish() // (the rows moved out, not copied: millions of them)
    {
        if (m_read.outcome == DataRead::Outcome::BadRow)
            return std::move(m_read);
        if (m_read.rows.size() < 2) {
            m_read.outcome = DataRead::Outcome::BadRow;
            m_read.message = m_read.rows.empty()
                                 ? QStringLiteral("no row of two numbers (input, display value)")
                                 : QStringLiteral("row %1: only one row of data; at least 2 are needed").arg(m_read.rows.front().line);
            return std::move(m_read);
        }
        m_read.outcome = DataRead::Outcome::Read;
        return std::move(m_read);
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

// The fields of a row split at separator; a field in double quotes may hold the separator
// ("" stands for a quote). quoted[i] tells whether field i was quoted.
QStringList fieldsOf(QByteArrayView row, char separator, QList<bool>* quoted)
{
    QStringList fields;
    const qsizetype n = row.size();
    for (qsizetype j = 0;; ++j) {
        QByteArray field;
        while (j < n && row[j] == ' ')
            ++j;
        const bool isQuoted = j < n && row[j] == '"';
        if (isQuoted) {
            for (++j; j < n; ++j) {
                if (row[j] == '"' && j + 1 < n && row[j + 1] == '"')
                    field += row[++j];
                else if (row[j] == '"')
                    break;
                else
                    field += row[j];
            }
            ++j;
        }
        for (; j < n && row[j] != separator; ++j)
            field += row[j];
        fields << QString::fromUtf8(field).trimmed();
        quoted->append(isQuoted);
        if (j >= n)
            return fields;
    }
}

// A field as a number; decimalComma reads "," as the decimal point.
std::optional<double> numberOf(QString text, bool decimalComma)
{
    if (text.isEmpty())
        return std::nullopt;
    if (decimalComma)
        text.replace(QLatin1Char(','), QLatin1Char('.'));
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

// A row of plain numbers ([+-]digits[.digits], blanks around, decimalComma: "," for the
// point) read straight from its bytes, as numberOf() reads them; false when a field is
// anything else (empty, quoted, an exponent, a word), which the full reading handles.
bool plainNumbers(QByteArrayView row, char separator, bool decimalComma, std::vector<std::optional<double>>& numbers)
{
    numbers.clear();
    char buffer[64];
    const char* at = row.data();
    const char* const end = at + row.size();
    for (;;) {
        const char* stop = std::find(at, end, separator);
        while (at < stop && (*at == ' ' || *at == '\t'))
            ++at;
        const char* last = stop;
        while (last > at && (last[-1] == ' ' || last[-1] == '\t'))
            --last;
        if (last - at >= qsizetype(sizeof buffer) || last == at)
            return false;
        size_t n = 0, digits = 0;
        bool point = false;
        for (const char* c = at; c < last; ++c) {
            if (*c >= '0' && *c <= '9') {
                ++digits;
                buffer[n++] = *c;
            } else if ((*c == '.' || (decimalComma && *c == ',')) && !point) {
                point = true;
                buffer[n++] = '.';
            } else if ((*c == '-' || *c == '+') && c == at) {
                if (*c == '-')
                    buffer[n++] = '-';
            } else {
                return false;
            }
        }
        double v = 0;
        if (digits == 0 || std::from_chars(buffer, buffer + n, v).ec != std::errc() || !std::isfinite(v))
            return false;
        numbers.push_back(v);
        if (stop == end)
            return true;
        at = stop + 1;
    }
}

} // namespace

DataRead readDelimited(const QByteArray& text, const std::atomic_bool* cancel)
{
    RowCollector rows;
    int line = 0;
    qsizetype start = 0;
    std::vector<std::optional<double>> numbers;
    if (text.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < text.size()) {
        if (cancel && line % 4096 == 0 && cancel->load(std::memory_order_relaxed)) {
            DataRead read;
            read.message = QStringLiteral("reading was cancelled");
            return read;
        }
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
        // TAB, else ";", else "," separates the fields; with TAB or ";" a "," is the decimal point.
        const char separator = row.contains('\t') ? '\t' : row.contains(';') ? ';' : ',';
        if (!plainNumbers(row, separator, separator != ',', numbers)) {
            QList<bool> quoted;
            const QStringList fields = fieldsOf(row, separator, &quoted);
            numbers.clear();
            for (qsizetype i = 0; i < fields.size(); ++i)
                numbers.push_back(numberOf(fields[i], separator != ',' || (quoted[i] && !fields[i].contains(QLatin1Char('.')))));
        }
        if (separator == ',' && std::count_if(numbers.begin(), numbers.end(), [](const auto& n) { return n.has_value(); }) > 2) {
            rows.refuse(line, QStringLiteral("\"%1\" is more than two numbers with \",\" between them; if \",\" is the decimal "
                                             "point, put \";\" between the fields")
                                  .arg(QString::fromUtf8(row.first(std::min<qsizetype>(row.size(), 40)))));
            break;
        }
        // A third field is allowed (a note, a unit) and ignored.
        rows.add(numbers[0], numbers.size() > 1 ? numbers[1] : std::nullopt, false, line);
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

DataRead readDataFile(const QString& path, const std::atomic_bool* cancel)
{
    DataRead read;
    const PlainFile::Contents file = PlainFile::read(path, MaxDataFileBytes, cancel);
    if (file.tooLarge) {
        read.message = QStringLiteral("%1: larger than %2 MiB").arg(path, QString::number(MaxDataFileBytes >> 20));
        return read;
    }
    if (!file.error.isEmpty()) {
        read.message = file.error;
        return read;
    }
    const QByteArray& text = file.bytes;
    if (text.startsWith("PK\x03\x04") || text.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1"))) {
        Spreadsheet::Application excel;
        QString why;
        const Spreadsheet::Workbook* book = excel.Open(path, &why);
        if (!book) {
            read.message = QStringLiteral("%1: %2").arg(path, why);
            return read;
        }
        return readSheet(book->ActiveSheet());
    }
    if (text.contains('\0')) {
        read.message = QStringLiteral("%1: not a text or workbook file").arg(path);
        return read;
    }
    return readDelimited(text, cancel);
}

} // namespace Fitting
