#include "FuzzInput.h"
#include "spreadsheet/XlsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFile file(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QString error;
    if (auto sheet = Spreadsheet::readXls(file.path(), &error))
        sheet->Copy(QStringLiteral("A1:B32"));
    return 0;
}
