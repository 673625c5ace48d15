// Connecting and disconnecting on the real window with a real socket: the two outcomes of
// each, addresses the socket cannot use, a second click during the wait, a connection the
// device ends, and the bytes of a reply cut short by any of these.

#include "closed_port.h"
#include "device_rig.h"
#include "exchange_fakes.h"
#include "sim_process.h"
#include "unanswered_port.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

QString deadAddress() { return QStringLiteral("127.0.0.1:%1").arg(closedPort()); }

void expectConnectedButtons(Form1 &f)
{
    QVERIFY(!f.cmdConnect->isEnabled());
    QVERIFY(f.cmdDisconnect->isEnabled());
}

void expectDisconnectedButtons(Form1 &f)
{
    QVERIFY(f.cmdConnect->isEnabled());
    QVERIFY(!f.cmdDisconnect->isEnabled());
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectAndDisconnect();
    void nothingListens_data();
    void nothingListens();
    void unusableAddress_data();
    void unusableAddress();
    void disconnectWhenClosed_data();
    void disconnectWhenClosed();
    void disconnectThatDoesNotClose();
    void deviceEndsConnection_data();
    void deviceEndsConnection();
    void secondConnectDuringWait_data();
    void secondConnectDuringWait();
    void partialReplyDiscarded_data();
    void partialReplyDiscarded();
    void lateConnectionAbandoned();
    void disconnectAbandonsRequests_data();
    void disconnectAbandonsRequests();
};

void ConnectionTest::connectAndDisconnect()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowRig rig;

    rig.form.txtIP->setText(sim.hostPort());
    QTest::mouseClick(rig.form.cmdConnect, Qt::LeftButton);
    // The socket is given the host and the port apart.
    QCOMPARE(rig.form.Winsock1.RemoteHost + ":" + QString::number(rig.form.Winsock1.RemotePort), sim.hostPort());
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    QCOMPARE(rig.statusColour(), Green);
    expectConnectedButtons(rig.form);
    QCOMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Connected));
    QCOMPARE(rig.services->busyDepth, 0);
    QCOMPARE(rig.services->busyCalls, 1);
    // No Nagle delay on the connected socket: a request goes out whole at once.
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    const auto *tcp = rig.form.Winsock1.findChild<QTcpSocket *>();
    QCOMPARE(::getsockopt(int(tcp->socketDescriptor()), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    QVERIFY(noDelay);

    QTest::mouseClick(rig.form.cmdDisconnect, Qt::LeftButton);
    QCOMPARE(rig.status(), QStringLiteral("Disconnected"));
    QCOMPARE(rig.statusColour(), Red);
    expectDisconnectedButtons(rig.form);
    QCOMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Closed));
    QCOMPARE(rig.services->busyDepth, 0);
    QCOMPARE(rig.messages(), QStringList());

    // The simulator serves the next connection as well.
    QTest::mouseClick(rig.form.cmdConnect, Qt::LeftButton);
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    expectConnectedButtons(rig.form);
}

void ConnectionTest::nothingListens_data()
{
    QTest::addColumn<bool>("connectedBefore");
    QTest::newRow("from a fresh window") << false;
    QTest::newRow("while connected elsewhere") << true;
}

void ConnectionTest::nothingListens()
{
    QFETCH(bool, connectedBefore);

    ScriptedDevice device;
    QVERIFY(device.listen());
    WindowRig rig;
    if (connectedBefore)
        QVERIFY(rig.connectTo(device.hostPort()));
    const bool connectEnabled = rig.form.cmdConnect->isEnabled();
    const bool disconnectEnabled = rig.form.cmdDisconnect->isEnabled();

    const QString address = deadAddress();
    rig.form.txtIP->setText(address);
    // The window's clock stands still, so only the refusal can end the wait. Should it not,
    // the clock jumps past the two seconds a while later: the test fails rather than hangs.
    rig.services->clock = 0.0;
    bool waitedOut = false;
    QTimer::singleShot(5000, &rig.form, [&] {
        waitedOut = true;
        rig.services->clock = 10.0;
    });
    rig.form.cmdConnect_Click();

    QVERIFY(!waitedOut);
    QCOMPARE(rig.status(), "Can't connect to " + address);
    QCOMPARE(rig.statusColour(), Yellow);
    QCOMPARE(rig.form.cmdConnect->isEnabled(), connectEnabled);
    QCOMPARE(rig.form.cmdDisconnect->isEnabled(), disconnectEnabled);
    QVERIFY(rig.form.Winsock1.State() != SocketControl::Connected);
    QCOMPARE(rig.services->busyDepth, 0);
}

