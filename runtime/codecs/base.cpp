// The base 2, 16, 58 and 64 codecs. Base 58 reads its bytes as one
// big-endian number and converts it by repeated long division, which is
// quadratic in the length; the others work group by group.
#include "runtime/codecs/base.hpp"

#include <array>
#include <cstring>
#include <vector>

namespace ixo::base {

namespace {

constexpr char DIGITS_16[] = "0123456789ABCDEF";
constexpr char DIGITS_58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char DIGITS_64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding tables of bases 58 and 64, one entry per character code 0-127:
// the digit value, SKIP for a blank, INVALID for anything else.
constexpr uint8_t SKIP = 0x40;
constexpr uint8_t INVALID = 0x80;

template <size_t N>
constexpr std::array<uint8_t, 128> table_of(const char (&digits)[N]) {
  std::array<uint8_t, 128> t{};
  for (uint8_t& e : t) e = INVALID;
  for (int c : {8, 9, 10, 12, 13, 32, 39}) t[static_cast<size_t>(c)] = SKIP;  // 39: the apostrophe
  for (size_t i = 0; i + 1 < N; ++i) t[static_cast<uint8_t>(digits[i])] = static_cast<uint8_t>(i);
  return t;
}

constexpr std::array<uint8_t, 128> TABLE_58 = table_of(DIGITS_58);
constexpr std::array<uint8_t, 128> TABLE_64 = [] {
  std::array<uint8_t, 128> t = table_of(DIGITS_64);
  t['='] = 0;  // the decoder sees "=" before it looks the value up
  return t;
}();

constexpr int32_t END = -1;

// The characters of a text, with the ";" comments taken out: a comment
// runs up to its line feed, which is then read as a blank; one that reaches
// the end ends the text.
struct reader {
  const uint8_t* text;
  int32_t length;
  uint32_t unit;
  int32_t i = 0;

  uint32_t at(int32_t k) const {
    const uint8_t* p = text + static_cast<int64_t>(k) * unit;
    if (unit == 1) return *p;
    if (unit == 2) {
      uint16_t u;
      std::memcpy(&u, p, 2);
      return u;
    }
    uint32_t u;
    std::memcpy(&u, p, 4);
    return u;
  }

  // The next character, END after the last; a character above 127 comes
  // back as INVALID_CHAR so that no table is indexed with it.
  int32_t next() {
    while (i < length) {
      uint32_t c = at(i++);
      if (c != ';') return c > 127 ? INVALID_CHAR : static_cast<int32_t>(c);
      while (i < length && at(i) != '\n') ++i;
    }
    return END;
  }

