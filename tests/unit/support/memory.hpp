// Test support for code that allocates series: each test gets a memory
// manager of its own over a small arena, with no collector, released
// afterwards; and a check that a body raises a given language error.
#pragma once
#include <gtest/gtest.h>

#include "runtime/datatypes/error.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/catch.hpp"
#include "startup/start.hpp"

namespace ixo::test {

struct fresh_memory : ::testing::Test {
  static constexpr uint64_t ARENA = 64ull << 20;
  void SetUp() override {
    memory::init(ARENA);
    error::drop_catalog();  // no runtime here: errors travel without values
  }
  void TearDown() override {
    memory::free_all_frames();
    memory::run_collector = nullptr;
    collector_active = 0;
  }
};

// True when `body` raised the error `id` to a function's catch site.
template <class Body>
bool raises(error_id id, Body&& body) {
  uint32_t code = catch_site(FILTER_FUNCTION, body);
  system::clear_thrown();
  return code == THROW_ERROR && last_raised.id.category == id.category && last_raised.id.index == id.index;
}

}  // namespace ixo::test
