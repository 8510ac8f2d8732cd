#include <gtest/gtest.h>

#include <cmath>

#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"

namespace ixo {
namespace {

using test::flt;
using test::int_;
using test::operate;
using test::pt;
using test::raises;
using test::xy;

struct pairs : test::numbers {};

// Pairs by value; points by exact coordinates.
void expect_value(const cell& actual, const cell& expected, int line) {
  ASSERT_EQ(TYPE_OF(&actual), TYPE_OF(&expected)) << "line " << line;
  if (TYPE_OF(&expected) == TYPE_PAIR) {
    EXPECT_EQ(pair::x_of(&actual), pair::x_of(&expected)) << "line " << line;
    EXPECT_EQ(pair::y_of(&actual), pair::y_of(&expected)) << "line " << line;
  } else {
    for (int32_t i = 0; i < (TYPE_OF(&expected) == TYPE_POINT3D ? 3 : 2); ++i) {
      EXPECT_EQ(point2D::coordinate(&actual, i), point2D::coordinate(&expected, i)) << "line " << line;
    }
  }
}

TEST_F(pairs, make_pair) {
  struct row { cell spec; cell result; int line; };
  const row rows[] = {
      {test::block_of({flt(1.9), flt(-2.9)}), xy(1, -2), __LINE__},
      {test::block_of({int_(3), int_(4), test::chr('a')}), xy(3, 4), __LINE__},
      {int_(3), xy(3, 3), __LINE__},
      {flt(-2.7), xy(-2, -2), __LINE__},
      {pt(1.5f, -2.5f), xy(1, -2), __LINE__},
      {xy(5, 6), xy(5, 6), __LINE__},
  };
  for (const row& r : rows) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) expect_value(test::make(TYPE_PAIR, r.spec, action), r.result, r.line);
  }
  struct bad { cell spec; error_id error; };
  const bad bads[] = {
      {test::block_of({int_(1)}), err::syntax_malconstruct},
      {test::block_of({int_(1), test::chr('a')}), err::syntax_malconstruct},
      {test::pct(0.025), err::script_bad_to_arg},
      {pt(INFINITY, 0), err::script_invalid_arg},
      {pt(NAN, 0), err::script_invalid_arg},
      {pt(3e9f, 0), err::script_out_of_range},
      {flt(1e10), err::script_out_of_range},
      {test::block_of({flt(NAN), int_(0)}), err::script_out_of_range},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { test::make(TYPE_PAIR, b.spec); }));
}

TEST_F(pairs, arithmetic_stays_in_integers_or_moves_to_points) {
  struct row { cell left; int32_t action; cell right; cell result; int line; };
  const row rows[] = {
      {xy(3, 4), ACT_MULTIPLY, int_(2), xy(6, 8), __LINE__},
      {xy(4, 6), ACT_DIVIDE, int_(2), xy(2, 3), __LINE__},
      {xy(3, 4), ACT_DIVIDE, int_(2), pt(1.5f, 2.0f), __LINE__},
      {xy(4, 3), ACT_DIVIDE, int_(2), pt(2.0f, 1.5f), __LINE__},
      {xy(3, 4), ACT_MULTIPLY, flt(0.5), pt(1.5f, 2.0f), __LINE__},
      {xy(3, 4), ACT_MULTIPLY, flt(2.0), pt(6, 8), __LINE__},
      {xy(3, 4), ACT_DIVIDE, flt(0.0), pt(INFINITY, INFINITY), __LINE__},
      {xy(7, 9), ACT_REMAINDER, xy(2, 4), xy(1, 1), __LINE__},
      {xy(1, 2), ACT_AND_T, xy(3, 3), xy(1, 2), __LINE__},
      {xy(1, 2), ACT_ADD, flt(1.7), xy(2, 3), __LINE__},
      {xy(1, 2), ACT_SUBTRACT, xy(3, 5), xy(-2, -3), __LINE__},
      {xy(2147483647, 0), ACT_ADD, xy(1, 0), pt(2147483648.0f, 0), __LINE__},
      {xy(0, 2147483647), ACT_ADD, xy(0, 1), pt(0, 2147483648.0f), __LINE__},
      {xy(1, 2), ACT_ADD, pt(1, 1), pt(2, 3), __LINE__},
  };
  for (const row& r : rows) expect_value(operate(r.action, r.left, r.right), r.result, r.line);

  struct bad { int32_t action; cell right; error_id error; };
  const bad bads[] = {
      {ACT_DIVIDE, int_(0), err::math_zero_divide},      {ACT_REMAINDER, xy(1, 0), err::math_zero_divide},
      {ACT_MULTIPLY, flt(INFINITY), err::script_invalid_arg}, {ACT_DIVIDE, flt(NAN), err::script_invalid_arg},
      {ACT_ADD, flt(NAN), err::script_invalid_arg},      {ACT_ADD, flt(1e10), err::script_out_of_range},
      {ACT_ADD, test::tup({1, 2, 3}), err::script_invalid_type},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { operate(b.action, xy(3, 4), b.right); })) << b.action;
}

