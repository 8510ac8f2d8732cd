// Random and truncated byte strings through every decoder. Each input sits
// in a heap block of exactly its size and each output buffer is sized
// exactly as the scan or the export size asks, so that AddressSanitizer
// reports any access past either. Results are checked against the oracle of
// the UTF-8 definition and by round trips through the encoders.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "support/memory.hpp"
#include "support/raised.hpp"
#include "support/utf8_reference.hpp"

namespace ixo::unicode {
namespace {

using test::is;
using test::raised;

// A copy of bytes in a block of exactly their size.
struct exact {
  explicit exact(const uint8_t* p, size_t n) : data(new uint8_t[n]), size(n) {
    if (n) std::memcpy(data.get(), p, n);
  }
  explicit exact(size_t n) : data(new uint8_t[n]), size(n) {}
  std::unique_ptr<uint8_t[]> data;
  size_t size;
  uint8_t* begin() const { return data.get(); }
  uint8_t* end() const { return data.get() + size; }
};

class generator {
 public:
  explicit generator(uint32_t seed) : rng(seed) {}

  int32_t below(int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); }

  // A byte from one of the classes a UTF-8 decoder tells apart.
  uint8_t utf8_byte() {
    static const uint8_t bounds[][2] = {
        {0x00, 0x7F}, {'\r', '\r'}, {'\n', '\n'}, {0x80, 0x8F}, {0x90, 0x9F}, {0xA0, 0xBF},
        {0xC0, 0xC1}, {0xC2, 0xDF}, {0xE0, 0xE0}, {0xE1, 0xEC}, {0xED, 0xED}, {0xEE, 0xEF},
        {0xF0, 0xF0}, {0xF1, 0xF3}, {0xF4, 0xF4}, {0xF5, 0xFF}, {0xEF, 0xEF}, {0xBB, 0xBB}};
    const auto& b = bounds[below(std::size(bounds))];
    return static_cast<uint8_t>(b[0] + below(b[1] - b[0] + 1));
  }

  // A code point from every encoded length, line ends included.
  uint32_t code_point() {
    switch (below(6)) {
      case 0: return "\r\nab"[below(4)];
      case 1: return static_cast<uint32_t>(below(0x80));
      case 2: return static_cast<uint32_t>(0x80 + below(0x780));
      case 3: {
        uint32_t cp = static_cast<uint32_t>(0x800 + below(0xF800));
        return cp >= 0xD800 && cp <= 0xDFFF ? 0xFEFF : cp;
      }
      case 4: return static_cast<uint32_t>(0x10000 + below(0x100000));
      default: return 0xE9;
    }
  }

  // Either well-formed text with a few bytes changed, or byte soup.
  std::vector<uint8_t> utf8_text() {
    std::vector<uint8_t> out;
    int32_t n = below(40);
    if (below(2)) {
      if (below(4) == 0) out = {0xEF, 0xBB, 0xBF};
      for (int32_t i = 0; i < n; ++i) {
        uint8_t buf[4];
        int32_t k = cp_to_utf8(code_point(), buf);
        out.insert(out.end(), buf, buf + k);
      }
      for (int32_t changes = below(3); changes > 0 && !out.empty(); --changes) {
        out[static_cast<size_t>(below(static_cast<int32_t>(out.size())))] = utf8_byte();
      }
    } else {
      for (int32_t i = 0; i < n; ++i) out.push_back(utf8_byte());
    }
    return out;
  }

  // 16-bit units, surrogates frequent.
  std::vector<uint16_t> utf16_units() {
    std::vector<uint16_t> out;
    for (int32_t n = below(30); n > 0; --n) {
      switch (below(6)) {
        case 0: out.push_back("\r\na"[below(3)]); break;
        case 1: out.push_back(static_cast<uint16_t>(below(0x100))); break;
        case 2: out.push_back(static_cast<uint16_t>(below(0x10000))); break;
        case 3: out.push_back(static_cast<uint16_t>(0xD800 + below(0x400))); break;
        case 4: out.push_back(static_cast<uint16_t>(0xDC00 + below(0x400))); break;
        default:
          out.push_back(static_cast<uint16_t>(0xD800 + below(0x400)));
          out.push_back(static_cast<uint16_t>(0xDC00 + below(0x400)));
      }
    }
    return out;
  }

