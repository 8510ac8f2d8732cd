// time!: a signed duration or time of day, a double count of seconds with
// no bound and no wrapping at 24 hours. Its parent is float!, whose math,
// compare, random, absolute, negate and remainder it uses; this module adds
// the hour/minute/second view, the h:mm:ss text and construction. date!
// reuses the former, the field extractors and the path setter.
//
// Cell: payload words 2 and 3 hold the seconds, as float! holds its double.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::time {

constexpr double SECONDS_PER_HOUR = 3600.0;
constexpr double SECONDS_PER_MINUTE = 60.0;

inline cell make_cell(double seconds) {
  cell c{TYPE_TIME, 0, 0, 0};
  set_float(&c, seconds);
  return c;
}

// The cell becomes the time, its header flags kept.
cell* make_at(double seconds, cell* c);
cell* push(double seconds);

// Whole hours, truncated toward zero and saturated to 32 bits.
int32_t get_hours(double seconds);
// Minutes 0..59 of the absolute value.
int32_t get_minutes(double seconds);
// 1, 2, 3 for hour, minute, second; -1 for another word, except that
// another word on a time! value raises script/cannot-use.
int32_t get_field_index(const cell* word, const cell* value);
// Pushes field 1 (hours, integer!), 2 (minutes, integer!) or 3 (seconds
// within the minute, float!, with the time's sign).
cell* get_field(const cell* time, int32_t index);
// t with field 1, 2 or 3 replaced by the value (an integer!, or for the
// seconds a float! too; anything else raises script/invalid-arg). The other
// fields are kept and the value is not range-checked, so 90 minutes carry.
double set_field(double t, int32_t index, const cell* value);
// Appends h:mm:ss[.fraction], answering the part budget less its length.
int32_t form(double seconds, cell* buffer, int32_t part);

void init();

}  // namespace ixo::time