TEST_F(pairs, compare_orders_by_x_then_y) {
  EXPECT_EQ(test::compare(xy(1, 5), xy(2, 0), COMP_LESSER), -1);
  EXPECT_EQ(test::compare(xy(2147483647, 0), xy(-1, 0), COMP_SORT), 1);
  EXPECT_EQ(test::compare(xy(1, 2), xy(1, 3), COMP_SORT), -1);
  EXPECT_EQ(test::compare(xy(1, 2), xy(1, 2), COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(test::compare(xy(1, 2), int_(1), COMP_EQUAL), COMPARE_NONE);

  // Against a point, the pair is compared as a point; the argument cells
  // of the current call are left alone.
  stack::reset();
  cell* argument = stack::push(xy(7, 7));
  EXPECT_EQ(test::compare(xy(1, 2), pt(1, 2), COMP_EQUAL), 0);
  EXPECT_EQ(test::compare(xy(1, 2), pt(1, 2.5f), COMP_LESSER), -1);
  EXPECT_EQ(TYPE_OF(argument), TYPE_PAIR);
}

TEST_F(pairs, one_value_actions) {
  auto negate = datatype::action_of<negate_fn>(TYPE_PAIR, ACT_NEGATE);
  auto reverse = datatype::action_of<reverse_fn>(TYPE_PAIR, ACT_REVERSE);
  cell p = xy(1, -2);
  expect_value(*negate(&p), xy(-1, 2), __LINE__);
  expect_value(*reverse(&p, nullptr, nullptr), xy(2, -1), __LINE__);
  expect_value(operate(ACT_ABSOLUTE, xy(-1, -2)), xy(1, 2), __LINE__);
  for (cell bad : {xy(-2147483647 - 1, 0), xy(0, -2147483647 - 1)}) {
    cell before = bad;
    EXPECT_TRUE(raises(err::math_overflow, [&] { negate(&bad); }));
    expect_value(bad, before, __LINE__);
    EXPECT_TRUE(raises(err::math_overflow, [&] { operate(ACT_ABSOLUTE, bad); }));
  }
}

TEST_F(pairs, round_each_coordinate) {
  struct row { cell value, scale; test::round_flags flags; cell result; int line; };
  const row rows[] = {
      {xy(17, 23), xy(5, 10), {}, xy(15, 20), __LINE__},
      {xy(17, 23), int_(5), {}, xy(15, 25), __LINE__},
      {xy(-11, 11), int_(5), {.floor = 1}, xy(-15, 10), __LINE__},
      {xy(7, 8), flt(2.5), {}, xy(7, 7), __LINE__},
  };
  for (const row& r : rows) expect_value(test::round(r.value, &r.scale, r.flags), r.result, r.line);
  expect_value(test::round(xy(3, 4), nullptr), xy(3, 4), __LINE__);
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(xy(1, 1), &money); }));
}

