// End-to-end checks of modbus-sim --rtu: exact Modbus RTU frames over a raw socket.

#include "raw_socket.h"
#include "reference_crc.h"
#include "sim_process.h"

#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// An RTU frame of the hex bytes and their CRC.
QByteArray withCrc(const char *hex) { return withReferenceCrc(QByteArray::fromHex(hex)); }

} // namespace

class TestSimulatorRtu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimProcess> rtu_;

private Q_SLOTS:
    void initTestCase()
    {
        rtu_ = std::make_unique<SimProcess>(QStringList{"--rtu", "--hostile"});
        QVERIFY(rtu_->start());
    }

    void rtuFrames_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply"); // empty: none may come
        const QByteArray read400 = withCrc("010301900001");
        QByteArray badCrc = withCrc("010302fdef");
        badCrc[5] = char(~badCrc[5]);
        badCrc[6] = char(~badCrc[6]);
        // The first three requests are the Modbus standard's own frames, CRC included.
        QTest::newRow("unit 1 reads holding 0..1")
            << QByteArray::fromHex("010300000002c40b") << withCrc("01030400000001");
        QTest::newRow("unit 3 reads holding 0..9")
            << QByteArray::fromHex("03030000000ac42f") << withCrc("0303140000000100020003000400050006000700080009");
        QTest::newRow("unit 1 writes 7, 8 to 100..101")
            << QByteArray::fromHex("01100064000204000700084473") << withCrc("011000640002");
        QTest::newRow("unit 247 reads the float") << withCrc("f70400140002") << withCrc("f7040443668000");
        QTest::newRow("unit 17 reads coils 0..9") << withCrc("11010000000a") << withCrc("1101024902");
        QTest::newRow("two requests in one segment")
            << withCrc("010300010001") + withCrc("020400150001") << withCrc("0103020001") + withCrc("0204028000");
        QTest::newRow("past the last register") << withCrc("0103ffff0002") << withCrc("018302");
        QTest::newRow("unknown function") << withCrc("1107") << withCrc("118701");
        QTest::newRow("bad CRC unanswered") << QByteArray::fromHex("010300000002c40c") << QByteArray();
        QTest::newRow("unit 248 unanswered") << withCrc("f80300000001") << QByteArray();
        QTest::newRow("broadcast write done, unanswered") << withCrc("000601901234") + read400 << withCrc("0103021234");
        QTest::newRow("hostile exception") << withCrc("0103fde90002") << withCrc("018304");
        QTest::newRow("hostile silence") << withCrc("0103fdeb0001") << QByteArray();
        QTest::newRow("hostile slow bytes") << withCrc("0103fde80002") << withCrc("010304fde8fde9");
        QTest::newRow("hostile junk") << withCrc("0103fded0001")
                                      << withCrc("010302fded") + QByteArray::fromHex("deadbeef00");
        QTest::newRow("hostile bad CRC") << withCrc("0103fdef0001") << badCrc;
    }
    void rtuFrames()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QTcpSocket socket;
        QVERIFY(connectRaw(socket, rtu_->port()));
        socket.write(request);
        QCOMPARE(readUpTo(socket, reply.isEmpty() ? 1 : reply.size(), reply.isEmpty() ? 300 : 6000), reply);
        // Nothing is left on the line to garble the next request.
        socket.write(withCrc("010301910001"));
        QCOMPARE(readUpTo(socket, 7), withCrc("0103020191"));
    }

    void rtuSecondClientWaitsItsTurn()
    {
        const QByteArray request = QByteArray::fromHex("010300000002c40b"), reply = withCrc("01030400000001");
        QTcpSocket first, second;
        QVERIFY(connectRaw(first, rtu_->port()) && connectRaw(second, rtu_->port()));
        second.write(request);
        first.write(request);
        QCOMPARE(readUpTo(first, reply.size()), reply);
        first.close();
        QCOMPARE(readUpTo(second, reply.size()), reply);
    }

    void cleanupTestCase()
    {
        if (!rtu_)
            return;
        rtu_->stop();
        QCOMPARE(rtu_->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(rtu_->process().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorRtu)
#include "tst_simulator_rtu.moc"
