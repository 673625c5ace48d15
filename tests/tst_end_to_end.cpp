// The window against the device simulator: one read from click to display, monitoring
// that follows changing values, and a Disconnect that ends monitoring.

#include "sim_process.h"
#include "window_rig.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// Replaces the text of a box the way the operator does: click, select all, type.
void typeInto(QLineEdit *box, const QString &text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        QTest::keyClicks(box, text);
    QCOMPARE(box->text(), text);
}

void showAndActivate(Form1 &f)
{
    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roadOfOneRead_data();
    void roadOfOneRead();
    void monitoringFollowsValues_data();
    void monitoringFollowsValues();
    void disconnectDuringMonitoring();
    void typingSurvivesMonitoring();
};

void EndToEndTest::roadOfOneRead_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QByteArray>("read"); // the read request on the wire
    // The simulator's RTU side is libmodbus's own RTU server behind a bridge: its frames and
    // CRCs are none of ours. The request is the one the Modbus standard's CRC rules give.
    QTest::newRow("Modbus TCP: the connection's second request has id 1")
        << QStringList{} << hex("00 01 00 00 00 06 01 03 00 00 00 02");
    QTest::newRow("Modbus RTU over TCP, as behind a converter")
        << QStringList{"--rtu"} << hex("01 03 00 00 00 02 C4 0B");
}

void EndToEndTest::roadOfOneRead()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QByteArray, read);

    SimProcess sim(simArgs);
    QVERIFY(sim.start());
    WindowRig rig;
    Form1 &f = rig.form;
    showAndActivate(f);

    typeInto(f.txtIP, sim.toolAddress());
    QTest::mouseClick(f.cmdConnect, Qt::LeftButton);
    QCOMPARE(rig.status(), QStringLiteral("Connected"));

    // Write 10 and 300 to holding registers 0 and 1.
    QCOMPARE(f.cboReg->currentText(), QStringLiteral("Holding Registers"));
    typeInto(f.txtStartReg, "0");
    typeInto(f.txtLengthReg, "2");
    typeInto(f.txtReg[0], "10");
    typeInto(f.txtReg[1], "300");
    QTest::mouseClick(f.cmdWrite, Qt::LeftButton);
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers written"));
    QCOMPARE(rig.statusColour(), Green);

    // Clear what was typed and put stale text where the read must leave nothing.
    typeInto(f.txtReg[0], "");
    typeInto(f.txtReg[1], "");
    for (int k = 2; k < 16; ++k)
        typeInto(f.txtReg[k], "99");

    QTest::mouseClick(f.cmdRead, Qt::LeftButton);
    QCOMPARE(rig.state().awaited.last().wire.toHex(' '), read.toHex(' '));
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers read"));
    QCOMPARE(rig.statusColour(), Green);
    QCOMPARE(f.txtReg[0]->text(), QStringLiteral("10"));
    QCOMPARE(f.txtReg[1]->text(), QStringLiteral("300"));
    for (int k = 2; k < 16; ++k)
        QCOMPARE(f.txtReg[k]->text(), QString());
    QVERIFY(!f.TimerTO.isRunning());
    QCOMPARE(rig.messages(), QStringList());
}

void EndToEndTest::monitoringFollowsValues_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("changingBox");
    QTest::addColumn<int>("steadyBox");
    QTest::addColumn<QString>("steadyValue");
    QTest::addColumn<bool>("counts");    // counts up; otherwise toggles between 0 and 1
    QTest::addColumn<int>("firstEmpty"); // a bit read fills the whole data byte: 8 boxes

    // The simulator's pattern: holding and input register k hold k, coil k is 1 when k is a
    // multiple of 3; live, both registers 0 count up and coil 1 toggles.
    QTest::newRow("holding register 0 counts") << "Holding Registers" << 0 << 1 << "1" << true << 2;
    QTest::newRow("input register 0 counts") << "Input Registers" << 0 << 1 << "1" << true << 2;
    QTest::newRow("coil 1 toggles") << "Coil Outputs" << 1 << 0 << "1" << false << 8;
}

