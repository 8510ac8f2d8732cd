#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/get_path.hpp"
#include "runtime/datatypes/lit_path.hpp"
#include "runtime/datatypes/paren.hpp"
#include "runtime/datatypes/path.hpp"
#include "runtime/datatypes/set_path.hpp"
#include "support/blocks.hpp"
#include "support/raised.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::arg;
using test::integer_value;
using test::raised;
using test::word_of;

cell word(const char* spelling) { return word_of(TYPE_WORD, spelling); }

cell float_value(double d) {
  cell c{TYPE_FLOAT, 0, 0, 0};
  set_float(&c, d);
  return c;
}

struct paths : ::testing::Test {
  void SetUp() override {
    test::start_words();
    path::init();
    lit_path::init();
    set_path::init();
    get_path::init();
    paren::init();
    test::fresh_arguments();
  }
  void TearDown() override { EXPECT_EQ(cycles::depth(), 0) << "a walk left the cycles stack"; }

  // A series of the given type on the value stack, holding copies of the cells.
  static cell* series_of(std::initializer_list<cell> cells, uint32_t type) {
    return arg(test::block_of(cells, type));
  }

  static std::string text(cell* value, bool mold, int32_t only = 0) {
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 16);
    if (mold) actions::mold(value, buffer, only, 0, 0, nullptr, INT32_MAX, 0);
    else actions::form(value, buffer, nullptr, INT32_MAX);
    return test::text_of(buffer);
  }

  static cell* made(uint32_t type, const cell& spec, int32_t action = ACT_MAKE) {
    cell* proto = arg(cell{type, 0, 0, 0});
    cell* s = arg(spec);
    return datatype::action_of<make_fn>(type, action)(proto, s, static_cast<int32_t>(type));
  }
};

TEST_F(paths, make_from_a_size_gives_an_empty_path_with_that_room) {
  struct row { cell spec; int32_t room; };
  cell percent = float_value(2.9);
  percent.header = TYPE_PERCENT;
  const row rows[] = {{integer_value(0), 1}, {integer_value(3), 3}, {float_value(2.9), 2}, {percent, 2}};
  for (const row& r : rows) {
    cell* p = made(TYPE_PATH, r.spec);
    EXPECT_EQ(p->header, TYPE_PATH);
    EXPECT_EQ(series::rs_abs_length_q(p), 0);
    EXPECT_EQ(memory::GET_BUFFER(p)->size, r.room * static_cast<int32_t>(sizeof(cell)));
  }
}

TEST_F(paths, make_refuses_negative_sizes_and_other_specs) {
  EXPECT_TRUE(test::is(raised([] { made(TYPE_PATH, integer_value(-1)); }), err::script_out_of_range));
  EXPECT_TRUE(test::is(raised([] { made(TYPE_PATH, float_value(-1.5)); }), err::script_out_of_range));
  EXPECT_TRUE(test::is(raised([] { made(TYPE_PATH, float_value(1e12)); }), err::script_out_of_range));
  EXPECT_TRUE(test::is(raised([] { made(TYPE_SET_PATH, word("a")); }), err::script_bad_make_arg));
}

TEST_F(paths, make_and_to_from_a_block_copy_its_values_into_the_target_type) {
  cell* source = series_of({word("a"), word("b")}, TYPE_BLOCK);
  for (uint32_t type : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) {
      cell* p = made(type, *source, action);
      EXPECT_EQ(p->header, type);
      EXPECT_NE(p->data2, source->data2) << "the values are copied";
      EXPECT_EQ(text(p, false), "a/b");
    }
  }
  EXPECT_EQ(text(made(TYPE_PATH, *source, ACT_TO), true), "a/b");
}

TEST_F(paths, to_path_wraps_a_single_value) {
  cell* p = made(TYPE_PATH, cell{TYPE_TYPESET, 1, 2, 3}, ACT_TO);
  ASSERT_EQ(series::rs_abs_length_q(p), 1);
  EXPECT_EQ(TYPE_OF(block::rs_abs_at(p, 0)), TYPE_TYPESET);
  cell* q = made(TYPE_PATH, integer_value(7), ACT_TO);
  EXPECT_EQ(text(q, true), "7");
}

