// A started runtime for tests that need datatypes, stacks and strings: the
// runtime's initialisation as start-up runs it, with collections on as
// start-up turns them on, so that IXO_GC_STRESS=1 collects at every
// series allocation.
#pragma once
#include <string>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"
#include "raised.hpp"

namespace ixo::test {

inline void start_runtime() {
  collector_active = 0;  // an earlier test's collector has no tables to walk yet
  runtime::init();
  open_bottom_try_frame();
  collector_active = 1;
  memory::boot_finished();  // no boot code here: IXO_GC_STRESS=after-boot stresses from the start
}

// The text of a string cell from its index, as UTF-8.
inline std::string text_of(cell* s) {
  int32_t length = -1;  // the whole string
  const char* text = unicode::to_utf8(s, length);
  return std::string(text, static_cast<size_t>(length));
}

}  // namespace ixo::test
