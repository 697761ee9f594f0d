#include "spreadsheet/OdsFile.h"

#include "spreadsheet/PartReader.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <cmath>
#include <vector>

namespace Spreadsheet {

namespace {

const QString OfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString TableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString TextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString StyleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString NumberNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0");
const QString ConfigNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:config:1.0");

// A part of the document, its elements named in a namespace.
class Xml : public XmlReader {
public:
    Xml(const QByteArray& data, const QString& part) : XmlReader(data, part, Dtd::Named) {}
    bool start(const QString& ns, QLatin1String name) const { return x.isStartElement() && x.name() == name && x.namespaceUri() == ns; }
    bool end(const QString& ns, QLatin1String name) const { return x.isEndElement() && x.name() == name && x.namespaceUri() == ns; }
    QString attr(const QString& ns, QLatin1String name) const { return x.attributes().value(ns, name).toString(); }
    int count(const QString& ns, QLatin1String name) const
    {
        bool ok = false;
        const qint64 n = x.attributes().value(ns, name).toLongLong(&ok);
        return ok ? int(std::clamp<qint64>(n, 1, 1 << 30)) : 1;
    }
};

QString quoted(const QString& text) { return text.isEmpty() ? QString() : u'"' + QString(text).remove(u'"') + u'"'; }

// Number styles as format codes, cell styles by name.
class Styles {
public:
    explicit Styles(const OdsLimits& limits) : m_limits(limits) {}

    void read(const QByteArray& data, const QString& part)
    {
        Xml xml(data, part);
        while (xml.next())
            take(xml);
    }
    // Takes the style that starts at the current element; false when it starts none.
    bool take(Xml& xml)
    {
        if (!xml.x.isStartElement())
            return false;
        if (xml.x.namespaceUri() == NumberNs && xml.x.name().endsWith(QLatin1String("-style")))
            readNumberStyle(xml);
        else if (xml.start(StyleNs, QLatin1String("style")) && xml.attr(StyleNs, QLatin1String("family")) == QLatin1String("table-cell"))
            add(m_cells, xml.attr(StyleNs, QLatin1String("name")),
                CellStyle{xml.attr(StyleNs, QLatin1String("data-style-name")), xml.attr(StyleNs, QLatin1String("parent-style-name"))});
        else
            return false;
        return true;
    }

    // The format code of a cell style; "" for a name that is no cell style.
    QString cellFormat(const QString& name) const
    {
        if (name.isEmpty())
            return QString();
        QString at = name;
        for (int depth = 0; depth < 16 && m_cells.contains(at); ++depth) {
            const CellStyle& s = m_cells[at];
            if (!s.dataStyle.isEmpty())
                return numberFormat(s.dataStyle, 0);
            at = s.parent;
        }
        return QStringLiteral("General");
    }

private:
    struct CellStyle {
        QString dataStyle, parent;
    };
    struct NumberStyle {
        QString code, positiveStyle; // positiveStyle: applied to values >= 0 (a style:map)
    };
    template <typename Map, typename Value> void add(Map& map, const QString& name, const Value& v)
    {
        if (m_cells.size() + m_numbers.size() >= m_limits.maxStyles)
            throw Refused{QStringLiteral("too many styles")};
        map.insert(name, v);
    }

    QString numberFormat(const QString& name, int depth) const
    {
        const auto it = m_numbers.constFind(name);
        if (it == m_numbers.constEnd())
            return QStringLiteral("General");
        if (!it->positiveStyle.isEmpty() && depth < 4)
            return numberFormat(it->positiveStyle, depth + 1) + u';' + it->code;
        return it->code;
    }

