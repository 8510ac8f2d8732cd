#include <gtest/gtest.h>

#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/catch.hpp"

namespace ixo {
namespace {

// Two made-up types in the spare rows 55 and 56: a parent whose compare
// orders by payload word 1, and a child that inherits it.
int32_t compare_by_word1(const cell* a, const cell* b, int32_t) {
  if (TYPE_OF(b) != TYPE_OF(a)) return COMPARE_NONE;
  return a->data1 < b->data1 ? -1 : a->data1 > b->data1 ? 1 : 0;
}

datatype_registration make_row(uint32_t type, uint32_t parent, const char* name, compare_fn cmp) {
  // clang-format off
  if (cmp)
    return datatype_registration(type, parent, name,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      cmp, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported);
  return datatype_registration(type, parent, name,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit);
  // clang-format on
}

class registry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!datatype::action_table) datatype::alloc_tables();
    datatype::type_words_made = false;  // the runtime that made them may be gone
    datatype::register_type(make_row(55, 0, "parent!", compare_by_word1));
    datatype::register_type(make_row(56, 55, "child!", nullptr));
  }
};

TEST_F(registry, inheritance_copies_entries_and_unsupported_stays_zero) {
  EXPECT_EQ(datatype::entry_of(56, ACT_COMPARE), datatype::entry_of(55, ACT_COMPARE));
  EXPECT_EQ(datatype::entry_of(56, ACT_FORM), nullptr);  // parent's 0 inherited as 0
  EXPECT_EQ(datatype::type_name_table[56].length, 5);      // "child" without "!"
  EXPECT_GE(datatype::max_type_id, 56u);
}

TEST_F(registry, compare_maps_answers_by_operator) {
  cell a{55, 1, 0, 0}, b{55, 2, 0, 0}, c{56, 1, 0, 0};
  struct row { const cell *x, *y; int32_t op; bool answer; };
  const row rows[] = {
      {&a, &b, COMP_LESSER, true},  {&a, &b, COMP_GREATER, false}, {&a, &a, COMP_EQUAL, true},
      {&a, &b, COMP_NOT_EQUAL, true}, {&b, &a, COMP_GREATER_EQUAL, true},
      {&a, &c, COMP_EQUAL, false},  // not comparable: not equal
      {&a, &c, COMP_NOT_EQUAL, true},
  };
  for (const row& r : rows) EXPECT_EQ(actions::compare(r.x, r.y, r.op), r.answer) << r.op;
}

TEST_F(registry, ordering_incomparable_values_and_unsupported_actions_raise) {
  cell a{55, 1, 0, 0}, c{56, 1, 0, 0};
  EXPECT_EQ(catch_site(FILTER_FUNCTION, [&] { actions::compare(&a, &c, COMP_LESSER); }), THROW_ERROR);
  system::clear_thrown();
  EXPECT_EQ(last_raised.id.index, err::script_invalid_compare.index);
  EXPECT_EQ(catch_site(FILTER_FUNCTION, [&] { actions::get_action(55, ACT_FORM); }), THROW_ERROR);
  system::clear_thrown();
  EXPECT_EQ(last_raised.id.index, err::script_expect_arg.index);
}

}  // namespace
}  // namespace ixo
