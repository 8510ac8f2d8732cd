// date!: packing, the calendar on day numbers, the day carry between time
// and date, construction, fields and paths, the text form, comparison,
// arithmetic and random.
#include "runtime/datatypes/date.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::date {

namespace {

constexpr uint32_t YMD_MASK = ~(HAS_TIME | ZONE_MASK);

// A non-negative remainder. Day numbers and field values are carried in
// 64 bits, so that a step from a 32-bit value given by the user cannot
// overflow before its result is checked.
int32_t modulo(int64_t a, int32_t b) {
  int64_t r = a % b;
  return static_cast<int32_t>(r < 0 ? r + b : r);
}

int64_t floor_divide(int64_t a, int32_t b) { return (a - modulo(a, b)) / b; }


}  // namespace

uint32_t pack(int32_t year, int32_t month, int32_t day, uint32_t zone, bool has_time) {
  if (year < YEAR_MIN || year > YEAR_MAX) fire(err::script_out_of_range, {integer::make_cell(year)});
  return static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month & 15) << 12 |
         static_cast<uint32_t>(day & 31) << 7 | (has_time ? HAS_TIME : 0) | (zone & ZONE_MASK);
}

// ---- Calendar -------------------------------------------------------------------------

bool leap_year_q(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t date_to_days(uint32_t packed) {
  int32_t m = (get_month(packed) + 9) % 12;  // March 0 .. February 11
  int32_t y = get_year(packed) - m / 10;
  return 365 * y + y / 4 - y / 100 + y / 400 + (306 * m + 5) / 10 + (get_day(packed) - 1);
}

uint32_t days_to_date(int32_t days, uint32_t zone, bool has_time) {
  auto year_days = [](int64_t y) { return 365 * y + y / 4 - y / 100 + y / 400; };
  int64_t y = static_cast<int64_t>((10000.0 * days + 14780.0) / 3652425.0);
  int64_t r = days - year_days(y);
  if (r < 0) {
    --y;
    r = days - year_days(y);
  }
  int64_t mi = (100 * r + 52) / 3060;
  int64_t year = y + (mi + 2) / 12;
  if (year < YEAR_MIN || year > YEAR_MAX) fire(err::script_out_of_range, {integer::make_cell(static_cast<int32_t>(year))});
  return pack(static_cast<int32_t>(year), static_cast<int32_t>((mi + 2) % 12 + 1),
              static_cast<int32_t>(r - (306 * mi + 5) / 10 + 1), zone, has_time);
}

namespace {

// The day number when it lies within the year range; else `given`, the
// value that led there, is out of range.
int32_t day_in_range(int64_t days, const cell& given) {
  static const int32_t first = date_to_days(pack(YEAR_MIN, 1, 1, 0, false));
  static const int32_t last = date_to_days(pack(YEAR_MAX, 12, 31, 0, false));
  if (days < first || days > last) fire(err::script_out_of_range, {given});
  return static_cast<int32_t>(days);
}

// A year carried from a 64-bit computation, checked as day_in_range checks.
int32_t year_in_range(int64_t year, const cell& given) {
  if (year < YEAR_MIN || year > YEAR_MAX) fire(err::script_out_of_range, {given});
  return static_cast<int32_t>(year);
}

}  // namespace

int32_t year_start(uint32_t packed) { return date_to_days(pack(get_year(packed), 1, 1, 0, false)); }

int32_t get_yearday(uint32_t packed) { return date_to_days(packed) - year_start(packed) + 1; }

namespace {
int32_t weekday_of(int32_t days) { return modulo(days + 2, 7) + 1; }
}  // namespace

int32_t iso_week_start(uint32_t packed, int32_t& weekday) {
  int32_t start = year_start(packed);
  weekday = weekday_of(start);
  return weekday <= 4 ? start + 1 - weekday : start + 8 - weekday;
}

double zone_offset(uint32_t zone) {
  double seconds = ((zone >> 2) & 15) * 3600.0 + (zone & 3) * 900.0;
  return zone & ZONE_SIGN ? -seconds : seconds;
}

int64_t normalize_time(int64_t days, double& time, uint32_t zone, const cell& given) {
  // No day of the year range lies this many seconds away from another; the
  // test also refuses an infinite or undefined time.
  if (!(std::fabs(time) < 1e15)) fire(err::script_out_of_range, {given});
  double offset_hours = zone_offset(zone) / 3600.0;
  int64_t k = static_cast<int64_t>(std::trunc(time / 3600.0 + offset_hours)) / 24;
  days += k;
  time -= k * SECONDS_PER_DAY;
  if (offset_hours * 3600.0 + time < 0) {
    --days;
    time += SECONDS_PER_DAY;
  }
  return days;
}

void set_time(cell* date, double time, bool local, const cell* given) {
  cell reported = given ? *given : time::make_cell(time);
  uint32_t packed = date->data1;
  uint32_t zone = get_zone(packed);
  if (local) time -= zone_offset(zone);
  int64_t days = normalize_time(date_to_days(packed), time, zone, reported);
  date->data1 = days_to_date(day_in_range(days, reported), zone, (packed & HAS_TIME) != 0);
  set_float(date, time);
}

namespace {

// The date moved to a day number, its zone and has-time kept; a day
// outside the year range makes `given` out of range.
void move_to(cell* date, int64_t days, const cell& given) {
  date->data1 = days_to_date(day_in_range(days, given), get_zone(date->data1), (date->data1 & HAS_TIME) != 0);
}

// Months outside 1..12 carry into the years; a day past the month's end
// carries into the next month.
void set_month(cell* date, const cell& given) {
  uint32_t p = date->data1;
  int64_t month = integer::get(&given);
  int32_t year = year_in_range(get_year(p) + floor_divide(month - 1, 12), given);
  uint32_t moved = pack(year, modulo(month - 1, 12) + 1, get_day(p), get_zone(p), (p & HAS_TIME) != 0);
  date->data1 = moved;
  move_to(date, date_to_days(moved), given);
}

// The zone from an integer (hours) or a time!; minutes round down to the
// quarter. Keeping the instant moves the local date and time to the zone;
// otherwise the wall-clock time stays and the instant moves.
void set_zone(cell* date, const cell* value, bool keep_instant) {
  int32_t hours, minutes;
  if (TYPE_OF(value) == TYPE_INTEGER) {
    hours = integer::get(value) % 16;
    minutes = 0;
  } else if (TYPE_OF(value) == TYPE_TIME) {
    double r = std::fmod(get_float(value), 57600.0);
    hours = time::get_hours(r);
    minutes = time::get_minutes(r);
  } else {
    fire(err::script_invalid_arg, {*value});
  }
  uint32_t zone = static_cast<uint32_t>(std::abs(hours)) << 2 | static_cast<uint32_t>(minutes / 15 & 3) |
                  (hours < 0 ? ZONE_SIGN : 0);
  uint32_t old = get_zone(date->data1);
  double stored = get_float(date);
  date->data1 = (date->data1 & ~ZONE_MASK) | HAS_TIME | zone;
  if (keep_instant) set_time(date, stored + zone_offset(zone), true);
  else set_float(date, stored + zone_offset(old) - zone_offset(zone));
}

}  // namespace

cell* make_at(cell* c, int32_t year, int32_t month, int32_t day, double time, int32_t zone_hours,
              int32_t zone_minutes, bool has_time) {
  uint32_t zone = 0;
  if (has_time) {
    zone = (static_cast<uint32_t>(std::abs(zone_hours)) << 2 & ZONE_MASK) |
           static_cast<uint32_t>(zone_minutes / 15) | (zone_hours < 0 ? ZONE_SIGN : 0);
    zone &= ZONE_MASK;
    time -= zone_offset(zone);
  } else {
    time = 0.0;
  }
  c->data1 = pack(year, month, day, zone, has_time);
  set_type(c, TYPE_DATE);
  set_float(c, time);
  return c;
}

int32_t to_epoch(const cell* date) {
  static const int32_t EPOCH = date_to_days(pack(1970, 1, 1, 0, false));
  double seconds = (date_to_days(date->data1) - EPOCH) * SECONDS_PER_DAY + std::trunc(get_float(date) + 0.5);
  if (integer::overflow_q(seconds)) fire(err::script_type_limit, {datatype::make_cell(TYPE_INTEGER)});
  return static_cast<int32_t>(seconds);
}

void difference(cell* date, const cell* other) {
  double seconds = (date_to_days(date->data1) - date_to_days(other->data1)) * SECONDS_PER_DAY +
                   (get_float(date) - get_float(other));
  *date = time::make_cell(seconds);
}

// ---- Fields -----------------------------------------------------------------------------

int32_t get_field_index(const cell* word) {
  const int32_t* fields[] = {&words::sym_date,    &words::sym_year,    &words::sym_month,
                             &words::sym_day,     &words::sym_zone,    &words::sym_time,
                             &words::sym_hour,    &words::sym_minute,  &words::sym_second,
                             &words::sym_weekday, &words::sym_yearday, &words::sym_timezone,
                             &words::sym_week,    &words::sym_isoweek};
  for (int32_t i = 0; i < 14; ++i) {
    if (symbol::EQUAL_WORDS_q(word, *fields[i])) return i + 1;
  }
  return symbol::EQUAL_WORDS_q(word, words::sym_julian) ? 11 : -1;
}

namespace {

// Week of the year, weeks starting on Sunday.
int32_t get_week(uint32_t packed) {
  int32_t w1 = modulo(year_start(packed) + 3, 7);  // 1 January, 0 Sunday .. 6 Saturday
  int32_t y = get_yearday(packed);
  return y <= 7 - w1 ? 1 : (y + w1 - 1) / 7 + 1;
}

int32_t get_isoweek(uint32_t packed) {
  int32_t n = date_to_days(packed), w;
  int32_t s = iso_week_start(packed, w);
  if (n >= s) {
    int32_t unused;
    uint32_t next = pack(get_year(packed) + 1, get_month(packed), get_day(packed), 0, false);
    return n < iso_week_start(next, unused) ? (n - s) / 7 + 1 : 1;
  }
  if (w == 5) return 53;
  if (w == 6) return leap_year_q(get_year(packed) - 1) ? 53 : 52;
  return 52;
}

double local_time(const cell* date) { return get_float(date) + zone_offset(get_zone(date->data1)); }

}  // namespace

cell* get_field(const cell* date, int32_t index) {
  uint32_t p = date->data1;
  bool has_time = (p & HAS_TIME) != 0;
  switch (index) {
    case 1: return stack::push(make_cell(p & YMD_MASK, 0.0));
    case 2: return integer::push(get_year(p));
    case 3: return integer::push(get_month(p));
    case 4: return integer::push(get_day(p));
    case 5:
    case 12: return has_time ? time::push(zone_offset(get_zone(p))) : none::push();
    case 6: return has_time ? time::push(local_time(date)) : none::push();
    case 7: return integer::push(time::get_hours(local_time(date)));
    case 8: return integer::push(time::get_minutes(local_time(date)));
    case 9: return float_::push(std::fmod(local_time(date), 60.0));
    case 10: return integer::push(weekday_of(date_to_days(p)));
    case 11: return integer::push(get_yearday(p));
    case 13: return integer::push(get_week(p));
    default: return integer::push(get_isoweek(p));
  }
}

namespace {

// Field `index` of the date set to the value.
void set_field(cell* date, int32_t index, const cell* value) {
  uint32_t type = TYPE_OF(value);
  bool wants_integer = index == 2 || index == 3 || index == 4 || (index >= 10 && index != 12);
  if ((wants_integer && type != TYPE_INTEGER) || (index == 1 && type != TYPE_DATE) ||
      (index == 6 && type != TYPE_TIME && type != TYPE_NONE)) {
    fire(err::script_invalid_arg, {*value});
  }
  uint32_t p = date->data1;
  int64_t v = type == TYPE_INTEGER ? integer::get(value) : 0;
  switch (index) {
    case 1: date->data1 = (value->data1 & ~ZONE_MASK) | get_zone(p); return;
    case 2: {
      date->data1 = pack(year_in_range(v, *value), get_month(p), get_day(p), get_zone(p), (p & HAS_TIME) != 0);
      move_to(date, date_to_days(date->data1), *value);
      return;
    }
    case 3: set_month(date, *value); return;
    case 4: move_to(date, date_to_days(pack(get_year(p), get_month(p), 0, 0, false)) + v, *value); return;
    case 5: set_zone(date, value, false); return;
    case 12: set_zone(date, value, true); return;
    case 6:
      if (type == TYPE_NONE) {
        date->data1 = p & ~HAS_TIME;
        set_float(date, 0.0);
      } else {
        date->data1 |= HAS_TIME;
        set_time(date, get_float(value), true, value);
      }
      return;
    case 7:
    case 8:
    case 9:
      date->data1 |= HAS_TIME;
      set_time(date, time::set_field(get_float(date), index - 6, value), index == 7, value);
      return;
    case 10: {
      int32_t n = date_to_days(p);
      move_to(date, n + (v - 1) - modulo(n + 2, 7), *value);
      return;
    }
    case 11: move_to(date, year_start(p) + v - 1, *value); return;
    case 13: {
      int32_t j = year_start(p), w1 = modulo(j + 3, 7);
      move_to(date, v <= 1 ? j : j + (v - 2) * 7 + 7 - w1, *value);
      return;
    }
    default: {
      int32_t unused;
      move_to(date, iso_week_start(p, unused) + (v - 1) * 7, *value);
      return;
    }
  }
}

int32_t field_of(const cell* element) {
  if (any_word_q(TYPE_OF(element))) return get_field_index(element);
  return TYPE_OF(element) == TYPE_INTEGER ? integer::get(element) : -1;
}

cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = field_of(index);
  if (n < 1 || n > 14) fire(err::script_out_of_range, {*index});
  return get_field(value, n);
}

// A set on a date held by an object or a series is reported to its owner
// (the on-change handler, or the ownership check with the field index) once
// objects and ownership exist.
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  int32_t n = field_of(element);
  if (n < 1 || n > 14) fire(err::script_invalid_path, {*path, *element});
  if (!value) return get_field(parent, n);
  set_field(parent, n, value);
  return value;
}

