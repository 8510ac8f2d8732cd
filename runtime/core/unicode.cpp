// Unicode decoding and encoding: the UTF-8 DFA, the strict decoder, the
// two-pass loaders of UTF-8 and UTF-16LE, the encoders of one code point and
// the exporters of runs of units; then the same over string buffers, with
// widening in place and the per-cell conversion cache.
#include "runtime/core/unicode.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::unicode {

namespace {

// The DFA of the scanning decoder. The first 256 bytes map each byte to a
// character class 0-11; the 108 bytes after them are the transitions,
// indexed by 256 + state + class, where the states are multiples of 12.
// Overlong forms, surrogates and values above 10FFFFh all end in REJECT.
constexpr uint8_t UTF8_ACCEPT = 0;
constexpr uint8_t UTF8_REJECT = 12;

constexpr uint8_t utf8_dfa[364] = {
    // 00-7F: 0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 80-8F: 1, 90-9F: 9, A0-BF: 7 (continuation bytes by the range they open)
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // C0-C1: 8 (overlong), C2-DF: 2
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // E0: 10, E1-EC: 3, ED: 4, EE-EF: 3, F0: 11, F1-F3: 6, F4: 5, F5-FF: 8
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // Transitions, one row of 12 classes per state.
    0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72,   // 0: accept
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 12: reject
    12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12,     // 24: one continuation byte to go
    12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,  // 36: two to go
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12,  // 48: after E0, A0-BF
    12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,  // 60: after ED, 80-9F
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,  // 72: after F0, 90-BF
    12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,  // 84: after F1-F3, 80-BF
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 96: after F4, 80-8F
};

[[noreturn]] void bad_unit() {
  NO_SWITCH_MATCH();
}

void check_unit(int32_t unit) {
  if (unit != 1 && unit != 2 && unit != 4) bad_unit();
}

// The error carries the bytes at the offending position, at most four and
// none past the text, as a binary!. They are copied out first: the text
// may lie in a series that the new binary's allocation moves.
[[noreturn]] void invalid_utf8(const uint8_t* p, int32_t available) {
  uint8_t at[4];
  int32_t n = available < 4 ? available : 4;
  std::memcpy(at, p, static_cast<size_t>(n));
  cell bytes;
  fire(err::access_invalid_utf8, {*binary::load_at(at, n, &bytes)});
}

[[noreturn]] void invalid_char(uint32_t cp) {
  // An integer! holds its value in payload word 2.
  fire(err::script_invalid_char, {cell{TYPE_INTEGER, 0, cp, 0}});
}

uint32_t read_unit(const uint8_t* units, int32_t unit, int32_t i) {
  switch (unit) {
    case 1:
      return units[i];
    case 2: {
      uint16_t u;
      std::memcpy(&u, units + 2 * i, 2);
      return u;
    }
    default: {
      uint32_t u;
      std::memcpy(&u, units + 4 * i, 4);
      return u;
    }
  }
}

void store_unit(uint8_t* units, int32_t unit, int32_t i, uint32_t cp) {
  switch (unit) {
    case 1:
      units[i] = static_cast<uint8_t>(cp);
      break;
    case 2: {
      auto u = static_cast<uint16_t>(cp);
      std::memcpy(units + 2 * i, &u, 2);
      break;
    }
    default:
      std::memcpy(units + 4 * i, &cp, 4);
  }
}

int32_t unit_for(uint32_t cp) { return cp < 0x100 ? 1 : cp < 0x10000 ? 2 : 4; }

uint32_t read_utf16(const uint8_t* bytes, int32_t i) {
  return static_cast<uint32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

void write_utf16(uint8_t* dest, uint32_t u) {
  dest[0] = static_cast<uint8_t>(u);
  dest[1] = static_cast<uint8_t>(u >> 8);
}

// The strict decoding loop of the UTF-8 loader, from `pos` up to `limit`:
// calls sink(cp) for every code point after CR folding and answers where it
// stopped, which is before `limit` only at an incomplete last sequence.
template <class Sink>
int32_t walk_utf8(const uint8_t* bytes, int32_t pos, int32_t limit, bool crlf, Sink&& sink) {
  while (pos < limit) {
    if (bytes[pos] < 0x80 && bytes[pos] != '\r') {  // ASCII, the common case
      sink(bytes[pos++]);
      continue;
    }
    int32_t n = limit - pos;
    int32_t cp = decode_utf8_char(bytes + pos, n);
    if (cp < 0) break;
    pos += n;
    if (crlf && cp == '\r') {
      if (pos < limit && bytes[pos] == '\n') continue;
      cp = '\n';
    }
    sink(static_cast<uint32_t>(cp));
  }
  return pos;
}

// The decoding loop of the UTF-16LE loader: sink(cp) for every code point.
template <class Sink>
void walk_utf16(const uint8_t* bytes, int32_t units, bool crlf, Sink&& sink) {
  for (int32_t i = 0; i < units; ++i) {
    uint32_t u = read_utf16(bytes, i);
    if (crlf && u == 0x0D) continue;
    if (u >= 0xD800 && u <= 0xDFFF) {
      uint32_t low = i + 1 < units ? read_utf16(bytes, i + 1) : 0;
      if (u > 0xDBFF || low < 0xDC00 || low > 0xDFFF) fire(err::script_invalid_chars);
      u = (((u & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000;
      ++i;
    }
    sink(u);
  }
}

}  // namespace

// ---- Scanning decoder ------------------------------------------------------

const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& cp) {
  if (p >= end) {
    cp = -1;
    return end;
  }
  uint32_t type = utf8_dfa[*p];
  uint32_t code = (0xFFu >> type) & *p;
  uint32_t state = utf8_dfa[256 + type];
  ++p;
  while (state != UTF8_ACCEPT && state != UTF8_REJECT) {
    if (p == end) {
      cp = -1;
      return p;
    }
    type = utf8_dfa[*p];
    code = (code << 6) | (*p & 0x3Fu);
    state = utf8_dfa[256 + state + type];
    ++p;
  }
  cp = state == UTF8_ACCEPT ? static_cast<int32_t>(code) : -1;
  return p;
}

int32_t count_chars(const uint8_t* start, const uint8_t* end) {
  int32_t count = 0;
  int32_t cp;
  for (const uint8_t* p = start; p < end; ++count) p = fast_decode_utf8_char(p, end, cp);
  return count;
}

const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, int32_t n) {
  const uint8_t* p = start;
  int32_t cp;
  for (; n > 0 && p < end; --n) p = fast_decode_utf8_char(p, end, cp);
  return p;
}

int32_t utf8_seq_length(uint8_t lead) {
  if ((lead & 0xF0) == 0xF0) return 4;
  if ((lead & 0xE0) == 0xE0) return 3;
  if ((lead & 0xC0) == 0xC0) return 2;
  return 0;
}

// ---- Strict decoder --------------------------------------------------------

int32_t checked_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& length) {
  uint8_t b = p[0];
  length = 1;
  if (b < 0x80) return b;
  int32_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
  if (n == 0 || b > 0xF4 || end - p < n) return -1;
  int32_t cp = b & (0x3F >> (n - 1));
  for (int32_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (p[i] & 0x3F);
  }
  static const int32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  length = n;
  return cp;
}

int32_t decode_utf8_char(const uint8_t* p, int32_t& length) {
  if (length <= 0) return -1;
  uint8_t lead = p[0];
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  // The second byte's range excludes overlong forms (after E0, F0),
  // surrogates (after ED) and values above 10FFFFh (after F4).
  int32_t need;
  uint32_t cp;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    cp = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    cp = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    invalid_utf8(p, length);
  }
  if (length < need) return -1;
  for (int32_t i = 1; i < need; ++i) {
    uint8_t b = p[i];
    if (b < low || b > high) invalid_utf8(p, length);
    cp = (cp << 6) | (b & 0x3Fu);
    low = 0x80;
    high = 0xBF;
  }
  length = need;
  return static_cast<int32_t>(cp);
}

