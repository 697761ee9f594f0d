#pragma once
// The record of one programming run: who ran it, when, on which meter and port, the table
// as sent and where it came from, every frame with its outcome, and the result. Written
// as JSON for a rig to keep and as a one-page PDF for a quality file. The table carries a
// SHA-256 of its canonical text, the whole record one of its canonical JSON (record_sha256),
// and a record may be signed with the station's OpenSSH key (RecordSignature.h).
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "table/PointTable.h"

struct RecordCommand {
    // Unknown: the frame went out, but the run ended (a signal, the port lost) before its reply.
    enum Outcome { Acknowledged, Refused, TimedOut, NotSent, Unknown };
    QString command; // the command text, e.g. "48L04"
    QString frame;   // the frame as sent, as RunResult::frameText writes it: "<SOH>00148L04A9<ETX>"
    Outcome outcome = NotSent;
    QString code; // Refused: the meter's error code, escaped as the firmware text is
};

struct RunRecord {
    QString recordId; // a uuid of its own, given when the run starts
    QString version;  // the utility's
    QDateTime timeStart, timeEnd;
    QString host, operatorName, tag;

    struct Port {
        QString device, byId, manufacturer, product, serial;
    } port;
    struct Meter {
        QString address; // "001"
        int baud = 0;
        QString firmware; // the reply's text, control characters escaped (MeterLink::printable)
    } meter;

    QString inputType; // "Voltage", "Current", "Pulse"
    QString decimal;   // "ddd.ddd"
    QList<PointRow> points;
    // Where the table came from: {"kind": "workbook", "path", "sha256"}, {"kind": "fit", …}
    // or {"kind": "typed"}.
    QJsonObject source;

    QList<RecordCommand> commands;
    int status = -1;    // the run's exit status
    QString resultText; // the run's last message

    // The key that signs the JSON record (FILE.json.sig) and its fingerprint; not in the JSON.
    struct Signing {
        QString key, fingerprint;
    } signing;

    bool programmed() const { return status == 0; }
};

namespace Record {

inline constexpr const char* Utility = "talvo-linearizer";
inline constexpr int SchemaVersion = 2; // of the JSON: 2 added record_id and schema_version

// One "input<TAB>display" line per point, each ending in LF.
QByteArray canonicalTable(const QList<PointRow>& points);
QString tableSha256(const QList<PointRow>& points);
QString fileSha256(const QString& path); // "" when the file cannot be read

QString isoTime(const QDateTime& time); // ISO 8601 with the UTC offset
// "acknowledged", "refused", "timed out", "not sent", "sent, outcome unknown"
QString outcomeName(RecordCommand::Outcome outcome);

QJsonObject toJson(const RunRecord& record); // without record_sha256
QByteArray toJsonText(const RunRecord& record); // indented, ends in LF, record_sha256 last added

// The canonical form: Python's json.dumps(record, sort_keys=True, separators=(",", ":"),
// ensure_ascii=False) in UTF-8, the top level's record_sha256 left out (docs/record-hash.md).
QByteArray canonicalJson(const QJsonObject& record);
QString recordSha256(const QJsonObject& record);
QString recordSha256(const RunRecord& record); // of the JSON as toJsonText writes it
// Writes the JSON record, and FILE.json.sig when record.signing names a key (a stale one is
// removed); false with the reason when either cannot be written.
bool saveJson(const RunRecord& record, const QString& path, QString* error, bool replace = true);
// Writes JSON bytes as they are, with FILE.json.sig when signature is given (a stale one is
// removed otherwise); each file whole or not at all.
bool writeJson(const QString& path, const QByteArray& json, const QByteArray& signature, QString* error, bool replace = true);

// "talvo-YYYYMMDD-HHMMSS-mmm-ADDRESS-ID" + suffix, from the run's start (to the millisecond) and the
// first 8 digits of its record_id, then "-TAG" where a tag is given (only letters, digits, ".", "_"
// and "-" kept, at most 40 of them): runs on several processes or machines never share a name.
QString defaultFileName(const RunRecord& record, const QString& suffix);

struct Verification {
    bool intact = false;
    QString reason;       // why not, or "" when intact
    bool whole = false;   // record_sha256 checked the whole record (a record made before it has none)
};
// Recomputes the table's SHA-256 from the record's points and the record's from its canonical
// form, and compares them with the ones stored.
Verification verify(const QByteArray& json);
// The record's table as written ("input", "display" texts); empty when unreadable.
QList<PointRow> tableOf(const QByteArray& json);
// The record a JSON record was written from (toJsonText(fromJson(json)) == json for a record
// this utility wrote).
RunRecord fromJson(const QByteArray& json);

} // namespace Record
