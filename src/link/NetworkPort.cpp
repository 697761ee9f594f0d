#include "link/NetworkPort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "link/MeterLink.h"

NetworkPort::NetworkPort(const PortAddress& address, QObject* parent) : QObject(parent), m_address(address)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkPort::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkPort::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            onDisconnected();
    });
}

QString NetworkPort::socketReason() const
{
    switch (m_socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused by %1 (no server listens there)").arg(m_address.hostPort());
    case QAbstractSocket::HostNotFoundError: return QStringLiteral("unknown host %1").arg(m_address.host);
    default: return QStringLiteral("%1: %2").arg(m_address.hostPort(), m_socket.errorString());
    }
}

QString NetworkPort::busyReason(const QByteArray& said) const
{
    // A server refusing a second connection may say so ("Port already in use") or say nothing.
    const QString text = MeterLink::printable(QString::fromLatin1(said).trimmed()).left(80);
    QString reason = QStringLiteral("%1 closed the connection at once").arg(m_address.hostPort());
    if (text.isEmpty() || text.contains(QLatin1String("in use"), Qt::CaseInsensitive))
        reason = QStringLiteral("busy: %1 (its port is in use by another connection)").arg(reason);
    return text.isEmpty() ? reason : QStringLiteral("%1, saying \"%2\"").arg(reason, text);
}

bool NetworkPort::waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (m_socket.state() == QAbstractSocket::UnconnectedState || clock.elapsed() >= ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(ms - clock.elapsed()), &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool NetworkPort::open(quint32 baud, QString* reason)
{
    m_codec = Rfc2217Codec{};
    m_data.clear();
    QElapsedTimer clock;
    clock.start();
    m_socket.connectToHost(m_address.host, m_address.port);
    if (!waitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, ConnectWaitMs)) {
        *reason = m_socket.state() == QAbstractSocket::UnconnectedState
                      ? socketReason()
                      : QStringLiteral("no connection to %1 within %2 s").arg(m_address.hostPort()).arg(ConnectWaitMs / 1000);
        m_socket.abort();
        return false;
    }
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1); // a frame is one small write
    const qint64 connectMs = clock.elapsed();
    clock.restart();
    bool settled = false;
    if (setsRate()) {
        m_codec.start();
        m_codec.requestLine(baud);
        m_socket.write(m_codec.takeOutgoing());
        settled = waitFor([this] { return m_codec.lineSettled() || m_codec.refused(); }, SettleWaitMs);
    } else {
        // A server that refuses a second connection says so and closes it at once; anything it
        // sends before a frame went out is its, not a meter's.
        settled = true;
        if (waitFor([this] { return !m_data.isEmpty(); }, int(2 * connectMs) + 30))
            waitFor([this] { return m_socket.state() != QAbstractSocket::ConnectedState; }, SettleWaitMs / 5);
    }
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        *reason = busyReason(m_data);
        m_socket.abort();
        return false;
    }
    if (!settled || m_codec.refused()) {
        *reason =
            m_codec.refused()
                ? QStringLiteral("%1 does not offer RFC 2217 (COM-PORT-OPTION); tcp://%1 passes bytes as they are")
                      .arg(m_address.hostPort())
                : QStringLiteral("%1 did not acknowledge the line settings within %2 s").arg(m_address.hostPort()).arg(SettleWaitMs / 1000);
        m_socket.abort();
        return false;
    }
    m_roundTripMs = int(qMax(connectMs, clock.elapsed())) + 1;
    m_open = true;
    m_data.clear();
    if (setsRate() && (m_codec.settledBaud() != baud || !m_codec.lineAsAsked())) {
        *reason = QStringLiteral("%1 set the line to %2 baud, not %3,N,8,1").arg(m_address.hostPort()).arg(m_codec.settledBaud()).arg(baud);
        close();
        return false;
    }
    return true;
}

bool NetworkPort::setBaud(quint32 baud, QString* reason)
{
    if (!setsRate())
        return true;
    m_codec.requestLine(baud);
    m_socket.write(m_codec.takeOutgoing());
    if (!waitFor([this] { return m_codec.lineSettled(); }, SettleWaitMs)) {
        *reason =
            m_open
                ? QStringLiteral("%1 did not acknowledge %2 baud within %3 s").arg(m_address.hostPort()).arg(baud).arg(SettleWaitMs / 1000)
                : QStringLiteral("the connection to %1 was lost").arg(m_address.hostPort());
        return false;
    }
    if (m_codec.settledBaud() != baud) {
        *reason = QStringLiteral("%1 set the line to %2 baud, not %3").arg(m_address.hostPort()).arg(m_codec.settledBaud()).arg(baud);
        return false;
    }
    return true;
}

bool NetworkPort::write(const QByteArray& data, QString* reason)
{
    const QByteArray bytes = setsRate() ? Rfc2217Codec::escape(data) : data;
    if (!m_open || m_socket.write(bytes) != bytes.size()) {
        *reason = m_open ? socketReason() : QStringLiteral("the connection to %1 is closed").arg(m_address.hostPort());
        return false;
    }
    m_socket.flush();
    return m_open;
}

void NetworkPort::close()
{
    m_open = false;
    m_socket.abort();
    m_data.clear();
}

void NetworkPort::onReadyRead()
{
    const QByteArray bytes = m_socket.readAll();
    const QByteArray data = setsRate() ? m_codec.feed(bytes) : bytes;
    if (const QByteArray answer = m_codec.takeOutgoing(); !answer.isEmpty())
        m_socket.write(answer);
    m_data += data;
    if (!data.isEmpty())
        emit readyRead();
}

void NetworkPort::onDisconnected()
{
    if (!m_open)
        return;
    if (m_socket.bytesAvailable() > 0)
        onReadyRead(); // what came before the end is still the meter's
    const QString why = m_socket.error() == QAbstractSocket::RemoteHostClosedError
                            ? QStringLiteral("%1 closed the connection").arg(m_address.hostPort())
                            : socketReason();
    m_open = false;
    m_socket.abort();
    emit lost(QStringLiteral("the connection was lost (%1)").arg(why));
}
