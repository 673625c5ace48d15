#include "value_tooltips.h"

#include "exchange/numeric_text.h"

#include <QStringList>
#include <bit>
#include <cmath>

namespace tooltips {

namespace {
constexpr int LastAddress = 65535;
constexpr int BytesPerLine = 16;


// The status line's tooltip is rebuilt on every request and every reply, so during a fast
// exchange its bytes are the busiest text the window makes: written straight into place,
// without the temporary strings of toHex and join or a check per appended character.
void appendHexBytes(QString &out, const QByteArray &bytes, QLatin1String lineBreak)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    const qsizetype n = bytes.size();
    if (n == 0)
        return;
    // Two digits a byte, one blank between bytes, except the line breaks between lines.
    const qsizetype breaks = (n - 1) / BytesPerLine;
    const qsizetype at = out.size();
    out.resize(at + 3 * n - 1 + breaks * (lineBreak.size() - 1));
    QChar *p = out.data() + at;
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && i % BytesPerLine == 0) {
            for (char c : lineBreak)
                *p++ = QLatin1Char(c);
        } else if (i > 0) {
            *p++ = u' ';
        }
        const auto byte = quint8(bytes[i]);
        *p++ = QLatin1Char(Digits[byte >> 4]);
        *p++ = QLatin1Char(Digits[byte & 0xF]);
    }
}

// A 32-bit value as devices mean it: an IEEE 754 float (up to 7 significant digits, as many
// as a float holds), an unsigned and a signed number.
QString longReadings(quint32 bits)
{
    const float real = std::bit_cast<float>(bits);
    QString shown;
    if (std::isnan(real))
        shown = QStringLiteral("NaN");
    else if (std::isinf(real))
        shown = real > 0 ? QStringLiteral("infinity") : QStringLiteral("-infinity");
    else
        shown = QString::number(real, 'g', 7);
    return QStringLiteral("float %1  unsigned %2  signed %3").arg(shown).arg(bits).arg(qint32(bits));
}
} // namespace

QString itemName(const BoxSource &source, int box)
{
    if (!source.known() || source.address > LastAddress)
        return boxName(box);
    // Manuals count the items from 1, in four digits behind the table's while they fit
    // (40001 to 49999) and in five from there on (410000 to 465536).
    const int number = source.address + 1;
    QString name = QStringLiteral("%1 %2 (reference %3%4)")
                       .arg(source.table->itemName)
                       .arg(source.address)
                       .arg(QLatin1Char(source.table->referenceDigit))
                       .arg(number, 4, 10, QLatin1Char('0'));
    if (!source.device.isEmpty())
        name += QStringLiteral(" from ") + source.device;
    return name;
}

QString registerReadings(const QString &boxText, const QString &nextText)
{
    const auto word = numeric::exactWordOf(boxText);
    if (!word)
        return {};
    const quint16 bits = word->value();
    QString binary;
    for (int nibble = 3; nibble >= 0; --nibble) {
        binary += QStringLiteral("%1").arg((bits >> (4 * nibble)) & 0xF, 4, 2, QLatin1Char('0'));
        if (nibble > 0)
            binary += QLatin1Char(' ');
    }
    const QString hex = QStringLiteral("%1").arg(bits, 4, 16, QLatin1Char('0')).toUpper();
    QString readings = QStringLiteral("0x%1  signed %2  binary %3").arg(hex, QString::number(qint16(bits)), binary);
    const auto next = numeric::exactWordOf(nextText);
    if (!next)
        return readings;
    // The Modbus convention sends the high word first; many devices swap the words.
    const quint32 high = bits, low = next->value();
    return readings + QStringLiteral("\nwith the next register: ") + longReadings(high << 16 | low)
         + QStringLiteral("\nwords swapped: ") + longReadings(low << 16 | high);
}

QString valueBoxTip(int box, const BoxValue &value, const BoxValue &next)
{
    if (!value.typed && !(value.source.known() && value.source.table->registers))
        return itemName(value.source, box);
    const QString name = value.typed ? boxName(box) + QStringLiteral(": ") + Typed : itemName(value.source, box);
    // Two boxes hold one 32-bit value only when both came from the device, over one connection,
    // from neighbouring addresses of one table.
    BoxSource following = value.source;
    ++following.address;
    const bool pair = !value.typed && !next.typed && next.source == following && following.address <= LastAddress;
    const QString readings = registerReadings(value.text, pair ? next.text : QString());
    return readings.isEmpty() ? name : name + QLatin1Char('\n') + readings;
}

QString exchangeTip(const QByteArray &request, const QByteArray &reply, double roundTripMs)
{
    // Appended piece by piece into one reserved string: joining the pieces with + would make
    // a temporary string for each of them.
    const QLatin1String indentedBreak("\n    "); // the bytes are indented under their title
    QString tip;
    tip.reserve(96 + 3 * (request.size() + reply.size()));
    tip.append(QLatin1String("Last request ("));
    tip.append(QString::number(request.size()));
    tip.append(QLatin1String(" bytes):"));
    tip.append(indentedBreak);
    appendHexBytes(tip, request, indentedBreak);
    if (roundTripMs < 0) {
        tip.append(QLatin1String("\nNo reply yet"));
        return tip;
    }
    tip.append(QLatin1String("\nLast reply ("));
    tip.append(QString::number(reply.size()));
    tip.append(QLatin1String(" bytes):"));
    tip.append(indentedBreak);
    appendHexBytes(tip, reply, indentedBreak);
    tip.append(QLatin1String("\nRound trip: "));
    tip.append(QString::number(roundTripMs, 'f', 1));
    tip.append(QLatin1String(" ms"));
    return tip;
}

} // namespace tooltips
