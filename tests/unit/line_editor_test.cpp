// The line editor driven by scripted key bytes, drawing on a screen in
// memory whose cells know display widths as a terminal does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/line_editor.hpp"
#include "console/terminal.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/datatypes/block.hpp"
#include "startup/system/console_output.hpp"
#include "support/kept.hpp"
#include "support/raised.hpp"
#include "support/screen_buffer.hpp"
#include "support/strings.hpp"
#include "support/terminal_script.hpp"

namespace ixo {
namespace {

const std::string UP = "\x1b[A", DOWN = "\x1b[B", RIGHT = "\x1b[C", LEFT = "\x1b[D", HOME = "\x1b[H",
                  END = "\x1b[F", DEL = "\x1b[3~";

// A character takes its display width in cells (a wide one the cell after
// it too, marked 0); one that does not fit in the row goes to the next.
void write_wide(const void* text, int32_t bytes, int32_t unit) {
  auto& s = test::screen;
  const auto* p = static_cast<const uint8_t*>(text);
  for (int32_t i = 0; bytes - i >= unit; i += unit) {
    uint32_t ch = test::screen_console::unit_at(p + i, unit);
    if (ch == '\n') {
      test::screen_console::next_row();
      continue;
    }
    int32_t w = unicode::char_width(ch);
    if (w == 0) continue;
    if (w == 2 && s.cursor.column == s.width - 1) test::screen_console::next_row();
    s.at(s.cursor.column, s.cursor.row) = {ch, s.attribute};
    if (w == 2) s.at(s.cursor.column + 1, s.cursor.row) = {0, s.attribute};
    s.cursor.column += w;
    if (s.cursor.column >= s.width) test::screen_console::next_row();
  }
}

const system::console_layer wide_console = [] {
  system::console_layer c = test::memory_console;
  c.write_text = write_wide;
  return c;
}();

struct line_editor_test : ::testing::Test {
  cell* buffer = nullptr;
  cell* hist = nullptr;

  void SetUp() override {
    if (!cycles::entries()) cycles::init();
    test::start_runtime();
    stack::reset();
    line_editor::init_globals();
    cell h;
    block::make_at(&h, 4);
    test::keep(h);
    hist = &test::kept_values.back();
    system::use_console(&wide_console);
  }
  void TearDown() override {
    system::use_console(nullptr);
    test::end_script();
    line_editor::set_completion(nullptr);
  }

  void start(std::vector<std::string> reads, int32_t columns = 20, int32_t rows = 6) {
    test::reset_screen(columns, rows, 7, ' ');
    test::start_script(std::move(reads), columns, rows);
    terminal::input_is_console_q = true;
  }

  // One `ask`: a new buffer, the history, the edit. Answers the line.
  std::string next_line(const char* prompt = ">> ", bool hidden = false, bool* got = nullptr) {
    cell b;
    string::rs_make_at(&b, 0);
    test::keep(b);
    buffer = &test::kept_values.back();
    line_editor::set_buffer_history(buffer, hist);
    cell p = *test::push_ascii(prompt);
    test::keep(p);
    bool ok = line_editor::read_input(&test::kept_values.back(), hidden);
    if (got) *got = ok;
    return test::whole_text(buffer);
  }
  std::string edit(std::vector<std::string> reads, const char* prompt = ">> ", bool hidden = false) {
    start(std::move(reads));
    return next_line(prompt, hidden);
  }

