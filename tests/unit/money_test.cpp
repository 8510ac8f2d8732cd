#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/datatypes/currency.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo {
namespace {

using test::flt;
using test::int_;
using test::molded;
using test::operate;
using test::raised;

struct money_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    currency::init();
    money::init();
  }
};

cell code(const char* spelling) {
  cell w{};
  word::make_at(symbol::make(spelling), &w);
  return w;
}

// "USD$1'234.5", "-$0.50" or "$7": the literal's parts given to make_at.
cell money_of(const std::string& literal) {
  std::string s = literal;
  bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  size_t dollar = s.find('$');
  cell currency = dollar ? code(s.substr(0, dollar).c_str()) : cell{};
  std::string digits = s.substr(dollar + 1);
  const char* start = digits.c_str();
  const char* dot = std::strchr(start, '.');
  cell m;
  EXPECT_NE(money::make_at(&m, negative, dollar ? &currency : nullptr, start, dot, start + digits.size()), nullptr)
      << literal;
  return m;
}

bool raises(error_id id, auto body) { return test::is(raised(body), id); }

TEST_F(money_type, form_groups_and_mold_shows_money_digits_or_all_five) {
  cell usd = money_of("USD$1234567.5");
  EXPECT_EQ(test::formed(usd), "USD$1'234'567.50");
  EXPECT_EQ(molded(usd), "USD$1234567.50");
  EXPECT_EQ(molded(usd, true), "USD$1234567.50000");
  EXPECT_EQ(test::formed(money_of("-$0.5")), "-$0.50");
  EXPECT_EQ(molded(money_of("-$0")), "$0.00");  // a negative zero is zero
  EXPECT_EQ(molded(money_of("$1.123456"), true), "$1.12345");  // cut, not rounded
  EXPECT_EQ(test::formed(money_of("$12345678901234567.12345")), "$12'345'678'901'234'567.12");
  EXPECT_EQ(molded(money_of("usd$1")), "USD$1.00");  // codes match by spelling
  cell nowhere = code("XXX");
  cell m;
  EXPECT_EQ(money::make_at(&m, false, &nowhere, "1", nullptr, "1" + 1), nullptr);
  const char* wide = "123456789012345678";  // 18 integer digits
  EXPECT_EQ(money::make_at(&m, false, nullptr, wide, nullptr, wide + 18), nullptr);
}

TEST_F(money_type, arithmetic_with_money_integers_and_floats) {
  struct row { cell left; int32_t action; cell right; const char* result; };
  const row rows[] = {
      {money_of("$1.10"), ACT_ADD, money_of("$2.20"), "$3.30000"},
      {flt(0.1), ACT_ADD, money_of("$0.20"), "$0.30000"},
      {money_of("$10"), ACT_DIVIDE, int_(3), "$3.33333"},
      {int_(2), ACT_MULTIPLY, money_of("$3"), "$6.00000"},
      {money_of("USD$1"), ACT_ADD, money_of("$1"), "USD$2.00000"},
      {money_of("$1"), ACT_SUBTRACT, money_of("EUR$3"), "-EUR$2.00000"},
      {money_of("-$7"), ACT_REMAINDER, money_of("$2"), "-$1.00000"},
      {money_of("$10"), ACT_MULTIPLY, test::pct(0.1), "$1.00000"},
      {money_of("$1"), ACT_ADD, flt(0.1234567), "$1.12345"},  // arithmetic drops the sixth decimal
  };
  for (const row& r : rows) EXPECT_EQ(molded(operate(r.action, r.left, r.right), true), r.result);

  cell ratio = operate(ACT_DIVIDE, money_of("$10"), money_of("$4"));
  EXPECT_EQ(TYPE_OF(&ratio), TYPE_FLOAT);
  EXPECT_EQ(get_float(&ratio), 2.5);
}

TEST_F(money_type, arithmetic_errors) {
  struct row { cell left; int32_t action; cell right; error_id error; };
  const row rows[] = {
      {money_of("$2"), ACT_MULTIPLY, money_of("$3"), err::script_invalid_type},
      {int_(10), ACT_DIVIDE, money_of("$4"), err::script_invalid_type},
      {money_of("USD$1"), ACT_ADD, money_of("EUR$1"), err::script_wrong_denom},
      {money_of("$5"), ACT_DIVIDE, money_of("$0"), err::math_zero_divide},
      {money_of("$99999999999999999"), ACT_ADD, money_of("$1"), err::script_type_limit},
      {money_of("$1"), ACT_ADD, flt(1e17), err::script_bad_make_arg},
      {money_of("$1"), ACT_ADD, flt(-1e300), err::script_bad_make_arg},
      {money_of("$1"), ACT_ADD, flt(1e-6), err::script_bad_make_arg},
      {money_of("$1"), ACT_ADD, test::chr('a'), err::script_invalid_type},
      {money_of("$1"), ACT_AND_T, money_of("$1"), err::script_expect_arg},
  };
  for (const row& r : rows) {
    EXPECT_TRUE(raises(r.error, [&] {
      if (r.action == ACT_AND_T) actions::get_action(TYPE_MONEY, ACT_AND_T);
      else operate(r.action, r.left, r.right);
    })) << r.action;
  }
}

