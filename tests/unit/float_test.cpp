#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "runtime/datatypes/unset.hpp"
#include "startup/system/dtoa.hpp"
#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"

namespace ixo {
namespace {

using test::flt;
using test::int_;
using test::operate;
using test::pct;
using test::raises;

struct float_values : test::numbers {
  void TearDown() override { float_::pretty_q = true; }
};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

void expect_float(const cell& c, uint32_t type, double d, int line) {
  EXPECT_EQ(TYPE_OF(&c), type) << "line " << line;
  if (std::isnan(d)) EXPECT_TRUE(std::isnan(get_float(&c))) << "line " << line;
  else EXPECT_EQ(get_float(&c), d) << "line " << line;
}

TEST_F(float_values, form_is_pretty_and_mold_is_exact) {
  struct row { double value; const char *form, *mold; };
  const row rows[] = {
      {0.1 + 0.2, "0.3", "0.30000000000000004"},
      {0.1 + 0.7, "0.8", "0.7999999999999999"},
      {-(0.1 + 0.7), "-0.8", "-0.7999999999999999"},
      {1e20, "1.0e20", "1.0e20"},
      {3.0, "3.0", "3.0"},
      {1.5e-7, "1.5e-7", "0.00000015"},
      {9869964406.0129509, "9869964406.01295", "9869964406.01295"},
      {1e16, "1.0e16", "10000000000000000.0"},
      {123456.5, "123456.5", "123456.5"},
      {0.0001, "0.0001", "0.0001"},
      {1e-17, "0.0", "1.0e-17"},
      {1.0 / 3, "0.3333333333333333", "0.3333333333333333"},
      {INF, "1.#INF", "1.#INF"},
      {-INF, "-1.#INF", "-1.#INF"},
      {NaN, "1.#NaN", "1.#NaN"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(test::formed(flt(r.value)), r.form) << r.value;
    EXPECT_EQ(test::molded(flt(r.value)), r.mold) << r.value;
  }
  float_::pretty_q = false;
  EXPECT_EQ(test::formed(flt(1e-17)), "1.0e-17");
  EXPECT_EQ(test::formed(flt(0.1 + 0.7)), "0.7999999999999999");
}

// The C library's "%.16g", or "%.14g" for a value whose 16 digits end in
// "01" or "99", with the exponent compacted and ".0" completing a text
// without a point.
std::string reference_form(double v) {
  auto format = [](double d, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, d);
    return std::string(text);
  };
  std::string t = format(v, 16);
  std::string body = t[0] == '-' ? t.substr(1) : t;
  size_t e = body.find('e');
  size_t length = e == std::string::npos ? body.size() : e;
  bool full = e != std::string::npos ? length > 16 : length > (body[0] == '0' ? 17u : 16u);
  std::string tail = body.substr(length - 2, 2);
  if (full && (tail == "01" || tail == "99")) t = format(v, 14);
  e = t.find('e');
  if (e != std::string::npos) {
    std::string exponent = t.substr(e + 1);
    bool negative = exponent[0] == '-';
    exponent = exponent.substr(exponent.find_first_not_of("+-0"));
    t = t.substr(0, e) + "e" + (negative ? "-" : "") + exponent;
  }
  if (t.find('.') == std::string::npos) {
    e = t.find('e');
    t.insert(e == std::string::npos ? t.size() : e, ".0");
  }
  return t;
}

// True when the 16 significant digits the C library rounds to are the
// digits of the float/text conversion capped at 16. They differ where the
// shortest digits that read back are fewer and "%.16g" adds a noise digit,
// which the former leaves out.
bool same_digits_as_c(double v) {
  int32_t point, sign, count;
  std::string digits = dtoa::form_digits(v, 16, point, sign, count, false);
  char text[64];
  std::snprintf(text, sizeof text, "%.15e", std::fabs(v));
  std::string c(text, std::strchr(text, 'e'));
  c.erase(1, 1);  // the point
  c.erase(c.find_last_not_of('0') + 1);
  return c == digits;
}

TEST_F(float_values, form_lays_digits_out_as_the_c_library_does) {
  std::mt19937_64 bits(20240611);
  std::uniform_int_distribution<int> decimals(0, 12), mantissa(1, 999999);
  int compared = 0;
  for (int i = 0; i < 20000; ++i) {
    double v = i % 2 ? std::bit_cast<double>(bits()) : mantissa(bits) / std::pow(10.0, decimals(bits));
    if (!std::isfinite(v) || std::fabs(v) < 2.220446049250313e-16 || !same_digits_as_c(v)) continue;
    ++compared;
    ASSERT_EQ(float_::form_float(v, float_::FORM_FLOAT), reference_form(v)) << v;
  }
  EXPECT_GT(compared, 12000);
}

TEST_F(float_values, form_kinds) {
  struct row { double value; int32_t kind; const char* text; };
  const row rows[] = {
      {12.5, float_::FORM_PERCENT, "12.5%"},   {1e-20, float_::FORM_PERCENT, "0%"},
      {100.0, float_::FORM_PERCENT, "100%"},   {100.0 / 3, float_::FORM_PERCENT, "33.33333333333%"},
      {2.0, float_::FORM_COORDINATE, "2"},     {1e-20, float_::FORM_COORDINATE, "0"},
      {static_cast<float>(0.1), float_::FORM_COORDINATE, "0.1"},
      {static_cast<float>(0.1), float_::FORM_FLOAT32, "0.1"},
      {5.25, float_::FORM_SECONDS, "5.25"},    {1.0 / 3, float_::FORM_SECONDS, "0.333333"},
  };
  for (const row& r : rows) EXPECT_STREQ(float_::form_float(r.value, r.kind), r.text) << r.value;
}

TEST_F(float_values, arithmetic_and_result_types) {
  struct row { cell left; int32_t action; cell right; uint32_t type; double result; int line; };
  const row rows[] = {
      {flt(1.0), ACT_DIVIDE, flt(0.0), TYPE_FLOAT, INF, __LINE__},
      {flt(0.0), ACT_DIVIDE, flt(0.0), TYPE_FLOAT, NaN, __LINE__},
      {flt(5.5), ACT_REMAINDER, flt(INF), TYPE_FLOAT, 5.5, __LINE__},
      {flt(INF), ACT_REMAINDER, flt(INF), TYPE_FLOAT, NaN, __LINE__},
      {flt(5.5), ACT_REMAINDER, flt(NaN), TYPE_FLOAT, NaN, __LINE__},
      {flt(-7.5), ACT_REMAINDER, int_(2), TYPE_FLOAT, -1.5, __LINE__},
      {flt(1.5), ACT_ADD, int_(1), TYPE_FLOAT, 2.5, __LINE__},
      {flt(1.5), ACT_ADD, test::chr(1), TYPE_FLOAT, 2.5, __LINE__},
      {flt(1.5), ACT_ADD, pct(0.5), TYPE_FLOAT, 2.0, __LINE__},
      {pct(0.5), ACT_MULTIPLY, flt(3.0), TYPE_PERCENT, 1.5, __LINE__},
      {pct(0.5), ACT_MULTIPLY, pct(0.5), TYPE_PERCENT, 0.25, __LINE__},
      {test::typed(TYPE_TIME, 60.0), ACT_MULTIPLY, flt(1.5), TYPE_TIME, 90.0, __LINE__},
      {flt(1.5), ACT_ADD, test::typed(TYPE_TIME, 60.0), TYPE_TIME, 61.5, __LINE__},
  };
  // time! takes its arithmetic from here.
  for (const row& r : rows) expect_float(operate(r.action, r.left, r.right, TYPE_FLOAT), r.type, r.result, r.line);
  EXPECT_EQ(test::formed(operate(ACT_ADD, pct(0.001), pct(0.002))), "0.3%");

  struct bad { cell left; int32_t action; cell right; error_id error; };
  const bad bads[] = {
      {pct(0.5), ACT_ADD, test::chr(1), err::script_invalid_type},
      {flt(1.5), ACT_SUBTRACT, test::xy(1, 2), err::script_not_related},
      {flt(1.5), ACT_DIVIDE, test::pt(1, 2), err::script_not_related},
      {test::typed(TYPE_TIME, 1.0), ACT_ADD, test::xy(1, 2), err::script_invalid_type},
      {flt(1.5), ACT_ADD, test::block_of({}), err::script_invalid_type},
  };
  for (const bad& b : bads) {
    EXPECT_TRUE(raises(b.error, [&] { operate(b.action, b.left, b.right, TYPE_FLOAT); })) << b.action;
  }
  EXPECT_TRUE(raises(err::script_cannot_use, [] { float_::do_math_op(integer::OP_XOR, 1.0, 2.0); }));
}

TEST_F(float_values, composites_take_a_float_on_the_left_as_on_the_right) {
  cell p = operate(ACT_ADD, flt(1.7), test::xy(1, 2));
  EXPECT_EQ(TYPE_OF(&p), TYPE_PAIR);
  EXPECT_EQ(pair::x_of(&p), 2);
  EXPECT_EQ(pair::y_of(&p), 3);
  cell q = operate(ACT_MULTIPLY, flt(2.0), test::pt(1, 2));
  EXPECT_EQ(test::compare(q, test::pt(2, 4), COMP_STRICT_EQUAL), 0);
  cell t = operate(ACT_ADD, flt(0.5), test::tup({1, 1, 1}));
  EXPECT_EQ(test::formed(t), "1.1.1");
}

TEST_F(float_values, equality_is_tolerant_and_orderings_with_nan_are_false) {
  cell sum = flt(0.1 + 0.2), third = flt(0.3);
  EXPECT_TRUE(actions::compare(&sum, &third, COMP_EQUAL));
  EXPECT_FALSE(actions::compare(&sum, &third, COMP_STRICT_EQUAL));
  double one = 1.0, ten_up = 1.0, eleven_up;
  for (int i = 0; i < 10; ++i) ten_up = std::nextafter(ten_up, 2.0);
  eleven_up = std::nextafter(ten_up, 2.0);
  EXPECT_TRUE(float_::almost_equal_q(one, ten_up));
  EXPECT_FALSE(float_::almost_equal_q(one, eleven_up));
  EXPECT_TRUE(float_::almost_equal_q(-one, -ten_up));
  EXPECT_TRUE(float_::almost_equal_q(1e-300, -1e-300));
  EXPECT_FALSE(float_::almost_equal_q(NaN, NaN));
  EXPECT_TRUE(float_::almost_equal32_q(0.0f, -0.0f));
  EXPECT_TRUE(float_::almost_equal32_q(0.2f, 0.2000001f));
  EXPECT_FALSE(float_::almost_equal32_q(0.2f, 0.20001f));

  for (int32_t op : {COMP_EQUAL, COMP_STRICT_EQUAL, COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER,
                     COMP_GREATER_EQUAL}) {
    for (auto [a, b] : {std::pair{NaN, 1.0}, {1.0, NaN}, {NaN, NaN}}) {
      cell x = flt(a), y = flt(b);
      EXPECT_FALSE(actions::compare(&x, &y, op)) << op;
    }
  }
  struct row { cell a, b; int32_t op, answer; };
  const row rows[] = {
      {flt(1.0), int_(1), COMP_EQUAL, 0},          {flt(1.0), pct(1.0), COMP_EQUAL, 0},
      {flt(1.0), pct(1.0), COMP_STRICT_EQUAL, 1},  {flt(1.0), int_(1), COMP_SAME, 1},
      {flt(0.0), flt(-0.0), COMP_SAME, 1},         {flt(0.0), flt(-0.0), COMP_STRICT_EQUAL, 0},
      {flt(NaN), flt(1.0), COMP_SORT, 1},          {flt(1.0), flt(NaN), COMP_SORT, -1},
      {flt(2.5), int_(3), COMP_LESSER, -1},        {flt(1.0), test::chr(1), COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(float_values, round_by_refinement_and_scale) {
  struct row { double value; cell scale; bool to; test::round_flags flags; uint32_t type; double result; };
  const cell none{};
  const row rows[] = {
      {1.2345, flt(0.01), true, {}, TYPE_FLOAT, 1.23},
      {2.5, int_(1), true, {}, TYPE_INTEGER, 3},
      {2.5, none, false, {.even = 1}, TYPE_FLOAT, 2.0},
      {3.5, none, false, {.even = 1}, TYPE_FLOAT, 4.0},
      {2.5, none, false, {.half_down = 1}, TYPE_FLOAT, 2.0},
      {-2.5, none, false, {}, TYPE_FLOAT, -3.0},
      {-2.5, none, false, {.ceiling = 1}, TYPE_FLOAT, -2.0},
      {-2.5, none, false, {.floor = 1}, TYPE_FLOAT, -3.0},
      {-2.5, none, false, {.half_ceiling = 1}, TYPE_FLOAT, -2.0},
      {-2.7, none, false, {.down = 1}, TYPE_FLOAT, -2.0},
      {17.0, flt(-5.0), true, {}, TYPE_FLOAT, 15.0},
      {1.7, flt(0.0), true, {}, TYPE_FLOAT, 1.7},
      {1e300, flt(1.0), true, {}, TYPE_FLOAT, 1e300},
      {1.26, pct(0.5), true, {}, TYPE_PERCENT, 1.5},
      {3e-310, flt(2e-310), true, {}, TYPE_FLOAT, 4e-310},
      {7e-323, flt(1e-323), true, {}, TYPE_FLOAT, 7e-323},
  };
  for (const row& r : rows) {
    cell result = test::round(flt(r.value), r.to ? &r.scale : nullptr, r.flags);
    EXPECT_EQ(TYPE_OF(&result), r.type) << r.value;
    if (r.type == TYPE_INTEGER) EXPECT_EQ(integer::get(&result), r.result) << r.value;
    else EXPECT_DOUBLE_EQ(get_float(&result), r.result) << r.value;
  }
  // Percents round to 1% by default and read a /to scale in percent.
  EXPECT_DOUBLE_EQ(test::float_of(test::round(pct(0.12345), nullptr)), 0.12);
  cell one = int_(1);
  cell whole = test::round(pct(0.12345), &one);
  EXPECT_EQ(TYPE_OF(&whole), TYPE_INTEGER);
  EXPECT_EQ(integer::get(&whole), 0);

  cell big = flt(1e308);
  EXPECT_TRUE(raises(err::math_overflow, [&] { test::round(flt(1.7976931348623157e308), &big); }));
  EXPECT_TRUE(raises(err::math_overflow, [&] { test::round(flt(1e10), &one); }));
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(flt(1.0), &money); }));
}

TEST_F(float_values, make_and_to) {
  struct row { uint32_t type; cell spec; double value; };
  const row rows[] = {
      {TYPE_FLOAT, test::block_of({int_(1), int_(2)}), 100.0},
      {TYPE_FLOAT, test::block_of({flt(1.5), flt(-1.9)}), 0.15},
      {TYPE_FLOAT, int_(3), 3.0},
      {TYPE_FLOAT, test::chr('a'), 97.0},
      {TYPE_FLOAT, pct(0.25), 0.25},
      {TYPE_FLOAT, test::typed(TYPE_TIME, 90.0), 90.0},
      {TYPE_FLOAT, test::bytes_of(std::string("\x3F\xF0\0\0\0\0\0\0\xFF", 9), TYPE_BINARY), 1.0},
      {TYPE_FLOAT, test::bytes_of("\x01", TYPE_BINARY), 5e-324},
      {TYPE_PERCENT, int_(1), 1.0},
      {TYPE_PERCENT, flt(0.5), 0.5},
  };
  for (const row& r : rows) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) {
      cell result = test::make(r.type, r.spec, action);
      EXPECT_EQ(TYPE_OF(&result), r.type);
      EXPECT_DOUBLE_EQ(get_float(&result), r.value);
    }
  }
  EXPECT_EQ(test::formed(test::make(TYPE_PERCENT, int_(1), ACT_TO)), "100%");
  for (const cell& spec : {test::block_of({int_(1)}), test::block_of({int_(1), test::chr('a')}), test::xy(1, 1)}) {
    EXPECT_TRUE(raises(err::script_bad_to_arg, [&] { test::make(TYPE_FLOAT, spec, ACT_TO); }));
  }
}

