// Case folding: the upper-case and lower-case form of a code point. The
// Basic Multilingual Plane is served by two direct lookup tables that
// `init` builds on the tracked heap; the planes above it by scans of two
// short sorted pair lists. The pair lists are the simple case mappings of
// the Unicode Character Database, written by unicode_tables.py into
// case_folding_pairs.cpp. `change` applies the mapping to a char! or to the
// units of a string in place.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::case_folding {

struct case_pair {
  uint32_t source;
  uint32_t target;
};

// Sorted by source.
extern const case_pair bmp_lower_to_upper[1178];
extern const case_pair bmp_upper_to_lower[1158];
extern const case_pair supplementary_lower_to_upper[225];
extern const case_pair supplementary_upper_to_lower[225];

// Entries of one lookup table: one per BMP code point, 4 bytes each, so
// 262,144 bytes per table.
constexpr int32_t TABLE_ENTRIES = 0x10000;

// Builds the to-upper and to-lower lookup tables. Runs once at start-up,
// before the symbol table is made; the tables are never freed.
void init();

// The code point mapped to upper case (upper non-zero) or lower case; a code
// point without a mapping is answered unchanged.
uint32_t change_char(uint32_t cp, int32_t upper);

// change_char(cp, 1) with ASCII answered inline: hashing and comparing
// strings without case fold every code point.
inline uint32_t upper_char(uint32_t cp) {
  if (cp < 0x80) return cp - 'a' < 26 ? cp - 0x20 : cp;
  return change_char(cp, 1);
}

// Maps a char!'s code point, or the units of an any-string from its index
// to its tail, in place (an index past the tail is first set back to the
// tail). When `part` > 0 the /part argument is the cell that many cells
// after `value`: an integer! limits the count, a position in the same
// series ends the run there, anything else raises invalid-refine-arg. A
// string widens when a mapped code point needs it. Other values are left
// alone. Answers `value`, which must lie where no allocation moves it.
cell* change(cell* value, int32_t part, int32_t upper);

}  // namespace ixo::case_folding
