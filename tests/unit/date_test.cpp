#include <gtest/gtest.h>

#include <array>

#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/natives_system.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo {
namespace {

using test::block_of;
using test::int_;
using test::molded;
using test::operate;

struct date_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    time::init();
    date::init();
  }
};

cell ymd(int32_t y, int32_t m, int32_t d) { return date::make_cell(date::pack(y, m, d, 0, false), 0.0); }
cell tm(double s) { return time::make_cell(s); }
cell field_word(const char* spelling) {
  cell w{};
  word::make_at(symbol::make(spelling), &w);
  return w;
}
bool raises(error_id id, auto body) { return test::is(test::raised(body), id); }
cell none_cell() { return cell{TYPE_NONE, 0, 0, 0}; }
int32_t field(cell d, int32_t index) {
  stack::reset();
  return test::int_of(*date::get_field(&d, index));
}

TEST_F(date_type, make_carries_and_to_refuses_what_carries) {
  struct row { cell spec; const char* text; };
  const row rows[] = {
      {block_of({int_(29), int_(2), int_(1900)}), "1-Mar-1900"},
      {block_of({int_(31), int_(2), int_(2021)}), "3-Mar-2021"},
      {block_of({int_(2020), int_(1), int_(15)}), "15-Jan-2020"},
      {block_of({int_(15), int_(1), int_(99)}), "15-Jan-0099"},
      {block_of({int_(0), int_(13), int_(2020)}), "31-Dec-2020"},
      {block_of({int_(1), int_(1), int_(2020), tm(36000), int_(2)}), "1-Jan-2020/10:00:00+02:00"},
      {block_of({int_(1), int_(1), int_(2020), int_(25), int_(0), int_(0)}), "2-Jan-2020/1:00:00"},
      {block_of({int_(3), int_(4), int_(2021), int_(8), int_(30), int_(0), int_(-5), int_(30)}), "3-Apr-2021/8:30:00-05:30"},
      {block_of({int_(15), int_(3), int_(-44)}), "15/Mar/-0044"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(test::make(TYPE_DATE, r.spec)), r.text);
  cell zoned = test::make(TYPE_DATE, block_of({int_(1), int_(1), int_(2020), tm(36000), int_(2)}));
  EXPECT_EQ(get_float(&zoned), 8 * 3600.0);  // stored as UTC

  for (cell bad : {block_of({int_(31), int_(2), int_(2021)}), block_of({int_(1), int_(1), int_(2020), int_(25), int_(0), int_(0)}),
                   block_of({int_(1), int_(1)}), block_of({int_(1), int_(1), int_(2020), tm(1), tm(1), int_(1)}),
                   block_of({int_(1), test::flt(1.5), int_(2020)}), test::chr(0x61)}) {
    EXPECT_TRUE(raises(err::script_bad_to_arg, [&] { test::make(TYPE_DATE, bad, ACT_TO); }));
  }
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { test::make(TYPE_DATE, block_of({int_(1), int_(1), int_(16384)})); }));
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { operate(ACT_ADD, ymd(16383, 12, 31), int_(1)); }));
  EXPECT_EQ(molded(test::make(TYPE_DATE, block_of({int_(1), int_(1), int_(-16384)}))), "1/Jan/-16384");
}

TEST_F(date_type, integers_are_seconds_since_1970) {
  EXPECT_EQ(molded(test::make(TYPE_DATE, int_(0), ACT_TO)), "1-Jan-1970/0:00:00");
  EXPECT_EQ(molded(test::make(TYPE_DATE, int_(-1), ACT_TO)), "31-Dec-1969/23:59:59");
  EXPECT_EQ(molded(test::make(TYPE_DATE, int_(86399), ACT_TO)), "1-Jan-1970/23:59:59");
  cell zoned = test::make(TYPE_DATE, block_of({int_(1), int_(1), int_(1970), int_(2), int_(0), int_(0), int_(2)}));
  EXPECT_EQ(test::int_of(test::make(TYPE_INTEGER, zoned, ACT_TO)), 0);
}

