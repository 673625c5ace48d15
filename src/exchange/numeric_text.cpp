#include "numeric_text.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace numeric {

namespace {

QString withoutBlanks(const QString &text)
{
    // Typed values rarely hold blanks: then the text itself is shared, not copied.
    if (!text.contains(u' ') && !text.contains(u'\t') && !text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            out.append(c);
    }
    return out;
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// What a text reads as: its number, and whether that number is all there is to it.
struct Reading {
    double value = 0;
    bool whole = false; // a number, with nothing after it
};

// "&H1F" or "&O17": digits in the given base up to the first character that is not one.
Reading radixValue(const QString &s, int base)
{
    double v = 0;
    qsizetype i = 2;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        const int d = (c >= u'0' && c <= u'9') ? c - u'0'
                    : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                    : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                                               : base;
        if (d >= base)
            break;
        v = v * base + d;
    }
    return {v, i > 2 && i == s.size()};
}

// For a number that does not fit a double: whether it is too small rather than too large.
// The sign of its exponent alone does not tell (a "1" with 400 zeros and "E-1" is large);
// the decimal exponent of its first significant digit does.
bool belowRange(std::string_view number)
{
    std::size_t i = 0;
    const std::size_t n = number.size();
    if (i < n && (number[i] == '+' || number[i] == '-'))
        ++i;
    qint64 lead = 0; // decimal exponent of the first significant digit, before the E part
    bool significant = false;
    bool afterPoint = false;
    for (; i < n && number[i] != 'E' && number[i] != 'e'; ++i) {
        if (number[i] == '.')
            afterPoint = true;
        else if (!significant && number[i] == '0')
            lead -= afterPoint ? 1 : 0;
        else if (!significant) {
            significant = true;
            lead -= afterPoint ? 1 : 0;
        } else if (!afterPoint)
            ++lead;
    }
    qint64 exponent = 0;
    bool negative = false;
    if (i < n) {
        ++i; // the E
        if (i < n && (number[i] == '+' || number[i] == '-'))
            negative = number[i++] == '-';
        for (; i < n; ++i)
            exponent = std::min<qint64>(exponent * 10 + (number[i] - '0'), 1'000'000'000);
    }
    return lead + (negative ? -exponent : exponent) < 0;
}

Reading read(const QString &text)
{
    const QString s = withoutBlanks(text);
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar r = s[1].toUpper();
        if (r == u'H')
            return radixValue(s, 16);
        if (r == u'O')
            return radixValue(s, 8);
        return {};
    }

    // The longest prefix of the form [sign] digits [. digits] [E [sign] digits].
    // A point without a digit after it, or an E without digits, is not part of the number.
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    const qsizetype intStart = i;
    while (i < n && isDigit(s[i]))
        ++i;
    bool anyDigits = i > intStart;
    qsizetype end = anyDigits ? i : 0;
    if (i < n && s[i] == u'.') {
        qsizetype j = i + 1;
        while (j < n && isDigit(s[j]))
            ++j;
        if (j > i + 1) {
            anyDigits = true;
            end = i = j;
        }
    }
    if (!anyDigits)
        return {};
    if (i < n && (s[i] == u'E' || s[i] == u'e')) {
        qsizetype j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        const qsizetype expStart = j;
        while (j < n && isDigit(s[j]))
            ++j;
        if (j > expStart)
            end = j;
    }
    // from_chars does not depend on the process locale, which Qt sets from the
    // environment; a German desktop must not turn "2.5" into 2.
    // The prefix is plain ASCII, so it narrows character for character, on the stack for
    // any number of sensible length: values are parsed for every box of every write.
    QVarLengthArray<char, 64> narrow(end);
    for (qsizetype k = 0; k < end; ++k)
        narrow[k] = char(s[k].unicode());
    const std::string_view digits(narrow.constData(), std::size_t(end));
    const char *first = digits.data();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, digits.data() + digits.size(), v);
    const bool whole = end == n;
    if (ec == std::errc::result_out_of_range) {
        // Too large for a double reads as infinity (refused later as a whole number);
        // too small reads as 0.
        if (belowRange(digits))
            return {0.0, whole};
        return {digits.front() == '-' ? -HUGE_VAL : HUGE_VAL, whole};
    }
    return {ec == std::errc() ? v : 0.0, whole};
}

} // namespace

double value(const QString &text) { return read(text).value; }

std::optional<double> exactValue(const QString &text)
{
    const Reading r = read(text);
    if (!r.whole)
        return std::nullopt;
    return r.value;
}

std::optional<qint32> wholeNumber(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // the default rounding mode sends halves to even
    if (r < double(std::numeric_limits<qint32>::min()) || r > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(r);
}

std::optional<Word> split(qint64 whole)
{
    const qint64 high = whole / 256; // C++ division truncates toward zero
    const qint64 low = whole % 256;  // and the remainder keeps the sign of W
    if (high < 0 || high > 255 || low < 0 || low > 255)
        return std::nullopt;
    return Word{quint8(high), quint8(low)};
}

namespace {
std::optional<Word> wordOfValue(std::optional<double> v)
{
    const auto whole = v ? wholeNumber(*v) : std::nullopt;
    if (!whole)
        return std::nullopt;
    return split(*whole);
}
} // namespace

std::optional<Word> wordOf(const QString &text) { return wordOfValue(value(text)); }

std::optional<Word> exactWordOf(const QString &text) { return wordOfValue(exactValue(text)); }

} // namespace numeric
