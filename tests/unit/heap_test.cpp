#include <gtest/gtest.h>

#include <cstring>

#include "startup/system/heap.hpp"
#include "support/child.hpp"

namespace ixo::heap {
namespace {

tracked_block* header(void* p) { return static_cast<tracked_block*>(p) - 1; }

class tracked_heap : public ::testing::Test {
 protected:
  void SetUp() override { saved = list; list = {nullptr, nullptr}; }
  void TearDown() override { free_all(); list = saved; }
  tracked_list saved{};
};

TEST_F(tracked_heap, freeing_the_only_block_empties_the_list) {
  void* a = alloc_tracked(10);
  EXPECT_EQ(list.first, header(a));
  EXPECT_EQ(list.last, header(a));
  free_tracked(a);
  EXPECT_EQ(list.first, nullptr);
  EXPECT_EQ(list.last, nullptr);
  void* b = alloc_tracked(4);
  EXPECT_EQ(list.first, header(b));
  EXPECT_EQ(list.last, header(b));
}

TEST_F(tracked_heap, resizing_a_middle_block_keeps_order_and_links) {
  void* a = alloc_tracked(8);
  void* b = alloc_tracked(8);
  void* c = alloc_tracked(8);
  std::memcpy(b, "1234567", 8);
  b = resize_tracked(b, 1 << 20);
  EXPECT_STREQ(static_cast<char*>(b), "1234567");
  EXPECT_EQ(header(b)->size, 1 << 20);
  EXPECT_EQ(list.first, header(a));
  EXPECT_EQ(header(a)->next, header(b));
  EXPECT_EQ(header(b)->prev, header(a));
  EXPECT_EQ(header(b)->next, header(c));
  EXPECT_EQ(header(c)->prev, header(b));
  EXPECT_EQ(list.last, header(c));
}

TEST_F(tracked_heap, resize_of_null_allocates_and_to_zero_frees) {
  void* a = resize_tracked(nullptr, 32);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(list.first, header(a));
  EXPECT_EQ(resize_tracked(a, 0), nullptr);
  EXPECT_EQ(list.first, nullptr);
}

TEST_F(tracked_heap, free_all_on_empty_list_and_unknown_pointer_are_harmless) {
  free_all();
  static char untracked[64];
  void* a = alloc_tracked(4);
  free_tracked(untracked + 32);  // not a tracked block: left alone
  EXPECT_EQ(list.first, header(a));
  void* z = alloc_zeroed(64);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<unsigned char*>(z)[i], 0);
}

TEST_F(tracked_heap, try_alloc_answers_null_on_failure_and_keeps_the_list) {
  void* a = try_alloc_tracked(8);
  ASSERT_NE(a, nullptr);
  inject_failure(1);
  EXPECT_EQ(try_alloc_tracked(8), nullptr);
  EXPECT_EQ(try_alloc_tracked(-1), nullptr);
  EXPECT_EQ(list.first, header(a));
  EXPECT_EQ(list.last, header(a));
}

TEST(tracked_heap_failure, failing_allocation_is_runtime_error_94) {
  auto r = test::run_child([] {
    inject_failure(2);
    alloc_tracked(16);
    alloc_tracked(16);  // this one fails
  });
  EXPECT_EQ(r.status, 94);
  EXPECT_NE(r.output.find("\n*** Runtime Error 94: out of memory\n*** at: "), std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace ixo::heap
