// time!: constructors, fields and paths, the text form, the arithmetic that
// differs from float! (times with dates, time × time, time ÷ time), round
// and parity.
#include "runtime/datatypes/time.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::time {

namespace {
// The tolerance of the seconds' text and of even? and odd?.
constexpr double TOLERANCE = 1e-6;

}  // namespace

cell* make_at(double seconds, cell* c) {
  set_type(c, TYPE_TIME);
  set_float(c, seconds);
  return c;
}

cell* push(double seconds) { return stack::push(make_cell(seconds)); }

int32_t get_hours(double seconds) {
  double hours = std::trunc(seconds / SECONDS_PER_HOUR);
  if (hours >= 2147483647.0) return INT32_MAX;
  if (hours <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(hours);
}

int32_t get_minutes(double seconds) {
  return static_cast<int32_t>(std::floor(std::fmod(std::fabs(seconds), SECONDS_PER_HOUR) / SECONDS_PER_MINUTE));
}

int32_t get_field_index(const cell* word, const cell* value) {
  if (symbol::EQUAL_WORDS_q(word, words::sym_hour)) return 1;
  if (symbol::EQUAL_WORDS_q(word, words::sym_minute)) return 2;
  if (symbol::EQUAL_WORDS_q(word, words::sym_second)) return 3;
  if (TYPE_OF(value) == TYPE_TIME) fire(err::script_cannot_use, {*word, *value});
  return -1;
}

cell* get_field(const cell* time, int32_t index) {
  double t = get_float(time);
  switch (index) {
    case 1: {
      double hours = std::trunc(t / SECONDS_PER_HOUR);
      if (hours > 2147483647.0 || hours < -2147483648.0) fire(err::math_overflow);
      return integer::push(get_hours(t));
    }
    case 2: return integer::push(get_minutes(t));
    default: return float_::push(std::fmod(t, SECONDS_PER_MINUTE));
  }
}

double set_field(double t, int32_t index, const cell* value) {
  uint32_t type = TYPE_OF(value);
  if (type != TYPE_INTEGER && !(index == 3 && type == TYPE_FLOAT)) fire(err::script_invalid_arg, {*value});
  double v = type == TYPE_INTEGER ? integer::get(value) : get_float(value);
  switch (index) {
    case 1: return t - (std::floor(t / SECONDS_PER_HOUR) - v) * SECONDS_PER_HOUR;
    case 2: return t - (std::floor(std::fmod(t, SECONDS_PER_HOUR) / SECONDS_PER_MINUTE) - v) * SECONDS_PER_MINUTE;
    default: return t - (std::fmod(t, SECONDS_PER_MINUTE) - v);
  }
}

int32_t form(double t, cell* buffer, int32_t part) {
  char text[400];
  char* out = text;
  if (t < 0) {
    *out++ = '-';
    t = std::fabs(t);
  }
  // The hours are not bounded by 32 bits; %.0f prints a whole double exactly.
  out += std::snprintf(out, 340, "%.0f:", std::floor(t / SECONDS_PER_HOUR));
  out += std::snprintf(out, 8, "%02d:", static_cast<int32_t>(std::floor(std::fmod(t, SECONDS_PER_HOUR) / SECONDS_PER_MINUTE)));
  double s = std::fmod(t, SECONDS_PER_MINUTE);
  if (s < TOLERANCE) {
    std::strcpy(out, "00");
  } else {
    const char* digits = float_::form_float(s, float_::FORM_SECONDS);
    if (digits[1] == 0 || digits[1] == '.') *out++ = '0';
    std::strcpy(out, digits);
  }
  return datatype::append_text(buffer, text, part);
}

namespace {

[[noreturn]] void fire_error(const cell& value) {
  fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_TIME), value});
}

// [hours minutes seconds]: integers, the seconds maybe a float; only the
// hours may be negative, which negates the whole time.
double from_block(const cell* spec) {
  int32_t count;
  const cell* v = block::values_of(spec, count);
  if (count > 3) fire_error(*spec);
  constexpr double UNITS[] = {SECONDS_PER_HOUR, SECONDS_PER_MINUTE, 1.0};
  double seconds = 0.0;
  bool negative = false;
  for (int32_t i = 0; i < count; ++i) {
    double x;
    if (TYPE_OF(&v[i]) == TYPE_INTEGER) x = integer::get(&v[i]);
    else if (i == 2 && TYPE_OF(&v[i]) == TYPE_FLOAT) x = get_float(&v[i]);
    else fire_error(*spec);
    if (x < 0) {
      if (i > 0) fire_error(*spec);
      negative = true;
      x = -x;
    }
    seconds += UNITS[i] * x;
  }
  return negative ? -seconds : seconds;
}

