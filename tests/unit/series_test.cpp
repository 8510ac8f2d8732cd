#include <gtest/gtest.h>

#include "runtime/core/random.hpp"
#include "support/blocks.hpp"

namespace ixo {
namespace {

using test::arg;
using test::fresh_arguments;
using test::integer_value;
using test::ints;
using test::ints_of;
using test::text_value;

struct series_actions : test::block_suite {
  template <class F>
  static F action(int32_t index) {
    return datatype::action_of<F>(TYPE_SERIES, index);
  }
  static cell at_index(cell c, int32_t index) {
    c.data1 = static_cast<uint32_t>(index);
    return c;
  }
};

TEST_F(series_actions, at_and_skip_move_from_the_index_and_clamp) {
  struct row { int32_t action, offset, index; };
  const row rows[] = {
      {ACT_AT, 1, 2},   {ACT_AT, 0, 2},   {ACT_AT, -1, 1},  {ACT_AT, 3, 4},  {ACT_AT, -9, 0},
      {ACT_AT, 9, 5},   {ACT_SKIP, 0, 2}, {ACT_SKIP, 1, 3}, {ACT_SKIP, -1, 1}, {ACT_SKIP, -9, 0},
      {ACT_SKIP, 9, 5},
  };
  for (const row& r : rows) {
    fresh_arguments();
    arg(at_index(ints({1, 2, 3, 4, 5}), 2));
    arg(integer_value(r.offset));
    action<stack_action_fn>(r.action)();
    EXPECT_EQ(stack::arguments->data1, static_cast<uint32_t>(r.index)) << r.action << " " << r.offset;
  }
  fresh_arguments();
  arg(ints({1}));
  arg(none::none_value);
  EXPECT_TRUE(test::is(test::raised([] { action<stack_action_fn>(ACT_AT)(); }), err::script_invalid_arg));
}

TEST_F(series_actions, next_stays_at_the_tail_and_back_at_the_head) {
  struct row { int32_t action, from, to; };
  const row rows[] = {{ACT_NEXT, 1, 2}, {ACT_NEXT, 2, 2}, {ACT_BACK, 1, 0}, {ACT_BACK, 0, 0},
                      {ACT_HEAD, 2, 0}, {ACT_TAIL, 0, 2}};
  for (const row& r : rows) {
    fresh_arguments();
    arg(at_index(ints({7, 8}), r.from));
    action<stack_action_fn>(r.action)();
    EXPECT_EQ(stack::arguments->data1, static_cast<uint32_t>(r.to)) << r.action;
  }
  fresh_arguments();
  arg(at_index(ints({7, 8}), 2));
  action<stack_action_fn>(ACT_TAIL_Q)();
  EXPECT_EQ(stack::arguments->data1, 1u);
  fresh_arguments();
  arg(at_index(ints({7, 8}), 1));
  action<stack_action_fn>(ACT_INDEX_Q)();
  EXPECT_EQ(TYPE_OF(stack::arguments), TYPE_INTEGER);
  EXPECT_EQ(stack::arguments->data2, 2u);
}

TEST_F(series_actions, length_of_an_index_past_a_shrunk_buffer_is_0_and_the_index_moves_to_the_tail) {
  fresh_arguments();
  cell* late = arg(at_index(ints({1, 2, 3, 4, 5}), 4));
  cell* early = arg(at_index(*late, 1));
  action<clear_fn>(ACT_CLEAR)(early);
  EXPECT_EQ(action<length_q_fn>(ACT_LENGTH_Q)(late), 0);
  EXPECT_EQ(late->data1, 1u);
  EXPECT_EQ(action<length_q_fn>(ACT_LENGTH_Q)(early), 0);
  cell* whole = arg(at_index(ints({1, 2, 3}), 1));
  EXPECT_EQ(action<length_q_fn>(ACT_LENGTH_Q)(whole), 2);
}

TEST_F(series_actions, pick_and_poke_count_from_the_index_and_refuse_0) {
  fresh_arguments();
  cell* b = arg(at_index(ints({10, 20, 30, 40}), 2));
  auto pick = action<pick_fn>(ACT_PICK);
  struct row { int32_t n; int32_t value; };  // -1: none
  const row rows[] = {{0, -1}, {1, 30}, {2, 40}, {3, -1}, {-1, 20}, {-2, 10}, {-3, -1}};
  for (const row& r : rows) {
    cell* got = pick(b, r.n, nullptr);
    if (r.value < 0) {
      EXPECT_EQ(TYPE_OF(got), TYPE_NONE) << r.n;
    } else {
      EXPECT_EQ(got->data2, static_cast<uint32_t>(r.value)) << r.n;
    }
  }
  auto poke = action<poke_fn>(ACT_POKE);
  cell* v = arg(integer_value(99));
  for (int32_t n : {0, 3, -3}) {
    EXPECT_TRUE(test::is(test::raised([&] { poke(b, n, v, nullptr); }), err::script_out_of_range)) << n;
    EXPECT_EQ(last_raised.args[0].data2, static_cast<uint32_t>(n));
  }
  EXPECT_EQ(poke(b, -1, v, nullptr), v);
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{10, 99, 30, 40}));

