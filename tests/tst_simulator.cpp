// End-to-end checks of modbus-sim through a real libmodbus client and raw sockets.

#include "raw_socket.h"
#include "sim_process.h"
// The sim directory is not on the include path of the tests; the header is shared
// on purpose so both sides agree on the reserved addresses.
#include "sim_reserved.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTest>

#include <modbus.h>

#include <signal.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

namespace {

struct CloseAndFree {
    void operator()(modbus_t *ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Client = std::unique_ptr<modbus_t, CloseAndFree>;

// The generous default timeout keeps slow machines from failing tests that are not
// about timing.
Client connectClient(quint16 port, int timeoutMs = ReplyTimeoutMs)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    if (!ctx)
        return nullptr;
    modbus_set_response_timeout(ctx, timeoutMs / 1000, (timeoutMs % 1000) * 1000);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        return nullptr;
    }
    return Client(ctx);
}

QByteArray readRegistersRequest(quint16 transactionId, quint8 unitId, quint16 address, quint16 count)
{
    const char bytes[] =
        {char(transactionId >> 8), char(transactionId), 0, 0, 0, 6, char(unitId), 3, char(address >> 8), char(address),
         char(count >> 8),         char(count)};
    return QByteArray(bytes, sizeof bytes);
}

// Sends RST instead of FIN when closed, as a crashed or unplugged client would.
void resetOnClose(QTcpSocket &socket)
{
    const linger hard{1, 0};
    setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

enum class Ending { ClientCloses, ClientResets, ServerDrops };

} // namespace
Q_DECLARE_METATYPE(Ending)

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<SimProcess> hostile_;

    void verifyServes(quint16 port)
    {
        const Client client = connectClient(port);
        QVERIFY(client);
        uint16_t values[4] = {};
        QCOMPARE(modbus_read_registers(client.get(), 100, 4, values), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(values[i], uint16_t(100 + i));
    }

private Q_SLOTS:
    void initTestCase()
    {
        sim_ = std::make_unique<SimProcess>();
        QVERIFY(sim_->start());
        QCOMPARE(sim_->hostPort(), QStringLiteral("127.0.0.1:%1").arg(sim_->port()));
        hostile_ = std::make_unique<SimProcess>(QStringList{"--hostile"});
        QVERIFY(hostile_->start());
    }

    void startPattern_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("count");
        QTest::newRow("0..31, a float in input registers 20 and 21") << 0 << 32;
        QTest::newRow("65520..65535") << 65520 << 16;
        QTest::newRow("64990..65019") << 64990 << 30;
        QTest::newRow("odd start, many") << 30001 << 120;
    }
    void startPattern()
    {
        QFETCH(int, start);
        QFETCH(int, count);
        const Client client = connectClient(sim_->port());
        QVERIFY(client);
        std::vector<uint16_t> holding(count), input(count);
        std::vector<uint8_t> coils(count), discrete(count);
        QCOMPARE(modbus_read_registers(client.get(), start, count, holding.data()), count);
        QCOMPARE(modbus_read_input_registers(client.get(), start, count, input.data()), count);
        QCOMPARE(modbus_read_bits(client.get(), start, count, coils.data()), count);
        QCOMPARE(modbus_read_input_bits(client.get(), start, count, discrete.data()), count);
        for (int i = 0; i < count; ++i) {
            const int k = start + i;
            QCOMPARE(holding[i], uint16_t(k));
            QCOMPARE(input[i], uint16_t(k == 20 ? 0x4366 : k == 21 ? 0x8000 : k)); // 230.5
            QCOMPARE(int(coils[i]), k % 3 == 0 ? 1 : 0);
            QCOMPARE(int(discrete[i]), k % 2);
        }
    }

