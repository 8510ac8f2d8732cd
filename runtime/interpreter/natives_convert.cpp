// The conversion natives. The coding loops belong to the datatypes
// (url!, binary! and the base codecs, case folding, file!, object!); the
// natives read their arguments and refinements and check what the
// datatypes leave to them.
#include "runtime/interpreter/natives_convert.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/posix/bindings.hpp"
#include "runtime/core/case_folding.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/currency.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/url.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/heap.hpp"

namespace ixo::natives {

namespace {

int32_t base_of(const int32_t* refinements) {
  return refinements[0] >= 0 ? integer::get(stack::arguments + refinements[0]) : 64;
}

// An integer, or a float truncated toward zero; NaN and the infinities are
// refused, and so is a float whose whole part does not fit 32 bits.
int32_t pair_coordinate(const cell* c) {
  if (TYPE_OF(c) == TYPE_INTEGER) return integer::get(c);
  double d = get_float(c);
  if (!std::isfinite(d)) fire(err::script_invalid_arg, {*c});
  double whole = std::trunc(d);
  if (integer::overflow_q(whole)) fire(err::script_out_of_range, {*c});
  return static_cast<int32_t>(whole);
}

// A number as a point coordinate; a double beyond the float32 range
// becomes the infinity of its sign.
float point_coordinate(const cell* c) {
  if (TYPE_OF(c) == TYPE_INTEGER) return static_cast<float>(integer::get(c));
  double d = get_float(c);
  if (d > FLT_MAX) return INFINITY;
  if (d < -FLT_MAX) return -INFINITY;
  return static_cast<float>(d);
}

// The two classes within which `as` may retype a series.
int32_t series_class(uint32_t type) {
  switch (type) {
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_BLOCK:
    case TYPE_PAREN:
      return 1;
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

void dehex(const int32_t*) { url::dehex(stack::arguments, stack::arguments); }
void enhex(const int32_t*) { url::enhex(stack::arguments, stack::arguments); }

void debase(const int32_t* refinements) {
  binary::debase(stack::arguments, base_of(refinements), stack::arguments);
}

void enbase(const int32_t* refinements) {
  binary::enbase(stack::arguments, base_of(refinements), stack::arguments);
}

void to_hex(const int32_t* refinements) {
  int32_t value = integer::get(stack::arguments);
  int32_t digits = 8;
  if (refinements[0] >= 0) {
    const cell* length = stack::arguments + refinements[0];
    if (integer::get(length) < 1) fire(err::script_invalid_arg, {*length});
    digits = std::min(integer::get(length), 8);
  }
  char text[9];
  std::memcpy(text, string::to_hex(value, false), 8);
  text[8] = '\0';
  issue::make_at(stack::arguments, text + 8 - digits);
}

void as_pair(const int32_t*) {
  int32_t x = pair_coordinate(stack::arguments);
  int32_t y = pair_coordinate(stack::arguments + 1);
  stack::set_last(pair::make_cell(x, y));
}

void as_point2D(const int32_t*) {
  cell* a = stack::arguments;
  stack::set_last(point2D::make_cell(point_coordinate(a), point_coordinate(a + 1)));
}

void as_point3D(const int32_t*) {
  cell* a = stack::arguments;
  stack::set_last(point3D::make_cell(point_coordinate(a), point_coordinate(a + 1), point_coordinate(a + 2)));
}

void as_money(const int32_t*) {
  const cell* currency = stack::arguments;
  const cell* amount = currency + 1;
  int32_t index = currency::get_index(currency);
  if (index < 0) fire(err::script_bad_denom, {*currency});
  cell m = TYPE_OF(amount) == TYPE_INTEGER ? money::from_integer(integer::get(amount))
                                           : money::from_float(get_float(amount), false);
  money::set_currency(&m, index);
  stack::set_last(m);
}

void as(const int32_t*) {
  const cell* type_arg = stack::arguments;
  const cell* spec = type_arg + 1;
  uint32_t target = TYPE_OF(type_arg) == TYPE_DATATYPE ? type_arg->data1 : TYPE_OF(type_arg);
  uint32_t from = TYPE_OF(spec);
  int32_t target_class = series_class(target);
  if (target_class == 0 || target_class != series_class(from))
    fire(err::script_not_same_class, {datatype::make_cell(from), datatype::make_cell(target)});
  cell result = *spec;
  set_type(&result, target);
  stack::set_last(result);
}

void uppercase(const int32_t* refinements) { case_folding::change(stack::arguments, refinements[0], 1); }
void lowercase(const int32_t* refinements) { case_folding::change(stack::arguments, refinements[0], 0); }

void new_line(const int32_t* refinements) {
  cell* position = stack::arguments;
  bool on = logic::get(position + 1) != 0;
  int32_t step = 0;
  if (refinements[1] >= 0) {
    const cell* size = stack::arguments + refinements[1];
    if (integer::get(size) < 1) fire(err::script_out_of_range, {*size});
    step = integer::get(size);
  } else if (refinements[0] >= 0) {
    step = 1;
  }
  memory::series_buffer* b = memory::GET_BUFFER(position);
  cell* first = memory::head_of<cell>(b) + position->data1;
  cell* tail = memory::tail_of<cell>(b);
  auto mark = [](cell* c, bool set) {
    if (set) c->header |= NEWLINE_FLAG;
    else c->header &= ~NEWLINE_FLAG;
  };
  if (step == 0) {
    if (first < tail) mark(first, on);
  } else {
    int64_t count = 0;
    for (cell* c = first; c < tail; ++c, ++count) mark(c, (step == 1 || count % step == 0) == on);
  }
}

void new_line_q(const int32_t*) {
  const cell* position = stack::arguments;
  memory::series_buffer* b = memory::GET_BUFFER(position);
  const cell* at = memory::head_of<cell>(b) + position->data1;
  logic::box(at < memory::tail_of<cell>(b) && (at->header & NEWLINE_FLAG) != 0);
}

void construct(const int32_t* refinements) {
  cell* proto = refinements[0] >= 0 ? stack::arguments + refinements[0] : nullptr;
  object::construct(stack::arguments, proto, refinements[1] >= 0, stack::arguments);
}

}  // namespace ixo::natives