TEST_F(money_type, decimal_oracle_cases) {
  struct row { const char* left; const char* op; const char* right; const char* result; };
  const row rows[] = {
#include "data/money_oracle.inc"
  };
  for (const row& r : rows) {
    std::string op = r.op;
    cell left = money_of(r.left);
    std::string got;
    auto result = raised([&] {
      if (op.rfind("round/", 0) == 0) {
        std::string mode = op.substr(6);
        test::round_flags f;
        f.even = mode == "even";
        f.down = mode == "down";
        f.half_down = mode == "half-down";
        f.floor = mode == "floor";
        f.ceiling = mode == "ceiling";
        f.half_ceiling = mode == "half-ceiling";
        cell scale = money_of(r.right);
        got = molded(test::round(left, &scale, f), true);
        return;
      }
      cell right = op == "multiply" || op == "divide" ? int_(std::stoi(r.right)) : money_of(r.right);
      int32_t action = op == "add" ? ACT_ADD : op == "subtract" ? ACT_SUBTRACT : op == "multiply" ? ACT_MULTIPLY
                       : op == "divide" ? ACT_DIVIDE : ACT_REMAINDER;
      got = molded(operate(action, left, right), true);
    });
    std::string expected = r.result;
    if (expected == "type-limit") EXPECT_TRUE(test::is(result, err::script_type_limit)) << r.left << " " << op << " " << r.right;
    else if (expected == "zero-divide") EXPECT_TRUE(test::is(result, err::math_zero_divide)) << r.left << " " << op;
    else EXPECT_EQ(got, expected) << r.left << " " << op << " " << r.right;
  }
}

TEST_F(money_type, round_modes_and_scales) {
  struct row { const char* value; const char* scale; test::round_flags flags; const char* result; };
  const row rows[] = {
      {"$2.5", nullptr, {}, "$3.00"},
      {"$2.5", nullptr, {.even = 1}, "$2.00"},
      {"$3.5", nullptr, {.even = 1}, "$4.00"},
      {"-$2.5", nullptr, {.floor = 1}, "-$3.00"},
      {"$25", "$10", {.even = 1}, "$20.00"},
      {"$15", "$10", {.half_down = 1}, "$10.00"},
      {"$0.15", "$0.10", {.even = 1}, "$0.20"},  // a tie at any scale
      {"$7.37", "$0.25", {}, "$7.25"},
      {"$7", "$1", {.ceiling = 1}, "$7.00"},      // a multiple stays
      {"-$2.5", nullptr, {.half_ceiling = 1}, "-$2.00"},
  };
  for (const row& r : rows) {
    cell scale = r.scale ? money_of(r.scale) : cell{};
    EXPECT_EQ(molded(test::round(money_of(r.value), r.scale ? &scale : nullptr, r.flags)), r.result) << r.value;
  }
  cell integer_scale = int_(2);
  EXPECT_EQ(molded(test::round(money_of("$3"), &integer_scale)), "$4.00");
  cell word_scale = code("a");
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(money_of("$3"), &word_scale); }));
}

