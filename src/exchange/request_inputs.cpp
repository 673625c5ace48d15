#include "request_inputs.h"

#include "pdu.h"
#include "bits.h"
#include "numeric_text.h"
#include "texts.h"
#include "value_boxes.h"

namespace {

BuiltRequest refused(const QString &why) { return {{}, why}; }

// A write's 16-bit field: the text must be wholly a whole number from 0 to 65535.
std::optional<quint16> exactWord16(const QString &text)
{
    const auto w = numeric::exactWordOf(text);
    if (!w)
        return std::nullopt;
    return w->value();
}

// The start address and N of a write, or the refusal of the first of them that is unsound.
// N is the whole number of the length text, 0 to 16: one box per item. A write takes every
// text only when it is wholly a number: it changes a live device, and "12abc" or an empty
// box must not quietly become 12 or 0 on the wire.
struct WriteRange {
    quint16 start = 0;
    int count = 0;
    QString refusal;
};

WriteRange writeRange(const QString &startText, const QString &lengthText)
{
    const auto start = exactWord16(startText);
    if (!start)
        return {0, 0, msg::StartAddressRange};
    const auto length = numeric::exactValue(lengthText);
    const auto n = length ? numeric::wholeNumber(*length) : std::nullopt;
    if (!n || *n < 0 || *n > BoxCount)
        return {0, 0, msg::LengthRange};
    return {*start, *n, {}};
}

} // namespace

BuiltRequest readRequestFrom(quint8 functionCode, const QString &startText, const QString &lengthText)
{
    const auto start = numeric::wordOf(startText);
    if (!start)
        return refused(msg::StartAddressRange);
    const auto length = numeric::wordOf(lengthText);
    if (!length)
        return refused(msg::LengthRange);
    return {pdu::readRequest(functionCode, start->high, start->low, length->high, length->low), {}};
}

BuiltRequest writeRegistersFrom(const QString &startText, const QString &lengthText, const BoxText &box)
{
    const WriteRange range = writeRange(startText, lengthText);
    if (!range.refusal.isEmpty())
        return refused(range.refusal);
    QList<quint16> values;
    for (int k = 0; k < range.count; ++k) {
        const auto v = exactWord16(box(k));
        if (!v)
            return refused(msg::registerValueRange(k));
        values.append(*v);
    }
    return {pdu::writeRegistersRequest(range.start, values), {}};
}

BuiltRequest writeCoilsFrom(const QString &startText, const QString &lengthText, const BoxText &box)
{
    const WriteRange range = writeRange(startText, lengthText);
    if (!range.refusal.isEmpty())
        return refused(range.refusal);
    const int n = range.count;

    // Each group of eight boxes becomes one data byte through its text of digits, the
    // box of the highest address first; boxes at and beyond N count as 0.
    QByteArray packed;
    for (int first = 0; first < n; first += 8) {
        QString groupText;
        for (int j = 0; j < 8; ++j) {
            const int k = first + j;
            QChar digit = u'0';
            if (k < n) {
                const auto v = numeric::exactValue(box(k));
                if (!v || (*v != 0.0 && *v != 1.0))
                    return refused(msg::coilValueRange(k));
                digit = *v == 1.0 ? u'1' : u'0';
            }
            groupText.prepend(digit);
        }
        packed.append(char(*SetByte(groupText))); // eight binary digits always fit a byte
    }
    return {pdu::writeCoilsRequest(range.start, quint16(n), packed), {}};
}
