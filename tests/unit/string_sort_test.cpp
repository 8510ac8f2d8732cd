#include "runtime/datatypes/string_sort.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/sort_compare.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "support/moving_collector.hpp"
#include "support/strings.hpp"

namespace ixo::string {
namespace {

using test::push_ascii;
using test::push_text;

struct string_sort : test::string_actions {
  void TearDown() override {
    sort::call_function = nullptr;
    memory::run_collector = nullptr;
    memory::collect_every_allocation = false;
    collector_active = 0;
    test::string_actions::TearDown();
  }
};

struct refinements {
  bool case_ = false;
  std::optional<int32_t> skip{};
  std::optional<cell> compare{};
  std::optional<int32_t> part{};
  bool all = false, reverse = false, stable = false;
};

cell* sorted(cell* s, const refinements& r) {
  cell* skip = r.skip ? test::push_integer(*r.skip) : nullptr;
  cell* compare = r.compare ? stack::push(*r.compare) : nullptr;
  cell* part = r.part ? test::push_integer(*r.part) : nullptr;
  return sort(s, r.case_, skip, compare, part, r.all, r.reverse, r.stable);
}

TEST_F(string_sort, sorts_by_refinements) {
  struct row {
    const char* name;
    std::u32string text;
    int32_t index;
    refinements r;
    std::u32string want;  // the whole string
    int32_t want_index;
  };
  const row rows[] = {
      {"folded", U"bAc", 0, {}, U"Abc", 0},
      {"case", U"bAc", 0, {.case_ = true}, U"Abc", 0},
      {"case puts upper case first", U"baBA", 0, {.case_ = true}, U"ABab", 0},
      {"reverse", U"bAc", 0, {.reverse = true}, U"cbA", 0},
      {"from the index", U"zcba", 1, {}, U"zabc", 1},
      {"part", U"dcba", 0, {.part = 2}, U"cdba", 0},
      {"negative part sorts before the index", U"dcba", 3, {.part = -2}, U"dbca", 1},
      {"negative part past the head", U"dcba", 1, {.part = -2}, U"dcba", 0},
      {"skip 2", U"b1a2c0", 0, {.skip = 2}, U"a2b1c0", 0},
      {"skip 2 compare 2", U"b1a2c0", 0, {.skip = 2, .compare = test::integer(2)}, U"c0b1a2", 0},
      {"skip 2 all", U"b2a9b1", 0, {.skip = 2, .all = true}, U"a9b1b2", 0},
      {"skip 2 all reverse", U"b2a9b1", 0, {.skip = 2, .all = true, .reverse = true}, U"b2b1a9", 0},
      {"unit 2", U"\x4E2D\x3042z\xE9", 0, {}, U"z\xE9\x3042\x4E2D", 0},
      {"unit 4", U"\U0001F600a\x4E2D", 0, {}, U"a\x4E2D\U0001F600", 0},
  };
  for (const row& r : rows) {
    cell* s = push_text(r.text);
    s->data1 = static_cast<uint32_t>(r.index);
    cell* result = sorted(s, r.r);
    EXPECT_EQ(result->data1, static_cast<uint32_t>(r.want_index)) << r.name;
    result->data1 = 0;
    EXPECT_EQ(test::chars_of(result), r.want) << r.name;
  }
}

TEST_F(string_sort, unit_1_strings_fold_like_wider_ones) {
  const std::u32string text = U"\xE0z\xC0" "a\xE9\xC9" "A";
  cell* narrow = push_text(text, 1);
  cell* wide = push_text(text, 2);
  for (bool stable : {false, true}) {
    sorted(narrow, {.stable = stable});
    sorted(wide, {.stable = stable});
    EXPECT_EQ(test::chars_of(narrow), test::chars_of(wide));
    std::u32string folded = test::chars_of(narrow);
    for (char32_t& cp : folded) cp = case_folding::change_char(cp, 1);
    EXPECT_EQ(folded, U"AAZ\xC0\xC0\xC9\xC9");
  }
}

// Records of two units whose first units repeat in both cases: /stable
// keeps records with equal keys in their order, also with /case.
TEST_F(string_sort, stable_keeps_the_order_of_equal_keys_with_and_without_case) {
  std::u32string text;
  uint32_t seed = 12345;
  for (int i = 0; i < 600; ++i) {
    seed = seed * 1103515245 + 12345;
    char32_t key = U"aAbBcC"[(seed >> 16) % 6];
    text += key;
    text += static_cast<char32_t>(U'0' + i % 10);
  }
  for (bool case_ : {false, true}) {
    cell* s = push_text(text);
    sorted(s, {.case_ = case_, .skip = 2, .stable = true});
    std::vector<std::u32string> records;
    for (size_t i = 0; i < text.size(); i += 2) records.push_back(text.substr(i, 2));
    auto key = [case_](const std::u32string& r) { return case_ ? r[0] : case_folding::change_char(r[0], 1); };
    std::stable_sort(records.begin(), records.end(),
                     [&](const std::u32string& a, const std::u32string& b) { return key(a) < key(b); });
    std::u32string want;
    for (const std::u32string& r : records) want += r;
    EXPECT_EQ(test::chars_of(s), want) << "case " << case_;
  }
}

TEST_F(string_sort, bad_refinements_raise) {
  struct row {
    const char* name;
    refinements r;
    error_id error;
  };
  cell text = *push_ascii("x");
  const row rows[] = {
      {"skip 3 on 4", {.skip = 3}, err::script_invalid_refine_arg},
      {"skip 0", {.skip = 0}, err::script_invalid_refine_arg},
      {"skip 5", {.skip = 5}, err::script_invalid_refine_arg},
      {"all without skip", {.all = true}, err::script_bad_refines},
      {"compare integer without skip", {.compare = test::integer(1)}, err::script_bad_refines},
      {"compare integer with all", {.skip = 2, .compare = test::integer(1), .all = true}, err::script_bad_refines},
      {"compare outside the record", {.skip = 2, .compare = test::integer(3)}, err::script_out_of_range},
      {"compare of another type", {.compare = text}, err::script_invalid_refine_arg},
  };
  for (const row& r : rows) {
    cell* s = push_ascii("dcba");
    EXPECT_TRUE(test::is(test::raised([&] { sorted(s, r.r); }), r.error)) << r.name;
    EXPECT_EQ(test::whole_text(s), "dcba") << r.name;
  }
  cell* s = push_ascii("dcba");
  cell* other = push_ascii("dcba");
  EXPECT_TRUE(test::is(test::raised([&] { sort(s, 0, nullptr, nullptr, other, 0, 0, 0); }),
                       err::script_invalid_refine_arg));
}

// The comparison function of these tests: it answers by the kind asked for
// on its two arguments x and y (the later item first): logic x < y, the
// integer or float x - y, or none; strings compare their first units.
enum answer_kind { LOGIC_LESS, INTEGER_DIFFERENCE, FLOAT_DIFFERENCE, NONE };
answer_kind kind;
int32_t calls;

uint32_t key_of(const cell* c) {
  return TYPE_OF(c) == TYPE_CHAR ? c->data2 : rs_abs_at(c, static_cast<int32_t>(c->data1));
}

void test_comparator(const cell*) {
  ++calls;
  const cell* y = stack::top - 1;
  const cell* x = stack::top - 2;
  int32_t d = static_cast<int32_t>(key_of(x)) - static_cast<int32_t>(key_of(y));
  cell r{};
  switch (kind) {
    case LOGIC_LESS: r = logic::make_cell(d < 0); break;
    case INTEGER_DIFFERENCE: r = test::integer(d); break;
    case FLOAT_DIFFERENCE: r = cell{TYPE_FLOAT, 0, 0, 0}; set_float(&r, d * 0.5); break;
    case NONE: r = none::none_value; break;
  }
  // Allocating inside the function must not disturb the sort.
  cell* junk = stack::push_slot();
  rs_make_at(junk, 64);
  stack::push(r);
}

TEST_F(string_sort, a_comparison_function_orders_the_items) {
  sort::call_function = test_comparator;
  // Every allocation moves the rooted strings' buffers: the string being
  // sorted among them.
  memory::run_collector = test::move_rooted_buffers;
  memory::collect_every_allocation = true;
  collector_active = 1;
  cell function{TYPE_FUNCTION, 0, 0, 0};
  struct row {
    answer_kind kind;
    refinements r;
    std::u32string text, want;
  };
  const row rows[] = {
      {LOGIC_LESS, {.compare = function}, U"cadb", U"abcd"},
      {LOGIC_LESS, {.compare = function, .reverse = true}, U"cadb", U"dcba"},
      {INTEGER_DIFFERENCE, {.compare = function}, U"cadb", U"dcba"},
      {FLOAT_DIFFERENCE, {.compare = function, .stable = true}, U"cadb", U"dcba"},
      {LOGIC_LESS, {.skip = 2, .compare = function}, U"c1a2b3", U"a2b3c1"},
      {LOGIC_LESS, {.skip = 2, .compare = function, .all = true}, U"c1a2b3", U"a2b3c1"},
      {LOGIC_LESS, {.compare = function}, U"\x4E2D\x3042z", U"z\x3042\x4E2D"},
  };
  for (const row& r : rows) {
    kind = r.kind;
    calls = 0;
    cell* base = stack::top;
    cell* s = push_text(r.text);
    cell held = *s;
    memory::root_guard keep(&held);
    int32_t moves = test::buffer_moves;
    sorted(s, r.r);
    EXPECT_EQ(test::chars_of(s), r.want) << r.kind;
    EXPECT_GT(test::buffer_moves, moves);
    EXPECT_GT(calls, 0);
    stack::top = base;
  }
}

// The answer read from the function's result, for every kind of result.
cell answer_cell;
void answer_function(const cell*) { stack::push(answer_cell); }

TEST_F(string_sort, a_comparison_functions_result_maps_to_an_order) {
  sort::call_function = answer_function;
  cell function{TYPE_FUNCTION, 0, 0, 0};
  auto number = [](double d) {
    cell c{TYPE_FLOAT, 0, 0, 0};
    set_float(&c, d);
    return c;
  };
  struct row {
    cell result;
    int32_t order;
  };
  const row rows[] = {
      {logic::true_value, 1}, {logic::false_value, -1}, {test::integer(7), 7}, {test::integer(-3), -3},
      {number(-2.5), -1},     {number(0.1), 1},         {number(0.0), 0},      {number(std::nan("")), 0},
      {none::none_value, -1}, {*push_ascii("x"), 1},
  };
  for (const row& r : rows) {
    answer_cell = r.result;
    cell* top = stack::top;
    EXPECT_EQ(sort::call_compare(&function, test::character('a'), test::character('b')), r.order);
    EXPECT_EQ(stack::top, top);
  }
}

TEST_F(string_sort, set_operations) {
  struct row {
    const char* name;
    int32_t op;
    const char *a, *b;
    std::optional<int32_t> skip;
    bool case_;
    const char* want;
  };
  const row rows[] = {
      {"union", SET_UNION, "abc", "bcd", {}, false, "abcd"},
      {"intersect", SET_INTERSECT, "abc", "bcd", {}, false, "bc"},
      {"difference", SET_DIFFERENCE, "abc", "bcd", {}, false, "ad"},
      {"exclude", SET_EXCLUDE, "abc", "bcd", {}, false, "a"},
      {"unique", SET_UNIQUE, "aabbc", "", {}, false, "abc"},
      {"union folds", SET_UNION, "aB", "bcA", {}, false, "aBc"},
      {"union case", SET_UNION, "aB", "bcA", {}, true, "aBbcA"},
      {"unique folds", SET_UNIQUE, "aAbB", "", {}, false, "ab"},
      {"union skip 2", SET_UNION, "a1b2", "a3c4", 2, false, "a1b2c4"},
      {"intersect skip 2", SET_INTERSECT, "a1b2c3", "b9x1", 2, false, "b2"},
      {"unique skip 2 with a short last record", SET_UNIQUE, "a1a2b", "", 2, false, "a1b"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* a = push_ascii(r.a, 1, TYPE_FILE);
    push_ascii(r.b);
    cell* skip = r.skip ? test::push_integer(*r.skip) : nullptr;
    cell* result = do_set_op(r.case_, skip, r.op);
    EXPECT_EQ(result, a);
    EXPECT_EQ(TYPE_OF(result), TYPE_FILE);
    EXPECT_EQ(test::text_of(result), r.want) << r.name;
  }
  stack::reset();
  cell* a = push_ascii("abc");
  a->data1 = 2;
  cell* b = push_ascii("c");
  b->data1 = 5;  // past the tail: empty
  EXPECT_EQ(test::text_of(do_set_op(0, nullptr, SET_UNION)), "c");
  stack::reset();
  push_ascii("abc");
  push_ascii("c");
  cell* zero = test::push_integer(0);
  EXPECT_TRUE(test::is(test::raised([&] { do_set_op(0, zero, SET_UNION); }), err::script_invalid_refine_arg));
}

}  // namespace
}  // namespace ixo::string
