#include "app/ProgramLog.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/file.h>

namespace {
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}
} // namespace

namespace ProgramLog {

QString header() { return QStringLiteral("time,device,address,input,decimal,points,result,exit"); }

QString line(const ProgramLogRecord& r)
{
    const QDateTime t = r.time.toOffsetFromUtc(r.time.offsetFromUtc());
    QStringList fields{t.toString(Qt::ISODate),      r.device, r.address, r.inputType, r.decimal, r.points, r.result,
                       QString::number(r.exitStatus)};
    for (QString& f : fields)
        f = csvField(f);
    return fields.join(QLatin1Char(','));
}

bool File::open(const QString& path, QString* error)
{
    m_path = path;
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("it is a folder");
        return false;
    }
    m_file = std::make_unique<QFile>(path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        *error = m_file->errorString();
        m_file.reset();
        return false;
    }
    return true;
}

bool File::append(const ProgramLogRecord& record, QString* error)
{
    if (!m_file) {
        *error = QStringLiteral("it is not open");
        return false;
    }
    // Runs that log to one file take turns on a lock of the file itself, which needs no
    // right to write in its folder; it is let go when the line is written or the run ends.
    if (::flock(m_file->handle(), LOCK_EX) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::flock(fd, LOCK_UN); }
    } unlock{m_file->handle()};
    QByteArray bytes;
    if (m_file->size() == 0)
        bytes = header().toUtf8() + '\n';
    bytes += line(record).toUtf8() + '\n';
    if (m_file->write(bytes) != bytes.size() || !m_file->flush()) {
        *error = m_file->errorString();
        return false;
    }
    return true;
}

} // namespace ProgramLog
