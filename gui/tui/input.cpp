// The byte queue of the text UI's input, read by the platform's key
// decoder under the text UI's rules: its events mapped to the special-key
// codes and the routing.
//
// Control bytes go out as keys of their own code, save 8 (Backspace, sent
// as 127) and 10 (sent as 13, the Enter key). Bytes that are not UTF-8 go
// out as U+FFFD, one per byte.
#include "gui/tui/input.hpp"

#include <vector>

#include "platform/posix/keys.hpp"
#include "runtime/core/unicode.hpp"

namespace ixo::tui::input {

namespace {

namespace keys = platform::keys;

constexpr uint8_t ESC = 0x1B;
constexpr int32_t REPLACEMENT = 0xFFFD;

std::vector<uint8_t> queue;
bool incomplete = false;
// The last decoding stopped inside a DCS or OSC string.
bool open_string = false;
// 0 after a press report, 1 after a release report.
int32_t last_button_action = 1;

void drop_key(int32_t, int32_t) {}
void drop_button(int32_t, float, float, uint32_t) {}
void drop_move(float, float, uint32_t) {}
void drop_wheel(float, float, float, uint32_t) {}
void drop_report(int32_t, int32_t) {}
int32_t no_top_row() { return 0; }

const routing dropping = {drop_key, drop_button, drop_move, drop_wheel, drop_report, no_top_row};
const routing* route = &dropping;

// The special-key codes of the named keys, in their order.
constexpr int32_t SPECIAL_CODES[] = {
    0,           SPECIAL_UP,   SPECIAL_DOWN, SPECIAL_RIGHT, SPECIAL_LEFT,    SPECIAL_HOME,
    SPECIAL_END, SPECIAL_DELETE, SPECIAL_PAGE_UP, SPECIAL_PAGE_DOWN, SPECIAL_BACK_TAB,
    SPECIAL_F1,  SPECIAL_F2,   SPECIAL_F3,   SPECIAL_F4,    SPECIAL_F5,      SPECIAL_F6,
    SPECIAL_F7,  SPECIAL_F8,   SPECIAL_F9,   SPECIAL_F10,   SPECIAL_F11,     SPECIAL_F12,
};
static_assert(sizeof SPECIAL_CODES / sizeof SPECIAL_CODES[0] == keys::NAMED_F12 + 1);

void send_key(int32_t key) { route->key(key, 0); }

void send_special(int32_t code) {
  if (code != 0) route->key(0, code);
}

// A mouse report: button parameter b, 1-based column and row.
void on_mouse_report(bool release, int32_t b, int32_t column, int32_t row) {
  float x = static_cast<float>(column - 1);
  float y = static_cast<float>(row - route->top_row() - 1);
  uint32_t modifiers = static_cast<uint32_t>((b >> 2) & 3) * MOD_SHIFT;
  if (b & 16) modifiers += MOD_CONTROL;
  int32_t kind = (b & 3) | ((b & 64) >> 4);
  int32_t action = release ? 1 : 0;
  switch (kind) {
    case 0: case 1: case 2:
      if (action != last_button_action) {
        last_button_action = action;
        route->button(kind * 2 + action + 1, x, y, modifiers);
      } else {
        route->move(x, y, modifiers | MOD_BUTTON_HELD);
      }
      break;
    case 3: route->move(x, y, modifiers); break;
    case 4: route->wheel(1.0f, x, y, modifiers); break;
    case 5: route->wheel(-1.0f, x, y, modifiers); break;
    default: break;
  }
}

void send(const keys::event& e) {
  switch (e.kind) {
    case keys::EVENT_CHAR: send_key(e.value == 8 ? 127 : e.value == 10 ? 13 : e.value); break;
    case keys::EVENT_INVALID: send_key(REPLACEMENT); break;
    case keys::EVENT_KEY: send_special(SPECIAL_CODES[e.value]); break;
    case keys::EVENT_MOUSE: on_mouse_report(e.release, e.value, e.column, e.row); break;
    case keys::EVENT_REPORT: route->cursor_report(e.row, e.column); break;
  }
}

}  // namespace

void set_routing(const routing* r) { route = r ? r : &dropping; }

void reset_queue() {
  queue.clear();
  incomplete = false;
  open_string = false;
  last_button_action = 1;
}

void queue_byte(uint8_t byte) { queue.push_back(byte); }

void queue_bytes(const uint8_t* bytes, int32_t count) {
  if (count > 0) queue.insert(queue.end(), bytes, bytes + count);
}

void queue_char(uint32_t cp) {
  uint8_t bytes[4];
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = REPLACEMENT;
  queue_bytes(bytes, unicode::cp_to_utf8(cp, bytes));
}

int32_t queued() { return static_cast<int32_t>(queue.size()); }

bool incomplete_q() { return incomplete; }

bool open_string_q() { return open_string; }

void drop_open_string() {
  if (!open_string) return;
  queue.clear();
  incomplete = false;
  open_string = false;
}

void decode_input() {
  incomplete = false;
  open_string = false;
  // The bytes are taken out first, and the decoder is this call's own: a
  // handler run for a key may run a pass of the frame loop, which reads and
  // decodes bytes that came after them.
  std::vector<uint8_t> items;
  items.swap(queue);
  keys::decoder d{keys::TEXT_UI_RULES};
  keys::event events[keys::MAX_EVENTS];
  for (uint8_t b : items) {
    int32_t n = keys::feed(d, b, events);
    for (int32_t i = 0; i < n; ++i) send(events[i]);
  }
  if (!keys::pending_q(d)) return;
  // An ESC that is all the frame holds is the Escape key.
  if (items.size() == 1 && items[0] == ESC) {
    keys::timeout(d, events[0]);
    send(events[0]);
    return;
  }
  // The sequence under way waits, whole, for the next frame, before
  // anything that came meanwhile; a DCS or OSC string waits until the
  // caller drops it.
  incomplete = true;
  open_string = keys::in_string_q(d);
  auto from = items.end() - keys::pending_length(d);
  queue.insert(queue.begin(), from, items.end());
}

}  // namespace ixo::tui::input
