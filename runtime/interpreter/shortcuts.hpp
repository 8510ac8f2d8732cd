// The evaluator's shortcuts: the computations that stand in for the
// general route (evaluator.cpp and call.cpp) where they give the same
// answer without calling anything, allocating or raising. Each is a guard
// in front of the general function its caller falls into when it answers
// no: the infix operators' shortcut (infix_shortcut, before binary_call and
// call_function), number runs (before evaluating an expression, a paren or
// a call's argument) and frameless statements (before a block's frame).
// The operators' decisions are kept in the function's record
// (function_plan.hpp). The hot parts
// are inline here; the rest is shortcuts.cpp's. None of them runs with
// tracing on or the general route asked for (interpreter::shortcuts_q).
#pragma once
#include <cstdint>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/function_plan.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"

namespace ixo::interpreter {

// The head word of a path of two words, or nullptr.
inline const cell* two_word_head(const cell* path) {
  int32_t first = static_cast<int32_t>(path->data1);
  if (block::rs_abs_cells(path) - first != 2) return nullptr;
  const cell* head = block::rs_abs_at(path, first);
  return TYPE_OF(head) == TYPE_WORD && TYPE_OF(head + 1) == TYPE_WORD ? head : nullptr;
}

// The field that such a path, its head word holding `obj`, reads.
inline const cell* field_after(const cell* head, const cell* obj) {
  if (!obj || TYPE_OF(obj) != TYPE_OBJECT) return nullptr;
  return object::field_of(obj, head + 1);
}

// The field that a path of two words reads from the object its head word
// holds, for the infix look-ahead: nullptr when the walk must decide, never
// raising.
inline const cell* peek_field(const cell* path) {
  const cell* head = two_word_head(path);
  return head ? field_after(head, context::peek(head)) : nullptr;
}

// ---- Infix shortcuts ----
// An operator over the add, subtract, multiply, divide or remainder action, or over
// one of the comparison natives but same?, between two integer! or float!
// operands is computed here, with the results of the full call and no call
// machinery, whenever that cannot raise an error. The right operand must
// be what the full call would fetch with nothing to evaluate: a literal
// number, a word whose value is one, a path of two words reading an
// object's field that holds one, or a paren of a number run (below).

// The integer-core math code (`math` set) or the compare code that a
// native's or action's operator stands for; -1 for none.
int8_t shortcut_code(const cell* function, bool& math);

// op_plan_of's work when the record is not kept.
op_plan make_op_plan(cell* function);
// op_plan_of_op's work when the record is not kept.
op_plan built_op_plan(const cell* op_value);

// The operator's part of the record of a function value (a copy:
// evaluating an operand may take the table entry for another function),
// making the record when it is not kept: `function` is rooted meanwhile,
// and the left operand at the top's position kept.
inline op_plan op_plan_of(cell* function) {
  if (const function_plan* p = kept_plan(function)) return p->op;
  return make_op_plan(function);
}

// The same for an op! value, allocating nothing: no_op_plan when the call
// spec of its native or action is not built yet.
inline op_plan op_plan_of_op(const cell* op_value) {
  if (const function_plan* p = kept_plan(op_value)) return p->op;
  return built_op_plan(op_value);
}

// The `fits` bit of two operand types, or 0 when either is not an integer!
// or float!.
static_assert(TYPE_FLOAT == TYPE_INTEGER + 1, "fit_bit reads the float flag off the type code");
inline uint8_t fit_bit(uint32_t left, uint32_t right) {
  uint32_t l = left - TYPE_INTEGER, r = right - TYPE_INTEGER;
  if ((l | r) > 1) return 0;
  return static_cast<uint8_t>(1u << (l << 1 | r));
}
// Whether the plan's first typeset takes the left operand's type.
inline bool left_fits_q(const op_plan& plan, uint32_t left) {
  if (!integer_or_float_q(left)) return false;
  return (plan.fits >> ((left == TYPE_FLOAT) << 1) & 3) != 0;
}

// ---- Number runs ----
// An operand and the operators after it, where every operand is a number,
// a word or two-word object path holding one, or a paren of such a run,
// and every operator one the shortcut computes, has its value computed
// here without evaluating it: nothing is read that the evaluation would
// not read, nothing is called, allocated or raised, and any step the
// shortcut cannot take leaves the whole run to the evaluator, which then
// starts from the beginning as if nothing had been tried.

constexpr int32_t NUMBER_PAREN_DEPTH = 8;

// Word reads within one run: nothing allocates meanwhile, so the value
// cells of the context read last stay where they are and its next words
// are read from there.
struct run_reader {
  uint32_t ctx = UINT32_MAX;
  const cell* values = nullptr;
  // The context whose slots frameless set-words have been found to take
  // with a plain store (context::plain_slot): nothing runs meanwhile to
  // change that.
  uint32_t plain_ctx = UINT32_MAX;
  const cell* peek(const cell* word) {
    int32_t index = static_cast<int32_t>(word->data3);
    if (word->data1 == ctx && index >= 0) return values + index;
    const cell* value = context::peek(word);
    if (value) {
      ctx = word->data1;
      values = value - index;
    }
    return value;
  }
  // peek_field with the head word read as above.
  const cell* peek_field(const cell* path) {
    const cell* head = two_word_head(path);
    return head ? field_after(head, peek(head)) : nullptr;
  }
};

inline int32_t run_from(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out, int32_t depth);
// Where a run's steps start: at its first operand, at the operator word
// after it, or at that word with its op! value already read.
enum class run_start { operand, operator_word, op_known };
template <run_start Start>
int32_t run_steps(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out, int32_t depth,
                  const cell* op_value = nullptr);

// A paren operand: its whole content one number run.
bool paren_run(run_reader& reader, const cell* paren, cell* out, int32_t depth);
// paren_run for a paren whose first operand, a word's number, is in *out.
bool paren_rest(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out, int32_t depth);

// paren_run with a first word looked at first: a paren that starts with a
// word holding no number (mostly a call) is turned away at little cost.
[[gnu::always_inline]] inline bool paren_front(run_reader& reader, const cell* paren, cell* out, int32_t depth) {
  if (depth >= NUMBER_PAREN_DEPTH) return false;
  const memory::series_buffer* b = memory::GET_BUFFER(paren);
  const cell* cells = memory::head_of<cell>(b);
  int32_t pos = static_cast<int32_t>(paren->data1);
  int32_t end = static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
  if (pos >= end || TYPE_OF(cells + pos) != TYPE_WORD) return paren_run(reader, paren, out, depth);
  const cell* value = reader.peek(cells + pos);
  if (!value || !integer_or_float_q(TYPE_OF(value))) return false;
  *out = *value;
  return paren_rest(reader, cells, pos + 1, end, out, depth);
}

// The number an operand that is no paren stands for: the operand itself,
// or its word's or path's value; nullptr when that is no number.
[[gnu::always_inline]] inline const cell* plain_operand(run_reader& reader, const cell* at) {
  const cell* value;
  switch (TYPE_OF(at)) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: return at;
    case TYPE_WORD: value = reader.peek(at); break;
    case TYPE_PATH: value = reader.peek_field(at); break;
    default: return nullptr;
  }
  return value && integer_or_float_q(TYPE_OF(value)) ? value : nullptr;
}