    static QString digits(const Xml& xml)
    {
        const auto a = xml.x.attributes();
        const int minInt = a.hasAttribute(NumberNs, QLatin1String("min-integer-digits"))
                               ? std::clamp(a.value(NumberNs, QLatin1String("min-integer-digits")).toInt(), 0, 30)
                               : 1;
        QString code = minInt == 0 ? QStringLiteral("#") : QString(minInt, u'0');
        if (a.value(NumberNs, QLatin1String("grouping")) == QLatin1String("true"))
            code = (minInt <= 1 ? QStringLiteral("#,##") : QStringLiteral("#,")) + code;
        if (!a.hasAttribute(NumberNs, QLatin1String("decimal-places")))
            return code;
        const int decimals = std::clamp(a.value(NumberNs, QLatin1String("decimal-places")).toInt(), 0, 30);
        const int minDecimals = a.hasAttribute(NumberNs, QLatin1String("min-decimal-places"))
                                    ? std::clamp(a.value(NumberNs, QLatin1String("min-decimal-places")).toInt(), 0, decimals)
                                    : decimals;
        if (decimals > 0)
            code += u'.' + QString(minDecimals, u'0') + QString(decimals - minDecimals, u'#');
        return code;
    }

    void readNumberStyle(Xml& xml)
    {
        const QString kind = xml.x.name().toString();
        const QString name = xml.attr(StyleNs, QLatin1String("name"));
        const bool percentage = kind == QLatin1String("percentage-style");
        NumberStyle style;
        QString& code = style.code;
        bool general = false;
        const auto isLong = [&] { return xml.attr(NumberNs, QLatin1String("style")) == QLatin1String("long"); };
        while (xml.next() && !(xml.x.isEndElement() && xml.x.name() == kind && xml.x.namespaceUri() == NumberNs)) {
            if (xml.start(StyleNs, QLatin1String("map"))) {
                const QString condition = xml.attr(StyleNs, QLatin1String("condition")).remove(u' ');
                if (condition == QLatin1String("value()>=0") || condition == QLatin1String("value()>0"))
                    style.positiveStyle = xml.attr(StyleNs, QLatin1String("apply-style-name"));
                continue;
            }
            if (!xml.x.isStartElement() || xml.x.namespaceUri() != NumberNs)
                continue;
            const auto n = xml.x.name();
            if (n == QLatin1String("number")) {
                general = !xml.x.attributes().hasAttribute(NumberNs, QLatin1String("decimal-places")) &&
                          xml.attr(NumberNs, QLatin1String("grouping")) != QLatin1String("true");
                code += digits(xml);
            } else if (n == QLatin1String("scientific-number")) {
                code += digits(xml) + QStringLiteral("E+") +
                        QString(std::clamp(xml.attr(NumberNs, QLatin1String("min-exponent-digits")).toInt(), 1, 5), u'0');
            } else if (n == QLatin1String("fraction")) {
                code += QStringLiteral("# ?/?");
            } else if (n == QLatin1String("text")) {
                const QString text = xml.x.readElementText(QXmlStreamReader::IncludeChildElements).left(256);
                if (percentage && text.contains(u'%'))
                    code += quoted(text.section(u'%', 0, 0)) + u'%' + quoted(text.section(u'%', 1));
                else
                    code += quoted(text);
            } else if (n == QLatin1String("currency-symbol")) {
                code += quoted(xml.x.readElementText(QXmlStreamReader::IncludeChildElements).left(16));
            } else if (n == QLatin1String("text-content")) {
                code += u'@';
            } else if (n == QLatin1String("year")) {
                code += isLong() ? QStringLiteral("yyyy") : QStringLiteral("yy");
            } else if (n == QLatin1String("month")) {
                const bool textual = xml.attr(NumberNs, QLatin1String("textual")) == QLatin1String("true");
                code += textual ? (isLong() ? QStringLiteral("mmmm") : QStringLiteral("mmm"))
                                : (isLong() ? QStringLiteral("mm") : QStringLiteral("m"));
            } else if (n == QLatin1String("day")) {
                code += isLong() ? QStringLiteral("dd") : QStringLiteral("d");
            } else if (n == QLatin1String("day-of-week")) {
                code += isLong() ? QStringLiteral("dddd") : QStringLiteral("ddd");
            } else if (n == QLatin1String("hours")) {
                code += isLong() ? QStringLiteral("hh") : QStringLiteral("h");
            } else if (n == QLatin1String("minutes")) {
                code += isLong() ? QStringLiteral("mm") : QStringLiteral("m");
            } else if (n == QLatin1String("seconds")) {
                code += isLong() ? QStringLiteral("ss") : QStringLiteral("s");
                if (const int d = std::clamp(xml.attr(NumberNs, QLatin1String("decimal-places")).toInt(), 0, 3); d > 0)
                    code += u'.' + QString(d, u'0');
            } else if (n == QLatin1String("am-pm")) {
                code += QStringLiteral("AM/PM");
            }
        }
        if (kind == QLatin1String("boolean-style") || code.isEmpty() || (general && code == QLatin1String("0")))
            code = QStringLiteral("General");
        add(m_numbers, name, style);
    }

