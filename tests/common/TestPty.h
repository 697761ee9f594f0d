#pragma once
// A pseudo-terminal for tests: the test holds the master side, the utility opens the
// device path of the slave side. Optionally answers the modem probe like a modem.
#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

class TestPty : public QObject {
public:
    explicit TestPty(bool answerLikeModem = false) : m_modem(answerLikeModem)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        m_path = QString::fromLocal8Bit(ptsname(m_master));
        // Hold the slave open too, so the master never sees a hang-up between opens.
        m_slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC); // child processes do not hold the device
        m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readMaster(); });
    }
    ~TestPty() override
    {
        m_notifier.reset();
        for (int fd : {m_slave, m_master})
            if (fd >= 0)
                ::close(fd);
    }
    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QByteArray received() const { return m_received; }

private:
    void readMaster()
    {
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            return;
        m_received.append(buf, int(n));
        if (m_modem && m_received.contains("ATV1Q0\r")) {
            m_received.clear();
            const char ok[] = "\r\nOK\r\n";
            [[maybe_unused]] ssize_t w = ::write(m_master, ok, sizeof ok - 1);
        }
    }

    bool m_modem;
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QByteArray m_received;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
