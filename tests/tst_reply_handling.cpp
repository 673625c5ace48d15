// Replies as the device sends them: decoded into the sixteen boxes and the status line,
// judged against the request that was sent, however TCP cuts or joins them.

#include "exchange_fakes.h"
#include "fake_services.h"

#include "exchange/exchange.h"

#include <QRandomGenerator>
#include <QtTest>

// Failure messages name the status line shown.
char *toString(const StatusLine &s)
{
    return QTest::toString(QStringLiteral("\"%1\" in colour %2").arg(s.text).arg(int(s.colour)));
}

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

constexpr int Green = int(StatusColour::Green);
constexpr int Yellow = int(StatusColour::Yellow);

QStringList filled(QStringList first)
{
    while (first.size() < 16)
        first.append(QString());
    return first;
}

QStringList markers()
{
    QStringList m;
    for (int k = 0; k < 16; ++k)
        m.append(QStringLiteral("m%1").arg(k));
    return m;
}

const QStringList Emptied = filled({});

QString exceptionText(int code)
{
    static const QMap<int, QString> names{
        {1, "Illegal function"},       {2, "Illegal data address"},     {3, "Illegal data value"},
        {4, "Server device failure"},  {5, "Acknowledge"},              {6, "Server device busy"},
        {8, "Memory parity error"},    {10, "Gateway path unavailable"}, {11, "Gateway target device failed to respond"},
    };
    const QString head = QStringLiteral("Modbus exception %1").arg(code);
    return names.contains(code) ? head + QStringLiteral(": ") + names[code] : head;
}

struct Rig {
    FakeControls controls;
    FakeSocket socket;
    FakeTicker ticker;
    RecordingServices services;
    ModbusExchange exchange{controls, socket, ticker, services};

    // Sends one request with every box holding 1, then puts markers in the boxes so that
    // an emptied or untouched box can be told apart.
    bool send(const QString &request, const QString &length)
    {
        controls.length = length;
        controls.boxes = QStringList(16, QStringLiteral("1"));
        const qsizetype before = socket.sent.size();
        if (request == QLatin1String("holding"))
            exchange.ReadHolding();
        else if (request == QLatin1String("coils"))
            exchange.ReadCoils();
        else if (request == QLatin1String("inputs"))
            exchange.ReadInputs();
        else if (request == QLatin1String("registers write"))
            exchange.WriteHolding();
        else if (request == QLatin1String("coils write"))
            exchange.WriteCoils();
        controls.boxes = markers();
        controls.statuses.clear();
        return socket.sent.size() == before + 1 && services.messages.isEmpty() && ticker.running;
    }
    bool isWrite() const { return exchange.state().flagWrite; }
    void arrive(const QByteArray &bytes)
    {
        socket.waiting += bytes;
        exchange.Winsock1_DataArrival(qint32(socket.waiting.size()));
    }
    // A sound reply to the request sent, with a result of its own.
    QByteArray otherReply() const
    {
        if (!isWrite())
            return hex("0000 0000 0005 01 03 02 1234");
        return hex("0000 0000 0006 01 10 0000") + socket.sent.last().mid(10, 2);
    }
    StatusLine otherStatus() const
    {
        return isWrite() ? StatusLine{"Registers written", StatusColour::Green}
                         : StatusLine{"Registers read", StatusColour::Green};
    }
    QStringList otherBoxes(const QStringList &before) const { return isWrite() ? before : filled({"4660"}); }
};

bool statusMatches(const StatusLine &s, const QString &text, int colour, bool prefixOnly)
{
    return int(s.colour) == colour && (prefixOnly ? s.text.startsWith(text) : s.text == text);
}

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

