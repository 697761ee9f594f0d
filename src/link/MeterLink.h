#pragma once
// Plain meter-link logic: the frame and its checksum, the command texts computed from
// the window's selections, and the reading of a reply.
#include <QChar>
#include <QString>
#include <optional>

namespace MeterLink {

constexpr char SOH = 0x01;
constexpr char ETX = 0x03;

// Two uppercase hex digits: the sum of the character codes plus this value is a multiple of 256.
QString ComputeChecksum(const QString& text);
// SOH, address, command, checksum, ETX.
QString BuildMeterFrame(const QString& address, const QString& command, const QString& checksum);

// The address text for a selection "001".."247"; nullopt for anything else.
std::optional<QString> addressText(const QString& selection);
// "38" + address for a selection "001".."247".
std::optional<QString> addressCommand(const QString& selection);
// "37P0".."37P5" for the six decimal-point formats.
std::optional<QString> decimalCommand(const QString& selection);
// "48L02".."48L32" for the selections "2".."32".
std::optional<QString> pointsCommand(const QString& selection);
// Settings text for a baud rate: "9600" -> "9600,N,8,1".
QString settingsFor(const QString& baud);
// Whether baud is one of the rates of the baud-rate list.
bool isListedBaud(const QString& baud);

// A selection the meter cannot take (a settings file can put any text in a list).
struct SettingFault {
    enum Setting { Address, BaudRate, Points } setting;
    QString text; // names the setting and its value
};
// The first of address, baud rate and number of points that the meter cannot take.
std::optional<SettingFault> settingFault(const QString& address, const QString& baud, const QString& points);

// "Meter error code " and the code character as received. The codes' meanings are not
// known, so none is given; a character that cannot be shown appears as <hh>, a reply
// too short to hold a code gives "Meter error code" alone.
QString errorText(QChar code);

bool replyComplete(const QString& reply);  // contains ETX
bool isErrorReply(const QString& reply);   // contains "Z"
// The third character, or a null QChar when the reply is shorter.
QChar errorCode(const QString& reply);
// "Error writing output option: " CR LF + errorText of the reply's code.
QString errorReplyMessage(const QString& reply);

} // namespace MeterLink
