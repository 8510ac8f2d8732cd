// Case folding: the lookup tables of the BMP, built from the pair lists at
// start-up, and the mapping of one code point in either direction.
#include "runtime/core/case_folding.hpp"

#include <iterator>

#include "startup/heap.hpp"

namespace ixo::case_folding {

namespace {

// Indexed by code point; 0 means the code point maps to itself.
uint32_t* to_upper = nullptr;
uint32_t* to_lower = nullptr;

uint32_t* build_table(const case_pair* pairs, int32_t count) {
  auto* table = static_cast<uint32_t*>(
      heap::alloc_zeroed(TABLE_ENTRIES * static_cast<int32_t>(sizeof(uint32_t))));
  for (int32_t i = 0; i < count; ++i) table[pairs[i].source] = pairs[i].target;
  return table;
}

uint32_t scan_pairs(uint32_t cp, const case_pair* pairs, int32_t count) {
  if (cp < pairs[0].source || cp > pairs[count - 1].source) return cp;
  for (int32_t i = 0; i < count && pairs[i].source <= cp; ++i) {
    if (pairs[i].source == cp) return pairs[i].target;
  }
  return cp;
}

}  // namespace

void init() {
  to_upper = build_table(bmp_lower_to_upper, std::size(bmp_lower_to_upper));
  to_lower = build_table(bmp_upper_to_lower, std::size(bmp_upper_to_lower));
}

uint32_t change_char(uint32_t cp, int32_t upper) {
  if (cp < TABLE_ENTRIES) {
    uint32_t mapped = (upper ? to_upper : to_lower)[cp];
    return mapped ? mapped : cp;
  }
  if (upper) return scan_pairs(cp, supplementary_lower_to_upper, std::size(supplementary_lower_to_upper));
  return scan_pairs(cp, supplementary_upper_to_lower, std::size(supplementary_upper_to_lower));
}

}  // namespace ixo::case_folding
