// Function calls: the call spec built once per function value, argument
// fetching with type checks, refinements from paths, the calls of natives,
// actions, routines and function! bodies, and the runtime hooks that run
// language functions for other modules.
//
// A call spec is a block cached in the second cell of the function's
// `more` block: per argument word a typeset! whose header bits 20-21 give
// the argument's kind; per refinement (not /local) a copy of it, holding
// for natives and actions its ordinal in payload word 3; then an integer!
// with the locals count when the spec has /local, and for natives and
// actions an integer! with the refinement count.
#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <new>
#include <stdexcept>

#include "runtime/core/sort_compare.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/function_plan.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/shortcuts.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::interpreter {

using memory::root_guard;

namespace {

// Argument kinds, bits 20-21 of a call-spec typeset's header.
constexpr uint32_t KIND_MASK = 0x300000;
constexpr uint32_t KIND_EVALUATED = 0;
constexpr uint32_t KIND_GET = 0x100000;
constexpr uint32_t KIND_LIT = 0x200000;
constexpr uint32_t KIND_RETURN = 0x300000;

// The most refinements a native or action spec may have.
constexpr int32_t MAX_REFINEMENTS = 32;

// The refinement ordinals a native or action gets when none is used.
constexpr std::array<int32_t, MAX_REFINEMENTS> no_refinements = [] {
  std::array<int32_t, MAX_REFINEMENTS> refs{};
  refs.fill(-1);
  return refs;
}();

// `more` cells: the body, the cached call spec, the routine's entry index.
constexpr int32_t MORE_BODY = 0;
constexpr int32_t MORE_CALL_SPEC = 1;
constexpr int32_t MORE_ENTRY = 2;

using block::rs_abs_at;
using series::rs_abs_length_q;

cell more_of(const cell* function) { return cell{TYPE_BLOCK, 0, function->data3, 0}; }

bool native_type_q(uint32_t t) { return t == TYPE_NATIVE || t == TYPE_ACTION; }
bool local_q(const cell* c) {
  return TYPE_OF(c) == TYPE_REFINEMENT && symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(refinements::local->data2));
}
bool argument_q(const cell* c) { return TYPE_OF(c) == TYPE_TYPESET && (c->header & KIND_MASK) != KIND_RETURN; }

// ---- Call specs --------------------------------------------------------------

uint32_t make_call_spec(const cell* function) {
  cell spec{TYPE_BLOCK, 0, function->data2, 0}, out{};
  root_guard keep_spec(&spec), keep_out(&out);
  bool native = native_type_q(TYPE_OF(function));
  int32_t length = rs_abs_length_q(&spec);
  block::make_at(&out, length + 2);
  int32_t ordinal = 0, locals = 0;
  for (int32_t i = 0; i < length; ++i) {
    cell c = *rs_abs_at(&spec, i);
    uint32_t t = TYPE_OF(&c);
    bool typed = i + 1 < length && TYPE_OF(rs_abs_at(&spec, i + 1)) == TYPE_BLOCK;
    if (argument_word_q(t) || t == TYPE_SET_WORD) {
      if (t == TYPE_SET_WORD && !symbol::EQUAL_WORDS_q(&c, words::sym_return))
        fire(err::script_bad_func_def, {c});
      cell types = typed ? *rs_abs_at(&spec, i + 1) : none::none_value;
      root_guard keep_types(&types);
      cell* ts = typed ? typeset::make_from_spec_in(&out, &types) : typeset::make_default_in(&out);
      ts->header = TYPE_TYPESET | (t == TYPE_GET_WORD   ? KIND_GET
                                   : t == TYPE_LIT_WORD ? KIND_LIT
                                   : t == TYPE_SET_WORD ? KIND_RETURN
                                                        : KIND_EVALUATED);
    } else if (t == TYPE_REFINEMENT) {
      if (local_q(&c)) {
        // /local and the words after it, up to a set-word, are the locals.
        locals = 1;
        while (i + 1 < length && TYPE_OF(rs_abs_at(&spec, i + 1)) != TYPE_SET_WORD) locals += TYPE_OF(rs_abs_at(&spec, ++i)) == TYPE_WORD;
        continue;
      }
      if (native) c.data3 = static_cast<uint32_t>(++ordinal);
      block::rs_append(&out, &c);
    }
  }
  if (ordinal > MAX_REFINEMENTS) fire(err::internal_limit_hit);
  if (locals > 0) {
    cell n{TYPE_INTEGER, 0, static_cast<uint32_t>(locals), 0};
    block::rs_append(&out, &n);
  }
  if (native) {
    cell n{TYPE_INTEGER, 0, static_cast<uint32_t>(ordinal), 0};
    block::rs_append(&out, &n);
  }
  cell more = more_of(function);
  *block::rs_abs_at(&more, MORE_CALL_SPEC) = out;
  return out.data2;
}

uint32_t call_spec_of(const cell* function) {
  cell more = more_of(function);
  const cell* cached = block::rs_abs_at(&more, MORE_CALL_SPEC);
  return TYPE_OF(cached) == TYPE_BLOCK ? cached->data2 : make_call_spec(function);
}

}  // namespace

// ---- Function plans --------------------------------------------------------------

function_plan function_plans[FUNCTION_PLANS];

