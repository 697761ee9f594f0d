#include "spreadsheet/XlsFile.h"

#include "spreadsheet/DisplayText.h"
#include "spreadsheet/PartReader.h"
#include "spreadsheet/XlsxFile.h"

#include <QFile>
#include <QHash>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-utils.h>

namespace Spreadsheet {

namespace {

enum Rec : quint16 {
    BOF = 0x0809,
    EOF_ = 0x000A,
    FILEPASS = 0x002F,
    CODEPAGE = 0x0042,
    DATEMODE = 0x0022,
    WINDOW1 = 0x003D,
    BOUNDSHEET8 = 0x0085,
    FORMAT = 0x041E,
    XF = 0x00E0,
    SST = 0x00FC,
    CONTINUE = 0x003C,
    ROW = 0x0208,
    COLINFO = 0x007D,
    NUMBER = 0x0203,
    RK = 0x027E,
    MULRK = 0x00BD,
    LABELSST = 0x00FD,
    LABEL = 0x0204,
    FORMULA = 0x0006,
    STRING = 0x0207,
    BOOLERR = 0x0205,
    BLANK = 0x0201,
    MULBLANK = 0x00BE,
};

// A fault in the workbook stream or its compound file.
Refused damaged(const QString& why) { return Refused{QStringLiteral("the workbook is damaged: %1").arg(why)}; }

// One record with the bodies of the CONTINUE records after it appended; `breaks` holds
// where each appended body starts.
struct Record {
    quint16 type = 0;
    QByteArray data;
    std::vector<qsizetype> breaks;
};

class Reader {
public:
    Reader(const QByteArray& stream, const XlsLimits& limits) : m_s(stream), m_limits(limits) {}
    qsizetype pos = 0;
    // false at the end of the stream
    bool next(Record& r)
    {
        if (pos + 4 > m_s.size())
            return false;
        r.type = u16at(pos);
        r.data = body(pos);
        r.breaks.clear();
        for (int n = 0; pos + 4 <= m_s.size() && u16at(pos) == CONTINUE; ++n) {
            if (n >= m_limits.maxContinues || r.data.size() > m_limits.maxRecordBytes)
                throw damaged(QStringLiteral("a record goes on too long"));
            r.breaks.push_back(r.data.size());
            r.data += body(pos);
        }
        return true;
    }

private:
    quint16 u16at(qsizetype at) const { return qFromLittleEndian<quint16>(m_s.constData() + at); }
    QByteArray body(qsizetype& at) const
    {
        const quint16 len = u16at(at + 2);
        if (at + 4 + len > m_s.size())
            throw damaged(QStringLiteral("the workbook stream is cut short"));
        QByteArray b = m_s.mid(at + 4, len);
        at += 4 + len;
        return b;
    }
    const QByteArray& m_s;
    const XlsLimits& m_limits;
};

// Reads the fields of one record; running past its end means the file is damaged.
class Cursor {
public:
    explicit Cursor(const Record& r, qsizetype at = 0) : m_r(r), pos(at) {}
    const Record& m_r;
    qsizetype pos;

