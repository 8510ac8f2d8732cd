#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>

#include <string>

#include "platform/posix/console.hpp"
#include "startup/system/console_output.hpp"
#include "support/child.hpp"

namespace ixo::system {
namespace {

std::string bytes_of(std::u16string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}
std::string bytes_of(std::u32string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 4);
}

struct units_case {
  const char* name;
  std::string text;
  int32_t unit;
  bool newline;
  std::string output;
};

TEST(redirected_output, carries_every_character_unchanged_as_utf8) {
  const units_case cases[] = {
      {"escape", "\x1b[32mgo\x1b[?25l", 1, false, "\x1b[32mgo\x1b[?25l"},
      {"latin1", "caf\xE9", 1, true, "caf\xC3\xA9\n"},
      {"ucs2", bytes_of(u"\x00e9\x20ac\x1b[1m"), 2, false, "\xC3\xA9\xE2\x82\xAC\x1b[1m"},
      {"ucs4", bytes_of(U"\U0001F600"), 4, true, "\xF0\x9F\x98\x80\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = test::run_child([&] {
      init_console_output(&platform::terminal_console);  // a pipe: not a terminal
      write_units(c.text.data(), static_cast<int32_t>(c.text.size()), c.unit, c.newline);
      _exit(0);
    });
    EXPECT_EQ(r.output, c.output);
  }
}

TEST(redirected_output, c_string_bytes_are_latin1_characters) {
  auto r = test::run_child([] {
    init_console_output(&platform::terminal_console);
    prin_c_string("caf\xE9 \x1b[5;10H");
    _exit(0);
  });
  EXPECT_EQ(r.output, "caf\xC3\xA9 \x1b[5;10H");
}

TEST(redirected_output, long_text_arrives_complete_and_in_order) {
  // One-, two- and three-byte characters in turn, so that characters
  // straddle every point where the buffer is written.
  const char16_t characters[] = {u'a', u'\x00e9', u'\x20ac'};
  const char* encoded[] = {"a", "\xC3\xA9", "\xE2\x82\xAC"};
  std::u16string text;
  std::string expected;
  for (int32_t i = 0; i < 2000; ++i) {
    text += characters[i * 7 % 3];
    expected += encoded[i * 7 % 3];
  }
  auto r = test::run_child([&] {
    init_console_output(&platform::terminal_console);
    prin_ucs2(text.data(), static_cast<int32_t>(text.size() * 2));
    _exit(0);
  });
  EXPECT_EQ(r.output, expected);
}

TEST(terminal_console, sends_the_vt_sequence_of_each_operation) {
  const units_case cases[] = {
      {"colour", "a\x1b[32mb", 1, false, "a\x1b[0;32mb"},
      {"pairs", "\x1b[1;33;44m", 1, false, "\x1b[0;1;33;44m"},
      {"underscore, reverse", "\x1b[4m\x1b[7m", 1, false, "\x1b[0;4m\x1b[0;30;47m"},
      {"reset", "\x1b[31m\x1b[0m", 1, false, "\x1b[0;31m\x1b[0m"},
      {"position", "\x1b[5;10H\x1b[H", 1, false, "\x1b[11;6H\x1b[1;1H"},
      {"moves", "\x1b[3A\x1b[2B\x1b[4C\x1b[1D\x1b[0A", 1, false, "\x1b[3A\x1b[2B\x1b[4C\x1b[1D"},
      {"save, restore", "\x1b[32m\x1b[s\x1b[u", 1, false,
       "\x1b[0;32m\x1b" "7\x1b" "8\x1b[0;32m"},
      {"erases", "\x1b[J\x1b[1J\x1b[2J\x1b[2K\x1b[K\x1b[1K", 1, false,
       "\x1b[2K\x1b[J\x1b[1J\x1b[2J\x1b[H\x1b[2K\x1b[G\x1b[K\x1b[1K\x1b[G"},
      {"erase in colour", "\x1b[41m\x1b[K", 1, false, "\x1b[0;41m\x1b[0m\x1b[K\x1b[0;41m"},
      {"handed on", "\x1b[?25l\x1b[?1000h\x1b[2;5r\x1b]0;t\x07\x1b[m", 1, false,
       "\x1b[?25l\x1b[?1000h\x1b[2;5r\x1b]0;t\x07\x1b[m"},
      {"ucs2", bytes_of(u"\x00e9\x1b[32m\x20ac"), 2, true, "\xC3\xA9\x1b[0;32m\xE2\x82\xAC\n"},
      {"ucs4 as it is", bytes_of(U"\U0001F600\x1b[5;10H"), 4, false, "\xF0\x9F\x98\x80\x1b[5;10H"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = test::run_child([&] {
      use_console(&platform::terminal_console);
      write_units(c.text.data(), static_cast<int32_t>(c.text.size()), c.unit, c.newline);
      _exit(0);
    });
    EXPECT_EQ(r.output, c.output);
  }
}

// Standard output on a pseudo-terminal: init chooses the terminal console,
// so the sequence reaches the terminal in its VT form.
TEST(terminal_console, is_chosen_when_standard_output_is_a_terminal) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string slave_name = ptsname(master);
  pid_t pid = fork();
  if (pid == 0) {
    int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
    dup2(slave, STDOUT_FILENO);
    close(slave);
    close(master);
    init_console_output(&platform::terminal_console);
    prin_c_string("x");  // C strings are never interpreted
    prin_latin1("\x1b[5;10Hy", 8);
    _exit(0);
  }
  std::string output;
  char buf[256];
  ssize_t n;
  while (output.size() < 10 && (n = read(master, buf, sizeof buf)) > 0)
    output.append(buf, static_cast<size_t>(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_EQ(output, "x\x1b[11;6Hy");
}

}  // namespace
}  // namespace ixo::system
