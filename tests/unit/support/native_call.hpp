// Calls a native or action entry the way the interpreter does: a frame
// opened for the call, the argument cells pushed from its argument base,
// one integer per refinement (-1 not used, else the argument index where
// its arguments begin). Answers the result, kept until the test ends, and
// leaves both stacks as it found them, also when the entry raises.
#pragma once
#include <initializer_list>
#include <vector>

#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "kept.hpp"

namespace ixo::test {

// Puts both stacks back as they were when it was made, also when what ran
// in its scope raised.
struct stacks_restored {
  cell* arguments = stack::arguments;
  cell* top = stack::top;
  stack::call_frame* frame_top = stack::frame_top;
  ~stacks_restored() {
    stack::arguments = arguments;
    stack::top = top;
    stack::frame_top = frame_top;
  }
};

using entry_fn = void (*)(const int32_t* refinements);

inline cell call_entry(entry_fn entry, std::initializer_list<cell> args,
                       std::initializer_list<int32_t> refinements = {}) {
  stacks_restored saved;
  cell name = error_word("native-call");
  stack::mark(&name, stack::FRAME_NATIVE);
  for (const cell& a : args) stack::push(a);
  std::vector<int32_t> refs(refinements);
  refs.push_back(-1);  // never read: keeps data() valid for no refinements
  entry(refs.data());
  return keep(*stack::arguments);
}

}  // namespace ixo::test
