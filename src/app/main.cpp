#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "meter-sim/SimulatedMeter.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[])
{
    // --help and --version answer without a display.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(qPrintable(CommandLine::usage()), stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("talvo-linearizer %s\n", TALVO_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv); // takes Qt's own options (-platform, -style, ...)
    QApplication::setApplicationName(QStringLiteral("talvo-linearizer"));
    QApplication::setApplicationVersion(QStringLiteral(TALVO_VERSION));

    CommandLine cl = CommandLine::parse(app.arguments().mid(1));
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "talvo-linearizer: %s\n\n%s", qPrintable(cl.error), qPrintable(CommandLine::usage()));
        return 2;
    }

    AppOptions options;
    std::unique_ptr<SimulatedMeter> simulator;
    if (cl.simulate) {
        QString error;
        simulator = SimulatedMeter::start(MeterConfig{}, &error);
        if (!simulator) {
            std::fprintf(stderr, "talvo-linearizer: cannot start the simulated meter: %s\n", qPrintable(error));
            return 1;
        }
        const int number = cl.ports.firstFreeNumber();
        cl.ports.map(number, simulator->devicePath());
        std::printf("Simulated meter on port %d (%s)\n", number, qPrintable(simulator->devicePath()));
        std::fflush(stdout);
    }
    options.ports = (cl.ports.isEmpty() && !cl.simulate) ? PortMap::fromSystem() : cl.ports;

    auto window = std::make_unique<frmMain>(options);
    if (window->refusedAsSecondInstance())
        return 0;
    window->show();
    const int rc = app.exec();
    window.reset();
    return rc;
}
