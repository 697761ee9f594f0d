#include "meter-sim/SimulatorOptions.h"

#include <QCommandLineParser>

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

// "PREFIX=VALUE" split at the last '='; false without a prefix.
bool splitPair(const QString& text, QString* prefix, QString* value)
{
    const int eq = int(text.lastIndexOf(QLatin1Char('=')));
    if (eq <= 0)
        return false;
    *prefix = text.left(eq);
    *value = text.mid(eq + 1);
    return true;
}
} // namespace

QString SimulatorOptions::usage()
{
    return QStringLiteral("Usage: talvo-meter-sim [options]\n"
                          "Simulates a Talvo Series meter on a pseudo-terminal and prints its device path.\n"
                          "\n"
                          "  --address NNN        meter address, 001 to 247 (default 001); repeated, one meter\n"
                          "                       more on the line for each, with its own configuration\n"
                          "                       and table, all at the same baud rate\n"
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
                          "  --echo               the line echoes every byte sent to the meter\n"
                          "  --reply-start S      the replies' start character: stx (default), soh or none\n"
                          "  --duplicate P        answer commands starting with P twice\n"
                          "  --stray-etx N        no reply to the Nth valid command; a lone ETX instead\n"
                          "  --foreign N=NNN      no reply to the Nth valid command; meter NNN answers it\n"
                          "  --boot-on N          restart at the Nth valid command: boot text framed by\n"
                          "                       STX and ETX instead of a reply, everything it was sent lost\n"
                          "  --echo-glitch G      echo every byte (as --echo), each frame's echo glitched:\n"
                          "                       before (a noise byte before it) or lost (its SOH lost)\n"
                          "  --noise-on N         no reply to the Nth valid command; a noise burst instead:\n"
                          "                       STX, 0 to 2 bytes, ETX\n"
                          "  --flipped-refusal-on N  refuse the Nth valid command with one bit of the\n"
                          "                       refusal's Z flipped on the line\n"
                          "  --flip-on N          one bit of the Nth frame on the line flipped: the meter\n"
                          "                       (and an echo) see it damaged\n"
                          "  --seed S             which bit, byte and noise the faults above take (default 1)\n"
                          "  --dump-on-exit       accepted for scripts: the configuration and table the\n"
                          "                       meter was sent are always printed when it stops\n"
                          "                       (SIGINT/SIGTERM)\n"
                          "  --version            print the version\n"
                          "  -h, --help           this text\n"
                          "\n"
                          "Exit status: 0 stopped by SIGINT or SIGTERM, 1 no pseudo-terminal could be made,\n"
                          "64 wrong usage (one line on standard error naming the fault).\n");
}

QList<QCommandLineOption> SimulatorOptions::options()
{
    auto flag = [](const char* name) { return QCommandLineOption(QLatin1String(name), QString()); };
    auto valued = [](const char* name) { return QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("v")); };
    QList<QCommandLineOption> list{QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QString())};
    for (const char* name : {"version", "modem", "wire-time", "old-firmware", "dump-on-exit", "echo"})
        list << flag(name);
    for (const char* name :
         {"address", "baud", "firmware", "latency", "silent-on", "silent-prefix", "refuse", "late", "pieces", "duplicate", "stray-etx",
          "foreign", "boot-on", "echo-glitch", "noise-on", "flipped-refusal-on", "flip-on", "seed", "reply-start"})
        list << valued(name);
    return list;
}

