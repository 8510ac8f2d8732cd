// routine!: a function whose body is a C++ function of the runtime,
// registered by name in the routine table; the value keeps the table
// index, never an address. The cell is function!'s: payload word 1 the
// node of a function context made from the spec, word 2 the spec node,
// word 3 a `more` block of five cells: the body (a string saying the
// routine is built in, and its name), unset!, the entry's table index as
// integer!, unset! (the op! source slot) and unset!. The header holds 29,
// the cells flag and the arity (the spec's word! count) in bits 25-29.
// The interpreter calls the entry with the arguments on the value stack
// from the argument base; the entry leaves its result in the result slot.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::routine {

// Every routine takes its arguments as cells.
constexpr uint32_t FLAG_CELLS = 0x8000;
constexpr uint32_t ARITY_SHIFT = 25;

using routine_entry = void (*)();

// The 1-based table index of the name's entry; a name registered again
// keeps its index and takes the new entry.
int32_t register_entry(const char* name, routine_entry entry);
// The entry at a table index, nullptr for an index not in the table.
routine_entry entry_of(int32_t index);
// The name at a table index, nullptr for an index not in the table; the
// table index of a name, 0 when it is not registered.
const char* name_of(int32_t index);
int32_t find_entry(const char* name);

// Registers the entry under the name and pushes a routine! over the spec
// (a block at index 0); answers the pushed value.
cell* push(const char* name, const cell* spec, routine_entry entry);
inline int32_t get_arity(const cell* routine) { return static_cast<int32_t>(routine->header >> ARITY_SHIFT & 31); }

void init();

}  // namespace ixo::routine
