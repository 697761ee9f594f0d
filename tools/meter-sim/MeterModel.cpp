#include "meter-sim/MeterModel.h"

#include <algorithm>

namespace {
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

QString MeterModel::checksum(const QByteArray& command)
{
    unsigned sum = 0;
    for (char c : command)
        sum += uchar(c);
    return QStringLiteral("%1").arg((256 - sum % 256) % 256, 2, 16, QLatin1Char('0')).toUpper();
}

std::optional<QString> MeterModel::commandOf(const QByteArray& content, QString* why) const
{
    auto ignore = [&](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (content.size() < 5)
        return ignore(QStringLiteral("too short"));
    const QString to = QString::fromLatin1(content.left(3));
    const QByteArray command = content.mid(3, content.size() - 5);
    const QString sum = QString::fromLatin1(content.right(2));
    if (to != address)
        return ignore(QStringLiteral("address %1 is not %2").arg(to, address));
    if (sum != checksum(command))
        return ignore(QStringLiteral("checksum %1 should be %2").arg(sum, checksum(command)));
    return QString::fromLatin1(command);
}

QByteArray MeterModel::refusal(QChar code) const { return QByteArray(1, STX) + 'Z' + QString(code).toLatin1() + address.toLatin1() + ETX; }

QByteArray MeterModel::reply(const QString& c)
{
    const QByteArray addr = address.toLatin1();
    auto ack = [&](const QByteArray& payload = {}) {
        return QByteArray(1, STX) + "A0" + addr + (payload.isEmpty() ? QByteArray() : " " + payload) + ETX;
    };
    auto refuse = [&](char code) { return refusal(QChar(code)); };

    if (c == "F189")
        return ack(firmware.toLatin1());
    if (c.startsWith("38")) {
        const QString a = c.mid(2);
        if (a.size() != 3 || !allDigits(a) || a.toInt() < 1 || a.toInt() > 247)
            return refuse('2');
        const QByteArray reply = ack();
        address = a;
        return reply;
    }
    if (c == "200030" || c == "201130" || c == "208010") {
        m_inputConfig = c;
        return ack();
    }
    if (c.startsWith("37P")) {
        const QString d = c.mid(3);
        if (d.size() != 1 || d[0] < '0' || d[0] > '5')
            return refuse('2');
        m_decimals = d.toInt();
        return ack();
    }
    if (c.startsWith("48L")) {
        const QString n = c.mid(3);
        if (n.size() != 2 || !allDigits(n) || n.toInt() < 2 || n.toInt() > 32)
            return refuse('2');
        m_points = n.toInt();
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
        auto& table = (kind >= 2) ? m_input[set] : m_display[set];
        table[nn.toInt()] = c.mid(5);
        return ack();
    }
    if (c == "33V" || c == "33I") {
        m_inputType = c;
        return ack();
    }
    return refuse('0');
}

QString MeterModel::describe(const QString& c)
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
        static const char* const kinds[] = {"display value (V/P)", "display value (I)", "input value (V/P)", "input value (I)"};
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

QString MeterModel::interpret(const QString& raw, int decimals) const
{
    qint64 v;
    if (decimals < 0 || !parseScaled(raw, &v))
        return raw;
    return formatScaled(v, decimals);
}

QString MeterModel::displayFor(const QString& input) const
{
    if (m_points < 2 || m_decimals < 0 || m_inputConfig.isEmpty())
        return {};
    const int set = m_inputConfig == "201130" ? 1 : 0;
    const int inDec = inputDecimals(m_inputConfig);
    QList<qint64> xs, ys;
    for (int p = 1; p <= m_points; ++p) {
        qint64 x = 0, y = 0;
        if (!m_input[set].contains(p) || !m_display[set].contains(p) || !parseScaled(m_input[set][p], &x) ||
            !parseScaled(m_display[set][p], &y))
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
        return formatScaled(ys.first(), m_decimals);
    if (x >= xs.last())
        return formatScaled(ys.last(), m_decimals);
    int i = 1;
    while (x > xs[i])
        ++i;
    const long double t = (long double)(x - xs[i - 1]) / (long double)(xs[i] - xs[i - 1]);
    const long double y = ys[i - 1] + t * (ys[i] - ys[i - 1]);
    return formatScaled(qint64(y < 0 ? y - 0.5L : y + 0.5L), m_decimals);
}

QString MeterModel::dump() const
{
    static const char* const formats[] = {"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd", "dd.dddd", "d.ddddd"};
    QString out;
    out += QStringLiteral("Input configuration: %1\n")
               .arg(m_inputConfig.isEmpty() ? QStringLiteral("(not set)")
                                            : m_inputConfig + " (" + describe(m_inputConfig).section(": ", 1) + ")");
    out += QStringLiteral("Decimal point: %1\n")
               .arg(m_decimals < 0 ? QStringLiteral("(not set)")
                                   : QStringLiteral("37P%1 (%2)").arg(m_decimals).arg(QLatin1String(formats[m_decimals])));
    out += QStringLiteral("Number of points: %1\n").arg(m_points ? QString::number(m_points) : QStringLiteral("(not set)"));
    out += QStringLiteral("Input type: %1\n").arg(m_inputType.isEmpty() ? QStringLiteral("(not set)") : m_inputType);
    const int inDec = m_inputConfig.isEmpty() ? -1 : inputDecimals(m_inputConfig);
    for (int set = 0; set < 2; ++set) {
        QList<int> keys = m_input[set].keys() + m_display[set].keys();
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        if (keys.isEmpty())
            continue;
        out += set == 0 ? QStringLiteral("Points (2A2 input / 2A0 display):\n") : QStringLiteral("Points (2A3 input / 2A1 display):\n");
        for (int p : keys) {
            const QString in = m_input[set].value(p, "-"), disp = m_display[set].value(p, "-");
            out += QStringLiteral("  %1  input %2 = %3  display %4 = %5\n")
                       .arg(p, 2, 10, QLatin1Char('0'))
                       .arg(in, -8)
                       .arg(in == "-" ? in : interpret(in, inDec), -10)
                       .arg(disp, -8)
                       .arg(disp == "-" ? disp : interpret(disp, m_decimals));
        }
    }
    return out;
}
