// The text UI's screen: colour mapping, painting into the cell buffer, and
// the exact bytes one frame writes to an in-memory terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/tui/screen.hpp"
#include "startup/system/print_hooks.hpp"

namespace ixo::tui {
namespace {

std::vector<std::string> writes;  // each write the screen made

void record(const char* bytes, size_t length) { writes.emplace_back(bytes, length); }

class tui_screen : public ::testing::Test {
 protected:
  void SetUp() override {
    screen = screen_state{};
    writes.clear();
    use_sink(record);
  }
  void TearDown() override {
    use_sink(nullptr);
    remove_print_hooks();
    screen = screen_state{};
  }
  // A frame of the given size on a terminal big enough, redraw pending.
  void frame(int32_t width, int32_t height) {
    screen.columns = 200;
    screen.rows = 100;
    fit_screen(width, height);
    screen.redraw = true;
  }
  std::string all() {
    std::string s;
    for (auto& w : writes) s += w;
    return s;
  }
};

// ---- Colours ------------------------------------------------------------------

TEST_F(tui_screen, rgb_to_256_maps_to_the_cube_or_the_grey_ramp) {
  struct row {
    uint32_t r, g, b, a;
    uint32_t expected;
  };
  const row rows[] = {
      {128, 128, 128, 0, xterm_color(244)},  // grey ramp
      {255, 0, 0, 0, xterm_color(196)},
      {0, 0, 255, 0, xterm_color(21)},
      {0, 0, 0, 0, xterm_color(16)},         // cube black is exact; the grey is not
      {255, 255, 255, 0, xterm_color(231)},  // cube white is exact
      {8, 8, 8, 0, xterm_color(232)},
      {255, 0, 0, 254, xterm_color(196)},    // nearly transparent still maps
      {255, 0, 0, 255, COLOR_DEFAULT},       // fully transparent: default
  };
  for (const row& r : rows)
    EXPECT_EQ(rgb_to_256(r.r | r.g << 8 | r.b << 16 | r.a << 24), r.expected) << r.r << "." << r.g << "." << r.b;
}

TEST_F(tui_screen, palette_holds_the_cube_and_greys) {
  EXPECT_EQ(palette[16].r + palette[16].g + palette[16].b, 0);
  EXPECT_EQ(palette[21].b, 255);
  EXPECT_EQ(palette[196].r, 255);
  EXPECT_EQ(palette[67].r, 95);  // 16 + 36 + 12 + 3: levels 1, 2, 3
  EXPECT_EQ(palette[67].g, 135);
  EXPECT_EQ(palette[67].b, 175);
  EXPECT_EQ(palette[232].r, 8);
  EXPECT_EQ(palette[255].g, 238);
}

TEST_F(tui_screen, colour_words_give_their_sgr_parameters) {
  struct row {
    uint32_t color;
    const char* fg;
    const char* bg;
  };
  const row rows[] = {
      {COLOR_DEFAULT, "\033[39m", "\033[49m"},
      {basic_color(1), "\033[31m", "\033[41m"},
      {basic_color(8), "\033[0m", "\033[0m"},
      {basic_color(9), "\033[39m", "\033[49m"},
      {basic_color(10), "\033[90m", "\033[100m"},
      {basic_color(17), "\033[97m", "\033[107m"},
      {xterm_color(200), "\033[38;5;200m", "\033[48;5;200m"},
      {rgb_color(1, 2, 3), "\033[38;2;1;2;3m", "\033[48;2;1;2;3m"},
      {3u << 24 | 5, "\033[0m", "\033[0m"},
  };
  for (const row& r : rows) {
    screen.out.clear();
    emit_color(r.color, true);
    EXPECT_EQ(screen.out, r.fg);
    screen.out.clear();
    emit_color(r.color, false);
    EXPECT_EQ(screen.out, r.bg);
  }
}

// ---- Attributes ---------------------------------------------------------------

TEST_F(tui_screen, attribute_changes_in_their_order) {
  struct row {
    uint32_t from, to;
    const char* expected;
  };
  const row rows[] = {
      {ATTR_BOLD | ATTR_DIM, ATTR_BOLD, "\033[22m\033[1m"},  // 22 ends both: bold again
      {ATTR_BOLD | ATTR_DIM, ATTR_DIM, "\033[22m\033[2m"},
      {ATTR_BOLD, ATTR_BOLD | ATTR_DIM, "\033[2m"},
      {ATTR_DIM, 0, "\033[22m"},
      {ATTR_BOLD, 0, "\033[22m"},
      {0, ATTR_DIM | ATTR_REVERSE | ATTR_BOLD | ATTR_ITALIC | ATTR_STRIKE | ATTR_UNDERLINE,
       "\033[2m\033[7m\033[1m\033[3m\033[9m\033[4m"},
      {ATTR_DIM | ATTR_REVERSE | ATTR_BOLD | ATTR_ITALIC | ATTR_STRIKE | ATTR_UNDERLINE, 0,
       "\033[22m\033[27m\033[23m\033[29m\033[24m"},
      {ATTR_REVERSE | ATTR_BLINK, ATTR_REVERSE, ""},  // blink is never emitted
  };
  for (const row& r : rows) {
    screen.out.clear();
    emit_attributes({'a', 0, 0, r.from}, {'a', 0, 0, r.to});
    EXPECT_EQ(screen.out, r.expected) << r.from << " -> " << r.to;
  }
  screen.out.clear();
  emit_attributes({'a', xterm_color(1), xterm_color(2), ATTR_BOLD}, {'a', xterm_color(3), xterm_color(4), 0});
  EXPECT_EQ(screen.out, "\033[22m\033[38;5;4m\033[48;5;3m");
}

// ---- Frames ------------------------------------------------------------------------

TEST_F(tui_screen, a_foreground_change_alone_emits_only_its_colour) {
  frame(3, 1);
  screen.cells[0] = {'a', 0, 0, 0};
  screen.cells[1] = {'b', 0, xterm_color(45), 0};
  screen.cells[2] = {'c', 0, xterm_color(45), 0};
  emit_frame(false);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], "\r\033[0Ja\033[38;5;45mbc\033[39m");
}

