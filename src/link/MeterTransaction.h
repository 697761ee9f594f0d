#pragma once
// One command out and its reply in, over the serial port: input already waiting is
// discarded, the frame is written (its echo, where the line hands it back, is dropped, also
// with a byte before it or its first byte lost), then the wait runs in a nested event loop until
// the meter's reply has ended or the reply timer has ticked the countdown from 2 to 0 (about
// two seconds). The reply to the firmware query sets how later replies are framed
// (MeterLink::ReplyFraming); until then any ETX ends a reply, and from then on only this
// command's acknowledgement or refusal does: anything else is passed over and the wait goes
// on. Events keep being processed while it waits. Knows nothing of windows.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "link/LinkTypes.h"
#include "link/MeterLink.h"

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
    // The last send's frame went out (a PortFailed after it: the meter may have taken it).
    bool frameSent() const { return m_frameSent; }

    // A wait of ms for the first byte instead of the two-second countdown (a search for meters),
    // then restMs for the rest once one has come; 0: the countdown.
    void setReplyWaitMs(int ms, int restMs = 0)
    {
        m_waitMs = ms;
        m_restMs = restMs;
    }
    // How replies are framed, as the last firmware reply showed.
    const MeterLink::ReplyFraming& framing() const { return m_framing; }

    // A search: what arrived after the last wait ended (a late reply), taken off the line before
    // the next frame's discard would lose it. Waits up to firstMs for a first byte, then up to
    // restMs for the rest of a reply; "" when nothing came.
    QString takeLate(int firstMs, int restMs);

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
    int m_restMs = 0;
    MeterLink::ReplyFraming m_framing;
    QString m_checksum;
    QString m_reply;
    PortFailure m_failure;
    QString m_abortReason;
    bool m_echoSeen = false;
    bool m_frameSent = false;
    std::function<void()> m_wakeWait; // ends the current wait early
};
