// The terminal console: each console operation becomes the VT sequence that
// does the same on a terminal, written through the console writer's output
// buffer so that sequences and text stay in order. The terminal keeps the
// cursor itself; this side keeps the attribute word last set.
//
// The terminal's own colours stand for the initial attribute 07h (grey on
// black): an attribute whose foreground or background equals the initial
// one is sent as the terminal's default colour, so that text printed
// "without colour" keeps the user's colour scheme.
#include "platform/posix/console.hpp"

#include <unistd.h>

#include <cstdio>

#include "platform/posix/terminal.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::platform {

using namespace system;

namespace {

constexpr uint16_t initial = 0x07;
uint16_t current = initial;

// Attribute colour values (blue = 1, green = 2, red = 4) to ANSI colour
// numbers (red = 1, green = 2, blue = 4): the map is its own inverse.
constexpr int32_t ansi_colour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

void put(const char* text, int length) { put_units(text, length, 1); }

template <class... Args>
void put_format(const char* format, Args... args) {
  char text[48];
  put(text, std::snprintf(text, sizeof text, format, args...));
}

// Background intensity has no VT equivalent that leaves the colour alone,
// and is left out.
void send_attribute(uint16_t a) {
  char text[32] = "\x1b[0";
  int n = 3;
  auto add = [&](int32_t code) { n += std::snprintf(text + n, sizeof text - n, ";%d", code); };
  if (a & ATTR_FOREGROUND_INTENSITY) add(1);
  if (a & ATTR_UNDERSCORE) add(4);
  int32_t fg = a & ATTR_FOREGROUND, bg = (a & ATTR_BACKGROUND) >> 4;
  if (fg != (initial & ATTR_FOREGROUND)) add(30 + ansi_colour[fg]);
  if (bg != (initial & ATTR_BACKGROUND) >> 4) add(40 + ansi_colour[bg]);
  text[n++] = 'm';
  put(text, n);
}

void write_text(const void* text, int32_t bytes, int32_t unit) { put_units(text, bytes, unit); }

// The size is the terminal's window; a terminal tells its cursor only in a
// reply on its input, which would mix with what the user types, so the
// cursor is reported unknown.
void get_info(screen_buffer_info& info) {
  int32_t width = 80, height = 24;
  terminal::window_size(STDOUT_FILENO, -1, width, height);
  info = {width, height, {-1, -1}, current, 0, 0, width - 1, height - 1, width, height};
}

void set_cursor(int32_t column, int32_t row) { put_format("\x1b[%d;%dH", row + 1, column + 1); }

// A count of 0 means 1 to a terminal, so a zero move sends nothing.
void move_cursor(int32_t columns, int32_t rows) {
  if (rows < 0) put_format("\x1b[%dA", -rows);
  if (rows > 0) put_format("\x1b[%dB", rows);
  if (columns > 0) put_format("\x1b[%dC", columns);
  if (columns < 0) put_format("\x1b[%dD", -columns);
}

void save_cursor() { put("\x1b" "7", 2); }

// The terminal restores the attribute saved with the cursor too; the
// current one is sent again.
void restore_cursor() {
  put("\x1b" "8", 2);
  send_attribute(current);
}

uint16_t attribute() { return current; }
uint16_t initial_attribute() { return initial; }

void set_attribute(uint16_t a) {
  current = a;
  send_attribute(a);
}

// A terminal erases in the current colours, so the initial attribute is in
// force while it erases. VT erases the rows above the cursor row only
// together with the cursor row up to the cursor, and the left part of a row
// only with the cursor's own cell: those two modes take the cursor cell
// with them.
void erase(erase_mode mode) {
  if (current != initial) send_attribute(initial);
  switch (mode) {
    case ERASE_DOWN: put("\x1b[2K\x1b[J", 7); break;
    case ERASE_UP: put("\x1b[1J", 4); break;
    case ERASE_SCREEN: put("\x1b[2J\x1b[H", 7); break;
    case ERASE_ROW: put("\x1b[2K\x1b[G", 7); break;
    case ERASE_ROW_RIGHT: put("\x1b[K", 3); break;
    case ERASE_ROW_LEFT: put("\x1b[1K\x1b[G", 7); break;
  }
  if (current != initial) send_attribute(current);
}

}  // namespace

const console_layer terminal_console = {
    .write_text = write_text,
    .write_sequence = write_text,
    .get_info = get_info,
    .set_cursor = set_cursor,
    .move_cursor = move_cursor,
    .save_cursor = save_cursor,
    .restore_cursor = restore_cursor,
    .attribute = attribute,
    .initial_attribute = initial_attribute,
    .set_attribute = set_attribute,
    .erase = erase,
};

}  // namespace ixo::platform
