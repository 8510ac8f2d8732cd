// The function makers and do. The makers leave the spec in argument cell 0
// and the body in cell 1 and share one ending: validate the spec, push the
// function, answer it. do evaluates in its own result slot; errors and
// non-local exits raised by what it evaluates pass through it, caught only
// when a trace started here must be stopped first.
#include "runtime/interpreter/natives_function.hpp"

#include <algorithm>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"

namespace ixo::natives {

using memory::root_guard;

namespace {

// An index past the tail is moved to the tail.
void clamp_index(cell* series) {
  uint32_t length = static_cast<uint32_t>(series::rs_abs_length_q(series));
  if (series->data1 > length) series->data1 = length;
}

// The function of the spec in argument cell 0 and the body in cell 1.
void make_function() {
  clamp_index(stack::arguments);
  clamp_index(stack::arguments + 1);
  uint32_t flags = function::validate(stack::arguments);
  function::push(stack::arguments, stack::arguments + 1, 0, flags);
  stack::set_result(stack::top[-1]);
}

// The value of a word of the global context, and the word.
cell global_value(const char* spelling, cell* word) {
  *word = *word::load(spelling);
  return *word::get_value(word);
}

// The preprocessor's expand on the block, which it changes in place.
void expand(const cell* block) {
  cell name{}, preprocessor{}, expander{};
  root_guard keep_name(&name), keep_preprocessor(&preprocessor), keep_expander(&expander);
  preprocessor = global_value("preprocessor", &name);
  if (TYPE_OF(&preprocessor) != TYPE_OBJECT) fire(err::script_no_value, {name});
  name = *word::load("expand");
  expander = *object::select_word(&preprocessor, &name);
  cell* top = stack::top;
  stack::push(*block);
  stack::push(none::none_value);
  stack::push(logic::false_value);
  interpreter::call_value(&expander, &name, 3, interpreter::CALLBACK_NONE);
  stack::top = top;
}

// Evaluates the block in argument cell 0 into the result slot: one
// expression with /next (the word at argument `next_at` gets the block at
// the position after it), else the whole block.
void do_block(bool expanding, int32_t next_at) {
  cell block = stack::arguments[0];
  root_guard keep_block(&block);
  clamp_index(&block);
  if (expanding) expand(&block);
  if (next_at < 0) {
    interpreter::eval_block(&block, true);
    return;
  }
  cell position = stack::arguments[next_at];
  root_guard keep_position(&position);
  int32_t pos = static_cast<int32_t>(block.data1);
  pos = interpreter::eval_next(&block, pos, series::rs_abs_length_q(&block), true);
  stack::keep();
  block.data1 = static_cast<uint32_t>(pos);
  word::set(&position, block);
}

// The boot library's do-file on the file or URL in argument cell 0, with
// the /args value (none without it).
void do_file(const cell& args) {
  cell name{}, runner{};
  root_guard keep_name(&name), keep_runner(&runner);
  runner = global_value("do-file", &name);
  if (TYPE_OF(&runner) == TYPE_UNSET) fire(err::script_no_value, {name});
  stack::push(stack::arguments[0]);
  stack::push(none::none_value);
  stack::push(args);
  interpreter::call_value(&runner, &name, 3, interpreter::CALLBACK_NONE);
  stack::set_result(stack::top[-1]);
}

// do's evaluation of argument cell 0 by its type.
void evaluate(bool expanding, int32_t args_at, int32_t next_at) {
  cell* value = stack::arguments;
  switch (TYPE_OF(value)) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
      do_block(expanding, next_at);
      break;
    case TYPE_STRING: {
      cell* text = stack::push(*value);
      lexer::load_string(value, text, -1, lexer::scan_mode{}, nullptr, nullptr, nullptr);
      stack::top = text;
      do_block(expanding, next_at);
      break;
    }
    case TYPE_FILE:
    case TYPE_URL:
      do_file(args_at >= 0 ? stack::arguments[args_at] : none::none_value);
      break;
    case TYPE_ERROR: {
      cell error = *value;
      root_guard keep_error(&error);
      stack::throw_error(&error);
    }
    default: {
      // One expression of the value alone: a word gives its value, a path
      // is walked, a function is called.
      cell single{};
      root_guard keep_single(&single);
      block::make_at(&single, 1);
      block::rs_append(&single, stack::arguments);
      interpreter::eval_expression(&single, 0, 1, interpreter::EVAL_RESULT);
      break;
    }
  }
}

}  // namespace

void func(const int32_t*) { make_function(); }

void function(const int32_t*) {
  clamp_index(stack::arguments);
  stack::top = stack::arguments + 2;
  stack::arguments[0] = *block::clone(stack::arguments, false, false);
  function::collect_locals(stack::arguments, stack::arguments + 1);
  stack::top = stack::arguments + 2;
  make_function();
}

void does(const int32_t*) {
  stack::top = stack::arguments + 1;
  stack::push(stack::arguments[0]);
  block::make_at(stack::arguments, 1);
  make_function();
}

void has(const int32_t*) {
  clamp_index(stack::arguments);
  stack::top = stack::arguments + 2;
  stack::arguments[0] = *block::clone(stack::arguments, false, false);
  block::insert_value(stack::arguments, refinements::local, false, true);
  stack::top = stack::arguments + 2;
  make_function();
}

void do_(const int32_t* refinements) {
  bool expanding = refinements[0] > 0;
  int32_t args_at = refinements[1], next_at = refinements[2], trace_at = refinements[3];
  bool tracing = trace_at >= 0 && !interpreter::trace_installed;
  if (!tracing) return evaluate(expanding, args_at, next_at);

  interpreter::start_trace(stack::arguments + trace_at);
  uint32_t code = catch_site(FILTER_FUNCTION, [&] { evaluate(expanding, args_at, next_at); });
  // The hook runs above the top: keep the result slot of wherever the
  // code left the stacks out of its way.
  cell* top = stack::top;
  stack::top = std::max(stack::top, stack::arguments + 1);
  interpreter::end_trace();
  stack::top = top;
  system::throw_code(code);
}

}  // namespace ixo::natives
