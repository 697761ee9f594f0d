#include "link/PortMap.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

#include "link/PortAddress.h"

namespace {
int kindRank(const QString& name)
{
    static const QStringList kinds = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
    for (int i = 0; i < kinds.size(); ++i) {
        static const QRegularExpression digits("^\\d+$");
        if (name.startsWith(kinds[i]) && digits.match(name.mid(kinds[i].size())).hasMatch())
            return i;
    }
    return int(kinds.size());
}

QString baseName(const QString& path) { return path.section('/', -1); }

int trailingNumber(const QString& name)
{
    static const QRegularExpression tail("(\\d+)$");
    const auto m = tail.match(name);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}
} // namespace

bool PortMap::deviceBefore(const QString& a, const QString& b)
{
    const QString na = baseName(a), nb = baseName(b);
    const int ra = kindRank(na), rb = kindRank(nb);
    if (ra != rb)
        return ra < rb;
    if (ra < 5) {
        const int xa = trailingNumber(na), xb = trailingNumber(nb);
        if (xa != xb)
            return xa < xb;
    }
    return a < b;
}

PortMap PortMap::fromDevices(QStringList devices)
{
    devices.removeDuplicates();
    std::sort(devices.begin(), devices.end(), &PortMap::deviceBefore);
    PortMap m;
    for (int i = 0; i < devices.size() && i < LastPort; ++i)
        m.map(i + FirstPort, devices[i]);
    return m;
}

PortMap PortMap::fromSystem()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    return fromDevices(devices);
}

bool PortMap::addMapping(const QString& mapping, QString* error)
{
    const int eq = mapping.indexOf('=');
    bool ok = false;
    const int n = eq > 0 ? mapping.left(eq).trimmed().toInt(&ok) : 0;
    const QString device = eq > 0 ? mapping.mid(eq + 1).trimmed() : QString();
    if (!ok || n < FirstPort || n > LastPort || device.isEmpty()) {
        if (error)
            *error = QStringLiteral("--port takes N=DEVICE with N from 1 to 16, not \"%1\"").arg(mapping);
        return false;
    }
    if (!checkAddress(device, error))
        return false;
    map(n, device);
    return true;
}

bool PortMap::checkAddress(const QString& device, QString* error)
{
    QString why;
    if (!PortAddress::isNetwork(device) || PortAddress::parse(device, &why))
        return true;
    if (error)
        *error = QStringLiteral("--port: ") + why;
    return false;
}

void PortMap::map(int number, const QString& device)
{
    if (number >= FirstPort && number <= LastPort)
        m_devices.insert(number, device);
}

int PortMap::numberOf(const QString& device) const
{
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it)
        if (it.value() == device)
            return it.key();
    return 0;
}

int PortMap::firstFreeNumber() const
{
    for (int n = FirstPort; n <= LastPort; ++n)
        if (!m_devices.contains(n))
            return n;
    return 0;
}