TEST_F(paths, mold_decorates_each_path_type_and_form_does_not) {
  struct row { uint32_t type; const char* molded; };
  const row rows[] = {{TYPE_PATH, "a/b/c"}, {TYPE_LIT_PATH, "'a/b/c"}, {TYPE_GET_PATH, ":a/b/c"},
                      {TYPE_SET_PATH, "a/b/c:"}};
  for (const row& r : rows) {
    cell* p = series_of({word("a"), word("b"), word("c")}, r.type);
    EXPECT_EQ(text(p, true), r.molded);
    EXPECT_EQ(text(p, false), "a/b/c");
  }
  cell* at_b = series_of({word("a"), word("b"), word("c")}, TYPE_LIT_PATH);
  at_b->data1 = 1;
  EXPECT_EQ(text(at_b, true), "'b/c") << "from the index";
}

TEST_F(paths, elements_form_and_mold_by_their_own_type) {
  cell x = test::text_value("x");
  cell* p = series_of({word("a"), x, integer_value(2)}, TYPE_PATH);
  EXPECT_EQ(text(p, false), "a/x/2");
  EXPECT_EQ(text(p, true), "a/\"x\"/2");
}

TEST_F(paths, form_and_mold_stop_once_the_budget_runs_out) {
  cell* p = series_of({word("abc"), word("def"), word("ghi")}, TYPE_PATH);
  cell* buffer = arg(cell{});
  string::rs_make_at(buffer, 16);
  cell* limit = arg(integer_value(5));
  int32_t left = datatype::action_of<form_fn>(TYPE_PATH, ACT_FORM)(p, buffer, limit, 5);
  EXPECT_EQ(test::text_of(buffer), "abc/d") << "words stop at the budget too";
  EXPECT_EQ(left, -2);
}

// A path whose element is a block holding the path itself.
TEST_F(paths, a_path_inside_its_own_element_is_written_once) {
  cell* inner = series_of({}, TYPE_BLOCK);
  cell* p = series_of({word("a"), *inner}, TYPE_PATH);
  block::rs_append(inner, p);
  test::while_moving_everything([&] {
    EXPECT_EQ(text(p, true), "a/[...]");
    EXPECT_EQ(text(p, false), "a/...");
  });
  EXPECT_GT(test::everything_moves, 0);
}

TEST_F(paths, paren_molds_in_parentheses_unless_only) {
  cell* p = series_of({integer_value(1), word("+"), integer_value(2)}, TYPE_PAREN);
  EXPECT_EQ(text(p, true), "(1 + 2)");
  EXPECT_EQ(text(p, true, 1), "1 + 2");
  EXPECT_EQ(text(p, false), "1 + 2");
  cell* self = series_of({}, TYPE_PAREN);
  block::rs_append(self, self);
  EXPECT_EQ(text(self, true), "((...))");
}

TEST_F(paths, the_paths_inherit_block_series_actions_but_not_sort_or_random) {
  for (uint32_t type : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}) {
    EXPECT_EQ(datatype::entry_of(type, ACT_SORT), nullptr);
    EXPECT_EQ(datatype::entry_of(type, ACT_RANDOM), nullptr);
    EXPECT_EQ(datatype::entry_of(type, ACT_INSERT), datatype::entry_of(TYPE_BLOCK, ACT_INSERT));
  }
  EXPECT_EQ(datatype::entry_of(TYPE_PAREN, ACT_SORT), datatype::entry_of(TYPE_BLOCK, ACT_SORT));
  EXPECT_EQ(datatype::entry_of(TYPE_PAREN, ACT_RANDOM), datatype::entry_of(TYPE_BLOCK, ACT_RANDOM));
  // copy keeps the path's type.
  cell* p = series_of({word("a"), word("b")}, TYPE_GET_PATH);
  cell* result = arg(cell{});
  datatype::action_of<copy_fn>(TYPE_GET_PATH, ACT_COPY)(p, result, nullptr, 0, nullptr);
  EXPECT_EQ(TYPE_OF(result), TYPE_GET_PATH);
  EXPECT_NE(result->data2, p->data2);
  EXPECT_EQ(text(result, true), ":a/b");
}

}  // namespace
}  // namespace ixo
