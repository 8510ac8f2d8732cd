// One worker for the five set natives: it checks that the two sets agree
// in type, then hands them to the worker of set1's datatype with the
// operation code (8 unique, 9 union, 10 intersect, 11 exclude, 12
// difference), which leaves the result in the result slot.
#include "runtime/interpreter/natives_sets.hpp"

#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/string_sort.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::natives {

namespace {

bool block_or_hash_q(uint32_t type) { return type == TYPE_BLOCK || type == TYPE_HASH; }

// `name` is the native's word for the errors; `case_` and `skip` are its
// refinement integers.
void set_operation(const char* name, int32_t case_, int32_t skip, int32_t op) {
  cell* set1 = stack::arguments;
  uint32_t type = TYPE_OF(set1);
  if (op != string::SET_UNIQUE) {
    uint32_t other = TYPE_OF(set1 + 1);
    if (block_or_hash_q(type) ? !block_or_hash_q(other) : other != type)
      fire(err::script_expect_val, {datatype::make_cell(type), datatype::make_cell(other)});
  }
  cell* skip_arg = skip >= 0 ? stack::arguments + skip : nullptr;
  switch (type) {
    case TYPE_BLOCK:
    case TYPE_HASH:
      block::do_set_op(case_ >= 0, skip_arg, op);
      return;
    case TYPE_STRING:
      string::do_set_op(case_ >= 0, skip_arg, op);
      return;
    case TYPE_BITSET:
      bitset::do_bitwise(op);
      return;
    case TYPE_TYPESET:
      typeset::do_bitwise(op);
      return;
    case TYPE_DATE:
      if (op == string::SET_DIFFERENCE) {
        date::difference(set1, set1 + 1);
        return;
      }
      break;
    default:
      break;
  }
  cell function = error_word(name);
  cell argument = error_word(op == string::SET_UNIQUE ? "set" : "set1");
  fire(err::script_expect_arg, {function, datatype::make_cell(type), argument});
}

}  // namespace

void union_(const int32_t* r) { set_operation("union", r[0], r[1], string::SET_UNION); }
void intersect(const int32_t* r) { set_operation("intersect", r[0], r[1], string::SET_INTERSECT); }
void unique(const int32_t* r) { set_operation("unique", r[0], r[1], string::SET_UNIQUE); }
void difference(const int32_t* r) { set_operation("difference", r[0], r[1], string::SET_DIFFERENCE); }
void exclude(const int32_t* r) { set_operation("exclude", r[0], r[1], string::SET_EXCLUDE); }

void complement_q(const int32_t*) {
  const cell* bits = stack::arguments;
  if (TYPE_OF(bits) != TYPE_BITSET) {
    cell function = error_word("complement?");
    cell argument = error_word("bits");
    fire(err::script_expect_arg, {function, datatype::make_cell(TYPE_OF(bits)), argument});
  }
  logic::box((memory::GET_BUFFER(bits)->flags & bitset::COMPLEMENTED) != 0);
}

}  // namespace ixo::natives
