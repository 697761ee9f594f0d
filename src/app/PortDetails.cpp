#include "app/PortDetails.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace PortDetails {

QString byIdName(const QString& device, const QString& byIdDir)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir dir(byIdDir);
    for (const QString& name : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString link = dir.filePath(name);
        if (link != device && QFileInfo(link).canonicalFilePath() == target)
            return link;
    }
    return QString();
}

QStringList details(const QString& device, const QString& byIdDir)
{
    QStringList out;
    const QSerialPortInfo info(device);
    const std::pair<const char*, QString> known[] = {
        {"Manufacturer", info.manufacturer()}, {"Product", info.description()}, {"Serial number", info.serialNumber()}};
    for (const auto& [label, value] : known)
        if (!value.trimmed().isEmpty())
            out << QStringLiteral("%1: %2").arg(QLatin1String(label), value.trimmed());
    if (const QString id = byIdName(device, byIdDir); !id.isEmpty())
        out << QStringLiteral("By id: %1").arg(id);
    return out;
}

QString toolTip(const QString& number, const QString& device, const QStringList& details, const QStringList& denied)
{
    QStringList lines;
    if (!number.isEmpty() && !device.isEmpty())
        lines << QStringLiteral("Port %1 is %2").arg(number, device) << details;
    if (!denied.isEmpty()) {
        if (number.isEmpty())
            lines << QStringLiteral("No port is offered: you have no permission to open the serial devices.");
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("Left out, no permission: %1").arg(denied.join(QStringLiteral(", ")))
              << QStringLiteral("To use them, add your user to the \"dialout\" group (for example: "
                                "sudo usermod -aG dialout $USER), then log out and log in again.");
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace PortDetails
