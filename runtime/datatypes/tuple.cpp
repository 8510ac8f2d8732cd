// tuple!: constructors, byte-wise saturating arithmetic, construction,
// text form, ordering, byte access and reverse.
#include "runtime/datatypes/tuple.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::tuple {

namespace {

cell empty_tuple(int32_t length) {
  return cell{static_cast<uint32_t>(length) << LENGTH_SHIFT | TYPE_TUPLE, 0, 0, 0};
}

uint8_t clamp_byte(int64_t n) { return static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n); }

// Clamped in floating point, so that no value needs to fit an integer
// first; NaN gives 0.
uint8_t clamp_byte(double d) {
  if (!(d > 0.0)) return 0;
  return d >= 255.0 ? 255 : static_cast<uint8_t>(d);
}

}  // namespace

cell* push(int32_t length, uint32_t word1, uint32_t word2, uint32_t word3) {
  return stack::push(cell{static_cast<uint32_t>(length) << LENGTH_SHIFT | TYPE_TUPLE, word1, word2, word3});
}

cell* push_bytes(int32_t count, const int32_t* values) {
  count = std::min(count, MAX_LENGTH);
  cell t = empty_tuple(std::max(count, MIN_LENGTH));
  for (int32_t i = 0; i < count; ++i) bytes_of(&t)[i] = static_cast<uint8_t>(values[i]);
  return stack::push(t);
}

void from_binary(cell* binary, cell* target) {
  // A binary has the string layout with unit 1.
  const uint8_t* bytes = string::rs_head(binary);
  int32_t count = std::min(string::rs_length_q(binary), MAX_LENGTH);
  cell t = empty_tuple(std::max(count, MIN_LENGTH));
  std::memcpy(bytes_of(&t), bytes, static_cast<size_t>(count));
  *target = t;
}

cell* make_rgba(cell* c, int32_t r, int32_t g, int32_t b, int32_t a) {
  *c = empty_tuple(a == -1 ? 3 : 4);
  uint8_t* bytes = bytes_of(c);
  bytes[0] = static_cast<uint8_t>(r);
  bytes[1] = static_cast<uint8_t>(g);
  bytes[2] = static_cast<uint8_t>(b);
  if (a != -1) bytes[3] = static_cast<uint8_t>(a);
  return c;
}

void set_byte(cell* tuple, int32_t n, const cell* value, const cell* element) {
  int32_t length = length_of(tuple);
  if (n < 1 || n > length) fire(err::script_out_of_range, {*element});
  uint8_t* bytes = bytes_of(tuple);
  if (TYPE_OF(value) == TYPE_INTEGER) {
    bytes[n - 1] = clamp_byte(static_cast<int64_t>(integer::get(value)));
    return;
  }
  std::memset(bytes + n - 1, 0, static_cast<size_t>(length - n + 1));
  set_length(tuple, std::max(n - 1, MIN_LENGTH));
}

bool zero_q(const cell* tuple) {
  const uint8_t* bytes = bytes_of(tuple);
  return std::all_of(bytes, bytes + length_of(tuple), [](uint8_t b) { return b == 0; });
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  if (TYPE_OF(left) != TYPE_TUPLE) {
    // A scalar on the left: k + t is t + k; k - t and k / t have no meaning.
    if (op == integer::OP_SUBTRACT || op == integer::OP_DIVIDE) {
      fire(err::script_not_related, {error_word(op == integer::OP_SUBTRACT ? "subtract" : "divide"),
                                     datatype::make_cell(TYPE_OF(left))});
    }
    std::swap(*left, *right);
  }
  uint8_t* bytes = bytes_of(left);
  int32_t length = length_of(left);
  switch (TYPE_OF(right)) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double f = get_float(right);
      uint8_t result[MAX_LENGTH];
      for (int32_t i = 0; i < length; ++i) result[i] = clamp_byte(std::trunc(float_::do_math_op(op, bytes[i], f)));
      std::memcpy(bytes, result, static_cast<size_t>(length));
      return;
    }
    case TYPE_INTEGER:
    case TYPE_TUPLE:
      break;
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(right))});
  }
  bool scalar = TYPE_OF(right) == TYPE_INTEGER;
  int32_t right_length = scalar ? 0 : length_of(right);
  int32_t n = std::max(length, right_length);
  uint8_t result[MAX_LENGTH] = {};
  for (int32_t i = 0; i < n; ++i) {
    int32_t a = i < length ? bytes[i] : 0;
    int32_t b = scalar ? integer::get(right) : i < right_length ? bytes_of(right)[i] : 0;
    // An overflow shows as the scratch cell turned float; divide truncates.
    cell scratch = integer::make_cell(0);
    int32_t r = integer::do_math_op(a, b, op, op == integer::OP_DIVIDE ? nullptr : &scratch);
    result[i] = TYPE_OF(&scratch) == TYPE_FLOAT ? (get_float(&scratch) > 0 ? 255 : 0) : clamp_byte(static_cast<int64_t>(r));
  }
  std::memcpy(bytes, result, MAX_LENGTH);
  set_length(left, n);
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}