// ---- Text -----------------------------------------------------------------------------

// system/locale/months: the system object is not built yet; until it is,
// the English names hold.
const char* month_name(int32_t month) {
  static const char* const NAMES[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
  if (month < 1 || month > 12) fire(err::script_invalid_months);
  return NAMES[month - 1];
}

// 1-Jan-2020/10:00:00+02:00; "/" separates the fields of a negative year.
// The budget does not count the separator before a year from 100 on, the
// "/" before the time, nor the minus of a negative year or time.
int32_t write(const cell* date, cell* buffer, int32_t part) {
  uint32_t p = date->data1;
  int32_t year = get_year(p);
  char separator = year < 0 ? '/' : '-';
  char text[64];
  int32_t abs_year = std::abs(year);
  std::snprintf(text, sizeof text, "%d%c%.3s%c%s%0*d", get_day(p), separator, month_name(get_month(p)),
                            separator, year < 0 ? "-" : "", abs_year < 100 ? 4 : 1, abs_year);
  int32_t uncounted = (abs_year >= 100 ? 1 : 0) + (year < 0 ? 1 : 0);
  part = datatype::append_text(buffer, text, part) + uncounted;
  if (!(p & HAS_TIME)) return part;
  part = datatype::append_text(buffer, "/", part) + 1;
  double local = local_time(date);
  part = time::form(local, buffer, part) + (local < 0 ? 1 : 0);
  if (uint32_t zone = get_zone(p)) {
    std::snprintf(text, sizeof text, "%c%02u:%02u", zone & ZONE_SIGN ? '-' : '+', zone >> 2 & 15, (zone & 3) * 15);
    part = datatype::append_text(buffer, text, part);
  }
  return part;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) { return write(value, buffer, part); }

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell*, int32_t part, int32_t) {
  return write(value, buffer, part);
}

