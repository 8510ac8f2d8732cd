#include <gtest/gtest.h>

#include <climits>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "support/blocks.hpp"
#include "support/moving_blocks.hpp"

namespace ixo {
namespace {

using test::arg;
using test::block_of;
using test::fresh_arguments;
using test::integer_value;
using test::ints;
using test::ints_of;
using test::text_value;

struct block_actions : test::block_suite {
  void SetUp() override {
    block_suite::SetUp();
    fresh_arguments();
  }
  void TearDown() override {
    EXPECT_EQ(cycles::depth(), 0) << "a walk left the cycles stack";
    block_suite::TearDown();
  }

  template <class F>
  static F act(int32_t index) {
    return datatype::action_of<F>(TYPE_BLOCK, index);
  }
  static cell at_index(cell c, int32_t index) {
    c.data1 = static_cast<uint32_t>(index);
    return c;
  }
  static cell with_new_line(cell c) {
    c.header |= NEWLINE_FLAG;
    return c;
  }
  static cell str(const char* s) { return text_value(s); }
  static cell datatype_of(uint32_t type) { return cell{TYPE_DATATYPE, type, 0, 0}; }

  // The text a mold or form writes, and the budget it leaves.
  // With a budget below INT32_MAX, the /part argument is given.
  static std::string molded(const cell& value, int32_t only = 0, int32_t flat = 0, int32_t budget = INT32_MAX,
                            int32_t* left = nullptr) {
    cell* v = arg(value);
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 16);
    cell* limit = budget < INT32_MAX ? arg(integer_value(budget)) : nullptr;
    int32_t rest = act<mold_fn>(ACT_MOLD)(v, buffer, only, 0, flat, limit, budget, 0);
    if (left) *left = rest;
    return test::text_of(buffer);
  }
  static std::string formed(const cell& value) {
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 16);
    cell* v = arg(value);
    act<form_fn>(ACT_FORM)(v, buffer, nullptr, INT32_MAX);
    return test::text_of(buffer);
  }
  // A block that holds itself after the given cells.
  static cell* self_holding(std::vector<int32_t> values) {
    cell* b = arg(ints(values, 1));
    *series::alloc_tail_cell(memory::GET_BUFFER(b)) = *b;
    return b;
  }
};

// ---- form and mold ---------------------------------------------------------------

TEST_F(block_actions, mold_breaks_lines_at_new_line_markers_and_indents_the_contents) {
  cell one = integer_value(1), two = integer_value(2), three = integer_value(3);
  cell nested_marked = block_of({with_new_line(two), three});
  struct row { cell value; int32_t only, flat; const char* text; };
  const row rows[] = {
      {block_of({one, two}), 0, 0, "[1 2]"},
      {block_of({one, with_new_line(two)}), 0, 0, "[1\n2]"},
      {block_of({with_new_line(one), two}), 0, 0, "[\n    1 2\n]"},
      {block_of({with_new_line(one), with_new_line(two)}), 0, 0, "[\n    1\n    2\n]"},
      {block_of({one, nested_marked}), 0, 0, "[1 [\n    2 3\n]]"},
      {block_of({with_new_line(one), nested_marked}), 0, 0, "[\n    1 [\n        2 3\n    ]\n]"},
      {block_of({with_new_line(one), with_new_line(two)}), 1, 0, "1\n2"},
      {block_of({one, with_new_line(two)}), 1, 0, "1\n2"},
      {block_of({with_new_line(one), with_new_line(two)}), 0, 1, "[1 2]"},
      {block_of({}), 0, 0, "[]"},
      {block_of({str("a"), none::none_value, block_of({})}), 0, 0, "[\"a\" none []]"},
      {at_index(block_of({one, two, three}), 1), 0, 0, "[2 3]"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(r.value, r.only, r.flat), r.text) << r.text;
}

TEST_F(block_actions, a_block_holding_itself_molds_as_an_ellipsis_in_place) {
  cell* b = self_holding({1, 2});
  int32_t left;
  EXPECT_EQ(molded(*b, 0, 0, 100, &left), "[1 2 [...]]");
  EXPECT_EQ(left, 100 - 11);
  EXPECT_EQ(formed(*b), "1 2 ");
}

TEST_F(block_actions, mold_stops_when_a_part_budget_runs_out) {
  int32_t left;
  std::string text = molded(ints({1, 2, 3, 4, 5}), 0, 0, 4, &left);
  EXPECT_EQ(text, "[1 2]");
  EXPECT_LT(left, 1);
}

TEST_F(block_actions, form_separates_values_by_one_space_except_after_a_line_end) {
  struct row { cell value; const char* text; };
  const row rows[] = {
      {block_of({str("a"), str("b")}), "a b"},
      {block_of({str("a\n"), str("b")}), "a\nb"},
      {block_of({str("a\t"), str("b"), integer_value(1)}), "a\tb 1"},
      {block_of({integer_value(1), block_of({integer_value(2), integer_value(3)})}), "1 2 3"},
      {block_of({str(""), str("b")}), " b"},
  };
  for (const row& r : rows) EXPECT_EQ(formed(r.value), r.text) << r.text;
}

// ---- compare -------------------------------------------------------------------------

TEST_F(block_actions, compare_walks_cells_and_orders_by_length_last) {
  cell a = ints({1, 2}), b = ints({1, 2}), longer = ints({1, 2, 3}), bigger = ints({1, 3}), empty = ints({});
  cell with_none = block_of({none::none_value}), one = ints({1});
  cell paren = a;
  set_type(&paren, TYPE_PAREN);
  struct row { const cell *x, *y; int32_t op, answer; };
  const row rows[] = {
      {&a, &b, COMP_EQUAL, 0},          {&a, &b, COMP_SAME, -1},        {&a, &a, COMP_SAME, 0},
      {&a, &longer, COMP_EQUAL, 1},     {&a, &longer, COMP_LESSER, -1}, {&longer, &a, COMP_SORT, 1},
      {&a, &bigger, COMP_LESSER, -1},   {&empty, &one, COMP_LESSER, -1}, {&one, &empty, COMP_LESSER, 1},
      {&empty, &empty, COMP_EQUAL, 0},  {&one, &with_none, COMP_SORT, 1}, {&with_none, &one, COMP_SORT, -1},
      {&a, &paren, COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(actions::compare_raw(r.x, r.y, r.op), r.answer) << r.op;

  cell* x = self_holding({1});
  cell* y = self_holding({1});
  EXPECT_EQ(actions::compare_raw(x, y, COMP_EQUAL), 0);
}

// ---- append, insert, change ---------------------------------------------------------

TEST_F(block_actions, append_answers_the_head_and_insert_the_position_after) {
  auto insert = act<insert_fn>(ACT_INSERT);
  struct row { int32_t index; cell value; int32_t part, only, dup, append; std::vector<int32_t> want; int32_t answer; };
  const row rows[] = {
      {1, integer_value(9), -1, 0, 1, 1, {1, 2, 9}, 0},
      {1, integer_value(9), -1, 0, 1, 0, {1, 9, 2}, 2},
      {0, ints({7, 8}), -1, 0, 3, 1, {1, 2, 7, 8, 7, 8, 7, 8}, 0},
      {1, ints({7, 8}), -1, 0, 2, 0, {1, 7, 8, 7, 8, 2}, 5},
      {0, ints({7, 8}), 1, 0, 1, 0, {7, 1, 2}, 1},
      {2, ints({7, 8}), -1, 1, 1, 0, {1, 2, -999}, 3},
      {1, ints({}), -1, 0, 1, 1, {1, 2}, 1},
      {1, ints({}), -1, 0, 1, 0, {1, 2}, 1},
      {9, integer_value(9), -1, 0, 1, 0, {1, 2, 9}, 3},
  };
  for (const row& r : rows) {
    cell* b = arg(at_index(ints({1, 2}), r.index));
    cell* v = arg(r.value);
    cell* answer = insert(b, v, r.part, r.only, r.dup, r.append);
    EXPECT_EQ(answer->data1, static_cast<uint32_t>(r.answer)) << r.index << " dup " << r.dup;
    cell whole = at_index(*b, 0);
    EXPECT_EQ(ints_of(&whole), r.want) << r.index << " dup " << r.dup;
  }
}

TEST_F(block_actions, a_block_inserted_into_itself_is_read_before_it_moves) {
  auto insert = act<insert_fn>(ACT_INSERT);
  cell* b = arg(ints({1, 2, 3}));
  cell* same = arg(*b);
  b->data1 = 1;
  insert(b, same, -1, 0, 1, 0);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 1, 2, 3, 2, 3}));
  insert(b, b, -1, 0, 1, 1);
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 1, 2, 3, 2, 3, 1, 1, 2, 3, 2, 3}));
}

