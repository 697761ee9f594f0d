#include "link/MeterLink.h"
#include "table/ValueRules.h"

#include <QStringList>

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
                            QStringLiteral("The meter address \"%1\" is not one a meter takes (001 to 247).").arg(address)};
    if (!isListedBaud(baud))
        return SettingFault{SettingFault::BaudRate,
                            QStringLiteral("The baud rate \"%1\" is not one a meter takes (300 to 19200).").arg(baud)};
    if (!pointsCommand(points))
        return SettingFault{SettingFault::Points, QStringLiteral("The number of points \"%1\" is not one a meter takes (%2 to %3).")
                                                      .arg(points)
                                                      .arg(MeterRules::MinPoints)
                                                      .arg(MeterRules::MaxPoints)};
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

QStringList listedBauds() { return {"300", "600", "1200", "2400", "4800", "9600", "19200"}; }

bool isListedBaud(const QString& baud) { return listedBauds().contains(baud); }

QStringList scanOrder(const QString& first)
{
    QStringList order;
    if (isListedBaud(first))
        order << first;
    const QStringList rates = listedBauds();
    for (auto it = rates.crbegin(); it != rates.crend(); ++it)
        if (*it != first)
            order << *it;
    return order;
}

int scanReplyWaitMs(int baud)
{
    if (baud <= 0)
        return 2000;
    const QString frame =
        BuildMeterFrame(QStringLiteral("001"), QLatin1String(FirmwareQuery), ComputeChecksum(QLatin1String(FirmwareQuery)));
    const qint64 bits = qint64(frame.size() + ScanReplyChars) * 10;
    return int((bits * 1000 + baud - 1) / baud) + ScanMarginMs;
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
    const QString label = QStringLiteral("Meter error code");
    if (code.isNull())
        return label;
    if (!code.isPrint())
        return label + QStringLiteral(" <%1>").arg(code.unicode(), 2, 16, QLatin1Char('0'));
    return label + QLatin1Char(' ') + code;
}

bool replyComplete(const QString& reply) { return reply.contains(QChar(ETX)); }
bool isErrorReply(const QString& reply) { return reply.contains(QLatin1Char('Z')); }
QChar errorCode(const QString& reply) { return reply.size() >= 3 ? reply.at(2) : QChar(); }

QString errorReplyMessage(const QString& reply)
{
    return QStringLiteral("Error writing output option: \r\n") + errorText(errorCode(reply));
}

} // namespace MeterLink
