// The tooltips: a value box names its item with the reference number of device manuals and,
// for a register, shows the value in hex, as a signed number and in binary, and with the next
// register as 32 bits; the status line shows the last request and reply byte by byte with the
// round trip. Checked on their own and on the window after real reads from a
// scripted device.

#include "device_rig.h"
#include "workflow/value_tooltips.h"

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

namespace {

// The tooltip a value box shows when the pointer rests on it: worked out only then.
QString shownTip(QWidget *box)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &event);
    QToolTip::hideText();
    return box->toolTip();
}

// A read against the scripted device as the operator does it: table, start and length
// typed, Read clicked; the device answers reply once it has the 12-byte request. The
// services' clock stands still at sentAt while the request goes out and reads repliedAt
// when the reply is handled, so the round trip is known exactly.
bool readFrom(WindowRig &rig, ScriptedDevice &device, const QString &table, const QString &start, const QString &length,
              const QList<QByteArray> &replyPieces, double sentAt, double repliedAt, QByteArray *request)
{
    rig.form.cboReg->setCurrentText(table);
    rig.form.txtStartReg->setText(start);
    rig.form.txtLengthReg->setText(length);
    device.clearReceived();
    rig.services->clock = sentAt;
    rig.form.cmdRead->click();
    if (!device.waitForReceived(12))
        return false;
    *request = device.received();
    rig.services->clock = repliedAt;
    const QString before = rig.form.lblStatus->toolTip();
    for (const QByteArray &piece : replyPieces) {
        device.send(piece);
        QTest::qWait(20);
    }
    return QTest::qWaitFor([&] { return rig.form.lblStatus->toolTip() != before; }, 5000);
}

} // namespace

class TooltipsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registerReadings_data();
    void registerReadings();
    void itemNames_data();
    void itemNames();
    void valueBoxPairs_data();
    void valueBoxPairs();
    void exchangeTip_data();
    void exchangeTip();

    void valueTipsAfterRead_data();
    void valueTipsAfterRead();
    void statusTipAfterRead_data();
    void statusTipAfterRead();
    void statusTipWhileWaiting();
    void valueTipsNameTheSource();
    void typedValueShowsItsReadings();
};

void TooltipsTest::registerReadings_data()
{
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("readings");
    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("300") << "300" << "0x012C  signed 300  binary 0000 0001 0010 1100";
    QTest::newRow("0") << "0" << "0x0000  signed 0  binary 0000 0000 0000 0000";
    QTest::newRow("32767, largest positive") << "32767" << "0x7FFF  signed 32767  binary 0111 1111 1111 1111";
    QTest::newRow("32768, sign bit alone") << "32768" << "0x8000  signed -32768  binary 1000 0000 0000 0000";
    QTest::newRow("65535, all ones") << "65535" << "0xFFFF  signed -1  binary 1111 1111 1111 1111";
    QTest::newRow("typed with blanks") << " 1 0" << "0x000A  signed 10  binary 0000 0000 0000 1010";
    QTest::newRow("trailing letters: a write refuses it") << "12abc" << "";
    QTest::newRow("typed in hex") << "&HA5" << "0x00A5  signed 165  binary 0000 0000 1010 0101";
    QTest::newRow("rounded as written") << "2.5" << "0x0002  signed 2  binary 0000 0000 0000 0010";
    // Texts the tool could not write as a register have no readings.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "  " << "";
    QTest::newRow("negative") << "-1" << "";
    QTest::newRow("above 65535") << "65536" << "";
    QTest::newRow("beyond 32 bits") << "1E12" << "";
    // clang-format on
}

void TooltipsTest::registerReadings()
{
    QFETCH(QString, boxText);
    QFETCH(QString, readings);
    QCOMPARE(tooltips::registerReadings(boxText), readings);
}

void TooltipsTest::itemNames_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("address"); // -1: no reply filled the box
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("name");
    // Beside the address, the reference number of device manuals: the table's digit and the
    // address + 1, in five digits while it fits, then in six.
    QTest::newRow("coil 0") << "Coil Outputs" << 0 << 7 << "Coil 0 (reference 00001)";
    QTest::newRow("discrete input") << "Digital Inputs" << 15 << 15 << "Discrete input 15 (reference 10016)";
    QTest::newRow("input register") << "Input Registers" << 20 << 2 << "Input register 20 (reference 30021)";
    QTest::newRow("register 9998") << "Holding Registers" << 9998 << 0 << "Holding register 9998 (reference 49999)";
    QTest::newRow("register 9999") << "Holding Registers" << 9999 << 0 << "Holding register 9999 (reference 410000)";
    QTest::newRow("last address") << "Holding Registers" << 65535 << 1 << "Holding register 65535 (reference 465536)";
    // No such item: the box is only a box.
    QTest::newRow("beyond the last address") << "Holding Registers" << 65536 << 1 << "Value 1";
    QTest::newRow("never filled") << "Coil Outputs" << -1 << 4 << "Value 4";
}

void TooltipsTest::itemNames()
{
    QFETCH(QString, table);
    QFETCH(int, address);
    QFETCH(int, box);
    QFETCH(QString, name);
    QCOMPARE(tooltips::itemName({table::named(table), address, {}, 0}, box), name);
}

