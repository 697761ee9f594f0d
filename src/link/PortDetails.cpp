#include "link/PortDetails.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include "link/PortAddress.h"

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
    if (const auto address = PortAddress::isNetwork(device) ? PortAddress::parse(device) : std::nullopt)
        return {address->kind == PortAddress::Kind::Rfc2217
                    ? QCoreApplication::translate("PortDetails", "A serial port on a network server (RFC 2217): the rate is set through it")
                    : QCoreApplication::translate("PortDetails", "A serial port on a network server (raw TCP): the rate is the server's")};
    QStringList out;
    const QSerialPortInfo info(device);
    const std::pair<const char*, QString> known[] = {
        {QT_TRANSLATE_NOOP("PortDetails", "Manufacturer"), info.manufacturer()},
        {QT_TRANSLATE_NOOP("PortDetails", "Product"), info.description()},
        {QT_TRANSLATE_NOOP("PortDetails", "Serial number"), info.serialNumber()}};
    for (const auto& [label, value] : known)
        if (!value.trimmed().isEmpty())
            out << QStringLiteral("%1: %2").arg(QCoreApplication::translate("PortDetails", label), value.trimmed());
    if (const QString id = byIdName(device, byIdDir); !id.isEmpty())
        out << QCoreApplication::translate("PortDetails", "By id: %1").arg(id);
    return out;
}

QString toolTip(const QString& number, const QString& device, const QStringList& details, const QStringList& denied)
{
    QStringList lines;
    if (!number.isEmpty() && !device.isEmpty())
        lines << QCoreApplication::translate("PortDetails", "Port %1 is %2").arg(number, device) << details;
    if (!denied.isEmpty()) {
        if (number.isEmpty())
            lines << QCoreApplication::translate("PortDetails", "No port is offered: you have no permission to open the serial devices.");
        if (!lines.isEmpty())
            lines << QString();
        lines << QCoreApplication::translate("PortDetails", "Left out, no permission: %1").arg(denied.join(QStringLiteral(", ")))
              << QCoreApplication::translate("PortDetails", "To use them, add your user to the \"dialout\" group (for example: "
                                "sudo usermod -aG dialout $USER), then log out and log in again.");
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace PortDetails
