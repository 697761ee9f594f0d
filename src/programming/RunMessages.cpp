#include "programming/RunMessages.h"

#include <QCoreApplication>
#include <QStringList>

namespace RunMessages {
namespace {
const QString CrLf = QStringLiteral("\r\n");
}

QString success() { return QCoreApplication::translate("RunMessages", "   Information has been successfully sent to the meter!"); }

QString incomplete(int failedPoints)
{
    return QCoreApplication::translate("RunMessages", "   The meter did not take %1 of the point values.").arg(failedPoints) + CrLf +
           QCoreApplication::translate("RunMessages", "   Its table is incomplete: please program the meter again.");
}

QString communication()
{
    return QStringList{QCoreApplication::translate("RunMessages", "Please verify the following conditions:"),
                       QString(),
                       QCoreApplication::translate("RunMessages", "   1.  Meter power is on"),
                       QString(),
                       QCoreApplication::translate("RunMessages", "   2.  Correct Comm. Port is in use"),
                       QString(),
                       QCoreApplication::translate("RunMessages", "   3.  Check serial connection to meter"),
                       QString(),
                       QCoreApplication::translate("RunMessages", "   4.  Confirm Address and Baud Rate of the meter match"),
                       QCoreApplication::translate("RunMessages", "         selected settings")}
        .join(CrLf);
}

QString communicationTried(const QString& port, const QString& device, const QString& address, const QString& baud)
{
    const QString tried =
        device.isEmpty()
            ? QCoreApplication::translate("RunMessages", "Tried: PC Comm Port %1, address %2, %3 baud.").arg(port, address, baud)
            : QCoreApplication::translate("RunMessages", "Tried: PC Comm Port %1 (%2), address %3, %4 baud.").arg(port, device, address, baud);
    return tried + CrLf +
           QCoreApplication::translate("RunMessages", "Serial Settings > Find Meter... searches every address and baud rate for the meter.");
}

QString communicationTitle() { return QCoreApplication::translate("RunMessages", "Communication Error"); }

QString firmware()
{
    return QCoreApplication::translate("RunMessages", "This program requires firmware Ver. 1.100 or greater to use.") + CrLf +
           QCoreApplication::translate("RunMessages", "Please contact Technical Support at Quillon for more information.");
}

QString errorDetected() { return QCoreApplication::translate("RunMessages", "Error Detected"); }
QString processing() { return QCoreApplication::translate("RunMessages", "Processing..."); }

QString pointTimeout() { return QCoreApplication::translate("RunMessages", "Serial port timeout: OOwr."); }

QString portFailure(const PortFailure& failure)
{
    QString head;
    if (failure.port <= 0)
        head = QCoreApplication::translate("RunMessages", "No PC Comm Port is selected.");
    else if (failure.device.isEmpty())
        head = QCoreApplication::translate("RunMessages", "PC Comm Port %1 is not connected to any device.").arg(failure.port);
    else
        head = QCoreApplication::translate("RunMessages", "PC Comm Port %1 (%2) cannot be used.").arg(QString::number(failure.port), failure.device);
    QStringList lines{head};
    if (!failure.reason.isEmpty())
        lines << QCoreApplication::translate("RunMessages", "Reason: %1").arg(failure.reason);
    if (failure.permissionDenied) {
        lines << QString()
              << QCoreApplication::translate("RunMessages", "You have no permission to use this port. To get access, add your user to the "
                                "\"dialout\" group (for example: sudo usermod -aG dialout $USER), then log out "
                                "and log in again.");
    }
    return lines.join(CrLf);
}

QString closeDuringRun()
{
    return QCoreApplication::translate("RunMessages", "The meter is being programmed. If the window closes now, the meter will be only "
                          "partly programmed.\r\n\r\nClose the window anyway?");
}

} // namespace RunMessages
