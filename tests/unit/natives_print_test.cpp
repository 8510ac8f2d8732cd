#include <gtest/gtest.h>

#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/natives_print.hpp"
#include "support/source_eval.hpp"

namespace ixo {
namespace {

using test::error_text;
using test::molded;
using test::printed;
using test::run_source;

struct natives_print : test::source_suite {
  std::vector<std::pair<std::string, std::pair<std::string, int32_t>>> natives_used() override {
    return {
        {"print", {"[value [any-type!]]", 23}},
        {"prin", {"[value [any-type!]]", 24}},
        {"reduce", {"[value [any-type!] /into out [any-type!]]", 35}},
        {"compose", {"[value [block!] /deep /only /into out [any-type!]]", 36}},
        {"get", {"[word [any-type!] /any /case]", 21}},
        {"if", {"[cond [any-type!] then-blk [block!]]", 1}},
    };
  }
  int32_t buffer_length() { return block::rs_length_q(natives::buffer_blk); }
};

TEST_F(natives_print, print_forms_reduced_blocks_and_strings_as_they_are) {
  struct row {
    const char* code;
    const char* out;
  } rows[] = {
      {"print [1 + 1 \"a b\" [x y]]", "2 a b x y\n"},
      {"print \"a\\b \u00e9\u4e2d\"", "a\\b \u00e9\u4e2d\n"},
      {"print \"\"", "\n"},
      {"print 12", "12\n"},
      {"print []", "\n"},
      {"prin \"a\" print \"b\"", "ab\n"},
      {"prin [1 2] prin 3", "1 23"},
      {"s: next \"xyz\" print s", "yz\n"},
      {"print [print [1] 2]", "1\n 2\n"},  // print answers unset, formed as nothing
  };
  for (const row& r : rows) {
    printed.clear();
    cell result{};
    EXPECT_FALSE(run_source(r.code, &result)) << r.code;
    EXPECT_EQ(printed, r.out) << r.code;
    EXPECT_EQ(TYPE_OF(&result), TYPE_UNSET) << r.code;
  }
}

TEST_F(natives_print, the_last_newline_flag_follows_print_and_prin) {
  run_source("prin 1");
  EXPECT_FALSE(natives::last_newline);
  run_source("print 1");
  EXPECT_TRUE(natives::last_newline);
}

TEST_F(natives_print, print_gives_its_room_in_the_work_block_back) {
  int32_t before = buffer_length();
  run_source("print [1 (print [2 3] 4) 5]");
  EXPECT_EQ(printed, "2 3\n1 4 5\n");
  EXPECT_EQ(buffer_length(), before);
  EXPECT_EQ(natives::buffer_blk->data1, 0u);
  // An error in the middle of the reduction leaves the block as it was.
  EXPECT_TRUE(test::is(run_source("print [1 2 never-set 3]"), err::script_no_value));
  EXPECT_EQ(buffer_length(), before);
  EXPECT_EQ(natives::buffer_blk->data1, 0u);
}

TEST_F(natives_print, reduce_evaluates_each_expression) {
  struct row {
    const char* code;
    const char* mold;
  } rows[] = {
      {"reduce [1 + 2 3]", "[3 3]"},
      {"reduce []", "[]"},
      {"reduce next [1 2 + 3]", "[5]"},
      {"w: 7 reduce 'w", "7"},
      {"reduce (1 + 1)", "2"},
      {"reduce 5", "5"},
      {"type? reduce :print", "native!"},
      {"reduce [\n1\n2]", "[1 2]"},  // new-line markers dropped
      {"b: [0] reduce/into [1 + 1 3] tail b b", "[0 2 3]"},
      {"b: [0] reduce/into [1 + 1 3] tail b", "[2 3]"},
      {"b: [0] reduce/into [1 + 1 3] b", "[0]"},
      {"b: [0] reduce/into [1 + 1 3] b b", "[2 3 0]"},
      {"b: [0] reduce/into 5 tail b b", "[0 5]"},
      {"b: [0] reduce/into [[1 2]] b b", "[[1 2] 0]"},
  };
  test::define_native("type?", "[value [any-type!]]", 34);
  for (const row& r : rows) EXPECT_EQ(molded(r.code), r.mold) << r.code;
  EXPECT_EQ(molded("reduce [1 never-set]"), error_text(err::script_no_value));
}

TEST_F(natives_print, compose_evaluates_only_parens) {
  struct row {
    const char* code;
    const char* mold;
  } rows[] = {
      {"compose [(1 + 1) x]", "[2 x]"},
      {"compose [([a b])]", "[a b]"},
      {"compose/only [([a b])]", "[[a b]]"},
      {"compose [([])]", "[]"},
      {"compose/only [([])]", "[[]]"},
      {"compose [()]", "[]"},
      {"compose [(if none [1]) 2]", "[none 2]"},
      {"compose [(get/any 'never-set) 2]", "[2]"},
      {"compose [[(1)]]", "[[(1)]]"},
      {"compose/deep [[(1)] ([(2)])]", "[[1] (2)]"},
      {"compose/deep/only [[([1])]]", "[[[1]]]"},
      {"compose next [(1) (2)]", "[2]"},
      {"b: [0] compose/into [(1) x] tail b b", "[0 1 x]"},
      {"b: [0] compose/into [(1) ([2 3])] b", "[0]"},
      {"b: [0] compose/into [(1) ([2 3])] b b", "[1 2 3 0]"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(r.code), r.mold) << r.code;
  EXPECT_EQ(molded("compose [(never-set)]"), error_text(err::script_no_value));
}

TEST_F(natives_print, compose_leaves_its_source_unchanged) {
  cell source{};
  run_source("src: [(1 + 1) [(2)]] compose/deep src src", &source);
  EXPECT_EQ(test::mold_of(source), "[(1 + 1) [(2)]]");
}

}  // namespace
}  // namespace ixo
