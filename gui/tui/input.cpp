// The byte queue and the VT decoder of the text UI's input.
//
// Items of the queue: ESC sequences (CSI with SGR mouse reports and cursor
// position reports, SS3 keys, DCS and OSC strings, which are skipped
// through ESC "\" or BEL),
// control bytes and UTF-8 characters. Control bytes go out as keys of
// their own code, save 8 (Backspace, sent as 127) and 10 (sent as 13, the
// Enter key). Bytes that are not UTF-8 go out as U+FFFD, one per byte.
#include "gui/tui/input.hpp"

#include <cstring>
#include <vector>

#include "runtime/core/unicode.hpp"

namespace ixo::tui::input {

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t BEL = 0x07;
constexpr int32_t REPLACEMENT = 0xFFFD;

// A CSI keeps four parameters; further ones are read and dropped.
constexpr int32_t MAX_PARAMETERS = 4;
// A parameter stops growing at six digits (a terminal's rows and columns
// have at most five), so that a long run of digits cannot overflow it.
constexpr int32_t PARAMETER_LIMIT = 100000;

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

// The key table: the bytes after ESC, and the special-key code. A
// sequence ESC [ whose first byte after the bracket is a digit counts only
// with the final byte ~, which every such entry here has.
struct key_entry {
  const char* bytes;
  int32_t code;
};
constexpr key_entry KEY_TABLE[] = {
    {"[15~", SPECIAL_F5},  {"[17~", SPECIAL_F6},        {"[18~", SPECIAL_F7},      {"[19~", SPECIAL_F8},
    {"[20~", SPECIAL_F9},  {"[21~", SPECIAL_F10},       {"[23~", SPECIAL_F11},     {"[24~", SPECIAL_F12},
    {"[3~", SPECIAL_DELETE}, {"[5~", SPECIAL_PAGE_UP},  {"[6~", SPECIAL_PAGE_DOWN},
    {"[A", SPECIAL_UP},    {"[B", SPECIAL_DOWN},        {"[C", SPECIAL_RIGHT},     {"[D", SPECIAL_LEFT},
    {"[F", SPECIAL_END},   {"[H", SPECIAL_HOME},        {"[Z", SPECIAL_BACK_TAB},
    {"OP", SPECIAL_F1},    {"OQ", SPECIAL_F2},          {"OR", SPECIAL_F3},        {"OS", SPECIAL_F4},
    // The forms Linux terminals and tmux send for the same keys.
    {"OA", SPECIAL_UP},    {"OB", SPECIAL_DOWN},        {"OC", SPECIAL_RIGHT},     {"OD", SPECIAL_LEFT},
    {"[1~", SPECIAL_HOME}, {"[7~", SPECIAL_HOME},       {"OH", SPECIAL_HOME},
    {"[4~", SPECIAL_END},  {"[8~", SPECIAL_END},        {"OF", SPECIAL_END},
};

// The special-key code of the bytes after ESC, 0 for any other sequence.
int32_t special_key(const uint8_t* bytes, size_t length) {
  for (const key_entry& e : KEY_TABLE)
    if (std::strlen(e.bytes) == length && std::memcmp(e.bytes, bytes, length) == 0) return e.code;
  return 0;
}

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

// What decoding one item found.
enum item_result { DONE, NEED_MORE };

// A CSI sequence whose "[" is at `at`. Sets `next` past its final byte.
item_result decode_csi(const uint8_t* q, size_t n, size_t at, size_t& next) {
  int32_t params[MAX_PARAMETERS] = {};
  int32_t count = 1;  // the parameter being read, from 1
  bool mouse = false;
  for (size_t i = at + 1; i < n; ++i) {
    uint8_t b = q[i];
    if (b == ESC) {  // abandoned: the ESC starts the next item
      next = i;
      return DONE;
    }
    if (b == '<') {
      mouse = true;
    } else if (b >= '0' && b <= '9') {
      if (count <= MAX_PARAMETERS) {
        int32_t& p = params[count - 1];
        if (p < PARAMETER_LIMIT) p = p * 10 + (b - '0');
      }
    } else if (b == ';') {
      ++count;
    } else if (b >= 64 && b <= 126 && b != '[') {
      next = i + 1;
      if (count <= MAX_PARAMETERS) {
        if ((b == 'M' || b == 'm') && count == 3) {
          on_mouse_report(b == 'm', params[0], params[1], params[2]);
          return DONE;
        }
        if (b == 'R' && count == 2 && !mouse) {
          route->cursor_report(params[0], params[1]);
          return DONE;
        }
      }
      // A sequence of parameters counts only with the final byte ~.
      bool digit_first = at + 1 < i && q[at + 1] >= '0' && q[at + 1] <= '9';
      if (!digit_first || b == '~') send_special(special_key(q + at, i + 1 - at));
      return DONE;
    }
  }
  return NEED_MORE;
}

// A DCS or OSC string whose introducer is at `at`: skipped through its
// terminator, ESC "\" or BEL.
item_result skip_string(const uint8_t* q, size_t n, size_t at, size_t& next) {
  for (size_t i = at + 1; i < n; ++i) {
    if (q[i] == BEL) {
      next = i + 1;
      return DONE;
    }
    if (q[i] == ESC && i + 1 < n && q[i + 1] == '\\') {
      next = i + 2;
      return DONE;
    }
  }
  open_string = true;
  return NEED_MORE;
}

// An escape sequence whose ESC is at `at`.
item_result decode_escape(const uint8_t* q, size_t n, size_t at, size_t& next) {
  if (at + 1 >= n) return NEED_MORE;
  uint8_t x = q[at + 1];
  if (x == 'P' || x == ']') return skip_string(q, n, at + 1, next);
  if (x == '[') return decode_csi(q, n, at + 1, next);
  // Any other byte pairs with the one after it: SS3 keys, and ESC with an
  // ordinary character, which yields nothing.
  if (at + 2 >= n) return NEED_MORE;
  next = at + 3;
  send_special(special_key(q + at + 1, 2));
  return DONE;
}

// One UTF-8 character at `at`: its code point, or U+FFFD for an invalid
// byte (which alone is consumed).
item_result decode_char(const uint8_t* q, size_t n, size_t at, size_t& next) {
  uint8_t lead = q[at];
  int32_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) length = 1;
  else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead == 0xED) length = 3, high = 0x9F;  // no surrogates
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  next = at + 1;
  if (length == 0) {
    send_key(REPLACEMENT);
    return DONE;
  }
  for (int32_t k = 1; k < length; ++k) {
    if (at + k >= n) return NEED_MORE;
    uint8_t b = q[at + k];
    uint8_t lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) {
      send_key(REPLACEMENT);
      return DONE;
    }
  }
  int32_t used = length;
  int32_t cp = unicode::decode_utf8_char(q + at, used);
  next = at + static_cast<size_t>(length);
  send_key(cp);
  return DONE;
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
  // The bytes are taken out first: a handler run for a key may run a pass
  // of the frame loop, which reads and decodes bytes that came after them.
  std::vector<uint8_t> items;
  items.swap(queue);
  const uint8_t* q = items.data();
  size_t n = items.size();
  size_t at = 0;
  while (at < n) {
    uint8_t b = q[at];
    size_t next = at + 1;
    item_result r = DONE;
    if (b == ESC && n > 1) {
      r = decode_escape(q, n, at, next);
    } else if (b < 0x20 || b == 0x7F) {
      send_key(b == 8 ? 127 : b == 10 ? 13 : b);
    } else {
      r = decode_char(q, n, at, next);
    }
    if (r == NEED_MORE) {
      // The item waits, whole, for the next frame, before anything that
      // came meanwhile.
      incomplete = true;
      queue.insert(queue.begin(), items.begin() + static_cast<std::ptrdiff_t>(at), items.end());
      return;
    }
    at = next;
  }
}

}  // namespace ixo::tui::input
