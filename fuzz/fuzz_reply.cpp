// The reply path: whatever a device sends, cut into whatever arrivals TCP makes of it, in any
// order and after any delay, with reads, writes and typing interleaved, the window shows only
// sound values and a true status, each answering the request whose transaction id the reply
// carries, and the exchange's own state stays consistent. Four promises above all:
// - no timeout shows before 3 s after its request, and none for a read that a newer read
//   which the device answered has replaced;
// - each box names the request whose reply filled it, and no reply overwrites what a later
//   request brought;
// - typed text changes only by the outcome of an operator's read sent after it was typed, or
//   by the confirmation of a write that sent exactly that value after it was typed;
// - the outcome of the operator's write stays on the status line through monitoring's
//   routine "Registers read", until the operator acts again or something else needs telling.
//
// Input: byte 0 chooses the first request (0 none, 1 read holding registers, 2 read coils,
// 3 read discrete inputs, 4 write registers, 5 write coils, 6 read input registers), byte 1
// its length (mod 17).
// Then steps, each led by one byte h:
//   h < 0xE0    the next h+1 bytes arrive in one piece
//   0xE0        time passes: the next byte times 20 ms
//   0xE1        a new connection, for the unit given by the next byte
//   0xE2..0xE7  the operator sends a request of kind h-0xE1, its length the next byte (mod 17)
//   0xE8        monitoring sends a read of one of the four tables (the next byte mod 4), length 16
//   0xE9        the operator types into box (next byte mod 16) the number of the byte after
//   0xEA        a sound reply, from the following bytes, to the request of this connection
//               whose number is the next byte (mod the requests sent)
//   0xEB..0xFE  as 0xE0
//   0xFF        all remaining bytes arrive in one piece

#include "exchange_fakes.h"
#include "fake_services.h"
#include "fuzz_check.h"

#include "exchange/adu.h"
#include "exchange/exchange.h"
#include "exchange/tables.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>

namespace {

enum Kind { None, ReadHolding, ReadCoils, ReadInputs, WriteHolding, WriteCoils, ReadInputRegisters };
constexpr Kind Reads[] = {ReadHolding, ReadCoils, ReadInputs, ReadInputRegisters};

bool isWrite(Kind k) { return k == WriteHolding || k == WriteCoils; }
const TableInfo &tableOf(Kind k)
{
    switch (k) {
    case ReadCoils:
    case WriteCoils: return table::CoilOutputs;
    case ReadInputs: return table::DigitalInputs;
    case ReadInputRegisters: return table::InputRegisters;
    default: return table::HoldingRegisters;
    }
}
bool holdsRegisters(int functionCode) { return table::ofFunction(quint8(functionCode))->registers; }

int be16(const QByteArray &b, int at) { return quint8(b[at]) << 8 | quint8(b[at + 1]); }

// "" or a decimal 0..65535 written the way the tool writes numbers (no sign, no leading 0).
bool soundBox(const QString &text)
{
    if (text.isEmpty())
        return true;
    bool ok = false;
    const uint v = text.toUInt(&ok);
    return ok && v <= 65535 && text == QString::number(v);
}

bool wholeFrame(const QByteArray &r) { return r.size() >= 8 && be16(r, 2) == 0 && r.size() == 6 + be16(r, 4); }

// Item k of what a frame carries after its byte count at dataAt: a register, or a bit.
QString item(const QByteArray &frame, int dataAt, bool registers, int k)
{
    if (registers)
        return QString::number(be16(frame, dataAt + 2 * k));
    return QString::number((quint8(frame[dataAt + k / 8]) >> (k % 8)) & 1);
}

// What a sound read reply must put in box k, worked out from its bytes and the quantity
// asked: only the items asked for.
QString expectedBox(const QByteArray &r, int quantity, int k)
{
    const bool registers = holdsRegisters(quint8(r[7]));
    const int count = quint8(r[8]);
    if (k >= quantity || (registers ? 2 * k + 1 >= count : k / 8 >= count))
        return {};
    return item(r, 9, registers, k);
}

bool soundReadReply(const QByteArray &r, const SentRequest &request)
{
    if (!wholeFrame(r) || r.size() < 9)
        return false;
    const int fc = quint8(r[7]);
    const int count = quint8(r[8]);
    return fc == request.functionCode() && count == r.size() - 9 && (!holdsRegisters(fc) || count % 2 == 0);
}

// What the harness knows of a request it sent, apart from what the exchange keeps.
struct Sent {
    QByteArray frame;
    double at = 0;
    int order = 0; // among every request and edit of this run
    bool read = false;
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
    quint8 unit = adu::DefaultUnitId;
    QList<Sent> sent;    // the requests of this connection; index = transaction id
    QList<int> answered; // transaction ids whose reply the exchange took
    int latestRead = -1; // transaction id of the newest read of the connection
    int order = 0;
    std::array<Box, 16> boxes{};
    QString device;             // as the address box named it when the connection was made
    quint64 connections = 0;    // made so far
    bool writeShown = false;    // the status line tells the outcome of the operator's write
    qsizetype statusesSeen = 0; // statuses shown up to the last step judged

