#include "cli/CommandLine.h"

#include "link/MeterLink.h"
#include "programming/RunResult.h"
#include "table/MeterRules.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>

namespace {
QCommandLineOption flag(const char* name) { return QCommandLineOption(QLatin1String(name), QString()); }
QCommandLineOption valued(const char* name, const char* valueName)
{
    return QCommandLineOption(QLatin1String(name), QString(), QLatin1String(valueName));
}
bool knows(const QList<QCommandLineOption>& options, const QString& name)
{
    return std::any_of(options.begin(), options.end(), [&](const QCommandLineOption& o) { return o.names().contains(name); });
}
} // namespace

QList<QCommandLineOption> CommandLine::windowOptions()
{
    return {QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QString()), flag("version"), valued("port", "N=DEVICE"),
            flag("simulate")};
}

QList<QCommandLineOption> CommandLine::programOptions()
{
    return {valued("settings", "FILE"), valued("table", "WORKBOOK"), valued("port", "DEVICE|N"),
            valued("address", "NNN"),   valued("baud", "B"),         flag("dry-run"),
            valued("log", "FILE"),          valued("record", "PATH"),    valued("operator", "NAME"),
            valued("tag", "TEXT")};
}

QList<QCommandLineOption> CommandLine::recordOptions() { return {valued("verify", "FILE.json")}; }

QList<QCommandLineOption> CommandLine::fitOptions()
{
    return {valued("data", "FILE"), valued("shape", "NAME"),     valued("input", "A:B"),         valued("display", "C:D"),
            valued("type", "TYPE"), valued("decimal", "FORMAT"), valued("points", "K"),          valued("max-error", "E"),
            flag("on-data"),        flag("free-ends"),           valued("span", "X0:X1"),        flag("json"),
            valued("out", "WORKBOOK"), valued("settings-out", "FILE"), valued("settings", "TEMPLATE")};
}

QList<QCommandLineOption> CommandLine::scanOptions()
{
    return {valued("port", "DEVICE|N"), valued("baud", "B"), valued("address", "A[-B]"), flag("all")};
}

QList<CommandLine::Command> CommandLine::commands()
{
    return {{"", &CommandLine::windowOptions},
            {"program", &CommandLine::programOptions},
            {"fit", &CommandLine::fitOptions},
            {"scan", &CommandLine::scanOptions},
            {"record", &CommandLine::recordOptions}};
}

