// The VT key decoder, the shared input buffer, and raw mode over a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/line_editor.hpp"
#include "console/terminal.hpp"
#include "support/child.hpp"
#include "support/kept.hpp"
#include "support/raised.hpp"
#include "support/strings.hpp"
#include "support/terminal_script.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo {
namespace {

using namespace terminal;

std::vector<int32_t> decode(const std::string& bytes, bool pause_at_end = true) {
  key_decoder d;
  std::vector<int32_t> keys;
  int32_t out[2];
  for (unsigned char b : bytes) {
    int32_t n = feed_byte(d, b, out);
    keys.insert(keys.end(), out, out + n);
  }
  if (pause_at_end) {
    int32_t k = timeout(d);
    if (k != KEY_NONE) keys.push_back(k);
  }
  return keys;
}

TEST(key_decoder, each_sequence_gives_its_key) {
  struct {
    const char* bytes;
    std::vector<int32_t> keys;
  } cases[] = {
      {"\x1b[A", {KEY_UP}},       {"\x1b[B", {KEY_DOWN}},     {"\x1b[C", {KEY_RIGHT}},
      {"\x1b[D", {KEY_LEFT}},     {"\x1bOA", {KEY_UP}},       {"\x1bOB", {KEY_DOWN}},
      {"\x1bOC", {KEY_RIGHT}},    {"\x1bOD", {KEY_LEFT}},     {"\x1b[H", {KEY_HOME}},
      {"\x1b[F", {KEY_END}},      {"\x1bOH", {KEY_HOME}},     {"\x1bOF", {KEY_END}},
      {"\x1b[1~", {KEY_HOME}},    {"\x1b[7~", {KEY_HOME}},    {"\x1b[4~", {KEY_END}},
      {"\x1b[8~", {KEY_END}},     {"\x1b[3~", {KEY_DELETE}},
      // Control keys and characters as they are; UTF-8 decoded.
      {"a\x03\x7f\r", {'a', 3, 127, '\r'}},
      {"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", {0xE9, 0x4E2D, 0x1F600}},
      // Other complete sequences give nothing and do not swallow what follows.
      {"\x1b[5~x", {'x'}},  {"\x1b[1;5Ay", {'y'}},  {"\x1b[200~z", {'z'}},
      {"\x1bOPq", {'q'}},   {"\x1bxq", {'q'}},      {"\x1b[12;40Rq", {'q'}},
      // Invalid UTF-8 is dropped: stray continuation, overlong form,
      // surrogate, a lead byte cut short by an ASCII byte.
      {"\x80" "a\xc0\xaf" "b\xed\xa0\x80" "c\xe4\xb8" "d", {'a', 'b', 'c', 'd'}},
      // Escape before a control character is the Escape key, then that key;
      // a sequence broken by a control character gives that character.
      {"\x1b\r", {KEY_ESCAPE, '\r'}},  {"\x1b\x1b[A", {KEY_ESCAPE, KEY_UP}},
      {"\x1b[1\x03", {3}},
      // A lone Escape is told by the pause after it; an unfinished
      // sequence is dropped by the pause.
      {"\x1b", {KEY_ESCAPE}},  {"\x1b[", {}},  {"\xe4\xb8", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.keys) << test::visible(c.bytes);
}

TEST(key_decoder, long_parameter_runs_are_ignored_without_growing) {
  std::string bytes = "\x1b[" + std::string(100000, '3') + "~k";
  EXPECT_EQ(decode(bytes), std::vector<int32_t>{'k'});
}

struct terminal_reading : ::testing::Test {
  void TearDown() override { test::end_script(); }
};

TEST_F(terminal_reading, sequences_split_across_reads_decode_whole) {
  test::start_script({"\x1b", "[", "A", "\x1b[", "3", "~", "\xe4", "\xb8\xad", "\x1bO", "H"});
  for (int32_t k : std::initializer_list<int32_t>{KEY_UP, KEY_DELETE, 0x4E2D, KEY_HOME}) EXPECT_EQ(read_key(), k);
  EXPECT_EQ(read_key(), KEY_END_OF_INPUT);
}

TEST_F(terminal_reading, escape_followed_by_a_pause_is_the_escape_key) {
  // "" in a script is a read that times out.
  test::start_script({"\x1b", "", "[A"});
  EXPECT_EQ(read_key(), KEY_ESCAPE);
  EXPECT_EQ(read_key(), '[');
  EXPECT_EQ(read_key(), 'A');
}

TEST_F(terminal_reading, lines_of_redirected_input_share_one_buffer) {
  test::start_script({"one\ntwo\r\nthr", "ee\n\nlast"});
  std::string line;
  std::vector<std::string> lines;
  while (read_line_bytes(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two\r", "three", "", "last"}));
  uint8_t b[4];
  EXPECT_EQ(read_bytes(b, 4), 0);
}

// ---- Raw mode over a pseudo-terminal -------------------------------------------

bool cooked(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  return (t.c_lflag & ICANON) && (t.c_lflag & ECHO) && (t.c_lflag & ISIG) && (t.c_iflag & ICRNL);
}

// Runs `body` in a child whose standard input is the slave side of a new
// pseudo-terminal holding `typed`; answers the child's exit status and
// whether the terminal was back in its cooked mode afterwards.
std::pair<int, bool> on_pty(const std::string& typed, const std::function<void()>& body) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, false};
  EXPECT_TRUE(cooked(slave));
  if (!typed.empty()) {
    EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  }
  test::child_result r = test::run_child([&] {
    dup2(slave, STDIN_FILENO);
    terminal::use_io(nullptr);
    terminal::init();
    body();
  });
  bool restored = cooked(slave);
  close(master);
  close(slave);
  return {r.status, restored};
}

struct terminal_pty : ::testing::Test {
  cell* buffer = nullptr;
  cell* hist = nullptr;
  void SetUp() override {
    if (!cycles::entries()) cycles::init();
    test::start_runtime();
    stack::reset();
    line_editor::init_globals();
    cell c;
    string::rs_make_at(&c, 0);
    test::keep(c);
    buffer = &test::kept_values.back();
    block::make_at(&c, 4);
    test::keep(c);
    hist = &test::kept_values.back();
  }
  void TearDown() override { line_editor::set_completion(nullptr); }
};

TEST_F(terminal_pty, raw_mode_is_left_after_an_edit) {
  auto [status, restored] = on_pty("abc\r", [&] {
    line_editor::set_buffer_history(buffer, hist);
    cell prompt = *test::push_ascii(">> ");
    bool got = line_editor::read_input(&prompt, false);
    _exit(got && test::whole_text(buffer) == "abc" && cooked(STDIN_FILENO) ? 0 : 1);
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(restored);
}

TEST_F(terminal_pty, raw_mode_is_left_when_an_error_ends_the_edit) {
  line_editor::set_completion([](cell*, cell*) { fire(err::access_invalid_utf8); });
  auto [status, restored] = on_pty("ab\t", [&] {
    line_editor::set_buffer_history(buffer, hist);
    cell prompt = *test::push_ascii(">> ");
    auto e = test::raised([&] { line_editor::read_input(&prompt, false); });
    _exit(test::is(e, err::access_invalid_utf8) && cooked(STDIN_FILENO) ? 0 : 1);
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(restored);
}

TEST_F(terminal_pty, raw_mode_is_left_when_the_process_ends_during_an_edit) {
  line_editor::set_completion([](cell*, cell*) { system::exit_process(7); });
  auto [status, restored] = on_pty("\t", [&] {
    line_editor::set_buffer_history(buffer, hist);
    cell prompt = *test::push_ascii(">> ");
    line_editor::read_input(&prompt, false);
  });
  EXPECT_EQ(status, 7);
  EXPECT_TRUE(restored);
}

}  // namespace
}  // namespace ixo
