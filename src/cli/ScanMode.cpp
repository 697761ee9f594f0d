#include "cli/ScanMode.h"

#include "cli/CommandLine.h"
#include "app/PickList.h"
#include "cli/ProgramMode.h"
#include "app/frmMain.h"
#include "link/MeterLink.h"
#include "programming/RunResult.h"

#include <cstdio>

namespace ScanMode {

int run(const CommandLine& cl)
{
    using ProgramMode::printErr;
    AppOptions options;
    int portNumber = 0;
    QString error;
    if (!ProgramMode::choosePort(cl, &options.ports, &portNumber, &error)) {
        printErr(QStringLiteral("talvo-linearizer: %1").arg(error));
        return RunResult::ExitUsage;
    }
    ProgramMode::prepareWindowless(&options);
    frmMain w(options);
    const QString number = QString::number(portNumber);
    if (w.cboCommPort->findText(number, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        w.cboCommPort->AddItem(number);
    w.selectListText(w.cboCommPort, number);

    frmMain::MeterSearch search;
    search.bauds = cl.scan.bauds.isEmpty() ? MeterLink::scanOrder(w.cboBaudRate->Text()) : cl.scan.bauds;
    search.first = cl.scan.first;
    search.last = cl.scan.last;
    search.stop = cl.scan.all ? frmMain::MeterSearch::Never : frmMain::MeterSearch::AtFirstMeter;
    // One line per rate and one every 16 addresses: enough to see it move, not a flood.
    const QString device = w.ports().device(portNumber);
    search.progress = [&](int done, int total, const QString& address, const QString& baud) {
        if (address.toInt() == cl.scan.first || (address.toInt() - cl.scan.first) % 16 == 0)
            printErr(QStringLiteral("[%1%] %2 at %3 baud: address %4...")
                         .arg(int(qint64(done) * 100 / qMax(total, 1)), 3)
                         .arg(device, baud, address));
        return true;
    };
    search.found = [](const FoundMeter& m) {
        std::printf("%s\t%s\t%s\n", qPrintable(m.address), qPrintable(m.baud), qPrintable(m.firmware));
        std::fflush(stdout);
    };
    QList<FoundMeter> meters;
    const frmMain::SearchEnd end = w.findMeters(search, &meters);
    frmMain::setMessageHook({});
    if (end == frmMain::SearchEnd::PortUnavailable) {
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
