// Infix arithmetic and comparison with the results of the full call: the
// cases actions::number_op computes are done inline with no frame and no
// allocation; anything else is the full call
// of the action in a native frame named by the operator's word, so that
// results, errors and traces are those of the action itself.
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::actions {

namespace {

[[noreturn]] void bad_code() {
  NO_SWITCH_MATCH();
}

// Opens a frame named by `word`, pushes the operands, runs the dispatcher
// and closes the frame: the result is left as the last pushed cell.
template <class Run>
cell* full_call(const cell* word, const cell* left, const cell* right, Run run) {
  cell* result = stack::top;
  stack::mark(word, stack::FRAME_NATIVE);
  stack::push(*left);
  stack::push(*right);
  run();
  stack::unwind();
  return result;
}

}  // namespace

cell* math_op_fast(const cell* word, const cell* left, const cell* right, int32_t op) {
  int32_t action;
  switch (op) {
    case integer::OP_ADD: action = ACT_ADD; break;
    case integer::OP_SUBTRACT: action = ACT_SUBTRACT; break;
    case integer::OP_MULTIPLY: action = ACT_MULTIPLY; break;
    case integer::OP_DIVIDE: action = ACT_DIVIDE; break;
    case integer::OP_REMAINDER: action = ACT_REMAINDER; break;
    case integer::OP_OR: action = ACT_OR_T; break;
    case integer::OP_AND: action = ACT_AND_T; break;
    case integer::OP_XOR: action = ACT_XOR_T; break;
    default: bad_code();
  }
  cell result;
  if (number_op(op, true, left, right, &result)) return stack::push(result);
  const int32_t no_refinements[1] = {-1};
  return full_call(word, left, right, [&] { dispatchers[action](no_refinements); });
}

cell* compare_op_fast(const cell* word, const cell* left, const cell* right, int32_t op) {
  if (op < COMP_EQUAL || op > COMP_GREATER_EQUAL) bad_code();
  cell result;
  if (number_op(op, false, left, right, &result)) return stack::push(result);
  return full_call(word, left, right, [&] { compare_args(op); });
}

}  // namespace ixo::actions
