// The Read and Write buttons, the table selector and the monitoring button, driven on the
// real window against a device on loopback; and the refusal boxes of monitoring, which must
// not pile up.

#include "device_rig.h"
#include "exchange_fakes.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QWheelEvent>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class CommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableByExactName_data();
    void tableByExactName();
    void pickingTable_data();
    void pickingTable();
    void pickingFromOpenList();
    void typingRaisesNothing();
    void onlyAChoiceReads_data();
    void onlyAChoiceReads();
    void monitoringButton_data();
    void monitoringButton();
    void monitoringTickHoldsBack_data();
    void monitoringTickHoldsBack();
    void refusalsDoNotPileUp_data();
    void refusalsDoNotPileUp();
    void realTicksWhileBoxOpen();
};

void CommandsTest::tableByExactName_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("expected"); // empty: nothing is sent

    const QByteArray readHolding = hex("00 00 00 00 00 06 01 03 00 00 00 01");
    const QByteArray readCoils = hex("00 00 00 00 00 06 01 01 00 00 00 01");
    const QByteArray readInputs = hex("00 00 00 00 00 06 01 02 00 00 00 01");
    const QByteArray writeHolding = hex("00 00 00 00 00 09 01 10 00 00 00 01 02 00 01");
    const QByteArray writeCoils = hex("00 00 00 00 00 08 01 0F 00 00 00 01 01 01");

    QTest::newRow("Read, Holding Registers") << "Holding Registers" << false << readHolding;
    QTest::newRow("Read, Coil Outputs") << "Coil Outputs" << false << readCoils;
    QTest::newRow("Read, Digital Inputs") << "Digital Inputs" << false << readInputs;
    QTest::newRow("Read, Input Registers") << "Input Registers" << false << hex("00 00 00 00 00 06 01 04 00 00 00 01");
    QTest::newRow("Write, Holding Registers") << "Holding Registers" << true << writeHolding;
    QTest::newRow("Write, Coil Outputs") << "Coil Outputs" << true << writeCoils;
    // Discrete inputs and input registers are read-only.
    QTest::newRow("Write, Digital Inputs") << "Digital Inputs" << true << QByteArray();
    QTest::newRow("Write, Input Registers") << "Input Registers" << true << QByteArray();
    QTest::newRow("Read, lower case") << "holding registers" << false << QByteArray();
    QTest::newRow("Write, lower case") << "holding registers" << true << QByteArray();
    QTest::newRow("Read, trailing blank") << "Holding Registers " << false << QByteArray();
    QTest::newRow("Write, trailing blank") << "Coil Outputs " << true << QByteArray();
    QTest::newRow("Read, leading blank") << " Digital Inputs" << false << QByteArray();
    QTest::newRow("Read, empty") << "" << false << QByteArray();
    QTest::newRow("Write, empty") << "" << true << QByteArray();
}

void CommandsTest::tableByExactName()
{
    QFETCH(QString, table);
    QFETCH(bool, write);
    QFETCH(QByteArray, expected);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    rig.form.txtStartReg->setText("0");
    rig.form.txtLengthReg->setText("1");
    rig.form.txtReg[0]->setText("1");
    rig.form.cboReg->setEditText(table);
    QCOMPARE(rig.form.cboReg->currentText(), table);

    if (write)
        rig.form.cmdWrite_Click();
    else
        rig.form.cmdRead_Click();

    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(rig.form.TimerTO.isRunning(), !expected.isEmpty());
    QCOMPARE(rig.state().awaited.size(), expected.isEmpty() ? 0 : 1);
    expectOnWire(rig, device, expected);
}

