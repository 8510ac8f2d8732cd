// Actions called through their stack-facing dispatchers as the interpreter
// calls them (arguments from the argument base, one integer per
// refinement), and the evaluator's shortcuts for infix operators.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "support/kept.hpp"
#include "support/native_call.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"

namespace ixo::test {
namespace {

struct action_dispatch : ::testing::Test {
  void SetUp() override {
    if (!cycles::entries()) cycles::init();  // a module global that start-up sets
    start_runtime();
    stack::reset();
  }
};

cell int_(int32_t v) { return integer::make_cell(v); }
cell flt(double d) { return float_::make_cell(d); }
cell type_(uint32_t t) { return datatype::make_cell(t); }

cell str(const char* text) {
  cell s{};
  string::load_at(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::char_traits<char>::length(text)),
                  &s, string::LOAD_UTF8);
  return keep(s);
}

cell block_of(const std::vector<cell>& cells) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()) + 1);
  memory::series_buffer* b = memory::buffer_of(node);
  std::copy(cells.begin(), cells.end(), memory::head_of<cell>(b));
  b->tail = b->head + static_cast<uint32_t>(cells.size() * sizeof(cell));
  return keep(cell{TYPE_BLOCK, 0, node, 0});
}

cell at(cell series, uint32_t index) {
  series.data1 = index;
  return series;
}

// The integers of a block from its index.
std::vector<int32_t> ints_of(const cell& b) {
  std::vector<int32_t> out;
  memory::series_buffer* buf = memory::GET_BUFFER(&b);
  for (cell* c = memory::head_of<cell>(buf) + b.data1; c < memory::tail_of<cell>(buf); ++c) out.push_back(integer::get(c));
  return out;
}

actions::action_dispatcher dispatcher(int32_t action) { return actions::dispatchers[action]; }

std::string text(cell c) { return text_of(&c); }

TEST_F(action_dispatch, every_action_but_set_path_has_a_dispatcher) {
  EXPECT_EQ(actions::dispatchers[ACT_SET_PATH], nullptr);
  for (int32_t i = 1; i <= ACTION_COUNT; ++i) {
    if (i != ACT_SET_PATH) {
      EXPECT_NE(actions::dispatchers[i], nullptr) << "action " << i;
    }
  }
}

TEST_F(action_dispatch, make_and_to_take_the_type_a_datatype_proto_names) {
  cell made = call_entry(dispatcher(ACT_MAKE), {type_(TYPE_BLOCK), int_(10)});
  EXPECT_EQ(TYPE_OF(&made), static_cast<uint32_t>(TYPE_BLOCK));
  EXPECT_TRUE(ints_of(made).empty());

  cell truncated = call_entry(dispatcher(ACT_TO), {type_(TYPE_INTEGER), flt(2.7)});
  EXPECT_EQ(TYPE_OF(&truncated), static_cast<uint32_t>(TYPE_INTEGER));
  EXPECT_EQ(integer::get(&truncated), 2);

  cell s = str("x");
  cell formed = call_entry(dispatcher(ACT_TO), {s, int_(42)});  // a value proto: its own type
  EXPECT_EQ(TYPE_OF(&formed), static_cast<uint32_t>(TYPE_STRING));
  EXPECT_EQ(text(formed), "42");
}

TEST_F(action_dispatch, form_and_mold_cut_to_their_part_limit) {
  cell b = block_of({int_(1), int_(22), int_(333)});
  struct { bool mold; int32_t limit; const char* expected; } cases[] = {
      {false, -1, "1 22 333"}, {true, -1, "[1 22 333]"}, {true, 4, "[1 2"},
      {false, 3, "1 2"},       {true, 0, ""},            {false, 0, ""},
      {true, -5, ""},          {true, 100, "[1 22 333]"},
  };
  for (const auto& c : cases) {
    bool limited = c.limit != -1;
    int32_t part = limited ? 1 : -1;
    cell result;
    if (c.mold)
      result = limited ? call_entry(dispatcher(ACT_MOLD), {b, int_(c.limit)}, {-1, -1, -1, part})
                       : call_entry(dispatcher(ACT_MOLD), {b}, {-1, -1, -1, part});
    else
      result = limited ? call_entry(dispatcher(ACT_FORM), {b, int_(c.limit)}, {part})
                       : call_entry(dispatcher(ACT_FORM), {b}, {part});
    ASSERT_EQ(TYPE_OF(&result), static_cast<uint32_t>(TYPE_STRING));
    EXPECT_EQ(text(result), c.expected) << (c.mold ? "mold" : "form") << " limit " << c.limit;
  }
}

