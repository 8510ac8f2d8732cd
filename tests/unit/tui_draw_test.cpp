// The draw dialect in cells: draw blocks made by Ixo code (the runtime
// started with the boot image) are run over an area of the screen's cell
// buffer and the cells compared; and the rich-text styles over a row of
// cells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/tui/draw.hpp"
#include "gui/tui/screen.hpp"
#include "gui/tui/widgets.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/symbol.hpp"
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

constexpr int32_t BLOCK = 0x2588;
const uint32_t RED = xterm_color(196), BLUE = xterm_color(21), GREEN = xterm_color(46);

class tui_draw : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::start_booted_runtime();
    // prep gives a face tree the state blocks that widgets need.
    ASSERT_FALSE(test::raised([] {
      eval(R"(prep: func [f] [
        if block? f/pane [foreach c f/pane [c/parent: f]]
        f/state: reduce [system/view/platform/make-null-handle 0 none none]
        if block? f/pane [foreach c f/pane [prep c]]
        f
      ])");
    }));
  }

  void SetUp() override {
    screen = screen_state{};
    screen.columns = 40;
    screen.rows = 20;
    fit_screen(40, 20);
  }
  void TearDown() override {
    while (!windows.empty()) destroy_widget(windows.back().window);
    screen = screen_state{};
  }

  // Makes the widgets of a window and its children from source, and
  // renders the window.
  static widget_ref show(const std::string& source) {
    widget_ref window = 0;
    EXPECT_FALSE(test::raised([&] {
      eval("prep " + source);
      cell face = result;
      memory::root_guard keep(&face);
      window = make_widget(&face, 0);
      int32_t count = 0;
      for (int32_t i = 0;; ++i) {
        const cell* faces = block::values_of(face_values(window) + FACE_PANE, count);
        if (i >= count) break;
        make_widget(&faces[i], window);
      }
      screen.redraw = true;
      render();
    })) << source;
    return window;
  }

  // Evaluates Ixo source; its value is left in `result`.
  static inline cell& result = test::eval_result;
  static void eval(const std::string& source) { test::eval_source(source); }

  // Runs the draw block (source of a block) over the area at (x, y) of
  // the given size; answers the error it raised, if any.
  static std::optional<error_id> run(const std::string& block, int32_t x = 2, int32_t y = 1,
                                     int32_t width = 20, int32_t height = 10) {
    return test::raised([&] {
      eval("draw-block-under-test: " + block);
      cell commands = result;
      memory::root_guard keep(&commands);
      draw::draw_face(x, y, rect{x, y, x + width, y + height}, &commands);
    });
  }

  // Every cell as it was after SetUp, but those listed.
  static std::vector<screen_cell> blank() { return std::vector<screen_cell>(screen.cells.size(), screen_cell{}); }
  static const screen_cell& at(int32_t x, int32_t y) { return *cell_at(x, y); }
  static bool unchanged(const std::vector<screen_cell>& before) {
    for (size_t k = 0; k < before.size(); ++k) {
      const screen_cell &a = before[k], &b = screen.cells[k];
      if (a.code != b.code || a.fg != b.fg || a.bg != b.bg || a.attrs != b.attrs) return false;
    }
    return true;
  }
  static std::optional<error_id> styled(const std::string& data, std::vector<screen_cell>& runs);
  static int32_t painted() {
    int32_t n = 0;
    for (const screen_cell& c : screen.cells) n += c.code != 0 || c.bg != 0 || c.fg != 0 || c.attrs != 0;
    return n;
  }
};

// ---- Lines and boxes -------------------------------------------------------------

TEST_F(tui_draw, a_line_paints_full_blocks_in_the_pen_colour_on_the_first_row) {
  ASSERT_FALSE(run("[pen 255.0.0 line 0x0 3x0]"));
  for (int32_t x = 2; x <= 5; ++x) {
    EXPECT_EQ(at(x, 1).code, BLOCK) << x;
    EXPECT_EQ(at(x, 1).fg, RED) << x;
  }
  EXPECT_EQ(painted(), 4);
}

TEST_F(tui_draw, a_filled_box_has_a_border_in_the_pen_colour) {
  ASSERT_FALSE(run("[fill-pen 0.0.255 box 0x0 4x2]"));
  const char32_t* rows[] = {U"┌───┐", U"│   │", U"└───┘"};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      const screen_cell& c = at(2 + x, 1 + y);
      EXPECT_EQ(c.code, static_cast<int32_t>(rows[y][x])) << x << "," << y;
      EXPECT_EQ(c.bg, BLUE) << x << "," << y;
      EXPECT_EQ(c.fg, COLOR_DEFAULT) << x << "," << y;
    }
  EXPECT_EQ(painted(), 15);
}

