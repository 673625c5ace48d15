#include "pdu.h"

#include "bytes.h"

namespace pdu {

QByteArray readRequest(quint8 functionCode, quint8 startHigh, quint8 startLow, quint8 quantityHigh, quint8 quantityLow)
{
    const char b[] = {char(functionCode), char(startHigh), char(startLow), char(quantityHigh), char(quantityLow)};
    return QByteArray(b, sizeof b);
}

QByteArray writeRegistersRequest(quint16 start, const QList<quint16> &values)
{
    const auto count = quint16(values.size());
    QByteArray b(1, char(WriteMultipleRegisters));
    appendBe16(b, start);
    appendBe16(b, count);
    b.append(char(quint8(2 * count)));
    for (quint16 v : values)
        appendBe16(b, v);
    return b;
}

QByteArray writeCoilsRequest(quint16 start, quint16 quantity, const QByteArray &packedBits)
{
    QByteArray b(1, char(WriteMultipleCoils));
    appendBe16(b, start);
    appendBe16(b, quantity);
    b.append(char(quint8(packedBits.size())));
    b.append(packedBits);
    return b;
}

} // namespace pdu
