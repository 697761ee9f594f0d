#pragma once
// Serial port numbers 1..16 and the devices they stand for.
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "link/MeterLink.h"

class PortMap {
public:
    static constexpr int FirstPort = MeterLink::FirstPort;
    static constexpr int LastPort = MeterLink::LastPort;

    // Numbers the given device paths 1, 2, ... in the documented stable order
    // (ttyS, ttyUSB, ttyACM, ttyAMA, rfcomm, then the rest; numerically within each kind).
    static PortMap fromDevices(QStringList devices);
    // The machine's serial devices, numbered as fromDevices does.
    static PortMap fromSystem();
    // The order fromDevices uses: a before b.
    static bool deviceBefore(const QString& a, const QString& b);

    // Parses "N=DEVICE" (N from 1 to 16) and maps it; false with a reason otherwise. DEVICE is a
    // path or a network port, "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (checked here).
    bool addMapping(const QString& mapping, QString* error = nullptr);
    // False, with the fault, for a device text in a network form that is not a well-formed address.
    static bool checkAddress(const QString& device, QString* error);
    void map(int number, const QString& device);

    QString device(int number) const { return m_devices.value(number); }
    QList<int> numbers() const { return m_devices.keys(); }
    bool isEmpty() const { return m_devices.isEmpty(); }
    int numberOf(const QString& device) const;
    // Lowest number 1..16 without a device, 0 when all are taken.
    int firstFreeNumber() const;

private:
    QMap<int, QString> m_devices;
};