// ---- Encoders of one code point ----------------------------------------------

int32_t utf8_size_of(uint32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  if (cp < 0x110000) return 4;
  invalid_char(cp);
}

int32_t cp_to_utf8(uint32_t cp, uint8_t* dest) {
  int32_t n = utf8_size_of(cp);
  switch (n) {
    case 1:
      dest[0] = static_cast<uint8_t>(cp);
      break;
    case 2:
      dest[0] = static_cast<uint8_t>(0xC0 | cp >> 6);
      dest[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
      break;
    case 3:
      dest[0] = static_cast<uint8_t>(0xE0 | cp >> 12);
      dest[1] = static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F));
      dest[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
      break;
    default:
      dest[0] = static_cast<uint8_t>(0xF0 | cp >> 18);
      dest[1] = static_cast<uint8_t>(0x80 | (cp >> 12 & 0x3F));
      dest[2] = static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F));
      dest[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  }
  return n;
}

int32_t cp_to_utf8_bounded(uint32_t cp, uint8_t* dest, int32_t room) {
  uint8_t sequence[4];
  int32_t n = cp_to_utf8(cp, sequence);
  if (n > room) n = room < 0 ? 0 : room;
  std::memcpy(dest, sequence, static_cast<size_t>(n));
  return n;
}

int32_t cp_to_utf16(uint32_t cp, uint8_t* dest) {
  if (cp < 0x10000) {
    write_utf16(dest, cp);
    return 1;
  }
  if (cp < 0x110000) {
    cp -= 0x10000;
    write_utf16(dest, 0xD800 | cp >> 10);
    write_utf16(dest + 2, 0xDC00 | (cp & 0x3FF));
    return 2;
  }
  return 0;
}