    void statusesJudged() { statusesSeen = controls.statuses.size(); }

    double now() const { return *services.clock; }

    void connect(quint8 newUnit)
    {
        device = QStringLiteral("plc#%1").arg(newUnit);
        ++connections;
        exchange.startConnection(device, newUnit);
        unit = newUnit;
        sent.clear();
        answered.clear();
        latestRead = -1;
        writeShown = false;
        FUZZ_CHECK(!alarm.running && exchange.state().awaited.isEmpty() && exchange.state().bufRecv.isEmpty());
    }

    void request(Kind kind, int length, Asker asker)
    {
        controls.length = QString::number(length);
        // Boxes the operator has not typed into hold a value every write takes.
        if (isWrite(kind)) {
            for (int k = 0; k < 16; ++k) {
                if (boxes[k].typed.isEmpty())
                    controls.boxes[k] = QStringLiteral("1");
            }
        }
        if (kind == None)
            return;
        const qsizetype before = socket.sent.size();
        const qsizetype refusalsBefore = services.messages.size();
        const TableInfo &t = tableOf(kind);
        if (isWrite(kind))
            exchange.write(t);
        else
            exchange.read(t, asker);
        if (asker == Asker::Operator)
            writeShown = false; // the operator acted
        if (socket.sent.size() == before) {
            FUZZ_CHECK(services.messages.size() == refusalsBefore + 1); // refused, and said so
            return;
        }
        const QByteArray &frame = socket.sent.last();
        FUZZ_CHECK(wholeFrame(frame));
        // Transaction ids count from 0 on each connection; the unit is the connection's.
        FUZZ_CHECK(be16(frame, 0) == (sent.size() & 0xFFFF) && quint8(frame[6]) == unit);
        FUZZ_CHECK(quint8(frame[7]) == (isWrite(kind) ? t.writeFunction : t.readFunction));
        FUZZ_CHECK(be16(frame, 10) == length && alarm.running);
        const bool read = !isWrite(kind);
        if (read)
            latestRead = int(sent.size());
        sent.append({frame, now(), ++order, read});
        controls.boxesSet = 0;
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
        FUZZ_CHECK(r.size() <= adu::MaxAduSize);
        const bool junk = !wholeFrame(r); // a stream that broke while the request waited
        // Only a request of this connection, and only the reply that carries its id.
        const int id = request.transactionId();
        FUZZ_CHECK(id < sent.size() && request.frame == sent[id].frame);
        FUZZ_CHECK(junk || be16(r, 0) == id);
        if (!junk)
            answered.append(id);
        // A late reply only for the latest request; a read's only while no newer read went out.
        FUZZ_CHECK(!request.timedOut || id == sent.size() - 1);
        FUZZ_CHECK(!request.isRead() || id == latestRead);

        // Monitoring's routine success leaves a write's outcome on the status line.
        const bool soundRead = request.isRead() && !junk && soundReadReply(r, request);
        const bool held = writeShown && request.asker == Asker::Monitoring && soundRead;
        FUZZ_CHECK(controls.statuses.size() == statusesSeen + (held ? 0 : 1));
        statusesJudged();
        // The frames beneath the status line are those of the exchange it tells of.
        if (held)
            FUZZ_CHECK(controls.frames.size() == 2 && quint8(controls.frames[0][7]) >= 15);
        else
            FUZZ_CHECK(controls.frames == (QList<QByteArray>{request.frame, r}));
        if (!held)
            writeShown = !request.isRead();
        const StatusLine s = held ? StatusLine{msg::RegistersRead, StatusColour::Green} : controls.lastStatus();
        const bool read = s.text == msg::RegistersRead;
        const bool written = s.text == msg::RegistersWritten;
        FUZZ_CHECK(s.colour == (read || written ? StatusColour::Green : StatusColour::Yellow));
        if (s.text.startsWith(QStringLiteral("Modbus exception "))) {
            FUZZ_CHECK(!junk && r.size() >= 9 && quint8(r[7]) == (request.functionCode() | 0x80));
            FUZZ_CHECK(s.text.startsWith(QStringLiteral("Modbus exception %1").arg(quint8(r[8]))));
        }
        if (junk)
            FUZZ_CHECK(s.text.startsWith(msg::MalformedReply));
        if (request.isRead()) {
            FUZZ_CHECK(read == (!junk && soundReadReply(r, request)) && !written && s.text != msg::ErrorWriting);
        } else {
            const bool echo = !junk && r.size() >= 12 && quint8(r[7]) == request.functionCode()
                           && be16(r, 8) == request.start() && be16(r, 10) == request.quantity();
            FUZZ_CHECK(written == echo && !read);
        }

        // Which boxes the outcome may change, and to what.
        const Sent &asked = sent[id];
        const int quantity = request.quantity();
        for (int k = 0; k < 16; ++k) {
            const bool set = controls.boxesSet & (1u << k);
            const Box &b = boxes[k];
            // The box changed after the request went out: by the outcome of a later request, or
            // by an edit (whether or not a manual read has cleared its mark since).
            const bool newer = b.filledBy > asked.order || b.typedAt > asked.order;
            QString expected;     // what a box the outcome sets must show
            bool covered = false; // the outcome has a text for this box
            if (request.isRead()) {
                // Every outcome of a read rewrites the boxes: nothing stale stays as if fresh.
                covered = true;
                expected = read ? expectedBox(r, quantity, k) : QString();
                // What a later request brought stays, and so does typed text through monitoring's
                // reads; the answer to the operator's read replaces what was typed before it.
                FUZZ_CHECK(set == !(newer || (!b.typed.isEmpty() && request.asker == Asker::Monitoring)));
            } else if (written && k < std::min(quantity, 16)) {
                covered = true;
                expected = item(asked.frame, adu::WriteDataAt, request.functionCode() == 16, k);
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
                                            [&r](const SentRequest &a) { return a.frame == r.frame; });
            if (still != exchange.state().awaited.cend() && !still->timedOut)
                continue;
            anyTimedOut = true;
            lastIsWrite = !r.isRead();
            const int id = r.transactionId();
            FUZZ_CHECK(sent[id].at + ReplyTimeoutSeconds <= now() + 1e-9 && !answered.contains(id));
            // A read answered after this one settled it: no timeout may be told of it.
            for (int newer : answered)
                FUZZ_CHECK(!(r.isRead() && sent[newer].read && newer > id));
        }
        FUZZ_CHECK(controls.statuses.size() == statuses + (anyTimedOut ? 1 : 0));
        if (anyTimedOut) {
            FUZZ_CHECK(controls.lastStatus().text == msg::TimeOut);
            writeShown = lastIsWrite; // a write's timeout is its outcome
        }
        statusesJudged();
    }

