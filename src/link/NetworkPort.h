#pragma once
// A serial port on a network server (an Ethernet-to-serial gateway, ser2net), over QTcpSocket:
// RFC 2217 sets the line through the server and waits for its acknowledgement; raw TCP passes the
// bytes as they are at the server's rate. Opening measures the round trip (the connection and,
// with RFC 2217, the line settings acknowledged) for the reply waits to allow for. A server that
// closes the connection at once is busy (its one connection is in use).
#include <QObject>
#include <QTcpSocket>
#include <functional>

#include "link/PortAddress.h"
#include "link/Rfc2217Codec.h"

class NetworkPort : public QObject {
    Q_OBJECT
public:
    explicit NetworkPort(const PortAddress& address, QObject* parent = nullptr);

    // Connects and puts the line at baud (RFC 2217); false with the reason. Waits in an event loop.
    bool open(quint32 baud, QString* reason);
    void close();
    bool isOpen() const { return m_open; }
    // RFC 2217: the server sets the rate and acknowledges it; raw TCP: the server's rate stays.
    bool setBaud(quint32 baud, QString* reason);
    bool setsRate() const { return m_address.kind == PortAddress::Kind::Rfc2217; }
    bool write(const QByteArray& data, QString* reason);
    QByteArray readAll() { return std::exchange(m_data, QByteArray()); }
    qint64 bytesAvailable() const { return m_data.size(); }
    // The round trip measured when connecting, in whole milliseconds.
    int roundTripMs() const { return m_roundTripMs; }

    static constexpr int ConnectWaitMs = 10000;
    static constexpr int SettleWaitMs = 5000;

signals:
    void readyRead();
    void lost(const QString& reason); // the open connection ended; it is closed now

private:
    void onReadyRead();
    void onDisconnected();
    // Runs the event loop until done() holds (true), the connection ends or ms pass (false).
    bool waitFor(const std::function<bool()>& done, int ms);
    QString socketReason() const;
    QString busyReason(const QByteArray& said) const;

    PortAddress m_address;
    QTcpSocket m_socket;
    Rfc2217Codec m_codec;
    QByteArray m_data;
    bool m_open = false;
    int m_roundTripMs = 0;
};