QList<Case> cases()
{
    const QString malformed = QStringLiteral("Malformed reply");
    QList<Case> c{
        {"10 and 65535", "holding", "16", "16", hex("0000 0000 0007 01 03 04 000A FFFF"), "Registers read", Green, false,
         filled({"10", "65535"})},
        {"coils 05 80", "coils", "16", "16", hex("0000 0000 0005 01 01 02 05 80"), "Registers read", Green, false,
         filled({"1", "0", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1"})},
        {"three inputs with fill bits", "inputs", "3", "3", hex("0000 0000 0004 01 02 01 E5"), "Registers read", Green,
         false, filled({"1", "0", "1", "0", "0", "1", "1", "1"})},
        {"byte count 0", "holding", "16", "16", hex("0000 0000 0003 01 03 00"), "Registers read", Green, false, Emptied},
        {"fewer values than asked", "holding", "16", "16", hex("0000 0000 0005 01 03 02 0001"), "Registers read", Green,
         false, filled({"1"})},
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
        {"decoded by its own function code", "coils", "16", "16", hex("0000 0000 0005 01 03 02 0102"), "Registers read",
         Green, false, filled({"258"})},
        {"byte count larger than data", "holding", "16", "16", hex("0000 0000 0007 01 03 08 000A FFFF"), malformed, Yellow,
         true, Emptied},
        {"byte count smaller than data", "holding", "16", "16", hex("0000 0000 0007 01 03 02 000A FFFF"), malformed,
         Yellow, true, Emptied},
        {"odd byte count for registers", "holding", "16", "16", hex("0000 0000 0006 01 03 03 000A FF"), malformed, Yellow,
         true, Emptied},
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
         Green, false, markers()},
        {"length changed to 9 after the send", "registers write", "10", "9", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, markers()},
        {"length changed to 10.5 after the send", "registers write", "10", "10.5", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, markers()},
        {"length emptied after the send", "registers write", "10", "", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, markers()},
        {"length 10.5 sent as 10", "registers write", "10.5", "10.5", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, markers()},
        {"length 3.5 sent as 4", "registers write", "3.5", "3.5", hex("0000 0000 0006 01 10 0000 0004"),
         "Registers written", Green, false, markers()},
        {"length 3.5 sent as 4, echo of 3", "registers write", "3.5", "3.5", hex("0000 0000 0006 01 10 0000 0003"),
         "Error writting registers", Yellow, false, markers()},
        {"wrong quantity", "registers write", "10", "10", hex("0000 0000 0006 01 10 0000 000B"),
         "Error writting registers", Yellow, false, markers()},
        {"quantity high byte differs", "registers write", "10", "10", hex("0000 0000 0006 01 10 0000 010A"),
         "Error writting registers", Yellow, false, markers()},
        {"read reply after write", "registers write", "10", "10", hex("0000 0000 0007 01 03 04 000A FFFF"),
         "Error writting registers", Yellow, false, markers()},
        {"coil echo after register write", "registers write", "10", "10", hex("0000 0000 0006 01 0F 0000 000A"),
         "Registers written", Green, false, markers()},
        {"register echo after coil write", "coils write", "10", "10", hex("0000 0000 0006 01 10 0000 000A"),
         "Registers written", Green, false, markers()},
        {"coil write echo", "coils write", "16", "16", hex("0000 0000 0006 01 0F 012C 0010"), "Registers written", Green,
         false, markers()},
        {"short write echo", "registers write", "10", "10", hex("0000 0000 0004 01 10 0000"), malformed, Yellow, true,
         markers()},
        {"N = 0 refused by the device", "registers write", "0", "0", hex("0000 0000 0003 01 90 03"), exceptionText(3),
         Yellow, false, markers()},
        {"coil write exception", "coils write", "10", "10", hex("0000 0000 0003 01 8F 02"), exceptionText(2), Yellow,
         false, markers()},
    };
    for (int code = 1; code <= 12; ++code) {
        QByteArray readException = hex("0000 0000 0003 01 83");
        readException.append(char(code));
        QByteArray writeException = hex("0000 0000 0003 01 90");
        writeException.append(char(code));
        c.append({QByteArray("exception ") + QByteArray::number(code) + " after read", "holding", "16", "16", readException, exceptionText(code), Yellow, false,
                  Emptied});
        c.append({QByteArray("exception ") + QByteArray::number(code) + " after write", "registers write", "10", "10", writeException, exceptionText(code), Yellow,
                  false, markers()});
    }
    return c;
}

enum Delivery { Whole, Halves, Bytewise, AfterAnother, BeforeAnother };

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
    void badHeader_data();
    void badHeader();
    void bufferHoldsOneReplyAtMost_data();
    void bufferHoldsOneReplyAtMost();
    void timeOut_data();
    void timeOut();
    void acceptedReplyEndsTheWait_data();
    void acceptedReplyEndsTheWait();
    void newRequestRestartsTheCount();
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
                                                          {AfterAnother, "joined after another reply"},
                                                          {BeforeAnother, "joined before another reply"}};
    for (const Case &c : cases()) {
        for (const auto &[delivery, how] : deliveries)
            QTest::addRow("%s, %s", c.name.constData(), how) << c.request << c.length << c.lengthAfter << c.reply << c.status
                                                  << c.colour << c.prefixOnly << c.boxes << delivery;
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
    const bool flagRead = rig.exchange.state().flagRead;
    rig.controls.length = lengthAfter;
    // Two ticks of the timeout have passed when the reply comes: an accepted reply resets them.
    rig.exchange.TimerTO_Timer();
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.exchange.state().countTO, 2);

    switch (delivery) {
    case Whole:
        rig.arrive(bytes);
        break;
    case Halves:
        rig.arrive(bytes.left(bytes.size() / 2));
        QVERIFY(rig.controls.statuses.isEmpty());
        QVERIFY(rig.ticker.running);
        rig.arrive(bytes.mid(bytes.size() / 2));
        break;
    case Bytewise:
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            QVERIFY2(rig.controls.statuses.isEmpty(), qPrintable(QStringLiteral("handled after %1 bytes").arg(i)));
            QVERIFY(rig.ticker.running);
            rig.arrive(bytes.mid(i, 1));
        }
        break;
    case AfterAnother:
        rig.arrive(rig.otherReply() + bytes);
        QCOMPARE(rig.controls.statuses.size(), 2);
        QCOMPARE(rig.controls.statuses.first(), rig.otherStatus());
        break;
    case BeforeAnother: {
        rig.arrive(bytes + rig.otherReply());
        QCOMPARE(rig.controls.statuses.size(), 2);
        const StatusLine first = rig.controls.statuses.first();
        QVERIFY2(statusMatches(first, status, colour, prefixOnly), qPrintable(first.text));
        // The second reply is what shows.
        status = rig.otherStatus().text;
        colour = int(rig.otherStatus().colour);
        prefixOnly = false;
        boxes = rig.otherBoxes(boxes);
        break;
    }
    }

    if (delivery != AfterAnother && delivery != BeforeAnother)
        QCOMPARE(rig.controls.statuses.size(), 1); // handled once
    const StatusLine shown = rig.controls.lastStatus();
    QVERIFY2(statusMatches(shown, status, colour, prefixOnly),
             qPrintable(QStringLiteral("shown \"%1\" in colour %2").arg(shown.text).arg(int(shown.colour))));
    QCOMPARE(rig.controls.boxes, boxes);
    QCOMPARE(rig.controls.boxesOutOfRange, 0);
    QVERIFY(!rig.ticker.running);
    QCOMPARE(rig.exchange.state().countTO, 0);
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
    QVERIFY(rig.socket.waiting.isEmpty());
    QCOMPARE(rig.exchange.state().flagRead, flagRead);
    QCOMPARE(rig.exchange.state().flagWrite, !flagRead);
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
    rig.controls.boxes = markers();
    rig.arrive(bytes);
    QVERIFY(rig.controls.statuses.isEmpty());
    QCOMPARE(rig.controls.boxes, markers());
    QCOMPARE(rig.ticker.starts, 0);
    QVERIFY(!rig.ticker.running);
    QCOMPARE(rig.exchange.state().countTO, 0);
    QVERIFY(!rig.exchange.state().flagRead);
    QVERIFY(!rig.exchange.state().flagWrite);
    QVERIFY(rig.socket.sent.isEmpty());
}