 private:
  std::mt19937 rng;
};

// What a load of the n bytes must give, from the definition.
struct reference_load {
  bool valid = true;
  int32_t end = 0;
  std::vector<uint32_t> cps;
};

reference_load load_by_definition(const uint8_t* p, int32_t n, bool crlf) {
  reference_load r;
  int32_t pos = n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
  std::vector<uint32_t> raw;
  while (pos < n) {
    int32_t length = test::utf8_length_of(p[pos]);
    if (p[pos] >= 0xC2 && p[pos] <= 0xF4 && n - pos < length) break;  // left for the next chunk
    auto c = test::reference_decode(p + pos, n - pos);
    if (c.cp < 0) {
      r.valid = false;
      return r;
    }
    raw.push_back(static_cast<uint32_t>(c.cp));
    pos += length;
  }
  r.end = pos;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (crlf && raw[i] == '\r') {
      if (i + 1 < raw.size() && raw[i + 1] == '\n') continue;
      raw[i] = '\n';
    }
    r.cps.push_back(raw[i]);
  }
  return r;
}

std::vector<uint32_t> read_units(const exact& buf, int32_t unit, int32_t count) {
  std::vector<uint32_t> out;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = 0;
    std::memcpy(&cp, buf.begin() + i * unit, static_cast<size_t>(unit));
    out.push_back(cp);
  }
  return out;
}

int32_t unit_for(const std::vector<uint32_t>& cps) {
  uint32_t widest = 0;
  for (uint32_t cp : cps) widest = std::max(widest, cp);
  return widest < 0x100 ? 1 : widest < 0x10000 ? 2 : 4;
}

// Exports the code points to UTF-8 and UTF-16LE and checks what comes back.
void check_exports(const exact& units, int32_t unit, int32_t count, const uint8_t* utf8,
                   int32_t utf8_bytes, generator& gen) {
  exact out(static_cast<size_t>(utf8_export_size(unit, count)));
  int32_t n = encode_utf8(units.begin(), unit, count, false, out.begin());
  if (utf8) {
    ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
              std::vector<uint8_t>(utf8, utf8 + utf8_bytes));
  }
  ASSERT_EQ(n, count_utf8_bytes(units.begin(), units.begin() + count * unit, unit));
  ASSERT_LT(encode_utf8(units.begin(), unit, count, true, out.begin()), static_cast<int32_t>(out.size));

  int32_t room = gen.below(n + 2);
  exact bounded(static_cast<size_t>(room));
  int32_t b = encode_utf8_bounded(units.begin(), unit, count, bounded.begin(), room);
  ASSERT_EQ(b, std::min(room, n));
  encode_utf8(units.begin(), unit, count, false, out.begin());
  ASSERT_EQ(0, std::memcmp(bounded.begin(), out.begin(), static_cast<size_t>(b)));

  exact utf16(static_cast<size_t>(utf16_export_size(units.begin(), unit, count)));
  ASSERT_LE(2 * (encode_utf16(units.begin(), unit, count, true, utf16.begin()) + 1),
            static_cast<int32_t>(utf16.size));
  int32_t k = encode_utf16(units.begin(), unit, count, false, utf16.begin());
  utf16_load back = scan_utf16(utf16.begin(), k, false);
  exact again(static_cast<size_t>(back.count * back.unit));
  decode_utf16(utf16.begin(), back, again.begin(), back.unit);
  ASSERT_EQ(read_units(again, back.unit, back.count), read_units(units, unit, count));
}

// Invalid text raises an error carrying the offending bytes as a binary!,
// so the decoders run over a memory manager of their own.
struct unicode_fuzz : test::fresh_memory {};

