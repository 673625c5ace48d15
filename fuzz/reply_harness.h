#pragma once

// The fuzz model's harness: it drives the exchange as the window does, keeps what it asked
// for, and judges every reply, timeout and box the exchange shows against these promises:
// - no timeout shows before 3 s after its request went out, and none for a read that a newer
//   read which the device answered has replaced;
// - each box names the request whose reply filled it, and no reply overwrites what a later
//   request brought;
// - typed text changes only by the outcome of an operator's read sent after it was typed, or
//   by the confirmation of a write that sent exactly that value after it was typed;
// - the outcome of the operator's write stays on the status line through monitoring's
//   routine "Registers read", until the operator acts again or something else needs telling;
// - in RTU framing, one request at a time on the line, none within a second of the device's
//   last byte after a timeout or junk, nothing shown of a frame whose CRC fails, and no reply
//   shown as the answer to a request it does not answer.

#include "exchange_fakes.h"
#include "fake_services.h"
#include "fuzz_check.h"
#include "reply_model.h"

#include "exchange/device_address.h"
#include "exchange/exchange.h"
#include "exchange/framing.h"
#include "exchange/tables.h"

#include <algorithm>
#include <array>
#include <optional>

namespace model {

// What the harness knows of a request it asked for, apart from what the exchange keeps.
struct Sent {
    int fc = 0;
    int quantity = 0;
    int order = 0; // among every request and edit of this run
    bool read = false;
    QByteArray wire; // once it went out
    double at = 0;
    const TableInfo *table = nullptr;
};

// What the harness knows of a value box.
struct Box {
    int filledBy = 0; // order of the request whose outcome it shows, 0 for none yet
    QString typed;    // the operator's text while it stands; empty when none
    int typedAt = 0;  // order of the last edit
};

struct Harness {
    FakeControls controls;
    FakeSocket socket;
    RecordingServices services;
    FakeAlarm alarm{services};
    ModbusExchange exchange{controls, socket, alarm, services};
    quint8 unit = DefaultUnitId;
    bool rtu = false;
    QList<Sent> asked;             // accepted but not on the wire yet: waiting in line
    QList<Sent> sent;              // on the wire, in order; index = transaction id in Modbus TCP
    qsizetype wireSeen = 0;        // frames of socket.sent already in `sent`
    QList<int> answered;           // requests whose reply the exchange took
    int latestRead = -1;           // the newest read on the wire
    std::optional<int> delivering; // RTU: a reply of the harness is arriving whole, for this request (-1 none)
    bool lineBusy = false;         // RTU: the latest request on the wire is not settled
    bool quietNeeded = false;      // RTU: a timeout or junk; the line must be quiet a second
    double quietFrom = 0;          // when the line last stopped being quiet
    int order = 0;
    std::array<Box, 16> boxes{};
    QString device;             // as the address box named it when the connection was made
    quint64 connections = 0;    // made so far
    bool writeShown = false;    // the status line tells the outcome of the operator's write
    qsizetype statusesSeen = 0; // statuses shown up to the last step judged

    void statusesJudged() { statusesSeen = controls.statuses.size(); }

    double now() const { return *services.clock; }
    const framing::Framing &framing() const { return rtu ? framing::ModbusRtu : framing::ModbusTcp; }

    // The request the exchange means: the one asked at that moment, on the wire.
    int indexOf(const SentRequest &r) const
    {
        for (int i = 0; i < sent.size(); ++i) {
            if (quint64(sent[i].order) == r.moment)
                return i;
        }
        FUZZ_CHECK(false);
        return -1;
    }

    void connect(quint8 newUnit, bool newRtu)
    {
        device = QStringLiteral("plc#%1").arg(newUnit);
        ++connections;
        rtu = newRtu;
        exchange.startConnection(device, framing(), newUnit);
        unit = newUnit;
        asked.clear();
        sent.clear();
        wireSeen = socket.sent.size();
        answered.clear();
        latestRead = -1;
        lineBusy = quietNeeded = false;
        writeShown = false;
        FUZZ_CHECK(!alarm.running && exchange.state().awaited.isEmpty() && exchange.state().bufRecv.isEmpty());
    }