void tst_ReplyHandling::badHeader_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("goodReplyFirst");

    const QList<QPair<const char *, QByteArray>> headers{
        {"protocol id 1", hex("0000 0001 0007 01")},     {"protocol id 0x0100", hex("0000 0100 0007 01")},
        {"length 0", hex("0000 0000 0000 01")},          {"length 1", hex("0000 0000 0001 01")},
        {"length 255", hex("0000 0000 00FF 01")},        {"length 65535", hex("0000 0000 FFFF 01")},
    };
    for (const auto &[name, header] : headers) {
        QTest::addRow("%s after read", name) << "holding" << header << false;
        QTest::addRow("%s after write", name) << "registers write" << header << false;
        QTest::addRow("%s after a good reply", name) << "holding" << header << true;
    }
}

// Nothing after a header that cannot start a reply has a boundary to trust: everything
// buffered and everything waiting in the socket goes, and the next reply starts clean.
void tst_ReplyHandling::badHeader()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, header);
    QFETCH(bool, goodReplyFirst);

    Rig rig;
    QVERIFY(rig.send(request, "10"));
    const bool write = rig.isWrite();
    QByteArray bytes = goodReplyFirst ? hex("0000 0000 0005 01 03 02 0007") : QByteArray();
    bytes += header;
    // Sound replies after the bad header, more than one read of the socket takes.
    for (int i = 0; i < 60; ++i)
        bytes += rig.otherReply();
    rig.arrive(bytes);

    QCOMPARE(rig.controls.statuses.size(), goodReplyFirst ? 2 : 1);
    if (goodReplyFirst)
        QCOMPARE(rig.controls.statuses.first().text, QStringLiteral("Registers read"));
    const StatusLine shown = rig.controls.lastStatus();
    QVERIFY2(statusMatches(shown, "Malformed reply", Yellow, true), qPrintable(shown.text));
    QCOMPARE(rig.controls.boxes, write ? markers() : Emptied);
    QVERIFY(!rig.ticker.running);
    QCOMPARE(rig.exchange.state().countTO, 0);
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
    QCOMPARE(rig.socket.waiting.size(), 0);

    rig.arrive(rig.otherReply());
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QCOMPARE(rig.controls.boxes, rig.otherBoxes(write ? markers() : Emptied));
}

