// Single XML parts: the input is split at the byte 0x1E into the worksheet, the shared
// strings and the styles of an otherwise well-formed workbook.
#include "FuzzInput.h"
#include "spreadsheet/XlsxFile.h"

#include <QBuffer>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {
const char ContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
    "</Types>";
const char RootRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
const char Workbook[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
    "<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
const char WorkbookRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
    "</Relationships>";

void addPart(QuaZip& zip, const char* name, const QByteArray& bytes)
{
    QuaZipFile part(&zip);
    if (part.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromLatin1(name)))) {
        part.write(bytes);
        part.close();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\x1e'); // record separator between parts
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    {
        QuaZip zip(&buffer);
        if (!zip.open(QuaZip::mdCreate))
            return 0;
        addPart(zip, "[Content_Types].xml", ContentTypes);
        addPart(zip, "_rels/.rels", RootRels);
        addPart(zip, "xl/workbook.xml", Workbook);
        addPart(zip, "xl/_rels/workbook.xml.rels", WorkbookRels);
        addPart(zip, "xl/worksheets/sheet1.xml", parts.value(0));
        addPart(zip, "xl/sharedStrings.xml", parts.value(1));
        addPart(zip, "xl/styles.xml", parts.value(2));
        zip.close();
    }
    MemoryFile file(buffer.data());
    QString error;
    if (auto sheet = Spreadsheet::readXlsx(file.path(), &error))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
