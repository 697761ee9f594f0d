#include "programming/MeterSearch.h"

#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"
#include "programming/RunMessages.h"

MeterSearch::MeterSearch(SerialComm* port, MeterTransaction* transaction, SearchReporter* reporter)
    : m_port(port), m_transaction(transaction), m_reporter(reporter)
{
}

MeterSearch::End MeterSearch::run(const Options& options, QList<FoundMeter>* meters, bool dryRun)
{
    Options search = options;
    meters->clear();
    std::optional<PortFailure> linkFailure;
    auto tellFailure = [&] {
        const PortFailure failure = portFailureOf(search.port, linkFailure, *m_port);
        m_reporter->message(RunMessage{[failure] { return RunMessages::portFailure(failure); }, MessageExclamation, QString()});
    };
    m_port->discardInput();
    if (m_port->portOpen())
        m_port->setPortOpen(false);
    bool opened = false;
    if (const int n = MeterLink::portNumber(search.port); n != 0 && !dryRun) {
        m_port->setCommPort(n);
        opened = m_port->setPortOpen(true);
    }
    if (!opened) {
        linkFailure = m_port->failure();
        tellFailure();
        return End::PortUnavailable;
    }
    if (!m_port->setsRate())
        search.bauds = QStringList{search.selectedBaud}; // raw TCP: the server's rate is the only one

    const int total = search.queries();
    int done = 0;
    End end = End::Finished;
    const QString query = QLatin1String(MeterLink::FirmwareQuery);
    auto text = [](int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); };
    for (const QString& baud : search.bauds) {
        if (!m_port->setSettings(MeterLink::settingsFor(baud))) {
            linkFailure = m_port->failure();
            end = End::PortUnavailable;
            break;
        }
        const int firstByteMs = MeterLink::scanReplyWaitMs(baud.toInt()), restMs = MeterLink::scanRestWaitMs(baud.toInt());
        m_transaction->setReplyWaitMs(firstByteMs, restMs);
        // One firmware query; false when the search ends with it.
        auto ask = [&](const QString& address, ReplyOutcome* outcome) {
            *outcome = m_transaction->send(address, query);
            if (m_reporter->abandoned()) {
                end = End::Stopped;
                return false;
            }
            if (*outcome == ReplyOutcome::PortFailed) {
                linkFailure = m_transaction->failure();
                end = End::PortLost;
                return false;
            }
            return true;
        };
        // Asks the address again with the two-second timeout; lists it when its reply holds a
        // version and names it or no address. False when the search ends.
        auto confirm = [&](const QString& address) {
            for (const FoundMeter& m : std::as_const(*meters))
                if (m.address == address && m.baud == baud)
                    return true;
            m_transaction->setReplyWaitMs(0);
            ReplyOutcome outcome;
            const bool going = ask(address, &outcome);
            m_transaction->setReplyWaitMs(firstByteMs, restMs);
            if (!going)
                return false;
            const QString reply = m_transaction->replyText();
            const QString named = MeterLink::namedAddress(reply);
            if (outcome != ReplyOutcome::ReplyComplete || !MeterLink::holdsVersion(reply) || (!named.isEmpty() && named != address))
                return true;
            meters->append({address, baud, MeterLink::printable(MeterLink::firmwareText(reply))});
            m_reporter->found(meters->constLast());
            if (search.stop == Options::AtFirstMeter)
                end = End::Stopped;
            return end == End::Finished;
        };
        // A late reply, waited for up to waitMs, that holds a version and names an address asked
        // before `before` is that address's: it is confirmed. False when the search ends.
        auto creditLate = [&](int waitMs, int before) {
            const QString late = m_transaction->takeLate(waitMs, restMs);
            const QString named = MeterLink::holdsVersion(late) ? MeterLink::namedAddress(late) : QString();
            if (named.isEmpty() || named.toInt() < search.first || named.toInt() >= before)
                return true;
            return confirm(named);
        };
        for (int n = search.first; n <= search.last && end == End::Finished; ++n, ++done) {
            const QString address = text(n);
            if (!m_reporter->trying(done, total, address, baud) || m_reporter->abandoned()) {
                end = End::Stopped;
                break;
            }
            // A late reply to an address already asked names that address.
            if (!creditLate(0, n) || end != End::Finished)
                break;
            // Asked once more after a reply that named another address: that reply was not its own.
            for (int asked = 0; asked < 2 && end == End::Finished; ++asked) {
                ReplyOutcome outcome;
                if (!ask(address, &outcome))
                    break;
                // A reply whose bytes came in the pass that found the wait over still names its meter.
                const QString reply = m_transaction->replyText();
                if (outcome == ReplyOutcome::PortFailed || !MeterLink::holdsVersion(reply))
                    break;
                const QString named = MeterLink::namedAddress(reply);
                if (named.isEmpty() && n > search.first && !confirm(text(n - 1)))
                    break;
                if (!confirm(named.isEmpty() ? address : named) || named.isEmpty() || named == address)
                    break;
            }
        }
        // The last addresses' late replies come after the last wait.
        if (end == End::Finished)
            creditLate(MeterLink::LateReplyMs, search.last + 1);
        if (m_reporter->abandoned())
            return End::Stopped;
        if (end == End::Finished && search.stop == Options::AtRateEnd && !meters->isEmpty())
            end = End::Stopped;
        if (end != End::Finished)
            break;
    }
    if (m_reporter->abandoned())
        return End::Stopped;
    m_transaction->setReplyWaitMs(0);
    if (end == End::Stopped && !meters->isEmpty() && search.stop != Options::Never)
        end = End::Finished; // the search ended as asked
    if (end == End::PortLost || end == End::PortUnavailable) {
        m_port->setPortOpen(false);
        tellFailure();
    } else if (MeterLink::isListedBaud(search.selectedBaud)) {
        m_port->setSettings(MeterLink::settingsFor(search.selectedBaud)); // back to the selected rate
    }
    return end;
}
