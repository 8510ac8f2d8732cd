// MurmurHash3_x86_32 over bytes, over ASCII-folded names and over the code
// points of a string, and the hash of a cell by datatype. Relies on case
// folding for strings and on the symbol table for the canonical id of words.
#include "runtime/core/hash.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/core/case_folding.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::hash {

uint32_t seed = 0;

void set_seed(uint32_t value) { seed = value; }

namespace {

constexpr uint32_t C1 = 0xCC9E2D51;
constexpr uint32_t C2 = 0x1B873593;

uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

uint32_t scramble(uint32_t k) { return rotl(k * C1, 15) * C2; }

// One 4-byte block into the running hash.
uint32_t mix_block(uint32_t h, uint32_t k) { return rotl(h ^ scramble(k), 13) * 5 + 0xE6546B64; }

// The last 1 to 3 bytes, already gathered little-endian, and the length.
uint32_t finish(uint32_t h, uint32_t tail, int32_t tail_bytes, uint32_t length) {
  if (tail_bytes) h ^= scramble(tail);
  return mix_pointer(h ^ length);
}

uint8_t lower_ascii(uint8_t b) { return b >= 'A' && b <= 'Z' ? b + 0x20 : b; }

// MurmurHash3 with every byte passed through `read` first.
template <class Read>
uint32_t murmur(const uint8_t* p, int32_t length, uint32_t h, Read read) {
  int32_t blocks = length / 4;
  for (int32_t i = 0; i < blocks; ++i, p += 4) {
    h = mix_block(h, read(p[0]) | read(p[1]) << 8 | read(p[2]) << 16 | static_cast<uint32_t>(read(p[3])) << 24);
  }
  uint32_t tail = 0;
  int32_t tail_bytes = length & 3;
  for (int32_t i = tail_bytes - 1; i >= 0; --i) tail = tail << 8 | read(p[i]);
  return finish(h, tail, tail_bytes, static_cast<uint32_t>(length));
}

// A binary's bytes from its index; an index past the tail (the series was
// cut after the value was taken) hashes as empty.
uint32_t bytes_of_series(const cell* value) {
  memory::series_buffer* b = memory::GET_BUFFER(value);
  int32_t length = static_cast<int32_t>(memory::tail_of(b) - memory::head_of(b));
  int32_t index = std::min(static_cast<int32_t>(value->data1), length);
  return murmur3_x86_32(memory::head_of(b) + index, length - index, seed);
}

uint32_t symbol_name(const cell* value) {
  memory::series_buffer* b = memory::buffer_of(value->data3);
  return fold_name(memory::head_of(b), static_cast<int32_t>(b->tail - b->head));
}

// A money value hashes by its amount, currency and sign: the header's
// other flags (the new-line marker among them) do not count.
uint32_t money(const cell* value) {
  constexpr uint32_t MONEY_SIGN = 1u << 14;
  cell copy = *value;
  copy.header = TYPE_OF(value) | (value->header & MONEY_SIGN);
  return murmur3_x86_32(&copy, sizeof copy, seed);
}

// A point hashes by its float32 coordinates, a -0.0 among them as 0.0.
uint32_t point(const cell* value, int32_t dimensions) {
  uint32_t words[3] = {value->data1, value->data2, value->data3};
  for (uint32_t& w : words) {
    if (w == 0x80000000u) w = 0;
  }
  return murmur3_x86_32(words, 4 * dimensions, seed);
}

// The code points of units U from p to end as little-endian 32-bit words.
template <class U>
uint32_t code_points(const uint8_t* p, const uint8_t* end, bool case_sensitive) {
  uint32_t h = seed;
  uint32_t count = 0;
  for (; p < end; p += sizeof(U), ++count) {
    U u;
    std::memcpy(&u, p, sizeof(U));
    uint32_t cp = u;
    h = mix_block(h, case_sensitive ? cp : case_folding::upper_char(cp));
  }
  return finish(h, 0, 0, 4 * count);
}

}  // namespace

uint32_t murmur3_x86_32(const void* bytes, int32_t length, uint32_t seed) {
  return murmur(static_cast<const uint8_t*>(bytes), length, seed, [](uint8_t b) -> uint32_t { return b; });
}

uint32_t fold_name(const uint8_t* name, int32_t length) {
  return murmur(name, length, seed, [](uint8_t b) -> uint32_t { return lower_ascii(b); });
}

uint32_t string(const cell* value, bool case_sensitive) {
  memory::series_buffer* b = memory::GET_BUFFER(value);
  uint32_t unit = memory::GET_UNIT(b);
  const uint8_t* p = memory::head_of(b) + value->data1 * unit;
  const uint8_t* end = memory::tail_of(b);
  switch (unit) {
    case 1: return code_points<uint8_t>(p, end, case_sensitive);
    case 2: return code_points<uint16_t>(p, end, case_sensitive);
    case 4: return code_points<uint32_t>(p, end, case_sensitive);
    default: NO_SWITCH_MATCH();
  }
}

uint32_t value(const cell* value) {
  switch (TYPE_OF(value)) {
    case TYPE_UNSET: return static_cast<uint32_t>(-2);
    case TYPE_NONE: return static_cast<uint32_t>(-1);
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
      return mix_pointer(value->data1);
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
      return mix_pointer(value->data2);
    case TYPE_NATIVE: case TYPE_ACTION:
      return mix_pointer(value->data3);
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE:
      return mix_pointer(static_cast<uint32_t>(symbol::resolve(static_cast<int32_t>(value->data2))));
    case TYPE_SYMBOL:
      return symbol_name(value);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      return string(value, false);
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_IMAGE:
      return murmur3_x86_32(&value->data1, 8, seed);
    case TYPE_FLOAT: case TYPE_PERCENT: {
      // -0.0 equals 0.0: both hash as 0.0.
      double d = get_float(value);
      if (d == 0.0) d = 0.0;
      return murmur3_x86_32(&d, 8, seed);
    }
    case TYPE_TIME: case TYPE_PAIR:
      return murmur3_x86_32(&value->data2, 8, seed);
    case TYPE_POINT2D:
      return point(value, 2);
    case TYPE_POINT3D:
      return point(value, 3);
    case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
      return murmur3_x86_32(&value->data1, 12, seed);
    case TYPE_TUPLE:
      // The tuple's length in bytes is kept in header bits 19-22; the
      // payload holds at most 12.
      return murmur3_x86_32(&value->data1, std::min(static_cast<int32_t>((value->header >> 19) & 0xF), 12), seed);
    case TYPE_BINARY:
      return bytes_of_series(value);
    case TYPE_MONEY:
      return money(value);
    default:
      return 0;
  }
}

}  // namespace ixo::hash
