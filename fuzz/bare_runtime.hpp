// Fuzzing C++ decoders over the bare runtime: the arena, the datatypes and
// the word tables started once, without the boot code, and a try frame at
// the bottom of the stack.
#pragma once

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"

namespace ixo::fuzz {

inline void start_bare_runtime() {
  static bool started = false;
  if (started) return;
  started = true;
  cycles::init();
  collector_active = 0;
  runtime::init();
  collector_active = 1;
  // A try frame at the bottom, as the console's evaluation has: an error
  // with none would end the process.
  stack::mark(words::word_anon, stack::FRAME_TRY);
}

}  // namespace ixo::fuzz
