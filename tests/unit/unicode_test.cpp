#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "support/child.hpp"
#include "support/memory.hpp"
#include "support/raised.hpp"
#include "support/utf8_reference.hpp"

namespace ixo::unicode {
namespace {

using test::is;
using test::raised;
using test::reference_char;
using test::reference_decode;
using bytes = std::vector<uint8_t>;

// Raising invalid-utf8 makes a binary! of the offending bytes: these
// tests need a memory manager.
struct utf8_decoders : test::fresh_memory {};
struct utf8_loading : test::fresh_memory {};

// ---- Decoders of one sequence ----------------------------------------------

TEST_F(utf8_decoders, agree_with_the_definition_on_every_lead_and_second_byte) {
  const uint8_t tails[] = {0x7F, 0x80, 0xBF, 0xC0};
  const uint8_t seconds[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xFF};
  for (int b0 = 0; b0 < 256; ++b0) {
    for (int b1 = 0; b1 < 256; ++b1) {
      for (uint8_t b2 : tails) {
        for (uint8_t b3 : tails) {
          const uint8_t in[4] = {uint8_t(b0), uint8_t(b1), b2, b3};
          for (int32_t n = (b2 == 0x80 && b3 == 0x80) ? 1 : 4; n <= 4; ++n) {
            int32_t cp;
            const uint8_t* after = fast_decode_utf8_char(in, in + n, cp);
            reference_char want = reference_decode(in, n);
            ASSERT_EQ(cp, want.cp) << std::hex << b0 << ' ' << b1 << ' ' << +b2 << ' ' << +b3 << " n=" << n;
            ASSERT_EQ(after - in, want.consumed) << std::hex << b0 << ' ' << b1 << ' ' << +b2 << ' ' << +b3;
            // The non-raising check: the same answer, a length of 1 when invalid.
            int32_t length;
            ASSERT_EQ(checked_utf8_char(in, in + n, length), want.cp) << std::hex << b0 << ' ' << b1 << " n=" << n;
            ASSERT_EQ(length, want.cp < 0 ? 1 : want.consumed) << std::hex << b0 << ' ' << b1 << " n=" << n;
          }
        }
      }
    }
  }
  // The strict decoder (raising, so on fewer second bytes) with every
  // sequence complete.
  for (int b0 = 0; b0 < 256; ++b0) {
    for (uint8_t b1 : seconds) {
      for (uint8_t b2 : tails) {
        for (uint8_t b3 : tails) {
          const uint8_t in[4] = {uint8_t(b0), b1, b2, b3};
          reference_char want = reference_decode(in, 4);
          int32_t n = 4, cp = 0;
          auto e = raised([&] { cp = decode_utf8_char(in, n); });
          if (want.cp < 0) {
            ASSERT_TRUE(is(e, err::access_invalid_utf8)) << std::hex << b0 << ' ' << +b1;
          } else {
            ASSERT_FALSE(e) << std::hex << b0 << ' ' << +b1;
            ASSERT_EQ(cp, want.cp);
            ASSERT_EQ(n, want.consumed);
          }
        }
      }
    }
  }
}

TEST_F(utf8_decoders, every_code_point_survives_encoding_and_both_decoders) {
  for (uint32_t cp = 0; cp < 0x110000; ++cp) {
    uint8_t buf[4];
    int32_t n = cp_to_utf8(cp, buf);
    ASSERT_EQ(n, utf8_size_of(cp));
    int32_t fast;
    const uint8_t* after = fast_decode_utf8_char(buf, buf + n, fast);
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      // Surrogates encode, but neither decoder accepts them.
      ASSERT_EQ(fast, -1);
      int32_t length = n;
      ASSERT_TRUE(is(raised([&] { decode_utf8_char(buf, length); }), err::access_invalid_utf8));
      continue;
    }
    ASSERT_EQ(fast, static_cast<int32_t>(cp));
    ASSERT_EQ(after, buf + n);
    int32_t length = n;
    ASSERT_EQ(decode_utf8_char(buf, length), static_cast<int32_t>(cp));
    ASSERT_EQ(length, n);
  }
}

TEST_F(utf8_decoders, strict_decoder_cases) {
  struct {
    bytes in;
    int32_t cp;  // -1: incomplete, -2: invalid-utf8
    int32_t length;
  } cases[] = {
      {{0x41}, 0x41, 1},
      {{0xC3, 0xA9}, 0xE9, 2},
      {{0xE4, 0xB8, 0xAD, 0x41}, 0x4E2D, 3},
      {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
      {{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
      {{0xE4, 0xB8}, -1, 2},        // cut short: no error, length untouched
      {{0xF0}, -1, 1},
      {{}, -1, 0},
      {{0xC0, 0x80}, -2, 0},        // overlong NUL
      {{0xC1, 0xBF}, -2, 0},
      {{0xE0, 0x9F, 0xBF}, -2, 0},  // overlong 3-byte form
      {{0xF0, 0x8F, 0xBF, 0xBF}, -2, 0},
      {{0xED, 0xA0, 0x80}, -2, 0},  // high surrogate
      {{0xED, 0xBF, 0xBF}, -2, 0},  // low surrogate
      {{0xF4, 0x90, 0x80, 0x80}, -2, 0},
      {{0xF5, 0x80, 0x80, 0x80}, -2, 0},
      {{0xF8}, -2, 0},
      {{0x80}, -2, 0},
      {{0xE4, 0x41, 0x80}, -2, 0},
      {{0xC0}, -2, 0},              // an overlong lead is invalid even when cut short
  };
  for (const auto& c : cases) {
    int32_t length = static_cast<int32_t>(c.in.size());
    int32_t cp = 0;
    auto e = raised([&] { cp = decode_utf8_char(c.in.data(), length); });
    if (c.cp == -2) {
      EXPECT_TRUE(is(e, err::access_invalid_utf8)) << std::hex << +c.in[0];
      // The error carries the bytes from the offending position, at most
      // four and none past the text.
      bytes carried(binary::rs_head(&last_raised.args[0]), binary::rs_tail(&last_raised.args[0]));
      EXPECT_EQ(TYPE_OF(&last_raised.args[0]), TYPE_BINARY);
      EXPECT_EQ(carried, bytes(c.in.begin(), c.in.begin() + std::min<size_t>(4, c.in.size())));
      continue;
    }
    EXPECT_FALSE(e);
    EXPECT_EQ(cp, c.cp);
    EXPECT_EQ(length, c.length);
  }
}

TEST_F(utf8_decoders, scanning_counts_and_skips_invalid_sequences_as_one) {
  // a, e-acute, a bad lead, a sequence broken by its second byte, a
  // surrogate, then a truncated three-byte sequence.
  const bytes text = {'a', 0xC3, 0xA9, 0x80, 0xE4, 0x41, 0xED, 0xA0, 0x80, 0xE4, 0xB8};
  const uint8_t* start = text.data();
  const uint8_t* end = start + text.size();
  int32_t cp;
  const uint8_t* p = start;
  std::vector<std::pair<int32_t, long>> seen;
  while (p < end) {
    p = fast_decode_utf8_char(p, end, cp);
    seen.push_back({cp, p - start});
  }
  std::vector<std::pair<int32_t, long>> want = {
      {'a', 1}, {0xE9, 3}, {-1, 4}, {-1, 6}, {-1, 8}, {-1, 9}, {-1, 11}};
  EXPECT_EQ(seen, want);
  EXPECT_EQ(count_chars(start, end), 7);
  EXPECT_EQ(count_chars(start, start), 0);
  EXPECT_EQ(skip_utf8_chars(start, end, 2), start + 3);
  EXPECT_EQ(skip_utf8_chars(start, end, 100), end);
  EXPECT_EQ(skip_utf8_chars(start, end, 0), start);
  EXPECT_EQ(fast_decode_utf8_char(end, end, cp), end);
  EXPECT_EQ(cp, -1);
}

TEST_F(utf8_decoders, sequence_lengths_announced_by_lead_bytes) {
  struct {
    uint8_t lead;
    int32_t length;
  } cases[] = {{0x00, 0}, {0x7F, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 2}, {0xDF, 2},
               {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xF7, 4}, {0xFF, 4}};
  for (const auto& c : cases) EXPECT_EQ(utf8_seq_length(c.lead), c.length) << std::hex << +c.lead;
}

// ---- Encoders of one code point ----------------------------------------------

TEST(utf8_encoders, sizes_sequences_and_bounded_writes) {
  struct {
    uint32_t cp;
    bytes utf8;
    bytes utf16;
  } cases[] = {
      {0x00, {0x00}, {0x00, 0x00}},
      {0x7F, {0x7F}, {0x7F, 0x00}},
      {0x80, {0xC2, 0x80}, {0x80, 0x00}},
      {0x7FF, {0xDF, 0xBF}, {0xFF, 0x07}},
      {0x800, {0xE0, 0xA0, 0x80}, {0x00, 0x08}},
      {0xFFFF, {0xEF, 0xBF, 0xBF}, {0xFF, 0xFF}},
      {0x10000, {0xF0, 0x90, 0x80, 0x80}, {0x00, 0xD8, 0x00, 0xDC}},
      {0x1F600, {0xF0, 0x9F, 0x98, 0x80}, {0x3D, 0xD8, 0x00, 0xDE}},
      {0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}, {0xFF, 0xDB, 0xFF, 0xDF}},
  };
  for (const auto& c : cases) {
    uint8_t buf[8] = {};
    EXPECT_EQ(utf8_size_of(c.cp), static_cast<int32_t>(c.utf8.size()));
    ASSERT_EQ(cp_to_utf8(c.cp, buf), static_cast<int32_t>(c.utf8.size()));
    EXPECT_EQ(bytes(buf, buf + c.utf8.size()), c.utf8) << std::hex << c.cp;
    for (int32_t room = 0; room <= 4; ++room) {
      uint8_t part[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
      int32_t n = cp_to_utf8_bounded(c.cp, part, room);
      int32_t want = std::min(room, static_cast<int32_t>(c.utf8.size()));
      ASSERT_EQ(n, want);
      EXPECT_EQ(bytes(part, part + n), bytes(c.utf8.begin(), c.utf8.begin() + n));
      EXPECT_EQ(part[n], 0xAA);  // nothing beyond
    }
    ASSERT_EQ(cp_to_utf16(c.cp, buf), static_cast<int32_t>(c.utf16.size() / 2));
    EXPECT_EQ(bytes(buf, buf + c.utf16.size()), c.utf16) << std::hex << c.cp;
  }
  uint8_t buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(cp_to_utf16(0x110000, buf), 0);
  EXPECT_EQ(buf[0], 0xAA);
}

TEST(utf8_encoders, code_points_beyond_10FFFF_raise_invalid_char_with_the_value) {
  uint8_t buf[16];
  const uint32_t wide[] = {0x110000, 0x41};
  uint32_t bad = 0x110000;
  for (auto* f : std::initializer_list<void (*)(uint32_t, uint8_t*)>{
           [](uint32_t cp, uint8_t*) { utf8_size_of(cp); },
           [](uint32_t cp, uint8_t* b) { cp_to_utf8(cp, b); },
           [](uint32_t cp, uint8_t* b) { cp_to_utf8_bounded(cp, b, 4); }}) {
    auto e = raised([&] { f(bad, buf); });
    ASSERT_TRUE(is(e, err::script_invalid_char));
    EXPECT_EQ(last_raised.count, 1);
    EXPECT_EQ(TYPE_OF(&last_raised.args[0]), TYPE_INTEGER);
    EXPECT_EQ(last_raised.args[0].data2, bad);
  }
  EXPECT_TRUE(is(raised([&] { count_utf8_bytes(wide, wide + 2, 4); }), err::script_invalid_char));
  EXPECT_TRUE(is(raised([&] { encode_utf8(wide, 4, 2, false, buf); }), err::script_invalid_char));
  EXPECT_TRUE(is(raised([&] { cp_to_utf8(0xFFFFFFFF, buf); }), err::script_invalid_char));
}

// ---- Loading -------------------------------------------------------------------

struct loaded {
  int32_t unit;
  std::vector<uint32_t> cps;
  int32_t remainder;
};

std::vector<uint32_t> read_units(const bytes& buf, int32_t unit, int32_t count) {
  std::vector<uint32_t> out;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t cp = 0;
    std::memcpy(&cp, buf.data() + i * unit, static_cast<size_t>(unit));
    out.push_back(cp);
  }
  return out;
}

loaded load_utf8(const bytes& in, bool crlf = false, bool remainder_allowed = true) {
  int32_t n = static_cast<int32_t>(in.size());
  utf8_load l = scan_utf8(in.data(), n, crlf, remainder_allowed);
  bytes buf(static_cast<size_t>(l.count * l.unit));
  decode_utf8(in.data(), l, buf.data(), l.unit);
  return {l.unit, read_units(buf, l.unit, l.count), n - l.end};
}

loaded load_utf16(const std::vector<uint16_t>& units, bool crlf = false) {
  bytes in;
  for (uint16_t u : units) {
    in.push_back(static_cast<uint8_t>(u));
    in.push_back(static_cast<uint8_t>(u >> 8));
  }
  utf16_load l = scan_utf16(in.data(), static_cast<int32_t>(units.size()), crlf);
  bytes buf(static_cast<size_t>(l.count * l.unit));
  decode_utf16(in.data(), l, buf.data(), l.unit);
  return {l.unit, read_units(buf, l.unit, l.count), 0};
}

TEST_F(utf8_loading, picks_the_narrowest_unit_and_keeps_every_code_point) {
  struct {
    bytes in;
    int32_t unit;
    std::vector<uint32_t> cps;
    int32_t remainder;
  } cases[] = {
      {{}, 1, {}, 0},
      {{0xEF, 0xBB, 0xBF}, 1, {}, 0},
      {{0xEF, 0xBB, 0xBF, 'a'}, 1, {'a'}, 0},
      {{'a', 0xEF, 0xBB, 0xBF}, 2, {'a', 0xFEFF}, 0},  // only a leading mark is skipped
      {{'a', 0xC3, 0xA9}, 1, {'a', 0xE9}, 0},
      {{'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD}, 2, {'a', 0xE9, 0x4E2D}, 0},
      {{'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x98, 0x80}, 4, {'a', 0xE9, 0x4E2D, 0x1F600}, 0},
      {{'a', 'b', 0xE4, 0xB8}, 1, {'a', 'b'}, 2},
      {{0xF0, 0x9F, 0x98}, 1, {}, 3},
      {{0xEF, 0xBB}, 1, {}, 2},
  };
  for (const auto& c : cases) {
    loaded l = load_utf8(c.in);
    EXPECT_EQ(l.unit, c.unit);
    EXPECT_EQ(l.cps, c.cps);
    EXPECT_EQ(l.remainder, c.remainder);
  }
}

TEST_F(utf8_loading, crlf_folding) {
  const bytes in = {'a', '\r', '\n', 'b', '\r', 'c', '\r', '\r', '\n', '\r'};
  EXPECT_EQ(load_utf8(in, true).cps,
            (std::vector<uint32_t>{'a', '\n', 'b', '\n', 'c', '\n', '\n', '\n'}));
  EXPECT_EQ(load_utf8(in, false).cps.size(), in.size());
}

TEST_F(utf8_loading, invalid_input_and_a_truncated_end_without_remainder_raise_invalid_utf8) {
  const bytes invalid[] = {{'a', 0x80}, {0xC0, 0xAF}, {0xED, 0xA0, 0x80, 'a'}, {'a', 0xE4, 0x41, 0x80, 'b'}};
  for (const auto& in : invalid) {
    EXPECT_TRUE(is(raised([&] { load_utf8(in); }), err::access_invalid_utf8));
  }
  EXPECT_TRUE(is(raised([] { load_utf8({'a', 0xE4, 0xB8}, false, false); }), err::access_invalid_utf8));
  EXPECT_FALSE(raised([] { load_utf8({'a', 0xE4, 0xB8, 0xAD}, false, false); }));
}

TEST(utf16_loading, units_pairs_and_crlf) {
  struct {
    std::vector<uint16_t> in;
    bool crlf;
    int32_t unit;
    std::vector<uint32_t> cps;
  } cases[] = {
      {{}, false, 1, {}},
      {{'a', 0xE9}, false, 1, {'a', 0xE9}},
      {{'a', 0x4E2D}, false, 2, {'a', 0x4E2D}},
      {{0xD83D, 0xDE00}, false, 4, {0x1F600}},
      {{'a', 0xD800, 0xDC00, 0xDBFF, 0xDFFF}, false, 4, {'a', 0x10000, 0x10FFFF}},
      {{'a', '\r', '\n', '\r', 'b'}, true, 1, {'a', '\n', 'b'}},
      {{'a', '\r', '\n'}, false, 1, {'a', '\r', '\n'}},
  };
  for (const auto& c : cases) {
    loaded l = load_utf16(c.in, c.crlf);
    EXPECT_EQ(l.unit, c.unit);
    EXPECT_EQ(l.cps, c.cps);
  }
}

TEST(utf16_loading, unpaired_surrogates_raise_invalid_chars) {
  const std::vector<uint16_t> invalid[] = {
      {0xD83D}, {'a', 0xD83D}, {0xD83D, 'a'}, {0xD83D, 0xD83D, 0xDE00}, {0xDE00}, {'a', 0xDE00, 0xD83D},
      {0xD83D, '\r', 0xDE00}};
  for (const auto& in : invalid) {
    EXPECT_TRUE(is(raised([&] { load_utf16(in, true); }), err::script_invalid_chars));
  }
}

// ---- Widening ------------------------------------------------------------------

TEST(widening, keeps_every_code_point_in_place) {
  struct {
    int32_t from, to;
  } cases[] = {{1, 2}, {1, 4}, {2, 4}};
  for (const auto& c : cases) {
    const uint32_t cps[] = {0, 'a', 0xE9, 0xFF, 0x7F};
    bytes buf(5 * static_cast<size_t>(c.to), 0xAA);
    for (int32_t i = 0; i < 5; ++i) std::memcpy(buf.data() + i * c.from, &cps[i], static_cast<size_t>(c.from));
    widen_units(buf.data(), 5, c.from, c.to);
    EXPECT_EQ(read_units(buf, c.to, 5), std::vector<uint32_t>(cps, cps + 5)) << c.from << "->" << c.to;
  }
}

TEST(widening, a_unit_other_than_1_2_or_4_is_runtime_error_101) {
  uint8_t buf[16] = {};
  auto cases = std::initializer_list<std::function<void()>>{
      [&] { widen_units(buf, 1, 3, 4); },
      [&] { widen_units(buf, 1, 4, 2); },
      [&] { encode_utf8(buf, 3, 1, false, buf); },
      [&] { count_utf8_bytes(buf, buf + 4, 0); },
  };
  for (const auto& body : cases) {
    auto r = test::run_child(body);
    EXPECT_EQ(r.status, 101) << r.output;
    EXPECT_NE(r.output.find("*** Runtime Error 101"), std::string::npos) << r.output;
  }
}

// ---- Exporting -----------------------------------------------------------------

TEST(exporting, utf8_of_every_unit_with_and_without_crlf) {
  const uint8_t latin1[] = {'a', '\n', 0xE9};
  const uint16_t ucs2[] = {'a', '\n', 0x4E2D};
  const uint32_t ucs4[] = {'a', '\n', 0x1F600};
  struct {
    const void* units;
    int32_t unit;
    bool crlf;
    bytes out;
  } cases[] = {
      {latin1, 1, false, {'a', '\n', 0xC3, 0xA9}},
      {latin1, 1, true, {'a', '\r', '\n', 0xC3, 0xA9}},
      {ucs2, 2, true, {'a', '\r', '\n', 0xE4, 0xB8, 0xAD}},
      {ucs4, 4, false, {'a', '\n', 0xF0, 0x9F, 0x98, 0x80}},
  };
  for (const auto& c : cases) {
    bytes buf(static_cast<size_t>(utf8_export_size(c.unit, 3)));
    int32_t n = encode_utf8(c.units, c.unit, 3, c.crlf, buf.data());
    EXPECT_EQ(bytes(buf.begin(), buf.begin() + n), c.out);
    const auto* start = static_cast<const uint8_t*>(c.units);
    if (!c.crlf) {
      EXPECT_EQ(count_utf8_bytes(start, start + 3 * c.unit, c.unit), n);
    }
  }
  EXPECT_EQ(utf8_export_size(1, 3), 8);
  EXPECT_EQ(utf8_export_size(2, 3), 12);
  EXPECT_EQ(utf8_export_size(4, 3), 16);
}

TEST(exporting, bounded_utf8_writes_only_the_leading_bytes_that_fit) {
  const uint16_t units[] = {0xE9, 'b', 0x4E2D};
  struct {
    int32_t room;
    bytes out;
  } cases[] = {
      {0, {}}, {1, {0xC3}}, {2, {0xC3, 0xA9}}, {3, {0xC3, 0xA9, 'b'}},
      {5, {0xC3, 0xA9, 'b', 0xE4, 0xB8}}, {6, {0xC3, 0xA9, 'b', 0xE4, 0xB8, 0xAD}},
      {10, {0xC3, 0xA9, 'b', 0xE4, 0xB8, 0xAD}},
  };
  for (const auto& c : cases) {
    bytes buf(16, 0xAA);
    int32_t n = encode_utf8_bounded(units, 2, 3, buf.data(), c.room);
    EXPECT_EQ(bytes(buf.begin(), buf.begin() + n), c.out) << c.room;
    EXPECT_EQ(buf[static_cast<size_t>(n)], 0xAA);
  }
}

TEST(exporting, utf16_pairs_crlf_sizes_and_abandoned_exports) {
  const uint32_t ucs4[] = {0x10000};
  uint8_t buf[64];
  EXPECT_EQ(utf16_export_size(ucs4, 4, 1), 6);
  EXPECT_EQ(encode_utf16(ucs4, 4, 1, false, buf), 2);
  EXPECT_EQ(bytes(buf, buf + 4), (bytes{0x00, 0xD8, 0x00, 0xDC}));

  const uint8_t latin1[] = {'a', '\n', 0xE9};
  EXPECT_EQ(utf16_export_size(latin1, 1, 3), 10);
  EXPECT_EQ(encode_utf16(latin1, 1, 3, true, buf), 4);
  EXPECT_EQ(bytes(buf, buf + 8), (bytes{'a', 0, '\r', 0, '\n', 0, 0xE9, 0}));

  const uint16_t ucs2[] = {'a', 0x4E2D};
  EXPECT_EQ(encode_utf16(ucs2, 2, 2, false, buf), 2);
  EXPECT_EQ(bytes(buf, buf + 4), (bytes{'a', 0, 0x2D, 0x4E}));

  const uint32_t beyond[] = {'a', 0x110000};
  EXPECT_EQ(encode_utf16(beyond, 4, 2, false, buf), -1);
}

}  // namespace
}  // namespace ixo::unicode
