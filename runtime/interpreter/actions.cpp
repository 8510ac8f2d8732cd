// Action lookup and the compare dispatcher.
#include "runtime/interpreter/actions.hpp"

#include "runtime/interpreter/fire.hpp"
#include "startup/runtime_error.hpp"

namespace ixo::actions {

action_dispatcher dispatchers[ACTION_COUNT + 1] = {};

action_entry get_action(uint32_t type, int32_t index) {
  action_entry e = datatype::entry_of(type, index);
  if (!e) fire(err::script_expect_arg, {cell{TYPE_DATATYPE, type, 0, 0}});
  return e;
}

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  return reinterpret_cast<form_fn>(get_action(TYPE_OF(value), ACT_FORM))(value, buffer, arg, part);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg,
             int32_t part, int32_t indent) {
  auto f = reinterpret_cast<mold_fn>(get_action(TYPE_OF(value), ACT_MOLD));
  return f(value, buffer, only, all, flat, arg, part, indent);
}

int32_t compare_raw(const cell* value1, const cell* value2, int32_t op) {
  auto f = reinterpret_cast<compare_fn>(get_action(TYPE_OF(value1), ACT_COMPARE));
  return f(value1, value2, op);
}

bool compare(const cell* value1, const cell* value2, int32_t op) {
  int32_t answer = compare_raw(value1, value2, op);
  switch (op) {
    case COMP_EQUAL:
    case COMP_STRICT_EQUAL:
    case COMP_SAME:
    case COMP_EQUAL_10:
    case COMP_EQUAL_11:
    case COMP_FIND:
      return answer == 0;
    case COMP_NOT_EQUAL:
      return answer != 0;
    default:
      break;
  }
  if (answer == COMPARE_NONE) fire(err::script_invalid_compare, {*value1, *value2});
  switch (op) {
    case COMP_LESSER: return answer < 0;
    case COMP_LESSER_EQUAL: return answer <= 0;
    case COMP_GREATER: return answer > 0;
    case COMP_GREATER_EQUAL: return answer >= 0;
    default:
      system::runtime_error(101, system::code_address(__builtin_return_address(0)));
  }
}

}  // namespace ixo::actions
