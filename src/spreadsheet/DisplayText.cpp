#include "spreadsheet/DisplayText.h"
#include "table/NumberText.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace Spreadsheet {
namespace {

// |value| = digits * 10^exp; digits has no leading or trailing zeros, empty for zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exp = 0;
    bool isZero() const { return digits.empty(); }
    int magnitude() const { return exp + int(digits.size()) - 1; } // power of ten of the leading digit
};

void trimDecimal(Decimal& d)
{
    size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0')
        ++lead;
    d.digits.erase(0, lead);
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exp;
    }
    if (d.digits.empty())
        d.exp = 0;
}

// Drops the last `drop` digits, rounding half away from zero.
void dropDigits(Decimal& d, int drop)
{
    if (drop <= 0 || d.isZero())
        return;
    d.digits = NumberText::roundDigits(QString::fromStdString(d.digits), int(d.digits.size()) - drop).toStdString();
    d.exp += drop;
    trimDecimal(d);
}

Decimal toDecimal(double value)
{
    Decimal d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const std::string s(buf, res.ptr);
    const size_t e = s.find('e');
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
    for (size_t i = 0; i < e; ++i)
        if (s[i] >= '0' && s[i] <= '9')
            d.digits += s[i];
    d.exp = exponent - int(d.digits.size()) + 1;
    trimDecimal(d);
    dropDigits(d, int(d.digits.size()) - 15); // a spreadsheet keeps 15 significant digits
    d.negative = std::signbit(value) && !d.isZero();
    return d;
}

// Integer and fraction digits of |d| with exactly `decimals` decimals.
std::pair<std::string, std::string> fixedParts(Decimal d, int decimals)
{
    dropDigits(d, -decimals - d.exp);
    std::string all = d.isZero() ? std::string() : d.digits + std::string(size_t(d.exp + decimals), '0');
    if (int(all.size()) < decimals + 1)
        all.insert(0, size_t(decimals + 1 - int(all.size())), '0');
    return {all.substr(0, all.size() - size_t(decimals)), all.substr(all.size() - size_t(decimals))};
}

QString fromStd(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

bool isPlaceholder(QChar c) { return c == u'0' || c == u'#' || c == u'?'; }

// One piece of a format code. Quotes, escapes, "_x" spacing, "*x" fills and brackets are
// resolved here once; every other character is a Code token whose meaning depends on the
// section (date or number).
struct Token {
    enum Kind { Text, Bracket, Code } kind;
    QString text; // Text: what is shown; Bracket: what is inside; Code: the character
    bool is(QChar c) const { return kind == Code && text[0] == c; }
    bool isLower(QChar c) const { return kind == Code && text[0].toLower() == c; }
};
using Section = std::vector<Token>;

// The sections of a format code, split at ";" outside quotes, escapes and brackets.
std::vector<Section> tokenize(const QString& code)
{
    std::vector<Section> sections(1);
    auto upTo = [&](qsizetype from, QChar close) { // the text before `close`, and where it is
        const qsizetype end = code.indexOf(close, from);
        return std::pair{code.mid(from, (end < 0 ? code.size() : end) - from), end < 0 ? code.size() : end};
    };
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        Section& out = sections.back();
        const bool hasNext = i + 1 < code.size();
        if (c == u'"' || c == u'[') {
            const auto [inner, end] = upTo(i + 1, c == u'"' ? QChar(u'"') : QChar(u']'));
            out.push_back({c == u'"' ? Token::Text : Token::Bracket, inner});
            i = end;
        } else if (c == u'\\' && hasNext) {
            out.push_back({Token::Text, QString(code[++i])});
        } else if (c == u'_' && hasNext) {
            out.push_back({Token::Text, QStringLiteral(" ")}); // the width of the next character
            ++i;
        } else if (c == u'*' && hasNext) {
            ++i; // a fill: nothing at a cell's natural width
        } else if (c == u';') {
            sections.emplace_back();
        } else {
            out.push_back({Token::Code, QString(c)});
        }
    }
    return sections;
}

