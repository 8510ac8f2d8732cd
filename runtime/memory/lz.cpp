// LZ decompression: a bit reader bounded by the container's packed data,
// and the output, which grows block by block up to the capacity the
// container's header allows: a corrupt unpacked length is never allocated
// in one piece.
#include "runtime/memory/lz.hpp"

#include "startup/system/heap.hpp"

namespace ixo::lz {

namespace {

constexpr int32_t header_size = 8;
constexpr uint32_t max_block = 0x100000;

uint32_t read_word(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct stream {
  const uint8_t* in;   // next byte of packed data
  const uint8_t* end;  // end of the packed data
  uint32_t bits;       // fetched bits not yet read; the next one in bit 0
  int32_t count;       // how many
  uint8_t* out;
  int64_t capacity;
  int32_t used;
};

// Reads an n-bit field (n <= 24), its first bit the least significant;
// false when the packed data ends first.
bool get_bits(stream& s, int32_t n, uint32_t& value) {
  while (s.count < n) {
    if (s.in == s.end) return false;
    s.bits |= uint32_t{*s.in++} << s.count;
    s.count += 8;
  }
  value = s.bits & ((1u << n) - 1);
  s.bits >>= n;
  s.count -= n;
  return true;
}

// The match length less 3: up to five 0 bits pick the class, a 1 bit ends
// the prefix early; the class gives the width and base of the value.
bool get_extra_length(stream& s, uint32_t& extra) {
  struct length_class {
    int32_t bits;
    uint32_t base;
  };
  static constexpr length_class classes[6] = {{2, 0}, {2, 4}, {2, 8}, {3, 12}, {5, 20}, {9, 52}};
  int32_t zeros = 0;
  for (uint32_t bit = 0; zeros < 5; ++zeros) {
    if (!get_bits(s, 1, bit)) return false;
    if (bit) break;
  }
  uint32_t v;
  if (!get_bits(s, classes[zeros].bits, v)) return false;
  extra = classes[zeros].base + v;
  return true;
}

// The distance less 1: a 4-bit k, then for k = 0 three bits d, else k + 2
// bits v for d = 2^(k+2) + v.
bool get_distance(stream& s, uint32_t& d) {
  uint32_t k;
  if (!get_bits(s, 4, k)) return false;
  if (k == 0) return get_bits(s, 3, d);
  int32_t n = static_cast<int32_t>(k) + 2;
  uint32_t v;
  if (!get_bits(s, n, v)) return false;
  d = (1u << n) + v;
  return true;
}

// Hands out the next n output bytes, growing the buffer; null beyond the
// capacity.
uint8_t* reserve(stream& s, int32_t n) {
  if (s.used + int64_t{n} > s.capacity) return nullptr;
  s.out = static_cast<uint8_t*>(heap::resize_tracked(s.out, s.used + n));
  uint8_t* p = s.out + s.used;
  s.used += n;
  return p;
}

bool unpack_block(stream& s, int32_t length) {
  s.bits = 0;
  s.count = 0;
  uint8_t* block = reserve(s, length);
  if (!block) return false;
  for (int32_t pos = 0; pos < length;) {
    uint32_t flag;
    if (!get_bits(s, 1, flag)) return false;
    if (!flag) {
      uint32_t byte;
      if (!get_bits(s, 8, byte)) return false;
      block[pos++] = static_cast<uint8_t>(byte);
      continue;
    }
    uint32_t extra, d;
    if (!get_extra_length(s, extra) || !get_distance(s, d)) return false;
    int32_t count = static_cast<int32_t>(extra) + 3;
    int32_t distance = static_cast<int32_t>(d) + 1;
    if (distance > pos || count > length - pos) return false;
    // Forwards, byte by byte: an overlapping copy repeats the pattern.
    for (int32_t k = 0; k < count; ++k, ++pos) block[pos] = block[pos - distance];
  }
  return true;
}

bool unpack(stream& s) {
  while (s.in != s.end) {
    if (s.end - s.in < 4) return false;
    uint32_t length = read_word(s.in);
    s.in += 4;
    if (length < 1 || length > max_block) return false;
    if (!unpack_block(s, static_cast<int32_t>(length))) return false;
  }
  return true;
}

}  // namespace

uint8_t* decompress(const uint8_t* container, int32_t size, int32_t* length) {
  if (size < header_size) return nullptr;
  uint32_t packed = read_word(container);
  uint32_t unpacked = read_word(container + 4);
  if (packed > static_cast<uint32_t>(size - header_size)) return nullptr;
  int64_t capacity = int64_t{unpacked} + 8;
  stream s{container + header_size,
           container + header_size + packed,
           0,
           0,
           static_cast<uint8_t*>(heap::alloc_tracked(0)),
           capacity < INT32_MAX ? capacity : INT32_MAX,
           0};
  if (!unpack(s)) {
    free_output(s.out);
    return nullptr;
  }
  if (length) *length = s.used;
  return s.out;
}

void free_output(uint8_t* buffer) { heap::free_tracked(buffer); }

}  // namespace ixo::lz
