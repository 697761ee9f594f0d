#pragma once
// Keeps the record of the window's last programming run: the setup when Program Meter was
// pressed, where the table came from, every frame with its outcome, the firmware text, the
// last message and the end. The window's Save Record and Print Record and the command line's
// --record write it.
#include <QJsonObject>
#include <QObject>

#include "link/LinkTypes.h"
#include "programming/RunRecord.h"

class frmMain;

class RunRecorder : public QObject {
    Q_OBJECT
public:
    explicit RunRecorder(frmMain* window);

    // Where the table came from; kept while the grid holds that table.
    void noteSource(const QJsonObject& source);
    void begin();
    void command(const QString& command, const QByteArray& frame, ReplyOutcome outcome, const QString& reply);
    void message(const QString& text);
    void end(int status, const QString& result);

    // A run has ended (and sent something, unless it was refused before the first frame).
    bool hasRun() const { return m_ended; }
    bool sentSomething() const;
    const RunRecord& record() const { return m_record; }
    RunRecord& record() { return m_record; }

    static QString loginName();

private:
    frmMain* m_window;
    RunRecord m_record;
    QJsonObject m_source;
    QList<PointRow> m_sourceRows; // the grid's rows when the source was noted
    QString m_lastMessage;
    bool m_ended = false;
};
