#include "meter-sim/SimulatorOptions.h"

namespace {
bool toInt(const QString& text, int min, int max, int* out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}
} // namespace

QString SimulatorOptions::usage()
{
    return QStringLiteral(
        "Usage: talvo-meter-sim [options]\n"
        "Simulates a Talvo Series meter on a pseudo-terminal and prints its device path.\n"
        "\n"
        "  --address NNN        meter address, 001 to 247 (default 001)\n"
        "  --baud N             meter baud rate (default 2400)\n"
        "  --firmware TEXT      firmware version text (default 01.100)\n"
        "  --old-firmware       firmware text 01.000 (refused by the utility)\n"
        "  --modem              act as a modem: answer ATV1Q0<CR> with OK<CR><LF>\n"
        "  --wire-time          delay each reply by the wire time of frame and reply\n"
        "  --latency MS         extra delay before each reply\n"
        "  --silent-on N        no reply to the Nth valid command (1-based)\n"
        "  --silent-prefix P    no reply to commands starting with P (repeatable)\n"
        "  --refuse P=CODE      refuse commands starting with P with digit CODE (repeatable)\n"
        "  --late P=MS          reply to commands starting with P only after MS ms\n"
        "  --pieces N           send each reply in N pieces\n"
        "  --dump-on-exit       accepted for scripts: the configuration and table the\n"
        "                       meter was sent are always printed when it stops\n"
        "                       (SIGINT/SIGTERM)\n"
        "  --help               this text\n");
}

SimulatorOptions SimulatorOptions::parse(const QStringList& args)
{
    SimulatorOptions o;
    auto fail = [&](const QString& why) {
        o.error = why;
        return o;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size())
                return false;
            *out = args[++i];
            return true;
        };
        QString v;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--modem") {
            o.config.modem = true;
        } else if (a == "--wire-time") {
            o.config.wireTime = true;
        } else if (a == "--old-firmware") {
            o.config.firmware = QString::fromLatin1(OldFirmwareText);
        } else if (a == "--dump-on-exit") {
            o.dumpOnExit = true;
        } else if (a == "--address") {
            int n;
            if (!value(&v) || v.size() != 3 || !toInt(v, 1, 247, &n))
                return fail("--address needs three digits from 001 to 247");
            o.config.address = v;
        } else if (a == "--baud") {
            if (!value(&v) || !toInt(v, 50, 230400, &o.config.baud))
                return fail("--baud needs a baud rate");
        } else if (a == "--firmware") {
            if (!value(&v))
                return fail("--firmware needs a text");
            o.config.firmware = v;
        } else if (a == "--latency") {
            if (!value(&v) || !toInt(v, 0, 600000, &o.config.latencyMs))
                return fail("--latency needs milliseconds");
        } else if (a == "--silent-on") {
            if (!value(&v) || !toInt(v, 1, 1000000, &o.config.silentOnCommand))
                return fail("--silent-on needs a command number from 1");
        } else if (a == "--silent-prefix") {
            if (!value(&v) || v.isEmpty())
                return fail("--silent-prefix needs a command prefix");
            o.config.silentPrefixes << v;
        } else if (a == "--refuse") {
            const int eq = value(&v) ? int(v.lastIndexOf('=')) : -1;
            if (eq <= 0 || v.size() != eq + 2 || !v[eq + 1].isDigit())
                return fail("--refuse needs PREFIX=DIGIT");
            o.config.refusals.insert(v.left(eq), v[eq + 1]);
        } else if (a == "--late") {
            const int eq = value(&v) ? int(v.lastIndexOf('=')) : -1;
            if (eq <= 0 || !toInt(v.mid(eq + 1), 0, 600000, &o.config.lateMs))
                return fail("--late needs PREFIX=MS");
            o.config.latePrefix = v.left(eq);
        } else if (a == "--pieces") {
            if (!value(&v) || !toInt(v, 1, 64, &o.config.replyPieces))
                return fail("--pieces needs a number from 1 to 64");
        } else {
            return fail("unknown option " + a);
        }
    }
    return o;
}
