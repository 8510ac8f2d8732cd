#include <gtest/gtest.h>

#include "runtime/datatypes/issue.hpp"

#include <cmath>

#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"

namespace ixo {
namespace {

using test::chr;
using test::flt;
using test::int_;
using test::operate;
using test::raises;

struct integer_math : test::numbers {};

// Same type and same payload, floats compared bit for bit.
void expect_same(const cell& actual, const cell& expected, int line) {
  EXPECT_EQ(TYPE_OF(&actual), TYPE_OF(&expected)) << "line " << line;
  EXPECT_EQ(actual.data1, expected.data1) << "line " << line;
  EXPECT_EQ(actual.data2, expected.data2) << "line " << line;
  EXPECT_EQ(actual.data3, expected.data3) << "line " << line;
}

TEST_F(integer_math, results_stay_integers_until_they_overflow_or_divide_inexactly) {
  struct row { cell left; int32_t action; cell right; cell result; int line; };
  const row rows[] = {
      {int_(2147483647), ACT_ADD, int_(1), flt(2147483648.0), __LINE__},
      {int_(-2147483648), ACT_SUBTRACT, int_(1), flt(-2147483649.0), __LINE__},
      {int_(65536), ACT_MULTIPLY, int_(65536), flt(4294967296.0), __LINE__},
      {int_(-2147483647), ACT_SUBTRACT, int_(1), int_(-2147483648), __LINE__},
      {int_(7), ACT_DIVIDE, int_(2), flt(3.5), __LINE__},
      {int_(-6), ACT_DIVIDE, int_(3), int_(-2), __LINE__},
      {int_(-7), ACT_REMAINDER, int_(2), int_(-1), __LINE__},
      {int_(7), ACT_REMAINDER, int_(-2), int_(1), __LINE__},
      {int_(12), ACT_AND_T, int_(10), int_(8), __LINE__},
      {int_(12), ACT_OR_T, int_(10), int_(14), __LINE__},
      {int_(12), ACT_XOR_T, int_(10), int_(6), __LINE__},
      {int_(1), ACT_ADD, chr('a'), int_(98), __LINE__},
      {int_(1), ACT_ADD, flt(0.5), flt(1.5), __LINE__},
      {int_(1), ACT_ADD, test::pct(0.5), flt(1.5), __LINE__},
      {int_(1), ACT_SUBTRACT, test::xy(2, 3), test::xy(-1, -2), __LINE__},
      {int_(1), ACT_ADD, test::pt(1, 2), test::pt(2, 3), __LINE__},
      {int_(1), ACT_SUBTRACT, test::pt(1, 2), test::pt(0, -1), __LINE__},
      {int_(2), ACT_MULTIPLY, test::tup({200, 1, 1}), test::tup({255, 2, 2}), __LINE__},
      {int_(3), ACT_ADD, test::pt(1, 2, 3), test::pt(4, 5, 6), __LINE__},
  };
  for (const row& r : rows) expect_same(operate(r.action, r.left, r.right), r.result, r.line);
}

TEST_F(integer_math, errors_of_the_core_and_of_mixed_operands) {
  struct row { cell left; int32_t action; cell right; error_id error; };
  const row rows[] = {
      {int_(1), ACT_DIVIDE, int_(0), err::math_zero_divide},
      {int_(1), ACT_REMAINDER, int_(0), err::math_zero_divide},
      {int_(-2147483648), ACT_DIVIDE, int_(-1), err::math_overflow},
      {int_(-2147483648), ACT_REMAINDER, int_(-1), err::math_overflow},
      {int_(1), ACT_DIVIDE, test::xy(2, 3), err::script_not_related},
      {int_(10), ACT_SUBTRACT, test::tup({1, 1, 1}), err::script_not_related},
      {int_(1), ACT_AND_T, flt(1.5), err::script_cannot_use},
      {int_(1), ACT_ADD, datatype::make_cell(TYPE_INTEGER), err::script_invalid_type},
      {int_(1), ACT_SUBTRACT, test::xy(-2147483648, 0), err::math_overflow},  // the pair is negated
  };
  for (const row& r : rows) {
    EXPECT_TRUE(raises(r.error, [&] { operate(r.action, r.left, r.right); })) << r.action;
  }
}

TEST_F(integer_math, power_leaves_the_integers_only_when_they_overflow) {
  struct row { int32_t base; cell exponent; cell result; int line; };
  const row rows[] = {
      {2, int_(30), int_(1073741824), __LINE__},
      {2, int_(31), flt(2147483648.0), __LINE__},
      {-2, int_(31), int_(-2147483647 - 1), __LINE__},
      {46341, int_(2), flt(2147488281.0), __LINE__},
      {-1, int_(2147483647), int_(-1), __LINE__},
      {3, int_(0), int_(1), __LINE__},
      {2, int_(-1), flt(0.5), __LINE__},
      {4, flt(0.5), flt(2.0), __LINE__},
  };
  for (const row& r : rows) expect_same(operate(ACT_POWER, int_(r.base), r.exponent), r.result, r.line);
  EXPECT_EQ(sysrec.thrown, 0u);
  EXPECT_TRUE(raises(err::script_expect_arg, [] { operate(ACT_POWER, int_(2), chr('a')); }));
}

TEST_F(integer_math, round_to_a_scale) {
  struct row { int32_t value, scale; test::round_flags flags; int32_t result; };
  const row rows[] = {
      {17, 5, {}, 15},          {18, 5, {}, 20},          {15, 10, {}, 20},
      {-15, 10, {}, -20},       {25, 10, {.even = 1}, 20}, {35, 10, {.even = 1}, 40},
      {15, 10, {.half_down = 1}, 10},  {-11, 5, {.floor = 1}, -15}, {-11, 5, {.ceiling = 1}, -10},
      {-15, 10, {.half_ceiling = 1}, -10}, {19, 10, {.down = 1}, 10}, {-19, -10, {}, -20},
      {7, 0, {}, 7},            {-2147483648, 1, {}, -2147483648},
      {-2147483648, 10, {.down = 1}, -2147483640}, {2147483647, 10, {.floor = 1}, 2147483640},
  };
  for (const row& r : rows) {
    cell scale = int_(r.scale);
    cell result = test::round(int_(r.value), &scale, r.flags);
    EXPECT_EQ(TYPE_OF(&result), TYPE_INTEGER);
    EXPECT_EQ(integer::get(&result), r.result) << r.value << " " << r.scale;
  }
  EXPECT_EQ(test::int_of(test::round(int_(-7), nullptr)), -7);

  // A float scale goes through the float rounding and gives a float.
  cell half = flt(0.5);
  cell r = test::round(int_(7), &half);
  EXPECT_EQ(TYPE_OF(&r), TYPE_FLOAT);
  EXPECT_EQ(get_float(&r), 7.0);

  // Results beyond 32 bits raise overflow; so does the scale -2147483648.
  for (auto [value, scale] : {std::pair{-2147483648, 10}, {2147483647, 10}, {5, -2147483648}}) {
    cell v = int_(value), s = int_(scale);
    EXPECT_TRUE(raises(err::math_overflow, [&] { test::round(v, &s); })) << value;
  }
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(int_(5), &money); }));
}

