#pragma once
// A throw-away PostgreSQL 15 server for the history's tests: initdb and pg_ctl in a temporary
// folder, listening on a Unix socket there only (no TCP), trusting local connections. Run as
// root, the server runs as the test user "talvo-test" (PostgreSQL refuses root), which owns the
// folder. The destructor stops it, whatever the test's outcome.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

class PostgresServer {
public:
    PostgresServer()
    {
        const passwd* pw = ::geteuid() == 0 ? ::getpwnam("talvo-test") : ::getpwuid(::geteuid());
        if (!m_dir.isValid() || !pw || pw->pw_uid == 0) {
            m_error = "no folder, or run as root without the user talvo-test (./setup.sh test creates it)";
            return;
        }
        m_user = QString::fromLocal8Bit(pw->pw_name);
        if (::geteuid() == 0) {
            m_asUser = {QStringLiteral("--reuid=%1").arg(pw->pw_uid), QStringLiteral("--regid=%1").arg(pw->pw_gid), "--clear-groups", "--"};
            if (::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
                m_error = "cannot give the folder to talvo-test";
        }
        if (m_error.isEmpty())
            run("initdb", {"-D", data(), "-U", m_user, "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"});
        if (m_error.isEmpty())
            start();
    }
    ~PostgresServer() { stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool start()
    {
        m_running = run("pg_ctl", {"-D", data(), "-l", m_dir.filePath("log"), "-w", "-t", "60", "-o",
                                   "-c listen_addresses= -k " + m_dir.path() + " -c fsync=off", "start"});
        return m_running;
    }
    bool stop()
    {
        if (m_running)
            m_running = !run("pg_ctl", {"-D", data(), "-m", "immediate", "-w", "-t", "60", "stop"});
        return !m_running;
    }
    bool isRunning() const { return m_running; }
    QString error() const { return m_error; }
    // The history's DEST on this server's database "postgres".
    QString uri() const { return QStringLiteral("postgresql:///postgres?host=%1&user=%2").arg(m_dir.path(), m_user); }

private:
    QString data() const { return m_dir.filePath("data"); }
    bool run(const QString& tool, const QStringList& arguments)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString exe = QStringLiteral("/usr/lib/postgresql/15/bin/") + tool;
        if (m_asUser.isEmpty())
            p.start(exe, arguments);
        else
            p.start("setpriv", m_asUser + QStringList{exe} + arguments);
        const bool ok = p.waitForFinished(90000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            m_error = tool + ": " + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return ok;
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/talvo-pg-XXXXXX"};
    QString m_user, m_error;
    QStringList m_asUser;
    bool m_running = false;
};
