#include "app/DeviceWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#ifdef TALVO_HAVE_UDEV
#include <libudev.h>
#endif

namespace {
#ifdef TALVO_HAVE_UDEV
// udev's monitor of the tty subsystem; virtual terminals and ptys are not serial ports.
class UdevDeviceWatch : public DeviceWatch {
public:
    explicit UdevDeviceWatch(QObject* parent) : DeviceWatch(parent)
    {
        m_udev = udev_new();
        m_monitor = m_udev ? udev_monitor_new_from_netlink(m_udev, "udev") : nullptr;
        if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(m_monitor) < 0)
            return;
        m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &UdevDeviceWatch::receive);
    }
    ~UdevDeviceWatch() override
    {
        delete m_notifier;
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        if (m_udev)
            udev_unref(m_udev);
    }
    bool isWorking() const { return m_notifier != nullptr; }

private:
    void receive()
    {
        while (udev_device* dev = udev_monitor_receive_device(m_monitor)) {
            const QString action = QString::fromLatin1(udev_device_get_action(dev));
            const QString node = QString::fromLocal8Bit(udev_device_get_devnode(dev));
            const QString path = QString::fromLatin1(udev_device_get_devpath(dev));
            udev_device_unref(dev);
            if (node.isEmpty() || path.contains(QLatin1String("/virtual/")))
                continue;
            if (action == QLatin1String("add"))
                emit deviceAdded(node);
            else if (action == QLatin1String("remove"))
                emit deviceRemoved(node);
        }
    }
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};
#endif
} // namespace

DeviceWatch* DeviceWatch::system(QObject* parent)
{
#ifdef TALVO_HAVE_UDEV
    // The daemon's control socket tells whether udev runs (it does not in most containers).
    if (QFileInfo::exists(QStringLiteral("/run/udev/control"))) {
        auto* watch = new UdevDeviceWatch(parent);
        if (watch->isWorking())
            return watch;
        delete watch;
    }
#endif
    return directory(QStringLiteral("/dev"), parent);
}

DeviceWatch* DeviceWatch::directory(const QString& dir, QObject* parent) { return new DirectoryDeviceWatch(dir, parent); }

bool DeviceWatch::isSerialName(const QString& name)
{
    static const QRegularExpression serial(
        QStringLiteral("^(ttyS|ttyUSB|ttyACM|ttyAMA|rfcomm|ttyXRUSB|ttyCH343USB|ttymxc|ttyO|ttySAC|ttyHS|ttyTHS)\\d+$"));
    return serial.match(name).hasMatch();
}

DirectoryDeviceWatch::DirectoryDeviceWatch(const QString& dir, QObject* parent)
    : DeviceWatch(parent), m_dir(dir), m_watcher(new QFileSystemWatcher(this))
{
    m_present = scan();
    m_watcher->addPath(dir);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &DirectoryDeviceWatch::rescan);
}

QSet<QString> DirectoryDeviceWatch::scan() const
{
    QSet<QString> found;
    const QDir dir(m_dir);
    for (const QString& name : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (isSerialName(name))
            found.insert(dir.filePath(name));
    return found;
}

void DirectoryDeviceWatch::rescan()
{
    const QSet<QString> now = scan();
    QStringList gone(m_present.cbegin(), m_present.cend()), added(now.cbegin(), now.cend());
    gone.sort();
    added.sort();
    const QSet<QString> before = std::exchange(m_present, now);
    for (const QString& d : gone)
        if (!now.contains(d))
            emit deviceRemoved(d);
    for (const QString& d : added)
        if (!before.contains(d))
            emit deviceAdded(d);
}
