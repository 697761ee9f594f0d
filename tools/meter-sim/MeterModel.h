#pragma once
// A Talvo Series meter without a line: frame contents in, replies out. It holds the
// meter's address and firmware, the configuration and point table it was sent, and
// what its display shows for an input. No timing, no faults, no device.
//
// Frame content: three-digit address, command, two-digit uppercase hex checksum.
// Reply layout (every reply ends with ETX):
//   accepted:  STX 'A' '0' address [' ' payload] ETX  payload: the firmware text for "F189"
//   refused:   STX 'Z' code address ETX               code: one digit, the third character
// Refusal codes: 0 unknown command, 2 value out of range, 3 invalid point number,
// 9 invalid data format.
#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QString>
#include <optional>

// The reply's frame bytes.
inline constexpr char STX = 0x02, ETX = 0x03;
// Firmware text of a meter too old for the utility.
inline const char* const OldFirmwareText = "01.000";

class MeterModel {
public:
    QString address = QStringLiteral("001");
    QString firmware = QStringLiteral("01.100");

    // The command of a frame content meant for this meter; nullopt (and why) when the
    // meter ignores it: too short, another address, wrong checksum.
    std::optional<QString> commandOf(const QByteArray& content, QString* why = nullptr) const;
    // Carries out a command and returns the reply.
    QByteArray reply(const QString& command);
    QByteArray refusal(QChar code) const;

    QString displayFor(const QString& input) const; // what the meter shows for an input ("" when unknown)
    QString dump() const;                           // configuration and table, printable

    // Checksum of a command text: two uppercase hex digits.
    static QString checksum(const QByteArray& command);
    // Human-readable form of a command text, e.g. "decimal point: ddd.ddd".
    static QString describe(const QString& command);

private:
    QString interpret(const QString& rawValue, int decimals) const;

    QString m_inputConfig;                       // "200030", "201130", "208010"
    int m_decimals = -1;                         // 37Pn
    int m_points = 0;                            // 48Lnn
    QString m_inputType;                         // "33V", "33I"
    QMap<int, QString> m_input[2], m_display[2]; // [0]: 2A2/2A0, [1]: 2A3/2A1 (raw digits)
};
