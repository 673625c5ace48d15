// Modbus TCP frames on the wire: the requests the tool builds, and how replies are cut out of
// a TCP byte stream that may split or join them.

#include "test_bytes.h"

#include "exchange/adu.h"

#include <QtTest>

Q_DECLARE_METATYPE(adu::FrameStatus)

namespace {


// A reply with the given function code and PDU data after it, its length field counting the
// unit id and everything after it.
QByteArray reply(quint8 fc, const QByteArray &data)
{
    const int length = 2 + int(data.size());
    QByteArray b = hex("0000 0000");
    b.append(char(length >> 8));
    b.append(char(length & 0xff));
    b.append(char(1));
    b.append(char(fc));
    return b + data;
}

QByteArray registersReply(const QList<quint16> &values)
{
    QByteArray data(1, char(2 * values.size()));
    for (quint16 v : values) {
        data.append(char(v >> 8));
        data.append(char(v & 0xff));
    }
    return reply(3, data);
}

} // namespace

class tst_Adu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readRequest_data();
    void readRequest();
    void writeRegistersRequest_data();
    void writeRegistersRequest();
    void writeCoilsRequest_data();
    void writeCoilsRequest();
    void takeFrame_data();
    void takeFrame();
    void takeFrameCutsAJoinedStream();
};

void tst_Adu::readRequest_data()
{
    QTest::addColumn<int>("fc");
    QTest::addColumn<int>("startHigh");
    QTest::addColumn<int>("startLow");
    QTest::addColumn<int>("quantityHigh");
    QTest::addColumn<int>("quantityLow");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("holding, start 0, length 16") << 3 << 0 << 0 << 0 << 16 << hex("0000 0000 0006 01 03 0000 0010");
    QTest::newRow("coils, start 300, length 2") << 1 << 1 << 44 << 0 << 2 << hex("0000 0000 0006 01 01 012C 0002");
    QTest::newRow("inputs, start 65535, length 1")
        << 2 << 255 << 255 << 0 << 1 << hex("0000 0000 0006 01 02 FFFF 0001");
    QTest::newRow("quantity 0") << 3 << 0 << 7 << 0 << 0 << hex("0000 0000 0006 01 03 0007 0000");
}

void tst_Adu::readRequest()
{
    QFETCH(int, fc);
    QFETCH(int, startHigh);
    QFETCH(int, startLow);
    QFETCH(int, quantityHigh);
    QFETCH(int, quantityLow);
    QFETCH(QByteArray, expected);

    const QByteArray b = adu::readRequest(quint8(fc), quint8(startHigh), quint8(startLow), quint8(quantityHigh),
                                          quint8(quantityLow));
    QCOMPARE(b.toHex(' '), expected.toHex(' '));
}

void tst_Adu::writeRegistersRequest_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<quint16>>("values");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("start 0, 10 and 300") << 0 << QList<quint16>{10, 300}
                                         << hex("0000 0000 000B 01 10 0000 0002 04 000A 012C");
    QTest::newRow("65535 at start 300") << 300 << QList<quint16>{65535}
                                        << hex("0000 0000 0009 01 10 012C 0001 02 FFFF");
    QTest::newRow("no values") << 0 << QList<quint16>{} << hex("0000 0000 0007 01 10 0000 0000 00");
    QTest::newRow("no values at start 65535") << 65535 << QList<quint16>{} << hex("0000 0000 0007 01 10 FFFF 0000 00");

    QList<quint16> sixteen;
    QByteArray sixteenData;
    for (int k = 0; k < 16; ++k) {
        sixteen.append(quint16(0x0101 * k));
        sixteenData.append(char(k));
        sixteenData.append(char(k));
    }
    QTest::newRow("sixteen values") << 0 << sixteen << hex("0000 0000 0027 01 10 0000 0010 20") + sixteenData;
}

void tst_Adu::writeRegistersRequest()
{
    QFETCH(int, start);
    QFETCH(QList<quint16>, values);
    QFETCH(QByteArray, expected);

    const QByteArray b = adu::writeRegistersRequest(quint16(start), values);
    QCOMPARE(b.toHex(' '), expected.toHex(' '));
    QCOMPARE(b.size(), 13 + 2 * values.size());
}

void tst_Adu::writeCoilsRequest_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QByteArray>("packed");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ten coils") << 0 << 10 << hex("0D 03") << hex("0000 0000 0009 01 0F 0000 000A 02 0D 03");
    QTest::newRow("sixteen ones") << 0 << 16 << hex("FF FF") << hex("0000 0000 0009 01 0F 0000 0010 02 FF FF");
    QTest::newRow("three coils at 300") << 300 << 3 << hex("05") << hex("0000 0000 0008 01 0F 012C 0003 01 05");
    QTest::newRow("no coils") << 300 << 0 << QByteArray() << hex("0000 0000 0007 01 0F 012C 0000 00");
}

void tst_Adu::writeCoilsRequest()
{
    QFETCH(int, start);
    QFETCH(int, quantity);
    QFETCH(QByteArray, packed);
    QFETCH(QByteArray, expected);

    const QByteArray b = adu::writeCoilsRequest(quint16(start), quint16(quantity), packed);
    QCOMPARE(b.toHex(' '), expected.toHex(' '));
}

