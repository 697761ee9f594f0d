#include "spreadsheet/ZipArchive.h"

#include <QFile>
#include <QtEndian>
#include <zlib.h>

namespace Spreadsheet {

namespace {
quint16 u16(const QByteArray& b, qint64 at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 u32(const QByteArray& b, qint64 at) { return qFromLittleEndian<quint32>(b.constData() + at); }
} // namespace

bool ZipArchive::fail(const QString& why)
{
    error = why;
    return false;
}

ZipArchive::Result ZipArchive::failRead(const QString& why)
{
    error = why;
    return Result::Failed;
}

bool ZipArchive::open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    if (file.size() > m_maxArchive)
        return fail(QStringLiteral("the file is too large"));
    return open(file.readAll());
}

bool ZipArchive::open(const QByteArray& archive)
{
    m_bytes = archive;
    m_entries.clear();
    m_total = 0;
    const qint64 n = m_bytes.size();
    if (n > m_maxArchive)
        return fail(QStringLiteral("the file is too large"));
    // End of central directory: 22 bytes plus a comment of up to 65535 bytes.
    qint64 eocd = -1;
    for (qint64 at = n - 22; at >= 0 && at >= n - 22 - 65535; --at) {
        if (m_bytes[at] == 'P' && m_bytes.mid(at, 4) == "PK\x05\x06") {
            eocd = at;
            break;
        }
    }
    if (eocd < 0)
        return fail(QStringLiteral("not a workbook (not a zip archive)"));
    const quint16 count = u16(m_bytes, eocd + 10);
    const quint32 dirSize = u32(m_bytes, eocd + 12), dirOffset = u32(m_bytes, eocd + 16);
    if (dirOffset == 0xFFFFFFFFu || count == 0xFFFF)
        return fail(QStringLiteral("zip64 archives are not supported"));
    if (qint64(dirOffset) + dirSize > eocd)
        return fail(QStringLiteral("the zip archive is damaged"));
    qint64 at = dirOffset;
    for (int i = 0; i < count; ++i) {
        if (at + 46 > eocd || m_bytes.mid(at, 4) != "PK\x01\x02")
            return fail(QStringLiteral("the zip archive is damaged"));
        Entry e;
        e.flags = u16(m_bytes, at + 8);
        e.method = u16(m_bytes, at + 10);
        e.crc = u32(m_bytes, at + 16);
        e.packedSize = u32(m_bytes, at + 20);
        e.size = u32(m_bytes, at + 24);
        e.localOffset = u32(m_bytes, at + 42);
        const quint16 nameLen = u16(m_bytes, at + 28), extraLen = u16(m_bytes, at + 30), commentLen = u16(m_bytes, at + 32);
        if (at + 46 + nameLen > eocd)
            return fail(QStringLiteral("the zip archive is damaged"));
        const QString name = QString::fromUtf8(m_bytes.constData() + at + 46, nameLen);
        m_entries.insert(name.toLower(), e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return true;
}

ZipArchive::Result ZipArchive::read(const QString& name, QByteArray& data)
{
    data.clear();
    const auto it = m_entries.constFind(name.toLower());
    if (it == m_entries.constEnd())
        return Result::Missing;
    const Entry& e = *it;
    if (e.flags & 1)
        return failRead(QStringLiteral("the workbook is encrypted"));
    if (e.method != 0 && e.method != 8)
        return failRead(QStringLiteral("%1 uses an unsupported compression").arg(name));
    const qint64 limit = std::min(m_maxPart, m_maxTotal - m_total);
    if (qint64(e.size) > limit)
        return failRead(QStringLiteral("%1 is too large once decompressed").arg(name));
    const qint64 local = qint64(e.localOffset);
    if (local + 30 > m_bytes.size() || m_bytes.mid(local, 4) != "PK\x03\x04")
        return failRead(QStringLiteral("%1 is damaged").arg(name));
    const qint64 start = local + 30 + u16(m_bytes, local + 26) + u16(m_bytes, local + 28);
    if (start + qint64(e.packedSize) > m_bytes.size())
        return failRead(QStringLiteral("%1 is damaged").arg(name));
    const char* packed = m_bytes.constData() + start;

    if (e.method == 0) {
        data = QByteArray(packed, qsizetype(e.packedSize));
    } else {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return failRead(QStringLiteral("%1 cannot be decompressed").arg(name));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed));
        z.avail_in = uInt(e.packedSize);
        char buffer[65536];
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            rc = inflate(&z, Z_NO_FLUSH);
            const qint64 produced = qint64(sizeof buffer - z.avail_out);
            if (data.size() + produced > limit) {
                inflateEnd(&z);
                data.clear();
                return failRead(QStringLiteral("%1 is too large once decompressed").arg(name));
            }
            data.append(buffer, qsizetype(produced));
            if (rc == Z_BUF_ERROR && z.avail_in == 0)
                break; // input ended before the stream did
        }
        inflateEnd(&z);
        if (rc != Z_STREAM_END)
            return failRead(QStringLiteral("%1 is damaged").arg(name));
    }
    if (quint64(data.size()) != e.size
        || crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())) != e.crc)
        return failRead(QStringLiteral("%1 is damaged (checksum error)").arg(name));
    m_total += data.size();
    return Result::Read;
}

} // namespace Spreadsheet