// ---- Loading UTF-8 -------------------------------------------------------------

utf8_load scan_utf8(const uint8_t* bytes, int32_t length, bool crlf, bool remainder_allowed) {
  utf8_load load{0, 0, 0, 1, crlf};
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) load.start = 3;
  uint32_t widest = 0;
  load.end = walk_utf8(bytes, load.start, length, crlf, [&](uint32_t cp) {
    ++load.count;
    if (cp > widest) widest = cp;
  });
  if (load.end < length && !remainder_allowed) invalid_utf8(bytes + load.end, length - load.end);
  load.unit = unit_for(widest);
  return load;
}

void decode_utf8(const uint8_t* bytes, const utf8_load& load, void* dest, int32_t unit) {
  check_unit(unit);
  // One loop per unit, so that the store is a plain move.
  auto decode = [&]<class T>(T*) {
    auto* out = static_cast<uint8_t*>(dest);
    walk_utf8(bytes, load.start, load.end, load.crlf, [&](uint32_t cp) {
      auto u = static_cast<T>(cp);
      std::memcpy(out, &u, sizeof u);
      out += sizeof u;
    });
  };
  if (unit == 1) decode(static_cast<uint8_t*>(nullptr));
  if (unit == 2) decode(static_cast<uint16_t*>(nullptr));
  if (unit == 4) decode(static_cast<uint32_t*>(nullptr));
}

// ---- Loading UTF-16LE ----------------------------------------------------------

utf16_load scan_utf16(const uint8_t* bytes, int32_t units, bool crlf) {
  utf16_load load{units, 0, 1, crlf};
  uint32_t widest = 0;
  walk_utf16(bytes, units, crlf, [&](uint32_t cp) {
    ++load.count;
    if (cp > widest) widest = cp;
  });
  load.unit = unit_for(widest);
  return load;
}

void decode_utf16(const uint8_t* bytes, const utf16_load& load, void* dest, int32_t unit) {
  check_unit(unit);
  auto* out = static_cast<uint8_t*>(dest);
  int32_t i = 0;
  walk_utf16(bytes, load.units, load.crlf, [&](uint32_t cp) { store_unit(out, unit, i++, cp); });
}

// ---- Widening --------------------------------------------------------------------

void widen_units(void* data, int32_t count, int32_t from, int32_t to) {
  check_unit(from);
  check_unit(to);
  if (to <= from) bad_unit();
  // From the last unit to the first, so that no unit is overwritten before
  // it is read.
  auto* units = static_cast<uint8_t*>(data);
  for (int32_t i = count - 1; i >= 0; --i) store_unit(units, to, i, read_unit(units, from, i));
}

// ---- Exporting runs of units -------------------------------------------------------

int32_t count_utf8_bytes(const void* start, const void* end, int32_t unit) {
  check_unit(unit);
  const auto* units = static_cast<const uint8_t*>(start);
  int32_t count = static_cast<int32_t>((static_cast<const uint8_t*>(end) - units) / unit);
  int32_t bytes = 0;
  for (int32_t i = 0; i < count; ++i) bytes += utf8_size_of(read_unit(units, unit, i));
  return bytes;
}

int32_t utf8_export_size(int32_t unit, int32_t count) {
  check_unit(unit);
  return (unit == 4 ? 4 : unit + 1) * (count + 1);
}