TEST_F(action_dispatch, append_and_insert_part_limits_the_value_inserted) {
  struct { int32_t action; int32_t limit_kind; int32_t limit; std::vector<int32_t> expected; } cases[] = {
      {ACT_APPEND, 0, 2, {9, 1, 2}},          // an integer! length
      {ACT_APPEND, 1, 3, {9, 1, 2, 3}},       // a position in the value: up to it
      {ACT_APPEND, 0, -2, {9}},               // a negative length inserts nothing
      {ACT_APPEND, 1, 0, {9}},                // a position before the index: nothing
      {ACT_APPEND, 0, 100, {9, 1, 2, 3, 4}},  // past the tail: all of it
      {ACT_INSERT, 0, 1, {1, 9}},
  };
  for (const auto& c : cases) {
    cell target = block_of({int_(9)});
    cell value = block_of({int_(1), int_(2), int_(3), int_(4)});
    cell limit = c.limit_kind == 0 ? int_(c.limit) : at(value, static_cast<uint32_t>(c.limit));
    cell result = call_entry(dispatcher(c.action), {target, value, limit}, {2, -1, -1});
    EXPECT_EQ(ints_of(at(result, 0)), c.expected) << "action " << c.action << " limit " << c.limit;
  }
  // The value's index past its tail counts from the tail.
  cell target = block_of({});
  cell value = block_of({int_(1), int_(2)});
  cell result = call_entry(dispatcher(ACT_APPEND), {target, at(value, 5), int_(2)}, {2, -1, -1});
  EXPECT_TRUE(ints_of(result).empty());
}

TEST_F(action_dispatch, a_part_limit_of_another_series_or_a_scalar_value_is_refused) {
  cell target = block_of({});
  cell value = block_of({int_(1), int_(2)});
  cell other = block_of({int_(1), int_(2)});
  cell s = str("ab");
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_APPEND), {target, value, at(other, 1)}, {2, -1, -1}); }),
                 err::script_invalid_refine_arg));
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_INSERT), {target, value, at(s, 1)}, {2, -1, -1}); }),
                 err::script_invalid_refine_arg));
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_APPEND), {target, int_(5), int_(1)}, {2, -1, -1}); }),
                 err::script_invalid_part));
  EXPECT_TRUE(ints_of(target).empty());
}

TEST_F(action_dispatch, dup_repeats_the_value) {
  cell target = block_of({int_(0)});
  cell result = call_entry(dispatcher(ACT_APPEND), {target, int_(7), int_(3)}, {-1, -1, 2});
  EXPECT_EQ(ints_of(result), (std::vector<int32_t>{0, 7, 7, 7}));
  // /only then /dup: the refinement integers follow the spec, the cells the call.
  cell b = block_of({int_(1), int_(2)});
  result = call_entry(dispatcher(ACT_APPEND), {target, b, int_(2)}, {-1, 2, 2});
  EXPECT_EQ(ints_of(target).size(), 6u);
  // append/part/dup: part and dup counts from their own argument cells.
  cell fresh = block_of({});
  result = call_entry(dispatcher(ACT_APPEND), {fresh, b, int_(3), int_(1)}, {3, -1, 2});
  EXPECT_EQ(ints_of(result), (std::vector<int32_t>{1, 1, 1}));
}

TEST_F(action_dispatch, change_part_counts_in_the_series_changed) {
  cell target = block_of({int_(1), int_(2), int_(3), int_(4)});
  call_entry(dispatcher(ACT_CHANGE), {target, int_(9), at(target, 3)}, {2, -1, -1});
  EXPECT_EQ(ints_of(target), (std::vector<int32_t>{9, 4}));
  cell other = block_of({int_(1)});
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_CHANGE), {target, int_(9), other}, {2, -1, -1}); }),
                 err::script_invalid_refine_arg));
}

