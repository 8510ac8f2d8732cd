// vector!: element access, make from a count or a spec block, form and
// mold, element-wise math, append, insert and change, comparison, and the
// registration row of vector!.
//
// Edits and math compute every element they store in host memory first:
// a value of the wrong type or an arithmetic error is raised before the
// vector changes, and a vector changed from itself needs no care.
#include "runtime/datatypes/vector.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::vector {

using namespace memory;

namespace {

enum math_op { OP_ADD = 0, OP_SUBTRACT = 1, OP_MULTIPLY = 2, OP_DIVIDE = 3, OP_REMAINDER = 4 };

uint32_t unit_of(const cell* v) { return GET_UNIT(GET_BUFFER(v)); }

int32_t abs_length(const cell* v) {
  series_buffer* b = GET_BUFFER(v);
  return static_cast<int32_t>((b->tail - b->head) / GET_UNIT(b));
}

int32_t clamped_index(const cell* v) { return std::min(static_cast<int32_t>(v->data1), abs_length(v)); }

uint32_t element_type(const cell* v) { return v->data3; }

bool float_type_q(uint32_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT; }

// The size in bits that mold leaves out.
uint32_t default_unit(uint32_t type) { return float_type_q(type) ? 8 : 4; }

cell element_cell(const uint8_t* p, uint32_t unit, uint32_t type) {
  if (!float_type_q(type)) return cell{type, 0, static_cast<uint32_t>(get_int(p, unit)), 0};
  cell c{type, 0, 0, 0};
  set_float(&c, get_float(p, unit));
  return c;
}

cell* item(const cell* blk, int32_t i) { return head_of<cell>(GET_BUFFER(blk)) + blk->data1 + i; }



// ---- Gathering elements --------------------------------------------------------

using bytes = std::vector<uint8_t>;

// Appends the encoding of one value, which must be of the element type.
void add_value(bytes& out, const cell* value, uint32_t type, uint32_t unit) {
  if (TYPE_OF(value) != type) fire(err::script_invalid_arg, {*value});
  size_t at = out.size();
  out.resize(at + unit);
  set_value(out.data() + at, value, unit);
}

// The encoded elements that a value of append, insert or change supplies:
// the values of a block, paren or hash (or, with `paths`, a path) from its
// index, at most `part` when part > 0; with `vectors`, the elements of a
// vector of the same element type, re-encoded in the target's unit; else
// the value itself.
bytes gather(const cell* target, const cell* value, int32_t part, bool paths, bool vectors) {
  uint32_t type = element_type(target), unit = unit_of(target);
  bytes out;
  uint32_t t = TYPE_OF(value);
  if (any_list_q(t) || (paths && any_path_q(t))) {
    int32_t count = std::max(series::rs_abs_length_q(value) - static_cast<int32_t>(value->data1), 0);
    if (part > 0) count = std::min(count, part);
    for (int32_t i = 0; i < count; ++i) add_value(out, item(value, i), type, unit);
  } else if (vectors && t == TYPE_VECTOR) {
    if (element_type(value) != type) fire(err::script_invalid_arg, {*value});
    uint32_t from_unit = unit_of(value);
    const uint8_t* p = rs_head(value);
    for (int32_t i = 0, n = rs_length_q(value); i < n; ++i) {
      cell c = element_cell(p + static_cast<size_t>(i) * from_unit, from_unit, type);
      add_value(out, &c, type, unit);
    }
  } else {
    add_value(out, value, type, unit);
  }
  return out;
}

// ---- make ----------------------------------------------------------------------

uint32_t element_type_of_word(const cell* word) {
  if (symbol::EQUAL_WORDS_q(word, words::sym_integer_type)) return TYPE_INTEGER;
  if (symbol::EQUAL_WORDS_q(word, words::sym_char_type)) return TYPE_CHAR;
  if (symbol::EQUAL_WORDS_q(word, words::sym_float_type)) return TYPE_FLOAT;
  if (symbol::EQUAL_WORDS_q(word, words::sym_percent_type)) return TYPE_PERCENT;
  return 0;
}

bool size_allowed_q(uint32_t type, int32_t bits) {
  if (type == TYPE_FLOAT) return bits == 32 || bits == 64;
  return bits == 8 || bits == 16 || bits == 32;
}

cell* make(cell* proto, cell* spec, int32_t) {
  cell s = *spec;
  root_guard keep(&s);
  uint32_t t = TYPE_OF(&s);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    int32_t count = std::max(t == TYPE_INTEGER ? integer::get(&s) : conversions::float_to_integer(&s), 0);
    make_at(proto, count, TYPE_INTEGER, 4);
    series_buffer* b = GET_BUFFER(proto);
    std::memset(head_of(b), 0, static_cast<size_t>(count) * 4);
    b->tail += static_cast<uint32_t>(count) * 4;
    return proto;
  }
  if (t != TYPE_BLOCK) fire(err::internal_not_done);
  int32_t n = std::max(series::get_length(&s, false), 0);
  uint32_t type = TYPE_INTEGER;
  int32_t bits = 32, count = 0;
  cell values = s;
  bool have_values = n > 0;
  if (n > 0 && TYPE_OF(item(&s, 0)) == TYPE_WORD) {
    if (n < 2) fire(err::script_bad_make_arg, {*proto, s});
    type = element_type_of_word(item(&s, 0));
    if (!type) fire(err::script_bad_make_arg, {*proto, s});
    int32_t position = 1;
    cell* size = item(&s, 1);
    if (type == TYPE_PERCENT) {
      bits = 64;
      if (TYPE_OF(size) == TYPE_INTEGER) position = 2;
    } else if (TYPE_OF(size) == TYPE_INTEGER) {
      bits = integer::get(size);
      if (!size_allowed_q(type, bits)) fire(err::script_bad_make_arg, {*proto, s});
      position = 2;
    } else {
      fire(err::script_invalid_spec_field, {s});
    }
    have_values = false;
    if (position < n) {
      cell* next = item(&s, position);
      if (TYPE_OF(next) == TYPE_INTEGER) {
        count = integer::get(next);
        if (position + 1 < n && TYPE_OF(item(&s, position + 1)) == TYPE_BLOCK) {
          values = *item(&s, position + 1);
          have_values = true;
        }
      } else if (TYPE_OF(next) == TYPE_BLOCK) {
        values = *next;
        have_values = true;
      } else {
        fire(err::script_invalid_spec_field, {s});
      }
    }
  } else if (n > 0) {
    type = TYPE_OF(item(&s, 0));
    if (type != TYPE_CHAR && type != TYPE_INTEGER && type != TYPE_FLOAT && type != TYPE_PERCENT)
      fire(err::script_invalid_type, {datatype::make_cell(type)});
    bits = static_cast<int32_t>(default_unit(type)) * 8;
  }
  root_guard keep_values(&values);
  int32_t given = have_values ? std::max(series::get_length(&values, false), 0) : 0;
  uint32_t unit = static_cast<uint32_t>(bits / 8);
  make_at(proto, std::max({count, given, 1}), type, unit);
  for (int32_t i = 0; i < given; ++i) rs_append(proto, item(&values, i));
  if (count > given) {
    int32_t zeros = count - given;
    uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(proto), zeros * static_cast<int32_t>(unit));
    std::memset(at, 0, static_cast<size_t>(zeros) * unit);
  }
  return proto;
}