// ---- Comparison -------------------------------------------------------------------------

// Dates compare by their UTC instant: 1-Jan-2020/1:00+02:00 is
// 31-Dec-2019/23:00. Sameness alone looks at the representation.
int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_DATE) return COMPARE_NONE;
  if (op == COMP_SAME) {
    bool same_day = ((value1->data1 & ~HAS_TIME) >> 7) == ((value2->data1 & ~HAS_TIME) >> 7);
    return same_day && value1->data2 == value2->data2 && value1->data3 == value2->data3 ? 0 : 1;
  }
  double a = date_to_days(value1->data1) * SECONDS_PER_DAY + get_float(value1);
  double b = date_to_days(value2->data1) * SECONDS_PER_DAY + get_float(value2);
  if (float_::almost_equal_q(a, b)) return 0;
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
    case COMP_STRICT_EQUAL:
    case COMP_FIND:
      return 1;
    default:
      return a < b ? -1 : 1;
  }
}

// ---- Construction -----------------------------------------------------------------------

[[noreturn]] void fire_error(const cell& spec) {
  fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_DATE), spec});
}

// The slots a block spec fills.
enum slot : int32_t {
  FIRST, MONTH, THIRD, TIME, ZONE_HOURS, ZONE_TIME, ZONE_MINUTES, HOURS, MINUTES, SECONDS, SLOT_COUNT,
};

