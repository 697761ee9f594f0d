#include "meter-sim/SimulatedMeter.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr char SOH = 0x01, STX = 0x02, ETX = 0x03;

struct SpeedEntry {
    speed_t code;
    int baud;
};
constexpr SpeedEntry Speeds[] = {{B50, 50},       {B75, 75},       {B110, 110},     {B134, 134},
                                 {B150, 150},     {B200, 200},     {B300, 300},     {B600, 600},
                                 {B1200, 1200},   {B1800, 1800},   {B2400, 2400},   {B4800, 4800},
                                 {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},
                                 {B115200, 115200}, {B230400, 230400}};

int baudOf(speed_t code)
{
    for (const auto& s : Speeds)
        if (s.code == code)
            return s.baud;
    return 0;
}

speed_t codeOf(int baud)
{
    for (const auto& s : Speeds)
        if (s.baud == baud)
            return s.code;
    return B0;
}

QString printable(const QByteArray& bytes)
{
    QString out;
    for (char c : bytes) {
        switch (c) {
        case SOH: out += "<SOH>"; break;
        case STX: out += "<STX>"; break;
        case ETX: out += "<ETX>"; break;
        case '\r': out += "<CR>"; break;
        case '\n': out += "<LF>"; break;
        default:
            if (uchar(c) < 0x20 || uchar(c) >= 0x7f)
                out += QStringLiteral("<%1>").arg(uchar(c), 2, 16, QLatin1Char('0'));
            else
                out += QLatin1Char(c);
        }
    }
    return out;
}

bool allDigits(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A signed digit string scaled by 10^decimals, as an integer; false when malformed.
bool parseScaled(const QString& raw, qint64* out)
{
    const bool neg = raw.startsWith('-');
    const QString digits = neg ? raw.mid(1) : raw;
    if (!allDigits(digits) || digits.size() > 15)
        return false;
    qint64 v = 0;
    for (QChar c : digits)
        v = v * 10 + (c.unicode() - '0');
    *out = neg ? -v : v;
    return true;
}

// A text value such as "12.5" scaled to `decimals` places (extra places are cut).
bool parseDecimal(const QString& text, int decimals, qint64* out)
{
    QString t = text.trimmed();
    const bool neg = t.startsWith('-');
    if (neg || t.startsWith('+'))
        t = t.mid(1);
    const int dot = t.indexOf('.');
    QString whole = dot < 0 ? t : t.left(dot);
    QString frac = dot < 0 ? QString() : t.mid(dot + 1);
    if (whole.isEmpty())
        whole = "0";
    if (!allDigits(whole) || (!frac.isEmpty() && !allDigits(frac)))
        return false;
    frac = frac.left(decimals).leftJustified(decimals, '0');
    qint64 v;
    if (!parseScaled(whole + frac, &v))
        return false;
    *out = neg ? -v : v;
    return true;
}

QString formatScaled(qint64 v, int decimals)
{
    const bool neg = v < 0;
    QString digits = QString::number(neg ? -v : v);
    if (decimals > 0) {
        digits = digits.rightJustified(decimals + 1, '0');
        digits.insert(digits.size() - decimals, '.');
    }
    return neg ? "-" + digits : digits;
}

int inputDecimals(const QString& inputConfig) { return inputConfig == "208010" ? 1 : 3; }
} // namespace

QString SimulatedMeter::checksum(const QByteArray& command)
{
    unsigned sum = 0;
    for (char c : command)
        sum += uchar(c);
    return QStringLiteral("%1").arg((256 - sum % 256) % 256, 2, 16, QLatin1Char('0')).toUpper();
}

std::unique_ptr<SimulatedMeter> SimulatedMeter::start(const MeterConfig& config, QString* error)
{
    auto failWith = [&](const QString& what) {
        if (error)
            *error = what + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    };
    std::unique_ptr<SimulatedMeter> m(new SimulatedMeter);
    m->m_config = config;
    m->m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m->m_master < 0)
        return failWith("cannot create a pseudo-terminal");
    fcntl(m->m_master, F_SETFD, FD_CLOEXEC);
    if (grantpt(m->m_master) != 0 || unlockpt(m->m_master) != 0)
        return failWith("cannot unlock the pseudo-terminal");
    const char* name = ptsname(m->m_master);
    if (!name)
        return failWith("cannot name the pseudo-terminal");
    m->m_path = QString::fromLocal8Bit(name);
    // Our own slave descriptor: reads the client's line settings and keeps the master
    // from seeing a hang-up between the client's opens. Never read from.
    m->m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m->m_slave < 0)
        return failWith("cannot open " + m->m_path);
    termios tio {};
    if (tcgetattr(m->m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        if (const speed_t code = codeOf(config.baud); code != B0) {
            cfsetispeed(&tio, code);
            cfsetospeed(&tio, code);
        }
        tcsetattr(m->m_slave, TCSANOW, &tio);
    }
    m->m_notifier = std::make_unique<QSocketNotifier>(m->m_master, QSocketNotifier::Read);
    connect(m->m_notifier.get(), &QSocketNotifier::activated, m.get(), [p = m.get()] { p->onReadable(); });
    return m;
}

