// The byte stream from the device: which awaited request each reply answers, by its
// transaction id; and when it goes wrong, headers that cannot start a reply, endless junk,
// replies that never arrive whole, and the reply timeout around them.

#include "exchange_rig.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace rig;

class tst_ReplyStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data();
    void matching();
    void badHeader_data();
    void badHeader();
    void bufferHoldsOneReplyAtMost_data();
    void bufferHoldsOneReplyAtMost();
    void timeOut_data();
    void timeOut();
    void acceptedReplyEndsTheWait_data();
    void acceptedReplyEndsTheWait();
    void eachRequestKeepsItsOwnWait();
};

void tst_ReplyStream::matching_data()
{
    QTest::addColumn<QStringList>("sent"); // in order; the first carries transaction id 0
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status"); // empty: nothing shown
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QList<int>>("awaitedAfter"); // transaction ids still awaited

    const QByteArray seven = hex("0000 0005 01 03 02 0007"), echo = hex("0000 0006 01 10 0000 0010");
    const QStringList holding{"holding"};
    // A superseded read and a write among reads are shown on the window in tst_hostile_connection.
    QTest::newRow("the newer read shows, the older still waits")
        << QStringList{"holding", "coils"} << hex("0001 0000 0004 01 01 01 01") << "Registers read"
        << sixteen({"1", "0", "0", "0", "0", "0", "0", "0"}) << QList<int>{0};
    QTest::newRow("a write echo after a newer read") << QStringList{"registers write", "holding"} << hex("0000") + echo
                                                     << "Registers written" << markerBoxes() << QList<int>{1};
    QTest::newRow("a reply to no awaited request") << holding << hex("0005") + seven << "" << markerBoxes()
                                                   << QList<int>{0};
    QTest::newRow("the unit id is not examined") << holding << hex("0000 0000 0005 FF 03 02 0007")
                                                 << "Registers read" << sixteen({"7"}) << QList<int>{};
}

void tst_ReplyStream::matching()
{
    QFETCH(QStringList, sent);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    QFETCH(QStringList, boxes);
    QFETCH(QList<int>, awaitedAfter);

    Rig rig;
    for (const QString &request : sent)
        QVERIFY(rig.send(request, "16"));
    rig.arrive(reply);
    QCOMPARE(rig.controls.statuses.isEmpty(), status.isEmpty());
    if (!status.isEmpty())
        QCOMPARE(rig.controls.lastStatus().text, status);
    QCOMPARE(rig.controls.boxes, boxes);
    QList<int> awaited;
    for (const SentRequest &r : rig.exchange.state().awaited)
        awaited.append(r.transactionId());
    QCOMPARE(awaited, awaitedAfter);
    // Only a reply ends a wait, and only its own request's.
    QCOMPARE(rig.ticker.running, !awaitedAfter.isEmpty());
}

void tst_ReplyStream::badHeader_data()
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
// buffered and everything waiting in the socket goes, and the next reply starts clean. The
// junk is the answer to a request that waits; after the reply to it, the junk answers nothing.
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
    QVERIFY(!rig.ticker.running);
    QVERIFY(rig.exchange.state().awaited.isEmpty());
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
    for (int tick = 1; tick <= 2; ++tick) {
        rig.exchange.TimerTO_Timer();
        QCOMPARE(rig.exchange.state().countTO(), tick);
        QVERIFY(rig.controls.statuses.isEmpty());
        QVERIFY(rig.ticker.running);
    }
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.statuses.size(), 1);
    QCOMPARE(rig.controls.lastStatus(), (StatusLine{"Modbus Time Out!", StatusColour::Yellow}));
    QCOMPARE(rig.exchange.state().countTO(), 0);
    QVERIFY(!rig.ticker.running);
    QCOMPARE(rig.exchange.state().bufRecv.size(), before);
    QCOMPARE(rig.controls.boxes, markerBoxes());

    rig.arrive(reply.mid(before));
    QCOMPARE(rig.controls.statuses.size(), 2);
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QCOMPARE(rig.controls.boxes, rig.otherBoxes(markerBoxes()));
    QVERIFY(rig.exchange.state().bufRecv.isEmpty());
}

void tst_ReplyStream::acceptedReplyEndsTheWait_data()
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
void tst_ReplyStream::acceptedReplyEndsTheWait()
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

// The timeout is reported three ticks after the oldest request that has no reply, however
// many follow it; and every request has three ticks of its own, which only its own reply ends.
void tst_ReplyStream::eachRequestKeepsItsOwnWait()
{
    const StatusLine timeOut{"Modbus Time Out!", StatusColour::Yellow};
    Rig rig;
    QVERIFY(rig.send("holding", "16"));
    rig.exchange.TimerTO_Timer();
    rig.exchange.TimerTO_Timer();
    QVERIFY(rig.send("coils", "16"));
    QCOMPARE(rig.exchange.state().countTO(), 2);
    QCOMPARE(rig.ticker.starts, 1);
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.lastStatus(), timeOut);
    // The coil read still waits, with one tick counted.
    QVERIFY(rig.ticker.running);
    QCOMPARE(rig.exchange.state().countTO(), 1);
    QVERIFY(rig.send("registers write", "16"));
    rig.exchange.TimerTO_Timer();
    // The write's echo ends the write's wait, not the read's.
    rig.arrive(rig.otherReply());
    QCOMPARE(rig.controls.lastStatus(), rig.otherStatus());
    QVERIFY(rig.ticker.running);
    rig.exchange.TimerTO_Timer();
    QCOMPARE(rig.controls.lastStatus(), timeOut);
    QVERIFY(!rig.ticker.running);
    QVERIFY(rig.exchange.state().awaited.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ReplyStream)
#include "tst_reply_stream.moc"