// True when the Code tokens from k on spell `word`, ignoring case.
bool spells(const Section& s, size_t k, QLatin1String word)
{
    if (k + size_t(word.size()) > s.size())
        return false;
    for (qsizetype j = 0; j < word.size(); ++j)
        if (!s[k + size_t(j)].isLower(QChar(word[j]).toLower()))
            return false;
    return true;
}

bool isElapsedBracket(const QString& inner)
{
    if (inner.isEmpty())
        return false;
    const QChar first = inner[0].toLower();
    if (first != u'h' && first != u'm' && first != u's')
        return false;
    for (QChar c : inner)
        if (c.toLower() != first)
            return false;
    return true;
}

bool isDatePart(QChar lc) { return lc == u'y' || lc == u'm' || lc == u'd' || lc == u'h' || lc == u's'; }

// ---- dates and times (1900 date system) ----

const char* const MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};
const char* const DayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

struct DateToken {
    enum Kind { Literal, Year, Month, Day, Hour, Minute, Second, AmPm, Elapsed } kind;
    QString text; // literal text, or the token as written
};

QString two(qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); }

QString formatDate(double value, const Section& section)
{
    if (value < 0 || value > 2958465.99999)
        return QStringLiteral("########");
    qint64 days = qint64(std::floor(value));
    qint64 secs = qint64(std::llround((value - double(days)) * 86400.0));
    if (secs >= 86400) {
        ++days;
        secs -= 86400;
    }
    int y = 1900, mo = 1, d = 0, weekday = 0;
    if (days == 60) { // the 1900 leap day a spreadsheet counts
        mo = 2;
        d = 29;
        weekday = 2;
    } else if (days > 0) {
        const QDate date = QDate(1899, 12, days < 60 ? 31 : 30).addDays(days);
        y = date.year();
        mo = date.month();
        d = date.day();
        weekday = date.dayOfWeek() - 1;
    }

    std::vector<DateToken> tokens;
    bool twelveHour = false;
    for (size_t k = 0; k < section.size(); ++k) {
        const Token& t = section[k];
        const QChar lc = t.text.isEmpty() ? QChar() : t.text[0].toLower();
        const size_t ampm = spells(section, k, QLatin1String("am/pm")) ? 5 : spells(section, k, QLatin1String("a/p")) ? 3 : 0;
        if (t.kind == Token::Text) {
            tokens.push_back({DateToken::Literal, t.text});
        } else if (t.kind == Token::Bracket) {
            if (isElapsedBracket(t.text))
                tokens.push_back({DateToken::Elapsed, t.text.toLower()});
        } else if (ampm > 0) {
            QString written;
            for (size_t j = k; j < k + ampm; ++j)
                written += section[j].text;
            tokens.push_back({DateToken::AmPm, written});
            twelveHour = true;
            k += ampm - 1;
        } else if (isDatePart(lc)) {
            size_t j = k;
            while (j < section.size() && section[j].isLower(lc))
                ++j;
            const DateToken::Kind kind = lc == u'y'   ? DateToken::Year
                                         : lc == u'm' ? DateToken::Month
                                         : lc == u'd' ? DateToken::Day
                                         : lc == u'h' ? DateToken::Hour
                                                      : DateToken::Second;
            tokens.push_back({kind, QString(qsizetype(j - k), lc)});
            k = j - 1;
        } else if (t.is(u'.') && k + 1 < section.size() && section[k + 1].is(u'0')) {
            size_t j = k + 1;
            while (j < section.size() && section[j].is(u'0'))
                ++j;
            tokens.push_back({DateToken::Literal, QStringLiteral(".") + QString(qsizetype(j - k - 1), u'0')});
            k = j - 1;
        } else {
            tokens.push_back({DateToken::Literal, t.text});
        }
    }
    // "m" after an hour or before a second means minutes.
    for (size_t k = 0; k < tokens.size(); ++k) {
        if (tokens[k].kind != DateToken::Month || tokens[k].text.size() > 2)
            continue;
        bool minute = false;
        for (size_t p = k; p-- > 0;) {
            if (tokens[p].kind == DateToken::Literal)
                continue;
            minute = tokens[p].kind == DateToken::Hour || (tokens[p].kind == DateToken::Elapsed && tokens[p].text[0] == u'h');
            break;
        }
        for (size_t n = k + 1; !minute && n < tokens.size(); ++n) {
            if (tokens[n].kind == DateToken::Literal)
                continue;
            minute = tokens[n].kind == DateToken::Second;
            break;
        }
        if (minute)
            tokens[k].kind = DateToken::Minute;
    }

    const qint64 hour = secs / 3600, minute = secs / 60 % 60, second = secs % 60;
    QString out;
    for (const DateToken& t : tokens) {
        const qsizetype n = t.text.size();
        switch (t.kind) {
        case DateToken::Literal: out += t.text; break;
        case DateToken::Year: out += n <= 2 ? two(y % 100) : QString::number(y); break;
        case DateToken::Month:
            out += n == 1   ? QString::number(mo)
                   : n == 2 ? two(mo)
                   : n == 3 ? QString::fromLatin1(MonthNames[mo - 1]).left(3)
                   : n == 5 ? QString::fromLatin1(MonthNames[mo - 1]).left(1)
                            : QString::fromLatin1(MonthNames[mo - 1]);
            break;
        case DateToken::Day:
            out += n == 1   ? QString::number(d)
                   : n == 2 ? two(d)
                   : n == 3 ? QString::fromLatin1(DayNames[weekday]).left(3)
                            : QString::fromLatin1(DayNames[weekday]);
            break;
        case DateToken::Hour: {
            qint64 h = hour;
            if (twelveHour)
                h = h % 12 == 0 ? 12 : h % 12;
            out += n == 1 ? QString::number(h) : two(h);
            break;
        }
        case DateToken::Minute: out += n == 1 ? QString::number(minute) : two(minute); break;
        case DateToken::Second: out += n == 1 ? QString::number(second) : two(second); break;
        case DateToken::AmPm: {
            const bool pm = hour >= 12;
            if (n == 5)
                out += pm ? QStringLiteral("PM") : QStringLiteral("AM");
            else
                out += pm ? QStringLiteral("P") : QStringLiteral("A");
            break;
        }
        case DateToken::Elapsed: {
            const qint64 total = days * 86400 + secs;
            const qint64 v = t.text[0] == u'h' ? total / 3600 : t.text[0] == u'm' ? total / 60 : total;
            out += QStringLiteral("%1").arg(v, int(n), 10, QChar(u'0'));
            break;
        }
        }
    }
    return out;
}

