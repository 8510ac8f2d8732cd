#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/interpreter/natives_math.hpp"
#include "support/natives.hpp"

namespace ixo {
namespace {

using test::call_entry;
using test::chr;
using test::flt;
using test::int_;
using test::molded;
using test::pct;
using test::pt;
using test::str;
using test::tup;
using test::xy;
using test::float_of;
using test::int_of;

struct natives_math : test::natives_suite {};

TEST_F(natives_math, sign_negative_and_positive_agree_on_every_signed_type) {
  struct row {
    cell value;
    int32_t sign;  // sign?; negative? and positive? follow from it
    int line;
  };
  const row rows[] = {
      {int_(-3), -1, __LINE__},          {int_(0), 0, __LINE__},
      {int_(7), 1, __LINE__},            {flt(-0.5), -1, __LINE__},
      {flt(-0.0), 0, __LINE__},          {flt(2.0), 1, __LINE__},
      {pct(-0.1), -1, __LINE__},         {time::make_cell(-60.0), -1, __LINE__},
      {time::make_cell(0.0), 0, __LINE__}, {money::from_integer(-5), -1, __LINE__},
      {money::from_integer(0), 0, __LINE__}, {money::from_integer(5), 1, __LINE__},
  };
  for (const row& r : rows) {
    EXPECT_EQ(int_of(call_entry(natives::sign_q, {r.value})), r.sign) << "line " << r.line;
    EXPECT_EQ(call_entry(natives::negative_q, {r.value}).data1 != 0, r.sign < 0) << "line " << r.line;
    EXPECT_EQ(call_entry(natives::positive_q, {r.value}).data1 != 0, r.sign > 0) << "line " << r.line;
  }
  // A NaN is neither negative nor positive, and has no sign to answer.
  EXPECT_FALSE(call_entry(natives::negative_q, {flt(NAN)}).data1);
  EXPECT_FALSE(call_entry(natives::positive_q, {flt(NAN)}).data1);
  EXPECT_TRUE(test::raises(err::script_invalid_arg, [] { call_entry(natives::sign_q, {flt(NAN)}); }));
  EXPECT_TRUE(test::raises(err::script_expect_arg, [] { call_entry(natives::sign_q, {str("1")}); }));
}

TEST_F(natives_math, zero_and_nan_tests) {
  struct row {
    cell value;
    bool zero;
    int line;
  };
  const row rows[] = {
      {int_(0), true, __LINE__},        {int_(1), false, __LINE__},     {flt(-0.0), true, __LINE__},
      {flt(NAN), false, __LINE__},      {pct(0.0), true, __LINE__},     {chr(0), true, __LINE__},
      {chr('a'), false, __LINE__},      {xy(0, 0), true, __LINE__},     {xy(1, 0), false, __LINE__},
      {tup({0, 0, 0}), true, __LINE__}, {tup({0, 1, 0}), false, __LINE__},
      {pt(0.0f, -0.0f), true, __LINE__}, {pt(0.0f, 0.0f, 1.0f), false, __LINE__},
      {money::from_integer(0), true, __LINE__}, {time::make_cell(0.0), true, __LINE__},
      {str(""), false, __LINE__},
  };
  for (const row& r : rows) EXPECT_EQ(call_entry(natives::zero_q, {r.value}).data1 != 0, r.zero) << "line " << r.line;
  EXPECT_TRUE(call_entry(natives::NaN_q, {flt(NAN)}).data1);
  EXPECT_TRUE(call_entry(natives::NaN_q, {pct(NAN)}).data1);
  EXPECT_FALSE(call_entry(natives::NaN_q, {flt(INFINITY)}).data1);
  EXPECT_FALSE(call_entry(natives::NaN_q, {int_(0)}).data1);
}

TEST_F(natives_math, max_and_min) {
  struct row {
    cell a, b;
    const char* max;  // molded
    const char* min;
    int line;
  };
  const row rows[] = {
      {int_(1), int_(2), "2", "1", __LINE__},
      {int_(1), flt(2.5), "2.5", "1", __LINE__},
      {xy(1, 5), int_(3), "3x5", "1x3", __LINE__},
      {int_(3), xy(1, 5), "3x5", "1x3", __LINE__},
      {xy(1, 5), xy(4, 2), "4x5", "1x2", __LINE__},
      {xy(1, 5), flt(2.9), "2x5", "1x2", __LINE__},
      {xy(1, 5), flt(1e10), "(1e10, 1e10)", "(1, 5)", __LINE__},
      {tup({1, 2, 3}), int_(300), "255.255.255", "1.2.3", __LINE__},
      {tup({1, 2, 3}), int_(-5), "1.2.3", "0.0.0", __LINE__},
      {tup({1, 20, 3}), tup({4, 5, 6}), "4.20.6", "1.5.3", __LINE__},
      {pt(1.0f, 5.0f), int_(3), "(3, 5)", "(1, 3)", __LINE__},
      {pt(1.0f, 5.0f), xy(2, 2), "(2, 5)", "(1, 2)", __LINE__},
      {pt(1.0f, 5.0f, 9.0f), flt(4.0), "(4, 5, 9)", "(1, 4, 4)", __LINE__},
      {str("abc"), str("abd"), "\"abd\"", "\"abc\"", __LINE__},
  };
  for (const row& r : rows) {
    EXPECT_EQ(molded(call_entry(natives::max, {r.a, r.b})), r.max) << "line " << r.line;
    EXPECT_EQ(molded(call_entry(natives::min, {r.a, r.b})), r.min) << "line " << r.line;
  }
  // A NaN wins against any number, on either side.
  for (test::entry_fn native : {natives::max, natives::min}) {
    EXPECT_TRUE(std::isnan(float_of(call_entry(native, {flt(1.5), flt(NAN)}))));
    EXPECT_TRUE(std::isnan(float_of(call_entry(native, {flt(NAN), int_(1)}))));
  }
  EXPECT_TRUE(test::raises(err::script_type_limit, [] { call_entry(natives::max, {tup({1, 2, 3}), flt(1e10)}); }));
  EXPECT_TRUE(test::raises(err::script_type_limit, [] { call_entry(natives::min, {flt(NAN), tup({1, 2, 3})}); }));
  EXPECT_TRUE(test::raises(err::script_invalid_compare, [] { call_entry(natives::max, {str("a"), int_(1)}); }));
}

TEST_F(natives_math, shift) {
  struct row {
    int32_t data, bits;
    bool left, logical;
    int32_t result;
  };
  const row rows[] = {
      {-8, 1, false, false, -4},         {-8, 1, false, true, 2147483644}, {1, 32, false, false, 0},
      {-1, 40, false, false, -1},        {1, 31, true, false, INT32_MIN},  {1, 32, true, false, 0},
      {-1, 32, false, true, 0},          {5, -3, false, false, 5},         {3, 2, true, true, 12},
      {INT32_MIN, 31, false, false, -1}, {INT32_MIN, 31, false, true, 1},  {0x40000000, 2, true, false, 0},
  };
  for (const row& r : rows) {
    // /left sits at index 2 and /logical after it, as the interpreter passes them.
    cell result = call_entry(natives::shift, {int_(r.data), int_(r.bits)}, {r.left ? 2 : -1, r.logical ? 2 : -1});
    EXPECT_EQ(int_of(result), r.result) << r.data << " by " << r.bits << (r.left ? " left" : "") << (r.logical ? " logical" : "");
  }
}

TEST_F(natives_math, trigonometry_in_degrees_and_radians) {
  constexpr double pi = std::numbers::pi;
  struct row {
    test::entry_fn native;
    cell angle;
    bool radians;
    double result;
    int line;
  };
  const row rows[] = {
      {natives::sine, int_(30), false, 0.49999999999999994, __LINE__},
      {natives::sine, int_(180), false, 0.0, __LINE__},
      {natives::sine, flt(-90.0), false, -1.0, __LINE__},
      {natives::sine, flt(pi), true, 0.0, __LINE__},
      {natives::cosine, int_(90), false, 0.0, __LINE__},
      {natives::cosine, int_(450), false, 0.0, __LINE__},
      {natives::cosine, int_(180), false, -1.0, __LINE__},
      {natives::tangent, int_(90), false, INFINITY, __LINE__},
      {natives::tangent, int_(-90), false, -INFINITY, __LINE__},
      {natives::tangent, int_(45), false, 0.9999999999999999, __LINE__},
      {natives::arcsine, int_(1), false, 90.0, __LINE__},
      {natives::arcsine, int_(1), true, pi / 2, __LINE__},
      {natives::arccosine, int_(-1), false, 180.0, __LINE__},
      {natives::arctangent, int_(1), false, 45.0, __LINE__},
      {natives::arctangent, flt(INFINITY), true, pi / 2, __LINE__},
  };
  for (const row& r : rows) {
    cell result = call_entry(r.native, {r.angle}, {r.radians ? 1 : -1});
    ASSERT_EQ(TYPE_OF(&result), static_cast<uint32_t>(TYPE_FLOAT)) << "line " << r.line;
    EXPECT_EQ(float_of(result), r.result) << "line " << r.line;
  }
  EXPECT_EQ(molded(call_entry(natives::sine, {int_(30)}, {-1})), "0.49999999999999994");
  EXPECT_TRUE(std::isnan(float_of(call_entry(natives::arcsine, {int_(2)}, {-1}))));

  EXPECT_EQ(float_of(call_entry(natives::arctangent2, {int_(1), int_(1)}, {-1})), 45.0);
  EXPECT_EQ(float_of(call_entry(natives::arctangent2, {flt(0.0), int_(-1)}, {-1})), 180.0);
  EXPECT_EQ(float_of(call_entry(natives::arctangent2, {int_(-1), flt(0.0)}, {2})), -pi / 2);
}

TEST_F(natives_math, logarithms_exp_and_square_root) {
  struct row {
    test::entry_fn native;
    cell value;
    double result;
    int line;
  };
  const row rows[] = {
      {natives::log_2, int_(8), 3.0, __LINE__},
      {natives::log_2, flt(0.5), -1.0, __LINE__},
      {natives::log_10, int_(1000), 3.0, __LINE__},
      {natives::log_10, pct(1.0), 0.0, __LINE__},
      {natives::log_e, int_(1), 0.0, __LINE__},
      {natives::log_e, int_(0), -INFINITY, __LINE__},
      {natives::exp, int_(0), 1.0, __LINE__},
      {natives::exp, int_(1), 2.718281828459045, __LINE__},
      {natives::square_root, int_(16), 4.0, __LINE__},
      {natives::square_root, pct(0.25), 0.5, __LINE__},
  };
  for (const row& r : rows) {
    cell result = call_entry(r.native, {r.value});
    ASSERT_EQ(TYPE_OF(&result), static_cast<uint32_t>(TYPE_FLOAT)) << "line " << r.line;
    EXPECT_EQ(float_of(result), r.result) << "line " << r.line;
  }
  // Domain errors are NaN, never language errors.
  EXPECT_TRUE(std::isnan(float_of(call_entry(natives::square_root, {int_(-1)}))));
  EXPECT_TRUE(std::isnan(float_of(call_entry(natives::log_10, {flt(-1.0)}))));
}

}  // namespace
}  // namespace ixo
