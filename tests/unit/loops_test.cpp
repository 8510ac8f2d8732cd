// The loop and series iteration natives, run from source text through the
// real lexer and the interpreter. break, continue and return are stand-ins
// over the stack's non-local exits; append, even? and the other helpers
// are the real actions.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/interpreter/stack.hpp"
#include "support/interpreter.hpp"
#include "support/lexer.hpp"

namespace ixo {
namespace {

void brk(const int32_t* refs) { stack::throw_break(refs[0] >= 0, false); }
void cont(const int32_t*) { stack::throw_break(false, true); }
void ret(const int32_t*) { stack::throw_return(true, false); }

struct loops : test::interpreter_suite {
  void SetUp() override {
    interpreter_suite::SetUp();
    lexer::init();
    const struct {
      const char* name;
      const char* spec;
      int32_t slot;
    } natives[] = {
        {"while", "[cond [block!] body [block!]]", 6},
        {"until", "[body [block!]]", 7},
        {"loop", "[count [integer! float!] body [block!]]", 8},
        {"repeat", "['word [word!] value [integer! float!] body [block!]]", 9},
        {"forever", "[body [block!]]", 10},
        {"foreach", "['word [word! block!] series [any-type!] body [block!]]", 11},
        {"forall", "['word [word!] body [block!]]", 12},
        {"remove-each", "['word [word! block!] data [any-type!] body [block!]]", 13},
        {"equal?", "[value1 [any-type!] value2 [any-type!]]", 25},
    };
    for (const auto& n : natives) test::define_native(n.name, n.spec, n.slot);
    test_native("break", "[/return value [any-type!]]", 77, brk);
    test_native("continue", "[]", 78, cont);
    test_native("return", "[value [any-type!]]", 80, ret);
    define_action("append", "[series [any-type!] value [any-type!] /part length [any-type!] /only /dup count [any-type!]]",
                  ACT_APPEND);
    define_action("make", "[type [any-type!] spec [any-type!]]", ACT_MAKE);
    define_action("remove", "[series [any-type!] /part range [any-type!] /key key-arg [any-type!]]", ACT_REMOVE);
    for (auto [name, number] : {std::pair{"even?", ACT_EVEN_Q}, {"odd?", ACT_ODD_Q}, {"length?", ACT_LENGTH_Q},
                                {"next", ACT_NEXT}, {"index?", ACT_INDEX_Q}, {"tail?", ACT_TAIL_Q}})
      define_action(name, "[value [any-type!]]", number);
  }

  void define_action(const std::string& name, const std::string& spec, int32_t number) {
    cell proto{TYPE_ACTION, 0, 0, 0};
    cell made = test::code("[] " + std::to_string(number));
    cell spec_block = test::code(spec);
    *memory::head_of<cell>(memory::GET_BUFFER(&made)) = *memory::head_of<cell>(memory::GET_BUFFER(&spec_block));
    cell value = test::keep(*native::make_value(&proto, &made, TYPE_ACTION));
    stack::pop(1);
    cell w = test::global_word(TYPE_WORD, name);
    word::set(&w, value);
  }

  // name: a function of no arguments over the body's source.
  void define_function(const char* name, const std::string& body) {
    cell s = test::code("[]"), b = test::load_source(body);
    s = test::keep(*memory::head_of<cell>(memory::GET_BUFFER(&s)));
    function::push(&s, &b, 0, 0);
    cell value = test::keep(*stack::top_cell());
    stack::pop(1);
    cell w = test::global_word(TYPE_WORD, name);
    word::set(&w, value);
  }

  // The mold of the source's value ("unset" for no value), checking that
  // the evaluation leaves both stacks as it found them but for its result.
  std::string ev(const std::string& source) {
    cell block = test::load_source(source);
    cell* arguments = stack::arguments;
    cell* top = stack::top;
    stack::call_frame* frame_top = stack::frame_top;
    std::optional<error_id> e = test::raised([&] { interpreter::eval_block(&block, false); });
    if (e) return "error " + std::to_string(e->category) + "/" + std::to_string(e->index);
    EXPECT_EQ(stack::arguments, arguments) << source;
    EXPECT_EQ(stack::frame_top, frame_top) << source;
    EXPECT_EQ(stack::top, top + 1) << source;
    cell result = stack::top[-1];
    stack::top = top;
    return TYPE_OF(&result) == TYPE_UNSET ? "unset" : test::mold_of(result);
  }

