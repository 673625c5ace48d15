#pragma once

#include "exchange/texts.h"
#include "exchange/value_boxes.h"

#include <QByteArray>
#include <QString>

// What the tooltips of the value boxes and of the status line say. The window shows the
// values only in decimal and never shows the frames; the tooltips give engineers the other
// readings of a register and the raw bytes without a single extra control.
namespace tooltips {

// The address box's tooltip: the forms of address it takes.
inline const QString AddressTip = QStringLiteral(
    "The device: 192.168.0.10 or plc1 (port 502), host:port, or [IPv6]:port.\n"
    "Add #N for unit N (0 to 255) behind a gateway: 192.168.0.10#3.");

// What a box holding typed text says of it, in its tooltip and to screen readers.
inline const QString Typed = QStringLiteral("typed, not read from the device");

// What a value box holds, as its tooltip reads it: where its value came from, whether the
// operator typed it, and its text.
struct BoxValue {
    BoxSource source;
    bool typed = false;
    QString text;
};

// "Holding register 44 (reference 40045) from 192.168.0.10#3", "Coil 17 (reference 00018)
// from plc1": the item a value came from, with the reference number that device manuals give
// it, and the device as the address box named it. "Value k" for box k when no reply filled it,
// or the address lies beyond the last Modbus address, 65535.
QString itemName(const BoxSource &source, int box);

// "0x012C  signed 300  binary 0000 0001 0010 1100": a register's 16 bits read as hex, as a
// two's-complement number and bit by bit. With nextText, the value of the next register,
// also the two as one 32-bit value, as a float and as unsigned and signed numbers, high word
// first and then with the words swapped. Empty for a text that a register write would not
// take (empty, "12abc", negative, above 65535).
QString registerReadings(const QString &boxText, const QString &nextText = {});

// The tooltip of value box k, given what it and box k + 1 hold: the item its value came from
// and, for a register, the readings of its value, as 32 bits with box k + 1 when that holds
// the next register of the same table, read over the same connection; or that it holds typed
// text, with the readings of what a write would send.
QString valueBoxTip(int box, const BoxValue &value, const BoxValue &next);

// The tooltip of the status line: the last request, the last reply (or that none has come
// since the request) and the round trip between them in milliseconds. A negative round
// trip means no reply yet.
QString exchangeTip(const QByteArray &request, const QByteArray &reply, double roundTripMs);

} // namespace tooltips