  cell* s = arg(text_value("abc"));
  EXPECT_EQ(pick(s, 2, nullptr)->data2, static_cast<uint32_t>('b'));
  EXPECT_EQ(TYPE_OF(pick(s, 2, nullptr)), TYPE_CHAR);
  EXPECT_TRUE(test::is(test::raised([&] { poke(s, 1, v, nullptr); }), err::script_invalid_arg));
  cell* wide = arg(cell{TYPE_CHAR, 0, 0x4E2D, 0});
  poke(s, 3, wide, nullptr);
  EXPECT_EQ(test::chars_from(s), U"ab\u4E2D");
}

TEST_F(series_actions, take_answers_none_when_empty_and_the_taken_part_otherwise) {
  auto take = action<take_fn>(ACT_TAKE);
  fresh_arguments();
  cell* empty = arg(ints({}));
  EXPECT_EQ(TYPE_OF(take(empty, nullptr, 0, 0)), TYPE_NONE);

  struct row { const char* text; int32_t index, part; bool last; const char32_t *taken, *left; };
  const row rows[] = {
      {"abcde", 0, 0, false, U"", U"abcde"},      {"abcde", 3, 0, false, U"", U"abcde"},
      {"abcde", 1, 2, false, U"bc", U"ade"},      {"abcde", 1, 9, false, U"bcde", U"a"},
      {"abcde", 1, 2, true, U"de", U"abc"},       {"abcde", 3, -2, false, U"bc", U"ade"},
      {"abcde", 3, -9, false, U"abc", U"de"},     {"abcde", 0, -2, false, U"", U"abcde"},
      {"abcde", 3, -2, true, U"", U"abcde"},     {"abcde", 2, INT32_MIN, false, U"ab", U"cde"},
      {"abcde", 2, INT32_MAX, false, U"cde", U"ab"},
  };
  for (const row& r : rows) {
    fresh_arguments();
    cell* s = arg(at_index(text_value(r.text), r.index));
    cell* whole = arg(*s);
    whole->data1 = 0;
    cell* part = arg(integer_value(r.part));
    cell* got = take(s, part, 0, r.last);
    EXPECT_EQ(TYPE_OF(got), TYPE_STRING);
    EXPECT_EQ(test::chars_from(got), r.taken) << r.index << " " << r.part;
    EXPECT_EQ(test::chars_from(whole), r.left) << r.index << " " << r.part;
  }
  fresh_arguments();
  cell* s = arg(text_value("xyz"));
  cell* whole = arg(*s);
  EXPECT_EQ(test::chars_from(take(s, nullptr, 0, 1)), U"z");
  EXPECT_EQ(test::chars_from(whole), U"xy");
  cell* other = arg(text_value("xyz"));
  EXPECT_TRUE(test::is(test::raised([&] { take(whole, other, 0, 0); }), err::script_invalid_refine_arg));
  EXPECT_EQ(test::chars_from(whole), U"xy");
}

