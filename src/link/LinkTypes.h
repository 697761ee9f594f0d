#pragma once
// Results of the meter link shared by the window and the plain classes.
#include <QString>

// Outcome of one send-and-wait transaction. PortFailed: the port could not be used;
// the window's LinkFailure says which port, which device and why.
enum class ReplyOutcome { ReplyComplete, ReplyTimedOut, PortFailed };

struct PortFailure {
    int port = 0;   // port number 1..16, 0 when none was selected
    QString device; // device path, empty when the number maps to none
    QString reason; // the system's reason
    bool permissionDenied = false;
};

// A meter that answered a search, and where.
struct FoundMeter {
    QString address;  // "001".."247"
    QString baud;     // "300".."19200"
    QString firmware; // the firmware text of its reply
};
