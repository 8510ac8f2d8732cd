// pair!: constructors, the arithmetic with its fall-back to point2D!,
// construction, text form, ordering, rounding and field access.
#include "runtime/datatypes/pair.hpp"

#include <cmath>

#include "runtime/core/random.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/coordinates.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::pair {

cell* make_at(cell* c, int32_t x, int32_t y) {
  set_type(c, TYPE_PAIR);
  c->data1 = 0;
  c->data2 = static_cast<uint32_t>(x);
  c->data3 = static_cast<uint32_t>(y);
  return c;
}

cell* make_in(cell* block, int32_t x, int32_t y) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(x, y);
  return c;
}

cell* push(int32_t x, int32_t y) { return stack::push(make_cell(x, y)); }

namespace {

// d truncated toward zero; one that does not fit 32 bits raises
// script/out-of-range with the value it came from.
int32_t truncate(double d, const cell* value) {
  double whole = std::trunc(d);
  if (integer::overflow_q(whole)) fire(err::script_out_of_range, {*value});
  return static_cast<int32_t>(whole);
}

}  // namespace

int32_t get_value_int(const cell* c) {
  return TYPE_OF(c) == TYPE_INTEGER ? integer::get(c) : truncate(get_float(c), c);
}

void as_point2D(int32_t index) {
  cell* c = stack::arguments + index;
  point2D::make_at(c, static_cast<float>(x_of(c)), static_cast<float>(y_of(c)));
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  int32_t x2, y2;
  switch (TYPE_OF(right)) {
    case TYPE_PAIR:
      x2 = x_of(right);
      y2 = y_of(right);
      break;
    case TYPE_INTEGER:
      x2 = y2 = integer::get(right);
      break;
    case TYPE_POINT2D:
      as_point2D(0);
      point::do_math<2>(op);
      return;
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double f = get_float(right);
      if (op == integer::OP_MULTIPLY || op == integer::OP_DIVIDE) {
        // Scaled by a float, the pair leaves the integers even when the
        // products are whole; dividing by 0.0 gives infinities.
        if (op == integer::OP_MULTIPLY ? !std::isfinite(f) : std::isnan(f)) {
          fire(err::script_invalid_arg, {*right});
        }
        double x = x_of(left), y = y_of(left);
        double rx = op == integer::OP_MULTIPLY ? x * f : x / f;
        double ry = op == integer::OP_MULTIPLY ? y * f : y / f;
        point2D::make_at(left, static_cast<float>(rx), static_cast<float>(ry));
        return;
      }
      if (!std::isfinite(f)) fire(err::script_invalid_arg, {*right});
      x2 = y2 = get_value_int(right);
      break;
    }
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(right))});
  }
  // Coordinate by coordinate; a result that is no integer (the scratch cell
  // turned float) redoes the whole operation in point2D!.
  int32_t x1 = x_of(left), y1 = y_of(left);
  cell scratch = integer::make_cell(0);
  int32_t x = integer::do_math_op(x1, x2, op, &scratch);
  if (TYPE_OF(&scratch) == TYPE_INTEGER) {
    int32_t y = integer::do_math_op(y1, y2, op, &scratch);
    if (TYPE_OF(&scratch) == TYPE_INTEGER) {
      left->data2 = static_cast<uint32_t>(x);
      left->data3 = static_cast<uint32_t>(y);
      return;
    }
  }
  point2D::make_at(right, static_cast<float>(x2), static_cast<float>(y2));
  point2D::make_at(left, static_cast<float>(x1), static_cast<float>(y1));
  point::do_math<2>(op);
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}


// make and to.
cell* make(cell* proto, cell* spec, int32_t) {
  int32_t x, y;
  switch (TYPE_OF(spec)) {
    case TYPE_PAIR:
      return spec;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      x = y = get_value_int(spec);
      break;
    case TYPE_BLOCK: {
      const cell* values = coordinates::spec_values(spec, 2);
      x = get_value_int(&values[0]);
      y = get_value_int(&values[1]);
      break;
    }
    case TYPE_POINT2D: {
      float px = point2D::coordinate(spec, 0), py = point2D::coordinate(spec, 1);
      if (!std::isfinite(px) || !std::isfinite(py)) fire(err::script_invalid_arg, {*spec});
      x = truncate(px, spec);
      y = truncate(py, spec);
      break;
    }
    default:
      return coordinates::make_from_other(proto, spec, TYPE_PAIR);
  }
  *proto = make_cell(x, y);
  return proto;
}