TEST_F(tui_screen, rows_end_with_the_background_reset_and_a_new_line) {
  frame(2, 3);
  for (auto& c : screen.cells) c = {'x', xterm_color(4), 0, 0};
  emit_frame(false);
  EXPECT_EQ(all(),
            "\r\033[0J\033[48;5;4mxx\033[49m\r\n"
            "\033[48;5;4mxx\033[49m\r\n"
            "\033[48;5;4mxx\033[49m");
  EXPECT_EQ(screen.lines_drawn, 2);
  EXPECT_TRUE(screen.frame_drawn);
  EXPECT_FALSE(screen.redraw);
}

TEST_F(tui_screen, wide_continuation_masked_and_empty_cells) {
  frame(5, 1);
  EXPECT_EQ(put_char(screen_rect(), 0, 0, 0x4E2D, 0, 0, 0), 2);  // 中
  screen.cells[2] = {'p', 0, 0, ATTR_MASKED};
  screen.cells[3] = {0, 0, 0, 0};
  screen.cells[4] = {0x1F600, 0, 0, 0};  // wide, but the frame draws it as it is
  emit_frame(false);
  EXPECT_EQ(all(), "\r\033[0J\xE4\xB8\xAD* \xF0\x9F\x98\x80");
}

TEST_F(tui_screen, the_frame_ends_with_everything_back_to_default) {
  frame(1, 1);
  screen.cells[0] = {'z', basic_color(2), rgb_color(9, 8, 7), ATTR_UNDERLINE | ATTR_BOLD};
  emit_frame(false);
  EXPECT_EQ(all(), "\r\033[0J\033[1m\033[4m\033[38;2;9;8;7m\033[42mz\033[22m\033[24m\033[39m\033[49m");
}

TEST_F(tui_screen, inline_frames_go_back_over_the_lines_drawn) {
  frame(1, 3);
  emit_frame(false);
  screen.redraw = true;
  emit_frame(false);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].substr(0, 9), "\r\033[2A\033[0J");
}

TEST_F(tui_screen, a_fullscreen_frame_starts_at_home) {
  frame(1, 1);
  screen.fullscreen = true;
  emit_frame(false);
  EXPECT_EQ(all(), "\033[H ");
}

TEST_F(tui_screen, the_text_cursor_is_put_back_where_the_field_has_it) {
  frame(10, 4);
  screen.cursor_column = 3;
  screen.cursor_row = 1;
  emit_frame(true);
  std::string bytes = all();
  EXPECT_EQ(bytes.substr(bytes.size() - 9), "\r\033[2A\033[3C");
  EXPECT_EQ(screen.lines_drawn, 1);
  writes.clear();
  screen.cursor_column = 0;
  screen.cursor_row = 3;
  emit_frame(true);
  EXPECT_EQ(all().substr(all().size() - 2), " \r");  // last row, first column: no moves
  EXPECT_EQ(screen.lines_drawn, 3);
}

TEST_F(tui_screen, an_empty_screen_writes_nothing) {
  screen.redraw = true;
  emit_frame(false);
  EXPECT_TRUE(writes.empty());
}

// ---- Fitting ---------------------------------------------------------------------

TEST_F(tui_screen, the_buffer_is_capped_at_the_terminal) {
  screen.columns = 80;
  screen.rows = 24;
  fit_screen(100, 30);
  EXPECT_EQ(screen.width, 80);
  EXPECT_EQ(screen.height, 24);
  EXPECT_EQ(screen.cells.size(), 80u * 24u);
  screen.cells[5].code = 'x';
  fit_screen(10, 2);
  EXPECT_EQ(screen.width, 10);
  EXPECT_EQ(screen.cells[5].code, 0);  // zeroed
}

