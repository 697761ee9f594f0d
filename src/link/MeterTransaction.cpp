#include "link/MeterTransaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "link/MeterLink.h"
#include "link/SerialComm.h"

MeterTransaction::MeterTransaction(SerialComm* port, QObject* parent) : QObject(parent), m_port(port)
{
    tmrSerial.setObjectName(QStringLiteral("tmrSerial"));
    // The countdown must not run early: two ticks are the two-second timeout.
    tmrSerial.setTimerType(Qt::PreciseTimer);
    connect(&tmrSerial, &QTimer::timeout, this, &MeterTransaction::tmrSerial_Timer);
}

void MeterTransaction::abort(const QString& reason)
{
    m_abortReason = reason;
    if (m_wakeWait)
        m_wakeWait();
    tmrSerial.stop();
}

QString MeterTransaction::takeLate(int firstMs, int restMs)
{
    QString got;
    QElapsedTimer clock;
    clock.start();
    const int latency = m_port->latencyMs();
    qint64 limit = firstMs + latency;
    for (;;) {
        // Bytes reach the port's buffer only when its notifier has run.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const QByteArray bytes = m_port->input();
        if (!bytes.isEmpty() && got.isEmpty())
            limit = clock.elapsed() + restMs + latency; // a first byte: the rest gets its own time
        got += QString::fromLatin1(bytes);
        if (got.contains(QChar(MeterLink::ETX)) || clock.elapsed() >= limit || !m_port->portOpen() || !m_abortReason.isEmpty())
            return got;
        QEventLoop wait;
        QTimer::singleShot(int(qMin<qint64>(10, limit - clock.elapsed())), &wait, &QEventLoop::quit);
        const auto c = connect(m_port, &SerialComm::readyRead, &wait, &QEventLoop::quit);
        wait.exec();
        disconnect(c);
    }
}

void MeterTransaction::StartReplyTimer()
{
    // A short wait is one tick of its own length. The network's round trip, measured when the
    // port opened, is added to the wait, spread over the ticks.
    m_countdown = m_waitMs > 0 ? 1 : 2;
    tmrSerial.setInterval((m_waitMs > 0 ? m_waitMs : 1000) + (m_port->latencyMs() + m_countdown - 1) / m_countdown);
    tmrSerial.start();
}

void MeterTransaction::StopReplyTimer()
{
    m_countdown = 0;
    tmrSerial.stop();
    tmrSerial.setInterval(0);
}

void MeterTransaction::tmrSerial_Timer()
{
    if (m_countdown != 0)
        --m_countdown;
}

ReplyOutcome MeterTransaction::failed(const QString& reason)
{
    m_failure = PortFailure{m_port->commPort(), m_port->device(), reason, false};
    return ReplyOutcome::PortFailed;
}

ReplyOutcome MeterTransaction::send(const QString& address, const QString& command)
{
    m_checksum = MeterLink::ComputeChecksum(command);
    m_reply.clear();
    m_failure = PortFailure{};
    m_frameSent = false;
    if (!m_abortReason.isEmpty())
        return failed(m_abortReason);
    const bool firmwareQuery = command == QLatin1String(MeterLink::FirmwareQuery);
    if (firmwareQuery)
        m_framing = {}; // learned again from this reply
    // Whatever is waiting (a late or repeated reply to an earlier command) cannot answer this one.
    // A search keeps it instead: a late reply names the address it answers, and the search
    // credits it there, so a reply arriving between two queries is never thrown away.
    if (m_waitMs <= 0)
        m_port->discardInput();
    const QString frame = MeterLink::BuildMeterFrame(address, command, m_checksum);
    const QString echoTail = frame.mid(1); // address, command, checksum, ETX
    bool echoPossible = true;               // an adapter that echoes hands our own frame back first
    if (!m_port->output(frame.toLatin1())) {
        m_failure = m_port->failure();
        return ReplyOutcome::PortFailed;
    }
    m_frameSent = true;
    StartReplyTimer();
    bool restArmed = m_restMs <= 0;

    // Sleep in an event loop until something can change the outcome: input arrives,
    // the reply timer ticks, the port fails, or the wait is aborted.
    QEventLoop wait;
    bool woken = true; // the first pass only processes what is pending
    auto wake = [&] {
        woken = true;
        wait.quit();
    };
    const auto c1 = connect(m_port, &SerialComm::readyRead, &wait, wake);
    bool portFailed = false;
    const auto c2 = connect(m_port, &SerialComm::failed, &wait, [&] {
        portFailed = true;
        wake();
    });
    const auto c3 = connect(&tmrSerial, &QTimer::timeout, &wait, wake);
    // A wait nested inside another (through processed events) hands the wake-up back when it ends.
    struct Restore {
        std::function<void()>& slot;
        std::function<void()> previous;
        ~Restore() { slot = std::move(previous); }
    } restore{m_wakeWait, std::exchange(m_wakeWait, wake)};

    ReplyOutcome outcome = ReplyOutcome::ReplyComplete;
    bool quitting = false; // the application is ending: event loops no longer run
    for (;;) {
        if (woken) {
            woken = false;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            quitting = wait.exec() < 0;
            woken = false;
        }
        m_reply += QString::fromLatin1(m_port->input());
        if (echoPossible && !m_reply.isEmpty()) {
            // Our frame, perhaps with a byte of noise before it or its SOH lost.
            const qsizetype at = m_reply.indexOf(echoTail);
            if (at >= 0 && at <= 2) {
                m_reply.remove(0, at + echoTail.size());
                m_echoSeen = true;
                echoPossible = false;
            } else if (m_reply.contains(QChar(MeterLink::ETX)) || m_reply.size() > frame.size()) {
                echoPossible = false;
            }
        }
        if (!restArmed && !echoPossible && !m_reply.isEmpty() && m_countdown != 0) {
            restArmed = true; // a reply's first byte has come: the rest gets its own time
            tmrSerial.start(m_restMs + m_port->latencyMs());
        }
        if (!m_abortReason.isEmpty() || quitting || !m_port->portOpen()) {
            if (portFailed && m_abortReason.isEmpty())
                m_failure = m_port->failure();
            else
                failed(!m_abortReason.isEmpty() ? m_abortReason
                       : quitting               ? QStringLiteral("interrupted")
                                                : QStringLiteral("the port was closed"));
            outcome = ReplyOutcome::PortFailed;
            StopReplyTimer();
            break;
        }
        // The countdown is tested first: an ETX found in the pass that sees 0 is too late.
        if (m_countdown == 0) {
            outcome = ReplyOutcome::ReplyTimedOut; // the timer stays armed at 0 until the next start
            break;
        }
        const MeterLink::ReplyFraming::Span span = echoPossible ? MeterLink::ReplyFraming::Span{} : m_framing.find(m_reply);
        if (span.end >= 0) {
            if (m_framing.learned)
                m_reply = m_reply.mid(span.begin, span.end - span.begin);
            StopReplyTimer();
            break;
        }
    }
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);
    if (firmwareQuery && outcome == ReplyOutcome::ReplyComplete && MeterLink::holdsVersion(m_reply))
        m_framing = MeterLink::ReplyFraming::learnedFrom(m_reply, address);
    return outcome;
}