void tst_ReplyHandling::bufferHoldsOneReplyAtMost_data()
{
    QTest::addColumn<QByteArray>("junk");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("wholeReplies"); // -1: not counted

    constexpr int MiB = 1024 * 1024;
    QByteArray random(MiB, Qt::Uninitialized);
    QRandomGenerator gen(20240601);
    for (char &c : random)
        c = char(gen.bounded(256));

    // Longest replies back to back: 251 coil bytes each, far more values than boxes.
    QByteArray longest = hex("0000 0000 00FE 01 01 FB") + QByteArray(251, char(0xA5));
    QByteArray framed;
    while (framed.size() < MiB)
        framed += longest;
    framed.truncate(MiB);

    QTest::newRow("random bytes, 4 KiB pieces") << random << 4096 << -1;
    QTest::newRow("random bytes, 3-byte pieces") << random.left(64 * 1024) << 3 << -1;
    QTest::newRow("zero bytes, 1000-byte pieces") << QByteArray(MiB, '\0') << 1000 << -1;
    QTest::newRow("longest replies, 4 KiB pieces") << framed << 4096 << MiB / 260;
    QTest::newRow("longest replies, 7-byte pieces") << framed << 7 << MiB / 260;
    QTest::newRow("longest replies, one piece") << framed << MiB << MiB / 260;
}

void tst_ReplyHandling::bufferHoldsOneReplyAtMost()
{
    QFETCH(QByteArray, junk);
    QFETCH(int, piece);
    QFETCH(int, wholeReplies);

    Rig rig;
    QVERIFY(rig.send("coils", "16"));
    // Also while the replies of one arrival are handled, not only once it is over.
    qsizetype mostWhileHandling = 0;
    rig.controls.onStatus = [&] {
        mostWhileHandling = std::max(mostWhileHandling, rig.exchange.state().bufRecv.size());
    };
    for (qsizetype at = 0; at < junk.size(); at += piece) {
        rig.arrive(junk.mid(at, piece));
        const qsizetype held = rig.exchange.state().bufRecv.size();
        if (held > 260 || !rig.socket.waiting.isEmpty())
            QFAIL(qPrintable(QStringLiteral("after %1 bytes: %2 buffered, %3 left in the socket")
                                 .arg(at + piece)
                                 .arg(held)
                                 .arg(rig.socket.waiting.size())));
    }
    QVERIFY(!rig.controls.statuses.isEmpty());
    QVERIFY2(mostWhileHandling <= 260, qPrintable(QString::number(mostWhileHandling)));
    if (wholeReplies >= 0) {
        QCOMPARE(rig.controls.statuses.size(), wholeReplies);
        QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Registers read", StatusColour::Green}));
        QCOMPARE(rig.exchange.state().bufRecv.size(), junk.size() - qsizetype(wholeReplies) * 260);
    }
    QCOMPARE(rig.controls.boxesOutOfRange, 0);
}

