#pragma once
// Rows about permissions need a user that is not root (root may open any device). Run as
// root, such a row runs again in a child of the same test executable under the test user
// "talvo-test" (./setup.sh test creates it), switched by setpriv, and
// its outcome is the row's. Without that user the row skips and says how to create it.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <pwd.h>
#include <unistd.h>

#include "common/ProgramEnvironment.h"

namespace Unprivileged {

struct Outcome {
    bool ran = false; // false: no test user; output says how to get one
    bool passed = false;
    QString output;
};

inline Outcome runCurrentRow()
{
    const QByteArray user = "talvo-test";
    const passwd* pw = ::getpwnam(user.constData());
    if (!pw || pw->pw_uid == 0)
        return {false, false,
                QStringLiteral("run as root and no user %1 to run it as: create one with "
                               "\"useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin %1\" "
                               "(./setup.sh test does)")
                    .arg(QString::fromLocal8Bit(user))};
    QTemporaryDir home;
    if (!home.isValid() || ::chown(QFile::encodeName(home.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
        return {true, false, QStringLiteral("cannot give %1 a folder of its own").arg(home.path())};
    QProcessEnvironment env = programEnvironment(home.path(), false);
    env.insert("HOME", home.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString function = QLatin1String(QTest::currentTestFunction()), tag = QString::fromUtf8(QTest::currentDataTag());
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(pw->pw_uid), QStringLiteral("--regid=%1").arg(pw->pw_gid),
                                            QStringLiteral("--clear-groups"), QStringLiteral("--"), QCoreApplication::applicationFilePath(), function + u':' + tag});
    const bool ended = child.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (ended && child.exitStatus() == QProcess::NormalExit && (child.exitCode() == 126 || child.exitCode() == 127) &&
        output.startsWith(QLatin1String("setpriv:")))
        return {true, false, QStringLiteral("user %1 cannot run %2 (the build tree must be readable by it): %3")
                                 .arg(QString::fromLocal8Bit(user), QCoreApplication::applicationFilePath(), output)};
    const QRegularExpression rowPassed(QStringLiteral("^PASS   : \\S+::") + QRegularExpression::escape(function + u'(' + tag + u')') +
                                       QLatin1Char('$'), QRegularExpression::MultilineOption);
    const bool passed = ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && output.contains(rowPassed);
    return {true, passed, QStringLiteral("as user %1:\n%2").arg(QString::fromLocal8Bit(user), output)};
}

} // namespace Unprivileged

// In a row that needs an unprivileged user: as root, the row's outcome is that of its run as
// the test user, and the rest of the function is skipped here.
#define TALVO_ROW_AS_UNPRIVILEGED_USER()                                                                                           \
    do {                                                                                                                           \
        if (::geteuid() == 0) {                                                                                                    \
            const Unprivileged::Outcome outcome = Unprivileged::runCurrentRow();                                                  \
            if (!outcome.ran)                                                                                                      \
                QSKIP(qPrintable(outcome.output));                                                                                 \
            QVERIFY2(outcome.passed, qPrintable(outcome.output));                                                                  \
            return;                                                                                                                \
        }                                                                                                                          \
    } while (false)
