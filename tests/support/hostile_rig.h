#pragma once

// The window against a device that misbehaves on purpose, and the check that follows every
// misbehaviour: after a reconnect the tool reads a well-behaved device (modbus-sim, whose
// holding register k holds k) correctly.

#include "scripted_device.h"
#include "sim_process.h"
#include "window_rig.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include <linux/sockios.h>
#include <sys/ioctl.h>

struct HostileRig : WindowRig {
    ScriptedDevice device;

    // Connects the window to the scripted device and waits until the device has it.
    bool connectDevice()
    {
        return (device.port() != 0 || device.listen()) && connectTo(device.hostPort()) && device.waitForClient();
    }

    void setRequest(const QString &table, const QString &start, const QString &length)
    {
        form.cboReg->setCurrentText(table);
        form.txtStartReg->setText(start);
        form.txtLengthReg->setText(length);
    }

    // Clicks Read or Write and waits until the device has the whole request.
    bool clickRead()
    {
        return sendAndWait([this] { form.cmdRead_Click(); }, 12);
    }
    bool clickWrite(int requestSize)
    {
        return sendAndWait([this] { form.cmdWrite_Click(); }, requestSize);
    }
    template <typename F>
    bool sendAndWait(F click, int requestSize)
    {
        const qsizetype before = device.received().size();
        click();
        return device.waitForReceived(int(before) + requestSize);
    }

    QStringList boxes() const
    {
        QStringList texts;
        for (const QLineEdit *box : form.txtReg)
            texts.append(box->text());
        return texts;
    }
    void setBoxes(const QStringList &texts)
    {
        for (int k = 0; k < 16; ++k)
            form.txtReg[k]->setText(k < texts.size() ? texts[k] : QString());
    }

    bool waitForStatus(const QString &text, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return status() == text; }, timeoutMs);
    }
    // Waits for the status and the boxes together: a reply split by TCP may show an earlier
    // state for a moment.
    bool waitForWindow(const QString &text, const QStringList &texts, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return status() == text && boxes() == texts; }, timeoutMs);
    }

    // Everything the device sent has reached the tool and the tool has taken it: nothing
    // left in the device's buffer, in either kernel queue, or in the tool's socket.
    bool deliveredAndTaken()
    {
        auto queued = [](qintptr fd, unsigned long request) {
            int n = 0;
            return ::ioctl(int(fd), request, &n) == 0 ? n : -1;
        };
        const QTcpSocket *tool = form.Winsock1.findChild<QTcpSocket *>();
        const QTcpSocket *dev = device.client();
        return tool && dev && dev->bytesToWrite() == 0 && queued(dev->socketDescriptor(), SIOCOUTQ) == 0
            && queued(tool->socketDescriptor(), FIONREAD) == 0 && tool->bytesAvailable() == 0;
    }
};

// A whole read holding registers reply (unit 1) carrying these values; the transaction id
// is that of the connection's first request unless given.
inline QByteArray registersReply(const QList<quint16> &values, quint16 transactionId = 0)
{
    QByteArray r = QByteArray::fromHex("0000 0000 0000 01 03 00");
    r[0] = char(transactionId >> 8);
    r[1] = char(transactionId & 0xff);
    r[5] = char(3 + 2 * values.size());
    r[8] = char(2 * values.size());
    for (quint16 v : values) {
        r.append(char(v >> 8));
        r.append(char(v & 0xff));
    }
    return r;
}

// Whatever the window went through, a reconnect to a well-behaved device and a read of
// holding registers 100 to 102 show "Registers read" and exactly those values.
inline void readsWellAfterReconnect(HostileRig &w, const SimProcess &sim)
{
    if (w.form.cmdDisconnect->isEnabled())
        w.form.cmdDisconnect_Click();
    QVERIFY2(w.connectTo(sim.hostPort()), qPrintable(w.status()));
    QCOMPARE(w.status(), QStringLiteral("Connected"));
    w.setRequest(QStringLiteral("Holding Registers"), QStringLiteral("100"), QStringLiteral("3"));
    w.form.cmdRead_Click();
    QVERIFY2(w.waitForStatus(QStringLiteral("Registers read")), qPrintable(w.status()));
    QCOMPARE(w.statusColour(), Green);
    QCOMPARE(w.boxes(), sixteen({"100", "101", "102"}));
    QVERIFY(!w.form.TimerTO.isRunning());
    QCOMPARE(w.state().bufRecv.size(), 0);
}
