// The reply path: whatever a device sends, cut into whatever arrivals TCP makes of it, with
// any requests outstanding, the window shows only sound values and a true status, each
// answering the request whose transaction id the reply carries, and the exchange's own
// state stays consistent.
//
// Input: byte 0 chooses the first request (0 none, 1 read holding registers, 2 read coils,
// 3 read discrete inputs, 4 write registers, 5 write coils), byte 1 its length (mod 17).
// Then steps, each led by one byte h:
//   h < 0xF8    the next h+1 bytes arrive in one piece
//   0xF8        one tick of the reply timeout (only while it runs, as with a real timer)
//   0xF9        a new connection, for the unit given by the next byte
//   0xFA..0xFE  a new request of kind h-0xF9, its length the next byte (mod 17)
//   0xFF        all remaining bytes arrive in one piece

#include "exchange_fakes.h"
#include "fake_services.h"
#include "fuzz_check.h"

#include "exchange/adu.h"
#include "exchange/exchange.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>

namespace {

enum Kind { None, ReadHolding, ReadCoils, ReadInputs, WriteHolding, WriteCoils };

bool isRead(Kind k) { return k == ReadHolding || k == ReadCoils || k == ReadInputs; }
bool isWrite(Kind k) { return k == WriteHolding || k == WriteCoils; }

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

bool wholeFrame(const QByteArray &r)
{
    return r.size() >= 8 && be16(r, 2) == 0 && r.size() == 6 + be16(r, 4);
}

// What a sound read reply must put in the sixteen boxes, worked out from its bytes and the
// quantity asked: only the items asked for.
QStringList expectedBoxes(const QByteArray &r, int quantity)
{
    QStringList out(16, QString());
    const int fc = quint8(r[7]);
    const int count = quint8(r[8]);
    for (int k = 0; k < std::min(quantity, 16); ++k) {
        if (fc == 3 && 2 * k + 1 < count)
            out[k] = QString::number(be16(r, 9 + 2 * k));
        else if (fc != 3 && k / 8 < count)
            out[k] = QString::number((quint8(r[9 + k / 8]) >> (k % 8)) & 1);
    }
    return out;
}

bool soundReadReply(const QByteArray &r, const SentRequest &request)
{
    if (!wholeFrame(r) || r.size() < 9)
        return false;
    const int fc = quint8(r[7]);
    const int count = quint8(r[8]);
    return fc == request.functionCode() && count == r.size() - 9 && (fc != 3 || count % 2 == 0);
}

struct Harness {
    FakeControls controls;
    FakeSocket socket;
    FakeTicker ticker;
    RecordingServices services;
    ModbusExchange exchange{controls, socket, ticker, services};
    quint8 unit = adu::DefaultUnitId;
    int sentOnConnection = 0;  // requests sent since the connection began
    int latestRead = -1;       // transaction id of the newest read of the connection

    void connect(quint8 newUnit)
    {
        exchange.startConnection(newUnit);
        unit = newUnit;
        sentOnConnection = 0;
        latestRead = -1;
        FUZZ_CHECK(!ticker.running && exchange.state().awaited.isEmpty() && exchange.state().bufRecv.isEmpty());
    }

    void request(Kind kind, int length)
    {
        controls.length = QString::number(length);
        if (isWrite(kind))
            controls.boxes = QStringList(16, QStringLiteral("1")); // a value every write takes
        const int before = controls.requests;
        const qsizetype refusalsBefore = services.messages.size();
        const bool wasWaiting = ticker.running;
        const qint16 countBefore = exchange.state().countTO();
        switch (kind) {
        case None: return;
        case ReadHolding: exchange.ReadHolding(); break;
        case ReadCoils: exchange.ReadCoils(); break;
        case ReadInputs: exchange.ReadInputs(); break;
        case WriteHolding: exchange.WriteHolding(); break;
        case WriteCoils: exchange.WriteCoils(); break;
        }
        if (controls.requests == before) {
            FUZZ_CHECK(services.messages.size() == refusalsBefore + 1); // refused, and said so
            return;
        }
        const QByteArray &sent = socket.sent.last();
        FUZZ_CHECK(wholeFrame(sent));
        // Transaction ids count from 0 on each connection; the unit is the connection's.
        FUZZ_CHECK(be16(sent, 0) == (sentOnConnection & 0xFFFF) && quint8(sent[6]) == unit);
        FUZZ_CHECK(quint8(sent[7]) == (kind == ReadHolding    ? 3
                                              : kind == ReadCoils    ? 1
                                              : kind == ReadInputs   ? 2
                                              : kind == WriteHolding ? 16
                                                                     : 15));
        FUZZ_CHECK(be16(sent, 10) == length);
        // The timeout counts from the oldest unanswered request.
        FUZZ_CHECK(ticker.running && exchange.state().countTO() == (wasWaiting ? countBefore : 0));
        if (isRead(kind))
            latestRead = sentOnConnection;
        ++sentOnConnection;
        controls.boxesSet = 0;
    }

