#include "spreadsheet/XlsxFile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <locale.h>
#include <map>

#include <xlsxwriter.h>

#include "files/PlainFile.h"
#include "spreadsheet/PartReader.h"

namespace Spreadsheet {

QString builtinNumberFormat(int id)
{
    static const QHash<int, QString> codes{
        {0, QStringLiteral("General")},
        {1, QStringLiteral("0")},
        {2, QStringLiteral("0.00")},
        {3, QStringLiteral("#,##0")},
        {4, QStringLiteral("#,##0.00")},
        {9, QStringLiteral("0%")},
        {10, QStringLiteral("0.00%")},
        {11, QStringLiteral("0.00E+00")},
        {12, QStringLiteral("# ?/?")},
        {13, QStringLiteral("# ?\?/?\?")},
        {14, QStringLiteral("mm-dd-yy")},
        {15, QStringLiteral("d-mmm-yy")},
        {16, QStringLiteral("d-mmm")},
        {17, QStringLiteral("mmm-yy")},
        {18, QStringLiteral("h:mm AM/PM")},
        {19, QStringLiteral("h:mm:ss AM/PM")},
        {20, QStringLiteral("h:mm")},
        {21, QStringLiteral("h:mm:ss")},
        {22, QStringLiteral("m/d/yy h:mm")},
        {37, QStringLiteral("#,##0 ;(#,##0)")},
        {38, QStringLiteral("#,##0 ;[Red](#,##0)")},
        {39, QStringLiteral("#,##0.00;(#,##0.00)")},
        {40, QStringLiteral("#,##0.00;[Red](#,##0.00)")},
        {45, QStringLiteral("mm:ss")},
        {46, QStringLiteral("[h]:mm:ss")},
        {47, QStringLiteral("mmss.0")},
        {48, QStringLiteral("##0.0E+0")},
        {49, QStringLiteral("@")},
    };
    return codes.value(id);
}

// ---- writing ----

namespace {
// The C numeric locale for this thread while it lives; the process's locale is left alone.
class CNumericLocale {
public:
    CNumericLocale() : m_c(::newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr))), m_previous(m_c ? ::uselocale(m_c) : locale_t(nullptr)) {}
    ~CNumericLocale()
    {
        if (!m_c)
            return;
        ::uselocale(m_previous);
        ::freelocale(m_c);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_previous;
};
} // namespace

bool writeXlsx(const Sheet& sheet, const QString& path, QString* error)
{
    // A FIFO would block the writer and a device or a folder would be replaced.
    if (const QString refusal = PlainFile::writeRefusal(path); !refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return false;
    }
    // libxlsxwriter writes numbers with the C library's printf: "." whatever the locale.
    const CNumericLocale numbers;
    const QByteArray fileName = QFile::encodeName(path);
    lxw_workbook* book = workbook_new(fileName.constData());
    if (!book) {
        if (error)
            *error = QStringLiteral("the workbook could not be created");
        return false;
    }
    lxw_worksheet* ws = workbook_add_worksheet(book, nullptr);
    std::map<QString, lxw_format*> formats;
    auto formatOf = [&](const QString& code) -> lxw_format* {
        if (code.isEmpty() || code == QLatin1String("General"))
            return nullptr;
        auto it = formats.find(code);
        if (it == formats.end()) {
            lxw_format* f = workbook_add_format(book);
            format_set_num_format(f, code.toUtf8().constData());
            it = formats.emplace(code, f).first;
        }
        return it->second;
    };
    lxw_error failed = LXW_NO_ERROR;
    for (const auto& [at, c] : sheet.cells()) {
        const lxw_row_t row = lxw_row_t(at.first);
        const lxw_col_t col = lxw_col_t(at.second);
        lxw_format* f = formatOf(c.format);
        lxw_error e = LXW_NO_ERROR;
        switch (c.kind) {
        case CellKind::Number: e = worksheet_write_number(ws, row, col, c.number, f); break;
        case CellKind::Boolean: e = worksheet_write_boolean(ws, row, col, c.number != 0, f); break;
        case CellKind::Text:
        case CellKind::Error: e = worksheet_write_string(ws, row, col, c.text.toUtf8().constData(), f); break;
        case CellKind::Empty: e = worksheet_write_blank(ws, row, col, f); break;
        }
        if (failed == LXW_NO_ERROR)
            failed = e;
    }
    const lxw_error closed = workbook_close(book);
    if (failed == LXW_NO_ERROR)
        failed = closed;
    if (failed != LXW_NO_ERROR) {
        if (error)
            *error = QString::fromUtf8(lxw_strerror(failed));
        return false;
    }
    return true;
}

