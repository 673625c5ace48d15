// The four read requests as they leave the window over a real loopback connection, and
// every way a read is refused before anything is sent.

#include "device_rig.h"

#include <QComboBox>
#include <QTest>

namespace {

void callRead(WindowRig &rig, const QString &table)
{
    if (table == "holding")
        rig.form.exchange().ReadHolding();
    else if (table == "coils")
        rig.form.exchange().ReadCoils();
    else if (table == "inputs")
        rig.form.exchange().ReadInputs();
    else if (table == "input registers")
        rig.form.exchange().ReadInputRegisters();
    else
        QFAIL("unknown table");
}

// What a refused request must leave as it was: the requests awaited and their wait.
struct Snapshot {
    QList<QByteArray> awaited;
    bool timerTO;
    quint16 nextTransactionId;
};

Snapshot snapshot(WindowRig &rig)
{
    const FormState &s = rig.state();
    QList<QByteArray> frames;
    for (const SentRequest &r : s.awaited)
        frames.append(r.wire);
    return {frames, rig.form.TimerTO.isRunning(), s.nextTransactionId};
}

void expectUnchanged(const Snapshot &before, const Snapshot &after)
{
    QCOMPARE(after.awaited, before.awaited);
    QCOMPARE(after.timerTO, before.timerTO);
    QCOMPARE(after.nextTransactionId, before.nextTransactionId);
}

} // namespace

class ReadRequestsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onTheWire_data();
    void onTheWire();
    void refused_data();
    void refused();
    void conversionFailure_data();
    void conversionFailure();
};

void ReadRequestsTest::onTheWire_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QByteArray>("expected");

    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("holding, start 0, length 16") << "holding" << "0" << "16" << hex("00 00 00 00 00 06 01 03 00 00 00 10");
    QTest::newRow("coils, start 300, length 2") << "coils" << "300" << "2" << hex("00 00 00 00 00 06 01 01 01 2C 00 02");
    QTest::newRow("inputs, start 65535, length 1") << "inputs" << "65535" << "1" << hex("00 00 00 00 00 06 01 02 FF FF 00 01");
    QTest::newRow("input registers, start 20, length 2") << "input registers" << "20" << "2" << hex("00 00 00 00 00 06 01 04 00 14 00 02");
    QTest::newRow("length exactly 16 for bits") << "coils" << "0" << "16" << hex("00 00 00 00 00 06 01 01 00 00 00 10");
    QTest::newRow("empty length asks for 0") << "holding" << "5" << "" << hex("00 00 00 00 00 06 01 03 00 05 00 00");
    QTest::newRow("letters-only length asks for 0") << "inputs" << "5" << "abc" << hex("00 00 00 00 00 06 01 02 00 05 00 00");
    QTest::newRow("length 0") << "coils" << "1" << "0" << hex("00 00 00 00 00 06 01 01 00 01 00 00");
    QTest::newRow("empty start is address 0") << "holding" << "" << "4" << hex("00 00 00 00 00 06 01 03 00 00 00 04");
    QTest::newRow("blank between digits") << "holding" << "2 56" << "1 0" << hex("00 00 00 00 00 06 01 03 01 00 00 0A");
    QTest::newRow("start 2.5 rounds to 2") << "holding" << "2.5" << "3.5" << hex("00 00 00 00 00 06 01 03 00 02 00 04");
    QTest::newRow("length 15.6 rounds to 16") << "holding" << "0" << "15.6" << hex("00 00 00 00 00 06 01 03 00 00 00 10");
    QTest::newRow("trailing letters ignored") << "coils" << "12abc" << "2x" << hex("00 00 00 00 00 06 01 01 00 0C 00 02");
    QTest::newRow("exponent") << "holding" << "1E3" << "1e1" << hex("00 00 00 00 00 06 01 03 03 E8 00 0A");
    // The unit picked in the address box, behind a host name.
    QTest::newRow("unit 7, localhost:port#7") << "coils" << "0" << "1" << hex("00 00 00 00 00 06 07 01 00 00 00 01");
    // clang-format on
}

void ReadRequestsTest::onTheWire()
{
    QFETCH(QString, table);
    QFETCH(QString, start);
    QFETCH(QString, length);
    QFETCH(QByteArray, expected);

    ScriptedDevice device;
    WindowRig rig;
    const int unit = quint8(expected[6]);
    QVERIFY(connectRig(rig, device, unit == 1 ? "127.0.0.1:%1" : "localhost:%1#" + QString::number(unit)));

    rig.form.txtStartReg->setText(start);
    rig.form.txtLengthReg->setText(length);
    callRead(rig, table);

    QVERIFY(device.waitForReceived(expected.size()));
    QTest::qWait(20); // anything beyond the 12 bytes would show here
    QCOMPARE(device.received().toHex(' '), expected.toHex(' '));
    QCOMPARE(rig.state().awaited.size(), 1);
    QCOMPARE(rig.state().awaited.last().wire.toHex(' '), expected.toHex(' '));
    QVERIFY(rig.form.TimerTO.isRunning());
    QCOMPARE(rig.messages(), QStringList());
}