TEST_F(date_type, datetime_oracle_cases) {
  struct row { int32_t y, m, d, weekday, yearday, week, isoweek, delta, y2, m2, d2, epoch; const char* instant; };
  const row rows[] = {
#include "data/date_oracle.inc"
  };
  for (const row& r : rows) {
    cell d = ymd(r.y, r.m, r.d);
    EXPECT_EQ(field(d, 10), r.weekday) << r.y << "-" << r.m << "-" << r.d;
    EXPECT_EQ(field(d, 11), r.yearday) << r.y << "-" << r.m << "-" << r.d;
    EXPECT_EQ(field(d, 13), r.week) << r.y << "-" << r.m << "-" << r.d;
    EXPECT_EQ(field(d, 14), r.isoweek) << r.y << "-" << r.m << "-" << r.d;
    cell later = operate(ACT_ADD, d, int_(r.delta));
    EXPECT_EQ(later.data1, date::pack(r.y2, r.m2, r.d2, 0, false)) << r.y << "-" << r.m << "-" << r.d << " + " << r.delta;
    EXPECT_EQ(test::int_of(operate(ACT_SUBTRACT, later, d)), r.delta);
    EXPECT_EQ(molded(test::make(TYPE_DATE, int_(r.epoch), ACT_TO)), r.instant);
  }
}

TEST_F(date_type, fields_of_the_examples) {
  struct row { cell date; int32_t weekday, yearday, week, isoweek; };
  const row rows[] = {
      {ymd(2020, 1, 1), 3, 1, 1, 1},
      {ymd(2019, 12, 31), 2, 365, 53, 1},
      {ymd(2021, 1, 1), 5, 1, 1, 53},
      {ymd(2021, 1, 3), 7, 3, 2, 53},
  };
  for (const row& r : rows) {
    EXPECT_EQ(field(r.date, 10), r.weekday);
    EXPECT_EQ(field(r.date, 11), r.yearday);
    EXPECT_EQ(field(r.date, 13), r.week);
    EXPECT_EQ(field(r.date, 14), r.isoweek);
  }
  EXPECT_EQ(date::date_to_days(date::pack(0, 3, 1, 0, false)), 0);
  EXPECT_EQ(field(ymd(0, 3, 1), 10), 3);  // day 0 is a Wednesday
}

TEST_F(date_type, arithmetic_and_difference) {
  EXPECT_EQ(test::int_of(operate(ACT_SUBTRACT, ymd(2020, 3, 1), ymd(2020, 2, 1))), 29);
  cell late = date::make_cell(date::pack(2020, 1, 1, 0, true), 23 * 3600.0);
  EXPECT_EQ(molded(operate(ACT_ADD, late, tm(7200))), "2-Jan-2020/1:00:00");
  EXPECT_EQ(molded(operate(ACT_SUBTRACT, ymd(2020, 1, 1), int_(1))), "31-Dec-2019");
  EXPECT_EQ(molded(operate(ACT_ADD, int_(1), ymd(2020, 2, 28))), "29-Feb-2020");
  cell early = date::make_cell(date::pack(2020, 1, 2, 0, true), 3600.0);
  EXPECT_EQ(test::int_of(operate(ACT_SUBTRACT, early, late)), 0);
  EXPECT_TRUE(raises(err::script_not_related, [&] { operate(ACT_ADD, ymd(2020, 1, 1), ymd(2020, 1, 1)); }));
  EXPECT_TRUE(raises(err::script_invalid_type, [&] { operate(ACT_ADD, ymd(2020, 1, 1), test::flt(1.5)); }));
  EXPECT_TRUE(raises(err::script_not_related, [&] { operate(ACT_SUBTRACT, int_(1), ymd(2020, 1, 1)); }));

  cell a = ymd(2020, 3, 1), b = ymd(2020, 2, 1);
  date::difference(&a, &b);
  EXPECT_EQ(molded(a), "696:00:00");
}

