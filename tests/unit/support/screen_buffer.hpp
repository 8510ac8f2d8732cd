// A console in memory: a screen buffer of width x height cells, each a
// character and an attribute, behind the console layer's entry points.
// Tests install it as the writer's console and read the cells back.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "startup/system/console_layer.hpp"

namespace ixo::test {

struct screen_cell {
  uint32_t character;
  uint16_t attribute;
};

struct screen_buffer {
  int32_t width = 0, height = 0;
  std::vector<screen_cell> cells;
  system::console_position cursor{0, 0};
  system::console_position saved{0, 0};
  uint16_t attribute = 0;
  uint16_t initial = 0;
  int32_t attribute_sets = 0;  // calls of set_attribute
  std::string handed_on;       // sequences the interpreter left to the console

  screen_cell& at(int32_t column, int32_t row) { return cells[row * width + column]; }

  // Row `row` as text, one byte per cell (characters above 7Eh show as '?').
  std::string row_text(int32_t row) {
    std::string s;
    for (int32_t c = 0; c < width; ++c) {
      uint32_t ch = at(c, row).character;
      s += ch < 0x7F ? static_cast<char>(ch) : '?';
    }
    return s;
  }
  // Every row, separated by '|'.
  std::string text() {
    std::string s;
    for (int32_t r = 0; r < height; ++r) s += (r ? "|" : "") + row_text(r);
    return s;
  }
};

inline screen_buffer screen;

// A fresh screen filled with `fill` in the initial attribute, cursor home.
inline void reset_screen(int32_t width, int32_t height, uint16_t initial, char fill = '.') {
  screen = screen_buffer{};
  screen.width = width;
  screen.height = height;
  screen.cells.assign(static_cast<size_t>(width * height), {static_cast<uint32_t>(fill), initial});
  screen.attribute = screen.initial = initial;
}

namespace screen_console {

inline int32_t clamp(int32_t v, int32_t high) { return v < 0 ? 0 : v > high ? high : v; }

inline uint32_t unit_at(const uint8_t* p, int32_t unit) {
  if (unit == 1) return p[0];
  if (unit == 2) return static_cast<uint32_t>(p[0] | p[1] << 8);
  uint32_t cp;
  std::memcpy(&cp, p, 4);
  return cp;
}

inline void next_row() {
  screen.cursor.column = 0;
  if (screen.cursor.row < screen.height - 1) {
    ++screen.cursor.row;
    return;
  }
  screen.cells.erase(screen.cells.begin(), screen.cells.begin() + screen.width);
  screen.cells.resize(screen.cells.size() + static_cast<size_t>(screen.width),
                      {' ', screen.initial});
}

inline void write_text(const void* text, int32_t bytes, int32_t unit) {
  const auto* p = static_cast<const uint8_t*>(text);
  for (int32_t i = 0; bytes - i >= unit; i += unit) {
    uint32_t ch = unit_at(p + i, unit);
    if (ch == '\n') {
      next_row();
      continue;
    }
    screen.at(screen.cursor.column, screen.cursor.row) = {ch, screen.attribute};
    if (++screen.cursor.column == screen.width) next_row();
  }
}

inline void write_sequence(const void* text, int32_t bytes, int32_t unit) {
  const auto* p = static_cast<const uint8_t*>(text);
  for (int32_t i = 0; bytes - i >= unit; i += unit)
    screen.handed_on += static_cast<char>(unit_at(p + i, unit));
}

inline void get_info(system::screen_buffer_info& info) {
  info = {screen.width,     screen.height, screen.cursor,     screen.attribute, 0,
          0,                screen.width - 1, screen.height - 1, screen.width,     screen.height};
}

inline void set_cursor(int32_t column, int32_t row) {
  screen.cursor = {clamp(column, screen.width - 1), clamp(row, screen.height - 1)};
}

inline void move_cursor(int32_t columns, int32_t rows) {
  set_cursor(screen.cursor.column + columns, screen.cursor.row + rows);
}

inline void save_cursor() { screen.saved = screen.cursor; }
inline void restore_cursor() { screen.cursor = screen.saved; }
inline uint16_t attribute() { return screen.attribute; }
inline uint16_t initial_attribute() { return screen.initial; }
inline void set_attribute(uint16_t a) {
  screen.attribute = a;
  ++screen.attribute_sets;
}

inline void fill(int32_t column, int32_t row, int32_t length) {
  for (int32_t i = row * screen.width + column, end = i + length; i < end; ++i)
    screen.cells[static_cast<size_t>(i)] = {' ', screen.initial};
}

inline void erase(system::erase_mode mode) {
  auto [column, row] = screen.cursor;
  int32_t w = screen.width, h = screen.height;
  switch (mode) {
    case system::ERASE_DOWN: fill(0, row, (h - row) * w); break;
    case system::ERASE_UP: fill(0, 0, row * w); break;
    case system::ERASE_SCREEN:
      fill(0, 0, w * h);
      screen.cursor = {0, 0};
      break;
    case system::ERASE_ROW:
      fill(0, row, w);
      screen.cursor.column = 0;
      break;
    case system::ERASE_ROW_RIGHT: fill(column, row, w - column); break;
    case system::ERASE_ROW_LEFT:
      fill(0, row, column);
      screen.cursor.column = 0;
      break;
  }
}

}  // namespace screen_console

inline const system::console_layer memory_console = {
    .write_text = screen_console::write_text,
    .write_sequence = screen_console::write_sequence,
    .get_info = screen_console::get_info,
    .set_cursor = screen_console::set_cursor,
    .move_cursor = screen_console::move_cursor,
    .save_cursor = screen_console::save_cursor,
    .restore_cursor = screen_console::restore_cursor,
    .attribute = screen_console::attribute,
    .initial_attribute = screen_console::initial_attribute,
    .set_attribute = screen_console::set_attribute,
    .erase = screen_console::erase,
};

}  // namespace ixo::test
