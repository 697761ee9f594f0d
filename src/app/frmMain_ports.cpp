// Serial devices plugged in or pulled out while the window is open.

#include "app/PickList.h"
#include "link/ProbeVerdict.h"
#include "app/frmMain.h"
#include "link/PortAddress.h"
#include "link/SerialComm.h"

#include <QFileInfo>
#include <QTimer>

bool frmMain::isListed(int number) const
{
    return cboCommPort->findText(QString::number(number), Qt::MatchFixedString | Qt::MatchCaseSensitive) >= 0;
}

int frmMain::numberForDevice(const QString& device) const
{
    // The number the device is mapped to (also through a link such as a by-id path), if it is free;
    // otherwise the lowest number not listed.
    const QString target = QFileInfo(device).canonicalFilePath();
    for (int n : m_ports.numbers()) {
        const QString mapped = m_ports.device(n);
        if (mapped == device || (!target.isEmpty() && QFileInfo(mapped).canonicalFilePath() == target))
            return isListed(n) ? -1 : n;
    }
    if (m_mappedOnly)
        return 0;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n)
        if (!isListed(n))
            return n;
    return 0;
}

void frmMain::probeNewDevice(const QString& device, int attempt)
{
    if (m_hotProbes.count(device) || !QFileInfo::exists(device) || numberForDevice(device) <= 0)
        return;
    // The start-up probe, in the background: open, ask the modem question, judge the answer later.
    auto* port = new SerialComm([device](int) { return device; }, this);
    port->setSettings(QStringLiteral("2400,N,8,1"));
    if (!port->setPortOpen(true) || !port->portOpen()) {
        if (port->failure().permissionDenied && !m_deniedDevices.contains(device)) {
            m_deniedDevices << device;
            updatePortToolTip();
        } else if (!port->failure().permissionDenied && attempt < 5) {
            // Busy: ModemManager and the like try a new adapter for a few seconds after it appears.
            QTimer::singleShot(1000, this, [this, device, attempt] { probeNewDevice(device, attempt + 1); });
        }
        delete port;
        return;
    }
    port->output(ProbeVerdict::ProbeCommand);
    m_hotProbes[device] = port;
    QTimer::singleShot(m_probeWaitMs, this, [this, device] { finishPortProbe(device); });
}

void frmMain::finishPortProbe(const QString& device)
{
    const auto it = m_hotProbes.find(device);
    if (it == m_hotProbes.end())
        return; // gone meanwhile
    SerialComm* port = it->second;
    m_hotProbes.erase(it);
    const QByteArray answer = port->input();
    port->setPortOpen(false);
    port->deleteLater();
    const int number = numberForDevice(device);
    if (ProbeVerdict::isModem(answer) || number <= 0)
        return;
    // A mapping that leads to this device stays as given (a by-id path, say); otherwise the number is the device's now.
    const QString mapped = m_ports.device(number), target = QFileInfo(device).canonicalFilePath();
    if (mapped != device && (target.isEmpty() || QFileInfo(mapped).canonicalFilePath() != target))
        m_ports.map(number, device);
    int at = 0;
    while (at < cboCommPort->count() && cboCommPort->List(at).toInt() < number)
        ++at;
    cboCommPort->insertItem(at, QString::number(number));
    if (cboCommPort->Text().isEmpty())
        selectListText(cboCommPort, QString::number(number));
    updatePortToolTip();
}

void frmMain::deviceGone(const QString& device)
{
    if (const auto it = m_hotProbes.find(device); it != m_hotProbes.end()) {
        it->second->setPortOpen(false);
        it->second->deleteLater();
        m_hotProbes.erase(it);
    }
    m_deniedDevices.removeAll(device);
    // Listed devices that are gone leave the list, except the selected one: a run on it reports it missing.
    // A network port is no file and stays.
    const QString selected = cboCommPort->Text();
    for (int i = cboCommPort->count() - 1; i >= 0; --i) {
        const QString text = cboCommPort->List(i);
        const QString mapped = m_ports.device(text.toInt());
        if (text != selected && (mapped == device || (!PortAddress::isNetwork(mapped) && !QFileInfo::exists(mapped))))
            cboCommPort->RemoveItem(i);
    }
    updatePortToolTip();
}
