#pragma once
// Find Meter without a window: the selected port is searched for meters by the firmware
// query, address by address at each rate in turn, with MeterLink::scanReplyWaitMs for a
// reply's first byte. An address that answers with a version is asked again with the
// two-second timeout and listed when that reply holds a version and names it (or names no
// address). A reply naming another address is credited to that one; a reply naming none
// may be the address before's, late, so that one is asked again first. Each address and
// rate tried and each meter found is told to a SearchReporter.
#include <QList>
#include <QString>
#include <QStringList>

#include "link/LinkTypes.h"
#include "programming/ProgrammingRun.h"

class MeterTransaction;
class SerialComm;

class SearchReporter {
public:
    virtual ~SearchReporter() = default;
    // Before each query: the queries done so far, of how many, and the one to come; false stops the search.
    virtual bool trying(int done, int total, const QString& address, const QString& baud) = 0;
    virtual void found(const FoundMeter& meter) = 0;
    virtual int message(const RunMessage& message) = 0; // the port's failure
    virtual bool abandoned() const { return false; }     // the face is going away
};

class MeterSearch {
public:
    struct Options {
        QString port;        // "1".."16", the port to search
        QString selectedBaud; // the rate put back in force afterwards
        QStringList bauds;   // in the order tried
        int first = 1, last = 247;
        // AtRateEnd: every meter of the rate at which the first one answered.
        enum Stop { AtFirstMeter, AtRateEnd, Never } stop = AtFirstMeter;
        int queries() const { return int(bauds.size()) * (last - first + 1); } // addresses times rates
    };
    enum class End { Finished, Stopped, PortUnavailable, PortLost };

    MeterSearch(SerialComm* port, MeterTransaction* transaction, SearchReporter* reporter);
    // Opens the port (its failure told as Program Meter tells it), searches, then goes back
    // to the selected rate. No port is opened in a dry run: the port is unavailable. A port whose
    // rate is its server's (raw TCP) is searched at the selected rate alone.
    End run(const Options& options, QList<FoundMeter>* meters, bool dryRun = false);

private:
    SerialComm* m_port;
    MeterTransaction* m_transaction;
    SearchReporter* m_reporter;
};