TEST_F(series_actions, reverse_swaps_records_and_refuses_a_skip_that_does_not_divide) {
  auto reverse = action<reverse_fn>(ACT_REVERSE);
  struct row { std::vector<int32_t> values; int32_t part, skip; std::vector<int32_t> want; };
  const row rows[] = {
      {{1, 2, 3, 4, 5, 6}, 0, 2, {5, 6, 3, 4, 1, 2}},
      {{1, 2, 3, 4, 5, 6}, 0, 3, {4, 5, 6, 1, 2, 3}},
      {{1, 2, 3, 4, 5, 6}, 0, 6, {1, 2, 3, 4, 5, 6}},
      {{1, 2, 3, 4, 5, 6}, 3, 0, {3, 2, 1, 4, 5, 6}},
      {{1, 2, 3, 4, 5, 6}, 4, 2, {3, 4, 1, 2, 5, 6}},
      {{1, 2, 3}, 9, 0, {3, 2, 1}},
      {{1, 2, 3, 4, 5}, 0, 0, {5, 4, 3, 2, 1}},
  };
  for (const row& r : rows) {
    fresh_arguments();
    cell* b = arg(ints(r.values));
    cell* part = r.part ? arg(integer_value(r.part)) : nullptr;
    cell* skip = r.skip ? arg(integer_value(r.skip)) : nullptr;
    reverse(b, part, skip);
    EXPECT_EQ(ints_of(b), r.want) << r.part << " " << r.skip;
  }
  struct bad { int32_t length; cell skip; error_id error; };
  const bad bads[] = {
      {5, integer_value(2), err::script_invalid_refine_arg},
      {4, integer_value(8), err::script_invalid_refine_arg},
      {4, integer_value(0), err::script_out_of_range},
      {4, none::none_value, err::script_invalid_refine_arg},
  };
  for (const bad& r : bads) {
    fresh_arguments();
    std::vector<int32_t> values;
    for (int32_t i = 1; i <= r.length; ++i) values.push_back(i);
    cell* b = arg(ints(values));
    cell* skip = arg(r.skip);
    EXPECT_TRUE(test::is(test::raised([&] { reverse(b, nullptr, skip); }), r.error)) << r.length;
    EXPECT_EQ(ints_of(b), values);
  }
}

TEST_F(series_actions, remove_takes_one_element_or_a_part) {
  auto remove = action<remove_fn>(ACT_REMOVE);
  fresh_arguments();
  cell* b = arg(at_index(ints({1, 2, 3, 4}), 1));
  EXPECT_EQ(remove(b, nullptr, nullptr), b);
  EXPECT_EQ(ints_of(b), (std::vector<int32_t>{3, 4}));
  cell* up_to = arg(at_index(*b, 3));
  remove(b, up_to, nullptr);
  EXPECT_EQ(ints_of(b), std::vector<int32_t>{});
  b->data1 = 0;
  EXPECT_EQ(ints_of(b), std::vector<int32_t>{1});
  cell* none_part = arg(integer_value(0));
  remove(b, none_part, nullptr);
  EXPECT_EQ(ints_of(b), std::vector<int32_t>{1});
  cell* stranger = arg(ints({1}));
  EXPECT_TRUE(test::is(test::raised([&] { remove(b, stranger, nullptr); }), err::script_invalid_refine_arg));
  EXPECT_EQ(ints_of(b), std::vector<int32_t>{1});
}

