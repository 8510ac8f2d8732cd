// The currency list: the codes a money! value can carry, by their 1-based
// position, which is what a money cell stores (one byte, so at most 255
// codes). Codes are words and match by their case-folded spelling: usd and
// USD are one currency.
//
// The list is interned at start-up, after the symbol table exists. It
// stands where the system object's locale/currencies/list will live; when
// that object exists the list is read from it.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::currency {

constexpr int32_t COUNT = 170;

// The position of a word's currency in the list, or -1.
int32_t get_index(const cell* word);
// The symbol of the code at a position (1..COUNT).
int32_t symbol_at(int32_t index);
// The code's text ("USD").
const char* code_at(int32_t index);

void init();

}  // namespace ixo::currency
