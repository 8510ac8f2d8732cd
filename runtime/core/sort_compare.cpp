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

// Puts the value stack's top back when it goes, also when the function
// raises an error.
struct stack_restore {
  cell* top = stack::top;
  ~stack_restore() { stack::top = top; }
};

}  // namespace

int32_t call_compare(const cell* function, const cell& first, const cell& second) {
  stack_restore restore;
  stack::push(first);
  stack::push(second);
  call_function(function);
  return order_of(stack::top_cell());
}

}  // namespace ixo::sort
