#pragma once
// Texts a programming run shows.
#include <QString>

#include "link/LinkTypes.h"

namespace RunMessages {

QString success(); // "   Information has been successfully sent to the meter!"
// A run that went to its end while some points were refused or not acknowledged.
QString incomplete(int failedPoints);
QString communication();      // the checklist shown after a reply time-out
QString communicationTitle(); // "Communication Error"
// The window's lines after the checklist: the port (its device when known), address and baud
// rate tried, and Find Meter to search for the meter.
QString communicationTried(const QString& port, const QString& device, const QString& address, const QString& baud);
QString firmware();           // the refusal of a meter with firmware 01.000
// Asked when the window is closed during a run.
QString closeDuringRun();
QString pointTimeout(); // "Serial port timeout: OOwr."
QString errorDetected(); // status: "Error Detected"
QString processing();    // status while the meter is written: "Processing..."
// A port that could not be opened or failed: names the port number, the device and
// the reason; for a permission problem, how to get access.
QString portFailure(const PortFailure& failure);

} // namespace RunMessages