    const char* take(qsizetype n)
    {
        if (n < 0 || pos + n > m_r.data.size())
            throw damaged(QStringLiteral("record %1 is too short").arg(m_r.type, 4, 16, QChar(u'0')));
        const char* p = m_r.data.constData() + pos;
        pos += n;
        return p;
    }
    quint8 u8() { return quint8(*take(1)); }
    quint16 u16() { return qFromLittleEndian<quint16>(take(2)); }
    quint32 u32() { return qFromLittleEndian<quint32>(take(4)); }
    double f64()
    {
        double v;
        std::memcpy(&v, take(8), 8);
        return qFromLittleEndian(v);
    }
    // A BIFF8 string: its character count (one or two bytes), flags, and characters that
    // may go on in the next CONTINUE body, which then starts with new flags.
    QString text(bool shortCount, bool extended)
    {
        qsizetype remaining = shortCount ? u8() : u16();
        quint8 flags = u8();
        quint16 runs = 0;
        quint32 ext = 0;
        if (extended && (flags & 0x08))
            runs = u16();
        if (extended && (flags & 0x04))
            ext = u32();
        QString out;
        out.reserve(remaining);
        while (remaining > 0) {
            const qsizetype end = segmentEnd();
            const int width = (flags & 1) ? 2 : 1;
            const qsizetype n = std::min(remaining, (end - pos) / width);
            const char* p = take(n * width);
            for (qsizetype i = 0; i < n; ++i)
                out += width == 2 ? QChar(qFromLittleEndian<quint16>(p + 2 * i)) : QChar(quint8(p[i]));
            remaining -= n;
            if (remaining > 0) {
                if (pos != end || end == m_r.data.size())
                    throw damaged(QStringLiteral("a string is cut short"));
                flags = u8();
            }
        }
        take(qsizetype(runs) * 4);
        take(qsizetype(ext));
        return out;
    }

private:
    qsizetype segmentEnd() const
    {
        for (qsizetype b : m_r.breaks)
            if (b >= pos)
                return b;
        return m_r.data.size();
    }
};

double rkValue(quint32 rk)
{
    double v;
    if (rk & 2) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    default: return QStringLiteral("#N/A");
    }
}

struct Globals {
    bool date1904 = false;
    int activeTab = 0;
    bool windowSeen = false;
    std::vector<quint32> sheetOffsets; // worksheets; other sheet types hold -1
    std::vector<int> tabOf;            // tab index of each worksheet
    QHash<int, QString> formats;
    std::vector<int> xfFormat;
    QStringList strings;
};

Globals readGlobals(Reader& in, const XlsLimits& limits)
{
    Globals g;
    Record r;
    if (!in.next(r) || r.type != BOF) {
        if (r.type == 0x0009 || r.type == 0x0209 || r.type == 0x0409)
            throw Refused{QStringLiteral("Excel 4.0 and older workbooks are not supported")};
        throw damaged(QStringLiteral("the workbook stream does not start with a BOF record"));
    }
    Cursor bof(r);
    if (bof.u16() != 0x0600)
        throw Refused{QStringLiteral("Excel 5.0/95 and older workbooks (BIFF5) are not supported")};
    int tab = 0;
    while (in.next(r) && r.type != EOF_) {
        Cursor c(r);
        switch (r.type) {
        case FILEPASS: throw Refused{QStringLiteral("the workbook is encrypted")};
        case CODEPAGE: break; // BIFF8 strings are Unicode or Latin-1 whatever the code page
        case DATEMODE: g.date1904 = c.u16() == 1; break;
        case WINDOW1:
            if (!g.windowSeen) {
                c.take(10);
                g.activeTab = c.u16();
                g.windowSeen = true;
            }
            break;
        case BOUNDSHEET8: {
            const quint32 offset = c.u32();
            c.u8();
            if (c.u8() == 0) { // a worksheet, not a chart or macro sheet
                g.sheetOffsets.push_back(offset);
                g.tabOf.push_back(tab);
            }
            ++tab;
            break;
        }
        case FORMAT: {
            const int id = c.u16();
            g.formats.insert(id, c.text(false, false));
            break;
        }
        case XF:
            if (g.xfFormat.size() >= 65536)
                throw damaged(QStringLiteral("too many cell styles"));
            c.u16();
            g.xfFormat.push_back(c.u16());
            break;
        case SST: {
            c.u32();
            const quint32 unique = c.u32();
            if (unique > quint32(limits.maxStrings))
                throw damaged(QStringLiteral("too many shared strings"));
            for (quint32 i = 0; i < unique && c.pos < r.data.size(); ++i)
                g.strings << c.text(false, true);
            break;
        }
        default: break;
        }
    }
    return g;
}

class SheetBuilder {
public:
    SheetBuilder(const Globals& g, const XlsLimits& limits) : m_g(g), m_limits(limits) {}
    Sheet sheet;

