// The reply timeout with the real one-second tickers: three ticks without an accepted reply
// report it, an accepted reply ends the wait, and monitoring a silent device never reports
// it because every send starts the count again.

#include "device_rig.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// Ticks of the timeout ticker, counted after the handler has run.
struct TickCount {
    explicit TickCount(Form1 &f) : spy(&f.TimerTO.timer(), &QTimer::timeout) {}
    QSignalSpy spy;
    int count() const { return int(spy.count()); }
};

void sendRequest(WindowRig &rig, const QString &kind)
{
    rig.form.txtStartReg->setText("0");
    if (kind == "read") {
        rig.form.txtLengthReg->setText("2");
        rig.form.exchange().ReadHolding();
    } else {
        rig.form.txtLengthReg->setText("1");
        rig.form.txtReg[0]->setText("7");
        rig.form.exchange().WriteHolding();
    }
}

} // namespace

class ReplyTimeoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thirdTickReportsTimeout();
    void replyAfterSecondTick_data();
    void replyAfterSecondTick();
    void monitoringSilentDevice();
};

void ReplyTimeoutTest::thirdTickReportsTimeout()
{

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    TickCount ticks(rig.form);
    sendRequest(rig, "read");
    QVERIFY(rig.form.TimerTO.isRunning());

    QVERIFY(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000));
    QCOMPARE(rig.status(), QStringLiteral("Connected")); // two ticks are not yet a timeout
    QCOMPARE(rig.state().countTO, qint16(2));

    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Modbus Time Out!"), 5000);
    QCOMPARE(rig.statusColour(), Yellow);
    QCOMPARE(ticks.count(), 3);
    QCOMPARE(rig.state().countTO, qint16(0));
    QVERIFY(!rig.form.TimerTO.isRunning());
    QCOMPARE(rig.messages(), QStringList());
}

void ReplyTimeoutTest::replyAfterSecondTick_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");

    QTest::newRow("read answered") << "read" << hex("00 00 00 00 00 07 01 03 04 00 0A 01 2C") << "Registers read";
    // A device that answered is not silent, even when the answer is wrong.
    QTest::newRow("write answered with another quantity") << "write" << hex("00 00 00 00 00 06 01 10 00 00 00 02")
                                                          << "Error writting registers";
}

void ReplyTimeoutTest::replyAfterSecondTick()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    TickCount ticks(rig.form);
    sendRequest(rig, request);
    QVERIFY(device.waitForReceived(12));

    QVERIFY(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000));
    device.send(reply);
    QTRY_COMPARE(rig.status(), status);
    QCOMPARE(rig.state().countTO, qint16(0));
    QVERIFY(!rig.form.TimerTO.isRunning());

    // Past the moment of the third tick: still no timeout.
    QTest::qWait(1500);
    QCOMPARE(rig.status(), status);
    QCOMPARE(ticks.count(), 2);
}

void ReplyTimeoutTest::monitoringSilentDevice()
{
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    rig.form.txtLengthReg->setText("4");

    // A read at once and then one a second: five requests span four seconds, more than
    // the three ticks that would report a single unanswered read.
    // Connected after the window's own handler: sees the count right after each send.
    QList<qint16> countAfterTick;
    connect(&rig.form.TimerRead.timer(), &QTimer::timeout, this,
            [&] { countAfterTick.append(rig.state().countTO); });
    rig.form.cmdRead_Click();
    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);
    QCOMPARE(rig.form.cmdRealtime->text(), QStringLiteral("Realtime Monitoring OFF"));
    bool timedOut = false;
    const bool fiveSent = QTest::qWaitFor(
        [&] {
            timedOut = timedOut || rig.status() == QStringLiteral("Modbus Time Out!");
            return device.received().size() >= 5 * 12;
        },
        9000);
    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);

    QVERIFY(fiveSent);
    QVERIFY(!timedOut);
    QVERIFY(countAfterTick.size() >= 4);
    QCOMPARE(countAfterTick, QList<qint16>(countAfterTick.size(), 0));
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    QCOMPARE(rig.messages(), QStringList());
    const QByteArray one = hex("00 00 00 00 00 06 01 03 00 00 00 04");
    QCOMPARE(device.received().left(5 * 12).toHex(' '), one.repeated(5).toHex(' '));
    QVERIFY(!rig.form.TimerRead.isRunning());
    QCOMPARE(rig.form.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON"));
}

QTEST_MAIN(ReplyTimeoutTest)
#include "tst_reply_timeout.moc"