cell* make(cell* proto, cell* spec, int32_t) {
  double seconds;
  switch (TYPE_OF(spec)) {
    case TYPE_TIME: return copy_cell(spec, proto);
    case TYPE_INTEGER: seconds = integer::get(spec); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: seconds = get_float(spec); break;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: seconds = from_block(spec); break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      return conversions::load_from_string_as(spec, TYPE_TIME, proto);
    default: fire_error(*spec);
  }
  *proto = make_cell(seconds);
  return proto;
}

int32_t form_action(cell* value, cell* buffer, cell*, int32_t part) { return form(get_float(value), buffer, part); }

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell*, int32_t part, int32_t) {
  return form(get_float(value), buffer, part);
}

int32_t field_of(const cell* element, const cell* value) {
  if (any_word_q(TYPE_OF(element))) return get_field_index(element, value);
  return TYPE_OF(element) == TYPE_INTEGER ? integer::get(element) : -1;
}

cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = field_of(index, value);
  if (n < 1 || n > 3) fire(err::script_out_of_range, {*index});
  return get_field(value, n);
}

// A set on a time held by an object or a series is reported to its owner
// (the on-change handler, or the ownership check with the field index) once
// objects and ownership exist.
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  int32_t n = field_of(element, path);
  if (n < 1 || n > 3) fire(err::script_invalid_path, {*path, *element});
  if (!value) return get_field(parent, n);
  set_float(parent, set_field(get_float(parent), n, value));
  return value;
}

void add() {
  cell* left = stack::arguments;
  if (TYPE_OF(left + 1) == TYPE_DATE) {
    std::swap(left[0], left[1]);
    date::do_math(integer::OP_ADD);
    return;
  }
  float_::do_math(integer::OP_ADD);
}

void subtract() {
  if (TYPE_OF(stack::arguments + 1) == TYPE_DATE) {
    fire(err::script_not_related, {error_word("subtract"), datatype::make_cell(TYPE_TIME)});
  }
  float_::do_math(integer::OP_SUBTRACT);
}

void multiply() {
  if (TYPE_OF(stack::arguments + 1) == TYPE_TIME) {
    fire(err::script_not_related, {error_word("multiply"), datatype::make_cell(TYPE_TIME)});
  }
  float_::do_math(integer::OP_MULTIPLY);
}

// A time by a time is a ratio.
void divide() {
  bool ratio = TYPE_OF(stack::arguments + 1) == TYPE_TIME;
  float_::do_math(integer::OP_DIVIDE);
  if (ratio) set_type(stack::arguments, TYPE_FLOAT);
}

cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  if (scale > stack::arguments && TYPE_OF(scale) == TYPE_MONEY) {
    fire(err::script_not_related, {error_word("round"), datatype::make_cell(TYPE_MONEY)});
  }
  cell* r = float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
  double seconds = TYPE_OF(r) == TYPE_INTEGER ? integer::get(r) : get_float(r);
  return make_at(seconds, value);
}

// The parity of the whole seconds within the minute.
int32_t whole_seconds(const cell* value) {
  double t = get_float(value);
  t += t >= 0 ? TOLERANCE : -TOLERANCE;
  return static_cast<int32_t>(std::fmod(t, SECONDS_PER_MINUTE));
}
bool even_q(cell* value) { return (whole_seconds(value) & 1) == 0; }
bool odd_q(cell* value) { return (whole_seconds(value) & 1) != 0; }

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_TIME, TYPE_FLOAT, "time!",
    /* make .. set-path */     make, inherit, unsupported, make, form_action, mold, eval_path, unsupported,
    /* compare .. remainder */ inherit, inherit, add, divide, multiply, inherit, unsupported, inherit,
    /* round .. xor~ */        round, subtract, even_q, odd_q, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::time
