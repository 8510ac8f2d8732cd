// The currency list: the codes a money! value can carry, by their 1-based
// position, which is what a money cell stores (one byte, so at most 255
// codes). Codes are words and match by their case-folded spelling: usd and
// USD are one currency.
//
// The list is the block system/locale/currencies/list, read as it stands at
// each lookup, so codes appended to it (by a script header's `currencies`,
// or by `append`) are known at once. Until the system object holds that
// block, the built-in codes it starts with stand for it.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::currency {

// The built-in codes.
constexpr int32_t BUILT_IN = 170;
// The most codes a money cell can address.
constexpr int32_t MOST = 255;

// The position of a word's currency in the list, or -1.
int32_t get_index(const cell* word);
// The number of codes in the list (at most MOST).
int32_t count();
// The symbol of the code at a position (1..count()).
int32_t symbol_at(int32_t index);
// The order of two codes by their spelling, as words sort: -1, 0 or 1.
// Allocates nothing.
int32_t compare_codes(int32_t index1, int32_t index2);

// Interns the built-in codes; runs once the symbol table exists.
void init();

}  // namespace ixo::currency