    void checkState() const
    {
        const FormState &st = exchange.state();
        FUZZ_CHECK(st.bufRecv.size() <= adu::MaxAduSize);
        // Every whole reply has been handled; what is left can only be the start of one.
        QByteArray rest = st.bufRecv;
        FUZZ_CHECK(adu::takeFrame(rest).status == adu::FrameStatus::NeedMore);
        FUZZ_CHECK(alarm.running == exchange.awaitingReply());
        // The requests awaited are requests of this connection, each once, in the order sent;
        // each waits until its deadline and no longer, and after its timeout only the latest
        // request stays for a late reply.
        int previous = -1;
        double earliest = -1;
        for (const SentRequest &r : st.awaited) {
            const int id = r.transactionId();
            FUZZ_CHECK(id > previous && id < sent.size() && r.frame == sent[id].frame);
            previous = id;
            FUZZ_CHECK(r.timedOut ? id == sent.size() - 1 : sent[id].at + ReplyTimeoutSeconds > now() - 0.002);
            if (!r.timedOut && earliest < 0)
                earliest = sent[id].at + ReplyTimeoutSeconds;
        }
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
        socket.waiting.append(bytes);
        exchange.Winsock1_DataArrival(qint32(socket.waiting.size()));
        FUZZ_CHECK(socket.waiting.isEmpty()); // everything that arrived was taken
        FUZZ_CHECK(socket.negativeAsks == 0 && controls.boxesOutOfRange == 0);
    }

