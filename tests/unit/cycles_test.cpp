#include <gtest/gtest.h>

#include "runtime/core/cycles.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/catch.hpp"

namespace ixo::cycles {
namespace {

TEST(cycles_stack, tracks_the_current_path_and_refuses_the_thousandth_level) {
  init();
  pop();  // empty: nothing happens
  EXPECT_EQ(depth(), 0);
  push(16);
  push(32);
  EXPECT_TRUE(find_q(16));
  pop();
  EXPECT_FALSE(find_q(32));
  reset();
  int pushed = 0;
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    for (uint32_t n = 1;; ++n, ++pushed) push(n * 16);
  });
  system::clear_thrown();
  EXPECT_EQ(code, THROW_ERROR);
  EXPECT_EQ(pushed, 999);  // the 1,000th push raises
  EXPECT_EQ(last_raised.id.index, err::internal_too_deep.index);
  EXPECT_EQ(depth(), 0);
}

}  // namespace
}  // namespace ixo::cycles
