// Devices that misbehave on the connection: floods of junk, a close or a reset at a bad
// moment, silence, a reply long after the timeout. The tool keeps running, its reply buffer
// stays bounded, the window tells the truth, and after a reconnect a well-behaved device is
// read correctly.

#include "hostile_rig.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const QString Holding = QStringLiteral("Holding Registers");

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, Qt::Uninitialized);
    gen.fillRange(reinterpret_cast<quint32 *>(b.data()), size / 4);
    return b;
}

// Answers each read holding registers request the device receives, as a sound device would:
// register k holds k, and the reply carries the request's transaction id.
class Responder : public QObject
{
public:
    explicit Responder(ScriptedDevice &device) : m_device(device)
    {
        connect(device.client(), &QTcpSocket::readyRead, this, [this] { answer(); });
    }
    bool paused = false; // requests wait unanswered; answered together after

private:
    void answer()
    {
        if (paused)
            return;
        const QByteArray in = m_device.received();
        while (in.size() - m_done >= 12) {
            const QByteArray req = in.mid(m_done, 12);
            m_done += 12;
            const quint16 id = quint8(req[0]) << 8 | quint8(req[1]);
            const quint16 start = quint8(req[8]) << 8 | quint8(req[9]);
            const int count = quint8(req[10]) << 8 | quint8(req[11]);
            QList<quint16> values;
            for (int k = 0; k < count; ++k)
                values.append(quint16(start + k));
            m_device.send(registersReply(values, id));
        }
    }
    ScriptedDevice &m_device;
    qsizetype m_done = 0;
};

} // namespace

class TestHostileConnection : public QObject
{
    Q_OBJECT
    SimProcess sim;

private Q_SLOTS:
    void initTestCase() { QVERIFY(sim.start()); }

    void randomFloodThenValidReply();
    void unsolicitedMegabyteWhileMonitoring();
    void closedInTheMiddleOfAReply();
    void resetRightAfterConnecting();
    void resetAfterARequest();
    void silence();
    void replyAfterTheTimeout();
    void supersededRead();
    void writeAmongReads();
};

void TestHostileConnection::randomFloodThenValidReply()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());

    w.device.send(randomBytes(64 * 1024, 7));
    qsizetype largest = 0;
    QVERIFY(QTest::qWaitFor([&] {
        largest = qMax(largest, w.state().bufRecv.size());
        return w.deliveredAndTaken();
    }));
    QVERIFY2(w.status().startsWith("Malformed reply: "), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Yellow);
    QCOMPARE(w.boxes(), sixteen({}));
    QVERIFY(largest <= 260);
    QVERIFY(!w.form.TimerTO.isRunning());

    // The next request gets a sound reply, and it is shown.
    w.setRequest(Holding, "0", "2");
    QVERIFY(w.clickRead());
    w.device.send(registersReply({10, 20}, 1));
    w.waitForWindow("Registers read", sixteen({"10", "20"}));
    QCOMPARE(w.status(), QStringLiteral("Registers read"));
    QCOMPARE(w.boxes(), sixteen({"10", "20"}));

    readsWellAfterReconnect(w, sim);
}

void TestHostileConnection::unsolicitedMegabyteWhileMonitoring()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    Responder responder(w.device);
    w.setRequest(Holding, "40", "2");
    w.form.cmdRealtime_Click();
    QVERIFY(w.form.TimerRead.isRunning());
    QVERIFY2(w.waitForStatus("Registers read", 5000), qPrintable(w.status()));
    QCOMPARE(w.boxes(), sixteen({"40", "41"}));

    // The device stops answering, and the flood comes while a read waits for its reply: the
    // junk is what the window must show for it.
    responder.paused = true;
    QVERIFY(QTest::qWaitFor([&] { return w.form.TimerTO.isRunning(); }, 3000));
    w.device.send(randomBytes(1024 * 1024, 11));
    qsizetype largest = 0;
    auto watch = [&](auto done) {
        return QTest::qWaitFor(
            [&] {
                largest = qMax(largest, w.state().bufRecv.size());
                return done();
            },
            15000);
    };
    QVERIFY(watch([&] { return w.deliveredAndTaken(); }));
    QVERIFY2(w.status().startsWith("Malformed reply: "), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Yellow);
    QCOMPARE(w.boxes(), sixteen({}));

    // Monitoring went on through the flood and shows sound values again once it has passed.
    responder.paused = false;
    QVERIFY2(watch([&] {
                 return w.status() == "Registers read" && w.boxes() == sixteen({"40", "41"});
             }),
             qPrintable(w.status()));
    QVERIFY(largest <= 260);
    QVERIFY(w.form.TimerRead.isRunning());
    w.form.cmdRealtime_Click();

    readsWellAfterReconnect(w, sim);
}

