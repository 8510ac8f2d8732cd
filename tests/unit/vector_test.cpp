#include "runtime/datatypes/vector.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/url.hpp"
#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"

namespace ixo::vector {
namespace {

using test::block_of;
using test::chr;
using test::flt;
using test::int_;
using test::is;
using test::pct;
using test::raised;

struct vector_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    init();
    stack::reset();
  }
};

cell word(const std::string& spelling) {
  int32_t id = symbol::make_part(reinterpret_cast<const uint8_t*>(spelling.data()),
                                 static_cast<int32_t>(spelling.size()));
  return cell{TYPE_WORD, 0, static_cast<uint32_t>(id), 0xFFFFFFFF};
}

// A vector made from the spec, kept until the test ends.
cell vec(cell spec) { return test::keep(test::make(TYPE_VECTOR, spec)); }

cell* push_vec(cell spec) { return stack::push(vec(spec)); }

std::string form_of(cell v) { return test::formed(v); }

TEST_F(vector_type, make_from_a_count_or_a_spec_block_molds_back) {
  const struct row {
    cell spec;
    std::string mold;
  } rows[] = {
      {block_of({int_(1), int_(2), int_(3)}), "make vector! [1 2 3]"},
      {block_of({word("integer!"), int_(16), block_of({int_(1), int_(2), int_(3)})}),
       "make vector! [integer! 16 [1 2 3]]"},
      {int_(3), "make vector! [0 0 0]"},
      {flt(2.0), "make vector! [0 0]"},
      {block_of({}), "make vector! [integer! 32 []]"},
      {block_of({flt(1.5), flt(-2.25)}), "make vector! [1.5 -2.25]"},
      {block_of({pct(0.5)}), "make vector! [50%]"},
      {block_of({chr('a'), chr('"')}), "make vector! [#\"a\" #\"^\"\"]"},
      {block_of({word("float!"), int_(32), block_of({flt(1.5)})}), "make vector! [float! 32 [1.5]]"},
      {block_of({word("integer!"), int_(8), int_(3)}), "make vector! [integer! 8 [0 0 0]]"},
      {block_of({word("integer!"), int_(8), int_(3), block_of({int_(1)})}), "make vector! [integer! 8 [1 0 0]]"},
      {block_of({word("INTEGER!"), int_(8), block_of({int_(200)})}), "make vector! [integer! 8 [-56]]"},
      {block_of({word("percent!"), block_of({pct(0.25)})}), "make vector! [25%]"},
      {block_of({word("percent!"), int_(8), block_of({pct(0.25)})}), "make vector! [25%]"},
      {block_of({word("char!"), int_(32), block_of({chr('x')})}), "make vector! [#\"x\"]"},
      {block_of({word("integer!"), int_(32)}), "make vector! [integer! 32 []]"},
  };
  for (const row& r : rows) EXPECT_EQ(test::molded(vec(r.spec)), r.mold) << r.mold;
}

TEST_F(vector_type, make_refuses_bad_specs) {
  const struct row {
    cell spec;
    error_id error;
  } rows[] = {
      {test::bytes_of("abc", TYPE_STRING), err::internal_not_done},
      {block_of({word("integer!")}), err::script_bad_make_arg},
      {block_of({word("string!"), int_(32)}), err::script_bad_make_arg},
      {block_of({word("integer!"), int_(64)}), err::script_bad_make_arg},
      {block_of({word("char!"), int_(12)}), err::script_bad_make_arg},
      {block_of({word("float!"), int_(16)}), err::script_bad_make_arg},
      {block_of({word("integer!"), flt(8.0)}), err::script_invalid_spec_field},
      {block_of({word("integer!"), int_(32), flt(1.5)}), err::script_invalid_spec_field},
      {block_of({test::bytes_of("a", TYPE_STRING)}), err::script_invalid_type},
      {block_of({int_(1), flt(1.5)}), err::script_invalid_arg},
      {block_of({word("float!"), int_(64), block_of({int_(1)})}), err::script_invalid_arg},
      {int_(INT_MAX), err::internal_no_memory},
  };
  for (const row& r : rows) {
    auto e = raised([&] { test::make(TYPE_VECTOR, r.spec); });
    EXPECT_TRUE(is(e, r.error)) << test::molded(r.spec);
  }
}