    void request(Kind kind, int length, Asker asker)
    {
        if (kind == None)
            return;
        controls.length = QString::number(length);
        // Boxes the operator has not typed into hold a value every write takes.
        if (isWrite(kind)) {
            for (int k = 0; k < 16; ++k) {
                if (boxes[k].typed.isEmpty())
                    controls.boxes[k] = QStringLiteral("1");
            }
        }
        const qsizetype refusalsBefore = services.messages.size();
        const int waiting = int(asked.size()) + (lineBusy ? 1 : 0);
        const TableInfo &t = tableOf(kind);
        if (isWrite(kind))
            exchange.write(t);
        else
            exchange.read(t, asker);
        if (asker == Asker::Operator)
            writeShown = false; // the operator acted
        if (services.messages.size() > refusalsBefore) {
            FUZZ_CHECK(services.messages.size() == refusalsBefore + 1); // refused, and said so
            // A line without ids holds four requests; a refusal for that only when it is full,
            // and a full line refuses every sound request.
            const bool full = services.messages.last() == msg::LineFull;
            FUZZ_CHECK(!full || (rtu && waiting >= 4));
            FUZZ_CHECK(full || !(rtu && waiting >= 4) || isWrite(kind));
            return;
        }
        FUZZ_CHECK(!rtu || waiting < 4);
        asked.append({isWrite(kind) ? t.writeFunction : t.readFunction, length, ++order, !isWrite(kind), {}, 0, &t});
        collect();
        controls.boxesSet = 0;
    }

    // Takes in what went on the wire since the last step, in the order asked.
    void collect()
    {
        while (socket.sent.size() > wireSeen) {
            FUZZ_CHECK(!asked.isEmpty());
            Sent s = asked.takeFirst();
            s.wire = socket.sent[wireSeen++];
            s.at = now();
            FUZZ_CHECK(wholeFrame(s.wire, rtu));
            if (rtu) {
                // One request on the line at a time, and after a timeout or junk only once the
                // device has been silent for a second.
                FUZZ_CHECK(!lineBusy && quint8(s.wire[0]) == unit);
                FUZZ_CHECK(!quietNeeded || now() >= quietFrom + ModbusExchange::QuietSeconds - 1e-9);
                lineBusy = true;
                quietNeeded = false;
            } else {
                // Transaction ids count from 0 on each connection; the unit is the connection's.
                FUZZ_CHECK(be16(s.wire, 0) == (sent.size() & 0xFFFF) && quint8(s.wire[6]) == unit);
            }
            const QByteArray pdu = pduOf(s.wire, rtu);
            FUZZ_CHECK(quint8(pdu[0]) == s.fc && be16(pdu, 3) == s.quantity && alarm.running);
            if (s.read)
                latestRead = int(sent.size());
            sent.append(s);
        }
        // Only a line without ids keeps requests waiting.
        FUZZ_CHECK(rtu || asked.isEmpty());
    }

    void type(int k, const QString &text)
    {
        controls.boxes[k] = text;
        exchange.boxTyped(k);
        boxes[k].typed = text;
        boxes[k].typedAt = ++order;
        controls.boxesSet = 0;
    }

