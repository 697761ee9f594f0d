#include "table/NumberText.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace NumberText {
namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// A decimal number as sign and digits with the point after `point` digits.
struct Decimal {
    bool negative = false;
    QString digits; // no sign, no point
    int point = 0;  // number of integer digits (may be <0 or >digits.size())
};

// Whole-text reader: blanks, [+-], digits, [".", digits], optional exponent, blanks.
std::optional<Decimal> parseWhole(const QString& text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    Decimal d;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        d.negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int intCount = 0, fracCount = 0;
    while (i < n && isDigit(text[i])) {
        d.digits += text[i++];
        ++intCount;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            d.digits += text[i++];
            ++fracCount;
        }
    }
    if (intCount + fracCount == 0)
        return std::nullopt;
    d.point = intCount;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        int j = i + 1;
        bool expNeg = false;
        if (j < n && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+'))) {
            expNeg = text[j] == QLatin1Char('-');
            ++j;
        }
        int exp = 0, expDigits = 0;
        while (j < n && isDigit(text[j])) {
            exp = exp * 10 + (text[j].unicode() - '0');
            ++j;
            ++expDigits;
        }
        if (expDigits == 0 || expDigits > 3)
            return std::nullopt;
        d.point += expNeg ? -exp : exp;
        i = j;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;
    return d;
}

// Integer and fraction digit strings of a decimal, with exactly `decimals` fraction
// digits, rounded half away from zero. Integer part without leading zeros ("" for 0).
void roundTo(const Decimal& d, int decimals, QString& intPart, QString& fracPart)
{
    QString digits = d.digits;
    int point = d.point;
    if (point < 0) {
        digits.prepend(QString(-point, QLatin1Char('0')));
        point = 0;
    }
    if (point > digits.size())
        digits.append(QString(point - digits.size(), QLatin1Char('0')));
    const int keep = point + decimals;
    if (digits.size() < keep)
        digits.append(QString(keep - digits.size(), QLatin1Char('0')));
    digits = roundDigits(digits, keep);
    if (digits.size() > keep)
        ++point; // carried into a new leading digit
    intPart = digits.left(point);
    fracPart = digits.mid(point);
    int z = 0;
    while (z < intPart.size() && intPart[z] == QLatin1Char('0'))
        ++z;
    intPart = intPart.mid(z);
}

} // namespace

QString roundDigits(const QString& digits, int keep)
{
    if (keep < 0)
        return QString();
    if (keep >= digits.size())
        return digits;
    QString kept = digits.left(keep);
    if (digits[keep] >= QLatin1Char('5')) {
        int k = kept.size() - 1;
        while (k >= 0 && kept[k] == QLatin1Char('9'))
            kept[k--] = QLatin1Char('0');
        if (k >= 0)
            kept[k] = QChar(kept[k].unicode() + 1);
        else
            kept.prepend(QLatin1Char('1'));
    }
    return kept;
}

namespace {

QString write(bool negative, const QString& intPart, const QString& fracPart, bool dropZeroInteger)
{
    const bool zero = intPart.isEmpty() && !fracPart.contains(QRegularExpression(QStringLiteral("[1-9]")));
    QString out;
    if (negative && !zero)
        out += QLatin1Char('-');
    if (!intPart.isEmpty())
        out += intPart;
    else if (!dropZeroInteger || fracPart.isEmpty())
        out += QLatin1Char('0');
    if (!fracPart.isEmpty())
        out += QLatin1Char('.') + fracPart;
    return out;
}

} // namespace

QString normalForm(const QString& text, int decimals, bool dropZeroInteger)
{
    const std::optional<Decimal> d = parseWhole(text);
    if (!d)
        return text;
    QString intPart, fracPart;
    roundTo(*d, std::max(decimals, 0), intPart, fracPart);
    return write(d->negative, intPart, fracPart, dropZeroInteger);
}

QString leadingNumberText(const QString& text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    int digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    int end = i;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        int frac = 0;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++frac;
        }
        digits += frac;
        if (frac > 0 || digits > 0)
            end = i;
    }
    if (digits == 0)
        return QString();
    return text.mid(start, end - start);
}

double leadingValue(const QString& text)
{
    const QString lead = leadingNumberText(text);
    if (lead.isEmpty())
        return 0;
    bool ok = false;
    const double v = QLocale::c().toDouble(lead, &ok);
    return ok ? v : 0;
}

std::optional<double> toNumber(const QString& text)
{
    if (!parseWhole(text))
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> compare(const QString& a, const QString& b)
{
    const std::optional<Decimal> da = parseWhole(a), db = parseWhole(b);
    if (!da || !db)
        return std::nullopt;
    // Align both on a common number of decimals, exactly.
    auto fracDigits = [](const Decimal& d) { return std::max(0, int(d.digits.size()) - d.point); };
    const int decimals = std::max(fracDigits(*da), fracDigits(*db));
    QString ia, fa, ib, fb;
    roundTo(*da, decimals, ia, fa);
    roundTo(*db, decimals, ib, fb);
    auto isZero = [](const QString& i, const QString& f) {
        return i.isEmpty() && !f.contains(QRegularExpression(QStringLiteral("[1-9]")));
    };
    const int sa = isZero(ia, fa) ? 0 : (da->negative ? -1 : 1);
    const int sb = isZero(ib, fb) ? 0 : (db->negative ? -1 : 1);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    if (sa == 0)
        return 0;
    int mag = 0;
    if (ia.size() != ib.size())
        mag = ia.size() < ib.size() ? -1 : 1;
    else {
        const QString ma = ia + fa, mb = ib + fb;
        mag = ma < mb ? -1 : (ma == mb ? 0 : 1);
    }
    return sa * mag;
}

QString shiftedInteger(const QString& text, int decimals)
{
    decimals = std::max(decimals, 0);
    int i = 0;
    const int n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    QString digits;
    while (i < n && isDigit(text[i]))
        digits += text[i++];
    Decimal d;
    d.negative = negative;
    d.digits = digits;
    d.point = int(digits.size()) - decimals;
    QString intPart, fracPart;
    roundTo(d, decimals, intPart, fracPart);
    return write(negative, intPart, fracPart, false);
}

} // namespace NumberText