void ConnectionTest::unusableAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << "";
    QTest::newRow("colons only") << "::::";
    QTest::newRow("port above 65535") << "host:99999";
    QTest::newRow("unclosed IPv6 bracket") << "[::1";
    QTest::newRow("unit 256") << "127.0.0.1#256";
    QTest::newRow("unknown scheme") << "udp://127.0.0.1";
}

// Refused at once, without a connection attempt.
void ConnectionTest::unusableAddress()
{
    QFETCH(QString, address);

    WindowRig rig;
    rig.form.txtIP->setText(address);
    const double before = rig.services->clockSeconds();
    rig.form.cmdConnect_Click();
    QVERIFY(rig.services->clockSeconds() - before < 1.0);
    QVERIFY(rig.form.Winsock1.RemoteHost.isEmpty());

    QCOMPARE(rig.status(), "Can't connect to " + address);
    QCOMPARE(rig.statusColour(), Yellow);
    expectDisconnectedButtons(rig.form);
    QVERIFY(rig.form.Winsock1.State() != SocketControl::Connected);
    QCOMPARE(rig.services->busyDepth, 0);
    QCOMPARE(rig.messages(), QStringList());

    // The window is still in working order: a Disconnect puts the socket back to closed.
    rig.form.cmdDisconnect_Click();
    QCOMPARE(rig.status(), QStringLiteral("Disconnected"));
    QCOMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Closed));
}

void ConnectionTest::disconnectWhenClosed_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("never connected") << "fresh";
    QTest::newRow("after a refused attempt") << "failed";
    QTest::newRow("after the device closed the connection") << "lost";
}

void ConnectionTest::disconnectWhenClosed()
{
    QFETCH(QString, before);

    ScriptedDevice device;
    QVERIFY(device.listen());
    WindowRig rig;
    if (before == "failed") {
        rig.form.Winsock1.RemoteHost = QStringLiteral("127.0.0.1");
        rig.form.Winsock1.RemotePort = closedPort();
        rig.form.Winsock1.Connect();
        QTRY_COMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Error));
    } else if (before == "lost") {
        QVERIFY(rig.connectTo(device.hostPort()));
        QVERIFY(device.waitForClient());
        device.closeClient();
        QTRY_COMPARE(rig.status(), QStringLiteral("Connection lost"));
    }

    rig.form.cmdDisconnect_Click();
    QCOMPARE(rig.status(), QStringLiteral("Disconnected"));
    QCOMPARE(rig.statusColour(), Red);
    expectDisconnectedButtons(rig.form);
    QCOMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Closed));
    QCOMPARE(rig.services->busyDepth, 0);
}

void ConnectionTest::disconnectThatDoesNotClose()
{
    // A socket that connects at once but never gets past closing.
    struct StuckClosing : FakeSocket {
        void Close() override { state = Closing; }
    } socket;
    WindowRig rig(&socket);
    rig.form.cmdConnect_Click();
    QCOMPARE(rig.status(), QStringLiteral("Connected"));

    const double before = rig.services->clockSeconds();
    rig.form.cmdDisconnect_Click();
    QVERIFY(rig.services->clockSeconds() - before >= 2.0);
    QCOMPARE(rig.status(), QStringLiteral("Error disconnect!"));
    QCOMPARE(rig.statusColour(), Yellow);
    expectConnectedButtons(rig.form);
    QCOMPARE(rig.services->busyDepth, 0);
}

void ConnectionTest::deviceEndsConnection_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("device closes") << "close";
    QTest::newRow("device resets") << "reset";
    QTest::newRow("simulator stopped") << "stop";
}

