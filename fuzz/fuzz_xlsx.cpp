#include "FuzzInput.h"
#include "spreadsheet/XlsxFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFile file(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    Spreadsheet::XlsxLimits limits;
    limits.zip.maxPartBytes = 4 * 1024 * 1024;
    limits.zip.maxTotalBytes = 8 * 1024 * 1024;
    QString error;
    if (auto sheet = Spreadsheet::readXlsx(file.path(), &error, limits))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
