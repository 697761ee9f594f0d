#include "link/SerialComm.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "link/NetworkPort.h"

SerialComm::SerialComm(DeviceLookup deviceFor, QObject* parent) : QObject(parent), m_deviceFor(std::move(deviceFor))
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialComm::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialComm::onError);
}

SerialComm::~SerialComm() = default;

bool SerialComm::portOpen() const { return m_net ? m_net->isOpen() : m_port.isOpen(); }

int SerialComm::latencyMs() const { return m_net && m_net->isOpen() ? m_net->roundTripMs() : 0; }

bool SerialComm::setsRate() const
{
    const auto address = PortAddress::isNetwork(device()) ? PortAddress::parse(device()) : std::nullopt;
    return !address || address->kind == PortAddress::Kind::Rfc2217;
}

bool SerialComm::openNetwork(const QString& address)
{
    QString why;
    const auto parsed = PortAddress::parse(address, &why);
    if (!parsed)
        return fail(why);
    m_net = std::make_unique<NetworkPort>(*parsed);
    connect(m_net.get(), &NetworkPort::readyRead, this, &SerialComm::readyRead);
    connect(m_net.get(), &NetworkPort::lost, this, &SerialComm::onNetworkLost);
    m_lostReason.clear();
    if (!m_net->open(quint32(m_settings.section(',', 0, 0).toUInt()), &why)) {
        m_net.reset();
        return fail(why);
    }
    return true;
}

void SerialComm::onNetworkLost(const QString& reason)
{
    m_lostReason = reason;
    fail(reason);
    emit failed();
}

void SerialComm::onError(QSerialPort::SerialPortError e)
{
    if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError || !m_port.isOpen())
        return;
    if (e != QSerialPort::ResourceError && e != QSerialPort::WriteError && e != QSerialPort::ReadError)
        return;
    // The device is gone or unusable (e.g. a USB adapter pulled): close and tell the waiter.
    // The system's text for a vanished device ("Inappropriate ioctl for device" on a pty) says nothing to a user.
    m_lostReason = e == QSerialPort::ResourceError ? QStringLiteral("the port was lost (device removed or closed)") : m_port.errorString();
    fail(m_lostReason);
    m_port.close();
    emit failed();
}

QString SerialComm::device() const { return m_deviceFor ? m_deviceFor(m_number) : QString(); }

bool SerialComm::fail(const QString& reason, bool permissionDenied)
{
    m_failure = PortFailure{m_number, device(), reason, permissionDenied};
    return false;
}

bool SerialComm::setSettings(const QString& settings)
{
    const QStringList parts = settings.split(',');
    bool ok = false;
    const int baud = parts.value(0).toInt(&ok);
    if (parts.size() != 4 || !ok || baud <= 0 || parts[1] != "N" || parts[2] != "8" || parts[3] != "1")
        return fail(QStringLiteral("invalid settings \"%1\"").arg(settings));
    m_settings = settings;
    return portOpen() ? applySettings() : true;
}

bool SerialComm::applySettings()
{
    const int baud = m_settings.section(',', 0, 0).toInt();
    if (m_net) {
        QString why;
        return m_net->setBaud(quint32(baud), &why) || fail(why);
    }
    if (!m_port.setBaudRate(baud) || !m_port.setParity(QSerialPort::NoParity) || !m_port.setDataBits(QSerialPort::Data8) ||
        !m_port.setStopBits(QSerialPort::OneStop) || !m_port.setFlowControl(QSerialPort::NoFlowControl))
        return fail(m_port.errorString());
    return true;
}

bool SerialComm::failOpen()
{
    const QString dev = device();
    const QByteArray path = QFile::encodeName(dev);
    QString reason = m_port.errorString();
    bool denied = false;
    if (!QFileInfo::exists(dev)) {
        reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    } else if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        reason = QString::fromLocal8Bit(std::strerror(EACCES));
        denied = true;
    } else if (m_port.error() == QSerialPort::PermissionError) {
        // Readable and writable, yet refused: another program holds the port (lock or exclusive use).
        reason = QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(std::strerror(EBUSY)), m_port.errorString());
        if (const QString holder = m_holders.describe(dev); !holder.isEmpty())
            reason += QStringLiteral(", ") + holder;
    }
    return fail(reason, denied);
}

bool SerialComm::setPortOpen(bool open)
{
    if (!open) {
        m_net.reset();
        if (m_port.isOpen())
            m_port.close();
        m_lostReason.clear();
        return true;
    }
    if (portOpen())
        return fail(QStringLiteral("the port is already open"));
    const QString dev = device();
    if (dev.isEmpty())
        return fail(QStringLiteral("no device is known for port %1").arg(m_number));
    if (PortAddress::isNetwork(dev))
        return openNetwork(dev);
    // Locks of other serial programs, in Qt's form or UUCP's (a 10-digit pid), are respected;
    // one naming no live process is removed, as the lock would otherwise block every run.
    for (const PortHolders::Lock& lock : m_holders.locks(dev)) {
        if (lock.holder.pid == QCoreApplication::applicationPid())
            continue; // ours: the port's own lock decides
        if (!lock.stale)
            return fail(QStringLiteral("%1 (lock file %2), %3")
                            .arg(QString::fromLocal8Bit(std::strerror(EBUSY)), lock.path, PortHolders::describe(lock.holder)));
        QString why;
        if (!PortHolders::removeStale(lock.path, &why))
            return fail(QStringLiteral("the stale lock file %1 cannot be removed: %2").arg(lock.path, why));
    }
    // Exclusive use (TIOCEXCL, which Qt sets on every port it opens) refuses others' opens, but
    // root's only if root asks.
    if (::geteuid() == 0 && PortHolders::inExclusiveUse(dev)) {
        const QString holder = m_holders.describe(dev);
        return fail(QStringLiteral("%1 (in exclusive use)%2")
                        .arg(QString::fromLocal8Bit(std::strerror(EBUSY)), holder.isEmpty() ? QString() : QStringLiteral(", ") + holder));
    }
    m_port.setPortName(dev);
    if (!m_port.open(QIODevice::ReadWrite))
        return failOpen();
    m_lostReason.clear();
    if (!applySettings()) {
        m_port.close();
        return false;
    }
    return true;
}

bool SerialComm::output(const QByteArray& bytes)
{
    if (m_net) {
        QString why;
        return m_net->write(bytes, &why) ||
               fail(m_lostReason.isEmpty() ? why : QStringLiteral("the port is not open (lost: %1)").arg(m_lostReason));
    }
    if (!m_port.isOpen())
        return fail(m_lostReason.isEmpty() ? QStringLiteral("the port is not open")
                                           : QStringLiteral("the port is not open (lost: %1)").arg(m_lostReason));
    if (m_port.write(bytes) != bytes.size())
        return fail(m_port.errorString());
    // Hand the bytes to the device now, so a vanished device shows up here.
    m_port.flush();
    if (!m_port.isOpen())
        return false; // closed by the error handler, failure kept
    return true;
}

QByteArray SerialComm::input()
{
    if (m_net)
        return m_net->readAll();
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

int SerialComm::inBufferCount() const
{
    if (m_net)
        return int(m_net->bytesAvailable());
    return m_port.isOpen() ? int(m_port.bytesAvailable()) : 0;
}

void SerialComm::discardInput()
{
    if (m_net)
        m_net->readAll();
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::Input);
        m_port.readAll();
    }
}
