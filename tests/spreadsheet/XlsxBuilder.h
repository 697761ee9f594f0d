#pragma once
// Builds .xlsx packages part by part for tests of the reader.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QFile>
#include <QtEndian>
#include <zlib.h>

using PartList = QList<QPair<QString, QByteArray>>;

namespace zipbuild {
inline void put16(QByteArray& b, quint16 v) { char c[2]; qToLittleEndian(v, c); b.append(c, 2); }
inline void put32(QByteArray& b, quint32 v) { char c[4]; qToLittleEndian(v, c); b.append(c, 4); }
inline QByteArray deflateRaw(const QByteArray& data)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}
} // namespace zipbuild

// A zip archive with every part deflated.
inline QByteArray zipBytes(const PartList& parts)
{
    using namespace zipbuild;
    QByteArray body, directory;
    for (const auto& part : parts) {
        const QByteArray name = part.first.toUtf8();
        const QByteArray packed = deflateRaw(part.second);
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(part.second.constData()), uInt(part.second.size())));
        const quint32 offset = quint32(body.size());
        body += "PK\x03\x04";
        put16(body, 20); put16(body, 0); put16(body, 8); put16(body, 0); put16(body, 0x21);
        put32(body, crc); put32(body, quint32(packed.size())); put32(body, quint32(part.second.size()));
        put16(body, quint16(name.size())); put16(body, 0);
        body += name + packed;
        directory += "PK\x01\x02";
        put16(directory, 20); put16(directory, 20); put16(directory, 0); put16(directory, 8); put16(directory, 0); put16(directory, 0x21);
        put32(directory, crc); put32(directory, quint32(packed.size())); put32(directory, quint32(part.second.size()));
        put16(directory, quint16(name.size())); put16(directory, 0); put16(directory, 0); put16(directory, 0); put16(directory, 0);
        put32(directory, 0); put32(directory, offset);
        directory += name;
    }
    QByteArray out = body + directory;
    out += "PK\x05\x06";
    put16(out, 0); put16(out, 0); put16(out, quint16(parts.size())); put16(out, quint16(parts.size()));
    put32(out, quint32(directory.size())); put32(out, quint32(body.size())); put16(out, 0);
    return out;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline bool writeZip(const QString& path, const PartList& parts) { return writeFile(path, zipBytes(parts)); }

inline QByteArray workbookXml()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
}

inline QByteArray relsXml()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
           "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
           "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"/xl/styles.xml\"/>"
           "</Relationships>";
}

inline QByteArray sheetXml(const QByteArray& sheetData, const QByteArray& prolog = QByteArray())
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + prolog
        + "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + sheetData
        + "</sheetData></worksheet>";
}

// A package with the given sheet part and optional shared strings and styles.
inline bool writeWorkbook(const QString& path, const QByteArray& sheet, const QByteArray& strings = QByteArray(),
                          const QByteArray& styles = QByteArray())
{
    PartList parts{{"xl/workbook.xml", workbookXml()}, {"xl/_rels/workbook.xml.rels", relsXml()}, {"xl/worksheets/sheet1.xml", sheet}};
    if (!strings.isEmpty())
        parts.append({"xl/sharedStrings.xml", strings});
    if (!styles.isEmpty())
        parts.append({"xl/styles.xml", styles});
    return writeZip(path, parts);
}
