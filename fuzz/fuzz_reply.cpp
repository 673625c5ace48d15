// The reply path: whatever a device sends, cut into whatever arrivals TCP makes of it, in any
// order and after any delay, with reads, writes and typing interleaved, in Modbus TCP framing
// or in Modbus RTU framing over TCP, the window shows only sound values and a true status,
// each answering the request it answers, and the exchange's own state stays consistent.

// Input: byte 0 chooses the first request (0 none, 1 read holding registers, 2 read coils,
// 3 read discrete inputs, 4 write registers, 5 write coils, 6 read input registers), byte 1
// its length (mod 17).
// Then steps, each led by one byte h:
//   h < 0xE0    the next h+1 bytes arrive in one piece
//   0xE0        time passes: the next byte times 20 ms
//   0xE1        a new connection, for the unit given by the next byte, in RTU framing when
//               the byte after is odd
//   0xE2..0xE7  the operator sends a request of kind h-0xE1, its length the next byte (mod 17)
//   0xE8        monitoring sends a read of one of the four tables (the next byte mod 4), length 16
//   0xE9        the operator types into box (next byte mod 16) the number of the byte after
//   0xEA        a sound reply, from the following bytes, to the request of this connection
//               whose number is the next byte (mod the requests sent); in RTU framing to the
//               request on the wire, from another unit when that byte is 0x80 or more
//   0xEB..0xFE  as 0xE0
//   0xFF        all remaining bytes arrive in one piece

#include "reply_harness.h"

#include <cstddef>
#include <cstdint>

using namespace model;

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
            const uint8_t unit = next(DefaultUnitId);
            h.connect(unit, next(0) % 2 == 1);
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
                h.answer(which % h.sent.size(), which >= 0x80, data, size, at);
        } else {
            h.alarm.advance(next(50) * 0.02, [&h] { h.fire(); });
        }
        h.checkState();
    }
    return 0;
}
