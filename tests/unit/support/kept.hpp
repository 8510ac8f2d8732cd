// Values a test builds before it uses them, such as the cells of a table of
// cases, each held in a plain local while the next one is built: the
// builders keep them rooted until the test ends, so that a collection at
// any allocation leaves them alive.
#pragma once
#include <gtest/gtest.h>

#include <deque>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::test {

inline std::deque<cell> kept_values;  // grows without moving what it holds

// Roots a copy of `value` until the test ends and answers `value`: copies
// name the same nodes, which stay where they are in a test's few frames.
inline cell keep(const cell& value) {
  kept_values.push_back(value);
  memory::add_root(&kept_values.back(), memory::ROOT_CELL);
  return value;
}

// A table kept until the test ends, marked as a map!'s table is: with its
// series and its block.
inline uint32_t kept_table(uint32_t table) {
  keep(cell{TYPE_MAP, 0, 0, table});
  return table;
}

inline void forget_kept() {
  for (cell& c : kept_values) memory::remove_root(&c);
  kept_values.clear();
}

struct forget_kept_after_each_test : ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override { forget_kept(); }
};

inline const bool kept_values_forgotten_after_each_test =
    (::testing::UnitTest::GetInstance()->listeners().Append(new forget_kept_after_each_test), true);

}  // namespace ixo::test