// Per state and class of value (integer!, time!, float!): the next state and
// the slot, or -1 where the value is not accepted.
struct transition { int8_t next, slot; };
constexpr transition NONE_{-1, -1};
constexpr transition STATES[14][3] = {
    {{1, FIRST}, NONE_, NONE_},
    {{2, MONTH}, NONE_, NONE_},
    {{3, THIRD}, NONE_, NONE_},
    {{8, HOURS}, {4, TIME}, NONE_},
    {{6, ZONE_HOURS}, {5, ZONE_TIME}, NONE_},
    {NONE_, NONE_, NONE_},
    {{7, ZONE_MINUTES}, NONE_, NONE_},
    {NONE_, NONE_, NONE_},
    {{9, MINUTES}, NONE_, NONE_},
    {{10, SECONDS}, NONE_, {10, SECONDS}},
    {{12, ZONE_HOURS}, {11, ZONE_TIME}, NONE_},
    {NONE_, NONE_, NONE_},
    {{13, ZONE_MINUTES}, NONE_, NONE_},
    {NONE_, NONE_, NONE_},
};

// [day month year], or [year month day] when the first is 100 or more and
// greater than the third; then a time! or hours [minutes [seconds]]; then a
// zone time! or zone hours [minutes]. Lenient values carry (make); strict
// ones must stay as given (to).
cell make_from_block(const cell* spec, bool strict) {
  int32_t count;
  const cell* v = block::values_of(spec, count);
  if (count < 3) fire_error(*spec);
  const cell* slots[SLOT_COUNT] = {};
  int32_t state = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t type = TYPE_OF(&v[i]);
    int32_t kind = type == TYPE_INTEGER ? 0 : type == TYPE_TIME ? 1 : type == TYPE_FLOAT ? 2 : -1;
    if (kind < 0) fire_error(*spec);
    transition t = STATES[state][kind];
    if (t.next < 0) fire_error(*spec);
    slots[t.slot] = &v[i];
    state = t.next;
  }
  auto integer_at = [&](int32_t s) { return slots[s] && TYPE_OF(slots[s]) == TYPE_INTEGER ? integer::get(slots[s]) : 0; };
  int32_t day = integer_at(FIRST), month = integer_at(MONTH), year = integer_at(THIRD);
  if (day >= 100 && day > year) std::swap(day, year);

  int32_t zone_hours = integer_at(ZONE_HOURS), quarters = integer_at(ZONE_MINUTES) / 15;
  if (slots[ZONE_TIME]) {
    double z = get_float(slots[ZONE_TIME]);
    zone_hours = time::get_hours(z);
    quarters = time::get_minutes(z) / 15;
  }
  uint32_t zone = 0;
  if (zone_hours || quarters) {
    zone = ((static_cast<uint32_t>(std::abs(zone_hours)) << 2 & ZONE_MASK) | static_cast<uint32_t>(quarters) |
            (zone_hours < 0 ? ZONE_SIGN : 0)) & ZONE_MASK;
  }
  int32_t hours = integer_at(HOURS), minutes = integer_at(MINUTES);
  double time;
  if (slots[TIME]) {
    time = get_float(slots[TIME]);
    hours = time::get_hours(time);
    minutes = time::get_minutes(time);
  } else {
    double seconds = slots[SECONDS] && TYPE_OF(slots[SECONDS]) == TYPE_FLOAT ? get_float(slots[SECONDS])
                                                                               : integer_at(SECONDS);
    time = 3600.0 * hours + 60.0 * minutes + seconds;
  }

  // Day `day` counted from day 0 of the month, months carried into years;
  // counted from the 1st so that no step passes the year range on its way.
  // Each step is checked with the value that moved it.
  year_in_range(year, integer::make_cell(year));
  int32_t carried = year_in_range(year + floor_divide(int64_t{month} - 1, 12), integer::make_cell(month));
  uint32_t first = pack(carried, modulo(int64_t{month} - 1, 12) + 1, 1, 0, false);
  int32_t days = day_in_range(int64_t{date_to_days(first)} + day - 1, integer::make_cell(day));
  cell d = make_cell(days_to_date(days, 0, count > 3), 0.0);
  set_time(&d, time, false);
  if (strict) {
    uint32_t p = d.data1;
    bool same = get_year(p) == year && get_month(p) == month && get_day(p) == day;
    double stored = get_float(&d);
    if (time != 0.0) {
      same = same && time::get_hours(time) >= 0 && time::get_hours(time) <= 23 && time::get_minutes(stored) == minutes;
    } else {
      same = same && time::get_hours(stored) == hours && time::get_minutes(stored) == minutes;
    }
    if (!same) fire_error(*spec);
  }
  if (count <= 3) return d;
  // The time was given in the zone's local time.
  d.data1 = (d.data1 & ~ZONE_MASK) | zone;
  set_time(&d, get_float(&d), true);
  return d;
}

