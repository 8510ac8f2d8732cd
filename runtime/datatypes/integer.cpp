// integer!: the constructors, the decimal former, the arithmetic core and
// the integer actions. Add, subtract and multiply leave the integers for a
// float when 32 bits overflow; mixed operations go to the math of float!,
// pair!, the points or tuple! by the right operand's type.
#include "runtime/datatypes/integer.hpp"

#include <cmath>
#include <utility>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/coordinates.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/scanners.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::integer {

cell* push(int32_t v) { return stack::push(make_cell(v)); }

void box(int32_t v) { stack::set_last(make_cell(v)); }

cell* make_at(cell* c, int32_t v) {
  *c = make_cell(v);
  return c;
}

cell* make_in(cell* block, int32_t v) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(v);
  return c;
}

int32_t abs(int32_t n) {
  if (n == INT32_MIN) fire(err::math_overflow);
  return n < 0 ? -n : n;
}

bool overflow_q(double f) { return !(f >= -2147483648.0 && f <= 2147483647.0); }

namespace {
char decimal[12];  // "-2147483648" and its terminator
char* const decimal_end = decimal + sizeof decimal - 1;

// "00" to "99": the digits are written two at a time.
constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
}  // namespace

const char* form_signed(int32_t n) {
  uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  char* p = decimal_end;
  *p = 0;
  while (magnitude >= 100) {
    uint32_t pair = magnitude % 100;
    magnitude /= 100;
    p -= 2;
    p[0] = digit_pairs[2 * pair];
    p[1] = digit_pairs[2 * pair + 1];
  }
  if (magnitude >= 10) {
    p -= 2;
    p[0] = digit_pairs[2 * magnitude];
    p[1] = digit_pairs[2 * magnitude + 1];
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  if (n < 0) *--p = '-';
  return p;
}

int32_t append_decimal(const cell* string, int32_t n) {
  // Appended as datatype::append_text appends text, with the length and
  // the ASCII of the text known.
  const char* text = form_signed(n);
  auto length = static_cast<int32_t>(decimal_end - text);
  string::concatenate_ascii(memory::GET_BUFFER(string), reinterpret_cast<const uint8_t*>(text), length);
  return length;
}

int32_t do_math_op(int32_t left, int32_t right, int32_t op, cell* result) {
  int32_t r;
  double f;
  switch (math_core(left, right, op, result == nullptr, r, f)) {
    case math_outcome::whole: break;
    case math_outcome::floating: float_::make_at(result, f); return 0;
    case math_outcome::zero_divide: fire(err::math_zero_divide);
    case math_outcome::overflow: fire(err::math_overflow);
    case math_outcome::no_code: NO_SWITCH_MATCH();
  }
  if (result) result->data2 = static_cast<uint32_t>(r);
  return r;
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  uint32_t type = TYPE_OF(right);
  switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      do_math_op(get(left), get(right), op, left);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
      float_::do_math(op);
      return;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
      // The composite goes first: n - p is -p + n, n / p has no meaning.
      if (op == OP_DIVIDE) {
        fire(err::script_not_related, {error_word("divide"), datatype::make_cell(TYPE_INTEGER)});
      }
      std::swap(*left, *right);
      if (op == OP_SUBTRACT) {
        copy_cell(datatype::action_of<negate_fn>(type, ACT_NEGATE)(left), left);
        op = OP_ADD;
      }
      if (type == TYPE_PAIR) pair::do_math(op);
      else if (type == TYPE_POINT2D) point::do_math<2>(op);
      else point::do_math<3>(op);
      return;
    case TYPE_TUPLE:
      tuple::do_math(op);
      return;
    case TYPE_MONEY:
      money::do_math(op);
      return;
    case TYPE_VECTOR:  // the vector, changed in place, with the number as its operand
      *left = *vector::do_math_scalar(op, right, left);
      return;
    case TYPE_DATE:  // days added to a date
      if (op != OP_ADD) fire(err::script_not_related, {error_word("subtract"), datatype::make_cell(TYPE_INTEGER)});
      std::swap(*left, *right);
      date::do_math(OP_ADD);
      return;
    default:
      fire(err::script_invalid_type, {datatype::make_cell(type)});
  }
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}

// A float truncated toward zero, when that fits 32 bits.
int32_t truncate(double f) {
  double t = std::trunc(f);
  if (overflow_q(t)) fire(err::script_type_limit, {datatype::make_cell(TYPE_INTEGER)});
  return static_cast<int32_t>(t);
}

cell* to(cell* proto, cell* spec, int32_t) {
  int32_t v;
  switch (TYPE_OF(spec)) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
      v = get(spec);
      break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      v = truncate(get_float(spec));
      break;
    case TYPE_TIME:  // seconds, rounded
      v = truncate(get_float(spec) + 0.5);
      break;
    case TYPE_ISSUE: {  // hexadecimal, 1 to 8 digits
      uint8_t digits[8];
      int32_t n = issue::hex_digits(spec, digits, 8);
      if (n < 1) fire(err::script_invalid_data, {*spec});
      uint32_t u = 0;
      for (int32_t i = 0; i < n; ++i) u = u << 4 | digits[i];
      v = static_cast<int32_t>(u);
      break;
    }
    case TYPE_BINARY: {  // up to 4 bytes, big-endian; a binary has the string layout, unit 1
      const uint8_t* bytes = string::rs_head(spec);
      int32_t n = string::rs_length_q(spec);
      uint32_t u = 0;
      for (int32_t i = 0; i < n && i < 4; ++i) u = u << 8 | bytes[i];
      v = static_cast<int32_t>(u);
      break;
    }
    case TYPE_DATE:
      v = date::to_epoch(spec);
      break;
    case TYPE_MONEY:
      v = money::to_integer(spec);
      break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
      int32_t error;
      v = tokenizer::scan_integer(string::rs_head(spec), string::rs_length_q(spec),
                                  memory::GET_UNIT(memory::GET_BUFFER(spec)), error);
      if (error) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_INTEGER), *spec});
      break;
    }
    default:
      fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_INTEGER), *spec});
  }
  return make_at(proto, v);
}