bool isDateSection(const Section& section)
{
    return std::any_of(section.begin(), section.end(), [](const Token& t) {
        return t.kind == Token::Bracket ? isElapsedBracket(t.text) : t.kind == Token::Code && isDatePart(t.text[0].toLower());
    });
}

// ---- number sections ----

struct NumberPattern {
    QString prefix, suffix;
    QString intPh, fracPh, expPh;
    bool point = false, thousands = false, scientific = false, expPlus = false, general = false;
    int scaleThousands = 0, percent = 0;
};

NumberPattern parseNumberSection(const Section& s)
{
    NumberPattern p;
    int phase = 0; // 0 before the number, 1 integer, 2 fraction, 3 exponent, 4 after "General"
    auto literal = [&](const QString& text) { (phase == 0 ? p.prefix : p.suffix) += text; };
    auto isPlaceholderAt = [&](size_t k) { return k < s.size() && s[k].kind == Token::Code && isPlaceholder(s[k].text[0]); };
    for (size_t k = 0; k < s.size(); ++k) {
        const Token& t = s[k];
        const QChar c = t.text.isEmpty() ? QChar() : t.text[0];
        if (t.kind == Token::Text) {
            literal(t.text);
        } else if (t.kind == Token::Bracket) {
            if (t.text.startsWith(u'$'))
                literal(t.text.mid(1).section(u'-', 0, 0));
        } else if (phase == 0 && spells(s, k, QLatin1String("general"))) {
            p.general = true;
            phase = 4;
            k += 6;
        } else if (isPlaceholder(c)) {
            if (phase == 0)
                phase = 1;
            (phase == 1 ? p.intPh : phase == 2 ? p.fracPh : p.expPh) += c;
        } else if (c == u'.' && phase <= 1 && !p.point && (phase == 1 || isPlaceholderAt(k + 1))) {
            p.point = true;
            phase = 2;
        } else if (c == u',' && phase == 1) {
            if (isPlaceholderAt(k + 1))
                p.thousands = true;
            else
                ++p.scaleThousands;
        } else if (c == u',' && phase == 2 && !isPlaceholderAt(k + 1)) {
            ++p.scaleThousands;
        } else if (t.isLower(u'e') && (phase == 1 || phase == 2) && k + 1 < s.size() && (s[k + 1].is(u'+') || s[k + 1].is(u'-'))) {
            p.scientific = true;
            p.expPlus = s[k + 1].is(u'+');
            phase = 3;
            ++k;
        } else if (c == u'%') {
            ++p.percent;
            literal(QStringLiteral("%"));
        } else if (c != u'@') { // "@" is the text placeholder: nothing for a number
            literal(t.text);
        }
    }
    return p;
}

