// Display width of code points: range lookups in the three width tables.
#include "runtime/core/char_width.hpp"

#include <iterator>

namespace ixo::unicode {

bool in_ranges_q(uint32_t cp, const uint32_t* table, int32_t words) {
  if (words < 2 || cp < table[0] || cp > table[words - 1]) return false;
  // Ranges are sorted: once a range starts above cp, no later one holds it.
  for (int32_t i = 0; i + 1 < words && table[i] <= cp; i += 2) {
    if (cp <= table[i + 1]) return true;
  }
  return false;
}

int32_t char_width(uint32_t cp) {
  if (cp == 0) return 0;
  if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return 1;
  if (in_ranges_q(cp, zero_width_table, std::size(zero_width_table))) return 0;
  if (in_ranges_q(cp, wide_table, std::size(wide_table))) return 2;
  return 1;
}

int32_t char_width_cjk(uint32_t cp) {
  if (in_ranges_q(cp, ambiguous_table, std::size(ambiguous_table))) return 2;
  return char_width(cp);
}

}  // namespace ixo::unicode
