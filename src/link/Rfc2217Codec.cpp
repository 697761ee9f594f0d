#include "link/Rfc2217Codec.h"

QByteArray Rfc2217Codec::escape(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(IAC)));
    for (const char c : data) {
        out += c;
        if (uchar(c) == IAC)
            out += c;
    }
    return out;
}

void Rfc2217Codec::ask(uchar command, uchar option)
{
    Side& side = command == WILL || command == WONT ? m_us[option] : m_him[option];
    side.asked = true;
    m_out += char(IAC);
    m_out += char(command);
    m_out += char(option);
}

void Rfc2217Codec::start()
{
    ask(WILL, ComPort);
    ask(WILL, Binary);
    ask(DO, Binary);
    ask(DO, SuppressGoAhead);
}

void Rfc2217Codec::requestLine(quint32 baud)
{
    m_baud = baud;
    m_lineQueued = true;
    if (accepted())
        sendLine();
}

void Rfc2217Codec::sendLine()
{
    m_lineQueued = false;
    QByteArray rate(4, '\0');
    for (int i = 0; i < 4; ++i)
        rate[i] = char(m_baud >> (24 - 8 * i));
    sendCom(SetBaudRate, rate);
    sendCom(SetDataSize, QByteArray(1, char(8)));
    sendCom(SetParity, QByteArray(1, char(ParityNone)));
    sendCom(SetStopSize, QByteArray(1, char(StopOne)));
    m_pending = 1u << SetBaudRate | 1u << SetDataSize | 1u << SetParity | 1u << SetStopSize;
    // As a local port raises DTR and RTS when opened; a server without modem lines may say nothing.
    sendCom(SetControl, QByteArray(1, char(DtrOn)));
    sendCom(SetControl, QByteArray(1, char(RtsOn)));
}

void Rfc2217Codec::sendCom(uchar command, const QByteArray& value)
{
    m_out += char(IAC);
    m_out += char(SB);
    m_out += char(ComPort);
    m_out += char(command);
    m_out += escape(value);
    m_out += char(IAC);
    m_out += char(SE);
}

void Rfc2217Codec::verb(uchar command, uchar option)
{
    // The Q method of RFC 1143, without queueing: answer only what changes a side's state.
    const bool ours = command == DO || command == DONT;
    Side& side = ours ? m_us[option] : m_him[option];
    const bool enable = command == DO || command == WILL;
    const uchar yes = ours ? WILL : DO, no = ours ? WONT : DONT;
    if (enable && (!supported(option) || (option == ComPort && !ours))) {
        m_out += char(IAC);
        m_out += char(no);
        m_out += char(option);
        side = {};
        return;
    }
    if (enable != side.on) {
        if (!side.asked) {
            m_out += char(IAC);
            m_out += char(enable ? yes : no);
            m_out += char(option);
        }
        side.on = enable;
    }
    side.asked = false;
    if (option == ComPort && ours) {
        m_refused = !enable;
        if (enable && m_lineQueued)
            sendLine();
    }
}

void Rfc2217Codec::subnegotiation(const QByteArray& sb)
{
    if (sb.size() < 2 || uchar(sb[0]) != ComPort || uchar(sb[1]) <= ServerOffset)
        return;
    const uchar command = uchar(sb[1]) - ServerOffset;
    const QByteArray value = sb.mid(2);
    const uchar first = value.isEmpty() ? 0 : uchar(value[0]);
    switch (command) {
    case SetBaudRate:
        if (value.size() == 4)
            m_settledBaud =
                quint32(uchar(value[0])) << 24 | quint32(uchar(value[1])) << 16 | quint32(uchar(value[2])) << 8 | uchar(value[3]);
        break;
    case SetDataSize: m_dataSize = first; break;
    case SetParity: m_parity = first; break;
    case SetStopSize: m_stopSize = first; break;
    case NotifyLineState:
        m_lineState = first;
        ++m_notifications;
        break;
    case NotifyModemState:
        m_modemState = first;
        ++m_notifications;
        break;
    default: break;
    }
    if (command < 32)
        m_pending &= ~(1u << command);
}

QByteArray Rfc2217Codec::feed(const QByteArray& bytes)
{
    QByteArray data;
    for (const char c : bytes) {
        const uchar b = uchar(c);
        switch (m_state) {
        case State::Data:
            if (b == IAC)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            m_state = State::Data;
            if (b == IAC) {
                data += c;
            } else if (b >= WILL) {
                m_verb = b;
                m_state = State::Verb;
            } else if (b == SB) {
                m_sb.clear();
                m_state = State::Sb;
            } // other commands (NOP, GA, ...) carry nothing for us
            break;
        case State::Verb:
            verb(m_verb, b);
            m_state = State::Data;
            break;
        case State::Sb:
            if (b == IAC)
                m_state = State::SbIac;
            else if (m_sb.size() < MaxSubnegotiation) // a server's endless subnegotiation is cut, not kept
                m_sb += c;
            break;
        case State::SbIac:
            if (b == IAC) {
                if (m_sb.size() < MaxSubnegotiation)
                    m_sb += c;
                m_state = State::Sb;
            } else {
                if (b == SE)
                    subnegotiation(m_sb);
                m_state = State::Data; // SE, or a command that ends a broken subnegotiation
            }
            break;
        }
    }
    return data;
}
