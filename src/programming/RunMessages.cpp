#include "programming/RunMessages.h"

#include <QStringList>

namespace RunMessages {
namespace {
const QString CrLf = QStringLiteral("\r\n");
}

QString success() { return QStringLiteral("   Information has been successfully sent to the meter!"); }

QString incomplete(int failedPoints)
{
    return QStringLiteral("   The meter did not take %1 of the point values.").arg(failedPoints) + CrLf +
           QStringLiteral("   Its table is incomplete: please program the meter again.");
}

QString communication()
{
    return QStringList{QStringLiteral("Please verify the following conditions:"),
                       QString(),
                       QStringLiteral("   1.  Meter power is on"),
                       QString(),
                       QStringLiteral("   2.  Correct Comm. Port is in use"),
                       QString(),
                       QStringLiteral("   3.  Check serial connection to meter"),
                       QString(),
                       QStringLiteral("   4.  Confirm Address and Baud Rate of the meter match"),
                       QStringLiteral("         selected settings")}
        .join(CrLf);
}

QString communicationTitle() { return QStringLiteral("Communication Error"); }

QString firmware()
{
    return QStringLiteral("This program requires firmware Ver. 1.100 or greater to use.") + CrLf +
           QStringLiteral("Please contact Technical Support at Quillon for more information.");
}

QString pointTimeout() { return QStringLiteral("Serial port timeout: OOwr."); }

QString portFailure(const PortFailure& failure)
{
    QString head;
    if (failure.port <= 0)
        head = QStringLiteral("No PC Comm Port is selected.");
    else if (failure.device.isEmpty())
        head = QStringLiteral("PC Comm Port %1 is not connected to any device.").arg(failure.port);
    else
        head = QStringLiteral("PC Comm Port %1 (%2) cannot be used.").arg(failure.port).arg(failure.device);
    QStringList lines{head};
    if (!failure.reason.isEmpty())
        lines << QStringLiteral("Reason: %1").arg(failure.reason);
    if (failure.permissionDenied) {
        lines << QString()
              << QStringLiteral("You have no permission to use this port. To get access, add your user to the "
                                "\"dialout\" group (for example: sudo usermod -aG dialout $USER), then log out "
                                "and log in again.");
    }
    return lines.join(CrLf);
}

QString closeDuringRun()
{
    return QStringLiteral("The meter is being programmed. If the window closes now, the meter will be only "
                          "partly programmed.\r\n\r\nClose the window anyway?");
}

} // namespace RunMessages
