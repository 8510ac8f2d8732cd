// point3D!: constructors, arithmetic, construction, text form, tolerant
// comparison, rounding and field access; point2D! with a z.
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/words.hpp"

#include <cmath>

#include "runtime/core/hash.hpp"
#include "runtime/core/random.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::point3D {

using point2D::coordinate;
using point2D::set_coordinate;

namespace {
constexpr int32_t DIMENSIONS = 3;
}  // namespace

cell* make_at(cell* c, float x, float y, float z) {
  set_type(c, TYPE_POINT3D);
  set_coordinate(c, 0, x);
  set_coordinate(c, 1, y);
  set_coordinate(c, 2, z);
  return c;
}

cell* make_in(cell* block, float x, float y, float z) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(x, y, z);
  return c;
}

cell* push(float x, float y, float z) { return stack::push(make_cell(x, y, z)); }

float get_value_float(const cell* c) {
  return TYPE_OF(c) == TYPE_INTEGER ? static_cast<float>(integer::get(c)) : static_cast<float>(get_float(c));
}

namespace {

}  // namespace

int32_t get_field_index(const cell* word, const cell* value) {
  if (symbol::EQUAL_WORDS_q(word, words::sym_x)) return 1;
  if (symbol::EQUAL_WORDS_q(word, words::sym_y)) return 2;
  if (symbol::EQUAL_WORDS_q(word, words::sym_z)) return 3;
  if (TYPE_OF(value) == TYPE_POINT3D) fire(err::script_cannot_use, {*word, *value});
  fire(err::script_invalid_path, {*value, *word});
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  double operand[DIMENSIONS];
  switch (TYPE_OF(right)) {
    case TYPE_POINT3D:
      for (int32_t i = 0; i < DIMENSIONS; ++i) operand[i] = coordinate(right, i);
      break;
    case TYPE_INTEGER:
      operand[0] = operand[1] = operand[2] = integer::get(right);
      break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      operand[0] = operand[1] = operand[2] = static_cast<float>(get_float(right));
      break;
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(right))});
  }
  float result[DIMENSIONS];
  for (int32_t i = 0; i < DIMENSIONS; ++i) {
    result[i] = static_cast<float>(float_::do_math_op(op, coordinate(left, i), operand[i]));
  }
  for (int32_t i = 0; i < DIMENSIONS; ++i) set_coordinate(left, i, result[i]);
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}


// make and to.
cell* make(cell* proto, cell* spec, int32_t) {
  float x, y, z = 0.0f;
  switch (TYPE_OF(spec)) {
    case TYPE_POINT3D:
      return spec;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      x = y = z = get_value_float(spec);
      break;
    case TYPE_BLOCK: {
      int32_t count;
      const cell* values = block::values_of(spec, count);
      if (count < DIMENSIONS || !integer_or_float_q(TYPE_OF(&values[0])) || !integer_or_float_q(TYPE_OF(&values[1])) || !integer_or_float_q(TYPE_OF(&values[2]))) {
        fire(err::syntax_malconstruct, {*spec});
      }
      x = get_value_float(&values[0]);
      y = get_value_float(&values[1]);
      z = get_value_float(&values[2]);
      break;
    }
    case TYPE_PAIR:
      x = static_cast<float>(pair::x_of(spec));
      y = static_cast<float>(pair::y_of(spec));
      break;
    case TYPE_POINT2D:
      x = coordinate(spec, 0);
      y = coordinate(spec, 1);
      break;
    case TYPE_STRING:
      return conversions::load_from_string_as(spec, TYPE_POINT3D, proto);
    default:
      fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_POINT3D), *spec});
  }
  *proto = make_cell(x, y, z);
  return proto;
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(value) + 4;
    random::seed(static_cast<int32_t>(hash::murmur3_x86_32(bytes, 4 * DIMENSIONS, hash::seed)));
    return &unset::unset_value;
  }
  for (int32_t i = 0; i < DIMENSIONS; ++i) {
    float c = coordinate(value, i);
    if (c != 0.0f) set_coordinate(value, i, static_cast<float>(float_::random(c, secure != 0)));
  }
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  part = datatype::append_text(buffer, "(", part);
  for (int32_t i = 0; i < DIMENSIONS; ++i) {
    if (i > 0) part = datatype::append_text(buffer, ", ", part);
    part = datatype::append_text(buffer, float_::form_float(coordinate(value, i), float_::FORM_COORDINATE), part);
  }
  return datatype::append_text(buffer, ")", part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

// Equality is tolerant as floats are; ordering goes by x, then by y where
// the x values are almost equal, then by z.
int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_POINT3D) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
      for (int32_t i = 0; i < DIMENSIONS; ++i) {
        if (!float_::almost_equal32_q(coordinate(value1, i), coordinate(value2, i))) return 1;
      }
      return 0;
    case COMP_STRICT_EQUAL:
      for (int32_t i = 0; i < DIMENSIONS; ++i) {
        if (coordinate(value1, i) != coordinate(value2, i)) return 1;
      }
      return 0;
    case COMP_SAME:
      return value1->data1 == value2->data1 && value1->data2 == value2->data2 && value1->data3 == value2->data3 ? 0 : 1;
    default: {
      double d = 0.0;
      for (int32_t i = 0; i < DIMENSIONS; ++i) {
        d = static_cast<double>(coordinate(value1, i)) - coordinate(value2, i);
        if (!float_::almost_equal_q(d, 0.0)) break;
      }
      return d < 0.0 ? -1 : d > 0.0 ? 1 : 0;
    }
  }
}

