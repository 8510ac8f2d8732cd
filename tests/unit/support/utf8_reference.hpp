// UTF-8 read from its definition, as an oracle for the runtime's decoders:
// the lead byte's leading ones give the sequence length, and a prefix of a
// sequence is acceptable while some code point of that length (not
// overlong, not a surrogate, at most 10FFFFh) begins with it.
#pragma once
#include <cstdint>

namespace ixo::test {

inline int32_t utf8_length_of(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 0;
}

inline bool acceptable_prefix(const uint8_t* p, int32_t k, int32_t length) {
  static const uint32_t min_of[] = {0, 0, 0x80, 0x800, 0x10000};
  static const uint32_t max_of[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
  uint32_t bits = length == 1 ? p[0] : p[0] & (0x7Fu >> length);
  for (int32_t i = 1; i < k; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
    bits = bits << 6 | (p[i] & 0x3F);
  }
  int32_t shift = 6 * (length - k);
  uint64_t lo = static_cast<uint64_t>(bits) << shift;
  uint64_t hi = lo + (uint64_t{1} << shift) - 1;
  if (lo < min_of[length]) lo = min_of[length];
  if (hi > max_of[length]) hi = max_of[length];
  if (lo > hi) return false;
  return !(lo >= 0xD800 && hi <= 0xDFFF);  // not wholly inside the surrogates
}

struct reference_char {
  int32_t cp;        // -1: invalid, or cut short by the end of the bytes
  int32_t consumed;  // bytes a decoder that stops at the first bad byte consumes
};

// The sequence at p, of the n bytes available (n >= 1).
inline reference_char reference_decode(const uint8_t* p, int32_t n) {
  int32_t length = utf8_length_of(p[0]);
  if (length == 0) return {-1, 1};
  for (int32_t k = 1; k <= length; ++k) {
    if (k > n) return {-1, n};
    if (!acceptable_prefix(p, k, length)) return {-1, k};
  }
  uint32_t cp = length == 1 ? p[0] : p[0] & (0x7Fu >> length);
  for (int32_t i = 1; i < length; ++i) cp = cp << 6 | (p[i] & 0x3F);
  return {static_cast<int32_t>(cp), length};
}

}  // namespace ixo::test
