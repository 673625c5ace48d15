// The byte stream from the device when it goes wrong: headers that cannot start a reply,
// endless junk, replies that never arrive whole; and each request's deadline among the
// others. Which request each reply answers is in the fuzz model of fuzz_reply.

#include "exchange_rig.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace rig;

class tst_ReplyStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void badHeader_data();
    void badHeader();
    void bufferHoldsOneReplyAtMost_data();
    void bufferHoldsOneReplyAtMost();
    void timeOut_data();
    void timeOut();
    void deadlines_data();
    void deadlines();
    void transactionIdsWrap();
};

void tst_ReplyStream::badHeader_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("goodReplyFirst");

    const QList<QPair<const char *, QByteArray>> headers{
        {"protocol id 1", hex("0000 0001 0007 01")}, {"protocol id 0x0100", hex("0000 0100 0007 01")},
        {"length 0", hex("0000 0000 0000 01")},      {"length 1", hex("0000 0000 0001 01")},
        {"length 255", hex("0000 0000 00FF 01")},    {"length 65535", hex("0000 0000 FFFF 01")},
    };
    for (const auto &[name, header] : headers) {
        QTest::addRow("%s after read", name) << "holding" << header << false;
        QTest::addRow("%s after write", name) << "registers write" << header << false;
        QTest::addRow("%s after a good reply", name) << "holding" << header << true;
    }
}

// Nothing after a header that cannot start a reply has a boundary to trust: everything
// buffered and everything waiting in the socket goes, and the next reply starts clean. The
// junk is the answer to a read that waits, which it settles; a write waits on for its own
// confirmation. After the reply to the read, the junk answers nothing.
void tst_ReplyStream::badHeader()
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

    QCOMPARE(rig.controls.statuses.size(), 1);
    const StatusLine shown = rig.controls.lastStatus();
    if (goodReplyFirst) {
        QCOMPARE(shown.text, QStringLiteral("Registers read"));
        QCOMPARE(rig.controls.boxes, sixteen({"7"}));
    } else {
        QVERIFY2(statusMatches(shown, "Malformed reply", Yellow, true), qPrintable(shown.text));
        QCOMPARE(rig.controls.boxes, write ? markerBoxes() : Emptied);
    }
    QCOMPARE(rig.alarm.running, write);
    QCOMPARE(rig.exchange.state().awaited.size(), write ? 1 : 0);
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
    QCOMPARE(rig.socket.waiting.size(), 0);

    QVERIFY(rig.send(request, "10"));
    rig.arrive(rig.otherReply());
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QCOMPARE(rig.controls.boxes, rig.otherBoxes(markerBoxes()));
}

void tst_ReplyStream::bufferHoldsOneReplyAtMost_data()
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

void tst_ReplyStream::bufferHoldsOneReplyAtMost()
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
        // The first answers the read; the others, with the same transaction id, answer nothing.
        QCOMPARE(rig.controls.statuses.size(), 1);
        QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Registers read", StatusColour::Green}));
        QCOMPARE(rig.exchange.state().bufRecv.size(), junk.size() - qsizetype(wholeReplies) * 260);
    }
    QCOMPARE(rig.controls.boxesOutOfRange, 0);
}

void tst_ReplyStream::timeOut_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("before"); // bytes of the reply that arrive before the timeout

    QTest::newRow("read, nothing arrived") << "holding" << 0;
    QTest::newRow("read, three bytes arrived") << "holding" << 3;
    QTest::newRow("read, header arrived") << "holding" << 7;
    QTest::newRow("read, all but one byte arrived") << "holding" << 10;
    QTest::newRow("write, nothing arrived") << "registers write" << 0;
    QTest::newRow("write, part arrived") << "registers write" << 8;
}

// A reply whose parts come on both sides of the timeout is taken whole, as a late reply:
// the bytes before the timeout are neither dropped nor shown, and nothing is cut from the
// middle of the reply.
void tst_ReplyStream::timeOut()
{
    QFETCH(QString, request);
    QFETCH(int, before);

    Rig rig;
    QVERIFY(rig.send(request, "10"));
    const QByteArray reply = rig.otherReply();
    rig.arrive(reply.left(before));
    rig.advance(2.999);
    QVERIFY(rig.controls.statuses.isEmpty());
    rig.advance(0.001);
    QCOMPARE(rig.controls.statuses.size(), 1);
    QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Modbus Time Out!", StatusColour::Yellow}));
    QVERIFY(!rig.alarm.running);
    QCOMPARE(rig.exchange.state().bufRecv.size(), before);
    QCOMPARE(rig.controls.boxes, markerBoxes());

    rig.arrive(reply.mid(before));
    QCOMPARE(rig.controls.statuses.size(), 2);
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QCOMPARE(rig.controls.boxes, rig.otherBoxes(markerBoxes()));
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
}

