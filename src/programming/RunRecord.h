#pragma once
// The record of one programming run: who ran it, when, on which meter and port, the table
// as sent and where it came from, every frame with its outcome, and the result. Written
// as JSON for a rig to keep and as a one-page PDF for a quality file; the table carries a
// SHA-256 of its canonical text so that an altered record is caught.
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "table/PointTable.h"

struct RecordCommand {
    enum Outcome { Acknowledged, Refused, TimedOut, NotSent };
    QString command; // the command text, e.g. "48L04"
    QString frame;   // the frame as sent, as RunResult::frameText writes it: "<SOH>00148L04A9<ETX>"
    Outcome outcome = NotSent;
    QString code; // Refused: the meter's error code, escaped as the firmware text is
};

struct RunRecord {
    QString version; // the utility's
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

    bool programmed() const { return status == 0; }
};

namespace Record {

inline constexpr const char* Utility = "talvo-linearizer";

// One "input<TAB>display" line per point, each ending in LF.
QByteArray canonicalTable(const QList<PointRow>& points);
QString tableSha256(const QList<PointRow>& points);
QString fileSha256(const QString& path); // "" when the file cannot be read

QString isoTime(const QDateTime& time); // ISO 8601 with the UTC offset
QString outcomeName(RecordCommand::Outcome outcome); // "acknowledged", "refused", "timed out", "not sent"

QJsonObject toJson(const RunRecord& record);
QByteArray toJsonText(const RunRecord& record); // indented, ends in LF

// "talvo-YYYYMMDD-HHMMSS-ADDRESS" + suffix, from the run's start.
QString defaultFileName(const RunRecord& record, const QString& suffix);

struct Verification {
    bool intact = false;
    QString reason; // why not, or "" when intact
};
// Recomputes the table's SHA-256 from the record's points and compares it with the one stored.
Verification verify(const QByteArray& json);
// The record's table as written ("input", "display" texts); empty when unreadable.
QList<PointRow> tableOf(const QByteArray& json);
// The record a JSON record was written from (toJsonText(fromJson(json)) == json for a record
// this utility wrote).
RunRecord fromJson(const QByteArray& json);

} // namespace Record
