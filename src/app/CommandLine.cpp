#include "app/CommandLine.h"

#include <QCommandLineParser>

CommandLine CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption simulate(QStringLiteral("simulate"), QString());
    const QCommandLineOption settings(QStringLiteral("settings"), QString(), QStringLiteral("file"));
    const QCommandLineOption table(QStringLiteral("table"), QString(), QStringLiteral("workbook"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption log(QStringLiteral("log"), QString(), QStringLiteral("file"));
    parser.addOptions({help, version, port, simulate, settings, table, dryRun, log});

    CommandLine cl;
    const bool parsed = parser.parse(QStringList{QStringLiteral("talvo-linearizer")} + arguments);
    cl.help = parser.isSet(help);
    cl.version = parser.isSet(version);
    if (cl.help || cl.version)
        return cl;
    if (!parsed) {
        cl.error = parser.errorText();
        return cl;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.value(0) == QLatin1String("program"))
        cl.mode = Mode::Program;
    if (positional.size() > (cl.mode == Mode::Program ? 1 : 0)) {
        cl.error = QStringLiteral("unexpected argument \"%1\"").arg(positional.last());
        return cl;
    }

    for (const QString& value : parser.values(port)) {
        if (cl.mode == Mode::Program && !value.contains(QLatin1Char('='))) {
            if (!cl.port.isEmpty()) {
                cl.error = QStringLiteral("--port names the port to program more than once");
                return cl;
            }
            cl.port = value;
        } else if (!cl.ports.addMapping(value, &cl.error)) {
            return cl;
        }
    }

    if (cl.mode == Mode::Window) {
        for (const QCommandLineOption* o : {&settings, &table, &dryRun, &log})
            if (parser.isSet(*o)) {
                cl.error = QStringLiteral("--%1 belongs to \"program\"").arg(o->names().constFirst());
                return cl;
            }
        cl.simulate = parser.isSet(simulate);
        return cl;
    }

    if (parser.isSet(simulate)) {
        cl.error = QStringLiteral("--simulate is for the window only");
        return cl;
    }
    cl.settingsPath = parser.value(settings);
    cl.tablePath = parser.value(table);
    cl.logPath = parser.value(log);
    cl.dryRun = parser.isSet(dryRun);
    if (cl.settingsPath.isEmpty())
        cl.error = QStringLiteral("program needs --settings FILE");
    else if (cl.tablePath.isEmpty())
        cl.error = QStringLiteral("program needs --table WORKBOOK");
    return cl;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: talvo-linearizer [--port N=DEVICE]... [--simulate]\n"
        "       talvo-linearizer program --settings FILE --table WORKBOOK [--port DEVICE|N]\n"
        "                                [--port N=DEVICE]... [--dry-run] [--log FILE]\n"
        "\n"
        "Without a command the window opens.\n"
        "  --port N=DEVICE  port number N (1 to 16) stands for DEVICE, e.g. --port 1=/dev/ttyUSB0;\n"
        "                   when given, only the mapped numbers are offered\n"
        "  --simulate       start a simulated meter (address 001, 2400 baud) and offer it\n"
        "                   as the lowest free port number\n"
        "  --version        print the version\n"
        "  --help           this text\n"
        "\n"
        "Without --port, the machine's serial devices are numbered 1 to 16 in this order:\n"
        "ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*, then any others, by number within each kind.\n"
        "\n"
        "program: programs one meter as Program Meter does, without a window and without a\n"
        "display (DISPLAY may be unset). Several runs may go at once, one per port.\n"
        "  --settings FILE    a settings file saved by Save Settings: decimal-point format,\n"
        "                     address, port number, baud rate, number of points, input type,\n"
        "                     applied as Open Settings applies it\n"
        "  --table WORKBOOK   .xlsx, .xls or .ods, imported as Import does (A: input values,\n"
        "                     B: display values, row 1 is point 1; B's number format sets the\n"
        "                     decimal-point format)\n"
        "  --port DEVICE|N    the device (e.g. /dev/ttyUSB0) or port number to use instead of\n"
        "                     the settings file's port; numbers follow the order above and\n"
        "                     any --port N=DEVICE maps\n"
        "  --dry-run          open nothing and send nothing: check the table and print each\n"
        "                     frame a run would send on standard output, one per line, as hex\n"
        "                     bytes and as text\n"
        "  --log FILE         append one CSV line per run (a header first when the file is new):\n"
        "                     time,device,address,input,decimal,points,result,exit\n"
        "Every message the window would show and every step of the status bar and progress\n"
        "bar is printed on standard error.\n"
        "\n"
        "Exit status of program:\n"
        "   0  programmed, success message shown\n"
        "   1  communication failure: no reply, a refusal, a failed point, the port lost\n"
        "   2  missing point value           6  current below minimum span\n"
        "   3  voltage out of range          7  input values not increasing\n"
        "   4  current out of range          8  pulse out of range\n"
        "   5  voltage below minimum span    9  pulse below minimum span\n"
        "  10  the meter's firmware is refused (01.000)\n"
        "  11  the port cannot be opened: missing, no permission, or busy\n"
        "  64  wrong usage, or the settings file or workbook cannot be read\n");
}