cell* make(cell* proto, cell* spec, int32_t) {
  switch (TYPE_OF(spec)) {
    case TYPE_DATE: return copy_cell(spec, proto);
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: *proto = make_from_block(spec, false); return proto;
    default: fire_error(*spec);
  }
}

// Seconds since 1-Jan-1970 UTC, or a block spec that must not carry.
cell* to(cell* proto, cell* spec, int32_t) {
  switch (TYPE_OF(spec)) {
    case TYPE_DATE: return copy_cell(spec, proto);
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: *proto = make_from_block(spec, true); return proto;
    case TYPE_STRING: return conversions::load_from_string_as(spec, TYPE_DATE, proto);
    case TYPE_INTEGER: {
      int32_t n = integer::get(spec);
      int32_t days = n / 86400 + date_to_days(pack(1970, 1, 1, 0, false));
      cell d = make_cell(days_to_date(days, 0, true), 0.0);
      set_time(&d, n % 86400, false);
      *proto = d;
      return proto;
    }
    default: fire_error(*spec);
  }
}

// ---- Random -------------------------------------------------------------------------------

// A day from the first day up to the date; with a time, a random zone and
// a time of day in steps of 24 seconds.
cell* random_action(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(static_cast<int32_t>(value->data1 + static_cast<uint32_t>(static_cast<int64_t>(get_float(value)))));
    return &unset::unset_value;
  }
  uint32_t p = value->data1;
  int32_t k = random::int_in_range(secure != 0, date_to_days(p));
  value->data1 = days_to_date(k - 1, get_zone(p), (p & HAS_TIME) != 0);
  if (!(p & HAS_TIME)) return value;
  uint32_t zone = static_cast<uint32_t>(secure ? random::secure_next() : random::next()) & ZONE_MASK;
  value->data1 = (value->data1 & ~ZONE_MASK) | zone;
  double f;
  if (secure) {
    double a = random::secure_next(), b = random::secure_next();
    f = (a / 2147483647.0 + b) / (2147483648.0 / 3600.0);
  } else {
    f = (random::next() & 0x7FFFFFFF) / 2147483647.0 * 3600.0;
  }
  set_time(value, std::floor(f) / 3600.0 * SECONDS_PER_DAY, true);
  return value;
}

