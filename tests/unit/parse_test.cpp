// The parse dialect through the parse native: code loaded by the lexer and
// evaluated, each case the code and the mold of its last value; the
// errors that bad rules raise; nested parses, the trace callback and a
// deep recursion that must end in parse-stack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/interpreter/natives.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/parse/parse.hpp"
#include "support/interpreter.hpp"
#include "support/lexer.hpp"

namespace ixo {
namespace {

struct parse_suite : test::interpreter_suite {
  void SetUp() override {
    interpreter_suite::SetUp();
    lexer::init();
    parse::init();
    test::define_native("parse",
                        "[input [any-type!] rules [block!] /case /part length [any-type!] /trace callback [any-type!]]",
                        40);
  }

  // The mold of the code's last value.
  std::string run(const std::string& text) {
    cell block = test::load_source(text);
    cell* top = stack::top;
    std::optional<error_id> e = test::raised([&] { interpreter::eval_block(&block, false); });
    if (e) return "error " + std::to_string(e->category) + "/" + std::to_string(e->index);
    cell result = test::keep(stack::top[-1]);
    stack::top = top;
    return test::mold_of(result);
  }

  std::optional<error_id> error_of(const std::string& text) {
    cell block = test::load_source(text);
    return test::raised([&] { interpreter::eval_block(&block, false); });
  }
};

struct parse_case {
  const char* code;
  const char* expected;
};

const parse_case matching[] = {
    // Sequences, alternatives and the whole-input rule.
    {R"(parse [] [])", "true"},
    {R"(parse "a" [])", "false"},
    {R"(parse "aaa" [some "a"])", "true"},
    {R"(parse "ab" ["a" | "b"])", "false"},
    {R"(parse "b" ["a" | "b"])", "true"},
    {R"(parse "ab" [["a" "c" | "a" "b"]])", "true"},
    {R"(parse "ABC" ["abc"])", "true"},
    {R"(parse/case "ABC" ["abc"])", "false"},
    {R"(parse [a b] ['a 'b])", "true"},
    {R"(parse [1 "x" 2.0] [integer! string! float!])", "true"},
    {R"(parse #{0102FF} [#{01} quote 2 quote 255])", "true"},
    {R"(parse "abc" [skip skip skip end])", "true"},
    {R"(parse "ab" [skip skip skip])", "false"},
    // Repetitions and counts.
    {R"(parse "" [any "a"])", "true"},
    {R"(parse "" [some "a"])", "false"},
    {R"(parse "ab" [opt "a" "b"])", "true"},
    {R"(parse "aaa" [3 "a"])", "true"},
    {R"(parse "aaa" [2 "a"])", "false"},
    {R"(parse "aaa" [2 4 "a"])", "true"},
    {R"(parse "a" [0 "b" "a"])", "true"},
    {R"(parse "a" [0 some copy x "b" "a"])", "true"},
    {R"(parse [1 1 2] [some quote 1 quote 2])", "true"},
    {R"(parse "aaa" [while "a"])", "true"},
    {R"(parse "aaa" [while [remove "a"]])", "true"},
    {R"(parse "aaab" [any ["a" | break] "b"])", "true"},
    {R"(parse "aab" [any ["a" | reject] "b"])", "false"},
    {R"(parse "a" [any none "a"])", "true"},
    // to, thru and end.
    {R"(parse "abc" [to end])", "true"},
    {R"(parse "abc" [thru end])", "true"},
    {R"(parse "abcd" [to "c" p: "cd"])", "true"},
    {R"(parse "abcd" [thru "c" "d"])", "true"},
    {R"(parse "abcd" [thru "x"])", "false"},
    {R"(parse [1 2 3] [thru quote 2 quote 3])", "true"},
    {R"(parse "abc" [to ["c" | "b"] "bc"])", "true"},
    {R"(parse #{010203} [thru #{02} #{03}])", "true"},
    // copy and set.
    {R"(parse "abcd" [skip copy x to "d" skip] x)", R"("bc")"},
    {R"(parse [1 2 3] [copy x 2 integer! skip] x)", "[1 2]"},
    {R"(parse #{0A0B} [copy x 2 skip] x)", "#{0A0B}"},
    {R"(parse "abc" [set c skip to end] c)", "#\"a\""},
    {R"(parse #{0A} [set c skip] c)", "10"},
    {R"(parse [x 2] [set w word! integer!] w)", "x"},
    {R"(parse "" [set c opt "a"] c)", "none"},
    // not, ahead, fail, if, quote, case.
    {R"(parse "ab" [not "b" "ab"])", "true"},
    {R"(parse "ab" [not "a" "ab"])", "false"},
    {R"(parse "ab" [ahead "a" "ab"])", "true"},
    {R"(parse "a" ["a" fail])", "false"},
    {R"(parse "a" [if (true) "a"])", "true"},
    {R"(parse "a" [if (none) "a"])", "false"},
    {R"(parse [| any] [quote | quote any])", "true"},
    {R"(parse [1] [quote 1])", "true"},
    {R"(s: true parse "aA" ["a" case s "A"])", "true"},
    {R"(s: true parse "aa" ["a" case s "A"])", "false"},
    {R"(s: none parse/case "aA" [case s "A" "A"])", "true"},
    // Rule words, set-words, get-words and parens.
    {R"(r: ["a" r | "b"] parse "aaab" [r])", "true"},
    {R"(parse "abc" ["a" p: "b" :p "bc"])", "true"},
    {R"(x: 0 parse "ab" ["a" (x: 1) "b"] x)", "1"},
    {R"(parse "abc" ["a" (parse "xy" ["x" "y"]) "bc"])", "true"},
    {R"(parse "ab" ["a" (ok: parse "xy" [some "x"]) "b"] ok)", "false"},
    // into.
    {R"(parse [[1 2] 3] [into [some integer!] integer!])", "true"},
    {R"(parse [[1 2] 3] [into [integer!] integer!])", "false"},
    {R"(parse ["ab" 3] [into ["a" "b"] integer!])", "true"},
    {R"(parse [1] [into [integer!]])", "false"},
    {R"(r: [integer!] parse [[1]] [into r])", "true"},
    // collect and keep.
    {R"(parse [1 2 3] [collect [some [keep integer!]]])", "[1 2 3]"},
    {R"(parse [1 a 2] [collect [some [keep integer! | skip]]])", "[1 2]"},
    {R"(parse "abc" [collect [keep skip keep 2 skip]])", R"([#"a" "bc"])"},
    {R"(parse "abc" [collect [keep pick 3 skip]])", R"([#"a" #"b" #"c"])"},
    {R"(parse #{0102} [collect [keep 2 skip]])", "[#{0102}]"},
    {R"(parse #{0102} [collect [keep pick 2 skip]])", "[1 2]"},
    {R"(parse [1 2] [collect [keep (10) 2 skip]])", "[10]"},
    {R"(parse [1 [2]] [collect [keep integer! collect [into [keep integer!]]]])", "[1 [2]]"},
    {R"(parse [1 2] [collect set x [some [keep integer!]]] x)", "[1 2]"},
    {R"(parse [1 2] [collect set x [some [keep integer!]]])", "true"},
    {R"(b: [0] parse [1 2] [collect into b [some [keep integer!]]] b)", "[1 2 0]"},
    {R"(b: [0] parse [1 2] [collect after b [some [keep integer!]]] b)", "[0 1 2]"},
    {R"(s: "x" parse "ab" [collect into s [keep 2 skip]] s)", R"("abx")"},
    // Editing the input.
    {R"(s: "abc" parse s [remove "a" "bc"] s)", R"("bc")"},
    {R"(s: "abc" parse s [skip p: 2 skip remove p] s)", R"("a")"},
    {R"(s: [1 2 3] parse s [some [remove quote 2 | skip]] s)", "[1 3]"},
    {R"(s: "ac" parse s ["a" insert "b" "c"] s)", R"("abc")"},
    {R"(s: [1 3] parse s [skip insert only [2] skip] s)", "[1 [2] 3]"},
    {R"(s: "ac" v: "b" parse s ["a" insert v "c"] s)", R"("abc")"},
    {R"(s: "axc" parse s ["a" change "x" "bb" "c"] s)", R"("abbc")"},
    {R"(s: [1 0 3] parse s [skip change integer! (2) skip] s)", "[1 2 3]"},
    {R"(s: [1 0 3] parse s [skip change only integer! [2] skip] s)", "[1 [2] 3]"},
    {R"(s: "abc" parse s [p: 2 skip change p "X" "c"] s)", R"("Xc")"},
    // Binary input: literals, bitsets and datatypes through the lexer.
    {R"(parse #{414243} ["abc"])", "true"},
    {R"(parse/case #{414243} ["abc"])", "false"},
    {R"(parse #{3132} [integer!])", "true"},
    {R"(parse #{31323320616263} [integer! " " word!])", "true"},
    {R"(parse #{6162} [integer!])", "false"},
    // /part.
    {R"(parse/part "" [] 0)", "true"},
    {R"(parse/part "a" [(x: 1)] 0)", "false"},
    {R"(parse/part "abc" ["ab"] 2)", "true"},
    {R"(parse/part "abc" ["abc"] 2)", "false"},
    {R"(parse/part "abc" [to end] 2)", "true"},
    {R"(s: "abcd" parse s [2 skip p: to end] parse/part s ["ab"] p)", "true"},
    {R"(s: "abcd" parse s [2 skip p: to end] parse/part s ["abc"] p)", "false"},
    {R"(parse/part [1 2 3] [some integer!] 2)", "true"},
    {R"(parse/part #{010203} [2 skip end] 2)", "true"},
};

TEST_F(parse_suite, rules_match_as_the_dialect_says) {
  for (const parse_case& c : matching) EXPECT_EQ(run(c.code), c.expected) << c.code;
}

TEST_F(parse_suite, to_end_and_thru_end_leave_the_input_at_its_tail) {
  for (const char* code : {R"(s: "abc" parse s [to end p:] p)", R"(s: "abc" parse s [thru end p:] p)"}) {
    cell block = test::load_source(code);
    interpreter::eval_block(&block, false);
    cell p = test::keep(stack::top[-1]);
    EXPECT_EQ(TYPE_OF(&p), TYPE_STRING) << code;
    EXPECT_EQ(p.data1, 3u) << code;
  }
}

TEST_F(parse_suite, part_of_zero_runs_no_rule) {
  EXPECT_EQ(run(R"(x: 0 parse/part "a" [(x: 1)] 0 x)"), "0");
}

TEST_F(parse_suite, bad_rules_raise_their_errors) {
  const struct {
    const char* code;
    error_id id;
  } errors[] = {
      {R"(parse [] [|])", err::script_parse_end},
      {R"(parse "b" ["a" |])", err::script_parse_end},
      {R"(parse "a" [some])", err::script_parse_end},
      {R"(parse "a" [copy "a"])", err::script_parse_end},
      {R"(parse "a" [copy x])", err::script_parse_end},
      {R"(parse "a" [if "a"])", err::script_parse_end},
      {R"(parse [[1]] [into])", err::script_parse_end},
      {R"(parse [[1]] [into 1])", err::script_parse_end},
      {R"(parse "a" [keep skip])", err::script_parse_keep},
      {R"(r: [r] parse "a" r)", err::script_parse_stack},
      {R"(r: [opt r] parse "a" r)", err::script_parse_stack},
      {R"(parse "a" [string!])", err::script_parse_unsupported},
      {R"(parse "a" [into ["a"]])", err::script_parse_block},
      {R"(parse "a" [undefined-word])", err::script_parse_rule},
      {R"(w: 'x parse "a" [w])", err::script_parse_rule},
      {R"(parse "a" [a/b])", err::script_parse_rule},
      {R"(parse "a" [2 1 "a"])", err::script_parse_rule},
      {R"(parse "a" [2])", err::script_parse_rule},
      {R"(parse "a" [-1 "a"])", err::script_out_of_range},
      {R"(s: "x" parse "a" [:s])", err::script_parse_invalid_ref},
      {R"(parse "a" [insert])", err::script_parse_rule},
      {R"(parse "a" [change "a"])", err::script_parse_rule},
      {R"(parse "a" [insert undefined-word])", err::script_no_value},
      {R"(b: 1 parse [1] [collect into b [keep skip]])", err::script_parse_into_type},
      {R"(b: "" parse [1] [collect into b [keep skip]])", err::script_parse_into_type},
      {R"(s: [1] parse s [collect into s [keep skip]])", err::script_parse_into_bad},
      {R"(parse/part "a" [] [1])", err::script_invalid_refine_arg},
  };
  for (const auto& e : errors) {
    std::optional<error_id> got = error_of(e.code);
    ASSERT_TRUE(got) << e.code;
    EXPECT_EQ(got->category, e.id.category) << e.code;
    EXPECT_EQ(got->index, e.id.index) << e.code;
  }
}

TEST_F(parse_suite, an_error_leaves_the_engine_ready_for_the_next_parse) {
  EXPECT_TRUE(error_of(R"(r: [r] parse "a" r)"));
  EXPECT_TRUE(error_of(R"(parse "a" ["a" (parse "b" [keep skip])])"));
  EXPECT_EQ(run(R"(parse "ab" ["a" "b"])"), "true");
}

std::vector<std::string> events;
cell trace_answer;

// A trace callback: records each event's word and answers trace_answer.
void record_event(const int32_t*) {
  events.push_back(test::mold_of(stack::arguments[0]));
  stack::set_result(trace_answer);
}

TEST_F(parse_suite, the_trace_callback_sees_every_kind_of_step) {
  events.clear();
  trace_answer = logic::make_cell(true);
  test_native("on-parse", "[e [any-type!] m [any-type!] r [any-type!] i [any-type!] s [any-type!]]", 107,
              record_event);
  EXPECT_EQ(run(R"(parse/trace "aab" [some "a" ("x") ["b"]] :on-parse)"), "true");
  for (const char* event : {"push", "pop", "fetch", "match", "iterate", "paren", "end"})
    EXPECT_NE(std::find(events.begin(), events.end(), event), events.end()) << event;
  EXPECT_EQ(events.front(), "push");
  EXPECT_EQ(events.back(), "end");
}

TEST_F(parse_suite, a_false_answer_of_the_trace_stops_the_parse) {
  events.clear();
  trace_answer = logic::make_cell(false);
  test_native("on-parse", "[e [any-type!] m [any-type!] r [any-type!] i [any-type!] s [any-type!]]", 107,
              record_event);
  EXPECT_EQ(run(R"(x: 0 parse/trace "a" ["a" (x: 1)] :on-parse x)"), "0");
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(parse_suite, deep_nesting_costs_no_machine_stack) {
  // 4000 nested rule blocks fit the rule stack; each level is an entry on
  // it, not a C++ frame.
  std::string rules(4000, '[');
  rules += "\"a\"" + std::string(4000, ']');
  EXPECT_EQ(run("parse \"a\" " + rules), "true");
  std::string deeper(6000, '[');
  deeper += "\"a\"" + std::string(6000, ']');
  std::optional<error_id> e = error_of("parse \"a\" " + deeper);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->index, err::script_parse_stack.index);
}

}  // namespace
}  // namespace ixo
