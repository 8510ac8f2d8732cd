// Symbols: every spelling the runtime meets as a word is interned once in
// the symbol table and named from then on by its symbol id, the 1-based
// position of its symbol! cell in the table's block. A symbol! cell holds
// the id of its canonical spelling (the first interned spelling of the
// same letters, ASCII case folded) in payload word 1, or -1 when it is
// canonical itself; words compare by canonical id.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::symbol {

// The symbol table's hashtable (kind 2); its block holds the symbol! cells.
extern uint32_t table;

// The symbol! cell of an id; payload word 3 holds the node of its
// spelling (unit-1 bytes).
const cell* get(int32_t id);

// The canonical id of a symbol: its alias when it has one, else the id.
int32_t resolve(int32_t id);

}  // namespace ixo::symbol