// ---- reading ----

namespace {

// An XML part of the package, its elements named without a namespace.
class XmlPart : public XmlReader {
public:
    XmlPart(const QByteArray& data, const QString& name) : XmlReader(data, name, Dtd::Malformed) {}
    bool start(QLatin1String name) const { return x.isStartElement() && x.name() == name; }
    bool end(QLatin1String name) const { return x.isEndElement() && x.name() == name; }
    QString attr(QLatin1String name) const
    {
        for (const QXmlStreamAttribute& a : x.attributes())
            if (a.name() == name)
                return a.value().toString();
        return QString();
    }
    // Text of the <t> elements up to the end of `element`, leaving out phonetic runs.
    QString runText(QLatin1String element)
    {
        QString text;
        int phonetic = 0;
        while (next()) {
            if (end(element))
                break;
            if (start(QLatin1String("rPh")))
                ++phonetic;
            else if (end(QLatin1String("rPh")))
                --phonetic;
            else if (start(QLatin1String("t")) && phonetic == 0)
                text += x.readElementText(QXmlStreamReader::IncludeChildElements);
        }
        return text;
    }
};

// "_x000D_" escapes of characters that XML cannot hold.
QString unescapeXString(QString s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    static const QRegularExpression re(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        last = m.capturedEnd();
    }
    return out + s.mid(last);
}

std::optional<double> xmlNumber(const QString& text)
{
    const QByteArray latin = text.trimmed().toLatin1();
    double v = 0;
    const auto res = std::from_chars(latin.constData(), latin.constData() + latin.size(), v);
    if (res.ec != std::errc() || res.ptr != latin.constData() + latin.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> xmlInt(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString resolveTarget(const QString& base, const QString& target)
{
    if (target.startsWith(u'/'))
        return target.mid(1);
    return QDir::cleanPath(base + target);
}

} // namespace

namespace {
Sheet readPackage(const QString& path, const XlsxLimits& limits);
} // namespace

std::optional<Sheet> readXlsx(const QString& path, QString* error, const XlsxLimits& limits)
{
    return refusing(error, [&] { return readPackage(path, limits); });
}

namespace {

Sheet readPackage(const QString& path, const XlsxLimits& limits)
{
    ZipArchive pkg(limits.zip);
    if (!pkg.open(path))
        throw Refused{pkg.error};

    // Workbook: the active sheet's relationship id.
    const QString workbookName = QStringLiteral("xl/workbook.xml");
    const auto workbook = readPart(pkg, workbookName);
    if (!workbook)
        throw Refused{QStringLiteral("not a workbook (no %1)").arg(workbookName)};
    QStringList sheetIds;
    int activeTab = 0;
    {
        XmlPart xml(*workbook, workbookName);
        while (xml.next()) {
            if (xml.start(QLatin1String("sheet")))
                sheetIds << xml.attr(QLatin1String("id"));
            else if (xml.start(QLatin1String("workbookView")))
                activeTab = xmlInt(xml.attr(QLatin1String("activeTab"))).value_or(0);
        }
        xml.check();
    }
    if (sheetIds.isEmpty())
        throw Refused{QStringLiteral("the workbook has no sheet")};
    if (activeTab < 0 || activeTab >= sheetIds.size())
        activeTab = 0;

    // Relationships: where the sheet, the shared strings and the styles are.
    QString sheetName, stringsName = QStringLiteral("xl/sharedStrings.xml"), stylesName = QStringLiteral("xl/styles.xml");
    const QString relsName = QStringLiteral("xl/_rels/workbook.xml.rels");
    if (const auto rels = readPart(pkg, relsName)) {
        XmlPart xml(*rels, relsName);
        while (xml.next()) {
            if (!xml.start(QLatin1String("Relationship")))
                continue;
            const QString id = xml.attr(QLatin1String("Id")), type = xml.attr(QLatin1String("Type"));
            const QString target = resolveTarget(QStringLiteral("xl/"), xml.attr(QLatin1String("Target")));
            if (id == sheetIds[activeTab])
                sheetName = target;
            else if (type.endsWith(QLatin1String("/sharedStrings")))
                stringsName = target;
            else if (type.endsWith(QLatin1String("/styles")))
                stylesName = target;
        }
        xml.check();
    }
    if (sheetName.isEmpty())
        sheetName = QStringLiteral("xl/worksheets/sheet%1.xml").arg(activeTab + 1);

    // Shared strings.
    QStringList strings;
    if (const auto data = readPart(pkg, stringsName)) {
        XmlPart xml(*data, stringsName);
        while (xml.next()) {
            if (!xml.start(QLatin1String("si")))
                continue;
            if (strings.size() >= limits.maxStrings)
                throw Refused{QStringLiteral("too many shared strings")};
            strings << unescapeXString(xml.runText(QLatin1String("si")));
        }
        xml.check();
    }

    // Styles: the number format of every cell style.
    QStringList styleFormats;
    if (const auto data = readPart(pkg, stylesName)) {
        QHash<int, QString> custom;
        QList<int> xfIds;
        bool inCellXfs = false;
        XmlPart xml(*data, stylesName);
        while (xml.next()) {
            if (xml.start(QLatin1String("numFmt"))) {
                if (const auto id = xmlInt(xml.attr(QLatin1String("numFmtId"))))
                    custom.insert(*id, xml.attr(QLatin1String("formatCode")));
            } else if (xml.start(QLatin1String("cellXfs"))) {
                inCellXfs = true;
            } else if (xml.end(QLatin1String("cellXfs"))) {
                inCellXfs = false;
            } else if (inCellXfs && xml.start(QLatin1String("xf"))) {
                if (xfIds.size() >= 65536)
                    throw Refused{QStringLiteral("too many cell styles")};
                xfIds << xmlInt(xml.attr(QLatin1String("numFmtId"))).value_or(0);
            }
        }
        xml.check();
        for (int id : xfIds) {
            QString code = custom.contains(id) ? custom.value(id) : builtinNumberFormat(id);
            styleFormats << (code.isEmpty() ? QStringLiteral("General") : code);
        }
    }

    // The sheet itself.
    const auto data = readPart(pkg, sheetName);
    if (!data)
        throw Refused{QStringLiteral("the workbook's sheet %1 is missing").arg(sheetName)};
    Sheet sheet;
    int stored = 0;
    XmlPart xml(*data, sheetName);
    int row = -1, col = -1;
    QString rowFormat; // of the current row, "" for none
    auto styleFormat = [&](const QString& s) -> std::optional<QString> {
        const auto index = xmlInt(s);
        if (index && *index >= 0 && *index < styleFormats.size())
            return styleFormats[*index];
        return std::nullopt;
    };
    while (xml.next()) {
        if (xml.start(QLatin1String("col"))) {
            // Whole-column format: columns min to max, counted from 1.
            const auto min = xmlInt(xml.attr(QLatin1String("min"))), max = xmlInt(xml.attr(QLatin1String("max")));
            const auto format = styleFormat(xml.attr(QLatin1String("style")));
            if (min && max && format)
                for (int c = std::max(*min, 1); c <= std::min(*max, limits.maxColumns); ++c)
                    sheet.setColumnFormat(c - 1, *format);
            continue;
        }
        if (xml.start(QLatin1String("row"))) {
            const auto r = xmlInt(xml.attr(QLatin1String("r")));
            if (r && *r < 1)
                throw Refused{QStringLiteral("%1: bad row number").arg(sheetName)};
            row = r ? *r - 1 : row + 1;
            col = -1;
            if (row >= limits.maxRows)
                break; // rows further down are not read
            const QString custom = xml.attr(QLatin1String("customFormat"));
            const auto format = styleFormat(xml.attr(QLatin1String("s")));
            rowFormat = (custom == QLatin1String("1") || custom == QLatin1String("true")) && format ? *format : QString();
            if (!rowFormat.isEmpty())
                sheet.setRowFormat(row, rowFormat);
            continue;
        }
        if (!xml.start(QLatin1String("c")))
            continue;
        const QString ref = xml.attr(QLatin1String("r"));
        if (!ref.isEmpty()) {
            const auto at = parseCellRef(ref);
            if (!at)
                throw Refused{QStringLiteral("%1: bad cell reference %2").arg(sheetName, ref.left(20))};
            row = at->row;
            col = at->col;
        } else {
            row = std::max(row, 0);
            ++col;
        }
        if (col >= limits.maxColumns)
            throw Refused{QStringLiteral("the sheet has too many columns")};
        if (row >= limits.maxRows)
            break;
        Cell cell;
        // A cell without a style of its own takes its row's, else its column's format.
        if (const auto format = styleFormat(xml.attr(QLatin1String("s"))))
            cell.format = *format;
        else
            cell.format = sheet.defaultFormat(row, col);
        const QString type = xml.attr(QLatin1String("t"));
        QString value;
        bool hasValue = false;
        while (xml.next() && !xml.end(QLatin1String("c"))) {
            if (xml.start(QLatin1String("v"))) {
                value = xml.x.readElementText(QXmlStreamReader::IncludeChildElements);
                hasValue = true;
            } else if (xml.start(QLatin1String("is"))) {
                value = unescapeXString(xml.runText(QLatin1String("is")));
                hasValue = true;
            }
        }
        xml.check();
        if (hasValue) {
            if (type == QLatin1String("s")) {
                const auto index = xmlInt(value);
                if (!index || *index < 0 || *index >= strings.size())
                    throw Refused{QStringLiteral("%1: shared string %2 is missing").arg(sheetName, value.left(20))};
                cell.kind = CellKind::Text;
                cell.text = strings[*index];
            } else if (type == QLatin1String("inlineStr") || type == QLatin1String("str") || type == QLatin1String("d")) {
                cell.kind = CellKind::Text;
                cell.text = value;
            } else if (type == QLatin1String("b")) {
                cell.kind = CellKind::Boolean;
                cell.number = value.trimmed() == QLatin1String("1") ? 1 : 0;
            } else if (type == QLatin1String("e")) {
                cell.kind = CellKind::Error;
                cell.text = value;
            } else if (const auto v = xmlNumber(value)) {
                cell.kind = CellKind::Number;
                cell.number = *v;
            } else if (!value.trimmed().isEmpty()) {
                cell.kind = CellKind::Text;
                cell.text = value;
            }
            if (cell.kind == CellKind::Text && cell.text.isEmpty())
                cell.kind = CellKind::Empty;
        }
        if (cell.kind == CellKind::Empty && cell.format == sheet.defaultFormat(row, col))
            continue;
        if (++stored > limits.maxCells)
            throw Refused{QStringLiteral("the sheet has too many cells")};
        sheet.setCell(row, col, cell);
    }
    xml.check();
    return sheet;
}

} // namespace

} // namespace Spreadsheet
