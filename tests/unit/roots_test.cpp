#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "runtime/memory/roots.hpp"

namespace ixo::memory {
namespace {

bool registered(const void* slot, root_kind kind) {
  for (int32_t i = 0; i < roots.count; ++i) {
    if (roots.entries[i].slot == slot) return roots.entries[i].kind == kind;
  }
  return false;
}

TEST(root_guard, registers_a_cell_or_a_node_slot_for_its_scope) {
  int32_t before = roots.count;
  cell value{TYPE_BLOCK, 0, 0, 0};
  uint32_t node = 0;
  {
    root_guard keep_value(&value);
    {
      root_guard keep_node(&node);
      EXPECT_TRUE(registered(&value, ROOT_CELL));
      EXPECT_TRUE(registered(&node, ROOT_NODE));
      EXPECT_EQ(roots.count, before + 2);
    }
    EXPECT_FALSE(registered(&node, ROOT_NODE));
    EXPECT_TRUE(registered(&value, ROOT_CELL));
  }
  EXPECT_EQ(roots.count, before);
}

TEST(root_guard, the_table_grows_and_guards_may_leave_in_any_order) {
  int32_t before = roots.count;
  std::vector<cell> cells(1000);
  std::vector<std::unique_ptr<root_guard>> guards;
  for (cell& c : cells) guards.push_back(std::make_unique<root_guard>(&c));
  EXPECT_EQ(roots.count, before + 1000);
  EXPECT_GE(roots.capacity, roots.count);
  for (size_t i = 0; i < guards.size(); i += 2) guards[i].reset();  // oldest first
  EXPECT_EQ(roots.count, before + 500);
  for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(registered(&cells[i], ROOT_CELL), i % 2 == 1) << i;
  guards.clear();
  EXPECT_EQ(roots.count, before);

  cell stray{};
  remove_root(&stray);  // never registered: nothing changes
  EXPECT_EQ(roots.count, before);
}

}  // namespace
}  // namespace ixo::memory