void ConnectionTest::deviceEndsConnection()
{
    QFETCH(QString, how);

    ScriptedDevice device;
    QVERIFY(device.listen());
    SimProcess sim;
    WindowRig rig;
    if (how == "stop") {
        QVERIFY(sim.start());
        QVERIFY(rig.connectTo(sim.hostPort()));
        rig.form.cmdRealtime_Click();
        sim.stop();
    } else {
        QVERIFY(rig.connectTo(device.hostPort()));
        QVERIFY(device.waitForClient());
        rig.form.cmdRealtime_Click();
        rig.form.cmdRead_Click(); // outstanding when the connection ends
        QVERIFY(device.waitForReceived(12));
        QVERIFY(rig.form.TimerRead.isRunning());
        QVERIFY(rig.form.TimerTO.isRunning());
        if (how == "reset")
            device.resetClient();
        else
            device.closeClient();
    }

    QTRY_COMPARE(rig.status(), QStringLiteral("Connection lost"));
    QCOMPARE(rig.statusColour(), Red);
    expectDisconnectedButtons(rig.form);
    QVERIFY(!rig.form.TimerRead.isRunning());
    QCOMPARE(rig.form.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON")); // one click starts it again
    QVERIFY(!rig.form.TimerTO.isRunning());
    QVERIFY(rig.form.Winsock1.State() != SocketControl::Connected);
    QCOMPARE(rig.messages(), QStringList());

    if (how == "stop")
        return;
    // The operator connects again without a Disconnect first.
    QTcpSocket *old = device.client();
    QTest::mouseClick(rig.form.cmdConnect, Qt::LeftButton);
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    expectConnectedButtons(rig.form);
    QTRY_VERIFY(device.client() != old);
}

void ConnectionTest::secondConnectDuringWait_data()
{
    QTest::addColumn<bool>("secondReachesDevice");
    QTest::addColumn<bool>("secondMalformed");
    QTest::newRow("second click reaches a listening device") << true << false;
    QTest::newRow("second click where nothing listens") << false << false;
    QTest::newRow("second click with an empty address") << false << true;
}

void ConnectionTest::secondConnectDuringWait()
{
    QFETCH(bool, secondReachesDevice);
    QFETCH(bool, secondMalformed);

    ScriptedDevice device;
    QVERIFY(device.listen());
    UnansweredPort silent; // keeps the first click waiting
    const quint16 first = silent.open();
    QVERIFY(first != 0);
    WindowRig rig;
    const QString second = secondReachesDevice ? device.hostPort() : secondMalformed ? QString() : deadAddress();

    bool innerRan = false;
    QString innerStatus;
    QTimer::singleShot(300, &rig.form, [&] {
        rig.form.txtIP->setText(second);
        QTest::mouseClick(rig.form.cmdConnect, Qt::LeftButton);
        innerRan = true;
        innerStatus = rig.status();
    });
    rig.form.txtIP->setText(QStringLiteral("127.0.0.1:%1").arg(first));
    QTest::mouseClick(rig.form.cmdConnect, Qt::LeftButton);

    QVERIFY(innerRan);
    const QString expected = secondReachesDevice ? QStringLiteral("Connected") : "Can't connect to " + second;
    QCOMPARE(innerStatus, expected);
    QCOMPARE(rig.status(), expected);
    QCOMPARE(rig.statusColour(), secondReachesDevice ? Green : Yellow);
    QCOMPARE(rig.form.Winsock1.State() == SocketControl::Connected, secondReachesDevice);
    QCOMPARE(rig.form.cmdConnect->isEnabled(), !secondReachesDevice);
    QCOMPARE(rig.form.cmdDisconnect->isEnabled(), secondReachesDevice);
    QCOMPARE(rig.services->busyDepth, 0);
    if (secondReachesDevice) {
        // The connection the outer click reports is the one that works.
        QVERIFY(device.waitForClient());
        rig.form.txtLengthReg->setText("1");
        rig.form.cmdRead_Click();
        QVERIFY(device.waitForReceived(12));
    }
}

void ConnectionTest::partialReplyDiscarded_data()
{
    QTest::addColumn<bool>("disconnectFirst");
    QTest::newRow("on disconnect") << true;
    QTest::newRow("on connect") << false;
}

void ConnectionTest::partialReplyDiscarded()
{
    QFETCH(bool, disconnectFirst);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    rig.form.txtLengthReg->setText("2");
    rig.form.cmdRead_Click();
    QVERIFY(device.waitForReceived(12));
    device.send(hex("00 00 00 00 00")); // the head of a reply whose rest never comes
    QTRY_COMPARE(rig.state().bufRecv.size(), 5);

    QTcpSocket *old = device.client();
    if (disconnectFirst) {
        rig.form.cmdDisconnect_Click();
        QCOMPARE(rig.status(), QStringLiteral("Disconnected"));
        QVERIFY(rig.state().bufRecv.isEmpty());
    }
    rig.form.cmdConnect_Click();
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    QVERIFY(rig.state().bufRecv.isEmpty());
    QTRY_VERIFY(device.client() != old);

    // The next reply is read on its own, not behind the stale head.
    device.clearReceived();
    rig.form.cmdRead_Click();
    QVERIFY(device.waitForReceived(12));
    device.send(hex("00 00 00 00 00 07 01 03 04 00 0A 01 2C"));
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers read"));
    QCOMPARE(rig.form.txtReg[0]->text(), QStringLiteral("10"));
    QCOMPARE(rig.form.txtReg[1]->text(), QStringLiteral("300"));
    QCOMPARE(rig.form.txtReg[2]->text(), QString());
}

// A device that answers the connection request only after the two seconds of the wait (its
// listen queue is full until then, so the first SYN is dropped and the next comes a second
// later): the wait runs its two seconds, the attempt is given up for good, and no connection
// appears behind the message.
void ConnectionTest::lateConnectionAbandoned()
{
    UnansweredPort port;
    QTcpServer &device = port.server;
    QVERIFY(port.open() != 0);

    WindowRig rig;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(device.serverPort());
    const double before = rig.services->clockSeconds();
    QVERIFY(!rig.connectTo(address));
    QVERIFY(rig.services->clockSeconds() - before >= 2.0);
    QCOMPARE(rig.status(), "Can't connect to " + address);
    device.resumeAccepting();
    QTRY_VERIFY(device.hasPendingConnections());
    delete device.nextPendingConnection();
    // Past the retransmission that would have connected.
    QTest::qWait(2500);
    QVERIFY(!device.hasPendingConnections());
    QVERIFY(rig.form.Winsock1.State() != SocketControl::Connected);
    rig.form.cmdRead_Click();
    QCOMPARE(rig.messages(), QStringList{"Device not connected via TCP/IP!"});
}

void ConnectionTest::disconnectAbandonsRequests_data()
{
    QTest::addColumn<bool>("unanswered");
    QTest::addColumn<int>("end"); // what the device's next read gets: 0 for a close, -ECONNRESET
    QTest::newRow("a request unanswered: reset") << true << -ECONNRESET;
    QTest::newRow("nothing pending: orderly close") << false << 0;
}

// Requests still unanswered at Disconnect go with the connection: a reset, never the
// orderly close after which the system would still deliver what it holds. The device is a
// plain socket, so that nothing reads its end before the test does.
void ConnectionTest::disconnectAbandonsRequests()
{
    QFETCH(bool, unanswered);
    QFETCH(int, end);
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof at;
    QVERIFY(::bind(server, reinterpret_cast<sockaddr *>(&at), size) == 0 && ::listen(server, 1) == 0);
    QVERIFY(::getsockname(server, reinterpret_cast<sockaddr *>(&at), &size) == 0);
    WindowRig rig;
    QVERIFY(rig.connectTo(QStringLiteral("127.0.0.1:%1").arg(ntohs(at.sin_port))));
    const int device = ::accept(server, nullptr, nullptr);
    ::close(server);
    char request[12];
    if (unanswered) {
        rig.form.cmdRead_Click();
        QCOMPARE(::recv(device, request, sizeof request, MSG_WAITALL), ssize_t(sizeof request));
    }
    rig.form.cmdDisconnect_Click();
    const ssize_t got = ::recv(device, request, sizeof request, 0);
    const int error = errno;
    ::close(device);
    QCOMPARE(got < 0 ? -error : int(got), end);
}

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
