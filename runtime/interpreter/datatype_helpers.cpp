// Float to integer under the range rule, and the doubling pattern fill.
#include "runtime/interpreter/datatype_helpers.hpp"

#include <cmath>
#include <cstring>

#include "runtime/interpreter/fire.hpp"

namespace ixo::datatype_helpers {

int32_t float_to_integer(const cell* value) {
  double d = std::trunc(get_float(value));
  // NaN fails both comparisons.
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) fire(err::script_out_of_range, {*value});
  return static_cast<int32_t>(d);
}

uint8_t* fill_pattern(uint8_t* start, int32_t pattern, int32_t count) {
  int64_t total = static_cast<int64_t>(pattern) * count;
  int64_t done = pattern;
  while (done < total) {
    int64_t n = done < total - done ? done : total - done;
    std::memcpy(start + done, start, static_cast<size_t>(n));
    done += n;
  }
  return start + (total > 0 ? total : 0);
}

}  // namespace ixo::datatype_helpers