TEST_F(pairs, fields_by_index_and_word) {
  auto pick = datatype::action_of<pick_fn>(TYPE_PAIR, ACT_PICK);
  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_PAIR, ACT_EVAL_PATH);
  cell p = xy(10, 20), one = int_(1), y = error_word("Y"), z = error_word("z"), three = int_(3);
  EXPECT_EQ(integer::get(pick(&p, 0, &one)), 10);
  EXPECT_EQ(integer::get(pick(&p, 0, &y)), 20);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { pick(&p, 0, &three); }));
  EXPECT_TRUE(raises(err::script_cannot_use, [&] { pick(&p, 0, &z); }));

  cell path{TYPE_PATH, 0, 0, 0}, five = int_(5), half = flt(0.5);
  auto step = [&](cell* element, cell* value) {
    return eval_path(&p, element, value, &path, nullptr, nullptr, 1, 0, 0, 1, 0);
  };
  EXPECT_EQ(integer::get(step(&y, nullptr)), 20);
  EXPECT_EQ(step(&y, &five), &five);
  expect_value(p, xy(10, 5), __LINE__);
  EXPECT_TRUE(raises(err::script_invalid_type, [&] { step(&one, &half); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { step(&z, nullptr); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { step(&three, nullptr); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { step(&half, nullptr); }));
}

TEST_F(pairs, text_and_random) {
  EXPECT_EQ(test::formed(xy(10, -20)), "10x-20");
  EXPECT_EQ(test::molded(xy(-2147483647 - 1, 0)), "-2147483648x0");
  auto random = datatype::action_of<random_fn>(TYPE_PAIR, ACT_RANDOM);
  cell seed = xy(1, 2);
  EXPECT_EQ(TYPE_OF(random(&seed, 1, 0, 0)), TYPE_UNSET);
  for (int i = 0; i < 100; ++i) {
    cell p = xy(10, 0);
    random(&p, 0, 0, 0);
    EXPECT_TRUE(pair::x_of(&p) >= 1 && pair::x_of(&p) <= 10);
    EXPECT_EQ(pair::y_of(&p), 0);
  }
}

// ---- point2D! and point3D! -------------------------------------------------------

struct points : test::numbers {};

TEST_F(points, make_points) {
  struct row { uint32_t type; cell spec; cell result; int line; };
  const row rows[] = {
      {TYPE_POINT2D, int_(3), pt(3, 3), __LINE__},
      {TYPE_POINT2D, flt(0.5), pt(0.5f, 0.5f), __LINE__},
      {TYPE_POINT2D, xy(1, 2), pt(1, 2), __LINE__},
      {TYPE_POINT2D, test::block_of({int_(1), flt(2.5), int_(9)}), pt(1, 2.5f), __LINE__},
      {TYPE_POINT3D, xy(1, 2), pt(1, 2, 0), __LINE__},
      {TYPE_POINT3D, pt(1, 2), pt(1, 2, 0), __LINE__},
      {TYPE_POINT3D, int_(4), pt(4, 4, 4), __LINE__},
      {TYPE_POINT3D, test::block_of({int_(1), int_(2), flt(3.5)}), pt(1, 2, 3.5f), __LINE__},
  };
  for (const row& r : rows) expect_value(test::make(r.type, r.spec), r.result, r.line);
  EXPECT_TRUE(raises(err::syntax_malconstruct, [] { test::make(TYPE_POINT2D, test::block_of({int_(1)})); }));
  EXPECT_TRUE(raises(err::syntax_malconstruct,
                     [] { test::make(TYPE_POINT3D, test::block_of({int_(1), int_(2)})); }));
  EXPECT_TRUE(raises(err::script_bad_to_arg, [] { test::make(TYPE_POINT2D, test::pct(0.5)); }));
  EXPECT_TRUE(raises(err::script_bad_to_arg, [] { test::make(TYPE_POINT3D, test::tup({1, 2, 3})); }));
}

TEST_F(points, text_form) {
  struct row { cell value; const char* text; };
  const row rows[] = {
      {pt(1, 2.5f), "(1, 2.5)"},     {pt(0, -3), "(0, -3)"},   {pt(0.1f, 1e-20f), "(0.1, 0)"},
      {pt(1, 2, 3), "(1, 2, 3)"},    {pt(INFINITY, 1), "(1.#INF, 1)"},
      {pt(123456789.0f, 0), "(1.234568e8, 0)"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(test::formed(r.value), r.text);
    EXPECT_EQ(test::molded(r.value), r.text);
  }
}

TEST_F(points, arithmetic) {
  struct row { cell left; int32_t action; cell right; cell result; int line; };
  const row rows[] = {
      {pt(1, 2), ACT_ADD, xy(1, 1), pt(2, 3), __LINE__},
      {pt(1, 2), ACT_DIVIDE, int_(0), pt(INFINITY, INFINITY), __LINE__},
      {pt(1, 2), ACT_MULTIPLY, test::pct(0.5), pt(0.5f, 1), __LINE__},
      {pt(1, 2), ACT_SUBTRACT, pt(0.5f, 0.5f), pt(0.5f, 1.5f), __LINE__},
      {pt(5, 7), ACT_REMAINDER, int_(3), pt(2, 1), __LINE__},
      {pt(1, 2, 3), ACT_MULTIPLY, int_(2), pt(2, 4, 6), __LINE__},
      {pt(1, 2, 3), ACT_ADD, pt(1, 1, 1), pt(2, 3, 4), __LINE__},
      {flt(1.5), ACT_ADD, pt(1, 2), pt(2.5f, 3.5f), __LINE__},
      {int_(1), ACT_SUBTRACT, pt(1, 2, 3), pt(0, -1, -2), __LINE__},
  };
  for (const row& r : rows) expect_value(operate(r.action, r.left, r.right), r.result, r.line);
  EXPECT_TRUE(raises(err::script_invalid_type, [] { operate(ACT_ADD, pt(1, 2, 3), xy(1, 1)); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [] { operate(ACT_ADD, pt(1, 2, 3), pt(1, 1)); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [] { operate(ACT_ADD, pt(1, 2), pt(1, 1, 1)); }));
  EXPECT_TRUE(raises(err::script_not_related, [] { operate(ACT_DIVIDE, int_(1), pt(1, 2)); }));
  EXPECT_TRUE(raises(err::script_not_related, [] { operate(ACT_SUBTRACT, flt(1.0), pt(1, 2)); }));
  EXPECT_EQ(datatype::entry_of(TYPE_POINT2D, ACT_AND_T), nullptr);
}

TEST_F(points, equality_is_tolerant_and_ordering_goes_coordinate_by_coordinate) {
  struct row { cell a, b; int32_t op, answer; };
  const row rows[] = {
      {pt(1, 2), xy(1, 2), COMP_EQUAL, 0},
      {pt(0.1f, 0.2f), pt(0.1f, 0.2000001f), COMP_EQUAL, 0},
      {pt(0.1f, 0.2f), pt(0.1f, 0.2000001f), COMP_STRICT_EQUAL, 1},
      {pt(NAN, 0), pt(NAN, 0), COMP_STRICT_EQUAL, 1},
      {pt(0.0f, 1), pt(-0.0f, 1), COMP_SAME, 1},
      {pt(1, 2), pt(1, 3), COMP_LESSER, -1},
      {pt(1, 2), pt(0.5f, 3), COMP_LESSER, 1},
      {pt(1, 2, 3), pt(1, 2, 2), COMP_GREATER, 1},
      {pt(1, 2, 3), pt(1, 2, 3), COMP_SORT, 0},
      {pt(1, 2, 3), pt(1, 2), COMP_EQUAL, COMPARE_NONE},
      {pt(1, 2), int_(1), COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(points, round_each_coordinate_as_a_float) {
  struct row { cell value, scale; cell result; int line; };
  const row rows[] = {
      {pt(1.26f, 2.74f), flt(0.5), pt(1.5f, 2.5f), __LINE__},
      {pt(17, 23), xy(5, 10), pt(15, 20), __LINE__},
      {pt(1.26f, 2.74f), pt(0.5f, 1), pt(1.5f, 3), __LINE__},
      {pt(1.26f, 2.74f, 3.3f), pt(0.5f, 1), pt(1.5f, 3, 3.3f), __LINE__},
      {pt(1.26f, 2.74f, 3.3f), xy(1, 2), pt(1, 2, 3.3f), __LINE__},
      {pt(1.26f, 2.74f, 3.3f), pt(0.5f, 1, 2), pt(1.5f, 3, 4), __LINE__},
  };
  for (const row& r : rows) expect_value(test::round(r.value, &r.scale), r.result, r.line);
  expect_value(test::round(pt(1.4f, -2.5f), nullptr), pt(1, -3), __LINE__);
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(pt(1, 1), &money); }));
}

TEST_F(points, one_value_actions_and_fields) {
  cell p = pt(1, -2), q = pt(1, 2, 3);
  expect_value(*datatype::action_of<negate_fn>(TYPE_POINT2D, ACT_NEGATE)(&p), pt(-1, 2), __LINE__);
  expect_value(operate(ACT_ABSOLUTE, pt(-1, -2, 0)), pt(1, 2, 0), __LINE__);
  expect_value(*datatype::action_of<reverse_fn>(TYPE_POINT3D, ACT_REVERSE)(&q, nullptr, nullptr), pt(3, 2, 1),
               __LINE__);

  auto pick = datatype::action_of<pick_fn>(TYPE_POINT3D, ACT_PICK);
  cell z = error_word("z"), three = int_(3), four = int_(4);
  EXPECT_EQ(get_float(pick(&q, 0, &z)), 1.0);  // reversed above
  EXPECT_EQ(get_float(pick(&q, 0, &three)), 1.0);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { pick(&q, 0, &four); }));
  cell two_d = pt(1, 2);
  EXPECT_TRUE(raises(err::script_cannot_use,
                     [&] { datatype::action_of<pick_fn>(TYPE_POINT2D, ACT_PICK)(&two_d, 0, &z); }));

  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_POINT2D, ACT_EVAL_PATH);
  cell path{TYPE_PATH, 0, 0, 0}, x = error_word("x"), five = int_(5), none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(eval_path(&two_d, &x, &five, &path, nullptr, nullptr, 1, 0, 0, 1, 0), &five);
  expect_value(two_d, pt(5, 2), __LINE__);
  EXPECT_EQ(get_float(eval_path(&two_d, &x, nullptr, &path, nullptr, nullptr, 1, 0, 0, 1, 0)), 5.0);
  EXPECT_TRUE(raises(err::script_invalid_type,
                     [&] { eval_path(&two_d, &x, &none, &path, nullptr, nullptr, 1, 0, 0, 1, 0); }));
  EXPECT_TRUE(raises(err::script_invalid_path,
                     [&] { eval_path(&two_d, &z, nullptr, &path, nullptr, nullptr, 1, 0, 0, 1, 0); }));
}

TEST_F(points, random_draws_between_zero_and_each_coordinate) {
  auto random = datatype::action_of<random_fn>(TYPE_POINT3D, ACT_RANDOM);
  cell seed = pt(1, 2, 3);
  EXPECT_EQ(TYPE_OF(random(&seed, 1, 0, 0)), TYPE_UNSET);
  for (int i = 0; i < 100; ++i) {
    cell p = pt(2, 0, -3);
    random(&p, 0, 0, 0);
    EXPECT_TRUE(point2D::coordinate(&p, 0) >= 0 && point2D::coordinate(&p, 0) <= 2);
    EXPECT_EQ(point2D::coordinate(&p, 1), 0.0f);
    EXPECT_TRUE(point2D::coordinate(&p, 2) <= 0 && point2D::coordinate(&p, 2) >= -3);
  }
}

}  // namespace
}  // namespace ixo
