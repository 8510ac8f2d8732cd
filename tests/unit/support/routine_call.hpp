// Calls a routine entry the way the interpreter does: a frame opened for
// the call and the argument cells pushed from its argument base. Answers
// the result slot, kept until the test ends, and leaves both stacks as it
// found them, also when the entry raises.
#pragma once
#include <initializer_list>

#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "kept.hpp"
#include "native_call.hpp"

namespace ixo::test {

inline cell call_routine(routine::routine_entry entry, std::initializer_list<cell> args) {
  stacks_restored saved;
  cell name = error_word("routine-call");
  stack::mark(&name, stack::FRAME_NATIVE);
  for (const cell& a : args) stack::push(a);
  entry();
  return keep(*stack::arguments);
}

}  // namespace ixo::test
