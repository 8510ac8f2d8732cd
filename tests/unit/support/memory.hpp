// Test support for code that allocates series: each test gets a memory
// manager of its own over a small arena, released afterwards, with the
// collector on, so that IXO_GC_STRESS=1 collects at every series
// allocation: a test keeps what it allocates rooted. And a check that a
// body raises a given language error.
#pragma once
#include <gtest/gtest.h>

#include "runtime/core/externals.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/root_block.hpp"
#include "startup/system/catch.hpp"
#include "kept.hpp"

namespace ixo::test {

// A runtime started by an earlier test leaves its roots pointing into the
// arena it had: the collector forgets them before running over a new one.
inline void forget_runtime_roots() {
  root::root_node = 0;
  symbol::table = 0;
  collector::ownership_table = 0;
  stack::bottom = stack::arguments = stack::top = stack::end = nullptr;
  stack::frame_bottom = stack::frame_top = stack::frame_end = nullptr;
  stack::error_in_flight = cell{};
  externals::table = cell{};
  handles::init();
}

// Puts back the collection, the active flag and the stress setting that a
// stand-in collector replaced, when its scope ends.
struct collector_restorer {
  void (*collection)() = memory::run_collector;
  int32_t active = collector_active;
  bool every = memory::collect_every_allocation;
  ~collector_restorer() {
    memory::run_collector = collection;
    collector_active = active;
    memory::collect_every_allocation = every;
  }
};

struct fresh_memory : ::testing::Test {
  static constexpr uint64_t ARENA = 64ull << 20;
  void SetUp() override {
    memory::init(ARENA);
    forget_runtime_roots();
    error::drop_catalog();  // no runtime here: errors travel without values
    memory::run_collector = collector::collect;
    collector_active = 1;
  }
  void TearDown() override {
    memory::free_all_frames();
    error::drop_catalog();  // its object lay in the memory just released
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