    void writesReadBack()
    {
        const Client client = connectClient(sim_->port());
        QVERIFY(client);
        const uint16_t registers[5] = {0xBEEF, 0, 0xFFFF, 1, 0x8000};
        QCOMPARE(modbus_write_registers(client.get(), 1000, 5, registers), 5);
        QCOMPARE(modbus_write_register(client.get(), 1005, 4242), 1);
        uint16_t registersBack[7] = {};
        QCOMPARE(modbus_read_registers(client.get(), 999, 7, registersBack), 7);
        const uint16_t registersExpected[7] = {999, 0xBEEF, 0, 0xFFFF, 1, 0x8000, 4242};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(registersBack[i], registersExpected[i]);

        // The inverse of the start pattern, so every written coil has to change.
        uint8_t coils[20];
        for (int i = 0; i < 20; ++i)
            coils[i] = (3000 + i) % 3 == 0 ? 0 : 1;
        QCOMPARE(modbus_write_bits(client.get(), 3000, 20, coils), 20);
        QCOMPARE(modbus_write_bit(client.get(), 3021, 1), 1);
        uint8_t coilsBack[23] = {};
        QCOMPARE(modbus_read_bits(client.get(), 2999, 23, coilsBack), 23);
        QCOMPARE(int(coilsBack[0]), 0); // 2999 and 3020 are untouched
        for (int i = 0; i < 20; ++i)
            QCOMPARE(coilsBack[i + 1], coils[i]);
        QCOMPARE(int(coilsBack[21]), 0);
        QCOMPARE(int(coilsBack[22]), 1);
    }

