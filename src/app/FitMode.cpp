#include "app/FitMode.h"

#include "app/CommandLine.h"
#include "app/QuitOnSignals.h"
#include "files/PlainFile.h"
#include "files/SettingsFile.h"
#include "fitting/DataFile.h"
#include "fitting/Fit.h"
#include "spreadsheet/Workbook.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <unistd.h>

namespace FitMode {
namespace {

void say(const QString& line) { std::fprintf(stderr, "talvo-linearizer: %s\n", qPrintable(line)); }

// What a settings file written for the fit takes from the template: address, port and baud
// rate; the window's defaults without one.
std::optional<SettingsValues> settingsFrom(const QString& templatePath, QString* error)
{
    SettingsValues values{QString(), QStringLiteral("001"), QStringLiteral("1"), QStringLiteral("2400"), QString(), false, false};
    if (templatePath.isEmpty())
        return values;
    if (const QString refusal = PlainFile::readRefusal(templatePath); !refusal.isEmpty()) {
        *error = refusal; // a FIFO would block the read
        return std::nullopt;
    }
    SettingsReader reader;
    if (reader.open(templatePath)) {
        const auto address = reader.readLine(SettingsFile::AddressLine);
        const auto port = reader.readLine(SettingsFile::CommPortLine);
        const auto baud = reader.readLine(SettingsFile::BaudRateLine);
        if (address && port && baud) {
            values.address = *address;
            values.commPort = *port;
            values.baudRate = *baud;
            return values;
        }
    }
    *error = reader.stopLine() > 0 ? QStringLiteral("%1 line %2: %3").arg(templatePath).arg(reader.stopLine()).arg(reader.errorText())
                                   : QStringLiteral("%1: %2").arg(templatePath, reader.errorText());
    return std::nullopt;
}

bool writeCsv(const QString& path, const QList<Fitting::Point>& table, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    for (const Fitting::Point& p : table)
        file.write((p.input + QLatin1Char(',') + p.display + QStringLiteral("\r\n")).toUtf8());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

// Column A holds the inputs and B the display values, each formatted with its decimals, so
// that Import and `program --table` read them back as they stand and take the format from B.
bool writeWorkbook(const QString& path, const QList<Fitting::Point>& table, InputType type, const QString& format, QString* error)
{
    Spreadsheet::Application app;
    Spreadsheet::Sheet& sheet = app.Add().ActiveSheet();
    const QString last = QString::number(MeterRules::MaxPoints);
    sheet.setNumberFormat(QStringLiteral("A1:A") + last, Spreadsheet::decimalsFormat(MeterRules::inputLimits(type).decimals));
    sheet.setNumberFormat(QStringLiteral("B1:B") + last, Spreadsheet::decimalsFormat(ValueRules::formatDecimals(format)));
    for (int i = 0; i < table.size(); ++i) {
        sheet.setNumber(i, 0, table[i].inputValue);
        sheet.setNumber(i, 1, table[i].displayValue);
    }
    return app.SaveCopyAs(path, error);
}

QString fixed(double v, int decimals) { return QString::number(v, 'f', std::max(decimals, 0)); }

// A JSON string literal.
QString jsonText(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

// The run ends on a signal: the handler's byte, still waiting in the event loop, ends it
// with 128 + the signal's number.
int signalExit() { return QCoreApplication::exec(); }
bool stopRequested() { return QuitOnSignals::requested()->load(); }

} // namespace

Figures figures(const Fitting::Result& r, const Fitting::Request& q)
{
    const MeterRules::InputLimits& in = MeterRules::inputLimits(q.type);
    Figures f;
    f.maxError = fixed(r.maxError, ValueRules::formatDecimals(q.format) + 2);
    f.percent = fixed(r.maxErrorPercent, 3);
    f.at = fixed(r.maxErrorAt, in.decimals);
    f.unit = QLatin1String(in.unit);
    if (r.lowerBound > 0)
        f.lowerBound = fixed(r.lowerBound, ValueRules::formatDecimals(q.format) + 2);
    if (r.lowerBound > 0)
        f.aboveBest = fixed(std::max(0.0, 100 * (r.maxError - r.lowerBound) / r.lowerBound), 1);
    f.ends = q.placement == Fitting::Placement::OnData || !q.freeEnds ? QStringLiteral("source") : QStringLiteral("free");
    if (!q.maxError && r.fewestPoints > 0 && r.fewestPoints < r.table.size())
        f.fewestPoints = r.fewestPoints;
    return f;
}

QString summary(const Fitting::Result& r, const Fitting::Request& q)
{
    const Figures f = figures(r, q);
    QString line = QCoreApplication::translate("FitMode", "max error %1 (%2 % of span) at %3 %4").arg(f.maxError, f.percent, f.at, f.unit);
    if (!f.aboveBest.isEmpty())
        line += QCoreApplication::translate("FitMode", ", within %1 % of the best possible").arg(f.aboveBest);
    line += f.ends == QLatin1String("free") ? QCoreApplication::translate("FitMode", "; ends free") : QCoreApplication::translate("FitMode", "; ends on the source");
    if (!r.limitingText.isEmpty())
        line += QCoreApplication::translate("FitMode", "; limited by the ") + r.limitingText;
    if (f.fewestPoints > 0)
        line += QCoreApplication::translate("FitMode", "; %1 points reach the same error").arg(f.fewestPoints);
    return line;
}

QString json(const Fitting::Result& r, const Fitting::Request& q, const QString& source)
{
    const Figures f = figures(r, q);
    QStringList points;
    for (const Fitting::Point& p : r.table)
        points << QStringLiteral("{\"input\": %1, \"display\": %2}").arg(jsonText(p.input), jsonText(p.display));
    const QString null = QStringLiteral("null");
    return QStringLiteral("{\"source\": %1, \"ends\": \"%2\", \"points\": [%3], \"max_error\": %4, \"at\": %5, \"unit\": %6, "
                          "\"percent_of_span\": %7, \"limit\": %8, \"lower_bound\": %9, \"fewest_points\": %10}")
        .arg(jsonText(source), f.ends, points.join(QStringLiteral(", ")), f.maxError, f.at, jsonText(f.unit), f.percent,
             r.limitingText.isEmpty() ? null : jsonText(r.limitingText), f.lowerBound.isEmpty() ? null : f.lowerBound)
        .arg(f.fewestPoints > 0 ? QString::number(f.fewestPoints) : null);
}

int run(const CommandLine& cl)
{
    const CommandLine::FitArguments& a = cl.fit;
    if (a.data.isEmpty() == a.shape.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs either --data FILE or --shape NAME"));
    if (a.points.isEmpty() == a.maxError.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs either --points K or --max-error E"));
    if (a.type.isEmpty() || a.decimal.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs --type Voltage|Current|Pulse and --decimal FORMAT"));
    if (!cl.settingsPath.isEmpty() && a.settingsOut.isEmpty())
        return CommandLine::usageError(QStringLiteral("--settings TEMPLATE goes with --settings-out FILE"));
    if (a.onData && a.freeEnds)
        return CommandLine::usageError(QStringLiteral("--on-data keeps every point on the source; --free-ends goes without it"));

    Fitting::Request request;
    const std::optional<InputType> type = MeterRules::inputTypeNamed(a.type);
    if (!type)
        return CommandLine::usageError(QStringLiteral("--type takes Voltage, Current or Pulse, not \"%1\"").arg(a.type));
    request.type = *type;
    if (ValueRules::formatDecimals(a.decimal) < 0)
        return CommandLine::usageError(QStringLiteral("--decimal takes one of %1, not \"%2\"")
                                           .arg(ValueRules::decimalFormats().join(QStringLiteral(", ")), a.decimal));
    request.format = a.decimal;
    if (!a.points.isEmpty()) {
        bool number = false;
        request.points = a.points.toInt(&number);
        if (!number || request.points < MeterRules::MinPoints || request.points > MeterRules::MaxPoints)
            return CommandLine::usageError(
                QStringLiteral("--points takes %1 to %2, not \"%3\"").arg(MeterRules::MinPoints).arg(MeterRules::MaxPoints).arg(a.points));
    } else {
        request.maxError = NumberText::toNumber(a.maxError);
        if (!request.maxError || !(*request.maxError > 0))
            return CommandLine::usageError(QStringLiteral("--max-error takes a number above 0, not \"%1\"").arg(a.maxError));
    }
    for (const auto& [text, option, range] : {std::tuple{a.input, "--input A:B", &request.input},
                                              std::tuple{a.display, "--display C:D", &request.display},
                                              std::tuple{a.span, "--span X0:X1", &request.span}}) {
        if (text.isEmpty())
            continue;
        *range = Fitting::parseRange(text);
        if (!*range)
            return CommandLine::usageError(QStringLiteral("%1 takes two numbers, not \"%2\"").arg(QLatin1String(option), text));
    }
    request.placement = a.onData ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
    request.freeEnds = a.freeEnds;
    request.cancel = QuitOnSignals::requested();
    // A long fit shows how far it is on standard error: one line rewritten on a terminal, a
    // line a quarter otherwise.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    int nextLine = 0;
    request.progress = [terminal, &nextLine](int percent) {
        if (terminal)
            std::fprintf(stderr, "\rfitting: %d %%%s", percent, percent == 100 ? "\n" : "");
        else if (percent >= nextLine)
            std::fprintf(stderr, "fitting: %d %%\n", percent);
        nextLine = percent == 100 ? 101 : (percent / 25 + 1) * 25;
        std::fflush(stderr);
    };
    const QString outSuffix = QFileInfo(a.out).suffix().toLower();
    if (!a.out.isEmpty() && outSuffix != QLatin1String("xlsx") && outSuffix != QLatin1String("csv"))
        return CommandLine::usageError(QStringLiteral("--out writes .xlsx or .csv, not \"%1\"").arg(a.out));
    // A FIFO, a device or a folder in an output's place is refused before any work, and never replaced.
    for (const QString& path : {a.out, a.settingsOut}) {
        const QString refusal = path.isEmpty() ? QString() : PlainFile::writeRefusal(path);
        if (!refusal.isEmpty()) {
            say(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), refusal));
            return ExitUsage;
        }
    }

    QString source;
    if (!a.shape.isEmpty()) {
        if (request.span)
            return CommandLine::usageError(QStringLiteral("--span X0:X1 is for data; a shape spans --input A:B"));
        QString why;
        request.shape = Fitting::parseShape(a.shape, &why);
        if (!request.shape)
            return CommandLine::usageError(why);
        source = Fitting::shapeName(*request.shape);
    } else {
        if (request.display)
            return CommandLine::usageError(QStringLiteral("--display C:D is for a shape; the data's column B holds the display values"));
        const Fitting::DataRead read = Fitting::readDataFile(a.data, request.cancel);
        if (stopRequested())
            return signalExit();
        if (read.outcome == Fitting::DataRead::Outcome::Unreadable) {
            say(read.message);
            return ExitUsage;
        }
        if (!read.ok()) {
            say(QDir::toNativeSeparators(a.data) + QLatin1Char(' ') + read.message);
            return ExitBadData;
        }
        request.rows = read.rows;
        source = QDir::toNativeSeparators(a.data);
    }
    std::optional<SettingsValues> settings;
    if (!a.settingsOut.isEmpty()) {
        QString why;
        settings = settingsFrom(cl.settingsPath, &why);
        if (!settings) {
            say(why);
            return ExitUsage;
        }
    }

    const Fitting::Result r = Fitting::fit(request);
    if (terminal && nextLine > 0 && nextLine <= 100)
        std::fputc('\n', stderr); // a stopped fit's progress line
    if (r.status == Fitting::Status::Cancelled || stopRequested())
        return signalExit(); // nothing printed, nothing written
    if (r.status == Fitting::Status::BadData) {
        const bool row = r.message.startsWith(QLatin1String("row "));
        say((a.data.isEmpty() ? QString() : QDir::toNativeSeparators(a.data) + (row ? QStringLiteral(" ") : QStringLiteral(": "))) +
            r.message);
        return ExitBadData;
    }
    if (!r.ok())
        return CommandLine::usageError(r.message);

    if (a.json) {
        std::printf("%s\n", qPrintable(json(r, request, source)));
    } else {
        for (int i = 0; i < r.table.size(); ++i)
            std::printf("%d\t%s\t%s\n", i + 1, qPrintable(r.table[i].input), qPrintable(r.table[i].display));
        std::printf("%s\n", qPrintable(summary(r, request)));
    }
    std::fflush(stdout);
    if (r.status == Fitting::Status::TargetNotMet) {
        say(QStringLiteral("%1 points cannot reach a max error of %2; the best table of %1 points is shown, nothing is written")
                .arg(r.table.size())
                .arg(a.maxError));
        return ExitTargetNotMet;
    }

    QString why;
    for (const QString& path : {a.out, a.settingsOut}) { // the place may have changed while fitting
        const QString refusal = path.isEmpty() ? QString() : PlainFile::writeRefusal(path);
        if (!refusal.isEmpty()) {
            say(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), refusal));
            return ExitUsage;
        }
    }
    if (stopRequested())
        return signalExit();
    if (!a.out.isEmpty()) {
        const bool written = outSuffix == QLatin1String("csv") ? writeCsv(a.out, r.table, &why)
                                                               : writeWorkbook(a.out, r.table, request.type, request.format, &why);
        if (!written) {
            say(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(a.out), why));
            return ExitUsage;
        }
    }
    if (settings) {
        settings->decimal = request.format;
        settings->setPoints = QString::number(r.table.size());
        settings->voltage = request.type == InputType::Voltage;
        settings->current = request.type == InputType::Current;
        if (!SettingsFile::Save(a.settingsOut, *settings, &why)) {
            if (!a.out.isEmpty())
                QFile::remove(a.out); // nothing is left behind of a failed run
            say(QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(a.settingsOut), why));
            return ExitUsage;
        }
    }
    return ExitFitted;
}

} // namespace FitMode
