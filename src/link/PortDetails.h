#pragma once
// What the system knows about a serial device, for the port list's tooltip: the USB
// manufacturer, product and serial number, and the /dev/serial/by-id/ name that stays
// the same when the adapter is plugged in again.
#include <QString>
#include <QStringList>

namespace PortDetails {
inline constexpr char ByIdDir[] = "/dev/serial/by-id";

// The by-id link that leads to device ("" when none does).
QString byIdName(const QString& device, const QString& byIdDir = QLatin1String(ByIdDir));
// "Manufacturer: ...", "Product: ...", "Serial number: ..." (the known ones) and "By id: ...".
QStringList details(const QString& device, const QString& byIdDir = QLatin1String(ByIdDir));
// The whole tooltip: the selected port (number "" when none), its details, and the devices
// left out because the user may not open them, with the fix.
QString toolTip(const QString& number, const QString& device, const QStringList& details, const QStringList& denied);
} // namespace PortDetails
