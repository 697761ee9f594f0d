#include "cli/CommandLine.h"

#include "history/HistoryDest.h"
#include "link/MeterLink.h"
#include "programming/RunResult.h"
#include "table/MeterRules.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>

namespace {
bool knows(const QList<QCommandLineOption>& options, const QString& name)
{
    return std::any_of(options.begin(), options.end(), [&](const QCommandLineOption& o) { return o.names().contains(name); });
}
// An option as --help shows it: "-h, --help", "--port N=DEVICE".
QString words(const QCommandLineOption& o)
{
    QStringList names;
    for (const QString& name : o.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    return names.join(QStringLiteral(", ")) + (o.valueName().isEmpty() ? QString() : QLatin1Char(' ') + o.valueName());
}
// A text's lines after the first, indented by a margin.
QString indented(const QString& text, qsizetype margin)
{
    return QString(text).replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(margin, QLatin1Char(' ')));
}
// --history and --no-history of program and the window: a DEST that is not one is wrong usage.
QString historyFault(const QCommandLineParser& parser, QString* dest, bool* none)
{
    *none = parser.isSet(QStringLiteral("no-history"));
    if (!parser.isSet(QStringLiteral("history")))
        return {};
    if (*none)
        return QStringLiteral("--history and --no-history exclude each other");
    *dest = parser.value(QStringLiteral("history"));
    QString fault;
    if (!History::parseDest(*dest, &fault))
        return fault;
    return {};
}
// --since and --until: a date (the day's start; until: the next day's) or a date and time.
QDateTime timeOf(const QString& text, bool until)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return date.addDays(until ? 1 : 0).startOfDay();
    return text.contains(QLatin1Char('T')) ? QDateTime::fromString(text, Qt::ISODate) : QDateTime();
}
} // namespace

QList<CommandDeclaration> CommandLine::commands()
{
    return {WindowOptions::declaration(), ProgramOptions::declaration(), ScanOptions::declaration(), FitOptions::declaration(),
            RecordOptions::declaration(), HistoryOptions::declaration()};
}

QString CommandLine::usage()
{
    const QList<CommandDeclaration> all = commands();
    QString text;
    for (const CommandDeclaration& c : all) {
        const QString start = QLatin1String(text.isEmpty() ? "Usage: " : "       ") + QStringLiteral("talvo-linearizer ") +
                              (*c.name ? QLatin1String(c.name) + QLatin1Char(' ') : QString());
        text += start + indented(QLatin1String(c.synopsis), start.size()) + QLatin1Char('\n');
    }
    for (const CommandDeclaration& c : all) {
        if (qstrcmp(c.name, "record") == 0) // program's table of exit statuses stands before it
            text += QLatin1Char('\n') + QLatin1String(ProgramOptions::exitStatuses);
        text += QLatin1Char('\n') + QLatin1String(c.about);
        for (const QCommandLineOption& o : c.options)
            if (!o.description().isEmpty()) {
                const QString option = QStringLiteral("  ") + words(o);
                text += option + QString(std::max<qsizetype>(2, c.column - option.size()), QLatin1Char(' ')) +
                        indented(o.description(), c.column) + QLatin1Char('\n');
            }
        text += QLatin1String(c.notes);
    }
    return text + QStringLiteral("\nWrong usage of any command exits 64 with one line on standard error naming the fault.\n"
                                 "See talvo-linearizer(1) for the whole manual.\n");
}

QString CommandLine::meterAddress(const QString& a)
{
    bool number = false;
    const int n = a.toInt(&number);
    const QString text = number && a.size() <= 3 && !a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1Char('+'))
                             ? QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'))
                             : a;
    return MeterLink::addressText(text).value_or(QString());
}

int CommandLine::usageError(const QString& fault)
{
    QString line = fault.simplified();
    if (!line.endsWith(QLatin1Char('.')))
        line += QLatin1Char('.');
    std::fprintf(stderr, "talvo-linearizer: %s Try 'talvo-linearizer --help'.\n", qPrintable(line));
    return RunResult::ExitUsage;
}

