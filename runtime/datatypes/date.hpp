// date!: a day of the proleptic Gregorian calendar with an optional time of
// day and zone. Every date operation goes through day numbers: days counted
// from 1 March of year 0 (day 0, a Wednesday).
//
// Cell: payload word 1 is the packed date; words 2 and 3 hold the time as
// a double count of seconds. Packed date: year in bits 17-31 (signed), month
// in 12-15, day in 7-11, has-time in bit 16, the zone in bits 0-6 (sign in
// bit 6 for zones west of UTC, hours in 2-5, quarter hours in 0-1). The
// stored time is UTC counted from the local date's midnight, so the local
// time (stored time plus the zone offset) lies in 0..86400 after a carry.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::date {

constexpr uint32_t HAS_TIME = 1u << 16;
constexpr uint32_t ZONE_MASK = 0x7F;
constexpr uint32_t ZONE_SIGN = 0x40;
constexpr int32_t YEAR_MIN = -16384;
constexpr int32_t YEAR_MAX = 16383;
constexpr double SECONDS_PER_DAY = 86400.0;

inline int32_t get_year(uint32_t packed) { return static_cast<int32_t>(packed) >> 17; }
inline int32_t get_month(uint32_t packed) { return static_cast<int32_t>(packed >> 12 & 15); }
inline int32_t get_day(uint32_t packed) { return static_cast<int32_t>(packed >> 7 & 31); }
inline uint32_t get_zone(uint32_t packed) { return packed & ZONE_MASK; }

// The packed fields; a year outside -16384..16383 raises script/out-of-range.
uint32_t pack(int32_t year, int32_t month, int32_t day, uint32_t zone, bool has_time);

bool leap_year_q(int32_t year);
int32_t date_to_days(uint32_t packed);
uint32_t days_to_date(int32_t days, uint32_t zone, bool has_time);
// Day number of 1 January of the date's year.
int32_t year_start(uint32_t packed);
int32_t get_yearday(uint32_t packed);
// Day number of the Monday that starts ISO week 1 of the date's year;
// `weekday` receives the weekday (1 Monday .. 7 Sunday) of 1 January.
int32_t iso_week_start(uint32_t packed, int32_t& weekday);
// The zone's offset in seconds.
double zone_offset(uint32_t zone);
// Carries whole days of the local time into the day number; the time stays
// UTC. Answers the new day number, not yet checked against the year range.
// A time too far from any day of the range makes `given` out of range.
int64_t normalize_time(int64_t days, double& time, uint32_t zone, const cell& given);

inline cell make_cell(uint32_t packed, double time) {
  cell c{TYPE_DATE, packed, 0, 0};
  set_float(&c, time);
  return c;
}
// The date in the cell gets the time (local to its zone when `local`),
// days carried; its has-time bit is kept. A day carried out of the year
// range makes `given` (by default the time) out of range.
void set_time(cell* date, double time, bool local, const cell* given = nullptr);
// The cell becomes a date of the lexer's fields: the time is local to the
// zone given in hours and minutes; without `has_time` no time and no zone.
cell* make_at(cell* c, int32_t year, int32_t month, int32_t day, double time, int32_t zone_hours,
              int32_t zone_minutes, bool has_time);

// Seconds since 1-Jan-1970 UTC, rounded to the second; outside 32 bits
// script/type-limit.
int32_t to_epoch(const cell* date);
// The first cell becomes the time! between the two dates.
void difference(cell* date, const cell* other);

// Field indexes and their values (paths, pick, now): 1 date, 2 year, 3
// month, 4 day, 5 zone, 6 time, 7 hour, 8 minute, 9 second, 10 weekday,
// 11 yearday (julian), 12 timezone, 13 week, 14 isoweek.
int32_t get_field_index(const cell* word);
cell* get_field(const cell* date, int32_t index);

// Date arithmetic on the argument cells (add of time! and integer! come
// here with the date moved first); result in the first.
void do_math(int32_t op);

void init();

}  // namespace ixo::date
