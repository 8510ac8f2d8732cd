#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <numbers>

#include "platform/posix/bindings.hpp"
#include "platform/posix/start.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/system.hpp"
#include "support/child.hpp"

namespace ixo::platform {
namespace {

TEST(read_args, keeps_utf8_and_invalid_bytes_as_given) {
  char a0[] = "ixo", a1[] = "--x", a2[] = "\xC3\xA9", a3[] = "\xFF\xFE";
  char* argv[] = {a0, a1, a2, a3, nullptr};
  set_process_args(4, argv);
  read_args();
  ASSERT_EQ(sysrec.argc, 4);
  EXPECT_STREQ(sysrec.argv[2], "\xC3\xA9");
  EXPECT_STREQ(sysrec.argv[3], "\xFF\xFE");
  EXPECT_EQ(sysrec.argv[4], nullptr);
  EXPECT_NE(sysrec.argv[2], a2);  // a copy
}

TEST(wait, rounds_to_milliseconds_and_clamps) {
  EXPECT_EQ(wait_milliseconds(0.0005), 1);
  EXPECT_EQ(wait_milliseconds(2.5), 2500);
  EXPECT_EQ(wait_milliseconds(-3.0), 1);
  EXPECT_EQ(wait_milliseconds(std::nan("")), 1);
  EXPECT_EQ(wait_milliseconds(1e300), 2147483647);
  EXPECT_EQ(wait_milliseconds(INFINITY), 2147483647);
}

TEST(get_date, packs_the_local_zone) {
  // UTC-03:30: sign bit, hours 3, quarter hours 2.
  EXPECT_EQ(pack_zone(-210), (0x10 | 3) << 2 | 2);
  EXPECT_EQ(pack_zone(330), 5 << 2 | 2);   // UTC+05:30
  EXPECT_EQ(pack_zone(-180), (0x10 | 3) << 2);
  EXPECT_EQ(pack_zone(-30), 0x10 << 2 | 2);
  EXPECT_EQ(pack_zone(0), 0);

  const char* saved = std::getenv("TZ");
  setenv("TZ", "NST3:30", 1);
  tzset();
  int32_t d = get_date(false);
  EXPECT_EQ(d & 0x7F, (0x10 | 3) << 2 | 2);
  EXPECT_EQ(get_date(true) & 0x7F, 0);
  if (saved) setenv("TZ", saved, 1); else unsetenv("TZ");
  tzset();
  time_t now = time(nullptr);
  tm t{};
  gmtime_r(&now, &t);
  int32_t u = get_date(true);
  EXPECT_EQ(u >> 17, t.tm_year + 1900);
  EXPECT_EQ((u >> 12) & 0xF, t.tm_mon + 1);
  EXPECT_EQ((u >> 7) & 0x1F, t.tm_mday);
}

TEST(get_time, seconds_since_midnight) {
  double s = get_time(false);
  EXPECT_GE(s, 0.0);
  EXPECT_LT(s, 86400.0);
  EXPECT_EQ(s, std::floor(s));
}

TEST(environment, absent_and_empty_differ) {
  unsetenv("IXO_TEST_VAR");
  EXPECT_FALSE(get_env("IXO_TEST_VAR").has_value());
  set_env("IXO_TEST_VAR", "");
  ASSERT_TRUE(get_env("IXO_TEST_VAR").has_value());
  EXPECT_EQ(*get_env("IXO_TEST_VAR"), "");
}

TEST(virtual_memory, failure_throws_its_code) {
  void* p = reserve_virtual(1 << 20);
  commit_virtual(p, 4096);
  static_cast<char*>(p)[4095] = 1;
  decommit_virtual(p, 4096);
  commit_virtual(p, 4096);
  EXPECT_EQ(static_cast<char*>(p)[4095], 0);  // decommitted pages come back zeroed
  free_virtual(p, 1 << 20);
  EXPECT_EQ(catch_site(FILTER_MEMORY, [] { reserve_virtual(1ull << 62); }), THROW_VMEM_ALLOC);
  system::clear_thrown();
}

TEST(runtime_stack, holds_recursion_far_deeper_than_8_mb) {
  auto r = test::run_child([] {
    run_on_runtime_stack([] {
      // 64 MB of frames.
      struct deep {
        static int down(int n) {
          volatile char frame[1024];
          frame[0] = static_cast<char>(n);
          return n == 0 ? 0 : down(n - 1) + frame[0] - static_cast<char>(n) + 1;
        }
      };
      _exit(deep::down(64 * 1024) == 64 * 1024 ? 0 : 1);
    });
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.signal, 0);
}

}  // namespace
}  // namespace ixo::platform

namespace ixo::math {
namespace {

TEST(helpers, degrees_to_radians_and_round_up) {
  const double d = std::numbers::pi / 180.0;
  EXPECT_DOUBLE_EQ(degrees_to_radians(450, 1), 90 * d);
  EXPECT_DOUBLE_EQ(degrees_to_radians(135, 0), -45 * d);
  EXPECT_DOUBLE_EQ(degrees_to_radians(135, 2), 45 * d);
  EXPECT_DOUBLE_EQ(degrees_to_radians(-135, 2), -45 * d);
  EXPECT_EQ(round_up(17, 16), 32);
  EXPECT_EQ(round_up(32, 16), 32);
}

}  // namespace
}  // namespace ixo::math
