// The numeric value of a text: any text the operator can type gives a number (never a crash
// or NaN), its whole number is the nearest one, and the 16-bit split of a whole number
// exists exactly for 0..65535 and gives it back.
//
// Input: byte 0 chooses how the rest becomes text (even: UTF-8, odd: UTF-16) and where one
// blank is inserted for the check that blanks change nothing; the rest is the text. The
// first eight bytes of the text are also split as a raw 64-bit number.

#include "fuzz_check.h"

#include "exchange/numeric_text.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

void checkSplit(qint64 whole)
{
    const auto w = numeric::split(whole);
    FUZZ_CHECK(w.has_value() == (whole >= 0 && whole <= 65535));
    if (w)
        FUZZ_CHECK(qint64(w->high) * 256 + w->low == whole);
}

// A plain reference for texts that are nothing but decimal digits (or "&H" and hex digits),
// short enough to be exact in a double.
std::optional<double> plainValue(const QString &text)
{
    QString s = text;
    s.remove(u' ').remove(u'\t').remove(u'\n');
    if (s.size() >= 3 && s.size() <= 14 && s[0] == u'&' && (s[1] == u'H' || s[1] == u'h')) {
        double v = 0;
        for (QChar c : s.mid(2)) {
            const int d = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
            if (d < 0 || c.unicode() > 127)
                return std::nullopt;
            v = v * 16 + d;
        }
        return v;
    }
    if (s.isEmpty() || s.size() > 15)
        return std::nullopt;
    for (QChar c : s) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return double(s.toLongLong());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype n = qsizetype(size - 1);
    const QString text = mode % 2 == 0 ? QString::fromUtf8(rest, n)
                                       : QString(reinterpret_cast<const QChar *>(rest), n / 2);
    if (n >= 8) {
        qint64 raw;
        std::memcpy(&raw, rest, sizeof raw);
        checkSplit(raw);
    }

    const double v = numeric::value(text);
    FUZZ_CHECK(!std::isnan(v));
    if (const auto plain = plainValue(text))
        FUZZ_CHECK(v == *plain);

    // Blanks anywhere are ignored.
    QString spaced = text;
    spaced.insert(text.isEmpty() ? 0 : (mode / 2) % (text.size() + 1), u' ');
    FUZZ_CHECK(numeric::value(spaced) == v);

    const auto whole = numeric::wholeNumber(v);
    const bool fits = std::isfinite(v) && std::nearbyint(v) >= double(std::numeric_limits<qint32>::min())
                   && std::nearbyint(v) <= double(std::numeric_limits<qint32>::max());
    FUZZ_CHECK(whole.has_value() == fits);
    if (whole) {
        FUZZ_CHECK(std::fabs(double(*whole) - v) <= 0.5);
        if (std::fabs(v - std::trunc(v)) == 0.5)
            FUZZ_CHECK(*whole % 2 == 0); // halves go to the even neighbour
        checkSplit(*whole);
    }

    // The one-step form agrees with the three steps.
    const auto word = numeric::wordOf(text);
    const auto stepwise = whole ? numeric::split(*whole) : std::nullopt;
    FUZZ_CHECK(word.has_value() == stepwise.has_value());
    if (word)
        FUZZ_CHECK(word->high == stepwise->high && word->low == stepwise->low);
    return 0;
}
