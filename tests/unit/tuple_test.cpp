#include <gtest/gtest.h>

#include "runtime/datatypes/issue.hpp"

#include <cmath>

#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"

namespace ixo {
namespace {

using test::flt;
using test::int_;
using test::operate;
using test::raises;
using test::tup;

struct tuples : test::numbers {};

TEST_F(tuples, make_tuple) {
  struct row { cell spec; const char* text; };
  const row rows[] = {
      {test::block_of({int_(1), int_(2)}), "1.2.0"},
      {test::block_of({}), "0.0.0"},
      {test::block_of({flt(1.9), int_(255), test::chr(3), int_(0)}), "1.255.3.0"},
      {test::bytes_of("\x01\x02", TYPE_BINARY), "1.2.0"},
      {test::bytes_of("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D", TYPE_BINARY), "1.2.3.4.5.6.7.8.9.10.11.12"},
      {tup({255, 0, 0, 128}), "255.0.0.128"},
  };
  for (const row& r : rows) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) EXPECT_EQ(test::formed(test::make(TYPE_TUPLE, r.spec, action)), r.text);
  }
  std::vector<cell> thirteen(13, int_(1));
  for (const cell& spec : {test::block_of({int_(256)}), test::block_of({int_(-1)}), test::block_of({flt(1e300)}),
                           test::block_of({flt(NAN)}), test::block_of(thirteen), test::block_of({test::xy(1, 1)}),
                           int_(1)}) {
    EXPECT_TRUE(raises(err::script_bad_to_arg, [&] { test::make(TYPE_TUPLE, spec); }));
  }
  // Issues: 3 digits doubled, 6 in pairs, 8 as four bytes; other lengths
  // and non-digits are invalid data.
  struct issue_row { const char* spelling; const char* text; };
  const issue_row issues[] = {{"abc", "170.187.204"}, {"F80", "255.136.0"}, {"FF8800", "255.136.0"},
                              {"FF000080", "255.0.0.128"}, {"FFFF", nullptr}, {"", nullptr}, {"12G", nullptr}};
  for (const issue_row& r : issues) {
    cell spec;
    issue::make_at(&spec, r.spelling);
    if (r.text)
      EXPECT_EQ(test::formed(test::make(TYPE_TUPLE, spec, ACT_TO)), r.text);
    else
      EXPECT_TRUE(raises(err::script_invalid_data, [&] { test::make(TYPE_TUPLE, spec, ACT_TO); })) << r.spelling;
  }
}

TEST_F(tuples, arithmetic_saturates_each_byte) {
  struct row { cell left; int32_t action; cell right; const char* text; };
  const row rows[] = {
      {tup({0, 0, 0}), ACT_SUBTRACT, int_(1), "0.0.0"},
      {tup({250, 250, 250}), ACT_ADD, int_(10), "255.255.255"},
      {int_(2), ACT_MULTIPLY, tup({200, 1, 1}), "255.2.2"},
      {tup({1, 2, 3}), ACT_ADD, tup({1, 1, 1, 1}), "2.3.4.1"},
      {tup({1, 2, 3, 4}), ACT_ADD, tup({1, 1, 1}), "2.3.4.4"},
      {tup({200, 100, 0}), ACT_ADD, int_(100), "255.200.100"},
      {tup({5, 5, 5}), ACT_SUBTRACT, int_(10), "0.0.0"},
      {tup({10, 20, 30}), ACT_DIVIDE, int_(3), "3.6.10"},
      {tup({10, 20, 30}), ACT_DIVIDE, int_(-3), "0.0.0"},
      {tup({10, 20, 30}), ACT_REMAINDER, int_(7), "3.6.2"},
      {tup({1, 2, 3}), ACT_XOR_T, tup({255, 255, 255}), "254.253.252"},
      {tup({100, 100, 100}), ACT_MULTIPLY, flt(1.5), "150.150.150"},
      {tup({10, 20, 30}), ACT_SUBTRACT, flt(0.5), "9.19.29"},
      {tup({1, 1, 1}), ACT_MULTIPLY, flt(1e10), "255.255.255"},
      {tup({1, 1, 1}), ACT_MULTIPLY, flt(-1e300), "0.0.0"},
      {tup({1, 1, 1}), ACT_ADD, flt(NAN), "0.0.0"},
      {tup({1, 1, 1}), ACT_MULTIPLY, int_(2147483647), "255.255.255"},
      {tup({1, 1, 1}), ACT_MULTIPLY, int_(-2147483647), "0.0.0"},
      {tup({10, 10, 10}), ACT_MULTIPLY, test::pct(0.5), "5.5.5"},
      {flt(0.5), ACT_ADD, tup({1, 1, 1}), "1.1.1"},
  };
  for (const row& r : rows) EXPECT_EQ(test::formed(operate(r.action, r.left, r.right)), r.text) << r.text;

  struct bad { cell left; int32_t action; cell right; error_id error; };
  const bad bads[] = {
      {int_(10), ACT_SUBTRACT, tup({1, 1, 1}), err::script_not_related},
      {flt(10), ACT_DIVIDE, tup({1, 1, 1}), err::script_not_related},
      {tup({1, 2, 3}), ACT_DIVIDE, tup({0, 0, 1}), err::math_zero_divide},
      {tup({1, 2, 3}), ACT_REMAINDER, int_(0), err::math_zero_divide},
      {tup({1, 2, 3}), ACT_AND_T, flt(1.5), err::script_cannot_use},
      {tup({1, 2, 3}), ACT_ADD, test::xy(1, 1), err::script_invalid_type},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { operate(b.action, b.left, b.right); })) << b.action;
}

