#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/catch.hpp"
#include "support/child.hpp"
#include "support/interpreter.hpp"

namespace ixo {
namespace {

using test::code;
using test::eval;
using test::eval_raised;
using test::int_of;
using test::is;

// Routines the tests compute with: combine a b is a * 10 + b; dec n is
// n - 1; zero n is n = 0.
int32_t arg_int(int32_t k) { return static_cast<int32_t>(stack::arguments[k].data2); }
void combine() { stack::set_result(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(arg_int(0) * 10 + arg_int(1)), 0}); }
void dec() { stack::set_result(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(arg_int(0) - 1), 0}); }
void zero() { stack::set_result(logic::make_cell(arg_int(0) == 0)); }

std::vector<int32_t> seen_refinements;
std::vector<cell> seen_arguments;
void probe(const int32_t* refs) {
  seen_refinements.assign(refs, refs + 3);
  seen_arguments.assign(stack::arguments, stack::top);
  stack::set_result(none::none_value);
}
void probe_lit(const int32_t*) { seen_arguments.assign(stack::arguments, stack::top); }
void brk(const int32_t*) { stack::throw_break(false, false); }
void ret(const int32_t*) { stack::throw_return(true, false); }
void thr(const int32_t*) { stack::throw_value(THROW_THROW); }
// try-all: its block in a try/all frame; an error becomes the result.
void try_all(const int32_t*) {
  cell* base = stack::arguments;
  stack::mark(words::word_anon, stack::FRAME_TRY_ALL);
  if (catch_site(FILTER_FUNCTION, [&] { interpreter::eval_block(base, true); }) != 0) {
    system::clear_thrown();
    cell error = stack::top[-1];
    stack::frame_top = stack::find_frame(stack::FRAME_TRY_ALL);
    stack::arguments = base;
    stack::set_result(error);
    return;
  }
  stack::unwind_last();
}

struct evaluation : test::interpreter_suite {
  void SetUp() override {
    interpreter_suite::SetUp();
    routine_word("combine", "[a b]", combine);
    routine_word("dec", "[n]", dec);
    routine_word("zero", "[n]", zero);
  }
  void routine_word(const char* name, const std::string& spec, routine::routine_entry entry) {
    cell s = code(spec);
    s = *memory::head_of<cell>(memory::GET_BUFFER(&s));
    cell value = test::keep(*routine::push(name, &s, entry));
    stack::pop(1);
    cell w = test::global_word(TYPE_WORD, name);
    word::set(&w, value);
  }
  // name: a function of the spec and body.
  cell function_word(const char* name, const std::string& spec, const std::string& body) {
    cell s = code(spec), b = code(body);
    s = test::keep(*memory::head_of<cell>(memory::GET_BUFFER(&s)));
    b = test::keep(*memory::head_of<cell>(memory::GET_BUFFER(&b)));
    function::push(&s, &b, 0, 0);
    cell value = test::keep(*stack::top_cell());
    stack::pop(1);
    cell w = test::global_word(TYPE_WORD, name);
    word::set(&w, value);
    return value;
  }
  struct stacks {
    cell* arguments = stack::arguments;
    cell* top = stack::top;
    stack::call_frame* frame_top = stack::frame_top;
    bool operator==(const stacks& o) const {
      return arguments == o.arguments && top == o.top && frame_top == o.frame_top;
    }
  };
};

TEST_F(evaluation, words_set_words_and_their_errors) {
  EXPECT_EQ(int_of(eval("a: 5 a")), 5);
  EXPECT_EQ(int_of(eval("a: b: 7 b")), 7);
  cell got = eval(":never-set");
  EXPECT_EQ(TYPE_OF(&got), TYPE_UNSET);
  got = eval("");
  EXPECT_EQ(TYPE_OF(&got), TYPE_UNSET);
  cell w = eval("'foo");
  EXPECT_EQ(w.header, TYPE_WORD);  // the lit-word's flags are dropped
  EXPECT_EQ(int_of(eval("(1 2)")), 2);
  EXPECT_TRUE(is(eval_raised("a:"), err::script_need_value));
  EXPECT_TRUE(is(eval_raised("a: ()"), err::script_need_value));
  EXPECT_TRUE(is(eval_raised("never-set"), err::script_no_value));
  EXPECT_EQ(last_raised.args[0].data2, test::global_word(TYPE_WORD, "never-set").data2);
}

