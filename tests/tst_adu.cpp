// The Modbus TCP requests the tool builds. How replies are cut out of the byte stream is
// tst_framing's.

#include "test_bytes.h"

#include "exchange/framing.h"
#include "exchange/pdu.h"

#include <QtTest>

namespace {
// A request as the first of a connection to unit 1 takes it on the wire.
QByteArray wrapped(const QByteArray &pdu) { return framing::ModbusTcp.wrap(pdu, 1, 0); }
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

    const QByteArray b = wrapped(
        pdu::readRequest(quint8(fc), quint8(startHigh), quint8(startLow), quint8(quantityHigh), quint8(quantityLow)));
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

    const QByteArray b = wrapped(pdu::writeRegistersRequest(quint16(start), values));
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

    const QByteArray b = wrapped(pdu::writeCoilsRequest(quint16(start), quint16(quantity), packed));
    QCOMPARE(b.toHex(' '), expected.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_Adu)
#include "tst_adu.moc"
