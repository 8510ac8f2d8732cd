// The line editor's terminal: keys read through the shared input buffer,
// and raw mode over a pseudo-terminal.
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