    QString format(int xf) const
    {
        if (xf < 0 || size_t(xf) >= m_g.xfFormat.size())
            return QStringLiteral("General");
        const int id = m_g.xfFormat[size_t(xf)];
        QString code = m_g.formats.contains(id) ? m_g.formats.value(id) : builtinNumberFormat(id);
        return code.isEmpty() ? QStringLiteral("General") : code;
    }
    bool inside(int row, int col) const { return row < m_limits.maxRows && col < m_limits.maxColumns; }
    void put(int row, int col, int xf, Cell cell)
    {
        if (!inside(row, col))
            return;
        cell.format = format(xf);
        if (cell.kind == CellKind::Number && m_g.date1904 && isDateFormat(cell.format))
            cell.number += 1462; // the 1904 date system's day 0 is 1462 days later
        if (cell.kind != CellKind::Empty) {
            if (++m_stored > m_limits.maxCells)
                throw damaged(QStringLiteral("the sheet has too many cells"));
        } else if (cell.format == sheet.defaultFormat(row, col) || ++m_blank > m_limits.maxCells) {
            return; // formatted blanks past the budget only lose their format
        }
        sheet.setCell(row, col, cell);
    }
    void number(int row, int col, int xf, double v)
    {
        Cell c;
        c.kind = std::isfinite(v) ? CellKind::Number : CellKind::Error;
        c.number = std::isfinite(v) ? v : 0;
        c.text = std::isfinite(v) ? QString() : QStringLiteral("#NUM!");
        put(row, col, xf, c);
    }
    void text(int row, int col, int xf, const QString& t)
    {
        Cell c;
        c.kind = t.isEmpty() ? CellKind::Empty : CellKind::Text;
        c.text = t;
        put(row, col, xf, c);
    }

private:
    const Globals& m_g;
    const XlsLimits& m_limits;
    int m_stored = 0, m_blank = 0;
};

Sheet readSheet(Reader& in, const Globals& g, const XlsLimits& limits)
{
    SheetBuilder b(g, limits);
    Record r;
    if (!in.next(r) || r.type != BOF)
        throw damaged(QStringLiteral("the sheet does not start with a BOF record"));
    int depth = 1; // charts inside the sheet bring their own BOF and EOF
    struct Pending {
        int row = -1, col = -1, xf = 0;
    } formulaString;
    while (depth > 0 && in.next(r)) {
        if (r.type == BOF) {
            ++depth;
            continue;
        }
        if (r.type == EOF_) {
            --depth;
            continue;
        }
        if (depth > 1)
            continue;
        Cursor c(r);
        switch (r.type) {
        case ROW: {
            const int row = c.u16();
            c.take(10);
            const quint16 flags = c.u16();
            const int xf = c.u16() & 0x0FFF;
            if ((flags & 0x80) && row < limits.maxRows)
                b.sheet.setRowFormat(row, b.format(xf));
            break;
        }
        case COLINFO: {
            const int first = c.u16(), last = c.u16();
            c.u16();
            const int xf = c.u16();
            for (int col = first; col <= last && col < limits.maxColumns; ++col)
                b.sheet.setColumnFormat(col, b.format(xf));
            break;
        }
        case NUMBER: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            b.number(row, col, xf, c.f64());
            break;
        }
        case RK: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            b.number(row, col, xf, rkValue(c.u32()));
            break;
        }
        case MULRK: {
            const int row = c.u16(), first = c.u16();
            for (int col = first; r.data.size() - c.pos > 2; ++col) {
                const int xf = c.u16();
                b.number(row, col, xf, rkValue(c.u32()));
            }
            break;
        }
        case LABELSST: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            const quint32 index = c.u32();
            if (index >= quint32(g.strings.size()))
                throw damaged(QStringLiteral("shared string %1 is missing").arg(index));
            b.text(row, col, xf, g.strings[qsizetype(index)]);
            break;
        }
        case LABEL: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            b.text(row, col, xf, c.text(false, false));
            break;
        }
        case BLANK: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            b.put(row, col, xf, Cell());
            break;
        }
        case MULBLANK: {
            const int row = c.u16(), first = c.u16();
            for (int col = first; r.data.size() - c.pos > 2; ++col)
                b.put(row, col, c.u16(), Cell());
            break;
        }
        case BOOLERR: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            const quint8 value = c.u8();
            Cell cell;
            cell.kind = c.u8() ? CellKind::Error : CellKind::Boolean;
            cell.number = value ? 1 : 0;
            cell.text = cell.kind == CellKind::Error ? errorText(value) : QString();
            b.put(row, col, xf, cell);
            break;
        }
        case FORMULA: {
            const int row = c.u16(), col = c.u16(), xf = c.u16();
            const char* value = c.take(8);
            if (qFromLittleEndian<quint16>(value + 6) != 0xFFFF) {
                Cursor v(r, 6);
                b.number(row, col, xf, v.f64());
                break;
            }
            const quint8 kind = quint8(value[0]), datum = quint8(value[2]);
            Cell cell;
            if (kind == 0) {
                formulaString = {row, col, xf}; // the text follows in a STRING record
                break;
            }
            if (kind == 1) {
                cell.kind = CellKind::Boolean;
                cell.number = datum ? 1 : 0;
            } else if (kind == 2) {
                cell.kind = CellKind::Error;
                cell.text = errorText(datum);
            }
            b.put(row, col, xf, cell);
            break;
        }
        case STRING:
            if (formulaString.row >= 0)
                b.text(formulaString.row, formulaString.col, formulaString.xf, c.text(false, false));
            formulaString = {};
            break;
        default: break;
        }
    }
    return std::move(b.sheet);
}

