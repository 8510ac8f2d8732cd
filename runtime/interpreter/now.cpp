// now: the platform's packed date and UTC time of day, shifted into the
// local zone with the day carried.
#include "runtime/interpreter/now.hpp"

#include "platform/bindings.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::natives {

void now(int32_t year, int32_t month, int32_t day, int32_t time, int32_t zone, int32_t date,
         int32_t weekday, int32_t yearday, int32_t precise, int32_t utc) {
  bool time_with_precise = time >= 0 && precise >= 0;
  if (!time_with_precise && year + month + day + time + zone + date + weekday + yearday + precise >= -7) {
    fire(err::script_bad_refines);
  }
  uint32_t packed = static_cast<uint32_t>(platform::get_date(utc >= 0));
  if (date >= 0) {
    stack::set_last(date::make_cell(packed & ~(date::HAS_TIME | date::ZONE_MASK), 0.0));
    return;
  }
  // The clock's time of day is UTC: it counts from the UTC date's midnight,
  // and the carry with the zone gives the local date.
  uint32_t utc_date = static_cast<uint32_t>(platform::get_date(true));
  cell d = date::make_cell(date::days_to_date(date::date_to_days(utc_date), date::get_zone(packed), true), 0.0);
  date::set_time(&d, platform::get_time(precise >= 0), false);
  stack::set_last(d);
  int32_t field = year >= 0 ? 2 : month >= 0 ? 3 : day >= 0 ? 4 : zone >= 0 ? 5 : time >= 0 ? 6 : weekday >= 0 ? 10 : 0;
  if (yearday >= 0) {
    integer::box(date::get_yearday(d.data1));
  } else if (field) {
    cell* top = stack::top;
    stack::set_last(*date::get_field(&d, field));
    stack::top = top;
  }
}

}  // namespace ixo::natives