TEST_F(evaluation, operators_chain_left_to_right) {
  cell f = function_word("join-digits", "[a b]", "[combine a b]");
  cell op = f;
  op.header = TYPE_OP | TYPE_FUNCTION << 16;
  cell w = test::global_word(TYPE_WORD, "**");
  word::set(&w, op);
  EXPECT_EQ(int_of(eval("1 ** 2 ** 3")), 123);         // (1 ** 2) ** 3
  EXPECT_EQ(int_of(eval("combine 1 2 ** 3")), 1 * 10 + 23);  // an argument takes its operators
  EXPECT_EQ(int_of(eval("x: 4 ** 5 x")), 45);
  EXPECT_TRUE(is(eval_raised("** 1 2"), err::script_no_op_arg));
}

TEST_F(evaluation, an_operators_first_call_keeps_its_left_operand) {
  // The call spec of a function not called before is built on the stack,
  // where the left operand lies.
  cell f = function_word("fresh", "[a [integer!] b [integer!]]", "[combine a b]");
  cell op = f;
  op.header = TYPE_OP | TYPE_FUNCTION << 16;
  cell w = test::global_word(TYPE_WORD, "+*");
  word::set(&w, op);
  EXPECT_EQ(int_of(eval("4 +* 5")), 45);
}

TEST_F(evaluation, paths_walk_blocks_and_raise_their_errors) {
  EXPECT_EQ(int_of(eval("b: [10 20 30] b/2")), 20);
  EXPECT_EQ(int_of(eval("b: [10 20 30] i: 3 b/:i")), 30);
  EXPECT_EQ(int_of(eval("b: [10 20 30] b/2: 9 b/2")), 9);
  EXPECT_EQ(int_of(eval("b: [10 [5 6]] b/2/1")), 5);
  EXPECT_TRUE(is(eval_raised("never-set/1"), err::script_unset_path));
  EXPECT_TRUE(is(eval_raised("b: [1] b/:never-set"), err::script_invalid_path));
  EXPECT_TRUE(is(eval_raised("combine/1: 5"), err::script_invalid_path_set));
  EXPECT_TRUE(is(eval_raised("b: [1] b/1:"), err::script_need_value));
  EXPECT_TRUE(is(eval_raised("1/2"), err::script_word_first));
}

TEST_F(evaluation, native_refinements_come_in_spec_order_with_path_order_indexes) {
  test_native("probe", "[a /only /part n /dup c]", 107, probe);
  eval("probe/dup/part 1 2 3");
  EXPECT_EQ(seen_refinements, (std::vector<int32_t>{-1, 2, 1}));
  ASSERT_EQ(seen_arguments.size(), 3u);
  EXPECT_EQ(int_of(seen_arguments[1]), 2);  // dup's argument, given first
  eval("probe/only 1");
  EXPECT_EQ(seen_refinements, (std::vector<int32_t>{1, -1, -1}));
  // A get-word refinement is active when its word's value is true; the
  // arguments of an inactive one are evaluated and dropped.
  eval("only: true part: false probe/:only/:part 1 2");
  EXPECT_EQ(seen_refinements, (std::vector<int32_t>{1, -1, -1}));
  EXPECT_EQ(seen_arguments.size(), 1u);
  EXPECT_TRUE(is(eval_raised("probe/part/part 1 2 3"), err::script_dup_refine));
  EXPECT_TRUE(is(eval_raised("probe/nope 1"), err::script_no_refine));
  EXPECT_TRUE(is(eval_raised("probe/1 1"), err::script_bad_refine));
  EXPECT_TRUE(is(eval_raised("probe"), err::script_no_arg));
  test_native("typed", "[v [block!]]", 106, probe);
  EXPECT_TRUE(is(eval_raised("typed 1"), err::script_expect_arg));
  EXPECT_EQ(last_raised.args[2].data2, test::global_word(TYPE_WORD, "v").data2);
}

