#include "runtime/datatypes/typeset.hpp"

#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/logic.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo::typeset {
namespace {

using test::is;
using test::raised;

struct typeset_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    init();
    stack::reset();
  }
};

cell dt(uint32_t type) { return datatype::make_cell(type); }

cell made(cell spec) { return test::make(TYPE_TYPESET, spec, ACT_MAKE); }

std::string molded_only(cell ts) {
  cell buffer{};
  memory::root_guard keep(&buffer);
  string::rs_make_at(&buffer, 16);
  datatype::action_of<mold_fn>(TYPE_TYPESET, ACT_MOLD)(&ts, &buffer, 1, 0, 0, nullptr, 100, 0);
  return test::text_of(&buffer);
}

TEST_F(typeset_type, made_from_a_block_molds_its_types_in_id_order) {
  struct row {
    std::vector<cell> spec;
    std::string mold, only;
  } rows[] = {
      {{dt(TYPE_INTEGER), dt(TYPE_FLOAT)}, "make typeset! [integer! float!]", "integer! float!"},
      {{dt(TYPE_FLOAT), dt(TYPE_INTEGER)}, "make typeset! [integer! float!]", "integer! float!"},
      {{}, "make typeset! []", ""},
      {{dt(TYPE_NONE)}, "make typeset! [none!]", "none!"},
  };
  for (const row& r : rows) {
    cell ts = made(test::block_of(r.spec));
    EXPECT_EQ(test::molded(ts), r.mold);
    EXPECT_EQ(test::formed(ts), r.mold);
    EXPECT_EQ(molded_only(ts), r.only);
  }
}

TEST_F(typeset_type, bad_makers_raise_with_the_offending_value) {
  EXPECT_TRUE(is(raised([] { made(test::block_of({dt(TYPE_INTEGER), test::int_(12)})); }), err::script_invalid_arg));
  EXPECT_EQ(last_raised.args[0].data2, 12u);
  EXPECT_TRUE(is(raised([] { made(test::int_(12)); }), err::script_bad_to_arg));
  EXPECT_EQ(last_raised.args[0].data1, static_cast<uint32_t>(TYPE_TYPESET));
  EXPECT_TRUE(is(raised([] { test::make(TYPE_TYPESET, test::int_(12), ACT_TO); }), err::script_bad_to_arg));
}

TEST_F(typeset_type, bitwise_actions_and_set_operations_with_typesets_and_datatypes) {
  cell number = made(test::block_of({dt(TYPE_INTEGER), dt(TYPE_FLOAT)}));
  struct row {
    int32_t op;
    cell other;
    std::string mold;
  } rows[] = {
      {5, dt(TYPE_CHAR), "make typeset! [char! integer! float!]"},
      {9, dt(TYPE_CHAR), "make typeset! [char! integer! float!]"},
      {11, dt(TYPE_INTEGER), "make typeset! [float!]"},
      {6, made(test::block_of({dt(TYPE_FLOAT), dt(TYPE_CHAR)})), "make typeset! [float!]"},
      {7, made(test::block_of({dt(TYPE_FLOAT), dt(TYPE_CHAR)})), "make typeset! [char! integer!]"},
      {8, dt(TYPE_CHAR), "make typeset! [integer! float!]"},
  };
  for (const row& r : rows) {
    stack::reset();
    stack::push(number);
    stack::push(r.other);
    do_bitwise(r.op);
    EXPECT_EQ(test::molded(*stack::arguments), r.mold) << r.op;
  }
  EXPECT_TRUE(is(raised([&] { test::operate(ACT_OR_T, number, test::int_(1)); }), err::script_invalid_arg));
}

