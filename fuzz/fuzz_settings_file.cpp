#include "FuzzInput.h"
#include "files/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& line : SettingsFile::SplitLines(bytes))
        SettingsFile::ParseTruth(line);
    SettingsFile::LooksBinary(bytes);

    MemoryFile file(bytes);
    SettingsReader reader;
    if (reader.open(file.path())) {
        for (int line : {SettingsFile::DecimalLine, SettingsFile::AddressLine, SettingsFile::CommPortLine, SettingsFile::BaudRateLine,
                         SettingsFile::SetPointsLine})
            reader.readLine(line);
        reader.readTruth(SettingsFile::VoltageLine);
        reader.readTruth(SettingsFile::CurrentLine);
        reader.readLine(SettingsFile::LineCount);
    }
    return 0;
}