TEST_F(block_actions, appends_grow_the_buffer_to_twice_what_they_need) {
  auto insert = act<insert_fn>(ACT_INSERT);
  cell* b = arg(ints({}));
  cell* v = arg(integer_value(0));
  for (int32_t i = 0; i < 1000; ++i) {
    v->data2 = static_cast<uint32_t>(i);
    insert(b, v, -1, 0, 1, 1);
  }
  std::vector<int32_t> want(1000);
  for (int32_t i = 0; i < 1000; ++i) want[static_cast<size_t>(i)] = i;
  EXPECT_EQ(ints_of(b), want);
  memory::series_buffer* buf = memory::GET_BUFFER(b);
  EXPECT_LE(buf->size, 2 * 16 * 1000 + 32);
}

TEST_F(block_actions, counts_that_overflow_raise_no_memory_and_change_nothing) {
  auto insert = act<insert_fn>(ACT_INSERT);
  auto change = act<change_fn>(ACT_CHANGE);
  cell* b = arg(ints({1, 2}));
  cell* v = arg(ints({7, 8}));
  for (int32_t dup : {INT_MAX, INT_MAX / 4, 1 << 27}) {
    EXPECT_TRUE(test::is(test::raised([&] { insert(b, v, -1, 0, dup, 1); }), err::internal_no_memory)) << dup;
    EXPECT_TRUE(test::is(test::raised([&] { change(b, v, -1, 0, dup); }), err::internal_no_memory)) << dup;
  }
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2}));
}

TEST_F(block_actions, change_overwrites_from_the_index_and_answers_past_the_change) {
  auto change = act<change_fn>(ACT_CHANGE);
  struct row { int32_t index; cell value; int32_t part, only, dup; std::vector<int32_t> want; int32_t answer; };
  const row rows[] = {
      {0, integer_value(9), -1, 0, 1, {9, 2, 3}, 1},
      {1, ints({7, 8}), -1, 0, 1, {1, 7, 8}, 3},
      {2, ints({7, 8}), -1, 0, 1, {1, 2, 7, 8}, 4},
      {0, ints({7, 8, 9, 10}), 1, 0, 1, {7, 8, 9, 10, 2, 3}, 4},
      {0, ints({7}), 3, 0, 1, {7}, 1},
      {0, ints({7}), -1, 0, 2, {7, 7, 3}, 2},
      {1, ints({}), 1, 0, 1, {1, 3}, 1},
      {3, integer_value(4), -1, 0, 1, {1, 2, 3, 4}, 4},
      {9, integer_value(4), -1, 0, 1, {1, 2, 3, 4}, 4},
      {0, ints({7, 8}), -1, 1, 1, {-999, 2, 3}, 1},
  };
  for (const row& r : rows) {
    cell* b = arg(at_index(ints({1, 2, 3}), r.index));
    cell* v = arg(r.value);
    EXPECT_EQ(change(b, v, r.part, r.only, r.dup)->data1, static_cast<uint32_t>(r.answer)) << r.index;
    cell whole = at_index(*b, 0);
    EXPECT_EQ(ints_of(&whole), r.want) << r.index << " part " << r.part;
  }
  cell* b = arg(ints({1, 2, 3}));
  cell* tail_part = arg(at_index(*b, 1));
  b->data1 = 1;
  change(b, tail_part, -1, 0, 1);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 3}));
}

