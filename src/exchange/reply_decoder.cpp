#include "reply_decoder.h"

#include "bits.h"
#include "bytes.h"
#include "pdu.h"
#include "sent_request.h"

#include <algorithm>

namespace {

QStringList emptyBoxes() { return QStringList(BoxCount, QString()); }

ReplyOutcome decodeRead(const QByteArray &reply, const SentRequest &request)
{
    const quint8 fc = quint8(reply[pdu::FunctionAt]);
    if (fc != request.functionCode())
        return {ReplyOutcome::Unexpected, fc, {}, emptyBoxes()};
    if (reply.size() <= pdu::ByteCountAt)
        return malformedReply(QStringLiteral("no byte count"), true);

    // The byte count is trusted only when the reply carries exactly that many data bytes.
    const int byteCount = quint8(reply[pdu::ByteCountAt]);
    const int carried = int(reply.size()) - pdu::ReadDataAt;
    if (byteCount != carried)
        return malformedReply(QStringLiteral("byte count %1, %2 data bytes").arg(byteCount).arg(carried), true);
    const bool registers = request.table->registers;
    if (registers && byteCount % 2 != 0)
        return malformedReply(QStringLiteral("odd byte count %1 for registers").arg(byteCount), true);

    // Only the items asked for are shown: the padding bits of the last coil byte, or values a
    // device sent beyond the quantity, are no item's value.
    ReplyOutcome o{ReplyOutcome::RegistersRead, 0, {}, emptyBoxes()};
    const int asked = std::min<int>(request.quantity(), BoxCount);
    const int items = std::min(registers ? byteCount / 2 : byteCount * 8, asked);
    for (int box = 0; box < items; ++box)
        o.boxes[box] = itemText(reply, pdu::ReadDataAt, registers, box);
    return o;
}

ReplyOutcome decodeWrite(const QByteArray &reply, const SentRequest &request)
{
    const quint8 fc = quint8(reply[pdu::FunctionAt]);
    if (fc == request.functionCode()) {
        if (reply.size() < pdu::QuantityAt + 2)
            return malformedReply(QStringLiteral("write reply of %1 bytes").arg(reply.size()), false);
        // Writes 15 and 16 echo the start address and the quantity: both must be what was sent.
        if (be16(reply, pdu::StartAt) == request.start() && be16(reply, pdu::QuantityAt) == request.quantity())
            return {ReplyOutcome::RegistersWritten, 0, {}, {}};
    }
    return {ReplyOutcome::WriteError, 0, {}, {}};
}

} // namespace

ReplyOutcome decodeReply(const QByteArray &reply, const SentRequest &request)
{
    const bool read = request.isRead();
    if (reply.isEmpty())
        return malformedReply(QStringLiteral("no function code"), read);
    // An exception names the function it refuses: the request's code with the high bit set.
    if (quint8(reply[pdu::FunctionAt]) == (request.functionCode() | pdu::ExceptionFlag)) {
        if (reply.size() <= pdu::ExceptionCodeAt)
            return malformedReply(QStringLiteral("exception without a code"), read);
        return {ReplyOutcome::Exception, quint8(reply[pdu::ExceptionCodeAt]), {}, read ? emptyBoxes() : QStringList()};
    }
    return read ? decodeRead(reply, request) : decodeWrite(reply, request);
}

QString itemText(const QByteArray &pdu, int dataAt, bool registers, int k)
{
    if (registers)
        return QString::number(be16(pdu, dataAt + 2 * k));
    return QString::number(ValBit(quint8(pdu[dataAt + k / 8]), qint16(k % 8)));
}

ReplyOutcome malformedReply(const QString &detail, bool emptyBoxes)
{
    ReplyOutcome o;
    o.kind = ReplyOutcome::Malformed;
    o.detail = detail;
    if (emptyBoxes)
        o.boxes = ::emptyBoxes();
    return o;
}
