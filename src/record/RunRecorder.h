#pragma once
// Keeps the record of the last programming run: the setup when the run started, where the
// table came from, every frame with its outcome, the firmware text, the last message and the
// end, filled from the run's RunOutcome. The window's Save Record and Print Record and the
// command line's --record write it.
#include <QJsonObject>
#include <QObject>

#include "programming/RunRecord.h"

struct MeterSetup;
struct RunOutcome;

class RunRecorder : public QObject {
    Q_OBJECT
public:
    explicit RunRecorder(QObject* parent = nullptr);

    // Where the table came from; kept while the table holds these rows.
    void noteSource(const QJsonObject& source, const QList<PointRow>& rows);
    const QJsonObject& source() const { return m_source; }
    const QList<PointRow>& sourceRows() const { return m_sourceRows; }
    // The source of a table imported from a workbook: its absolute path and SHA-256.
    static QJsonObject workbookSource(const QString& path);
    // A run starts on this setup; device is the port's.
    void begin(const MeterSetup& setup, const QString& device);
    void message(const QString& text); // the run's last message, in English
    void end(const RunOutcome& outcome);

    // A run has ended (and sent something, unless it was refused before the first frame).
    bool hasRun() const { return m_ended; }
    bool sentSomething() const;
    // The run's uuid (the record's record_id), new with each begin(): a run stored in the
    // history is known by it.
    const QString& runId() const { return m_record.recordId; }
    const RunRecord& record() const { return m_record; }
    RunRecord& record() { return m_record; }

    static QString loginName();

private:
    RunRecord m_record;
    QJsonObject m_source;
    QList<PointRow> m_sourceRows; // the table's rows when the source was noted
    QString m_lastMessage;
    bool m_ended = false;
};
