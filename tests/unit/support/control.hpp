// A started interpreter with the function makers, do, the exits, try,
// catch, extend and apply set to their words (specs without their doc
// strings), the actions make, add and divide with the operators + and /,
// routines to compute with (combine a b is a * 10 + b, dec n is n - 1,
// zero n is n = 0, note v appends v to `notes`), and `endless`, a loop
// that runs its block until a break. Test code is loaded by the lexer.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/natives_exit.hpp"
#include "runtime/interpreter/natives_function.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "startup/system/catch.hpp"
#include "interpreter.hpp"

namespace ixo::test {

inline std::vector<cell> notes;

inline int32_t arg_int(int32_t k) { return static_cast<int32_t>(stack::arguments[k].data2); }
inline void combine_routine() {
  stack::set_result(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(arg_int(0) * 10 + arg_int(1)), 0});
}
inline void dec_routine() { stack::set_result(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(arg_int(0) - 1), 0}); }
inline void zero_routine() { stack::set_result(logic::make_cell(arg_int(0) == 0)); }
inline void note_routine() {
  notes.push_back(keep(stack::arguments[0]));
  stack::set_result(unset::unset_value);
}

// endless body: runs the body in a loop frame until a break.
inline void endless(const int32_t*) {
  cell* body = stack::arguments;
  stack::top = stack::arguments + 1;
  stack::mark(words::word_anon, stack::FRAME_LOOP);
  for (;;) {
    uint32_t code = catch_site(FILTER_LOOP, [&] { interpreter::eval_block(body, false); });
    if (code == THROW_BREAK) {
      system::clear_thrown();
      return stack::unwind_last();
    }
    if (code == THROW_CONTINUE) system::clear_thrown();
    else system::throw_to_catch();
    stack::reset();
  }
}

struct control_suite : interpreter_suite {
  void SetUp() override {
    interpreter_suite::SetUp();
    notes.clear();
    const char* fn_types = "[native! action! function! routine! op!]";
    define_native("func", "[spec [block!] body [block!]]", 14);
    define_native("function", "[spec [block!] body [block!] /extern]", 15);
    define_native("does", "[body [block!]]", 16);
    define_native("has", "[vars [block!] body [block!]]", 17);
    define_native("do", "[value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]]", 20);
    define_native("try", "[block [block!] /all /keep]", 70);
    define_native("break", "[/return value [any-type!]]", 77);
    define_native("continue", "[]", 78);
    define_native("exit", "[]", 79);
    define_native("return", "[value [any-type!]]", 80);
    define_native("throw", "[value [any-type!] /name word [word!]]", 81);
    define_native("catch", "[block [block!] /name word [word! block!]]", 82);
    define_native("extend", "[obj [object! map!] spec [block! hash! map!] /case]", 83);
    define_native("apply", std::string("[func [word! path! ") + (fn_types + 1) + " args [block!] /all /safer]", 107);
    test_native("endless", "[body [block!]]", 106, endless);
    action_word("make", "[type spec]", ACT_MAKE);
    operator_word("+", action_word("add", "[a b]", ACT_ADD));
    operator_word("/", action_word("divide", "[a b]", ACT_DIVIDE));
    routine_word("combine", "[a b]", combine_routine);
    routine_word("dec", "[n]", dec_routine);
    routine_word("zero", "[n]", zero_routine);
    routine_word("note", "[v]", note_routine);
  }
  cell action_word(const std::string& name, const std::string& spec, int32_t index) {
    cell proto{TYPE_ACTION, 0, 0, 0};
    cell made = code("[] " + std::to_string(index));
    cell spec_block = code(spec);
    *memory::head_of<cell>(memory::GET_BUFFER(&made)) = *memory::head_of<cell>(memory::GET_BUFFER(&spec_block));
    cell value = keep(*native::make_value(&proto, &made, TYPE_ACTION));
    stack::pop(1);
    cell w = global_word(TYPE_WORD, name);
    word::set(&w, value);
    return value;
  }
  void operator_word(const std::string& name, cell action) {
    action.header = TYPE_OP | TYPE_ACTION << 16;
    cell w = global_word(TYPE_WORD, name);
    word::set(&w, action);
  }
  void routine_word(const char* name, const std::string& spec, routine::routine_entry entry) {
    cell s = code(spec);
    s = *memory::head_of<cell>(memory::GET_BUFFER(&s));
    cell value = keep(*routine::push(name, &s, entry));
    stack::pop(1);
    cell w = global_word(TYPE_WORD, name);
    word::set(&w, value);
  }

  // The test code as the lexer loads it, kept.
  static cell source(const std::string& text) {
    cell block{};
    memory::root_guard rooted(&block);
    lexer::load_text(&block, text.data(), static_cast<int32_t>(text.size()));
    return keep(block);
  }
  // Evaluates source text; answers its result, kept.
  static cell run(const std::string& text) {
    cell block = source(text);
    cell* top = stack::top;
    std::optional<error_id> e = raised([&] { interpreter::eval_block(&block, false); });
    EXPECT_FALSE(e) << text << ": error " << e->category << "/" << e->index;
    if (e) return none::none_value;
    cell result = keep(stack::top[-1]);
    stack::top = top;
    return result;
  }
  static std::optional<error_id> run_raised(const std::string& text) {
    cell block = source(text);
    return raised([&] { interpreter::eval_block(&block, false); });
  }

  // The stacks as they stand, to compare after an evaluation.
  struct stacks {
    cell* arguments = stack::arguments;
    cell* top = stack::top;
    stack::call_frame* frame_top = stack::frame_top;
    bool operator==(const stacks& o) const {
      return arguments == o.arguments && top == o.top && frame_top == o.frame_top;
    }
  };
};

}  // namespace ixo::test