TEST_F(evaluation, literal_arguments) {
  test_native("lit", "['v [any-type!]]", 107, probe_lit);
  seen_arguments.clear();
  eval("lit");  // an optional lit-word argument at the end receives unset
  ASSERT_EQ(seen_arguments.size(), 1u);
  EXPECT_EQ(TYPE_OF(&seen_arguments[0]), TYPE_UNSET);
  eval("lit (combine 1 2)");  // a paren is evaluated
  EXPECT_EQ(int_of(seen_arguments[0]), 12);
  test_native("get", "[:v]", 106, probe_lit);
  eval("get (combine 1 2)");
  EXPECT_EQ(TYPE_OF(&seen_arguments[0]), TYPE_PAREN);
}

TEST_F(evaluation, function_calls_keep_locals_refinements_and_each_level) {
  function_word("f", "[a /twice b /local l]", "[l: combine a a either twice [combine l b] [l]]");
  EXPECT_EQ(int_of(eval("f 1")), 11);
  EXPECT_EQ(int_of(eval("f/twice 1 2")), 112);
  EXPECT_TRUE(is(eval_raised("f/twice/twice 1 2 3"), err::script_dup_refine));
  // Recursion: each level's n survives the inner calls.
  function_word("down", "[n]", "[either zero n [0] [combine n down dec n]]");
  EXPECT_EQ(int_of(eval("down 3")), 3 * 10 + (2 * 10 + (1 * 10 + 0)));
  test_native("return", "[value [any-type!]]", 80, ret);
  function_word("early", "[x]", "[if zero x [return 7] combine x x]");
  EXPECT_EQ(int_of(eval("early 0")), 7);
  EXPECT_EQ(int_of(eval("early 2")), 22);
  EXPECT_EQ(int_of(eval("combine early 0 1")), 71);
  stacks before;
  EXPECT_TRUE(is(eval_raised("return 1"), err::throw_return));
  EXPECT_TRUE(before == stacks());
  function_word("bad", "[a: 1]", "[a]");
  EXPECT_TRUE(is(eval_raised("bad"), err::script_bad_func_def));
}

TEST_F(evaluation, breaks_and_throws_reach_their_frames_or_raise) {
  test_native("break", "[]", 77, brk);
  test_native("throw", "[value [any-type!]]", 81, thr);
  test_native("try-all", "[blk [block!]]", 106, try_all);
  // In a loop frame the break lands there, with an unset result.
  cell body = code("1 break 2");
  stacks before;
  stack::mark(words::word_anon, stack::FRAME_LOOP);
  cell* loop_base = stack::arguments;
  uint32_t thrown = catch_site(FILTER_LOOP, [&] { interpreter::eval_block(&body, true); });
  system::clear_thrown();
  EXPECT_EQ(thrown, THROW_BREAK);
  EXPECT_EQ(stack::arguments, loop_base);
  EXPECT_EQ(TYPE_OF(stack::arguments), TYPE_UNSET);
  // Inside try/all the same break raises throw/break.
  cell inner = code("try-all [break]");
  thrown = catch_site(FILTER_LOOP, [&] { interpreter::eval_block(&inner, false); });
  EXPECT_EQ(thrown, 0u);
  EXPECT_TRUE(is(last_raised.id, err::throw_break));
  stack::unroll();
  stack::top = before.top;
  EXPECT_TRUE(before == stacks());
  EXPECT_TRUE(is(eval_raised("break"), err::throw_break));
  EXPECT_TRUE(is(eval_raised("throw 5"), err::throw_throw));
  EXPECT_EQ(int_of(last_raised.args[0]), 5);
  EXPECT_TRUE(before == stacks());
}

