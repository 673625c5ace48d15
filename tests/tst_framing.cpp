// How each framing puts a request on the wire, and cuts replies out of a TCP byte stream that
// may split or join them.

#include "test_bytes.h"

#include "exchange/bytes.h"
#include "exchange/framing.h"

#include <QtTest>

using framing::Status;

namespace {

enum Kind { Tcp, Rtu };
const framing::Framing *const kinds[] = {&framing::ModbusTcp, &framing::ModbusRtu};

QString render(const QList<QByteArray> &frames, const QString &end)
{
    QStringList taken;
    for (const QByteArray &frame : frames)
        taken.append(QString::fromLatin1(frame.toHex(' ')));
    return taken.join(QStringLiteral(" | ")) + QStringLiteral(" ; ") + end;
}

// What the stream comes to when fed in these pieces as the exchange feeds it: after each
// piece, take until NeedMore; stop at Malformed.
QString outcome(const framing::Framing &f, const QList<QByteArray> &pieces)
{
    QByteArray pending, fed, consumed;
    QList<QByteArray> taken;
    for (const QByteArray &piece : pieces) {
        pending += piece;
        fed += piece;
        for (;;) {
            const framing::Framed r = f.take(pending);
            if (r.status == Status::Complete) {
                // The unit, id and PDU reported are the frame's own: wrapped again, they give
                // the very bytes that came in.
                if (f.wrap(r.pdu, r.unit, r.id.value_or(0)) != r.wire || r.id.has_value() != f.carriesIds)
                    return QStringLiteral("misread ") + QString::fromLatin1(r.wire.toHex(' '));
                taken.append(r.wire);
                consumed += r.wire;
            }
            if (consumed + pending != fed)
                return QStringLiteral("took other bytes than the frames");
            if (r.status == Status::Complete)
                continue;
            if (r.status == Status::Malformed)
                return render(taken, QStringLiteral("Malformed: ") + r.why);
            if (pending.size() >= f.maxFrame)
                return QStringLiteral("waits on more than maxFrame");
            break;
        }
    }
    return render(taken, QStringLiteral("NeedMore"));
}

void row(Kind kind, const char *name, const QByteArray &stream, const QList<QByteArray> &frames,
         const QString &end = QStringLiteral("NeedMore"))
{
    QTest::addRow("%s: %s", kind == Tcp ? "tcp" : "rtu", name) << int(kind) << stream << render(frames, end);
}

} // namespace

class tst_Framing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wrap_data();
    void wrap();
    void stream_data();
    void stream();
};

void tst_Framing::wrap_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("expected");

    // The CRCs follow from the rules of Modbus over Serial Line, section 2.5.1.2, worked out
    // apart from this program.
    QTest::newRow("rtu: unit 1, read 2 holding registers at 0")
        << int(Rtu) << hex("03 0000 0002") << 1 << 0 << hex("01 03 0000 0002 C40B");
    QTest::newRow("rtu: unit 3, read 10 holding registers at 0, id ignored")
        << int(Rtu) << hex("03 0000 000A") << 3 << 0xABCD << hex("03 03 0000 000A C42F");
    QTest::newRow("rtu: unit 1, write 7 and 8 to registers 100-101")
        << int(Rtu) << hex("10 0064 0002 04 0007 0008") << 1 << 7 << hex("01 10 0064 0002 04 0007 0008 4473");
    QTest::newRow("tcp: unit 3, read 10 holding registers at 0, transaction 0x1234")
        << int(Tcp) << hex("03 0000 000A") << 3 << 0x1234 << hex("1234 0000 0006 03 03 0000 000A");
    QTest::newRow("tcp: unit 255, write 7 and 8 to registers 100-101, transaction 0xFFFF")
        << int(Tcp) << hex("10 0064 0002 04 0007 0008") << 255 << 0xFFFF
        << hex("FFFF 0000 000B FF 10 0064 0002 04 0007 0008");
}

void tst_Framing::wrap()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, pdu);
    QFETCH(int, unit);
    QFETCH(int, id);
    QFETCH(QByteArray, expected);
    QCOMPARE(kinds[kind]->wrap(pdu, quint8(unit), quint16(id)).toHex(' '), expected.toHex(' '));
}

