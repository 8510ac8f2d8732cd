#include "runtime/datatypes/string.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "runtime/core/case_folding.hpp"
#include "runtime/memory/roots.hpp"
#include "support/child.hpp"
#include "support/moving_collector.hpp"

namespace ixo::string {
namespace {

using memory::root_guard;
using memory::series_buffer;
using chars = std::vector<uint32_t>;

// Every test here runs with a buffer move at every allocation: the cells
// the tests make are rooted, so their buffers move under the primitives.
struct string_buffers : test::moving_memory {
  static void SetUpTestSuite() { case_folding::init(); }
};

// Fills c with a string of `unit` holding `text`, room for exactly its
// units (at least 16 bytes).
void make_text(cell* c, const chars& text, uint32_t unit = 1) {
  make_at_unit(c, static_cast<int32_t>(text.size()), unit);
  series_buffer* b = memory::GET_BUFFER(c);
  uint8_t* at = memory::head_of(b);
  for (uint32_t cp : text) {
    std::memcpy(at, &cp, unit);
    at += unit;
  }
  memory::set_tail(b, at);
}

chars chars_of(const cell* s) {
  chars out;
  for (int32_t i = 0; i < rs_abs_length_q(s); ++i) out.push_back(rs_abs_at(s, i));
  return out;
}

chars ascii(const char* text) { return chars(text, text + std::strlen(text)); }

uint32_t unit_of(const cell* s) { return memory::GET_UNIT(memory::GET_BUFFER(s)); }

// ---- Widening ----------------------------------------------------------------

TEST_F(string_buffers, writers_widen_by_their_rules) {
  using writer = std::function<series_buffer*(series_buffer*)>;
  struct row {
    const char* name;
    uint32_t unit;
    chars text;
    writer write;
    uint32_t want_unit;
    chars want;
  };
  const chars abc = ascii("abc");
  const row rows[] = {
      {"append 7F", 1, abc, [](series_buffer* b) { return append_char(b, 0x7F); }, 1, {'a', 'b', 'c', 0x7F}},
      {"append E9", 1, abc, [](series_buffer* b) { return append_char(b, 0xE9); }, 2, {'a', 'b', 'c', 0xE9}},
      {"append 4E2D", 1, abc, [](series_buffer* b) { return append_char(b, 0x4E2D); }, 2, {'a', 'b', 'c', 0x4E2D}},
      {"append 1F600", 1, abc, [](series_buffer* b) { return append_char(b, 0x1F600); }, 4, {'a', 'b', 'c', 0x1F600}},
      {"append FFFF to unit 2", 2, abc, [](series_buffer* b) { return append_char(b, 0xFFFF); }, 2, {'a', 'b', 'c', 0xFFFF}},
      {"append 10000 to unit 2", 2, abc, [](series_buffer* b) { return append_char(b, 0x10000); }, 4, {'a', 'b', 'c', 0x10000}},
      {"append 10FFFF to unit 4", 4, abc, [](series_buffer* b) { return append_char(b, 0x10FFFF); }, 4, {'a', 'b', 'c', 0x10FFFF}},
      {"overwrite E9", 1, abc, [](series_buffer* b) { return overwrite_char(b, 0, 0xE9); }, 1, {0xE9, 'b', 'c'}},
      {"overwrite 100", 1, abc, [](series_buffer* b) { return overwrite_char(b, 1, 0x100); }, 2, {'a', 0x100, 'c'}},
      {"overwrite at the tail", 1, abc, [](series_buffer* b) { return overwrite_char(b, 3, 'd'); }, 1, {'a', 'b', 'c', 'd'}},
      {"overwrite 1F600 at the tail", 1, abc, [](series_buffer* b) { return overwrite_char(b, 3, 0x1F600); }, 4, {'a', 'b', 'c', 0x1F600}},
      {"insert E9", 1, abc, [](series_buffer* b) { return insert_char(b, 0, 0xE9); }, 1, {0xE9, 'a', 'b', 'c'}},
      {"insert 1F600", 1, abc, [](series_buffer* b) { return insert_char(b, 1, 0x1F600); }, 4, {'a', 0x1F600, 'b', 'c'}},
      {"insert 4E2D into unit 2", 2, abc, [](series_buffer* b) { return insert_char(b, 3, 0x4E2D); }, 2, {'a', 'b', 'c', 0x4E2D}},
      {"insert past the tail", 1, abc, [](series_buffer* b) { return insert_char(b, 9, 'd'); }, 1, {'a', 'b', 'c', 'd'}},
      {"poke FF", 1, abc, [](series_buffer* b) { return poke_char(b, memory::head_of(b) + 2, 0xFF); }, 1, {'a', 'b', 0xFF}},
      {"poke 4E2D", 1, abc, [](series_buffer* b) { return poke_char(b, memory::head_of(b) + 2, 0x4E2D); }, 2, {'a', 'b', 0x4E2D}},
      {"poke 1F600 into unit 2", 2, abc, [](series_buffer* b) { return poke_char(b, memory::head_of(b) + 2, 0x1F600); }, 4, {'a', 0x1F600, 'c'}},
  };
  for (const row& r : rows) {
    cell s{};
    root_guard keep(&s);
    make_text(&s, r.text, r.unit);
    series_buffer* b = r.write(memory::GET_BUFFER(&s));
    EXPECT_EQ(b, memory::GET_BUFFER(&s)) << r.name << ": the writer answers the current buffer";
    EXPECT_EQ(unit_of(&s), r.want_unit) << r.name;
    EXPECT_EQ(chars_of(&s), r.want) << r.name;
  }
}

TEST_F(string_buffers, overwriting_past_the_tail_grows_the_buffer_and_moves_the_tail) {
  cell s{};
  root_guard keep(&s);
  make_text(&s, ascii("ab"));
  overwrite_char(memory::GET_BUFFER(&s), 40, 'z');
  EXPECT_EQ(rs_abs_length_q(&s), 41);
  EXPECT_EQ(rs_abs_at(&s, 0), 'a');
  EXPECT_EQ(rs_abs_at(&s, 40), 'z');
}

TEST_F(string_buffers, widening_keeps_every_code_point_and_every_cell_on_its_character) {
  cell s{};
  root_guard keep(&s);
  rs_make_at(&s, 0);
  cell third{};
  root_guard keep_third(&third);
  chars want;
  for (uint32_t i = 0; i < 300; ++i) {
    // ASCII first, then Latin-1 (unit 2), then one emoji (unit 4), then more.
    uint32_t cp = i < 100 ? 'a' + i % 26 : i < 200 ? 0xC0 + i % 64 : i == 200 ? 0x1F600 : 0x4E00 + i;
    memory::series_buffer* b = append_char(memory::GET_BUFFER(&s), cp);
    EXPECT_EQ(b, memory::GET_BUFFER(&s));
    want.push_back(cp);
    if (i == 3) third = {TYPE_STRING, 2, s.data2, 0};
    if (i == 99) {
      EXPECT_EQ(unit_of(&s), 1u);
    }
    if (i == 100) {
      EXPECT_EQ(unit_of(&s), 2u);
    }
  }
  EXPECT_EQ(unit_of(&s), 4u);
  EXPECT_EQ(chars_of(&s), want);
  EXPECT_EQ(get_char(rs_head(&third), 4), 'c');
  EXPECT_EQ(rs_length_q(&third), 298);
  EXPECT_GT(test::buffer_moves, 0);
}

// ---- Readers -----------------------------------------------------------------

TEST_F(string_buffers, readers_count_and_address_units_of_every_width) {
  for (uint32_t unit : {1u, 2u, 4u}) {
    cell s{};
    root_guard keep(&s);
    make_text(&s, ascii("hello"), unit);
    s.data1 = 2;
    EXPECT_EQ(rs_length_q(&s), 3) << unit;
    EXPECT_EQ(rs_abs_length_q(&s), 5) << unit;
    EXPECT_FALSE(rs_tail_q(&s));
    EXPECT_EQ(get_char(rs_head(&s), unit), 'l');
    EXPECT_EQ(rs_tail(&s) - rs_head(&s), static_cast<long>(3 * unit));
    EXPECT_EQ(rs_abs_at(&s, 4), 'o');
    EXPECT_EQ(find_char(&s, 'o'), 2);
    EXPECT_EQ(find_char(&s, 'e'), -1);  // before the index

    // Shortened through another value: the index lies past the tail.
    s.data1 = 9;
    EXPECT_EQ(rs_length_q(&s), 0);
    EXPECT_TRUE(rs_tail_q(&s));
    EXPECT_EQ(find_char(&s, 'o'), -1);
    EXPECT_EQ(rs_head(&s), rs_tail(&s));
    EXPECT_EQ(s.data1, 5u) << "rs_head writes the clamped index back";
  }
}

TEST_F(string_buffers, get_char_reads_little_endian_units) {
  const uint8_t bytes[] = {0x3D, 0xD8, 0x01, 0x00};
  EXPECT_EQ(get_char(bytes, 1), 0x3Du);
  EXPECT_EQ(get_char(bytes, 2), 0xD83Du);
  EXPECT_EQ(get_char(bytes, 4), 0x1D83Du);
}

TEST_F(string_buffers, find_char_skip_steps_by_records_and_folds_case) {
  struct {
    chars text;
    uint32_t index;
    uint32_t cp;
    int32_t skip;
    bool case_sensitive;
    bool found;
  } rows[] = {
      {ascii("abcdef"), 0, 'c', 2, true, true},    // a c e
      {ascii("abcdef"), 0, 'd', 2, true, false},
      {ascii("abcdef"), 1, 'd', 2, true, true},    // b d f
      {ascii("abcdef"), 0, 'C', 2, true, false},
      {ascii("abcdef"), 0, 'C', 2, false, true},
      {{'x', 0xE9}, 0, 0xC9, 1, false, true},       // folded beyond ASCII
      {{'x', 0xE9}, 0, 0xC9, 1, true, false},
      {{'x', 0x1E943}, 0, 0x1E921, 1, false, true},
      {ascii("abc"), 3, 'a', 1, false, false},      // at the tail: nothing
  };
  for (const auto& r : rows) {
    cell s{};
    root_guard keep(&s);
    make_text(&s, r.text, 4);
    s.data1 = r.index;
    EXPECT_EQ(find_char_skip_q(r.cp, &s, r.skip, r.case_sensitive), r.found) << std::hex << r.cp;
  }
}

TEST_F(string_buffers, starts_with_compares_bytes_as_code_points) {
  struct {
    chars text;
    uint32_t unit;
    uint32_t index;
    const char* literal;
    bool want;
  } rows[] = {
      {ascii("abc"), 1, 0, "ab", true},
      {ascii("abc"), 1, 1, "bc", true},
      {ascii("abc"), 2, 0, "abc", true},
      {ascii("abc"), 1, 0, "", true},
      {ascii("ab"), 1, 0, "abc", false},
      {ascii("abc"), 1, 0, "b", false},
      {{0xE9, 'a'}, 2, 0, "\xE9", true},
      {{0x141}, 2, 0, "A", false},  // 141h is not the byte 41h
  };
  for (const auto& r : rows) {
    cell s{};
    root_guard keep(&s);
    make_text(&s, r.text, r.unit);
    s.data1 = r.index;
    EXPECT_EQ(starts_with_q(&s, r.literal), r.want) << r.literal;
  }
}

// ---- Removing, truncating, resetting -----------------------------------------

TEST_F(string_buffers, removing_units_moves_the_rest_down) {
  struct {
    int32_t offset, count;
    const char* want;
  } rows[] = {
      {0, 1, "bcdef"}, {2, 2, "abef"}, {4, 10, "abcd"}, {5, 1, "abcde"},
      {6, 1, "abcdef"}, {9, 1, "abcdef"}, {2, 0, "abcdef"}, {0, 6, ""},
  };
  for (uint32_t unit : {1u, 4u}) {
    for (const auto& r : rows) {
      cell s{};
      root_guard keep(&s);
      make_text(&s, ascii("abcdef"), unit);
      if (r.count == 1) {
        remove_char(&s, r.offset);
      } else {
        remove_part(&s, r.offset, r.count);
      }
      EXPECT_EQ(chars_of(&s), ascii(r.want)) << r.offset << ' ' << r.count << " unit " << unit;
    }
  }
}

TEST_F(string_buffers, truncating_only_shortens_and_resetting_narrows_to_unit_1) {
  cell s{};
  root_guard keep(&s);
  make_text(&s, {'a', 'b', 0x1F600, 'd'}, 4);
  truncate_at(memory::GET_BUFFER(&s), 10);
  EXPECT_EQ(rs_abs_length_q(&s), 4);
  truncate_at(memory::GET_BUFFER(&s), 3);
  EXPECT_EQ(chars_of(&s), (chars{'a', 'b', 0x1F600}));
  truncate_at(memory::GET_BUFFER(&s), -1);
  EXPECT_EQ(rs_abs_length_q(&s), 0);

  make_text(&s, {'a', 0x1F600}, 4);
  s.data1 = 1;
  rs_reset(&s);
  EXPECT_EQ(unit_of(&s), 1u);
  EXPECT_EQ(s.data1, 0u);
  EXPECT_EQ(rs_abs_length_q(&s), 0);
  append_char(memory::GET_BUFFER(&s), 'x');
  EXPECT_EQ(chars_of(&s), ascii("x"));
  EXPECT_EQ(unit_of(&s), 1u);
}

// ---- Concatenation -----------------------------------------------------------

TEST_F(string_buffers, concatenate_appends_inserts_and_overwrites_across_units) {
  struct row {
    chars target;
    uint32_t target_unit, target_index;
    chars source;
    uint32_t source_unit, source_index;
    int32_t part, offset;
    bool keep;
    concatenate_mode mode;
    chars want;
    uint32_t want_unit, want_source_unit;
  };
  const chars abc = ascii("abc"), def = ascii("def");
  const row rows[] = {
      {abc, 1, 0, def, 1, 0, -1, 0, false, MODE_APPEND, ascii("abcdef"), 1, 1},
      {abc, 1, 1, def, 1, 0, -1, 0, false, MODE_INSERT, ascii("adefbc"), 1, 1},
      {abc, 1, 1, def, 1, 0, -1, 1, false, MODE_INSERT, ascii("abdefc"), 1, 1},
      {abc, 1, 1, def, 1, 0, -1, 9, false, MODE_INSERT, ascii("abcdef"), 1, 1},  // past the tail
      {ascii("abcd"), 1, 0, ascii("de"), 1, 0, -1, 1, false, MODE_OVERWRITE, ascii("aded"), 1, 1},
      {abc, 1, 0, ascii("defg"), 1, 0, -1, 2, false, MODE_OVERWRITE, ascii("abdefg"), 1, 1},
      {abc, 1, 0, ascii("defg"), 1, 1, 2, 0, false, MODE_APPEND, ascii("abcef"), 1, 1},
      {abc, 1, 0, def, 1, 0, 0, 0, false, MODE_APPEND, abc, 1, 1},  // part 0: nothing
      {abc, 1, 0, def, 1, 3, -1, 0, false, MODE_APPEND, abc, 1, 1},  // source at its tail
      // The narrower target widens to the source's unit.
      {ascii("ab"), 1, 0, {0x4E2D, 'x'}, 2, 0, -1, 0, false, MODE_APPEND, {'a', 'b', 0x4E2D, 'x'}, 2, 2},
      {ascii("ab"), 1, 0, {0x1F600}, 4, 0, -1, 1, false, MODE_OVERWRITE, {'a', 0x1F600}, 4, 4},
      // The narrower source widens too, unless it is kept.
      {{0x4E2D}, 2, 0, {0xE9}, 1, 0, -1, 0, true, MODE_APPEND, {0x4E2D, 0xE9}, 2, 1},
      {{0x4E2D}, 2, 0, {0xE9}, 1, 0, -1, 0, false, MODE_APPEND, {0x4E2D, 0xE9}, 2, 2},
      {{0x1F600}, 4, 0, ascii("ab"), 1, 0, -1, 0, true, MODE_INSERT, {'a', 'b', 0x1F600}, 4, 1},
      {{0x1F600, 'z'}, 4, 0, {0xE9, 0x4E2D}, 2, 0, 1, 1, true, MODE_OVERWRITE, {0x1F600, 0xE9}, 4, 2},
  };
  for (const row& r : rows) {
    cell target{}, source{};
    root_guard keep_target(&target), keep_source(&source);
    make_text(&target, r.target, r.target_unit);
    make_text(&source, r.source, r.source_unit);
    target.data1 = r.target_index;
    source.data1 = r.source_index;
    chars source_before = chars_of(&source);
    series_buffer* b = concatenate(&target, &source, r.part, r.offset, r.keep, r.mode);
    EXPECT_EQ(b, memory::GET_BUFFER(&target));
    EXPECT_EQ(chars_of(&target), r.want) << "row " << &r - rows;
    EXPECT_EQ(unit_of(&target), r.want_unit) << "row " << &r - rows;
    EXPECT_EQ(unit_of(&source), r.want_source_unit) << "row " << &r - rows;
    EXPECT_EQ(chars_of(&source), source_before) << "row " << &r - rows;
  }
  EXPECT_GT(test::buffer_moves, 0);
}

TEST_F(string_buffers, concatenating_a_string_into_itself) {
  struct {
    const char* text;
    uint32_t target_index, source_index;
    int32_t part;
    concatenate_mode mode;
    const char* want;
  } rows[] = {
      {"abcd", 0, 0, -1, MODE_APPEND, "abcdabcd"},
      {"abcd", 0, 2, -1, MODE_APPEND, "abcdcd"},
      {"abcd", 0, 0, -1, MODE_INSERT, "abcdabcd"},
      {"abcd", 0, 2, -1, MODE_INSERT, "cdabcd"},    // the source lies after the insertion
      {"abcd", 3, 0, 2, MODE_INSERT, "abcabd"},     // before it
      {"abcd", 2, 0, -1, MODE_INSERT, "ababcdcd"},  // across it
      {"abcd", 2, 1, 2, MODE_INSERT, "abbccd"},
      {"abcd", 2, 0, 3, MODE_OVERWRITE, "ababc"},
      {"abcd", 0, 1, -1, MODE_OVERWRITE, "bcdd"},
  };
  // Unit 4 fills its first buffer, so those inserts move the series first.
  for (uint32_t unit : {1u, 2u, 4u}) {
    for (const auto& r : rows) {
      cell target{}, source{};
      root_guard keep_target(&target), keep_source(&source);
      make_text(&target, ascii(r.text), unit);
      source = target;
      target.data1 = r.target_index;
      source.data1 = r.source_index;
      concatenate(&target, &source, r.part, 0, false, r.mode);
      EXPECT_EQ(chars_of(&target), ascii(r.want)) << r.want << " unit " << unit;
    }
  }
}

TEST_F(string_buffers, concatenate_reads_cells_that_lie_in_a_moving_block) {
  // Both cells live in a block's buffer, which moves at the expansion.
  uint32_t block = memory::alloc_cells(4);
  root_guard keep_block(&block);
  cell text{};
  root_guard keep_text(&text);
  make_text(&text, ascii("abcdefghij"));  // twice this needs a larger buffer
  cell* slot = series::alloc_tail_cell(memory::buffer_of(block));
  *slot = text;
  slot = series::alloc_tail_cell(memory::buffer_of(block));
  *slot = text;
  const cell* cells = memory::head_of<cell>(memory::buffer_of(block));
  concatenate(&cells[0], &cells[1], -1, 0, false, MODE_APPEND);
  EXPECT_EQ(chars_of(&text), ascii("abcdefghijabcdefghij"));
}

TEST_F(string_buffers, literals_append_one_code_point_per_byte) {
  cell s{};
  root_guard keep(&s);
  rs_make_at(&s, 0);
  concatenate_literal(memory::GET_BUFFER(&s), "");
  EXPECT_EQ(rs_abs_length_q(&s), 0);
  concatenate_literal(memory::GET_BUFFER(&s), "ab");
  EXPECT_EQ(unit_of(&s), 1u);
  concatenate_literal(memory::GET_BUFFER(&s), "c\xE9");
  EXPECT_EQ(unit_of(&s), 2u) << "a byte from 80h widens as an appended code point";
  const uint8_t bytes[] = {'x', 0, 0xFF, 'y'};
  concatenate_literal_part(memory::GET_BUFFER(&s), bytes, 0);
  concatenate_literal_part(memory::GET_BUFFER(&s), bytes, 3);
  EXPECT_EQ(chars_of(&s), (chars{'a', 'b', 'c', 0xE9, 'x', 0, 0xFF}));
}

// ---- Constructors --------------------------------------------------------------

TEST_F(string_buffers, constructors_make_empty_strings_of_a_unit) {
  struct {
    int32_t n;
    uint32_t unit;
    int32_t size;
  } rows[] = {{0, 1, 16}, {1, 1, 16}, {20, 1, 32}, {5, 2, 16}, {10, 4, 48}};
  for (const auto& r : rows) {
    cell c{TYPE_INTEGER | NEWLINE_FLAG, 7, 7, 7};
    root_guard keep(&c);
    if (r.unit == 1) {
      rs_make_at(&c, r.n);
    } else {
      make_at_unit(&c, r.n, r.unit);
    }
    EXPECT_EQ(c.header, TYPE_STRING);
    EXPECT_EQ(c.data1, 0u);
    EXPECT_EQ(c.data3, 0u);
    EXPECT_EQ(unit_of(&c), r.unit);
    EXPECT_EQ(memory::GET_BUFFER(&c)->size, r.size);
    EXPECT_EQ(rs_abs_length_q(&c), 0);
  }
}

TEST_F(string_buffers, load_at_decodes_utf8_and_utf16) {
  cell c{};
  root_guard keep(&c);
  const uint8_t utf8[] = {'a', 0xC3, 0xA9, 0xE4, 0xB8, 0xAD};
  load_at(utf8, sizeof utf8, &c, LOAD_UTF8);
  EXPECT_EQ(TYPE_OF(&c), TYPE_STRING);
  EXPECT_EQ(unit_of(&c), 2u);
  EXPECT_EQ(chars_of(&c), (chars{'a', 0xE9, 0x4E2D}));

  const uint8_t utf16[] = {'a', 0, 0x3D, 0xD8, 0x00, 0xDE};
  load_at(utf16, 3, &c, LOAD_UTF16LE);
  EXPECT_EQ(unit_of(&c), 4u);
  EXPECT_EQ(chars_of(&c), (chars{'a', 0x1F600}));

  // Invalid or cut short: the error, and the cell left unset.
  const uint8_t cut[] = {'a', 0xE4, 0xB8};
  EXPECT_TRUE(test::raises(err::access_invalid_utf8, [&] { load_at(cut, sizeof cut, &c, LOAD_UTF8); }));
  EXPECT_EQ(TYPE_OF(&c), TYPE_UNSET);
  const uint8_t lone[] = {0x3D, 0xD8};
  EXPECT_TRUE(test::raises(err::script_invalid_chars, [&] { load_at(lone, 1, &c, LOAD_UTF16LE); }));
}

TEST_F(string_buffers, load_in_appends_the_string_to_a_block) {
  uint32_t block = memory::alloc_cells(1);
  root_guard keep_block(&block);
  const uint8_t first[] = "one";
  const uint8_t second[] = "two";
  load_in(first, 3, block, LOAD_UTF8);
  cell* made = load_in(second, 3, block, LOAD_UTF8);
  series_buffer* b = memory::buffer_of(block);
  ASSERT_EQ(b->tail - b->head, 2 * sizeof(cell));
  cell* cells = memory::head_of<cell>(b);
  EXPECT_EQ(made, &cells[1]);
  EXPECT_EQ(chars_of(&cells[0]), ascii("one"));
  EXPECT_EQ(chars_of(&cells[1]), ascii("two"));
}

// A datatype does not end the process: an encoding it cannot load is an
// error the caller can catch, and the cell stays unset.
TEST_F(string_buffers, an_unsupported_encoding_raises_feature_not_available) {
  cell c{};
  EXPECT_TRUE(test::raises(err::internal_feature_na,
                           [&] { load_at(reinterpret_cast<const uint8_t*>("x"), 1, &c, 1); }));
  EXPECT_EQ(TYPE_OF(&c), TYPE_UNSET);
}

// ---- Hexadecimal text ----------------------------------------------------------

TEST(string_hex, digits_of_words_and_bytes) {
  struct {
    int32_t value;
    bool trim;
    const char* want;
  } rows[] = {
      {0, true, "00"},         {0, false, "00000000"}, {255, true, "FF"},
      {255, false, "000000FF"}, {30, true, "1E"},      {5, true, "5"},
      {-1, false, "FFFFFFFF"}, {-1, true, "FF"},      {-2, false, "FFFFFFFE"},
      {0x12345678, true, "12345678"}, {INT_MIN, false, "80000000"}, {INT_MAX, true, "7FFFFFFF"},
  };
  for (const auto& r : rows) EXPECT_STREQ(to_hex(r.value, r.trim), r.want) << r.value << ' ' << r.trim;
  EXPECT_STREQ(byte_to_hex(0x0A), "0A");
  EXPECT_STREQ(byte_to_hex(0xFF), "FF");
  EXPECT_STREQ(byte_to_hex(0), "00");
}

}  // namespace
}  // namespace ixo::string
