// The text UI's input decoder: byte strings fed to the queue, one frame per
// decode, and what the routing is handed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/tui/input.hpp"

namespace ixo {
namespace {

using namespace tui::input;

// What the routing got, one line per call.
std::vector<std::string> got;
int32_t top = 0;

std::string num(float f) { return std::to_string(static_cast<int32_t>(f)); }

void on_key(int32_t key, int32_t special) {
  got.push_back(special ? "special " + std::to_string(special) : "key " + std::to_string(key));
}
void on_button(int32_t type, float x, float y, uint32_t modifiers) {
  got.push_back("button " + std::to_string(type) + " " + num(x) + "," + num(y) + " " + std::to_string(modifiers));
}
void on_move(float x, float y, uint32_t modifiers) {
  got.push_back("move " + num(x) + "," + num(y) + " " + std::to_string(modifiers));
}
void on_wheel(float direction, float x, float y, uint32_t) {
  got.push_back("wheel " + num(direction) + " " + num(x) + "," + num(y));
}
void on_report(int32_t row, int32_t column) {
  got.push_back("report " + std::to_string(row) + "," + std::to_string(column));
}
int32_t top_row() { return top; }

const routing recorder = {on_key, on_button, on_move, on_wheel, on_report, top_row};

class TuiInput : public ::testing::Test {
 protected:
  void SetUp() override {
    set_routing(&recorder);
    reset_queue();
    got.clear();
    top = 0;
  }
  void TearDown() override {
    set_routing(nullptr);
    reset_queue();
  }
  // Feeds the bytes as one frame's input and decodes them; answers what the
  // routing got in that frame.
  std::vector<std::string> frame(const std::string& bytes) {
    got.clear();
    queue_bytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    decode_input();
    return got;
  }
};

using lines = std::vector<std::string>;
const std::string E = "\x1b";

TEST_F(TuiInput, sgr_mouse_reports_give_buttons_moves_and_wheel) {
  // Press and release at column 10, row 5, with the area's top at row 0.
  EXPECT_EQ(frame(E + "[<0;10;5M" + E + "[<0;10;5m"), (lines{"button 1 9,4 0", "button 2 9,4 0"}));
  // Motion with the button held after a press.
  EXPECT_EQ(frame(E + "[<0;1;1M" + E + "[<32;11;5M"), (lines{"button 1 0,0 0", "move 10,4 33554432"}));
  frame(E + "[<0;1;1m");
  // Motion without a button.
  EXPECT_EQ(frame(E + "[<35;3;4M"), (lines{"move 2,3 0"}));
  EXPECT_EQ(frame(E + "[<64;1;1M" + E + "[<65;1;1M"), (lines{"wheel 1 0,0", "wheel -1 0,0"}));
  // Middle and right buttons; kinds 6 and 7 give nothing.
  EXPECT_EQ(frame(E + "[<1;1;1M" + E + "[<1;1;1m" + E + "[<2;2;1M" + E + "[<2;2;1m" + E + "[<66;1;1M"),
            (lines{"button 3 0,0 0", "button 4 0,0 0", "button 5 1,0 0", "button 6 1,0 0"}));
}

TEST_F(TuiInput, mouse_modifiers_and_the_top_row) {
  EXPECT_EQ(frame(E + "[<4;1;1M" + E + "[<8;1;1m" + E + "[<16;1;1M" + E + "[<28;1;1m"),
            (lines{"button 1 0,0 536870912", "button 2 0,0 1073741824", "button 1 0,0 268435456",
                   "button 2 0,0 1879048192"}));
  top = 3;
  EXPECT_EQ(frame(E + "[<35;1;5M"), (lines{"move 0,1 0"}));
}

TEST_F(TuiInput, a_report_split_over_two_frames_is_decoded_once_in_the_second) {
  EXPECT_EQ(frame(E + "[<0;1"), lines{});
  EXPECT_TRUE(incomplete_q());
  EXPECT_EQ(frame(";1M"), (lines{"button 1 0,0 0"}));
  EXPECT_FALSE(incomplete_q());
  EXPECT_EQ(queued(), 0);
  // A key typed before the cut-off report is sent at once.
  EXPECT_EQ(frame("a" + E + "["), (lines{"key 97"}));
  EXPECT_EQ(frame("A"), (lines{"special 236"}));
}

TEST_F(TuiInput, the_key_table_and_the_linux_forms) {
  struct row {
    std::string bytes;
    int32_t code;
  };
  const row table[] = {
      {"[A", 236},  {"[B", 235},  {"[C", 234},  {"[D", 233},  {"[F", 232},  {"[H", 231},  {"[Z", 10},
      {"OP", 225},  {"OQ", 224},  {"OR", 223},  {"OS", 222},  {"[15~", 221}, {"[17~", 220}, {"[18~", 219},
      {"[19~", 218}, {"[20~", 217}, {"[21~", 216}, {"[23~", 215}, {"[24~", 214}, {"[3~", 229}, {"[5~", 228},
      {"[6~", 227}, {"OA", 236},  {"OB", 235},  {"OC", 234},  {"OD", 233},  {"[1~", 231}, {"[7~", 231},
      {"OH", 231},  {"[4~", 232}, {"[8~", 232}, {"OF", 232},
  };
  for (const row& r : table)
    EXPECT_EQ(frame(E + r.bytes), (lines{"special " + std::to_string(r.code)})) << r.bytes;
}

TEST_F(TuiInput, sequences_outside_the_table_give_nothing) {
  // A modified arrow, Insert, ESC with an ordinary character (which takes
  // the byte after it too), unknown finals.
  for (const std::string& s : {"[1;5A", "[2~", "[1;2~", "[?1;2c", "[<0;1;1X", "[99~"})
    EXPECT_EQ(frame(E + s), lines{}) << s;
  EXPECT_EQ(frame(E + "ab"), lines{});
  EXPECT_EQ(frame(E + "abc"), (lines{"key 99"}));
}

TEST_F(TuiInput, control_bytes_and_a_lone_escape) {
  EXPECT_EQ(frame(std::string("\x08\x0a\x09\x7f\x03\x0d", 6)),
            (lines{"key 127", "key 13", "key 9", "key 127", "key 3", "key 13"}));
  EXPECT_EQ(frame(std::string(1, '\0')), (lines{"key 0"}));
  EXPECT_EQ(frame(E), (lines{"key 27"}));
  // An ESC at the end of a longer queue waits: alone in the next frame it
  // is the Escape key.
  EXPECT_EQ(frame("x" + E), (lines{"key 120"}));
  EXPECT_EQ(frame(""), (lines{"key 27"}));
}

TEST_F(TuiInput, utf8_characters_and_invalid_bytes) {
  EXPECT_EQ(frame("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), (lines{"key 97", "key 233", "key 8364", "key 128512"}));
  // One U+FFFD per byte that is not UTF-8.
  EXPECT_EQ(frame("\xff\xfe"), (lines{"key 65533", "key 65533"}));
  EXPECT_EQ(frame("\xc3" "A"), (lines{"key 65533", "key 65"}));
  EXPECT_EQ(frame("\xe2\x82" "A"), (lines{"key 65533", "key 65533", "key 65"}));
  // Overlong forms and encoded surrogates.
  EXPECT_EQ(frame("\xc0\xaf"), (lines{"key 65533", "key 65533"}));
  EXPECT_EQ(frame("\xed\xa0\x80"), (lines{"key 65533", "key 65533", "key 65533"}));
  EXPECT_EQ(frame("\xf4\x90\x80\x80"), (lines{"key 65533", "key 65533", "key 65533", "key 65533"}));
  // A character cut off at the end of the frame waits for the rest.
  EXPECT_EQ(frame("\xf0\x9f"), lines{});
  EXPECT_EQ(frame("\x98\x80"), (lines{"key 128512"}));
}

TEST_F(TuiInput, queued_code_points_come_back_as_keys) {
  got.clear();
  queue_char(0x1F600);
  queue_char('z');
  decode_input();
  EXPECT_EQ(got, (lines{"key 128512", "key 122"}));
}

TEST_F(TuiInput, osc_and_dcs_strings_are_skipped) {
  EXPECT_EQ(frame(E + "]0;title" + E + "\\x"), (lines{"key 120"}));
  EXPECT_EQ(frame(E + "Pq#0;2;0;0;0" + E + "\\y"), (lines{"key 121"}));
  // Unterminated: everything waits until the terminator comes.
  EXPECT_EQ(frame(E + "]0;ti"), lines{});
  EXPECT_EQ(frame("tle"), lines{});
  EXPECT_EQ(frame(E + "\\z"), (lines{"key 122"}));
  // BEL ends a string too.
  EXPECT_EQ(frame(E + "]0;title\x07" + "x" + E + "Pq\x07y"), (lines{"key 120", "key 121"}));
  // A string left open can be dropped; what comes next decodes.
  EXPECT_EQ(frame(E + "]"), lines{});
  EXPECT_TRUE(open_string_q());
  drop_open_string();
  EXPECT_EQ(queued(), 0);
  EXPECT_EQ(frame(std::string(1, '\x1b')), (lines{"key 27"}));
  // Only a string is dropped: a key sequence cut short waits for its end.
  EXPECT_EQ(frame(E + "[1"), lines{});
  EXPECT_FALSE(open_string_q());
  drop_open_string();
  EXPECT_EQ(frame("5~"), (lines{"special 221"}));
}

TEST_F(TuiInput, cursor_reports) {
  EXPECT_EQ(frame(E + "[12;40R"), (lines{"report 12,40"}));
  // One parameter, or three, is no report.
  EXPECT_EQ(frame(E + "[12R" + E + "[1;2;3R"), lines{});
}

TEST_F(TuiInput, long_parameter_lists_neither_overrun_nor_count_as_reports) {
  EXPECT_EQ(frame(E + "[1;2;3;4;5;6M" + E + "[<0;1;1;1M" + E + "[1;2;3;4;5R"), lines{});
  EXPECT_EQ(frame(E + "[" + std::string(500, ';') + "M"), lines{});
  // Digits past any sensible size saturate.
  EXPECT_EQ(frame(E + "[<0;" + std::string(40, '9') + ";1M"), (lines{"button 1 999998,0 0"}));
  frame(E + "[<0;1;1m");
}

TEST_F(TuiInput, an_escape_inside_a_csi_abandons_it) {
  EXPECT_EQ(frame(E + "[1;" + E + "[A"), (lines{"special 236"}));
}

}  // namespace
}  // namespace ixo