TEST_F(action_dispatch, copy_types_must_be_a_datatype_or_typeset) {
  cell b = block_of({int_(1), int_(2), int_(3)});
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_COPY), {b, int_(5)}, {-1, -1, 1}); }),
                 err::script_expect_arg));
  EXPECT_EQ(last_raised.count, 3);
  EXPECT_EQ(last_raised.args[1].data1, static_cast<uint32_t>(TYPE_INTEGER));
  cell part = call_entry(dispatcher(ACT_COPY), {b, int_(2)}, {1, -1, -1});
  EXPECT_EQ(ints_of(part), (std::vector<int32_t>{1, 2}));
  EXPECT_NE(part.data2, b.data2);
  cell whole = call_entry(dispatcher(ACT_COPY), {b}, {-1, -1, -1});
  EXPECT_EQ(ints_of(whole), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(action_dispatch, select_reads_its_refinements_in_spec_order) {
  cell b = block_of({int_(1), int_(2), int_(2), int_(3), int_(1), int_(4)});
  // series value /part /only /case /same /any /with /skip /last /reverse
  cell plain = call_entry(dispatcher(ACT_SELECT), {b, int_(2)}, {-1, -1, -1, -1, -1, -1, -1, -1, -1});
  EXPECT_EQ(integer::get(&plain), 2);
  cell skipping = call_entry(dispatcher(ACT_SELECT), {b, int_(2), int_(2)}, {-1, -1, -1, -1, -1, -1, 2, -1, -1});
  EXPECT_EQ(integer::get(&skipping), 3);
  cell last = call_entry(dispatcher(ACT_SELECT), {b, int_(1)}, {-1, -1, -1, -1, -1, -1, -1, 2, -1});
  EXPECT_EQ(integer::get(&last), 4);
  cell missing = call_entry(dispatcher(ACT_SELECT), {b, int_(8)}, {-1, -1, -1, -1, -1, -1, -1, -1, -1});
  EXPECT_EQ(TYPE_OF(&missing), static_cast<uint32_t>(TYPE_NONE));
}

TEST_F(action_dispatch, length_of_none_is_none_and_even_odd_answer_logic) {
  cell n = call_entry(dispatcher(ACT_LENGTH_Q), {none::none_value});
  EXPECT_EQ(TYPE_OF(&n), static_cast<uint32_t>(TYPE_NONE));
  cell b = block_of({int_(1), int_(2), int_(3)});
  cell len = call_entry(dispatcher(ACT_LENGTH_Q), {at(b, 1)});
  EXPECT_EQ(integer::get(&len), 2);
  cell even = call_entry(dispatcher(ACT_EVEN_Q), {int_(4)});
  cell odd = call_entry(dispatcher(ACT_ODD_Q), {int_(4)});
  EXPECT_EQ(TYPE_OF(&even), static_cast<uint32_t>(TYPE_LOGIC));
  EXPECT_TRUE(logic::get(&even));
  EXPECT_FALSE(logic::get(&odd));
}

TEST_F(action_dispatch, compare_maps_its_codes_and_refuses_to_order_unrelated_values) {
  struct { cell a, b; int32_t op; bool expected; } cases[] = {
      {int_(1), int_(2), COMP_LESSER, true},       {int_(2), int_(2), COMP_LESSER_EQUAL, true},
      {int_(2), int_(1), COMP_GREATER, true},      {int_(1), int_(1), COMP_GREATER_EQUAL, true},
      {int_(1), int_(2), COMP_NOT_EQUAL, true},    {int_(1), flt(1.0), COMP_EQUAL, true},
      {int_(1), flt(1.0), COMP_STRICT_EQUAL, false},
  };
  for (const auto& c : cases) {
    cell r = call_entry(dispatcher(ACT_COMPARE), {c.a, c.b, int_(c.op)});
    EXPECT_EQ(logic::get(&r) != 0, c.expected) << "code " << c.op;
  }
  cell s = str("1");
  cell equal = call_entry(dispatcher(ACT_COMPARE), {s, int_(1), int_(COMP_EQUAL)});
  EXPECT_FALSE(logic::get(&equal));
  cell unequal = call_entry(dispatcher(ACT_COMPARE), {s, int_(1), int_(COMP_NOT_EQUAL)});
  EXPECT_TRUE(logic::get(&unequal));
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_COMPARE), {s, int_(1), int_(COMP_LESSER)}); }),
                 err::script_invalid_compare));
}