bool hasStream(GsfInfile* ole, const char* name)
{
    for (int i = 0; i < gsf_infile_num_children(ole); ++i)
        if (const char* n = gsf_infile_name_by_index(ole, i); n && qstricmp(n, name) == 0)
            return true;
    return false;
}

// libgsf's objects, released with their last reference.
struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GsfPtr = std::unique_ptr<T, Unref>;

// The named stream of the compound file, compared without regard to case; false when missing.
bool readStream(GsfInfile* ole, const char* name, qint64 maxBytes, QByteArray& out)
{
    for (int i = 0; i < gsf_infile_num_children(ole); ++i) {
        const char* n = gsf_infile_name_by_index(ole, i);
        if (!n || qstricmp(n, name) != 0)
            continue;
        const GsfPtr<GsfInput> stream(gsf_infile_child_by_index(ole, i));
        if (!stream)
            throw damaged(QStringLiteral("the %1 stream cannot be opened").arg(QLatin1String(name)));
        const gsf_off_t size = gsf_input_size(stream.get());
        if (size < 0 || size > maxBytes)
            throw damaged(QStringLiteral("the %1 stream is too large").arg(QLatin1String(name)));
        out.resize(qsizetype(size));
        if (size != 0 && !gsf_input_read(stream.get(), size_t(size), reinterpret_cast<guint8*>(out.data())))
            throw damaged(QStringLiteral("the %1 stream is damaged").arg(QLatin1String(name)));
        return true;
    }
    return false;
}

Sheet readCompoundFile(const QByteArray& file, const XlsLimits& limits)
{
    static std::once_flag gsfReady;
    std::call_once(gsfReady, [] {
        gsf_init();
        // Damage is reported through the result; libgsf's own warnings would only go to stderr.
        g_log_set_handler(
            "libgsf", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
    if (file.size() > limits.maxFileBytes)
        throw Refused{QStringLiteral("the file is too large")};
    GsfPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()), file.size(), FALSE));
    GError* gerror = nullptr;
    GsfPtr<GsfInfile> ole(input ? gsf_infile_msole_new(input.get(), &gerror) : nullptr);
    input.reset();
    if (gerror)
        g_error_free(gerror);
    if (!ole)
        throw Refused{QStringLiteral("not a readable .xls workbook (the compound file is damaged)")};
    QByteArray stream;
    if (!readStream(ole.get(), "Workbook", limits.maxFileBytes, stream)) {
        if (hasStream(ole.get(), "EncryptedPackage"))
            throw Refused{QStringLiteral("the workbook is encrypted")};
        throw Refused{hasStream(ole.get(), "Book") ? QStringLiteral("Excel 5.0/95 and older workbooks (BIFF5) are not supported")
                                                   : QStringLiteral("not a workbook (no Workbook stream)")};
    }
    ole.reset();
    Reader in(stream, limits);
    const Globals g = readGlobals(in, limits);
    if (g.sheetOffsets.empty())
        throw Refused{QStringLiteral("the workbook has no sheet")};
    size_t active = 0;
    for (size_t i = 0; i < g.tabOf.size(); ++i)
        if (g.tabOf[i] == g.activeTab)
            active = i;
    in.pos = qsizetype(g.sheetOffsets[active]);
    return readSheet(in, g, limits);
}

} // namespace

std::optional<Sheet> readXlsBytes(const QByteArray& file, QString* error, const XlsLimits& limits)
{
    return refusing(error, [&] { return readCompoundFile(file, limits); });
}

std::optional<Sheet> readXls(const QString& path, QString* error, const XlsLimits& limits)
{
    return refusing(error, [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Refused{file.errorString()};
        if (file.size() > limits.maxFileBytes)
            throw Refused{QStringLiteral("the file is too large")};
        return readCompoundFile(file.readAll(), limits);
    });
}

} // namespace Spreadsheet
