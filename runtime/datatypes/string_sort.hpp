// string!'s sort, which orders the code units of a string or fixed-size
// records of them in place, and the set operations of two strings.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::string {

// Sorts from the index to the tail (/part: that many units, or the units
// before the index when negative), by code point folded to upper case
// unless /case, in records of /skip units compared by their first unit (all
// of it with /all, the /compare'th unit with an integer), or by a
// comparison function. /stable keeps equal items in their order.
cell* sort(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
           int32_t reverse, int32_t stable);

// The natives' operation codes.
enum set_operation : int32_t {
  SET_UNIQUE = 8,
  SET_UNION = 9,
  SET_INTERSECT = 10,
  SET_EXCLUDE = 11,
  SET_DIFFERENCE = 12,
};

// The set operation `op` on the strings in the first two cells of the
// argument base (only the first for unique), by records of /skip units
// keyed by their first code point, folded unless `case_`. The result, a
// new string, takes the place of the first argument's series (index 0,
// type kept); answers that cell.
cell* do_set_op(int32_t case_, cell* skip, int32_t op);

}  // namespace ixo::string
