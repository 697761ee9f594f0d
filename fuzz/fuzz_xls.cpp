// Whole .xls files, read in process: the compound file and every BIFF8 record.
#include "spreadsheet/XlsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString error;
    if (auto sheet = Spreadsheet::readXlsBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &error))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
