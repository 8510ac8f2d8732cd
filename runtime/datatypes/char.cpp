// char!: constructors, the arithmetic entry, make/to, form, mold and
// compare. random, absolute, even? and odd? come from integer!, which
// works on the same payload and leaves the type alone.
#include "runtime/datatypes/char.hpp"

#include <cmath>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::char_ {

cell* push(uint32_t cp) { return stack::push(make_cell(cp)); }

cell* make_in(cell* block, uint32_t cp) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(cp);
  return c;
}

void do_math(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  int32_t operand;
  switch (TYPE_OF(right)) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
      operand = integer::get(right);
      break;
    case TYPE_FLOAT: {
      double whole = std::trunc(get_float(right));
      if (integer::overflow_q(whole)) fire(err::math_overflow);
      operand = static_cast<int32_t>(whole);
      break;
    }
    case TYPE_VECTOR:  // the vector, changed in place, with the number as its operand
      *left = *vector::do_math_scalar(op, right, left);
      return;
    default:
      fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(right))});
  }
  // An overflow into a float shows as a change of the scratch cell's type;
  // divide truncates.
  cell scratch{TYPE_UNSET, 0, 0, 0};
  int32_t result = integer::do_math_op(integer::get(left), operand, op,
                                       op == integer::OP_DIVIDE ? nullptr : &scratch);
  if (TYPE_OF(&scratch) != TYPE_UNSET || result < 0 || result > static_cast<int32_t>(MAX_CODE_POINT)) {
    fire(err::math_overflow);
  }
  left->data2 = static_cast<uint32_t>(result);
}

namespace {

template <int32_t OP>
void math() {
  do_math(OP);
}

cell* to(cell* proto, cell* spec, int32_t) {
  uint32_t type = TYPE_OF(spec);
  int32_t cp;
  if (any_string_q(type)) {
    if (string::rs_length_q(spec) == 0) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_CHAR), *spec});
    cp = static_cast<int32_t>(string::rs_abs_at(spec, static_cast<int32_t>(spec->data1)));
  } else {
    switch (type) {
      case TYPE_CHAR:
      case TYPE_INTEGER:
        cp = integer::get(spec);
        if (cp < 0 || cp > static_cast<int32_t>(MAX_CODE_POINT)) fire(err::script_out_of_range, {*spec});
        break;
      case TYPE_FLOAT:
      case TYPE_PERCENT: {
        double whole = std::trunc(get_float(spec));
        if (!(whole >= 0.0 && whole <= MAX_CODE_POINT)) fire(err::script_out_of_range, {*spec});
        cp = static_cast<int32_t>(whole);
        break;
      }
      case TYPE_BINARY: {  // one UTF-8 sequence; a binary has the string layout, unit 1
        int32_t length = string::rs_length_q(spec);
        cp = unicode::decode_utf8_char(string::rs_head(spec), length);
        if (cp < 0) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_CHAR), *spec});
        break;
      }
      default:
        fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_CHAR), *spec});
    }
  }
  *proto = make_cell(static_cast<uint32_t>(cp));
  return proto;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  string::append_char(memory::GET_BUFFER(buffer), value->data2);
  return part - 1;
}

// #"c", the character escaped as inside a string.
int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  memory::series_buffer* b = string::concatenate_literal(memory::GET_BUFFER(buffer), "#\"");
  b = string::append_escaped_char(b, value->data2, true, all != 0);
  string::append_char(b, '"');
  return part - 4;
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t type = TYPE_OF(value2);
  if ((op == COMP_STRICT_EQUAL || op == COMP_FIND) && type != TYPE_CHAR) return 1;
  if (type != TYPE_CHAR && type != TYPE_INTEGER) return COMPARE_NONE;
  int32_t a = integer::get(value1), b = integer::get(value2);
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_CHAR, TYPE_INTEGER, "char!",
    /* make .. set-path */     to, inherit, unsupported, to, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, inherit, math<integer::OP_ADD>, math<integer::OP_DIVIDE>, math<integer::OP_MULTIPLY>, unsupported, unsupported, math<integer::OP_REMAINDER>,
    /* round .. xor~ */        unsupported, math<integer::OP_SUBTRACT>, inherit, inherit, math<integer::OP_AND>, unsupported, math<integer::OP_OR>, math<integer::OP_XOR>,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::char_
