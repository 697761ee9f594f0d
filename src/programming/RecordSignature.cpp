#include "programming/RecordSignature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <unistd.h>

namespace RecordSignature {

namespace {

constexpr int WaitMs = 120000; // a hardware key waits for a touch

struct Run {
    int status = -1;
    QByteArray out;
    QString error; // ssh-keygen's complaint, or why it did not run
};

Run sshKeygen(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess p;
    // No terminal: a key whose passphrase no agent holds fails instead of waiting for one.
    p.setChildProcessModifier([] { ::setsid(); });
    p.start(QStringLiteral("ssh-keygen"), arguments);
    Run run;
    if (!p.waitForStarted(WaitMs)) {
        run.error = QStringLiteral("ssh-keygen cannot be run (%1); it comes with openssh-client").arg(p.errorString());
        return run;
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(WaitMs)) {
        p.kill();
        p.waitForFinished();
        run.error = QStringLiteral("ssh-keygen did not finish within %1 s").arg(WaitMs / 1000);
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    QStringList said;
    for (const QString& line : QString::fromLocal8Bit(p.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.startsWith(QLatin1String("Signing ")))
            said << line.trimmed();
    if (run.status != 0)
        run.error = said.isEmpty() ? QStringLiteral("ssh-keygen failed (exit status %1)").arg(run.status) : said.join(QStringLiteral("; "));
    return run;
}

QString fingerprintIn(const QByteArray& good)
{
    static const QRegularExpression key(QStringLiteral("\\bkey (SHA256:\\S+)"));
    return key.match(QString::fromUtf8(good)).captured(1);
}

// check-novalidate: the signature is the key's over data, whoever the key is.
Run checkAnyKey(const QByteArray& data, const QString& signatureFile)
{
    return sshKeygen({QStringLiteral("-Y"), QStringLiteral("check-novalidate"), QStringLiteral("-n"), QLatin1String(Namespace),
                      QStringLiteral("-s"), signatureFile},
                     data);
}

} // namespace

QString signaturePath(const QString& recordPath) { return recordPath + QStringLiteral(".sig"); }

QString chosenKey(const QString& option) { return option.isEmpty() ? qEnvironmentVariable("TALVO_SIGN_KEY") : option; }

QString defaultAllowedSigners() { return QDir::home().filePath(QStringLiteral(".ssh/allowed_signers")); }

Signed sign(const QString& keyPath, const QByteArray& data)
{
    Signed s;
    // ssh-keygen signs a file into FILE.sig; standard input stays empty, so it never reads a
    // passphrase from the data.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("record")));
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush()) {
        s.error = QStringLiteral("cannot write a temporary file: %1").arg(file.errorString());
        return s;
    }
    file.close();
    const Run run = sshKeygen({QStringLiteral("-q"), QStringLiteral("-Y"), QStringLiteral("sign"), QStringLiteral("-n"),
                               QLatin1String(Namespace), QStringLiteral("-f"), keyPath, file.fileName()});
    QFile signature(signaturePath(file.fileName()));
    if (!run.error.isEmpty())
        s.error = run.error;
    else if (!signature.open(QIODevice::ReadOnly) || (s.signature = signature.readAll()).isEmpty())
        s.error = QStringLiteral("ssh-keygen wrote no signature");
    return s;
}

Signed tryKey(const QString& keyPath)
{
    if (!QFileInfo(keyPath).isFile())
        return {{}, {}, QStringLiteral("%1: no such key file").arg(keyPath)};
    const QByteArray probe = QByteArrayLiteral("talvo-linearizer: a test signature\n");
    Signed s = sign(keyPath, probe);
    if (!s.ok())
        return s;
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("probe.sig")));
    if (!file.open(QIODevice::WriteOnly) || file.write(s.signature) != s.signature.size() || !file.flush())
        return {{}, {}, QStringLiteral("cannot write a temporary file: %1").arg(file.errorString())};
    const Run check = checkAnyKey(probe, file.fileName());
    s.fingerprint = fingerprintIn(check.out);
    if (s.fingerprint.isEmpty())
        s.error = QStringLiteral("its test signature does not check: %1").arg(check.error);
    return s;
}

Verdict verify(const QByteArray& data, const QString& signatureFile, const QString& allowedSigners)
{
    Verdict v;
    const Run check = checkAnyKey(data, signatureFile);
    if (check.status < 0) {
        v.message = check.error;
        return v;
    }
    v.fingerprint = fingerprintIn(check.out);
    if (check.status != 0 || v.fingerprint.isEmpty()) {
        v.kind = Verdict::Mismatch;
        v.message = QStringLiteral("the signature does not match the record: ") + check.error;
        return v;
    }
    v.kind = Verdict::UnknownKey;
    if (!QFileInfo::exists(allowedSigners))
        return v;
    const Run found = sshKeygen({QStringLiteral("-Y"), QStringLiteral("find-principals"), QStringLiteral("-s"), signatureFile,
                                 QStringLiteral("-f"), allowedSigners});
    if (found.status != 0)
        return v;
    // The key is allowed; -Y verify applies the file's limits (namespaces, validity) too.
    for (const QString& principal : QString::fromUtf8(found.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const Run run = sshKeygen({QStringLiteral("-Y"), QStringLiteral("verify"), QStringLiteral("-f"), allowedSigners,
                                   QStringLiteral("-I"), principal, QStringLiteral("-n"), QLatin1String(Namespace),
                                   QStringLiteral("-s"), signatureFile},
                                  data);
        if (run.status == 0)
            v.principals << principal;
        else
            v.message = QStringLiteral("the allowed signers refuse it for %1: %2").arg(principal, run.error);
    }
    v.kind = v.principals.isEmpty() ? Verdict::Mismatch : Verdict::Good;
    return v;
}

QString signatureText(const QString& keyPath, const QByteArray& json)
{
    return keyPath.isEmpty() ? QString() : QString::fromUtf8(sign(keyPath, json).signature);
}

} // namespace RecordSignature