// ---- form and mold -------------------------------------------------------------

const char* type_name(uint32_t type) {
  switch (type) {
    case TYPE_CHAR: return "char!";
    case TYPE_FLOAT: return "float!";
    case TYPE_PERCENT: return "percent!";
    default: return "integer!";
  }
}

int32_t append_char(cell* buffer, uint32_t cp, bool mold, int32_t part) {
  int32_t before = string::rs_abs_length_q(buffer);
  series_buffer* b = GET_BUFFER(buffer);
  if (mold) b = string::concatenate_literal(b, "#\"");
  b = string::append_escaped_char(b, cp, true, false);
  if (mold) string::concatenate_literal(b, "\"");
  return part - (string::rs_abs_length_q(buffer) - before);
}

// The elements from the index, one space apart.
int32_t form_values(const cell* v, cell* buffer, bool part_given, int32_t part, bool mold) {
  uint32_t type = element_type(v), unit = unit_of(v);
  int32_t start = clamped_index(v), length = rs_length_q(v);
  for (int32_t i = 0; i < length; ++i) {
    if (i > 0) part = datatype::append_text(buffer, " ", part);
    // Read again each time: appending to the buffer may move the vector's.
    const uint8_t* p = head_of(GET_BUFFER(v)) + static_cast<size_t>(start + i) * unit;
    switch (type) {
      case TYPE_CHAR:
        part = append_char(buffer, static_cast<uint32_t>(get_int(p, unit)), mold, part);
        break;
      case TYPE_INTEGER:
        part = datatype::append_text(buffer, integer::form_signed(get_int(p, unit)), part);
        break;
      case TYPE_FLOAT:
        part = datatype::append_text(
            buffer, float_::form_float(get_float(p, unit), unit == 8 ? float_::FORM_FLOAT : float_::FORM_FLOAT32),
            part);
        break;
      default:
        part = datatype::append_text(
            buffer,
            float_::form_float(get_float(p, unit) * 100.0, unit == 8 ? float_::FORM_PERCENT : float_::FORM_PERCENT32),
            part);
    }
    if (part_given && part <= 0) return part;
  }
  return part;
}

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  cell v = *value;
  root_guard keep(&v);
  return form_values(&v, buffer, stack::given_q(arg), part, false);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  cell v = *value;
  root_guard keep(&v);
  bool part_given = stack::given_q(arg);
  if (!only) part = datatype::append_text(buffer, "make vector! [", part);
  uint32_t unit = unit_of(&v);
  bool typed = abs_length(&v) == 0 || unit != default_unit(element_type(&v));
  if (typed) {
    part = datatype::append_text(buffer, type_name(element_type(&v)), part);
    part = datatype::append_text(buffer, " ", part);
    part = datatype::append_text(buffer, integer::form_signed(static_cast<int32_t>(unit * 8)), part);
    part = datatype::append_text(buffer, " [", part);
  }
  part = form_values(&v, buffer, part_given, part, true);
  if (part_given && part <= 0) return part;
  if (!only) part = datatype::append_text(buffer, typed ? "]]" : "]", part);
  return part;
}

