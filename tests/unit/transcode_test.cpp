// transcode as the interpreter calls it: its refinements, its results and
// the lexer's trace callback, answered here by a C++ stand-in for the
// interpreter's function call.
#include <string>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/natives_transcode.hpp"
#include "support/lexer.hpp"
#include "support/native_call.hpp"

namespace ixo::test {
namespace {

using transcode_native = lexer_runtime;

cell text_value(const std::string& text) {
  cell s{TYPE_UNSET, 0, 0, 0};
  string::load_at(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), &s,
                  string::LOAD_UTF8);
  return keep(s);
}

cell bytes_value(const std::string& bytes) {
  cell b{TYPE_UNSET, 0, 0, 0};
  binary::load_at(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), &b);
  return keep(b);
}

// Refinement slots: /next /one /prescan /scan /part /into /trace; an
// argument-taking refinement's argument follows the source.
std::string transcoded(cell source, std::initializer_list<int32_t> refinements = {-1, -1, -1, -1, -1, -1, -1},
                       std::initializer_list<cell> extra = {}) {
  std::vector<cell> args{source};
  args.insert(args.end(), extra.begin(), extra.end());
  cell result;
  switch (args.size()) {
    case 1: result = call_entry(natives::transcode, {args[0]}, refinements); break;
    default: result = call_entry(natives::transcode, {args[0], args[1]}, refinements); break;
  }
  return mold_of(result);
}

TEST_F(transcode_native, modes_and_results) {
  EXPECT_EQ(transcoded(text_value("1 [2] a")), "[1 [2] a]");
  EXPECT_EQ(transcoded(text_value("1 [2] 3"), {0, -1, -1, -1, -1, -1, -1}), "[1 \" [2] 3\"]");
  EXPECT_EQ(transcoded(text_value("[2] 3"), {0, -1, -1, -1, -1, -1, -1}), "[[2] \" 3\"]");
  EXPECT_EQ(transcoded(text_value("1 2"), {-1, 0, -1, -1, -1, -1, -1}), "1");
  EXPECT_EQ(transcoded(text_value("12"), {-1, -1, 0, -1, -1, -1, -1}), "integer!");
  EXPECT_EQ(transcoded(text_value("a/b"), {-1, -1, 0, -1, -1, -1, -1}), "path!");
  EXPECT_EQ(transcoded(text_value(""), {-1, -1, 0, -1, -1, -1, -1}), "none");
  EXPECT_EQ(transcoded(text_value("1.5 x"), {-1, -1, -1, 0, -1, -1, -1}), "float!");
  EXPECT_EQ(transcoded(text_value("1 2 3"), {-1, -1, -1, -1, 1, -1, -1}, {integer::make_cell(3)}), "[1 2]");
  EXPECT_EQ(transcoded(bytes_value("\xEF\xBB\xBF" "a b")), "[a b]");
  EXPECT_EQ(transcoded(bytes_value("a é")), "[a é]");
  cell into = keep(load_source("x"));
  EXPECT_EQ(transcoded(text_value("1 2"), {-1, -1, -1, -1, -1, 1, -1}, {into}), "[x 1 2]");
  EXPECT_TRUE(is(raised([&] { transcoded(text_value("1"), {-1, -1, -1, -1, 1, -1, -1}, {text_value("x")}); }),
                 err::script_not_same_type));
}

TEST_F(transcode_native, errors_and_large_inputs) {
  auto e = raised([&] { transcoded(text_value("[1 2")); });
  ASSERT_TRUE(is(e, err::syntax_missing));
  keep_raised_args();
  EXPECT_EQ(raised_arg(0), "\"(line 1)\"");
  EXPECT_EQ(raised_arg(1), "#\"]\"");
  EXPECT_EQ(raised_arg(2), "\"[1 2\"");
  // past the scratch buffer: a text of its own
  std::string big;
  for (int32_t i = 0; i < 30000; ++i) big += "word" + std::to_string(i % 7) + " ";
  cell loaded_block = keep(load_source("[]"));
  std::string molded = transcoded(text_value(big + "\"\xE2\x82\xAC\""));
  EXPECT_EQ(molded.size(), big.size() + 7);  // brackets, quotes and the three bytes
  EXPECT_EQ(molded.substr(molded.size() - 6), "\"\xE2\x82\xAC\"]");
  (void)loaded_block;
}

// ---- The trace callback ----------------------------------------------------------

struct trace_log {
  std::vector<std::string> events;
  std::string refuse;      // the event whose answer is false
  bool nested = false;     // the callback loads text itself
  std::string nested_mold;
};
trace_log* current = nullptr;

bool stand_in(const cell*, cell* arguments) {
  std::string event = mold_of(arguments[0]);
  current->events.push_back(event + " " + mold_of(arguments[2]) + " " + mold_of(arguments[4]));
  if (current->nested && event == "load") {
    current->nested = false;
    current->nested_mold = transcoded(text_value("[x y]"));
  }
  return event != current->refuse;
}

// A function! whose body's first value is the block of events wanted.
cell callback_value(const std::string& body) {
  cell spec = keep(load_source("event input type line token"));
  cell code = keep(load_source(body));
  function::push(&spec, &code, 0, 0);
  return keep(*stack::top_cell());
}

struct traced : lexer_runtime {
  trace_log log;
  void SetUp() override {
    lexer_runtime::SetUp();
    current = &log;
    lexer::call_trace = stand_in;
  }
  void TearDown() override { lexer::call_trace = nullptr; }
  std::string run(const std::string& text, const cell& callback) {
    return transcoded(text_value(text), {-1, -1, -1, -1, -1, -1, 1}, {callback});
  }
};

TEST_F(traced, events_follow_the_callbacks_mask) {
  cell cb = callback_value("[load open close] true");
  EXPECT_EQ(run("[1 a]", cb), "[[1 a]]");
  std::vector<std::string> expected{"open block! 1x2", "load integer! 1", "load word! a", "close block! 5x6",
                                    "load block! [1 a]"};
  // a block's value is loaded when it closes: no load event of its own
  expected.pop_back();
  EXPECT_EQ(log.events, expected);
}

TEST_F(traced, paths_report_their_close) {
  cell cb = callback_value("[open close] true");
  EXPECT_EQ(run("a/b x/(1): 2", cb), "[a/b x/(1): 2]");
  std::vector<std::string> expected{"open path! 1x2",  "close path! 4x4",   "open path! 5x6",
                                    "open paren! 7x8", "close paren! 9x10", "close set-path! 10x11"};
  EXPECT_EQ(log.events, expected);
}

TEST_F(traced, refusals_skip_values_keep_series_open_and_stop_errors) {
  log.refuse = "load";
  EXPECT_EQ(run("1 2", callback_value("[load] true")), "[]");
  log.refuse = "error";
  log.events.clear();
  EXPECT_EQ(run("1 #", callback_value("[error] true")), "none");
  ASSERT_EQ(log.events.size(), 1u);
  EXPECT_EQ(log.events[0], "error issue! 3x3");
  EXPECT_EQ(lexer::depth(), 0);
}

TEST_F(traced, a_callback_may_transcode) {
  log.nested = true;
  EXPECT_EQ(run("a b", callback_value("[load] true")), "[a b]");
  EXPECT_EQ(log.nested_mold, "[[x y]]");
}

}  // namespace
}  // namespace ixo::test