TEST_F(integer_math, to_integer_truncates_toward_zero_within_32_bits) {
  struct row { cell spec; int32_t value; };
  const row rows[] = {
      {flt(2147483647.9), 2147483647}, {flt(-2147483648.9), -2147483647 - 1}, {flt(2.9), 2},
      {flt(-2.9), -2}, {test::pct(1.5), 1}, {test::typed(TYPE_TIME, 1.6), 2}, {chr(0x10FFFF), 0x10FFFF},
      {test::bytes_of("\x01\x02", TYPE_BINARY), 258}, {test::bytes_of("", TYPE_BINARY), 0},
      {test::bytes_of("\xFF\xFF\xFF\xFF\x01", TYPE_BINARY), -1},
  };
  for (const row& r : rows) {
    cell result = test::make(TYPE_INTEGER, r.spec, ACT_TO);
    EXPECT_EQ(TYPE_OF(&result), TYPE_INTEGER);
    EXPECT_EQ(integer::get(&result), r.value);
  }
  for (double d : {2147483648.0, -2147483649.0, std::nan(""), HUGE_VAL}) {
    EXPECT_TRUE(raises(err::script_type_limit, [&] { test::make(TYPE_INTEGER, flt(d), ACT_TO); })) << d;
  }
  EXPECT_TRUE(raises(err::script_bad_to_arg, [] { test::make(TYPE_INTEGER, test::block_of({}), ACT_TO); }));
  // An issue reads as hexadecimal, 1 to 8 digits.
  cell ff, full, nine, empty, bad;
  issue::make_at(&ff, "FF");
  issue::make_at(&full, "ffffFFFF");
  issue::make_at(&nine, "123456789");
  issue::make_at(&empty, "");
  issue::make_at(&bad, "1G");
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, ff, ACT_TO)), 255);
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, full, ACT_TO)), -1);
  for (const cell& c : {nine, empty, bad})
    EXPECT_TRUE(raises(err::script_invalid_data, [&] { test::make(TYPE_INTEGER, c, ACT_TO); }));
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, logic::true_value)), 1);
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, logic::false_value)), 0);
}

