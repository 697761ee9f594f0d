#include "cli/ScanMode.h"

#include "link/PortMap.h"
#include "cli/CommandLine.h"
#include "cli/ProgramMode.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/PortAddress.h"
#include "link/SerialComm.h"
#include "programming/MeterSearch.h"
#include "programming/RunResult.h"

#include <cstdio>

namespace {
// The search's steps on standard error, the meters found on standard output.
class ConsoleSearch final : public SearchReporter {
public:
    ConsoleSearch(const QString& device, int first) : m_device(device), m_first(first) {}
    bool trying(int done, int total, const QString& address, const QString& baud) override
    {
        // One line per rate and one every 16 addresses: enough to see it move, not a flood.
        if (address.toInt() == m_first || (address.toInt() - m_first) % 16 == 0)
            ProgramMode::printErr(QStringLiteral("[%1%] %2 at %3 baud: address %4...")
                                      .arg(int(qint64(done) * 100 / qMax(total, 1)), 3)
                                      .arg(m_device, baud, address));
        return true;
    }
    void found(const FoundMeter& m) override
    {
        std::printf("%s\t%s\t%s\n", qPrintable(m.address), qPrintable(m.baud), qPrintable(m.firmware));
        std::fflush(stdout);
    }
    int message(const RunMessage& message) override
    {
        ProgramMode::printMessage(message.text(), message.title);
        return 1; // OK
    }

private:
    QString m_device;
    int m_first;
};
} // namespace

namespace ScanMode {

int run(const CommandLine& cl)
{
    using ProgramMode::printErr;
    PortMap ports;
    int portNumber = 0;
    QString error;
    if (!ProgramMode::choosePort(cl, &ports, &portNumber, &error)) {
        printErr(QStringLiteral("talvo-linearizer: %1").arg(error));
        return RunResult::ExitUsage;
    }
    MeterSearch::Options search;
    search.port = QString::number(portNumber);
    search.selectedBaud = QStringLiteral("2400"); // the window's default rate
    if (const QString device = ports.device(portNumber); PortAddress::isNetwork(device)) {
        const auto address = PortAddress::parse(device, &error);
        if (!address)
            return CommandLine::usageError(QStringLiteral("--port: ") + error);
        if (address->kind == PortAddress::Kind::RawTcp) {
            // The line's rate is the server's: one rate, the one the server runs.
            if (cl.scan.bauds.size() != 1)
                return CommandLine::usageError(
                    QStringLiteral("scan over tcp:// searches the server's rate alone: give it as one --baud B"));
            search.selectedBaud = cl.scan.bauds.front();
            printErr(QStringLiteral("talvo-linearizer: %1 passes bytes at the server's rate: searching at %2 baud only")
                         .arg(device, search.selectedBaud));
        }
    }
    SerialComm port([&ports](int n) { return ports.device(n); });
    MeterTransaction transaction(&port);

    search.bauds = cl.scan.bauds.isEmpty() ? MeterLink::scanOrder(search.selectedBaud) : cl.scan.bauds;
    search.first = cl.scan.first;
    search.last = cl.scan.last;
    search.stop = cl.scan.all ? MeterSearch::Options::Never : MeterSearch::Options::AtFirstMeter;
    ConsoleSearch face(ports.device(portNumber), cl.scan.first);
    QList<FoundMeter> meters;
    const MeterSearch::End end = MeterSearch(&port, &transaction, &face).run(search, &meters);
    port.setPortOpen(false);
    if (end == MeterSearch::End::PortUnavailable) {
        printErr(QStringLiteral("talvo-linearizer: port unavailable (exit status %1)").arg(int(RunResult::ExitPort)));
        return RunResult::ExitPort;
    }
    const int status = meters.isEmpty() ? int(RunResult::ExitCommunication) : 0;
    printErr(QStringLiteral("talvo-linearizer: %1 (exit status %2)")
                 .arg(meters.isEmpty()     ? QStringLiteral("no meter answered")
                      : meters.size() == 1 ? QStringLiteral("1 meter found")
                                           : QStringLiteral("%1 meters found").arg(meters.size()))
                 .arg(status));
    return status;
}

} // namespace ScanMode
