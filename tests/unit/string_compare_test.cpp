#include "runtime/datatypes/string_compare.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "runtime/datatypes/none.hpp"
#include "support/kept.hpp"
#include "support/strings.hpp"

namespace ixo::string {
namespace {

using test::push_ascii;
using test::push_text;

struct string_compare : test::string_actions {};

TEST_F(string_compare, compare_answers_by_operator) {
  struct row {
    std::u32string a;
    uint32_t unit_a;
    std::u32string b;
    uint32_t unit_b, type_b;
    int32_t op, answer;
  };
  const row rows[] = {
      {U"abc", 1, U"ABC", 1, TYPE_STRING, COMP_EQUAL, 0},
      {U"abc", 1, U"ABC", 1, TYPE_STRING, COMP_STRICT_EQUAL, 1},
      {U"abc", 1, U"ABC", 1, TYPE_STRING, COMP_CASE_SORT, 1},
      {U"abc", 1, U"ABC", 1, TYPE_STRING, COMP_SORT, 0},
      {U"abc", 1, U"abd", 1, TYPE_STRING, COMP_LESSER, -1},
      {U"ab", 1, U"abc", 1, TYPE_STRING, COMP_LESSER, -1},
      {U"abc", 1, U"ab", 1, TYPE_STRING, COMP_GREATER, 1},
      {U"ab", 1, U"abc", 1, TYPE_STRING, COMP_EQUAL, 1},
      {U"abc", 1, U"abc", 1, TYPE_FILE, COMP_EQUAL, 0},
      {U"abc", 1, U"abc", 1, TYPE_FILE, COMP_NOT_EQUAL, 0},
      {U"abc", 1, U"abc", 1, TYPE_FILE, COMP_LESSER, COMPARE_NONE},
      {U"abc", 1, U"abc", 1, TYPE_FILE, COMP_STRICT_EQUAL, COMPARE_NONE},
      {U"", 1, U"", 1, TYPE_STRING, COMP_EQUAL, 0},
      {U"", 1, U"a", 1, TYPE_STRING, COMP_LESSER, -1},
      {U"a", 1, U"", 1, TYPE_STRING, COMP_LESSER, 1},
      // Units differ; folding is the same for every unit.
      {U"\xE9t\xE9", 1, U"\xC9T\xC9", 2, TYPE_STRING, COMP_EQUAL, 0},
      {U"\x4E2D\U0001F600", 4, U"\x4E2D\U0001F600", 2 /* widens */, TYPE_STRING, COMP_STRICT_EQUAL, 0},
      {U"\x3B1", 2, U"\x391", 4, TYPE_STRING, COMP_EQUAL, 0},
      {U"a", 1, U"\x100", 2, TYPE_STRING, COMP_LESSER, -1},
  };
  for (const row& r : rows) {
    cell* a = push_text(r.a, r.unit_a);
    cell* b = push_text(r.b, r.unit_b, r.type_b);
    EXPECT_EQ(compare(a, b, r.op), r.answer) << "op " << r.op;
  }
  cell* s = push_ascii("abc");
  cell same = *s;
  cell* other = push_ascii("abc");
  EXPECT_EQ(compare(s, &same, COMP_SAME), 0);
  EXPECT_EQ(compare(s, other, COMP_SAME), -1);
  cell integer = test::integer(1);
  EXPECT_EQ(compare(s, &integer, COMP_EQUAL), COMPARE_NONE);
}

TEST_F(string_compare, equal_in_match_mode_tests_a_prefix) {
  cell* s = push_ascii("xabc");
  s->data1 = 1;
  struct row {
    const char* prefix;
    int32_t op, answer;
  };
  for (const row& r : {row{"ab", COMP_EQUAL, 0}, row{"AB", COMP_EQUAL, 0}, row{"AB", COMP_STRICT_EQUAL, 1},
                       row{"abc", COMP_EQUAL, 0}, row{"abcd", COMP_EQUAL, 1}, row{"b", COMP_EQUAL, -1},
                       row{"", COMP_EQUAL, 0}, row{"", COMP_FIND, 1}}) {
    EXPECT_EQ(equal_q(s, push_ascii(r.prefix), r.op, true), r.answer) << r.prefix;
  }
}

// Refinements of find and select, as the tests give them.
struct refinements {
  std::optional<int32_t> part{}, skip{};
  bool case_ = false, same = false, last = false, reverse = false, tail = false, match = false;
};

// The index find answers, or -1 for none. `index` is the series' index.
int32_t found(cell* series, cell value, const refinements& r, int32_t index = 0) {
  series->data1 = static_cast<uint32_t>(index);
  cell* v = stack::push(value);
  cell* part = r.part ? test::push_integer(*r.part) : nullptr;
  cell* skip = r.skip ? test::push_integer(*r.skip) : nullptr;
  cell* result = find(series, v, part, 0, r.case_, r.same, 0, nullptr, skip, r.last, r.reverse, r.tail, r.match);
  return TYPE_OF(result) == TYPE_NONE ? -1 : static_cast<int32_t>(result->data1);
}

TEST_F(string_compare, find_by_refinements) {
  auto text = [](const char* t) { return *push_ascii(t); };
  struct row {
    const char* series;
    cell value;
    refinements r;
    int32_t index, answer;
  };
  const row rows[] = {
      {"abcabc", text("bc"), {}, 0, 1},
      {"abcabc", text("bc"), {.last = true}, 0, 4},
      {"abcabc", text("bc"), {.tail = true}, 0, 3},
      {"abcabc", text("BC"), {}, 2, 4},
      {"abcabc", text("BC"), {.case_ = true}, 0, -1},
      {"abcabc", text("BC"), {.same = true}, 0, -1},
      {"abcabc", text("bc"), {.reverse = true}, 6, 4},
      {"abcabc", text("bc"), {.reverse = true}, 4, 1},
      {"abcabc", text("bc"), {.reverse = true}, 0, -1},
      {"abcabc", text("bc"), {.part = 3, .reverse = true}, 6, 4},
      {"abcabc", text("bc"), {.part = 3, .reverse = true}, 5, -1},
      {"abcabc", text("bc"), {.part = 3, .last = true}, 0, 1},
      {"bcx", text("bc"), {.match = true}, 0, 0},
      {"abc", text("bc"), {.match = true}, 0, -1},
      {"bcx", text("bc"), {.tail = true, .match = true}, 0, 2},
      {"abc", text("bc"), {.reverse = true, .match = true}, 3, -1},
      {"abcd", test::character('c'), {.skip = 2}, 0, 2},
      {"abcd", test::character('b'), {.skip = 2}, 0, -1},
      {"abcd", test::character('C'), {.skip = 2, .tail = true}, 0, 4},
      {"abcd", test::character('C'), {.case_ = true}, 0, -1},
      {"abcd", text("cd"), {.part = 3}, 0, -1},
      {"abcd", text("cd"), {.part = 4}, 0, 2},
      {"abcd", text("a"), {.part = 0}, 0, -1},
      {"a1", test::integer(1), {}, 0, 1},
      {"abc", text("abcd"), {}, 0, -1},
      {"abc", text("c"), {}, 3, -1},
      {"", text("a"), {}, 0, -1},
  };
  for (const row& r : rows) {
    EXPECT_EQ(found(push_ascii(r.series), r.value, r.r, r.index), r.answer) << r.series << " @" << r.index;
  }
}

TEST_F(string_compare, find_across_units_folds_each_side) {
  cell* wide = push_text(U"x\x4E2D\xC9t\xC9", 2);
  EXPECT_EQ(found(wide, *push_text(U"\xE9T\xE9", 1), {}), 2);
  EXPECT_EQ(found(wide, *push_text(U"\xE9T\xE9", 1), {.case_ = true}), -1);
  cell* ucs4 = push_text(U"ab\U0001F600c", 4);
  EXPECT_EQ(found(ucs4, test::character(0x1F600), {.tail = true}), 3);
  EXPECT_EQ(found(ucs4, *push_text(U"\U0001F600C", 4), {}), 2);
}

// A bitset of the code points given; complemented, it holds every other one.
cell bitset(const std::u32string& members, bool complemented) {
  uint32_t node = memory::alloc_bytes(32);
  memory::series_buffer* b = memory::buffer_of(node);
  std::memset(memory::head_of(b), 0, 32);
  b->tail = b->head + 32;
  for (char32_t cp : members) memory::head_of(b)[cp >> 3] |= static_cast<uint8_t>(0x80 >> (cp & 7));
  if (complemented) b->flags |= 0x80000;
  return test::keep(cell{TYPE_BITSET, 0, node, 0});
}

TEST_F(string_compare, find_and_match_code_points_in_a_bitset) {
  cell digits = bitset(U"0123456789", false);
  EXPECT_EQ(found(push_ascii("ab7c"), digits, {}), 2);
  EXPECT_EQ(found(push_text(U"ab\x4E2D", 2), bitset(U"", true), {}), 2);  // past the bits
  EXPECT_EQ(found(push_ascii("AB"), bitset(U"b", false), {}), -1);       // never folded
  cell* s = push_ascii("a5");
  EXPECT_FALSE(match_bitset_q(s, &digits));
  s->data1 = 1;
  EXPECT_TRUE(match_bitset_q(s, &digits));
  s->data1 = 2;
  EXPECT_FALSE(match_bitset_q(s, &digits));
}

TEST_F(string_compare, find_rejects_bad_refinements) {
  cell* s = push_ascii("abc");
  cell* v = push_ascii("b");
  cell* zero = test::push_integer(0);
  cell* other = push_ascii("abc");
  EXPECT_TRUE(test::is(test::raised([&] { find(s, v, nullptr, 0, 0, 0, 1, nullptr, nullptr, 0, 0, 0, 0); }),
                       err::internal_not_done));
  EXPECT_TRUE(test::is(test::raised([&] { find(s, v, nullptr, 0, 0, 0, 0, zero, nullptr, 0, 0, 0, 0); }),
                       err::internal_not_done));
  EXPECT_TRUE(test::is(test::raised([&] { find(s, v, nullptr, 0, 0, 0, 0, nullptr, zero, 0, 0, 0, 0); }),
                       err::script_out_of_range));
  EXPECT_TRUE(test::is(test::raised([&] { find(s, v, other, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
                       err::script_invalid_refine_arg));
  cell binary = *push_ascii("b");
  set_type(&binary, TYPE_BINARY);
  EXPECT_TRUE(test::is(test::raised([&] { find(s, &binary, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
                       err::script_invalid_arg));
  // A position in the same series bounds the search.
  cell end = *s;
  end.data1 = 2;
  cell* part = stack::push(end);
  EXPECT_EQ(found(s, *push_ascii("c"), {}), 2);
  s->data1 = 0;
  EXPECT_EQ(TYPE_OF(find(s, push_ascii("c"), part, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)), TYPE_NONE);
}

TEST_F(string_compare, select_answers_the_element_after_the_match) {
  struct row {
    const char* series;
    cell value;
    int32_t answer;  // a code point, or -1 for none
  };
  const row rows[] = {
      {"abc", *push_ascii("b"), 'c'},
      {"abc", *push_ascii("c"), -1},
      {"abc", *push_ascii("AB"), 'c'},
      {"abc", test::character('a'), 'b'},
      {"a12b", test::integer(12), 'b'},
  };
  for (const row& r : rows) {
    cell* s = push_ascii(r.series);
    cell* v = stack::push(r.value);
    cell* result = select(s, v, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0);
    if (r.answer < 0) {
      EXPECT_EQ(TYPE_OF(result), TYPE_NONE) << r.series;
    } else {
      EXPECT_EQ(TYPE_OF(result), TYPE_CHAR) << r.series;
      EXPECT_EQ(result->data2, static_cast<uint32_t>(r.answer)) << r.series;
    }
  }
  cell binary = *push_text(U"\x01\x02\xFF");
  set_type(&binary, TYPE_BINARY);
  cell* b = stack::push(binary);
  cell* two = test::push_integer(2);
  cell* result = select(b, two, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0);
  EXPECT_EQ(TYPE_OF(result), TYPE_INTEGER);
  EXPECT_EQ(result->data2, 0xFFu);
}

TEST_F(string_compare, path_elements_select_and_words_are_refused) {
  cell* path = stack::push(none::none_value);
  cell* s = push_ascii("key=v;");
  cell* key = push_ascii("key=");
  cell* read = eval_path(s, key, nullptr, path, nullptr, nullptr, 1, 0, 0, 1, 0);
  EXPECT_EQ(TYPE_OF(read), TYPE_CHAR);
  EXPECT_EQ(read->data2, static_cast<uint32_t>('v'));
  cell word{TYPE_WORD, 0, 1, 0};
  cell* t = push_ascii("abc");
  EXPECT_TRUE(test::is(test::raised([&] { eval_path(t, &word, nullptr, path, nullptr, nullptr, 1, 0, 0, 1, 0); }),
                       err::script_invalid_path));
  // Integers pick and poke.
  cell* two = test::push_integer(2);
  cell* picked = eval_path(t, two, nullptr, path, nullptr, nullptr, 1, 0, 0, 1, 0);
  EXPECT_EQ(picked->data2, static_cast<uint32_t>('b'));
  t = push_ascii("abc");
  cell* wide = stack::push(test::character(0x4E2D));
  eval_path(t, two, wide, path, nullptr, nullptr, 1, 0, 0, 1, 0);
  EXPECT_EQ(test::whole_text(t), "a\xE4\xB8\xAD" "c");
  // Setting through an element replaces the code point after its match.
  cell* u = push_ascii("k=v;K=w");
  cell* k = push_ascii("K=");
  cell* x = stack::push(test::character('x'));
  eval_path(u, k, x, path, nullptr, nullptr, 1, 0, 0, 1, 0);
  EXPECT_EQ(test::whole_text(u), "k=x;K=w");
  u->data1 = 0;
  eval_path(u, k, x, path, nullptr, nullptr, 1, 1, 0, 1, 0);
  EXPECT_EQ(test::whole_text(u), "k=x;K=x");
  cell* end = push_ascii("ab");
  cell* b = push_ascii("b");
  EXPECT_TRUE(test::is(test::raised([&] { eval_path(end, b, x, path, nullptr, nullptr, 1, 0, 0, 1, 0); }),
                       err::script_out_of_range));
  cell* missing = push_ascii("zz");
  cell* c = stack::push(test::character('x'));
  EXPECT_TRUE(test::is(test::raised([&] { eval_path(t, missing, c, path, nullptr, nullptr, 1, 0, 0, 1, 0); }),
                       err::script_bad_path_set));
}

TEST_F(string_compare, parse_tests_match_at_the_index) {
  cell* s = push_ascii("x<ab>y");
  s->data1 = 1;
  cell* tag = push_ascii("AB", 1, TYPE_TAG);
  EXPECT_TRUE(match_tag_q(s, tag));
  EXPECT_TRUE(match_value_q(s, tag, COMP_EQUAL));
  EXPECT_FALSE(match_value_q(s, tag, COMP_STRICT_EQUAL));
  EXPECT_FALSE(match_tag_q(s, push_ascii("abc", 1, TYPE_TAG)));
  EXPECT_TRUE(match_value_q(s, push_ascii("<A", 1, TYPE_FILE), COMP_EQUAL));
  EXPECT_FALSE(match_value_q(s, push_ascii("<A", 1, TYPE_FILE), COMP_STRICT_EQUAL));
  cell lt = test::character('<');
  EXPECT_TRUE(match_value_q(s, &lt, COMP_STRICT_EQUAL));
  s->data1 = 2;
  cell upper_a = test::character('A');
  EXPECT_TRUE(match_value_q(s, &upper_a, COMP_EQUAL));
  EXPECT_FALSE(match_value_q(s, &upper_a, COMP_STRICT_EQUAL));
  cell integer = test::integer('a');
  EXPECT_FALSE(match_value_q(s, &integer, COMP_EQUAL));
  s->data1 = 6;
  EXPECT_FALSE(match_value_q(s, &upper_a, COMP_EQUAL));
}

}  // namespace
}  // namespace ixo::string