namespace {

// The operator's part of a record, from the call spec's `n` entries at `spec`.
op_plan operator_plan(const cell* function, const cell* spec, int32_t n) {
  if (!native_type_q(TYPE_OF(function)) || n < 2) return no_op_plan;
  for (int32_t i = 0; i < 2; ++i)
    if (!argument_q(spec + i) || (spec[i].header & KIND_MASK) != KIND_EVALUATED) return no_op_plan;
  // After them only the return spec and the counts: no refinement.
  for (int32_t i = 2; i < n; ++i)
    if (argument_q(spec + i) || TYPE_OF(spec + i) == TYPE_REFINEMENT) return no_op_plan;
  op_plan plan{};
  plan.binary = true;
  plan.code = shortcut_code(function, plan.math);
  const uint32_t number_types[2] = {TYPE_INTEGER, TYPE_FLOAT};
  for (uint32_t l = 0; l < 2; ++l)
    for (uint32_t r = 0; r < 2; ++r)
      if (typeset::has_q(spec, number_types[l]) && typeset::has_q(spec + 1, number_types[r]))
        plan.fits |= static_cast<uint8_t>(1u << (l << 1 | r));
  return plan;
}

// The record made from the call spec whose node is `spec_node`.
const function_plan& plan_from(const cell* function, uint32_t spec_node) {
  function_plan& p = plan_entry(function);
  cell spec{TYPE_BLOCK, 0, spec_node, 0};
  int32_t n = rs_abs_length_q(&spec);
  bool native = native_type_q(TYPE_OF(function));
  p.more = function->data3;
  p.cycle = collector::series_cycle_count;
  p.count = n <= PLAN_ENTRIES ? n : PLAN_ENTRIES + 1;
  p.locals = 0;
  p.first_refinement = n;
  p.prefix_end = 0;
  p.plain_prefix = true;
  p.prefix_arguments = 0;
  for (int32_t i = 0; i < n; ++i) {
    const cell* c = rs_abs_at(&spec, i);
    if (i < PLAN_ENTRIES) p.entries[i] = *c;
    if (TYPE_OF(c) == TYPE_REFINEMENT && p.first_refinement == n) p.first_refinement = i;
    if (p.first_refinement == n && argument_q(c) && (c->header & KIND_MASK) != KIND_EVALUATED) p.plain_prefix = false;
    if (p.first_refinement == n && argument_q(c)) {
      p.prefix_end = i + 1;
      if (i < PLAN_ENTRIES) p.prefix_arguments |= static_cast<uint16_t>(1u << i);
    }
    if (TYPE_OF(c) == TYPE_INTEGER && !native && p.locals == 0) p.locals = static_cast<int32_t>(c->data2);
  }
  p.op = operator_plan(function, rs_abs_at(&spec, 0), n);
  return p;
}

}  // namespace

const function_plan& make_plan(const cell* function) { return plan_from(function, call_spec_of(function)); }

void build_native_call_specs() {
  const cell* ctx = context::context_cell(context::global_ctx);
  cell values{TYPE_BLOCK, 0, ctx->data2, 0};
  for (int32_t i = 0; i < rs_abs_length_q(&values); ++i) {
    // Building a call spec allocates: the value is read again each time,
    // and held in a rooted copy.
    cell function = *rs_abs_at(&values, i);
    if (TYPE_OF(&function) == TYPE_OP) function.header = op::wrapped_type(&function);
    if (!native_type_q(TYPE_OF(&function)) || function.data3 == 0) continue;
    memory::root_guard keep(&function);
    call_spec_of(&function);
  }
}

const function_plan* built_plan(const cell* function) {
  if (const function_plan* p = kept_plan(function)) return p;
  if (function->data3 == 0) return nullptr;
  cell more = more_of(function);
  const cell* cached = block::rs_abs_at(&more, MORE_CALL_SPEC);
  return TYPE_OF(cached) == TYPE_BLOCK ? &plan_from(function, cached->data2) : nullptr;
}