TEST_F(vector_type, pick_answers_values_of_the_element_type) {
  const struct row {
    cell spec;
    int32_t index;
    cell expected;
  } rows[] = {
      {block_of({int_(1), int_(2), int_(3)}), 2, int_(2)},
      {block_of({int_(1), int_(2), int_(3)}), 3, int_(3)},
      {block_of({int_(1), int_(2), int_(3)}), -1, none::none_value},
      {block_of({flt(1.5), flt(2.5)}), 1, flt(1.5)},
      {block_of({pct(0.5)}), 1, pct(0.5)},
      {block_of({chr('z')}), 1, chr('z')},
      {block_of({word("float!"), int_(32), block_of({flt(0.25)})}), 1, flt(0.25)},
      {block_of({word("integer!"), int_(16), block_of({int_(-300)})}), 1, int_(-300)},
      {block_of({int_(1)}), 2, none::none_value},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* v = push_vec(r.spec);
    cell got = *datatype::action_of<pick_fn>(TYPE_VECTOR, ACT_PICK)(v, r.index, nullptr);
    EXPECT_EQ(TYPE_OF(&got), TYPE_OF(&r.expected)) << r.index;
    EXPECT_EQ(got.data2, r.expected.data2) << r.index;
    EXPECT_EQ(got.data3, r.expected.data3) << r.index;
  }
}

