// float!: constructors, the text former, the arithmetic core, comparison
// and the float actions. percent! inherits nearly all of these actions, so
// they mind the percent scale where it matters; the digits of every text
// come from the float/text conversion (dtoa), laid out here.
#include "runtime/datatypes/float.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/coordinates.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/scanners.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/dtoa.hpp"

namespace ixo::float_ {

bool pretty_q = true;

namespace {
constexpr double EPSILON = 2.220446049250313e-16;
constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
}  // namespace

void box(double d) { stack::set_last(make_cell(d)); }

cell* make_at(cell* c, double d) {
  *c = make_cell(d);
  return c;
}

cell* make_in(cell* block, uint32_t low, uint32_t high) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = cell{TYPE_FLOAT, 0, low, high};
  return c;
}

cell* push64(uint32_t low, uint32_t high) { return stack::push(cell{TYPE_FLOAT, 0, low, high}); }

cell* push(double d) { return stack::push(make_cell(d)); }

// ---- Equality ------------------------------------------------------------------

namespace {

// Bit patterns mapped to an unsigned order that follows the values, so
// that the distance of two keys counts the representable values between.
uint64_t ordered64(double d) {
  constexpr uint64_t SIGN = uint64_t{1} << 63;
  uint64_t bits = std::bit_cast<uint64_t>(d);
  return bits & SIGN ? SIGN - (bits & ~SIGN) : SIGN + bits;
}

uint32_t ordered32(float f) {
  constexpr uint32_t SIGN = uint32_t{1} << 31;
  uint32_t bits = std::bit_cast<uint32_t>(f);
  return bits & SIGN ? SIGN - (bits & ~SIGN) : SIGN + bits;
}

template <class T>
T distance(T a, T b) {
  return a > b ? a - b : b - a;
}

}  // namespace

bool almost_equal_q(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b || std::fabs(a - b) < EPSILON) return true;
  return distance(ordered64(a), ordered64(b)) <= 10;
}

bool almost_equal32_q(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  if (std::fabs(a) >= FLT_MAX || std::fabs(b) >= FLT_MAX) {
    constexpr uint32_t MAGNITUDE = 0x7FFFFFFF;
    uint32_t ma = std::bit_cast<uint32_t>(a) & MAGNITUDE, mb = std::bit_cast<uint32_t>(b) & MAGNITUDE;
    return std::signbit(a) == std::signbit(b) && distance(ma, mb) < 0x100000;
  }
  if (std::fabs(static_cast<double>(a) - static_cast<double>(b)) < EPSILON) return true;
  return distance(ordered32(a), ordered32(b)) <= 10;
}

// ---- Text ------------------------------------------------------------------------

