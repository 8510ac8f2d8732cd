// The text UI's screen: the cell buffer that widgets and the draw dialect
// paint into, colour words, the xterm 256-colour palette, and the emitter
// that turns the whole buffer into one write of VT escape sequences per
// frame. Also the small terminal-output commands (modes, alternate screen,
// mouse reporting, cursor) and the print hooks that erase the UI area
// before console output and have it drawn again afterwards.
//
// How to use it:
//   - Paint: `screen.cells` holds `screen.width` x `screen.height` cells,
//     row-major. Paint through `put_char` (one code point with its display
//     width, clipped to a rectangle) or `set_cell`/`fill_cells`; never write
//     a cell outside the buffer (`cell_at` answers null there).
//   - Colours are colour words: kind in bits 24-31 (0 default, 1 basic
//     colour 0-17, 2 xterm index 0-255, 4 RGB), value in bits 0-23. Make
//     them with basic_color, xterm_color, rgb_color; map a tuple's colour
//     with rgb_to_256.
//   - A frame: fit_screen(window width, height) sizes the buffer (capped at
//     the terminal) and zeroes it; paint; emit_frame(cursor?) writes it
//     when `screen.redraw` is set. adjust_top_row keeps an inline UI on
//     the terminal.
//   - Bytes go through one sink (write_bytes); tests put a recorder there
//     with use_sink. set_output_fd chooses the descriptor of the default
//     sink (standard output unless the OS layer picks the terminal).
//   - The UI-mode owner sets `screen.active` (and `screen.fullscreen` when
//     a window asks for it) and installs the print hooks with
//     install_print_hooks while the UI runs.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/memory/cell.hpp"

namespace ixo::tui {

// ---- Cells and colours -----------------------------------------------------

// One character cell of the screen.
struct screen_cell {
  int32_t code;    // code point; 0 draws as a space
  uint32_t bg;     // colour word; 0 is the terminal's default
  uint32_t fg;     // colour word
  uint32_t attrs;  // attribute bits below
};
static_assert(sizeof(screen_cell) == 16);

enum attribute : uint32_t {
  ATTR_BLINK = 1,
  ATTR_BOLD = 2,
  ATTR_DIM = 4,
  ATTR_REVERSE = 8,
  ATTR_UNDERLINE = 16,
  ATTR_STRIKE = 64,
  ATTR_ITALIC = 256,
  ATTR_CONCEAL = 512,
  ATTR_CONTINUATION = 1024,  // second cell of a wide character: not drawn
  ATTR_MASKED = 2048,        // drawn as "*"
};

enum color_kind : uint32_t { KIND_DEFAULT = 0, KIND_BASIC = 1, KIND_XTERM = 2, KIND_RGB = 4 };

constexpr uint32_t COLOR_DEFAULT = 0;
constexpr uint32_t color_kind_of(uint32_t word) { return word >> 24; }
// Basic colours 0-7 are the eight SGR colours, 9 the default, 10-17 the
// bright ones (SGR 90-97 and 100-107).
constexpr uint32_t basic_color(int32_t index) { return KIND_BASIC << 24 | static_cast<uint32_t>(index); }
constexpr uint32_t xterm_color(int32_t index) { return KIND_XTERM << 24 | static_cast<uint32_t>(index); }
constexpr uint32_t rgb_color(uint32_t r, uint32_t g, uint32_t b) { return KIND_RGB << 24 | r << 16 | g << 8 | b; }

// The xterm palette: the 16 system colours, the 6 x 6 x 6 cube (levels 0,
// 95, 135, 175, 215, 255) and the 24 greys (8 + 10 i).
struct palette_entry {
  uint8_t r, g, b;
};
extern const std::array<palette_entry, 256> palette;

// A colour integer in tuple byte order (R bits 0-7, G 8-15, B 16-23, the
// fourth byte 24-31, 255 there meaning fully transparent) to the nearest
// xterm colour word, or 0 (default) for a transparent one.
uint32_t rgb_to_256(uint32_t color);
// The colour integer of a tuple! (3 bytes, or 4 with the fourth in bits
// 24-31) or an integer!; 0 for anything else.
uint32_t color_value(const cell* value);

// ---- The screen state --------------------------------------------------------

struct screen_state {
  int32_t columns = 80, rows = 24;  // the terminal's size
  int32_t width = 0, height = 0;    // the cell buffer's size; 0 x 0 outside UI mode
  std::vector<screen_cell> cells;   // width x height, row-major
  int32_t top_row = 0;              // terminal row of the inline area's first line
  int32_t report_column = 0;        // column of the last cursor position report
  int32_t reports_pending = 0;      // cursor position requests not yet answered
  int32_t lines_drawn = 0;          // row (from the area's top) the last frame left the cursor on
  int32_t cursor_column = 0;        // text cursor, set while rendering by the focused field or caret
  int32_t cursor_row = 0;
  bool frame_drawn = false;         // a frame was written since the last erase
  bool redraw = false;              // the next render emits a frame
  bool fullscreen = false;          // the alternate screen is in use
  bool active = false;              // UI mode is on: the print hooks act
  bool cursor_hidden = false;
  int32_t color_support = 2;        // 4: true colour for images
  std::string out;                  // the frame being built
};
extern screen_state screen;

// ---- Painting ----------------------------------------------------------------

// A rectangle of cells, x1 <= x < x2, y1 <= y < y2.
struct rect {
  int32_t x1, y1, x2, y2;
  bool empty_q() const { return x1 >= x2 || y1 >= y2; }
  bool contains_q(int32_t x, int32_t y) const { return x >= x1 && x < x2 && y >= y1 && y < y2; }
};
// The intersection of two rectangles (possibly empty).
rect intersect(const rect& a, const rect& b);
// The whole buffer.
inline rect screen_rect() { return {0, 0, screen.width, screen.height}; }

// The cell at (x, y), or null outside the buffer.
inline screen_cell* cell_at(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= screen.width || y >= screen.height) return nullptr;
  return &screen.cells[static_cast<size_t>(y) * screen.width + x];
}
// Writes the cell at (x, y) when it lies in the clip and the buffer.
void set_cell(const rect& clip, int32_t x, int32_t y, const screen_cell& c);
// Puts one code point at (x, y) taking its display width: a wide one also
// marks the cell after it as its continuation. Nothing is written when the
// character does not fit whole inside the clip. Answers the width (0, 1 or
// 2).
int32_t put_char(const rect& clip, int32_t x, int32_t y, int32_t code, uint32_t fg, uint32_t bg, uint32_t attrs);
// Sets the code point 32 and the background of the cells of the rectangle
// that lie in the buffer; their other fields stay.
void fill_cells(int32_t x, int32_t y, int32_t columns, int32_t rows, uint32_t bg);

