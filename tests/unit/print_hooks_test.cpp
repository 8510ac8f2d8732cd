#include <gtest/gtest.h>

#include <string>

#include "startup/system/console_output.hpp"
#include "startup/system/print.hpp"
#include "startup/system/print_hooks.hpp"
#include "support/child.hpp"
#include "support/screen_buffer.hpp"

namespace ixo::print_hooks {
namespace {

std::string calls;  // what the recording hooks saw, in order

template <int N>
void value(const void* text, int32_t bytes, int32_t unit, bool newline) {
  calls += std::to_string(N) + ":" + std::string(static_cast<const char*>(text), bytes) + "/" +
           std::to_string(unit) + "/" + (newline ? "nl" : "-") + " ";
}

template <int N>
void sized(const void* text, int32_t length, int32_t extra) {
  calls += std::to_string(N) + ":" + std::string(static_cast<const char*>(text), length) + "/" +
           std::to_string(extra) + " ";
}

class print_hooks : public ::testing::Test {
 protected:
  void SetUp() override {
    init();
    calls.clear();
  }
  void TearDown() override {
    value_hooks = {nullptr, 0, 0};
    sized_hooks = {nullptr, 0, 0};
    ready = false;
    set_output_hooks(nullptr, nullptr);
    system::use_console(nullptr);
  }
};

TEST_F(print_hooks, init_registers_the_console_printer_only) {
  EXPECT_TRUE(ready);
  ASSERT_EQ(value_hooks.count, 1);
  EXPECT_EQ(value_hooks.entries[0], console_printer);
  EXPECT_EQ(value_hooks.capacity, 5);
  EXPECT_EQ(sized_hooks.count, 0);
  EXPECT_EQ(sized_hooks.capacity, 5);
}

TEST_F(print_hooks, a_sixth_hook_grows_the_list_by_five_keeping_the_order) {
  add(value<1>, sized<1>);
  add(value<2>, sized<2>);
  add(value<3>, sized<3>);
  add(value<4>, sized<4>);
  EXPECT_EQ(value_hooks.capacity, 5);
  add(value<5>, sized<5>);
  EXPECT_EQ(value_hooks.capacity, 10);
  EXPECT_EQ(sized_hooks.capacity, 5);
  add(nullptr, sized<6>);
  EXPECT_EQ(sized_hooks.capacity, 10);
  EXPECT_EQ(value_hooks.count, 6);

  remove(console_printer, nullptr);
  run("ab", 2, 1, true);
  run_sized("c", 1, 0);
  EXPECT_EQ(calls,
            "1:ab/1/nl 2:ab/1/nl 3:ab/1/nl 4:ab/1/nl 5:ab/1/nl "
            "1:c/0 2:c/0 3:c/0 4:c/0 5:c/0 6:c/0 ");
}

TEST_F(print_hooks, remove_takes_only_the_first_occurrence) {
  remove(console_printer, nullptr);
  add(value<1>, sized<1>);
  add(value<2>, sized<2>);
  add(value<1>, sized<1>);
  remove(value<1>, sized<1>);
  remove(value<3>, sized<3>);  // absent: ignored
  remove(nullptr, nullptr);
  run("x", 1, 1, false);
  run_sized("y", 1, 0);
  EXPECT_EQ(calls, "2:x/1/- 1:x/1/- 2:y/0 1:y/0 ");
}

TEST_F(print_hooks, sized_hooks_run_after_every_c_string_and_number_print) {
  auto r = test::run_child([] {
    add(nullptr, sized<1>);
    system::prin_c_string("abc");
    system::prin_integer(-42);
    system::prin_hex(0xBEEF);
    system::prin_hex_byte(0x0A);
    system::prin_float64(0.5);
    system::prin_float32(0.25f);
    system::prin_c_string("|");
    system::prin_c_string(calls.c_str());
    _exit(0);
  });
  EXPECT_EQ(r.output,
            "abc-420000BEEF0A0.50.25|"
            "1:abc/0 1:-42/0 1:0000BEEF/0 1:0A/0 1:0.5/0 1:0.25/0 1:|/0 ");
}

// The pause and resume hooks print "<" and ">": each print is framed once.
void pause_mark() { system::prin_c_string("<"); }
void resume_mark() { system::prin_c_string(">"); }

TEST_F(print_hooks, console_printer_writes_each_unit_width_between_pause_and_resume) {
  auto r = test::run_child([] {
    set_output_hooks(pause_mark, resume_mark);
    std::u16string ucs2 = u"\x00e9\x20ac";
    std::u32string ucs4 = U"\U0001F600";
    run("ab", 2, 1, true);
    run(ucs2.data(), 4, 2, false);
    run(ucs4.data(), 4, 4, true);
    run("abc", 3, 3, false);
    print::print_typed_line({print::item::c_string("t")});
    _exit(0);
  });
  EXPECT_EQ(r.output,
            "<ab\n><\xC3\xA9\xE2\x82\xAC><\xF0\x9F\x98\x80\n>"
            "<Error: unknown string encoding: 3\n><t\n>");
}

TEST_F(print_hooks, prints_inside_a_print_do_not_pause_again) {
  test::reset_screen(40, 12, 0x07, ' ');
  system::use_console(&test::memory_console);
  set_output_hooks(pause_mark, resume_mark);
  run("\x1b[?", 3, 1, false);  // the screen-buffer dump: seven typed lines
  EXPECT_EQ(test::screen.row_text(0).substr(0, 20), "<Screen buffer info:");
  EXPECT_EQ(test::screen.row_text(7).substr(0, 2), "> ");
}

}  // namespace
}  // namespace ixo::print_hooks
