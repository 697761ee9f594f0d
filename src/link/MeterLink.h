#pragma once
// Plain meter-link logic: the frame and its checksum, the command texts computed from
// the window's selections, and the reading of a reply.
#include <QChar>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>

namespace MeterLink {

constexpr char SOH = 0x01;
constexpr char STX = 0x02;
constexpr char ETX = 0x03;

// The port numbers a run or a search can open.
constexpr int FirstPort = 1;
constexpr int LastPort = 16;
// The port number a port list's text names ("1" to "16", written as the list writes it); 0 for none.
int portNumber(const QString& text);

// The firmware query: the one command that changes nothing in the meter.
inline const char* const FirmwareQuery = "F189";

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

bool replyComplete(const QString& reply); // contains ETX
bool isErrorReply(const QString& reply);  // contains "Z"
// The character after the first "Z" (the third of a reply with a start character), or a null
// QChar when there is none.
QChar errorCode(const QString& reply);
// "Error writing output option: " CR LF + errorText of the reply's code.
QString errorReplyMessage(const QString& reply);

// Whether a reply holds a firmware version, two digits, a point and three digits ("01.100").
bool holdsVersion(const QString& reply);
// The reply's first version in thousandths ("01.100" gives 1100); -1 when it holds none.
int firmwareVersion(const QString& reply);
// The oldest firmware the utility programs: 1.100.
inline constexpr int OldestFirmware = 1100;
// The address a reply names: the last three digits of the last run of digits before its version
// (or its ETX), counted from its last start character; "" when they are no address 001..247.
// at: where those digits stand, counted from the start character (or the reply's beginning).
QString namedAddress(const QString& reply, qsizetype* at = nullptr);
// The text with every control character shown as <hh>, so that it can be printed.
QString printable(const QString& text);

// How the meter frames its replies, learned from its reply to the firmware query: its start
// character (STX, SOH or none). Until then any ETX ends a reply. Once learned, only this
// command's reply is one: the start character, then the success mark "A0", our address, an
// optional payload of printable characters and ETX, or a refusal, "Z", a printable code, our
// address and ETX. Anything else (line noise, a damaged echo, a boot text, another meter's
// reply) is passed over. Without a start character a reply begins the input or follows an ETX.
struct ReplyFraming {
    bool learned = false;
    QChar start;              // STX or SOH; null: none
    QRegularExpression reply; // an acknowledgement or a refusal naming our address

    static ReplyFraming learnedFrom(const QString& firmwareReply, const QString& address);
    // The first reply in received that is the meter's: its first index and the index past its
    // ETX; end -1 while there is none.
    struct Span {
        qsizetype begin = 0, end = -1;
    };
    Span find(const QString& received) const;
};

// ---- Finding a meter ----
// The baud-rate list, slowest first.
QStringList listedBauds();
// The order a search tries rates in: first, then the default 2400, then the usual rates, the
// slow ones last.
QStringList scanOrder(const QString& first);
// How long a search waits for the first byte of an address's reply at a rate: the wire time of
// the query's frame and one character (10 bits a character), plus a margin for the meter's
// turnaround and the adapter's buffering.
int scanReplyWaitMs(int baud);
// Once a first byte has come: the time the rest of a firmware reply may take.
int scanRestWaitMs(int baud);
inline constexpr int ScanReplyChars = 16; // STX A0 address, a blank, a version text, ETX, with room
inline constexpr int ScanMarginMs = 60;
// How long a search listens after a rate's last address for a meter that answers late.
inline constexpr int LateReplyMs = 400;
// The firmware text of a reply to the query: what stands after the first blank, up to ETX;
// the reply's text between STX and ETX when it has no blank.
QString firmwareText(const QString& reply);

} // namespace MeterLink