TEST_F(tui_screen, an_inline_area_below_the_last_row_moves_up) {
  screen.rows = 24;
  screen.top_row = 20;
  screen.height = 10;
  adjust_top_row();
  EXPECT_EQ(screen.top_row, 14);
  screen.top_row = 5;
  screen.height = 24;  // as tall as the terminal: from the first row
  adjust_top_row();
  EXPECT_EQ(screen.top_row, 0);
  screen.top_row = 3;
  screen.height = 5;
  adjust_top_row();
  EXPECT_EQ(screen.top_row, 3);
  screen.fullscreen = true;
  screen.report_column = 7;
  adjust_top_row();
  EXPECT_EQ(screen.top_row, 0);
  EXPECT_EQ(screen.report_column, 0);
}

// ---- Painting ------------------------------------------------------------------------

TEST_F(tui_screen, put_char_respects_the_clip_and_wide_characters) {
  frame(4, 2);
  rect clip{1, 0, 3, 1};
  EXPECT_EQ(put_char(clip, 0, 0, 'a', 0, 0, 0), 1);  // left of the clip
  EXPECT_EQ(screen.cells[0].code, 0);
  put_char(clip, 1, 0, 0x4E2D, basic_color(1), 0, ATTR_BOLD);
  EXPECT_EQ(screen.cells[1].code, 0x4E2D);
  EXPECT_EQ(screen.cells[2].attrs, ATTR_BOLD | ATTR_CONTINUATION);
  EXPECT_EQ(screen.cells[2].fg, basic_color(1));
  put_char(clip, 2, 0, 0x4E2D, 0, 0, 0);  // its second half would leave the clip
  EXPECT_EQ(screen.cells[2].attrs, ATTR_BOLD | ATTR_CONTINUATION);
  EXPECT_EQ(put_char(screen_rect(), 0, 1, 0x0301, 0, 0, 0), 0);  // combining: nothing
  EXPECT_EQ(screen.cells[4].code, 0);
}

TEST_F(tui_screen, fill_cells_clips_to_the_buffer) {
  frame(3, 2);
  screen.cells[4].fg = xterm_color(9);
  fill_cells(1, 1, 5, 5, xterm_color(3));
  EXPECT_EQ(screen.cells[3].code, 0);
  EXPECT_EQ(screen.cells[4].code, ' ');
  EXPECT_EQ(screen.cells[4].bg, xterm_color(3));
  EXPECT_EQ(screen.cells[4].fg, xterm_color(9));
  EXPECT_EQ(screen.cells[5].bg, xterm_color(3));
}

// ---- Erasing, leaving, print hooks ------------------------------------------------------

TEST_F(tui_screen, erase_area_goes_back_to_the_first_line) {
  erase_area();
  EXPECT_TRUE(writes.empty());  // no frame drawn
  frame(2, 3);
  emit_frame(false);
  writes.clear();
  erase_area();
  EXPECT_EQ(all(), "\r\033[2A\033[0J");
  EXPECT_EQ(screen.lines_drawn, 0);
}

TEST_F(tui_screen, leave_area_moves_below_the_area) {
  frame(2, 4);
  screen.cursor_row = 1;
  emit_frame(true);
  writes.clear();
  leave_area();
  EXPECT_EQ(all(), "\033[2B\r\n");
  writes.clear();
  screen.redraw = true;
  emit_frame(false);
  writes.clear();
  leave_area();
  EXPECT_EQ(all(), "\r\n");
}

TEST_F(tui_screen, print_hooks_erase_before_and_ask_the_position_after) {
  install_print_hooks();
  print_hooks::pause_output();
  print_hooks::resume_output();
  EXPECT_TRUE(writes.empty());  // UI not active
  screen.active = true;
  frame(2, 3);
  emit_frame(false);
  writes.clear();
  print_hooks::pause_output();
  EXPECT_EQ(all(), "\r\033[2A\033[0J");
  EXPECT_FALSE(screen.frame_drawn);
  writes.clear();
  print_hooks::resume_output();
  EXPECT_EQ(all(), "\033[6n");
  EXPECT_TRUE(screen.redraw);
}

TEST_F(tui_screen, terminal_commands) {
  struct row {
    void (*command)();
    const char* expected;
  };
  const row rows[] = {
      {enter_alternate_screen, "\033[?1049h\033[2J"},
      {leave_alternate_screen, "\033[?1049l"},
      {mouse_on, "\033[?1000h\033[?1003h\033[?1015h\033[?1006h"},
      {mouse_off, "\033[?1000l\033[?1003l\033[?1015l\033[?1006l"},
      {request_cursor_position, "\033[6n"},
      {show_cursor, ""},  // not hidden
      {hide_cursor, "\033[?25l"},
      {hide_cursor, ""},
      {show_cursor, "\033[?25h"},
  };
  for (const row& r : rows) {
    writes.clear();
    r.command();
    EXPECT_EQ(all(), r.expected);
  }
  writes.clear();
  cursor_down(0);
  cursor_down(3);
  EXPECT_EQ(all(), "\033[3B");
}

}  // namespace
}  // namespace ixo::tui
