// The natives table and the calling convention of natives. A native! value
// holds its slot number (payload word 1); the interpreter finds the entry
// here. Slots are numbered from 1 in a fixed order (if, unless, either ...
// apply: 107 slots; 108 to 120 are reserved); a slot whose family is not
// built yet holds no entry, and calling it raises internal/not-done.
//
// Calling convention: the caller opens the call's frame and places the
// argument cells from the argument base: the mandatory arguments in spec
// order, then the arguments of the refinements that were used, in the
// order the call gave them. The entry receives one integer per refinement
// of its spec, in spec order: -1 when the refinement was not used, else
// the argument index where its arguments begin (for a refinement without
// arguments, the index its first argument would have). The native leaves
// its result in the result slot (the argument base); errors and
// non-local exits leave by throwing. Every caller is the interpreter,
// which checks the argument types while fetching them, so a native does
// not check them again.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::natives {

using native_entry = void (*)(const int32_t* refinements);

constexpr int32_t TABLE_SLOTS = 120;

// Slot n is element n - 1.
extern native_entry table[TABLE_SLOTS];
// The next slot copy_table fills.
extern int32_t fill_count;
// The reusable work block of print and prin (32 cells of room), a cell of
// the root block.
extern cell* buffer_blk;
// Whether the latest print ended with a line end: print sets it, prin
// clears it; false at start.
extern bool last_newline;

// The entry of a slot, nullptr for a slot without one or out of range.
inline native_entry entry_of(int32_t slot) { return slot >= 1 && slot <= TABLE_SLOTS ? table[slot - 1] : nullptr; }

// Stores `count` entries from the fill count on, in order.
void copy_table(int32_t count, const native_entry* entries);

// Fills the table in slot order and makes buffer_blk; once, after the
// runtime's words exist.
void init();

}  // namespace ixo::natives
