#include <gtest/gtest.h>

#include <cmath>

#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "support/natives.hpp"

namespace ixo {
namespace {

using test::call_entry;
using test::flt;
using test::int_;
using test::str;
using test::tup;

struct natives_compare : test::natives_suite {};

bool truth(const cell& c) {
  EXPECT_EQ(TYPE_OF(&c), TYPE_LOGIC);
  return c.data1 != 0;
}

TEST_F(natives_compare, comparison_natives_answer_by_the_compare_action) {
  using entry = test::entry_fn;
  const entry natives[] = {natives::equal_q, natives::not_equal_q, natives::strict_equal_q, natives::lesser_q,
                           natives::greater_q, natives::lesser_or_equal_q, natives::greater_or_equal_q};
  struct row {
    cell a, b;
    const char* answers;  // = <> == < > <= >=, as 1 and 0
    int line;
  };
  const row rows[] = {
      {int_(1), flt(1.0), "1000011", __LINE__},
      {flt(1.0), int_(1), "1000011", __LINE__},
      {int_(1), int_(2), "0101010", __LINE__},
      {int_(2), int_(2), "1010011", __LINE__},
      {str("abc"), str("ABC"), "1000011", __LINE__},
      {str("abc"), str("abd"), "0101010", __LINE__},
      {flt(NAN), flt(NAN), "0100000", __LINE__},
  };
  for (const row& r : rows) {
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(truth(call_entry(natives[i], {r.a, r.b})), r.answers[i] == '1') << "line " << r.line << " native " << i;
    }
  }
}

TEST_F(natives_compare, ordering_values_that_do_not_compare_raises_invalid_compare) {
  for (test::entry_fn native : {natives::lesser_q, natives::greater_q, natives::lesser_or_equal_q,
                                natives::greater_or_equal_q}) {
    EXPECT_TRUE(test::raises(err::script_invalid_compare, [&] { call_entry(native, {str("a"), int_(1)}); }));
  }
  // Equality of such values is simply false.
  EXPECT_FALSE(truth(call_entry(natives::equal_q, {str("a"), int_(1)})));
  EXPECT_TRUE(truth(call_entry(natives::not_equal_q, {str("a"), int_(1)})));
}

TEST_F(natives_compare, same_compares_identity) {
  cell block = test::block_of({int_(1), int_(2)});
  cell copy = test::block_of({int_(1), int_(2)});
  cell next = block;
  next.data1 = 1;
  cell s = str("abc");
  cell nan = flt(NAN);
  struct row {
    cell a, b;
    bool same;
    int line;
  };
  const row rows[] = {
      {int_(1), flt(1.0), false, __LINE__},
      {int_(7), int_(7), true, __LINE__},
      {flt(0.0), flt(-0.0), false, __LINE__},
      {flt(1.5), flt(1.5), true, __LINE__},
      {nan, nan, true, __LINE__},
      {block, block, true, __LINE__},
      {block, copy, false, __LINE__},
      {block, next, false, __LINE__},
      {s, s, true, __LINE__},
      {s, str("abc"), false, __LINE__},
      {tup({1, 2, 3}), tup({1, 2, 3}), true, __LINE__},
      {tup({1, 2, 3}), tup({1, 2, 3, 0}), false, __LINE__},
      {none::none_value, none::none_value, true, __LINE__},
      {unset::unset_value, unset::unset_value, true, __LINE__},
      {logic::true_value, logic::true_value, true, __LINE__},
      {logic::true_value, logic::false_value, false, __LINE__},
      {test::xy(1, 2), test::xy(1, 2), true, __LINE__},
      {test::pt(1, 2), test::pt(1, 2), true, __LINE__},
      {test::pt(0.0f, 2), test::pt(-0.0f, 2), false, __LINE__},
  };
  for (const row& r : rows) EXPECT_EQ(truth(call_entry(natives::same_q, {r.a, r.b})), r.same) << "line " << r.line;
}

TEST_F(natives_compare, not_is_true_only_for_none_and_false) {
  EXPECT_TRUE(truth(call_entry(natives::not_, {none::none_value})));
  EXPECT_TRUE(truth(call_entry(natives::not_, {logic::false_value})));
  for (const cell& v : {logic::true_value, unset::unset_value, int_(0), str("")}) {
    EXPECT_FALSE(truth(call_entry(natives::not_, {v})));
  }
}

TEST_F(natives_compare, type_answers_the_datatype_or_its_word) {
  cell marked = int_(1);
  marked.header |= NEWLINE_FLAG;
  cell t = call_entry(natives::type_q, {marked}, {-1});
  EXPECT_EQ(t.header, static_cast<uint32_t>(TYPE_DATATYPE));  // the new-line marker is not kept
  EXPECT_EQ(t.data1, static_cast<uint32_t>(TYPE_INTEGER));

  for (uint32_t type : {TYPE_INTEGER, TYPE_STRING, TYPE_FLOAT}) {
    cell value = type == TYPE_INTEGER ? int_(1) : type == TYPE_STRING ? str("x") : flt(1.0);
    cell w = call_entry(natives::type_q, {value}, {1});
    ASSERT_EQ(TYPE_OF(&w), static_cast<uint32_t>(TYPE_WORD));
    EXPECT_EQ(w.data2, datatype::type_name_table[type].word);
    EXPECT_EQ(test::molded(w), datatype::type_name_table[type].name);
  }
}

}  // namespace
}  // namespace ixo
