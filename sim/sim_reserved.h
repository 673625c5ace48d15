#pragma once

#include <cstdint>

// Holding-register start addresses at which `modbus-sim --hostile` misbehaves on a
// read holding registers request (function 3). The simulator and the tests both
// include this header so they agree on which address provokes which fault. Without
// --hostile these addresses are ordinary registers; with --rtu, WrongByteCount is one
// too, and with Modbus TCP, which carries no CRC, BadCrc is.
namespace sim_reserved {

// The normal reply, trickled out one byte at a time.
inline constexpr std::uint16_t SlowBytes = 65000;
// An exception reply (server device failure) instead of data.
inline constexpr std::uint16_t Exception = 65001;
// A reply whose byte count promises more data than the frame carries.
inline constexpr std::uint16_t WrongByteCount = 65002;
// No reply at all; the connection stays open.
inline constexpr std::uint16_t Silent = 65003;
// The normal reply, but only after a long pause.
inline constexpr std::uint16_t Late = 65004;
// The normal reply with junk bytes glued to its end.
inline constexpr std::uint16_t Junk = 65005;
// The start of a reply, then the connection is closed.
inline constexpr std::uint16_t CloseMidReply = 65006;
// With --rtu: the normal reply with both bytes of its CRC inverted, so the CRC is
// wrong whichever byte order a client reads it in.
inline constexpr std::uint16_t BadCrc = 65007;

inline constexpr std::uint16_t First = SlowBytes;
inline constexpr std::uint16_t Last = BadCrc;

inline constexpr int SlowByteGapMs = 50;
inline constexpr int LateDelayMs = 4000;
inline constexpr std::uint8_t ExceptionCode = 4; // server device failure
inline constexpr std::uint8_t WrongByteCountClaimed = 8;
inline constexpr int WrongByteCountCarried = 4;
inline constexpr std::uint8_t JunkBytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00};
inline constexpr int CloseMidReplyBytes = 5;

inline constexpr bool isReserved(int address) { return address >= First && address <= Last; }

} // namespace sim_reserved