    // Runs for every reply the exchange shows, right after it changed the window.
    void judgeReply(const SentRequest &request, const QByteArray &r)
    {
        FUZZ_CHECK(r.size() <= adu::MaxAduSize);
        const bool junk = !wholeFrame(r); // a stream that broke while the request waited
        // Only a request of this connection, and only the reply that carries its id.
        FUZZ_CHECK(request.transactionId() < sentOnConnection);
        FUZZ_CHECK(junk || be16(r, 0) == request.transactionId());
        // A late reply only for the latest request; a read's only while no newer read went out.
        FUZZ_CHECK(!request.timedOut || request.transactionId() == sentOnConnection - 1);
        FUZZ_CHECK(!request.isRead() || request.transactionId() == latestRead);

        const StatusLine s = controls.lastStatus();
        const bool read = s.text == msg::RegistersRead;
        const bool written = s.text == msg::RegistersWritten;
        const bool exception = s.text.startsWith(QStringLiteral("Modbus exception "));
        FUZZ_CHECK(s.colour == (read || written ? StatusColour::Green : StatusColour::Yellow));
        if (exception) {
            FUZZ_CHECK(!junk && r.size() >= 9 && quint8(r[7]) == (request.functionCode() | 0x80));
            FUZZ_CHECK(s.text.startsWith(QStringLiteral("Modbus exception %1").arg(quint8(r[8]))));
        }

        if (junk) {
            // Reported as such; the boxes are emptied when a read waited, else left alone.
            FUZZ_CHECK(s.text.startsWith(msg::MalformedReply));
            FUZZ_CHECK(controls.boxesSet == 0 || controls.boxesSet == 0xFFFF);
            if (controls.boxesSet != 0) {
                for (const QString &b : controls.boxes)
                    FUZZ_CHECK(b.isEmpty());
            }
        } else if (request.isRead()) {
            // Every outcome of a read rewrites all sixteen boxes: nothing stale stays as if fresh.
            FUZZ_CHECK(controls.boxesSet == 0xFFFF);
            FUZZ_CHECK(read == soundReadReply(r, request));
            FUZZ_CHECK(!written && s.text != msg::ErrorWriting);
            if (read) {
                FUZZ_CHECK(controls.boxes == expectedBoxes(r, request.quantity()));
                for (int k = 0; k < 16; ++k) {
                    const BoxSource named{request.table(), request.start() + k};
                    FUZZ_CHECK(controls.sources[k] == (controls.boxes[k].isEmpty() ? BoxSource{} : named));
                }
            } else {
                for (const QString &b : controls.boxes)
                    FUZZ_CHECK(b.isEmpty());
            }
        } else {
            FUZZ_CHECK(controls.boxesSet == 0); // a write reply never touches the boxes
            const bool echo = !junk && r.size() >= 12 && quint8(r[7]) == request.functionCode()
                              && be16(r, 10) == request.quantity();
            FUZZ_CHECK(written == echo);
            FUZZ_CHECK(!read);
        }
        controls.boxesSet = 0;
    }

    void checkState() const
    {
        const FormState &st = exchange.state();
        FUZZ_CHECK(st.bufRecv.size() <= adu::MaxAduSize);
        // Every whole reply has been handled; what is left can only be the start of one.
        QByteArray rest = st.bufRecv;
        FUZZ_CHECK(adu::takeFrame(rest).status == adu::FrameStatus::NeedMore);
        FUZZ_CHECK(st.countTO() >= 0 && st.countTO() <= 2);
        FUZZ_CHECK(ticker.running == exchange.awaitingReply());
        // The requests awaited are requests of this connection, each once, in the order sent.
        int previous = -1;
        for (const SentRequest &r : st.awaited) {
            FUZZ_CHECK(r.transactionId() > previous && r.transactionId() < sentOnConnection);
            previous = r.transactionId();
        }
        for (const QString &b : controls.boxes)
            FUZZ_CHECK(soundBox(b));
        if (sentOnConnection == 0 && controls.requests == 0)
            FUZZ_CHECK(controls.statusChanges == 0);
    }

    void arrive(const QByteArray &bytes)
    {
        socket.waiting.append(bytes);
        exchange.Winsock1_DataArrival(qint32(socket.waiting.size()));
        FUZZ_CHECK(socket.waiting.isEmpty()); // everything that arrived was taken
        FUZZ_CHECK(socket.negativeAsks == 0 && controls.boxesOutOfRange == 0);
    }

    void tick()
    {
        if (!ticker.running)
            return;
        const int before = exchange.state().countTO();
        exchange.TimerTO_Timer();
        if (before == 2)
            FUZZ_CHECK(controls.lastStatus().text == msg::TimeOut);
        else
            FUZZ_CHECK(exchange.state().countTO() == before + 1 && ticker.running);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    Harness h;
    h.controls.onReply = [&h](const SentRequest &request, const QByteArray &r) { h.judgeReply(request, r); };
    h.request(Kind(data[0] % 6), data[1] % 17);
    h.checkState();

    size_t at = 2;
    while (at < size) {
        const uint8_t step = data[at++];
        if (step < 0xF8 || step == 0xFF) {
            const size_t n = step == 0xFF ? size - at : std::min<size_t>(step + 1, size - at);
            h.arrive(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(n)));
            at += n;
        } else if (step == 0xF8) {
            h.tick();
        } else if (step == 0xF9) {
            h.connect(at < size ? data[at++] : adu::DefaultUnitId);
        } else {
            const int length = at < size ? data[at++] % 17 : 1;
            h.request(Kind(step - 0xF9), length);
        }
        h.checkState();
    }
    return 0;
}
