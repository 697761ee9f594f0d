#pragma once
// The Telnet COM-PORT-OPTION (RFC 2217) side of a serial port on a network server, without the
// socket: bytes from the server in, the meter's data bytes out; what to send back queued for the
// caller. Data bytes 0xFF are doubled (IAC) going out and undoubled coming in. Options other than
// BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION are declined. The line settings (rate, 8 data
// bits, no parity, 1 stop bit) go out once the server has agreed to the option, and each is
// settled by the server's acknowledgement; the control lines (DTR, RTS) are asked for but never
// waited for, since a server may refuse or ignore them (ser2net on a device without modem lines).
#include <QByteArray>

class Rfc2217Codec {
public:
    enum : uchar { SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255 };
    enum Option : uchar { Binary = 0, SuppressGoAhead = 3, ComPort = 44 };
    // Client's COM-PORT-OPTION commands; the server answers with the same plus ServerOffset.
    enum Command : uchar {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        NotifyLineState = 6,
        NotifyModemState = 7
    };
    static constexpr uchar ServerOffset = 100;
    static constexpr int MaxSubnegotiation = 64; // a COM-PORT-OPTION answer holds at most 6 bytes
    static constexpr uchar ParityNone = 1, StopOne = 1, DtrOn = 8, RtsOn = 11;

    // The options asked for at connection.
    void start();
    // Asks for baud, 8N1; sent once the server agrees to COM-PORT-OPTION, settled by its acknowledgements.
    void requestLine(quint32 baud);
    static QByteArray escape(const QByteArray& data);

    // The data bytes among the server's bytes; Telnet commands are answered through takeOutgoing().
    QByteArray feed(const QByteArray& bytes);
    QByteArray takeOutgoing() { return std::exchange(m_out, QByteArray()); }

    bool refused() const { return m_refused; }         // the server declined COM-PORT-OPTION
    bool accepted() const { return m_us[ComPort].on; } // the server agreed to it
    bool lineSettled() const { return accepted() && m_pending == 0 && !m_lineQueued; }
    quint32 settledBaud() const { return m_settledBaud; } // the rate the server acknowledged
    // The server acknowledged 8 data bits, no parity and 1 stop bit as asked.
    bool lineAsAsked() const { return m_dataSize == 8 && m_parity == ParityNone && m_stopSize == StopOne; }
    uchar lineState() const { return m_lineState; }   // the last NOTIFY-LINESTATE
    uchar modemState() const { return m_modemState; } // the last NOTIFY-MODEMSTATE
    int notifications() const { return m_notifications; }

private:
    struct Side {
        bool on = false;
        bool asked = false;
    };
    static bool supported(uchar option) { return option == Binary || option == SuppressGoAhead || option == ComPort; }
    void verb(uchar command, uchar option);
    void ask(uchar command, uchar option);
    void subnegotiation(const QByteArray& sb);
    void sendCom(uchar command, const QByteArray& value);
    void sendLine();

    enum class State { Data, Iac, Verb, Sb, SbIac } m_state = State::Data;
    uchar m_verb = 0;
    QByteArray m_sb;
    QByteArray m_out;
    Side m_us[256];  // options we perform (WILL/WONT)
    Side m_him[256]; // options the server performs (DO/DONT)
    bool m_refused = false;
    bool m_lineQueued = false;
    quint32 m_baud = 0;
    unsigned m_pending = 0; // bit c: the server has not yet acknowledged command c
    quint32 m_settledBaud = 0;
    uchar m_dataSize = 0, m_parity = 0, m_stopSize = 0;
    uchar m_lineState = 0, m_modemState = 0;
    int m_notifications = 0;
};