cell* make(cell* proto, cell* spec, int32_t type) {
  if (TYPE_OF(spec) == TYPE_LOGIC) return make_at(proto, spec->data1 ? 1 : 0);
  return to(proto, spec, type);
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(get(value));
    return &unset::unset_value;
  }
  if (get(value) != 0) value->data2 = static_cast<uint32_t>(random::int_in_range(secure != 0, get(value)));
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) { return part - append_decimal(buffer, get(value)); }

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell*, int32_t part, int32_t) {
  return part - append_decimal(buffer, get(value));
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t type = TYPE_OF(value2);
  if ((op == COMP_STRICT_EQUAL || op == COMP_FIND) && type != TYPE_INTEGER) return 1;
  switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR: {
      int32_t a = get(value1), b = get(value2);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
      cell as_float = float_::make_cell(get(value1));
      return actions::compare_raw(&as_float, value2, op);
    }
    case TYPE_MONEY: {
      cell as_money = money::from_integer(get(value1));
      return money::compare(&as_money, value2, op);
    }
    default:
      return COMPARE_NONE;
  }
}

void absolute() { stack::arguments->data2 = static_cast<uint32_t>(abs(get(stack::arguments))); }

cell* negate(cell* value) {
  if (get(value) == INT32_MIN) fire(err::math_overflow);
  value->data2 = static_cast<uint32_t>(-get(value));
  return value;
}

cell* complement(cell* value) {
  value->data2 = ~value->data2;
  return value;
}

bool even_q(cell* value) { return (value->data2 & 1) == 0; }
bool odd_q(cell* value) { return (value->data2 & 1) != 0; }

// Binary exponentiation; a product that leaves 32 bits throws
// THROW_INT_OVERFLOW to power, which starts again in floats.
int32_t int_power(int32_t base, int32_t exponent) {
  int32_t result = 1;
  while (exponent != 0) {
    if ((exponent & 1) && __builtin_mul_overflow(result, base, &result)) system::throw_code(THROW_INT_OVERFLOW);
    exponent >>= 1;
    if (exponent != 0 && __builtin_mul_overflow(base, base, &base)) system::throw_code(THROW_INT_OVERFLOW);
  }
  return result;
}

void power() {
  cell* base = stack::arguments;
  cell* exponent = base + 1;
  uint32_t type = TYPE_OF(exponent);
  if (type != TYPE_INTEGER && type != TYPE_FLOAT) {
    fire(err::script_expect_arg, {error_word("power"), datatype::make_cell(type), error_word("exponent")});
  }
  if (type == TYPE_INTEGER && get(exponent) >= 0) {
    int32_t result = 0;
    uint32_t code = catch_site(FILTER_POWER, [&] { result = int_power(get(base), get(exponent)); });
    if (code == 0) {
      base->data2 = static_cast<uint32_t>(result);
      return;
    }
    if (code != THROW_INT_OVERFLOW) system::throw_to_catch();
    system::clear_thrown();
  }
  float_::make_at(base, get(base));
  float_::power();
}

}  // namespace

// Rounds |value| to a multiple of the scale and gives back the sign, in 64
// bits so that the magnitude of -2147483648 and a step past it are exact;
// only a result outside 32 bits is an overflow.
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  bool to = scale > stack::arguments;
  if (to && TYPE_OF(scale) == TYPE_MONEY) {
    fire(err::script_not_related, {error_word("round"), datatype::make_cell(TYPE_MONEY)});
  }
  if (to && TYPE_OF(scale) != TYPE_INTEGER) {
    float_::make_at(value, get(value));
    return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
  }
  int64_t s = to ? abs(get(scale)) : 1;
  int64_t v = get(value);
  if (s == 0) return value;
  int64_t n = v < 0 ? -v : v;
  int64_t r = n % s;
  if (r == 0) return value;
  int64_t lower = n - r, upper = n + (s - r);
  bool negative = v < 0;
  int64_t magnitude;
  if (down) magnitude = lower;
  else if (floor) magnitude = negative ? upper : lower;
  else if (ceiling) magnitude = negative ? lower : upper;
  else if (r < s - r) magnitude = lower;
  else if (r > s - r) magnitude = upper;
  else if (even) magnitude = (n / s) % 2 != 0 ? upper : lower;
  else if (half_down) magnitude = lower;
  else if (half_ceiling) magnitude = negative ? lower : upper;
  else magnitude = upper;
  int64_t result = negative ? -magnitude : magnitude;
  if (result < INT32_MIN || result > INT32_MAX) fire(err::math_overflow);
  value->data2 = static_cast<uint32_t>(static_cast<int32_t>(result));
  return value;
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_INTEGER, 0, "integer!",
    /* make .. set-path */     make, random, unsupported, to, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, absolute, math<OP_ADD>, math<OP_DIVIDE>, math<OP_MULTIPLY>, negate, power, math<OP_REMAINDER>,
    /* round .. xor~ */        round, math<OP_SUBTRACT>, even_q, odd_q, math<OP_AND>, complement, math<OP_OR>, math<OP_XOR>,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::integer
