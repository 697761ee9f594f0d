#pragma once
// Read-only access to the parts of a zip archive (stored or deflated entries), bounded:
// the archive file, each decompressed part and all decompressed parts together have
// ceilings, checked against the declared sizes and again while inflating.
#include <QByteArray>
#include <QHash>
#include <QString>

namespace Spreadsheet {

class ZipArchive {
public:
    enum class Result { Read, Missing, Failed };

    ZipArchive(qint64 maxArchiveBytes, qint64 maxPartBytes, qint64 maxTotalBytes)
        : m_maxArchive(maxArchiveBytes), m_maxPart(maxPartBytes), m_maxTotal(maxTotalBytes) {}

    bool open(const QString& path);
    bool open(const QByteArray& archive); // the archive's bytes
    // The named part (names compared without regard to case).
    Result read(const QString& name, QByteArray& data);

    QString error; // why open() or read() failed

private:
    struct Entry {
        quint16 flags = 0, method = 0;
        quint32 crc = 0;
        quint64 packedSize = 0, size = 0, localOffset = 0;
    };
    bool fail(const QString& why);
    Result failRead(const QString& why);

    QByteArray m_bytes;
    QHash<QString, Entry> m_entries; // by lower-case name
    qint64 m_maxArchive, m_maxPart, m_maxTotal;
    qint64 m_total = 0;
};

} // namespace Spreadsheet