cell* random(cell* value, int32_t seed, int32_t secure, int32_t) {
  if (seed) {
    random::seed(x_of(value) ^ y_of(value));
    return &unset::unset_value;
  }
  if (x_of(value) != 0) value->data2 = static_cast<uint32_t>(random::int_in_range(secure != 0, x_of(value)));
  if (y_of(value) != 0) value->data3 = static_cast<uint32_t>(random::int_in_range(secure != 0, y_of(value)));
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  part = datatype::append_text(buffer, integer::form_signed(x_of(value)), part);
  part = datatype::append_text(buffer, "x", part);
  return datatype::append_text(buffer, integer::form_signed(y_of(value)), part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

// Ordered by x, then y; every equality code is plain equality.
int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) == TYPE_POINT2D) {
    cell as_point = point2D::make_cell(static_cast<float>(x_of(value1)), static_cast<float>(y_of(value1)));
    return actions::compare_raw(&as_point, value2, op);
  }
  if (TYPE_OF(value2) != TYPE_PAIR) return COMPARE_NONE;
  int32_t a = x_of(value1), b = x_of(value2);
  if (a == b) {
    a = y_of(value1);
    b = y_of(value2);
  }
  return a < b ? -1 : a > b ? 1 : 0;
}

void absolute() {
  cell* value = stack::arguments;
  int32_t x = integer::abs(x_of(value)), y = integer::abs(y_of(value));
  value->data2 = static_cast<uint32_t>(x);
  value->data3 = static_cast<uint32_t>(y);
}

cell* negate(cell* value) {
  if (x_of(value) == INT32_MIN || y_of(value) == INT32_MIN) fire(err::math_overflow);
  value->data2 = static_cast<uint32_t>(-x_of(value));
  value->data3 = static_cast<uint32_t>(-y_of(value));
  return value;
}

// Each coordinate rounded as an integer; a pair scale gives one scale per
// coordinate, passed in the scale's own argument cell.
cell* round(cell* value, cell* scale, int32_t even, int32_t down, int32_t half_down, int32_t floor,
            int32_t ceiling, int32_t half_ceiling) {
  bool to = coordinates::round_scale_given(scale);
  cell given = to ? *scale : cell{};
  int32_t rounded[2];
  for (int32_t i = 0; i < 2; ++i) {
    if (to && TYPE_OF(&given) == TYPE_PAIR) integer::make_at(scale, i == 0 ? x_of(&given) : y_of(&given));
    cell coordinate = integer::make_cell(i == 0 ? x_of(value) : y_of(value));
    rounded[i] = get_value_int(integer::round(&coordinate, scale, even, down, half_down, floor, ceiling, half_ceiling));
  }
  value->data2 = static_cast<uint32_t>(rounded[0]);
  value->data3 = static_cast<uint32_t>(rounded[1]);
  return value;
}

cell* reverse(cell* value, cell*, cell*) {
  uint32_t x = value->data2;
  value->data2 = value->data3;
  value->data3 = x;
  return value;
}

cell* pick(cell* value, int32_t, cell* index) {
  int32_t n = coordinates::field_of(index, value, TYPE_PAIR, 2);
  if (n != 1 && n != 2) fire(err::script_out_of_range, {*index});
  return integer::push(n == 1 ? x_of(value) : y_of(value));
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, int32_t,
                int32_t, int32_t, int32_t) {
  int32_t n = coordinates::field_of(element, path, TYPE_PAIR, 2);
  if (n != 1 && n != 2) fire(err::script_invalid_path, {*path, *element});
  if (!value) return integer::push(n == 1 ? x_of(parent) : y_of(parent));
  if (TYPE_OF(value) != TYPE_INTEGER) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(value))});
  if (n == 1) parent->data2 = value->data2;
  else parent->data3 = value->data2;
  return value;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_PAIR, 0, "pair!",
    /* make .. set-path */     make, random, unsupported, make, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, absolute, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, negate, unsupported, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        round, math<integer::OP_SUBTRACT>, unsupported, unsupported, math<integer::OP_AND>, unsupported, math<integer::OP_OR>, math<integer::OP_XOR>,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, pick, unsupported,
    /* put .. tail */          unsupported, unsupported, reverse, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::pair