void ReadRequestsTest::refused_data()
{
    addRefusalColumns();

    const QString tooMany = "Can not read more than 16 registers!";
    // clang-format off
    QTest::newRow("length 17, connected") << true << "holding" << "17" << tooMany;
    QTest::newRow("length 16.01, connected") << true << "holding" << "16.01" << tooMany;
    QTest::newRow("length 16.4 (whole number 16), connected") << true << "coils" << "16.4" << tooMany;
    QTest::newRow("length 1E2 for inputs, connected") << true << "inputs" << "1E2" << tooMany;
    QTest::newRow("length 17, not connected: the length is checked first") << false << "holding" << "17" << tooMany;
    QTest::newRow("length 16.01 for coils, not connected") << false << "coils" << "16.01" << tooMany;
    QTest::newRow("length 99999 for inputs, not connected") << false << "inputs" << "99999" << tooMany;
    QTest::newRow("holding, not connected") << false << "holding" << "16" << "Device not connected via TCP/IP!";
    QTest::newRow("coils, not connected") << false << "coils" << "16" << "Device not connected via TCP/IP";
    QTest::newRow("inputs, not connected") << false << "inputs" << "16" << "Device not connected via TCP/IP";
    QTest::newRow("input registers, not connected") << false << "input registers" << "16" << "Device not connected via TCP/IP";
    QTest::newRow("holding, not connected, bad start left unread") << false << "holding" << "-1" << "Device not connected via TCP/IP!";
    // clang-format on
}

void ReadRequestsTest::refused()
{
    QFETCH(bool, connected);
    QFETCH(QString, table);
    QFETCH(QString, length);
    QFETCH(QString, message);

    ScriptedDevice device;
    WindowRig rig;
    if (connected)
        QVERIFY(connectRig(rig, device));
    const Snapshot before = snapshot(rig);
    rig.form.txtStartReg->setText("0");
    rig.form.txtLengthReg->setText(length);
    callRead(rig, table);

    QCOMPARE(rig.messages(), QStringList{message});
    expectUnchanged(before, snapshot(rig));
    QVERIFY(!rig.form.TimerTO.isRunning());
    if (connected)
        expectOnWire(rig, device, QByteArray());
}

void ReadRequestsTest::conversionFailure_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("waiting"); // a read is already outstanding when the failing one is asked

    // clang-format off
    QTest::newRow("start 70000") << "holding" << "70000" << "2" << "start address" << false;
    QTest::newRow("start 65536") << "coils" << "65536" << "2" << "start address" << false;
    QTest::newRow("start -1") << "inputs" << "-1" << "2" << "start address" << false;
    QTest::newRow("start beyond 32 bits") << "holding" << "1E12" << "2" << "start address" << false;
    QTest::newRow("start -0.6 rounds to -1") << "holding" << "-0.6" << "2" << "start address" << false;
    QTest::newRow("length -1") << "holding" << "0" << "-1" << "length" << false;
    QTest::newRow("length -3 for coils") << "coils" << "0" << "-3" << "length" << false;
    QTest::newRow("start 70000 while waiting") << "holding" << "70000" << "2" << "start address" << true;
    QTest::newRow("length -1 while waiting") << "inputs" << "0" << "-1" << "length" << true;
    // clang-format on
}

void ReadRequestsTest::conversionFailure()
{
    QFETCH(QString, table);
    QFETCH(QString, start);
    QFETCH(QString, length);
    QFETCH(QString, field);
    QFETCH(bool, waiting);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    if (waiting) {
        // An outstanding write: none of it may change.
        rig.form.txtStartReg->setText("0");
        rig.form.txtLengthReg->setText("1");
        rig.form.txtReg[0]->setText("7");
        rig.form.exchange().WriteHolding();
        QVERIFY(device.waitForReceived(15));
        device.clearReceived();
    }
    const Snapshot before = snapshot(rig);
    const QString statusBefore = rig.status();

    rig.form.txtStartReg->setText(start);
    rig.form.txtLengthReg->setText(length);
    callRead(rig, table);

    QCOMPARE(rig.messages().size(), 1);
    QVERIFY2(rig.messages().first().contains(field, Qt::CaseInsensitive), qPrintable(rig.messages().first()));
    expectUnchanged(before, snapshot(rig));
    QCOMPARE(rig.form.TimerTO.isRunning(), waiting);
    QCOMPARE(rig.status(), statusBefore); // a refusal is a message box, not a status

    expectOnWire(rig, device, QByteArray());
}

QTEST_MAIN(ReadRequestsTest)
#include "tst_read_requests.moc"