TEST_F(unicode_fuzz, utf8_decoders_on_random_and_truncated_text) {
  generator gen(0x1D0C0DE);
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint8_t> text = gen.utf8_text();
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      exact in(text.data(), cut);
      int32_t n = static_cast<int32_t>(cut);

      // The scanning decoder: every step within the input, one code point per step.
      int32_t steps = 0, cp;
      for (const uint8_t* p = in.begin(); p < in.end(); ++steps) {
        const uint8_t* after = fast_decode_utf8_char(p, in.end(), cp);
        ASSERT_GT(after, p);
        ASSERT_LE(after, in.end());
        ASSERT_LE(after - p, 4);
        p = after;
      }
      ASSERT_EQ(count_chars(in.begin(), in.end()), steps);
      int32_t skip = gen.below(steps + 2);
      const uint8_t* p = in.begin();
      for (int32_t i = 0; i < skip && p < in.end(); ++i) p = fast_decode_utf8_char(p, in.end(), cp);
      ASSERT_EQ(skip_utf8_chars(in.begin(), in.end(), skip), p);

      // The loader, against the definition.
      bool crlf = gen.below(2);
      bool remainder_allowed = gen.below(2);
      reference_load want = load_by_definition(in.begin(), n, crlf);
      utf8_load load{};
      auto e = raised([&] { load = scan_utf8(in.begin(), n, crlf, remainder_allowed); });
      if (!want.valid || (want.end < n && !remainder_allowed)) {
        ASSERT_TRUE(is(e, err::access_invalid_utf8));
        continue;
      }
      ASSERT_FALSE(e);
      ASSERT_EQ(load.end, want.end);
      ASSERT_EQ(load.count, static_cast<int32_t>(want.cps.size()));
      ASSERT_EQ(load.unit, unit_for(want.cps));
      int32_t unit = gen.below(2) ? load.unit : 4;  // a wider destination works too
      exact units(static_cast<size_t>(load.count * unit));
      decode_utf8(in.begin(), load, units.begin(), unit);
      ASSERT_EQ(read_units(units, unit, load.count), want.cps);

      // Valid text decodes the same way through the scanning decoder, and
      // encodes back to the bytes it came from.
      if (!crlf) {
        std::vector<uint32_t> scanned;
        for (const uint8_t* q = in.begin() + load.start; q < in.begin() + load.end;) {
          q = fast_decode_utf8_char(q, in.begin() + load.end, cp);
          scanned.push_back(static_cast<uint32_t>(cp));
        }
        ASSERT_EQ(scanned, want.cps);
      }
      check_exports(units, unit, load.count, crlf ? nullptr : in.begin() + load.start,
                    load.end - load.start, gen);
    }
  }
}

TEST_F(unicode_fuzz, utf16_loader_on_random_and_truncated_units) {
  generator gen(0x16B175);
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint16_t> units = gen.utf16_units();
    for (size_t cut = 0; cut <= units.size(); ++cut) {
      exact in(2 * cut);
      for (size_t i = 0; i < cut; ++i) {
        in.begin()[2 * i] = static_cast<uint8_t>(units[i]);
        in.begin()[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
      }
      bool crlf = gen.below(2);
      // By the definition: a high surrogate needs a low one right after it.
      std::vector<uint32_t> want;
      bool valid = true;
      for (size_t i = 0; i < cut && valid; ++i) {
        uint32_t u = units[i];
        if (crlf && u == '\r') continue;
        if (u >= 0xDC00 && u <= 0xDFFF) valid = false;
        if (u >= 0xD800 && u <= 0xDBFF) {
          if (i + 1 < cut && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
          } else {
            valid = false;
          }
        }
        want.push_back(u);
      }
      utf16_load load{};
      auto e = raised([&] { load = scan_utf16(in.begin(), static_cast<int32_t>(cut), crlf); });
      if (!valid) {
        ASSERT_TRUE(is(e, err::script_invalid_chars));
        continue;
      }
      ASSERT_FALSE(e);
      ASSERT_EQ(load.count, static_cast<int32_t>(want.size()));
      ASSERT_EQ(load.unit, unit_for(want));
      exact out(static_cast<size_t>(load.count * load.unit));
      decode_utf16(in.begin(), load, out.begin(), load.unit);
      ASSERT_EQ(read_units(out, load.unit, load.count), want);
      check_exports(out, load.unit, load.count, nullptr, 0, gen);
    }
  }
}

}  // namespace
}  // namespace ixo::unicode
