#pragma once

// The window has sixteen value boxes: box k holds the item at the start address + k, so a
// request moves at most this many registers or bits.
constexpr int BoxCount = 16;