    const OdsLimits& m_limits;
    QHash<QString, CellStyle> m_cells;
    QHash<QString, NumberStyle> m_numbers;
};

// office:date-value "2024-03-01" or "2024-03-01T12:30:00" as a serial day number.
std::optional<double> dateSerial(const QString& text)
{
    QDateTime at = QDateTime::fromString(text.left(19), Qt::ISODate);
    if (!at.isValid())
        at = QDateTime(QDate::fromString(text.left(10), Qt::ISODate), QTime(0, 0));
    if (!at.isValid())
        return std::nullopt;
    const double seconds = at.time().msecsSinceStartOfDay() / 1000.0;
    return double(QDate(1899, 12, 30).daysTo(at.date())) + seconds / 86400;
}

// office:time-value "PT12H30M05.5S" as a fraction of days.
std::optional<double> durationDays(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^(-)?P(?:([0-9]{1,7})D)?T?(?:([0-9]{1,9})H)?(?:([0-9]{1,9})M)?(?:([0-9]{1,9}(?:\\.[0-9]+)?)S)?$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const double s =
        m.captured(2).toDouble() * 86400 + m.captured(3).toDouble() * 3600 + m.captured(4).toDouble() * 60 + m.captured(5).toDouble();
    return (m.captured(1).isEmpty() ? 1 : -1) * s / 86400;
}

class ContentReader {
public:
    ContentReader(Styles& styles, const OdsLimits& limits) : m_styles(styles), m_limits(limits) {}

    // One pass over content.xml: its automatic styles, then the active table. Only when no
    // table has the active table's name is the first one read in a second pass.
    Sheet read(const QByteArray& data, const QString& activeTable)
    {
        for (const bool firstTable : {false, true}) {
            Xml xml(data, QStringLiteral("content.xml"));
            while (xml.next()) {
                if (!firstTable && m_styles.take(xml))
                    continue;
                if (!xml.start(TableNs, QLatin1String("table")))
                    continue;
                if (!firstTable && xml.attr(TableNs, QLatin1String("name")) != activeTable) {
                    xml.x.skipCurrentElement();
                    continue;
                }
                readTable(xml);
                return std::move(m_sheet);
            }
        }
        throw Refused{QStringLiteral("the workbook has no sheet")};
    }

private:
    struct Pending {
        int col, repeat;
        Cell cell;
    };

    void readTable(Xml& xml)
    {
        int row = 0, column = 0;
        while (xml.next() && !xml.end(TableNs, QLatin1String("table"))) {
            if (xml.start(TableNs, QLatin1String("table-column"))) {
                const int repeat = xml.count(TableNs, QLatin1String("number-columns-repeated"));
                const QString format = m_styles.cellFormat(xml.attr(TableNs, QLatin1String("default-cell-style-name")));
                for (int c = column; !format.isEmpty() && c < std::min<qint64>(qint64(column) + repeat, m_limits.maxColumns); ++c)
                    m_sheet.setColumnFormat(c, format);
                column = int(std::min<qint64>(qint64(column) + repeat, m_limits.maxColumns));
            } else if (xml.start(TableNs, QLatin1String("table-row"))) {
                const int repeat = xml.count(TableNs, QLatin1String("number-rows-repeated"));
                const QString rowFormat = m_styles.cellFormat(xml.attr(TableNs, QLatin1String("default-cell-style-name")));
                const std::vector<Pending> cells = readRow(xml);
                const int last = int(std::min<qint64>(qint64(row) + repeat, m_limits.maxRows));
                for (int r = row; r < last; ++r) {
                    if (!rowFormat.isEmpty())
                        m_sheet.setRowFormat(r, rowFormat);
                    if (cells.empty() && rowFormat.isEmpty())
                        break; // an empty row repeated: nothing to store
                    for (const Pending& p : cells)
                        for (int c = p.col; c < p.col + p.repeat; ++c)
                            store(r, c, p.cell);
                }
                row = last;
                if (row >= m_limits.maxRows)
                    return; // rows further down are not read
            }
        }
    }