TEST_F(tui_draw, box_corners_are_normalised_and_an_unfilled_box_keeps_its_inside) {
  ASSERT_FALSE(run("[pen 255.0.0 box 4x2 0x0 3]"));
  EXPECT_EQ(at(2, 1).code, 0x250C);
  EXPECT_EQ(at(6, 3).code, 0x2518);
  EXPECT_EQ(at(6, 1).fg, RED);
  EXPECT_EQ(at(4, 2).code, 0);
  EXPECT_EQ(painted(), 12);
}

TEST_F(tui_draw, a_box_with_both_pens_off_paints_nothing) {
  ASSERT_FALSE(run("[pen off fill-pen off box 0x0 4x2]"));
  EXPECT_EQ(painted(), 0);
}

TEST_F(tui_draw, drawing_is_clipped_to_the_area_and_lines_stop_at_the_screen_edge) {
  ASSERT_FALSE(run("[line 0x0 10x0]", 0, 0, 3, 1));
  EXPECT_EQ(painted(), 3);
  ASSERT_FALSE(run("[line 0x1 50x1 -5x1]", 0, 0, 40, 20));
  EXPECT_EQ(at(39, 1).code, BLOCK);  // the first segment runs to the edge
  EXPECT_EQ(painted(), 3 + 40);      // the second starts off the screen
}

// ---- Blocks that save the state ------------------------------------------------------

TEST_F(tui_draw, a_rotated_line_is_drawn_unrotated_and_push_restores_the_pen) {
  ASSERT_FALSE(run("[rotate 45 [pen 255.0.0 line 0x0 3x0]]"));
  for (int32_t x = 2; x <= 5; ++x) EXPECT_EQ(at(x, 1).fg, RED);
  EXPECT_EQ(painted(), 4);
  ASSERT_FALSE(run("[pen 255.0.0 push [pen 0.0.255] line 0x2 1x2]"));
  EXPECT_EQ(at(2, 3).fg, RED);
  EXPECT_EQ(at(3, 3).fg, RED);
}

// ---- Circles, ellipses, triangles ------------------------------------------------------

TEST_F(tui_draw, a_circle_is_an_ellipse_twice_as_wide_as_tall) {
  ASSERT_FALSE(run("[pen 255.0.0 circle 10x5 2]"));
  // centre (12, 6): 4 cells left and right, 2 up and down
  for (auto [x, y] : {std::pair{8, 6}, {16, 6}, {12, 4}, {12, 8}}) EXPECT_EQ(at(x, y).code, BLOCK) << x << "," << y;
  for (auto [x, y] : {std::pair{7, 6}, {17, 6}, {12, 3}, {12, 9}, {12, 6}})
    EXPECT_EQ(at(x, y).code, 0) << x << "," << y;
  ASSERT_FALSE(run("[pen off fill-pen 0.255.0 circle 10x5 2]"));
  EXPECT_EQ(at(12, 6).bg, GREEN);
  EXPECT_EQ(at(12, 6).code, ' ');
}

TEST_F(tui_draw, the_last_radius_given_counts) {
  ASSERT_FALSE(run("[circle 10x5 1 3]"));
  EXPECT_EQ(at(6, 6).code, BLOCK);  // 12 - 2 * 3
  EXPECT_EQ(at(12, 3).code, BLOCK);
}

TEST_F(tui_draw, an_ellipse_takes_half_its_size_as_radii_and_an_empty_one_draws_nothing) {
  ASSERT_FALSE(run("[ellipse 0x0 0x3 ellipse 0x0 3x0]"));
  EXPECT_EQ(painted(), 0);
  ASSERT_FALSE(run("[ellipse 0x0 4x2]"));
  // radii 2 and 1, centre (4, 2)
  for (auto [x, y] : {std::pair{2, 2}, {6, 2}, {4, 1}, {4, 3}}) EXPECT_EQ(at(x, y).code, BLOCK) << x << "," << y;
  EXPECT_EQ(at(4, 2).code, 0);
}

TEST_F(tui_draw, a_filled_triangle_fills_its_interior) {
  ASSERT_FALSE(run("[pen off fill-pen 0.255.0 triangle 0x0 8x0 0x4]"));
  EXPECT_EQ(at(3, 2).bg, GREEN);
  EXPECT_EQ(at(2, 5).bg, GREEN);   // the last vertex
  EXPECT_EQ(at(12, 5).bg, COLOR_DEFAULT);
  EXPECT_EQ(at(8, 4).bg, COLOR_DEFAULT);  // beyond the hypotenuse
  ASSERT_FALSE(run("[pen 255.0.0 fill-pen off triangle 0x0 8x0 0x4]"));
  EXPECT_EQ(at(2, 1).code, BLOCK);
  EXPECT_EQ(at(10, 1).code, BLOCK);
}

// ---- Text ----------------------------------------------------------------------------

