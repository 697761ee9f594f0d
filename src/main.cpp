#include "cli/CommandLine.h"
#include "cli/FitMode.h"
#include "cli/HistoryMode.h"
#include "cli/ProgramMode.h"
#include "cli/ScanMode.h"
#include "cli/QuitOnSignals.h"
#include "cli/RecordMode.h"
#include "app/Translations.h"
#include "app/frmMain.h"
#include "meter-sim/SimulatedMeter.h"
#include "programming/RecordSignature.h"
#include "programming/RunResult.h"

#include <QApplication>
#include <QFileInfo>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {
const char* const NoDisplay =
    "talvo-linearizer: no display to open the window on; \"talvo-linearizer program\" programs a meter without one\n";

bool hasDisplay(const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("-platform")) || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true; // a platform chosen by hand is left to Qt
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A platform plugin that cannot reach its display ends the program with the one line, not an
// abort; its notes before that are held back and told only when the window can start after all.
QStringList g_startupNotes;
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(NoDisplay, stderr);
        std::_Exit(1);
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_startupNotes << qFormatLogMessage(type, context, text);
}
// A PDF record needs fonts, which come with a platform: a record as .pdf or into a folder.
bool recordNeedsFonts(const QStringList& paths)
{
    return std::any_of(paths.begin(), paths.end(), [](const QString& path) {
        const QFileInfo info(path);
        return info.isDir() || info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
    });
}

// Without a window Qt's own notes are not the output, only its errors.
void quietQt()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

// The commands: no window, no widget, and no platform plugin unless a PDF
// record is to be written (then the "offscreen" one).
int runWithoutWindow(int argc, char* argv[], const CommandLine& cl)
{
    quietQt();
    const bool program = cl.mode == CommandLine::Mode::Program;
    const bool history = cl.mode == CommandLine::Mode::History;
    std::unique_ptr<QCoreApplication> app;
    if ((program && recordNeedsFonts(cl.program.recordPaths)) || (history && recordNeedsFonts({cl.history.recordPath}))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    std::setlocale(LC_NUMERIC, "C");
    QCoreApplication::setApplicationName(QStringLiteral("talvo-linearizer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVO_VERSION));
    QuitOnSignals::install(app.get());
    switch (cl.mode) {
    case CommandLine::Mode::Program:
        return ProgramMode::run(cl);
    case CommandLine::Mode::Scan:
        return ScanMode::run(cl);
    case CommandLine::Mode::Fit:
        return FitMode::run(cl);
    case CommandLine::Mode::History:
        return HistoryMode::run(cl);
    default:
        return RecordMode::verify(cl);
    }
}
} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine cl = CommandLine::parse(arguments);
    // --help and --version answer without a display.
    if (cl.help) {
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("talvo-linearizer %s\n", TALVO_VERSION);
        return 0;
    }
    const bool withoutWindow = cl.mode != CommandLine::Mode::Window;
    // Qt's own options have one dash and are taken by QApplication; other errors are told at once.
    const bool qtOptions = std::any_of(arguments.begin(), arguments.end(), [](const QString& a) {
        return a.size() > 1 && a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--"));
    });
    if (!cl.error.isEmpty() && (withoutWindow || !qtOptions))
        return CommandLine::usageError(cl.error);
    if (withoutWindow)
        return runWithoutWindow(argc, argv, cl);

    if (!hasDisplay(arguments)) {
        std::fputs(NoDisplay, stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv); // takes Qt's own options (-platform, -style, ...)
    // QApplication set the C library's locale from the environment; numbers the C library
    // writes into files keep "." (Qt's own QLocale still follows the user's settings).
    std::setlocale(LC_NUMERIC, "C");
    qInstallMessageHandler(previous);
    for (const QString& note : std::as_const(g_startupNotes))
        std::fprintf(stderr, "%s\n", qPrintable(note));
    QApplication::setApplicationName(QStringLiteral("talvo-linearizer"));
    QApplication::setApplicationVersion(QStringLiteral(TALVO_VERSION));
    QuitOnSignals::install(&app);

    // The window speaks the user's language; the command line above stays English for scripts.
    Translations::install(QLocale::system());
    cl = CommandLine::parse(app.arguments().mid(1));
    if (!cl.error.isEmpty())
        return CommandLine::usageError(cl.error);

    AppOptions options;
    // The key that signs saved records makes a test signature before the window opens.
    if (const QString key = RecordSignature::chosenKey(cl.window.signKey); !key.isEmpty()) {
        const RecordSignature::Signed tried = RecordSignature::tryKey(key);
        if (!tried.ok()) {
            std::fprintf(stderr, "talvo-linearizer: cannot sign with the key %s: %s\n", qPrintable(key), qPrintable(tried.error));
            return RunResult::ExitUsage;
        }
        options.signing = {key, tried.fingerprint};
    }
    options.mappedOnly = !cl.ports.isEmpty(); // the user chose the numbering: only mapped devices join
    options.history = cl.window.history;
    options.noHistory = cl.window.noHistory;
    std::unique_ptr<SimulatedMeter> simulator;
    if (cl.window.simulate) {
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
    options.ports = (cl.ports.isEmpty() && !cl.window.simulate) ? PortMap::fromSystem() : cl.ports;

    auto window = std::make_unique<frmMain>(options);
    if (window->refusedAsSecondInstance())
        return 0;
    window->show();
    const int rc = app.exec();
    window.reset();
    return rc;
}
