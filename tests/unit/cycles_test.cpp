#include <gtest/gtest.h>

#include <cstring>

#include "runtime/core/cycles.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"
#include "support/runtime.hpp"

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

TEST(cycles_stack, values_met_again_leave_a_placeholder_and_spend_its_length) {
  test::start_runtime();
  init();
  push(32);
  push(48);
  struct row { cell value; bool mold; const char* text; };
  const row rows[] = {
      {{TYPE_BLOCK, 0, 32, 0}, true, "[...]"},  {{TYPE_HASH, 0, 32, 0}, true, "[...]"},
      {{TYPE_PAREN, 0, 32, 0}, true, "(...)"},  {{TYPE_MAP, 0, 48, 0}, true, "#[...]"},
      {{TYPE_OBJECT, 48, 0, 0}, true, "make object! [...]"},
      {{TYPE_SET_PATH, 0, 32, 0}, true, "..."}, {{TYPE_BLOCK, 0, 32, 0}, false, "..."},
      {{TYPE_OBJECT, 48, 0, 0}, false, "..."},
  };
  for (const row& r : rows) {
    cell out{};
    memory::root_guard keep(&out);
    string::rs_make_at(&out, 8);
    int32_t limit = 50;
    EXPECT_TRUE(detect_q(&r.value, &out, &limit, r.mold));
    EXPECT_EQ(test::text_of(&out), r.text);
    EXPECT_EQ(limit, 50 - static_cast<int32_t>(strlen(r.text)));
  }
  cell elsewhere{TYPE_BLOCK, 0, 64, 0}, object_by_series{TYPE_OBJECT, 64, 32, 0}, out{};
  memory::root_guard keep(&out);
  string::rs_make_at(&out, 8);
  int32_t limit = 50;
  EXPECT_FALSE(detect_q(&elsewhere, &out, &limit, true));
  EXPECT_FALSE(detect_q(&object_by_series, &out, &limit, true));  // objects are known by context
  EXPECT_EQ(limit, 50);
  EXPECT_EQ(test::text_of(&out), "");
  reset();
}

}  // namespace
}  // namespace ixo::cycles