TEST_F(tuples, compare_reads_missing_bytes_as_zero) {
  struct row { cell a, b; int32_t op, answer; };
  const row rows[] = {
      {tup({1, 2, 3}), tup({1, 2, 4}), COMP_LESSER, -1},
      {tup({1, 2, 3, 1}), tup({1, 2, 3}), COMP_GREATER, 1},
      {tup({1, 2, 3}), tup({1, 2, 3, 0}), COMP_STRICT_EQUAL, 0},
      {tup({1, 2, 3}), int_(1), COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(tuples, bytes_by_index) {
  auto pick = datatype::action_of<pick_fn>(TYPE_TUPLE, ACT_PICK);
  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_TUPLE, ACT_EVAL_PATH);
  cell t = tup({1, 2, 3, 4}), two = int_(2), five = int_(5), big = int_(300), low = int_(-5);
  cell none{TYPE_NONE, 0, 0, 0}, word = error_word("x"), path{TYPE_PATH, 0, 0, 0};
  auto step = [&](cell* element, cell* value) {
    return eval_path(&t, element, value, &path, nullptr, nullptr, 1, 0, 0, 1, 0);
  };
  EXPECT_EQ(integer::get(pick(&t, 0, &two)), 2);
  EXPECT_EQ(integer::get(step(&two, nullptr)), 2);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { pick(&t, 0, &five); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [&] { step(&word, nullptr); }));
  step(&two, &big);
  EXPECT_EQ(test::formed(t), "1.255.3.4");
  step(&two, &low);
  EXPECT_EQ(test::formed(t), "1.0.3.4");
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { step(&five, &big); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [&] { step(&two, &word); }));
  t = tup({1, 2, 3, 4});
  step(&two, &none);
  EXPECT_EQ(test::formed(t), "1.0.0");
  cell tail = int_(4);
  t = tup({1, 2, 3, 4, 5});
  step(&tail, &none);
  EXPECT_EQ(test::formed(t), "1.2.3");
  EXPECT_EQ(datatype::action_of<length_q_fn>(TYPE_TUPLE, ACT_LENGTH_Q)(&t), 3);
}

TEST_F(tuples, reverse_bytes_or_records) {
  auto reverse = [](cell t, const cell* part, const cell* skip) {
    stack::reset();
    cell* value = stack::push(t);
    cell* p = part ? stack::push(*part) : stack::arguments - 1;
    cell* s = skip ? stack::push(*skip) : stack::arguments - 1;
    return test::formed(*datatype::action_of<reverse_fn>(TYPE_TUPLE, ACT_REVERSE)(value, p, s));
  };
  cell two = int_(2), three = int_(3), four = int_(4), zero = int_(0), minus = int_(-1), word = error_word("x");
  EXPECT_EQ(reverse(tup({1, 2, 3}), nullptr, nullptr), "3.2.1");
  EXPECT_EQ(reverse(tup({1, 2, 3, 4}), &two, nullptr), "2.1.3.4");
  EXPECT_EQ(reverse(tup({1, 2, 3, 4, 5, 6}), nullptr, &two), "5.6.3.4.1.2");
  EXPECT_EQ(reverse(tup({1, 2, 3, 4, 5, 6}), &four, &two), "3.4.1.2.5.6");
  EXPECT_EQ(reverse(tup({1, 2, 3}), nullptr, &three), "1.2.3");
  EXPECT_EQ(reverse(tup({1, 2, 3}), &zero, nullptr), "1.2.3");
  struct bad { const cell *part, *skip; error_id error; };
  const bad bads[] = {
      {&minus, nullptr, err::script_out_of_range},     {&word, nullptr, err::script_invalid_refine_arg},
      {nullptr, &zero, err::script_out_of_range},      {nullptr, &four, err::script_invalid_refine_arg},
      {nullptr, &two, err::script_invalid_refine_arg}, {nullptr, &word, err::script_invalid_refine_arg},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { reverse(tup({1, 2, 3}), b.part, b.skip); }));
}

TEST_F(tuples, complement_random_and_constructors) {
  cell t = tup({1, 2, 3, 4});
  EXPECT_EQ(test::formed(*datatype::action_of<complement_fn>(TYPE_TUPLE, ACT_COMPLEMENT)(&t)), "254.253.252.251");
  auto random = datatype::action_of<random_fn>(TYPE_TUPLE, ACT_RANDOM);
  EXPECT_EQ(TYPE_OF(random(&t, 1, 0, 0)), TYPE_UNSET);
  for (int i = 0; i < 100; ++i) {
    cell r = tup({0, 3, 255});
    random(&r, 0, 0, 0);
    EXPECT_EQ(tuple::bytes_of(&r)[0], 0);
    EXPECT_LE(tuple::bytes_of(&r)[1], 3);
  }
  cell c{};
  EXPECT_EQ(test::formed(*tuple::make_rgba(&c, 1, 2, 3, -1)), "1.2.3");
  EXPECT_EQ(test::formed(*tuple::make_rgba(&c, 1, 2, 3, 4)), "1.2.3.4");
  EXPECT_EQ(test::formed(*tuple::push(4, 0x04030201, 0, 0)), "1.2.3.4");
  EXPECT_TRUE(tuple::zero_q(&(c = tup({0, 0, 0, 0}))));
  EXPECT_FALSE(tuple::zero_q(&(c = tup({0, 0, 1}))));
}

}  // namespace
}  // namespace ixo