TEST_F(money_type, comparison_by_amount_and_currency) {
  cell usd1 = money_of("USD$1"), plain1 = money_of("$1"), eur2 = money_of("EUR$2");
  EXPECT_EQ(test::compare(usd1, plain1, COMP_EQUAL), 0);
  EXPECT_NE(test::compare(usd1, plain1, COMP_STRICT_EQUAL), 0);
  EXPECT_NE(test::compare(usd1, eur2, COMP_EQUAL), 0);
  EXPECT_TRUE(raises(err::script_wrong_denom, [&] { test::compare(usd1, eur2, COMP_LESSER); }));
  EXPECT_LT(test::compare(plain1, usd1, COMP_SORT), 0);  // no currency first
  EXPECT_LT(test::compare(eur2, usd1, COMP_SORT), 0);    // then by code
  EXPECT_LT(test::compare(money_of("-$3"), money_of("-$2"), COMP_LESSER), 0);
  EXPECT_EQ(test::compare(plain1, int_(1), COMP_EQUAL), 0);
  EXPECT_EQ(test::compare(int_(2), plain1, COMP_GREATER), 1);
  EXPECT_EQ(test::compare(flt(0.5), plain1, COMP_LESSER), -1);
  EXPECT_EQ(test::compare(plain1, flt(1e20), COMP_LESSER), -1);
  EXPECT_EQ(test::compare(money_of("-$1"), flt(1e-9), COMP_LESSER), -1);
  EXPECT_TRUE(raises(err::script_bad_make_arg, [&] { test::compare(plain1, flt(0.1234567), COMP_EQUAL); }));
  EXPECT_EQ(test::compare(plain1, test::chr('a'), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(money_type, make_to_and_conversions) {
  cell m = test::make(TYPE_MONEY, test::block_of({code("USD"), int_(12), int_(34)}));
  EXPECT_EQ(molded(m, true), "USD$12.00034");
  EXPECT_EQ(molded(test::make(TYPE_MONEY, test::block_of({int_(-3), int_(5)})), true), "-$3.00005");
  EXPECT_EQ(molded(test::make(TYPE_MONEY, code("eur"))), "EUR$0.00");
  EXPECT_EQ(molded(test::make(TYPE_MONEY, flt(-2.25), ACT_TO)), "-$2.25");
  EXPECT_EQ(molded(test::make(TYPE_MONEY, int_(-2147483647 - 1), ACT_TO)), "-$2147483648.00");
  for (cell bad : {test::block_of({code("USD")}), test::block_of({int_(1), int_(100001)}),
                   test::block_of({int_(1), int_(-1)}), test::block_of({flt(1.5), int_(1)}),
                   test::block_of({int_(1), code("USD")}), test::block_of({int_(1), int_(2), int_(3), int_(4)}),
                   code("XXX"), flt(1e17), flt(0.123456)}) {
    EXPECT_TRUE(raises(err::script_bad_make_arg, [&] { test::make(TYPE_MONEY, bad); }));
  }
  EXPECT_TRUE(raises(err::script_bad_to_arg, [&] { test::make(TYPE_MONEY, test::chr('a'), ACT_TO); }));

  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, money_of("-$3.99"), ACT_TO)), -3);
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, money_of("-$2147483648.99"), ACT_TO)), -2147483647 - 1);
  EXPECT_TRUE(raises(err::script_type_limit, [&] { test::make(TYPE_INTEGER, money_of("$2147483648.00"), ACT_TO); }));
  EXPECT_EQ(test::float_of(test::make(TYPE_FLOAT, money_of("-$1234.56789"), ACT_TO)), -1234.56789);
}

TEST_F(money_type, paths_parity_and_sign) {
  auto pick = [](cell value, cell index) {
    stack::reset();
    return *datatype::action_of<pick_fn>(TYPE_MONEY, ACT_PICK)(&value, 0, &index);
  };
  cell eur = money_of("EUR$3");
  cell word = pick(eur, code("code"));
  EXPECT_EQ(TYPE_OF(&word), TYPE_WORD);
  EXPECT_TRUE(symbol::EQUAL_WORDS_q(&word, symbol::make("EUR")));
  EXPECT_EQ(TYPE_OF(&(word = pick(money_of("$3"), int_(1)))), TYPE_NONE);
  EXPECT_EQ(molded(pick(eur, code("amount"))), "$3.00");
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { pick(eur, int_(3)); }));

  cell path = code("p"), element = code("amount"), value = int_(1);
  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_MONEY, ACT_EVAL_PATH);
  EXPECT_EQ(molded(*eval_path(&eur, &element, nullptr, &path, nullptr, nullptr, 0, 0, 1, 1, 0)), "$3.00");
  EXPECT_TRUE(raises(err::script_bad_path_set,
                     [&] { eval_path(&eur, &element, &value, &path, nullptr, nullptr, 0, 0, 0, 1, 0); }));
  cell unknown = code("cents");
  EXPECT_TRUE(raises(err::script_invalid_path,
                     [&] { eval_path(&eur, &unknown, nullptr, &path, nullptr, nullptr, 0, 0, 1, 1, 0); }));

  EXPECT_TRUE(datatype::action_of<even_q_fn>(TYPE_MONEY, ACT_EVEN_Q)(&(eur = money_of("$12.9"))));
  EXPECT_TRUE(datatype::action_of<odd_q_fn>(TYPE_MONEY, ACT_ODD_Q)(&(eur = money_of("-$3.2"))));
  EXPECT_EQ(molded(operate(ACT_ABSOLUTE, money_of("-$3.2"))), "$3.20");
  cell n = money_of("$3.2");
  EXPECT_EQ(molded(*datatype::action_of<negate_fn>(TYPE_MONEY, ACT_NEGATE)(&n)), "-$3.20");
  EXPECT_EQ(money::sign_q(&(n = money_of("-$0"))), 0);
}

TEST_F(money_type, random_stays_between_zero_and_the_value) {
  auto random = datatype::action_of<random_fn>(TYPE_MONEY, ACT_RANDOM);
  cell limit = money_of("-USD$123.45");
  for (int i = 0; i < 200; ++i) {
    cell r = limit;
    random(&r, 0, 0, 0);
    EXPECT_EQ(money::get_currency(&r), money::get_currency(&limit));
    EXPECT_LE(test::compare(r, money_of("$0"), COMP_LESSER_EQUAL), 0);
    EXPECT_GE(test::compare(r, limit, COMP_GREATER_EQUAL), 0);
  }
}

}  // namespace
}  // namespace ixo