SimulatedMeter::~SimulatedMeter() { closeDevice(); }

QString SimulatedMeter::devicePath() const { return m_path; }
MeterConfig& SimulatedMeter::config() { return m_config; }
QStringList SimulatedMeter::received() const { return m_received; }
void SimulatedMeter::clearReceived() { m_received.clear(); }

void SimulatedMeter::closeDevice()
{
    m_notifier.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

int SimulatedMeter::lineBaud() const
{
    termios tio {};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return 0;
    return baudOf(cfgetospeed(&tio));
}

void SimulatedMeter::onReadable()
{
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            m_buffer.append(buf, int(n));
            m_raw.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // EIO: no client and no slave descriptor left; stop watching until data can flow.
        if (m_notifier)
            m_notifier->setEnabled(false);
        break;
    }

    for (;;) {
        if (m_config.modem) {
            const int at = m_buffer.indexOf("ATV1Q0\r");
            if (at < 0) {
                m_buffer = m_buffer.right(6);
                break;
            }
            m_buffer.remove(0, at + 7);
            emit logLine(QStringLiteral("ATV1Q0<CR> -> modem answer OK"));
            sendReply("OK\r\n", 0);
            continue;
        }
        const int soh = m_buffer.indexOf(SOH);
        if (soh < 0) {
            // Only the tail can still begin something; keep nothing before a frame.
            if (m_buffer.contains("ATV1Q0\r")) {
                emit logLine(QStringLiteral("ATV1Q0<CR> (modem probe) -> silent"));
            }
            m_buffer.clear();
            break;
        }
        if (soh > 0) {
            if (m_buffer.left(soh).contains("ATV1Q0\r"))
                emit logLine(QStringLiteral("ATV1Q0<CR> (modem probe) -> silent"));
            m_buffer.remove(0, soh);
        }
        const int nextSoh = m_buffer.indexOf(SOH, 1);
        const int etx = m_buffer.indexOf(ETX, 1);
        if (nextSoh > 0 && (etx < 0 || nextSoh < etx)) {
            emit logLine(QStringLiteral("%1 -> incomplete frame dropped").arg(printable(m_buffer.left(nextSoh))));
            m_buffer.remove(0, nextSoh);
            continue;
        }
        if (etx < 0) {
            if (m_buffer.size() > 4096)
                m_buffer.clear();
            break;
        }
        const QByteArray content = m_buffer.mid(1, etx - 1);
        m_buffer.remove(0, etx + 1);
        handleFrame(content);
    }
}

void SimulatedMeter::handleFrame(const QByteArray& content)
{
    const QString shown = printable(QByteArray(1, SOH) + content + QByteArray(1, ETX));
    const int baud = lineBaud();
    if (baud != 0 && baud != m_config.baud) {
        emit logLine(QStringLiteral("%1 -> line at %2 baud, meter at %3 baud: garbled, silent")
                         .arg(shown).arg(baud).arg(m_config.baud));
        return;
    }
    if (content.size() < 5) {
        emit logLine(shown + " -> too short, silent");
        return;
    }
    const QString address = QString::fromLatin1(content.left(3));
    const QByteArray command = content.mid(3, content.size() - 5);
    const QString sum = QString::fromLatin1(content.right(2));
    const QString text = QString::fromLatin1(command);
    if (address != m_config.address) {
        emit logLine(QStringLiteral("%1 -> address %2 is not %3, silent").arg(shown, address, m_config.address));
        return;
    }
    if (sum != checksum(command)) {
        emit logLine(QStringLiteral("%1 -> checksum %2 should be %3, silent").arg(shown, sum, checksum(command)));
        return;
    }
    ++m_validFrames;
    m_received << text;
    emit commandReceived(text);

    const QString what = QStringLiteral("%1 -> %2 %3 (%4)").arg(shown, address, text, describe(text));
    if (m_config.silentOnCommand == m_validFrames) {
        emit logLine(what + ": silent (fault: command " + QString::number(m_validFrames) + ")");
        return;
    }
    for (const QString& prefix : m_config.silentPrefixes) {
        if (!prefix.isEmpty() && text.startsWith(prefix)) {
            emit logLine(what + ": silent (fault: prefix " + prefix + ")");
            return;
        }
    }
    QByteArray reply;
    for (auto it = m_config.refusals.constBegin(); it != m_config.refusals.constEnd(); ++it) {
        if (!it.key().isEmpty() && text.startsWith(it.key())) {
            reply = QByteArray(1, STX) + 'Z' + QString(it.value()).toLatin1() + m_config.address.toLatin1() + ETX;
            break;
        }
    }
    if (reply.isEmpty())
        reply = apply(text);
    if (!m_config.fixedReply.isEmpty())
        reply = m_config.fixedReply;
    int delay = m_config.latencyMs;
    if (m_config.wireTime) // the frame itself took its wire time to arrive
        delay += wireMs(int(content.size()) + 2);
    if (!m_config.latePrefix.isEmpty() && text.startsWith(m_config.latePrefix))
        delay += m_config.lateMs;
    reply += m_config.replySuffix;
    emit logLine(QStringLiteral("%1: reply %2%3").arg(what, printable(reply),
                                                      delay > 0 ? QStringLiteral(" after %1 ms").arg(delay) : QString()));
    sendReply(reply, delay);
}

