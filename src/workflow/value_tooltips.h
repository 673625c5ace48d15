#pragma once

#include "exchange/texts.h"

#include <QByteArray>
#include <QString>

// What the tooltips of the value boxes and of the status line say. The window shows the
// values only in decimal and never shows the frames; the tooltips give engineers the other
// readings of a register and the raw bytes without a single extra control.
namespace tooltips {

// "Holding register 17", "Coil 17", "Discrete input 17", "Address 17" for an unknown table:
// the item box k stands for when the start box holds startText. "Value k" when the start
// text is not an address or start + k lies beyond the last Modbus address, 65535.
QString itemName(table::Kind kind, const QString &startText, int box);

// "0x012C  signed 300  binary 0000 0001 0010 1100": a register's 16 bits read as hex, as a
// two's-complement number and bit by bit. Empty for a text that is not a register value
// the tool could write (empty, negative, above 65535).
QString registerReadings(const QString &boxText);

// The tooltip of value box k: its item, and for a register the readings of its value.
QString valueBoxTip(table::Kind kind, const QString &startText, int box, const QString &boxText);

// The tooltip of the status line: the last request, the last reply (or that none has come
// since the request) and the round trip between them in milliseconds. A negative round
// trip means no reply yet.
QString exchangeTip(const QByteArray &request, const QByteArray &reply, double roundTripMs);

} // namespace tooltips
