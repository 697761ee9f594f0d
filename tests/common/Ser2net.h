#pragma once
// Debian's ser2net on 127.0.0.1 in front of a device, for tests and benchmarks: its own YAML
// configuration in a private folder, in the foreground (-n), without UUCP locks (-u) and pid
// file, on free ports; one RFC 2217 and one raw TCP port. Killed by its pid when it goes.
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

struct Ser2net {
    static constexpr char Exe[] = "/usr/sbin/ser2net";
    QTemporaryDir dir;
    QProcess process;
    quint16 rfc2217 = 0, raw = 0;

    // A port nobody listens on now (the system's pick for a socket bound to port 0).
    static quint16 freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
    }
    // device opens at baud on each connection (RFC 2217 may change it); "" when ser2net is up.
    QString start(const QString& device, int baud)
    {
        if (!QFile::exists(Exe))
            return QStringLiteral("%1 is missing (apt-get install ser2net)").arg(Exe);
        while (rfc2217 == raw)
            rfc2217 = freePort(), raw = freePort();
        QFile config(dir.filePath("ser2net.yaml"));
        const QString tail = QStringLiteral("  connector: serialdev,%1,%2n81,local\n  options:\n    mdns: false\n    chardelay: false\n").arg(device).arg(baud);
        const QString yaml = QStringLiteral("connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n%3connection: &raw\n"
                                            "  accepter: tcp,127.0.0.1,%2\n%3").arg(rfc2217).arg(raw).arg(tail);
        if (!config.open(QIODevice::WriteOnly) || config.write(yaml.toUtf8()) < 0 || !config.flush())
            return QStringLiteral("cannot write %1").arg(config.fileName());
        process.setProcessChannelMode(QProcess::MergedChannels); // shown only when it fails to start
        process.start(Exe, {"-n", "-u", "-c", config.fileName()});
        // Ready when both ports listen; a connection would open the device, so none is made.
        if (!QTest::qWaitFor([&] { return listening(rfc2217) && listening(raw); }, 20000))
            return QStringLiteral("ser2net did not start listening: %1").arg(QString::fromLocal8Bit(process.readAllStandardOutput()));
        return QString();
    }
    QString url(bool viaRfc2217) const
    {
        return viaRfc2217 ? QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217) : QStringLiteral("tcp://127.0.0.1:%1").arg(raw);
    }
    void stop() { process.kill(), process.waitForFinished(); }
    ~Ser2net() { stop(); }

private:
    static bool listening(quint16 port)
    {
        QFile table("/proc/net/tcp");
        table.open(QIODevice::ReadOnly);
        const QByteArray local = QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f[1] == local && f[3] == "0A") // LISTEN
                return true;
        }
        return false;
    }
};
