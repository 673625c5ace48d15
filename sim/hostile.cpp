#include "hostile.h"

#include "sim_reserved.h"

#include <modbus.h>

#include <algorithm>

namespace hostile {
namespace {

constexpr int MbapSize = 7; // transaction id, protocol id, length, unit id
constexpr int FunctionOffset = MbapSize;

// Wraps a PDU in an MBAP header whose length field matches what is actually sent,
// so a client can only notice the fault inside the PDU.
std::vector<std::uint8_t> frame(std::uint16_t transactionId, std::uint8_t unitId, const std::vector<std::uint8_t> &pdu)
{
    const std::size_t length = pdu.size() + 1; // the unit id counts too
    std::vector<std::uint8_t> out;
    out.reserve(MbapSize + pdu.size());
    for (std::uint8_t byte : {std::uint8_t(transactionId >> 8), std::uint8_t(transactionId & 0xFF), std::uint8_t(0),
                              std::uint8_t(0), // protocol id: Modbus
                              std::uint8_t(length >> 8), std::uint8_t(length & 0xFF), unitId})
        out.push_back(byte);
    for (std::uint8_t byte : pdu)
        out.push_back(byte);
    return out;
}

void appendRegisters(std::vector<std::uint8_t> &pdu, const std::uint16_t *values, int count)
{
    for (int i = 0; i < count; ++i) {
        pdu.push_back(std::uint8_t(values[i] >> 8));
        pdu.push_back(std::uint8_t(values[i] & 0xFF));
    }
}

} // namespace

std::vector<std::uint8_t> readRegistersReply(std::uint16_t transactionId, std::uint8_t unitId,
                                             const std::uint16_t *values, int count)
{
    std::vector<std::uint8_t> pdu{MODBUS_FC_READ_HOLDING_REGISTERS, std::uint8_t(2 * count)};
    appendRegisters(pdu, values, count);
    return frame(transactionId, unitId, pdu);
}

std::optional<std::uint16_t> reservedRead(const std::uint8_t *pdu, int length)
{
    if (length < 5 || pdu[0] != MODBUS_FC_READ_HOLDING_REGISTERS)
        return std::nullopt;
    const int address = pdu[1] << 8 | pdu[2];
    const int count = pdu[3] << 8 | pdu[4];
    // An out-of-range quantity deserves the ordinary exception from libmodbus, not a
    // misbehaviour, so that only the reserved fault is ever in play.
    if (!sim_reserved::isReserved(address) || count < 1 || count > MODBUS_MAX_READ_REGISTERS || address + count > 65536)
        return std::nullopt;
    return std::uint16_t(address);
}

std::optional<Plan> planFor(const std::uint8_t *request, int length, const std::uint16_t *registers)
{
    const auto reserved = length > FunctionOffset ? reservedRead(request + FunctionOffset, length - FunctionOffset)
                                                  : std::nullopt;
    if (!reserved || *reserved == sim_reserved::BadCrc)
        return std::nullopt;
    const std::uint16_t transactionId = std::uint16_t(request[0] << 8 | request[1]);
    const std::uint8_t unitId = request[6];
    const int address = *reserved;
    const int count = request[FunctionOffset + 3] << 8 | request[FunctionOffset + 4];

    const std::uint16_t *values = registers + address;
    Plan plan;
    switch (address) {
    case sim_reserved::Exception:
        plan.chunks.push_back(
            frame(transactionId, unitId, {MODBUS_FC_READ_HOLDING_REGISTERS | 0x80, sim_reserved::ExceptionCode}));
        return plan;
    case sim_reserved::WrongByteCount: {
        std::vector<std::uint8_t> pdu{MODBUS_FC_READ_HOLDING_REGISTERS, sim_reserved::WrongByteCountClaimed};
        // A quantity of one has only two data bytes of its own; the carried bytes
        // come from the registers after it, which exist for every reserved address.
        appendRegisters(pdu, values, sim_reserved::WrongByteCountCarried / 2);
        plan.chunks.push_back(frame(transactionId, unitId, pdu));
        return plan;
    }
    default: return spoilReply(address, readRegistersReply(transactionId, unitId, values, count));
    }
}

Plan spoilReply(std::uint16_t address, std::vector<std::uint8_t> reply)
{
    Plan plan;
    switch (address) {
    case sim_reserved::SlowBytes:
        for (std::uint8_t byte : reply)
            plan.chunks.push_back({byte});
        plan.gapMs = sim_reserved::SlowByteGapMs;
        return plan;
    case sim_reserved::Silent: return plan;
    case sim_reserved::Late: plan.firstDelayMs = sim_reserved::LateDelayMs; break;
    case sim_reserved::Junk:
        reply.insert(reply.end(), std::begin(sim_reserved::JunkBytes), std::end(sim_reserved::JunkBytes));
        break;
    case sim_reserved::CloseMidReply:
        reply.resize(std::min<std::size_t>(reply.size(), sim_reserved::CloseMidReplyBytes));
        plan.closeAfter = true;
        break;
    case sim_reserved::BadCrc:
        // An RTU frame ends with its CRC, low byte first.
        for (std::size_t i = reply.size() >= 2 ? reply.size() - 2 : reply.size(); i < reply.size(); ++i)
            reply[i] = std::uint8_t(~reply[i]);
        break;
    default: break; // in RTU framing the exception is libmodbus's own; a wrong byte count would need our own CRC
    }
    plan.chunks.push_back(std::move(reply));
    return plan;
}

} // namespace hostile
