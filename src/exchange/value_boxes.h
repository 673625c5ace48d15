#pragma once

#include "tables.h"

#include <QString>
#include <QtGlobal>

// The window has sixteen value boxes: box k holds the item at the start address + k, so a
// request moves at most this many registers or bits.
constexpr int BoxCount = 16;

// Where the value in a box came from: the device, as the address box named it when the
// connection was made, the connection itself (a reconnect to the same text may reach another
// device, or the same one after a restart), the table and the address of the item. A box
// that no reply filled has none.
struct BoxSource {
    const TableInfo *table = nullptr;
    int address = -1;
    QString device;
    quint64 connection = 0;
    bool known() const { return table && address >= 0; }
    bool operator==(const BoxSource &) const = default;
};

// What a value box holds besides its text, as the exchange keeps it. Outcomes and typing are
// ordered by moments: each request sent and each edit of a box takes the next one. A reply
// changes a box only when the box holds nothing newer than its request (the outcome of a
// later request, or typing since the request went out), so a slow answer never overwrites
// what came after it.
struct BoxContent {
    BoxSource source;
    bool typed = false; // the operator's text, shown as such until the device's answer replaces it
    quint64 since = 0;  // the moment of the request that filled it, or of the last edit
};
