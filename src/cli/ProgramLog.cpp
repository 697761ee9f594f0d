#include "cli/ProgramLog.h"

#include "files/PlainFile.h"
#include "table/NumberText.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/file.h>

namespace ProgramLog {

// Every field quoted. One that a spreadsheet would take for a formula (=, +, - or @ first, but
// not a number; TAB or CR first) is written with a leading "'", so that it stays text. A line
// break in it (a device path may hold one) is written as \n or \r: one run, one line.
QString csvField(const QString& text)
{
    QString field = text;
    if (!field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field[0]) && !NumberText::toNumber(field))
        field.prepend(QLatin1Char('\''));
    field.replace(QLatin1Char('\n'), QStringLiteral("\\n")).replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString header() { return QStringLiteral("time,device,address,input,decimal,points,result,exit,table_sha256,record"); }

QString line(const ProgramLogRecord& r)
{
    const QDateTime t = r.time.toOffsetFromUtc(r.time.offsetFromUtc());
    QStringList fields{t.toString(Qt::ISODate),      r.device, r.address, r.inputType, r.decimal, r.points, r.result,
                       QString::number(r.exitStatus), r.tableSha256, r.recordPath};
    for (QString& f : fields)
        f = csvField(f);
    return fields.join(QLatin1Char(','));
}

bool File::open(const QString& path, QString* error)
{
    m_path = path;
    // A FIFO would block the run until something reads it, and a device is not a log.
    if (const QString refusal = PlainFile::writeRefusal(path); !refusal.isEmpty()) {
        *error = refusal;
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
