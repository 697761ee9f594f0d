#include "spreadsheet/ZipArchive.h"

#include <QFile>
#include <cstring>
#include <unzip.h>

namespace Spreadsheet {

namespace {
// minizip reads the archive from memory through these callbacks.
using Buffer = ZipArchive::Buffer;

voidpf ZCALLBACK memOpen(voidpf opaque, const void*, int) { return opaque; }
uLong ZCALLBACK memRead(voidpf, voidpf stream, void* buf, uLong size)
{
    auto* b = static_cast<Buffer*>(stream);
    const qint64 n = std::min<qint64>(qint64(size), b->bytes.size() - b->pos);
    if (n <= 0)
        return 0;
    std::memcpy(buf, b->bytes.constData() + b->pos, size_t(n));
    b->pos += n;
    return uLong(n);
}
uLong ZCALLBACK memWrite(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK memTell(voidpf, voidpf stream) { return ZPOS64_T(static_cast<Buffer*>(stream)->pos); }
long ZCALLBACK memSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto* b = static_cast<Buffer*>(stream);
    const qint64 base = origin == ZLIB_FILEFUNC_SEEK_SET ? 0 : origin == ZLIB_FILEFUNC_SEEK_CUR ? b->pos : b->bytes.size();
    const qint64 to = base + qint64(offset);
    if (offset > ZPOS64_T(b->bytes.size()) || to < 0 || to > b->bytes.size())
        return -1;
    b->pos = to;
    return 0;
}
int ZCALLBACK memClose(voidpf, voidpf) { return 0; }
int ZCALLBACK memError(voidpf, voidpf) { return 0; }
} // namespace

ZipArchive::~ZipArchive()
{
    if (m_zip)
        unzClose(m_zip);
}

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
    if (file.size() > m_limits.maxArchiveBytes)
        return fail(QStringLiteral("the file is too large"));
    // readAll, not read(limit): read() would first allocate the whole limit.
    return open(file.readAll());
}

bool ZipArchive::open(const QByteArray& archive)
{
    if (m_zip)
        unzClose(m_zip);
    m_zip = nullptr;
    m_entries.clear();
    m_total = 0;
    if (archive.size() > m_limits.maxArchiveBytes)
        return fail(QStringLiteral("the file is too large"));
    m_buffer = Buffer{archive, 0};
    zlib_filefunc64_def io{memOpen, memRead, memWrite, memTell, memSeek, memClose, memError, &m_buffer};
    m_zip = unzOpen2_64("", &io);
    if (!m_zip)
        return fail(QStringLiteral("not a workbook (not a zip archive)"));
    unz_global_info64 info{};
    if (unzGetGlobalInfo64(m_zip, &info) != UNZ_OK)
        return fail(QStringLiteral("the zip archive is damaged"));
    if (info.number_entry > quint64(m_limits.maxEntries))
        return fail(QStringLiteral("the zip archive has too many entries"));
    int rc = unzGoToFirstFile(m_zip);
    for (int i = 0; rc == UNZ_OK; ++i) {
        if (i >= m_limits.maxEntries)
            return fail(QStringLiteral("the zip archive has too many entries"));
        unz_file_info64 fi{};
        char name[512];
        if (unzGetCurrentFileInfo64(m_zip, &fi, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            return fail(QStringLiteral("the zip archive is damaged"));
        unz64_file_pos pos{};
        unzGetFilePos64(m_zip, &pos);
        Entry e{pos.pos_in_zip_directory, pos.num_of_file, fi.compressed_size, fi.uncompressed_size, (fi.flag & 1) != 0};
        m_entries.insert(QString::fromUtf8(name, qsizetype(strnlen(name, sizeof name))).toLower(), e);
        rc = unzGoToNextFile(m_zip);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE)
        return fail(QStringLiteral("the zip archive is damaged"));
    return true;
}

ZipArchive::Result ZipArchive::read(const QString& name, QByteArray& data)
{
    data.clear();
    const auto it = m_entries.constFind(name.toLower());
    if (it == m_entries.constEnd())
        return Result::Missing;
    const Entry& e = *it;
    if (e.encrypted)
        return failRead(QStringLiteral("the workbook is encrypted"));
    const qint64 limit = std::min(m_limits.maxPartBytes, m_limits.maxTotalBytes - m_total);
    const auto ratioLimit = [&](quint64 packed) { return qint64(packed) * m_limits.maxRatio + 65536; };
    if (qint64(e.size) > limit)
        return failRead(QStringLiteral("%1 is too large once decompressed").arg(name));
    if (qint64(e.size) > ratioLimit(e.packedSize))
        return failRead(QStringLiteral("%1 is compressed suspiciously well").arg(name));
    unz64_file_pos pos{e.pos, e.num};
    if (unzGoToFilePos64(m_zip, &pos) != UNZ_OK || unzOpenCurrentFile(m_zip) != UNZ_OK)
        return failRead(QStringLiteral("%1 is damaged").arg(name));
    char buffer[65536];
    int n = 0;
    while ((n = unzReadCurrentFile(m_zip, buffer, sizeof buffer)) > 0) {
        // The declared sizes may lie: the bounds hold for what comes out.
        if (data.size() + n > limit || data.size() + n > ratioLimit(e.packedSize)) {
            unzCloseCurrentFile(m_zip);
            data.clear();
            return failRead(QStringLiteral("%1 is too large once decompressed").arg(name));
        }
        data.append(buffer, n);
    }
    const int closed = unzCloseCurrentFile(m_zip);
    if (n < 0 || closed != UNZ_OK || quint64(data.size()) != e.size) {
        data.clear();
        return failRead(closed == UNZ_CRCERROR ? QStringLiteral("%1 is damaged (checksum error)").arg(name)
                                               : QStringLiteral("%1 is damaged").arg(name));
    }
    m_total += data.size();
    return Result::Read;
}

} // namespace Spreadsheet
