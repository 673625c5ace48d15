#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The raw replies `modbus-sim --hostile` sends for the reserved addresses of
// sim_reserved.h. They bypass modbus_reply because libmodbus only ever produces
// well-formed frames, and the point here is to feed a client the bad ones.
namespace hostile {

struct Plan {
    // Each chunk goes out in one send(); an empty list means no reply at all.
    std::vector<std::vector<std::uint8_t>> chunks;
    int firstDelayMs = 0; // before the first chunk
    int gapMs = 0;        // between consecutive chunks
    bool closeAfter = false;
};

// The start address when `pdu` (function code onwards) is a valid read of holding
// registers starting at a reserved address, else nothing.
std::optional<std::uint16_t> reservedRead(const std::uint8_t *pdu, int length);

// `request` is a whole Modbus TCP request as modbus_receive returned it and
// `registers` the simulator's 65536 holding registers. Returns nothing when the
// request is not a valid read of holding registers starting at a reserved address;
// such requests get libmodbus's normal treatment.
std::optional<Plan> planFor(const std::uint8_t *request, int length, const std::uint16_t *registers);

// How the normal reply to a read at `address`, a reservedRead, goes out to the client:
// cut, delayed, dropped, followed by junk or, in RTU framing, with its CRC inverted.
// With --rtu the reply is libmodbus's own, so a fault that would need a CRC of the
// simulator's own, a wrong byte count, is not played.
Plan spoilReply(std::uint16_t address, std::vector<std::uint8_t> reply);

// A well-formed read holding registers reply, built by hand so that it can be cut up.
std::vector<std::uint8_t> readRegistersReply(std::uint16_t transactionId, std::uint8_t unitId,
                                             const std::uint16_t *values, int count);

} // namespace hostile
