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
    for (int n = 2; n <= 32; ++n)
        if (selection == QString::number(n))
            return QStringLiteral("48L%1").arg(n, 2, 10, QLatin1Char('0'));
    return std::nullopt;
}

QString settingsFor(const QString& baud) { return baud + QStringLiteral(",N,8,1"); }

bool isListedBaud(const QString& baud)
{
    static const QStringList rates = {"300", "600", "1200", "2400", "4800", "9600", "19200"};
    return rates.contains(baud);
}

const QMap<QChar, QString>& ReplyErrorTexts()
{
    static const QMap<QChar, QString> texts = {
        {'0', QStringLiteral("Command not recognized by the meter (code 0)")},
        {'1', QStringLiteral("Checksum error (code 1)")},
        {'2', QStringLiteral("Value out of range (code 2)")},
        {'3', QStringLiteral("Invalid point number (code 3)")},
        {'4', QStringLiteral("Input values not in increasing order (code 4)")},
        {'5', QStringLiteral("Setting not allowed for this input type (code 5)")},
        {'6', QStringLiteral("Meter memory write failed (code 6)")},
        {'7', QStringLiteral("Meter busy (code 7)")},
        {'8', QStringLiteral("Option not installed in this meter (code 8)")},
        {'9', QStringLiteral("Invalid data format (code 9)")},
    };
    return texts;
}

QString errorText(QChar code)
{
    if (code.isNull())
        return QStringLiteral("No error code in the reply");
    return ReplyErrorTexts().value(code, QString(code));
}

bool replyComplete(const QString& reply) { return reply.contains(QChar(ETX)); }
bool isErrorReply(const QString& reply) { return reply.contains(QLatin1Char('Z')); }
QChar errorCode(const QString& reply) { return reply.size() >= 3 ? reply.at(2) : QChar(); }

QString errorReplyMessage(const QString& reply)
{
    return QStringLiteral("Error writing output option: \r\n") + errorText(errorCode(reply));
}

} // namespace MeterLink
