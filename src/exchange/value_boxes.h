#pragma once

#include "texts.h"

// The window has sixteen value boxes: box k holds the item at the start address + k, so a
// request moves at most this many registers or bits.
constexpr int BoxCount = 16;

// Where the value in a box came from: the table and the address of the item. A box that no
// reply filled has none.
struct BoxSource {
    table::Kind table = table::Kind::Unknown;
    int address = -1;
    bool known() const { return address >= 0; }
    bool operator==(const BoxSource &) const = default;
};