TEST_F(tui_draw, text_takes_the_pen_colour_or_a_font_colour_and_reads_escapes) {
  ASSERT_FALSE(run("[pen 255.0.0 text 1x0 \"ab\"]"));
  EXPECT_EQ(at(3, 1).code, 'a');
  EXPECT_EQ(at(4, 1).code, 'b');
  EXPECT_EQ(at(4, 1).fg, RED);
  ASSERT_FALSE(run("compose [pen 255.0.0 font (make font! [color: 0.0.255]) text 1x1 \"ab\"]"));
  EXPECT_EQ(at(3, 2).fg, BLUE);
  ASSERT_FALSE(run("[text 0x3 \"^[[1mA\"]"));
  EXPECT_EQ(at(2, 4).code, 'A');
  EXPECT_EQ(at(2, 4).attrs & ATTR_BOLD, ATTR_BOLD);
}

TEST_F(tui_draw, text_keeps_the_background_it_lands_on) {
  ASSERT_FALSE(run("[pen off fill-pen 0.0.255 box 0x0 4x0 pen 255.0.0 text 1x0 \"ab\"]"));
  EXPECT_EQ(at(3, 1).code, 'a');
  EXPECT_EQ(at(3, 1).bg, BLUE);
}

TEST_F(tui_draw, a_rich_text_face_is_drawn_with_its_styles) {
  ASSERT_FALSE(run("compose [text 0x0 (make face! [type: 'rich-text size: 4x1 text: \"abcd\" data: [1x2 bold]])]"));
  EXPECT_EQ(at(2, 1).code, 'a');
  EXPECT_EQ(at(3, 1).attrs & ATTR_BOLD, ATTR_BOLD);
  EXPECT_EQ(at(4, 1).attrs & ATTR_BOLD, 0u);
}

// ---- The renderer -------------------------------------------------------------------