void EndToEndTest::monitoringFollowsValues()
{
    QFETCH(QString, table);
    QFETCH(int, changingBox);
    QFETCH(int, steadyBox);
    QFETCH(QString, steadyValue);
    QFETCH(bool, counts);
    QFETCH(int, firstEmpty);

    SimProcess sim({"--live"});
    QVERIFY(sim.start());
    WindowRig rig;
    Form1 &f = rig.form;
    QVERIFY(rig.connectTo(sim.hostPort()));
    f.cboReg->setCurrentText(table);
    f.txtLengthReg->setText("2");

    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);
    QCOMPARE(f.cmdRealtime->text(), QStringLiteral("Realtime Monitoring OFF"));
    // The values box by box as they change on screen, each read once a second by a tick.
    QStringList seen;
    bool steady = true;
    const bool followed = QTest::qWaitFor(
        [&] {
            const QString now = f.txtReg[changingBox]->text();
            if (!now.isEmpty() && (seen.isEmpty() || seen.last() != now))
                seen.append(now);
            if (!now.isEmpty() && f.txtReg[steadyBox]->text() != steadyValue)
                steady = false;
            return seen.size() >= 3;
        },
        9000);
    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);

    QVERIFY2(followed, qPrintable(seen.join(',')));
    QVERIFY(steady);
    for (int i = 1; i < seen.size(); ++i) {
        if (counts)
            QVERIFY2(seen[i].toInt() > seen[i - 1].toInt(), qPrintable(seen.join(',')));
        else
            QVERIFY2((seen[i] == "0" || seen[i] == "1") && seen[i] != seen[i - 1], qPrintable(seen.join(',')));
    }
    QCOMPARE(rig.status(), QStringLiteral("Registers read"));
    QCOMPARE(rig.statusColour(), Green);
    for (int k = firstEmpty; k < 16; ++k)
        QCOMPARE(f.txtReg[k]->text(), QString());
    QCOMPARE(rig.messages(), QStringList());
    QVERIFY(!f.TimerRead.isRunning());
}

void EndToEndTest::disconnectDuringMonitoring()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowRig rig;
    Form1 &f = rig.form;
    QVERIFY(rig.connectTo(sim.hostPort()));
    f.txtLengthReg->setText("3");

    QSignalSpy ticks(&f.TimerRead.timer(), &QTimer::timeout);
    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Registers read"), 5000);
    QCOMPARE(f.txtReg[2]->text(), QStringLiteral("2"));

    QTest::mouseClick(f.cmdDisconnect, Qt::LeftButton);
    QCOMPARE(rig.status(), QStringLiteral("Disconnected"));
    QCOMPARE(rig.statusColour(), Red);
    QVERIFY(!f.TimerRead.isRunning());
    QCOMPARE(f.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON"));

    // No tick after the Disconnect: each would be refused with a box, now that nothing is
    // connected.
    const auto ticksAtDisconnect = ticks.count();
    QTest::qWait(1300);
    QCOMPARE(ticks.count(), ticksAtDisconnect);
    QCOMPARE(rig.messages(), QStringList());

    // One click starts monitoring again. Its first tick is refused, once, and monitoring
    // stops: the caption offers to start it again.
    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);
    QCOMPARE(f.cmdRealtime->text(), QStringLiteral("Realtime Monitoring OFF"));
    QVERIFY(f.TimerRead.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(rig.messages(), QStringList{"Device not connected via TCP/IP!"}, 3000);
    QVERIFY(!f.TimerRead.isRunning());
    QCOMPARE(f.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON"));
    QTest::qWait(1300);
    QCOMPARE(rig.messages(), QStringList{"Device not connected via TCP/IP!"});
}

void EndToEndTest::typingSurvivesMonitoring()
{
    SimProcess sim({"--live"});
    QVERIFY(sim.start());
    WindowRig rig;
    Form1 &f = rig.form;
    showAndActivate(f);
    QVERIFY(rig.connectTo(sim.hostPort()));
    f.txtLengthReg->setText("2");
    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);
    QTRY_COMPARE(f.txtReg[1]->text(), QStringLiteral("1"));

    // Typed at a person's pace over two refreshes of register 0, which counts up meanwhile.
    QSignalSpy ticks(&f.TimerRead.timer(), &QTimer::timeout);
    QTest::mouseClick(f.txtReg[0], Qt::LeftButton);
    QTest::keyClick(f.txtReg[0], Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(f.txtReg[0], "5555", Qt::NoModifier, 500);
    QTRY_VERIFY(ticks.count() >= 2);
    QCOMPARE(f.txtReg[0]->text(), QStringLiteral("5555"));
    QVERIFY(f.txtReg[0]->font().italic());
    QCOMPARE(f.txtReg[0]->accessibleDescription(), QStringLiteral("typed, not read from the device"));
    QVERIFY(!f.txtReg[1]->font().italic());

    // Write sends what was typed; once confirmed, the box shows the register again, which
    // counts on from the value written.
    QTest::mouseClick(f.cmdWrite, Qt::LeftButton);
    QTRY_COMPARE(rig.status(), QStringLiteral("Registers written"));
    QVERIFY(!f.txtReg[0]->font().italic());
    QTRY_VERIFY2(f.txtReg[0]->text().toInt() > 5555 && f.txtReg[0]->text().toInt() < 5600,
                 qPrintable(f.txtReg[0]->text()));
    QTest::mouseClick(f.cmdRealtime, Qt::LeftButton);
    QCOMPARE(rig.messages(), QStringList());
}

QTEST_MAIN(EndToEndTest)
#include "tst_end_to_end.moc"
