#include <gtest/gtest.h>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "support/control.hpp"

namespace ixo {
namespace {

using test::int_of;
using test::is;

struct exits : test::control_suite {
  // Whether the value is an error! of the category and id.
  static bool error_is(const cell& e, const char* type, const char* id) {
    if (TYPE_OF(&e) != TYPE_ERROR) return false;
    return symbol::resolve(error::get_type(&e)) == symbol::make(type) &&
           symbol::resolve(error::get_id(&e)) == symbol::make(id);
  }
  // Expected values: an integer, or -1 for unset.
  void expect_rows(std::initializer_list<std::pair<const char*, int32_t>> rows) {
    for (const auto& [text, expected] : rows) {
      cell v = run(text);
      if (expected == -1) EXPECT_EQ(TYPE_OF(&v), TYPE_UNSET) << text;
      else EXPECT_EQ(int_of(v), expected) << text;
    }
  }
};

TEST_F(exits, reach_their_loop_or_function) {
  expect_rows({
      {"f: func [] [endless [return 5] 9] f", 5},
      {"f: func [] [endless [endless [return 5]] 9] combine f 1", 51},
      {"f: func [] [endless [exit] 9] f", -1},
      {"endless [break]", -1},
      {"endless [break/return 4]", 4},
      {"n: 3 endless [n: dec n if zero n [break/return 7] continue 99]", 7},
      {"f: func [] [do [return 3] 9] f", 3},
      {"endless [try [break] 8]", -1},  // without /all the break reaches the loop
  });
  stacks before;
  EXPECT_TRUE(is(run_raised("break"), err::throw_break));
  EXPECT_TRUE(is(run_raised("continue"), err::throw_continue));
  EXPECT_TRUE(is(run_raised("exit"), err::throw_return));
  EXPECT_TRUE(is(run_raised("return 1"), err::throw_return));
  EXPECT_TRUE(before == stacks());
}

TEST_F(exits, try_answers_errors_and_try_all_turns_exits_into_errors) {
  EXPECT_EQ(int_of(run("try [2]")), 2);
  EXPECT_TRUE(error_is(run("try [1 / 0]"), "math", "zero-divide"));
  EXPECT_TRUE(error_is(run("try [never-set]"), "script", "no-value"));
  EXPECT_TRUE(error_is(run("endless [e: try/all [break] break/return e]"), "throw", "break"));
  EXPECT_TRUE(error_is(run("endless [e: try/all [continue] break/return e]"), "throw", "continue"));
  EXPECT_TRUE(error_is(run("f: func [] [try/all [return 1]] f"), "throw", "return"));
  EXPECT_TRUE(error_is(run("catch [try/all [throw 1]]"), "throw", "throw"));
  EXPECT_EQ(int_of(run("f: func [] [e: try [return 4] 9] f")), 4);
  // Code after an absorbed error goes on; nested tries each stop their own.
  EXPECT_EQ(int_of(run("try [try [never-set] 3]")), 3);
  // /keep names the function calls the error came through.
  cell e = run("inner: does [never-set] outer: does [inner] try/keep [outer]");
  ASSERT_EQ(TYPE_OF(&e), TYPE_ERROR);
  cell calls = *error::field(&e, error::FIELD_STACK);
  ASSERT_EQ(TYPE_OF(&calls), TYPE_BLOCK);
  ASSERT_EQ(block::rs_length_q(&calls), 2);
  EXPECT_EQ(symbol::resolve(static_cast<int32_t>(block::rs_abs_at(&calls, 0)->data2)), symbol::make("outer"));
  EXPECT_EQ(symbol::resolve(static_cast<int32_t>(block::rs_abs_at(&calls, 1)->data2)), symbol::make("inner"));
}

TEST_F(exits, catch_takes_throws_by_name) {
  expect_rows({
      {"catch [throw 1 2]", 1},
      {"catch [3]", 3},
      {"catch/name [throw/name 1 'a] 'a", 1},
      {"catch/name [throw/name 1 'B] [a b]", 1},
      {"catch [catch/name [throw/name 1 'b] 'a 5]", 1},  // passed on
      {"catch [catch/name [throw 1] 'a 5]", 1},           // an unnamed throw too
      {"catch [throw/name 2 'a]", 2},                     // a plain catch takes named throws
      {"f: func [] [catch [return 6] 9] f", 6},           // a return passes a catch
  });
  stacks before;
  EXPECT_TRUE(is(run_raised("throw 5"), err::throw_throw));
  EXPECT_EQ(int_of(last_raised.args[0]), 5);
  EXPECT_TRUE(is(run_raised("catch/name [throw/name 1 'b] 'a"), err::throw_throw));
  EXPECT_TRUE(is(run_raised("catch/name [throw/name 1 'a] [a 2]"), err::script_invalid_refine_arg));
  EXPECT_TRUE(before == stacks());
}

TEST_F(exits, extend_adds_pairs_to_maps_only) {
  expect_rows({
      {"m: make map! [a 1] extend m [b 2] combine m/a m/b", 12},
      {"m: make map! [a 1] extend m [a 3] m/a", 3},
      {"m: make map! [] extend m make map! [c 4] m/c", 4},
  });
  EXPECT_TRUE(is(run_raised("extend make object! [] [a 1]"), err::internal_not_done));
  EXPECT_TRUE(is(run_raised("extend make map! [] [a]"), err::script_invalid_arg));
}

TEST_F(exits, apply_takes_arguments_and_refinements_from_a_block) {
  run("g: func [a b /r c] [either r [combine combine a b c] [combine a b]]");
  run("h: func [a b] [b]");
  expect_rows({
      {"apply :g [1 2]", 12},
      {"apply 'g [1 2 /r true 3]", 123},
      {"apply 'g [1 2 /r false 3]", 12},
      {"apply 'g [1 2 /r zero 0 3]", 123},  // the flag is an expression
      {"apply 'g/r [1 2 3]", 123},
      {"apply/all 'g [1 2 true 3]", 123},
      {"apply/all 'g [1 2 false 3]", 12},
      {"apply/safer 'g [1 2 /r false never-set]", 12},  // skipped unevaluated
      {"apply 'h [1 2 3]", 2},                           // nothing takes the rest
      {"apply :either [true [1] [2]]", 1},
      {"apply 'case [[false [1] true [2] true [3]] /all true]", 3},
      {"apply :+ [1 2]", 3},
  });
  // Missing values are none; a refinement missing is false.
  run("k: func [a /r c] [seen-r: r seen-c: c a]");
  for (const char* text : {"apply/all 'h [1]", "apply/all 'k []", "apply/all 'k [] seen-c"}) {
    cell v = run(text);
    EXPECT_EQ(TYPE_OF(&v), TYPE_NONE) << text;
  }
  cell r = run("apply/all 'k [] seen-r");
  EXPECT_EQ(r.header, TYPE_LOGIC);
  EXPECT_EQ(r.data1, 0u);

  EXPECT_TRUE(is(run_raised("apply 'g [1 2 /r false never-set]"), err::script_no_value));
  EXPECT_TRUE(is(run_raised("apply 'g [1 2 3]"), err::script_bad_refine));
  EXPECT_TRUE(is(run_raised("apply 'g [1 2 /r true 3 /r true 4]"), err::script_dup_refine));
  EXPECT_TRUE(is(run_raised("apply 'g [1 2 /q true]"), err::script_no_refine));
  EXPECT_TRUE(is(run_raised("apply 'g [1 2 /r]"), err::script_no_arg));
  EXPECT_TRUE(is(run_raised("apply/all 'g [1 2 3 4]"), err::script_expect_arg));
  EXPECT_TRUE(is(run_raised("x: 5 apply 'x [1]"), err::script_invalid_arg));
  EXPECT_TRUE(is(run_raised("apply 'never-set [1]"), err::script_invalid_arg));
}

}  // namespace
}  // namespace ixo