// The run from `pos` in a block's cells, `end` at most the block's length:
// its value in *out and the position after it (where the next cell is no
// operator word, as the evaluator's look-ahead sees it), or -1 when the
// evaluator must take it. Nothing here allocates, so the cells and the
// reader may serve a block's consecutive runs. The first operand is looked
// at in line: most statements and parens that are no run (a call, a
// string...) are told apart by it at little cost.
[[gnu::always_inline]] inline int32_t run_from(run_reader& reader, const cell* cells, int32_t pos, int32_t end,
                                               cell* out, int32_t depth) {
  if (pos >= end) return -1;
  const cell* at = cells + pos;
  const cell* value = plain_operand(reader, at);
  if (!value) return TYPE_OF(at) == TYPE_PAREN ? run_steps<run_start::operand>(reader, cells, pos, end, out, depth) : -1;
  *out = *value;
  return run_steps<run_start::operator_word>(reader, cells, pos + 1, end, out, depth);
}

inline int32_t number_run(const cell* block, int32_t pos, int32_t end, cell* out, int32_t depth) {
  run_reader reader;
  return run_from(reader, block::rs_abs_at(block, 0), pos, end, out, depth);
}

// Places in code found where a shortcut did not apply, by block node and
// position: a statement that needs a frame, a paren that is no number run.
// Most such places are calls, met again each time a body, branch or
// expression runs; looking them up costs less than reading their words
// again. An entry stands for the collector cycle it was made in (nodes are
// reused after one). A stale answer only leaves the code to the
// evaluator, which gives the same results.
struct shortcut_misses {
  struct entry {
    uint32_t node;
    int32_t pos;
    uint32_t cycle;
  };
  static constexpr uint32_t SIZE = 64;
  entry entries[SIZE];

  entry& at(uint32_t node, int32_t pos) { return entries[(node >> 2 ^ static_cast<uint32_t>(pos)) & (SIZE - 1)]; }
  bool has_q(uint32_t node, int32_t pos) {
    const entry& e = at(node, pos);
    return e.node == node && e.pos == pos && e.cycle == collector::series_cycle_count;
  }
  void add(uint32_t node, int32_t pos) { at(node, pos) = {node, pos, collector::series_cycle_count}; }
};
extern shortcut_misses frame_misses, paren_misses;

// A paren that is one whole number run. The parens asked here hold a call
// more often than not: the first word is looked at in line.
inline bool number_paren(const cell* paren, cell* out) {
  if (paren_misses.has_q(paren->data2, static_cast<int32_t>(paren->data1))) return false;
  run_reader reader;
  if (paren_front(reader, paren, out, 0)) return true;
  paren_misses.add(paren->data2, static_cast<int32_t>(paren->data1));
  return false;
}