void TooltipsTest::valueBoxPairs_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("nextAddress");
    QTest::addColumn<bool>("nextTyped");
    QTest::addColumn<int>("nextConnection"); // the box itself came over connection 1
    QTest::addColumn<bool>("pair");
    // Holding register 0x4366 with 0x8000 beside it, read from one device.
    QTest::newRow("the next register of the same connection") << 20 << 21 << false << 1 << true;
    QTest::newRow("a typed neighbour") << 20 << 21 << true << 1 << false;
    QTest::newRow("a neighbour from another address") << 20 << 22 << false << 1 << false;
    QTest::newRow("a neighbour over another connection") << 20 << 21 << false << 2 << false;
    QTest::newRow("no register past 65535") << 65535 << 65536 << false << 1 << false;
}

// Two boxes are read as one 32-bit value only when the second holds the next register that
// the same connection brought; the first line names the item and the device.
void TooltipsTest::valueBoxPairs()
{
    QFETCH(int, address);
    QFETCH(int, nextAddress);
    QFETCH(bool, nextTyped);
    QFETCH(int, nextConnection);
    QFETCH(bool, pair);
    const QString device = "192.168.0.10#3";
    const tooltips::BoxValue value{{&table::HoldingRegisters, address, device, 1}, false, "17254"};
    const tooltips::BoxValue next{{&table::HoldingRegisters, nextAddress, device, quint64(nextConnection)},
                                  nextTyped,
                                  "32768"};
    QString tip = QStringLiteral(
                      "Holding register %1 (reference 4%2) from 192.168.0.10#3\n"
                      "0x4366  signed 17254  binary 0100 0011 0110 0110")
                      .arg(address)
                      .arg(address + 1, 4, 10, QLatin1Char('0'));
    if (pair)
        tip +=
            "\nwith the next register: float 230.5  unsigned 1130790912  signed 1130790912\n"
            "words swapped: float -2.4178e-41  unsigned 2147500902  signed -2147466394";
    QCOMPARE(tooltips::valueBoxTip(0, value, next), tip);
}

void TooltipsTest::exchangeTip_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("roundTripMs");
    QTest::addColumn<QString>("tip");
    QTest::newRow("no reply yet") << hex("00 00 00 00 00 06 01 03 00 00 00 10") << QByteArray() << -1.0
                                  << "Last request (12 bytes):\n    00 00 00 00 00 06 01 03 00 00 00 10\nNo reply yet";
    QTest::newRow("exception") << hex("00 00 00 00 00 06 01 01 00 00 00 08") << hex("00 00 00 00 00 03 01 81 02") << 3.4
                               << "Last request (12 bytes):\n    00 00 00 00 00 06 01 01 00 00 00 08\n"
                                  "Last reply (9 bytes):\n    00 00 00 00 00 03 01 81 02\nRound trip: 3.4 ms";
    QTest::newRow("long reply wraps every 16 bytes")
        << hex("00 00 00 00 00 06 01 03 00 00 00 04") << hex("00 00 00 00 00 0B 01 03 08 00 01 00 02 00 03 00 04")
        << 1500.0
        << "Last request (12 bytes):\n    00 00 00 00 00 06 01 03 00 00 00 04\n"
           "Last reply (17 bytes):\n    00 00 00 00 00 0B 01 03 08 00 01 00 02 00 03 00\n    04\n"
           "Round trip: 1500.0 ms";
}

void TooltipsTest::exchangeTip()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(double, roundTripMs);
    QFETCH(QString, tip);
    QCOMPARE(tooltips::exchangeTip(request, reply, roundTripMs), tip);
}

void TooltipsTest::valueTipsAfterRead_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("tips"); // of boxes 0 to 3; "@" where the device is named
    // clang-format off
    // Each box is read as 32 bits with the next, the last register read on its own.
    QTest::newRow("input registers")
        << "Input Registers" << "4" << hex("00 00 00 00 00 0B 01 04 08 43 66 80 00 FF 80 00 00")
        << QStringList{"Input register 17 (reference 30018)@\n0x4366  signed 17254  binary 0100 0011 0110 0110\n"
                       "with the next register: float 230.5  unsigned 1130790912  signed 1130790912\n"
                       "words swapped: float -2.4178e-41  unsigned 2147500902  signed -2147466394",
                       "Input register 18 (reference 30019)@\n0x8000  signed -32768  binary 1000 0000 0000 0000\n"
                       "with the next register: float -9.165613e-41  unsigned 2147549056  signed -2147418240\n"
                       "words swapped: float NaN  unsigned 4286611456  signed -8355840",
                       "Input register 19 (reference 30020)@\n0xFF80  signed -128  binary 1111 1111 1000 0000\n"
                       "with the next register: float -infinity  unsigned 4286578688  signed -8388608\n"
                       "words swapped: float 9.165613e-41  unsigned 65408  signed 65408",
                       "Input register 20 (reference 30021)@\n0x0000  signed 0  binary 0000 0000 0000 0000"};
    QTest::newRow("coils") << "Coil Outputs" << "3" << hex("00 00 00 00 00 04 01 01 01 05")
                           << QStringList{"Coil 17 (reference 00018)@", "Coil 18 (reference 00019)@", "Coil 19 (reference 00020)@", "Value 3"};
    QTest::newRow("discrete inputs") << "Digital Inputs" << "2" << hex("00 00 00 00 00 04 01 02 01 02")
                                     << QStringList{"Discrete input 17 (reference 10018)@", "Discrete input 18 (reference 10019)@", "Value 2", "Value 3"};
    // clang-format on
}

