#pragma once

#include "scripted_device.h"
#include "window_rig.h"

#include <QTest>

// The window talking to a scripted device over loopback.

// Starts the device listening and connects the window to it, at address with the device's
// port for %1; true once the device has the client, so that nothing the window sends next
// can arrive before the device sees it.
inline bool connectRig(WindowRig &rig, ScriptedDevice &device, const QString &address = "127.0.0.1:%1")
{
    return device.listen() && rig.connectTo(address.arg(device.port())) && device.waitForClient();
}

// A read the test knows the bytes of: whatever reaches the device before it came from
// the call under test, since TCP keeps the order. Its transaction id follows the requests
// sent before it.
inline const QByteArray Sentinel = hex("00 00 00 00 00 06 01 03 00 07 00 03");

inline QByteArray sendSentinel(WindowRig &rig)
{
    QByteArray sentinel = Sentinel;
    const quint16 id = rig.state().nextTransactionId;
    sentinel[0] = char(id >> 8);
    sentinel[1] = char(id & 0xff);
    rig.form.txtStartReg->setText("7");
    rig.form.txtLengthReg->setText("3");
    rig.form.exchange().ReadHolding();
    return sentinel;
}

// Everything the device got, checked up to and including the sentinel.
inline void expectOnWire(WindowRig &rig, ScriptedDevice &device, const QByteArray &expected)
{
    const QByteArray sentinel = sendSentinel(rig);
    QVERIFY(device.waitForReceived(expected.size() + sentinel.size()));
    QTest::qWait(20);
    QCOMPARE(device.received().toHex(' '), (expected + sentinel).toHex(' '));
}

// The columns of a table of refused reads: whether the window is connected first, the table
// asked for, the length typed and the one message box the refusal opens.
inline void addRefusalColumns()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("message");
}