  void add_history(std::vector<const char*> newest_first) {
    for (const char* text : newest_first) block::rs_append(hist, test::push_ascii(text));
  }
  std::vector<std::string> history() {
    std::vector<std::string> out;
    for (int32_t i = 0; i < block::rs_length_q(hist); ++i) out.push_back(test::whole_text(block::rs_abs_at(hist, i)));
    return out;
  }
  system::console_position cursor() { return test::screen.cursor; }
};

TEST_F(line_editor_test, editing_keys_change_the_line) {
  struct {
    std::vector<std::string> keys;
    std::string line;
  } cases[] = {
      {{"abc" + LEFT + LEFT + "X\r"}, "aXbc"},
      {{"abc\x02\x02Y\x06Z\r"}, "aYbZc"},                    // Ctrl-B, Ctrl-F
      {{"abc\x01X\x05Y\r"}, "XabcY"},                        // Ctrl-A, Ctrl-E
      {{"abc" + HOME + "X" + END + "Y\r"}, "XabcY"},
      {{"abc" + RIGHT + "\x7f\x08Z\r"}, "aZ"},               // Right at the end does nothing
      {{"abc" + HOME + "\x7f" + DEL + "\r"}, "bc"},          // Backspace at 0 does nothing
      {{"abc" + END + DEL + LEFT + DEL + "\r"}, "ab"},       // Delete at the end does nothing
      {{"abcdef" + LEFT + LEFT + LEFT + "\x0b\r"}, "abc"},  // Ctrl-K
      {{"abc" + HOME + "\x04\r"}, "bc"},                     // Ctrl-D under the caret
      {{"abc\x04\r"}, "abc"},                                 // Ctrl-D at the end of a line
      {{"\x04"}, "q"},                                        // Ctrl-D on an empty line
      {{"abc\x03"}, "q"},                                     // Ctrl-C anywhere
      {{"ab\x1b", ""}, "ab\x1b"},                             // Escape, told by the pause
      {{"a\x1b[5~\x1b[2~\x1b[1;5Cb" + LEFT + "\x0e\r"}, ""},  // unknown keys ignored; Ctrl-N before Up empties
      {{"a\x01\x07\x0c\r"}, "a"},                             // other control characters ignored
  };
  for (const auto& c : cases) {
    std::string keys;
    for (const auto& k : c.keys) keys += k;
    EXPECT_EQ(edit(c.keys), c.line) << test::visible(keys);
    EXPECT_EQ(test::script.raw_entered, 1);
    EXPECT_EQ(test::script.raw_left, 1);
  }
}

TEST_F(line_editor_test, the_screen_shows_prompt_line_and_caret) {
  edit({"abcd" + LEFT + LEFT + "X" + LEFT, "\x7f\r"});
  EXPECT_EQ(test::screen.row_text(0), ">> aXcd             ");
  EXPECT_EQ(test::screen.cursor.row, 1);  // the Enter moved below the input
  EXPECT_EQ(test::screen.cursor.column, 0);
}

TEST_F(line_editor_test, caret_moves_land_on_the_right_cell) {
  start({"abcd" + LEFT + LEFT});
  bool got = true;
  next_line(">> ", false, &got);
  EXPECT_FALSE(got);  // the script ended without Enter
  EXPECT_EQ(test::screen.row_text(0), ">> abcd             ");
  // The end of input moved the cursor below the line.
  EXPECT_EQ(cursor().row, 1);
}

TEST_F(line_editor_test, history_up_and_down_follow_the_rules) {
  struct {
    std::string keys;
    std::string line;
  } cases[] = {
      {UP, "newest"},
      {UP + UP, "older"},
      {UP + UP + UP, ""},                  // Up on the oldest entry empties the line
      {UP + UP + DOWN, "older"},           // the second entry again
      {UP + UP + DOWN + DOWN, "newest"},   // then the first
      {UP + DOWN + DOWN, ""},              // past the newest: empty
      {DOWN, ""},
      {"\x10\x10\x0e", "older"},           // Ctrl-P, Ctrl-N
      {"typed" + UP, "newest"},
  };
  for (const auto& c : cases) {
    block::rs_clear(hist);
    add_history({"newest", "older"});
    EXPECT_EQ(edit({c.keys + "\r"}), c.line) << test::visible(c.keys);
  }
}

TEST_F(line_editor_test, enter_keeps_a_new_line_once_and_never_a_hidden_one) {
  start({"one\r", "one\r", "\r", "two\r", "secret\r", "one\r"});
  next_line();
  next_line();                  // the same as the newest: not kept again
  next_line();                  // empty: not kept
  next_line();
  next_line(">> ", true);       // hidden
  next_line();                  // differs from the newest: kept again
  EXPECT_EQ(history(), (std::vector<std::string>{"one", "two", "one"}));
}

TEST_F(line_editor_test, hidden_input_shows_stars_and_keeps_the_text) {
  start({"pa\xc3\xa9" + LEFT + "s\r"});
  EXPECT_EQ(next_line("Password: ", true), "pas\xc3\xa9");
  EXPECT_EQ(test::screen.row_text(0), "Password: ****      ");
}

TEST_F(line_editor_test, wide_and_combining_characters_move_the_caret_by_their_width) {
  // Two CJK characters (two columns each) and e with a combining acute
  // (one column): three Lefts put the caret before the second CJK one.
  start({"\xe4\xb8\xad\xe6\x96\x87" "e\xcc\x81" + LEFT + LEFT + LEFT + "x"});
  next_line();
  EXPECT_EQ(test::screen.at(3, 0).character, 0x4E2Du);
  EXPECT_EQ(test::screen.at(5, 0).character, static_cast<uint32_t>('x'));
  EXPECT_EQ(test::screen.at(6, 0).character, 0x6587u);
  EXPECT_EQ(test::screen.at(8, 0).character, static_cast<uint32_t>('e'));
  EXPECT_EQ(test::screen.at(9, 0).character, static_cast<uint32_t>(' '));
}

TEST_F(line_editor_test, a_wide_character_at_the_last_column_wraps) {
  // Width 10: ">> " and six letters fill nine columns; the CJK character
  // needs two, so it starts the next row, and Home then End put the
  // cursor after it.
  start({"abcdef\xe4\xb8\xad" + HOME + END + "z"}, 10);
  next_line();
  EXPECT_EQ(test::screen.row_text(0), ">> abcdef ");
  EXPECT_EQ(test::screen.at(0, 1).character, 0x4E2Du);
  EXPECT_EQ(test::screen.at(2, 1).character, static_cast<uint32_t>('z'));
}

TEST_F(line_editor_test, a_line_longer_than_the_window_wraps_and_edits_across_rows) {
  std::string text = "0123456789abcdefghijklmnopq";  // 3 + 27 = 30 columns: three rows of 10
  start({text + HOME + "X" + END + "Y" + LEFT + LEFT + "\x7f"}, 10);
  next_line();
  EXPECT_EQ(test::screen.row_text(0), ">> X012345");
  EXPECT_EQ(test::screen.row_text(1), "6789abcdef");
  EXPECT_EQ(test::screen.row_text(2), "ghijklmnoq");
  EXPECT_EQ(test::screen.row_text(3), "Y         ");
}

TEST_F(line_editor_test, a_paste_of_several_lines_in_one_read_keeps_every_line) {
  start({"first\rsecond\rthird\r"});
  EXPECT_EQ(next_line(), "first");
  EXPECT_EQ(next_line(), "second");
  EXPECT_EQ(next_line(), "third");
  EXPECT_EQ(history(), (std::vector<std::string>{"third", "second", "first"}));
}

TEST_F(line_editor_test, tab_without_completion_is_a_tab_shown_as_four_spaces) {
  start({"\tx\r"});
  EXPECT_EQ(next_line(), "\tx");
  EXPECT_EQ(test::screen.row_text(0), ">>     x            ");
}

TEST_F(line_editor_test, colour_sequences_in_the_prompt_take_no_columns) {
  start({"ab" + LEFT + "X\r"});
  EXPECT_EQ(next_line("\x1b[1;32m>>\x1b[0m "), "aXb");
  EXPECT_EQ(test::screen.row_text(0), ">> aXb              ");
}

// The completion answers of a test: one completed line, or a line and
// candidates.
std::vector<const char*> answer_texts;
int32_t answer_caret = 0;

void scripted_completion(cell*, cell* answer) {
  block::make_at(answer, 4);
  for (const char* text : answer_texts) {
    cell* s = test::push_ascii(text);
    block::rs_append(answer, s);
  }
  if (!answer_texts.empty()) block::rs_abs_at(answer, 0)->data1 = static_cast<uint32_t>(answer_caret);
}

TEST_F(line_editor_test, tab_completion_with_one_answer_replaces_the_line) {
  line_editor::set_completion(scripted_completion);
  answer_texts = {"system/console"};
  answer_caret = 14;
  start({"system/con\t!\r"});
  EXPECT_EQ(next_line(), "system/console!");
}

TEST_F(line_editor_test, tab_completion_with_candidates_lists_them_and_resumes_the_line) {
  line_editor::set_completion(scripted_completion);
  answer_texts = {"(pri)", "print", "prin", "probe"};
  answer_caret = 4;
  start({"(p)" + LEFT + "\t", "X\r"});
  EXPECT_EQ(next_line(), "");  // the candidates end the edit with an empty line
  EXPECT_EQ(test::screen.row_text(0), ">> print prin probe ");
  answer_texts = {};
  EXPECT_EQ(next_line(), "(priX)");  // the next edit starts from the completed line
  EXPECT_EQ(test::screen.row_text(1), ">> (priX)           ");
}

TEST_F(line_editor_test, an_empty_completion_inserts_the_tab) {
  line_editor::set_completion(scripted_completion);
  answer_texts = {};
  start({"a\t\r"});
  EXPECT_EQ(next_line(), "a\t");
}

TEST_F(line_editor_test, redirected_input_reads_utf8_lines_without_a_prompt) {
  test::reset_screen(20, 4, 7, ' ');
  test::start_script({"abc\r\n\xe4\xb8\xad\n", "bad\xff\n", "end"});
  terminal::input_is_console_q = false;
  EXPECT_EQ(next_line(), "abc\r");
  EXPECT_EQ(next_line(), "\xe4\xb8\xad");
  auto e = test::raised([&] { next_line(); });
  EXPECT_TRUE(test::is(e, err::access_invalid_utf8));
  bool got = false;
  EXPECT_EQ(next_line(">> ", false, &got), "end");
  EXPECT_TRUE(got);
  EXPECT_EQ(next_line(">> ", false, &got), "");
  EXPECT_FALSE(got);
  EXPECT_EQ(test::screen.row_text(0), std::string(20, ' '));
}

}  // namespace
}  // namespace ixo
