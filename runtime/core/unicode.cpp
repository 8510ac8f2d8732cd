// Unicode decoding and encoding: the UTF-8 DFA, the strict decoder, the
// two-pass loaders of UTF-8 and UTF-16LE, the encoders of one code point and
// the exporters of runs of units.
#include "runtime/core/unicode.hpp"

#include <cstring>

#include "runtime/interpreter/fire.hpp"
#include "startup/runtime_error.hpp"

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
  system::runtime_error(101, system::code_address(__builtin_return_address(0)));
}

void check_unit(int32_t unit) {
  if (unit != 1 && unit != 2 && unit != 4) bad_unit();
}

[[noreturn]] void invalid_utf8() { fire(err::access_invalid_utf8); }

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
    invalid_utf8();
  }
  if (length < need) return -1;
  for (int32_t i = 1; i < need; ++i) {
    uint8_t b = p[i];
    if (b < low || b > high) invalid_utf8();
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
  if (load.end < length && !remainder_allowed) invalid_utf8();
  load.unit = unit_for(widest);
  return load;
}

void decode_utf8(const uint8_t* bytes, const utf8_load& load, void* dest, int32_t unit) {
  check_unit(unit);
  auto* out = static_cast<uint8_t*>(dest);
  int32_t i = 0;
  walk_utf8(bytes, load.start, load.end, load.crlf,
            [&](uint32_t cp) { store_unit(out, unit, i++, cp); });
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

}  // namespace ixo::unicode