int CommandLine::usageError(const QString& fault)
{
    QString line = fault.simplified();
    if (!line.endsWith(QLatin1Char('.')))
        line += QLatin1Char('.');
    std::fprintf(stderr, "talvo-linearizer: %s Try 'talvo-linearizer --help'.\n", qPrintable(line));
    return RunResult::ExitUsage;
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    // One parser knows the options of every command; each is then checked against its own
    // command. An option several know (--port, --settings) is added once.
    QCommandLineParser parser;
    QStringList names;
    for (const QCommandLineOption& o : windowOptions() + programOptions() + fitOptions() + scanOptions() + recordOptions())
        if (!names.contains(o.names().constLast())) {
            names << o.names();
            parser.addOption(o);
        }

    CommandLine cl;
    const bool parsed = parser.parse(QStringList{QStringLiteral("talvo-linearizer")} + arguments);
    cl.help = parser.isSet(QStringLiteral("help"));
    cl.version = parser.isSet(QStringLiteral("version"));
    if (cl.help || cl.version)
        return cl;
    if (!parsed) {
        cl.error = parser.errorText();
        return cl;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.value(0) == QLatin1String("program"))
        cl.mode = Mode::Program;
    else if (positional.value(0) == QLatin1String("fit"))
        cl.mode = Mode::Fit;
    else if (positional.value(0) == QLatin1String("scan"))
        cl.mode = Mode::Scan;
    else if (positional.value(0) == QLatin1String("record"))
        cl.mode = Mode::Record;
    if (positional.size() > (cl.mode == Mode::Window ? 0 : cl.mode == Mode::Record ? 2 : 1)) {
        cl.error = QStringLiteral("unexpected argument \"%1\"").arg(positional.last());
        return cl;
    }
    const QList<QCommandLineOption> own = cl.mode == Mode::Program ? programOptions()
                                          : cl.mode == Mode::Fit   ? fitOptions()
                                          : cl.mode == Mode::Scan  ? scanOptions()
                                          : cl.mode == Mode::Record ? recordOptions()
                                                                   : windowOptions();
    for (const QString& name : parser.optionNames())
        if (!knows(own, name)) {
            cl.error = QStringLiteral("--%1 is not an option of \"%2\"").arg(name, positional.value(0));
            for (const Command& c : commands())
                if (knows(c.options(), name)) { // the first command that takes it
                    cl.error = *c.name ? QStringLiteral("--%1 belongs to \"%2\"").arg(name, QLatin1String(c.name))
                                       : QStringLiteral("--%1 is for the window only").arg(name);
                    break;
                }
            return cl;
        }
    if (cl.mode == Mode::Record) {
        cl.verifyPath = parser.value(QStringLiteral("verify"));
        cl.workbook = positional.value(1);
        if (cl.verifyPath.isEmpty())
            cl.error = QStringLiteral("record needs --verify FILE.json");
        return cl;
    }
    if (cl.mode == Mode::Fit) {
        auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
        cl.fit = {value("data"),
                  value("shape"),
                  value("input"),
                  value("display"),
                  value("type"),
                  value("decimal"),
                  value("points"),
                  value("max-error"),
                  value("out"),
                  value("settings-out"),
                  value("span"),
                  parser.isSet(QStringLiteral("on-data")),
                  parser.isSet(QStringLiteral("free-ends")),
                  parser.isSet(QStringLiteral("json"))};
        cl.settingsPath = value("settings");
        return cl;
    }

    for (const QString& value : parser.values(QStringLiteral("port"))) {
        if (cl.mode != Mode::Window && !value.contains(QLatin1Char('='))) {
            bool isNumber = false;
            const int n = value.toInt(&isNumber);
            if (!cl.port.isEmpty())
                cl.error = QStringLiteral("--port names the port to program more than once");
            else if (isNumber && (n < PortMap::FirstPort || n > PortMap::LastPort))
                cl.error = QStringLiteral("--port takes a device or a number from 1 to 16, not \"%1\"").arg(value);
            if (!cl.error.isEmpty())
                return cl;
            cl.port = value;
        } else if (!cl.ports.addMapping(value, &cl.error)) {
            return cl;
        }
    }

    if (cl.mode == Mode::Window) {
        cl.simulate = parser.isSet(QStringLiteral("simulate"));
        return cl;
    }
    // 7, 07 and 007 all name meter 007; "" for anything but 1 to 247
    auto addressOf = [](const QString& a) {
        bool number = false;
        const int n = a.toInt(&number);
        const QString text = number && a.size() <= 3 && !a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1Char('+'))
                                 ? QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'))
                                 : a;
        return MeterLink::addressText(text).value_or(QString());
    };
    const QString baudFault = QStringLiteral("--baud takes ") + MeterRules::alternatives(MeterRules::bauds()) + QStringLiteral(", not \"%1\"");
    if (cl.mode == Mode::Scan) {
        if (cl.port.isEmpty())
            cl.error = QStringLiteral("scan needs --port DEVICE|N");
        for (const QString& b : parser.values(QStringLiteral("baud"))) {
            if (!MeterLink::isListedBaud(b))
                cl.error = baudFault.arg(b);
            else if (!cl.scanBauds.contains(b))
                cl.scanBauds << b;
        }
        const QStringList range = parser.value(QStringLiteral("address")).split(QLatin1Char('-'));
        if (parser.values(QStringLiteral("address")).size() > 1)
            cl.error = QStringLiteral("--address is given more than once");
        else if (parser.isSet(QStringLiteral("address"))) {
            const QString first = range.size() <= 2 ? addressOf(range.value(0)) : QString();
            const QString last = range.size() == 2 ? addressOf(range.value(1)) : first;
            if (first.isEmpty() || last.isEmpty() || last.toInt() < first.toInt())
                cl.error = QStringLiteral("--address takes A or A-B, from 1 to 247 with A not above B, not \"%1\"")
                               .arg(parser.value(QStringLiteral("address")));
            else {
                cl.scanFirst = first.toInt();
                cl.scanLast = last.toInt();
            }
        }
        cl.scanAll = parser.isSet(QStringLiteral("all"));
        return cl;
    }
    cl.settingsPath = parser.value(QStringLiteral("settings"));
    cl.tablePath = parser.value(QStringLiteral("table"));
    cl.logPath = parser.value(QStringLiteral("log"));
    cl.dryRun = parser.isSet(QStringLiteral("dry-run"));
    cl.recordPaths = parser.values(QStringLiteral("record"));
    cl.operatorName = parser.value(QStringLiteral("operator"));
    cl.tag = parser.value(QStringLiteral("tag"));
    if (parser.isSet(QStringLiteral("address"))) {
        const QString a = parser.value(QStringLiteral("address"));
        cl.address = addressOf(a);
        if (cl.address.isEmpty())
            cl.error = QStringLiteral("--address takes 1 to 247, not \"%1\"").arg(a);
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        cl.baud = parser.value(QStringLiteral("baud"));
        if (!MeterLink::isListedBaud(cl.baud))
            cl.error = baudFault.arg(cl.baud);
    }
    if (!cl.error.isEmpty())
        return cl;
    if (cl.settingsPath.isEmpty())
        cl.error = QStringLiteral("program needs --settings FILE");
    else if (cl.tablePath.isEmpty())
        cl.error = QStringLiteral("program needs --table WORKBOOK");
    return cl;
}