namespace {

// The spec word of call-spec entry `index`, as a word!, for error reports.
cell arg_word(const cell* function, int32_t index) {
  cell spec{TYPE_BLOCK, 0, function->data2, 0};
  int32_t n = 0;
  for (int32_t i = 0; i < rs_abs_length_q(&spec); ++i) {
    const cell* c = rs_abs_at(&spec, i);
    if (local_q(c)) break;
    if (!argument_word_q(TYPE_OF(c)) && TYPE_OF(c) != TYPE_SET_WORD && TYPE_OF(c) != TYPE_REFINEMENT) continue;
    if (n++ == index) {
      cell w = *c;
      w.header = TYPE_WORD;
      return w;
    }
  }
  return none::none_value;
}

// ---- Arguments ---------------------------------------------------------------

struct call {
  const cell* function;  // rooted copies
  const cell* name;
  const cell* block;
  int32_t pos;
  int32_t end;
  bool infix;
  bool single = false;  // each argument is exactly one value of the block
};

// The value a `call` event brings: the function, or for an operator the op!
// its word holds (the call runs the function the op wraps).
const cell* called_value(const call& k) {
  if (k.infix)
    if (const cell* op = context::peek(k.name); op && TYPE_OF(op) == TYPE_OP) return op;
  return k.function;
}

bool ended_q(const call& k) { return k.pos >= std::min(k.end, rs_abs_length_q(k.block)); }

void check_type(const call& k, const cell* ts, int32_t index, const cell* value) {
  if (!typeset::has_q(ts, TYPE_OF(value)))
    fire(err::script_expect_arg, {*k.name, datatype::make_cell(TYPE_OF(value)), arg_word(k.function, index)});
}

// Fetches the argument of call-spec entry `index` (typeset `ts`) onto the
// stack, unchecked.
void push_arg(call& k, const cell* ts, int32_t index) {
  uint32_t kind = ts->header & KIND_MASK;
  if (k.pos >= std::min(k.end, rs_abs_length_q(k.block))) {
    if (kind == KIND_LIT && typeset::has_q(ts, TYPE_UNSET)) {
      stack::push(unset::unset_value);
      return;
    }
    fire(err::script_no_arg, {*k.name, arg_word(k.function, index)});
  }
  if (kind == KIND_EVALUATED) {
    k.pos = eval_expression(k.block, k.pos, k.single ? std::min(k.end, k.pos + 1) : k.end,
                            EVAL_SUB | (k.infix ? EVAL_NO_INFIX : 0));
  } else {
    cell v = *rs_abs_at(k.block, k.pos);
    root_guard keep_v(&v);
    traced(EVENT_FETCH, k.block, k.pos, &v, &v);
    ++k.pos;
    if (kind == KIND_LIT && TYPE_OF(&v) == TYPE_PAREN) {
      stack::mark(words::word_anon, stack::FRAME_INTERP);
      eval_block(&v, false);
      stack::unwind();
    } else if (kind == KIND_LIT && TYPE_OF(&v) == TYPE_GET_WORD) {
      stack::push(*word::get_value(&v));
    } else if (kind == KIND_LIT && TYPE_OF(&v) == TYPE_GET_PATH) {
      eval_path(&v, k.block, k.pos, k.end, EVAL_SUB | EVAL_GET, nullptr);
    } else {
      stack::push(v);
    }
    traced(EVENT_PUSH, k.block, k.pos - 1, nullptr, stack::top - 1);
  }
}

// Fetches the argument of call-spec entry `index` onto the stack and
// checks its type.
void fetch_arg(call& k, const cell* ts, int32_t index) {
  push_arg(k, ts, index);
  check_type(k, ts, index, stack::top - 1);
}

// The value types an expression answers as they stand: no word, path,
// paren or function to run, no issue that may start a system block.
bool inert_q(uint32_t t) {
  switch (t) {
    case TYPE_PAREN: case TYPE_SET_WORD: case TYPE_SET_PATH: case TYPE_GET_WORD: case TYPE_LIT_WORD:
    case TYPE_WORD: case TYPE_PATH: case TYPE_GET_PATH: case TYPE_LIT_PATH: case TYPE_OP:
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: case TYPE_ISSUE:
      return false;
    default:
      return true;
  }
}

// A number with operators after it, fetched as the value of the number run
// from there, which is what the evaluator would compute; false when the
// evaluator must take it. `first` is the number at k.pos, or the value of
// the word there; `op` the op! the word after it holds. Out of line: the
// common fetch stays lean.
[[gnu::noinline]] bool fetch_number_run(call& k, const cell* ts, int32_t index, const cell* first, const cell* op) {
  int32_t limit = std::min(k.end, block::rs_abs_cells(k.block));
  cell result = *first;
  int32_t next = eval_number_run(k.block, k.pos, limit, &result, op);
  if (next < 0) return false;
  stack::push(result);
  k.pos = next;
  check_type(k, ts, index, stack::top - 1);
  return true;
}

// The value of an evaluated argument at `pos` as it stands, when it needs
// no evaluation of its own: a literal, or a word holding no function;
// else nullptr. `cells` is the block's head; `ahead`, when not nullptr, is
// the word's value cell, looked up by op_after_q for the argument before.
inline const cell* plain_value(const cell* cells, int32_t pos, const cell* ahead) {
  const cell* c = cells + pos;
  if (TYPE_OF(c) != TYPE_WORD) return inert_q(TYPE_OF(c)) ? c : nullptr;
  const cell* value = ahead ? ahead : word::get_value(c);
  return TYPE_OF(value) == TYPE_UNSET || any_function_q(TYPE_OF(value)) ? nullptr : value;
}

// Whether an operator's word stands at `pos`, before `limit`: the
// evaluator would take it as the infix step of the expression before it.
// The word's value cell is left in `ahead` (nullptr for no word or one
// that peek does not resolve): nothing runs before the next argument is
// fetched from there.
inline bool op_after_q(const cell* cells, int32_t pos, int32_t limit, const cell*& ahead) {
  ahead = nullptr;
  if (pos >= limit || TYPE_OF(cells + pos) != TYPE_WORD) return false;
  ahead = context::peek(cells + pos);
  return ahead && TYPE_OF(ahead) == TYPE_OP;
}

// Fetches an evaluated argument as fetch_arg does. With tracing off, a
// plain value with no operator after it is pushed as it stands: the
// evaluator would answer that same value; a number with operators after
// it is tried as a number run.
void fetch_evaluated(call& k, const cell* ts, int32_t index) {
  if (!shortcuts_q() || k.single) return fetch_arg(k, ts, index);
  // The block's buffer is read once: nothing below runs code.
  const memory::series_buffer* b = memory::GET_BUFFER(k.block);
  const cell* cells = memory::head_of<cell>(b);
  int32_t limit = std::min(k.end, static_cast<int32_t>((b->tail - b->head) / sizeof(cell)));
  if (k.pos < limit) {
    const cell* ahead = nullptr;
    const cell* value = plain_value(cells, k.pos, nullptr);
    if (value && (k.infix || !op_after_q(cells, k.pos + 1, limit, ahead))) {
      stack::push(*value);
      ++k.pos;
      check_type(k, ts, index, stack::top - 1);
      return;
    }
    // Here an operator follows the value: `ahead` holds it.
    if (value && integer_or_float_q(TYPE_OF(value)) && fetch_number_run(k, ts, index, value, ahead)) return;
  }
  fetch_arg(k, ts, index);
}

// The argument of a refinement that was not used: with `single` skipped
// unevaluated, else evaluated and dropped, whatever its type.
void skip_arg(call& k, const cell* ts, int32_t index) {
  if (ended_q(k)) return;
  if (k.single) {
    ++k.pos;
    return;
  }
  cell* top = stack::top;
  push_arg(k, ts, index);
  stack::top = top;
}

// An argument with an apply mode: the block's end gives none.
void fetch_or_none(call& k, const cell* ts, int32_t index, uint32_t mode) {
  if (mode != APPLY_NONE && ended_q(k)) stack::push(none::none_value);
  else fetch_arg(k, ts, index);
}

// Evaluates the next value of the block (one value with `single`) and
// answers it as a refinement's flag: it must be a logic!.
bool fetch_flag(call& k, int32_t index) {
  k.pos = eval_expression(k.block, k.pos, k.single ? std::min(k.end, k.pos + 1) : k.end, EVAL_SUB);
  const cell* flag = stack::top - 1;
  if (TYPE_OF(flag) != TYPE_LOGIC)
    fire(err::script_expect_arg, {*k.name, datatype::make_cell(TYPE_OF(flag)), arg_word(k.function, index)});
  return logic::get(flag) != 0;
}

// The call-spec entry of the refinement `element` names, among the `n`
// entries at `spec`; `slot` gets its frame slot in a function!'s frame (the
// arguments and refinements before it). None raises script/no-refine.
[[gnu::always_inline]] inline int32_t refinement_entry(const call& k, const cell* spec, int32_t n, const cell& element,
                                                       int32_t& slot) {
  for (int32_t i = 0; i < n; ++i) {
    const cell* c = spec + i;
    if (TYPE_OF(c) == TYPE_REFINEMENT &&
        (c->data2 == element.data2 || symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(element.data2))))
      return i;
    if (argument_q(c) || TYPE_OF(c) == TYPE_REFINEMENT) ++slot;
  }
  fire(err::script_no_refine, {*k.name, element});
}