void tst_ReplyStream::deadlines_data()
{
    QTest::addColumn<QStringList>("events"); // as shownAfter takes them
    QTest::addColumn<QStringList>("shown");  // "seconds status", over ten seconds

    const QString timeOut = "Modbus Time Out!";
    QTest::newRow("a write sent 0.9 s after a read times out 3 s after it")
        << QStringList{"0 holding", "0.9 registers write", "2 answer 0"}
        << QStringList{"2 Registers read", "3.9 " + timeOut};
    QTest::newRow("a write confirmed within its 3 s never times out")
        << QStringList{"0 holding", "0.9 registers write", "2 answer 0", "3.4 answer 1"}
        << QStringList{"2 Registers read", "3.4 Registers written"};
    QTest::newRow("an abandoned read never times out once a newer read is answered")
        << QStringList{"0 holding", "0.6 coils", "1 answer 1"} << QStringList{"1 Registers read"};
    QTest::newRow("reads never answered each time out") << QStringList{"0 holding", "1 holding", "2 holding"}
                                                        << QStringList{"3 " + timeOut, "4 " + timeOut, "5 " + timeOut};
    QTest::newRow("a late reply to the latest request still shows")
        << QStringList{"0 holding", "4 answer 0"} << QStringList{"3 " + timeOut, "4 Registers read"};
    QTest::newRow("a late reply after another request went out shows nothing")
        << QStringList{"0 holding", "3.5 coils", "4 answer 0"} << QStringList{"3 " + timeOut, "6.5 " + timeOut};
    QTest::newRow("junk settles the read, the write waits on for its confirmation")
        << QStringList{"0 registers write", "0.5 holding", "1 junk", "2.5 answer 0"}
        << QStringList{"1 Malformed reply: protocol identifier 5", "2.5 Registers written"};
    // The outcome of the operator's write stays through monitoring's routine success.
    QTest::newRow("a write's confirmation stays through monitoring's reads")
        << QStringList{"0 registers write", "0.5 answer 0", "1 monitoring holding", "1.2 answer 1"}
        << QStringList{"0.5 Registers written"};
    QTest::newRow("a write's timeout stays through monitoring's reads")
        << QStringList{"0 registers write", "1 monitoring holding", "1.5 answer 1", "3.5 monitoring coils",
                       "3.6 answer 2"}
        << QStringList{"1.5 Registers read", "3 " + timeOut};
    QTest::newRow("monitoring's timeout replaces a write's outcome")
        << QStringList{"0 registers write", "0.5 answer 0", "1 monitoring holding"}
        << QStringList{"0.5 Registers written", "4 " + timeOut};
    QTest::newRow("the operator's read ends a write's hold")
        << QStringList{"0 registers write", "0.5 answer 0", "1 holding", "1.5 answer 1"}
        << QStringList{"0.5 Registers written", "1.5 Registers read"};
    // Typed text is the operator's until the device's answer to a Read replaces it.
    QTest::newRow("typed text stays through a read that times out")
        << QStringList{"0 type", "0 holding", "4 typed?"} << QStringList{"3 " + timeOut, "4 box 3 typed"};
    QTest::newRow("typed text stays through a read that Disconnect discards")
        << QStringList{"0 type", "0 holding", "1 disconnect", "1 typed?"} << QStringList{"1 box 3 typed"};
    QTest::newRow("the answer to the operator's read replaces typed text")
        << QStringList{"0 type", "0 holding", "1 answer 0", "1 typed?"}
        << QStringList{"1 Registers read", "1 box 3 not typed"};
    // On a line without transaction ids, one request at a time, and no reply taken for another's.
    QTest::newRow("rtu: requests wait in line for the answer before them")
        << QStringList{"0 rtu", "0 holding", "0.5 coils", "2 answer 0", "2.5 answer 1"}
        << QStringList{"2 Registers read", "2.5 Registers read"};
    QTest::newRow("rtu: each request's three seconds start when it goes out")
        << QStringList{"0 rtu", "0 holding", "0.5 coils", "2 answer 0"}
        << QStringList{"2 Registers read", "5 " + timeOut};
    QTest::newRow("rtu: after a timeout the line waits a quiet second")
        << QStringList{"0 rtu", "0 holding", "1 coils"} << QStringList{"3 " + timeOut, "7 " + timeOut};
    QTest::newRow("rtu: a late reply in the quiet second shows and frees the line")
        << QStringList{"0 rtu", "0 holding", "1 coils", "3.5 answer 0", "4 answer 1"}
        << QStringList{"3 " + timeOut, "3.5 Registers read", "4 Registers read"};
    QTest::newRow("rtu: bytes in the quiet second push it back")
        << QStringList{"0 rtu", "0 holding", "1 coils", "3.8 noise"} << QStringList{"3 " + timeOut, "7.8 " + timeOut};
    QTest::newRow("rtu: a reply from another unit is not the answer")
        << QStringList{"0 rtu", "0 holding", "1 other 0"} << QStringList{"3 " + timeOut};
    QTest::newRow("rtu: a fifth request waiting is refused")
        << QStringList{"0 rtu", "0 holding", "0 holding", "0 holding", "0 holding", "0 full coils", "1 answer 0"}
        << QStringList{"1 Registers read", "4 " + timeOut, "8 " + timeOut};
}