// ---- Math ----------------------------------------------------------------------

// Stores one computed element; an integer keeps the low bits of the unit.
void store_int(uint8_t* p, int32_t n, uint32_t unit) { std::memcpy(p, &n, unit); }

void store_float(uint8_t* p, double d, uint32_t unit) {
  if (unit == 8) {
    std::memcpy(p, &d, 8);
  } else {
    auto f = static_cast<float>(d);
    std::memcpy(p, &f, 4);
  }
}

cell* math_with_vector(int32_t op, cell* a, const cell* b) {
  uint32_t type = element_type(a);
  if (element_type(b) != type) fire(err::script_not_same_type);
  uint32_t unit_a = unit_of(a), unit_b = unit_of(b), unit = std::max(unit_a, unit_b);
  int32_t n = std::min(rs_length_q(a), rs_length_q(b));
  bytes out(static_cast<size_t>(n) * unit);
  const uint8_t *x = rs_head(a), *y = rs_head(b);
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* p = x + static_cast<size_t>(i) * unit_a;
    const uint8_t* q = y + static_cast<size_t>(i) * unit_b;
    uint8_t* r = out.data() + static_cast<size_t>(i) * unit;
    if (float_type_q(type))
      store_float(r, float_::do_math_op(op, get_float(p, unit_a), get_float(q, unit_b)), unit);
    else
      store_int(r, int_op(get_int(p, unit_a), get_int(q, unit_b), op), unit);
  }
  make_at(a, n, type, unit);
  std::memcpy(series::alloc_tail_bytes(GET_BUFFER(a), static_cast<int32_t>(out.size())), out.data(), out.size());
  return a;
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  if (TYPE_OF(right) == TYPE_VECTOR)
    math_with_vector(op, left, right);
  else
    do_math_scalar(op, left, right);
}

void add() { do_math(OP_ADD); }
void subtract() { do_math(OP_SUBTRACT); }
void multiply() { do_math(OP_MULTIPLY); }
void divide() { do_math(OP_DIVIDE); }
void remainder() { do_math(OP_REMAINDER); }
void or_t() { do_math(5); }
void and_t() { do_math(6); }
void xor_t() { do_math(7); }