    // Runs for every reply the exchange shows, right after it changed the window.
    void judgeReply(const SentRequest &request, const QByteArray &r)
    {
        collect(); // an earlier reply of the same arrival may have let the next request out
        FUZZ_CHECK(r.size() <= framing().maxFrame);
        // Junk: a stream that broke while the request waited, or a frame whose CRC fails.
        const bool junk = !wholeFrame(r, rtu);
        // Only a request of this connection, and only the reply that answers it.
        const int id = indexOf(request);
        if (rtu) {
            FUZZ_CHECK(id == sent.size() - 1);
            // A reply the harness made answers the request it was made for and no other. (The
            // same bytes arriving again later answer whichever request is then on the wire.)
            FUZZ_CHECK(!delivering || *delivering == id);
            lineBusy = false;
            quietNeeded = junk;
            quietFrom = now();
        } else {
            FUZZ_CHECK(request.id == id && (junk || be16(r, 0) == id));
        }
        if (!junk)
            answered.append(id);
        // A late reply only for the latest request; a read's only while no newer read went out.
        FUZZ_CHECK(!request.timedOut || id == sent.size() - 1);
        FUZZ_CHECK(!request.isRead() || id == latestRead);
        const QByteArray reply = junk ? QByteArray() : pduOf(r, rtu);

        // Monitoring's routine success leaves a write's outcome on the status line.
        const bool soundRead = request.isRead() && !junk && soundReadReply(reply, request);
        const bool held = writeShown && request.asker == Asker::Monitoring && soundRead;
        FUZZ_CHECK(controls.statuses.size() == statusesSeen + (held ? 0 : 1));
        statusesJudged();
        // The frames beneath the status line are those of the exchange it tells of.
        if (held)
            FUZZ_CHECK(controls.frames.size() == 2 && pduOf(controls.frames[0], rtu).front() >= 15);
        else
            FUZZ_CHECK(controls.frames == (QList<QByteArray>{request.wire, r}));
        if (!held)
            writeShown = !request.isRead();
        const StatusLine s = held ? StatusLine{msg::RegistersRead, StatusColour::Green} : controls.lastStatus();
        const bool read = s.text == msg::RegistersRead;
        const bool written = s.text == msg::RegistersWritten;
        FUZZ_CHECK(s.colour == (read || written ? StatusColour::Green : StatusColour::Yellow));
        if (s.text.startsWith(QStringLiteral("Modbus exception "))) {
            FUZZ_CHECK(!junk && reply.size() >= 2 && quint8(reply[0]) == (request.functionCode() | 0x80));
            FUZZ_CHECK(s.text.startsWith(QStringLiteral("Modbus exception %1").arg(quint8(reply[1]))));
        }
        if (junk)
            FUZZ_CHECK(s.text.startsWith(msg::MalformedReply));
        if (request.isRead()) {
            FUZZ_CHECK(read == soundRead && !written && s.text != msg::ErrorWriting);
        } else {
            const bool echo = !junk && reply.size() >= 5 && quint8(reply[0]) == request.functionCode()
                           && be16(reply, 1) == request.start() && be16(reply, 3) == request.quantity();
            FUZZ_CHECK(written == echo && !read);
        }

        // Which boxes the outcome may change, and to what.
        const Sent &asked = sent[id];
        const int quantity = request.quantity();
        for (int k = 0; k < 16; ++k) {
            const bool set = controls.boxesSet & (1u << k);
            const Box &b = boxes[k];
            // The box changed after the request was asked for: by the outcome of a later
            // request, or by an edit (whether or not a manual read has cleared its mark since).
            const bool newer = b.filledBy > asked.order || b.typedAt > asked.order;
            QString expected;     // what a box the outcome sets must show
            bool covered = false; // the outcome has a text for this box
            if (request.isRead()) {
                // Every outcome of a read rewrites the boxes: nothing stale stays as if fresh.
                covered = true;
                expected = read ? expectedBox(reply, request, k) : QString();
                // What a later request brought stays, and so does typed text through monitoring's
                // reads; the answer to the operator's read replaces what was typed before it.
                FUZZ_CHECK(set == !(newer || (!b.typed.isEmpty() && request.asker == Asker::Monitoring)));
            } else if (written && k < std::min(quantity, 16)) {
                covered = true;
                expected = item(pduOf(asked.wire, rtu), 6, request.functionCode() == 16, k);
                FUZZ_CHECK(set == !newer);
                // A confirmation replaces typed text only with exactly the value it sent.
                if (set && !b.typed.isEmpty())
                    FUZZ_CHECK(b.typedAt < asked.order && QString::number(b.typed.toUInt()) == expected);
            }
            FUZZ_CHECK(!set || covered);
            if (!set)
                continue;
            FUZZ_CHECK(controls.boxes[k] == expected && !controls.typed[k]);
            const BoxSource named{request.table, request.start() + k, device, connections};
            FUZZ_CHECK(exchange.state().boxes[k].source == (expected.isEmpty() ? BoxSource{} : named));
            boxes[k].filledBy = asked.order;
            boxes[k].typed.clear();
        }
        controls.boxesSet = 0;
    }

    // The alarm comes due: the requests whose wait runs out now are reported, none other.
    void fire()
    {
        const QList<SentRequest> before = exchange.state().awaited;
        const qsizetype statuses = controls.statuses.size();
        exchange.TimerTO_Timer();
        bool anyTimedOut = false;
        bool lastIsWrite = false;
        for (const SentRequest &r : before) {
            if (r.timedOut)
                continue;
            const auto still = std::find_if(exchange.state().awaited.cbegin(), exchange.state().awaited.cend(),
                                            [&r](const SentRequest &a) { return a.moment == r.moment; });
            if (still != exchange.state().awaited.cend() && !still->timedOut)
                continue;
            anyTimedOut = true;
            lastIsWrite = !r.isRead();
            const int id = indexOf(r);
            FUZZ_CHECK(sent[id].at + ReplyTimeoutSeconds <= now() + 1e-9 && !answered.contains(id));
            // A read answered after this one settled it: no timeout may be told of it.
            for (int newer : answered)
                FUZZ_CHECK(!(r.isRead() && sent[newer].read && newer > id));
        }
        FUZZ_CHECK(controls.statuses.size() == statuses + (anyTimedOut ? 1 : 0));
        if (anyTimedOut) {
            FUZZ_CHECK(controls.lastStatus().text == msg::TimeOut);
            writeShown = lastIsWrite; // a write's timeout is its outcome
            if (rtu) {
                lineBusy = false;
                quietNeeded = true;
                quietFrom = now();
            }
        }
        statusesJudged();
        collect(); // the line may take the next request now
    }

