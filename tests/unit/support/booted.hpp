// The whole runtime started from the boot image, for tests over the boot
// library and the GUI layer, and Ixo source evaluated in it.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/start.hpp"
#include "raised.hpp"

namespace ixo::test {

inline void start_booted_runtime() {
  collector_active = 0;  // an earlier test's collector has no tables to walk yet
  ASSERT_EQ(catch_site(FILTER_ALL, [] { start_runtime(boot_image::data, boot_image::size); }), 0u);
  open_bottom_try_frame();
}

// The value of the last source evaluated by eval_source.
inline cell eval_result{TYPE_NONE, 0, 0, 0};

// Evaluates Ixo source; its value is left in eval_result.
inline void eval_source(const std::string& source) {
  cell code{TYPE_NONE, 0, 0, 0};
  memory::root_guard keep(&code);
  cell* top = stack::top;
  lexer::load_text(&code, source.data(), static_cast<int32_t>(source.size()));
  interpreter::eval_block(&code, false);
  eval_result = stack::top[-1];
  stack::top = top;
}

}  // namespace ixo::test
