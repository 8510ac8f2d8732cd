#include <gtest/gtest.h>

#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/word.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo {
namespace {

using test::flt;
using test::int_;
using test::molded;
using test::operate;

struct time_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    time::init();
    date::init();
  }
};

cell tm(double seconds) { return time::make_cell(seconds); }
cell field_word(const char* spelling) {
  cell w{};
  word::make_at(symbol::make(spelling), &w);
  return w;
}
bool raises(error_id id, auto body) { return test::is(test::raised(body), id); }

TEST_F(time_type, text_form) {
  struct row { double seconds; const char* text; };
  const row rows[] = {
      {3723.5, "1:02:03.5"}, {-90, "-0:01:30"}, {90000, "25:00:00"}, {-30, "-0:00:30"},
      {0.0000001, "0:00:00"}, {12.25, "0:00:12.25"}, {5, "0:00:05"}, {1e12, "277777777:46:40"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(test::formed(tm(r.seconds)), r.text);
    EXPECT_EQ(molded(tm(r.seconds)), r.text);
  }
}

TEST_F(time_type, make_from_numbers_and_blocks) {
  struct row { cell spec; double seconds; };
  const row rows[] = {
      {test::block_of({int_(-1), int_(30), int_(0)}), -5400},
      {test::block_of({int_(1), int_(30)}), 5400},
      {test::block_of({int_(0), int_(0), flt(1.5)}), 1.5},
      {int_(90), 90},
      {flt(2.5), 2.5},
      {tm(7), 7},
  };
  for (const row& r : rows) EXPECT_EQ(test::float_of(test::make(TYPE_TIME, r.spec)), r.seconds);
  EXPECT_EQ(molded(test::make(TYPE_TIME, test::block_of({int_(-1), int_(30), int_(0)}))), "-1:30:00");
  for (cell bad : {test::block_of({int_(1), int_(-30)}), test::block_of({int_(1), int_(2), int_(3), int_(4)}),
                   test::block_of({int_(1), flt(2.5)}), test::chr('a')}) {
    EXPECT_TRUE(raises(err::script_bad_to_arg, [&] { test::make(TYPE_TIME, bad, ACT_TO); }));
  }
}

TEST_F(time_type, arithmetic_keeps_times_and_divides_into_ratios) {
  struct row { cell left; int32_t action; cell right; uint32_t type; double result; };
  const row rows[] = {
      {tm(3600), ACT_DIVIDE, tm(1800), TYPE_FLOAT, 2.0},
      {tm(3600), ACT_DIVIDE, int_(2), TYPE_TIME, 1800},
      {tm(10), ACT_MULTIPLY, int_(3), TYPE_TIME, 30},
      {int_(10), ACT_ADD, tm(5), TYPE_TIME, 15},
      {tm(10), ACT_SUBTRACT, flt(2.5), TYPE_TIME, 7.5},
      {tm(70), ACT_REMAINDER, tm(60), TYPE_TIME, 10},
  };
  for (const row& r : rows) {
    cell c = operate(r.action, r.left, r.right);
    EXPECT_EQ(TYPE_OF(&c), r.type) << r.action;
    EXPECT_EQ(get_float(&c), r.result) << r.action;
  }
  cell day = date::make_cell(date::pack(2020, 1, 1, 0, false), 0.0);
  EXPECT_EQ(molded(operate(ACT_ADD, tm(3600), day)), "1-Jan-2020/1:00:00");
  EXPECT_TRUE(raises(err::script_not_related, [&] { operate(ACT_SUBTRACT, tm(1), day); }));
  EXPECT_TRUE(raises(err::script_not_related, [&] { operate(ACT_MULTIPLY, tm(1), tm(2)); }));
  cell m{TYPE_MONEY, 0, 0, 0};
  EXPECT_TRUE(raises(err::script_not_related, [&] { test::round(tm(1), &m); }));
  cell quarter = tm(900);
  EXPECT_EQ(molded(test::round(tm(1000), &quarter)), "0:15:00");
  cell ten = int_(10);
  cell r = test::round(tm(14), &ten);
  EXPECT_EQ(TYPE_OF(&r), TYPE_TIME);
  EXPECT_EQ(get_float(&r), 10);
}

TEST_F(time_type, fields_by_pick_and_path) {
  auto pick = [](cell value, cell index) {
    stack::reset();
    return *datatype::action_of<pick_fn>(TYPE_TIME, ACT_PICK)(&value, 0, &index);
  };
  EXPECT_EQ(test::int_of(pick(tm(3723), field_word("minute"))), 2);
  EXPECT_EQ(test::int_of(pick(tm(-5400), int_(1))), -1);
  EXPECT_EQ(test::float_of(pick(tm(-30), int_(3))), -30.0);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { pick(tm(3723), int_(4)); }));
  EXPECT_TRUE(raises(err::script_cannot_use, [&] { pick(tm(3723), field_word("day")); }));

  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_TIME, ACT_EVAL_PATH);
  cell path = field_word("t");
  struct row { double seconds; const char* field; cell value; const char* result; };
  const row rows[] = {
      {3600, "minute", int_(90), "2:30:00"},
      {3723, "hour", int_(5), "5:02:03"},
      {3723, "second", flt(7.5), "1:02:07.5"},
  };
  for (const row& r : rows) {
    cell t = tm(r.seconds), element = field_word(r.field), value = r.value;
    eval_path(&t, &element, &value, &path, nullptr, nullptr, 0, 0, 0, 1, 0);
    EXPECT_EQ(molded(t), r.result) << r.field;
  }
  cell t = tm(1), element = field_word("hour"), bad = flt(1.5), unknown = field_word("day");
  EXPECT_TRUE(raises(err::script_invalid_arg, [&] { eval_path(&t, &element, &bad, &path, nullptr, nullptr, 0, 0, 0, 1, 0); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { eval_path(&t, &unknown, nullptr, &path, nullptr, nullptr, 0, 0, 1, 1, 0); }));
}

TEST_F(time_type, parity_counts_whole_seconds_of_the_minute) {
  auto even = datatype::action_of<even_q_fn>(TYPE_TIME, ACT_EVEN_Q);
  auto odd = datatype::action_of<odd_q_fn>(TYPE_TIME, ACT_ODD_Q);
  cell t = tm(59.9999995);
  EXPECT_TRUE(even(&t));
  EXPECT_TRUE(odd(&(t = tm(61))));
  EXPECT_TRUE(odd(&(t = tm(-3))));
}

}  // namespace
}  // namespace ixo