namespace {

// Runs events ("seconds what": a request sent, "monitoring" one, "answer N" to the Nth frame
// on the wire, "other N" the same from another unit, "junk", one byte of "noise", "full" a request the line refuses,
// "rtu" a connection in RTU framing, "disconnect", "type" into box 3, "typed?" whether box 3 is still marked as typed)
// and returns the statuses shown over ten seconds, each with its time.
QStringList shownAfter(Rig &rig, const QStringList &events)
{
    QStringList seen;
    rig.controls.onStatus = [&] {
        seen.append(QString::number(*rig.services.clock) + " " + rig.controls.lastStatus().text);
    };
    for (const QString &event : events) {
        const qsizetype blank = event.indexOf(' ');
        const QString what = event.mid(blank + 1);
        rig.advance(event.left(blank).toDouble() - *rig.services.clock);
        const bool other = what.startsWith("other ");
        if (what.startsWith("answer ") || other) {
            const int n = what.section(' ', 1).toInt();
            if (n >= rig.socket.sent.size())
                return seen << "no frame " + QString::number(n) + " on the wire";
            QByteArray reply = rig.replyTo(rig.socket.sent.at(n));
            if (other)
                reply = framing::ModbusRtu.wrap(reply.mid(1, reply.size() - 3), quint8(reply[0] + 1), 0);
            rig.arrive(reply);
        } else if (what == "junk") {
            rig.arrive(hex("0000 0005 0007 01 03 04 000A FFFF"));
        } else if (what == "rtu") {
            rig.exchange.startConnection("converter", framing::ModbusRtu, 1);
        } else if (what == "disconnect") {
            rig.exchange.endConnection();
        } else if (what == "type") {
            rig.controls.boxes[3] = "1234";
            rig.exchange.boxTyped(3);
        } else if (what == "typed?") {
            const bool typed = rig.exchange.state().boxes[3].typed && rig.controls.typed[3];
            seen << event.left(blank) + (typed ? " box 3 typed" : " box 3 not typed");
        } else if (what == "noise") {
            rig.arrive(hex("01"));
        } else if (what.startsWith("full ")) {
            rig.send(what.mid(5), "16");
            if (rig.services.messages != QStringList{msg::LineFull})
                return seen << "not refused";
            rig.services.messages.clear();
        } else {
            const bool monitoring = what.startsWith("monitoring ");
            rig.send(monitoring ? what.mid(11) : what, "16", monitoring ? Asker::Monitoring : Asker::Operator);
            if (!rig.services.messages.isEmpty())
                return seen << "refused: " + what;
        }
    }
    rig.advance(10 - *rig.services.clock);
    return seen;
}

} // namespace

// Each request waits three seconds of its own, whatever went out before or after it.
void tst_ReplyStream::deadlines()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, shown);
    Rig rig;
    QCOMPARE(shownAfter(rig, events), shown);
}

// Transaction ids wrap after 65535; a reply is still matched by its id after the wrap.
void tst_ReplyStream::transactionIdsWrap()
{
    Rig rig;
    for (int i = 0; i < 65536; ++i) {
        QVERIFY(rig.send("holding", "1"));
        rig.arrive(rig.otherReply());
    }
    QCOMPARE(be16(rig.socket.sent.last(), 0), 65535);
    QVERIFY(rig.send("coils", "1"));
    QCOMPARE(be16(rig.socket.sent.last(), 0), 0);
    rig.arrive(hex("FFFF 0000 0005 01 01 02 0001")); // the id before the wrap: answered already
    QVERIFY(rig.controls.statuses.isEmpty());
    rig.arrive(rig.otherReply());
    QCOMPARE(rig.controls.lastStatus().text, "Registers read");
    QCOMPARE(rig.controls.boxes[0], "0"); // coil 0 of 0x1234
}

QTEST_GUILESS_MAIN(tst_ReplyStream)
#include "tst_reply_stream.moc"