void CommandsTest::pickingTable_data()
{
    QTest::addColumn<bool>("socketConnected");
    QTest::addColumn<bool>("connectEnabled"); // the window's own idea of not being connected
    QTest::addColumn<int>("item");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("connected, picks Coil Outputs")
        << true << false << 1 << hex("00 00 00 00 00 06 01 01 00 00 00 10") << QStringList();
    QTest::newRow("connected, picks Digital Inputs")
        << true << false << 2 << hex("00 00 00 00 00 06 01 02 00 00 00 10") << QStringList();
    QTest::newRow("connected, picks Holding Registers")
        << true << false << 0 << hex("00 00 00 00 00 06 01 03 00 00 00 10") << QStringList();
    QTest::newRow("not connected, picks Coil Outputs") << false << true << 1 << QByteArray() << QStringList();
    // The connection completed after the wait: the window does not consider itself connected.
    QTest::newRow("socket connected, Connect still enabled") << true << true << 1 << QByteArray() << QStringList();
    // The window believes itself connected though the socket is not: the read is refused.
    QTest::newRow("Connect disabled, socket closed")
        << false << false << 1 << QByteArray() << QStringList{"Device not connected via TCP/IP"};
}

void CommandsTest::pickingTable()
{
    QFETCH(bool, socketConnected);
    QFETCH(bool, connectEnabled);
    QFETCH(int, item);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, messages);

    ScriptedDevice device;
    WindowRig rig;
    if (socketConnected)
        QVERIFY(connectRig(rig, device));
    rig.form.cmdConnect->setEnabled(connectEnabled);

    QComboBox *c = rig.form.cboReg;
    c->setCurrentIndex(item);
    Q_EMIT c->activated(item);

    QCOMPARE(rig.messages(), messages);
    QCOMPARE(rig.form.TimerTO.isRunning(), !expected.isEmpty());
    if (socketConnected)
        expectOnWire(rig, device, expected);
}

void CommandsTest::pickingFromOpenList()
{
    // The operator opens the list and clicks an item: the coil read goes out at once.
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(rig.shown());
    QVERIFY(connectRig(rig, device));

    QComboBox *c = rig.form.cboReg;
    c->showPopup();
    QAbstractItemView *list = c->view();
    QTRY_VERIFY(list->isVisible());
    const QRect item = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(c->currentText(), QStringLiteral("Coil Outputs"));
    QVERIFY(device.waitForReceived(12));
    QCOMPARE(device.received().toHex(' '), hex("00 00 00 00 00 06 01 01 00 00 00 10").toHex(' '));
}

