#include <gtest/gtest.h>

#include "runtime/datatypes/error.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/catch.hpp"

namespace ixo::stack {
namespace {

class value_stack : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::init(64u << 20);
    error::drop_catalog();  // no runtime here: errors travel without values
    memory::new_node_frame(memory::NODES_PER_FRAME);
    memory::new_series_frame();
    root::make();
    init(root::make_child_block(VALUE_STACK_CELLS, true), root::make_child_block(FRAME_STACK_CELLS, true));
  }
  void TearDown() override { memory::free_all_frames(); }
  static cell integer(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
};

TEST_F(value_stack, a_call_leaves_one_result_cell_for_its_caller) {
  const cell word{TYPE_WORD, 0, 7, 0};
  push(integer(1));                 // the caller's own cell
  mark(&word, FRAME_NATIVE);
  push(integer(42));                // the callee's argument and result slot
  push(integer(99));                // scratch above it
  unwind();
  EXPECT_EQ(top - bottom, 2);
  EXPECT_EQ(top_cell()->data2, 42u);
  EXPECT_EQ(arguments, bottom);

  mark(&word, FRAME_NATIVE);
  push(integer(5));
  unwind_last();
  EXPECT_EQ(arguments->data2, 5u);  // also in the caller's result slot
  mark(&word, FRAME_LOOP);
  push(integer(6));
  unroll();
  EXPECT_EQ(top, arguments);
  EXPECT_EQ(frame_top, frame_bottom);
}

TEST_F(value_stack, pop_never_goes_below_the_bottom) {
  push(integer(1));
  pop(10);
  EXPECT_EQ(top, bottom);
  EXPECT_EQ(top_cell(), bottom);
}

TEST_F(value_stack, overflow_of_either_stack_raises_a_catchable_error) {
  uint32_t code = catch_site(FILTER_FUNCTION, [] {
    for (;;) push(cell{TYPE_NONE, 0, 0, 0});
  });
  system::clear_thrown();
  EXPECT_EQ(code, THROW_ERROR);
  EXPECT_EQ(last_raised.id.index, err::internal_stack_overflow.index);
  EXPECT_EQ(end - top, 5);
  reset();
  const cell word{TYPE_WORD, 0, 1, 0};
  int frames = 0;
  code = catch_site(FILTER_FUNCTION, [&] {
    for (;; ++frames) mark(&word, FRAME_NATIVE);
  });
  system::clear_thrown();
  EXPECT_EQ(code, THROW_ERROR);
  EXPECT_EQ(frames, 12000);  // the 12,001st frame overflows
}

}  // namespace
}  // namespace ixo::stack