int32_t encode_utf8(const void* units, int32_t unit, int32_t count, bool crlf, uint8_t* dest) {
  check_unit(unit);
  const auto* in = static_cast<const uint8_t*>(units);
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(in, unit, i);
    if (crlf && cp == '\n') dest[n++] = '\r';
    n += cp_to_utf8(cp, dest + n);
  }
  return n;
}

int32_t encode_utf8_bounded(const void* units, int32_t unit, int32_t count, uint8_t* dest,
                            int32_t room) {
  check_unit(unit);
  const auto* in = static_cast<const uint8_t*>(units);
  int32_t n = 0;
  for (int32_t i = 0; i < count && n < room; ++i) {
    n += cp_to_utf8_bounded(read_unit(in, unit, i), dest + n, room - n);
  }
  return n;
}

int32_t utf16_export_size(const void* units, int32_t unit, int32_t count) {
  check_unit(unit);
  const auto* in = static_cast<const uint8_t*>(units);
  int32_t size = 2 * count + 2;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(in, unit, i);
    if (cp == '\n' || cp >= 0x10000) size += 2;
  }
  return size;
}

int32_t encode_utf16(const void* units, int32_t unit, int32_t count, bool crlf, uint8_t* dest) {
  check_unit(unit);
  const auto* in = static_cast<const uint8_t*>(units);
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = read_unit(in, unit, i);
    if (crlf && cp == '\n') write_utf16(dest + 2 * n++, '\r');
    int32_t written = cp_to_utf16(cp, dest + 2 * n);
    if (written == 0) return -1;
    n += written;
  }
  return n;
}

// ---- String buffers ------------------------------------------------------------------

using namespace memory;

namespace {

series_buffer* widen_buffer(series_buffer* b, int32_t to) {
  int32_t from = static_cast<int32_t>(GET_UNIT(b));
  check_unit(from);
  int32_t count = static_cast<int32_t>((b->tail - b->head) / static_cast<uint32_t>(from));
  int64_t needed = (static_cast<int64_t>(count) + 1) * to;
  if (needed > INT32_MAX) fire(err::internal_no_memory);
  if (data_end(b) - head_of(b) < needed) b = expand_series(b, static_cast<int32_t>(needed));
  widen_units(head_of(b), count, from, to);
  b->tail = b->head + static_cast<uint32_t>(count * to);
  b->flags = (b->flags & ~SERIES_UNIT) | static_cast<uint32_t>(to);
  return b;
}

// A string buffer ready to take `count` units of `unit` bytes from its
// head, set to that unit: its content is replaced, so a move keeps none.
series_buffer* prepare_target(series_buffer* b, int32_t count, int32_t unit) {
  int64_t needed = static_cast<int64_t>(count) * unit;
  if (needed > INT32_MAX) fire(err::internal_no_memory);
  if (data_end(b) - head_of(b) < needed) b = move_series_buffer(b, static_cast<int32_t>(needed));
  b->flags = (b->flags & ~SERIES_UNIT) | static_cast<uint32_t>(unit);
  return b;
}

// The units of string s from its index: how many (at most `limit` unless
// limit is negative), their width and where they start.
struct string_run {
  const uint8_t* units;
  int32_t unit;
  int32_t count;
};

string_run run_of(const cell* s, int32_t limit) {
  series_buffer* b = GET_BUFFER(s);
  int32_t unit = static_cast<int32_t>(GET_UNIT(b));
  check_unit(unit);
  int32_t count = string::rs_length_q(s);
  if (limit >= 0 && limit < count) count = limit;
  // An index past the tail has nothing to export: it starts at the tail.
  const uint8_t* units = count > 0 ? head_of(b) + static_cast<int64_t>(s->data1) * unit : tail_of(b);
  return {units, unit, count};
}

// Exports need up to 4 bytes a unit: counts beyond this would not fit 31
// bits.
void check_export_count(int32_t count) {
  if (count >= INT32_MAX / 4 - 1) fire(err::internal_no_memory);
}

}  // namespace

series_buffer* latin1_to_ucs2(series_buffer* b) { return widen_buffer(b, 2); }
series_buffer* latin1_to_ucs4(series_buffer* b) { return widen_buffer(b, 4); }
series_buffer* ucs2_to_ucs4(series_buffer* b) { return widen_buffer(b, 4); }

