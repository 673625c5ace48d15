// The reply timeout with the real timers: a request without a reply is reported three seconds
// after it went out, not before, a reply ends the wait, and monitoring reports a device that
// falls silent and recovers by itself when it answers again.

#include "device_rig.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// How often the timeout's alarm fired, counted after the handler has run.
struct AlarmCount {
    explicit AlarmCount(Form1 &f) : spy(&f.TimerTO.timer(), &QTimer::timeout) {}
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
    void timeoutAfterThreeSeconds();
    void replyBeforeTheDeadline_data();
    void replyBeforeTheDeadline();
    void monitoringSilentDevice();
};

void ReplyTimeoutTest::timeoutAfterThreeSeconds()
{
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    AlarmCount alarms(rig.form);
    QElapsedTimer sinceSend;
    sinceSend.start();
    sendRequest(rig, "read");
    QVERIFY(rig.form.TimerTO.isRunning());

    QTest::qWait(2000);
    QCOMPARE(rig.status(), QStringLiteral("Connected"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Modbus Time Out!"), 5000);
    QVERIFY2(sinceSend.elapsed() >= 3000, qPrintable(QString::number(sinceSend.elapsed())));
    QCOMPARE(rig.statusColour(), Yellow);
    QCOMPARE(alarms.count(), 1); // woken once, at the deadline
    QVERIFY(!rig.form.TimerTO.isRunning());
    QCOMPARE(rig.messages(), QStringList());
}

void ReplyTimeoutTest::replyBeforeTheDeadline_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");

    QTest::newRow("read answered") << "read" << hex("00 00 00 00 00 07 01 03 04 00 0A 01 2C") << "Registers read";
    // A device that answered is not silent, even when the answer is wrong.
    QTest::newRow("write answered with another quantity") << "write" << hex("00 00 00 00 00 06 01 10 00 00 00 02")
                                                          << "Error writting registers";
}

void ReplyTimeoutTest::replyBeforeTheDeadline()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    AlarmCount alarms(rig.form);
    sendRequest(rig, request);
    QVERIFY(device.waitForReceived(12));

    QTest::qWait(2000);
    device.send(reply);
    QTRY_COMPARE(rig.status(), status);
    QVERIFY(!rig.form.TimerTO.isRunning());

    // Past the deadline: still no timeout.
    QTest::qWait(1500);
    QCOMPARE(rig.status(), status);
    QCOMPARE(alarms.count(), 0);
}

void ReplyTimeoutTest::monitoringSilentDevice()
{
    // Monitoring a device that answers, then falls silent, then answers again.
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    rig.form.txtLengthReg->setText("1");
    // Transaction ids 0, 1 and 2, one for each request.
    const QByteArray requests = hex("00 00 00 00 00 06 01 03 00 00 00 01 00 01 00 00 00 06 01 03 00 00 00 01");
    const QByteArray reply = hex("00 00 00 00 00 05 01 03 02 00 2A");
    AlarmCount alarms(rig.form);

    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);
    QVERIFY(device.waitForReceived(12));
    device.send(reply);
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers read"));

    // Silent from now on: the next request is the first it leaves unanswered, and its deadline
    // reports the timeout while monitoring goes on.
    QVERIFY(device.waitForReceived(24));
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Modbus Time Out!"), 5000);
    QCOMPARE(rig.statusColour(), Yellow);
    QCOMPARE(alarms.count(), 1);
    QVERIFY(rig.form.TimerRead.isRunning());
    // Meanwhile the ticks of monitoring sent nothing more: one request per timeout.
    QCOMPARE(device.received().toHex(' '), requests.toHex(' '));

    // The tick after the timeout asks again, and the device's answer is shown as fresh.
    QVERIFY(device.waitForReceived(36, 3000));
    device.send(hex("00 02 00 00 00 05 01 03 02 00 2B"));
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers read"));
    QCOMPARE(rig.statusColour(), Green);
    QCOMPARE(rig.form.txtReg[0]->text(), QStringLiteral("43"));
    QCOMPARE(rig.messages(), QStringList());
    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);
    QVERIFY(!rig.form.TimerRead.isRunning());
}

QTEST_MAIN(ReplyTimeoutTest)
#include "tst_reply_timeout.moc"