  static constexpr int32_t INVALID_CHAR = 0x7FFFFFFF;
};

int32_t hex_value(int32_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int32_t decode_2(reader r, uint8_t* out) {
  int32_t n = 0, bits = 0;
  uint32_t accumulator = 0;
  for (int32_t c; (c = r.next()) != END;) {
    if (c <= ' ') continue;
    if (c != '0' && c != '1') return -1;
    accumulator = accumulator << 1 | static_cast<uint32_t>(c - '0');
    if (++bits == 8) {
      out[n++] = static_cast<uint8_t>(accumulator);
      accumulator = 0;
      bits = 0;
    }
  }
  return bits == 0 ? n : -1;
}

int32_t decode_16(reader r, uint8_t* out) {
  int32_t n = 0, high = -1;
  for (int32_t c; (c = r.next()) != END;) {
    if (c <= ' ') continue;
    int32_t v = hex_value(c);
    if (v < 0) return -1;
    if (high < 0) {
      high = v;
    } else {
      out[n++] = static_cast<uint8_t>(high << 4 | v);
      high = -1;
    }
  }
  return n;  // an odd last digit is dropped
}

int32_t decode_64(reader r, uint8_t* out) {
  int32_t n = 0, pending = 0;
  uint32_t accumulator = 0;
  for (int32_t c; (c = r.next()) != END;) {
    if (c == reader::INVALID_CHAR) return -1;
    if (c == '=') {
      if (pending == 3) {
        out[n++] = static_cast<uint8_t>(accumulator >> 10);
        out[n++] = static_cast<uint8_t>(accumulator >> 2);
      } else if (pending == 2) {
        out[n++] = static_cast<uint8_t>(accumulator >> 4);
      } else {
        return -1;
      }
      return n;  // whatever follows the first "=" is ignored
    }
    uint8_t v = TABLE_64[static_cast<size_t>(c)];
    if (v == SKIP) continue;
    if (v == INVALID) return -1;
    accumulator = accumulator << 6 | v;
    if (++pending == 4) {
      out[n++] = static_cast<uint8_t>(accumulator >> 16);
      out[n++] = static_cast<uint8_t>(accumulator >> 8);
      out[n++] = static_cast<uint8_t>(accumulator);
      accumulator = 0;
      pending = 0;
    }
  }
  return n;  // a last group of 1 to 3 digits is dropped
}

int32_t decode_58(reader r, uint8_t* out) {
  std::vector<uint8_t> digits;
  for (int32_t c; (c = r.next()) != END;) {
    if (c == reader::INVALID_CHAR) return -1;
    uint8_t v = TABLE_58[static_cast<size_t>(c)];
    if (v == SKIP) continue;
    if (v == INVALID) return -1;
    digits.push_back(v);
  }
  size_t count = digits.size(), zeros = 0;
  while (zeros < count && digits[zeros] == 0) ++zeros;
  // Each pass divides the digits by 256; its remainder is the next byte
  // from the end.
  std::vector<uint8_t> reversed;
  for (size_t first = zeros; first < count;) {
    uint32_t remainder = 0;
    for (size_t i = first; i < count; ++i) {
      uint32_t v = remainder * 58 + digits[i];
      digits[i] = static_cast<uint8_t>(v / 256);
      remainder = v % 256;
    }
    reversed.push_back(static_cast<uint8_t>(remainder));
    while (first < count && digits[first] == 0) ++first;
  }
  while (!reversed.empty() && reversed.back() == 0) reversed.pop_back();
  int32_t n = 0;
  for (size_t i = 0; i < zeros; ++i) out[n++] = 0;
  for (size_t i = reversed.size(); i-- > 0;) out[n++] = reversed[i];
  return n;
}

}  // namespace

bool known_base_q(int32_t base) { return base == 2 || base == 16 || base == 58 || base == 64; }

int32_t encoded_size(int32_t base, int32_t length) {
  int64_t n = length;
  int64_t size = base == 2 ? 8 * n : base == 16 ? 2 * n : base == 58 ? n * 138 / 100 + 1 : (n + 2) / 3 * 4;
  return size > INT32_MAX ? -1 : static_cast<int32_t>(size);
}

uint8_t* encode_2(uint8_t* dest, const uint8_t* source, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    for (int32_t bit = 7; bit >= 0; --bit) *dest++ = static_cast<uint8_t>('0' + (source[i] >> bit & 1));
  return dest;
}

uint8_t* encode_16(uint8_t* dest, const uint8_t* source, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    *dest++ = static_cast<uint8_t>(DIGITS_16[source[i] >> 4]);
    *dest++ = static_cast<uint8_t>(DIGITS_16[source[i] & 15]);
  }
  return dest;
}

uint8_t* encode_58(uint8_t* dest, const uint8_t* source, int32_t length) {
  int32_t zeros = 0;
  while (zeros < length && source[zeros] == 0) ++zeros;
  std::vector<uint8_t> number(source + zeros, source + length);
  // Each pass divides the number by 58; its remainder is the next digit
  // from the end.
  std::vector<uint8_t> reversed;
  for (size_t first = 0; first < number.size();) {
    uint32_t remainder = 0;
    for (size_t i = first; i < number.size(); ++i) {
      uint32_t v = remainder * 256 + number[i];
      number[i] = static_cast<uint8_t>(v / 58);
      remainder = v % 58;
    }
    reversed.push_back(static_cast<uint8_t>(DIGITS_58[remainder]));
    while (first < number.size() && number[first] == 0) ++first;
  }
  while (!reversed.empty() && reversed.back() == '1') reversed.pop_back();
  for (int32_t i = 0; i < zeros; ++i) *dest++ = '1';
  for (size_t i = reversed.size(); i-- > 0;) *dest++ = reversed[i];
  return dest;
}

uint8_t* encode_64(uint8_t* dest, const uint8_t* source, int32_t length) {
  auto put = [&dest](uint32_t v) { *dest++ = static_cast<uint8_t>(DIGITS_64[v & 0x3F]); };
  int32_t i = 0;
  for (; i + 3 <= length; i += 3) {
    uint32_t b0 = source[i], b1 = source[i + 1], b2 = source[i + 2];
    put(b0 >> 2);
    put(((b0 << 4) & 0x30) + (b1 >> 4));
    put(((b1 << 2) & 0x3C) + (b2 >> 6));
    put(b2);
  }
  if (length - i == 1) {
    uint32_t b0 = source[i];
    put(b0 >> 2);
    put((b0 << 4) & 0x30);
    *dest++ = '=';
    *dest++ = '=';
  } else if (length - i == 2) {
    uint32_t b0 = source[i], b1 = source[i + 1];
    put(b0 >> 2);
    put(((b0 << 4) & 0x30) + (b1 >> 4));
    put((b1 << 2) & 0x3C);
    *dest++ = '=';
  }
  return dest;
}

uint8_t* encode(int32_t base, uint8_t* dest, const uint8_t* source, int32_t length) {
  switch (base) {
    case 2: return encode_2(dest, source, length);
    case 16: return encode_16(dest, source, length);
    case 58: return encode_58(dest, source, length);
    default: return encode_64(dest, source, length);
  }
}

int32_t decoded_capacity(int32_t base, int32_t length) {
  switch (base) {
    case 2: return length / 8;
    case 16: return length == 0 ? 1 : length / 2;
    case 58: return length;
    default: return static_cast<int32_t>((static_cast<int64_t>(length) + 3) * 3 / 4);
  }
}

int32_t decode(int32_t base, const uint8_t* text, int32_t length, uint32_t unit, uint8_t* out) {
  reader r{text, length, unit};
  switch (base) {
    case 2: return decode_2(r, out);
    case 16: return decode_16(r, out);
    case 58: return decode_58(r, out);
    default: return decode_64(r, out);
  }
}

}  // namespace ixo::base
