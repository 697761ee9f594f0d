#include "cli/FitMode.h"

#include "cli/CommandLine.h"
#include "cli/QuitOnSignals.h"
#include "files/PlainFile.h"
#include "files/SettingsFile.h"
#include "fitting/DataFile.h"
#include "fitting/Fit.h"
#include "fitting/FitReport.h"
#include "spreadsheet/Workbook.h"
#include "table/MeterRules.h"
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
    *error = reader.stopLine() > 0 ? QStringLiteral("%1 line %2: %3").arg(templatePath, QString::number(reader.stopLine()), reader.errorText())
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


// The run ends on a signal: the handler's byte, still waiting in the event loop, ends it
// with 128 + the signal's number.
int signalExit() { return QCoreApplication::exec(); }
bool stopRequested() { return QuitOnSignals::requested()->load(); }

} // namespace

int run(const CommandLine& cl)
{
    const FitOptions& a = cl.fit;
    if (a.data.isEmpty() == a.shape.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs either --data FILE or --shape NAME"));
    if (a.points.isEmpty() == a.maxError.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs either --points K or --max-error E"));
    if (a.type.isEmpty() || a.decimal.isEmpty())
        return CommandLine::usageError(QStringLiteral("fit needs --type %1 and --decimal FORMAT").arg(MeterRules::inputTypeNames().join(u'|')));
    if (!a.settingsTemplate.isEmpty() && a.settingsOut.isEmpty())
        return CommandLine::usageError(QStringLiteral("--settings TEMPLATE goes with --settings-out FILE"));
    if (a.onData && a.freeEnds)
        return CommandLine::usageError(QStringLiteral("--on-data keeps every point on the source; --free-ends goes without it"));

    Fitting::Request request;
    const std::optional<InputType> type = MeterRules::inputTypeNamed(a.type);
    if (!type)
        return CommandLine::usageError(QStringLiteral("--type takes %1, not \"%2\"").arg(MeterRules::alternatives(MeterRules::inputTypeNames()), a.type));
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
        Fitting::DataRead read = Fitting::readDataFile(a.data, request.cancel);
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
        request.rows = std::move(read.rows);
        source = QDir::toNativeSeparators(a.data);
    }
    std::optional<SettingsValues> settings;
    if (!a.settingsOut.isEmpty()) {
        QString why;
        settings = settingsFrom(a.settingsTemplate, &why);
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
        std::printf("%s\n", qPrintable(FitReport::json(r, request, source)));
    } else {
        for (int i = 0; i < r.table.size(); ++i)
            std::printf("%d\t%s\t%s\n", i + 1, qPrintable(r.table[i].input), qPrintable(r.table[i].display));
        std::printf("%s\n", qPrintable(FitReport::summary(r, request)));
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
