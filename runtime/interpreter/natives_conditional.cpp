// The conditional natives. Arguments lie from the argument base; a chosen
// block is evaluated with its last value as the result, which goes to the
// result slot. Errors and non-local exits in the blocks pass through.
#include "runtime/interpreter/natives_conditional.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/compiled.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::natives {

namespace {

using block::rs_abs_at;
using series::rs_abs_length_q;

// With shortcuts allowed, the value of a block that is one word holding a value
// that runs nothing, into *out: what evaluating the block would answer.
// False when the evaluator must take the block.
bool plain_value_q(const cell* block, cell* out) {
  if (!interpreter::shortcuts_q()) return false;
  int32_t pos = static_cast<int32_t>(block->data1);
  if (pos + 1 != rs_abs_length_q(block)) return false;
  const cell* c = rs_abs_at(block, pos);
  if (TYPE_OF(c) != TYPE_WORD) return false;
  const cell* value = context::peek(c);
  if (!value || TYPE_OF(value) == TYPE_UNSET || any_function_q(TYPE_OF(value))) return false;
  *out = *value;
  return true;
}

// A chosen block evaluated into the result slot. The conditional returns
// right after it, so an exit inside may travel as status (see pending_exit).
// A block of one word's value is answered as eval_block would leave it:
// pushed, and in the result slot.
void eval_branch(const cell* block) {
  cell value;
  if (plain_value_q(block, &value)) {
    stack::push(value);
    *stack::arguments = value;
    return;
  }
  interpreter::eval_branch(block);
}

// The argument block at `index` evaluated into the result slot.
void do_branch(int32_t index) { eval_branch(stack::arguments + index); }

void return_none() { stack::set_result(none::none_value); }

}  // namespace

void if_(const int32_t*) {
  if (logic::false_q()) return_none();
  else do_branch(1);
}

void unless(const int32_t*) {
  if (logic::false_q()) do_branch(1);
  else return_none();
}

void either(const int32_t*) { do_branch(logic::true_q() ? 1 : 2); }

void any(const int32_t*) {
  cell* conds = stack::push(stack::arguments[0]);
  for (int32_t pos = static_cast<int32_t>(conds->data1); pos < rs_abs_length_q(conds);) {
    stack::top = conds + 1;
    pos = interpreter::eval_next(conds, pos, rs_abs_length_q(conds), true);
    if (!logic::false_q()) return;
  }
  return_none();
}

void all(const int32_t*) {
  cell* conds = stack::push(stack::arguments[0]);
  int32_t pos = static_cast<int32_t>(conds->data1);
  if (pos >= rs_abs_length_q(conds)) return return_none();
  while (pos < rs_abs_length_q(conds)) {
    stack::top = conds + 1;
    pos = interpreter::eval_next(conds, pos, rs_abs_length_q(conds), true);
    if (logic::false_q()) return return_none();
  }
}

void switch_(const int32_t* refinements) {
  cell found = compiled::select_key(stack::arguments, stack::arguments + 1, true, true);
  if (TYPE_OF(&found) == TYPE_BLOCK) {
    stack::reset();
    eval_branch(&found);
  } else if (TYPE_OF(&found) == TYPE_NONE && refinements[0] >= 0) {
    do_branch(refinements[0]);
  } else {
    return_none();
  }
}

void case_(const int32_t* refinements) {
  bool all = refinements[0] >= 0;
  cell* cases = stack::push(stack::arguments[0]);
  stack::mark(words::word_anon, stack::FRAME_NATIVE);
  stack::set_result(none::none_value);
  bool found = false;
  int32_t pos = static_cast<int32_t>(cases->data1);
  while (pos < rs_abs_length_q(cases)) {
    if (all) found = false;
    stack::reset();
    pos = interpreter::eval_next(cases, pos, rs_abs_length_q(cases), true);
    if (pos >= rs_abs_length_q(cases)) {
      cell name{TYPE_WORD, context::global_ctx, static_cast<uint32_t>(words::sym_case),
                static_cast<uint32_t>(words::index_case)};
      fire(err::script_need_value, {name});
    }
    if (!logic::true_q()) {
      ++pos;  // the branch, whatever it is
      continue;
    }
    stack::reset();
    if (TYPE_OF(rs_abs_at(cases, pos)) == TYPE_BLOCK) {
      cell branch = *rs_abs_at(cases, pos++);
      interpreter::eval_block(&branch, true);
    } else {
      pos = interpreter::eval_next(cases, pos, rs_abs_length_q(cases), true);
    }
    if (!all) return stack::unwind_last();
    found = true;
  }
  if (!found) stack::set_result(none::none_value);
  stack::unwind_last();
}

}  // namespace ixo::natives
