#include "app/CommandLine.h"

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine cl;
    for (int i = 0; i < arguments.size() && cl.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--port")) {
            if (i + 1 >= arguments.size())
                cl.error = QStringLiteral("--port needs N=DEVICE");
            else
                cl.ports.addMapping(arguments[++i], &cl.error);
        } else if (a.startsWith(QLatin1String("--port="))) {
            cl.ports.addMapping(a.mid(7), &cl.error);
        } else if (a == QLatin1String("--simulate")) {
            cl.simulate = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            cl.help = true;
        } else if (a == QLatin1String("--version")) {
            cl.version = true;
        } else if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            cl.error = QStringLiteral("unexpected argument \"%1\"").arg(a);
        } else {
            cl.error = QStringLiteral("unknown option \"%1\"").arg(a);
        }
    }
    return cl;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: talvo-linearizer [--port N=DEVICE]... [--simulate]\n"
        "\n"
        "  --port N=DEVICE  port number N (1 to 16) stands for DEVICE, e.g. --port 1=/dev/ttyUSB0;\n"
        "                   when given, only the mapped numbers are offered\n"
        "  --simulate       start a simulated meter (address 001, 2400 baud) and offer it\n"
        "                   as the lowest free port number\n"
        "  --version        print the version\n"
        "\n"
        "Without --port, the machine's serial devices are numbered 1 to 16 in this order:\n"
        "ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*, then any others, by number within each kind.\n");
}
