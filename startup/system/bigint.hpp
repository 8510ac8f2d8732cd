// Big integers for the exact steps of float/text conversion: the digits of a
// long decimal literal, powers of five, and the comparisons that settle the
// last bit of a parse or a rounding tie of a format.
//
// A value lives in fixed storage, with no heap: the largest number the
// conversion forms is under 2,700 bits (800 decimal digits, or 5^1124 times
// a 54-bit mantissa). Every function is constexpr, so that the conversion's
// 128-bit tables of powers of five are computed by the compiler with this
// same arithmetic.
#pragma once
#include <bit>
#include <cassert>
#include <cstdint>

namespace ixo::bigint {

inline constexpr int32_t CAPACITY = 48;  // 64-bit words: 3,072 bits

struct value {
  uint64_t words[CAPACITY] = {};  // least significant first
  int32_t used = 0;               // words up to the highest non-zero one; zero uses none
};

using wide = unsigned __int128;

constexpr value from_word(uint64_t w) {
  value b;
  b.words[0] = w;
  b.used = w != 0;
  return b;
}

constexpr int32_t bit_length(const value& b) {
  if (b.used == 0) return 0;
  return b.used * 64 - std::countl_zero(b.words[b.used - 1]);
}

// b := b × m + a
constexpr void multiply_add(value& b, uint64_t m, uint64_t a) {
  wide carry = a;
  for (int32_t i = 0; i < b.used; ++i) {
    carry += static_cast<wide>(b.words[i]) * m;
    b.words[i] = static_cast<uint64_t>(carry);
    carry >>= 64;
  }
  if (carry != 0) {
    assert(b.used < CAPACITY);
    b.words[b.used++] = static_cast<uint64_t>(carry);
  }
  while (b.used > 0 && b.words[b.used - 1] == 0) --b.used;
}

// b := b × 5^n, by the largest power of five that fits a word (5^27) and
// one smaller power for the rest.
constexpr void multiply_pow5(value& b, int32_t n) {
  constexpr uint64_t POW5_27 = 7450580596923828125ULL;
  for (; n >= 27; n -= 27) multiply_add(b, POW5_27, 0);
  uint64_t rest = 1;
  for (; n > 0; --n) rest *= 5;
  if (rest != 1) multiply_add(b, rest, 0);
}

// b := b × 2^n
constexpr void shift_left(value& b, int32_t n) {
  if (b.used == 0 || n == 0) return;
  int32_t word_shift = n / 64;
  int32_t bit_shift = n % 64;
  int32_t top = b.used + word_shift;  // one past the highest word the result may use
  assert(top + (bit_shift != 0) <= CAPACITY);
  if (bit_shift == 0) {
    for (int32_t i = b.used - 1; i >= 0; --i) b.words[i + word_shift] = b.words[i];
  } else {
    b.words[top] = b.words[b.used - 1] >> (64 - bit_shift);
    for (int32_t i = b.used - 1; i > 0; --i)
      b.words[i + word_shift] = (b.words[i] << bit_shift) | (b.words[i - 1] >> (64 - bit_shift));
    b.words[word_shift] = b.words[0] << bit_shift;
    ++top;
  }
  for (int32_t i = 0; i < word_shift; ++i) b.words[i] = 0;
  b.used = top;
  while (b.words[b.used - 1] == 0) --b.used;
}

// b := floor(b / d); answers the remainder.
constexpr uint64_t divide_word(value& b, uint64_t d) {
  wide rest = 0;
  for (int32_t i = b.used - 1; i >= 0; --i) {
    wide part = (rest << 64) | b.words[i];
    b.words[i] = static_cast<uint64_t>(part / d);
    rest = part % d;
  }
  while (b.used > 0 && b.words[b.used - 1] == 0) --b.used;
  return static_cast<uint64_t>(rest);
}

// -1, 0 or 1 as a is below, equal to or above b.
constexpr int32_t compare(const value& a, const value& b) {
  if (a.used != b.used) return a.used < b.used ? -1 : 1;
  for (int32_t i = a.used - 1; i >= 0; --i) {
    if (a.words[i] != b.words[i]) return a.words[i] < b.words[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace ixo::bigint
