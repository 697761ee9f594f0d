// Whole .ods files: the zip archive, content.xml with its styles, styles.xml and settings.xml.
#include "spreadsheet/OdsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Spreadsheet::OdsLimits limits;
    limits.zip.maxPartBytes = 4 * 1024 * 1024;
    limits.zip.maxTotalBytes = 8 * 1024 * 1024;
    QString error;
    if (auto sheet = Spreadsheet::readOdsBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &error, limits))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
