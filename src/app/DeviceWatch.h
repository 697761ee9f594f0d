#pragma once
// Serial devices appearing and disappearing while the program runs. The system's watch is
// udev's monitor of tty devices; where udev is absent, a watch on /dev for serial nodes.
#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QString>

class QFileSystemWatcher;

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // udev when its daemon runs, otherwise a watch on /dev.
    static DeviceWatch* system(QObject* parent = nullptr);
    // Serial nodes (ttyUSB0, ttyACM1, ...) appearing in and leaving dir.
    static DeviceWatch* directory(const QString& dir, QObject* parent = nullptr);
    // The names the directory watch takes for serial devices.
    static bool isSerialName(const QString& name);

signals:
    void deviceAdded(const QString& device); // a device path such as /dev/ttyUSB0
    void deviceRemoved(const QString& device);
};

// The fallback: a directory's serial nodes compared before and after each change.
class DirectoryDeviceWatch : public DeviceWatch {
    Q_OBJECT
public:
    DirectoryDeviceWatch(const QString& dir, QObject* parent = nullptr);

private:
    QSet<QString> scan() const;
    void rescan();
    QString m_dir;
    QSet<QString> m_present;
    QFileSystemWatcher* m_watcher;
};