// ---- find, select, put ---------------------------------------------------------------

struct find_row {
  const char* name;
  int32_t index;
  cell value;
  int32_t part, skip;  // 0: not given
  int32_t only, case_, last, reverse, tail, match;
  int32_t found;  // -1: none
};

TEST_F(block_actions, find_answers_the_match_by_each_refinement_in_blocks_and_hashes) {
  // 0 1   1 "a"   2 3   3 "A"   4 2   5 "b"   6 3   7 [2 3]
  cell nested = ints({2, 3});
  std::vector<cell> cells = {integer_value(1), str("a"), integer_value(3), str("A"),
                             integer_value(2), str("b"), integer_value(3), nested};
  const find_row rows[] = {
      {"first", 0, integer_value(3), 0, 0, 0, 0, 0, 0, 0, 0, 2},
      {"from the index", 3, integer_value(3), 0, 0, 0, 0, 0, 0, 0, 0, 6},
      {"absent", 0, integer_value(9), 0, 0, 0, 0, 0, 0, 0, 0, -1},
      {"at the tail", 8, integer_value(3), 0, 0, 0, 0, 0, 0, 0, 0, -1},
      {"last", 0, integer_value(3), 0, 0, 0, 0, 1, 0, 0, 0, 6},
      {"last ignores the index", 7, integer_value(3), 0, 0, 0, 0, 1, 0, 0, 0, 6},
      {"reverse", 6, integer_value(3), 0, 0, 0, 0, 0, 1, 0, 0, 2},
      {"reverse from the tail", 8, integer_value(3), 0, 0, 0, 0, 0, 1, 0, 0, 6},
      {"reverse at the head", 0, integer_value(1), 0, 0, 0, 0, 0, 1, 0, 0, -1},
      {"tail", 0, integer_value(3), 0, 0, 0, 0, 0, 0, 1, 0, 3},
      {"tail backward", 0, integer_value(3), 0, 0, 0, 0, 1, 0, 1, 0, 7},
      {"skip", 0, str("b"), 0, 2, 0, 0, 0, 0, 0, 0, -1},
      {"skip aligned", 1, str("b"), 0, 2, 0, 0, 0, 0, 0, 0, 5},
      {"skip tail passes the record", 1, str("b"), 0, 2, 0, 0, 0, 0, 1, 0, 7},
      {"case-insensitive", 0, str("A"), 0, 0, 0, 0, 0, 0, 0, 0, 1},
      {"case", 0, str("A"), 0, 0, 0, 1, 0, 0, 0, 0, 3},
      {"part", 0, integer_value(2), 4, 0, 0, 0, 0, 0, 0, 0, -1},
      {"part reaches", 0, integer_value(2), 5, 0, 0, 0, 0, 0, 0, 0, 4},
      {"part below 1", 0, integer_value(1), -1, 0, 0, 0, 0, 0, 0, 0, -1},
      {"match", 0, integer_value(1), 0, 0, 0, 0, 0, 0, 0, 1, 0},
      {"match fails", 0, integer_value(3), 0, 0, 0, 0, 0, 0, 0, 1, -1},
      {"huge skip", 0, integer_value(1), 0, INT32_MAX, 0, 0, 0, 0, 1, 0, 8},
      {"huge skip passes", 0, integer_value(3), 0, INT32_MAX, 0, 0, 0, 0, 0, 0, -1},
      {"huge part", 1, integer_value(1), INT32_MAX, 0, 0, 0, 0, 1, 0, 0, 0},
  };
  for (uint32_t type : {TYPE_BLOCK, TYPE_HASH}) {
    for (const find_row& r : rows) {
      fresh_arguments();
      cell* b = arg(at_index(type == TYPE_HASH ? test::hash_of(cells) : block_of(cells), r.index));
      cell* v = arg(r.value);
      cell* part = r.part ? arg(integer_value(r.part)) : nullptr;
      cell* skip = r.skip ? arg(integer_value(r.skip)) : nullptr;
      cell* found = act<find_fn>(ACT_FIND)(b, v, part, r.only, r.case_, 0, 0, nullptr, skip, r.last, r.reverse,
                                           r.tail, r.match);
      if (r.found < 0) {
        EXPECT_EQ(TYPE_OF(found), TYPE_NONE) << r.name << (type == TYPE_HASH ? " (hash!)" : "");
      } else {
        EXPECT_EQ(TYPE_OF(found), type) << r.name;
        EXPECT_EQ(found->data1, static_cast<uint32_t>(r.found)) << r.name << (type == TYPE_HASH ? " (hash!)" : "");
      }
    }
  }
}

TEST_F(block_actions, find_looks_for_sequences_types_and_single_blocks) {
  std::vector<cell> cells = {integer_value(1), integer_value(2), integer_value(3), ints({2, 3}), none::none_value};
  struct row { cell value; int32_t only, tail, found; };
  const row rows[] = {
      {ints({2, 3}), 0, 0, 1},          {ints({2, 3}), 0, 1, 3},   {ints({2, 3}), 1, 0, 3},
      {ints({3, 2}), 0, 0, -1},         {datatype_of(TYPE_NONE), 0, 0, 4},
      {datatype_of(TYPE_BLOCK), 0, 0, 3}, {datatype_of(TYPE_NONE), 1, 0, -1},
  };
  for (uint32_t type : {TYPE_BLOCK, TYPE_HASH}) {
    cell* b = arg(type == TYPE_HASH ? test::hash_of(cells) : block_of(cells));
    for (const row& r : rows) {
      cell* v = arg(r.value);
      cell* found = act<find_fn>(ACT_FIND)(b, v, nullptr, r.only, 0, 0, 0, nullptr, nullptr, 0, 0, r.tail, 0);
      EXPECT_EQ(r.found < 0 ? -1 : static_cast<int32_t>(found->data1), r.found) << type;
      if (r.found < 0) {
        EXPECT_EQ(TYPE_OF(found), TYPE_NONE);
      }
    }
  }
}