QString layoutNumber(const NumberPattern& p, std::string intPart, std::string frac)
{
    size_t lead = 0;
    while (lead < intPart.size() && intPart[lead] == '0')
        ++lead;
    intPart.erase(0, lead);
    const int minInt = int(p.intPh.count(u'0'));
    const int spaceInt = int(p.intPh.count(u'?'));
    if (int(intPart.size()) < minInt)
        intPart.insert(0, size_t(minInt - int(intPart.size())), '0');
    if (p.thousands && intPart.size() > 3)
        for (int k = int(intPart.size()) - 3; k > 0; k -= 3)
            intPart.insert(size_t(k), 1, ',');
    if (int(intPart.size()) < minInt + spaceInt)
        intPart.insert(0, size_t(minInt + spaceInt - int(intPart.size())), ' ');
    for (int k = int(frac.size()) - 1; k >= 0 && frac[size_t(k)] == '0'; --k) {
        const QChar ph = p.fracPh[k];
        if (ph == u'0')
            break;
        if (ph == u'?')
            frac[size_t(k)] = ' ';
        else
            frac.erase(size_t(k), 1);
    }
    QString out = fromStd(intPart);
    if (p.point)
        out += u'.' + fromStd(frac);
    return out;
}

QString formatNumberSection(Decimal d, const NumberPattern& p)
{
    d.exp += 2 * p.percent - 3 * p.scaleThousands;
    if (d.isZero())
        d.exp = 0;
    const int decimals = int(p.fracPh.size());
    if (!p.scientific) {
        auto [i, f] = fixedParts(d, decimals);
        return layoutNumber(p, i, f);
    }
    const int intCount = std::max(1, int(p.intPh.size()));
    const bool engineering = intCount > 1 && p.intPh.contains(u'#');
    auto exponentFor = [&](int m) {
        if (engineering)
            return int(std::floor(double(m) / intCount)) * intCount;
        return m - std::max(1, int(p.intPh.count(u'0'))) + 1;
    };
    int e = d.isZero() ? 0 : exponentFor(d.magnitude());
    Decimal m = d;
    m.exp -= e;
    auto parts = fixedParts(m, decimals);
    if (!d.isZero() && !engineering) {
        // rounding may carry into a new leading digit (9.99 -> 10.0)
        Decimal r = m;
        dropDigits(r, -decimals - r.exp);
        if (!r.isZero() && r.magnitude() > std::max(1, int(p.intPh.count(u'0'))) - 1) {
            ++e;
            m = d;
            m.exp -= e;
            parts = fixedParts(m, decimals);
        }
    }
    QString exp = QString::number(std::abs(e));
    const int minExp = std::max(1, int(p.expPh.count(u'0')));
    if (exp.size() < minExp)
        exp.prepend(QString(minExp - exp.size(), u'0'));
    return layoutNumber(p, parts.first, parts.second) + u'E' +
           (e < 0       ? QStringLiteral("-")
            : p.expPlus ? QStringLiteral("+")
                        : QString()) +
           exp;
}

