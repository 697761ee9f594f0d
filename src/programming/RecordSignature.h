#pragma once
// OpenSSH signatures of records: `ssh-keygen -Y sign`, `check-novalidate`, `find-principals`
// and `verify`, run as a process. OpenSSH does the signing, so keys in files, held by ssh-agent
// or on a hardware token all work, and no private key is ever read here.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace RecordSignature {

inline constexpr const char* Namespace = "talvo-record"; // ssh-keygen's -n

QString signaturePath(const QString& recordPath);      // FILE.json.sig
QString chosenKey(const QString& option);              // the option, else TALVO_SIGN_KEY
QString defaultAllowedSigners();                       // ~/.ssh/allowed_signers

struct Signed {
    QByteArray signature; // the armoured "-----BEGIN SSH SIGNATURE-----" text
    QString fingerprint;  // "SHA256:..."; tryKey only
    QString error;        // why not: ssh-keygen's own words
    bool ok() const { return error.isEmpty(); }
};
// The signature of data with the key (a private key file, or a public one whose key
// ssh-agent or a token holds).
Signed sign(const QString& keyPath, const QByteArray& data);
// The signature text the run history keeps beside a record's JSON: "" without a key, or when
// the key cannot sign (it was tried before the run).
QString signatureText(const QString& keyPath, const QByteArray& json);
// A test signature, checked: the key's fingerprint, or why the key cannot sign.
Signed tryKey(const QString& keyPath);

struct Verdict {
    enum Kind { Good, Mismatch, UnknownKey, Unusable } kind = Unusable;
    QStringList principals; // Good: the allowed signers' identities of the key
    QString fingerprint;    // the signing key's, when the signature is readable
    QString message;        // ssh-keygen's words when not Good
};
// Checks the signature file against data and the allowed-signers file.
Verdict verify(const QByteArray& data, const QString& signatureFile, const QString& allowedSigners);

} // namespace RecordSignature
