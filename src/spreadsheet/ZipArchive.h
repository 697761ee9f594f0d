#pragma once
// Read-only access to the parts of a zip archive through the system's minizip, bounded:
// the archive file, the number of entries, each decompressed part, all decompressed parts
// together and the decompression ratio have ceilings, checked against the declared sizes
// and again while inflating.
#include <QByteArray>
#include <QHash>
#include <QString>

namespace Spreadsheet {

struct ZipLimits {
    qint64 maxArchiveBytes = 64 * 1024 * 1024; // the file itself
    qint64 maxPartBytes = 32 * 1024 * 1024;    // one decompressed part
    qint64 maxTotalBytes = 64 * 1024 * 1024;   // all decompressed parts together
    int maxEntries = 4096;
    int maxRatio = 1100; // decompressed bytes per compressed byte, past the first 64 KiB
};

class ZipArchive {
public:
    enum class Result { Read, Missing, Failed };

    explicit ZipArchive(const ZipLimits& limits = ZipLimits()) : m_limits(limits) {}
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool open(const QString& path);
    bool open(const QByteArray& archive); // the archive's bytes
    bool contains(const QString& name) const { return m_entries.contains(name.toLower()); }
    // The named part (names compared without regard to case).
    Result read(const QString& name, QByteArray& data);

    QString error; // why open() or read() failed

    struct Buffer {
        QByteArray bytes;
        qint64 pos = 0;
    };

private:
    struct Entry {
        quint64 pos = 0, num = 0; // minizip's position of the entry
        quint64 packedSize = 0, size = 0;
        bool encrypted = false;
    };
    bool fail(const QString& why);
    Result failRead(const QString& why);

    ZipLimits m_limits;
    Buffer m_buffer;
    void* m_zip = nullptr;
    QHash<QString, Entry> m_entries; // by lower-case name
    qint64 m_total = 0;
};

} // namespace Spreadsheet