namespace {

char text[48];

// Significant digits of the first layout of each kind, and of the second,
// taken when the first ends in representation noise.
constexpr int32_t FIRST_DIGITS[] = {7, 16, 7, 13, 6, 7};
constexpr int32_t SECOND_DIGITS[] = {5, 14, 14, 14, 5, 5};

// The shortest digits that read back to the value, at most `digits` of
// them, laid out as C's "%.<digits>g" does with a compact exponent ("1e20",
// "1.5e-7"): plain for decimal exponents from -4 to digits - 1, else a
// mantissa and an exponent.
void layout_g(double value, int32_t digits) {
  int32_t point, sign, count;
  const char* d = dtoa::form_digits(value, digits, point, sign, count, false);
  char* out = text;
  if (point == dtoa::POINT_ZERO) {
    std::strcpy(text, d);
    return;
  }
  if (sign) *out++ = '-';
  int32_t exponent = point - 1;
  if (exponent >= -4 && exponent < digits) {
    if (exponent >= 0) {
      for (int32_t i = 0; i <= exponent; ++i) *out++ = i < count ? d[i] : '0';
      if (count > exponent + 1) *out++ = '.';
      for (int32_t i = exponent + 1; i < count; ++i) *out++ = d[i];
    } else {
      *out++ = '0';
      *out++ = '.';
      for (int32_t i = 1; i < -exponent; ++i) *out++ = '0';
      for (int32_t i = 0; i < count; ++i) *out++ = d[i];
    }
  } else {
    *out++ = d[0];
    if (count > 1) *out++ = '.';
    for (int32_t i = 1; i < count; ++i) *out++ = d[i];
    *out++ = 'e';
    if (exponent < 0) *out++ = '-';
    const char* e = integer::form_signed(exponent < 0 ? -exponent : exponent);
    while (*e) *out++ = *e++;
  }
  *out = 0;
}

// True when the text carries a full count of significant digits ending in
// "01" or "99": the tail of a value that has no short decimal form. The
// sign is not counted, so that a value and its negation form alike.
bool noisy_tail_q() {
  const char* body = text[0] == '-' ? text + 1 : text;
  const char* e = std::strchr(body, 'e');
  size_t length = e ? static_cast<size_t>(e - body) : std::strlen(body);
  bool full = e ? length > 16 : length > (body[0] == '0' ? 17u : 16u);
  if (!full) return false;
  const char* tail = body + length - 2;
  return (tail[0] == '0' && tail[1] == '1') || (tail[0] == '9' && tail[1] == '9');
}

void first_layout(double value, int32_t kind) {
  if (kind == FORM_SECONDS) std::strcpy(text, dtoa::form_float(value, FIRST_DIGITS[kind], false));
  else layout_g(value, FIRST_DIGITS[kind]);
}

}  // namespace

const char* form_float(double value, int32_t kind) {
  bool percent = kind == FORM_PERCENT32 || kind == FORM_PERCENT;
  if (std::isnan(value)) return "1.#NaN";
  if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";
  if (pretty_q && std::fabs(value) < EPSILON) return percent ? "0%" : kind == FORM_COORDINATE ? "0" : "0.0";
  first_layout(value, kind);
  if (pretty_q && noisy_tail_q()) layout_g(value, SECOND_DIGITS[kind]);
  if (percent) {
    std::strcat(text, "%");
  } else if (kind != FORM_SECONDS && kind != FORM_COORDINATE && !std::strchr(text, '.')) {
    char* e = std::strchr(text, 'e');
    if (!e) {
      std::strcat(text, ".0");
    } else {
      std::memmove(e + 2, e, std::strlen(e) + 1);
      e[0] = '.';
      e[1] = '0';
    }
  }
  return text;
}

// ---- Arithmetic ------------------------------------------------------------------

static_assert(integer::OP_ADD == 0 && integer::OP_SUBTRACT == 1 && integer::OP_MULTIPLY == 2 &&
                  integer::OP_DIVIDE == 3 && integer::OP_REMAINDER == 4,
              "math_core reads the integer core's codes");

double remainder_of(double x, double y) {
  if (std::isnan(y)) return NOT_A_NUMBER;
  if (std::isinf(y)) return std::isfinite(x) ? x : NOT_A_NUMBER;
  return std::fmod(x, y);
}

