#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "startup/system/console_output.hpp"
#include "support/screen_buffer.hpp"

namespace ixo::system {
namespace {

using test::screen;

class ansi : public ::testing::Test {
 protected:
  void SetUp() override {
    test::reset_screen(6, 4, 0x1E);
    use_console(&test::memory_console);
  }
  void TearDown() override { use_console(nullptr); }

  static void prin(std::string_view s) {
    prin_latin1(s.data(), static_cast<int32_t>(s.size()));
  }
  static void prin(std::u16string_view s) {
    prin_ucs2(s.data(), static_cast<int32_t>(s.size() * 2));
  }
  static std::vector<uint32_t> characters(int32_t count) {
    std::vector<uint32_t> v;
    for (int32_t i = 0; i < count; ++i) v.push_back(screen.cells[i].character);
    return v;
  }
};

// Initial attribute 1Eh: foreground yellow (6) with intensity, background blue.
TEST_F(ansi, sgr_codes_set_colours_intensity_underscore_and_reverse) {
  struct sgr_case {
    const char* text;
    uint16_t attribute;  // of the "x" that follows
  };
  const sgr_case cases[] = {
      {"\x1b[32mx", 0x1A},
      {"\x1b[47mx", 0x7E},
      {"\x1b[1mx", 0x9E},
      {"\x1b[4mx", 0x801E},
      {"\x1b[4;32mx", 0x1A},  // a colour keeps only the low byte
      {"\x1b[7mx", 0xE1},
      {"\x1b[31;42mx", 0x2C},
      {"\x1b[35;22mx", 0x1D},
      {"\x1b[30;40m\x1b[0mx", 0x1E},
      {"\x1b[30;40m\x1b[39mx", 0x0E},  // the initial foreground colour
      {"\x1b[30;40m\x1b[49mx", 0x18},  // the initial background colour
      {"\x1b[22;27mx", 0x1E},          // codes without an attribute change nothing
      {"\x1b[38;5;208mx", 0x1E},
      {"\x1b[65567mx", 0x1A},          // numbers wrap modulo 65535: 32
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + 1);
    test::reset_screen(6, 4, 0x1E);
    prin(c.text);
    EXPECT_EQ(screen.at(0, 0).character, 'x');
    EXPECT_EQ(screen.at(0, 0).attribute, c.attribute);
  }
}

TEST_F(ansi, several_sgr_codes_apply_in_pairs_and_set_the_attribute_once) {
  test::reset_screen(6, 4, 0x07);
  prin("\x1b[1;33;44mx");
  EXPECT_EQ(screen.at(0, 0).attribute, 0x9E);
  EXPECT_EQ(screen.attribute_sets, 1);
}

TEST_F(ansi, erases_fill_with_spaces_in_the_initial_attribute) {
  struct erase_case {
    const char* text;
    const char* screen;
    console_position cursor;
  };
  const erase_case cases[] = {
      {"\x1b[3;1H\x1b[K", "......|...   |......|......", {3, 1}},
      {"\x1b[3;1H\x1b[1K", "......|   ...|......|......", {0, 1}},
      {"\x1b[3;1H\x1b[2K", "......|      |......|......", {0, 1}},
      {"\x1b[3;1H\x1b[0K", "......|......|......|......", {3, 1}},
      {"\x1b[3;2H\x1b[J", "......|......|      |      ", {3, 2}},
      {"\x1b[3;2H\x1b[1J", "      |      |......|......", {3, 2}},
      {"\x1b[3;2H\x1b[2J", "      |      |      |      ", {0, 0}},
      {"\x1b[3;2H\x1b[0J", "......|......|......|......", {3, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + 7);
    test::reset_screen(6, 4, 0x1E);
    prin("\x1b[41m");
    prin(c.text);
    EXPECT_EQ(screen.text(), c.screen);
    EXPECT_EQ(screen.cursor.column, c.cursor.column);
    EXPECT_EQ(screen.cursor.row, c.cursor.row);
    for (const auto& cell : screen.cells) EXPECT_EQ(cell.attribute, 0x1E);
  }
}

TEST_F(ansi, cursor_position_takes_the_column_then_the_row) {
  test::reset_screen(20, 12, 0x1E);
  prin("\x1b[5;10HX");
  EXPECT_EQ(screen.at(5, 10).character, 'X');
  EXPECT_EQ(screen.cursor.column, 6);
  EXPECT_EQ(screen.cursor.row, 10);
}

TEST_F(ansi, cursor_moves_clamp_to_the_screen) {
  struct move_case {
    const char* text;  // from column 3, row 2 of a 6 x 4 screen
    console_position cursor;
  };
  const move_case cases[] = {
      {"\x1b[1A", {3, 1}},     {"\x1b[10A", {3, 0}},   {"\x1b[1B", {3, 3}},
      {"\x1b[2B", {3, 3}},     {"\x1b[2C", {5, 2}},    {"\x1b[10C", {5, 2}},
      {"\x1b[2D", {1, 2}},     {"\x1b[10D", {0, 2}},   {"\x1b[0A", {3, 2}},
      {"\x1b[99;99H", {5, 3}}, {"\x1b[4;1f", {4, 1}},  {"\x1b[H", {0, 0}},
      {"\x1b[f", {0, 0}},      {"\x1b[;H", {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + 1);
    test::reset_screen(6, 4, 0x1E);
    prin("\x1b[3;2H");
    prin(c.text);
    EXPECT_EQ(screen.cursor.column, c.cursor.column);
    EXPECT_EQ(screen.cursor.row, c.cursor.row);
  }
}

TEST_F(ansi, restore_returns_to_the_saved_cursor) {
  prin("\x1b[2;1H\x1b[s\x1b[3;3Ha\x1b[uX");
  EXPECT_EQ(screen.text(), "......|..X...|......|...a..");
  EXPECT_EQ(screen.cursor.column, 3);
  EXPECT_EQ(screen.cursor.row, 1);
}

TEST_F(ansi, escape_not_followed_by_bracket_is_a_character) {
  prin("a\x1b" "b\x1b");
  EXPECT_EQ(characters(5), (std::vector<uint32_t>{'a', 27, 'b', 27, '.'}));

  // Unit 2: a unit whose low byte is "[" is not "[".
  test::reset_screen(6, 4, 0x1E);
  prin(u"a\x1b\x015b\x1b[32mb");
  EXPECT_EQ(characters(4), (std::vector<uint32_t>{'a', 27, 0x15B, 'b'}));
  EXPECT_EQ(screen.at(3, 0).attribute, 0x1A);
}

TEST_F(ansi, long_text_arrives_in_order_with_its_sequences_interpreted) {
  for (int32_t unit : {1, 2}) {
    SCOPED_TRACE(unit);
    test::reset_screen(40, 30, 0x1E);
    std::u16string text;
    std::vector<uint32_t> expected;
    for (int32_t i = 0; i < 1100; ++i) {
      if (i == 300) text += u"\x1b[32m";
      if (i == 900) text += u"\x1b[41m";
      expected.push_back((unit == 1 ? 'a' : 0x400) + i % 26);
      text += static_cast<char16_t>(expected.back());
    }
    if (unit == 1)
      prin(std::string(text.begin(), text.end()));
    else
      prin(text);
    EXPECT_EQ(characters(1100), expected);
    for (int32_t i = 0; i < 1100; ++i) {
      uint16_t attribute = i < 300 ? 0x1E : i < 900 ? 0x1A : 0x4A;
      ASSERT_EQ(screen.cells[i].attribute, attribute) << i;
    }
    EXPECT_EQ(screen.cells[1100].character, '.');
  }
}

TEST_F(ansi, sequences_not_interpreted_go_to_the_console_unchanged) {
  struct hand_on_case {
    const char* text;
    const char* handed_on;
    const char* row;
  };
  const hand_on_case cases[] = {
      {"a\x1b[?25lb", "\x1b[?25l", "ab...."},
      {"a\x1b[?1000;1006hb", "\x1b[?1000;1006h", "ab...."},
      {"a\x1b[2;5rb", "\x1b[2;5r", "ab...."},
      {"a\x1b[5Hb", "\x1b[5H", "ab...."},
      {"a\x1b[mb", "\x1b[m", "ab...."},
      {"a\x1b[3;4;xb", "\x1b[3;4;x", "ab...."},
      {"a\x1b[3;xb", "\x1b[3;x", "ab...."},
      {"a\x1b[>cb", "\x1b[>", "acb..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + 2);
    test::reset_screen(6, 4, 0x1E);
    prin(c.text);
    EXPECT_EQ(screen.handed_on, c.handed_on);
    EXPECT_EQ(screen.row_text(0), c.row);
    EXPECT_EQ(screen.attribute_sets, 0);
  }
}

TEST_F(ansi, a_sequence_cut_off_by_the_end_of_the_text_is_dropped) {
  for (const char* text : {"a\x1b[32", "a\x1b[1;3", "a\x1b[?25"}) {
    SCOPED_TRACE(text + 2);
    test::reset_screen(6, 4, 0x1E);
    prin(text);
    prin("b");
    EXPECT_EQ(screen.row_text(0), "ab....");
    EXPECT_EQ(screen.handed_on, "");
    EXPECT_EQ(screen.attribute_sets, 0);
  }
}

TEST_F(ansi, question_mark_prints_the_screen_buffer_dump) {
  test::reset_screen(40, 12, 0x1E, ' ');
  prin("\x1b[32m\x1b[7;0H\x1b[?");
  const char* rows[] = {
      "       Screen buffer info:",
      "   size______ 40x12",
      "   cursor____ 7x0",
      "   attribute_ 0000001A 0000001E",
      "   left______ 0 top: 0",
      "   right_____ 39 bottom: 11",
      "   max_______ 40x12",
  };
  for (int32_t r = 0; r < 7; ++r) {
    std::string row = screen.row_text(r);
    EXPECT_EQ(row.substr(0, row.find_last_not_of(' ') + 1), rows[r]);
  }
  EXPECT_EQ(screen.cursor.row, 7);
}

}  // namespace
}  // namespace ixo::system
