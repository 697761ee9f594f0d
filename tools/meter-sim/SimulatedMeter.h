#pragma once
// A simulated Talvo Series meter on a pseudo-terminal, for development, tests and for
// trying the utility without hardware: the line, timing and faults around a MeterModel.
// It holds the pty master; a client (the utility) opens the slave device printed by
// devicePath(). Driven by the Qt event loop of the thread that started it.
//
// Frames received: SOH, frame content (see MeterModel), ETX. Frames the model ignores, and
// frames sent while the line's speed differs from the meter's baud, get no answer.
// A modem (MeterConfig::modem) answers only "ATV1Q0" CR, with "OK" CR LF.
#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "meter-sim/MeterModel.h"

class QSocketNotifier;

struct MeterConfig {
    QString address = QStringLiteral("001");
    int baud = 2400;
    QString firmware = QStringLiteral("01.100");
    bool modem = false;            // answers "ATV1Q0\r" with "OK\r\n" (and nothing else)
    bool wireTime = false;         // delay each reply by the wire time of the frame and the reply at `baud`
    int latencyMs = 0;             // extra response latency before each reply
    int silentOnCommand = 0;       // no reply to the Nth valid frame (1-based); 0: none
    QStringList silentPrefixes;    // no reply to commands starting with one of these
    QMap<QString, QChar> refusals; // command prefix -> refusal code digit
    QString latePrefix;
    int lateMs = 0;           // reply to commands with this prefix only after lateMs
    int replyPieces = 1;      // send each reply in this many pieces, a few ms apart
    int pieceGapMs = 15;      // time between the pieces of a reply
    QByteArray replySuffix;   // bytes sent right after each reply's ETX, in the same write
    QByteArray fixedReply;    // non-empty: every answer is exactly these bytes
    char replyStart = STX;    // the start character of the meter's replies: STX, SOH, or 0 for none
    bool echo = false;        // the line hands every byte back, as some RS-485 adapters do
    QString duplicatePrefix;  // commands starting with this are answered twice
    QStringList busAddresses; // further meters on the line, each with its own configuration and table
    // Line faults, each at the Nth valid frame (1-based; 0: never):
    int strayEtxOn = 0;      // no reply; a lone ETX (line noise) comes instead
    int foreignOn = 0;       // no reply; the meter at foreignAddress answers instead
    QString foreignAddress;
    int bootOn = 0;          // the meter restarts: its boot text framed by STX and ETX instead of a reply, all it was sent lost
    int noiseOn = 0;         // no reply; a noise burst comes instead: STX, 0 to 2 bytes, ETX
    int flippedRefusalOn = 0; // refused, and one bit of the refusal's "Z" flipped on the line
    int flipOn = 0;          // the Nth frame on the line (valid or not) has one bit flipped: the meter and an echo see it so
    quint32 faultSeed = 1;   // where the seeded faults strike: the bit, the byte, the noise
    enum class EchoGlitch { None, ByteBefore, FirstLost } echoGlitch = EchoGlitch::None; // each echoed frame, with echo
};

class SimulatedMeter : public QObject {
    Q_OBJECT
public:
    // Creates the pty and starts answering; nullptr with a reason when it cannot.
    static std::unique_ptr<SimulatedMeter> start(const MeterConfig& config, QString* error = nullptr);
    ~SimulatedMeter() override;

    QString devicePath() const;   // /dev/pts/N
    MeterConfig& config();        // faults may be changed while running
    QStringList received() const; // command texts of valid frames taken by any meter of the line, in order
    QStringList received(const QString& address) const; // those the meter at that address took
    void clearReceived();
    // What the meter at an address (default: the first) shows for an input ("" when unknown).
    QString displayFor(const QString& input, const QString& address = QString()) const;
    QString dump() const; // every meter's configuration and table it was sent, printable
    void closeDevice();                             // the device vanishes (like pulling a USB adapter)

    // The line speed the client has configured on the pty, 0 when unknown.
    int lineBaud() const;
    // Number of replies completely written so far.
    int repliesSent() const { return m_repliesSent; }
    // Every byte the client wrote, frames or not, before any line fault.
    QByteArray rawReceived() const { return m_raw; }

signals:
    void commandReceived(const QString& command);
    void logLine(const QString& line);     // one decoded line per received frame or probe
    void replied(const QByteArray& reply); // the last byte of a reply was written

private:
    SimulatedMeter() = default;
    void onReadable();
    void handleFrame(const QByteArray& content);
    void sendReply(const QByteArray& reply, int delayMs);
    int wireMs(int bytes) const;
    void writeMaster(const QByteArray& bytes);
    QByteArray onLine(const QByteArray& bytes); // what the line makes of the client's bytes
    QByteArray framed(const QByteArray& reply) const; // the model's reply with the meter's start character

    MeterConfig m_config;
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QByteArray m_buffer;
    QByteArray m_raw;
    QStringList m_received;
    QMap<QString, QStringList> m_receivedBy; // by the address that took them
    int m_validFrames = 0;
    int m_framesOnLine = 0;
    QByteArray m_held; // the frame that gets a bit flipped, until its ETX
    bool m_holding = false;
    int m_repliesSent = 0;
    QList<MeterModel> m_models; // the meters of the line; the first is at config().address
    std::unique_ptr<QSocketNotifier> m_notifier;
};