double do_math_op(int32_t op, double x, double y) {
  double result;
  if (math_core(op, x, y, result)) return result;
  const char* action = op == integer::OP_OR ? "or~" : op == integer::OP_AND ? "and~" : "xor~";
  fire(err::script_cannot_use, {error_word(action), datatype::make_cell(TYPE_FLOAT)});
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  uint32_t lt = TYPE_OF(left), rt = TYPE_OF(right);
  switch (rt) {
    case TYPE_TUPLE:
      tuple::do_math(op);
      return;
    case TYPE_MONEY:
      money::do_math(op);
      return;
    case TYPE_VECTOR:  // the vector, changed in place, with the number as its operand
      *left = *vector::do_math_scalar(op, right, left);
      return;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
      if (lt == TYPE_TIME) break;
      // The composite goes first; x - p and x / p have no meaning.
      if (op == integer::OP_SUBTRACT || op == integer::OP_DIVIDE) {
        fire(err::script_not_related, {error_word(op == integer::OP_SUBTRACT ? "subtract" : "divide"),
                                       datatype::make_cell(rt)});
      }
      std::swap(*left, *right);
      if (rt == TYPE_PAIR) pair::do_math(op);
      else if (rt == TYPE_POINT2D) point::do_math<2>(op);
      else point::do_math<3>(op);
      return;
    case TYPE_INTEGER:
    case TYPE_CHAR:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
      if (rt == TYPE_CHAR && (lt == TYPE_TIME || lt == TYPE_PERCENT)) {
        fire(err::script_invalid_type, {datatype::make_cell(TYPE_CHAR)});
      }
      double x = lt == TYPE_INTEGER ? integer::get(left) : get_float(left);
      double y = rt == TYPE_INTEGER || rt == TYPE_CHAR ? integer::get(right) : get_float(right);
      double result = do_math_op(op, x, y);
      // time when one side is time; else a percent stays percent and an
      // integer becomes a float.
      uint32_t type = (lt == TYPE_TIME) != (rt == TYPE_TIME) ? TYPE_TIME : lt == TYPE_INTEGER ? TYPE_FLOAT : lt;
      if (type == TYPE_TIME) {
        // Times stay finite: a time divided by zero is an error as for
        // integers, and a result past the doubles' range overflows.
        if ((op == integer::OP_DIVIDE || op == integer::OP_REMAINDER) && y == 0.0) fire(err::math_zero_divide);
        if (!std::isfinite(result)) fire(err::math_overflow);
      }
      set_type(left, type);
      set_float(left, result);
      return;
    }
    default:
      break;
  }
  fire(err::script_invalid_type, {datatype::make_cell(rt)});
}

void power() {
  cell* base = stack::arguments;
  cell* exponent = base + 1;
  uint32_t type = TYPE_OF(exponent);
  if (type != TYPE_INTEGER && type != TYPE_FLOAT) {
    fire(err::script_expect_arg, {error_word("power"), datatype::make_cell(type), error_word("exponent")});
  }
  double e = type == TYPE_INTEGER ? integer::get(exponent) : get_float(exponent);
  set_float(base, std::pow(get_float(base), e));
}

namespace {

// The quotient rounded to a whole number as the refinements say; ties go
// away from zero unless a refinement says otherwise.
double round_quotient(double q, int32_t even, int32_t down, int32_t half_down, int32_t floor,
                      int32_t ceiling, int32_t half_ceiling) {
  if (floor) return std::floor(q);
  if (ceiling) return std::ceil(q);
  double a = std::fabs(q);
  double low = std::floor(a), half = low + 0.5;
  double magnitude;
  if (down || a < half) magnitude = low;
  else if (a > half) magnitude = std::ceil(a);
  else if (even) magnitude = std::fmod(low, 2.0) < 1.0 ? low : std::ceil(a);
  else if (half_down) magnitude = low;
  else if (half_ceiling) return std::ceil(q);
  else magnitude = std::ceil(a);
  return q < 0 ? -magnitude : magnitude;
}

// value rounded to a multiple of the scale s (not negative). A zero scale
// leaves the value, as does a value too large to have a fraction at s.
double round_to(double value, double s, int32_t even, int32_t down, int32_t half_down, int32_t floor,
                int32_t ceiling, int32_t half_ceiling) {
  if (s == 0.0 || std::ldexp(std::fabs(value), -53) > s) return value;
  if (s >= 1.0) {
    double result = round_quotient(value / s, even, down, half_down, floor, ceiling, half_ceiling) * s;
    if (std::isinf(result)) fire(err::math_overflow);
    return result;
  }
  // Below 1 the quotient is value × (1 / s); for a subnormal scale 1 / s
  // would overflow, so its binary exponent is applied on its own.
  if (s >= DBL_MIN) {
    double reciprocal = 1.0 / s;
    return round_quotient(value * reciprocal, even, down, half_down, floor, ceiling, half_ceiling) / reciprocal;
  }
  int exponent;
  double reciprocal = 1.0 / std::frexp(s, &exponent);
  double q = std::ldexp(value * reciprocal, -exponent);
  return std::ldexp(round_quotient(q, even, down, half_down, floor, ceiling, half_ceiling) / reciprocal, exponent);
}

}  // namespace

cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  bool to = scale > stack::arguments;
  uint32_t scale_type = to ? TYPE_OF(scale) : TYPE_FLOAT;
  // A money! scale, or a pair or point one (whose coordinates a single
  // number has no place for), is no scale for a number.
  if (scale_type == TYPE_MONEY || scale_type == TYPE_PAIR || scale_type == TYPE_POINT2D || scale_type == TYPE_POINT3D) {
    fire(err::script_not_related, {error_word("round"), datatype::make_cell(scale_type)});
  }
  // A percent counts in hundredths: its default scale is 1%, and a /to
  // scale is read as a percentage.
  bool percent = TYPE_OF(value) == TYPE_PERCENT;
  double s = percent ? 0.01 : 1.0;
  if (to) {
    s = std::fabs(scale_type == TYPE_INTEGER ? integer::get(scale) : get_float(scale));
    if (percent) s /= 100.0;
  }
  double result = round_to(get_float(value), s, even, down, half_down, floor, ceiling, half_ceiling);
  if (scale_type != TYPE_INTEGER) {
    if (to) set_type(value, scale_type);
    set_float(value, result);
    return value;
  }
  double whole = std::trunc(result);
  if (integer::overflow_q(whole)) fire(err::math_overflow);
  return integer::make_at(value, static_cast<int32_t>(whole));
}

double random(double x, bool secure) {
  if (!secure) return x * random::next() / 2147483647.0;
  double s1 = random::secure_next();
  double s2 = random::secure_next();
  return x * (s2 + s1 / 2147483647.0) / 2147483648.0;
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}

// [mantissa exponent]: mantissa × 10 ^ the exponent truncated.
double from_block(const cell* spec, int32_t type) {
  int32_t count;
  const cell* values = block::values_of(spec, count);
  if (count != 2) fire(err::script_bad_to_arg, {datatype::make_cell(static_cast<uint32_t>(type)), *spec});
  double v[2];
  for (int32_t i = 0; i < 2; ++i) {
    switch (TYPE_OF(&values[i])) {
      case TYPE_INTEGER: v[i] = integer::get(&values[i]); break;
      case TYPE_FLOAT: v[i] = get_float(&values[i]); break;
      default: fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_FLOAT), values[i]});
    }
  }
  return v[0] * std::pow(10.0, std::trunc(v[1]));
}

// The text of a string from its index read by the float scanner; an empty
// text or one that is not a decimal number raises bad-to-arg.
double float_of_text(cell* spec) {
  int32_t count = string::rs_length_q(spec), error = -1;
  double d = 0.0;
  if (count > 0) d = tokenizer::scan_float(string::rs_head(spec), count, memory::GET_UNIT(memory::GET_BUFFER(spec)), error);
  if (error) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_FLOAT), *spec});
  return d;
}

// A percent from text: the value the text loads as, an integer taken as it
// is and a float or percent by its payload ("5" is 500%, "5%" is 5%).
double percent_of_text(cell* spec) {
  cell loaded{TYPE_NONE, 0, 0, 0};
  memory::root_guard keep(&loaded);
  conversions::load_from_string(spec, &loaded);
  switch (TYPE_OF(&loaded)) {
    case TYPE_INTEGER: return integer::get(&loaded);
    case TYPE_FLOAT: case TYPE_PERCENT: return get_float(&loaded);
    default: fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_PERCENT), *spec});
  }
}