uint32_t load_utf8(const uint8_t* bytes, int32_t length, uint32_t target, int32_t* remainder,
                   bool crlf) {
  utf8_load load = scan_utf8(bytes, length, crlf, remainder != nullptr);
  series_buffer* b;
  int32_t unit = load.unit;
  if (target == 0) {
    b = buffer_of(alloc_series(std::max(load.count, 1), static_cast<uint32_t>(unit), 0));
  } else {
    b = buffer_of(target);
    check_unit(static_cast<int32_t>(GET_UNIT(b)));
    unit = std::max(unit, static_cast<int32_t>(GET_UNIT(b)));
    b = prepare_target(b, load.count, unit);
  }
  decode_utf8(bytes, load, head_of(b), unit);
  b->tail = b->head + static_cast<uint32_t>(load.count * unit);
  if (remainder) *remainder = length - load.end;
  return b->node;
}

uint32_t load_utf8_into(const uint8_t* bytes, int32_t length, const cell* s, int32_t* remainder) {
  return load_utf8(bytes, length, s->data2, remainder, false);
}

uint32_t load_utf8_new(const uint8_t* bytes, int32_t length) {
  return load_utf8(bytes, length, 0, nullptr, false);
}

uint32_t load_utf16(const uint8_t* bytes, int32_t units, cell* s, bool crlf) {
  const uint8_t* text = bytes ? bytes : head_of(buffer_of(s->data3));
  utf16_load load = scan_utf16(text, units, crlf);
  series_buffer* b;
  if (s == nullptr) {
    b = buffer_of(alloc_series(std::max(load.count, 1), static_cast<uint32_t>(load.unit), 0));
  } else {
    b = prepare_target(GET_BUFFER(s), load.count, load.unit);
  }
  if (!bytes) text = head_of(buffer_of(s->data3));  // the cache may have moved
  decode_utf16(text, load, head_of(b), load.unit);
  b->tail = b->head + static_cast<uint32_t>(load.count * load.unit);
  return b->node;
}

uint8_t* get_cache(cell* s, int32_t bytes) {
  if (s->data3 == 0) {
    uint32_t cache = alloc_bytes(bytes);
    s->data3 = cache;
  } else {
    series_buffer* b = buffer_of(s->data3);
    if (data_end(b) - head_of(b) < bytes) move_series_buffer(b, bytes);
  }
  return head_of(buffer_of(s->data3));
}

uint32_t to_utf8_buffer(cell* s, int32_t& length, bool crlf) {
  string_run run = run_of(s, length);
  check_export_count(run.count);
  uint8_t* dest = get_cache(s, utf8_export_size(run.unit, run.count));
  run = run_of(s, length);  // the string may have moved
  int32_t written = encode_utf8(run.units, run.unit, run.count, crlf, dest);
  dest[written] = 0;
  length = written;
  return s->data3;
}

const char* to_utf8_crlf(cell* s, int32_t& length, bool crlf) {
  return reinterpret_cast<const char*>(head_of(buffer_of(to_utf8_buffer(s, length, crlf))));
}

const char* to_utf8(cell* s, int32_t& length) { return to_utf8_crlf(s, length, false); }

int32_t write_utf8(const cell* s, uint8_t* dest, int32_t part, bool terminate) {
  string_run run = run_of(s, part);
  int32_t written = encode_utf8(run.units, run.unit, run.count, false, dest);
  if (terminate) dest[written] = 0;
  return written;
}

int32_t to_utf8_bounded(const cell* s, uint8_t* dest, int32_t room, int32_t part, bool terminate) {
  // The NUL takes the last byte of the room.
  int32_t space = terminate ? room - 1 : room;
  if (space < 0) return 0;
  string_run run = run_of(s, part > 0 ? part : -1);
  int32_t written = encode_utf8_bounded(run.units, run.unit, run.count, dest, space);
  if (terminate) dest[written] = 0;
  return written;
}

const uint8_t* to_utf16_part(cell* s, int32_t& length, bool crlf) {
  string_run run = run_of(s, length);
  check_export_count(run.count);
  uint8_t* dest = get_cache(s, utf16_export_size(run.units, run.unit, run.count));
  run = run_of(s, length);  // the string may have moved
  int32_t written = encode_utf16(run.units, run.unit, run.count, crlf, dest);
  if (written < 0) return nullptr;
  dest[2 * written] = dest[2 * written + 1] = 0;
  length = written;
  return dest;
}

const uint8_t* to_utf16_all(cell* s) {
  int32_t length = -1;
  return to_utf16_part(s, length, true);
}

}  // namespace ixo::unicode