    // The cells of one row that have a value or a style of their own.
    std::vector<Pending> readRow(Xml& xml)
    {
        std::vector<Pending> cells;
        int col = 0;
        while (xml.next() && !xml.end(TableNs, QLatin1String("table-row"))) {
            const bool covered = xml.start(TableNs, QLatin1String("covered-table-cell"));
            if (!covered && !xml.start(TableNs, QLatin1String("table-cell")))
                continue;
            const int repeat = xml.count(TableNs, QLatin1String("number-columns-repeated"));
            Cell cell;
            cell.format = m_styles.cellFormat(xml.attr(TableNs, QLatin1String("style-name")));
            const QString type = xml.attr(OfficeNs, QLatin1String("value-type"));
            const QString value = type == QLatin1String("date")      ? xml.attr(OfficeNs, QLatin1String("date-value"))
                                  : type == QLatin1String("time")    ? xml.attr(OfficeNs, QLatin1String("time-value"))
                                  : type == QLatin1String("boolean") ? xml.attr(OfficeNs, QLatin1String("boolean-value"))
                                  : type == QLatin1String("string")  ? xml.attr(OfficeNs, QLatin1String("string-value"))
                                                                     : xml.attr(OfficeNs, QLatin1String("value"));
            const QString shown = readCellText(xml, covered ? QLatin1String("covered-table-cell") : QLatin1String("table-cell"));
            if (!covered && !type.isEmpty())
                setValue(cell, type, value, shown);
            const bool styled = !cell.format.isEmpty();
            if (cell.kind != CellKind::Empty || styled) {
                if (col + qint64(repeat) > m_limits.maxColumns && cell.kind != CellKind::Empty)
                    throw Refused{QStringLiteral("the sheet has too many columns")};
                if (!styled)
                    cell.format.clear(); // filled in from the row's or the column's format
                if (col < m_limits.maxColumns)
                    cells.push_back({col, std::min(repeat, m_limits.maxColumns - col), cell});
            }
            col = int(std::min<qint64>(qint64(col) + repeat, m_limits.maxColumns));
        }
        return cells;
    }

    void setValue(Cell& cell, const QString& type, const QString& value, const QString& shown)
    {
        std::optional<double> number;
        if (type == QLatin1String("float") || type == QLatin1String("percentage") || type == QLatin1String("currency")) {
            bool ok = false;
            const double v = value.trimmed().toDouble(&ok);
            if (ok && std::isfinite(v))
                number = v;
        } else if (type == QLatin1String("date")) {
            number = dateSerial(value);
        } else if (type == QLatin1String("time")) {
            number = durationDays(value);
        } else if (type == QLatin1String("boolean")) {
            cell.kind = CellKind::Boolean;
            cell.number = value.trimmed() == QLatin1String("true") ? 1 : 0;
            return;
        }
        if (number) {
            cell.kind = CellKind::Number;
            cell.number = *number;
            return;
        }
        const QString text = type == QLatin1String("string") && !value.isEmpty() ? value : shown;
        cell.kind = text.isEmpty() ? CellKind::Empty : CellKind::Text;
        cell.text = text.left(m_limits.maxTextChars);
    }