QString CommandLine::usage()
{
    return QStringLiteral("Usage: talvo-linearizer [--port N=DEVICE]... [--simulate]\n"
                          "       talvo-linearizer program --settings FILE --table WORKBOOK [--port DEVICE|N]\n"
                          "                                [--port N=DEVICE]... [--address NNN] [--baud B]\n"
                          "                                [--dry-run] [--log FILE]\n"
                          "                                [--record PATH]... [--operator NAME] [--tag TEXT]\n"
                          "       talvo-linearizer scan --port DEVICE|N [--baud B]... [--address A[-B]] [--all]\n"
                          "       talvo-linearizer fit (--data FILE [--span X0:X1] | --shape NAME) [--input A:B]\n"
                          "                            [--display C:D] --type Voltage|Current|Pulse --decimal FORMAT\n"
                          "                            (--points K | --max-error E) [--on-data | --free-ends] [--json]\n"
                          "                            [--out WORKBOOK] [--settings-out FILE [--settings TEMPLATE]]\n"
                          "       talvo-linearizer record --verify FILE.json [WORKBOOK]\n"
                          "\n"
                          "Without a command the window opens.\n"
                          "  --port N=DEVICE  port number N (1 to 16) stands for DEVICE, e.g. --port 1=/dev/ttyUSB0;\n"
                          "                   when given, only the mapped numbers are offered\n"
                          "  --simulate       start a simulated meter (address 001, 2400 baud) and offer it\n"
                          "                   as the lowest free port number\n"
                          "  --version        print the version\n"
                          "  -h, --help       this text\n"
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
                          "  --address NNN      the meter address (1 to 247) instead of the settings file's\n"
                          "  --baud B           the baud rate instead of the settings file's: one settings file\n"
                          "                     then serves every meter of a bus\n"
                          "  --dry-run          open nothing and send nothing: check the table and print each\n"
                          "                     frame a run would send on standard output, one per line, as hex\n"
                          "                     bytes and as text\n"
                          "  --log FILE         append one CSV line per run (a header first when the file is new):\n"
                          "                     time,device,address,input,decimal,points,result,exit,table_sha256,record\n"
                          "                     every value quoted; one starting with =, +, - (not a number),\n"
                          "                     @, TAB or CR gets a leading ' (never a spreadsheet formula)\n"
                          "  --record PATH      write the run's record: PATH ending in .pdf a one-page PDF, .json\n"
                          "                     the JSON record; an existing folder gets both, named\n"
                          "                     talvo-YYYYMMDD-HHMMSS-ADDRESS.pdf/.json (repeatable). Written for\n"
                          "                     every run that sent something; checked before anything is sent\n"
                          "  --operator NAME    who ran it, for the record (default: the login name)\n"
                          "  --tag TEXT         free text for the record: the meter's serial number, a tank's tag\n"
                          "--settings, --table and --log must be plain files: a FIFO, a device or a folder is\n"
                          "refused at once (status 64).\n"
                          "Every message the window would show and every step of the status bar and progress\n"
                          "bar is printed on standard error.\n"
                          "\n"
                          "scan: searches a port for meters: each address at each baud rate is sent the firmware\n"
                          "query (it changes nothing in a meter), with a short wait for the reply at that rate.\n"
                          "Prints one line per meter found (asked again and confirmed), ADDRESS<TAB>BAUD<TAB>FIRMWARE\n"
                          "with control characters as <hh>, on standard output; progress on standard error.\n"
                          "  --port DEVICE|N    the device or port number to search (required)\n"
                          "  --baud B           a rate to try (repeatable); without it every rate: 2400, 9600,\n"
                          "                     19200, 4800, 1200, 600, 300\n"
                          "  --address A[-B]    the address or range to ask (default 1-247)\n"
                          "  --all              go on after the first meter found\n"
                          "Exit status of scan: 0 a meter answered, 1 none answered or the port was lost,\n"
                          "11 the port cannot be opened, 64 wrong usage.\n"
                          "\n"
                          "fit: the best table of 2 to 32 points for a dense source, without a window. Prints\n"
                          "one line per point, N<TAB>INPUT<TAB>DISPLAY, as the values will stand in the table,\n"
                          "then the maximum error, where it occurs, how close it is to the best possible, the\n"
                          "end mode and the meter rule that limits it, if any.\n"
                          "  --data FILE        .csv or .txt, .xlsx, .xls or .ods (columns A and B of the active\n"
                          "                     sheet); leading title rows are skipped. In text, with \";\" or tab\n"
                          "                     between the fields \",\" is the decimal point; with \",\" between\n"
                          "                     them \".\" is, and a row of more than two numbers is refused\n"
                          "  --span X0:X1       the values of column A that the ends of the input range stand\n"
                          "                     for; rows outside are left out, the ends are interpolated\n"
                          "  --shape NAME       sqrt, power:P, cylinder, capsule:R (length / diameter),\n"
                          "                     heads:R,A (ellipsoidal heads A diameters deep; 0.25 is 2:1),\n"
                          "                     sphere, cone:F, dish:F (fraction of the level in the bottom)\n"
                          "  --input A:B        the input range; for data, column A (or X0:X1 of --span) is\n"
                          "                     mapped onto it linearly; without it column A holds the inputs\n"
                          "  --display C:D      a shape's display values at A and at B\n"
                          "  --type T           Voltage, Current or Pulse\n"
                          "  --decimal FORMAT   dddddd, ddddd.d, dddd.dd, ddd.ddd, dd.dddd or d.ddddd\n"
                          "  --points K         K points, 2 to 32, with the least maximum error\n"
                          "  --max-error E      the fewest points whose maximum error is at most E (display units)\n"
                          "  --on-data          every point is a row of the data (or on the shape); the exact\n"
                          "                     optimum. Without it display values are free: about half the error\n"
                          "  --free-ends        the first and last display values may leave the source too;\n"
                          "                     by default they are the source's values at the ends\n"
                          "  --json             print one JSON object instead of the lines\n"
                          "  --out WORKBOOK     write the table to an .xlsx (B formatted for FORMAT) or a .csv\n"
                          "  --settings-out FILE  write a settings file with the type, format and points; address,\n"
                          "                     port and baud rate from --settings TEMPLATE, else 001, 1, 2400\n"
                          "Exit status of fit: 0 fitted, 1 the --max-error target needs more than 32 points (the\n"
                          "best 32 are printed), 64 wrong usage or a file that cannot be read or written, 65 the\n"
                          "data breaks a rule (the row is named) or has too few rows or too narrow a range for K,\n"
                          "130 or 143 stopped by Ctrl+C or SIGTERM. On any failure nothing is written.\n"
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
                          "  12  the --log line or a --record could not be written after the run (the reason\n"
                          "      is printed; a failed run keeps its own status)\n"
                          "  13  a display value is outside the decimal-point format's range (point named)\n"
                          "  64  wrong usage, or the settings file or workbook cannot be read or holds a value\n"
                          "      that no meter or port list takes (the line or cell is named)\n"
                          "\n"
                          "record: --verify FILE.json recomputes the SHA-256 of the record's table and compares it\n"
                          "with the one stored; with a WORKBOOK, also compares the workbook's table (columns A and\n"
                          "B, as Import reads them) with the record's. Exit status: 0 intact (and the same\n"
                          "table), 1 altered or a different table, 64 wrong usage or a file that cannot be read.\n"
                          "\n"
                          "Wrong usage of any command exits 64 with one line on standard error naming the fault.\n"
                          "See talvo-linearizer(1) for the whole manual.\n");
}