void CommandsTest::typingRaisesNothing()
{
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(rig.shown());
    QVERIFY(connectRig(rig, device));

    QComboBox *c = rig.form.cboReg;
    QSignalSpy picked(c, &QComboBox::activated);
    c->lineEdit()->selectAll();
    QTest::keyClicks(c->lineEdit(), "Coil Outputs");
    QTest::keyClick(c->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(c->lineEdit(), "s");
    QCOMPARE(c->currentText(), QStringLiteral("Coil Outputs"));
    QCOMPARE(picked.count(), 0);
    QCOMPARE(rig.messages(), QStringList());
    QVERIFY(!rig.form.TimerTO.isRunning());
    expectOnWire(rig, device, QByteArray());

    // The typed name is exact, so Read takes it as the coil table.
    device.clearReceived();
    rig.form.txtStartReg->setText("0");
    rig.form.txtLengthReg->setText("2");
    QTest::mouseClick(rig.form.cmdRead, Qt::LeftButton);
    QVERIFY(device.waitForReceived(12));
    QCOMPARE(device.received().toHex(' '), hex("00 01 00 00 00 06 01 01 00 00 00 02").toHex(' '));
}

void CommandsTest::onlyAChoiceReads_data()
{
    QTest::addColumn<QString>("typed"); // empty: nothing typed
    QTest::addColumn<QString>("then");
    QTest::addColumn<QByteArray>("expected");

    for (const char *name : {"Holding Registers", "Coil Outputs", "Digital Inputs"}) {
        for (const char *then : {"Return", "Tab", "click elsewhere"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(name, then))) << name << then << QByteArray();
    }
    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("wheel without the focus") << "" << "wheel" << QByteArray();
    // A step with the arrow keys while the selector has the focus is a choice.
    QTest::newRow("arrow down with the focus") << "" << "Down" << hex("00 00 00 00 00 06 01 01 00 00 00 10");
    // clang-format on
}

void CommandsTest::onlyAChoiceReads()
{
    QFETCH(QString, typed);
    QFETCH(QString, then);
    QFETCH(QByteArray, expected);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(rig.shown());
    QVERIFY(connectRig(rig, device));
    QComboBox *c = rig.form.cboReg;
    // Typed over another table, so that the end of typing would change the current item.
    c->setCurrentIndex(typed == "Holding Registers" ? 1 : 0);
    const int indexBefore = c->currentIndex();

    if (!typed.isEmpty() || then == "Down") {
        c->setFocus();
        QTRY_VERIFY(c->hasFocus());
    }
    if (!typed.isEmpty()) {
        c->lineEdit()->selectAll();
        QTest::keyClicks(c->lineEdit(), typed);
    }
    if (then == "Return")
        QTest::keyClick(c->lineEdit(), Qt::Key_Return);
    else if (then == "Tab")
        QTest::keyClick(c->lineEdit(), Qt::Key_Tab);
    else if (then == "click elsewhere")
        QTest::mouseClick(rig.form.txtStartReg, Qt::LeftButton);
    else if (then == "Down")
        QTest::keyClick(c, Qt::Key_Down);
    else if (then == "wheel") {
        rig.form.txtIP->setFocus();
        const QPointF at = c->rect().center();
        QWheelEvent wheel(at, c->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(c, &wheel);
        QCOMPARE(c->currentIndex(), indexBefore);
    }
    if (then != "Down")
        QVERIFY(!c->hasFocus() || then == "Return");

    QCOMPARE(rig.messages(), QStringList());
    expectOnWire(rig, device, expected);
}

void CommandsTest::monitoringButton_data()
{
    QTest::addColumn<QString>("captionBefore");
    QTest::addColumn<bool>("runningBefore");
    QTest::addColumn<QString>("captionAfter");
    QTest::addColumn<bool>("runningAfter");

    const QString on = "Realtime Monitoring ON";
    const QString off = "Realtime Monitoring OFF";
    QTest::newRow("ON starts monitoring") << on << false << off << true;
    QTest::newRow("OFF stops monitoring") << off << true << on << false;
    QTest::newRow("OFF after a disconnect only resets the caption") << off << false << on << false;
    QTest::newRow("lower-case caption stops") << "Realtime Monitoring on" << false << on << false;
    QTest::newRow("caption with trailing blank stops") << "Realtime Monitoring ON " << true << on << false;
}

void CommandsTest::monitoringButton()
{
    QFETCH(QString, captionBefore);
    QFETCH(bool, runningBefore);
    QFETCH(QString, captionAfter);
    QFETCH(bool, runningAfter);

    WindowRig rig; // not connected: the button does not look at the connection
    rig.form.cmdRealtime->setText(captionBefore);
    if (runningBefore)
        rig.form.TimerRead.start();

    QTest::mouseClick(rig.form.cmdRealtime, Qt::LeftButton);

    QCOMPARE(rig.form.cmdRealtime->text(), captionAfter);
    QCOMPARE(rig.form.TimerRead.isRunning(), runningAfter);
    QCOMPARE(rig.form.TimerRead.timer().interval(), 1000);
    QCOMPARE(rig.messages(), QStringList()); // the click itself reads nothing
    rig.form.TimerRead.stop();
}

void CommandsTest::monitoringTickHoldsBack_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<qint64>("unacknowledged"); // bytes the device's TCP has not acknowledged
    QTest::newRow("a text that names no table stops monitoring") << "Holding registers" << qint64(0);
    QTest::newRow("bytes not acknowledged: the link is down") << "Holding Registers" << qint64(12);
}

// A tick that sends nothing: requests must not pile up behind a dead link, and monitoring
// must not seem to run on a table that does not exist.
void CommandsTest::monitoringTickHoldsBack()
{
    QFETCH(QString, table);
    QFETCH(qint64, unacknowledged);
    const bool goesOn = unacknowledged > 0;

    FakeSocket socket;
    WindowRig rig(&socket);
    rig.form.cboReg->setEditText(table);
    socket.unacknowledged = unacknowledged;
    rig.form.cmdRealtime_Click();
    rig.form.TimerRead_Timer();
    QCOMPARE(socket.sent.size(), 0);
    QCOMPARE(rig.form.TimerRead.isRunning(), goesOn);
    QCOMPARE(rig.form.cmdRealtime->text(), goesOn ? caption::MonitoringOff : caption::MonitoringOn);
    QCOMPARE(rig.messages(), QStringList());
    // Once the link has caught up, the next tick asks again.
    socket.unacknowledged = 0;
    rig.form.TimerRead_Timer();
    QCOMPARE(socket.sent.size(), goesOn ? 1 : 0);
    rig.form.TimerRead.stop();
}

void CommandsTest::refusalsDoNotPileUp_data()
{
    addRefusalColumns();

    // Which refusal each table and length gets is in tst_read_requests; here, one refused
    // before the connection is looked at and one after.
    QTest::newRow("not connected") << false << "Coil Outputs"
                                   << "16"
                                   << "Device not connected via TCP/IP";
    QTest::newRow("connected, length 17") << true << "Holding Registers"
                                          << "17"
                                          << "Can not read more than 16 registers!";
}

void CommandsTest::refusalsDoNotPileUp()
{
    QFETCH(bool, connected);
    QFETCH(QString, table);
    QFETCH(QString, length);
    QFETCH(QString, message);

    ScriptedDevice device;
    WindowRig rig;
    if (connected)
        QVERIFY(connectRig(rig, device));
    rig.form.cboReg->setEditText(table);
    rig.form.txtLengthReg->setText(length);
    rig.form.cmdRealtime_Click();

    // While the box is open two more ticks come due; each must neither send nor open a box.
    // Monitoring has already stopped by then, and the caption offers to start it again.
    int depth = 0;
    qsizetype boxesWhileOpen = -1;
    bool monitoringWhileOpen = true;
    rig.services->whileOpen = [&](const QString &) {
        if (depth++ == 0) {
            monitoringWhileOpen = rig.form.TimerRead.isRunning();
            rig.form.TimerRead_Timer();
            rig.form.TimerRead_Timer();
            boxesWhileOpen = rig.services->messages.size();
        }
        --depth;
    };
    rig.form.TimerRead_Timer();
    rig.services->whileOpen = nullptr;

    QCOMPARE(boxesWhileOpen, qsizetype(1));
    QVERIFY(!monitoringWhileOpen);
    QCOMPARE(rig.messages(), QStringList{message});
    QVERIFY(!rig.form.TimerTO.isRunning());
    QVERIFY(rig.state().awaited.isEmpty());
    QCOMPARE(rig.form.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON"));

    if (connected)
        expectOnWire(rig, device, QByteArray());
}

void CommandsTest::realTicksWhileBoxOpen()
{
    // Monitoring runs without a connection and the operator clicks Read: while that box is
    // open the ticker goes on, and its ticks are dropped instead of opening more boxes.
    WindowRig rig;
    QSignalSpy ticks(&rig.form.TimerRead.timer(), &QTimer::timeout);
    bool ticked = false;
    rig.services->whileOpen = [&](const QString &) {
        if (rig.services->messages.size() == 1)
            ticked = QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000);
    };
    rig.form.cmdRealtime_Click();
    QTest::mouseClick(rig.form.cmdRead, Qt::LeftButton);
    rig.form.cmdRealtime_Click();
    rig.services->whileOpen = nullptr;

    QVERIFY(ticked);
    QCOMPARE(rig.messages(), QStringList{"Device not connected via TCP/IP!"});
    QVERIFY(!rig.form.TimerRead.isRunning());
    QCOMPARE(rig.form.cmdRealtime->text(), QStringLiteral("Realtime Monitoring ON"));
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