TEST_F(tui_draw, the_renderer_runs_a_face_draw_block_over_its_area) {
  show(R"(make face! [type: 'window size: 10x4 pane: reduce [
      make face! [type: 'base offset: 2x1 size: 5x2 draw: [pen 0.0.255 line 0x0 9x0]]]])");
  for (int32_t x = 2; x <= 6; ++x) EXPECT_EQ(at(x, 1).fg, BLUE) << x;
  EXPECT_EQ(at(7, 1).code, 0);  // clipped to the face
}

TEST_F(tui_draw, a_rich_text_widget_takes_its_data_styles) {
  show(R"(make face! [type: 'window size: 6x1 pane: reduce [
      make face! [type: 'rich-text size: 6x1 text: "abcd" data: [1x3 bold 255.0.0 3x1 backdrop 0.0.255]]]])");
  for (int32_t x = 0; x < 3; ++x) {
    EXPECT_EQ(at(x, 0).attrs & ATTR_BOLD, ATTR_BOLD) << x;
    EXPECT_EQ(at(x, 0).fg, RED) << x;
  }
  EXPECT_EQ(at(2, 0).bg, BLUE);
  EXPECT_EQ(at(1, 0).bg, COLOR_DEFAULT);
  EXPECT_EQ(at(3, 0).attrs, 0u);
}

// ---- Commands without output, and errors ---------------------------------------------

TEST_F(tui_draw, parsed_only_commands_draw_nothing_and_raise_nothing) {
  ASSERT_FALSE(run(R"(compose [
    polygon 0x0 1x0 1x1 arc 1x1 2x2 0 90 closed curve 0x0 1x1 2x0 spline 0x0 1x1 2x0 closed
    image (make image! 2x2) 0x0 3x3 border crop 0x0 1x1 shadow 1x1 2 3 0.0.0 inset shadow off
    anti-alias off line-width 2 line-join round line-cap square line-pattern 255.0.0 2 3
    pen linear 255.0.0 0.0 0.0.255 1.0 0x0 5x0 reflect fill-pen radial 0.0.255 255.0.0 1x1 0 4
    pen pattern 2x2 [line 0x0 1x1] fill-pen bitmap (make image! 1x1) tile
    matrix [1 0 0 1 0 0] reset-matrix invert-matrix
    shape [move 0x0 line 1x1 2x0 hline 3 vline 1 arc 2x2 1 1 0 sweep large 'curve 1x1 2x2 3x3 qcurv 2x2 close]
    clip 0x0 1x1 replace [] scale 2 2 [] translate 1x1 [] skew 1 [] transform 0 1 1 0x0 []
    set-word: box 0x0 0x0 0 [[]]
  ])"));
  // the one box is a single corner cell in the default pen colour
  EXPECT_EQ(painted(), 1);
}

TEST_F(tui_draw, a_bad_value_raises_and_leaves_no_half_drawn_state) {
  std::vector<screen_cell> before = blank();
  auto e = run("[pen 255.0.0 line 0x0 3x0 nosuch]");
  ASSERT_TRUE(e);
  EXPECT_TRUE(test::is(e, err::script_draw_invalid));
  EXPECT_TRUE(unchanged(before));
  for (const char* bad : {"[line 0x0]", "[box 0x0 \"a\"]", "[\"text\"]", "[circle 1x1]", "[push 1]",
                          "[pen nosuch]", "[anti-alias 3]", "[shape [move]]", "[matrix [1 2]]"}) {
    EXPECT_TRUE(test::is(run(bad), err::script_draw_invalid)) << bad;
    EXPECT_TRUE(unchanged(before)) << bad;
  }
}

TEST_F(tui_draw, a_block_that_holds_itself_raises_infinite_recursion) {
  std::vector<screen_cell> before = blank();
  auto e = run("(b: copy [pen 255.0.0 line 0x0 1x0 push []] append/only last b b b)");
  EXPECT_TRUE(test::is(e, err::script_draw_infinite));
  EXPECT_TRUE(unchanged(before));
  e = run("(b: copy [line 0x0 1x0] append/only b b b)");
  EXPECT_TRUE(test::is(e, err::script_draw_infinite));
  // the same block twice side by side is no recursion
  ASSERT_FALSE(run("(b: [line 0x0 1x0] reduce [b b])"));
}

// ---- Rich-text styles --------------------------------------------------------------------

// The cells of "abcd" after the records.
std::optional<error_id> tui_draw::styled(const std::string& data, std::vector<screen_cell>& runs) {
  runs.assign(4, screen_cell{});
  for (int32_t k = 0; k < 4; ++k) runs[static_cast<size_t>(k)].code = 'a' + k;
  return test::raised([&] {
    eval(data);
    cell block = result;
    memory::root_guard keep(&block);
    draw::apply_rich_text_styles(runs, &block);
  });
}

TEST_F(tui_draw, styles_ranges_take_colours_backdrops_and_attributes) {
  std::vector<screen_cell> runs;
  ASSERT_FALSE(styled("[1x3 bold 255.0.0 3x1 backdrop 0.0.255]", runs));
  for (int32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(runs[k].attrs, ATTR_BOLD) << k;
    EXPECT_EQ(runs[k].fg, RED) << k;
  }
  EXPECT_EQ(runs[2].bg, BLUE);
  EXPECT_EQ(runs[1].bg, COLOR_DEFAULT);
  EXPECT_EQ(runs[3].attrs, 0u);
  ASSERT_FALSE(styled("[1x2 underline 2x2 strike 4x1 italic]", runs));
  EXPECT_EQ(runs[0].attrs, ATTR_UNDERLINE);
  EXPECT_EQ(runs[1].attrs, ATTR_UNDERLINE | ATTR_STRIKE);
  EXPECT_EQ(runs[2].attrs, ATTR_STRIKE);
  EXPECT_EQ(runs[3].attrs, ATTR_ITALIC);
  ASSERT_FALSE(styled("[1x2 backdrop blue]", runs));
  EXPECT_EQ(runs[0].bg, BLUE);
}

TEST_F(tui_draw, styles_fonts_change_nothing_and_ranges_are_clamped) {
  std::vector<screen_cell> runs;
  ASSERT_FALSE(styled("[1x2 \"Mono\" 12 2.5 border]", runs));
  for (const screen_cell& c : runs) EXPECT_EQ(c.attrs | c.fg | c.bg, 0u);
  ASSERT_FALSE(styled("[3x9 bold 9x2 italic]", runs));
  EXPECT_EQ(runs[1].attrs, 0u);
  EXPECT_EQ(runs[2].attrs, ATTR_BOLD);
  EXPECT_EQ(runs[3].attrs, ATTR_BOLD);
  ASSERT_FALSE(styled("[1x2 underline 255.0.0 'dash 3x1 strike]", runs));
  EXPECT_EQ(runs[0].attrs, ATTR_UNDERLINE);
  EXPECT_EQ(runs[0].fg, COLOR_DEFAULT);  // the underline's own colour
  EXPECT_EQ(runs[2].attrs, ATTR_STRIKE);
}

TEST_F(tui_draw, styles_another_word_or_a_backdrop_at_the_end_raises_and_changes_nothing) {
  std::vector<screen_cell> runs;
  for (const char* bad : {"[1x2 bold nosuch]", "[1x2 bold backdrop]", "[1x2 bold blue]", "[1x2 bold [x]]"}) {
    EXPECT_TRUE(test::is(styled(bad, runs), err::script_draw_invalid)) << bad;
    for (const screen_cell& c : runs) EXPECT_EQ(c.attrs, 0u) << bad;
  }
}

}  // namespace
}  // namespace ixo::tui