// infix_shortcut with a number paren for the right operand, out of its line.
bool paren_shortcut(const op_plan& plan, const cell* paren);

// Computes `left op right` into the cell at the top's position (the left
// operand) when the shortcut applies and answers true; the top is then
// above the result, as after the full call. `pos` is the right operand's
// position, inside the block. A word's or path's value is the operand as
// it stands: a paren or path held there is data, not evaluated.
[[gnu::flatten]] inline bool infix_shortcut(const op_plan& plan, const cell* block, int32_t pos) {
  const cell* right = block::rs_abs_at(block, pos);
  switch (TYPE_OF(right)) {
    case TYPE_WORD: right = context::peek(right); break;
    case TYPE_PATH: right = peek_field(right); break;
    case TYPE_PAREN: return paren_shortcut(plan, right);
    default: break;
  }
  if (!right) return false;
  cell* left = stack::top;
  cell result;
  if (!(plan.fits & fit_bit(TYPE_OF(left), TYPE_OF(right))) ||
      !actions::number_op(plan.code, plan.math, left, right, &result))
    return false;
  stack::push(result);
  return true;
}

// ---- Frameless statements ----
// A statement that is a number run, or a set-word or a set-path of two
// words whose head holds an object followed by one, is done here with no
// frame, root or stack cell: nothing in it can raise, allocate or run
// code, so nothing can tell. The set-word must take set_fast's plain store
// and the set-path's object must have the field and no change handlers;
// anything else is left to the evaluator, with nothing done.

// Stores the value in the field that a set-path of two words names, when
// the object its head word holds has the field and no handlers; answers
// whether it did.
inline bool store_field_plain(run_reader& reader, const cell* path, const cell& value) {
  const cell* head = two_word_head(path);
  if (!head) return false;
  const cell* obj = reader.peek(head);
  return obj && TYPE_OF(obj) == TYPE_OBJECT && object::store_field(obj, head + 1, value);
}

// The statement at `pos` (before `end`, at most the block's length): its
// value in *out and the position after it, or -1. The reader may serve a
// block's consecutive frameless statements, which allocate nothing.
[[gnu::always_inline]] inline int32_t frameless_step(run_reader& reader, const cell* cells, int32_t pos,
                                                     int32_t end, cell* out) {
  const cell* at = cells + pos;
  switch (TYPE_OF(at)) {
    case TYPE_SET_WORD: {
      int32_t index = static_cast<int32_t>(at->data3);
      cell* slot;
      if (at->data1 == reader.plain_ctx && at->data1 == reader.ctx && index >= 0) {
        slot = const_cast<cell*>(reader.values) + index;
      } else {
        slot = context::plain_slot(at, at->data1);
        if (!slot) return -1;
        reader.plain_ctx = reader.ctx = at->data1;
        reader.values = slot - index;
      }
      int32_t after = run_from(reader, cells, pos + 1, end, out, 0);
      if (after >= 0) *slot = *out;
      return after;
    }
    case TYPE_SET_PATH: {
      int32_t after = run_from(reader, cells, pos + 1, end, out, 0);
      return after >= 0 && store_field_plain(reader, at, *out) ? after : -1;
    }
    default:
      return run_from(reader, cells, pos, end, out, 0);
  }
}

// A number run evaluated without a frame: its value is pushed as the
// expression's would be, and with `keep` also goes to the result slot.
inline void push_run_value(const cell& value, bool keep) {
  stack::push(value);
  if (keep) *stack::arguments = value;
}

// The block's frameless statements from `pos`, before `end`: -1 when they
// were all of it, the last one's value pushed as an expression's would be;
// else the position of the first statement that needs a frame. A block
// made of nothing else needs no frame at all.
[[gnu::always_inline]] inline int32_t frameless_statements(const cell* block, int32_t pos, int32_t end, bool keep) {
  if (frame_misses.has_q(block->data2, pos)) return pos;
  cell value;
  run_reader reader;
  const cell* cells = block::rs_abs_at(block, 0);
  const int32_t start = pos;
  for (int32_t after; pos < end && (after = frameless_step(reader, cells, pos, end, &value)) >= 0;) {
    pos = after;
    if (pos < end) continue;
    stack::body_mark = stack::MARK_NONE;
    push_run_value(value, keep);
    return -1;
  }
  if (pos == start && pos < end) frame_misses.add(block->data2, start);
  return pos;
}

// With shortcuts allowed: the value of the number run from `pos` (an
// operand and the operators after it, each operand a number or a word,
// object field or paren holding one, each operator one the infix shortcut
// computes) into *out and the position after it, `end` at most the
// block's length. The first operand is a number or a word holding one,
// and *out holds that number on entry; the word after it holds the op!
// `op`. -1 when the evaluator must take the expression; nothing is run,
// allocated or raised either way.
int32_t eval_number_run(const cell* block, int32_t pos, int32_t end, cell* out, const cell* op);

}  // namespace ixo::interpreter