TEST_F(date_type, comparison_by_instant) {
  cell zoned = test::make(TYPE_DATE, block_of({int_(12), int_(6), int_(2020), int_(10), int_(0), int_(0), int_(2)}));
  cell utc = test::make(TYPE_DATE, block_of({int_(12), int_(6), int_(2020), int_(8), int_(0), int_(0)}));
  EXPECT_EQ(test::compare(zoned, utc, COMP_EQUAL), 0);
  cell past_midnight = test::make(TYPE_DATE, block_of({int_(1), int_(1), int_(2020), int_(1), int_(0), int_(0), int_(2)}));
  cell before = test::make(TYPE_DATE, block_of({int_(31), int_(12), int_(2019), int_(23), int_(0), int_(0)}));
  EXPECT_EQ(test::compare(past_midnight, before, COMP_EQUAL), 0);
  EXPECT_EQ(test::compare(ymd(2020, 1, 1), ymd(2020, 1, 2), COMP_LESSER), -1);
  EXPECT_EQ(test::compare(ymd(2020, 1, 1), int_(1), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(date_type, paths_set_fields_with_carries) {
  auto eval_path = datatype::action_of<eval_path_fn>(TYPE_DATE, ACT_EVAL_PATH);
  cell path = field_word("d");
  struct row { cell date; const char* field; cell value; const char* result; };
  cell with_time = date::make_cell(date::pack(2020, 1, 1, 0, true), 23 * 3600.0);
  const row rows[] = {
      {ymd(2021, 3, 15), "day", int_(0), "28-Feb-2021"},
      {ymd(2021, 3, 15), "month", int_(14), "15-Feb-2022"},
      {ymd(2020, 2, 29), "year", int_(2021), "1-Mar-2021"},
      {with_time, "timezone", int_(2), "2-Jan-2020/1:00:00+02:00"},
      {with_time, "zone", int_(2), "1-Jan-2020/23:00:00+02:00"},
      {with_time, "time", none_cell(), "1-Jan-2020"},
      {with_time, "hour", int_(5), "1-Jan-2020/5:00:00"},
      {ymd(2020, 1, 1), "weekday", int_(7), "5-Jan-2020"},
      {ymd(2020, 1, 1), "isoweek", int_(2), "6-Jan-2020"},
      {ymd(2020, 1, 1), "julian", int_(60), "29-Feb-2020"},
  };
  for (const row& r : rows) {
    cell d = r.date, element = field_word(r.field), value = r.value;
    eval_path(&d, &element, &value, &path, nullptr, nullptr, 0, 0, 0, 1, 0);
    EXPECT_EQ(molded(d), r.result) << r.field;
  }
  cell d = ymd(2020, 1, 1), element = field_word("year"), bad = test::flt(1.0), unknown = field_word("x");
  EXPECT_TRUE(raises(err::script_invalid_arg, [&] { eval_path(&d, &element, &bad, &path, nullptr, nullptr, 0, 0, 0, 1, 0); }));
  EXPECT_TRUE(raises(err::script_invalid_path, [&] { eval_path(&d, &unknown, nullptr, &path, nullptr, nullptr, 0, 0, 1, 1, 0); }));
  stack::reset();
  cell index = int_(15);
  EXPECT_TRUE(raises(err::script_out_of_range, [&] { datatype::action_of<pick_fn>(TYPE_DATE, ACT_PICK)(&d, 0, &index); }));
}

TEST_F(date_type, lexer_writer_keeps_the_local_date) {
  cell c{};
  date::make_at(&c, 2020, 1, 1, 3600.0, 2, 0, true);
  EXPECT_EQ(get_float(&c), -3600.0);
  EXPECT_EQ(molded(c), "1-Jan-2020/1:00:00+02:00");
  date::make_at(&c, 2020, 1, 15, 3600.0, 2, 0, false);
  EXPECT_EQ(molded(c), "15-Jan-2020");
}

TEST_F(date_type, now_refinements) {
  stack::reset();
  stack::push(int_(0));
  EXPECT_TRUE(raises(err::script_bad_refines, [] { natives::now(std::array<int32_t, 10>{0, 0, -1, -1, -1, -1, -1, -1, -1, -1}.data()); }));
  natives::now(std::array<int32_t, 10>{-1, -1, -1, 0, -1, -1, -1, -1, 0, -1}.data());  // /time/precise
  EXPECT_EQ(TYPE_OF(stack::arguments), TYPE_TIME);
  natives::now(std::array<int32_t, 10>{0, -1, -1, -1, -1, -1, -1, -1, -1, 0}.data());  // /utc/year
  EXPECT_GE(test::int_of(*stack::arguments), 2024);
  natives::now(std::array<int32_t, 10>{-1, -1, -1, -1, -1, 0, -1, -1, -1, -1}.data());  // /date
  EXPECT_EQ(stack::arguments->data1 & (date::HAS_TIME | date::ZONE_MASK), 0u);
  natives::now(std::array<int32_t, 10>{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}.data());
  cell today = *stack::arguments;
  natives::now(std::array<int32_t, 10>{-1, -1, -1, -1, -1, -1, 0, -1, -1, -1}.data());
  EXPECT_EQ(test::int_of(*stack::arguments), field(today, 10));
}

}  // namespace
}  // namespace ixo