TEST_F(series_actions, copy_takes_a_part_forward_or_backward) {
  auto copy = action<copy_fn>(ACT_COPY);
  struct row { int32_t index, part; std::vector<int32_t> want; };
  const row rows[] = {{1, 0, {}},     {1, 2, {2, 3}},   {1, 9, {2, 3, 4}}, {3, -2, {2, 3}},
                      {1, -5, {1}},   {4, 1, {}},       {2, -1, {2}},      {2, INT32_MIN, {1, 2}},
                      {2, INT32_MAX, {3, 4}}};
  for (const row& r : rows) {
    fresh_arguments();
    cell* b = arg(at_index(ints({1, 2, 3, 4}), r.index));
    cell* part = arg(integer_value(r.part));
    cell* result = arg(none::none_value);
    copy(b, result, part, 0, nullptr);
    EXPECT_EQ(result->data1, 0u);
    EXPECT_NE(result->data2, b->data2);
    EXPECT_EQ(ints_of(result), r.want) << r.index << " " << r.part;
  }
  fresh_arguments();
  cell* s = arg(at_index(text_value("h\u00e9llo"), 1));
  s->header |= NEWLINE_FLAG;
  copy(s, s, nullptr, 0, nullptr);
  EXPECT_EQ(s->header, TYPE_STRING | NEWLINE_FLAG);
  EXPECT_EQ(test::chars_from(s), U"\u00e9llo");
}

TEST_F(series_actions, move_inside_one_series) {
  struct row { int32_t from, to, part; std::vector<int32_t> want; int32_t answer_index; };
  const row rows[] = {
      {0, 2, 1, {2, 3, 1, 4, 5}, 1},   // after the element at the target
      {0, 5, 1, {2, 3, 4, 5, 1}, 4},   // to the tail
      {0, 9, 2, {3, 4, 5, 1, 2}, 3},   // past the tail counts as the tail
      {3, 0, 2, {4, 5, 1, 2, 3}, 0},   // to an earlier position
      {1, 1, 1, {1, 2, 3, 4, 5}, 1},   // onto itself
      {0, 1, 3, {1, 2, 3, 4, 5}, 1},   // into the moved run: nothing moves
      {0, 4, 2, {1, 2, 3, 4, 5}, 0},   // too few after the target: the origin answers
  };
  auto move = action<move_fn>(ACT_MOVE);
  for (const row& r : rows) {
    fresh_arguments();
    cell* origin = arg(at_index(ints({1, 2, 3, 4, 5}), r.from));
    cell* target = arg(at_index(*origin, r.to));
    cell* part = arg(integer_value(r.part));
    cell* answer = move(origin, target, part);
    EXPECT_EQ(answer->data1, static_cast<uint32_t>(r.answer_index)) << r.from << " to " << r.to;
    cell whole = at_index(*origin, 0);
    EXPECT_EQ(ints_of(&whole), r.want) << r.from << " to " << r.to;
  }
}

TEST_F(series_actions, move_between_series) {
  auto move = action<move_fn>(ACT_MOVE);
  fresh_arguments();
  cell* from = arg(at_index(ints({1, 2, 3}), 1));
  cell* to = arg(at_index(ints({7, 8}), 1));
  cell* two = arg(integer_value(2));
  EXPECT_EQ(move(from, to, two), to);
  cell head_from = at_index(*from, 0), head_to = at_index(*to, 0);
  EXPECT_EQ(ints_of(&head_from), std::vector<int32_t>{1});
  EXPECT_EQ(ints_of(&head_to), (std::vector<int32_t>{7, 2, 3, 8}));

  cell* narrow = arg(text_value("ab"));
  cell* wide = arg(text_value("x\u4E2Dy"));
  move(wide, narrow, two);
  EXPECT_EQ(test::chars_from(narrow), U"x\u4E2Dab");
  EXPECT_EQ(test::chars_from(wide), U"y");

  cell* block = arg(ints({1}));
  EXPECT_TRUE(test::is(test::raised([&] { move(block, narrow, nullptr); }), err::script_move_bad));
  cell* number = arg(integer_value(1));
  EXPECT_TRUE(test::is(test::raised([&] { move(block, number, nullptr); }), err::script_expect_arg));
  EXPECT_EQ(ints_of(block), std::vector<int32_t>{1});
}