void tst_Adu::takeFrame_data()
{
    QTest::addColumn<QByteArray>("pending");
    QTest::addColumn<adu::FrameStatus>("status");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("rest");

    using S = adu::FrameStatus;
    const QByteArray whole = hex("0000 0000 0007 01 03 04 000A FFFF");
    const QByteArray exception = hex("0000 0000 0003 01 83 02");
    const QByteArray echo = hex("0000 0000 0006 01 10 0000 000A");

    // Not enough to judge yet: pending is left as it is.
    QTest::newRow("nothing") << QByteArray() << S::NeedMore << QByteArray() << QByteArray();
    QTest::newRow("three bytes") << hex("0000 00") << S::NeedMore << QByteArray() << hex("0000 00");
    QTest::newRow("header without unit id")
        << hex("0000 0000 0007") << S::NeedMore << QByteArray() << hex("0000 0000 0007");
    QTest::newRow("header only") << hex("0000 0000 0007 01") << S::NeedMore << QByteArray() << hex("0000 0000 0007 01");
    QTest::newRow("one byte short") << whole.left(whole.size() - 1) << S::NeedMore << QByteArray()
                                    << whole.left(whole.size() - 1);

    // One whole reply, and exactly one taken when more follows.
    QTest::newRow("whole reply") << whole << S::Complete << whole << QByteArray();
    QTest::newRow("exception reply") << exception << S::Complete << exception << QByteArray();
    QTest::newRow("shortest length 2") << hex("0000 0000 0002 01 83") << S::Complete << hex("0000 0000 0002 01 83")
                                       << QByteArray();
    QTest::newRow("reply and part of the next") << whole + echo.left(3) << S::Complete << whole << echo.left(3);
    QTest::newRow("two replies joined") << whole + echo << S::Complete << whole << echo;
    QTest::newRow("three replies joined") << exception + whole + echo << S::Complete << exception << whole + echo;
    QTest::newRow("transaction and unit id not examined")
        << hex("ABCD 0000 0003 FF 83 02") << S::Complete << hex("ABCD 0000 0003 FF 83 02") << QByteArray();

    QByteArray longest = hex("0000 0000 00FE 01 01 FB");
    longest.append(QByteArray(251, char(0x5A)));
    QTest::newRow("longest, length 254") << longest + whole << S::Complete << longest << whole;
    QTest::newRow("longest, one byte short") << longest.left(259) << S::NeedMore << QByteArray() << longest.left(259);

    // Headers that cannot start a Modbus TCP reply; pending is left for the caller to drop.
    QTest::newRow("protocol id 1") << hex("0000 0001 0007 01 03 04 000A FFFF") << S::Malformed << QByteArray()
                                   << hex("0000 0001 0007 01 03 04 000A FFFF");
    QTest::newRow("protocol id 0x0100") << hex("0000 0100") << S::Malformed << QByteArray() << hex("0000 0100");
    QTest::newRow("protocol id known from four bytes")
        << hex("0000 FFFF") << S::Malformed << QByteArray() << hex("0000 FFFF");
    QTest::newRow("length 0") << hex("0000 0000 0000 01") << S::Malformed << QByteArray() << hex("0000 0000 0000 01");
    QTest::newRow("length 1") << hex("0000 0000 0001 01") << S::Malformed << QByteArray() << hex("0000 0000 0001 01");
    QTest::newRow("length 255") << hex("0000 0000 00FF 01") << S::Malformed << QByteArray() << hex("0000 0000 00FF 01");
    QTest::newRow("length 256") << hex("0000 0000 0100 01") << S::Malformed << QByteArray() << hex("0000 0000 0100 01");
    QTest::newRow("length 65535") << hex("0000 0000 FFFF 01") << S::Malformed << QByteArray()
                                  << hex("0000 0000 FFFF 01");
    QTest::newRow("bad header before a good reply")
        << hex("0000 0000 0000 01") + whole << S::Malformed << QByteArray() << hex("0000 0000 0000 01") + whole;
}

void tst_Adu::takeFrame()
{
    QFETCH(QByteArray, pending);
    QFETCH(adu::FrameStatus, status);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, rest);

    const adu::Frame f = adu::takeFrame(pending);
    QCOMPARE(f.status, status);
    QCOMPARE(f.adu.toHex(' '), frame.toHex(' '));
    QCOMPARE(pending.toHex(' '), rest.toHex(' '));
}

// Replies of every size a device may send, joined into one stream, come out one by one in
// their order and nothing is left over.
void tst_Adu::takeFrameCutsAJoinedStream()
{
    QList<QByteArray> replies;
    for (int n = 0; n <= 125; n += 5) {
        QList<quint16> values;
        for (int k = 0; k < n; ++k)
            values.append(quint16(n * 1000 + k));
        replies.append(registersReply(values));
    }
    replies.append(reply(0x90, hex("04")));
    replies.append(hex("0000 0000 0006 01 0F 012C 000A"));
    QByteArray stream;
    for (const QByteArray &r : replies)
        stream += r;

    for (const QByteArray &expected : replies) {
        const adu::Frame f = adu::takeFrame(stream);
        QCOMPARE(f.status, adu::FrameStatus::Complete);
        QCOMPARE(f.adu.toHex(' '), expected.toHex(' '));
    }
    QVERIFY(stream.isEmpty());
    QCOMPARE(adu::takeFrame(stream).status, adu::FrameStatus::NeedMore);
}

QTEST_GUILESS_MAIN(tst_Adu)
#include "tst_adu.moc"