void tst_ReplyHandling::timeOut_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("partial");

    QTest::newRow("read, nothing arrived") << "holding" << QByteArray();
    QTest::newRow("read, three bytes arrived") << "holding" << hex("0000 00");
    QTest::newRow("read, header arrived") << "holding" << hex("0000 0000 0007 01");
    QTest::newRow("read, all but one byte arrived") << "holding" << hex("0000 0000 0007 01 03 04 000A FF");
    QTest::newRow("write, nothing arrived") << "registers write" << QByteArray();
    QTest::newRow("write, part arrived") << "registers write" << hex("0000 0000 0006 01 10");
}

void tst_ReplyHandling::timeOut()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, partial);

    Rig rig;
    QVERIFY(rig.send(request, "10"));
    rig.arrive(partial);
    for (int tick = 1; tick <= 2; ++tick) {
        rig.exchange.TimerTO_Timer();
        QCOMPARE(rig.exchange.state().countTO, tick);
        QVERIFY(rig.controls.statuses.isEmpty());
        QVERIFY(rig.ticker.running);
    }
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.statuses.size(), 1);
    QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Modbus Time Out!", StatusColour::Yellow}));
    QCOMPARE(rig.exchange.state().countTO, 0);
    QVERIFY(!rig.ticker.running);
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
    QCOMPARE(rig.controls.boxes, markers());

    // A whole reply after the timeout is still decoded, and nothing of the lost one sticks to it.
    rig.arrive(rig.otherReply());
    QCOMPARE(rig.controls.statuses.size(), 2);
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QCOMPARE(rig.controls.boxes, rig.otherBoxes(markers()));
}

void tst_ReplyHandling::acceptedReplyEndsTheWait_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("register values") << "holding" << hex("0000 0000 0007 01 03 04 000A FFFF");
    QTest::newRow("exception to a read") << "holding" << hex("0000 0000 0003 01 83 02");
    QTest::newRow("malformed read reply") << "holding" << hex("0000 0000 0007 01 03 08 000A FFFF");
    QTest::newRow("unexpected function code") << "coils" << hex("0000 0000 0003 01 05 00");
    QTest::newRow("bad header") << "holding" << hex("0000 0001 0007 01 03 04 000A FFFF");
    QTest::newRow("matching write echo") << "registers write" << hex("0000 0000 0006 01 10 0000 000A");
    QTest::newRow("write echo of another quantity") << "registers write" << hex("0000 0000 0006 01 10 0000 0009");
    QTest::newRow("exception to a write") << "coils write" << hex("0000 0000 0003 01 8F 04");
}

// A device that answered is never reported as silent: a tick that was already on its way
// when the reply came does not turn into a timeout.
void tst_ReplyHandling::acceptedReplyEndsTheWait()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, bytes);

    Rig rig;
    QVERIFY(rig.send(request, "10"));
    rig.exchange.TimerTO_Timer();
    rig.exchange.TimerTO_Timer();
    rig.arrive(bytes);
    QCOMPARE(rig.controls.statuses.size(), 1);
    const StatusLine answer = rig.controls.lastStatus();
    QVERIFY(!rig.ticker.running);
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.statuses.size(), 1);
    QCOMPARE(rig.controls.lastStatus(), answer);
}

void tst_ReplyHandling::newRequestRestartsTheCount()
{
    Rig rig;
    QVERIFY(rig.send("holding", "16"));
    rig.exchange.TimerTO_Timer();
    rig.exchange.TimerTO_Timer();
    QVERIFY(rig.send("coils", "16"));
    QCOMPARE(rig.exchange.state().countTO, 0);
    rig.exchange.TimerTO_Timer();
    rig.exchange.TimerTO_Timer();
    QVERIFY(rig.controls.statuses.isEmpty());
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Modbus Time Out!", StatusColour::Yellow}));
}

QTEST_GUILESS_MAIN(tst_ReplyHandling)
#include "tst_reply_handling.moc"