QByteArray SimulatedMeter::apply(const QString& c)
{
    const QByteArray addr = m_config.address.toLatin1();
    auto ack = [&](const QByteArray& payload = {}) { return QByteArray(1, STX) + "A0" + addr + (payload.isEmpty() ? QByteArray() : " " + payload) + ETX; };
    auto refuse = [&](char code) { return QByteArray(1, STX) + 'Z' + code + addr + ETX; };

    if (c == "F189")
        return ack(m_config.firmware.toLatin1());
    if (c.startsWith("38")) {
        const QString a = c.mid(2);
        if (a.size() != 3 || !allDigits(a) || a.toInt() < 1 || a.toInt() > 247)
            return refuse('2');
        const QByteArray reply = ack();
        m_config.address = a;
        return reply;
    }
    if (c == "200030" || c == "201130" || c == "208010") {
        m_model.inputConfig = c;
        return ack();
    }
    if (c.startsWith("37P")) {
        const QString d = c.mid(3);
        if (d.size() != 1 || d[0] < '0' || d[0] > '5')
            return refuse('2');
        m_model.decimals = d.toInt();
        return ack();
    }
    if (c.startsWith("48L")) {
        const QString n = c.mid(3);
        if (n.size() != 2 || !allDigits(n) || n.toInt() < 2 || n.toInt() > 32)
            return refuse('2');
        m_model.points = n.toInt();
        return ack();
    }
    if (c.startsWith("2A") && c.size() >= 6 && c[2] >= '0' && c[2] <= '3') {
        const int kind = c[2].unicode() - '0';
        const QString nn = c.mid(3, 2);
        if (!allDigits(nn) || nn.toInt() < 1 || nn.toInt() > 32)
            return refuse('3');
        qint64 v;
        if (!parseScaled(c.mid(5), &v))
            return refuse('9');
        const int set = (kind == 1 || kind == 3) ? 1 : 0;
        auto& table = (kind >= 2) ? m_model.input[set] : m_model.display[set];
        table[nn.toInt()] = c.mid(5);
        return ack();
    }
    if (c == "33V" || c == "33I") {
        m_model.inputType = c;
        return ack();
    }
    return refuse('0');
}

int SimulatedMeter::wireMs(int bytes) const
{
    // start bit, 8 data bits, stop bit
    return m_config.baud > 0 ? int((qint64(bytes) * 10 * 1000 + m_config.baud - 1) / m_config.baud) : 0;
}

void SimulatedMeter::sendReply(const QByteArray& reply, int delayMs)
{
    if (m_config.wireTime)
        delayMs += wireMs(int(reply.size()));
    const int pieces = std::clamp(m_config.replyPieces, 1, std::max<int>(1, int(reply.size())));
    const int step = int(reply.size()) / pieces;
    for (int i = 0; i < pieces; ++i) {
        const int from = i * step;
        const bool last = i == pieces - 1;
        const QByteArray piece = last ? reply.mid(from) : reply.mid(from, step);
        auto send = [this, piece, last, reply] {
            writeMaster(piece);
            if (last) {
                ++m_repliesSent;
                emit replied(reply);
            }
        };
        const int at = delayMs + i * std::max(0, m_config.pieceGapMs);
        if (at <= 0 && pieces == 1)
            send();
        else
            QTimer::singleShot(at, this, send);
    }
}