  std::optional<error_id> fails(const std::string& source) {
    cell block = test::load_source(source);
    return test::raised([&] { interpreter::eval_block(&block, false); });
  }
};

struct row {
  const char* source;
  const char* molded;
};

TEST_F(loops, counted_and_conditional_loops) {
  const row rows[] = {
      {"loop 0 [1]", "none"},
      {"loop -1 [1]", "none"},
      {"r: [] loop 2.9 [append r 1] r", "[1 1]"},
      {"loop 3 [5]", "5"},
      {"r: [] repeat i 3 [append r i] append r i", "[1 2 3 3]"},
      {"i: 7 r: [] append r repeat i 0 [1] append r i", "[none 7]"},
      {"repeat i 2.5 [i]", "2"},
      // The word is a copy of the counter: changing it does not change the count.
      {"r: [] repeat i 3 [append r i i: 10] r", "[1 2 3]"},
      {"while [true] [break]", "unset"},
      {"while [false] [1]", "unset"},
      {"r: [] while [even? length? r] [append r 1] r", "[1]"},
      {"until [1]", "1"},
      {"r: [] until [append r 1 even? length? r] r", "[1 1]"},
      {"r: [] until [append r 1 break] r", "[1]"},
      {"forever [break/return 9]", "9"},
      {"r: [] forever [append r 1 if even? length? r [break]] r", "[1 1]"},
  };
  for (const row& r : rows) EXPECT_EQ(ev(r.source), r.molded) << r.source;
}

TEST_F(loops, break_and_continue_in_every_loop) {
  const row rows[] = {
      {"loop 3 [break/return 7]", "7"},
      {"loop 3 [1 break]", "unset"},
      {"r: [] loop 3 [append r 1 continue append r 2] r", "[1 1 1]"},
      {"loop 2 [continue]", "unset"},
      {"until [break/return 4]", "4"},
      // continue starts the next iteration without testing the body's value.
      {"r: [] until [append r 1 if odd? length? r [continue] true] r", "[1 1]"},
      {"while [true] [break/return 3]", "unset"},
      {"r: [] repeat i 4 [if even? i [continue] append r i] r", "[1 3]"},
      {"repeat i 4 [if equal? i 2 [break/return i]]", "2"},
      {"r: [] foreach x [1 2 3 4] [if even? x [continue] append r x] r", "[1 3]"},
      {"foreach x [1 2 3] [break/return x]", "1"},
      {"foreach x [1 2 3] [if equal? x 3 [break] x]", "unset"},
      // An inner break leaves only the inner loop.
      {"r: [] loop 2 [loop 3 [append r 1 break] append r 2] r", "[1 2 1 2]"},
  };
  for (const row& r : rows) EXPECT_EQ(ev(r.source), r.molded) << r.source;
}

TEST_F(loops, loop_errors) {
  EXPECT_TRUE(test::is(fails("while [break] []"), err::throw_while_cond));
  EXPECT_TRUE(test::is(fails("while [continue] []"), err::throw_while_cond));
  EXPECT_TRUE(test::is(fails("while [()] []"), err::script_no_return));
  EXPECT_TRUE(test::is(fails("until [()]"), err::script_no_return));
  // Counts whose whole part does not fit 32 bits are refused, not wrapped.
  for (const char* source : {"loop 1e10 [1]", "loop -1e10 [1]", "repeat i 4294967297.0 [1]", "loop 2147483648.0 [1]"})
    EXPECT_TRUE(test::is(fails(source), err::script_out_of_range)) << source;
  EXPECT_EQ(ev("loop 2147483647.9 [break/return 1]"), "1");
  // Errors in a body leave the loop; the stacks are as before.
  EXPECT_TRUE(test::is(fails("loop 2 [no-such-word]"), err::script_no_value));
  EXPECT_EQ(ev("loop 1 [2]"), "2");
}

TEST_F(loops, return_leaves_every_loop_and_the_function) {
  define_function("f", "loop 3 [repeat i 3 [foreach x [1 2] [forall s [while [true] [until [return 42]]]]]] 0");
  EXPECT_EQ(ev("s: [1 2] f"), "42");
  EXPECT_EQ(ev("r: [] loop 2 [append r f] r"), "[42 42]");
  // forall after a return keeps the position it had reached.
  EXPECT_EQ(ev("s: next [1 2] f index? s"), "2");
}

TEST_F(loops, foreach_walks_every_series_type) {
  const row rows[] = {
      {"foreach x [] [1]", "unset"},
      {"r: [] foreach x [1 2 3] [append r x] r", "[1 2 3]"},
      {"foreach x [1 2 3] [x]", "3"},
      {"r: [] foreach [a b] [1 2 3] [append r a append r b] r", "[1 2 3 none]"},
      {"r: [] foreach x next [1 2 3] [append r x] r", "[2 3]"},
      {"r: [] foreach c \"ab\" [append r c] r", "[#\"a\" #\"b\"]"},
      {"r: [] foreach [a b] \"abc\" [append r a append r b] r", "[#\"a\" #\"b\" #\"c\" none]"},
      {"r: [] foreach b #{0102} [append r b] r", "[1 2]"},
      {"r: [] foreach [k v] #[a 1 b \"x\"] [append r k append r v] r", "[a 1 b \"x\"]"},
      {"r: [] m: #[a 1 b 2 c 3] remove/key m 'a foreach [k v] m [append r k] r", "[b c]"},
      // Pairs removed up to the end give no iteration of nones.
      {"r: [] m: #[a 1 b 2 c 3] remove/key m 'c foreach [k v] m [append r k] r", "[a b]"},
      {"r: [] foreach p make image! 2x1 [append r p] r", "[255.255.255.0 255.255.255.0]"},
      {"r: [] foreach [p q] make image! 3x1 [append r q] r", "[255.255.255.0 none]"},
      // The series copy walks on while the body changes the word.
      {"r: [] foreach x [1 2] [append r x x: 5] r", "[1 2]"},
  };
  for (const row& r : rows) EXPECT_EQ(ev(r.source), r.molded) << r.source;
}

TEST_F(loops, foreach_refuses_bad_words) {
  for (const char* source : {"foreach [] [1] [1]", "foreach x #[a 1] [1]", "foreach [a b c] #[a 1] [1]",
                             "foreach [a 1] [1 2] [1]", "foreach [a 1] \"ab\" [1]", "foreach [k 1] #[a 1] [1]"})
    EXPECT_TRUE(test::is(fails(source), err::script_invalid_arg)) << source;
  // Nothing is set when a word of the block is bad.
  EXPECT_TRUE(test::is(fails("a: 0 foreach [a 1] [5 6] [1]"), err::script_invalid_arg));
  EXPECT_EQ(ev("a"), "0");
}

TEST_F(loops, forall_moves_the_word_and_puts_it_back) {
  const row rows[] = {
      {"s: [1 2 3] r: [] forall s [append r s/1] append r index? s", "[1 2 3 1]"},
      {"s: next [1 2 3] r: [] forall s [append r s/1] append r index? s", "[2 3 2]"},
      {"s: [1 2 3] forall s [if equal? s/1 2 [break]] index? s", "2"},
      {"s: [1 2 3] forall s [s/1]", "3"},
      {"s: [1 2 3] forall s [break/return 8]", "8"},
      {"s: [1 2 3] r: [] forall s [if equal? s/1 2 [continue] append r s/1] r", "[1 3]"},
      {"s: \"ab\" r: [] forall s [append r s/1] r", "[#\"a\" #\"b\"]"},
      {"s: [] forall s [1]", "unset"},
      {"i: make image! 2x2 r: [] forall i [append r index? i] append r index? i", "[1 2 3 4 1]"},
      // The body may move the word within its series.
      {"s: [1 2 3 4] r: [] forall s [append r s/1 s: next s] r", "[1 3]"},
  };
  for (const row& r : rows) EXPECT_EQ(ev(r.source), r.molded) << r.source;
  EXPECT_TRUE(test::is(fails("s: 5 forall s [1]"), err::script_expect_arg));
  EXPECT_TRUE(test::is(fails("forall no-such-word [1]"), err::script_no_value));
  EXPECT_TRUE(test::is(fails("s: [1 2] forall s [s: [3 4]]"), err::script_bad_loop_series));
  EXPECT_TRUE(test::is(fails("s: [1 2] forall s [s: 5]"), err::script_bad_loop_series));
}

TEST_F(loops, remove_each_removes_where_the_body_is_truthy) {
  const row rows[] = {
      {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
      {"b: [1 2 3 4] remove-each x next b [even? x]", "[3]"},
      {"b: [1 2 3 4] remove-each x next b [even? x] b", "[1 3]"},
      {"remove-each [a b] [2 1 3 4 6] [even? a]", "[3 4]"},
      {"remove-each c \"abcb\" [equal? c #\"b\"]", "\"ac\""},
      {"remove-each x [1 2 3] [none]", "[1 2 3]"},
      {"remove-each x [1 2 3 4] [if equal? x 3 [break] true]", "[3 4]"},
      {"remove-each x [1 2] [continue]", "[1 2]"},
      {"remove-each x [1 2] [break/return 5]", "[1 2]"},
      {"remove-each b #{010203} [odd? b]", "#{02}"},
  };
  for (const row& r : rows) EXPECT_EQ(ev(r.source), r.molded) << r.source;
}

}  // namespace
}  // namespace ixo
