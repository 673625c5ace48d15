// Devices that answer wrongly: broken framing, bad byte counts, exceptions, wrong function
// codes, several replies at once, junk. Whatever the device sends, the window shows a true
// status and no box shows data the reply did not soundly carry; and each time, after a
// reconnect, the tool reads a well-behaved device correctly.

#include "exception_text.h"
#include "hostile_rig.h"

#include <QtTest>

namespace {

const QString Holding = QStringLiteral("Holding Registers");
const QString Coils = QStringLiteral("Coil Outputs");

} // namespace

class TestHostileDevice : public QObject
{
    Q_OBJECT
    SimProcess sim;

private Q_SLOTS:
    void initTestCase() { QVERIFY(sim.start()); }

    void oneBadReply_data();
    void oneBadReply();
    void replyOneByteAtATime();
};

// Each row: the request the window sends (a read of holding registers 0 and 1 unless it
// says otherwise), what the device sends back in one piece, and the status and boxes the
// window must show afterwards. Boxes hold markers before a read, so that a box the reply
// did not fill shows up; before a write they hold the two values written.
void TestHostileDevice::oneBadReply_data()
{
    QTest::addColumn<QString>("request"); // "read", "read coils" or "write"
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QStringList>("boxes");

    const QStringList emptied = sixteen({});
    const QStringList written = sixteen({"7", "8"});
    const QString malformed = QStringLiteral("Malformed reply: ");

    QTest::newRow("two replies to one request in one piece: the first answers it")
        << "read" << registersReply({1, 2}) + registersReply({3, 4}) << "Registers read" << Green
        << sixteen({"1", "2"});
    QTest::newRow("a stale reply of one value, then the right one")
        << "read" << registersReply({99}, 7) + registersReply({10, 20}) << "Registers read" << Green
        << sixteen({"10", "20"});

    // The length field (indices 4-5) counts the unit id and the PDU: 2 to 254 can be a reply.
    QTest::newRow("length field 0") << "read" << hex("0000 0000 0000 01 03 04 000A 0014")
                                    << malformed + "length field 0" << Yellow << emptied;
    QTest::newRow("length field 1") << "read" << hex("0000 0000 0001 01 03 04 000A 0014")
                                    << malformed + "length field 1" << Yellow << emptied;
    QTest::newRow("length field 2: unit id and function code only")
        << "read" << hex("0000 0000 0002 01 03") << malformed + "no byte count" << Yellow << emptied;
    QTest::newRow("length field 255") << "read" << hex("0000 0000 00FF 01 03 04 000A 0014")
                                      << malformed + "length field 255" << Yellow << emptied;
    QTest::newRow("length field 65535") << "read" << hex("0000 0000 FFFF 01 03 04 000A 0014")
                                        << malformed + "length field 65535" << Yellow << emptied;
    QTest::newRow("protocol identifier 1") << "read" << hex("0000 0001 0007 01 03 04 000A 0014")
                                           << malformed + "protocol identifier 1" << Yellow << emptied;

    QTest::newRow("byte count larger than the data") << "read" << hex("0000 0000 0007 01 03 08 000A 0014")
                                                     << malformed + "byte count 8, 4 data bytes" << Yellow << emptied;
    QTest::newRow("odd byte count for registers") << "read" << hex("0000 0000 0006 01 03 03 000A 00")
                                                  << malformed + "odd byte count 3 for registers" << Yellow << emptied;
    QTest::newRow("byte count 255") << "read" << hex("0000 0000 0007 01 03 FF 000A 0014")
                                    << malformed + "byte count 255, 4 data bytes" << Yellow << emptied;

    for (int code = 1; code <= 11; ++code) {
        QByteArray reply = hex("0000 0000 0003 01 83 00");
        reply[8] = char(code);
        QTest::addRow("exception %d to a read", code) << "read" << reply << exceptionText(code) << Yellow << emptied;
    }
    QTest::newRow("unknown exception 200 to a read")
        << "read" << hex("0000 0000 0003 01 83 C8") << "Modbus exception 200" << Yellow << emptied;
    QTest::newRow("exception 2 to a coil read")
        << "read coils" << hex("0000 0000 0003 01 81 02") << exceptionText(2) << Yellow << emptied;
    QTest::newRow("exception 2 to a write: boxes stay")
        << "write" << hex("0000 0000 0003 01 90 02") << exceptionText(2) << Yellow << written;

    QTest::newRow("function code 4 to a read") << "read" << hex("0000 0000 0007 01 04 04 000A 0014")
                                               << "Unexpected reply: function code 4" << Yellow << emptied;
    QTest::newRow("function code 3 to a write")
        << "write" << hex("0000 0000 0007 01 03 04 000A 0014") << "Error writting registers" << Yellow << written;
    QTest::newRow("write echo of another quantity")
        << "write" << hex("0000 0000 0006 01 10 0000 0003") << "Error writting registers" << Yellow << written;

    // The junk's protocol identifier (BE EF) cannot start a reply, and it comes after the
    // request has its answer: it answers nothing and is dropped.
    QTest::newRow("a valid reply followed by junk")
        << "read" << registersReply({10, 20}) + hex("DEADBEEF00") << "Registers read" << Green << sixteen({"10", "20"});
    QTest::newRow("junk instead of a reply") << "read" << hex("DEADBEEF00") + registersReply({10, 20})
                                             << malformed + "protocol identifier 48879" << Yellow << emptied;
}

void TestHostileDevice::oneBadReply()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    QFETCH(QColor, colour);
    QFETCH(QStringList, boxes);

    HostileRig w;
    QVERIFY(w.connectDevice());
    if (request == u"write") {
        w.setRequest(Holding, "0", "2");
        w.setBoxes({"7", "8"});
        QVERIFY(w.clickWrite(13 + 4));
    } else {
        w.setRequest(request == u"read coils" ? Coils : Holding, "0", "2");
        w.setBoxes(markerBoxes());
        QVERIFY(w.clickRead());
    }
    w.device.send(reply);

    w.waitForWindow(status, boxes);
    QCOMPARE(w.status(), status);
    QCOMPARE(w.boxes(), boxes);
    QCOMPARE(w.statusColour(), colour);
    // Whatever the reply was, it ended the wait: no timeout will replace the verdict.
    QVERIFY(!w.form.TimerTO.isRunning());
    QCOMPARE(w.state().bufRecv.size(), 0);
    QVERIFY(w.messages().isEmpty());
    // The connection stays up: a bad reply is the device's fault, not the link's.
    QCOMPARE(w.form.Winsock1.State(), SocketControl::Connected);

    readsWellAfterReconnect(w, sim);
}

void TestHostileDevice::replyOneByteAtATime()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());

    const QByteArray reply = registersReply({10, 65535});
    w.device.sendByteByByte(reply.left(reply.size() - 1), 50);
    QTest::qWait(100);
    // Until the last byte is in, nothing of the reply is shown.
    QCOMPARE(w.status(), QStringLiteral("Connected"));
    QCOMPARE(w.boxes(), markerBoxes());
    QCOMPARE(w.state().bufRecv.size(), reply.size() - 1);

    w.device.send(reply.right(1));
    QVERIFY2(w.waitForStatus("Registers read"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Green);
    QCOMPARE(w.boxes(), sixteen({"10", "65535"}));
    QVERIFY(!w.form.TimerTO.isRunning());

    readsWellAfterReconnect(w, sim);
}

QTEST_MAIN(TestHostileDevice)
#include "tst_hostile_device.moc"
