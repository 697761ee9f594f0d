#include "programming/RunResult.h"

#include "table/TableCheck.h"

#include <QStringList>

namespace RunResult {

int exitStatus(RunEnd end, int failureCode)
{
    switch (end) {
    case RunEnd::Programmed: return ExitProgrammed;
    case RunEnd::TableRejected:
        return TableCheck::isRuleCode(failureCode) ? failureCode : ExitCommunication;
    case RunEnd::FirmwareRefused: return ExitFirmware;
    case RunEnd::PortUnavailable: return ExitPort;
    default: return ExitCommunication;
    }
}

QString resultText(RunEnd end, int failureCode)
{
    switch (end) {
    case RunEnd::NotRun: return QStringLiteral("not run");
    case RunEnd::Programmed: return QStringLiteral("programmed");
    case RunEnd::PointsFailed: return QStringLiteral("points failed");
    case RunEnd::TableRejected: return QStringLiteral("table error %1").arg(failureCode);
    case RunEnd::TimedOut: return QStringLiteral("no reply");
    case RunEnd::Refused: return QStringLiteral("refused");
    case RunEnd::FirmwareRefused: return QStringLiteral("firmware refused");
    case RunEnd::PortUnavailable: return QStringLiteral("port unavailable");
    case RunEnd::PortLost: return QStringLiteral("port lost");
    case RunEnd::NotConfigured: return QStringLiteral("no input type");
    case RunEnd::Abandoned: return QStringLiteral("abandoned");
    }
    return QString();
}

QString frameText(const QByteArray& frame)
{
    QString text;
    for (const char c : frame) {
        const uchar b = uchar(c);
        if (b == 0x01)
            text += QStringLiteral("<SOH>");
        else if (b == 0x02)
            text += QStringLiteral("<STX>");
        else if (b == 0x03)
            text += QStringLiteral("<ETX>");
        else if (b < 0x20 || b >= 0x7F)
            text += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString frameLine(const QByteArray& frame)
{
    QStringList hex;
    for (const char c : frame)
        hex << QStringLiteral("%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
    return hex.join(QLatin1Char(' ')) + QStringLiteral("  ") + frameText(frame);
}

} // namespace RunResult
