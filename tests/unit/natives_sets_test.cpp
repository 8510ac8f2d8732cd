#include <gtest/gtest.h>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/natives_sets.hpp"
#include "support/natives.hpp"

namespace ixo {
namespace {

using test::call_entry;
using test::int_;
using test::molded;
using test::str;

struct natives_sets : test::natives_suite {};

cell ints(std::initializer_list<int32_t> values) {
  std::vector<cell> cells;
  for (int32_t v : values) cells.push_back(int_(v));
  return test::block_of(cells);
}

cell hash_of(std::initializer_list<int32_t> values) {
  cell h = ints(values);
  memory::root_guard rooted(&h);
  set_type(&h, TYPE_HASH);
  h.data3 = hashtable::init(static_cast<int32_t>(values.size()), &h, hashtable::KIND_BLOCK, 1);
  return test::keep(h);
}

cell bits(const char* members) { return test::keep(test::make(TYPE_BITSET, str(members))); }

cell types(std::initializer_list<uint32_t> ids) {
  std::vector<cell> cells;
  for (uint32_t id : ids) cells.push_back(datatype::make_cell(id));
  return test::keep(test::make(TYPE_TYPESET, test::block_of(cells)));
}

// Refinement integers of a set native with one or two sets: /case, /skip.
std::initializer_list<int32_t> plain = {-1, -1};

TEST_F(natives_sets, set_natives_on_blocks_strings_bitsets_and_typesets) {
  struct row {
    test::entry_fn native;
    cell set1, set2;
    const char* result;  // molded
    int line;
  };
  const row rows[] = {
      {natives::union_, ints({1, 2, 3}), ints({2, 4}), "[1 2 3 4]", __LINE__},
      {natives::intersect, ints({1, 2, 3}), ints({2, 3, 4}), "[2 3]", __LINE__},
      {natives::difference, ints({1, 2, 3}), ints({2, 4}), "[1 3 4]", __LINE__},
      {natives::exclude, ints({1, 2, 3}), ints({2}), "[1 3]", __LINE__},
      {natives::union_, ints({1, 1}), hash_of({2, 1}), "make hash! [1 2]", __LINE__},
      {natives::union_, str("abc"), str("bcd"), "\"abcd\"", __LINE__},
      {natives::intersect, str("abc"), str("BCD"), "\"bc\"", __LINE__},
      {natives::exclude, str("abc"), str("B"), "\"ac\"", __LINE__},
      {natives::difference, str("abc"), str("bcd"), "\"ad\"", __LINE__},
      {natives::union_, bits("a"), bits("b"), nullptr, __LINE__},
      {natives::union_, types({TYPE_INTEGER}), types({TYPE_FLOAT}), nullptr, __LINE__},
  };
  for (const row& r : rows) {
    cell result = call_entry(r.native, {r.set1, r.set2}, plain);
    if (r.result) {
      EXPECT_EQ(molded(result), r.result) << "line " << r.line;
    }
  }
  EXPECT_EQ(molded(call_entry(natives::union_, {bits("a"), bits("c")}, plain)), molded(bits("ac")));
  EXPECT_EQ(molded(call_entry(natives::intersect, {bits("abc"), bits("bcd")}, plain)), molded(bits("bc")));
  EXPECT_EQ(molded(call_entry(natives::union_, {types({TYPE_INTEGER}), types({TYPE_FLOAT})}, plain)),
            molded(types({TYPE_INTEGER, TYPE_FLOAT})));
  EXPECT_EQ(molded(call_entry(natives::exclude, {types({TYPE_INTEGER, TYPE_FLOAT}), types({TYPE_FLOAT})}, plain)),
            molded(types({TYPE_INTEGER})));
}

TEST_F(natives_sets, unique_takes_one_set) {
  EXPECT_EQ(molded(call_entry(natives::unique, {ints({1, 2, 2, 1, 3})}, plain)), "[1 2 3]");
  EXPECT_EQ(molded(call_entry(natives::unique, {str("aAbB")}, plain)), "\"ab\"");
  // /case (no argument) sits at index 1, after the set.
  EXPECT_EQ(molded(call_entry(natives::unique, {str("aAbB")}, {1, -1})), "\"aAbB\"");
}

TEST_F(natives_sets, case_and_skip_refinements) {
  EXPECT_EQ(molded(call_entry(natives::union_, {str("ab"), str("AC")}, plain)), "\"abC\"");
  EXPECT_EQ(molded(call_entry(natives::union_, {str("ab"), str("AC")}, {2, -1})), "\"abAC\"");
  // Records of two: the first element is the key.
  EXPECT_EQ(molded(call_entry(natives::union_, {ints({1, 10, 2, 20}), ints({1, 30, 3, 40}), int_(2)}, {-1, 2})),
            "[1 10 2 20 3 40]");
  EXPECT_EQ(molded(call_entry(natives::exclude, {ints({1, 10, 2, 20}), ints({1, 99}), int_(2)}, {-1, 2})),
            "[2 20]");
  EXPECT_TRUE(test::raises(err::script_invalid_refine_arg, [] {
    call_entry(natives::union_, {ints({1}), ints({2}), int_(0)}, {-1, 2});
  }));
}

TEST_F(natives_sets, set_types_must_agree) {
  EXPECT_TRUE(test::raises(err::script_expect_val, [] { call_entry(natives::union_, {ints({1}), str("a")}, plain); }));
  EXPECT_TRUE(test::raises(err::script_expect_val, [] { call_entry(natives::intersect, {str("a"), ints({1})}, plain); }));
  EXPECT_TRUE(test::raises(err::script_expect_val, [] { call_entry(natives::union_, {bits("a"), str("a")}, plain); }));
  EXPECT_EQ(molded(call_entry(natives::intersect, {hash_of({1, 2}), ints({2})}, plain)), "make hash! [2]");
}

TEST_F(natives_sets, difference_of_dates_is_a_time_and_no_other_set_takes_dates) {
  cell d1{}, d2{};
  date::make_at(&d1, 2024, 1, 2, 0.0, 0, 0, false);
  date::make_at(&d2, 2024, 1, 1, 0.0, 0, 0, false);
  cell t = call_entry(natives::difference, {d1, d2}, plain);
  ASSERT_EQ(TYPE_OF(&t), static_cast<uint32_t>(TYPE_TIME));
  EXPECT_EQ(get_float(&t), 86400.0);
  for (test::entry_fn native : {natives::union_, natives::intersect, natives::exclude}) {
    EXPECT_TRUE(test::raises(err::script_expect_arg, [&] { call_entry(native, {d1, d2}, plain); }));
  }
}

TEST_F(natives_sets, complement_tells_a_complemented_bitset) {
  cell plain_bits = bits("a");
  EXPECT_FALSE(call_entry(natives::complement_q, {plain_bits}).data1);
  cell flipped = *datatype::action_of<complement_fn>(TYPE_BITSET, ACT_COMPLEMENT)(&plain_bits);
  test::keep(flipped);
  EXPECT_TRUE(call_entry(natives::complement_q, {flipped}).data1);
  EXPECT_TRUE(test::raises(err::script_expect_arg, [] { call_entry(natives::complement_q, {int_(1)}); }));
}

}  // namespace
}  // namespace ixo