TEST_F(float_values, one_value_actions) {
  cell r = operate(ACT_POWER, flt(2.0), flt(0.5));
  EXPECT_DOUBLE_EQ(get_float(&r), std::sqrt(2.0));
  r = operate(ACT_POWER, flt(4.0), int_(-1));
  EXPECT_EQ(get_float(&r), 0.25);
  EXPECT_TRUE(raises(err::script_expect_arg, [] { operate(ACT_POWER, flt(2.0), pct(0.5)); }));
  EXPECT_EQ(test::float_of(operate(ACT_ABSOLUTE, flt(-2.5))), 2.5);
  cell zero = flt(0.0), pos = flt(1.5);
  auto negate = datatype::action_of<negate_fn>(TYPE_FLOAT, ACT_NEGATE);
  EXPECT_FALSE(std::signbit(get_float(negate(&zero))));
  EXPECT_EQ(get_float(negate(&pos)), -1.5);

  struct parity { double value; bool even, odd; };
  const parity rows[] = {
      {2.5, true, false}, {3.9, false, true}, {-3.0, false, true}, {-0.5, true, false},
      {1e20, true, false}, {4294967297.0, false, true}, {INF, false, false}, {NaN, false, false},
  };
  for (const parity& p : rows) {
    cell c = flt(p.value);
    EXPECT_EQ(datatype::action_of<even_q_fn>(TYPE_FLOAT, ACT_EVEN_Q)(&c), p.even) << p.value;
    EXPECT_EQ(datatype::action_of<odd_q_fn>(TYPE_FLOAT, ACT_ODD_Q)(&c), p.odd) << p.value;
  }
}

TEST_F(float_values, random_draws_between_zero_and_the_value) {
  auto random = datatype::action_of<random_fn>(TYPE_FLOAT, ACT_RANDOM);
  cell seed = flt(42.0);
  EXPECT_EQ(TYPE_OF(random(&seed, 1, 0, 0)), TYPE_UNSET);
  for (int32_t secure : {0, 1}) {
    for (int i = 0; i < 100; ++i) {
      cell c = flt(-3.0);
      double d = get_float(random(&c, 0, secure, 0));
      EXPECT_TRUE(d <= 0.0 && d >= -3.0) << d;
    }
  }
}

TEST_F(float_values, percent_text) {
  struct row { double fraction; const char* text; };
  const row rows[] = {{0.125, "12.5%"}, {1.0, "100%"}, {-0.5, "-50%"}, {0.0, "0%"}, {1e-3, "0.1%"}};
  for (const row& r : rows) {
    EXPECT_EQ(test::formed(pct(r.fraction)), r.text);
    EXPECT_EQ(test::molded(pct(r.fraction)), r.text);
  }
}

}  // namespace
}  // namespace ixo