// ---- Editing -------------------------------------------------------------------

cell* insert(cell* v, cell* value, int32_t part, int32_t, int32_t dup, int32_t append) {
  bytes data = gather(v, value, part, false, false);
  if (data.empty() || dup < 1) return v;
  series::insertion done = series::insert_units(v, value, data.data(), data.size(), dup, append != 0);
  if (!append) v->data1 = static_cast<uint32_t>(done.position + done.count);
  ownership::check(v, append ? words::word_appended : words::word_inserted, value, done.position, done.count);
  return v;
}

cell* change(cell* v, cell* value, int32_t part, int32_t, int32_t dup) {
  bytes data = gather(v, value, -1, true, true);
  series::change_units(v, value, data.data(), data.size(), part, dup);
  return v;
}

// ---- Comparison ----------------------------------------------------------------

int32_t compare(const cell* a, const cell* b, int32_t op) {
  if (TYPE_OF(b) != TYPE_VECTOR) return COMPARE_NONE;
  uint32_t type = element_type(a);
  if (element_type(b) != type) fire(err::script_not_same_type);
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
  if (a->data2 == b->data2 && clamped_index(a) == clamped_index(b) && (equality || op == COMP_SAME)) return 0;
  if (op == COMP_SAME) return -1;
  int32_t m = rs_length_q(a), n = rs_length_q(b);
  if (m == 0 && n == 0) return 0;
  if (equality && m != n) return 1;
  uint32_t unit_a = unit_of(a), unit_b = unit_of(b);
  const uint8_t *x = rs_head(a), *y = rs_head(b);
  for (int32_t i = 0; i < std::min(m, n); ++i) {
    const uint8_t* p = x + static_cast<size_t>(i) * unit_a;
    const uint8_t* q = y + static_cast<size_t>(i) * unit_b;
    if (float_type_q(type)) {
      double d = get_float(p, unit_a), e = get_float(q, unit_b);
      if (d != e) return d < e ? -1 : 1;
    } else {
      int32_t d = get_int(p, unit_a), e = get_int(q, unit_b);
      if (d != e) return d < e ? -1 : 1;
    }
  }
  return m < n ? -1 : m > n ? 1 : 0;
}

}  // namespace

// ---- Readers -------------------------------------------------------------------

int32_t rs_length_q(const cell* v) { return abs_length(v) - clamped_index(v); }

uint8_t* rs_head(const cell* v) {
  return head_of(GET_BUFFER(v)) + static_cast<size_t>(clamped_index(v)) * unit_of(v);
}

uint8_t* rs_tail(const cell* v) { return tail_of(GET_BUFFER(v)); }

bool rs_tail_q(const cell* v) { return rs_length_q(v) == 0; }

int32_t get_int(const uint8_t* p, uint32_t unit) {
  switch (unit) {
    case 1: return static_cast<int8_t>(*p);
    case 2: {
      int16_t n;
      std::memcpy(&n, p, 2);
      return n;
    }
    default: {
      int32_t n;
      std::memcpy(&n, p, 4);
      return n;
    }
  }
}

double get_float(const uint8_t* p, uint32_t unit) {
  if (unit == 4) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
  }
  double d;
  std::memcpy(&d, p, 8);
  return d;
}

cell* get_value(const uint8_t* p, uint32_t unit, uint32_t type) { return stack::push(element_cell(p, unit, type)); }

void set_value(uint8_t* p, const cell* value, uint32_t unit) {
  switch (TYPE_OF(value)) {
    case TYPE_CHAR: case TYPE_INTEGER:
      store_int(p, static_cast<int32_t>(value->data2), unit);
      break;
    case TYPE_FLOAT: case TYPE_PERCENT:
      store_float(p, ixo::get_float(value), unit);
      break;
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(value))});
  }
}

// ---- Writers -------------------------------------------------------------------

void rs_clear(cell* v) {
  series_buffer* b = GET_BUFFER(v);
  b->tail = b->head + static_cast<uint32_t>(clamped_index(v)) * unit_of(v);
}