// Whether a path element after a function's name uses its refinement: a
// word does, a get-word when its value is true; anything else raises
// script/bad-refine.
bool path_refinement_active(const cell* element) {
  if (TYPE_OF(element) == TYPE_GET_WORD) return logic::value_true_q(word::get_value(element), true, element);
  if (TYPE_OF(element) != TYPE_WORD) fire(err::script_bad_refine, {*element});
  return true;
}

// The frame cells of a function!'s refinements from call-spec entry
// `from` on, none of them used: false for each refinement, none for each
// of its arguments.
[[gnu::always_inline]] inline void push_unused_refinements(const cell* spec, int32_t from, int32_t n) {
  for (int32_t i = from; i < n; ++i) {
    if (argument_q(spec + i)) stack::push(none::none_value);
    else if (TYPE_OF(spec + i) == TYPE_REFINEMENT) stack::push(logic::false_value);
  }
}

// Uses the refinement that `element` (a word!, refinement! or get-word!)
// names among the `n` call-spec entries at `spec`, in a call whose other
// arguments are in its frame: when `active`, a native's `refs` note where
// its arguments start, or a function!'s flag is set; then its arguments
// are fetched (with an apply mode the block's end gives none), or skipped
// when it is not active. `source` is what the errors name. `refs` is null
// but for a native or action.
[[gnu::always_inline]] inline void use_refinement(call& k, const cell* spec, int32_t n, const cell& element,
                                                  bool active, const cell* source, int32_t* refs, uint32_t mode) {
  int32_t slot = 0;
  int32_t found = refinement_entry(k, spec, n, element, slot);
  if (refs) {
    int32_t ordinal = static_cast<int32_t>(spec[found].data3) - 1;
    if (active) {
      if (refs[ordinal] >= 0) fire(err::script_dup_refine, {*source});
      refs[ordinal] = static_cast<int32_t>(stack::top - stack::arguments);
    }
  } else {
    cell* flag = stack::arguments + slot;
    if (logic::get(flag)) fire(err::script_dup_refine, {*source});
    *flag = logic::make_cell(active);
  }
  for (int32_t i = found + 1; i < n && argument_q(spec + i); ++i) {
    cell ts = spec[i];
    if (!active) {
      skip_arg(k, &ts, i);
    } else {
      fetch_or_none(k, &ts, i, mode);
      if (!refs) stack::arguments[slot + i - found] = *--stack::top;
    }
  }
}

// The refinements a path names from its element `at` on, used in the
// path's order (see use_refinement).
[[gnu::always_inline]] inline void use_path_refinements(call& k, const cell* spec, int32_t n, const cell* path,
                                                        int32_t at, int32_t* refs, uint32_t mode) {
  int32_t length = rs_abs_length_q(path);
  for (int32_t j = at; j < length; ++j) {
    cell element = *rs_abs_at(path, j);
    root_guard keep_element(&element);
    bool active = path_refinement_active(&element);
    use_refinement(k, spec, n, element, active, path, refs, mode);
  }
}

