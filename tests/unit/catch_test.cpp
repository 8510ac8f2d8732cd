#include <gtest/gtest.h>

#include <regex>

#include "startup/system/catch.hpp"
#include "support/child.hpp"

namespace ixo {
namespace {

TEST(catch_site, admits_codes_at_or_below_its_filter) {
  struct row { uint32_t filter, code; bool caught; };
  const row rows[] = {
      {FILTER_LOOP, THROW_BREAK, true},
      {FILTER_LOOP, THROW_CONTINUE, true},
      {FILTER_LOOP, THROW_RETURN, true},   // admitted, then thrown on
      {FILTER_LOOP, THROW_ERROR, false},
      {FILTER_SYNTAX, THROW_SYNTAX, true},
      {FILTER_SYNTAX, THROW_ERROR, false},
      {FILTER_MEMORY, THROW_VMEM_ALLOC, true},
      {FILTER_MEMORY, THROW_INT_OVERFLOW, false},
      {FILTER_FUNCTION, THROW_QUIT, true},
  };
  for (const row& r : rows) {
    bool caught = false;
    try {
      uint32_t code = catch_site(r.filter, [&] { system::throw_code(r.code); });
      caught = true;
      EXPECT_EQ(code, r.code);
      EXPECT_EQ(sysrec.thrown, r.code);
      system::clear_thrown();
    } catch (const throw_signal& s) {
      EXPECT_EQ(s.code, r.code);
    }
    EXPECT_EQ(caught, r.caught) << std::hex << r.filter << " " << r.code;
  }
}

TEST(catch_site, return_passes_a_loop_and_reaches_the_function_body) {
  int loop_saw = 0;
  uint32_t body_code = catch_site(FILTER_FUNCTION, [&] {
    uint32_t code = catch_site(FILTER_LOOP, [] { system::throw_code(THROW_RETURN); });
    loop_saw = static_cast<int>(code);
    if (code != THROW_BREAK && code != THROW_CONTINUE) system::throw_to_catch();
  });
  EXPECT_EQ(loop_saw, static_cast<int>(THROW_RETURN));
  EXPECT_EQ(body_code, THROW_RETURN);
  system::clear_thrown();
}

TEST(catch_site, normal_end_answers_zero_and_throwing_zero_does_nothing) {
  EXPECT_EQ(catch_site(FILTER_LOOP, [] {}), 0u);
  system::clear_thrown();
  system::throw_to_catch();  // nothing thrown: returns
  system::throw_code(0);
  SUCCEED();
}

TEST(outermost, uncaught_throw_is_runtime_error_95_and_quit_is_silent) {
  auto r = test::run_child([] {
    sysrec.thrown = THROW_BREAK;
    system::on_uncaught_throw();
  });
  EXPECT_EQ(r.status, 95);
  EXPECT_TRUE(std::regex_match(
      r.output, std::regex("\n\\*\\*\\* Runtime Error 95: no CATCH for THROW\n\\*\\*\\* at: [0-9A-F]{8}h\n")))
      << r.output;

  auto q = test::run_child([] {
    sysrec.thrown = THROW_QUIT;
    system::on_uncaught_throw();
  });
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.output, "");
}

}  // namespace
}  // namespace ixo
