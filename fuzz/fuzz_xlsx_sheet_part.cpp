// Single XML parts: the input is split at the byte 0x1E into the worksheet, the shared
// strings and the styles of an otherwise well-formed workbook.
#include "FuzzInput.h"
#include "spreadsheet/XlsxFile.h"

#include <QList>
#include <QtEndian>
#include <zlib.h>

namespace {
const char ContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "<Override PartName=\"/xl/sharedStrings.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
    "</Types>";
const char RootRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
const char Workbook[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
    "<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
const char WorkbookRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
    "Target=\"sharedStrings.xml\"/>"
    "</Relationships>";

// A zip archive of stored (uncompressed) entries.
class StoredZip {
public:
    void add(const char* name, const QByteArray& data)
    {
        const QByteArray n(name);
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
        const quint32 offset = quint32(m_out.size());
        put32(m_out, 0x04034b50);
        put16(m_out, 20);
        put16(m_out, 0);
        put16(m_out, 0);
        put16(m_out, 0);
        put16(m_out, 0);
        put32(m_out, crc);
        put32(m_out, quint32(data.size()));
        put32(m_out, quint32(data.size()));
        put16(m_out, quint16(n.size()));
        put16(m_out, 0);
        m_out += n + data;
        put32(m_dir, 0x02014b50);
        put16(m_dir, 20);
        put16(m_dir, 20);
        put16(m_dir, 0);
        put16(m_dir, 0);
        put16(m_dir, 0);
        put16(m_dir, 0);
        put32(m_dir, crc);
        put32(m_dir, quint32(data.size()));
        put32(m_dir, quint32(data.size()));
        put16(m_dir, quint16(n.size()));
        put16(m_dir, 0);
        put16(m_dir, 0);
        put16(m_dir, 0);
        put16(m_dir, 0);
        put32(m_dir, 0);
        put32(m_dir, offset);
        m_dir += n;
        ++m_count;
    }
    QByteArray finish() const
    {
        QByteArray out = m_out + m_dir;
        put32(out, 0x06054b50);
        put16(out, 0);
        put16(out, 0);
        put16(out, m_count);
        put16(out, m_count);
        put32(out, quint32(m_dir.size()));
        put32(out, quint32(m_out.size()));
        put16(out, 0);
        return out;
    }

private:
    static void put16(QByteArray& b, quint16 v)
    {
        char c[2];
        qToLittleEndian(v, c);
        b.append(c, 2);
    }
    static void put32(QByteArray& b, quint32 v)
    {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    }
    QByteArray m_out, m_dir;
    quint16 m_count = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\x1e'); // record separator between parts
    StoredZip zip;
    zip.add("[Content_Types].xml", ContentTypes);
    zip.add("_rels/.rels", RootRels);
    zip.add("xl/workbook.xml", Workbook);
    zip.add("xl/_rels/workbook.xml.rels", WorkbookRels);
    zip.add("xl/worksheets/sheet1.xml", parts.value(0));
    zip.add("xl/sharedStrings.xml", parts.value(1));
    zip.add("xl/styles.xml", parts.value(2));
    MemoryFile file(zip.finish());
    QString error;
    if (auto sheet = Spreadsheet::readXlsx(file.path(), &error))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