TEST_F(block_actions, find_refuses_bad_refinements) {
  cell* b = arg(ints({1, 2}));
  cell* v = arg(integer_value(1));
  cell* zero = arg(integer_value(0));
  cell* not_a_size = arg(none::none_value);
  cell* other = arg(ints({1}));
  auto find = act<find_fn>(ACT_FIND);
  EXPECT_TRUE(test::is(test::raised([&] { find(b, v, nullptr, 0, 0, 0, 0, nullptr, zero, 0, 0, 0, 0); }),
                       err::script_out_of_range));
  EXPECT_TRUE(test::is(test::raised([&] { find(b, v, nullptr, 0, 0, 0, 0, nullptr, not_a_size, 0, 0, 0, 0); }),
                       err::script_invalid_refine_arg));
  EXPECT_TRUE(test::is(test::raised([&] { find(b, v, other, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
                       err::script_invalid_refine_arg));
}

TEST_F(block_actions, select_answers_the_value_after_the_match) {
  cell* b = arg(ints({1, 2, 3, 4}));
  struct row { cell key; int32_t only; int32_t value; };  // -1: none
  const row rows[] = {{integer_value(2), 0, 3}, {integer_value(4), 0, -1}, {integer_value(9), 0, -1},
                      {ints({1, 2}), 0, 3},      {ints({1, 2}), 1, -1}};
  for (const row& r : rows) {
    cell* key = arg(r.key);
    cell* got = act<select_fn>(ACT_SELECT)(b, key, nullptr, r.only, 0, 0, 0, nullptr, nullptr, 0, 0);
    if (r.value < 0) {
      EXPECT_EQ(TYPE_OF(got), TYPE_NONE);
    } else {
      EXPECT_EQ(got->data2, static_cast<uint32_t>(r.value));
    }
  }
}

TEST_F(block_actions, put_replaces_the_value_after_a_key_or_appends_both) {
  auto put = act<put_fn>(ACT_PUT);
  for (uint32_t type : {TYPE_BLOCK, TYPE_HASH}) {
    fresh_arguments();
    std::vector<cell> cells = {integer_value(1), integer_value(10), integer_value(2)};
    cell* b = arg(type == TYPE_HASH ? test::hash_of(cells) : block_of(cells));
    cell* value = arg(integer_value(11));
    EXPECT_EQ(put(b, arg(integer_value(1)), value, 0), value);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 11, 2}));
    put(b, arg(integer_value(2)), arg(integer_value(20)), 0);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 11, 2, 20}));
    put(b, arg(integer_value(3)), arg(integer_value(30)), 0);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 11, 2, 20, 3, 30}));
    if (type == TYPE_HASH) {
      EXPECT_TRUE(test::consistent_hash(b));
    }
  }
}

// ---- sort ----------------------------------------------------------------------------

TEST_F(block_actions, sort_orders_cells_or_records) {
  auto sort = act<sort_fn>(ACT_SORT);
  struct row {
    const char* name;
    std::vector<int32_t> values;
    int32_t index, skip, compare, part, all, reverse, stable;
    std::vector<int32_t> want;
  };
  const row rows[] = {
      {"plain", {3, 1, 2}, 0, 0, 0, 0, 0, 0, 0, {1, 2, 3}},
      {"reverse", {3, 1, 2}, 0, 0, 0, 0, 0, 1, 0, {3, 2, 1}},
      {"from the index", {9, 3, 1, 2}, 1, 0, 0, 0, 0, 0, 0, {9, 1, 2, 3}},
      {"part", {3, 1, 2}, 0, 0, 0, 2, 0, 0, 0, {1, 3, 2}},
      {"part backward", {5, 4, 3, 1}, 3, 0, 0, -2, 0, 0, 0, {5, 3, 4, 1}},
      {"part backward past the head", {5, 4, 3, 1}, 2, 0, 0, -3, 0, 0, 0, {4, 5, 3, 1}},
      {"part backward from the tail", {5, 4, 3, 1}, 4, 0, 0, -2, 0, 0, 0, {5, 4, 1, 3}},
      {"records by first", {3, 1, 1, 2, 2, 3}, 0, 2, 0, 0, 0, 0, 0, {1, 2, 2, 3, 3, 1}},
      {"records by second", {3, 1, 1, 3, 2, 2}, 0, 2, 2, 0, 0, 0, 0, {3, 1, 2, 2, 1, 3}},
      {"records whole", {2, 2, 1, 9, 2, 1}, 0, 2, 0, 0, 1, 0, 0, {1, 9, 2, 1, 2, 2}},
      {"stable", {3, 1, 2, 1}, 0, 0, 0, 0, 0, 0, 1, {1, 1, 2, 3}},
  };
  for (const row& r : rows) {
    fresh_arguments();
    cell* b = arg(at_index(ints(r.values), r.index));
    cell* skip = r.skip ? arg(integer_value(r.skip)) : nullptr;
    cell* compare = r.compare ? arg(integer_value(r.compare)) : nullptr;
    cell* part = r.part ? arg(integer_value(r.part)) : nullptr;
    sort(b, 0, skip, compare, part, r.all, r.reverse, r.stable);
    cell whole = at_index(*b, 0);
    EXPECT_EQ(ints_of(&whole), r.want) << r.name;
  }
}

