#include "runtime/datatypes/hash.hpp"

#include <gtest/gtest.h>

#include "support/blocks.hpp"

namespace ixo::hash_ {
namespace {

using test::arg;
using test::consistent_hash;
using test::integer_value;
using test::ints;
using test::ints_of;

struct hash_type : test::block_suite {
  void SetUp() override {
    test::block_suite::SetUp();
    init();
    test::fresh_arguments();
  }
};

cell* made(cell spec, int32_t action = ACT_MAKE) {
  cell* proto = arg(datatype::make_cell(TYPE_HASH));
  cell* s = arg(spec);
  return datatype::action_of<make_fn>(TYPE_HASH, action)(proto, s, TYPE_HASH);
}

cell* found(cell* h, int32_t key) {
  return hashtable::get(h->data3, arg(integer_value(key)), 0, 1, COMP_FIND, false, false);
}

void append(cell* h, cell value) {
  datatype::action_of<insert_fn>(TYPE_HASH, ACT_APPEND)(h, arg(value), -1, 0, 1, 1);
}

TEST_F(hash_type, made_from_a_block_indexes_every_value_and_stays_in_step_with_append) {
  cell* h = made(ints({4, 8, 15, 16}));
  ASSERT_EQ(TYPE_OF(h), TYPE_HASH);
  EXPECT_TRUE(consistent_hash(h));
  for (int32_t key : {4, 8, 15, 16}) EXPECT_NE(found(h, key), nullptr) << key;
  EXPECT_EQ(found(h, 23), nullptr);
  append(h, integer_value(23));
  EXPECT_NE(found(h, 23), nullptr);
  EXPECT_TRUE(consistent_hash(h));
}

TEST_F(hash_type, made_from_a_size_is_empty_with_a_table) {
  struct row {
    cell spec;
  } rows[] = {{integer_value(0)}, {integer_value(10)}, {cell{TYPE_FLOAT, 0, 0, 0}}};
  for (const row& r : rows) {
    cell* h = made(r.spec);
    EXPECT_EQ(TYPE_OF(h), TYPE_HASH);
    EXPECT_EQ(series::rs_abs_length_q(h), 0);
    EXPECT_NE(h->data3, 0u);
    append(h, integer_value(1));
    EXPECT_TRUE(consistent_hash(h));
  }
  EXPECT_TRUE(test::is(test::raised([] { made(integer_value(-1)); }), err::script_out_of_range));
}

TEST_F(hash_type, to_hash_wraps_a_single_value_and_copies_a_hash) {
  cell* one = made(integer_value(7), ACT_TO);
  EXPECT_EQ(ints_of(one), std::vector<int32_t>{7});
  EXPECT_TRUE(consistent_hash(one));
  cell* again = made(*one, ACT_TO);
  EXPECT_NE(again->data2, one->data2);
  EXPECT_NE(again->data3, one->data3);
  EXPECT_TRUE(consistent_hash(again));
}

TEST_F(hash_type, mold_writes_the_maker_unless_only) {
  cell h = *made(ints({1, 2}));
  EXPECT_EQ(test::mold_text(h), "make hash! [1 2]");
  cell* v = arg(h);
  cell* buffer = arg(cell{});
  string::rs_make_at(buffer, 16);
  datatype::action_of<mold_fn>(TYPE_HASH, ACT_MOLD)(v, buffer, 1, 0, 0, nullptr, INT32_MAX, 0);
  EXPECT_EQ(test::text_of(buffer), "1 2");
}

TEST_F(hash_type, after_sort_select_gives_the_value_now_following_the_key) {
  cell* h = made(ints({3, 30, 1, 10}));
  datatype::action_of<sort_fn>(TYPE_HASH, ACT_SORT)(h, 0, nullptr, nullptr, nullptr, 0, 0, 0);
  EXPECT_EQ(ints_of(h), (std::vector<int32_t>{1, 3, 10, 30}));
  EXPECT_TRUE(consistent_hash(h));
  cell* key = arg(integer_value(3));
  cell* next = datatype::action_of<select_fn>(TYPE_HASH, ACT_SELECT)(h, key, nullptr, 0, 0, 0, 0, nullptr, nullptr,
                                                                      0, 0);
  EXPECT_EQ(next->data2, 10u);
}

TEST_F(hash_type, a_copy_is_independent_of_its_original) {
  struct row {
    uint32_t index;
  } rows[] = {{0}, {1}};  // the table copied whole, or rebuilt for a part
  for (const row& r : rows) {
    cell* h = made(ints({1, 2, 3}));
    h->data1 = r.index;
    cell* copied = arg(*h);
    datatype::action_of<copy_fn>(TYPE_HASH, ACT_COPY)(h, copied, nullptr, 0, nullptr);
    h->data1 = 0;
    ASSERT_EQ(TYPE_OF(copied), TYPE_HASH);
    append(copied, integer_value(9));
    EXPECT_EQ(ints_of(h), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(found(h, 9), nullptr);
    EXPECT_NE(found(copied, 9), nullptr);
    EXPECT_TRUE(consistent_hash(h));
    EXPECT_TRUE(consistent_hash(copied));
  }
}

}  // namespace
}  // namespace ixo::hash_