    // A sound reply to request id whose values come from data: taken whole when nothing
    // partial waits before it, so the harness knows it answered the request.
    void answer(int id, const uint8_t *data, size_t size, size_t &at)
    {
        const QByteArray &req = sent[id].frame;
        const int fc = quint8(req[7]);
        QByteArray pdu;
        pdu.append(char(fc));
        if (sent[id].read) {
            const int quantity = std::min(be16(req, 10), 16);
            const int count = holdsRegisters(fc) ? 2 * quantity : (quantity + 7) / 8;
            pdu.append(char(count));
            for (int i = 0; i < count; ++i)
                pdu.append(char(at < size ? data[at++] : 0));
        } else {
            pdu.append(req.mid(8, 4)); // the start and quantity echoed
        }
        QByteArray reply = req.left(4);
        reply.append(char(0));
        reply.append(char(1 + pdu.size()));
        reply.append(req[6]);
        reply.append(pdu);
        const auto &awaited = exchange.state().awaited;
        const bool matches = exchange.state().bufRecv.isEmpty()
                          && std::any_of(awaited.cbegin(), awaited.cend(),
                                         [id](const SentRequest &r) { return r.transactionId() == id; });
        arrive(reply);
        if (matches && !answered.contains(id))
            answered.append(id);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    Harness h;
    h.controls.onReply = [&h](const SentRequest &request, const QByteArray &r) { h.judgeReply(request, r); };
    h.request(Kind(data[0] % 7), data[1] % 17, Asker::Operator);
    h.checkState();

    size_t at = 2;
    auto next = [&](uint8_t otherwise) { return at < size ? data[at++] : otherwise; };
    while (at < size) {
        const uint8_t step = data[at++];
        if (step < 0xE0 || step == 0xFF) {
            const size_t n = step == 0xFF ? size - at : std::min<size_t>(step + 1, size - at);
            h.arrive(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(n)));
            at += n;
        } else if (step == 0xE1) {
            h.connect(next(adu::DefaultUnitId));
        } else if (step >= 0xE2 && step <= 0xE7) {
            h.request(Kind(step - 0xE1), next(1) % 17, Asker::Operator);
        } else if (step == 0xE8) {
            h.request(Reads[next(0) % 4], 16, Asker::Monitoring);
        } else if (step == 0xE9) {
            const int box = next(0) % 16;
            h.type(box, QString::number(next(1)));
        } else if (step == 0xEA) {
            const uint8_t which = next(0);
            if (!h.sent.isEmpty())
                h.answer(which % h.sent.size(), data, size, at);
        } else {
            h.alarm.advance(next(50) * 0.02, [&h] { h.fire(); });
        }
        h.checkState();
    }
    return 0;
}