void tst_Framing::stream_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("expected");

    const QString rtuCrc = QStringLiteral("Malformed: CRC check failed (received %1, computed %2)");
    const QString tcpNamed = QStringLiteral("Malformed: Modbus TCP framing (MBAP header), not RTU");
    for (const Kind k : {Tcp, Rtu}) {
        const framing::Framing &f = *kinds[k];
        const QByteArray reply = f.wrap(hex("03 04 000A FFFF"), 1, 1);
        // As RTU, its first 6 bytes could start an MBAP header: a matching CRC must win.
        const QByteArray echo = f.wrap(hex("10 0000 000A"), 1, 2);
        const QByteArray exception = f.wrap(hex("83 02"), 1, 3);
        const QByteArray longest = f.wrap(hex("01 FB") + QByteArray(251, char(0x5A)), 1, 4);
        const QByteArray anyIds = f.wrap(hex("90 04"), 0xFF, 0xABCD);
        QList<QByteArray> everySize;
        for (int n = 0; n <= 125; n += 5) {
            QByteArray pdu = hex("03") + char(2 * n);
            for (int v = 0; v < n; ++v)
                appendBe16(pdu, quint16(n * 1000 + v));
            everySize.append(f.wrap(pdu, 1, quint16(n)));
        }
        QList<QByteArray> everyFunction;
        for (const char *text : {"01 01 05", "02 01 05", "03 02 0005", "04 02 0005", "0F 0000 000A", "10 0000 0002"}) {
            const QByteArray pdu = hex(text);
            everyFunction << f.wrap(pdu, 1, 5) << f.wrap(QByteArray(1, char(pdu[0] | 0x80)) + char(2), 1, 6);
        }
        const QByteArray bad = k == Tcp ? hex("0000 0001 0007 01 03 04 000A FFFF") : hex("01 03 04 000A FFFF DB7E");
        const QString whyBad = k == Tcp ? QStringLiteral("Malformed: protocol identifier 1")
                                        : rtuCrc.arg("DB 7E", "DB 81");

        // Each stream is fed whole, in two pieces cut at every place, and one byte at a time.
        row(k, "nothing", {}, {});
        row(k, "whole reply", reply, {reply});
        row(k, "one byte short", reply.chopped(1), {});
        row(k, "exception reply", exception, {exception});
        row(k, "write echo", echo, {echo});
        row(k, "longest reply", longest + reply, {longest, reply});
        row(k, "longest reply, one byte short", longest.chopped(1), {});
        row(k, "ids not examined", anyIds, {anyIds});
        row(k, "reply and part of the next", reply + echo.left(3), {reply});
        row(k, "two replies joined", reply + echo, {reply, echo});
        row(k, "three replies joined", exception + reply + echo, {exception, reply, echo});
        row(k, "every function and its exception", everyFunction.join(), everyFunction);
        row(k, "replies of every size joined", everySize.join(), everySize);
        row(k, "garbage", hex("FFFF FFFF FFFF FFFF"), {},
            k == Tcp ? QStringLiteral("Malformed: protocol identifier 65535")
                     : QStringLiteral("Malformed: function code 255"));
        row(k, "bad check", bad, {}, whyBad);
        row(k, "bad check after a reply", reply + bad, {reply}, whyBad);
        row(k, "bad check before a reply", bad + reply, {}, whyBad);
    }

    row(Tcp, "three bytes", hex("0000 00"), {});
    row(Tcp, "header without unit id", hex("0000 0000 0007"), {});
    row(Tcp, "header only", hex("0000 0000 0007 01"), {});
    row(Tcp, "shortest, length 2", hex("0000 0000 0002 01 83"), {hex("0000 0000 0002 01 83")});
    row(Tcp, "protocol id 0x0100", hex("0000 0100"), {}, "Malformed: protocol identifier 256");
    row(Tcp, "protocol id known from four bytes", hex("0000 FFFF"), {}, "Malformed: protocol identifier 65535");
    row(Tcp, "length 0", hex("0000 0000 0000 01"), {}, "Malformed: length field 0");
    row(Tcp, "length 1", hex("0000 0000 0001 01"), {}, "Malformed: length field 1");
    row(Tcp, "length 255", hex("0000 0000 00FF 01"), {}, "Malformed: length field 255");
    row(Tcp, "length 256", hex("0000 0000 0100 01"), {}, "Malformed: length field 256");
    row(Tcp, "length 65535", hex("0000 0000 FFFF 01"), {}, "Malformed: length field 65535");

    const framing::Framing &tcp = framing::ModbusTcp;
    row(Rtu, "CRC bytes swapped", hex("01 03 04 000A FFFF 81DB"), {}, rtuCrc.arg("81 DB", "DB 81"));
    row(Rtu, "function code 5", hex("01 05 0000 FF00 8C3A"), {}, "Malformed: function code 5");
    row(Rtu, "function code 0x85", hex("01 85 01 8350"), {}, "Malformed: function code 133");
    const QByteArray unit7 = framing::ModbusRtu.wrap(hex("03 04 000A FFFF"), 7, 0);
    row(Rtu, "another unit", unit7, {unit7});
    row(Rtu, "byte count 252", hex("01 03 FC"), {}, "Malformed: byte count 252");
    row(Rtu, "Modbus TCP reply", tcp.wrap(hex("03 04 000A FFFF"), 1, 1), {}, tcpNamed);
    row(Rtu, "Modbus TCP reply, transaction 5", tcp.wrap(hex("03 04 000A FFFF"), 1, 5), {}, tcpNamed);
    const QByteArray longestTcp = tcp.wrap(hex("01 FB") + QByteArray(251, char(0x5A)), 1, 1);
    row(Rtu, "longest Modbus TCP reply", longestTcp, {}, tcpNamed);
    row(Rtu, "Modbus TCP exception, transaction 0", tcp.wrap(hex("83 02"), 1, 0), {}, tcpNamed);
    row(Rtu, "Modbus TCP header that goes wrong", hex("0001 0000 0000 01"), {}, rtuCrc.arg("00 00", "70 50"));
}

void tst_Framing::stream()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, stream);
    QFETCH(QString, expected);
    const framing::Framing &f = *kinds[kind];

    QCOMPARE(outcome(f, {stream}), expected);
    for (int cut = 1; cut < stream.size(); ++cut) {
        const QString split = outcome(f, {stream.left(cut), stream.mid(cut)});
        QVERIFY2(split == expected, qPrintable(QStringLiteral("cut after %1 bytes: %2").arg(cut).arg(split)));
    }
    QList<QByteArray> bytes;
    for (const char byte : stream)
        bytes.append(QByteArray(1, byte));
    QCOMPARE(outcome(f, bytes), expected);
}

QTEST_GUILESS_MAIN(tst_Framing)
#include "tst_framing.moc"
