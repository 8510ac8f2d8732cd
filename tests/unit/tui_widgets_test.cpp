// The text UI's widgets: faces made by Ixo code (the runtime started with
// the boot image) get their widgets, are rendered into the cell buffer and
// receive decoded keys and clicks; the tests compare cells, emitted bytes
// and the events the widgets send back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/tui/screen.hpp"
#include "gui/tui/widgets.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/start.hpp"
#include "support/booted.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"

namespace ixo::tui {
namespace {

struct sent_event {
  widget_ref w;
  int32_t type;
  int32_t value;
  bool operator==(const sent_event&) const = default;
};
std::vector<sent_event> sent;
bool answer_done = false;
bool record_event(widget_ref w, int32_t type, int32_t value) {
  sent.push_back({w, type, value});
  return answer_done && type == EVENT_SELECT;
}

std::vector<std::string> writes;
void record_bytes(const char* bytes, size_t length) { writes.emplace_back(bytes, length); }

// Helper code the tests share: `prep` gives a face tree a state block in
// each face (parents before children) for the widgets' handles.
const char* PRELUDE = R"(
  show: func [face /with parent /nested] []
  prep: func [f /local child] [
    if block? f/pane [foreach child f/pane [child/parent: f]]
    f/state: reduce [system/view/platform/make-null-handle 0 none none]
    if block? f/pane [foreach child f/pane [prep child]]
    f
  ]
)";

class tui_widgets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::start_booted_runtime();
    ASSERT_FALSE(test::raised([] { eval(PRELUDE); }));
  }

  void SetUp() override {
    screen = screen_state{};
    screen.columns = 80;
    screen.rows = 24;
    sent.clear();
    answer_done = false;
    send_event = record_event;
    writes.clear();
    use_sink(record_bytes);
  }
  void TearDown() override {
    while (!windows.empty()) destroy_widget(windows.back().window);
    send_event = nullptr;
    use_sink(nullptr);
    screen = screen_state{};
  }

  // Evaluates Ixo source; its value is left in `result`.
  static inline cell& result = test::eval_result;
  static void eval(const std::string& source) { test::eval_source(source); }
  static cell global(const char* name) { return *context::get_global(symbol::make(name)); }

  // Makes the widgets of a prepped face tree, parents first.
  static widget_ref make_tree(cell face, widget_ref parent) {
    memory::root_guard keep(&face);
    widget_ref w = make_widget(&face, parent);
    int32_t count = 0;
    for (int32_t i = 0;; ++i) {
      const cell* pane = face_values(w) + FACE_PANE;
      if (TYPE_OF(pane) != TYPE_BLOCK) break;
      const cell* faces = block::values_of(pane, count);
      if (i >= count) break;
      make_tree(faces[i], w);
    }
    return w;
  }
  // Evaluates source that answers a face tree; preps it and makes its
  // widgets. Answers the root widget.
  static widget_ref build(const std::string& source) {
    widget_ref w = 0;
    auto e = test::raised([&] {
      eval("prep do [" + source + "]");
      w = make_tree(result, 0);
    });
    EXPECT_FALSE(e) << source;
    return w;
  }
  static widget_ref widget_of(const char* name) {
    cell face = global(name);
    return face_handle_q(&face);
  }

  // Renders the active window into a fresh buffer.
  static void paint() {
    screen.redraw = true;
    render();
  }
  static std::u32string row_text(int32_t row) {
    std::u32string s;
    for (int32_t x = 0; x < screen.width; ++x) {
      const screen_cell* c = cell_at(x, row);
      if (c->attrs & ATTR_CONTINUATION) continue;
      s += static_cast<char32_t>(c->attrs & ATTR_MASKED ? '*' : c->code ? c->code : ' ');
    }
    while (!s.empty() && s.back() == U' ') s.pop_back();
    return s;
  }
  static bool key(widget_ref w, int32_t code, bool special = false) {
    return handle_event(w, EVENT_KEY, {w, 0, 0, code, 0, special});
  }
  static bool click(widget_ref w, int32_t x, int32_t y) { return handle_event(w, EVENT_CLICK, {w, x, y, 0, 0, false}); }
  static std::u32string text_of(const char* name) {
    cell face = global(name);
    const cell* text = object::get_values(&face) + FACE_TEXT;
    text_units t = string_units(text);
    std::u32string s;
    for (int32_t i = 0; i < t.length; ++i) s += static_cast<char32_t>(t.at(i));
    return s;
  }
};

