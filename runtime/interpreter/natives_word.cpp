// The word and value natives. Word cells are written through (binding,
// setting) only where no allocation moves them: argument cells on the value
// stack, or locals under a root guard. Setting a word may run an object's
// change handler, so a block walked here is read again after each
// assignment. The multiple assignment of set is the iteration natives'
// set_many.
#include "runtime/interpreter/natives_word.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives_iteration.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::natives {

namespace {

using memory::root_guard;

// The cell at 1-based position i from the block's index, or none past its
// tail.
cell pick_cell(const cell* blk, int32_t i) {
  return i <= block::rs_length_q(blk) ? *block::rs_abs_at(blk, static_cast<int32_t>(blk->data1) + i - 1)
                                       : none::none_value;
}

cell field_word(int32_t symbol) { return cell{TYPE_WORD, 0, static_cast<uint32_t>(symbol), 0xFFFFFFFF}; }

// The context node a value binds into: a word's, an object's (any object
// type) or a function's. A word bound to nothing raises script/not-defined.
uint32_t context_of(const cell* target) {
  if (all_word_q(TYPE_OF(target)) && target->data1 == 0) fire(err::script_not_defined, {*target});
  return target->data1;
}

}  // namespace

void get(const int32_t* refinements) {
  bool any = refinements[0] >= 0;
  cell* target = stack::arguments;
  uint32_t t = TYPE_OF(target);
  if (any_path_q(t)) {
    cell path = *target;
    root_guard keep(&path);
    interpreter::eval_path(&path, &path, 0, 0,
                           interpreter::EVAL_GET | (refinements[1] >= 0 ? interpreter::EVAL_CASE : 0), nullptr);
    return;
  }
  if (t == TYPE_OBJECT) {
    cell field = field_word(words::sym_values);
    cell values = *actions::reflect(target, &field);
    stack::set_result(values);
    return;
  }
  cell value = *word::get_value(target);
  if (!any && TYPE_OF(&value) == TYPE_UNSET) fire(err::script_no_value, {*target});
  stack::set_result(value);
}

void set(const int32_t* refinements) {
  bool any = refinements[0] >= 0, case_ = refinements[1] >= 0;
  bool only = refinements[2] >= 0, some = refinements[3] >= 0;
  cell* target = stack::arguments;
  cell* value = stack::arguments + 1;
  if (!any && TYPE_OF(value) == TYPE_UNSET) fire(err::script_need_value, {*target});
  uint32_t t = TYPE_OF(target);
  if (t == TYPE_BLOCK) {
    stack::mark(words::word_anon, stack::FRAME_NATIVE);
    set_many(target, value, block::rs_length_q(target), any, only, some);
    stack::unroll();
  } else if (any_path_q(t)) {
    cell* path = stack::push(*target);
    interpreter::eval_path(path, path, 0, 0, interpreter::EVAL_SET | (case_ ? interpreter::EVAL_CASE : 0), value);
  } else if (t == TYPE_OBJECT) {
    object::set_values(target, value, any, only, some);
  } else {
    word::set(target, *value);
  }
  cell result = *value;
  stack::set_result(result);
}

void bind(const int32_t* refinements) {
  cell* target = stack::arguments;
  cell* context = stack::arguments + 1;
  uint32_t ctx = context_of(context);
  if (TYPE_OF(target) != TYPE_BLOCK) {
    context::bind_word(ctx, target);
    stack::keep();
    return;
  }
  root_guard keep_ctx(&ctx);
  cell* blk = refinements[0] >= 0 ? block::clone(target, true, true) : target;
  context::bind(blk, ctx, TYPE_OF(context) == TYPE_OBJECT);
  cell result = *blk;
  stack::set_result(result);
}

void in(const int32_t*) {
  cell* holder = stack::arguments;
  cell* word = stack::arguments + 1;
  uint32_t t = TYPE_OF(holder);
  uint32_t ctx = holder->data1;
  // A native, an action or an op over one keeps only a copy of its context
  // cell: the word is bound into a context made anew from the same spec.
  uint32_t wrapped = t == TYPE_OP ? holder->header >> 16 & 0xFF : t;
  if (wrapped == TYPE_NATIVE || wrapped == TYPE_ACTION) {
    cell spec{TYPE_BLOCK, 0, holder->data2, 0};
    ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
  }
  if (context::bind_word(ctx, word) < 0) {
    stack::set_result(none::none_value);
    return;
  }
  if (TYPE_OF(word) == TYPE_REFINEMENT) set_type(word, TYPE_WORD);
  cell result = *word;
  stack::set_result(result);
}

void value_q(const int32_t*) {
  const cell* w = stack::arguments;
  bool has = false;
  if (w->data1 != 0) {
    const cell* ctx = context::context_cell(w->data1);
    bool resolved = static_cast<int32_t>(w->data3) >= 0 || static_cast<int32_t>(w->data2) == words::sym_self;
    // A function's words have no values outside its call.
    bool running = !context::stack_q(ctx) || ctx->data2 != 0;
    has = resolved && running && TYPE_OF(word::get_value(w)) != TYPE_UNSET;
  }
  stack::set_result(logic::make_cell(has));
}

void unset(const int32_t*) {
  cell* target = stack::arguments;
  if (TYPE_OF(target) == TYPE_WORD) {
    word::set(target, ixo::unset::unset_value);
  } else {
    for (int32_t i = 1; i <= block::rs_length_q(target); ++i) {
      cell w = pick_cell(target, i);
      root_guard keep(&w);
      if (TYPE_OF(&w) == TYPE_WORD) word::set(&w, ixo::unset::unset_value);
    }
  }
  stack::set_result(ixo::unset::unset_value);
}

void context_q(const int32_t*) {
  const cell* w = stack::arguments;
  cell owner = w->data1 ? *context::owner_cell(w->data1) : none::none_value;
  // The global context belongs to no value.
  if (TYPE_OF(&owner) == TYPE_UNSET) owner = none::none_value;
  stack::set_result(owner);
}

}  // namespace ixo::natives
