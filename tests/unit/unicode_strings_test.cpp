// Loading text into string buffers, widening them in place, and exporting
// them through their cells' conversion caches. Every test runs with a
// buffer move at each allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/memory/roots.hpp"
#include "support/moving_collector.hpp"

namespace ixo::unicode {
namespace {

using memory::root_guard;
using memory::series_buffer;
using bytes = std::vector<uint8_t>;
using chars = std::vector<uint32_t>;

struct string_text : test::moving_memory {};

// A string! cell on the node, index 0.
cell string_on(uint32_t node) { return {TYPE_STRING, 0, node, 0}; }

chars chars_of(uint32_t node) {
  cell s = string_on(node);
  chars out;
  for (int32_t i = 0; i < string::rs_abs_length_q(&s); ++i) out.push_back(string::rs_abs_at(&s, i));
  return out;
}

uint32_t unit_of(uint32_t node) { return memory::GET_UNIT(memory::buffer_of(node)); }

bytes utf16(const std::vector<uint16_t>& units) {
  bytes out;
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

// ---- Loading UTF-8 -----------------------------------------------------------

TEST_F(string_text, utf8_loads_into_the_narrowest_unit) {
  struct {
    bytes in;
    uint32_t unit;
    chars want;
  } rows[] = {
      {{}, 1, {}},
      {{0xEF, 0xBB, 0xBF}, 1, {}},
      {{'a', 0xC3, 0xA9}, 1, {'a', 0xE9}},
      {{'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD}, 2, {'a', 0xE9, 0x4E2D}},
      {{0xF0, 0x9F, 0x98, 0x80, 'z'}, 4, {0x1F600, 'z'}},
  };
  for (const auto& r : rows) {
    // An exact-size input: reading past it is a sanitizer report.
    bytes in(r.in);
    cell s = string_on(load_utf8_new(in.data(), static_cast<int32_t>(in.size())));
    root_guard keep(&s);
    EXPECT_EQ(unit_of(s.data2), r.unit);
    EXPECT_EQ(chars_of(s.data2), r.want);
  }
}

TEST_F(string_text, a_loaded_unit_2_string_widens_to_unit_4_keeping_its_code_points) {
  const bytes in = {'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD};
  cell s = string_on(load_utf8_new(in.data(), static_cast<int32_t>(in.size())));
  root_guard keep(&s);
  ASSERT_EQ(unit_of(s.data2), 2u);
  string::append_char(memory::GET_BUFFER(&s), 0x1F600);
  EXPECT_EQ(unit_of(s.data2), 4u);
  EXPECT_EQ(chars_of(s.data2), (chars{'a', 0xE9, 0x4E2D, 0x1F600}));
}

TEST_F(string_text, a_truncated_end_is_a_remainder_only_where_there_is_a_slot_for_it) {
  const bytes cut = {'a', 'b', 0xE4, 0xB8};
  int32_t remainder = -1;
  cell s = string_on(load_utf8(cut.data(), 4, 0, &remainder, false));
  root_guard keep(&s);
  EXPECT_EQ(chars_of(s.data2), (chars{'a', 'b'}));
  EXPECT_EQ(remainder, 2);

  const bytes invalid[] = {cut, {'a', 0x80}, {0xC0, 0xAF}, {0xE0, 0x80, 0xAF}, {0xED, 0xA0, 0x80}};
  for (const bytes& in : invalid) {
    EXPECT_TRUE(test::raises(err::access_invalid_utf8,
                             [&] { load_utf8_new(in.data(), static_cast<int32_t>(in.size())); }));
  }
  // Invalid text is an error even with a remainder slot.
  EXPECT_TRUE(test::raises(err::access_invalid_utf8, [&] { load_utf8(invalid[2].data(), 2, 0, &remainder, false); }));
}

TEST_F(string_text, crlf_becomes_lf) {
  const bytes in = {'a', '\r', '\n', 'b', '\r', 'c'};
  cell s = string_on(load_utf8(in.data(), 6, 0, nullptr, true));
  root_guard keep(&s);
  EXPECT_EQ(chars_of(s.data2), (chars{'a', '\n', 'b', '\n', 'c'}));
}

TEST_F(string_text, loading_into_a_string_replaces_its_text_and_keeps_a_wider_unit) {
  cell s{};
  root_guard keep(&s);
  string::make_at_unit(&s, 4, 4);
  string::append_char(memory::GET_BUFFER(&s), 0x1F600);
  s.data1 = 1;

  const bytes short_text = {'x', 'y'};
  int32_t remainder = -1;
  series_buffer* before = memory::GET_BUFFER(&s);
  int32_t moves = test::buffer_moves;
  EXPECT_EQ(load_utf8_into(short_text.data(), 2, &s, &remainder), s.data2);
  EXPECT_EQ(memory::GET_BUFFER(&s), before) << "a target with room is filled in place";
  EXPECT_EQ(test::buffer_moves, moves) << "and without allocating";
  EXPECT_EQ(unit_of(s.data2), 4u);
  EXPECT_EQ(chars_of(s.data2), (chars{'x', 'y'}));
  EXPECT_EQ(remainder, 0);
  EXPECT_EQ(s.data1, 1u);

  // Longer than the buffer, and needing unit 2 in a unit-1 string.
  cell t{};
  root_guard keep_t(&t);
  string::rs_make_at(&t, 0);
  std::string longer(100, 'q');
  longer += "\xE4\xB8\xAD";
  load_utf8_into(reinterpret_cast<const uint8_t*>(longer.data()), static_cast<int32_t>(longer.size()), &t,
                 &remainder);
  chars want(101, 'q');
  want[100] = 0x4E2D;
  EXPECT_EQ(unit_of(t.data2), 2u);
  EXPECT_EQ(chars_of(t.data2), want);
}

// ---- Loading UTF-16LE ----------------------------------------------------------

TEST_F(string_text, utf16_loads_pairs_and_drops_cr) {
  struct {
    std::vector<uint16_t> in;
    bool crlf;
    uint32_t unit;
    chars want;
  } rows[] = {
      {{}, false, 1, {}},
      {{'a', 0xE9}, false, 1, {'a', 0xE9}},
      {{'a', 0x4E2D}, false, 2, {'a', 0x4E2D}},
      {{0xD83D, 0xDE00}, false, 4, {0x1F600}},
      {{'a', '\r', '\n'}, true, 1, {'a', '\n'}},
      {{'a', '\r', '\n'}, false, 1, {'a', '\r', '\n'}},
  };
  for (const auto& r : rows) {
    bytes in = utf16(r.in);
    in.reserve(1);  // a null pointer would mean the cache
    cell s = string_on(load_utf16(in.data(), static_cast<int32_t>(r.in.size()), nullptr, r.crlf));
    root_guard keep(&s);
    EXPECT_EQ(unit_of(s.data2), r.unit);
    EXPECT_EQ(chars_of(s.data2), r.want);
  }
  const std::vector<uint16_t> invalid[] = {{0xD83D}, {'a', 0xD83D, 'b'}, {0xDE00, 'a'}};
  for (const auto& units : invalid) {
    bytes in = utf16(units);
    EXPECT_TRUE(test::raises(err::script_invalid_chars, [&] {
      load_utf16(in.data(), static_cast<int32_t>(units.size()), nullptr, false);
    }));
  }
}

TEST_F(string_text, utf16_loads_into_a_string_from_its_own_cache) {
  cell s{};
  root_guard keep(&s);
  string::make_at_unit(&s, 1, 4);
  string::append_char(memory::GET_BUFFER(&s), 0x1F600);
  // A platform call would write the text into the cache.
  bytes text = utf16({'h', 0xD83D, 0xDE00, 'i'});
  std::memcpy(get_cache(&s, static_cast<int32_t>(text.size())), text.data(), text.size());
  EXPECT_EQ(load_utf16(nullptr, 4, &s, false), s.data2);
  EXPECT_EQ(chars_of(s.data2), (chars{'h', 0x1F600, 'i'}));

  text = utf16({'o', 'k'});
  std::memcpy(get_cache(&s, static_cast<int32_t>(text.size())), text.data(), text.size());
  load_utf16(nullptr, 2, &s, false);
  EXPECT_EQ(unit_of(s.data2), 1u) << "the text's own unit: the content is replaced";
  EXPECT_EQ(chars_of(s.data2), (chars{'o', 'k'}));
}

// ---- Widening and the cache ------------------------------------------------------

TEST_F(string_text, widening_a_full_buffer_moves_it_and_keeps_its_units) {
  struct {
    uint32_t from, to;
    series_buffer* (*widen)(series_buffer*);
  } rows[] = {{1, 2, latin1_to_ucs2}, {1, 4, latin1_to_ucs4}, {2, 4, ucs2_to_ucs4}};
  for (const auto& r : rows) {
    cell s{};
    root_guard keep(&s);
    string::make_at_unit(&s, 16 / static_cast<int32_t>(r.from), r.from);
    chars want;
    for (uint32_t i = 0; i < 16 / r.from; ++i) {
      uint32_t cp = r.from == 1 ? 0x41 + i : 0x4E00 + i;
      want.push_back(cp);
      string::overwrite_char(memory::GET_BUFFER(&s), static_cast<int32_t>(i), cp);
    }
    ASSERT_EQ(memory::GET_BUFFER(&s)->size, 16);
    series_buffer* b = r.widen(memory::GET_BUFFER(&s));
    EXPECT_EQ(b, memory::GET_BUFFER(&s));
    EXPECT_EQ(memory::GET_UNIT(b), r.to);
    EXPECT_GE(b->size, static_cast<int32_t>(want.size() * r.to));
    EXPECT_EQ(chars_of(s.data2), want);
  }
}

TEST_F(string_text, the_cache_is_made_once_and_grows_on_demand) {
  cell s{};
  root_guard keep(&s);
  string::rs_make_at(&s, 0);
  EXPECT_EQ(s.data3, 0u);
  get_cache(&s, 10);
  uint32_t cache = s.data3;
  ASSERT_NE(cache, 0u);
  series_buffer* first = memory::buffer_of(cache);
  get_cache(&s, 16);
  EXPECT_EQ(s.data3, cache);
  EXPECT_EQ(memory::buffer_of(cache), first) << "room enough: no allocation";
  get_cache(&s, 100);
  EXPECT_EQ(s.data3, cache);
  EXPECT_GE(memory::buffer_of(cache)->size, 100);
}

// ---- Exporting ---------------------------------------------------------------

// A rooted string holding `text` from index `index`.
struct exported : string_text {
  cell s{};
  root_guard keep{&s};
  void make(const chars& text, uint32_t unit, uint32_t index = 0) {
    string::make_at_unit(&s, static_cast<int32_t>(text.size()), unit);
    for (uint32_t cp : text) string::overwrite_char(memory::GET_BUFFER(&s), string::rs_abs_length_q(&s), cp);
    s.data1 = index;
  }
};

TEST_F(exported, utf8_from_the_index_with_a_limit_and_crlf) {
  struct {
    chars text;
    uint32_t unit, index;
    int32_t limit;
    bool crlf;
    std::string want;
  } rows[] = {
      {{'a', 'b', 'c'}, 1, 0, -1, false, "abc"},
      {{'a', 'b', 'c'}, 1, 1, -1, false, "bc"},
      {{'a', 'b', 'c'}, 1, 1, 1, false, "b"},
      {{'a', 'b', 'c'}, 1, 3, -1, false, ""},
      {{'a', 0xE9, '\n'}, 1, 0, -1, true, "a\xC3\xA9\r\n"},
      {{0x4E2D, '\n', '\n'}, 2, 0, -1, true, "\xE4\xB8\xAD\r\n\r\n"},
      {{0x1F600, '\n'}, 4, 0, -1, false, "\xF0\x9F\x98\x80\n"},
  };
  for (const auto& r : rows) {
    make(r.text, r.unit, r.index);
    int32_t length = r.limit;
    const char* text = to_utf8_crlf(&s, length, r.crlf);
    EXPECT_EQ(std::string(text, static_cast<size_t>(length)), r.want);
    EXPECT_EQ(text[length], 0);
    EXPECT_EQ(text, reinterpret_cast<const char*>(memory::head_of(memory::buffer_of(s.data3))));
  }
  make({0x110000}, 4);
  int32_t length = -1;
  EXPECT_TRUE(test::raises(err::script_invalid_char, [&] { to_utf8(&s, length); }));
}

TEST_F(exported, utf8_into_a_callers_buffer_whole_or_bounded) {
  make({'a', 0xE9, 0x1F600}, 4);
  uint8_t out[16];
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(write_utf8(&s, out, -1, true), 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), "a\xC3\xA9\xF0\x9F\x98\x80");
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(write_utf8(&s, out, 2, false), 3);
  EXPECT_EQ(out[3], 0xAA);

  struct {
    int32_t room, part;
    bool terminate;
    bytes want;  // what is written, NUL included
  } rows[] = {
      {1, 0, false, {'a'}},
      {2, 0, false, {'a', 0xC3}},
      {3, 0, true, {'a', 0xC3, 0}},
      {5, 0, false, {'a', 0xC3, 0xA9, 0xF0, 0x9F}},
      {16, 2, true, {'a', 0xC3, 0xA9, 0}},
      {16, -1, true, {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80, 0}},
      {1, 0, true, {0}},
      {0, 0, true, {}},
  };
  for (const auto& r : rows) {
    std::memset(out, 0xAA, sizeof out);
    int32_t n = to_utf8_bounded(&s, out, r.room, r.part, r.terminate);
    EXPECT_EQ(n, static_cast<int32_t>(r.want.size()) - (r.terminate && !r.want.empty()));
    EXPECT_EQ(bytes(out, out + r.want.size()), r.want) << r.room;
    EXPECT_EQ(out[r.want.size()], 0xAA) << "nothing past the room: " << r.room;
  }

  make({0xE9}, 1);
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(to_utf8_bounded(&s, out, 1, 0, false), 1);
  EXPECT_EQ(out[0], 0xC3);
  EXPECT_EQ(out[1], 0xAA);
}

TEST_F(exported, utf16_pairs_crlf_and_abandoned_exports) {
  struct {
    chars text;
    uint32_t unit, index;
    int32_t limit;
    bool crlf;
    std::vector<uint16_t> want;
  } rows[] = {
      {{0x10000}, 4, 0, -1, false, {0xD800, 0xDC00}},
      {{'a', 0x1F600, '\n'}, 4, 0, -1, true, {'a', 0xD83D, 0xDE00, '\r', '\n'}},
      {{'a', 0xE9, 'c'}, 1, 1, 1, false, {0xE9}},
      {{0x4E2D, '\n'}, 2, 0, -1, false, {0x4E2D, '\n'}},
      {{'x'}, 1, 1, -1, false, {}},
  };
  for (const auto& r : rows) {
    make(r.text, r.unit, r.index);
    int32_t length = r.limit;
    const uint8_t* text = to_utf16_part(&s, length, r.crlf);
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(length, static_cast<int32_t>(r.want.size()));
    bytes want = utf16(r.want);
    want.push_back(0);
    want.push_back(0);
    EXPECT_EQ(bytes(text, text + want.size()), want);
  }
  make({'a', '\n'}, 1);
  const uint8_t* all = to_utf16_all(&s);
  EXPECT_EQ(bytes(all, all + 8), utf16({'a', '\r', '\n', 0}));

  make({'a', 0x110000}, 4);
  int32_t length = -1;
  EXPECT_EQ(to_utf16_part(&s, length, false), nullptr);
  EXPECT_EQ(length, -1);
}

TEST_F(exported, mixed_text_survives_loading_and_exporting) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += i % 4 == 0 ? "a" : i % 4 == 1 ? "\xC3\xA9" : i % 4 == 2 ? "\xE4\xB8\xAD" : "\xF0\x9F\x98\x80";
  s = string_on(load_utf8_new(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())));
  EXPECT_EQ(unit_of(s.data2), 4u);
  int32_t length = -1;
  const char* back = to_utf8(&s, length);
  EXPECT_EQ(std::string(back, static_cast<size_t>(length)), text);
  EXPECT_GT(test::buffer_moves, 0);
}

}  // namespace
}  // namespace ixo::unicode