// Sizes the buffer to a window of the given cells, capped at the
// terminal, and zeroes every cell.
void fit_screen(int32_t window_width, int32_t window_height);
void clear_screen_cells();
// Gives the buffer back; the size becomes 0 x 0.
void free_screen();
// Inline mode: keeps the area on the terminal (the top row moves up when
// the area would run past the last row); fullscreen: top row 0.
void adjust_top_row();

// ---- Emitting ------------------------------------------------------------------

// Appends to screen.out the SGR sequence of a colour word.
void emit_color(uint32_t color, bool foreground);
// Appends the attribute and colour changes from cell p to cell q.
void emit_attributes(const screen_cell& p, const screen_cell& q);
// Builds the whole frame and writes it once; nothing when the buffer is
// empty. `show_cursor`: the focused widget shows the text cursor at
// screen.cursor_column, cursor_row. Clears screen.redraw.
void emit_frame(bool show_cursor);
// Erases the UI area (when a frame was drawn): the cursor goes back to
// the area's first line and everything below is cleared.
void erase_area();
// Moves below the area when UI mode ends.
void leave_area();

// ---- Terminal output -------------------------------------------------------------

// Where bytes go. The default writes to the output descriptor, looping
// over interruptions and short writes; failures are not reported.
using byte_sink = void (*)(const char* bytes, size_t length);
void use_sink(byte_sink sink);  // null restores the default
void set_output_fd(int fd);
void write_bytes(const char* bytes, size_t length);
inline void write_bytes(const std::string& s) { write_bytes(s.data(), s.size()); }

void set_mode(int32_t n);    // ESC [ ? n h
void reset_mode(int32_t n);  // ESC [ ? n l
void request_cursor_position();
void enter_alternate_screen();
void leave_alternate_screen();
void mouse_on();
void mouse_off();
void hide_cursor();
void show_cursor();
void cursor_down(int32_t n);

// ---- Print hooks -----------------------------------------------------------------

// Before a console print: erase the UI area. After it: ask the cursor
// position (the reply moves the area below the text) and draw again.
void pause_output();
void resume_output();
// Installs or removes the pair as the console's output hooks.
void install_print_hooks();
void remove_print_hooks();

}  // namespace ixo::tui
