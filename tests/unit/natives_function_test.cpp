#include <gtest/gtest.h>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "support/control.hpp"

namespace ixo {
namespace {

using test::int_of;
using test::is;

struct function_makers : test::control_suite {};

TEST_F(function_makers, make_functions_that_compute_and_keep_their_locals) {
  struct row {
    const char* text;
    int32_t expected;
  } rows[] = {
      {"f: func [a b] [combine a b] f 1 2", 12},
      {"f: func [a /twice b] [either twice [combine a b] [a]] f/twice 1 2", 12},
      {"f: does [7] f", 7},
      {"f: has [x] [x: 4 x] f", 4},
      {"f: function [] [a: 3 a] f", 3},
      {"f: function [/extern a] [a: 3] f a", 3},
      {"f: function [n] [foreach-like: n m: n combine m foreach-like] f 2", 22},
  };
  for (const row& r : rows) EXPECT_EQ(int_of(run(r.text)), r.expected) << r.text;
  // Locals stay out of the global context.
  for (const char* text : {"x: 1 f: has [x] [x: 4] f x", "a: 1 f: function [] [a: 3] f a"})
    EXPECT_EQ(int_of(run(text)), 1) << text;
  cell has_spec = run("f: has [x] [x] spec-of-f: :f");
  cell spec{TYPE_BLOCK, 0, has_spec.data2, 0};
  ASSERT_EQ(block::rs_length_q(&spec), 2);
  EXPECT_EQ(TYPE_OF(block::rs_abs_at(&spec, 0)), TYPE_REFINEMENT);  // /local x
  EXPECT_TRUE(is(run_raised("func [a a] []"), err::script_dup_vars));
  EXPECT_TRUE(is(run_raised("func [a 1] []"), err::script_bad_func_def));
  EXPECT_TRUE(is(run_raised("function [/extern 1] []"), err::script_bad_func_extern));
}

TEST_F(function_makers, do_evaluates_each_kind_of_value) {
  EXPECT_TRUE(is(run_raised("do %script.ixo"), err::script_no_value));  // no do-file defined yet
  struct row {
    const char* text;
    int32_t expected;
  } rows[] = {
      {"do [1 2]", 2},
      {"do \"1 + 2\"", 3},
      {"do \"\" 4", 4},
      {"w: 5 do 'w", 5},
      {"b: [10 20] do 'b/2", 20},
      {"f: does [6] do :f", 6},
      {"do (combine 1 2)", 12},
      {"do 8", 8},
      {"do/next [combine 1 2 3] 'p", 12},
      {"do/next [combine 1 2 3] 'p p/1", 3},
      {"do-file: func [file callback args] [args] do/args %script.ixo 9", 9},
  };
  for (const row& r : rows) EXPECT_EQ(int_of(run(r.text)), r.expected) << r.text;
  cell at_tail = run("do/next [] 'p");
  EXPECT_EQ(TYPE_OF(&at_tail), TYPE_UNSET);
  cell position = run("do/next [1 2] 'p p");
  EXPECT_EQ(position.data1, 1u);
  EXPECT_TRUE(is(run_raised("do try [never-set]"), err::script_no_value));
  EXPECT_TRUE(is(run_raised("do \"1 +\""), err::script_no_arg));
  EXPECT_TRUE(is(run_raised("do [1 / 0]"), err::math_zero_divide));
}

TEST_F(function_makers, do_trace_stops_its_trace_on_every_way_out) {
  run("hook: func [event code offset value ref frame] [note event]");
  EXPECT_EQ(int_of(run("do/trace [1] :hook")), 1);
  EXPECT_FALSE(interpreter::trace_installed);
  ASSERT_GE(test::notes.size(), 2u);
  EXPECT_EQ(symbol::resolve(static_cast<int32_t>(test::notes.front().data2)), symbol::make("init"));
  EXPECT_EQ(symbol::resolve(static_cast<int32_t>(test::notes.back().data2)), symbol::make("end"));
  // An error passes on once the trace is stopped.
  EXPECT_TRUE(is(run_raised("do/trace [never-set] :hook"), err::script_no_value));
  EXPECT_FALSE(interpreter::trace_installed);
  // A return leaves the function with its value, which the hook's last
  // call must not overwrite; a break reaches its loop the same way.
  stacks before;
  EXPECT_EQ(int_of(run("f: func [] [do/trace [return 5] :hook 9] f")), 5);
  EXPECT_EQ(int_of(run("endless [do/trace [break/return 6] :hook 9]")), 6);
  EXPECT_FALSE(interpreter::trace_installed);
  EXPECT_TRUE(before == stacks());
}

}  // namespace
}  // namespace ixo
