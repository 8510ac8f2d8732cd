// Case folding: the lookup tables of the BMP, built from the pair lists at
// start-up, the mapping of one code point in either direction, and its
// application to chars and strings in place.
#include "runtime/core/case_folding.hpp"

#include <algorithm>
#include <iterator>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "startup/system/heap.hpp"

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

cell* change(cell* value, int32_t part, int32_t upper) {
  if (TYPE_OF(value) == TYPE_CHAR) {
    value->data2 = change_char(value->data2, upper);
    return value;
  }
  if (!any_string_q(TYPE_OF(value))) return value;
  string::rs_head(value);
  int32_t index = static_cast<int32_t>(value->data1);
  int32_t count = string::rs_length_q(value);
  if (part > 0) {
    int64_t n = series::part_length(value, index, value + part);
    count = static_cast<int32_t>(std::clamp<int64_t>(n, 0, count));
  }
  memory::series_buffer* b = memory::GET_BUFFER(value);
  for (int32_t i = 0; i < count; ++i) {
    // Read again each time: a widening changes the unit and the buffer.
    uint32_t unit = memory::GET_UNIT(b);
    uint8_t* at = memory::head_of(b) + static_cast<int64_t>(index + i) * unit;
    b = string::poke_char(b, at, change_char(string::get_char(at, unit), upper));
  }
  // The owner hears of it once, after the change.
  ownership::check(value, upper ? words::word_uppercase : words::word_lowercase, nullptr, index, count);
  return value;
}

}  // namespace ixo::case_folding
