#include <gtest/gtest.h>

#include "runtime/interpreter/natives_word.hpp"
#include "support/source_eval.hpp"

namespace ixo {
namespace {

using test::error_text;
using test::molded;

struct natives_word : test::source_suite {
  std::vector<std::pair<std::string, std::pair<std::string, int32_t>>> natives_used() override {
    return {
        {"get", {"[word [any-type!] /any /case]", 21}},
        {"set", {"[word [any-type!] value [any-type!] /any /case /only /some]", 22}},
        {"bind", {"[word [any-type!] context [any-type!] /copy]", 38}},
        {"in", {"[object [any-type!] word [any-type!]]", 39}},
        {"value?", {"[value [word!]]", 69}},
        {"unset", {"[word [any-type!]]", 88}},
        {"context?", {"[word [any-type!]]", 92}},
        {"reduce", {"[value [any-type!] /into out [any-type!]]", 35}},
        {"same?", {"[a [any-type!] b [any-type!]]", 32}},
        {"type?", {"[value [any-type!]]", 34}},
    };
  }
};

struct row {
  const char* code;
  const char* mold;
};

void check(std::initializer_list<row> rows) {
  for (const row& r : rows) EXPECT_EQ(molded(r.code), r.mold) << r.code;
}

TEST_F(natives_word, get_reads_words_paths_and_objects) {
  check({
      {"a: 5 get 'a", "5"},
      {"type? get/any 'never-set", "unset!"},
      {"get 'never-set", error_text(err::script_no_value).c_str()},
      {"b: [x 1 y 2] get 'b/y", "2"},
      {"o: make object! [x: 1 y: [2]] get 'o/y", "[2]"},
      {"o: make object! [x: 1 y: [2]] get o", "[1 [2]]"},
      {"m: make map! [k 1] get 'm/k", "1"},
  });
}

TEST_F(natives_word, set_assigns_words_blocks_paths_and_objects) {
  check({
      {"set 'a 1 a", "1"},
      {"set 'a [1 2]", "[1 2]"},
      {"set [a b] [1 2] reduce [a b]", "[1 2]"},
      {"set [a b] [1 2]", "[1 2]"},
      {"set [a b] 5 reduce [a b]", "[5 5]"},
      {"set [a b c] [1 2] reduce [a b c]", "[1 2 none]"},
      {"set/only [a b] [1 2] reduce [a b]", "[[1 2] [1 2]]"},
      {"a: 1 b: 2 set/some [a b] reduce [none 3] reduce [a b]", "[1 3]"},
      {"set next [a b] [7] b", "7"},
      {"set [a b] make map! [k 1] reduce [a b]", "[k: 1]"},
      {"set [a b] 'x/y reduce [a b]", "[x y]"},
      {"b: [1 2] set 'b/2 9 b", "[1 9]"},
      {"o: make object! [x: 1 y: 2] set o [3 4] reduce [o/x o/y]", "[3 4]"},
      {"o: make object! [x: 1 y: 2] set o 0 reduce [o/x o/y]", "[0 0]"},
      {"m: make map! [] set 'm/k 3 m/k", "3"},
  });
}

TEST_F(natives_word, set_refuses_unset_values_before_setting_anything) {
  check({
      {"set 'a get/any 'never-set", error_text(err::script_need_value).c_str()},
      {"a: 1 set/any 'a get/any 'never-set value? 'a", "false"},
      {"a: 1 b: 1 set [a b] reduce [2 get/any 'never-set]", error_text(err::script_need_value).c_str()},
      {"a: 1 b: 1 set/any [a b] reduce [2 get/any 'never-set] reduce [a value? 'b]", "[2 false]"},
      {"a: 1 set [a 5] [2 3]", error_text(err::script_invalid_arg).c_str()},
      {"a: 1 set [a /r] [2 3]", error_text(err::script_invalid_arg).c_str()},
  });
  // A refused assignment sets none of the words.
  test::run_source("a: 1 b: 1");
  EXPECT_TRUE(test::is(test::run_source("set [a b] reduce [2 get/any 'never-set]"), err::script_need_value));
  EXPECT_TRUE(test::is(test::run_source("set [a b 5] [2 3 4]"), err::script_invalid_arg));
  EXPECT_EQ(molded("reduce [a b]"), "[1 1]");
}

TEST_F(natives_word, bind_and_in_point_words_at_a_context) {
  check({
      {"o: make object! [x: 10] b: [x] bind b o reduce b", "[10]"},
      {"o: make object! [x: 10] reduce bind [x] in o 'x", "[10]"},
      {"o: make object! [x: 10] x: 1 get bind 'x o", "10"},
      {"o: make object! [x: 10] y: 1 get bind 'y o", "1"},
      {"o: make object! [x: 10] b: [x [x]] c: bind/copy b o reduce [same? b c reduce c/2]", "[false [10]]"},
      {"o: make object! [x: 10] b: [x] bind/copy b o x: 1 reduce b", "[1]"},
      {"o: make object! [x: 10] b: reduce bind [self] o same? o b/1", "true"},
      {"o: make object! [x: 10] get in o 'x", "10"},
      {"o: make object! [x: 10] in o 'y", "none"},
      {"o: make object! [x: 10] type? in o /x", "word!"},
  });
}

TEST_F(natives_word, value_unset_and_context_report_on_words) {
  check({
      {"a: 1 value? 'a", "true"},
      {"value? 'never-set", "false"},
      {"a: 1 unset 'a value? 'a", "false"},
      {"a: 1 b: 2 unset [a 1 b] reduce [value? 'a value? 'b]", "[false false]"},
      {"type? unset 'a", "unset!"},
      {"o: make object! [x: 1] same? o context? in o 'x", "true"},
      {"context? 'a", "none"},
  });
}

}  // namespace
}  // namespace ixo
