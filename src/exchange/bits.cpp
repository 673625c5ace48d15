#include "bits.h"

qint16 ValBit(quint8 aByte, qint16 bitId)
{
    if (bitId < 0 || bitId > 7)
        return 0;
    return qint16((aByte >> bitId) & 1);
}

quint8 SetBit(quint8 aByte, quint8 bitId, qint16 outBit)
{
    const quint8 mask = quint8(1u << (bitId % 8));
    if (outBit == 1)
        return aByte | mask;
    if (outBit == 0)
        return aByte & quint8(~mask);
    return 0;
}

std::optional<quint8> SetByte(const QString &strBit)
{
    int running = 0;
    for (QChar c : strBit) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        running = running * 2 + (c.unicode() - u'0');
        if (running > 255) // stop early: a long text must not overflow the running value
            return std::nullopt;
    }
    return quint8(running);
}
