// Replies as the device sends them: decoded into the sixteen boxes and the status line,
// judged against the request that was sent, however TCP cuts or joins them. How the stream
// is cut into replies when it goes wrong, and the reply timeout, are in tst_reply_stream.

#include "exchange_rig.h"

using namespace rig;

namespace {

struct Case {
    QByteArray name;
    QString request;
    QString length;
    QString lengthAfter; // the length text when the reply arrives
    QByteArray reply;
    QString status;
    int colour;
    bool prefixOnly;
    QStringList boxes;
};

// A confirmed write shows what it sent, 1 in each of its n boxes; the others keep their markers.
QStringList written(int n)
{
    QStringList boxes = markerBoxes();
    for (int k = 0; k < n; ++k)
        boxes[k] = QStringLiteral("1");
    return boxes;
}

QList<Case> cases()
{
    const QString malformed = QStringLiteral("Malformed reply");
    // clang-format off
    QList<Case> c{
        {"10 and 65535", "holding", "16", "16", hex("0000 0000 0007 01 03 04 000A FFFF"), "Registers read", Green, false,
         sixteen({"10", "65535"})},
        {"coils 05 80", "coils", "16", "16", hex("0000 0000 0005 01 01 02 05 80"), "Registers read", Green, false,
         sixteen({"1", "0", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1"})},
        {"three inputs, fill bits not shown", "inputs", "3", "3", hex("0000 0000 0004 01 02 01 E5"), "Registers read",
         Green, false, sixteen({"1", "0", "1"})},
        {"one coil of a byte of eight", "coils", "1", "1", hex("0000 0000 0004 01 01 01 49"), "Registers read", Green,
         false, sixteen({"1"})},
        {"input registers 230.5", "input registers", "2", "2", hex("0000 0000 0007 01 04 04 4366 8000"), "Registers read",
         Green, false, sixteen({"17254", "32768"})},
        {"four registers when two were asked", "holding", "2", "2", hex("0000 0000 000B 01 03 08 0001 0002 0003 0004"),
         "Registers read", Green, false, sixteen({"1", "2"})},
        {"byte count 0", "holding", "16", "16", hex("0000 0000 0003 01 03 00"), "Registers read", Green, false, Emptied},
        {"fewer values than asked", "holding", "16", "16", hex("0000 0000 0005 01 03 02 0001"), "Registers read", Green,
         false, sixteen({"1"})},
        {"sixteen registers", "holding", "16", "16",
         hex("0000 0000 0023 01 03 20 0000 0001 0002 0003 0004 0005 0006 0007 0008 0009 000A 000B 000C 000D 000E 000F"),
         "Registers read", Green, false,
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"}},
        {"seventeen registers fill sixteen boxes", "holding", "16", "16",
         hex("0000 0000 0025 01 03 22 0001 0002 0003 0004 0005 0006 0007 0008 0009 000A 000B 000C 000D 000E 000F 0010 "
             "0011"),
         "Registers read", Green, false,
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"}},
        {"three coil bytes fill sixteen boxes", "coils", "16", "16", hex("0000 0000 0006 01 01 03 FF 00 FF"),
         "Registers read", Green, false,
         {"1", "1", "1", "1", "1", "1", "1", "1", "0", "0", "0", "0", "0", "0", "0", "0"}},
        {"register reply to a coil read", "coils", "16", "16", hex("0000 0000 0005 01 03 02 0102"),
         "Unexpected reply: function code 3", Yellow, false, Emptied},
        {"exception to another function", "holding", "16", "16", hex("0000 0000 0003 01 81 02"),
         "Unexpected reply: function code 129", Yellow, false, Emptied},
        {"byte count larger than data", "holding", "16", "16", hex("0000 0000 0007 01 03 08 000A FFFF"), malformed, Yellow,
         true, Emptied},
        {"byte count smaller than data", "holding", "16", "16", hex("0000 0000 0007 01 03 02 000A FFFF"), malformed,
         Yellow, true, Emptied},
        {"odd byte count for registers", "holding", "16", "16", hex("0000 0000 0006 01 03 03 000A FF"), malformed, Yellow,
         true, Emptied},
        {"odd byte count for input registers", "input registers", "16", "16", hex("0000 0000 0006 01 04 03 000A FF"), malformed,
         Yellow, true, Emptied},
        {"byte count 255", "holding", "16", "16", hex("0000 0000 0007 01 03 FF 000A FFFF"), malformed, Yellow, true,
         Emptied},
        {"coil byte count larger than data", "coils", "16", "16", hex("0000 0000 0004 01 01 02 05"), malformed, Yellow,
         true, Emptied},
        {"read reply without byte count", "holding", "16", "16", hex("0000 0000 0002 01 03"), malformed, Yellow, true,
         Emptied},
        {"exception without code after read", "holding", "16", "16", hex("0000 0000 0002 01 83"), malformed, Yellow, true,
         Emptied},
        {"coil exception", "coils", "16", "16", hex("0000 0000 0003 01 81 02"), exceptionText(2), Yellow, false, Emptied},
        {"function code 5 after read", "holding", "16", "16", hex("0000 0000 0006 01 05 0000 FF00"),
         "Unexpected reply: function code 5", Yellow, false, Emptied},
        {"write echo after read", "inputs", "16", "16", hex("0000 0000 0006 01 10 0000 000A"),
         "Unexpected reply: function code 16", Yellow, false, Emptied},

        {"write echo of 10", "registers write", "10", "10", hex("0000 0000 0006 01 10 0000 000A"), "Registers written",
         Green, false, written(10)},
        {"length changed to 9 after the send", "registers write", "10", "9", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, written(10)},
        {"length changed to 10.5 after the send", "registers write", "10", "10.5", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, written(10)},
        {"length emptied after the send", "registers write", "10", "", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, written(10)},
        {"length 10.5 sent as 10", "registers write", "10.5", "10.5", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, written(10)},
        {"length 3.5 sent as 4", "registers write", "3.5", "3.5", hex("0000 0000 0006 01 10 0000 0004"),
         "Registers written", Green, false, written(4)},
        {"length 3.5 sent as 4, echo of 3", "registers write", "3.5", "3.5", hex("0000 0000 0006 01 10 0000 0003"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"wrong quantity", "registers write", "10", "10", hex("0000 0000 0006 01 10 0000 000B"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"quantity high byte differs", "registers write", "10", "10", hex("0000 0000 0006 01 10 0000 010A"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"read reply after write", "registers write", "10", "10", hex("0000 0000 0007 01 03 04 000A FFFF"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"coil echo after register write", "registers write", "10", "10", hex("0000 0000 0006 01 0F 0000 000A"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"register echo after coil write", "coils write", "10", "10", hex("0000 0000 0006 01 10 0000 000A"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"coil write echo", "coils write", "16", "16", hex("0000 0000 0006 01 0F 0000 0010"), "Registers written", Green,
         false, written(16)},
        {"echo of another start", "coils write", "16", "16", hex("0000 0000 0006 01 0F 012C 0010"),
         "Error writting registers", Yellow, false, markerBoxes()},
        {"short write echo", "registers write", "10", "10", hex("0000 0000 0004 01 10 0000"), malformed, Yellow, true,
         markerBoxes()},
        {"N = 0 refused by the device", "registers write", "0", "0", hex("0000 0000 0003 01 90 03"), exceptionText(3),
         Yellow, false, markerBoxes()},
        {"coil write exception", "coils write", "10", "10", hex("0000 0000 0003 01 8F 02"), exceptionText(2), Yellow,
         false, markerBoxes()},
    };
    // clang-format on
    for (int code = 1; code <= 12; ++code) {
        QByteArray readException = hex("0000 0000 0003 01 83");
        readException.append(char(code));
        QByteArray writeException = hex("0000 0000 0003 01 90");
        writeException.append(char(code));
        c.append({QByteArray("exception ") + QByteArray::number(code) + " after read", "holding", "16", "16",
                  readException, exceptionText(code), Yellow, false, Emptied});
        c.append({QByteArray("exception ") + QByteArray::number(code) + " after write", "registers write", "10", "10",
                  writeException, exceptionText(code), Yellow, false, markerBoxes()});
    }
    return c;
}

// AfterStray and BeforeStray join the reply to one that answers no request.
enum Delivery { Whole, Halves, Bytewise, AfterStray, BeforeStray };

} // namespace

Q_DECLARE_METATYPE(Delivery)

class tst_ReplyHandling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reply_data();
    void reply();
    void arrivalBeforeAnyRequest_data();
    void arrivalBeforeAnyRequest();
};

void tst_ReplyHandling::reply_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("lengthAfter");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("colour");
    QTest::addColumn<bool>("prefixOnly");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<Delivery>("delivery");

    const QList<QPair<Delivery, const char *>> deliveries{{Whole, "whole"},
                                                          {Halves, "two halves"},
                                                          {Bytewise, "byte by byte"},
                                                          {AfterStray, "joined after a stray reply"},
                                                          {BeforeStray, "joined before a stray reply"}};
    for (const Case &c : cases()) {
        for (const auto &[delivery, how] : deliveries)
            QTest::addRow("%s, %s", c.name.constData(), how)
                << c.request << c.length << c.lengthAfter << c.reply << c.status << c.colour << c.prefixOnly << c.boxes
                << delivery;
    }
}

void tst_ReplyHandling::reply()
{
    QFETCH(QString, request);
    QFETCH(QString, length);
    QFETCH(QString, lengthAfter);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, status);
    QFETCH(int, colour);
    QFETCH(bool, prefixOnly);
    QFETCH(QStringList, boxes);
    QFETCH(Delivery, delivery);

    Rig rig;
    QVERIFY(rig.send(request, length));
    rig.controls.length = lengthAfter;
    // The reply comes just before its deadline: the wait ends, and no timeout follows.
    rig.advance(2.999);

    switch (delivery) {
    case Whole: rig.arrive(bytes); break;
    case Halves:
        rig.arrive(bytes.left(bytes.size() / 2));
        QVERIFY(rig.controls.statuses.isEmpty());
        QVERIFY(rig.alarm.running);
        rig.arrive(bytes.mid(bytes.size() / 2));
        break;
    case Bytewise:
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            QVERIFY2(rig.controls.statuses.isEmpty(), qPrintable(QStringLiteral("handled after %1 bytes").arg(i)));
            QVERIFY(rig.alarm.running);
            rig.arrive(bytes.mid(i, 1));
        }
        break;
    case AfterStray: rig.arrive(Rig::strayReply() + bytes); break;
    case BeforeStray: rig.arrive(bytes + Rig::strayReply()); break;
    }

    rig.advance(10);                           // an answered request never times out, whatever the answer
    QCOMPARE(rig.controls.statuses.size(), 1); // handled once, the stray reply not at all
    const StatusLine shown = rig.controls.lastStatus();
    QVERIFY2(statusMatches(shown, status, colour, prefixOnly),
             qPrintable(QStringLiteral("shown \"%1\" in colour %2").arg(shown.text).arg(int(shown.colour))));
    QCOMPARE(rig.controls.boxes, boxes);
    QCOMPARE(rig.controls.boxesOutOfRange, 0);
    QVERIFY(!rig.alarm.running);
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
    QVERIFY(rig.socket.waiting.isEmpty());
    QVERIFY(rig.exchange.state().awaited.isEmpty()); // the request is settled
    QCOMPARE(rig.socket.sent.size(), 1);
}

void tst_ReplyHandling::arrivalBeforeAnyRequest_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("register reply") << hex("0000 0000 0007 01 03 04 000A FFFF");
    QTest::newRow("exception") << hex("0000 0000 0003 01 83 02");
    QTest::newRow("write echo") << hex("0000 0000 0006 01 10 0000 000A");
    QTest::newRow("malformed byte count") << hex("0000 0000 0007 01 03 08 000A FFFF");
    QTest::newRow("bad header") << hex("0000 0001 0007 01 03 04 000A FFFF");
    QTest::newRow("part of a reply") << hex("0000 0000 0007 01");
    QTest::newRow("two replies") << hex("0000 0000 0003 01 83 02 0000 0000 0003 01 03 00");
}

void tst_ReplyHandling::arrivalBeforeAnyRequest()
{
    QFETCH(QByteArray, bytes);

    Rig rig;
    rig.controls.boxes = markerBoxes();
    rig.arrive(bytes);
    QVERIFY(rig.controls.statuses.isEmpty());
    QCOMPARE(rig.controls.boxes, markerBoxes());
    QCOMPARE(rig.alarm.starts, 0);
    QVERIFY(rig.socket.sent.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ReplyHandling)
#include "tst_reply_handling.moc"