// Fetches the arguments of the call into the current frame (see the file
// comment for the layout); for natives and actions fills `refs`. Answers
// the locals count of a function!.
//
// Refinements come from the path's elements from `refinement_at` on, or
// with an apply mode and no path from the block: as logic! values in spec
// order (APPLY_LOGIC, where an argument of an unused refinement is taken
// and dropped), or as refinement! values each followed by the expression
// that decides it and its arguments (APPLY_REFINEMENTS). With a mode the
// block's end gives none for every argument still missing.
int32_t fetch_args(call& k, const cell* path, int32_t refinement_at, int32_t* refs, uint32_t mode) {
  // The left operand of an operator is the first argument: it is taken
  // before anything else may push (building the call spec does).
  if (k.infix) ++stack::top;
  const function_plan& plan = plan_of(k.function);
  bool native = native_type_q(TYPE_OF(k.function));
  k.single = (mode & APPLY_SAFER) != 0;
  int32_t n = plan.count, locals = plan.locals;
  // The entries are copied out of the plan, which the arguments' evaluation
  // may replace by another function's.
  cell held[PLAN_ENTRIES];
  std::unique_ptr<cell[]> long_spec;
  const cell* spec = held;
  if (n <= PLAN_ENTRIES) {
    std::copy(plan.entries, plan.entries + n, held);
  } else {
    cell block{TYPE_BLOCK, 0, call_spec_of(k.function), 0};
    n = rs_abs_length_q(&block);
    long_spec.reset(new cell[static_cast<size_t>(n)]);
    std::copy(rs_abs_at(&block, 0), rs_abs_at(&block, 0) + n, long_spec.get());
    spec = long_spec.get();
  }
  bool flags_given = (mode & APPLY_LOGIC) != 0 && !path;
  bool taking = true, left = k.infix, refined = false;
  int32_t i = 0;
  if (plan.plain_prefix && mode == APPLY_NONE) {
    // The arguments before the first refinement, then the refinements as
    // not used (a function! gets false for each and none for their
    // arguments; a native learns of them by `refs`). A path's refinements
    // are then used below.
    int32_t first_refinement = plan.first_refinement;
    for (; i < first_refinement; ++i) {
      if (!argument_q(spec + i)) continue;
      if (left) {
        left = false;
        check_type(k, spec + i, i, stack::top - 1);
      } else {
        fetch_evaluated(k, spec + i, i);
      }
    }
    if (!native) push_unused_refinements(spec, i, n);
    if (!path) {
      if (tracing_on) fire_event(EVENT_CALL, k.block, k.pos, k.name, called_value(k));
      return locals;
    }
    i = n;
  }
  for (; i < n; ++i) {
    cell c = spec[i];
    if (argument_q(&c)) {
      if (!taking) {
        if (!native) stack::push(none::none_value);
        if (flags_given) skip_arg(k, &c, i);
      } else if (left) {
        left = false;
        check_type(k, &c, i, stack::top - 1);
      } else if (mode == APPLY_NONE && (c.header & KIND_MASK) == KIND_EVALUATED) {
        fetch_evaluated(k, &c, i);
      } else {
        fetch_or_none(k, &c, i, mode);
      }
    } else if (TYPE_OF(&c) == TYPE_REFINEMENT) {
      refined = true;
      bool fetched = flags_given && !ended_q(k);
      taking = fetched && fetch_flag(k, i);
      if (!fetched) {
        if (!native) stack::push(logic::false_value);
      } else if (native) {
        --stack::top;  // natives learn of their refinements by the integers
        if (taking) refs[c.data3 - 1] = static_cast<int32_t>(stack::top - stack::arguments);
      }
    }
  }

  int32_t* native_refs = native ? refs : nullptr;
  if (path) use_path_refinements(k, spec, n, path, refinement_at, native_refs, mode);
  if ((mode & APPLY_REFINEMENTS) != 0 && !path) {
    while (!ended_q(k)) {
      cell element = *rs_abs_at(k.block, k.pos);
      root_guard keep_element(&element);
      uint32_t t = TYPE_OF(&element);
      if (t != TYPE_REFINEMENT && t != TYPE_GET_WORD) {
        if (!refined) break;  // nothing could use what is left
        fire(err::script_bad_refine, {element});
      }
      ++k.pos;
      bool active;
      if (t == TYPE_GET_WORD) {
        active = logic::value_true_q(word::get_value(&element), true, &element);
      } else {
        if (ended_q(k)) fire(err::script_no_arg, {*k.name, element});
        k.pos = eval_expression(k.block, k.pos, k.single ? std::min(k.end, k.pos + 1) : k.end, EVAL_SUB);
        active = logic::value_true_q(--stack::top, true, &element);
      }
      use_refinement(k, spec, n, element, active, k.block, native_refs, mode);
    }
  }
  if (tracing_on) fire_event(EVENT_CALL, k.block, mode != APPLY_NONE ? -1 : k.pos, k.name, called_value(k));
  return locals;
}