TEST_F(vector_type, poke_stores_only_values_of_the_element_type) {
  const struct row {
    cell spec;
    cell value;
    bool refused;
    std::string after;
  } rows[] = {
      {block_of({int_(1), int_(2)}), int_(9), false, "9 2"},
      {block_of({int_(1), int_(2)}), flt(1.5), true, "1 2"},
      {block_of({int_(1), int_(2)}), chr('a'), true, "1 2"},
      {block_of({flt(1.0)}), int_(2), true, "1.0"},
      {block_of({flt(1.0)}), flt(0.5), false, "0.5"},
      {block_of({word("integer!"), int_(8), block_of({int_(0)})}), int_(300), false, "44"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* v = push_vec(r.spec);
    cell* value = stack::push(r.value);
    auto e = raised([&] { datatype::action_of<poke_fn>(TYPE_VECTOR, ACT_POKE)(v, 1, value, nullptr); });
    EXPECT_EQ(is(e, err::script_invalid_arg), r.refused) << r.after;
    EXPECT_EQ(form_of(*v), r.after);
  }
}

TEST_F(vector_type, take_answers_the_element_as_a_value) {
  cell* v = push_vec(block_of({int_(5), int_(6)}));
  cell got = *datatype::action_of<take_fn>(TYPE_VECTOR, ACT_TAKE)(v, stack::arguments - 1, 0, 0);
  EXPECT_EQ(TYPE_OF(&got), TYPE_INTEGER);
  EXPECT_EQ(test::int_of(got), 5);
}

TEST_F(vector_type, math_with_a_number_changes_the_vector_in_place) {
  const struct row {
    cell spec;
    int32_t action;
    cell number;
    std::string after;
  } rows[] = {
      {block_of({int_(1), int_(2), int_(3)}), ACT_ADD, int_(1), "2 3 4"},
      {block_of({int_(1), int_(2), int_(3)}), ACT_SUBTRACT, int_(5), "-4 -3 -2"},
      {block_of({word("integer!"), int_(8), block_of({int_(127)})}), ACT_ADD, int_(1), "-128"},
      {block_of({word("integer!"), int_(16), block_of({int_(32767)})}), ACT_MULTIPLY, int_(2), "-2"},
      {block_of({int_(INT_MAX)}), ACT_ADD, int_(1), "-2147483648"},
      {block_of({int_(INT_MIN)}), ACT_MULTIPLY, int_(-1), "-2147483648"},
      {block_of({int_(7), int_(-7)}), ACT_DIVIDE, int_(2), "3 -3"},
      {block_of({int_(7), int_(-7)}), ACT_REMAINDER, int_(2), "1 -1"},
      {block_of({int_(6), int_(5)}), ACT_AND_T, int_(3), "2 1"},
      {block_of({int_(6), int_(5)}), ACT_OR_T, int_(8), "14 13"},
      {block_of({int_(6), int_(5)}), ACT_XOR_T, int_(4), "2 1"},
      {block_of({int_(1), int_(2)}), ACT_MULTIPLY, flt(2.9), "2 4"},
      {block_of({int_(1), int_(2)}), ACT_MULTIPLY, flt(1.9), "1 2"},
      {block_of({flt(1.5), flt(2.5)}), ACT_MULTIPLY, int_(2), "3.0 5.0"},
      {block_of({flt(1.0)}), ACT_DIVIDE, flt(4.0), "0.25"},
      {block_of({pct(0.5)}), ACT_ADD, pct(0.25), "75%"},
      {block_of({chr('a')}), ACT_ADD, int_(1), "b"},
  };
  for (const row& r : rows) {
    cell v = vec(r.spec);
    cell result = test::operate(r.action, v, r.number);
    EXPECT_EQ(result.data2, v.data2) << r.after;  // the same buffer
    EXPECT_EQ(form_of(result), r.after);
  }
}

TEST_F(vector_type, math_with_a_number_that_fails_leaves_the_vector_unchanged) {
  const struct row {
    cell spec;
    int32_t action;
    cell number;
    error_id error;
    std::string kept;
  } rows[] = {
      {block_of({int_(1), int_(2)}), ACT_DIVIDE, int_(0), err::math_zero_divide, "1 2"},
      {block_of({int_(1), int_(2)}), ACT_REMAINDER, int_(0), err::math_zero_divide, "1 2"},
      {block_of({int_(5), int_(INT_MIN)}), ACT_DIVIDE, int_(-1), err::math_overflow, "5 -2147483648"},
      {block_of({flt(1.5), flt(2.5)}), ACT_OR_T, flt(1.0), err::script_cannot_use, "1.5 2.5"},
      {block_of({int_(1)}), ACT_ADD, test::bytes_of("x", TYPE_STRING), err::internal_not_done, "1"},
  };
  for (const row& r : rows) {
    cell v = vec(r.spec);
    auto e = raised([&] { test::operate(r.action, v, r.number); });
    EXPECT_TRUE(is(e, r.error)) << r.kept;
    EXPECT_EQ(form_of(v), r.kept);
  }
}

TEST_F(vector_type, a_number_with_a_vector_changes_the_vector_in_place) {
  const struct row {
    cell number;
    int32_t action;
    cell spec;
    std::string after;
  } rows[] = {
      {int_(1), ACT_ADD, block_of({int_(1), int_(2)}), "2 3"},
      {int_(2), ACT_SUBTRACT, block_of({int_(5)}), "3"},  // the vector is the left operand
      {flt(2.0), ACT_MULTIPLY, block_of({flt(1.5)}), "3.0"},
      {pct(0.5), ACT_ADD, block_of({pct(0.25)}), "75%"},
  };
  for (const row& r : rows) {
    cell v = vec(r.spec);
    cell result = test::operate(r.action, r.number, v);
    EXPECT_EQ(TYPE_OF(&result), TYPE_VECTOR) << r.after;
    EXPECT_EQ(result.data2, v.data2) << r.after;
    EXPECT_EQ(form_of(v), r.after);
  }
  cell v = vec(block_of({int_(1)}));
  EXPECT_TRUE(is(raised([&] { test::operate(ACT_ADD, chr('a'), v); }), err::internal_not_done));
  EXPECT_EQ(form_of(v), "1");
}

TEST_F(vector_type, math_of_two_vectors_makes_a_new_vector_of_the_shorter_length) {
  const struct row {
    cell a, b;
    int32_t action;
    std::string mold;
  } rows[] = {
      {block_of({int_(1), int_(2), int_(3)}), block_of({int_(10), int_(20)}), ACT_ADD, "make vector! [11 22]"},
      {block_of({word("integer!"), int_(8), block_of({int_(1), int_(2)})}),
       block_of({word("integer!"), int_(16), block_of({int_(300), int_(2)})}), ACT_ADD,
       "make vector! [integer! 16 [301 4]]"},
      {block_of({flt(1.5)}), block_of({flt(2.0), flt(9.0)}), ACT_MULTIPLY, "make vector! [3.0]"},
      {block_of({int_(6)}), block_of({int_(3)}), ACT_AND_T, "make vector! [2]"},
  };
  for (const row& r : rows) {
    cell a = vec(r.a);
    std::string before = form_of(a);
    cell result = test::operate(r.action, a, vec(r.b));
    EXPECT_NE(result.data2, a.data2);
    EXPECT_EQ(test::molded(result), r.mold);
    EXPECT_EQ(form_of(a), before);
  }
  auto e = raised([&] { test::operate(ACT_ADD, vec(block_of({int_(1)})), vec(block_of({flt(1.0)}))); });
  EXPECT_TRUE(is(e, err::script_not_same_type));
}

// append or insert as the dispatcher calls them: no /part is -1, no /dup 1.
cell* edit(int32_t action, cell* v, cell value, int32_t part = -1, int32_t dup = 1) {
  cell* x = stack::push(value);
  return datatype::action_of<insert_fn>(TYPE_VECTOR, action)(v, x, part, 0, dup, action == ACT_APPEND);
}

TEST_F(vector_type, append_and_insert_store_values_of_the_element_type) {
  const struct row {
    int32_t action;
    cell spec;
    cell value;
    int32_t part, dup;
    std::string after;
    int32_t index;
  } rows[] = {
      {ACT_APPEND, block_of({int_(1), int_(2)}), int_(3), -1, 1, "1 2 3", 0},
      {ACT_APPEND, block_of({int_(1), int_(2)}), int_(7), -1, 3, "1 2 7 7 7", 0},
      {ACT_APPEND, block_of({int_(1)}), block_of({int_(4), int_(5), int_(6)}), 2, 1, "1 4 5", 0},
      {ACT_APPEND, block_of({int_(1)}), block_of({int_(4), int_(5)}), -1, 2, "1 4 5 4 5", 0},
      {ACT_INSERT, block_of({int_(1)}), block_of({int_(4), int_(5)}), -1, 1, "4 5 1", 2},
      {ACT_APPEND, block_of({flt(1.0)}), flt(0.5), -1, 1, "1.0 0.5", 0},
      {ACT_APPEND, block_of({}), block_of({}), -1, 1, "", 0},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* v = push_vec(r.spec);
    cell* result = edit(r.action, v, r.value, r.part, r.dup);
    EXPECT_EQ(static_cast<int32_t>(result->data1), r.index) << r.after;
    result->data1 = 0;
    EXPECT_EQ(form_of(*result), r.after);
  }
}

TEST_F(vector_type, append_of_a_value_of_another_type_changes_nothing) {
  const struct row {
    cell spec;
    cell value;
    std::string kept;
  } rows[] = {
      {block_of({int_(1)}), flt(1.5), "1"},
      {block_of({flt(1.0)}), int_(2), "1.0"},
      {block_of({int_(1)}), block_of({int_(2), flt(1.5)}), "1"},
      {block_of({chr('a')}), int_(98), "a"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* v = push_vec(r.spec);
    auto e = raised([&] { edit(ACT_APPEND, v, r.value); });
    EXPECT_TRUE(is(e, err::script_invalid_arg)) << r.kept;
    EXPECT_EQ(form_of(*v), r.kept);
  }
}

TEST_F(vector_type, change_overwrites_from_the_index) {
  const struct row {
    cell spec;
    cell value;
    int32_t part;
    std::string after;
    int32_t index;
  } rows[] = {
      {block_of({int_(1), int_(2), int_(3)}), int_(9), -1, "9 2 3", 1},
      {block_of({int_(1), int_(2), int_(3)}), block_of({int_(7), int_(8)}), -1, "7 8 3", 2},
      {block_of({int_(1), int_(2), int_(3)}), int_(9), 2, "9 3", 1},
      {block_of({int_(1), int_(2)}), vec(block_of({word("integer!"), int_(8), block_of({int_(5), int_(6), int_(7)})})),
       -1, "5 6 7", 3},
  };
  for (const row& r : rows) {
    stack::reset();
    cell v = vec(r.spec);
    cell* target = stack::push(v);
    cell* x = stack::push(r.value);
    cell* result = datatype::action_of<change_fn>(TYPE_VECTOR, ACT_CHANGE)(target, x, r.part, 0, 1);
    EXPECT_EQ(static_cast<int32_t>(result->data1), r.index) << r.after;
    result->data1 = 0;
    EXPECT_EQ(form_of(*result), r.after);
  }
  stack::reset();
  cell* v = push_vec(block_of({int_(1)}));
  cell* x = stack::push(flt(2.0));
  auto e = raised([&] { datatype::action_of<change_fn>(TYPE_VECTOR, ACT_CHANGE)(v, x, -1, 0, 1); });
  EXPECT_TRUE(is(e, err::script_invalid_arg));
  EXPECT_EQ(form_of(*v), "1");
}

TEST_F(vector_type, compare_orders_elements_as_values) {
  const struct row {
    cell a, b;
    int32_t op, answer;
  } rows[] = {
      {block_of({int_(1), int_(2)}), block_of({int_(1), int_(2)}), COMP_EQUAL, 0},
      {block_of({int_(1), int_(2)}), block_of({word("integer!"), int_(8), block_of({int_(1), int_(2)})}), COMP_EQUAL,
       0},
      {block_of({int_(1), int_(2)}), block_of({int_(1), int_(3)}), COMP_LESSER, -1},
      {block_of({int_(1), int_(2)}), block_of({int_(1)}), COMP_EQUAL, 1},
      {block_of({int_(1), int_(2)}), block_of({int_(1)}), COMP_LESSER, 1},
      {block_of({}), block_of({int_(1)}), COMP_LESSER, -1},
      {block_of({}), block_of({}), COMP_LESSER, 0},
      {block_of({flt(1.5)}), block_of({flt(0.5)}), COMP_LESSER, 1},
      {block_of({int_(1)}), block_of({int_(1)}), COMP_SAME, -1},
  };
  for (const row& r : rows) EXPECT_EQ(test::compare(vec(r.a), vec(r.b), r.op), r.answer) << r.op;
  cell v = vec(block_of({int_(1)}));
  EXPECT_EQ(test::compare(v, v, COMP_SAME), 0);
  EXPECT_EQ(test::compare(v, int_(1), COMP_EQUAL), COMPARE_NONE);
  auto e = raised([&] { test::compare(v, vec(block_of({flt(1.0)})), COMP_EQUAL); });
  EXPECT_TRUE(is(e, err::script_not_same_type));
}

TEST_F(vector_type, to_block_gives_one_value_per_element_from_the_index) {
  cell v = vec(block_of({word("float!"), int_(32), block_of({flt(0.5), flt(1.5), flt(2.5)})}));
  v.data1 = 1;
  cell* blk = stack::push(none::none_value);
  to_block(&v, blk);
  ASSERT_EQ(TYPE_OF(blk), TYPE_BLOCK);
  ASSERT_EQ(series::rs_abs_length_q(blk), 2);
  const cell* values = memory::head_of<cell>(memory::GET_BUFFER(blk));
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(TYPE_OF(&values[i]), TYPE_FLOAT);
    EXPECT_EQ(get_float(&values[i]), 1.5 + i);
  }
}

TEST_F(vector_type, make_and_to_block_give_the_values_from_the_index) {
  for (int32_t action : {ACT_MAKE, ACT_TO}) {
    cell v = vec(block_of({int_(4), int_(5), int_(6)}));
    v.data1 = 1;
    cell blk = test::keep(test::make(TYPE_BLOCK, v, action));
    ASSERT_EQ(TYPE_OF(&blk), TYPE_BLOCK);
    ASSERT_EQ(series::rs_abs_length_q(&blk), 2);
    const cell* values = memory::head_of<cell>(memory::GET_BUFFER(&blk));
    EXPECT_EQ(test::int_of(values[0]), 5);
    EXPECT_EQ(test::int_of(values[1]), 6);
  }
}

TEST_F(vector_type, form_and_mold_stop_at_the_part) {
  cell v = vec(block_of({int_(100), int_(200), int_(300)}));
  cell buffer{};
  memory::root_guard keep(&buffer);
  string::rs_make_at(&buffer, 16);
  cell part = int_(5);
  cell* arg = stack::push(part);
  datatype::action_of<form_fn>(TYPE_VECTOR, ACT_FORM)(&v, &buffer, arg, 5);
  EXPECT_EQ(test::text_of(&buffer).substr(0, 5), "100 2");
  EXPECT_LE(test::text_of(&buffer).size(), 7u);
}

struct hex_coding : vector_type {};

cell* push_text(const std::string& utf8, uint32_t type) {
  cell* c = stack::push_slot();
  string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), c,
                  string::LOAD_UTF8);
  set_type(c, type);
  return c;
}