void absolute() {
  cell* value = stack::arguments;
  for (int32_t i = 0; i < DIMENSIONS; ++i) set_coordinate(value, i, std::fabs(coordinate(value, i)));
}

cell* negate(cell* value) {
  for (int32_t i = 0; i < DIMENSIONS; ++i) set_coordinate(value, i, 0.0f - coordinate(value, i));
  return value;
}

// Each coordinate rounded as a float. A point3D! scale gives one scale per
// coordinate; a point2D! or pair! scale gives x and y, and z is left as it
// is (a zero scale). They are passed in the scale's own argument cell.
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  bool to = scale > stack::arguments;
  if (to && TYPE_OF(scale) == TYPE_MONEY) {
    fire(err::script_not_related, {error_word("round"), datatype::make_cell(TYPE_MONEY)});
  }
  cell given = to ? *scale : cell{};
  float rounded[DIMENSIONS];
  for (int32_t i = 0; i < DIMENSIONS; ++i) {
    if (to) {
      switch (TYPE_OF(&given)) {
        case TYPE_POINT3D:
          float_::make_at(scale, coordinate(&given, i));
          break;
        case TYPE_POINT2D:
          float_::make_at(scale, i < 2 ? coordinate(&given, i) : 0.0f);
          break;
        case TYPE_PAIR:
          if (i < 2) integer::make_at(scale, i == 0 ? pair::x_of(&given) : pair::y_of(&given));
          else float_::make_at(scale, 0.0);
          break;
        default:
          break;
      }
    }
    cell c = float_::make_cell(coordinate(value, i));
    rounded[i] = get_value_float(float_::round(&c, scale, even, down, half_down, floor, ceiling, half_ceiling));
  }
  for (int32_t i = 0; i < DIMENSIONS; ++i) set_coordinate(value, i, rounded[i]);
  return value;
}

cell* reverse(cell* value, cell*, cell*) {
  uint32_t x = value->data1;
  value->data1 = value->data3;
  value->data3 = x;
  return value;
}

// The coordinate named by a field word or an index; anything else is 0.
int32_t field_of(const cell* element, const cell* value) {
  if (any_word_q(TYPE_OF(element))) return get_field_index(element, value);
  return TYPE_OF(element) == TYPE_INTEGER ? integer::get(element) : 0;
}

cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = field_of(index, value);
  if (n < 1 || n > DIMENSIONS) fire(err::script_out_of_range, {*index});
  return float_::push(coordinate(value, n - 1));
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  int32_t n = field_of(element, path);
  if (n < 1 || n > DIMENSIONS) fire(err::script_invalid_path, {*path, *element});
  if (!value) return float_::push(coordinate(parent, n - 1));
  if (!integer_or_float_q(TYPE_OF(value))) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(value))});
  set_coordinate(parent, n - 1, get_value_float(value));
  return value;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_POINT3D, 0, "point3D!",
    /* make .. set-path */     make, random, unsupported, make, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, absolute, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, negate, unsupported, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        round, math<integer::OP_SUBTRACT>, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, reverse, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::point3D
