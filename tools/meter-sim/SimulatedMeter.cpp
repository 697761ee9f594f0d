#include "meter-sim/SimulatedMeter.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr char SOH = 0x01;

struct SpeedEntry {
    speed_t code;
    int baud;
};
constexpr SpeedEntry Speeds[] = {{B50, 50},     {B75, 75},       {B110, 110},     {B134, 134},     {B150, 150},       {B200, 200},
                                 {B300, 300},   {B600, 600},     {B1200, 1200},   {B1800, 1800},   {B2400, 2400},     {B4800, 4800},
                                 {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};

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

} // namespace

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
    termios tio{};
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
QStringList SimulatedMeter::received(const QString& address) const { return m_receivedBy.value(address); }
void SimulatedMeter::clearReceived()
{
    m_received.clear();
    m_receivedBy.clear();
}

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
    termios tio{};
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
            m_raw.append(buf, int(n));
            const QByteArray line = onLine(QByteArray(buf, int(n)));
            if (m_config.echo) {
                QByteArray echoed = line;
                if (m_config.echoGlitch == MeterConfig::EchoGlitch::ByteBefore)
                    echoed.replace(SOH, QByteArray("\xff\x01", 2));
                else if (m_config.echoGlitch == MeterConfig::EchoGlitch::FirstLost)
                    echoed.replace(QByteArray(1, SOH), QByteArray());
                writeMaster(echoed);
            }
            m_buffer.append(line);
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
        emit logLine(QStringLiteral("%1 -> line at %2 baud, meter at %3 baud: garbled, silent").arg(shown, QString::number(baud), QString::number(m_config.baud)));
        return;
    }
    // The configuration may have been changed while running: it holds every meter's address.
    const QStringList addresses = QStringList{m_config.address} + m_config.busAddresses;
    m_models.resize(addresses.size());
    qsizetype taker = -1;
    for (qsizetype i = 0; i < m_models.size(); ++i) {
        m_models[i].address = addresses[i];
        m_models[i].firmware = m_config.firmware;
        if (taker < 0 && addresses[i] == QString::fromLatin1(content.left(3)))
            taker = i;
    }
    MeterModel& model = m_models[taker < 0 ? 0 : taker];
    QString why;
    const std::optional<QString> command = model.commandOf(content, &why);
    if (!command) {
        if (taker < 0 && m_models.size() > 1)
            why = QStringLiteral("no meter at address %1").arg(QString::fromLatin1(content.left(3)));
        emit logLine(QStringLiteral("%1 -> %2, silent").arg(shown, why));
        return;
    }
    const QString& text = *command;
    ++m_validFrames;
    m_received << text;
    m_receivedBy[model.address] << text;
    emit commandReceived(text);

    const QString what = QStringLiteral("%1 -> %2 %3 (%4)").arg(shown, model.address, text, MeterModel::describe(text));
    if (m_config.silentOnCommand == m_validFrames) {
        emit logLine(what + ": silent (fault: command " + QString::number(m_validFrames) + ")");
        return;
    }
    if (m_config.strayEtxOn == m_validFrames) {
        emit logLine(what + ": silent, a stray ETX on the line (fault)");
        sendReply(QByteArray(1, ETX), m_config.latencyMs);
        return;
    }
    if (m_config.foreignOn == m_validFrames) {
        MeterModel other;
        other.address = m_config.foreignAddress;
        emit logLine(what + ": silent, meter " + m_config.foreignAddress + " answers (fault)");
        sendReply(framed(other.reply(text)), m_config.latencyMs);
        return;
    }
    if (m_config.bootOn == m_validFrames) {
        emit logLine(what + ": the meter restarts (fault)");
        model = MeterModel(); // its address is the configuration's
        sendReply(STX + ("Talvo Series " + m_config.firmware.toLatin1()) + ETX, m_config.latencyMs);
        return;
    }
    if (m_config.noiseOn == m_validFrames) {
        QRandomGenerator random(m_config.faultSeed);
        QByteArray burst(1, STX);
        for (int n = random.bounded(3); n > 0; --n)
            burst += char(random.bounded(256));
        burst += ETX;
        emit logLine(what + ": silent, a noise burst " + printable(burst) + " on the line (fault)");
        sendReply(burst, m_config.latencyMs);
        return;
    }
    if (m_config.flippedRefusalOn == m_validFrames) {
        QByteArray refusal = framed(model.refusal(QLatin1Char('2')));
        const int z = int(refusal.indexOf('Z'));
        refusal[z] = char(refusal[z] ^ (1 << QRandomGenerator(m_config.faultSeed).bounded(8)));
        emit logLine(what + ": refused, the refusal's Z damaged on the line: " + printable(refusal) + " (fault)");
        sendReply(refusal, m_config.latencyMs);
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
            reply = framed(model.refusal(it.value()));
            break;
        }
    }
    if (reply.isEmpty()) {
        reply = framed(model.reply(text));
        // "38" moves the meter to a new address
        if (taker == 0)
            m_config.address = model.address;
        else
            m_config.busAddresses[taker - 1] = model.address;
    }
    if (!m_config.fixedReply.isEmpty())
        reply = m_config.fixedReply;
    int delay = m_config.latencyMs;
    if (m_config.wireTime) // the frame itself took its wire time to arrive
        delay += wireMs(int(content.size()) + 2);
    if (!m_config.latePrefix.isEmpty() && text.startsWith(m_config.latePrefix))
        delay += m_config.lateMs;
    reply += m_config.replySuffix;
    emit logLine(
        QStringLiteral("%1: reply %2%3").arg(what, printable(reply), delay > 0 ? QStringLiteral(" after %1 ms").arg(delay) : QString()));
    if (!m_config.duplicatePrefix.isEmpty() && text.startsWith(m_config.duplicatePrefix))
        reply += reply; // the repeat follows on the line at once
    sendReply(reply, delay);
}

QByteArray SimulatedMeter::framed(const QByteArray& reply) const
{
    return m_config.replyStart ? m_config.replyStart + reply.mid(1) : reply.mid(1);
}

QByteArray SimulatedMeter::onLine(const QByteArray& bytes)
{
    if (m_config.flipOn <= 0)
        return bytes;
    QByteArray out;
    for (const char c : bytes) {
        if (c == SOH && !m_holding && ++m_framesOnLine == m_config.flipOn)
            m_holding = true;
        if (!m_holding) {
            out += c;
            continue;
        }
        m_held += c;
        if (c == ETX) {
            QRandomGenerator random(m_config.faultSeed);
            const int at = random.bounded(int(m_held.size()));
            m_held[at] = char(m_held[at] ^ (1 << random.bounded(8)));
            emit logLine(QStringLiteral("one bit flipped on the line: %1").arg(printable(m_held)));
            out += m_held;
            m_held.clear();
            m_holding = false;
        }
    }
    return out;
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

QString SimulatedMeter::displayFor(const QString& input, const QString& address) const
{
    for (const MeterModel& model : m_models)
        if (address.isEmpty() || model.address == address)
            return model.displayFor(input);
    return {};
}

QString SimulatedMeter::dump() const
{
    const QStringList addresses = QStringList{m_config.address} + m_config.busAddresses;
    QString out;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        out += QStringLiteral("%1Meter %2 at %3 baud, firmware %4\n")
                   .arg(i ? QStringLiteral("\n") : QString(), addresses[i])
                   .arg(m_config.baud)
                   .arg(m_config.firmware) +
               m_models.value(i).dump();
    return out;
}