// make and to, for float! and (inherited) percent!.
cell* to(cell* proto, cell* spec, int32_t type) {
  double d;
  switch (TYPE_OF(spec)) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      d = from_block(spec, type);
      break;
    case TYPE_CHAR:
    case TYPE_INTEGER:
      d = integer::get(spec);
      break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      d = get_float(spec);
      break;
    case TYPE_MONEY:
      d = money::to_float(spec);
      break;
    case TYPE_BINARY: {  // the bit pattern, big-endian, up to 8 bytes; unit 1 string layout
      const uint8_t* bytes = string::rs_head(spec);
      int32_t n = string::rs_length_q(spec);
      uint64_t bits = 0;
      for (int32_t i = 0; i < n && i < 8; ++i) bits = bits << 8 | bytes[i];
      d = std::bit_cast<double>(bits);
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      d = type == TYPE_PERCENT ? percent_of_text(spec) : float_of_text(spec);
      break;
    default:
      fire(err::script_bad_to_arg, {datatype::make_cell(static_cast<uint32_t>(type)), *spec});
  }
  *proto = cell{static_cast<uint32_t>(type), 0, 0, 0};
  set_float(proto, d);
  return proto;
}

cell* random_action(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(static_cast<int32_t>(value->data2 ^ value->data3));
    return &unset::unset_value;
  }
  set_float(value, random(get_float(value), secure != 0));
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, form_float(get_float(value), FORM_FLOAT), part);
}

// Molded floats read back exactly: the shortest digits, never pretty.
int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell*, int32_t part, int32_t) {
  return datatype::append_text(buffer, dtoa::form_float(get_float(value), 0, true), part);
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t type = TYPE_OF(value2);
  if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && type != TYPE_OF(value1)) return 1;
  double a = get_float(value1), b;
  switch (type) {
    case TYPE_INTEGER: b = integer::get(value2); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: b = get_float(value2); break;
    case TYPE_MONEY: {
      // The float as money; one beyond the amounts, or too small to be one,
      // sits above or below them all, or beside zero.
      double x = get_float(value1);
      if (money::float_too_big_q(x)) return x > 0 ? 1 : -1;
      if (money::float_too_small_q(x)) {
        int32_t s = money::sign_q(value2);
        return s != 0 ? -s : x > 0 ? 1 : -1;
      }
      cell as_money = money::from_float(x, true);
      return money::compare(&as_money, value2, op);
    }
    default: return COMPARE_NONE;
  }
  bool nan = std::isnan(a) || std::isnan(b);
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
      return almost_equal_q(a, b) ? 0 : 1;
    case COMP_STRICT_EQUAL:
      return a == b ? 0 : 1;
    case COMP_SAME:
      return value1->data2 == value2->data2 && value1->data3 == value2->data3 ? 0 : 1;
    // Every ordering test with a NaN is false.
    case COMP_LESSER:
    case COMP_LESSER_EQUAL:
      if (nan) return 1;
      break;
    case COMP_GREATER:
    case COMP_GREATER_EQUAL:
      if (nan) return -1;
      break;
    // Sorting needs a total order: NaN after every number.
    case COMP_SORT:
    case COMP_CASE_SORT:
      if (nan) return std::isnan(a) == std::isnan(b) ? 0 : std::isnan(a) ? 1 : -1;
      break;
    default:
      if (nan) return 1;
      break;
  }
  return a < b ? -1 : a > b ? 1 : 0;
}

void absolute() { set_float(stack::arguments, std::fabs(get_float(stack::arguments))); }

cell* negate(cell* value) {
  set_float(value, 0.0 - get_float(value));
  return value;
}

// The parity of the value truncated toward zero, taken in floating point
// so that no value needs to fit 32 bits; infinities and NaN are neither.
bool even_q(cell* value) { return std::fmod(std::trunc(get_float(value)), 2.0) == 0.0; }
bool odd_q(cell* value) { return std::fabs(std::fmod(std::trunc(get_float(value)), 2.0)) == 1.0; }

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_FLOAT, 0, "float!",
    /* make .. set-path */     to, random_action, unsupported, to, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, absolute, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, negate, power, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        round, math<integer::OP_SUBTRACT>, even_q, odd_q, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::float_
