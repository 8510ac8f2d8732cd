// Action lookup and the compare dispatcher.
#include "runtime/interpreter/actions.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/runtime_error.hpp"

namespace ixo::actions {

action_dispatcher dispatchers[ACTION_COUNT + 1] = {};

namespace {

// The word of the innermost call and the first argument word of its
// function's spec (none when the word holds no function), for the error of
// an unsupported action.
void call_and_argument(cell* call, cell* argument) {
  stack::find_call_frame(call);
  *argument = cell{TYPE_NONE, 0, 0, 0};
  if (TYPE_OF(call) != TYPE_WORD || call->data1 == 0) return;
  const cell* value = context::get_in(static_cast<int32_t>(call->data2), call->data1);
  if (!value) return;
  uint32_t t = TYPE_OF(value);
  if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION && t != TYPE_ROUTINE) return;
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  for (int32_t i = 0; i < series::rs_abs_length_q(&spec); ++i) {
    const cell* c = block::rs_abs_at(&spec, i);
    if (TYPE_OF(c) == TYPE_WORD || TYPE_OF(c) == TYPE_LIT_WORD || TYPE_OF(c) == TYPE_GET_WORD) {
      *argument = *c;
      argument->header = TYPE_WORD;
      return;
    }
  }
}

}  // namespace

action_entry get_action(uint32_t type, int32_t index) {
  action_entry e = datatype::entry_of(type, index);
  if (!e) {
    cell call{}, argument{};
    memory::root_guard keep_call(&call), keep_argument(&argument);
    if (stack::bottom) call_and_argument(&call, &argument);
    else call = argument = cell{TYPE_NONE, 0, 0, 0};
    fire(err::script_expect_arg, {call, cell{TYPE_DATATYPE, type, 0, 0}, argument});
  }
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