TEST_F(block_actions, stable_sort_keeps_equal_strings_in_order_and_case_separates_them) {
  auto sort = act<sort_fn>(ACT_SORT);
  std::vector<cell> cells = {str("b"), str("A"), str("a"), str("B"), str("a")};
  auto texts = [](const cell* b) {
    std::u32string out;
    for (int32_t i = 0; i < series::rs_abs_length_q(b); ++i) out += test::chars_from(block::rs_abs_at(b, i));
    return out;
  };
  cell* b = arg(block_of(cells));
  sort(b, 0, nullptr, nullptr, nullptr, 0, 0, 1);
  EXPECT_EQ(texts(b), U"AaabB");
  cell* c = arg(block_of(cells));
  sort(c, 1, nullptr, nullptr, nullptr, 0, 0, 1);
  EXPECT_EQ(texts(c), U"ABaab");
}

TEST_F(block_actions, sort_refuses_bad_refinements_and_changes_nothing) {
  auto sort = act<sort_fn>(ACT_SORT);
  struct row { const char* name; int32_t length; cell skip, compare; int32_t all; error_id error; };
  cell absent = unset::unset_value;
  const row rows[] = {
      {"all without skip", 4, absent, absent, 1, err::script_bad_refines},
      {"skip not dividing", 5, integer_value(2), absent, 0, err::script_invalid_refine_arg},
      {"skip above the length", 2, integer_value(3), absent, 0, err::script_invalid_refine_arg},
      {"skip 0", 4, integer_value(0), absent, 0, err::script_invalid_refine_arg},
      {"offset past the record", 4, integer_value(2), integer_value(3), 0, err::script_out_of_range},
      {"offset 0", 4, integer_value(2), integer_value(0), 0, err::script_out_of_range},
      {"offset without skip", 4, absent, integer_value(1), 0, err::script_bad_refines},
      {"offset with all", 4, integer_value(2), integer_value(1), 1, err::script_bad_refines},
      {"comparator of no kind", 4, integer_value(2), none::none_value, 0, err::script_invalid_refine_arg},
  };
  for (const row& r : rows) {
    fresh_arguments();
    std::vector<int32_t> values;
    for (int32_t i = r.length; i > 0; --i) values.push_back(i);
    cell* b = arg(ints(values));
    cell* skip = TYPE_OF(&r.skip) == TYPE_UNSET ? nullptr : arg(r.skip);
    cell* compare = TYPE_OF(&r.compare) == TYPE_UNSET ? nullptr : arg(r.compare);
    EXPECT_TRUE(test::is(test::raised([&] { sort(b, 0, skip, compare, nullptr, r.all, 0, 0); }), r.error)) << r.name;
    EXPECT_EQ(ints_of(b), values) << r.name;
  }
}

// ---- swap, take, trim -----------------------------------------------------------------

TEST_F(block_actions, swap_exchanges_the_cells_at_both_indexes) {
  auto swap = act<swap_fn>(ACT_SWAP);
  cell* a = arg(ints({1, 2}));
  cell* b = arg(at_index(ints({3, 4}), 1));
  EXPECT_EQ(swap(a, b), a);
  EXPECT_EQ(ints_of(a), (std::vector<int32_t>{4, 2}));
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{3, 1}));
  cell* at_tail = arg(at_index(*b, 2));
  swap(a, at_tail);
  EXPECT_EQ(ints_of(a), (std::vector<int32_t>{4, 2}));
  cell* text = arg(str("x"));
  EXPECT_TRUE(test::is(test::raised([&] { swap(a, text); }), err::script_invalid_arg));
}

TEST_F(block_actions, take_answers_one_cell_or_a_block) {
  auto take = act<take_fn>(ACT_TAKE);
  cell* b = arg(ints({1, 2, 3}));
  cell* whole = arg(*b);
  cell* got = take(b, nullptr, 0, 0);
  EXPECT_EQ(TYPE_OF(got), TYPE_INTEGER);
  EXPECT_EQ(got->data2, 1u);
  *b = *whole;
  cell* one = arg(integer_value(1));
  got = take(b, one, 0, 0);
  EXPECT_EQ(TYPE_OF(got), TYPE_BLOCK);
  EXPECT_EQ(ints_of(got), std::vector<int32_t>{2});
  *b = *whole;
  EXPECT_EQ(take(b, nullptr, 0, 1)->data2, 3u);
  EXPECT_EQ(ints_of(whole), std::vector<int32_t>{});
  EXPECT_EQ(TYPE_OF(take(whole, nullptr, 0, 0)), TYPE_NONE);

  cell* nested = arg(ints({5, 6}));
  cell* outer = arg(block_of({*nested, *nested}));
  cell* outer_again = arg(*outer);
  got = take(outer, nullptr, 1, 0);
  EXPECT_NE(got->data2, nested->data2);
  EXPECT_EQ(ints_of(got), (std::vector<int32_t>{5, 6}));
  got = take(outer_again, arg(integer_value(1)), 1, 0);
  EXPECT_NE(block::rs_abs_at(got, 0)->data2, nested->data2);
}

TEST_F(block_actions, trim_removes_none_cells_from_the_index) {
  cell* b = arg(at_index(block_of({none::none_value, integer_value(1), none::none_value, integer_value(2),
                                   none::none_value}),
                         1));
  EXPECT_EQ(act<trim_fn>(ACT_TRIM)(b, 0, 0, 0, 0, 0, nullptr), b);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{-999, 1, 2}));
}

// ---- copy ----------------------------------------------------------------------------

