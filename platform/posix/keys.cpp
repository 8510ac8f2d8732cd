// The key decoder: one state machine over the bytes, the key table, and
// the two readers' rules for escapes.
#include "platform/posix/keys.hpp"

#include <climits>
#include <cstring>

namespace ixo::platform::keys {

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr uint8_t BEL = 0x07;

enum decoder_state : int32_t { GROUND, ESCAPE, CSI, PAIR, STRING, UTF8 };

// The key table: the bytes after ESC. Every entry whose first byte after
// the bracket is a digit ends in "~", so a sequence of parameters names a
// key only with that final byte.
struct key_entry {
  const char* bytes;
  named_key key;
};
constexpr key_entry KEY_TABLE[] = {
    {"[15~", NAMED_F5},     {"[17~", NAMED_F6},      {"[18~", NAMED_F7},        {"[19~", NAMED_F8},
    {"[20~", NAMED_F9},     {"[21~", NAMED_F10},     {"[23~", NAMED_F11},       {"[24~", NAMED_F12},
    {"[3~", NAMED_DELETE},  {"[5~", NAMED_PAGE_UP},  {"[6~", NAMED_PAGE_DOWN},
    {"[A", NAMED_UP},       {"[B", NAMED_DOWN},      {"[C", NAMED_RIGHT},       {"[D", NAMED_LEFT},
    {"[F", NAMED_END},      {"[H", NAMED_HOME},      {"[Z", NAMED_BACK_TAB},
    {"OP", NAMED_F1},       {"OQ", NAMED_F2},        {"OR", NAMED_F3},          {"OS", NAMED_F4},
    // The forms Linux terminals and tmux send for the same keys.
    {"OA", NAMED_UP},       {"OB", NAMED_DOWN},      {"OC", NAMED_RIGHT},       {"OD", NAMED_LEFT},
    {"[1~", NAMED_HOME},    {"[7~", NAMED_HOME},     {"OH", NAMED_HOME},
    {"[4~", NAMED_END},     {"[8~", NAMED_END},      {"OF", NAMED_END},
};

// The named key of the bytes gathered after ESC, 0 for any other sequence.
int32_t table_key(const decoder& d) {
  if (d.raw_count > static_cast<int32_t>(sizeof d.raw)) return 0;
  size_t length = static_cast<size_t>(d.raw_count);
  for (const key_entry& e : KEY_TABLE)
    if (std::strlen(e.bytes) == length && std::memcmp(e.bytes, d.raw, length) == 0) return e.key;
  return 0;
}

void keep_raw(decoder& d, uint8_t byte) {
  if (d.raw_count < static_cast<int32_t>(sizeof d.raw)) d.raw[d.raw_count] = byte;
  if (d.raw_count <= static_cast<int32_t>(sizeof d.raw)) ++d.raw_count;
}

void reset(decoder& d) { d = decoder{d.with}; }

void put(event out[], int32_t& n, event_kind kind, int32_t value) { out[n++] = event{kind, value, 0, 0, false}; }

// A byte with no sequence under way.
void ground_byte(decoder& d, uint8_t byte, event out[], int32_t& n) {
  if (byte == ESC) {
    d.state = ESCAPE;
    d.length = 1;
    return;
  }
  if (byte < 0x80) {
    put(out, n, EVENT_CHAR, byte);
    return;
  }
  // A UTF-8 lead byte and the range of the byte after it: C0, C1 and F5-FF
  // never start a valid sequence, and a stray continuation byte is invalid.
  uint8_t low = 0x80, high = 0xBF;
  if (byte >= 0xC2 && byte <= 0xDF) d.need = 1, d.cp = byte & 0x1F;
  else if (byte >= 0xE0 && byte <= 0xEF) d.need = 2, d.cp = byte & 0x0F;
  else if (byte >= 0xF0 && byte <= 0xF4) d.need = 3, d.cp = byte & 0x07;
  else return put(out, n, EVENT_INVALID, 0);
  if (byte == 0xE0) low = 0xA0;       // no overlong forms
  else if (byte == 0xED) high = 0x9F; // no surrogates
  else if (byte == 0xF0) low = 0x90;
  else if (byte == 0xF4) high = 0x8F; // nothing past 10FFFFh
  d.low = low;
  d.high = high;
  d.state = UTF8;
  d.length = 1;
}

void escape_byte(decoder& d, uint8_t byte, event out[], int32_t& n) {
  if (byte == '[') {
    d.state = CSI;
    keep_raw(d, byte);
    return;
  }
  if (d.with.strings && (byte == 'P' || byte == ']')) {
    d.state = STRING;
    return;
  }
  if (d.with.escape_pairs || byte == 'O') {
    d.state = PAIR;
    keep_raw(d, byte);
    return;
  }
  reset(d);
  if (byte >= 0x20 && byte < 0x7F) return;
  put(out, n, EVENT_CHAR, ESC);
  ground_byte(d, byte, out, n);
}

// The final byte of a CSI sequence.
void csi_final(decoder& d, uint8_t byte, event out[], int32_t& n) {
  keep_raw(d, byte);
  event e{EVENT_KEY, 0, 0, 0, false};
  if ((byte == 'M' || byte == 'm') && d.param_count == 3) {
    e = event{EVENT_MOUSE, d.params[0], d.params[1], d.params[2], byte == 'm'};
  } else if (byte == 'R' && d.param_count == 2 && !d.mouse) {
    e = event{EVENT_REPORT, 0, d.params[1], d.params[0], false};
  } else {
    e.value = table_key(d);
  }
  reset(d);
  if (e.kind != EVENT_KEY || e.value != 0) out[n++] = e;
}

void csi_byte(decoder& d, uint8_t byte, event out[], int32_t& n) {
  if (byte >= 0x20 && byte <= 0x3F) {  // parameter and intermediate bytes
    keep_raw(d, byte);
    if (byte == '<') {
      d.mouse = true;
    } else if (byte >= '0' && byte <= '9') {
      if (d.param_count <= MAX_PARAMETERS) {
        int32_t& p = d.params[d.param_count - 1];
        if (p < PARAMETER_LIMIT) p = p * 10 + (byte - '0');
      }
    } else if (byte == ';') {
      if (d.param_count <= MAX_PARAMETERS) ++d.param_count;
    }
    return;
  }
  bool lenient = d.with.lenient_csi;
  if (byte >= 0x40 && byte <= 0x7E && !(lenient && byte == '[')) return csi_final(d, byte, out, n);
  if (lenient && byte != ESC) {
    keep_raw(d, byte);
    return;
  }
  // An ESC always abandons the sequence and starts the next one.
  reset(d);
  ground_byte(d, byte, out, n);
}

void pair_byte(decoder& d, uint8_t byte, event out[], int32_t& n) {
  if (!d.with.escape_pairs && !(byte >= 0x20 && byte <= 0x7E)) {
    reset(d);
    return ground_byte(d, byte, out, n);
  }
  keep_raw(d, byte);
  int32_t key = table_key(d);
  reset(d);
  if (key != 0) put(out, n, EVENT_KEY, key);
}

void string_byte(decoder& d, uint8_t byte) {
  if (byte == BEL || (d.string_escape && byte == '\\')) return reset(d);
  d.string_escape = byte == ESC;
}

void utf8_byte(decoder& d, uint8_t byte, event out[], int32_t& n) {
  if (byte < d.low || byte > d.high) {
    // The lead byte and each continuation byte taken are invalid; this
    // byte starts afresh.
    for (int32_t i = 0; i <= d.got; ++i) put(out, n, EVENT_INVALID, 0);
    reset(d);
    return ground_byte(d, byte, out, n);
  }
  d.cp = d.cp << 6 | (byte & 0x3F);
  ++d.got;
  d.low = 0x80;
  d.high = 0xBF;
  if (--d.need > 0) return;
  int32_t cp = static_cast<int32_t>(d.cp);
  reset(d);
  put(out, n, EVENT_CHAR, cp);
}

}  // namespace

int32_t feed(decoder& d, uint8_t byte, event out[MAX_EVENTS]) {
  int32_t n = 0;
  if (d.state != GROUND && d.length < INT32_MAX) ++d.length;
  switch (d.state) {
    case ESCAPE: escape_byte(d, byte, out, n); break;
    case CSI: csi_byte(d, byte, out, n); break;
    case PAIR: pair_byte(d, byte, out, n); break;
    case STRING: string_byte(d, byte); break;
    case UTF8: utf8_byte(d, byte, out, n); break;
    default: ground_byte(d, byte, out, n); break;
  }
  return n;
}

bool timeout(decoder& d, event& out) {
  bool escape = d.state == ESCAPE;
  reset(d);
  if (escape) out = event{EVENT_CHAR, ESC, 0, 0, false};
  return escape;
}

bool in_string_q(const decoder& d) { return d.state == STRING; }

}  // namespace ixo::platform::keys