TEST_F(typeset_type, find_answers_a_logic_for_a_datatype_only) {
  cell ts = made(test::block_of({dt(TYPE_INTEGER)}));
  auto find = datatype::action_of<find_fn>(TYPE_TYPESET, ACT_FIND);
  cell* a = stack::push(ts);
  EXPECT_EQ(find(a, stack::push(dt(TYPE_INTEGER)), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0),
            &logic::true_value);
  EXPECT_EQ(find(a, stack::push(dt(TYPE_FLOAT)), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0),
            &logic::false_value);
  cell* w = stack::push(cell{TYPE_WORD, 0, 1, 0});
  EXPECT_TRUE(is(raised([&] { find(a, w, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
                 err::script_invalid_arg));
}

TEST_F(typeset_type, compare_tests_equality_and_orders_only_by_count) {
  cell one = made(test::block_of({dt(TYPE_INTEGER)}));
  cell same = made(test::block_of({dt(TYPE_INTEGER)}));
  cell two = made(test::block_of({dt(TYPE_INTEGER), dt(TYPE_CHAR)}));
  struct row {
    cell a, b;
    int32_t op, answer;
  } rows[] = {
      {one, same, COMP_EQUAL, 0},   {one, two, COMP_EQUAL, 1},      {one, two, COMP_LESSER, COMPARE_NONE},
      {one, two, COMP_SORT, -1},    {two, one, COMP_CASE_SORT, 1},  {one, same, COMP_SORT, 0},
      {one, dt(TYPE_INTEGER), COMP_EQUAL, COMPARE_NONE},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(r.a, r.b, r.op), r.answer) << r.op;
}

TEST_F(typeset_type, complement_and_the_default_cover_every_registered_type) {
  cell empty = made(test::block_of({}));
  cell* all = datatype::action_of<complement_fn>(TYPE_TYPESET, ACT_COMPLEMENT)(&empty);
  EXPECT_EQ(all->data1 & all->data2 & all->data3, 0xFFFFFFFFu);
  EXPECT_EQ(empty.data1 | empty.data2 | empty.data3, 0u);  // a copy was inverted
  EXPECT_EQ(count_types(all), static_cast<int32_t>(datatype::max_type_id));
  std::string mold = test::molded(*all);
  for (uint32_t t = 1; t <= datatype::max_type_id; ++t) {
    const char* name = datatype::type_name_table[t].name;
    if (!name) continue;
    bool listed = mold.find(std::string(name) + " ") != std::string::npos ||
                  mold.find(std::string(name) + "]") != std::string::npos;
    EXPECT_TRUE(listed) << name;
  }

  cell blk{};
  memory::root_guard keep(&blk);
  block::make_at(&blk, 1);
  cell* defaults = make_default_in(&blk);
  EXPECT_FALSE(has_q(defaults, TYPE_UNSET));
  EXPECT_EQ(count_types(defaults), static_cast<int32_t>(datatype::max_type_id) - 1);
}

TEST_F(typeset_type, function_spec_types_and_conversion_to_a_block) {
  cell blk{};
  memory::root_guard keep(&blk);
  block::make_at(&blk, 2);
  cell number = made(test::block_of({dt(TYPE_INTEGER), dt(TYPE_FLOAT)}));
  cell nested = test::block_of({dt(TYPE_NONE)});
  memory::root_guard keep_nested(&nested);
  cell spec = test::block_of({dt(TYPE_CHAR), number, nested});
  memory::root_guard keep_spec(&spec);
  cell* ts = make_from_spec_in(&blk, &spec);
  EXPECT_EQ(test::molded(*ts), "make typeset! [char! integer! float!]");
  cell bad = test::block_of({test::int_(3)});
  memory::root_guard keep_bad(&bad);
  EXPECT_TRUE(is(raised([&] { make_from_spec_in(&blk, &bad); }), err::script_invalid_type_spec));

  cell words{};
  memory::root_guard keep_words(&words);
  to_block(&number, &words);
  ASSERT_EQ(block::rs_length_q(&words), 2);
  for (int32_t i = 0; i < 2; ++i) {
    cell* w = block::rs_abs_at(&words, i);
    EXPECT_EQ(TYPE_OF(w), TYPE_WORD);
    EXPECT_EQ(w->data2, datatype::type_name_table[i == 0 ? TYPE_INTEGER : TYPE_FLOAT].word);
  }
  cell* appended = make_in(&blk, 1, 2, 3);
  EXPECT_EQ(appended->data3, 3u);
}

}  // namespace
}  // namespace ixo::typeset
