#pragma once
// One command out and its reply in, over the serial port: input already waiting is
// discarded, the frame is written (its echo, where the line hands it back, is dropped),
// then the wait runs in a nested event loop until the reply's ETX arrives or the reply timer
// has ticked the countdown from 2 to 0 (about two seconds). Events keep being processed
// while it waits. Knows nothing of windows.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "link/LinkTypes.h"

class SerialComm;

class MeterTransaction : public QObject {
    Q_OBJECT
public:
    explicit MeterTransaction(SerialComm* port, QObject* parent = nullptr);

    // Writes SOH + address + command + checksum + ETX and waits for the reply.
    ReplyOutcome send(const QString& address, const QString& command);

    const QString& checksumText() const { return m_checksum; }
    const QString& replyText() const { return m_reply; }     // everything read in the last transaction
    qint16 replyCountdown() const { return m_countdown; }    // whole seconds left, 0 when not armed
    const PortFailure& failure() const { return m_failure; } // why the last send gave PortFailed
    // The line has handed back a frame we sent (an echoing RS-485 adapter); the echo is
    // never taken as a reply.
    bool echoSeen() const { return m_echoSeen; }

    // A wait of ms instead of the two-second countdown (a search for meters); 0: the countdown.
    void setReplyWaitMs(int ms) { m_waitMs = ms; }

    // Ends a pending wait and refuses further sends, giving reason as the failure.
    void abort(const QString& reason);

    void StartReplyTimer();
    void StopReplyTimer();
    void tmrSerial_Timer();
    const QTimer& replyTimer() const { return tmrSerial; }

private:
    ReplyOutcome failed(const QString& reason);

    SerialComm* m_port;
    QTimer tmrSerial;
    qint16 m_countdown = 0;
    int m_waitMs = 0;
    QString m_checksum;
    QString m_reply;
    PortFailure m_failure;
    QString m_abortReason;
    bool m_echoSeen = false;
    std::function<void()> m_wakeWait; // ends the current wait early
};
