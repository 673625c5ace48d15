#include "framing.h"

#include "bytes.h"
#include "pdu.h"

#include <utility>

namespace framing {

namespace {

// The MBAP header (Modbus Messaging on TCP/IP Implementation Guide, section 3.1.3): the
// transaction id, the protocol id and the length field, two bytes each, then the unit id; the
// length field counts the unit id and the PDU.
constexpr int MbapSize = 7;
constexpr int TransactionIdAt = 0;
constexpr int UnitIdAt = 6;
constexpr int MaxLengthField = 1 + pdu::MaxSize;
constexpr int MaxTcpFrame = 6 + MaxLengthField;

Framed malformed(QString why)
{
    Framed f;
    f.status = Status::Malformed;
    f.why = std::move(why);
    return f;
}

// --- Modbus TCP -------------------------------------------------------------------------

QByteArray wrapTcp(const QByteArray &pdu, quint8 unit, quint16 id)
{
    QByteArray b;
    b.reserve(MbapSize + pdu.size());
    appendBe16(b, id);
    appendBe16(b, 0);                       // protocol id: 0 is Modbus
    appendBe16(b, quint16(pdu.size() + 1)); // the length field counts the unit id too
    b.append(char(unit));
    return b + pdu;
}

Framed takeTcp(QByteArray &pending)
{
    // Judge the header as soon as its fixed fields are in: a bad header must be reported
    // at once, never mistaken for a reply still on its way.
    if (pending.size() >= 4 && be16(pending, 2) != 0)
        return malformed(QStringLiteral("protocol identifier %1").arg(be16(pending, 2)));
    if (pending.size() < MbapSize)
        return {};
    const int length = be16(pending, 4);
    if (length < 2 || length > MaxLengthField)
        return malformed(QStringLiteral("length field %1").arg(length));
    const int total = 6 + length;
    if (pending.size() < total)
        return {};
    Framed f;
    f.status = Status::Complete;
    f.id = be16(pending, TransactionIdAt);
    f.unit = quint8(pending[UnitIdAt]);
    f.wire = pending.left(total);
    f.pdu = f.wire.mid(MbapSize);
    pending.remove(0, total);
    return f;
}

// --- Modbus RTU -------------------------------------------------------------------------

// Modbus Application Protocol, section 4.1: a serial line ADU is at most 256 bytes, which is
// where the 253-byte limit of every PDU comes from.
constexpr int MaxRtuFrame = 256;
constexpr int CrcSize = 2;

// The CRC of bytes as it goes on the wire after them: low byte first (Modbus over Serial
// Line, section 2.5.1.2).
QByteArray crcOf(QByteArrayView bytes)
{
    const quint16 crc = crc16(bytes);
    const char wire[] = {char(crc & 0xff), char(crc >> 8)};
    return QByteArray(wire, CrcSize);
}

// Two CRC bytes as they stand on the wire, so that the text matches a capture.
QString crcText(const QByteArray &wire) { return QString::fromLatin1(wire.toHex(' ').toUpper()); }

QByteArray wrapRtu(const QByteArray &pdu, quint8 unit, quint16 /* no transaction id in RTU */)
{
    QByteArray b;
    b.reserve(1 + pdu.size() + CrcSize);
    b.append(char(unit));
    b.append(pdu);
    return b + crcOf(b);
}

// The size of the RTU frame that starts pending, as far as its first bytes tell: 0 while
// they are not in yet. Only the replies our requests can get are known (Modbus Application
// Protocol, sections 6.1 to 6.4, 6.11 and 6.12, and section 7 for the exception reply).
int rtuFrameSize(const QByteArray &pending, QString &why)
{
    if (pending.size() < 2)
        return 0;
    const auto function = quint8(pending[1]);
    switch (function) {
    case pdu::ReadCoils:
    case pdu::ReadDiscreteInputs:
    case pdu::ReadHoldingRegisters:
    case pdu::ReadInputRegisters: {
        if (pending.size() < 3)
            return 0;
        // Unit, function code, byte count, the bytes it counts, CRC.
        const int byteCount = quint8(pending[2]);
        if (3 + byteCount + CrcSize > MaxRtuFrame)
            why = QStringLiteral("byte count %1").arg(byteCount);
        return 3 + byteCount + CrcSize;
    }
    case pdu::WriteMultipleCoils:
    case pdu::WriteMultipleRegisters: return 8; // unit, function code, start, quantity, CRC
    case pdu::ExceptionFlag | pdu::ReadCoils:
    case pdu::ExceptionFlag | pdu::ReadDiscreteInputs:
    case pdu::ExceptionFlag | pdu::ReadHoldingRegisters:
    case pdu::ExceptionFlag | pdu::ReadInputRegisters:
    case pdu::ExceptionFlag | pdu::WriteMultipleCoils:
    case pdu::ExceptionFlag | pdu::WriteMultipleRegisters: return 5; // unit, function code, exception code, CRC
    default: why = QStringLiteral("function code %1").arg(function); return 0;
    }
}

// Reads the RTU frame at the front of pending without taking it.
Framed readRtu(const QByteArray &pending)
{
    QString why;
    const int size = rtuFrameSize(pending, why);
    if (!why.isEmpty())
        return malformed(why);
    if (size == 0 || pending.size() < size)
        return {};
    const QByteArray computed = crcOf(QByteArrayView(pending).first(size - CrcSize));
    const QByteArray received = pending.mid(size - CrcSize, CrcSize);
    if (computed != received)
        return malformed(
            QStringLiteral("CRC check failed (received %1, computed %2)").arg(crcText(received), crcText(computed)));
    Framed f;
    f.status = Status::Complete;
    f.unit = quint8(pending[0]);
    f.wire = pending.left(size);
    f.pdu = f.wire.mid(1, size - 1 - CrcSize);
    return f;
}

// Whether pending is, or may yet become, a whole Modbus TCP reply: protocol id 0 and a
// length field of 2..254 (so its high byte is 0 as well), each byte judged as it comes in.
enum class Mbap { Impossible, Partial, Whole };
Mbap mbapShape(const QByteArray &pending)
{
    for (qsizetype at = 2; at < qMin(pending.size(), qsizetype(5)); ++at)
        if (pending[at] != 0)
            return Mbap::Impossible;
    if (pending.size() < 6)
        return Mbap::Partial;
    const int length = quint8(pending[5]);
    if (length < 2 || length > MaxLengthField)
        return Mbap::Impossible;
    return pending.size() < 6 + length ? Mbap::Partial : Mbap::Whole;
}

Framed takeRtu(QByteArray &pending)
{
    Framed f = readRtu(pending);
    if (f.status == Status::Complete) {
        pending.remove(0, f.wire.size());
        return f;
    }
    // Read as RTU, a Modbus TCP reply fails on its CRC or on a function code that is the low
    // byte of its transaction id. Rather than report that, wait while the bytes may still
    // turn out to be one and then name the framing, so that the operator sees the address
    // asks for RTU of a Modbus TCP device. A frame whose CRC matches never gets here.
    if (f.status == Status::Malformed) {
        switch (mbapShape(pending)) {
        case Mbap::Partial: return {};
        case Mbap::Whole: return malformed(QStringLiteral("Modbus TCP framing (MBAP header), not RTU"));
        case Mbap::Impossible: break;
        }
    }
    return f;
}

} // namespace

quint16 crc16(QByteArrayView bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

const Framing ModbusTcp{&wrapTcp, &takeTcp, true, MaxTcpFrame};

// A whole Modbus TCP reply, up to 260 bytes, must fit for it to be recognised; RTU frames
// themselves are at most 256.
const Framing ModbusRtu{&wrapRtu, &takeRtu, false, MaxTcpFrame};

} // namespace framing
