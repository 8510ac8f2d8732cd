#include "runtime/datatypes/string_form.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/refinement.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/print_hooks.hpp"
#include "support/child.hpp"
#include "support/strings.hpp"
#include "support/words.hpp"

namespace ixo::string {
namespace {

using test::push_ascii;
using test::push_text;

struct string_form : test::string_actions {
  // The mold of a string, and the budget left, with /all and a /part limit
  // when `limit` is given (INT32_MIN: none).
  static std::pair<std::string, int32_t> molded(cell* s, bool all = false, int32_t limit = INT32_MIN) {
    cell* buffer = stack::push_slot();
    rs_make_at(buffer, 16);
    cell* arg = limit == INT32_MIN ? nullptr : test::push_integer(limit);
    int32_t budget = limit == INT32_MIN ? 1000 : limit;
    int32_t left = mold(s, buffer, 0, all, 0, arg, budget, 0);
    return {test::text_of(buffer), left};
  }
};

TEST_F(string_form, mold_chooses_quotes_or_braces_and_escapes) {
  struct row {
    std::u32string text;
    bool all;
    std::string mold;
  };
  const std::u32string a49(49, U'a'), a50(50, U'a');
  const row rows[] = {
      {U"abc", false, "\"abc\""},
      {a49, false, "\"" + std::string(49, 'a') + "\""},
      {U"", false, "\"\""},
      {U"a\nb\nc", false, "\"a^/b^/c\""},
      {U"a\nb\nc\nd", false, "{a^/b^/c^/d}"},
      {U"a\"b", false, "{a\"b}"},
      {U"tab\t^\x7F", false, "\"tab^-^^^~\""},
      {U"\x1B\x01\x1F", false, "\"^[^A^_\""},
      {U"\x1E", false, "\"^(1E)\""},
      {U"\x85\x9F", false, "\"^(85)^(9F)\""},
      {U"\xE9\xA0", false, "\"\xC3\xA9\xC2\xA0\""},
      {U"\xE9", true, "\"^(E9)\""},
      {U"\x4E2D\U0001F600", false, "\"\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
      {U"\x4E2D\U0001F600", true, "\"^(4E2D)^(1F600)\""},
      {U"{a}", false, "\"{a}\""},
      // Braces: balanced ones stay bare, the others get a caret; a quote and
      // a caret inside braces.
      {U"\"a{b}c", false, "{\"a{b}c}"},
      {U"\"a}b", false, "{\"a^}b}"},
      {U"\"x{y", false, "{\"x^{y}"},
      {U"\"{{a}}", false, "{\"{{a}}}"},
      {U"\"{a}}", false, "{\"{a}^}}"},
      {U"\"}{", false, "{\"^}^{}"},
      {U"\"{ {x}", false, "{\"^{ ^{x^}}"},
      {U"\"^\t\n", false, "{\"^^^-^/}"},
  };
  for (const row& r : rows) {
    for (uint32_t unit : {1u, 2u, 4u}) {
      bool fits = true;
      for (char32_t cp : r.text) fits &= unit == 4 || cp < (unit == 1 ? 0x100u : 0x10000u);
      if (!fits) continue;
      cell* s = push_text(r.text, unit);
      EXPECT_EQ(molded(s, r.all).first, r.mold) << "unit " << unit;
    }
  }
  cell* s = push_text(a50);
  EXPECT_EQ(molded(s).first, "{" + std::string(50, 'a') + "}");
}

TEST_F(string_form, mold_looks_at_the_text_from_the_index) {
  cell* s = push_ascii("\"\n\n\nab");
  s->data1 = 4;  // past the quote and the line feeds
  EXPECT_EQ(molded(s).first, "\"ab\"");
  cell* long_tail = push_text(std::u32string(60, U'x') + U"yz");
  long_tail->data1 = 60;
  EXPECT_EQ(molded(long_tail).first, "\"yz\"");
}

TEST_F(string_form, mold_part_bounds_the_range_and_answers_the_budget) {
  cell* s = push_ascii("abcd");
  EXPECT_EQ(molded(s, false, 2), (std::pair<std::string, int32_t>{"\"ab\"", -2}));
  EXPECT_EQ(molded(s, false, -3), (std::pair<std::string, int32_t>{"\"\"", -5}));
  EXPECT_EQ(molded(s, false, 10), (std::pair<std::string, int32_t>{"\"abcd\"", 4}));
  // A limit of 0 means the whole string.
  EXPECT_EQ(molded(s, false, 0).first, "\"abcd\"");
  // Escapes do not count in the budget.
  EXPECT_EQ(molded(push_ascii("\t\t"), false, 10), (std::pair<std::string, int32_t>{"\"^-^-\"", 6}));
  // Braces stay when the rest of the string is long, even with nothing molded.
  EXPECT_EQ(molded(push_text(std::u32string(50, U'a')), false, -1).first, "{}");
}

TEST_F(string_form, form_appends_from_the_index_and_keeps_the_source_unit) {
  cell* source = push_text(U"x\xE9t\xE9", 1);
  source->data1 = 1;
  cell* buffer = push_text(U"\x4E2D", 2);
  EXPECT_EQ(form(source, buffer, nullptr, 10), 7);
  EXPECT_EQ(test::whole_text(buffer), "\xE4\xB8\xAD\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(test::unit_of(source), 1u);

  cell* limited = push_ascii(">");
  cell* arg = test::push_integer(2);
  EXPECT_EQ(form(source, limited, arg, 2), -1);
  EXPECT_EQ(test::whole_text(limited), ">\xC3\xA9t");
}

TEST_F(string_form, make_takes_a_size_or_converts) {
  cell* proto = stack::push(datatype::make_cell(TYPE_STRING));
  struct row {
    cell spec;
    int32_t room;  // at least this many bytes
  };
  cell f29{TYPE_FLOAT, 0, 0, 0}, fneg{TYPE_FLOAT, 0, 0, 0};
  set_float(&f29, 2.9);
  set_float(&fneg, -0.9);
  for (const row& r : {row{test::integer(0), 16}, row{f29, 2}, row{fneg, 0}, row{test::integer(100), 100}}) {
    cell spec = r.spec;
    cell* made = make(proto, &spec, TYPE_FILE);
    EXPECT_EQ(TYPE_OF(made), TYPE_FILE);
    EXPECT_EQ(rs_abs_length_q(made), 0);
    memory::series_buffer* b = memory::GET_BUFFER(made);
    EXPECT_GE(memory::data_end(b) - memory::head_of(b), r.room);
    EXPECT_EQ(test::unit_of(made), 1u);
  }
  cell big{TYPE_FLOAT, 0, 0, 0};
  set_float(&big, 3e9);
  for (cell bad : {test::integer(-1), big}) {
    EXPECT_TRUE(test::is(test::raised([&] { make(proto, &bad, TYPE_STRING); }), err::script_out_of_range));
    EXPECT_EQ(last_raised.args[0].header, bad.header);
  }
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(test::is(test::raised([&] { make(proto, &money, TYPE_BINARY); }), err::script_bad_make_arg));
  // Any other spec converts.
  cell* text = push_ascii("abc");
  EXPECT_EQ(test::text_of(make(proto, text, TYPE_STRING)), "abc");
}

TEST_F(string_form, to_converts_by_the_spec_type) {
  cell* proto = stack::push(datatype::make_cell(TYPE_STRING));
  cell* source = push_text(U"ab\x4E2D", 2, TYPE_URL);
  source->data1 = 1;
  cell* copied = to(proto, source, TYPE_FILE);
  EXPECT_EQ(TYPE_OF(copied), TYPE_FILE);
  EXPECT_EQ(copied->data1, 0u);
  EXPECT_NE(copied->data2, source->data2);
  EXPECT_EQ(test::text_of(copied), "b\xE4\xB8\xAD");

  cell* inner = push_ascii("in");
  cell* block = test::push_block({*push_ascii("a"), test::integer(12), *inner, logic::true_value, none::none_value});
  EXPECT_EQ(test::text_of(to(proto, block, TYPE_STRING)), "a12intruenone");

  // A nested block forms as block! forms it; a block molds its strings by
  // the string mold.
  cell* nested = test::push_block({test::integer(1), *push_ascii("b")});
  cell* outer = test::push_block({*push_ascii("a"), *nested, none::none_value});
  EXPECT_EQ(test::text_of(to(proto, outer, TYPE_STRING)), "a1 bnone");
  cell* strings = test::push_block({*push_ascii("a"), *push_ascii("b\""), *push_ascii("{")});
  cell* molded = stack::push_slot();
  rs_make_at(molded, 16);
  actions::mold(strings, molded, 0, 0, 0, nullptr, 100, 0);
  EXPECT_EQ(test::text_of(molded), "[\"a\" {b\"} \"{\"]");

  cell number = test::integer(-42);
  EXPECT_EQ(test::text_of(to(proto, &number, TYPE_EMAIL)), "-42");
  EXPECT_EQ(TYPE_OF(proto), TYPE_EMAIL);

  cell none = none::none_value;
  EXPECT_TRUE(test::is(test::raised([&] { to(proto, &none, TYPE_FILE); }), err::script_bad_to_arg));
  EXPECT_EQ(last_raised.args[0].data1, static_cast<uint32_t>(TYPE_STRING));
}

// A binary! value: a unit-1 series of the bytes.
cell* push_binary(const std::string& bytes) {
  uint32_t node = memory::alloc_bytes(static_cast<int32_t>(bytes.size()));
  memory::series_buffer* b = memory::buffer_of(node);
  std::memcpy(memory::head_of(b), bytes.data(), bytes.size());
  b->tail = b->head + static_cast<uint32_t>(bytes.size());
  return stack::push(cell{TYPE_BINARY, 0, node, 0});
}

TEST_F(string_form, to_string_of_utf8_bytes) {
  cell* proto = stack::push(datatype::make_cell(TYPE_STRING));
  cell* bytes = push_binary("xcaf\xC3\xA9 \xE4\xB8\xAD");
  bytes->data1 = 1;
  cell* s = to(proto, bytes, TYPE_STRING);
  EXPECT_EQ(test::text_of(s), "caf\xC3\xA9 \xE4\xB8\xAD");
  EXPECT_EQ(test::unit_of(s), 2u);

  cell* invalid = push_binary("a\xC0\xAF");
  EXPECT_TRUE(test::is(test::raised([&] { to(proto, invalid, TYPE_STRING); }), err::access_invalid_utf8));
  cell* truncated = push_binary("ab\xF0\x9F\x98");
  EXPECT_TRUE(test::is(test::raised([&] { to(proto, truncated, TYPE_STRING); }), err::access_invalid_utf8));
  ASSERT_EQ(last_raised.count, 1);
  const cell& rest = last_raised.args[0];
  ASSERT_EQ(TYPE_OF(&rest), TYPE_BINARY);
  memory::series_buffer* b = memory::GET_BUFFER(&rest);
  EXPECT_EQ(std::string(memory::head_of<char>(b), memory::tail_of<char>(b)), "\xF0\x9F\x98");

  const uint8_t bom[] = {0xEF, 0xBB, 0xBF, 'o', 'k'};
  EXPECT_EQ(test::text_of(from_utf8_bytes(bom, 5)), "ok");
}

// Printing hands the units from the index to the console printer, which
// writes UTF-8 whatever the unit.
TEST_F(string_form, printing_a_string_of_any_unit_writes_its_utf8) {
  auto r = test::run_child([] {
    const std::u32string text = U"caf\xE9 \xFF";
    for (uint32_t unit : {1u, 2u, 4u}) print_hooks::run(push_text(text, unit), true);
    cell* s = push_text(U"xy\x4E2D\U0001F600", 4);
    s->data1 = 2;
    print_hooks::run(s, false);
    s->data1 = 9;  // past the tail: nothing
    print_hooks::run(s, true);
    _exit(0);
  });
  EXPECT_EQ(r.output, "caf\xC3\xA9 \xC3\xBF\ncaf\xC3\xA9 \xC3\xBF\ncaf\xC3\xA9 \xC3\xBF\n\xE4\xB8\xAD\xF0\x9F\x98\x80\n");
}

}  // namespace
}  // namespace ixo::string


namespace ixo::string {
namespace {

// With the word family registered: refinements and words as spellings.
struct string_words : ::testing::Test {
  void SetUp() override {
    test::start_words();
    series::init();
    block::init();
    string::init();
    stack::reset();
  }
};

TEST_F(string_words, to_takes_a_refinements_form_or_mold_and_find_a_words_spelling) {
  cell* proto = stack::push(datatype::make_cell(TYPE_STRING));
  cell* x = refinement::push(test::word_of(TYPE_REFINEMENT, "x"));
  EXPECT_EQ(test::text_of(to(proto, x, TYPE_STRING)), "x");
  EXPECT_EQ(test::text_of(to(proto, x, TYPE_FILE)), "/x");
  EXPECT_EQ(test::text_of(to(proto, x, TYPE_URL)), "/x");
  cell* words = stack::push(test::block_of({test::word_of(TYPE_WORD, "ab"), test::word_of(TYPE_SET_WORD, "cd")}));
  EXPECT_EQ(test::text_of(to(proto, words, TYPE_STRING)), "abcd");

  cell* s = push_ascii("one Two three");
  cell* two = stack::push(test::word_of(TYPE_WORD, "two"));
  cell* found = find(s, two, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 1, 0);
  EXPECT_EQ(found->data1, 7u);
  s->data1 = 0;
  cell* after = select(s, two, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0);
  EXPECT_EQ(after->data2, static_cast<uint32_t>(' '));
}

}  // namespace
}  // namespace ixo::string
