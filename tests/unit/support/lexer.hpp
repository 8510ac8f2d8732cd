// Test support for the lexer: a started runtime with the lexer's tables,
// loading text into a kept block, the mold of what loaded, and the error a
// load raises with its arguments.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "kept.hpp"
#include "raised.hpp"
#include "runtime.hpp"

namespace ixo::test {

struct lexer_runtime : ::testing::Test {
  void SetUp() override {
    cycles::init();
    start_runtime();
    lexer::init();
  }
};

// The block that the text loads to, kept until the test ends.
inline cell load_source(const std::string& text) {
  cell block{TYPE_UNSET, 0, 0, 0};
  memory::root_guard rooted(&block);
  lexer::load_text(&block, text.data(), static_cast<int32_t>(text.size()));
  return keep(block);
}

// mold/only of a value, as source text reads it back.
inline std::string mold_of(cell value, bool only = false) {
  cell buffer{};
  memory::root_guard keep_value(&value);
  memory::root_guard keep_buffer(&buffer);
  string::rs_make_at(&buffer, 16);
  actions::mold(&value, &buffer, only, 0, 0, nullptr, INT32_MAX, 0);
  return text_of(&buffer);
}

// The values the text loads to, molded without the outer brackets.
inline std::string loaded(const std::string& text) { return mold_of(load_source(text), true); }

// The arguments of the error raised last, kept from the moment it was
// caught: nothing else holds them.
inline cell* raised_args[3];

inline void keep_raised_args() {
  for (int32_t i = 0; i < 3; ++i) {
    keep(i < last_raised.count ? last_raised.args[i] : cell{TYPE_NONE, 0, 0, 0});
    raised_args[i] = &kept_values.back();
  }
}

// The error a load of the text raises, or nothing.
inline std::optional<error_id> load_error(const std::string& text) {
  auto e = raised([&] { load_source(text); });
  if (e) keep_raised_args();
  return e;
}

// The text of an argument of the error raised last, as molded.
inline std::string raised_arg(int32_t i) { return mold_of(*raised_args[i]); }

}  // namespace ixo::test
