#include "reply_decoder.h"

#include "adu.h"
#include "bits.h"
#include "bytes.h"
#include "sent_request.h"

#include <algorithm>

namespace {

// Index of each field within a whole reply (the MBAP header is indices 0 to 6).
constexpr int ByteCountAt = 8;
constexpr int DataAt = 9;
constexpr int ExceptionCodeAt = 8;

QStringList emptyBoxes() { return QStringList(BoxCount, QString()); }

ReplyOutcome malformed(const QString &detail, bool read)
{
    ReplyOutcome o;
    o.kind = ReplyOutcome::Malformed;
    o.detail = detail;
    if (read)
        o.boxes = emptyBoxes();
    return o;
}

ReplyOutcome decodeRead(const QByteArray &adu, const SentRequest &request)
{
    const quint8 fc = quint8(adu[adu::FunctionAt]);
    if (fc != request.functionCode())
        return {ReplyOutcome::Unexpected, fc, {}, emptyBoxes()};
    if (adu.size() <= ByteCountAt)
        return malformed(QStringLiteral("no byte count"), true);

    // The byte count is trusted only when the reply carries exactly that many data bytes.
    const int byteCount = quint8(adu[ByteCountAt]);
    const int carried = int(adu.size()) - DataAt;
    if (byteCount != carried)
        return malformed(QStringLiteral("byte count %1, %2 data bytes").arg(byteCount).arg(carried), true);
    const bool registers = request.table->registers;
    if (registers && byteCount % 2 != 0)
        return malformed(QStringLiteral("odd byte count %1 for registers").arg(byteCount), true);

    // Only the items asked for are shown: the padding bits of the last coil byte, or values a
    // device sent beyond the quantity, are no item's value.
    ReplyOutcome o{ReplyOutcome::RegistersRead, 0, {}, emptyBoxes()};
    const int asked = std::min<int>(request.quantity(), BoxCount);
    const int items = std::min(registers ? byteCount / 2 : byteCount * 8, asked);
    for (int box = 0; box < items; ++box)
        o.boxes[box] = itemText(adu, DataAt, registers, box);
    return o;
}

ReplyOutcome decodeWrite(const QByteArray &adu, const SentRequest &request)
{
    const quint8 fc = quint8(adu[adu::FunctionAt]);
    if (fc == request.functionCode()) {
        if (adu.size() < adu::QuantityAt + 2)
            return malformed(QStringLiteral("write reply of %1 bytes").arg(adu.size()), false);
        // Writes 15 and 16 echo the start address and the quantity: both must be what was sent.
        if (be16(adu, adu::StartAt) == request.start() && be16(adu, adu::QuantityAt) == request.quantity())
            return {ReplyOutcome::RegistersWritten, 0, {}, {}};
    }
    return {ReplyOutcome::WriteError, 0, {}, {}};
}

} // namespace

ReplyOutcome decodeReply(const QByteArray &adu, const SentRequest &request)
{
    const bool read = request.isRead();
    if (adu.size() <= adu::FunctionAt)
        return malformed(QStringLiteral("no function code"), read);
    // An exception names the function it refuses: the request's code with the high bit set.
    if (quint8(adu[adu::FunctionAt]) == (request.functionCode() | 0x80)) {
        if (adu.size() <= ExceptionCodeAt)
            return malformed(QStringLiteral("exception without a code"), read);
        return {ReplyOutcome::Exception, quint8(adu[ExceptionCodeAt]), {}, read ? emptyBoxes() : QStringList()};
    }
    return read ? decodeRead(adu, request) : decodeWrite(adu, request);
}

QString itemText(const QByteArray &adu, int dataAt, bool registers, int k)
{
    if (registers)
        return QString::number(be16(adu, dataAt + 2 * k));
    return QString::number(ValBit(quint8(adu[dataAt + k / 8]), qint16(k % 8)));
}

ReplyOutcome malformedStream(const QByteArray &pending, bool emptyBoxes)
{
    QString detail;
    if (pending.size() >= 4 && be16(pending, 2) != 0)
        detail = QStringLiteral("protocol identifier %1").arg(be16(pending, 2));
    else if (pending.size() >= 6)
        detail = QStringLiteral("length field %1").arg(be16(pending, 4));
    return malformed(detail, emptyBoxes);
}