TEST_F(series_actions, random_shuffles_in_place_and_a_seed_repeats_the_sequence) {
  auto random = action<random_fn>(ACT_RANDOM);
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 50; ++i) values.push_back(i);
  std::vector<std::vector<int32_t>> shuffles;
  for (int32_t round = 0; round < 2; ++round) {
    fresh_arguments();
    cell* seed = arg(text_value("seed text"));
    random(seed, 1, 0, 0);
    cell* b = arg(ints(values));
    random(b, 0, 0, 0);
    shuffles.push_back(ints_of(b));
  }
  EXPECT_EQ(shuffles[0], shuffles[1]);
  EXPECT_NE(shuffles[0], values);
  std::sort(shuffles[0].begin(), shuffles[0].end());
  EXPECT_EQ(shuffles[0], values);

  fresh_arguments();
  cell* one = arg(ints({42}));
  EXPECT_EQ(random(one, 0, 0, 1)->data2, 42u);
  cell* empty = arg(ints({}));
  EXPECT_EQ(TYPE_OF(random(empty, 0, 0, 1)), TYPE_NONE);
}

// Every modifying action keeps a hash!'s table in step with its cells.
TEST_F(series_actions, hash_tables_stay_consistent) {
  std::vector<cell> cells;
  for (int32_t v : {5, 1, 5, 2, 3, 1, 4, 5}) cells.push_back(integer_value(v));
  struct step { const char* name; void (*run)(cell* h); };
  const step steps[] = {
      {"poke", [](cell* h) { action<poke_fn>(ACT_POKE)(h, 2, arg(integer_value(1)), nullptr); }},
      {"remove", [](cell* h) { h->data1 = 1; action<remove_fn>(ACT_REMOVE)(h, arg(integer_value(2)), nullptr); }},
      {"clear", [](cell* h) { h->data1 = 5; action<clear_fn>(ACT_CLEAR)(h); }},
      {"reverse", [](cell* h) { action<reverse_fn>(ACT_REVERSE)(h, nullptr, arg(integer_value(2))); }},
      {"take", [](cell* h) { h->data1 = 2; action<take_fn>(ACT_TAKE)(h, arg(integer_value(3)), 0, 0); }},
      {"take last", [](cell* h) { action<take_fn>(ACT_TAKE)(h, nullptr, 0, 1); }},
      {"move", [](cell* h) {
         cell* target = arg(*h);
         target->data1 = 6;
         action<move_fn>(ACT_MOVE)(h, target, arg(integer_value(2)));
       }},
  };
  for (const step& s : steps) {
    fresh_arguments();
    cell* h = arg(test::hash_of(cells));
    cell* kept = arg(*h);
    s.run(h);
    kept->data1 = 0;
    EXPECT_TRUE(test::consistent_hash(kept)) << s.name;
  }
  // A part taken from a hash! is a hash! with a table of its own.
  fresh_arguments();
  cell* h = arg(test::hash_of(cells));
  h->data1 = 1;
  cell* taken = action<take_fn>(ACT_TAKE)(h, arg(integer_value(3)), 0, 0);
  EXPECT_EQ(TYPE_OF(taken), TYPE_HASH);
  EXPECT_EQ(ints_of(taken), (std::vector<int32_t>{1, 5, 2}));
  EXPECT_TRUE(test::consistent_hash(taken));

  fresh_arguments();
  cell* from = arg(test::hash_of(cells));
  cell* to = arg(test::hash_of(cells));
  to->data1 = 3;
  action<move_fn>(ACT_MOVE)(from, to, arg(integer_value(3)));
  to->data1 = 0;
  EXPECT_TRUE(test::consistent_hash(from));
  EXPECT_TRUE(test::consistent_hash(to));
  EXPECT_EQ(ints_of(to), (std::vector<int32_t>{5, 1, 5, 5, 1, 5, 2, 3, 1, 4, 5}));
}

}  // namespace
}  // namespace ixo
