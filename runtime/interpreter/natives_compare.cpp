// The comparison natives go through the compare action with their
// operator code; same? reads the payload words that make a value's
// identity; not and type? look at the value alone.
#include "runtime/interpreter/natives_compare.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::natives {

namespace {

void compare_arguments(int32_t op) {
  bool answer = actions::compare(stack::arguments, stack::arguments + 1, op);
  logic::box(answer);
}

}  // namespace

void equal_q(const int32_t*) { compare_arguments(COMP_EQUAL); }
void not_equal_q(const int32_t*) { compare_arguments(COMP_NOT_EQUAL); }
void strict_equal_q(const int32_t*) { compare_arguments(COMP_STRICT_EQUAL); }
void lesser_q(const int32_t*) { compare_arguments(COMP_LESSER); }
void greater_q(const int32_t*) { compare_arguments(COMP_GREATER); }
void lesser_or_equal_q(const int32_t*) { compare_arguments(COMP_LESSER_EQUAL); }
void greater_or_equal_q(const int32_t*) { compare_arguments(COMP_GREATER_EQUAL); }

bool same_value_q(const cell* a, const cell* b) {
  uint32_t type = TYPE_OF(a);
  if (type != TYPE_OF(b)) return false;
  switch (type) {
    case TYPE_DATATYPE:
    case TYPE_LOGIC:
    case TYPE_OBJECT:
      return a->data1 == b->data1;
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_BITSET:
      return a->data2 == b->data2;
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
    case TYPE_BINARY:
    case TYPE_VECTOR:
    case TYPE_IMAGE:
      return a->data1 == b->data1 && a->data2 == b->data2;
    // Bit for bit: 0.0 and -0.0 differ, an identical NaN is the same.
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_PAIR:
    case TYPE_TIME:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case TYPE_TUPLE:
      return tuple::length_of(a) == tuple::length_of(b) && actions::compare_raw(a, b, COMP_SAME) == 0;
    case TYPE_NONE:
    case TYPE_UNSET:
      return true;
    case TYPE_MONEY:
      return actions::compare_raw(a, b, COMP_SAME) == 0;
    case TYPE_ACTION:
    case TYPE_NATIVE:
    case TYPE_POINT2D:
      return a->data1 == b->data1 && a->data2 == b->data2;
    case TYPE_OP:
      return a->data2 == b->data2 && a->data3 == b->data3;
    default:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

void same_q(const int32_t*) { logic::box(same_value_q(stack::arguments, stack::arguments + 1)); }

void not_(const int32_t*) { logic::box(logic::false_q()); }

void type_q(const int32_t* refinements) {
  uint32_t type = TYPE_OF(stack::arguments);
  if (refinements[0] >= 0) {
    word::box(static_cast<int32_t>(datatype::type_name_table[type].word));
  } else {
    stack::set_last(datatype::make_cell(type));
  }
}

}  // namespace ixo::natives
