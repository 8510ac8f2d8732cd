// Display width of code points: the number of terminal cells a code point
// takes, 0 for combining marks and other zero-width characters, 2 for East
// Asian wide and fullwidth characters, 1 for the rest. The CJK variant also
// counts East Asian ambiguous characters as 2. The range tables are written
// by unicode_tables.py into char_width_tables.cpp.
#pragma once
#include <cstdint>

namespace ixo::unicode {

// Range tables: flat arrays of inclusive bounds low0, high0, low1, high1, ...
// sorted ascending, no two ranges overlapping.
extern const uint32_t zero_width_table[678];  // combining marks, 1160-11FF, some format characters
extern const uint32_t wide_table[244];        // East Asian Wide and Fullwidth
extern const uint32_t ambiguous_table[312];   // East Asian Ambiguous, private use included

// Whether cp lies in one of the ranges of a table of `words` words.
bool in_ranges_q(uint32_t cp, const uint32_t* table, int32_t words);

// Width in a non-CJK setting: 0 for NUL and the zero-width table, 1 for the
// other control characters and everything not wide, 2 for the wide table.
int32_t char_width(uint32_t cp);

// Width with ambiguous characters counted as 2.
int32_t char_width_cjk(uint32_t cp);

}  // namespace ixo::unicode