// ---- Flags, hit test, visibility ------------------------------------------------

TEST_F(tui_widgets, face_flags_become_widget_bits) {
  build(R"(win: make face! [type: 'window size: 10x3 pane: reduce [
      a: make face! [type: 'base size: 2x1 flags: [all-over focusable]]
      b: make face! [type: 'field size: 2x1 flags: 'password]
      c: make face! [type: 'base size: 2x1 flags: 7]]])");
  EXPECT_EQ(widget_at(widget_of("a")).flags & 0xFFFF0000u, 0x100000u | 0x400000u | 0x10000u);
  EXPECT_EQ(widget_at(widget_of("b")).flags & WF_PASSWORD, WF_PASSWORD);
  EXPECT_EQ(widget_at(widget_of("c")).flags & (WF_ALL_OVER | WF_FOCUSABLE), 0u);
  auto e = test::raised([] {
    eval("flags-face: prep make face! [type: 'base flags: [focusable bogus]]");
    make_widget(&result, 0);
  });
  ASSERT_TRUE(test::is(e, err::script_invalid_arg));
  EXPECT_EQ(windows.size(), 1u);  // the failed widget left nothing behind
}

TEST_F(tui_widgets, a_later_sibling_wins_the_hit_test_and_hidden_ones_are_skipped) {
  widget_ref win = build(R"(win: make face! [type: 'window size: 10x5 pane: reduce [
      a: make face! [type: 'base offset: 0x0 size: 4x2]
      b: make face! [type: 'base offset: 2x1 size: 4x2]
      c: make face! [type: 'base offset: 5x2 size: 2x2 visible?: false]]])");
  EXPECT_EQ(hit_test(win, 3, 1), widget_of("b"));
  EXPECT_EQ(hit_test(win, 1, 1), widget_of("a"));
  EXPECT_EQ(hit_test(win, 6, 3), 0);
  EXPECT_EQ(hit_test(win, 9, 4), 0);
}

TEST_F(tui_widgets, a_hidden_face_and_its_children_are_not_drawn) {
  build(R"(win: make face! [type: 'window size: 10x3 pane: reduce [
      p: make face! [type: 'panel offset: 0x0 size: 10x3 visible?: false color: 255.0.0 pane: reduce [
        make face! [type: 'base offset: 1x1 size: 3x1 text: "abc"]]]
      make face! [type: 'base offset: 5x0 size: 2x1 text: "ok"]]])");
  paint();
  EXPECT_EQ(row_text(0), U"     ok");
  EXPECT_EQ(row_text(1), U"");
  EXPECT_EQ(cell_at(0, 0)->bg, COLOR_DEFAULT);
}

// ---- Text rendering -----------------------------------------------------------------

TEST_F(tui_widgets, escapes_in_a_base_text_set_attributes_and_colours) {
  build(R"(win: make face! [type: 'window size: 4x1 pane: reduce [
      make face! [type: 'base size: 4x1 text: "^[[1;31mA^[[0mb^[[38;5;200mc^[[2J"]]])");
  paint();
  EXPECT_EQ(row_text(0), U"Abc");
  EXPECT_EQ(cell_at(0, 0)->attrs, ATTR_BOLD);
  EXPECT_EQ(cell_at(0, 0)->fg, basic_color(1));
  EXPECT_EQ(cell_at(1, 0)->attrs, 0u);
  EXPECT_EQ(cell_at(1, 0)->fg, COLOR_DEFAULT);
  EXPECT_EQ(cell_at(2, 0)->fg, xterm_color(200));
}

TEST_F(tui_widgets, sgr_codes) {
  text_style base{xterm_color(1), xterm_color(2), 0, false, true};
  struct row {
    int32_t code;
    uint32_t fg, bg, attrs;
  };
  const row rows[] = {
      {1, xterm_color(1), xterm_color(2), ATTR_BOLD},   {3, xterm_color(1), xterm_color(2), ATTR_ITALIC},
      {5, xterm_color(1), xterm_color(2), ATTR_BLINK},  {6, xterm_color(1), xterm_color(2), 0},
      {8, xterm_color(1), xterm_color(2), ATTR_CONCEAL}, {9, xterm_color(1), xterm_color(2), ATTR_STRIKE},
      {34, basic_color(4), xterm_color(2), 0},          {39, basic_color(9), xterm_color(2), 0},
      {41, xterm_color(1), basic_color(1), 0},          {49, xterm_color(1), basic_color(9), 0},
      {92, basic_color(12), xterm_color(2), 0},         {107, xterm_color(1), basic_color(17), 0},
      {38, xterm_color(1), xterm_color(2), 0},          {48, xterm_color(1), xterm_color(2), 0},
  };
  for (const row& r : rows) {
    text_style s = base;
    apply_sgr(s, r.code, base);
    EXPECT_EQ(s.fg, r.fg) << r.code;
    EXPECT_EQ(s.bg, r.bg) << r.code;
    EXPECT_EQ(s.attrs, r.attrs) << r.code;
  }
  text_style s = base;
  s.attrs = ATTR_BOLD | ATTR_DIM | ATTR_REVERSE;
  apply_sgr(s, 22, base);
  EXPECT_EQ(s.attrs, ATTR_REVERSE);
  apply_sgr(s, 27, base);
  apply_sgr(s, 4, base);
  apply_sgr(s, 0, base);
  EXPECT_EQ(s.attrs, 0u);
}

TEST_F(tui_widgets, text_wraps_or_is_cut_at_the_clip_and_wide_characters_take_two_cells) {
  fit_screen(6, 4);
  std::u32string text = U"abcdefgh\nxy\u4E2D\u4E2Dz";
  text_units units{reinterpret_cast<const uint8_t*>(text.data()), 4, static_cast<int32_t>(text.size())};
  draw_text(units, 1, 0, {1, 0, 5, 4}, {0, 0, 0, false, false});
  EXPECT_EQ(row_text(0), U" abcd");
  EXPECT_EQ(row_text(1), U" xy\u4E2D");
  EXPECT_TRUE(cell_at(4, 1)->attrs & ATTR_CONTINUATION);
  clear_screen_cells();
  draw_text(units, 1, 0, {1, 0, 5, 4}, {0, 0, 0, true, false});
  EXPECT_EQ(row_text(0), U" abcd");
  EXPECT_EQ(row_text(1), U" efgh");
  EXPECT_EQ(row_text(2), U" xy\u4E2D");
  EXPECT_EQ(row_text(3), U" \u4E2Dz");
  // Lines above the clip are laid out but not drawn; cells left of it are
  // skipped ("gh" wraps to x = 0, left of the clip).
  clear_screen_cells();
  draw_text(units, 0, -1, {2, 0, 6, 4}, {0, 0, 0, true, false});
  EXPECT_EQ(row_text(0), U"");
  EXPECT_EQ(row_text(1), U"  \u4E2D\u4E2D");
  EXPECT_EQ(row_text(2), U"");
}

TEST_F(tui_widgets, text_is_aligned_by_the_para_and_a_hint_is_dim) {
  build(R"(win: make face! [type: 'window size: 10x3 pane: reduce [
      make face! [type: 'base offset: 0x0 size: 10x3 text: "ab"
        para: make para! [align: 'center v-align: 'bottom]]]])");
  paint();
  EXPECT_EQ(row_text(2), U"    ab");
  build(R"(win2: make face! [type: 'window size: 10x1 pane: reduce [
      make face! [type: 'field size: 10x1 text: "" options: [hint: "type here"]]]])");
  paint();
  EXPECT_EQ(row_text(0), U"type here");
  EXPECT_EQ(cell_at(0, 0)->attrs, ATTR_DIM);
}

TEST_F(tui_widgets, colours_come_from_the_face_and_its_font) {
  build(R"(win: make face! [type: 'window size: 3x1 pane: reduce [
      make face! [type: 'base size: 3x1 text: "x" color: 255.0.0 font: make font! [color: 0.0.255]]]])");
  paint();
  EXPECT_EQ(cell_at(0, 0)->bg, xterm_color(196));
  EXPECT_EQ(cell_at(0, 0)->fg, xterm_color(21));
  EXPECT_EQ(cell_at(2, 0)->bg, xterm_color(196));
  EXPECT_EQ(cell_at(2, 0)->code, ' ');
}

// ---- Frames of a window ---------------------------------------------------------------

TEST_F(tui_widgets, a_window_wider_than_the_terminal_draws_the_terminal_width) {
  build(R"(win: make face! [type: 'window size: 100x2 pane: reduce [
      make face! [type: 'base size: 100x1 text: "x"]]])");
  paint();
  EXPECT_EQ(screen.width, 80);
  ASSERT_EQ(writes.size(), 2u);  // the cursor hidden, then the frame
  EXPECT_EQ(writes[0], "\033[?25l");
  std::string frame = writes[1];
  std::string first_row = frame.substr(5, frame.find("\033[49m\r\n") - 5);
  EXPECT_EQ(first_row, "x" + std::string(79, ' '));
  writes.clear();
  render();  // redraw flag clear: no frame
  EXPECT_TRUE(writes.empty());
}

// ---- Widget types --------------------------------------------------------------------

TEST_F(tui_widgets, a_focused_button_is_reversed_and_space_clicks_it) {
  build(R"(win: make face! [type: 'window size: 6x1 pane: reduce [
      b: make face! [type: 'button size: 6x1 text: "OK" para: make para! [align: 'center]]]])");
  widget_ref b = widget_of("b");
  paint();
  EXPECT_EQ(row_text(0), U"  OK");
  EXPECT_EQ(cell_at(2, 0)->attrs, 0u);
  focus_widget(b);
  paint();
  EXPECT_EQ(cell_at(0, 0)->attrs, 0u);  // the fill keeps its attributes
  EXPECT_EQ(cell_at(2, 0)->attrs, ATTR_REVERSE);
  EXPECT_TRUE(key(b, ' '));
  EXPECT_EQ(sent, (std::vector<sent_event>{{b, EVENT_CLICK, 0}}));
  EXPECT_TRUE(screen.redraw);
  EXPECT_FALSE(key(b, 'x'));
}

TEST_F(tui_widgets, a_field_takes_what_fits_and_edits_at_the_cursor) {
  build(R"(win: make face! [type: 'window size: 10x1 pane: reduce [
      f: make face! [type: 'field size: 10x1 text: copy ""]]])");
  widget_ref f = widget_of("f");
  for (char c : std::string("abcdefgh")) key(f, c);
  key(f, 0x4E2D);  // needs two columns: 8 + 2 fits
  key(f, 'z');     // full
  EXPECT_EQ(text_of("f"), U"abcdefgh\u4E2D");
  EXPECT_EQ(widget_at(f).edit.text_width, 10);
  key(f, 8);    // Backspace
  key(f, 0x4E2D);
  EXPECT_EQ(text_of("f"), U"abcdefgh\u4E2D");
  key(f, 127);
  key(f, 'i');
  key(f, 'j');
  key(f, 'k');  // full again
  EXPECT_EQ(text_of("f"), U"abcdefghij");
  key(f, KEY_LEFT_CODE, true);
  key(f, 2);     // Ctrl-B
  EXPECT_EQ(widget_at(f).edit.index, 8);
  key(f, 127);
  key(f, 6);     // Ctrl-F
  key(f, 8);
  EXPECT_EQ(text_of("f"), U"abcdefgj");
  key(f, KEY_RIGHT_CODE, true);
  key(f, KEY_RIGHT_CODE, true);  // at the end: stays
  EXPECT_EQ(widget_at(f).edit.index, 8);
  EXPECT_FALSE(key(f, 9));
  EXPECT_FALSE(key(f, 13));
  EXPECT_TRUE(key(f, 1));        // other control keys: taken, nothing done
  EXPECT_EQ(text_of("f"), U"abcdefgj");
  EXPECT_TRUE(key(f, 233));      // the character é, not Left
  EXPECT_EQ(text_of("f"), U"abcdefgj\u00E9");
  click(f, 3, 0);
  EXPECT_EQ(widget_at(f).edit.index, 3);
  EXPECT_EQ(widget_at(f).edit.column, 3);
  click(f, 40, 0);
  EXPECT_EQ(widget_at(f).edit.index, 9);
  focus_widget(f);
  click(f, 2, 0);
  paint();
  EXPECT_EQ(screen.cursor_column, 2);
  EXPECT_EQ(screen.cursor_row, 0);
  EXPECT_EQ(writes.back().substr(writes.back().size() - 4), "\033[2C");
}

// The field edits its face's text in place; the face hears of each edit
// through the text's owner, so its data follows what is typed, also when
// the text was none before the first key.
TEST_F(tui_widgets, a_field_edit_reaches_its_face_data) {
  build(R"(win: make face! [type: 'window size: 10x1 pane: reduce [
      f: make face! [type: 'field size: 10x1]]])");
  widget_ref f = widget_of("f");
  key(f, '4');
  key(f, '2');
  key(f, '7');
  key(f, 8);
  EXPECT_EQ(text_of("f"), U"42");
  eval("42 = f/data");
  EXPECT_TRUE(TYPE_OF(&result) == TYPE_LOGIC && result.data1 != 0);
  key(f, 8);
  key(f, 8);
  eval("none? f/data");  // an empty text takes the default: none
  EXPECT_TRUE(TYPE_OF(&result) == TYPE_LOGIC && result.data1 != 0);
}

// An error raised by the owner of the text that a field edits ends in the
// field: the key is still taken.
TEST_F(tui_widgets, an_error_of_the_text_owner_stays_in_the_field) {
  build(R"(o: make object! [t: copy "" on-deep-change*: func [owner word target action new index part] [1 / 0]]
      win: make face! [type: 'window size: 10x1 pane: reduce [f: make face! [type: 'field size: 10x1]]]
      set-quiet in f 'text o/t
      win)");
  widget_ref f = widget_of("f");
  EXPECT_TRUE(key(f, 'a'));
  EXPECT_EQ(text_of("f"), U"a");
}

TEST_F(tui_widgets, a_field_cursor_steps_over_wide_characters) {
  build(R"(win: make face! [type: 'window size: 10x1 pane: reduce [
      f: make face! [type: 'field size: 10x1 text: "a^(4E2D)b"]]])");
  widget_ref f = widget_of("f");
  click(f, 2, 0);  // inside the wide character: before it
  EXPECT_EQ(widget_at(f).edit.index, 1);
  EXPECT_EQ(widget_at(f).edit.column, 1);
  key(f, 6);
  EXPECT_EQ(widget_at(f).edit.column, 3);
}

TEST_F(tui_widgets, a_password_field_shows_one_star_per_character) {
  build(R"(win: make face! [type: 'window size: 8x1 pane: reduce [
      make face! [type: 'field size: 8x1 text: "se^(4E2D)t" flags: [password]]]])");
  paint();
  std::string frame = writes.back();
  EXPECT_NE(frame.find("*"), std::string::npos);
  EXPECT_EQ(frame.find("se"), std::string::npos);
  EXPECT_EQ(row_text(0), U"****");
}

TEST_F(tui_widgets, group_box_borders_and_title) {
  build(R"(win: make face! [type: 'window size: 12x4 pane: reduce [
      make face! [type: 'group-box size: 6x3 text: "Tie" color: 0.0.255]
      make face! [type: 'group-box offset: 6x0 size: 6x4
        options: [border-corners: round border-color: 255.0.0]]]])");
  paint();
  EXPECT_EQ(row_text(0), U"\u250CTie\u2500\u2510\u256D\u2500\u2500\u2500\u2500\u256E");
  EXPECT_EQ(row_text(1), U"\u2502    \u2502\u2502    \u2502");
  EXPECT_EQ(row_text(2), U"\u2514\u2500\u2500\u2500\u2500\u2518\u2502    \u2502");
  EXPECT_EQ(row_text(3), U"      \u2570\u2500\u2500\u2500\u2500\u256F");
  EXPECT_EQ(cell_at(6, 0)->fg, xterm_color(196));
  EXPECT_EQ(cell_at(7, 1)->fg, COLOR_DEFAULT);  // the interior keeps its own
  EXPECT_EQ(cell_at(0, 0)->fg, COLOR_DEFAULT);
  EXPECT_EQ(cell_at(1, 0)->bg, xterm_color(21));
}

TEST_F(tui_widgets, a_text_list_highlights_only_with_the_focus) {
  build(R"(win: make face! [type: 'window size: 6x2 pane: reduce [
      l: make face! [type: 'text-list size: 6x2 data: ["one" "two" "three"]]]])");
  widget_ref l = widget_of("l");
  EXPECT_EQ(text_of("l"), U"one\ntwo\nthree\n");
  paint();
  EXPECT_EQ(row_text(0), U"one");
  EXPECT_EQ(cell_at(0, 0)->attrs, 0u);
  focus_widget(l);
  EXPECT_TRUE(handle_event(l, EVENT_FOCUS, {l, 0, 0, 0, 0, false}));
  EXPECT_EQ(text_of("l"), U"\x1B[7mone\x1B[27m\ntwo\nthree\n");
  cell face = global("l");
  EXPECT_EQ(object::get_values(&face)[FACE_SELECTED].data2, 1u);
  paint();
  EXPECT_EQ(cell_at(0, 0)->attrs, ATTR_REVERSE);
  EXPECT_EQ(cell_at(3, 0)->attrs, 0u);
  EXPECT_TRUE(sent.empty());
}

TEST_F(tui_widgets, text_list_keys_move_the_selection_and_the_view_follows) {
  build(R"(win: make face! [type: 'window size: 6x2 pane: reduce [
      l: make face! [type: 'text-list size: 6x2 data: ["a" "b" "c" "d"] selected: 1]]])");
  widget_ref l = widget_of("l");
  focus_widget(l);
  key(l, KEY_DOWN_CODE, true);
  key(l, KEY_DOWN_CODE, true);
  EXPECT_EQ(widget_at(l).top, 1);
  EXPECT_EQ(text_of("l"), U"b\n\x1B[7mc\x1B[27m\nd\n");
  EXPECT_EQ(sent, (std::vector<sent_event>{{l, EVENT_SELECT, 2}, {l, EVENT_CHANGE, 2},
                                            {l, EVENT_SELECT, 3}, {l, EVENT_CHANGE, 3}}));
  key(l, KEY_DOWN_CODE, true);
  key(l, KEY_DOWN_CODE, true);  // the last one: no change
  EXPECT_EQ(sent.size(), 6u);
  key(l, KEY_UP_CODE, true);
  key(l, KEY_UP_CODE, true);
  key(l, KEY_UP_CODE, true);
  EXPECT_EQ(widget_at(l).top, 0);
  cell face = global("l");
  EXPECT_EQ(object::get_values(&face)[FACE_SELECTED].data2, 1u);
  sent.clear();
  answer_done = true;  // select answered done: no change
  click(l, 0, 1);
  EXPECT_EQ(sent, (std::vector<sent_event>{{l, EVENT_SELECT, 2}}));
  EXPECT_EQ(object::get_values(&face)[FACE_SELECTED].data2, 2u);
  sent.clear();
  click(l, 0, 5);  // below the items
  EXPECT_TRUE(sent.empty());
}

TEST_F(tui_widgets, check_and_radio_marks_toggle_and_select) {
  build(R"(win: make face! [type: 'window size: 10x3 pane: reduce [
      c: make face! [type: 'check size: 10x1 text: "box"]
      r1: make face! [type: 'radio offset: 0x1 size: 10x1 text: "one" data: true]
      r2: make face! [type: 'radio offset: 0x2 size: 10x1 text: "two"]]])");
  paint();
  EXPECT_EQ(row_text(0), U"\u2610 box");
  EXPECT_EQ(row_text(1), U"\u25C9 one");
  EXPECT_EQ(row_text(2), U"\u25CB two");
  widget_ref c = widget_of("c"), r2 = widget_of("r2");
  EXPECT_TRUE(key(c, ' '));
  EXPECT_TRUE(click(r2, 0, 0));
  EXPECT_EQ(sent, (std::vector<sent_event>{{c, EVENT_CHANGE, 0}, {r2, EVENT_CHANGE, 0}}));
  ASSERT_FALSE(test::raised([] { eval("reduce [c/data r1/data r2/data]"); }));
  int32_t count = 0;
  const cell* data = block::values_of(&result, count);
  EXPECT_TRUE(data[0].data1);
  EXPECT_FALSE(data[1].data1);
  EXPECT_TRUE(data[2].data1);
  focus_widget(c);
  paint();
  EXPECT_EQ(row_text(0), U"\U0001F795 box");
  EXPECT_EQ(cell_at(0, 0)->attrs, ATTR_REVERSE);
  key(c, ' ');
  paint();
  EXPECT_EQ(row_text(0), U"\u2610 box");
}

TEST_F(tui_widgets, progress_bars_show_their_proportion) {
  build(R"(win: make face! [type: 'window size: 12x1 pane: reduce [
      p: make face! [type: 'progress size: 12x1 data: 0.5]]])");
  paint();
  EXPECT_EQ(row_text(0), U"[#####     ]");
}

// The backend's start takes the colour depth that drives images from the
// language side's helper, which reads the environment.
TEST_F(tui_widgets, the_backend_start_asks_the_helper_for_the_colour_depth) {
  auto e = test::raised([] {
    eval(R"(set-env "COLORTERM" "truecolor" system/view/platform/init)");
    EXPECT_EQ(screen.color_support, 4);
    eval(R"(set-env "COLORTERM" "" set-env "TERM" "xterm-256color" system/view/platform/init)");
    EXPECT_EQ(screen.color_support, 2);
  });
  EXPECT_FALSE(e);
  send_event = record_event;
}

TEST_F(tui_widgets, images_draw_two_pixels_per_cell) {
  build(R"(img: make image! 2x2
      img/1: 255.0.0  img/3: 0.0.255
      img/2: 0.0.0.255  img/4: 0.0.0.255
      win: make face! [type: 'window size: 3x1 color: 0.255.0 pane: reduce [
        make face! [type: 'base size: 3x1 image: img color: 0.255.0]]])");
  paint();
  EXPECT_EQ(cell_at(0, 0)->code, 0x2584);
  EXPECT_EQ(cell_at(0, 0)->bg, xterm_color(196));
  EXPECT_EQ(cell_at(0, 0)->fg, xterm_color(21));
  EXPECT_EQ(cell_at(1, 0)->code, ' ');  // transparent pixels: untouched
  EXPECT_EQ(cell_at(1, 0)->bg, xterm_color(46));
  screen_state kept = screen;
  screen.color_support = 4;
  build(R"(win2: make face! [type: 'window size: 3x1 pane: reduce [
        make face! [type: 'base size: 3x1 image: img]]])");
  paint();
  EXPECT_EQ(cell_at(0, 0)->bg, rgb_color(255, 0, 0));
  EXPECT_EQ(cell_at(0, 0)->fg, rgb_color(0, 0, 255));
}

TEST_F(tui_widgets, destroying_the_active_window_gives_the_last_one_its_focus_back) {
  build(R"(w1: make face! [type: 'window size: 5x1 pane: reduce [
      f1: make face! [type: 'field size: 5x1]]])");
  focus_widget(widget_of("f1"));
  build(R"(w2: make face! [type: 'window size: 5x1])");
  ASSERT_EQ(windows.size(), 2u);
  widget_ref f1 = widget_of("f1");
  EXPECT_FALSE(has_focus_q(f1));  // the new window took it
  EXPECT_TRUE(has_focus_q(widget_of("w2")));
  destroy_widget(widget_of("w2"));
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows.back().window, widget_of("w1"));
  EXPECT_TRUE(has_focus_q(f1));
}

TEST_F(tui_widgets, helper_routines_read_the_widget) {
  build(R"(win: make face! [type: 'window size: 6x2 pane: reduce [
      l: make face! [type: 'text-list size: 6x1 data: ["a" "b" "c"] selected: 1]]])");
  widget_ref l = widget_of("l");
  focus_widget(l);
  key(l, KEY_DOWN_CODE, true);
  ASSERT_FALSE(test::raised([] { eval("reduce [TUI-helpers/focused? l TUI-helpers/widget-data l]"); }));
  int32_t count = 0;
  const cell* v = block::values_of(&result, count);
  EXPECT_TRUE(v[0].data1);
  EXPECT_EQ(v[1].data2, 1u);
  ASSERT_FALSE(test::raised([] { eval(R"(TUI-helpers/set-face-ui l "shown")"); }));
  EXPECT_EQ(TYPE_OF(&widget_at(l).text), static_cast<uint32_t>(TYPE_STRING));
}

}  // namespace
}  // namespace ixo::tui
