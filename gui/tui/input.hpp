// Terminal input of the text UI: the byte queue that every read of the
// terminal appends to, and its decoding, once per frame, by the platform's
// key decoder (platform/posix/keys.hpp) into keys, mouse buttons, pointer
// moves, wheel turns and cursor position reports. A sequence cut off at
// the end of the queue waits there, whole, for the bytes of the next
// frame; a DCS or OSC string waits until the caller drops it.
//
// The decoder knows nothing of widgets: it hands what it decodes to a table
// of entry points, which the frame loop fills with its routing and tests
// with recorders.
#pragma once
#include <cstdint>

namespace ixo::tui::input {

// The special-key codes of the key table (a key event carries them with
// its special flag set).
enum special_key : int32_t {
  SPECIAL_BACK_TAB = 10,
  SPECIAL_F12 = 214,
  SPECIAL_F11 = 215,
  SPECIAL_F10 = 216,
  SPECIAL_F9 = 217,
  SPECIAL_F8 = 218,
  SPECIAL_F7 = 219,
  SPECIAL_F6 = 220,
  SPECIAL_F5 = 221,
  SPECIAL_F4 = 222,
  SPECIAL_F3 = 223,
  SPECIAL_F2 = 224,
  SPECIAL_F1 = 225,
  SPECIAL_PAGE_DOWN = 227,
  SPECIAL_PAGE_UP = 228,
  SPECIAL_DELETE = 229,
  SPECIAL_HOME = 231,
  SPECIAL_END = 232,
  SPECIAL_LEFT = 233,
  SPECIAL_RIGHT = 234,
  SPECIAL_DOWN = 235,
  SPECIAL_UP = 236,
};

// Mouse button event types (the event! type codes).
enum button_event : int32_t {
  BUTTON_DOWN = 1,
  BUTTON_UP = 2,
  BUTTON_MID_DOWN = 3,
  BUTTON_MID_UP = 4,
  BUTTON_ALT_DOWN = 5,
  BUTTON_ALT_UP = 6,
};

// Modifier and button bits of the event flags word.
constexpr uint32_t MOD_CONTROL = 0x10000000;
constexpr uint32_t MOD_SHIFT = 0x20000000;
constexpr uint32_t MOD_META = 0x40000000;
constexpr uint32_t MOD_BUTTON_HELD = 0x2000000;

// Where decoded input goes. Positions are in the active window's cells
// (column from 0; row from 0 at the UI area's top row).
struct routing {
  // A character or control key (special 0), or a special key (key 0).
  void (*key)(int32_t key, int32_t special);
  void (*button)(int32_t type, float x, float y, uint32_t modifiers);
  void (*move)(float x, float y, uint32_t modifiers);
  void (*wheel)(float direction, float x, float y, uint32_t modifiers);
  // The terminal's answer to ESC [ 6 n: 1-based row and column.
  void (*cursor_report)(int32_t row, int32_t column);
  // The terminal row (from 0) on which the UI area starts.
  int32_t (*top_row)();
};

// Installs the routing (null: everything decoded is dropped).
void set_routing(const routing* r);

// Empties the queue, forgets a sequence under way and the last button
// action.
void reset_queue();
void queue_byte(uint8_t byte);
void queue_bytes(const uint8_t* bytes, int32_t count);
// The UTF-8 bytes of a code point.
void queue_char(uint32_t cp);
// Bytes waiting in the queue (an incomplete sequence included).
int32_t queued();

// Decodes the queue; what is cut off at its end stays for the next call.
void decode_input();
// Whether the last decoding stopped inside a sequence that needs more bytes.
bool incomplete_q();
// Whether it stopped inside a DCS or OSC string: one that the user's
// keys opened (Alt-] sends ESC "]", Alt-Shift-P ESC "P") ends only at its
// terminator, so the caller drops it when input pauses.
bool open_string_q();
// Drops that string: the queue holds it and nothing after it.
void drop_open_string();

}  // namespace ixo::tui::input
