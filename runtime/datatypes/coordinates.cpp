// The coordinate code of pair!, point2D! and point3D!: field words, make
// spec blocks, and the actions of the points written once over their
// dimension count, instantiated for 2 and 3.
#include "runtime/datatypes/coordinates.hpp"

#include <cmath>

#include "runtime/core/hash.hpp"
#include "runtime/core/random.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::coordinates {

int32_t field_index(const cell* word, const cell* value, uint32_t type, int32_t dimensions) {
  if (symbol::EQUAL_WORDS_q(word, words::sym_x)) return 1;
  if (symbol::EQUAL_WORDS_q(word, words::sym_y)) return 2;
  if (dimensions == 3 && symbol::EQUAL_WORDS_q(word, words::sym_z)) return 3;
  if (TYPE_OF(value) == type) fire(err::script_cannot_use, {*word, *value});
  fire(err::script_invalid_path, {*value, *word});
}

int32_t field_of(const cell* element, const cell* value, uint32_t type, int32_t dimensions) {
  if (any_word_q(TYPE_OF(element))) return field_index(element, value, type, dimensions);
  return TYPE_OF(element) == TYPE_INTEGER ? integer::get(element) : 0;
}

const cell* spec_values(const cell* spec, int32_t dimensions) {
  int32_t count;
  const cell* values = block::values_of(spec, count);
  if (count < dimensions) fire(err::syntax_malconstruct, {*spec});
  for (int32_t i = 0; i < dimensions; ++i) {
    if (!integer_or_float_q(TYPE_OF(&values[i]))) fire(err::syntax_malconstruct, {*spec});
  }
  return values;
}

cell* make_from_other(cell* proto, cell* spec, uint32_t type) {
  if (TYPE_OF(spec) == TYPE_STRING) return conversions::load_from_string_as(spec, type, proto);
  fire(err::script_bad_to_arg, {datatype::make_cell(type), *spec});
}

bool round_scale_given(const cell* scale) {
  bool to = scale > stack::arguments;
  if (to && TYPE_OF(scale) == TYPE_MONEY) {
    fire(err::script_not_related, {error_word("round"), datatype::make_cell(TYPE_MONEY)});
  }
  return to;
}

}  // namespace ixo::coordinates

namespace ixo::point {

using point2D::coordinate;
using point2D::set_coordinate;

namespace {

template <int32_t D>
constexpr uint32_t type_of_point = D == 2 ? TYPE_POINT2D : TYPE_POINT3D;

// A point of its first D coordinates.
template <int32_t D>
cell point_cell(const float* xyz) {
  cell c{type_of_point<D>, 0, 0, 0};
  for (int32_t i = 0; i < D; ++i) set_coordinate(&c, i, xyz[i]);
  return c;
}

}  // namespace

float number_float(const cell* c) {
  return TYPE_OF(c) == TYPE_INTEGER ? static_cast<float>(integer::get(c)) : static_cast<float>(get_float(c));
}

template <int32_t D>
cell* make(cell* proto, cell* spec, int32_t) {
  constexpr uint32_t TYPE = type_of_point<D>;
  float xyz[3] = {0.0f, 0.0f, 0.0f};
  uint32_t t = TYPE_OF(spec);
  if (t == TYPE) return spec;
  switch (t) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      for (int32_t i = 0; i < D; ++i) xyz[i] = number_float(spec);
      break;
    case TYPE_BLOCK: {
      const cell* values = coordinates::spec_values(spec, D);
      for (int32_t i = 0; i < D; ++i) xyz[i] = number_float(&values[i]);
      break;
    }
    case TYPE_PAIR:
      xyz[0] = static_cast<float>(pair::x_of(spec));
      xyz[1] = static_cast<float>(pair::y_of(spec));
      break;
    case TYPE_POINT2D:  // reached for point3D! only
      xyz[0] = coordinate(spec, 0);
      xyz[1] = coordinate(spec, 1);
      break;
    default:
      return coordinates::make_from_other(proto, spec, TYPE);
  }
  *proto = point_cell<D>(xyz);
  return proto;
}

template <int32_t D>
cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(value) + 4;
    random::seed(static_cast<int32_t>(hash::murmur3_x86_32(bytes, 4 * D, hash::seed)));
    return &unset::unset_value;
  }
  for (int32_t i = 0; i < D; ++i) {
    float c = coordinate(value, i);
    if (c != 0.0f) set_coordinate(value, i, static_cast<float>(float_::random(c, secure != 0)));
  }
  return value;
}

template <int32_t D>
int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  part = datatype::append_text(buffer, "(", part);
  for (int32_t i = 0; i < D; ++i) {
    if (i > 0) part = datatype::append_text(buffer, ", ", part);
    part = datatype::append_text(buffer, float_::form_float(coordinate(value, i), float_::FORM_COORDINATE), part);
  }
  return datatype::append_text(buffer, ")", part);
}

template <int32_t D>
int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form<D>(value, buffer, arg, part);
}

