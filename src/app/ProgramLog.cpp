#include "app/ProgramLog.h"

#include <QFile>
#include <QLockFile>
#include <QStringList>

namespace {
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}
} // namespace

namespace ProgramLog {

QString header() { return QStringLiteral("time,device,address,input,decimal,points,result,exit"); }

QString line(const ProgramLogRecord& r)
{
    const QDateTime t = r.time.toOffsetFromUtc(r.time.offsetFromUtc());
    QStringList fields{t.toString(Qt::ISODate), r.device, r.address, r.inputType, r.decimal, r.points, r.result,
                       QString::number(r.exitStatus)};
    for (QString& f : fields)
        f = csvField(f);
    return fields.join(QLatin1Char(','));
}

bool append(const QString& path, const ProgramLogRecord& record, QString* error)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000)) {
        if (error)
            *error = QStringLiteral("the log is locked by another run");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray bytes;
    if (file.size() == 0)
        bytes = header().toUtf8() + '\n';
    bytes += line(record).toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace ProgramLog