void SimulatedMeter::writeMaster(const QByteArray& bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

QString SimulatedMeter::describe(const QString& c)
{
    static const char* const formats[] = {"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd", "dd.dddd", "d.ddddd"};
    if (c == "F189")
        return QStringLiteral("firmware query");
    if (c.startsWith("38"))
        return QStringLiteral("set address %1").arg(c.mid(2));
    if (c == "200030")
        return QStringLiteral("input configuration: Voltage");
    if (c == "201130")
        return QStringLiteral("input configuration: Current");
    if (c == "208010")
        return QStringLiteral("input configuration: Pulse");
    if (c.startsWith("37P") && c.size() == 4 && c[3] >= '0' && c[3] <= '5')
        return QStringLiteral("decimal point: %1").arg(QLatin1String(formats[c[3].unicode() - '0']));
    if (c.startsWith("48L"))
        return QStringLiteral("number of points: %1").arg(c.mid(3));
    if (c.startsWith("2A") && c.size() >= 6) {
        static const char* const kinds[] = {"display value (V/P)", "display value (I)", "input value (V/P)",
                                            "input value (I)"};
        const int k = c[2].unicode() - '0';
        if (k >= 0 && k <= 3)
            return QStringLiteral("point %1 %2 %3").arg(c.mid(3, 2), QLatin1String(kinds[k]), c.mid(5));
    }
    if (c == "33V")
        return QStringLiteral("input type: Voltage/Pulse");
    if (c == "33I")
        return QStringLiteral("input type: Current");
    return QStringLiteral("unknown command");
}

QString SimulatedMeter::interpret(const QString& raw, int decimals) const
{
    qint64 v;
    if (decimals < 0 || !parseScaled(raw, &v))
        return raw;
    return formatScaled(v, decimals);
}

QString SimulatedMeter::displayFor(const QString& input) const
{
    const Model& m = m_model;
    if (m.points < 2 || m.decimals < 0 || m.inputConfig.isEmpty())
        return {};
    const int set = m.inputConfig == "201130" ? 1 : 0;
    const int inDec = inputDecimals(m.inputConfig);
    QList<qint64> xs, ys;
    for (int p = 1; p <= m.points; ++p) {
        qint64 x = 0, y = 0;
        if (!m.input[set].contains(p) || !m.display[set].contains(p) || !parseScaled(m.input[set][p], &x)
            || !parseScaled(m.display[set][p], &y))
            return {};
        if (!xs.isEmpty() && x <= xs.last())
            return {};
        xs << x;
        ys << y;
    }
    qint64 x = 0;
    if (!parseDecimal(input, inDec, &x))
        return {};
    // Linear between neighbouring points, held at the end values outside the table.
    if (x <= xs.first())
        return formatScaled(ys.first(), m.decimals);
    if (x >= xs.last())
        return formatScaled(ys.last(), m.decimals);
    int i = 1;
    while (x > xs[i])
        ++i;
    const long double t = (long double)(x - xs[i - 1]) / (long double)(xs[i] - xs[i - 1]);
    const long double y = ys[i - 1] + t * (ys[i] - ys[i - 1]);
    return formatScaled(qint64(y < 0 ? y - 0.5L : y + 0.5L), m.decimals);
}

QString SimulatedMeter::dump() const
{
    static const char* const formats[] = {"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd", "dd.dddd", "d.ddddd"};
    const Model& m = m_model;
    QString out;
    out += QStringLiteral("Meter %1 at %2 baud, firmware %3\n").arg(m_config.address).arg(m_config.baud).arg(m_config.firmware);
    out += QStringLiteral("Input configuration: %1\n")
               .arg(m.inputConfig.isEmpty() ? QStringLiteral("(not set)") : m.inputConfig + " (" + describe(m.inputConfig).section(": ", 1) + ")");
    out += QStringLiteral("Decimal point: %1\n")
               .arg(m.decimals < 0 ? QStringLiteral("(not set)") : QStringLiteral("37P%1 (%2)").arg(m.decimals).arg(QLatin1String(formats[m.decimals])));
    out += QStringLiteral("Number of points: %1\n").arg(m.points ? QString::number(m.points) : QStringLiteral("(not set)"));
    out += QStringLiteral("Input type: %1\n").arg(m.inputType.isEmpty() ? QStringLiteral("(not set)") : m.inputType);
    const int inDec = m.inputConfig.isEmpty() ? -1 : inputDecimals(m.inputConfig);
    for (int set = 0; set < 2; ++set) {
        QList<int> keys = m.input[set].keys() + m.display[set].keys();
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        if (keys.isEmpty())
            continue;
        out += set == 0 ? QStringLiteral("Points (2A2 input / 2A0 display):\n")
                        : QStringLiteral("Points (2A3 input / 2A1 display):\n");
        for (int p : keys) {
            const QString in = m.input[set].value(p, "-"), disp = m.display[set].value(p, "-");
            out += QStringLiteral("  %1  input %2 = %3  display %4 = %5\n")
                       .arg(p, 2, 10, QLatin1Char('0'))
                       .arg(in, -8)
                       .arg(in == "-" ? in : interpret(in, inDec), -10)
                       .arg(disp, -8)
                       .arg(disp == "-" ? disp : interpret(disp, m.decimals));
        }
    }
    return out;
}
