// talvo-meter-sim: a simulated meter on a pseudo-terminal.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "meter-sim/SimulatedMeter.h"
#include "meter-sim/SimulatorOptions.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = char(sig);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const SimulatorOptions options = SimulatorOptions::parse(app.arguments().mid(1));
    if (options.help) {
        std::fputs(qPrintable(SimulatorOptions::usage()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("talvo-meter-sim %s\n", TALVO_VERSION);
        return 0;
    }
    if (!options.error.isEmpty()) {
        QString fault = options.error.simplified(); // one line, ending in one full stop
        if (fault.endsWith(u'.'))
            fault.chop(1);
        std::fprintf(stderr, "talvo-meter-sim: %s. Try 'talvo-meter-sim --help'.\n", qPrintable(fault));
        return SimulatorOptions::ExitUsage;
    }
    QString error;
    auto meter = SimulatedMeter::start(options.config, &error);
    if (!meter) {
        std::fprintf(stderr, "talvo-meter-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Simulated meter on %s\n", qPrintable(meter->devicePath()));
    const QStringList addresses = QStringList{options.config.address} + options.config.busAddresses;
    std::printf("Address%s %s, %d baud, firmware %s\n", addresses.size() > 1 ? "es" : "", qPrintable(addresses.join(QLatin1String(", "))),
                options.config.baud, qPrintable(options.config.firmware));
    std::fflush(stdout);
    QObject::connect(meter.get(), &SimulatedMeter::logLine, [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    });

    // SIGINT/SIGTERM end the event loop through a self-pipe.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, [&] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
        app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const int rc = app.exec();
    std::printf("\n%s", qPrintable(meter->dump()));
    std::fflush(stdout);
    return rc;
}
