#include "adu.h"

#include "bytes.h"

namespace adu {

namespace {

// Header and function code; the length field counts the unit id and everything after it.
QByteArray header(quint16 lengthField, quint8 functionCode)
{
    QByteArray b;
    appendBe16(b, 0); // transaction id
    appendBe16(b, 0); // protocol id: 0 is Modbus
    appendBe16(b, lengthField);
    b.append(char(DefaultUnitId));
    b.append(char(functionCode));
    return b;
}

} // namespace

QByteArray readRequest(quint8 functionCode, quint8 startHigh, quint8 startLow, quint8 quantityHigh, quint8 quantityLow)
{
    QByteArray b = header(6, functionCode);
    b.append(char(startHigh));
    b.append(char(startLow));
    b.append(char(quantityHigh));
    b.append(char(quantityLow));
    return b;
}

QByteArray writeRegistersRequest(quint16 start, const QList<quint16> &values)
{
    const auto count = quint16(values.size());
    QByteArray b = header(quint16(7 + 2 * count), WriteMultipleRegisters);
    appendBe16(b, start);
    appendBe16(b, count);
    b.append(char(quint8(2 * count)));
    for (quint16 v : values)
        appendBe16(b, v);
    return b;
}

QByteArray writeCoilsRequest(quint16 start, quint16 quantity, const QByteArray &packedBits)
{
    QByteArray b = header(quint16(7 + packedBits.size()), WriteMultipleCoils);
    appendBe16(b, start);
    appendBe16(b, quantity);
    b.append(char(quint8(packedBits.size())));
    b.append(packedBits);
    return b;
}

void setIds(QByteArray &request, quint16 transactionId, quint8 unitId)
{
    request[TransactionIdAt] = char(transactionId >> 8);
    request[TransactionIdAt + 1] = char(transactionId & 0xff);
    request[UnitIdAt] = char(unitId);
}

Frame takeFrame(QByteArray &pending)
{
    // Judge the header as soon as its fixed fields are in: a bad header must be reported
    // at once, never mistaken for a reply still on its way.
    if (pending.size() >= 4 && be16(pending, 2) != 0)
        return {FrameStatus::Malformed, {}};
    if (pending.size() < HeaderSize)
        return {FrameStatus::NeedMore, {}};
    const int length = be16(pending, 4);
    if (length < 2 || length > MaxLengthField)
        return {FrameStatus::Malformed, {}};
    const int total = 6 + length;
    if (pending.size() < total)
        return {FrameStatus::NeedMore, {}};
    Frame f{FrameStatus::Complete, pending.left(total)};
    pending.remove(0, total);
    return f;
}

} // namespace adu
