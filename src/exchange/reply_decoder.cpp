#include "reply_decoder.h"

#include "adu.h"
#include "bits.h"
#include "bytes.h"

namespace {

// Index of each field within a whole reply (the MBAP header is indices 0 to 6).
constexpr int FunctionAt = 7;
constexpr int ByteCountAt = 8;
constexpr int DataAt = 9;
constexpr int ExceptionCodeAt = 8;
constexpr int QuantityAt = 10; // write echo: start address at 8-9, quantity at 10-11

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

ReplyOutcome decodeRead(const QByteArray &adu)
{
    const quint8 fc = quint8(adu[FunctionAt]);
    if (fc & 0x80) {
        if (adu.size() <= ExceptionCodeAt)
            return malformed(QStringLiteral("exception without a code"), true);
        return {ReplyOutcome::Exception, quint8(adu[ExceptionCodeAt]), {}, emptyBoxes()};
    }
    if (fc != adu::ReadCoils && fc != adu::ReadDiscreteInputs && fc != adu::ReadHoldingRegisters)
        return {ReplyOutcome::Unexpected, fc, {}, emptyBoxes()};
    if (adu.size() <= ByteCountAt)
        return malformed(QStringLiteral("no byte count"), true);

    // The byte count is trusted only when the reply carries exactly that many data bytes.
    const int byteCount = quint8(adu[ByteCountAt]);
    const int carried = int(adu.size()) - DataAt;
    if (byteCount != carried)
        return malformed(QStringLiteral("byte count %1, %2 data bytes").arg(byteCount).arg(carried), true);
    if (fc == adu::ReadHoldingRegisters && byteCount % 2 != 0)
        return malformed(QStringLiteral("odd byte count %1 for registers").arg(byteCount), true);

    ReplyOutcome o{ReplyOutcome::RegistersRead, 0, {}, emptyBoxes()};
    int box = 0;
    if (fc == adu::ReadHoldingRegisters) {
        for (int i = DataAt; i + 1 < adu.size() && box < BoxCount; i += 2)
            o.boxes[box++] = QString::number(be16(adu, i));
    } else {
        for (int i = DataAt; i < adu.size() && box < BoxCount; ++i) {
            for (int j = 0; j < 8 && box < BoxCount; ++j)
                o.boxes[box++] = QString::number(ValBit(quint8(adu[i]), qint16(j)));
        }
    }
    return o;
}

ReplyOutcome decodeWrite(const QByteArray &adu, int writtenQuantity)
{
    const quint8 fc = quint8(adu[FunctionAt]);
    if (fc & 0x80) {
        if (adu.size() <= ExceptionCodeAt)
            return malformed(QStringLiteral("exception without a code"), false);
        return {ReplyOutcome::Exception, quint8(adu[ExceptionCodeAt]), {}, {}};
    }
    if (fc == adu::WriteMultipleCoils || fc == adu::WriteMultipleRegisters) {
        if (adu.size() < QuantityAt + 2)
            return malformed(QStringLiteral("write reply of %1 bytes").arg(adu.size()), false);
        const int quantity = be16(adu, QuantityAt);
        if (quantity == writtenQuantity)
            return {ReplyOutcome::RegistersWritten, 0, {}, {}};
    }
    return {ReplyOutcome::WriteError, 0, {}, {}};
}

} // namespace

ReplyOutcome decodeReply(const QByteArray &adu, const Expectation &expect)
{
    if (adu.size() <= FunctionAt)
        return expect.flagRead || expect.flagWrite ? malformed(QStringLiteral("no function code"), expect.flagRead)
                                                  : ReplyOutcome{};
    if (expect.flagRead)
        return decodeRead(adu);
    if (expect.flagWrite)
        return decodeWrite(adu, expect.writtenQuantity);
    return {};
}

ReplyOutcome malformedHeader(const QByteArray &pending, const Expectation &expect)
{
    if (!expect.flagRead && !expect.flagWrite)
        return {};
    QString detail;
    if (pending.size() >= 4 && be16(pending, 2) != 0)
        detail = QStringLiteral("protocol identifier %1").arg(be16(pending, 2));
    else if (pending.size() >= 6)
        detail = QStringLiteral("length field %1").arg(be16(pending, 4));
    return malformed(detail, expect.flagRead);
}