void rs_append(cell* v, const cell* value) {
  if (TYPE_OF(value) != element_type(v)) fire(err::script_invalid_arg, {*value});
  uint32_t unit = unit_of(v);
  cell c = *value;  // the value may lie in a buffer that the growth moves
  set_value(series::alloc_tail_bytes(GET_BUFFER(v), static_cast<int32_t>(unit)), &c, unit);
}

// ---- Constructors --------------------------------------------------------------

cell* make_at(cell* c, int32_t count, uint32_t type, uint32_t unit) {
  if (static_cast<int64_t>(count) * unit > INT32_MAX) fire(err::internal_no_memory);
  c->header = TYPE_UNSET;  // until the buffer exists: an allocation may collect
  uint32_t node = alloc_series(count, unit, 0);
  *c = cell{TYPE_VECTOR, 0, node, type};
  return c;
}

cell* to_block(const cell* v, cell* blk) {
  cell source = *v;
  root_guard keep(&source);
  int32_t n = rs_length_q(&source);
  blk->header = TYPE_UNSET;
  uint32_t node = alloc_cells(n);
  *blk = cell{TYPE_BLOCK, 0, node, 0};
  uint32_t unit = unit_of(&source), type = element_type(&source);
  const uint8_t* p = rs_head(&source);
  series_buffer* b = buffer_of(node);
  for (int32_t i = 0; i < n; ++i) head_of<cell>(b)[i] = element_cell(p + static_cast<size_t>(i) * unit, unit, type);
  b->tail = b->head + static_cast<uint32_t>(n) * sizeof(cell);
  return blk;
}

// ---- Math ----------------------------------------------------------------------

int32_t int_op(int32_t a, int32_t b, int32_t op) {
  auto x = static_cast<uint32_t>(a), y = static_cast<uint32_t>(b);
  switch (op) {
    case OP_ADD: return static_cast<int32_t>(x + y);
    case OP_SUBTRACT: return static_cast<int32_t>(x - y);
    case OP_MULTIPLY: return static_cast<int32_t>(x * y);
    default: return integer::do_math_op(a, b, op, nullptr);
  }
}

cell* do_math_scalar(int32_t op, cell* v, const cell* scalar) {
  uint32_t t = TYPE_OF(scalar);
  if (t != TYPE_INTEGER && t != TYPE_FLOAT && t != TYPE_PERCENT) fire(err::internal_not_done);
  double d = t == TYPE_INTEGER ? static_cast<int32_t>(scalar->data2) : ixo::get_float(scalar);
  uint32_t unit = unit_of(v);
  int32_t n = rs_length_q(v);
  uint8_t* p = rs_head(v);
  bytes out(static_cast<size_t>(n) * unit);
  if (float_type_q(element_type(v))) {
    if (((op == OP_ADD || op == OP_SUBTRACT) && d == 0.0) || ((op == OP_MULTIPLY || op == OP_DIVIDE) && d == 1.0))
      return v;
    for (int32_t i = 0; i < n; ++i)
      store_float(out.data() + static_cast<size_t>(i) * unit,
                  float_::do_math_op(op, get_float(p + static_cast<size_t>(i) * unit, unit), d), unit);
  } else {
    int32_t k = t == TYPE_INTEGER ? static_cast<int32_t>(scalar->data2) : conversions::float_to_integer(scalar);
    if (((op == OP_ADD || op == OP_SUBTRACT) && k == 0) || ((op == OP_MULTIPLY || op == OP_DIVIDE) && k == 1))
      return v;
    for (int32_t i = 0; i < n; ++i)
      store_int(out.data() + static_cast<size_t>(i) * unit, int_op(get_int(p + static_cast<size_t>(i) * unit, unit), k, op),
                unit);
  }
  std::memcpy(p, out.data(), out.size());
  return v;
}

// ---- Registration --------------------------------------------------------------

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_VECTOR, TYPE_STRING, "vector!",
    /* make .. set-path */     make, inherit, inherit, unsupported, form, mold, inherit, unsupported,
    /* compare .. remainder */ compare, unsupported, add, divide, multiply, unsupported, unsupported, remainder,
    /* round .. xor~ */        unsupported, subtract, unsupported, unsupported, and_t, unsupported, or_t, xor_t,
    /* append .. head */       insert, inherit, inherit, change, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, insert, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, inherit, inherit, inherit, unsupported, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::vector
