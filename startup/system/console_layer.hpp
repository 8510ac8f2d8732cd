// The console layer: the few operations the escape-sequence interpreter
// needs from a text screen (write text, place the cursor, erase, set the
// character attribute), as a table of entry points. The terminal console
// (platform/posix/console.hpp) emits the equivalent VT sequences to standard output; any other table of
// the same shape (tests use a screen buffer in memory) can stand in for it.
#pragma once
#include <cstdint>

namespace ixo::system {

// Character attribute word: bits 0-2 the foreground colour (1 blue, 2 green,
// 4 red), bit 3 foreground intensity, bits 4-6 the background colour, bit 7
// background intensity, bit 15 underscore.
constexpr uint16_t ATTR_FOREGROUND = 0x07;
constexpr uint16_t ATTR_FOREGROUND_INTENSITY = 0x08;
constexpr uint16_t ATTR_BACKGROUND = 0x70;
constexpr uint16_t ATTR_BACKGROUND_INTENSITY = 0x80;
constexpr uint16_t ATTR_UNDERSCORE = 0x8000;

struct console_position {
  int32_t column;
  int32_t row;
};

// What the console tells about itself; positions count from 0. A cursor
// the console cannot tell is -1, -1.
struct screen_buffer_info {
  int32_t width, height;
  console_position cursor;
  uint16_t attribute;
  int32_t left, top, right, bottom;  // the visible window
  int32_t max_width, max_height;     // the largest window the screen allows
};

// Regions of an erase; every erased cell becomes a space in the initial
// attribute.
enum erase_mode : int32_t {
  ERASE_DOWN = 0,        // the cursor row and every row below it
  ERASE_UP = 1,          // every row above the cursor row
  ERASE_SCREEN = 2,      // the whole screen; the cursor goes home
  ERASE_ROW = 3,         // the cursor row; the cursor to its column 0
  ERASE_ROW_RIGHT = 4,   // from the cursor to the end of its row
  ERASE_ROW_LEFT = 5,    // the cursor row left of the cursor; the cursor to column 0
};

// Text arrives as units of 1, 2 or 4 bytes, each unit one code point.
// Cursor positions and moves are clamped to the screen.
struct console_layer {
  // Characters at the cursor in the current attribute.
  void (*write_text)(const void* text, int32_t bytes, int32_t unit);
  // An escape sequence the interpreter leaves to the console, unchanged.
  void (*write_sequence)(const void* text, int32_t bytes, int32_t unit);
  void (*get_info)(screen_buffer_info& info);
  void (*set_cursor)(int32_t column, int32_t row);
  void (*move_cursor)(int32_t columns, int32_t rows);
  void (*save_cursor)();
  void (*restore_cursor)();  // moves the cursor only; the attribute stays
  uint16_t (*attribute)();
  uint16_t (*initial_attribute)();  // the attribute the console started with
  void (*set_attribute)(uint16_t attribute);
  void (*erase)(erase_mode mode);
};

}  // namespace ixo::system