TEST_F(block_actions, copy_deep_copies_nested_series_and_types_choose_them) {
  auto copy = act<copy_fn>(ACT_COPY);
  cell* nested = arg(ints({5}));
  cell* text = arg(str("t"));
  cell* b = arg(block_of({integer_value(1), *nested, *text}));
  struct row { int32_t deep; cell types; bool block_copied, string_copied; };
  const row rows[] = {
      {0, unset::unset_value, false, false},
      {1, unset::unset_value, true, true},
      {0, datatype_of(TYPE_BLOCK), true, false},
      {1, datatype_of(TYPE_STRING), false, true},
  };
  for (const row& r : rows) {
    cell* types = TYPE_OF(&r.types) == TYPE_UNSET ? nullptr : arg(r.types);
    cell* result = arg(none::none_value);
    copy(b, result, nullptr, r.deep, types);
    EXPECT_NE(result->data2, b->data2);
    EXPECT_EQ(block::rs_abs_at(result, 1)->data2 != nested->data2, r.block_copied) << r.deep;
    EXPECT_EQ(block::rs_abs_at(result, 2)->data2 != text->data2, r.string_copied) << r.deep;
    EXPECT_EQ(ints_of(block::rs_abs_at(result, 1)), std::vector<int32_t>{5});
  }
}

TEST_F(block_actions, copy_deep_of_a_block_holding_itself_raises_no_cycle) {
  cell* b = self_holding({1});
  cell* result = arg(none::none_value);
  cycles::push(12345);  // a walk already under way is forgotten too
  EXPECT_TRUE(test::is(test::raised([&] { act<copy_fn>(ACT_COPY)(b, result, nullptr, 1, nullptr); }),
                       err::internal_no_cycle));
  EXPECT_EQ(cycles::depth(), 0);
  EXPECT_EQ(series::rs_abs_length_q(b), 2);
}

// ---- make, to, paths ----------------------------------------------------------------

TEST_F(block_actions, make_takes_a_room_or_a_block_and_to_wraps_other_values) {
  auto make = act<make_fn>(ACT_MAKE);
  auto to = act<make_fn>(ACT_TO);
  cell* proto = arg(datatype_of(TYPE_BLOCK));
  cell* room = arg(integer_value(10));
  cell* made = make(proto, room, TYPE_BLOCK);
  EXPECT_EQ(series::rs_abs_length_q(made), 0);
  EXPECT_GE(memory::GET_BUFFER(made)->size, 160);
  cell* real = arg(cell{TYPE_FLOAT, 0, 0, 0});
  set_float(real, 2.9);
  EXPECT_GE(memory::GET_BUFFER(make(proto, real, TYPE_BLOCK))->size, 32);
  cell* source = arg(at_index(ints({1, 2, 3}), 1));
  made = make(proto, source, TYPE_PAREN);
  EXPECT_EQ(TYPE_OF(made), TYPE_PAREN);
  EXPECT_EQ(ints_of(made), (std::vector<int32_t>{2, 3}));
  EXPECT_NE(made->data2, source->data2);

  cell* negative = arg(integer_value(-1));
  EXPECT_TRUE(test::is(test::raised([&] { make(proto, negative, TYPE_BLOCK); }), err::script_out_of_range));
  set_float(real, 3e9);
  EXPECT_TRUE(test::is(test::raised([&] { make(proto, real, TYPE_BLOCK); }), err::script_out_of_range));
  cell* none = arg(none::none_value);
  EXPECT_TRUE(test::is(test::raised([&] { make(proto, none, TYPE_BLOCK); }), err::script_bad_make_arg));

  cell* wrapped = to(proto, room, TYPE_BLOCK);
  EXPECT_EQ(ints_of(wrapped), std::vector<int32_t>{10});
  EXPECT_EQ(ints_of(to(proto, source, TYPE_BLOCK)), (std::vector<int32_t>{2, 3}));
}

TEST_F(block_actions, path_steps_pick_poke_select_and_set) {
  auto eval_path = act<eval_path_fn>(ACT_EVAL_PATH);
  cell* b = arg(block_of({str("k"), integer_value(1), integer_value(2)}));
  cell* two = arg(integer_value(2));
  EXPECT_EQ(eval_path(b, two, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0)->data2, 1u);
  cell* key = arg(str("K"));
  EXPECT_EQ(eval_path(b, key, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0)->data2, 1u);
  EXPECT_EQ(TYPE_OF(eval_path(b, key, nullptr, nullptr, nullptr, nullptr, 0, 1, 0, 1, 0)), TYPE_NONE);
  cell* nine = arg(integer_value(9));
  EXPECT_EQ(eval_path(b, key, nine, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0), nine);
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{-999, 9, 2}));
  eval_path(b, two, nine, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0);
  cell* absent = arg(str("z"));
  EXPECT_TRUE(test::is(test::raised([&] { eval_path(b, absent, nine, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0); }),
                       err::script_bad_path_set));
}

// ---- helpers ---------------------------------------------------------------------------

TEST_F(block_actions, helpers_read_and_build_blocks) {
  cell* b = arg(at_index(ints({1, 2, 3}), 5));
  EXPECT_EQ(block::rs_length_q(b), 0);
  EXPECT_EQ(block::rs_head(b), block::rs_tail(b));
  EXPECT_EQ(b->data1, 3u);
  b->data1 = 1;
  EXPECT_FALSE(block::rs_next(b));
  EXPECT_TRUE(block::rs_next(b));
  EXPECT_TRUE(block::rs_next(b));
  EXPECT_EQ(b->data1, 3u);
  block::rs_remove_last(b);
  EXPECT_EQ(b->data1, 2u);
  b->data1 = 0;
  block::rs_append(b, block::rs_abs_at(b, 0));
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 1}));
  cell* more = arg(ints({7, 8}));
  block::rs_append_block(b, more);
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 1, 7, 8}));
  cell* seven = arg(integer_value(7));
  EXPECT_EQ(block::select_key(b, seven)->data2, 8u);
  EXPECT_EQ(TYPE_OF(block::select_key(b, more)), TYPE_NONE);
  b->data1 = 1;
  EXPECT_FALSE(block::remove_key(b, seven, false));
  EXPECT_TRUE(block::remove_key(b, arg(integer_value(1)), true));
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{2, 1, 8}));
  block::insert_value(b, arg(integer_value(0)), true, false);
  EXPECT_EQ(b->data1, 1u);
  block::insert_block(b, more);
  EXPECT_EQ(b->data1, 3u);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{0, 7, 8, 2, 1, 8}));
  block::rs_truncate(b, 2);
  b->data1 = 1;
  block::rs_clear(b);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), std::vector<int32_t>{0});

  cell* inner = block::make_in(b, 4);
  EXPECT_EQ(TYPE_OF(inner), TYPE_BLOCK);
  EXPECT_EQ(block::rs_length_q(b), 2);
}