template <int32_t OP>
void math() {
  do_math(OP);
}

}  // namespace

// ---- Arithmetic ---------------------------------------------------------------------------

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  uint32_t p = left->data1;
  bool has_time = (p & HAS_TIME) != 0;
  int32_t days = 0;
  double seconds = 0.0;
  switch (TYPE_OF(right)) {
    case TYPE_INTEGER: days = integer::get(right); break;
    case TYPE_TIME:
      seconds = get_float(right);
      has_time = true;
      break;
    case TYPE_DATE:
      if (op == integer::OP_ADD) fire(err::script_not_related, {error_word("add"), datatype::make_cell(TYPE_DATE)});
      days = date_to_days(right->data1);
      seconds = get_float(right);
      break;
    default: fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(right))});
  }
  int64_t n = date_to_days(p);
  double t = get_float(left);
  if (op == integer::OP_ADD) {
    n += days;
    t += seconds;
  } else {
    n -= days;
    t -= seconds;
  }
  uint32_t zone = get_zone(p);
  n = normalize_time(n, t, zone, *right);
  if (TYPE_OF(right) == TYPE_DATE) {
    // A count of days between two dates of the range fits 32 bits.
    integer::make_at(left, static_cast<int32_t>(n));
    return;
  }
  *left = make_cell(days_to_date(day_in_range(n, *right), zone, has_time), t);
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_DATE, 0, "date!",
    /* make .. set-path */     make, random_action, unsupported, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, math<integer::OP_ADD>, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, math<integer::OP_SUBTRACT>, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::date