    void twoClientsAtOnce()
    {
        const Client a = connectClient(sim_->port()), b = connectClient(sim_->port());
        QVERIFY(a && b);
        uint16_t va[2] = {}, vb[2] = {};
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(modbus_read_input_registers(a.get(), 10 + round, 2, va), 2);
            QCOMPARE(modbus_read_input_registers(b.get(), 30 + round, 2, vb), 2);
            QCOMPARE(va[1], uint16_t(11 + round));
            QCOMPARE(vb[1], uint16_t(31 + round));
        }
    }

    void unknownFunctionGetsException()
    {
        QTcpSocket socket;
        QVERIFY(connectRaw(socket, sim_->port()));
        // Read device identification, which the simulator does not implement; the
        // MBAP length, not the function code, says where the next request starts.
        socket.write(QByteArray::fromHex("0009 0000 0005 01 2b0e0100") + readRegistersRequest(10, 1, 3, 1));
        const QByteArray expected = QByteArray::fromHex("000900000003 01ab01 000a00000005 010302 0003");
        QCOMPARE(readUpTo(socket, expected.size()), expected);
    }

    void badClientsDoNotHurtOthers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Ending>("ending");
        const QByteArray half = readRegistersRequest(5, 1, 0, 1).left(5);
        QTest::newRow("garbage, then close") << QByteArray("\xff\x00\x13\x37garbage", 11) << Ending::ClientCloses;
        QTest::newRow("half a frame, then close") << half << Ending::ClientCloses;
        QTest::newRow("half a frame, then reset") << half << Ending::ClientResets;
        QTest::newRow("nothing, then reset") << QByteArray() << Ending::ClientResets;
        QTest::newRow("not Modbus at all") << QByteArray("GET / HTTP/1.0\r\n\r\n") << Ending::ServerDrops;
        QTest::newRow("protocol id not Modbus")
            << QByteArray::fromHex("0001 0001 0006 01 03 0000 0001") << Ending::ServerDrops;
        QTest::newRow("length beyond any ADU") << QByteArray::fromHex("00010000 0fff 01 03") << Ending::ServerDrops;
    }
    void badClientsDoNotHurtOthers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Ending, ending);
        {
            QTcpSocket bad;
            QVERIFY(connectRaw(bad, sim_->port()));
            if (!bytes.isEmpty()) {
                bad.write(bytes);
                QVERIFY(bad.waitForBytesWritten(ReplyTimeoutMs));
            }
            if (ending == Ending::ServerDrops) {
                // Whatever the server answers, it must hang up on a stream it cannot frame.
                readUpTo(bad, 1 << 20);
                QCOMPARE(bad.state(), QAbstractSocket::UnconnectedState);
            } else {
                if (ending == Ending::ClientResets)
                    resetOnClose(bad);
                bad.abort();
            }
        }
        verifyServes(sim_->port());
        QCOMPARE(sim_->process().state(), QProcess::Running);
    }

    void partialFrameDoesNotStallOthers()
    {
        const QByteArray request = readRegistersRequest(0x0102, 1, 40, 2);
        QTcpSocket slow;
        QVERIFY(connectRaw(slow, sim_->port()));
        slow.write(request.left(9));
        QVERIFY(slow.waitForBytesWritten(ReplyTimeoutMs));
        verifyServes(sim_->port());
        // A server that had sat in a blocking read for the rest of this frame would
        // have given up on it by now and hung up.
        slow.write(request.mid(9));
        QCOMPARE(readUpTo(slow, 13), QByteArray::fromHex("010200000007010304 0028 0029"));
    }

    void liveValuesChange()
    {
        SimProcess live({"--live"});
        QVERIFY(live.start());
        const Client client = connectClient(live.port());
        QVERIFY(client);
        uint16_t first = 0, now = 0;
        uint8_t coil0 = 0, input0 = 0, coil = 0, input = 0;
        QCOMPARE(modbus_read_registers(client.get(), 0, 1, &first), 1);
        QCOMPARE(modbus_read_bits(client.get(), 1, 1, &coil0), 1);
        QCOMPARE(modbus_read_input_bits(client.get(), 0, 1, &input0), 1);
        bool registerMoved = false, coilMoved = false, inputMoved = false;
        const QDeadlineTimer deadline(3000);
        while (!(registerMoved && coilMoved && inputMoved) && !deadline.hasExpired()) {
            QTest::qSleep(100);
            QCOMPARE(modbus_read_registers(client.get(), 0, 1, &now), 1);
            QCOMPARE(modbus_read_bits(client.get(), 1, 1, &coil), 1);
            QCOMPARE(modbus_read_input_bits(client.get(), 0, 1, &input), 1);
            registerMoved |= now != first;
            coilMoved |= coil != coil0;
            inputMoved |= input != input0;
        }
        QVERIFY(registerMoved && coilMoved && inputMoved);
        // It counts up; the slack only covers a test process that was descheduled.
        const int step = uint16_t(now - first);
        QVERIFY2(step >= 1 && step <= 10, qPrintable(QString::number(step)));
        // Other values stay put.
        uint16_t other = 0;
        QCOMPARE(modbus_read_registers(client.get(), 1, 1, &other), 1);
        QCOMPARE(other, uint16_t(1));
    }

    void reservedAddressesThroughLibmodbus_data()
    {
        QTest::addColumn<bool>("hostile");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("error"); // 0: any error will do
        using namespace sim_reserved;
        QTest::newRow("exception") << true << int(Exception) << ReplyTimeoutMs << false << int(EMBXSFAIL);
        QTest::newRow("wrong byte count") << true << int(WrongByteCount) << 1000 << false << 0;
        QTest::newRow("silent") << true << int(Silent) << 300 << false << int(ETIMEDOUT);
        QTest::newRow("slow bytes") << true << int(SlowBytes) << ReplyTimeoutMs << true << 0;
        QTest::newRow("bad CRC: ordinary without a CRC") << true << int(BadCrc) << ReplyTimeoutMs << true << 0;
        QTest::newRow("next to a reserved one") << true << int(First) - 1 << ReplyTimeoutMs << true << 0;
        for (int address = First; address <= Last; ++address)
            QTest::addRow("%d without --hostile", address) << false << address << ReplyTimeoutMs << true << 0;
    }
    void reservedAddressesThroughLibmodbus()
    {
        QFETCH(bool, hostile);
        QFETCH(int, address);
        QFETCH(int, timeoutMs);
        QFETCH(bool, succeeds);
        QFETCH(int, error);
        const Client client = connectClient((hostile ? hostile_ : sim_)->port(), timeoutMs);
        QVERIFY(client);
        uint16_t values[4] = {};
        const int rc = modbus_read_registers(client.get(), address, 4, values);
        const int errorSeen = errno;
        if (succeeds) {
            QCOMPARE(rc, 4);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(values[i], uint16_t(address + i));
        } else {
            QCOMPARE(rc, -1);
            QVERIFY(errorSeen != EMBXSFAIL || error == EMBXSFAIL);
            if (error)
                QCOMPARE(errorSeen, error);
        }
        // None of these leaves stray bytes behind, so the connection goes on working.
        QCOMPARE(modbus_read_registers(client.get(), 200, 1, values), 1);
        QCOMPARE(values[0], uint16_t(200));
    }

    void hostileRawFrames_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("closes");
        using namespace sim_reserved;
        // Transaction id 0x1234 and unit id 0x11 must come back in every header.
        QTest::newRow("slow bytes") << int(SlowBytes) << 2 << QByteArray::fromHex("123400000007110304fde8fde9")
                                    << false;
        QTest::newRow("exception") << int(Exception) << 2 << QByteArray::fromHex("123400000003118304") << false;
        QTest::newRow("wrong byte count")
            << int(WrongByteCount) << 2 << QByteArray::fromHex("123400000007110308fdeafdeb") << false;
        QTest::newRow("wrong byte count, one register")
            << int(WrongByteCount) << 1 << QByteArray::fromHex("123400000007110308fdeafdeb") << false;
        QTest::newRow("junk") << int(Junk) << 2 << QByteArray::fromHex("123400000007110304fdedfdee deadbeef00")
                              << false;
        QTest::newRow("close mid reply") << int(CloseMidReply) << 2 << QByteArray::fromHex("1234000000") << true;
        QTest::newRow("bad quantity gets the usual exception")
            << int(Exception) << 126 << QByteArray::fromHex("123400000003118303") << false;
    }
    void hostileRawFrames()
    {
        QFETCH(int, address);
        QFETCH(int, count);
        QFETCH(QByteArray, expected);
        QFETCH(bool, closes);
        QTcpSocket socket;
        QVERIFY(connectRaw(socket, hostile_->port()));
        socket.write(readRegistersRequest(0x1234, 0x11, quint16(address), quint16(count)));
        // For a closing reply, read on until the close to see that nothing follows.
        QCOMPARE(readUpTo(socket, closes ? (1 << 20) : expected.size()), expected);
        QCOMPARE(socket.state() == QAbstractSocket::UnconnectedState, closes);
    }

    void hostileLateDoesNotBlockOthers()
    {
        QTcpSocket waiting;
        QVERIFY(connectRaw(waiting, hostile_->port()));
        waiting.write(readRegistersRequest(0x0042, 1, sim_reserved::Late, 2));
        QVERIFY(waiting.waitForBytesWritten(ReplyTimeoutMs));
        verifyServes(hostile_->port());
        const QByteArray expected = QByteArray::fromHex("004200000007010304fdecfded");
        QCOMPARE(readUpTo(waiting, expected.size(), sim_reserved::LateDelayMs + 4000), expected);
    }

    void secondSimulatorOnSamePortFails()
    {
        QProcess second;
        second.start(QStringLiteral(MODBUS_SIM_PATH), {"--host", "127.0.0.1", "--port", QString::number(sim_->port())});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        const QString err = QString::fromUtf8(second.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("cannot listen on %1").arg(sim_->hostPort())), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("try another --port")), qPrintable(err));
        QVERIFY(second.readAllStandardOutput().isEmpty());
        verifyServes(sim_->port());
    }

    void badOptionsExit2_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("port not a number") << QStringList{"--port", "12ab"};
        QTest::newRow("port too big") << QStringList{"--port", "65536"};
        QTest::newRow("port missing") << QStringList{"--port"};
        QTest::newRow("host not numeric") << QStringList{"--host", "not.an.address"};
        QTest::newRow("flag with a value") << QStringList{"--live=yes"};
    }
    void badOptionsExit2()
    {
        QFETCH(QStringList, args);
        QProcess process;
        process.start(QStringLiteral(MODBUS_SIM_PATH), args);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("usage: modbus-sim"));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void stopsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void stopsCleanlyOnSignal()
    {
        QFETCH(int, sig);
        SimProcess sim;
        QVERIFY(sim.start());
        const Client connected = connectClient(sim.port()); // a client still attached must not matter
        QVERIFY(connected);
        QCOMPARE(::kill(pid_t(sim.process().processId()), sig), 0);
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
    }

    void cleanupTestCase()
    {
        for (SimProcess *sim : {sim_.get(), hostile_.get()}) {
            if (!sim)
                continue;
            sim->stop();
            QCOMPARE(sim->process().exitStatus(), QProcess::NormalExit);
            QCOMPARE(sim->process().exitCode(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
