// The call of a sort's comparison function and the reading of its answer.
#include "runtime/core/sort_compare.hpp"

#include "runtime/interpreter/stack.hpp"

namespace ixo::sort {

void (*call_function)(const cell* function) = nullptr;

namespace {

int32_t order_of(const cell* result) {
  switch (TYPE_OF(result)) {
    case TYPE_LOGIC: return result->data1 ? 1 : -1;
    case TYPE_INTEGER: return static_cast<int32_t>(result->data2);
    case TYPE_FLOAT: {
      double d = get_float(result);
      return d > 0 ? 1 : d < 0 ? -1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
  }
}

}  // namespace

// The stack's top goes back only on a normal return: an error leaves the
// stacks as the raiser set them, for the catching site to read and reset.
int32_t call_compare(const cell* function, const cell& first, const cell& second) {
  cell* top = stack::top;
  stack::push(first);
  stack::push(second);
  call_function(function);
  int32_t order = order_of(stack::top_cell());
  stack::top = top;
  return order;
}

}  // namespace ixo::sort