TEST_F(integer_math, text_form) {
  for (int32_t n : {0, 7, -7, 9, 10, 99, 100, -100, 1009, 12345, 2147483647, -2147483647 - 1}) {
    EXPECT_EQ(integer::form_signed(n), std::to_string(n));
    EXPECT_EQ(test::formed(int_(n)), std::to_string(n));
    EXPECT_EQ(test::molded(int_(n)), std::to_string(n));
  }
}

TEST_F(integer_math, one_value_actions) {
  auto negate = datatype::action_of<negate_fn>(TYPE_INTEGER, ACT_NEGATE);
  auto complement = datatype::action_of<complement_fn>(TYPE_INTEGER, ACT_COMPLEMENT);
  cell v = int_(5);
  EXPECT_EQ(integer::get(negate(&v)), -5);
  EXPECT_EQ(integer::get(complement(&v)), 4);
  EXPECT_EQ(test::int_of(operate(ACT_ABSOLUTE, int_(-3))), 3);
  v = int_(-2147483647 - 1);
  EXPECT_TRUE(raises(err::math_overflow, [&] { negate(&v); }));
  EXPECT_TRUE(raises(err::math_overflow, [&] { operate(ACT_ABSOLUTE, v); }));
  for (int32_t n : {-3, -2, 0, 1, 2147483647}) {
    cell c = int_(n);
    EXPECT_EQ(datatype::action_of<even_q_fn>(TYPE_INTEGER, ACT_EVEN_Q)(&c), n % 2 == 0);
    EXPECT_EQ(datatype::action_of<odd_q_fn>(TYPE_INTEGER, ACT_ODD_Q)(&c), n % 2 != 0);
  }
}