TEST_F(action_dispatch, arithmetic_goes_to_the_first_arguments_type_and_unsupported_actions_raise) {
  cell sum = call_entry(dispatcher(ACT_ADD), {int_(2), int_(3)});
  EXPECT_EQ(integer::get(&sum), 5);
  cell mixed = call_entry(dispatcher(ACT_MULTIPLY), {int_(3), flt(0.5)});
  EXPECT_EQ(get_float(&mixed), 1.5);
  cell b = block_of({int_(1)});
  cell s = str("a");
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_ADD), {b, int_(1)}); }), err::script_expect_arg));
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_NEGATE), {s}); }), err::script_expect_arg));
  EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(ACT_READ), {int_(1)}, {-1, -1, -1, -1, -1, -1}); }),
                 err::script_expect_arg));
}

// The infix operators' shortcut over the integer and float cores: where it
// answers, it answers what the full call of the action or native does;
// where the call would raise, it leaves the call to do so.
struct number_shortcut : action_dispatch {
  cell math(cell a, cell b, int32_t op) {
    cell out{};
    EXPECT_TRUE(actions::number_op(op, true, &a, &b, &out)) << "op " << op;
    return out;
  }
};

TEST_F(number_shortcut, math_matches_the_full_call) {
  cell overflow = math(int_(2147483647), int_(1), integer::OP_ADD);
  ASSERT_EQ(TYPE_OF(&overflow), static_cast<uint32_t>(TYPE_FLOAT));
  EXPECT_EQ(get_float(&overflow), 2147483648.0);
  struct { cell a, b; int32_t op; } cases[] = {
      {int_(2147483647), int_(1), integer::OP_ADD},  {int_(-2147483647 - 1), int_(1), integer::OP_SUBTRACT},
      {int_(65536), int_(65536), integer::OP_MULTIPLY}, {int_(6), int_(-7), integer::OP_MULTIPLY},
      {int_(12), int_(10), integer::OP_OR},          {int_(12), int_(10), integer::OP_AND},
      {int_(12), int_(10), integer::OP_XOR},         {flt(0.1), flt(0.2), integer::OP_ADD},
      {flt(1.5), flt(4.0), integer::OP_SUBTRACT},    {flt(1.5), flt(-2.0), integer::OP_MULTIPLY},
      {int_(1), flt(0.5), integer::OP_ADD},          {flt(0.5), int_(2), integer::OP_SUBTRACT},
      {int_(3), flt(0.5), integer::OP_MULTIPLY},     {flt(1.0), flt(3.0), integer::OP_DIVIDE},
      {int_(7), flt(2.0), integer::OP_DIVIDE},       {flt(7.5), int_(2), integer::OP_DIVIDE},
      {flt(1.0), flt(0.0), integer::OP_DIVIDE},      {int_(7), int_(2), integer::OP_DIVIDE},
      {int_(8), int_(2), integer::OP_DIVIDE},        {int_(-2147483647 - 1), int_(2), integer::OP_DIVIDE},
      {int_(-7), int_(2), integer::OP_REMAINDER},    {int_(7), int_(-2), integer::OP_REMAINDER},
      {flt(7.5), int_(2), integer::OP_REMAINDER},    {flt(1.0), flt(INFINITY), integer::OP_REMAINDER},
      {int_(5), flt(0.0), integer::OP_REMAINDER},
  };
  const int32_t actions_of[] = {ACT_ADD,       ACT_SUBTRACT, ACT_MULTIPLY, ACT_DIVIDE,
                                ACT_REMAINDER, ACT_OR_T,     ACT_AND_T,    ACT_XOR_T};
  for (const auto& c : cases) {
    cell fast = math(c.a, c.b, c.op);
    cell full = call_entry(dispatcher(actions_of[c.op]), {c.a, c.b});
    EXPECT_EQ(fast.header, full.header) << "op " << c.op;
    EXPECT_EQ(fast.data2, full.data2) << "op " << c.op;
    EXPECT_EQ(fast.data3, full.data3) << "op " << c.op;
  }
}

