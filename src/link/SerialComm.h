#pragma once
// The serial port the window talks to the meter through: a port number (1..16, mapped
// to a device), a settings text such as "2400,N,8,1", open or closed, text out and in.
// Every failure is kept as a PortFailure naming the port, the device and the reason.
// The one port the run, the search and the transaction know: opening picks the transport by
// the device text, a local device through QSerialPort, "rfc2217://HOST:PORT" and
// "tcp://HOST:PORT" through a NetworkPort (no lock file: the server holds the device).
#include <QObject>
#include <QSerialPort>
#include <functional>
#include <memory>

#include "link/LinkTypes.h"
#include "link/PortHolders.h"

class NetworkPort;

class SerialComm : public QObject {
    Q_OBJECT
public:
    using DeviceLookup = std::function<QString(int number)>; // "" when the number has no device
    explicit SerialComm(DeviceLookup deviceFor, QObject* parent = nullptr);
    ~SerialComm() override;

    int commPort() const { return m_number; }
    void setCommPort(int number) { m_number = number; }
    QString device() const;
    QString deviceOf(int number) const { return m_deviceFor ? m_deviceFor(number) : QString(); }
    QString settings() const { return m_settings; }
    // Applies at once when the port is open; false when the text is not "baud,N,8,1" or the port refuses it.
    bool setSettings(const QString& settings);
    bool portOpen() const;
    bool setPortOpen(bool open);
    // Writes the bytes now; false (with the failure kept) when the port is closed or the write fails.
    bool output(const QByteArray& bytes);
    QByteArray input();
    int inBufferCount() const;
    void discardInput();
    const PortFailure& failure() const { return m_failure; }
    QSerialPort& port() { return m_port; }
    // What the line adds to a reply's wait: the network's round trip measured when it opened, else 0.
    int latencyMs() const;
    // False for a raw TCP port, whose rate is the server's: settings change nothing on the line.
    bool setsRate() const;
    // Where a busy port's holder is looked for (lock folders, /proc).
    void setHolderSearch(const PortHolders& holders) { m_holders = holders; }

signals:
    void readyRead();
    void failed(); // the open port failed (device gone, write error); it is closed now

private:
    bool fail(const QString& reason, bool permissionDenied = false);
    bool failOpen();
    bool applySettings();
    void onError(QSerialPort::SerialPortError error);
    bool openNetwork(const QString& address);
    void onNetworkLost(const QString& reason);

    DeviceLookup m_deviceFor;
    QSerialPort m_port;
    int m_number = 16;
    QString m_settings = QStringLiteral("2400,N,8,1");
    PortFailure m_failure;
    PortHolders m_holders;
    QString m_lostReason; // why the open port was lost, until it is opened again
    std::unique_ptr<NetworkPort> m_net; // the open transport when the device is a network address
};