TEST_F(block_actions, result_helpers_move_values_between_the_result_slot_and_its_neighbours) {
  cell* target = arg(at_index(ints({1, 2}), 1));
  stack::arguments = arg(integer_value(7));
  block::insert_result();
  EXPECT_EQ(target->data1, 2u);
  block::append_result();
  target->data1 = 0;
  EXPECT_EQ(ints_of(target), (std::vector<int32_t>{1, 7, 2, 7}));
  *stack::arguments = ints({});
  arg(integer_value(8));
  block::append_to_result();
  EXPECT_EQ(ints_of(stack::arguments), std::vector<int32_t>{8});
}

TEST_F(block_actions, select_word_matches_any_kind_of_word_by_symbol) {
  auto word = [](const char* spelling, uint32_t type) {
    int32_t id = hashtable::get_symbol(symbol::table, reinterpret_cast<const uint8_t*>(spelling),
                                       static_cast<int32_t>(std::strlen(spelling)), false);
    return cell{type, 0, static_cast<uint32_t>(id), 0};
  };
  cell* b = arg(block_of({word("Size", TYPE_SET_WORD), integer_value(1), word("size", TYPE_WORD), integer_value(2),
                          word("last", TYPE_WORD)}));
  cell* size = arg(word("size", TYPE_WORD));
  EXPECT_EQ(block::select_word(b, size, false)->data2, 1u);
  EXPECT_EQ(block::select_word(b, size, true)->data2, 2u);
  EXPECT_EQ(TYPE_OF(block::select_word(b, arg(word("last", TYPE_GET_WORD)), false)), TYPE_NONE);
  EXPECT_EQ(TYPE_OF(block::select_word(b, arg(word("none", TYPE_WORD)), false)), TYPE_NONE);
}

TEST_F(block_actions, clone_copies_from_the_index_and_nested_blocks_when_deep) {
  cell* nested = arg(ints({5}));
  cell paren = *nested;
  set_type(&paren, TYPE_PAREN);
  cell* b = arg(at_index(block_of({integer_value(0), *nested, paren}), 1));
  cell* shallow = block::clone(b, false, false);
  EXPECT_EQ(block::rs_abs_at(shallow, 0)->data2, nested->data2);
  cell* deep = block::clone(b, true, false);
  EXPECT_NE(block::rs_abs_at(deep, 0)->data2, nested->data2);
  EXPECT_EQ(block::rs_abs_at(deep, 1)->data2, nested->data2);
  cell* paths = block::clone(b, true, true);
  EXPECT_NE(block::rs_abs_at(paths, 1)->data2, nested->data2);
  EXPECT_EQ(TYPE_OF(block::rs_abs_at(paths, 1)), TYPE_PAREN);
  cell* empty = block::clone(arg(ints({})), false, false);
  EXPECT_EQ(block::rs_length_q(empty), 0);
}

// ---- hash! ----------------------------------------------------------------------------

// Every modifying action of block! keeps a hash!'s table in step.
TEST_F(block_actions, hash_tables_stay_consistent_through_every_block_action) {
  std::vector<cell> cells;
  for (int32_t v : {4, 1, 4, 2, 3, 1, 4, 5}) cells.push_back(integer_value(v));
  struct step { const char* name; void (*run)(cell* h); };
  const step steps[] = {
      {"append", [](cell* h) { act<insert_fn>(ACT_APPEND)(h, arg(ints({1, 9})), -1, 0, 3, 1); }},
      {"insert", [](cell* h) { h->data1 = 2; act<insert_fn>(ACT_INSERT)(h, arg(ints({1, 9})), -1, 0, 1, 0); }},
      {"insert one", [](cell* h) { h->data1 = 1; act<insert_fn>(ACT_INSERT)(h, arg(integer_value(4)), -1, 0, 1, 0); }},
      {"change", [](cell* h) { h->data1 = 3; act<change_fn>(ACT_CHANGE)(h, arg(ints({7, 7, 7, 7})), 2, 0, 1); }},
      {"put", [](cell* h) { act<put_fn>(ACT_PUT)(h, arg(integer_value(2)), arg(integer_value(4)), 0); }},
      {"swap", [](cell* h) { act<swap_fn>(ACT_SWAP)(h, arg(at_index(*h, 4))); }},
      {"sort", [](cell* h) { h->data1 = 1; act<sort_fn>(ACT_SORT)(h, 0, nullptr, nullptr, nullptr, 0, 0, 0); }},
      {"take", [](cell* h) { h->data1 = 2; act<take_fn>(ACT_TAKE)(h, arg(integer_value(3)), 0, 0); }},
      {"trim", [](cell* h) {
         act<poke_fn>(ACT_POKE)(h, 2, arg(none::none_value), nullptr);
         act<trim_fn>(ACT_TRIM)(h, 0, 0, 0, 0, 0, nullptr);
       }},
      {"remove key", [](cell* h) { act<remove_fn>(ACT_REMOVE)(h, nullptr, arg(integer_value(2))); }},
      {"path set", [](cell* h) {
         act<eval_path_fn>(ACT_EVAL_PATH)(h, arg(integer_value(3)), arg(integer_value(1)), nullptr, nullptr,
                                          nullptr, 0, 0, 0, 1, 0);
       }},
      {"clear", [](cell* h) { h->data1 = 4; act<clear_fn>(ACT_CLEAR)(h); }},
      {"truncate", [](cell* h) { block::rs_truncate(h, 3); }},
      {"insert at head", [](cell* h) { block::insert_value(h, h, false, true); }},
  };
  for (const step& s : steps) {
    fresh_arguments();
    cell* h = arg(test::hash_of(cells));
    cell* kept = arg(*h);
    EXPECT_FALSE(test::raised([&] { s.run(h); })) << s.name;
    EXPECT_TRUE(test::consistent_hash(kept)) << s.name;
  }
  // Runs of more than 30,000 cells rebuild the table instead of renumbering.
  fresh_arguments();
  std::vector<cell> many;
  for (int32_t i = 0; i < 30010; ++i) many.push_back(integer_value(i % 1000));
  cell* big = arg(test::hash_of(many));
  big->data1 = 2;
  act<insert_fn>(ACT_INSERT)(big, arg(ints({5, 1001, 5})), -1, 0, 1, 0);
  big->data1 = 0;
  EXPECT_TRUE(test::consistent_hash(big));
  act<remove_fn>(ACT_REMOVE)(big, arg(integer_value(4)), nullptr);
  EXPECT_TRUE(test::consistent_hash(big));
  EXPECT_EQ(series::rs_abs_length_q(big), 30009);

  fresh_arguments();
  cell* h = arg(test::hash_of(cells));
  cell* result = arg(none::none_value);
  act<copy_fn>(ACT_COPY)(h, result, nullptr, 0, nullptr);
  EXPECT_EQ(TYPE_OF(result), TYPE_HASH);
  EXPECT_NE(result->data3, h->data3);
  EXPECT_TRUE(test::consistent_hash(result));
}


