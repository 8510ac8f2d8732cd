// The screen: palette, colour mapping, the cell buffer, the frame emitter,
// the terminal-output commands and the print hooks. Relies on the display
// widths of runtime/core and on the console writer's flush.
#include "gui/tui/screen.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "runtime/core/char_width.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "startup/system/console_output.hpp"
#include "startup/system/print_hooks.hpp"

namespace ixo::tui {

screen_state screen;

// ---- Palette and colours -------------------------------------------------------

namespace {

constexpr std::array<palette_entry, 256> make_palette() {
  std::array<palette_entry, 256> p{};
  constexpr palette_entry system[16] = {
      {0, 0, 0},       {205, 0, 0},   {0, 205, 0},   {205, 205, 0},   {0, 0, 238},   {205, 0, 205},
      {0, 205, 205},   {229, 229, 229}, {127, 127, 127}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
      {92, 92, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (int i = 0; i < 16; ++i) p[i] = system[i];
  constexpr uint8_t levels[6] = {0, 95, 135, 175, 215, 255};
  for (int i = 0; i < 216; ++i) p[16 + i] = {levels[i / 36], levels[i / 6 % 6], levels[i % 6]};
  for (int i = 0; i < 24; ++i) {
    auto v = static_cast<uint8_t>(8 + 10 * i);
    p[232 + i] = {v, v, v};
  }
  return p;
}

int32_t cube_level(int32_t v) { return v < 48 ? 0 : v <= 114 ? 1 : (v - 35) / 40; }

int32_t distance2(int32_t r, int32_t g, int32_t b, const palette_entry& e) {
  int32_t dr = r - e.r, dg = g - e.g, db = b - e.b;
  return dr * dr + dg * dg + db * db;
}

// SGR parameters of the basic colours: background, foreground.
constexpr const char* BASIC_BG[18] = {"40", "41", "42", "43", "44",  "45",  "46",  "47",  "0",
                                      "49", "100", "101", "102", "103", "104", "105", "106", "107"};
constexpr const char* BASIC_FG[18] = {"30", "31", "32", "33", "34", "35", "36", "37", "0",
                                      "39", "90", "91", "92", "93", "94", "95", "96", "97"};

}  // namespace

const std::array<palette_entry, 256> palette = make_palette();

uint32_t rgb_to_256(uint32_t color) {
  if (color > 0xFEFFFFFFu) return COLOR_DEFAULT;
  int32_t r = color & 0xFF, g = color >> 8 & 0xFF, b = color >> 16 & 0xFF;
  int32_t cube = 16 + 36 * cube_level(r) + 6 * cube_level(g) + cube_level(b);
  int32_t average = (r + g + b) / 3;
  int32_t grey = 232 + (average >= 239 ? 23 : (average - 3) / 10);
  bool cube_nearer = distance2(r, g, b, palette[cube]) < distance2(r, g, b, palette[grey]);
  return xterm_color(cube_nearer ? cube : grey);
}

uint32_t color_value(const cell* value) {
  switch (TYPE_OF(value)) {
    case TYPE_TUPLE: return tuple::length_of(value) == 3 ? value->data1 & 0xFFFFFF : value->data1;
    case TYPE_INTEGER: return value->data2;
    default: return 0;
  }
}

// ---- Painting --------------------------------------------------------------------

rect intersect(const rect& a, const rect& b) {
  return {std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
}

void set_cell(const rect& clip, int32_t x, int32_t y, const screen_cell& c) {
  if (!clip.contains_q(x, y)) return;
  if (screen_cell* dest = cell_at(x, y)) *dest = c;
}

int32_t put_char(const rect& clip, int32_t x, int32_t y, int32_t code, uint32_t fg, uint32_t bg, uint32_t attrs) {
  int32_t width = unicode::char_width(static_cast<uint32_t>(code));
  if (width == 0) return 0;
  if (!clip.contains_q(x, y) || !clip.contains_q(x + width - 1, y)) return width;
  screen_cell* first = cell_at(x, y);
  screen_cell* second = width == 2 ? cell_at(x + 1, y) : first;
  if (!first || !second) return width;
  *first = {code, bg, fg, attrs};
  if (width == 2) *second = {0, bg, fg, attrs | ATTR_CONTINUATION};
  return width;
}

void fill_cells(int32_t x, int32_t y, int32_t columns, int32_t rows, uint32_t bg) {
  rect area = intersect({x, y, x + columns, y + rows}, screen_rect());
  for (int32_t row = area.y1; row < area.y2; ++row)
    for (int32_t column = area.x1; column < area.x2; ++column) {
      screen_cell* c = cell_at(column, row);
      c->code = ' ';
      c->bg = bg;
    }
}

void fit_screen(int32_t window_width, int32_t window_height) {
  int32_t width = std::clamp(window_width, 0, screen.columns);
  int32_t height = std::clamp(window_height, 0, screen.rows);
  screen.cells.assign(static_cast<size_t>(width) * height, screen_cell{});
  screen.width = width;
  screen.height = height;
}

void clear_screen_cells() { screen.cells.assign(screen.cells.size(), screen_cell{}); }

void free_screen() {
  screen.cells = {};
  screen.width = screen.height = 0;
}

void adjust_top_row() {
  if (screen.fullscreen) {
    screen.top_row = screen.report_column = 0;
    return;
  }
  if (screen.top_row + screen.height > screen.rows) screen.top_row = std::max(0, screen.rows - screen.height);
}

// ---- Emitting ----------------------------------------------------------------------

namespace {

void append_int(std::string& out, int32_t v) {
  char digits[12];
  auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  out.append(digits, end);
}

void append_csi(std::string& out, int32_t n, char final) {
  out += "\033[";
  append_int(out, n);
  out += final;
}

void append_sgr(std::string& out, const char* parameter) {
  out += "\033[";
  out += parameter;
  out += 'm';
}

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One attribute turned on or off when it differs.
void toggle(uint32_t p, uint32_t q, uint32_t bit, const char* on, const char* off) {
  if ((q & bit) && !(p & bit)) append_sgr(screen.out, on);
  if (!(q & bit) && (p & bit)) append_sgr(screen.out, off);
}

}  // namespace

void emit_color(uint32_t color, bool foreground) {
  std::string& out = screen.out;
  uint32_t value = color & 0xFFFFFF;
  switch (color_kind_of(color)) {
    case KIND_DEFAULT: append_sgr(out, foreground ? "39" : "49"); return;
    case KIND_BASIC:
      append_sgr(out, value < 18 ? (foreground ? BASIC_FG : BASIC_BG)[value] : "0");
      return;
    case KIND_XTERM:
      out += foreground ? "\033[38;5;" : "\033[48;5;";
      append_int(out, static_cast<int32_t>(value & 0xFF));
      out += 'm';
      return;
    case KIND_RGB:
      out += foreground ? "\033[38;2;" : "\033[48;2;";
      append_int(out, static_cast<int32_t>(value >> 16));
      out += ';';
      append_int(out, static_cast<int32_t>(value >> 8 & 0xFF));
      out += ';';
      append_int(out, static_cast<int32_t>(value & 0xFF));
      out += 'm';
      return;
    default: append_sgr(out, "0");
  }
}

void emit_attributes(const screen_cell& p, const screen_cell& q) {
  uint32_t before = p.attrs;
  // SGR 22 ends bold and dim together: when either goes off, both are off
  // afterwards, and the one that stays on is written again below.
  if ((before & ~q.attrs) & (ATTR_BOLD | ATTR_DIM)) {
    append_sgr(screen.out, "22");
    before &= ~(ATTR_BOLD | ATTR_DIM);
  }
  toggle(before, q.attrs, ATTR_DIM, "2", "22");
  toggle(before, q.attrs, ATTR_REVERSE, "7", "27");
  toggle(before, q.attrs, ATTR_BOLD, "1", "22");
  toggle(before, q.attrs, ATTR_ITALIC, "3", "23");
  toggle(before, q.attrs, ATTR_STRIKE, "9", "29");
  toggle(before, q.attrs, ATTR_UNDERLINE, "4", "24");
  if (p.fg != q.fg) emit_color(q.fg, true);
  if (p.bg != q.bg) emit_color(q.bg, false);
}

void emit_frame(bool show_cursor) {
  if (screen.width < 1 || screen.height < 1) return;
  std::string& out = screen.out;
  if (screen.fullscreen) {
    out += "\033[H";
  } else {
    out += '\r';
    if (screen.lines_drawn > 0) append_csi(out, screen.lines_drawn, 'A');
    out += "\033[0J";
  }
  screen_cell previous{};
  for (int32_t row = 0; row < screen.height; ++row) {
    const screen_cell* line = &screen.cells[static_cast<size_t>(row) * screen.width];
    for (int32_t column = 0; column < screen.width; ++column) {
      const screen_cell& c = line[column];
      if (c.attrs & ATTR_CONTINUATION) continue;
      emit_attributes(previous, c);
      if (c.attrs & ATTR_MASKED) out += '*';
      else if (c.code == 0) out += ' ';
      else append_utf8(out, static_cast<uint32_t>(c.code));
      previous = c;
    }
    if (row < screen.height - 1) {
      previous.bg = COLOR_DEFAULT;
      out += "\033[49m\r\n";
    }
  }
  emit_attributes(previous, screen_cell{});
  if (show_cursor) {
    out += '\r';
    int32_t up = screen.height - (screen.cursor_row + 1);
    if (up > 0) append_csi(out, up, 'A');
    if (screen.cursor_column > 0) append_csi(out, screen.cursor_column, 'C');
    screen.lines_drawn = screen.cursor_row;
  } else {
    screen.lines_drawn = screen.height - 1;
  }
  write_bytes(out);
  out.clear();
  screen.frame_drawn = true;
  screen.redraw = false;
}

void erase_area() {
  if (!screen.frame_drawn) return;
  std::string bytes = "\r";
  if (screen.lines_drawn > 0) {
    append_csi(bytes, screen.lines_drawn, 'A');
    bytes += "\033[0J";
  }
  screen.lines_drawn = 0;
  write_bytes(bytes);
}

void leave_area() {
  // From the row the last frame left the cursor on to the area's last row,
  // then onto the line below it.
  if (screen.frame_drawn) cursor_down(screen.height - 1 - screen.lines_drawn);
  write_bytes("\r\n", 2);
}

// ---- Terminal output -----------------------------------------------------------------

namespace {

int output_fd = STDOUT_FILENO;

void write_to_fd(const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(output_fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

byte_sink sink = write_to_fd;

void write_csi(int32_t n, const char* prefix, char final) {
  std::string bytes = prefix;
  append_int(bytes, n);
  bytes += final;
  write_bytes(bytes);
}

constexpr int32_t MOUSE_MODES[4] = {1000, 1003, 1015, 1006};

}  // namespace

void use_sink(byte_sink s) { sink = s ? s : write_to_fd; }
void set_output_fd(int fd) { output_fd = fd; }
void write_bytes(const char* bytes, size_t length) { sink(bytes, length); }

void set_mode(int32_t n) { write_csi(n, "\033[?", 'h'); }
void reset_mode(int32_t n) { write_csi(n, "\033[?", 'l'); }
void request_cursor_position() {
  write_bytes("\033[6n", 4);
  ++screen.reports_pending;
}

void enter_alternate_screen() {
  set_mode(1049);
  write_bytes("\033[2J", 4);
}
void leave_alternate_screen() { reset_mode(1049); }

void mouse_on() {
  for (int32_t mode : MOUSE_MODES) set_mode(mode);
}
void mouse_off() {
  for (int32_t mode : MOUSE_MODES) reset_mode(mode);
}

void hide_cursor() {
  if (screen.cursor_hidden) return;
  reset_mode(25);
  screen.cursor_hidden = true;
}
void show_cursor() {
  if (!screen.cursor_hidden) return;
  set_mode(25);
  screen.cursor_hidden = false;
}

void cursor_down(int32_t n) {
  if (n >= 1) write_csi(n, "\033[", 'B');
}

// ---- Print hooks -----------------------------------------------------------------------

void pause_output() {
  if (!screen.active) return;
  // Text printed earlier and still buffered belongs above the area.
  system::flush_output();
  erase_area();
  screen.frame_drawn = false;
}

void resume_output() {
  if (!screen.active) return;
  // The printed text must be on the terminal before the position is asked.
  system::flush_output();
  screen.redraw = true;
  request_cursor_position();
}

void install_print_hooks() { print_hooks::set_output_hooks(pause_output, resume_output); }
void remove_print_hooks() { print_hooks::set_output_hooks(nullptr, nullptr); }

}  // namespace ixo::tui