TEST_F(hex_coding, dehex_and_enhex_answer_new_strings) {
  const struct row {
    std::string text;
    uint32_t type;
    std::string decoded, encoded;
  } rows[] = {
      {"a%20b", TYPE_STRING, "a b", "a%2520b"},
      {"a/b:c", TYPE_STRING, "a/b:c", "a%2Fb%3Ac"},
      {"a/b:c", TYPE_URL, "a/b:c", "a/b:c"},
      {"x y", TYPE_FILE, "x y", "x%20y"},
      {"%C3%A9", TYPE_STRING, "\xC3\xA9", "%25C3%25A9"},
      {"\xC3\xA9", TYPE_STRING, "\xC3\xA9", "%C3%A9"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* s = push_text(r.text, r.type);
    cell* out = stack::push_slot();
    url::dehex(s, out);
    EXPECT_EQ(TYPE_OF(out), TYPE_STRING);
    EXPECT_EQ(test::text_of(out), r.decoded) << r.text;
    url::enhex(s, out);
    EXPECT_EQ(TYPE_OF(out), TYPE_STRING);
    EXPECT_EQ(test::text_of(out), r.encoded) << r.text;
    // The result may go into the value's own cell, as a native's does.
    url::enhex(s, s);
    EXPECT_EQ(test::text_of(s), r.encoded) << r.text;
  }
}

}  // namespace
}  // namespace ixo::vector