    // The paragraphs of a cell, leaving out annotations.
    QString readCellText(Xml& xml, QLatin1String element)
    {
        QString text;
        int paragraphs = 0;
        while (xml.next() && !xml.end(TableNs, element)) {
            if (xml.start(OfficeNs, QLatin1String("annotation"))) {
                xml.x.skipCurrentElement();
            } else if (xml.start(TextNs, QLatin1String("p")) || xml.start(TextNs, QLatin1String("h"))) {
                if (paragraphs++ > 0)
                    text += u'\n';
            } else if (xml.start(TextNs, QLatin1String("s"))) {
                text += QString(xml.count(TextNs, QLatin1String("c")) > 1000 ? 1000 : xml.count(TextNs, QLatin1String("c")), u' ');
            } else if (xml.start(TextNs, QLatin1String("tab"))) {
                text += u'\t';
            } else if (xml.start(TextNs, QLatin1String("line-break"))) {
                text += u'\n';
            } else if (xml.x.isCharacters()) {
                text += xml.x.text();
            }
            if (text.size() > m_limits.maxTextChars)
                text.truncate(m_limits.maxTextChars);
        }
        return text;
    }

    void store(int row, int col, Cell cell)
    {
        if (cell.format.isEmpty())
            cell.format = m_sheet.defaultFormat(row, col);
        if (cell.kind != CellKind::Empty) {
            if (++m_values > m_limits.maxCells)
                throw Refused{QStringLiteral("the sheet has too many cells")};
        } else if (cell.format == m_sheet.defaultFormat(row, col) || ++m_styledEmpty > m_limits.maxCells) {
            return; // styled empty cells past the budget only lose their format
        }
        m_sheet.setCell(row, col, cell);
    }

    Styles& m_styles;
    const OdsLimits& m_limits;
    Sheet m_sheet;
    int m_values = 0, m_styledEmpty = 0;
};

QString activeTableName(const QByteArray& settings)
{
    Xml xml(settings, QStringLiteral("settings.xml"));
    while (xml.next())
        if (xml.start(ConfigNs, QLatin1String("config-item")) && xml.attr(ConfigNs, QLatin1String("name")) == QLatin1String("ActiveTable"))
            return xml.x.readElementText();
    return QString();
}

Sheet readFrom(ZipArchive& zip, const OdsLimits& limits)
{
    auto part = [&](const QString& name, bool required) {
        const auto data = readPart(zip, name);
        if (!data && required)
            throw Refused{QStringLiteral("not a spreadsheet (no %1)").arg(name)};
        return data.value_or(QByteArray());
    };
    QByteArray mimetype;
    if (zip.read(QStringLiteral("mimetype"), mimetype) == ZipArchive::Result::Read &&
        !mimetype.trimmed().startsWith("application/vnd.oasis.opendocument.spreadsheet"))
        throw Refused{QStringLiteral("not a spreadsheet (%1)").arg(QString::fromLatin1(mimetype.left(80)))};
    Styles styles(limits);
    if (const QByteArray common = part(QStringLiteral("styles.xml"), false); !common.isEmpty())
        styles.read(common, QStringLiteral("styles.xml"));
    const QByteArray content = part(QStringLiteral("content.xml"), true);
    const QByteArray settings = part(QStringLiteral("settings.xml"), false);
    const QString active = settings.isEmpty() ? QString() : activeTableName(settings);
    ContentReader reader(styles, limits);
    return reader.read(content, active);
}

} // namespace

bool isOds(const QString& path)
{
    ZipArchive zip;
    return zip.open(path) && zip.contains(QStringLiteral("content.xml")) && !zip.contains(QStringLiteral("xl/workbook.xml"));
}

namespace {
// A file by path or already in memory: both open the same bounded archive.
template <typename Source> std::optional<Sheet> readSource(const Source& source, QString* error, const OdsLimits& limits)
{
    return refusing(error, [&] {
        ZipArchive zip(limits.zip);
        if (!zip.open(source))
            throw Refused{zip.error};
        return readFrom(zip, limits);
    });
}
} // namespace

std::optional<Sheet> readOds(const QString& path, QString* error, const OdsLimits& limits) { return readSource(path, error, limits); }

std::optional<Sheet> readOdsBytes(const QByteArray& file, QString* error, const OdsLimits& limits)
{
    return readSource(file, error, limits);
}

} // namespace Spreadsheet