template <int32_t D>
int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  cell other = *value2;
  if (D == 2 && TYPE_OF(&other) == TYPE_PAIR) {
    other = point2D::make_cell(static_cast<float>(pair::x_of(value2)), static_cast<float>(pair::y_of(value2)));
  } else if (TYPE_OF(&other) != type_of_point<D>) {
    return COMPARE_NONE;
  }
  switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
      for (int32_t i = 0; i < D; ++i) {
        if (!float_::almost_equal32_q(coordinate(value1, i), coordinate(&other, i))) return 1;
      }
      return 0;
    case COMP_STRICT_EQUAL:
      for (int32_t i = 0; i < D; ++i) {
        if (coordinate(value1, i) != coordinate(&other, i)) return 1;
      }
      return 0;
    case COMP_SAME:
      return value1->data1 == other.data1 && value1->data2 == other.data2 && (D == 2 || value1->data3 == other.data3)
                 ? 0
                 : 1;
    default: {
      double d = 0.0;
      for (int32_t i = 0; i < D; ++i) {
        d = static_cast<double>(coordinate(value1, i)) - coordinate(&other, i);
        if (!float_::almost_equal_q(d, 0.0)) break;
      }
      return d < 0.0 ? -1 : d > 0.0 ? 1 : 0;
    }
  }
}

template <int32_t D>
void absolute() {
  cell* value = stack::arguments;
  for (int32_t i = 0; i < D; ++i) set_coordinate(value, i, std::fabs(coordinate(value, i)));
}

template <int32_t D>
cell* negate(cell* value) {
  for (int32_t i = 0; i < D; ++i) set_coordinate(value, i, 0.0f - coordinate(value, i));
  return value;
}

template <int32_t D>
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  bool to = coordinates::round_scale_given(scale);
  cell given = to ? *scale : cell{};
  float rounded[D];
  for (int32_t i = 0; i < D; ++i) {
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
    rounded[i] = number_float(float_::round(&c, scale, even, down, half_down, floor, ceiling, half_ceiling));
  }
  for (int32_t i = 0; i < D; ++i) set_coordinate(value, i, rounded[i]);
  return value;
}

template <int32_t D>
cell* reverse(cell* value, cell*, cell*) {
  uint32_t* first = &value->data1;
  uint32_t* last = D == 2 ? &value->data2 : &value->data3;
  uint32_t x = *first;
  *first = *last;
  *last = x;
  return value;
}

template <int32_t D>
cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = coordinates::field_of(index, value, type_of_point<D>, D);
  if (n < 1 || n > D) fire(err::script_out_of_range, {*index});
  return float_::push(coordinate(value, n - 1));
}

template <int32_t D>
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t, int32_t,
                int32_t, int32_t) {
  int32_t n = coordinates::field_of(element, path, type_of_point<D>, D);
  if (n < 1 || n > D) fire(err::script_invalid_path, {*path, *element});
  if (!value) return float_::push(coordinate(parent, n - 1));
  if (!integer_or_float_q(TYPE_OF(value))) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(value))});
  set_coordinate(parent, n - 1, number_float(value));
  return value;
}

template <int32_t D>
void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  double operand[D];
  uint32_t t = TYPE_OF(right);
  if (t == type_of_point<D>) {
    for (int32_t i = 0; i < D; ++i) operand[i] = coordinate(right, i);
  } else if (D == 2 && t == TYPE_PAIR) {
    operand[0] = pair::x_of(right);
    operand[1] = pair::y_of(right);
  } else if (t == TYPE_INTEGER) {
    for (int32_t i = 0; i < D; ++i) operand[i] = integer::get(right);
  } else if (t == TYPE_FLOAT || t == TYPE_PERCENT) {
    for (int32_t i = 0; i < D; ++i) operand[i] = static_cast<float>(get_float(right));
  } else {
    fire(err::script_invalid_type, {datatype::make_cell(t)});
  }
  float result[D];
  for (int32_t i = 0; i < D; ++i) {
    result[i] = static_cast<float>(float_::do_math_op(op, coordinate(left, i), operand[i]));
  }
  for (int32_t i = 0; i < D; ++i) set_coordinate(left, i, result[i]);
}

#define INSTANTIATE(D)                                                                                   \
  template cell* make<D>(cell*, cell*, int32_t);                                                         \
  template cell* random<D>(cell*, int32_t, int32_t, int32_t);                                            \
  template int32_t form<D>(cell*, cell*, cell*, int32_t);                                                \
  template int32_t mold<D>(cell*, cell*, int32_t, int32_t, int32_t, cell*, int32_t, int32_t);            \
  template int32_t compare<D>(const cell*, const cell*, int32_t);                                        \
  template void absolute<D>();                                                                           \
  template cell* negate<D>(cell*);                                                                       \
  template cell* round<D>(cell*, cell*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);           \
  template cell* reverse<D>(cell*, cell*, cell*);                                                        \
  template cell* pick<D>(cell*, int32_t, cell*);                                                         \
  template cell* eval_path<D>(cell*, cell*, cell*, cell*, cell*, cell*, int32_t, int32_t, int32_t, int32_t, \
                              int32_t);                                                                  \
  template void do_math<D>(int32_t);
INSTANTIATE(2)
INSTANTIATE(3)
#undef INSTANTIATE

}  // namespace ixo::point
