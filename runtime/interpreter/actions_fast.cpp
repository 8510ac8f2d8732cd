// The shortcuts the evaluator takes for infix arithmetic and comparison:
// two integers (and, for add, subtract and multiply, two floats) are done
// inline with no frame and no allocation; anything else is the full call
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
    case integer::OP_OR: action = ACT_OR_T; break;
    case integer::OP_AND: action = ACT_AND_T; break;
    case integer::OP_XOR: action = ACT_XOR_T; break;
    default: bad_code();
  }
  uint32_t lt = TYPE_OF(left), rt = TYPE_OF(right);
  // The result is made from the left operand, as the action changes its
  // first argument in place: its flag bits (the new-line marker) stay.
  if (lt == TYPE_INTEGER && rt == TYPE_INTEGER) {
    // The integer core: an overflowing add, subtract or multiply answers
    // the float of the operation instead.
    int32_t x = integer::get(left), y = integer::get(right);
    cell* result = stack::push(*left);
    integer::do_math_op(x, y, op, result);
    return result;
  }
  if (lt == TYPE_FLOAT && rt == TYPE_FLOAT && op <= integer::OP_MULTIPLY) {
    double x = get_float(left), y = get_float(right);
    cell* result = stack::push(*left);
    set_float(result, op == integer::OP_ADD ? x + y : op == integer::OP_SUBTRACT ? x - y : x * y);
    return result;
  }
  const int32_t no_refinements[1] = {-1};
  return full_call(word, left, right, [&] { dispatchers[action](no_refinements); });
}

cell* compare_op_fast(const cell* word, const cell* left, const cell* right, int32_t op) {
  if (TYPE_OF(left) == TYPE_INTEGER && TYPE_OF(right) == TYPE_INTEGER) {
    int32_t a = integer::get(left), b = integer::get(right);
    bool answer;
    switch (op) {
      case COMP_EQUAL:
      case COMP_STRICT_EQUAL: answer = a == b; break;
      case COMP_NOT_EQUAL: answer = a != b; break;
      case COMP_LESSER: answer = a < b; break;
      case COMP_LESSER_EQUAL: answer = a <= b; break;
      case COMP_GREATER: answer = a > b; break;
      case COMP_GREATER_EQUAL: answer = a >= b; break;
      default: bad_code();
    }
    return stack::push(logic::make_cell(answer));
  }
  return full_call(word, left, right, [&] { compare_args(op); });
}

}  // namespace ixo::actions