CommandLine CommandLine::parseHistory(const QCommandLineParser& parser, const QStringList& words, CommandLine cl)
{
    HistoryOptions& h = cl.history;
    auto isSet = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    const QString action = words.value(1);
    bool none = false;
    cl.error = historyFault(parser, &h.history, &none);
    if (action == QLatin1String("show")) {
        h.action = HistoryOptions::Action::Show;
        bool number = false;
        h.id = words.value(2).toLongLong(&number);
        if (!number || h.id < 1)
            cl.error = QStringLiteral("history show takes a run's ID (a number from 1), not \"%1\"").arg(words.value(2));
        h.recordPath = value("record");
    } else if (action == QLatin1String("flush")) {
        h.action = HistoryOptions::Action::Flush;
    } else if (!action.isEmpty()) {
        cl.error = QStringLiteral("history takes \"show ID\" or \"flush\", not \"%1\"").arg(action);
    }
    if (h.action != HistoryOptions::Action::Show && words.size() > 2)
        cl.error = QStringLiteral("unexpected argument \"%1\"").arg(words.last());
    const char* const listOnly[] = {"tag", "address", "status", "since", "until", "limit", "json", "csv"};
    for (const char* name : listOnly)
        if (h.action != HistoryOptions::Action::List && isSet(name))
            cl.error = QStringLiteral("--%1 lists runs; it does not go with \"history %2\"").arg(QLatin1String(name), action);
    if (h.action != HistoryOptions::Action::Show && isSet("record"))
        cl.error = QStringLiteral("--record goes with \"history show ID\"");
    if (none)
        cl.error = QStringLiteral("--no-history is not an option of \"history\"");
    if (!cl.error.isEmpty())
        return cl;

    History::Filter& f = h.filter;
    f.tag = value("tag");
    if (isSet("address") && (f.address = CommandLine::meterAddress(value("address"))).isEmpty())
        cl.error = QStringLiteral("--address takes 1 to 247, not \"%1\"").arg(value("address"));
    f.status = value("status");
    if (isSet("status") && f.status != QLatin1String("programmed") && f.status != QLatin1String("failed"))
        cl.error = QStringLiteral("--status takes programmed or failed, not \"%1\"").arg(f.status);
    f.since = timeOf(value("since"), false);
    f.until = timeOf(value("until"), true);
    for (const char* name : {"since", "until"})
        if (isSet(name) && !timeOf(value(name), false).isValid())
            cl.error = QStringLiteral("--%1 takes an ISO date (2026-03-01) or time (2026-03-01T08:00), not \"%2\"")
                           .arg(QLatin1String(name), value(name));
    if (isSet("limit")) {
        bool number = false;
        f.limit = value("limit").toInt(&number);
        if (!number || f.limit < 1)
            cl.error = QStringLiteral("--limit takes a number from 1, not \"%1\"").arg(value("limit"));
    }
    h.json = isSet("json");
    h.csv = isSet("csv");
    if (h.json && h.csv)
        cl.error = QStringLiteral("--json and --csv exclude each other");
    return cl;
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    // One parser knows the options of every command; each is then checked against its own
    // command. An option several know (--port, --settings) is added once.
    const QList<CommandDeclaration> all = commands();
    QCommandLineParser parser;
    QStringList names;
    for (const CommandDeclaration& c : all)
        for (const QCommandLineOption& o : c.options)
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
    for (qsizetype i = 1; i < all.size(); ++i)
        if (positional.value(0) == QLatin1String(all[i].name))
            cl.mode = Mode(i);
    const qsizetype words = cl.mode == Mode::Window ? 0 : cl.mode == Mode::Record ? 2 : cl.mode == Mode::History ? 3 : 1;
    if (positional.size() > words) {
        cl.error = QStringLiteral("unexpected argument \"%1\"").arg(positional.last());
        return cl;
    }
    for (const QString& name : parser.optionNames())
        if (!knows(all[qsizetype(cl.mode)].options, name)) {
            cl.error = QStringLiteral("--%1 is not an option of \"%2\"").arg(name, positional.value(0));
            for (const CommandDeclaration& c : all)
                if (knows(c.options, name)) { // the first command that takes it
                    cl.error = *c.name ? QStringLiteral("--%1 belongs to \"%2\"").arg(name, QLatin1String(c.name))
                                       : QStringLiteral("--%1 is for the window only").arg(name);
                    break;
                }
            return cl;
        }
    if (cl.mode == Mode::History)
        return parseHistory(parser, positional, cl);
    if (cl.mode == Mode::Record) {
        cl.record.verifyPath = parser.value(QStringLiteral("verify"));
        cl.record.workbook = positional.value(1);
        cl.record.allowedSigners = parser.value(QStringLiteral("allowed-signers"));
        if (cl.record.verifyPath.isEmpty())
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
                  value("settings"),
                  parser.isSet(QStringLiteral("on-data")),
                  parser.isSet(QStringLiteral("free-ends")),
                  parser.isSet(QStringLiteral("json"))};
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
            else
                PortMap::checkAddress(value, &cl.error);
            if (!cl.error.isEmpty())
                return cl;
            cl.port = value;
        } else if (!cl.ports.addMapping(value, &cl.error)) {
            return cl;
        }
    }

    if (cl.mode == Mode::Window) {
        cl.window.simulate = parser.isSet(QStringLiteral("simulate"));
        cl.window.signKey = parser.value(QStringLiteral("sign-key"));
        cl.error = historyFault(parser, &cl.window.history, &cl.window.noHistory);
        return cl;
    }
    const auto addressOf = &CommandLine::meterAddress;
    const QString baudFault = QStringLiteral("--baud takes ") + MeterRules::alternatives(MeterRules::bauds()) + QStringLiteral(", not \"%1\"");
    if (cl.mode == Mode::Scan) {
        if (cl.port.isEmpty())
            cl.error = QStringLiteral("scan needs --port DEVICE|N");
        for (const QString& b : parser.values(QStringLiteral("baud"))) {
            if (!MeterLink::isListedBaud(b))
                cl.error = baudFault.arg(b);
            else if (!cl.scan.bauds.contains(b))
                cl.scan.bauds << b;
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
                cl.scan.first = first.toInt();
                cl.scan.last = last.toInt();
            }
        }
        cl.scan.all = parser.isSet(QStringLiteral("all"));
        return cl;
    }
    cl.program.settingsPath = parser.value(QStringLiteral("settings"));
    cl.program.tablePath = parser.value(QStringLiteral("table"));
    cl.program.jobPath = parser.value(QStringLiteral("job"));
    cl.program.keepGoing = parser.isSet(QStringLiteral("keep-going"));
    cl.program.logPath = parser.value(QStringLiteral("log"));
    cl.program.dryRun = parser.isSet(QStringLiteral("dry-run"));
    cl.program.recordPaths = parser.values(QStringLiteral("record"));
    cl.program.recordOverwrite = parser.isSet(QStringLiteral("record-overwrite"));
    cl.program.operatorName = parser.value(QStringLiteral("operator"));
    cl.program.tag = parser.value(QStringLiteral("tag"));
    cl.program.signKey = parser.value(QStringLiteral("sign-key"));
    // Only a JSON record (a .json path or a folder) is signed.
    if (!cl.program.signKey.isEmpty() && std::all_of(cl.program.recordPaths.begin(), cl.program.recordPaths.end(), [](const QString& p) {
            return p.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
        }))
        cl.error = QStringLiteral("--sign-key signs the JSON record: it needs --record FILE.json or a folder");
    if (const QString fault = historyFault(parser, &cl.program.history, &cl.program.noHistory); cl.error.isEmpty())
        cl.error = fault;
    if (parser.isSet(QStringLiteral("address"))) {
        const QString a = parser.value(QStringLiteral("address"));
        cl.program.address = addressOf(a);
        if (cl.program.address.isEmpty())
            cl.error = QStringLiteral("--address takes 1 to 247, not \"%1\"").arg(a);
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        cl.program.baud = parser.value(QStringLiteral("baud"));
        if (!MeterLink::isListedBaud(cl.program.baud))
            cl.error = baudFault.arg(cl.program.baud);
    }
    if (!cl.error.isEmpty())
        return cl;
    if (parser.isSet(QStringLiteral("job"))) {
        // A job's rows name each meter's address and table.
        if (cl.program.jobPath.isEmpty())
            cl.error = QStringLiteral("--job needs a file");
        for (const char* name : {"table", "address"})
            if (parser.isSet(QLatin1String(name)))
                cl.error = QStringLiteral("--%1 and --job exclude each other: the job's rows name each meter's").arg(QLatin1String(name));
        return cl;
    }
    if (cl.program.keepGoing)
        cl.error = QStringLiteral("--keep-going is for --job");
    else if (cl.program.settingsPath.isEmpty())
        cl.error = QStringLiteral("program needs --settings FILE");
    else if (cl.program.tablePath.isEmpty())
        cl.error = QStringLiteral("program needs --table WORKBOOK");
    return cl;
}