// fetch_args for a call with no path, operator, apply mode or trace whose
// arguments before its first refinement are all evaluated, with the plan's
// entries read in place and the block's buffer read once for the values
// that need no evaluation: nothing runs meanwhile. After an argument that
// is evaluated, both are read again (the evaluation may have put another
// function's plan in the entry; this function's is the same when made
// again). Answers the plan as it stands after them; nullptr, with nothing
// done, for any other call spec, and with `whole` also for one that does
// not fit the plan.
[[gnu::always_inline]] inline const function_plan* fetch_plain_args(call& k, bool whole) {
  const function_plan* plan = &plan_of(k.function);
  int32_t first = plan->first_refinement;
  if (!plan->plain_prefix || first > PLAN_ENTRIES || (whole && plan->count > PLAN_ENTRIES)) return nullptr;
  const memory::series_buffer* b = memory::GET_BUFFER(k.block);
  int32_t limit = std::min(k.end, static_cast<int32_t>((b->tail - b->head) / sizeof(cell)));
  const cell* cells = memory::head_of<cell>(b);
  const cell* ahead = nullptr;
  for (uint32_t arguments = plan->prefix_arguments; arguments != 0; arguments &= arguments - 1) {
    int32_t i = std::countr_zero(arguments);
    const cell* ts = plan->entries + i;
    if (k.pos < limit) {
      const cell* value = plain_value(cells, k.pos, ahead);
      if (value && !op_after_q(cells, k.pos + 1, limit, ahead)) {
        stack::push(*value);
        ++k.pos;
        if (!typeset::has_q(ts, TYPE_OF(value))) check_type(k, ts, i, stack::top - 1);
        continue;
      }
      // With a value, an operator follows it: `ahead` holds it.
      if (value && integer_or_float_q(TYPE_OF(value)) && fetch_number_run(k, ts, i, value, ahead)) {
        ahead = nullptr;
        continue;
      }
    }
    cell held = *ts;
    fetch_arg(k, &held, i);
    ahead = nullptr;
    plan = &plan_of(k.function);
    b = memory::GET_BUFFER(k.block);
    limit = std::min(k.end, static_cast<int32_t>((b->tail - b->head) / sizeof(cell)));
    cells = memory::head_of<cell>(b);
  }
  return plan;
}

// fetch_plain_args for a function!, whose unused refinements then get
// false each and none for their arguments; answers its locals count, or -1
// with nothing done when the call spec does not fit the plan.
int32_t fetch_plain_function_args(call& k) {
  const function_plan* plan = fetch_plain_args(k, true);
  if (!plan) return -1;
  push_unused_refinements(plan->entries, plan->first_refinement, plan->count);
  return plan->locals;
}

// The refinements a path names from `at` on, for a function! whose plain
// arguments fetch_plain_function_args has fetched. The plan's entries are
// copied out: fetching an argument may put another function's plan in
// their table entry.
void use_plan_refinements(call& k, const cell* path, int32_t at) {
  const function_plan& plan = plan_of(k.function);
  int32_t n = plan.count;
  cell spec[PLAN_ENTRIES];
  std::copy(plan.entries, plan.entries + n, spec);
  use_path_refinements(k, spec, n, path, at, nullptr, APPLY_NONE);
}

// Runs the C++ body of a native, an action or a routine so that no C++
// exception but the runtime's own leaves it. The library's containers are
// the only other source, and only of allocation failures: bad_alloc (and
// bad_array_new_length), or length_error for a size past their limit.
// These raise internal/no-memory, as a failed allocation in the arena does.
template <class Body>
void run_native_body(Body&& body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    fire(err::internal_no_memory);
  } catch (const std::length_error&) {
    fire(err::internal_no_memory);
  }
}

// The entry of a native! or action! value; none raises internal/not-done.
void call_entry(const cell* function, const int32_t* refs) {
  int32_t n = static_cast<int32_t>(function->data1);
  natives::native_entry entry = nullptr;
  if (TYPE_OF(function) == TYPE_NATIVE) entry = natives::entry_of(n);
  else if (n >= 1 && n <= ACTION_COUNT) entry = actions::dispatchers[n];
  if (!entry) fire(err::internal_not_done);
  run_native_body([&] { entry(refs); });
}

// A routine runs on its argument cells from the argument base.
void call_routine(const cell* routine) {
  cell more = more_of(routine);
  routine::routine_entry entry = routine::entry_of(static_cast<int32_t>(block::rs_abs_at(&more, MORE_ENTRY)->data2));
  if (!entry) fire(err::internal_not_done);
  run_native_body(entry);
}

// Whether a function!'s body is a block; a call of one whose body is not
// answers unset, with no event.
bool block_body_q(const cell* function) {
  cell more = more_of(function);
  return TYPE_OF(block::rs_abs_at(&more, MORE_BODY)) == TYPE_BLOCK;
}