SimulatorOptions SimulatorOptions::parse(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addOptions(options());
    SimulatorOptions o;
    const bool parsed = parser.parse(QStringList{QStringLiteral("talvo-meter-sim")} + args);
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    if (o.help || o.version)
        return o;
    auto fail = [&](const QString& why) {
        o.error = why;
        return o;
    };
    if (!parsed)
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));

    o.config.modem = parser.isSet(QStringLiteral("modem"));
    o.config.wireTime = parser.isSet(QStringLiteral("wire-time"));
    o.config.echo = parser.isSet(QStringLiteral("echo"));
    o.config.duplicatePrefix = parser.value(QStringLiteral("duplicate"));
    o.dumpOnExit = parser.isSet(QStringLiteral("dump-on-exit"));
    if (parser.isSet(QStringLiteral("old-firmware")))
        o.config.firmware = QString::fromLatin1(OldFirmwareText);
    if (parser.isSet(QStringLiteral("firmware")))
        o.config.firmware = parser.value(QStringLiteral("firmware"));
    const QStringList addresses = parser.values(QStringLiteral("address"));
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        int n;
        if (addresses[i].size() != 3 || !toInt(addresses[i], 1, 247, &n))
            return fail(QStringLiteral("--address needs three digits from 001 to 247"));
        if (addresses.indexOf(addresses[i]) < i)
            return fail(QStringLiteral("--address %1 is given twice: one meter per address").arg(addresses[i]));
    }
    if (!addresses.isEmpty()) {
        o.config.address = addresses.constFirst();
        o.config.busAddresses = addresses.mid(1);
    }
    if (parser.isSet(QStringLiteral("baud")) && !toInt(parser.value(QStringLiteral("baud")), 50, 230400, &o.config.baud))
        return fail(QStringLiteral("--baud needs a baud rate"));
    if (parser.isSet(QStringLiteral("latency")) && !toInt(parser.value(QStringLiteral("latency")), 0, 600000, &o.config.latencyMs))
        return fail(QStringLiteral("--latency needs milliseconds"));
    if (parser.isSet(QStringLiteral("silent-on")) &&
        !toInt(parser.value(QStringLiteral("silent-on")), 1, 1000000, &o.config.silentOnCommand))
        return fail(QStringLiteral("--silent-on needs a command number from 1"));
    for (const QString& v : parser.values(QStringLiteral("silent-prefix"))) {
        if (v.isEmpty())
            return fail(QStringLiteral("--silent-prefix needs a command prefix"));
        o.config.silentPrefixes << v;
    }
    for (const QString& v : parser.values(QStringLiteral("refuse"))) {
        QString prefix, code;
        if (!splitPair(v, &prefix, &code) || code.size() != 1 || !code[0].isDigit())
            return fail(QStringLiteral("--refuse needs PREFIX=DIGIT"));
        o.config.refusals.insert(prefix, code[0]);
    }
    if (parser.isSet(QStringLiteral("late"))) {
        QString ms;
        if (!splitPair(parser.value(QStringLiteral("late")), &o.config.latePrefix, &ms) || !toInt(ms, 0, 600000, &o.config.lateMs))
            return fail(QStringLiteral("--late needs PREFIX=MS"));
    }
    if (parser.isSet(QStringLiteral("stray-etx")) &&
        !toInt(parser.value(QStringLiteral("stray-etx")), 1, 1000000, &o.config.strayEtxOn))
        return fail(QStringLiteral("--stray-etx needs a command number from 1"));
    if (parser.isSet(QStringLiteral("boot-on")) && !toInt(parser.value(QStringLiteral("boot-on")), 1, 1000000, &o.config.bootOn))
        return fail(QStringLiteral("--boot-on needs a command number from 1"));
    const struct {
        const char* name;
        int* value;
    } faults[] = {{"noise-on", &o.config.noiseOn}, {"flipped-refusal-on", &o.config.flippedRefusalOn}, {"flip-on", &o.config.flipOn}};
    for (const auto& fault : faults)
        if (parser.isSet(QLatin1String(fault.name)) && !toInt(parser.value(QLatin1String(fault.name)), 1, 1000000, fault.value))
            return fail(QStringLiteral("--%1 needs a number from 1").arg(QLatin1String(fault.name)));
    if (parser.isSet(QStringLiteral("reply-start"))) {
        const QString start = parser.value(QStringLiteral("reply-start"));
        const QStringList names{QStringLiteral("none"), QStringLiteral("soh"), QStringLiteral("stx")};
        if (!names.contains(start))
            return fail(QStringLiteral("--reply-start needs stx, soh or none"));
        o.config.replyStart = char(names.indexOf(start)); // 0 none, 1 SOH, 2 STX
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        o.config.faultSeed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("--seed needs a number from 0"));
    }
    if (parser.isSet(QStringLiteral("foreign"))) {
        QString number, address;
        int n;
        if (!splitPair(parser.value(QStringLiteral("foreign")), &number, &address) || !toInt(number, 1, 1000000, &o.config.foreignOn) ||
            address.size() != 3 || !toInt(address, 1, 247, &n))
            return fail(QStringLiteral("--foreign needs N=NNN, a command number and an address from 001 to 247"));
        o.config.foreignAddress = address;
    }
    if (parser.isSet(QStringLiteral("echo-glitch"))) {
        const QString glitch = parser.value(QStringLiteral("echo-glitch"));
        if (glitch != QLatin1String("before") && glitch != QLatin1String("lost"))
            return fail(QStringLiteral("--echo-glitch needs before or lost"));
        o.config.echo = true;
        o.config.echoGlitch = glitch == QLatin1String("before") ? MeterConfig::EchoGlitch::ByteBefore : MeterConfig::EchoGlitch::FirstLost;
    }
    if (parser.isSet(QStringLiteral("pieces")) && !toInt(parser.value(QStringLiteral("pieces")), 1, 64, &o.config.replyPieces))
        return fail(QStringLiteral("--pieces needs a number from 1 to 64"));
    return o;
}
