#include "link/MeterLink.h"
#include "table/MeterRules.h"
#include "table/ValueRules.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

namespace MeterLink {

QString ComputeChecksum(const QString& text)
{
    unsigned sum = 0;
    for (QChar c : text)
        sum += c.unicode();
    const unsigned value = (256 - sum % 256) % 256;
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString BuildMeterFrame(const QString& address, const QString& command, const QString& checksum)
{
    return QChar(SOH) + address + command + checksum + QChar(ETX);
}

std::optional<QString> addressText(const QString& selection)
{
    if (selection.size() != 3)
        return std::nullopt;
    for (QChar c : selection)
        if (c < '0' || c > '9')
            return std::nullopt;
    const int n = selection.toInt();
    if (n < 1 || n > 247)
        return std::nullopt;
    return selection;
}

std::optional<SettingFault> settingFault(const QString& address, const QString& baud, const QString& points)
{
    if (!addressText(address))
        return SettingFault{SettingFault::Address,
                            QCoreApplication::translate("MeterLink", "The meter address \"%1\" is not one a meter takes (001 to 247).").arg(address)};
    if (!isListedBaud(baud))
        return SettingFault{SettingFault::BaudRate,
                            QCoreApplication::translate("MeterLink", "The baud rate \"%1\" is not one a meter takes (300 to 19200).").arg(baud)};
    if (!pointsCommand(points))
        return SettingFault{SettingFault::Points, QCoreApplication::translate("MeterLink", "The number of points \"%1\" is not one a meter takes (%2 to %3).")
                                                      .arg(points, QString::number(MeterRules::MinPoints), QString::number(MeterRules::MaxPoints))};
    return std::nullopt;
}

std::optional<QString> addressCommand(const QString& selection)
{
    if (const auto a = addressText(selection))
        return QStringLiteral("38") + *a;
    return std::nullopt;
}

std::optional<QString> decimalCommand(const QString& selection)
{
    const int i = ValueRules::formatDecimals(selection);
    if (i < 0)
        return std::nullopt;
    return QStringLiteral("37P%1").arg(i);
}

std::optional<QString> pointsCommand(const QString& selection)
{
    for (int n = MeterRules::MinPoints; n <= MeterRules::MaxPoints; ++n)
        if (selection == QString::number(n))
            return QStringLiteral("48L%1").arg(n, 2, 10, QLatin1Char('0'));
    return std::nullopt;
}

QString settingsFor(const QString& baud) { return baud + QStringLiteral(",N,8,1"); }

int portNumber(const QString& text)
{
    for (int n = FirstPort; n <= LastPort; ++n)
        if (text == QString::number(n))
            return n;
    return 0;
}

QStringList listedBauds() { return MeterRules::bauds(); }

bool isListedBaud(const QString& baud) { return listedBauds().contains(baud); }

QStringList scanOrder(const QString& first)
{
    QStringList order;
    if (isListedBaud(first))
        order << first;
    for (const char* rate : {"2400", "9600", "19200", "4800", "1200", "600", "300"})
        if (first != QLatin1String(rate))
            order << QLatin1String(rate);
    return order;
}

namespace {
int wireMs(qint64 chars, int baud) { return int((chars * 10 * 1000 + baud - 1) / baud); }
qsizetype queryChars()
{
    return BuildMeterFrame(QStringLiteral("001"), QLatin1String(FirmwareQuery), ComputeChecksum(QLatin1String(FirmwareQuery))).size();
}
const QRegularExpression& versionPattern()
{
    static const QRegularExpression pattern(QStringLiteral("[0-9]{2}\\.[0-9]{3}"));
    return pattern;
}
} // namespace

int scanReplyWaitMs(int baud) { return baud <= 0 ? 2000 : wireMs(queryChars() + 1, baud) + ScanMarginMs; }

int scanRestWaitMs(int baud) { return baud <= 0 ? 2000 : wireMs(ScanReplyChars, baud) + ScanMarginMs; }

bool holdsVersion(const QString& reply) { return firmwareVersion(reply) >= 0; }

int firmwareVersion(const QString& reply)
{
    const QRegularExpressionMatch version = versionPattern().match(reply);
    if (!version.hasMatch())
        return -1;
    const QString text = version.captured();
    return text.left(2).toInt() * 1000 + text.mid(3).toInt();
}

QString namedAddress(const QString& reply, qsizetype* at)
{
    qsizetype end = reply.indexOf(QChar(ETX));
    if (end < 0)
        end = reply.size();
    qsizetype from = 0;
    for (qsizetype i = end - 1; i >= 0; --i)
        if (reply[i] == QChar(STX) || reply[i] == QChar(SOH)) {
            from = i;
            break;
        }
    const QRegularExpressionMatch version = versionPattern().match(reply.left(end), from);
    if (version.hasMatch())
        end = version.capturedStart();
    qsizetype last = end - 1;
    while (last >= from && !reply[last].isDigit())
        --last;
    if (last - from < 2 || !reply[last - 1].isDigit() || !reply[last - 2].isDigit())
        return {};
    const QString digits = reply.mid(last - 2, 3);
    if (!addressText(digits))
        return {};
    if (at)
        *at = last - 2 - from;
    return digits;
}

QString printable(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            out += QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

ReplyFraming ReplyFraming::learnedFrom(const QString& firmwareReply, const QString& address)
{
    ReplyFraming framing;
    framing.learned = true;
    const qsizetype end = firmwareReply.indexOf(QChar(ETX));
    const QString reply = firmwareReply.left(end < 0 ? firmwareReply.size() : end);
    const qsizetype start = std::max(reply.lastIndexOf(QChar(STX)), reply.lastIndexOf(QChar(SOH)));
    if (start >= 0)
        framing.start = reply[start];
    const QString ours = QRegularExpression::escape(address);
    const QString head = framing.start.isNull() ? QStringLiteral("(?:^|(?<=\\x03))") : QRegularExpression::escape(QString(framing.start));
    framing.reply.setPattern(head + QStringLiteral("(?:A0%1[\\x20-\\x7e]*|Z[\\x20-\\x7e]%1)\\x03").arg(ours));
    return framing;
}

ReplyFraming::Span ReplyFraming::find(const QString& received) const
{
    if (!learned) {
        const qsizetype etx = received.indexOf(QChar(ETX));
        return {0, etx < 0 ? -1 : etx + 1};
    }
    const QRegularExpressionMatch match = reply.match(received);
    if (!match.hasMatch())
        return {};
    return {match.capturedStart(), match.capturedEnd()};
}

QString firmwareText(const QString& reply)
{
    const qsizetype end = reply.indexOf(QChar(ETX));
    QString text = reply.left(end < 0 ? reply.size() : end);
    const qsizetype start = text.lastIndexOf(QChar(0x02));
    if (start >= 0)
        text.remove(0, start + 1);
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        text.remove(0, blank + 1);
    return text.trimmed();
}

QString errorText(QChar code)
{
    const QString label = QCoreApplication::translate("MeterLink", "Meter error code");
    if (code.isNull())
        return label;
    if (!code.isPrint())
        return label + QStringLiteral(" <%1>").arg(code.unicode(), 2, 16, QLatin1Char('0'));
    return label + QLatin1Char(' ') + code;
}

bool replyComplete(const QString& reply) { return reply.contains(QChar(ETX)); }
bool isErrorReply(const QString& reply) { return reply.contains(QLatin1Char('Z')); }
QChar errorCode(const QString& reply)
{
    const qsizetype z = reply.indexOf(QLatin1Char('Z'));
    return z >= 0 && z + 1 < reply.size() ? reply.at(z + 1) : QChar();
}

QString errorReplyMessage(const QString& reply)
{
    return QCoreApplication::translate("MeterLink", "Error writing output option: \r\n") + errorText(errorCode(reply));
}

} // namespace MeterLink