    void checkState() const
    {
        const FormState &st = exchange.state();
        FUZZ_CHECK(st.bufRecv.size() <= framing().maxFrame);
        // Every whole reply has been handled; what is left can only be the start of one.
        QByteArray rest = st.bufRecv;
        FUZZ_CHECK(framing().take(rest).status == framing::Status::NeedMore);
        FUZZ_CHECK(alarm.running == exchange.awaitingReply());
        FUZZ_CHECK(st.inLine.size() == asked.size());
        // The requests awaited are requests of this connection, each once, in the order sent;
        // each waits until its deadline and no longer, and after its timeout only the latest
        // request stays for a late reply.
        FUZZ_CHECK(!rtu || st.awaited.size() <= 1);
        int previous = -1;
        double earliest = -1;
        for (const SentRequest &r : st.awaited) {
            const int id = indexOf(r);
            FUZZ_CHECK(id > previous && r.wire == sent[id].wire);
            previous = id;
            FUZZ_CHECK(r.timedOut ? id == sent.size() - 1 : sent[id].at + ReplyTimeoutSeconds > now() - 0.002);
            if (!r.timedOut && earliest < 0)
                earliest = sent[id].at + ReplyTimeoutSeconds;
        }
        if (earliest < 0 && !st.inLine.isEmpty())
            earliest = st.quietUntil; // the line settles before the next goes out
        if (alarm.running)
            FUZZ_CHECK(alarm.due >= earliest - 1e-9 && alarm.due <= earliest + 0.0011);
        for (int k = 0; k < 16; ++k) {
            FUZZ_CHECK(soundBox(controls.boxes[k]));
            // Typed text stands until the answer to a manual read or its own write's confirmation.
            if (!boxes[k].typed.isEmpty())
                FUZZ_CHECK(controls.boxes[k] == boxes[k].typed && controls.typed[k] && st.boxes[k].typed);
            else
                FUZZ_CHECK(!controls.typed[k] && !st.boxes[k].typed);
        }
    }

    void arrive(const QByteArray &bytes)
    {
        if (!bytes.isEmpty() && quietNeeded)
            quietFrom = now(); // the line is not quiet while the device sends
        socket.waiting.append(bytes);
        exchange.Winsock1_DataArrival(qint32(socket.waiting.size()));
        FUZZ_CHECK(socket.waiting.isEmpty()); // everything that arrived was taken
        FUZZ_CHECK(socket.negativeAsks == 0 && controls.boxesOutOfRange == 0);
        collect();
    }

    // A sound reply to request id whose values come from data: taken whole when nothing
    // partial waits before it, so the harness knows it answered the request. In RTU framing
    // only the request on the wire is answered, once, as a serial device answers; otherUnit
    // sends it from another unit, which is no answer at all.
    void answer(int id, bool otherUnit, const uint8_t *data, size_t size, size_t &at)
    {
        if (rtu) {
            id = int(sent.size()) - 1;
            if (answered.contains(id))
                return;
        }
        const Sent &req = sent[id];
        const QByteArray askedPdu = pduOf(req.wire, rtu);
        QByteArray pdu;
        pdu.append(char(req.fc));
        if (req.read) {
            const int quantity = std::min(req.quantity, 16);
            const int count = req.table->registers ? 2 * quantity : (quantity + 7) / 8;
            pdu.append(char(count));
            for (int i = 0; i < count; ++i)
                pdu.append(char(at < size ? data[at++] : 0));
        } else {
            pdu.append(askedPdu.mid(1, 4)); // the start and quantity echoed
        }
        const quint8 from = otherUnit && rtu ? quint8(unit + 1) : unit;
        const QByteArray reply = framing().wrap(pdu, from, quint16(id));
        const auto &awaited = exchange.state().awaited;
        const bool whole = exchange.state().bufRecv.isEmpty();
        const bool matches = whole && from == unit
                          && std::any_of(awaited.cbegin(), awaited.cend(),
                                         [&](const SentRequest &r) { return quint64(req.order) == r.moment; });
        if (rtu && whole)
            delivering = from == unit ? id : -1;
        arrive(reply);
        delivering.reset();
        if (matches && !answered.contains(id))
            answered.append(id);
    }
};

} // namespace model