// The interpreted body of a function!, its context's values pointed at the
// frame. The body flag on the frame is where return and exit land.
// `function` is a rooted cell: the body may collect, and a collection that
// moves the context's node or the body's rewrites the cell, from which
// both are read again.
void run_body(const cell* function, const cell* reference) {
  struct restore {
    const cell* function;
    uint32_t values;
    bool tracing;
    ~restore() {
      context::context_cell(function->data1)->data2 = values;
      tracing_on = tracing;
    }
  } restored{function, context::context_cell(function->data1)->data2, tracing_on};
  context::context_cell(function->data1)->data2 = memory::offset_of(stack::arguments);
  stack::call_frame* frame = stack::frame_top - 1;
  frame->header |= stack::FRAME_BODY_FLAG << 24;
  if (function->header & function::FLAG_TRACE) tracing_on = trace_installed;
  if (function->header & function::FLAG_NO_TRACE) tracing_on = false;
  traced(EVENT_PROLOG, nullptr, -1, reference, function);
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    // eval_body roots its own copy of the block before anything collects.
    cell more = more_of(function);
    cell body = *block::rs_abs_at(&more, MORE_BODY);
    eval_body(&body);
  });
  if (code == 0 && stack::pending_exit) code = stack::take_pending_exit();
  traced(EVENT_EPILOG, nullptr, -1, reference, stack::arguments);
  if (code == 0 || code == THROW_RETURN || code == THROW_EXIT) {
    // return and exit have put their value in the frame's result slot.
    frame->header &= ~(stack::FRAME_BODY_FLAG << 24);
    stack::keep();
    system::clear_thrown();
    return;
  }
  // The trace hook has run a function of its own meanwhile, which cleared
  // the thrown field: the code goes on from here.
  system::throw_code(code);
}

// The function! of a call_function, rooted there, on the arguments it has
// fetched: exec_function's work for a call that is no callback.
void run_function(const cell* function, const cell* reference) {
  if (block_body_q(function)) run_body(function, reference);
  else stack::set_result(unset::unset_value);
}

}  // namespace

void check_binary_arg(const cell* function, const cell* name, int32_t index) {
  cell more = more_of(function);
  const cell* spec = block::rs_abs_at(&more, MORE_CALL_SPEC);
  call k{function, name, spec, 0, 0, true};
  check_type(k, rs_abs_at(spec, index), index, stack::arguments + index);
}

void call_binary_entry(const cell* function) { call_entry(function, no_refinements.data()); }

// ---- Calls ---------------------------------------------------------------------

namespace {

// A prefix call's last step: its result, the last pushed cell, moves down
// over the function cell pushed below its frame (`slot`).
inline void drop_function_cell(cell* slot) {
  *slot = slot[1];
  stack::top = slot + 1;
}

}  // namespace

int32_t call_function(const cell* given, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                      const cell* path, int32_t refinement_at, const cell* given_name, uint32_t mode) {
  const bool sub = flags & EVAL_SUB, infix = flags & EVAL_INFIX;
  const cell* word_name = given_name && TYPE_OF(given_name) == TYPE_WORD ? given_name : words::word_anon;
  if (native_type_q(TYPE_OF(given)) && shortcuts_q() && !path && !infix && mode == APPLY_NONE)
    return call_native(given, word_name, block, pos, end, sub);
  cell held[2] = {*given, *word_name};
  memory::root_pair_guard keep(held);
  cell &function = held[0], &name = held[1];
  if (tracing_on) {
    // The left operand of an operator stays out of the hook's way. The
    // event's value is the name the call goes by; `call` brings the function.
    if (infix) ++stack::top;
    fire_event(EVENT_OPEN, block, pos, &name, &name);
    if (infix) --stack::top;
  }
  cell* slot = infix ? nullptr : stack::push(function);
  call k{&function, &name, block, pos, end, infix};
  switch (TYPE_OF(&function)) {
    case TYPE_NATIVE:
    case TYPE_ACTION: {
      int32_t refs[MAX_REFINEMENTS];
      std::fill(refs, refs + MAX_REFINEMENTS, -1);
      stack::mark(&name, stack::FRAME_INTERP);
      // A plain call with no apply mode went to call_native above.
      fetch_args(k, path, refinement_at, refs, mode);
      if (!path && !infix && shortcuts_q()) stack::set_frame_mark(stack::frame_top - 1, stack::MARK_PLAIN_CALL);
      call_entry(&function, refs);
      break;
    }
    case TYPE_ROUTINE:
      stack::mark(&name, stack::FRAME_INTERP);
      fetch_args(k, path, refinement_at, nullptr, mode);
      call_routine(&function);
      break;
    case TYPE_FUNCTION: {
      stack::mark(&name, stack::FRAME_INTERP_CALL);
      bool plain = !infix && shortcuts_q() && mode == APPLY_NONE;
      int32_t locals = plain ? fetch_plain_function_args(k) : -1;
      if (locals < 0) locals = fetch_args(k, path, refinement_at, nullptr, mode);
      else if (path) use_plan_refinements(k, path, refinement_at);
      if (locals > 0) function::init_locals(locals);
      run_function(&function, &name);
      break;
    }
    default:
      NO_SWITCH_MATCH();
  }
  if (stack::pending_exit) return k.pos;  // the stacks stand where the exit put them
  stack::close(sub);
  traced(EVENT_RETURN, block, k.pos, &name, stack::top - 1);
  if (slot) drop_function_cell(slot);
  return k.pos;
}