void TooltipsTest::valueTipsAfterRead()
{
    QFETCH(QString, table);
    QFETCH(QString, length);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, tips);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    QByteArray request;
    QVERIFY(readFrom(rig, device, table, "17", length, {reply}, 1.0, 1.25, &request));
    QVERIFY(rig.form.txtReg[0]->text() != QString()); // the reply did fill the boxes
    for (int k = 0; k < tips.size(); ++k)
        QCOMPARE(shownTip(rig.form.txtReg[k]), QString(tips[k]).replace("@", " from " + rig.form.txtIP->text()));
}

void TooltipsTest::statusTipAfterRead_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("tip");
    const QString request = "Last request (12 bytes):\n    00 00 00 00 00 06 01 03 00 11 00 02\n";
    QTest::newRow("whole reply")
        << QList<QByteArray>{hex("00 00 00 00 00 07 01 03 04 00 0A 01 2C")}
        << request + "Last reply (13 bytes):\n    00 00 00 00 00 07 01 03 04 00 0A 01 2C\nRound trip: 250.0 ms";
    QTest::newRow("reply in two pieces")
        << QList<QByteArray>{hex("00 00 00 00 00 07 01"), hex("03 04 00 0A 01 2C")}
        << request + "Last reply (13 bytes):\n    00 00 00 00 00 07 01 03 04 00 0A 01 2C\nRound trip: 250.0 ms";
    QTest::newRow("exception reply")
        << QList<QByteArray>{hex("00 00 00 00 00 03 01 83 02")}
        << request + "Last reply (9 bytes):\n    00 00 00 00 00 03 01 83 02\nRound trip: 250.0 ms";
}

void TooltipsTest::statusTipAfterRead()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, tip);

    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    QByteArray request;
    QVERIFY(readFrom(rig, device, "Holding Registers", "17", "2", pieces, 2.0, 2.25, &request));
    QCOMPARE(request, hex("00 00 00 00 00 06 01 03 00 11 00 02"));
    QCOMPARE(rig.form.lblStatus->toolTip(), tip);
}

void TooltipsTest::statusTipWhileWaiting()
{
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    QVERIFY(rig.form.lblStatus->toolTip().isEmpty()); // nothing sent yet
    rig.form.cboReg->setCurrentText("Coil Outputs");
    rig.form.txtStartReg->setText("300");
    rig.form.txtLengthReg->setText("2");
    rig.form.cmdRead->click();
    QVERIFY(device.waitForReceived(12));
    QCOMPARE(rig.form.lblStatus->toolTip(),
             QStringLiteral("Last request (12 bytes):\n    00 00 00 00 00 06 01 01 01 2C 00 02\nNo reply yet"));
}

void TooltipsTest::valueTipsNameTheSource()
{
    ScriptedDevice device;
    WindowRig rig;
    QVERIFY(connectRig(rig, device));
    QByteArray request;
    QVERIFY(readFrom(rig, device, "Holding Registers", "0", "1", {hex("00 00 00 00 00 05 01 03 02 80 00")}, 1.0, 1.5,
                     &request));
    const QString register0 = "Holding register 0 (reference 40001) from " + rig.form.txtIP->text()
                            + "\n0x8000  signed -32768  binary 1000 0000 0000 0000";
    QCOMPARE(shownTip(rig.form.txtReg[0]), register0);

    // The value came from register 0, whatever the start and the table say now.
    rig.form.txtStartReg->setText("500");
    rig.form.cboReg->setCurrentText("Coil Outputs");
    QCOMPARE(shownTip(rig.form.txtReg[0]), register0);
    QCOMPARE(shownTip(rig.form.txtReg[5]), QStringLiteral("Value 5"));
}

void TooltipsTest::typedValueShowsItsReadings()
{
    // A value typed for a write says so, and shows what a write would send.
    WindowRig rig;
    QCOMPARE(shownTip(rig.form.txtReg[3]), QStringLiteral("Value 3"));
    QTest::keyClicks(rig.form.txtReg[3], "4660");
    QCOMPARE(shownTip(rig.form.txtReg[3]),
             QStringLiteral(
                 "Value 3: typed, not read from the device\n0x1234  signed 4660  binary 0001 0010 0011 0100"));
    QTest::keyClicks(rig.form.txtReg[3], "x");
    QCOMPARE(shownTip(rig.form.txtReg[3]), QStringLiteral("Value 3: typed, not read from the device"));
}

QTEST_MAIN(TooltipsTest)
#include "tst_tooltips.moc"
