#pragma once

// What a sound reply is and what it must show, worked out in the fuzz model apart from the
// tool's own framing and decoding: the kinds of request the model sends, frame and PDU
// predicates in either framing, and the text a box must hold.

#include "reference_crc.h"

#include "exchange/sent_request.h"
#include "exchange/tables.h"

#include <QByteArray>
#include <QString>

namespace model {

enum Kind { None, ReadHolding, ReadCoils, ReadInputs, WriteHolding, WriteCoils, ReadInputRegisters };
inline constexpr Kind Reads[] = {ReadHolding, ReadCoils, ReadInputs, ReadInputRegisters};

inline bool isWrite(Kind k) { return k == WriteHolding || k == WriteCoils; }
inline const TableInfo &tableOf(Kind k)
{
    switch (k) {
    case ReadCoils:
    case WriteCoils: return table::CoilOutputs;
    case ReadInputs: return table::DigitalInputs;
    case ReadInputRegisters: return table::InputRegisters;
    default: return table::HoldingRegisters;
    }
}

inline int be16(const QByteArray &b, int at) { return quint8(b[at]) << 8 | quint8(b[at + 1]); }

// "" or a decimal 0..65535 written the way the tool writes numbers (no sign, no leading 0).
inline bool soundBox(const QString &text)
{
    if (text.isEmpty())
        return true;
    bool ok = false;
    const uint v = text.toUInt(&ok);
    return ok && v <= 65535 && text == QString::number(v);
}

// A whole frame of the framing: an MBAP header whose length matches, or unit, function code,
// data and a CRC that matches, low byte first. Its PDU lies between.
inline bool wholeFrame(const QByteArray &r, bool rtu)
{
    if (rtu)
        return r.size() >= 4 && withReferenceCrc(r.chopped(2)) == r;
    return r.size() >= 8 && be16(r, 2) == 0 && r.size() == 6 + be16(r, 4);
}
inline QByteArray pduOf(const QByteArray &frame, bool rtu)
{
    return rtu ? frame.mid(1, frame.size() - 3) : frame.mid(7);
}

// Item k of what a PDU carries after its byte count at dataAt: a register, or a bit.
inline QString item(const QByteArray &pdu, int dataAt, bool registers, int k)
{
    if (registers)
        return QString::number(be16(pdu, dataAt + 2 * k));
    return QString::number((quint8(pdu[dataAt + k / 8]) >> (k % 8)) & 1);
}

// What a sound read reply must put in box k, worked out from its PDU and the request: only
// the items asked for.
inline QString expectedBox(const QByteArray &r, const SentRequest &request, int k)
{
    const bool registers = request.table->registers;
    const int quantity = request.quantity();
    const int count = quint8(r[1]);
    if (k >= quantity || (registers ? 2 * k + 1 >= count : k / 8 >= count))
        return {};
    return item(r, 2, registers, k);
}

inline bool soundReadReply(const QByteArray &r, const SentRequest &request)
{
    if (r.size() < 2)
        return false;
    const int fc = quint8(r[0]);
    const int count = quint8(r[1]);
    return fc == request.functionCode() && count == r.size() - 2 && (!request.table->registers || count % 2 == 0);
}

} // namespace model