int32_t call_native(const cell* given, const cell* given_name, const cell* block, int32_t pos, int32_t end, bool sub) {
  if (!shortcuts_q())
    return call_function(given, block, pos, end, sub ? EVAL_SUB : EVAL_RESULT, nullptr, 0, given_name);
  cell held[2] = {*given, *given_name};
  memory::root_pair_guard keep(held);
  cell* slot = stack::push(held[0]);
  call k{&held[0], &held[1], block, pos, end, false};
  stack::mark(&held[1], stack::FRAME_INTERP);
  // A call whose arguments fetch_plain_args takes uses no refinement.
  int32_t refs[MAX_REFINEMENTS];
  const int32_t* used = no_refinements.data();
  if (!fetch_plain_args(k, false)) {
    std::fill(refs, refs + MAX_REFINEMENTS, -1);
    fetch_args(k, nullptr, 0, refs, APPLY_NONE);
    used = refs;
  }
  stack::set_frame_mark(stack::frame_top - 1, stack::MARK_PLAIN_CALL);
  call_entry(&held[0], used);
  if (stack::pending_exit) return k.pos;  // the stacks stand where the exit put them
  stack::close(sub);
  drop_function_cell(slot);
  return k.pos;
}

// The callback kinds the trace hook looks inside: system/state/callbacks/
// bits, whose bits are the callback_kind values. Fields are taken by
// position; before the system object exists, or when a field on the way
// holds something else, no kind is traced.
namespace {
uint32_t traced_callbacks() {
  constexpr int32_t SYSTEM_STATE = 5, STATE_CALLBACKS = 4, CALLBACKS_BITS = 6;
  const cell* value = object::system_field({SYSTEM_STATE, STATE_CALLBACKS, CALLBACKS_BITS});
  return value && TYPE_OF(value) == TYPE_INTEGER ? value->data2 : 0;
}
}  // namespace

void exec_function(const cell* given, const cell* reference, uint32_t callback) {
  struct restore {
    bool tracing = tracing_on;
    ~restore() { tracing_on = tracing; }
  } restored;
  // The trace hook looks inside functions the runtime runs for itself only
  // for the kinds system/state/callbacks asks for.
  if (callback != CALLBACK_NONE && (traced_callbacks() & callback) == 0) tracing_on = false;
  cell function = *given;
  root_guard keep_function(&function);
  run_function(&function, reference);
}

void call_value(const cell* given, const cell* given_name, int32_t count, uint32_t callback) {
  cell function = *given, name = *given_name;
  root_guard keep_function(&function), keep_name(&name);
  uint32_t type = TYPE_OF(&function);
  bool native = native_type_q(type);
  if (!native && type != TYPE_FUNCTION && type != TYPE_ROUTINE) fire(err::script_invalid_arg, {function});
  cell* base = stack::top - count;
  stack::top = base;
  if (type == TYPE_FUNCTION) stack::mark_func(&name, function.data1);
  else stack::mark(&name, stack::FRAME_NATIVE);
  stack::top = base + count;

  cell spec{TYPE_BLOCK, 0, call_spec_of(&function), 0};
  root_guard keep_spec(&spec);
  call k{&function, &name, &spec, 0, 0, false};
  int32_t refs[MAX_REFINEMENTS];
  std::fill(refs, refs + MAX_REFINEMENTS, -1);
  int32_t given_count = 0;
  // A change handler written in the language takes the values as they are:
  // a field assigned for the first time, while an object is made from a
  // prototype with handlers, has the old value unset.
  bool unchecked = type == TYPE_FUNCTION && (callback == CALLBACK_CHANGE || callback == CALLBACK_DEEP_CHANGE);
  // Nothing below allocates: the spec's cells stay where they are.
  const cell* entries = rs_abs_at(&spec, 0);
  int32_t n = rs_abs_length_q(&spec), i = 0;
  for (; i < n && TYPE_OF(entries + i) != TYPE_REFINEMENT; ++i) {
    if (!argument_q(entries + i)) continue;
    if (given_count >= count) fire(err::script_no_arg, {name, arg_word(&function, i)});
    if (unchecked) ++given_count;
    else check_type(k, entries + i, i, base + given_count++);
  }
  stack::top = base + given_count;  // cells beyond the arguments are dropped
  if (!native) push_unused_refinements(entries, i, n);
  if (native) {
    call_entry(&function, refs);
  } else {
    int32_t locals = plan_of(&function).locals;
    if (locals > 0) function::init_locals(locals);
    if (type == TYPE_ROUTINE) call_routine(&function);
    else exec_function(&function, &name, callback);
  }
  stack::unwind();
}

// ---- Hooks of other modules ------------------------------------------------------

void install_hooks() {
  std::fill(std::begin(function_plans), std::end(function_plans), function_plan{});  // a restarted runtime reuses nodes
  frame_misses = paren_misses = shortcut_misses{};
  object::call_handler = [](const cell* handler, const cell* name, const cell* args, int32_t count, int32_t) {
    cell* top = stack::top;
    for (int32_t i = 0; i < count; ++i) stack::push(args[i]);
    bool deep = words::word_on_change && name->data2 != words::word_on_change->data2;
    call_value(handler, name, count, deep ? CALLBACK_DEEP_CHANGE : CALLBACK_CHANGE);
    stack::top = top;
  };
  object::eval_block = [](cell* block) {
    cell* top = stack::top;
    eval_block(block, false);
    stack::top = top;
  };
  sort::call_function = [](const cell* function) {
    call_value(function, words::word_compare_callback, 2, CALLBACK_SORT);
  };
  // The five event arguments stay where they were pushed: the callee's
  // input argument is read back from the second of them.
  lexer::call_trace = [](const cell* callback, cell* arguments) {
    stack::top = arguments + 5;
    call_value(callback, words::word_lexer_callback, 5, CALLBACK_LEXER);
    return logic::value_true_q(arguments, false, nullptr);
  };
}

}  // namespace ixo::interpreter
