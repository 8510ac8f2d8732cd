// Printing, reduce and compose. Every value these natives build or walk
// stays on the value stack while anything may allocate; block positions
// are absolute indexes, re-checked against the tail after each
// evaluation, since the code evaluated may change the block.
#include "runtime/interpreter/natives_print.hpp"

#include <algorithm>
#include <climits>
#include <optional>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/print_hooks.hpp"

namespace ixo::natives {

namespace {

using memory::root_guard;

using series::rs_abs_length_q;

// Adds one value to a target block: at its tail in append mode, else at
// its index, which moves past the value.
void add_value(cell* target, const cell* value, bool append) {
  if (append) block::rs_append(target, value);
  else block::insert_value(target, value, true, false);
}

// Reduces the value, into `out` when given, in a frame of its own; the
// result (the new block, the target, or the value evaluated) is left as the
// last pushed cell.
void reduce_value(const cell* given, const cell* out) {
  cell value = *given;
  root_guard keep_value(&value);
  bool is_block = TYPE_OF(&value) == TYPE_BLOCK;
  cell* source = is_block ? stack::push(value) : nullptr;
  stack::mark(words::word_body, stack::FRAME_NATIVE);

  cell* target = nullptr;
  bool append = true;
  int32_t old_tail = 0;
  if (out) {
    target = stack::push(*out);
    append = block::rs_tail_q(target);
    old_tail = rs_abs_length_q(target);
  } else if (is_block) {
    target = block::push_only(block::rs_length_q(source));
  }

  if (is_block) {
    for (int32_t pos = static_cast<int32_t>(source->data1); pos < rs_abs_length_q(source);) {
      stack::keep();
      pos = interpreter::eval_next(source, pos, rs_abs_length_q(source), false);
      cell* result = stack::top - 1;
      clear_new_line(result);
      add_value(target, result, append);
      stack::keep();
    }
  } else {
    cell result = value;
    root_guard keep_result(&result);
    if (!any_function_q(TYPE_OF(&value))) {
      cell* one = block::push_only(1);
      block::rs_append(one, &value);
      interpreter::eval_next(one, 0, 1, false);
      result = stack::top[-1];
    }
    if (target) {
      stack::keep();
      add_value(target, &result, append);
    } else {
      stack::set_result(result);
    }
  }

  if (out && append && rs_abs_length_q(target) > old_tail) {
    // The values went in behind the owner's back: report them as one insert.
    cell insert_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_insert), 0xFFFFFFFF};
    ownership::check(target, &insert_word, nullptr, old_tail, rs_abs_length_q(target) - old_tail);
  }
  stack::keep();
  stack::unwind();
}

// Composes the block into `into` (append mode at its tail, else insert
// mode) or a new block; the target is pushed and answered.
cell* compose_block(const cell* given, bool deep, bool only, const cell* into) {
  cell* source = stack::push(*given);
  cell* target;
  bool append = true;
  if (into) {
    target = stack::push(*into);
    append = block::rs_tail_q(target);
  } else {
    target = block::push_only(block::rs_length_q(source));
  }
  for (int32_t i = static_cast<int32_t>(source->data1); i < rs_abs_length_q(source); ++i) {
    cell* item = stack::push(*block::rs_abs_at(source, i));
    if (TYPE_OF(item) == TYPE_BLOCK && deep) {
      add_value(target, compose_block(item, true, only, nullptr), append);
    } else if (TYPE_OF(item) == TYPE_PAREN) {
      if (block::rs_length_q(item) > 0) {
        interpreter::eval_block(item, false);
        cell* result = stack::top - 1;
        if (TYPE_OF(result) == TYPE_UNSET) {
          // adds nothing
        } else if (only || TYPE_OF(result) != TYPE_BLOCK) {
          add_value(target, result, append);
        } else if (append) {
          block::rs_append_block(target, result);
        } else {
          block::insert_block(target, result);
        }
      }
    } else {
      add_value(target, item, append);
    }
    stack::top = item;
  }
  return target;
}

// Gives the spare room of buffer_blk back to whoever used it before: the
// cells from `length` on are cut and the index restored, on every way out.
struct buffer_restore {
  int32_t index = static_cast<int32_t>(buffer_blk->data1);
  int32_t length = rs_abs_length_q(buffer_blk);
  ~buffer_restore() {
    block::rs_truncate(buffer_blk, length);
    buffer_blk->data1 = static_cast<uint32_t>(index);
  }
};

}  // namespace

void print_value(const cell* given, bool newline) {
  cell* top = stack::top;
  cell* value = stack::push(*given);
  std::optional<buffer_restore> restore;
  if (TYPE_OF(value) == TYPE_BLOCK) {
    restore.emplace();
    buffer_blk->data1 = static_cast<uint32_t>(restore->length);
    reduce_value(value, buffer_blk);
    value = stack::top - 1;  // the buffer from the values reduced
  }
  if (TYPE_OF(value) != TYPE_STRING) {
    cell* text = stack::push_slot();
    string::rs_make_at(text, 64);
    actions::form(value, text, nullptr, INT_MAX);
    value = text;
  }
  print_hooks::run(value, newline);
  last_newline = newline;
  stack::top = top;
}

void print(const int32_t*) {
  print_value(stack::arguments, true);
  stack::set_result(unset::unset_value);
}

void prin(const int32_t*) {
  print_value(stack::arguments, false);
  stack::set_result(unset::unset_value);
}

void reduce(const int32_t* refinements) {
  const cell* out = refinements[0] >= 0 ? stack::arguments + refinements[0] : nullptr;
  reduce_value(stack::arguments, out);
  cell result = stack::top[-1];
  stack::set_result(result);
}

void compose(const int32_t* refinements) {
  const cell* into = refinements[2] >= 0 ? stack::arguments + refinements[2] : nullptr;
  cell result = *compose_block(stack::arguments, refinements[0] >= 0, refinements[1] >= 0, into);
  stack::set_result(result);
}

}  // namespace ixo::natives