TEST_F(number_shortcut, what_the_call_would_raise_is_left_to_it) {
  cell b = block_of({int_(1)});
  struct { cell a, b; int32_t op; error_id error; } cases[] = {
      {int_(1), int_(0), integer::OP_DIVIDE, err::math_zero_divide},
      {int_(1), int_(0), integer::OP_REMAINDER, err::math_zero_divide},
      {int_(-2147483647 - 1), int_(-1), integer::OP_DIVIDE, err::math_overflow},
      {flt(1.0), flt(2.0), integer::OP_OR, err::script_expect_arg},
      {b, int_(1), integer::OP_ADD, err::script_expect_arg},
  };
  const int32_t actions_of[] = {ACT_ADD,       ACT_SUBTRACT, ACT_MULTIPLY, ACT_DIVIDE,
                                ACT_REMAINDER, ACT_OR_T,     ACT_AND_T,    ACT_XOR_T};
  for (const auto& c : cases) {
    cell out{};
    EXPECT_FALSE(actions::number_op(c.op, true, &c.a, &c.b, &out)) << "op " << c.op;
    EXPECT_TRUE(is(raised([&] { call_entry(dispatcher(actions_of[c.op]), {c.a, c.b}); }), c.error)) << "op " << c.op;
  }
}

TEST_F(number_shortcut, comparisons_of_integers_and_mixed_types) {
  struct { cell a, b; int32_t op; bool expected; } cases[] = {
      {int_(1), int_(1), COMP_EQUAL, true},          {int_(1), int_(2), COMP_NOT_EQUAL, true},
      {int_(-1), int_(2), COMP_LESSER, true},        {int_(2), int_(2), COMP_LESSER_EQUAL, true},
      {int_(2), int_(-3), COMP_GREATER, true},       {int_(2), int_(3), COMP_GREATER_EQUAL, false},
      {int_(1), flt(1.0), COMP_EQUAL, true},         {flt(1.0), int_(2), COMP_LESSER, true},
      {int_(5), int_(5), COMP_STRICT_EQUAL, true},
      {flt(0.5), flt(1.5), COMP_LESSER, true},       {flt(2.0), flt(2.0), COMP_LESSER_EQUAL, true},
      {flt(-0.0), flt(0.0), COMP_GREATER_EQUAL, true}, {flt(3.0), flt(2.5), COMP_GREATER, true},
      {flt(0.1 + 0.2), flt(0.3), COMP_EQUAL, true},  {flt(0.1 + 0.2), flt(0.3), COMP_STRICT_EQUAL, false},
      {flt(std::nan("")), flt(1.0), COMP_LESSER, false},
      {flt(std::nan("")), flt(1.0), COMP_GREATER_EQUAL, false},
      {flt(1.0), flt(std::nan("")), COMP_LESSER_EQUAL, false},
  };
  // Integer pairs and float orderings are the shortcut's; a mixed pair and
  // the tolerant float equality are the native's.
  for (const auto& c : cases) {
    cell r{};
    bool shortcut = actions::number_op(c.op, false, &c.a, &c.b, &r);
    bool floats = TYPE_OF(&c.a) == TYPE_FLOAT && TYPE_OF(&c.b) == TYPE_FLOAT;
    bool mine = TYPE_OF(&c.a) == TYPE_OF(&c.b) && !(floats && c.op <= COMP_STRICT_EQUAL);
    EXPECT_EQ(shortcut, mine) << "code " << c.op;
    if (shortcut) {
      ASSERT_EQ(TYPE_OF(&r), static_cast<uint32_t>(TYPE_LOGIC));
      EXPECT_EQ(logic::get(&r) != 0, c.expected) << "code " << c.op;
    }
    EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.expected) << "code " << c.op;
  }
}

}  // namespace
}  // namespace ixo::test
