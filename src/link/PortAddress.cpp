#include "link/PortAddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {
constexpr QLatin1StringView Schemes[] = {QLatin1StringView("rfc2217://"), QLatin1StringView("tcp://")};
}

bool PortAddress::isNetwork(const QString& text)
{
    for (const QLatin1StringView scheme : Schemes)
        if (text.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    return false;
}

std::optional<PortAddress> PortAddress::parse(const QString& text, QString* error)
{
    auto refuse = [&](const QString& why) -> std::optional<PortAddress> {
        if (error)
            *error = QStringLiteral("\"%1\" is not a network port (%2)").arg(text, why);
        return std::nullopt;
    };
    if (!isNetwork(text))
        return refuse(QStringLiteral("it starts neither with rfc2217:// nor with tcp://"));
    PortAddress a;
    a.kind = text.startsWith(Schemes[0], Qt::CaseInsensitive) ? Kind::Rfc2217 : Kind::RawTcp;
    const QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
    qsizetype colon = -1;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(QStringLiteral("an IPv6 address is written [ADDRESS]:PORT"));
        a.host = rest.mid(1, close - 1);
        QHostAddress v6;
        if (!v6.setAddress(a.host) || v6.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(QStringLiteral("\"%1\" is not an IPv6 address").arg(a.host));
        colon = close + 1;
    } else {
        colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(QStringLiteral("HOST:PORT, the TCP port is missing"));
        a.host = rest.left(colon);
        if (a.host.contains(QLatin1Char(':')))
            return refuse(QStringLiteral("an IPv6 address stands in brackets"));
        // A host name: letters, digits, dots and hyphens (what a resolver takes), or an IPv4 address.
        static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.-]*$"));
        if (!hostName.match(a.host).hasMatch())
            return refuse(QStringLiteral("HOST:PORT names the server"));
    }
    bool ok = false;
    const QString portText = rest.mid(colon + 1);
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
        return refuse(QStringLiteral("the TCP port is a number from 1 to 65535"));
    a.port = quint16(port);
    return a;
}

QString PortAddress::hostPort() const
{
    return (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host) + QLatin1Char(':') + QString::number(port);
}

QString PortAddress::text() const { return (kind == Kind::Rfc2217 ? QStringLiteral("rfc2217://") : QStringLiteral("tcp://")) + hostPort(); }