// ---- holding values across allocations -----------------------------------------------

using test::with_moving_buffers;

struct block_actions_moving : block_actions {};

TEST_F(block_actions_moving, editing_copying_and_molding_read_every_buffer_again_after_allocating) {
  std::vector<int32_t> want;
  cell* b = arg(ints({}));
  cell* nested = arg(ints({1, 2}));
  cell* text = arg(str("text"));
  cell* outer = arg(ints({}));
  cell* copied = arg(none::none_value);
  std::string molded_text, formed_text;
  with_moving_buffers([&] {
    auto insert = act<insert_fn>(ACT_INSERT);
    cell* v = arg(integer_value(0));
    for (int32_t i = 0; i < 50; ++i) {
      v->data2 = static_cast<uint32_t>(i);
      insert(b, v, -1, 0, 1, 1);
      want.push_back(i);
    }
    b->data1 = 10;
    cell* whole = arg(at_index(*b, 0));
    insert(b, whole, -1, 0, 1, 0);
    want.insert(want.begin() + 10, want.begin(), want.end());
    b->data1 = 5;
    act<change_fn>(ACT_CHANGE)(b, arg(ints({100, 101, 102})), -1, 0, 3);
    std::vector<int32_t> nine = {100, 101, 102, 100, 101, 102, 100, 101, 102};
    std::copy(nine.begin(), nine.end(), want.begin() + 5);
    b->data1 = 0;

    block::rs_append(outer, nested);
    block::rs_append(outer, text);
    block::rs_append(outer, block::rs_abs_at(outer, 0));
    block::make_in(outer, 2);
    act<copy_fn>(ACT_COPY)(outer, copied, nullptr, 1, nullptr);
    molded_text = test::mold_text(*copied);
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 1);
    act<form_fn>(ACT_FORM)(outer, buffer, nullptr, INT32_MAX);
    formed_text = test::text_of(buffer);
  });
  EXPECT_GT(test::block_buffer_moves, 0);
  EXPECT_EQ(ints_of(b), want);
  EXPECT_EQ(molded_text, R"([[1 2] "text" [1 2] []])");
  EXPECT_EQ(formed_text, "1 2 text 1 2 ");
  EXPECT_NE(block::rs_abs_at(copied, 0)->data2, nested->data2);
  EXPECT_NE(block::rs_abs_at(copied, 2)->data2, block::rs_abs_at(copied, 0)->data2);
}

TEST_F(block_actions_moving, hash_tables_and_set_operations_survive_moving_buffers) {
  cell* h = arg(test::hash_of({}));
  cell* taken = arg(none::none_value);
  cell* set_result = arg(none::none_value);
  with_moving_buffers([&] {
    auto insert = act<insert_fn>(ACT_INSERT);
    for (int32_t i = 0; i < 40; ++i) {
      cell* s = arg(str(std::to_string(i % 30).c_str()));
      insert(h, s, -1, 0, 1, i % 3 == 0 ? 0 : 1);
      h->data1 = 0;
    }
    cell* key = arg(str("7"));
    cell* found = act<find_fn>(ACT_FIND)(h, key, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(test::chars_from(block::rs_abs_at(h, static_cast<int32_t>(found->data1))), U"7");
    *taken = *h;
    taken->data1 = 5;
    act<take_fn>(ACT_TAKE)(taken, arg(integer_value(6)), 0, 0);

    cell* base = stack::arguments;
    stack::arguments = stack::top;
    arg(*h);
    arg(block_of({str("x"), str("7"), str("y")}));
    block::do_set_op(0, nullptr, 9);
    *set_result = *stack::arguments;
    stack::arguments = base;
  });
  EXPECT_GT(test::block_buffer_moves, 0);
  EXPECT_TRUE(test::consistent_hash(h));
  EXPECT_TRUE(test::consistent_hash(taken));
  EXPECT_TRUE(test::consistent_hash(set_result));
  EXPECT_EQ(series::rs_abs_length_q(h), 34);
  EXPECT_EQ(series::rs_abs_length_q(set_result), 27);  // the distinct values left, with "x" and "y"
}

}  // namespace
}  // namespace ixo