void TestHostileConnection::closedInTheMiddleOfAReply()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());

    w.device.send(registersReply({10, 20}).left(5));
    QVERIFY(QTest::qWaitFor([&] { return w.state().bufRecv.size() == 5; }));
    w.device.closeClient();

    QVERIFY2(w.waitForStatus("Connection lost"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Red);
    QVERIFY(w.form.cmdConnect->isEnabled());
    QVERIFY(!w.form.cmdDisconnect->isEnabled());
    QVERIFY(!w.form.TimerTO.isRunning());
    QCOMPARE(w.state().bufRecv.size(), 0); // the half reply can never glue onto a later one
    QCOMPARE(w.boxes(), markerBoxes());    // nothing of it was shown

    readsWellAfterReconnect(w, sim);
}

void TestHostileConnection::resetRightAfterConnecting()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.device.resetClient();

    QVERIFY2(w.waitForStatus("Connection lost"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Red);
    QVERIFY(w.form.cmdConnect->isEnabled());
    QVERIFY(!w.form.cmdDisconnect->isEnabled());

    readsWellAfterReconnect(w, sim);
}

void TestHostileConnection::resetAfterARequest()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    w.form.cmdRealtime_Click(); // monitoring on: the loss must stop it
    QVERIFY(w.clickRead());
    w.device.resetClient();

    QVERIFY2(w.waitForStatus("Connection lost"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Red);
    QVERIFY(w.form.cmdConnect->isEnabled());
    QVERIFY(!w.form.cmdDisconnect->isEnabled());
    QVERIFY(!w.form.TimerTO.isRunning());
    QVERIFY(!w.form.TimerRead.isRunning());
    QCOMPARE(w.boxes(), markerBoxes());
    QVERIFY(w.messages().isEmpty());

    readsWellAfterReconnect(w, sim);
}

void TestHostileConnection::silence()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());
    w.device.send(registersReply({10, 20}).left(9)); // a start, then nothing more

    QVERIFY2(w.waitForStatus("Modbus Time Out!", 6000), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Yellow);
    QCOMPARE(w.boxes(), markerBoxes());
    QCOMPARE(w.state().bufRecv.size(), 9); // kept whole for the rest of the reply, if it comes
    QVERIFY(!w.form.TimerTO.isRunning());
    QCOMPARE(w.form.Winsock1.State(), SocketControl::Connected);

    readsWellAfterReconnect(w, sim);
}

// A device that answers ten seconds late. Once "Modbus Time Out!" is shown the timeout is
// stopped and nothing else waits, so a reply coming in just after it is handled exactly as
// one coming in ten seconds later would be; the test sends it right after the timeout to
// stay fast.
void TestHostileConnection::replyAfterTheTimeout()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());
    QVERIFY2(w.waitForStatus("Modbus Time Out!", 6000), qPrintable(w.status()));
    QVERIFY(!w.form.TimerTO.isRunning());

    w.device.send(registersReply({10, 20}));
    QVERIFY2(w.waitForStatus("Registers read"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Green);
    QCOMPARE(w.boxes(), sixteen({"10", "20"}));

    readsWellAfterReconnect(w, sim);
}

// The operator reads registers 0 and 1 from a device that answers in four seconds; after the
// timeout, registers 5 and 6. The late answer about 0 and 1 must not show as if it were
// about 5 and 6.
void TestHostileConnection::supersededRead()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "0", "2");
    QVERIFY(w.clickRead());
    QVERIFY2(w.waitForStatus("Modbus Time Out!", 6000), qPrintable(w.status()));

    w.setRequest(Holding, "5", "2");
    w.setBoxes(markerBoxes());
    QVERIFY(w.clickRead());
    w.device.send(registersReply({1000, 1001}, 0));
    QTest::qWait(200);
    QCOMPARE(w.boxes(), markerBoxes());
    QCOMPARE(w.status(), QStringLiteral("Modbus Time Out!"));
    w.device.send(registersReply({5, 6}, 1));
    QVERIFY(w.waitForWindow("Registers read", sixteen({"5", "6"})));

    readsWellAfterReconnect(w, sim);
}

// A write while monitoring waits for a read's reply: each reply is judged against its own
// request, whichever comes first. The read went out before the write, so its values are the
// older ones: the write's confirmation shows what the registers hold now.
void TestHostileConnection::writeAmongReads()
{
    HostileRig w;
    QVERIFY(w.connectDevice());
    w.setRequest(Holding, "40", "2");
    w.form.cmdRealtime_Click();
    QVERIFY(w.device.waitForReceived(12, 3000)); // the first tick's read, transaction 0

    w.setBoxes({"7", "8"});
    QVERIFY(w.clickWrite(17));
    w.device.send(registersReply({40, 41}, 0));
    QVERIFY(w.waitForWindow("Registers read", sixteen({"40", "41"})));
    w.device.send(hex("0001 0000 0006 01 10 0028 0002"));
    QVERIFY2(w.waitForStatus("Registers written"), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Green);
    QCOMPARE(w.boxes(), sixteen({"7", "8"}));
    w.form.cmdRealtime_Click();
}

QTEST_MAIN(TestHostileConnection)
#include "tst_hostile_connection.moc"
