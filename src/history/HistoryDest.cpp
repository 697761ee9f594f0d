#include "history/HistoryDest.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace History {

QString Dest::identity() const
{
    if (kind == SQLite)
        return QStringLiteral("sqlite:") + path;
    return QStringLiteral("postgresql:%1|%2|%3|%4|%5").arg(host).arg(port).arg(user, database, options);
}

namespace {
// A libpq parameter value the connection string can carry without quoting.
bool plainValue(const QString& value)
{
    return !value.isEmpty() && !value.contains(QLatin1Char(' ')) && !value.contains(QLatin1Char(';')) &&
           !value.contains(QLatin1Char('\'')) && !value.contains(QLatin1Char('\\'));
}

std::optional<Dest> parsePostgres(const QString& text, QString* fault)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        // Qt's reason repeats the text, and with it a password
        QString shown = text;
        shown.replace(QRegularExpression(QStringLiteral("^([a-z]+://[^/@:]*):[^@/]*@")), QStringLiteral("\\1@"));
        *fault = QStringLiteral("the history DEST \"%1\" is not a valid URI").arg(shown);
        return std::nullopt;
    }
    Dest d;
    d.kind = Dest::PostgreSQL;
    QUrl shown = url;
    QUrlQuery shownQuery(url);
    shownQuery.removeAllQueryItems(QStringLiteral("password"));
    shown.setQuery(shownQuery);
    d.shown = shown.toString(QUrl::RemovePassword | QUrl::PrettyDecoded);
    bool password = !url.password().isEmpty();
    d.host = url.host();
    d.user = url.userName();
    d.port = url.port(-1);
    d.database = url.path().mid(1);
    if (d.database.contains(QLatin1Char('/'))) {
        *fault = QStringLiteral("the history DEST \"%1\" names more than one database").arg(d.shown);
        return std::nullopt;
    }
    QStringList options;
    const QUrlQuery query(url);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("password")) {
            password = true;
        } else if (name == QLatin1String("host")) {
            d.host = value;
        } else if (name == QLatin1String("user")) {
            d.user = value;
        } else if (name == QLatin1String("dbname")) {
            d.database = value;
        } else if (name == QLatin1String("port")) {
            bool number = false;
            d.port = value.toInt(&number);
            if (!number || d.port < 1 || d.port > 65535) {
                *fault = QStringLiteral("the history DEST \"%1\" has the port \"%2\"").arg(d.shown, value);
                return std::nullopt;
            }
        } else if (name.isEmpty() || !plainValue(value) || name.contains(QLatin1Char('='))) {
            *fault = QStringLiteral("the history DEST \"%1\" has the parameter \"%2=%3\", which cannot be passed on").arg(d.shown, name, value);
            return std::nullopt;
        } else {
            options << name + QLatin1Char('=') + value;
        }
    }
    if (password) {
        *fault = QStringLiteral("the history DEST \"%1\" holds a password; give it in ~/.pgpass or PGPASSWORD instead").arg(d.shown);
        return std::nullopt;
    }
    // An unreachable server ends the wait for it within seconds, not minutes.
    if (!std::any_of(options.begin(), options.end(), [](const QString& o) { return o.startsWith(QLatin1String("connect_timeout=")); }))
        options << QStringLiteral("connect_timeout=5");
    d.options = options.join(QLatin1Char(';'));
    return d;
}
} // namespace

std::optional<Dest> parseDest(const QString& text, QString* fault)
{
    if (text.trimmed().isEmpty()) {
        *fault = QStringLiteral("the history DEST is empty");
        return std::nullopt;
    }
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const QString name = text.left(scheme);
        if (name == QLatin1String("postgresql") || name == QLatin1String("postgres"))
            return parsePostgres(text, fault);
        if (!name.contains(QLatin1Char('/'))) {
            *fault = QStringLiteral("the history DEST takes a file path or a postgresql:// URI, not \"%1://...\"").arg(name);
            return std::nullopt;
        }
    }
    Dest d;
    d.path = QFileInfo(text).absoluteFilePath();
    d.shown = QDir::toNativeSeparators(text);
    return d;
}

QString defaultDest()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("talvo-linearizer/history.sqlite"));
}

QString chosenDest(const QString& option)
{
    if (!option.isEmpty())
        return option;
    const QString fromEnvironment = qEnvironmentVariable("TALVO_HISTORY");
    return fromEnvironment.isEmpty() ? defaultDest() : fromEnvironment;
}

} // namespace History
