// The reply timeout with the real timers: monitoring reports a device that falls silent three
// seconds after the request it left unanswered, and recovers by itself when it answers again.
// The deadlines themselves are checked on a virtual clock in tst_reply_stream.

#include "device_rig.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class ReplyTimeoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void monitoringSilentDevice();
};

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
    QSignalSpy alarms(&rig.form.TimerTO.timer(), &QTimer::timeout);

    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);
    QVERIFY(device.waitForReceived(12));
    device.send(reply);
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers read"));

    // Silent from now on: the next request is the first it leaves unanswered, and its deadline
    // reports the timeout while monitoring goes on.
    QVERIFY(device.waitForReceived(24));
    QElapsedTimer sinceRequest;
    sinceRequest.start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Modbus Time Out!"), 5000);
    QVERIFY2(sinceRequest.elapsed() >= 2900, qPrintable(QString::number(sinceRequest.elapsed())));
    QCOMPARE(rig.statusColour(), Yellow);
    QCOMPARE(alarms.count(), 1); // woken once, at the deadline
    QVERIFY(rig.form.TimerRead.isRunning());
    // Meanwhile the ticks of monitoring sent nothing more: one request per timeout. The tick
    // due with the deadline may already have asked again.
    QCOMPARE(device.received().left(24).toHex(' '), requests.toHex(' '));
    QVERIFY(device.received().size() <= 36);

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
