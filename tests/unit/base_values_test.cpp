#include <gtest/gtest.h>

#include <cmath>

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

class base_values : public ::testing::Test {
 protected:
  void SetUp() override { test::start_runtime(); }

  // form or mold of a value, as the text appended and the budget left.
  static std::pair<std::string, int32_t> formed(cell value, bool mold, bool all = false) {
    cell buffer{};
    memory::root_guard keep(&buffer);
    string::rs_make_at(&buffer, 16);
    int32_t left;
    if (mold)
      left = datatype::action_of<mold_fn>(TYPE_OF(&value), ACT_MOLD)(&value, &buffer, 0, all, 0,
                                                                     nullptr, 100, 0);
    else
      left = datatype::action_of<form_fn>(TYPE_OF(&value), ACT_FORM)(&value, &buffer, nullptr, 100);
    return {test::text_of(&buffer), left};
  }
};

TEST_F(base_values, form_and_mold) {
  struct row { cell value; const char *form, *mold, *mold_all; };
  const row rows[] = {
      {datatype::make_cell(TYPE_DATATYPE), "datatype", "datatype!", "#(datatype!)"},
      {datatype::make_cell(TYPE_INTEGER), "integer", "integer!", "#(integer!)"},
      {datatype::make_cell(TYPE_LOGIC), "logic", "logic!", "#(logic!)"},
      {unset::unset_value, "", "unset", "#(unset)"},
      {none::none_value, "none", "none", "#(none)"},
      {logic::true_value, "true", "true", "#(true)"},
      {logic::false_value, "false", "false", "#(false)"},
  };
  for (const row& r : rows) {
    auto [f, left] = formed(r.value, false);
    EXPECT_EQ(f, r.form);
    EXPECT_EQ(left, 100 - static_cast<int32_t>(f.size()));  // form of unset leaves it whole
    EXPECT_EQ(formed(r.value, true).first, r.mold);
    EXPECT_EQ(formed(r.value, true, true).first, r.mold_all);
  }
}

TEST_F(base_values, compare_answers) {
  const cell u = unset::unset_value, n = none::none_value, t = logic::true_value,
             f = logic::false_value, i = datatype::make_cell(TYPE_INTEGER),
             i2 = datatype::make_cell(TYPE_INTEGER), b = datatype::make_cell(TYPE_BLOCK);
  struct row { const cell *a, *b; int32_t op, answer; };
  const row rows[] = {
      {&u, &u, COMP_EQUAL, 0},      {&u, &u, COMP_STRICT_EQUAL, 0}, {&u, &u, COMP_LESSER, COMPARE_NONE},
      {&u, &n, COMP_EQUAL, COMPARE_NONE}, {&n, &n, COMP_SORT, 0},   {&n, &n, COMP_GREATER, COMPARE_NONE},
      {&f, &t, COMP_SORT, -1},      {&t, &t, COMP_EQUAL, 0},        {&t, &n, COMP_EQUAL, COMPARE_NONE},
      {&t, &f, COMP_LESSER, COMPARE_NONE},
      {&i, &i2, COMP_EQUAL, 0},     {&i, &b, COMP_EQUAL, 1},        {&i, &b, COMP_LESSER, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(actions::compare_raw(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(base_values, make_logic_reads_numbers_and_to_logic_does_not) {
  auto make = datatype::action_of<make_fn>(TYPE_LOGIC, ACT_MAKE);
  auto to = datatype::action_of<make_fn>(TYPE_LOGIC, ACT_TO);
  cell proto = logic::true_value;
  auto number = [](uint32_t type, double d) { cell c{type, 0, 0, 0}; set_float(&c, d); return c; };
  cell zero_int{TYPE_INTEGER, 0, 0, 0}, one_int{TYPE_INTEGER, 0, 1, 0};
  struct row { cell spec; bool made; };
  const row rows[] = {
      {number(TYPE_FLOAT, 0.0), false}, {number(TYPE_FLOAT, -0.0), false},
      {number(TYPE_FLOAT, std::nan("")), true}, {number(TYPE_FLOAT, 1e-300), true},
      {number(TYPE_PERCENT, 0.0), false}, {zero_int, false}, {one_int, true},
      {none::none_value, false}, {logic::false_value, false}, {unset::unset_value, true},
  };
  for (row r : rows) EXPECT_EQ(logic::get(make(&proto, &r.spec, TYPE_LOGIC)), r.made ? 1u : 0u);
  EXPECT_EQ(logic::get(to(&proto, &zero_int, TYPE_LOGIC)), 1u);  // only make looks at numbers
}

TEST_F(base_values, truth_tests_and_none_as_an_empty_series) {
  stack::set_last(unset::unset_value);
  EXPECT_TRUE(logic::false_q() == false);  // never raises
  EXPECT_EQ(catch_site(FILTER_FUNCTION, [] { logic::true_q(); }), THROW_ERROR);
  system::clear_thrown();
  EXPECT_EQ(last_raised.id.index, err::script_no_return.index);
  stack::set_last(none::none_value);
  EXPECT_FALSE(logic::true_q());
  stack::set_last(logic::make_cell(false));
  EXPECT_TRUE(logic::false_q());
  stack::set_last(datatype::make_cell(TYPE_NONE));
  EXPECT_TRUE(logic::true_q());

  cell n = none::none_value;
  EXPECT_EQ(datatype::action_of<length_q_fn>(TYPE_NONE, ACT_LENGTH_Q)(&n), -1);
  EXPECT_EQ(TYPE_OF(datatype::action_of<take_fn>(TYPE_NONE, ACT_TAKE)(&n, nullptr, 0, 0)), TYPE_NONE);
}

TEST_F(base_values, logic_bitwise_and_complement) {
  stack::reset();
  stack::push(logic::true_value);
  stack::push(logic::false_value);
  datatype::action_of<stack_action_fn>(TYPE_LOGIC, ACT_OR_T)();
  EXPECT_EQ(logic::get(stack::arguments), 1u);
  datatype::action_of<stack_action_fn>(TYPE_LOGIC, ACT_AND_T)();
  EXPECT_EQ(logic::get(stack::arguments), 0u);
  cell t = logic::true_value;
  EXPECT_EQ(logic::get(datatype::action_of<complement_fn>(TYPE_LOGIC, ACT_COMPLEMENT)(&t)), 0u);
  stack::arguments[1] = none::none_value;
  EXPECT_EQ(catch_site(FILTER_FUNCTION, [] { datatype::action_of<stack_action_fn>(TYPE_LOGIC, ACT_XOR_T)(); }),
            THROW_ERROR);
  system::clear_thrown();
}

}  // namespace
}  // namespace ixo
