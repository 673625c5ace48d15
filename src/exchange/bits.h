#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Bit helpers for coils and discrete inputs. In Modbus the least significant bit of a
// data byte is the lowest address (Modbus Application Protocol, function codes 01, 02, 15).

// 1 when bit bitId of aByte is set, else 0; a bit number outside 0..7 names no bit and gives 0.
qint16 ValBit(quint8 aByte, qint16 bitId);

// aByte with bit (bitId mod 8) set when outBit is 1 or cleared when outBit is 0; any other
// outBit gives 0. The coil write packs its bytes through SetByte and does not call this; it
// stays as the writing counterpart of ValBit, under the name the tool's documentation of
// the bit helpers gives it, and its results are pinned by the tests.
quint8 SetBit(quint8 aByte, quint8 bitId, qint16 outBit);

// A text of digits read most significant first, each position doubling the weight:
// "00000101" is 5, "2" is 2, "12" is 4. Empty when a character is not a digit or the value
// passes 255. The empty text is 0.
std::optional<quint8> SetByte(const QString &strBit);