TEST_F(integer_math, compare_with_numbers) {
  struct row { cell a, b; int32_t op, answer; };
  const row rows[] = {
      {int_(1), int_(2), COMP_LESSER, -1},     {int_(2), int_(-2), COMP_SORT, 1},
      {int_(1), flt(1.0), COMP_EQUAL, 0},      {int_(1), flt(1.0), COMP_STRICT_EQUAL, 1},
      {int_(3), flt(2.5), COMP_GREATER, 1},    {int_(97), chr('a'), COMP_EQUAL, 0},
      {int_(97), chr('a'), COMP_FIND, 1},      {int_(1), test::xy(1, 1), COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(integer_math, random_draws_within_the_value) {
  auto random = datatype::action_of<random_fn>(TYPE_INTEGER, ACT_RANDOM);
  cell seed = int_(42);
  EXPECT_EQ(TYPE_OF(random(&seed, 1, 0, 0)), TYPE_UNSET);
  for (int i = 0; i < 200; ++i) {
    cell up = int_(6), down = int_(-6), zero = int_(0);
    int32_t u = integer::get(random(&up, 0, 0, 0)), d = integer::get(random(&down, 0, 0, 0));
    EXPECT_TRUE(u >= 1 && u <= 6) << u;
    EXPECT_TRUE(d >= -6 && d <= -1) << d;
    EXPECT_EQ(integer::get(random(&zero, 0, 0, 0)), 0);
  }
}

// ---- char! -------------------------------------------------------------------

struct char_values : test::numbers {};

TEST_F(char_values, arithmetic_stays_within_code_points) {
  struct row { int32_t action; cell right; uint32_t result; };
  const row rows[] = {
      {ACT_ADD, int_(1), 'b'},       {ACT_MULTIPLY, int_(2), 194}, {ACT_DIVIDE, int_(2), 48},
      {ACT_SUBTRACT, chr(' '), 'A'}, {ACT_ADD, flt(1.7), 'b'},     {ACT_REMAINDER, int_(10), 7},
      {ACT_AND_T, int_(0xDF), 'A'},  {ACT_OR_T, int_(0x20), 'a'},  {ACT_XOR_T, int_(0x20), 'A'},
  };
  for (const row& r : rows) {
    cell result = operate(r.action, chr('a'), r.right);
    EXPECT_EQ(TYPE_OF(&result), TYPE_CHAR);
    EXPECT_EQ(result.data2, r.result) << r.action;
  }
  EXPECT_TRUE(raises(err::math_overflow, [] { operate(ACT_ADD, chr(0x10FFFF), int_(1)); }));
  EXPECT_TRUE(raises(err::math_overflow, [] { operate(ACT_SUBTRACT, chr(0), int_(1)); }));
  EXPECT_TRUE(raises(err::math_overflow, [] { operate(ACT_MULTIPLY, chr('a'), int_(2147483647)); }));
  EXPECT_TRUE(raises(err::math_overflow, [] { operate(ACT_ADD, chr('a'), flt(1e10)); }));
  EXPECT_TRUE(raises(err::math_zero_divide, [] { operate(ACT_DIVIDE, chr('a'), int_(0)); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [] { operate(ACT_ADD, chr('a'), test::xy(1, 1)); }));
}

TEST_F(char_values, inherited_actions_keep_the_type) {
  cell result = operate(ACT_ABSOLUTE, chr('a'));
  EXPECT_EQ(TYPE_OF(&result), TYPE_CHAR);
  cell c = chr('a');
  EXPECT_TRUE(datatype::action_of<odd_q_fn>(TYPE_CHAR, ACT_ODD_Q)(&c));
  cell* drawn = datatype::action_of<random_fn>(TYPE_CHAR, ACT_RANDOM)(&c, 0, 0, 0);
  EXPECT_EQ(TYPE_OF(drawn), TYPE_CHAR);
  EXPECT_TRUE(drawn->data2 >= 1 && drawn->data2 <= 'a');
  EXPECT_EQ(datatype::entry_of(TYPE_CHAR, ACT_NEGATE), nullptr);
}

TEST_F(char_values, to_char) {
  cell text = test::bytes_of("h\xE9", TYPE_STRING);  // Latin-1 units
  text.data1 = 1;
  struct row { cell spec; uint32_t cp; };
  const row rows[] = {
      {flt(65.9), 'A'}, {int_(0x10FFFF), 0x10FFFF}, {test::pct(66.0), 'B'}, {text, 0xE9},
      {test::bytes_of("\xE2\x82\xAC!", TYPE_BINARY), 0x20AC}, {test::bytes_of("A", TYPE_BINARY), 'A'},
  };
  for (const row& r : rows) {
    cell result = test::make(TYPE_CHAR, r.spec, ACT_TO);
    EXPECT_EQ(TYPE_OF(&result), TYPE_CHAR);
    EXPECT_EQ(result.data2, r.cp);
  }
  struct bad { cell spec; error_id error; };
  const bad bads[] = {
      {int_(0x110000), err::script_out_of_range}, {int_(-1), err::script_out_of_range},
      {flt(1e20), err::script_out_of_range},      {flt(std::nan("")), err::script_out_of_range},
      {test::bytes_of("", TYPE_STRING), err::script_bad_to_arg},
      {test::bytes_of("\xE2\x82", TYPE_BINARY), err::script_bad_to_arg},
      {test::xy(1, 1), err::script_bad_to_arg},
  };
  for (const bad& b : bads) EXPECT_TRUE(raises(b.error, [&] { test::make(TYPE_CHAR, b.spec, ACT_TO); }));
}

TEST_F(char_values, form_and_mold_escape_as_strings_do) {
  struct row { uint32_t cp; std::string form; const char *mold, *mold_all; };
  const row rows[] = {
      {'a', "a", "#\"a\"", "#\"a\""},
      {'\t', "\t", "#\"^-\"", "#\"^-\""},
      {'\n', "\n", "#\"^/\"", "#\"^/\""},
      {0, std::string(1, '\0'), "#\"^@\"", "#\"^@\""},
      {0x1E, "\x1E", "#\"^(1E)\"", "#\"^(1E)\""},
      {'"', "\"", "#\"^\"\"", "#\"^\"\""},
      {'^', "^", "#\"^^\"", "#\"^^\""},
      {0x7F, "\x7F", "#\"^~\"", "#\"^~\""},
      {0x85, "\xC2\x85", "#\"^(85)\"", "#\"^(85)\""},
      {0xE9, "\xC3\xA9", "#\"\xC3\xA9\"", "#\"^(E9)\""},
      {0x20AC, "\xE2\x82\xAC", "#\"\xE2\x82\xAC\"", "#\"^(20AC)\""},
  };
  for (const row& r : rows) {
    EXPECT_EQ(test::formed(chr(r.cp)), r.form) << r.cp;
    EXPECT_EQ(test::molded(chr(r.cp)), r.mold) << r.cp;
    EXPECT_EQ(test::molded(chr(r.cp), true), r.mold_all) << r.cp;
  }
}

TEST_F(char_values, compare_with_integers_but_not_strictly) {
  EXPECT_EQ(test::compare(chr('a'), int_(97), COMP_EQUAL), 0);
  EXPECT_EQ(test::compare(chr('a'), int_(97), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(test::compare(chr('a'), chr('b'), COMP_LESSER), -1);
  EXPECT_EQ(test::compare(chr('a'), flt(97.0), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(char_values, triple_forms_as_its_construction) {
  cell t = triple::make_cell(-2147483647 - 1, 0, 7);
  EXPECT_EQ(test::formed(t), "make triple! [-2147483648 0 7]");
  EXPECT_EQ(test::molded(t), "make triple! [-2147483648 0 7]");
}

}  // namespace
}  // namespace ixo