TEST_F(evaluation, conditionals) {
  struct row {
    const char* text;
    int32_t expected;  // -1 none, -2 unset
  } rows[] = {
      {"if true [1]", 1}, {"if false [1]", -1}, {"if () [1]", 1}, {"unless none [2]", 2}, {"unless 0 [2]", -1},
      {"either true [1] [2]", 1}, {"either none [1] [2]", 2}, {"any []", -1}, {"all []", -1},
      {"any [none false 3]", 3}, {"any [()]", -2}, {"all [1 none 2]", -1}, {"all [1 2]", 2},
      {"switch 2 [1 [5] 2 3 [6]]", 6}, {"switch 9 [1 [5]]", -1}, {"switch/default 9 [1 [5]] [7]", 7},
      {"switch 1 [1 2]", -1}, {"case [false 1 true [2]]", 2}, {"case [true combine 1 2]", 12},
      {"case []", -1}, {"case/all [true [1] false [2]]", -1}, {"case/all [false [1] true [2]]", 2},
      {"case [false [1]]", -1},
  };
  for (const row& r : rows) {
    cell v = eval(r.text);
    if (r.expected == -1) EXPECT_EQ(TYPE_OF(&v), TYPE_NONE) << r.text;
    else if (r.expected == -2) EXPECT_EQ(TYPE_OF(&v), TYPE_UNSET) << r.text;
    else EXPECT_EQ(int_of(v), r.expected) << r.text;
  }
  EXPECT_TRUE(is(eval_raised("either () [1] [2]"), err::script_no_return));
  EXPECT_TRUE(is(eval_raised("case [()[1]]"), err::script_no_return));
  EXPECT_TRUE(is(eval_raised("case [false]"), err::script_need_value));
  EXPECT_EQ(last_raised.args[0].data2, static_cast<uint32_t>(words::sym_case));
}

void* run_thunk(void* f) {
  (*static_cast<std::function<void()>*>(f))();
  return nullptr;
}

// Runs `body` on a thread with the runtime thread's large stack.
void on_large_stack(std::function<void()> body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, size_t{512} << 20);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, run_thunk, &body), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST_F(evaluation, deep_recursion_raises_stack_overflow_to_the_try_below) {
  function_word("deeper", "[]", "[deeper]");
  std::optional<error_id> e;
  stacks before;
  on_large_stack([&] { e = eval_raised("deeper"); });
  EXPECT_TRUE(is(e, err::internal_stack_overflow));
  EXPECT_TRUE(before == stacks());
  EXPECT_EQ(int_of(eval("combine 1 2")), 12);  // the interpreter goes on
}

TEST_F(evaluation, an_error_with_no_try_frame_prints_and_exits_254) {
  test::child_result r = test::run_child([] {
    stack::frame_top = stack::frame_bottom;
    cell block = code("never-set");
    interpreter::eval_block(&block, false);
  });
  EXPECT_EQ(r.status, 254);
  EXPECT_NE(r.output.find("*** Script Error"), std::string::npos) << r.output;
}

std::vector<int32_t> events;
void record() {
  events.push_back(static_cast<int32_t>(stack::arguments[0].data2));
  stack::set_result(unset::unset_value);
}
std::vector<int32_t> symbols(std::initializer_list<const char*> names) {
  std::vector<int32_t> out;
  for (const char* n : names) out.push_back(symbol::make(n));
  return out;
}

TEST_F(evaluation, the_trace_hook_sees_events_and_not_itself) {
  routine_word("record", "[e]", record);
  cell hook = function_word("hook", "[event block pos value ref frame]", "[record event]");
  events.clear();
  interpreter::start_trace(&hook);
  eval("x: 1");
  interpreter::end_trace();
  EXPECT_EQ(events, symbols({"init", "enter", "fetch", "push", "fetch", "push", "set", "expr", "exit", "end"}));
  // A hook asking for expressions only.
  cell only = function_word("only", "[event block pos value ref frame]", "[[expr] record event]");
  events.clear();
  interpreter::start_trace(&only);
  eval("1 2");
  interpreter::end_trace();
  EXPECT_EQ(events, symbols({"expr", "expr"}));
  // Errors are seen before they unwind.
  cell errors = function_word("errs", "[event block pos value ref frame]", "[[error] record event]");
  events.clear();
  interpreter::start_trace(&errors);
  EXPECT_TRUE(is(eval_raised("never-set"), err::script_no_value));
  interpreter::end_trace();
  EXPECT_EQ(events, symbols({"error"}));
}

}  // namespace
}  // namespace ixo