// An empty section or "General", spaces aside.
bool isGeneralSection(const Section& section)
{
    QString written;
    for (const Token& t : section) {
        if (t.kind != Token::Code)
            return false;
        written += t.text;
    }
    written = written.trimmed();
    return written.isEmpty() || written.compare(QStringLiteral("General"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString fixedText(double value, int decimals)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    const Decimal d = toDecimal(value);
    const auto [i, f] = fixedParts(d, decimals);
    QString out = fromStd(i);
    if (decimals > 0)
        out += u'.' + fromStd(f);
    return d.negative ? u'-' + out : out;
}

QString formatGeneral(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    Decimal d = toDecimal(value);
    if (d.isZero())
        return QStringLiteral("0");
    QString out;
    const int m = d.magnitude();
    if (m >= 11 || m < -9) {
        dropDigits(d, int(d.digits.size()) - 6);
        const int e = d.magnitude();
        out = QString(QChar(u'0' + (d.digits[0] - '0')));
        if (d.digits.size() > 1)
            out += u'.' + fromStd(d.digits.substr(1));
        out += QStringLiteral("E%1%2").arg(e < 0 ? QStringLiteral("-") : QStringLiteral("+")).arg(std::abs(e), 2, 10, QChar(u'0'));
    } else {
        auto [i, f] = fixedParts(d, std::max(0, 9 - m));
        while (!f.empty() && f.back() == '0')
            f.pop_back();
        out = fromStd(i);
        if (!f.empty())
            out += u'.' + fromStd(f);
        if (out == u"0")
            return out;
    }
    return d.negative ? u'-' + out : out;
}

bool isDateFormat(const QString& code)
{
    const std::vector<Section> sections = tokenize(code);
    return std::any_of(sections.begin(), sections.end(), isDateSection);
}

QString formatNumber(double value, const QString& code)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    const std::vector<Section> sections = tokenize(code);
    if (sections.size() == 1 && isGeneralSection(sections[0]))
        return formatGeneral(value);
    const bool negative = value < 0;
    const Section* section = &sections[0];
    bool ownSign = false; // the section writes the sign itself
    if (negative && sections.size() >= 2 && !sections[1].empty()) {
        section = &sections[1];
        ownSign = true;
    } else if (value == 0 && sections.size() >= 3) {
        section = &sections[2];
    }
    const double shown = ownSign ? -value : value;
    if (isGeneralSection(*section))
        return formatGeneral(shown);
    if (isDateSection(*section))
        return formatDate(shown, *section);
    const NumberPattern p = parseNumberSection(*section);
    Decimal d = toDecimal(shown);
    const bool minus = d.negative;
    d.negative = false;
    const bool hasNumber = !p.intPh.isEmpty() || !p.fracPh.isEmpty();
    const bool textFormat = std::any_of(section->begin(), section->end(), [](const Token& t) { return t.is(u'@'); });
    if (!hasNumber && !p.general && textFormat)
        return formatGeneral(value); // a text format shows numbers as they are
    const QString body = p.general ? formatGeneral(std::fabs(shown)) : hasNumber ? formatNumberSection(d, p) : QString();
    return (minus ? QStringLiteral("-") : QString()) + p.prefix + body + p.suffix;
}

} // namespace Spreadsheet