// make and to: a block of byte values (integers, chars, floats truncated),
// or the bytes of a binary.
// #F80 gives 255.136.0 (each digit doubled), #FF8800 the same from digit
// pairs, #FF000080 four bytes.
cell* from_issue(const cell* issue_value, cell* result) {
  uint8_t digits[8];
  int32_t n = issue::hex_digits(issue_value, digits, 8);
  if (n != 3 && n != 6 && n != 8) fire(err::script_invalid_data, {*issue_value});
  int32_t count = n == 3 ? 3 : n / 2;
  cell t = empty_tuple(count);
  for (int32_t i = 0; i < count; ++i)
    bytes_of(&t)[i] = static_cast<uint8_t>(n == 3 ? digits[i] * 17 : digits[2 * i] << 4 | digits[2 * i + 1]);
  *result = t;
  return result;
}

cell* to(cell* proto, cell* spec, int32_t) {
  switch (TYPE_OF(spec)) {
    case TYPE_TUPLE:
      return spec;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: {
      int32_t count;
      const cell* values = block::values_of(spec, count);
      if (count > MAX_LENGTH) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_TUPLE), *spec});
      cell t = empty_tuple(std::max(count, MIN_LENGTH));
      for (int32_t i = 0; i < count; ++i) {
        double b;
        switch (TYPE_OF(&values[i])) {
          case TYPE_INTEGER:
          case TYPE_CHAR: b = integer::get(&values[i]); break;
          case TYPE_FLOAT: b = std::trunc(get_float(&values[i])); break;
          default: b = -1.0; break;
        }
        if (!(b >= 0.0 && b <= 255.0)) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_TUPLE), *spec});
        bytes_of(&t)[i] = static_cast<uint8_t>(b);
      }
      *proto = t;
      return proto;
    }
    case TYPE_BINARY:
      from_binary(spec, proto);
      return proto;
    case TYPE_ISSUE:
      return from_issue(spec, proto);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      return conversions::load_from_string_as(spec, TYPE_TUPLE, proto);
    default:
      fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_TUPLE), *spec});
  }
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(static_cast<int32_t>(value->data1 ^ value->data2 ^ value->data3));
    return &unset::unset_value;
  }
  uint8_t* bytes = bytes_of(value);
  for (int32_t i = 0; i < length_of(value); ++i) {
    bytes[i] = static_cast<uint8_t>(random::int_in_range(secure != 0, bytes[i] + 1) - 1);
  }
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  char text[4 * MAX_LENGTH];
  char* out = text;
  for (int32_t i = 0; i < length_of(value); ++i) {
    if (i > 0) *out++ = '.';
    for (const char* d = integer::form_signed(bytes_of(value)[i]); *d; ++d) *out++ = *d;
  }
  *out = 0;
  return datatype::append_text(buffer, text, part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

// Byte by byte up to the longer length, missing bytes read as 0; the
// operator is not looked at, so 1.2.3 equals 1.2.3.0 even strictly.
int32_t compare(const cell* value1, const cell* value2, int32_t) {
  if (TYPE_OF(value2) != TYPE_TUPLE) return COMPARE_NONE;
  int32_t n = std::max(length_of(value1), length_of(value2));
  for (int32_t i = 0; i < n; ++i) {
    int32_t a = i < length_of(value1) ? bytes_of(value1)[i] : 0;
    int32_t b = i < length_of(value2) ? bytes_of(value2)[i] : 0;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

cell* complement(cell* value) {
  uint8_t* bytes = bytes_of(value);
  for (int32_t i = 0; i < length_of(value); ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
  return value;
}

int32_t length_q(cell* value) { return length_of(value); }

cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = TYPE_OF(index) == TYPE_INTEGER ? integer::get(index) : 0;
  if (n < 1 || n > length_of(value)) fire(err::script_out_of_range, {*index});
  return integer::push(bytes_of(value)[n - 1]);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell*, cell*, cell*, int32_t, int32_t, int32_t,
                int32_t, int32_t) {
  if (TYPE_OF(element) != TYPE_INTEGER) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(element))});
  if (!value) return pick(parent, 0, element);
  if (TYPE_OF(value) != TYPE_INTEGER && TYPE_OF(value) != TYPE_NONE) {
    fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(value))});
  }
  set_byte(parent, integer::get(element), value, element);
  return value;
}

// The bytes 1..part (all without /part) in reverse order, or their
// records of `skip` bytes in reverse order, each record kept whole.
cell* reverse(cell* value, cell* part, cell* skip) {
  int32_t range = length_of(value);
  if (part > stack::arguments) {
    if (TYPE_OF(part) != TYPE_INTEGER) fire(err::script_invalid_refine_arg, {error_word("part"), *part});
    if (integer::get(part) < 0) fire(err::script_out_of_range, {*part});
    range = std::min(integer::get(part), range);
  }
  int32_t size = 1;
  if (skip > stack::arguments) {
    if (TYPE_OF(skip) != TYPE_INTEGER) fire(err::script_invalid_refine_arg, {error_word("skip"), *skip});
    size = integer::get(skip);
    if (size == range) return value;
    if (size <= 0) fire(err::script_out_of_range, {*skip});
    if (size > range || range % size != 0) fire(err::script_invalid_refine_arg, {error_word("skip"), *skip});
  }
  uint8_t* bytes = bytes_of(value);
  for (int32_t i = 0, j = range / size - 1; i < j; ++i, --j) {
    std::swap_ranges(bytes + i * size, bytes + (i + 1) * size, bytes + j * size);
  }
  return value;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_TUPLE, 0, "tuple!",
    /* make .. set-path */     to, random, unsupported, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, unsupported, unsupported, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        unsupported, math<integer::OP_SUBTRACT>, unsupported, unsupported, math<integer::OP_AND>, complement, math<integer::OP_OR>, math<integer::OP_XOR>,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, length_q, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, reverse, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::tuple
