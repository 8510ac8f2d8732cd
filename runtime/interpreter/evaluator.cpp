// The evaluator: blocks expression by expression, each expression by the
// type of its first value, infix operators chained left to right, paths
// element by element, and the trace hook's events. Calls are call.cpp's.
//
// Positions are series indexes and cells are re-read after anything that
// may allocate; the block being evaluated is rooted for the whole block.
#include <algorithm>

#include "platform/posix/bindings.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/root_block.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::interpreter {

using memory::root_guard;

// Sets the runtime's hooks that run language functions (call.cpp).
void install_hooks();

bool tracing_on = false;
bool trace_installed = false;
bool general_route = false;
uint32_t trace_event_mask = EVENT_ALL;

namespace {

// Root-block cells, so that they never move and are always marked: the
// installed hook, the block eval_block is evaluating (its index at the
// current expression), and the event words.
cell* trace_hook = nullptr;
cell* eval_cursor = nullptr;
int32_t hook_locals = 0;

constexpr int32_t EVENT_COUNT = 16;
const char* const event_names[EVENT_COUNT] = {"init", "end",  "prolog", "epilog", "enter", "exit",
                                              "open", "return", "fetch", "push",  "set",   "call",
                                              "error", "throw", "catch", "expr"};
cell* event_words[EVENT_COUNT] = {};

using block::rs_abs_at;
using block::rs_abs_cells;

// A function a word or path calls with the arguments that follow it; an
// op! there lacks its left argument.
bool prefix_function_q(uint32_t t) { return t != TYPE_OP && any_function_q(t); }

// A value that an expression produced: pushed for a sub-expression, else
// the result (the top just above the result slot).
void store(const cell& value, bool sub) {
  if (sub) stack::push(value);
  else stack::set_result(value);
}

void traced(uint32_t event, const cell* block, int32_t pos, const cell* reference, const cell* value) {
  if (tracing_on) fire_event(event, block, pos, reference, value);
}

// The evaluation loop comes in two instances. The general one takes no
// shortcut and sends every event to the hook while tracing is on; it runs
// with tracing on and when the general route is asked for. In the other,
// event sites compile to nothing and the shortcuts stand in for the general
// route where they can. Tracing is switched on and off only around whole
// evaluations (do/trace, a traced function's body, the hook's own run),
// each restoring it on the way out, so the instance chosen when a block or
// expression starts holds for all of it.
template <bool General>
inline void event(uint32_t event, const cell* block, int32_t pos, const cell* reference, const cell* value) {
  if constexpr (General) traced(event, block, pos, reference, value);
}

// A root guard in the instances that want one.
template <bool On>
struct root_if {
  explicit root_if(cell* value) : guard(value) {}
  root_guard guard;
};
template <>
struct root_if<false> {
  explicit root_if(cell*) {}
};

// The head word of a path of two words, or nullptr.
inline const cell* two_word_head(const cell* path) {
  int32_t first = static_cast<int32_t>(path->data1);
  if (rs_abs_cells(path) - first != 2) return nullptr;
  const cell* head = rs_abs_at(path, first);
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

// The object a word's context belongs to, when that context is not the
// global one; else none.
cell parent_of(const cell* word) {
  uint32_t ctx = word->data1;
  if (ctx == 0 || ctx == context::global_ctx) return none::none_value;
  cell owner = *context::owner_cell(ctx);
  return TYPE_OF(&owner) == TYPE_OBJECT ? owner : none::none_value;
}

// ---- Infix shortcuts ----
// An operator over the add, subtract, multiply, divide or remainder action, or over
// one of the comparison natives but same?, between two integer! or float!
// operands is computed here, with the results of the full call and no call
// machinery, whenever that cannot raise an error. The right operand must
// be what the full call would fetch with nothing to evaluate: a literal
// number, a word whose value is one, a path of two words reading an
// object's field that holds one, or a paren of a number run (below).

// The comparison code of a comparison native, by its entry; -1 for any
// other native.
int32_t compare_code(uint32_t slot) {
  natives::native_entry entry = natives::entry_of(static_cast<int32_t>(slot));
  return entry == natives::equal_q              ? COMP_EQUAL
         : entry == natives::not_equal_q        ? COMP_NOT_EQUAL
         : entry == natives::strict_equal_q     ? COMP_STRICT_EQUAL
         : entry == natives::lesser_q           ? COMP_LESSER
         : entry == natives::greater_q          ? COMP_GREATER
         : entry == natives::lesser_or_equal_q  ? COMP_LESSER_EQUAL
         : entry == natives::greater_or_equal_q ? COMP_GREATER_EQUAL
                                                : -1;
}

// What an operator's wrapped native or action is decided once and kept
// here, by its `more` node: whether it takes exactly two evaluated
// arguments and no refinement (`binary`), the integer-core math code
// (`math` set) or compare code it stands for (-1: no shortcut), and which
// pairs of integer! and float! operands its two typesets accept (`fits`,
// bit (left is float) << 1 | (right is float)). Only the collector frees
// nodes, so a plan is good until its next cycle; a function whose call
// spec is not built yet gets no plan kept. Free entries hold no_plan's
// answers, so that a function with no `more` node may find one.
struct op_plan {
  uint32_t more;
  uint32_t slot;
  uint32_t cycle;
  int8_t code;
  bool math;
  bool binary;
  uint8_t fits;
};
static_assert(sizeof(op_plan) == 16, "a table entry is one shift away from its index");
op_plan op_plans[64];

int8_t shortcut_code(const cell* function, bool& math) {
  math = TYPE_OF(function) == TYPE_ACTION;
  if (math) {
    switch (function->data1) {
      case ACT_ADD: return integer::OP_ADD;
      case ACT_SUBTRACT: return integer::OP_SUBTRACT;
      case ACT_MULTIPLY: return integer::OP_MULTIPLY;
      case ACT_DIVIDE: return integer::OP_DIVIDE;
      case ACT_REMAINDER: return integer::OP_REMAINDER;
      default: return -1;
    }
  }
  if (TYPE_OF(function) != TYPE_NATIVE) return -1;
  return static_cast<int8_t>(compare_code(function->data1));
}

const op_plan no_plan{0, 0, 0, -1, false, false, 0};

[[gnu::noinline]] op_plan make_op_plan(const cell* function, op_plan& p) {
  if (function->data3 == 0 || !binary_q(function)) return no_plan;
  p.more = function->data3;
  p.slot = function->data1;
  p.cycle = collector::series_cycle_count;
  p.binary = true;
  p.code = shortcut_code(function, p.math);
  p.fits = 0;
  const uint32_t number_types[2] = {TYPE_INTEGER, TYPE_FLOAT};
  for (uint32_t l = 0; l < 2; ++l)
    for (uint32_t r = 0; r < 2; ++r)
      if (two_arguments_q(function, number_types[l], number_types[r])) p.fits |= static_cast<uint8_t>(1u << (l << 1 | r));
  return p;
}

// The plan's table entry for a function's (or op!'s) payload, when it holds
// a plan made in this collector cycle; else nullptr.
inline const op_plan* kept_plan(const cell* function) {
  const op_plan& p = op_plans[(function->data3 >> 2 ^ function->data1) & 63];
  if (p.more == function->data3 && p.slot == function->data1 && p.cycle == collector::series_cycle_count) return &p;
  return nullptr;
}

// The plan of an op!'s wrapped native or action (no_plan for any other),
// as a copy: evaluating an operand may take the table entry for another.
inline op_plan plan_of(const cell* function) {
  if (const op_plan* p = kept_plan(function)) return *p;
  return make_op_plan(function, op_plans[(function->data3 >> 2 ^ function->data1) & 63]);
}

// plan_of for an op! value itself.
inline op_plan plan_of_op(const cell* op_value) {
  if (const op_plan* p = kept_plan(op_value)) return *p;
  cell function = *op_value;
  function.header = op::wrapped_type(&function);
  return make_op_plan(&function, op_plans[(function.data3 >> 2 ^ function.data1) & 63]);
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
[[gnu::noinline]] bool paren_run(run_reader& reader, const cell* paren, cell* out, int32_t depth) {
  int32_t end = rs_abs_cells(paren);
  return run_from(reader, rs_abs_at(paren, 0), static_cast<int32_t>(paren->data1), end, out, depth + 1) == end;
}

// paren_run for a paren whose first operand, a word's number, is in *out.
[[gnu::noinline]] bool paren_rest(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out,
                                  int32_t depth) {
  return run_steps<run_start::operator_word>(reader, cells, pos, end, out, depth + 1) == end;
}

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

// A paren operand whose run is being computed: where the run it stands in
// goes on, and what its value meets there (the left operand and plan of
// the operator it is the right operand of, or nothing when it is the first
// operand).
struct open_paren {
  const cell* cells;
  int32_t pos;
  int32_t end;
  cell left;
  int8_t code;
  bool math;
  bool first;
  uint8_t fits;
};

// The parens of a run that are being computed, innermost last.
struct open_parens {
  open_paren open[NUMBER_PAREN_DEPTH];
  int32_t count = 0;
};

// Reads the operand at `pos` into *out and moves past it; a paren is
// entered (`cells`, `pos`, `end` then its own) and its first operand read,
// with `o` kept for it in `parens`. False when the operand stands for no
// number, or a paren is too deep.
[[gnu::always_inline]] inline bool enter_operand(run_reader& reader, open_parens& parens, int32_t depth,
                                                 const cell*& cells, int32_t& pos, int32_t& end, cell* out,
                                                 const open_paren& o) {
  const cell* at = cells + pos;
  if (TYPE_OF(at) == TYPE_PAREN) {
    if (depth + parens.count >= NUMBER_PAREN_DEPTH) return false;
    parens.open[parens.count++] = o;
    for (;;) {
      const memory::series_buffer* b = memory::GET_BUFFER(at);
      cells = memory::head_of<cell>(b);
      pos = static_cast<int32_t>(at->data1);
      end = static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
      if (pos >= end) return false;
      at = cells + pos;
      if (TYPE_OF(at) != TYPE_PAREN) break;
      if (depth + parens.count >= NUMBER_PAREN_DEPTH) return false;
      open_paren& first = parens.open[parens.count++];
      first.cells = cells, first.pos = pos + 1, first.end = end, first.first = true;
    }
  }
  const cell* value = plain_operand(reader, at);
  if (!value) return false;
  *out = *value;
  ++pos;
  return true;
}

// The run's steps from `pos`, in the block's cells, its value in *out: from
// its first operand, or from the operator after it with that operand in
// *out (`op_value` the operator word's value with run_start::op_known).
// The position after the run, or -1. A paren
// operand's run is done in place, its enclosing runs kept open, at most
// NUMBER_PAREN_DEPTH deep counting `depth` parens around the run. An
// operator's plan is copied out before a paren operand is entered (the
// paren's operators may take the plan's table entry), a word's or path's
// number is read where it stands, and the result goes straight into *out,
// which number_op reads before it writes.
template <run_start Start>
[[gnu::flatten]] int32_t run_steps(run_reader& reader, const cell* cells, int32_t pos, int32_t end, cell* out,
                                   int32_t depth, const cell* op_value) {
  open_parens parens;
  if constexpr (Start == run_start::operand) {
    const open_paren o{cells, pos + 1, end, {}, 0, false, true, 0};
    if (!enter_operand(reader, parens, depth, cells, pos, end, out, o)) return -1;
  }
  for (;;) {
    while (pos < end) {
      const cell* op = Start == run_start::op_known ? op_value : nullptr;
      if constexpr (Start == run_start::op_known) op_value = nullptr;  // for the first step only
      if (!op) {
        const cell* name = cells + pos;
        if (TYPE_OF(name) != TYPE_WORD) break;
        op = reader.peek(name);
        if (!op || TYPE_OF(op) != TYPE_OP) break;
      }
      if (pos + 1 >= end) return -1;
      const cell* right = cells + pos + 1;
      switch (TYPE_OF(right)) {
        case TYPE_INTEGER:
        case TYPE_FLOAT: break;
        case TYPE_WORD: right = reader.peek(right); break;
        case TYPE_PATH: right = reader.peek_field(right); break;
        case TYPE_PAREN: {
          const op_plan plan = plan_of_op(op);
          const open_paren o{cells, pos + 2, end, *out, plan.code, plan.math, false, plan.fits};
          ++pos;
          if (!enter_operand(reader, parens, depth, cells, pos, end, out, o)) return -1;
          continue;
        }
        default: return -1;
      }
      // The plan is looked up once the operand is known to be a number;
      // number_op answers false for a plan with no shortcut code.
      uint8_t fit = right ? fit_bit(TYPE_OF(out), TYPE_OF(right)) : 0;
      if (!fit) return -1;
      int32_t code;
      bool math;
      uint8_t fits;
      if (const op_plan* kept = kept_plan(op)) {
        code = kept->code, math = kept->math, fits = kept->fits;
      } else {
        op_plan made = plan_of_op(op);
        code = made.code, math = made.math, fits = made.fits;
      }
      if (!(fits & fit) || !actions::number_op(code, math, out, right, out)) return -1;
      pos += 2;
    }
    // The run ends here: a paren's must end with the paren, whose value
    // then goes on as the operand it stands for.
    if (parens.count == 0) return pos;
    if (pos != end) return -1;
    const open_paren& o = parens.open[--parens.count];
    cells = o.cells, pos = o.pos, end = o.end;
    if (!o.first && (!(o.fits & fit_bit(TYPE_OF(&o.left), TYPE_OF(out))) ||
                     !actions::number_op(o.code, o.math, &o.left, out, out)))
      return -1;
  }
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
  return run_from(reader, rs_abs_at(block, 0), pos, end, out, depth);
}

// A paren that is one whole number run. The parens asked here hold a call
// more often than not: the first word is looked at in line.
inline bool number_paren(const cell* paren, cell* out) {
  run_reader reader;
  return paren_front(reader, paren, out, 0);
}

// infix_shortcut with a number paren for the right operand, out of its line.
[[gnu::noinline]] bool paren_shortcut(const op_plan& plan, const cell* paren) {
  cell right, result;
  cell* left = stack::top;
  if (!number_paren(paren, &right) || !(plan.fits & fit_bit(TYPE_OF(left), TYPE_OF(&right))) ||
      !actions::number_op(plan.code, plan.math, left, &right, &result))
    return false;
  stack::push(result);
  return true;
}

// Computes `left op right` into the cell at the top's position (the left
// operand) when the shortcut applies and answers true; the top is then
// above the result, as after the full call. `pos` is the right operand's
// position, inside the block. A word's or path's value is the operand as
// it stands: a paren or path held there is data, not evaluated.
[[gnu::flatten]] inline bool infix_shortcut(const op_plan& plan, const cell* block, int32_t pos) {
  const cell* right = rs_abs_at(block, pos);
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

// How expression evaluates: bits of its `how` argument.
constexpr uint32_t EXPR_NO_INFIX = 1;           // no infix look-ahead after the value
constexpr uint32_t EXPR_SUB = 2;                // the value is pushed, not put in the result slot
constexpr uint32_t EXPR_FUNCTIONS_AS_DATA = 4;  // a function value in the block is data, not called
constexpr uint32_t EXPR_PAREN_TRIED = 8;        // the cell at `pos`, when a paren, is no number run
template <bool General>
int32_t expression(const cell* block, int32_t pos, int32_t end, uint32_t how);
template <bool General>
void block_loop(const cell* given, bool keep, int32_t pos);

// The right operand of an operator at `pos`, pushed as expression with no
// infix look-ahead would push it, tracing off. A paren the infix shortcut
// has tried, a path or a word holding a function goes straight to the
// routine expression would hand it to.
inline int32_t right_operand(const cell* block, int32_t pos, int32_t end, bool paren_tried) {
  const cell* right = rs_abs_at(block, pos);
  switch (TYPE_OF(right)) {
    case TYPE_PAREN:
      if (!paren_tried) break;
      block_loop<false>(right, false, static_cast<int32_t>(right->data1));
      return pos + 1;
    case TYPE_PATH:
      return eval_path(right, block, pos + 1, end, false, false, true, false, nullptr);
    case TYPE_WORD: {
      const cell* value = context::peek(right);
      if (!value || !prefix_function_q(TYPE_OF(value))) break;
      return call_function(value, block, pos + 1, end, true, nullptr, 0, right, false);
    }
    default:
      break;
  }
  return expression<false>(block, pos, end, EXPR_NO_INFIX | EXPR_SUB | (paren_tried ? EXPR_PAREN_TRIED : 0));
}

// An operator over a native or action of exactly two evaluated arguments,
// its left operand at the top, called as call_function calls it: a frame
// named by the operator's word, the left operand's type checked, the right
// operand evaluated inside the frame with no infix look-ahead and checked,
// then the entry, or the shortcut's inline result when it has one. No walk
// of the call spec. Only taken with tracing off. `paren_tried`: the right
// operand, when a paren, is known to be no number run.
int32_t binary_call(const cell* given_name, const cell* function, op_plan plan, const cell* block, int32_t pos,
                    int32_t end, bool sub, bool paren_tried) {
  cell held[2] = {*function, *given_name};
  memory::root_pair_guard keep(held);
  cell &f = held[0], &name = held[1];
  stack::mark(&name, stack::FRAME_INTERP);
  ++stack::top;
  // The plan's typesets answer for integer! and float! operands; others
  // are checked against the call spec.
  if (!left_fits_q(plan, TYPE_OF(stack::arguments))) check_binary_arg(&f, &name, 0);
  pos = right_operand(block, pos, end, paren_tried);
  cell* left = stack::arguments;
  uint8_t fit = plan.fits & fit_bit(TYPE_OF(left), TYPE_OF(left + 1));
  if (!fit) check_binary_arg(&f, &name, 1);
  cell result;
  if (fit && plan.code >= 0 && actions::number_op(plan.code, plan.math, left, left + 1, &result)) {
    stack::set_result(result);
  } else {
    call_binary_entry(&f);
    if (stack::pending_exit) return pos;  // the stacks stand where the exit put them
  }
  if (sub) stack::unwind();
  else stack::unwind_last();
  return pos;
}

// Infix operators after the value an expression has just made at
// `entry_top` (sub) or in the result slot: that value is the left operand
// of the next operator, whose result is in turn the left operand of the
// one after. The block's length is read again after anything that may run
// code. Answers the position after them.
template <bool General>
[[gnu::always_inline]] inline int32_t infix_steps(const cell* block, int32_t next, int32_t end, bool sub,
                                                  cell* entry_top) {
  int32_t limit = std::min(end, rs_abs_cells(block));
  while (next < limit) {
    const cell* name = rs_abs_at(block, next);
    if (TYPE_OF(name) != TYPE_WORD) break;
    const cell* value = context::peek(name);
    if (!value || TYPE_OF(value) != TYPE_OP) break;
    cell op = *value;
    op.header = op::wrapped_type(&op);
    // The fetched value is the operator word itself, as for any word read.
    event<General>(EVENT_FETCH, block, next, name, name);
    stack::top = sub ? entry_top : stack::arguments;
    if (!General || shortcuts_q()) {
      const op_plan plan = plan_of(&op);
      if (plan.binary && next + 1 < limit) {
        if (plan.code >= 0 && infix_shortcut(plan, block, next + 1)) {
          next += 2;
          continue;
        }
        // The shortcut has tried a paren operand when it was taken.
        next = binary_call(rs_abs_at(block, next), &op, plan, block, next + 1, limit, sub, plan.code >= 0);
        if (stack::pending_exit) return next;
        limit = std::min(end, rs_abs_cells(block));
        continue;
      }
    }
    cell word = *rs_abs_at(block, next);
    next = call_function(&op, block, next + 1, end, sub, nullptr, 0, &word, true);
    limit = std::min(end, rs_abs_cells(block));
  }
  return next;
}

// The value cell of the word at `pos`, as peek reads it; nullptr for any
// other cell or a word peek does not resolve. Never raises.
inline const cell* word_value_at(const cell* block, int32_t pos) {
  const cell* c = rs_abs_at(block, pos);
  return TYPE_OF(c) == TYPE_WORD ? context::peek(c) : nullptr;
}

// The block an eval_block evaluates and the evaluation cursor of the outer
// one, put back on the way out: both rooted by one registration.
struct block_keeper {
  cell held[2];
  memory::root_pair_guard keep{held};
  explicit block_keeper(const cell* block) : held{*block, *eval_cursor} {}
  ~block_keeper() { *eval_cursor = held[1]; }
};

// ---- Blocks --------------------------------------------------------------------

// Evaluates the block from `pos` (its index, or past frameless statements
// already done). Without tracing, a paren starting the statement at `pos`
// has been tried as a number run by whoever came before (the frameless
// statements, or expression's number paren whose run starts there).
template <bool General>
void block_loop(const cell* given, bool keep, int32_t pos) {
  block_keeper kept(given);
  cell& block = kept.held[0];
  stack::frame_mark body_mark = stack::body_mark;
  stack::body_mark = stack::MARK_NONE;
  stack::mark(words::word_body, stack::FRAME_EVAL);
  if (body_mark) stack::set_frame_mark(stack::frame_top - 1, body_mark);
  int32_t end = rs_abs_cells(&block);
  event<General>(EVENT_ENTER, &block, pos, nullptr, nullptr);
  if (pos >= end) {
    stack::set_result(unset::unset_value);
  } else {
    *eval_cursor = block;
    for (uint32_t how = General ? 0 : EXPR_PAREN_TRIED; pos < end; how = 0) {
      eval_cursor->data1 = static_cast<uint32_t>(pos);
      pos = expression<General>(&block, pos, end, how);
      if (stack::pending_exit) return;  // the stacks stand where the exit put them
      end = std::min(end, rs_abs_cells(&block));  // the block may have been cut meanwhile
      if (pos < end) stack::reset();
    }
  }
  event<General>(EVENT_EXIT, &block, end, nullptr, stack::arguments);
  if (keep) stack::unwind_last();
  else stack::unwind();
}

// ---- Expressions -----------------------------------------------------------------

// One expression from `pos` and the infix operators after it, `end` at most
// the block's length (eval_expression cuts what its callers give). The cell
// evaluated is copied out of the block; the block is rooted by whoever
// evaluates it, and every branch hands the copy on (to code that copies
// and roots it itself) before anything may collect, so only the traced
// instance, which reports it at the end, and a set-path, which walks it
// after evaluating its value, root the copy.
template <bool General>
int32_t expression(const cell* block, int32_t pos, int32_t end, uint32_t how) {
  const bool sub = how & EXPR_SUB;
  cell* entry_top = stack::top;
  event<General>(EVENT_FETCH, block, pos, rs_abs_at(block, pos), rs_abs_at(block, pos));
  cell v = *rs_abs_at(block, pos);
  root_if<General> keep_v(&v);
  int32_t next = pos + 1;
  switch (TYPE_OF(&v)) {
    case TYPE_PAREN:
      if constexpr (!General) {
        cell value;
        if (!(how & EXPR_PAREN_TRIED) && number_paren(&v, &value)) {
          store(value, sub);
          break;
        }
      }
      // The paren's own frame opens at the top: its value is left there,
      // and without `sub` also goes to the result slot.
      block_loop<General>(&v, !sub, static_cast<int32_t>(v.data1));
      break;
    case TYPE_SET_WORD: {
      stack::mark(&v, stack::FRAME_INTERP);
      cell* word = stack::push(v);
      event<General>(EVENT_PUSH, block, pos, nullptr, word);
      if (next >= end) fire(err::script_need_value, {v});
      // A value that is a native's or action's call is made here rather
      // than by an expression of its own, which would call it the same way;
      // a word holding a value that runs nothing is taken here too, then
      // the operators after it.
      const cell* held = General ? nullptr : word_value_at(block, next);
      uint32_t t = held ? TYPE_OF(held) : TYPE_UNSET;
      if (t == TYPE_NATIVE || t == TYPE_ACTION) {
        cell function = *held, name = *rs_abs_at(block, next);
        // The set-word's frame keeps any exit from travelling as status.
        next = call_native(&function, &name, block, next + 1, end, true);
        next = infix_steps<General>(block, next, end, true, word + 1);
      } else if (t != TYPE_UNSET && !any_function_q(t)) {
        stack::push(*held);
        next = infix_steps<General>(block, next + 1, end, true, word + 1);
      } else {
        next = expression<General>(block, next, end, EXPR_SUB);
      }
      cell* value = word + 1;
      event<General>(EVENT_SET, block, next, word, value);
      if (TYPE_OF(value) == TYPE_UNSET) fire(err::script_need_value, {*word});
      word::set(word, *value);
      *stack::arguments = *value;
      if (sub) stack::unwind();
      else stack::unwind_last();
      break;
    }
    case TYPE_SET_PATH: {
      root_if<!General> keep_path(&v);
      event<General>(EVENT_PUSH, block, pos, nullptr, &v);
      if (next >= end) fire(err::script_need_value, {v});
      stack::mark(words::word_set_path, stack::FRAME_INTERP);
      next = expression<General>(block, next, end, EXPR_SUB);
      cell* value = stack::arguments;
      event<General>(EVENT_SET, block, next, &v, value);
      next = eval_path(&v, block, next, end, true, false, true, false, value);
      stack::keep();  // the expression's value is the value set
      if (sub) stack::unwind();
      else stack::unwind_last();
      break;
    }
    case TYPE_GET_WORD:
      store(*word::get_value(&v), sub);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    case TYPE_LIT_WORD: {
      cell w = v;
      w.header = TYPE_WORD;
      store(w, sub);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    }
    case TYPE_WORD: {
      cell value = *word::get_value(&v);
      uint32_t t = TYPE_OF(&value);
      if (t == TYPE_UNSET) fire(err::script_no_value, {v});
      if (!General && (t == TYPE_NATIVE || t == TYPE_ACTION)) {
        next = call_native(&value, &v, block, next, end, sub);
      } else if (prefix_function_q(t)) {
        next = call_function(&value, block, next, end, sub, nullptr, 0, &v, false);
      } else if (t == TYPE_OP) {
        fire(err::script_no_op_arg, {v});
      } else {
        store(value, sub);
        event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      }
      break;
    }
    case TYPE_PATH:
    case TYPE_GET_PATH:
      next = eval_path(&v, block, next, end, false, TYPE_OF(&v) == TYPE_GET_PATH, sub, false, nullptr);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    case TYPE_LIT_PATH: {
      cell p = v;
      p.header = TYPE_PATH;
      p.data3 = 0;
      store(p, sub);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    }
    case TYPE_OP:
      fire(err::internal_not_done);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
      if (!(how & EXPR_FUNCTIONS_AS_DATA)) {
        next = call_function(&v, block, next, end, sub, nullptr, 0, nullptr, false);
        break;
      }
      store(v, sub);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    case TYPE_ISSUE:
      if (next < end && TYPE_OF(rs_abs_at(block, next)) == TYPE_BLOCK &&
          (symbol::EQUAL_WORDS_q(&v, words::sym_system) || symbol::EQUAL_WORDS_q(&v, words::sym_system_global)))
        fire(err::internal_ixo_system);
      [[fallthrough]];
    default:
      store(v, sub);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
  }
  if (stack::pending_exit) return next;

  if (!(how & EXPR_NO_INFIX)) {
    next = infix_steps<General>(block, next, end, sub, entry_top);
    if (stack::pending_exit) return next;
  }
  if constexpr (General) {
    if (tracing_on && !sub) fire_event(EVENT_EXPR, block, next, &v, stack::arguments);
  }
  return next;
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
  cell value;
  run_reader reader;
  const cell* cells = rs_abs_at(block, 0);
  for (int32_t after; pos < end && (after = frameless_step(reader, cells, pos, end, &value)) >= 0;) {
    pos = after;
    if (pos < end) continue;
    stack::body_mark = stack::MARK_NONE;
    push_run_value(value, keep);
    return -1;
  }
  return pos;
}

}  // namespace

void eval_block(const cell* given, bool keep) {
  if (system::interrupt_pending) stack::take_interrupt();
  int32_t pos = static_cast<int32_t>(given->data1);
  if (!shortcuts_q()) return block_loop<true>(given, keep, pos);
  pos = frameless_statements(given, pos, rs_abs_cells(given), keep);
  if (pos >= 0) block_loop<false>(given, keep, pos);
}

namespace {

// eval_body's and eval_branch's work: with tracing on, the block in an
// eval frame marked `traced_mark`; else in the innermost frame, marked
// `mark` when `mark_q` says so.
template <class MarkQ>
void eval_in_frame(const cell* given, stack::frame_mark traced_mark, stack::frame_mark mark, MarkQ mark_q) {
  if (system::interrupt_pending) stack::take_interrupt();
  int32_t pos = static_cast<int32_t>(given->data1);
  if (!shortcuts_q()) {
    stack::body_mark = traced_mark;
    return block_loop<true>(given, true, pos);
  }
  int32_t end = rs_abs_cells(given);
  if (pos >= end) {
    stack::set_result(unset::unset_value);
    return;
  }
  pos = frameless_statements(given, pos, end, true);
  if (pos < 0) return;
  // Each expression leaves its value at `base`, above the frame's cells.
  block_keeper kept(given);
  cell& block = kept.held[0];
  cell* base = stack::top;
  stack::call_frame* frame = stack::frame_top - 1;
  if (mark_q(frame)) stack::set_frame_mark(frame, mark);
  *eval_cursor = block;
  // The frameless statements have tried a paren starting the first one.
  uint32_t how = EXPR_SUB | EXPR_PAREN_TRIED;
  do {
    eval_cursor->data1 = static_cast<uint32_t>(pos);
    stack::top = base;
    pos = expression<false>(&block, pos, end, how);
    how = EXPR_SUB;
    if (stack::pending_exit) return;  // the stacks stand where the exit put them
    end = std::min(end, rs_abs_cells(&block));  // the block may have been cut meanwhile
  } while (pos < end);
  stack::set_result(*base);
}

}  // namespace

void eval_body(const cell* body) {
  eval_in_frame(body, stack::MARK_DIRECT_BODY, stack::MARK_BODY_FRAME, [](const stack::call_frame*) { return true; });
}

void eval_branch(const cell* branch) {
  // Only a conditional called plainly may pass exits on as status.
  eval_in_frame(branch, stack::MARK_BRANCH, stack::MARK_BRANCH_FRAME,
                [](const stack::call_frame* f) { return stack::frame_mark_of(f) == stack::MARK_PLAIN_CALL; });
}

const cell* current_expression() {
  return eval_cursor && TYPE_OF(eval_cursor) != TYPE_UNSET ? eval_cursor : nullptr;
}

int32_t eval_next(const cell* block, int32_t pos, int32_t end, bool keep) {
  if (shortcuts_q()) {
    cell value;
    int32_t after = number_run(block, pos, std::min(end, rs_abs_cells(block)), &value, 0);
    if (after >= 0) {
      push_run_value(value, keep);
      return after;
    }
  }
  stack::mark(words::word_body, stack::FRAME_INTERP);
  if (pos >= std::min(end, rs_abs_cells(block))) stack::set_result(unset::unset_value);
  else pos = eval_expression(block, pos, end, false, false, false);
  if (keep) stack::unwind_last();
  else stack::unwind();
  return pos;
}

int32_t eval_expression(const cell* block, int32_t pos, int32_t end, bool no_infix, bool sub,
                        bool functions_as_data) {
  end = std::min(end, rs_abs_cells(block));
  uint32_t how = (no_infix ? EXPR_NO_INFIX : 0) | (sub ? EXPR_SUB : 0) | (functions_as_data ? EXPR_FUNCTIONS_AS_DATA : 0);
  if (!shortcuts_q()) return expression<true>(block, pos, end, how);
  return expression<false>(block, pos, end, how);
}

[[gnu::flatten]] int32_t eval_number_run(const cell* block, int32_t pos, int32_t end, cell* out, const cell* op) {
  run_reader reader;
  return run_steps<run_start::op_known>(reader, rs_abs_at(block, 0), pos + 1, end, out, 0, op);
}

// ---- Paths ---------------------------------------------------------------------------

namespace {

// The types whose fields a path sets inside the value itself, so that a
// path works on a copy of the value taken from its holder.
bool copied_value_q(uint32_t type) {
  return type == TYPE_TIME || type == TYPE_DATE || type == TYPE_PAIR || type == TYPE_TUPLE ||
         type == TYPE_POINT2D || type == TYPE_POINT3D || type == TYPE_EVENT;
}

// The value a path's head word holds, read as the walk reads it (`head`
// set to the word); nullptr when the walk must decide.
inline const cell* head_value(const cell* path, const cell*& head) {
  int32_t first = static_cast<int32_t>(path->data1);
  if (first >= rs_abs_cells(path)) return nullptr;
  head = rs_abs_at(path, first);
  return TYPE_OF(head) == TYPE_WORD ? context::peek(head) : nullptr;
}

// A path of two words whose head (at `head`) holds the object `obj`: the
// field's cell after reading or storing it, with the results of the walk
// below and nothing allocated; nullptr when the walk must decide (any other
// path, a missing or unset field, a function the path calls, change
// handlers to notify).
const cell* object_field_step(const cell* path, const cell* head, const cell* obj, bool set, bool get,
                              const cell* set_value) {
  if (rs_abs_cells(path) - static_cast<int32_t>(path->data1) != 2 || TYPE_OF(head + 1) != TYPE_WORD) return nullptr;
  if (set) return object::store_field(obj, head + 1, *set_value);
  const cell* field = object::field_of(obj, head + 1);
  if (!field || TYPE_OF(field) == TYPE_UNSET || (!get && prefix_function_q(TYPE_OF(field)))) return nullptr;
  return field;
}

int32_t walk_path(const cell* given, const cell* block, int32_t pos, int32_t end, bool set, bool get, bool sub,
                  bool case_, const cell* set_value);

}  // namespace

int32_t eval_path(const cell* given, const cell* block, int32_t pos, int32_t end, bool set, bool get,
                  bool sub, bool case_, const cell* set_value) {
  const cell* head_word;
  const cell* held = shortcuts_q() ? head_value(given, head_word) : nullptr;
  if (held && TYPE_OF(held) == TYPE_OBJECT) {
    if (const cell* field = object_field_step(given, head_word, held, set, get, set_value)) {
      store(*field, sub);
      return pos;
    }
  } else if (held && !set && !get && prefix_function_q(TYPE_OF(held))) {
    // A function in the head word is called with the rest of the path as
    // its refinements, as the walk below would call it.
    cell path = *given, name = *head_word, function = *held;
    root_guard keep_path(&path);
    return call_function(&function, block, pos, end, sub, &path, static_cast<int32_t>(path.data1) + 1, &name, false);
  }
  return walk_path(given, block, pos, end, set, get, sub, case_, set_value);
}

namespace {

// The path evaluated element by element, with tracing's events: what the
// shortcuts above leave.
[[gnu::noinline]] int32_t walk_path(const cell* given, const cell* block, int32_t pos, int32_t end, bool set, bool get,
                                    bool sub, bool case_, const cell* set_value) {
  cell path = *given;
  root_guard keep_path(&path);
  int32_t first = static_cast<int32_t>(path.data1);
  int32_t length = rs_abs_cells(&path);
  if (first >= length) fire(err::script_empty_path);
  traced(EVENT_ENTER, &path, first, nullptr, nullptr);
  traced(EVENT_FETCH, &path, first, nullptr, rs_abs_at(&path, first));
  cell head = *rs_abs_at(&path, first);
  if (TYPE_OF(&head) != TYPE_WORD) fire(err::script_word_first, {path});

  cell* base = stack::top;
  // Three scratch cells: the current value, its parent, the element.
  cell* current = stack::push(*word::get_value(&head));
  cell* parent = stack::push(none::none_value);
  cell* element = stack::push(none::none_value);
  uint32_t t = TYPE_OF(current);
  if (prefix_function_q(t)) {
    if (set) fire(err::script_invalid_path_set, {path});
    if (get) fire(err::script_invalid_path_get, {path});
    cell f = *current;
    stack::top = base;
    pos = call_function(&f, block, pos, end, sub, &path, first + 1, &head, false);
    traced(EVENT_EXIT, &path, length, nullptr, stack::top - 1);
    return pos;
  }
  if (t == TYPE_UNSET) fire(err::script_unset_path, {path, head});
  traced(EVENT_PUSH, &path, first, nullptr, current);
  *parent = parent_of(&head);

  for (int32_t i = first + 1; i < length; ++i) {
    traced(EVENT_FETCH, &path, i, nullptr, rs_abs_at(&path, i));
    *element = *rs_abs_at(&path, i);
    if (TYPE_OF(element) == TYPE_GET_WORD) {
      *element = *word::get_value(element);
    } else if (TYPE_OF(element) == TYPE_PAREN) {
      eval_block(element, false);
      *element = stack::top[-1];
      stack::top = element + 1;
    }
    traced(EVENT_PUSH, &path, i, nullptr, element);
    if (TYPE_OF(element) == TYPE_UNSET) fire(err::script_invalid_path, {path, *element});

    bool last = i == length - 1;
    auto walk = datatype::action_of<eval_path_fn>(TYPE_OF(current), ACT_EVAL_PATH);
    if (!walk) {
      cell cut = *block::clone(&path, false, false);
      block::rs_truncate(&cut, i + 1);
      fire(err::script_bad_path_type, {path, datatype::make_cell(TYPE_OF(current)), cut});
    }
    bool notify = set && last && i - first >= 2 &&
                  ((TYPE_OF(parent) == TYPE_OBJECT && parent->data3 != 0) || any_block_q(TYPE_OF(parent)) ||
                   TYPE_OF(parent) == TYPE_STRING);
    cell previous = *rs_abs_at(&path, i - 1);
    cell* answer = walk(current, element, set && last ? const_cast<cell*>(set_value) : nullptr, &path, parent,
                        &previous, i, case_, get, last, notify);
    cell next_value = *answer;
    stack::top = element + 1;
    *parent = *current;
    *current = next_value;

    if (!set && !get && prefix_function_q(TYPE_OF(current))) {
      cell f = *current, name = *element;
      root_guard keep_f(&f), keep_name(&name);
      if (TYPE_OF(&name) != TYPE_WORD) name = *words::word_anon;
      stack::top = base;
      pos = call_function(&f, block, pos, end, sub, &path, i + 1, &name, false);
      traced(EVENT_EXIT, &path, length, nullptr, stack::top - 1);
      return pos;
    }
  }
  // Setting a field of a time, date, pair, tuple, point or event changes a copy
  // of that value: the changed value goes back where it was taken from,
  // the head word or the path's previous step.
  if (set && length - first >= 2 && copied_value_q(TYPE_OF(parent))) {
    cell changed = *parent;
    root_guard keep_changed(&changed);
    if (length - first == 2) {
      word::set(&head, changed);
    } else {
      cell holder = *block::clone(&path, false, false);
      root_guard keep_holder(&holder);
      block::rs_truncate(&holder, length - 1);
      eval_path(&holder, block, pos, end, true, false, true, case_, &changed);
    }
  }
  traced(EVENT_EXIT, &path, length, nullptr, current);
  cell result = *current;
  stack::top = base;
  store(result, sub);
  return pos;
}

}  // namespace

// ---- Tracing ----------------------------------------------------------------------

void fire_event(uint32_t event, const cell* block, int32_t pos, const cell* reference, const cell* value) {
  if (!tracing_on || !(trace_event_mask & event) || !trace_hook) return;
  int32_t bit = __builtin_ctz(event);
  bool with_reference = event == EVENT_PROLOG || event == EVENT_EPILOG || event == EVENT_RETURN ||
                        event == EVENT_SET || event == EVENT_CALL;
  cell blk = block ? *block : none::none_value;
  int32_t offset = -1;
  if (block && pos >= static_cast<int32_t>(block->data1) && pos <= rs_abs_cells(block))
    offset = pos - static_cast<int32_t>(block->data1);
  cell val = value && TYPE_OF(value) != 0 ? *value : none::none_value;
  cell ref = with_reference && reference ? *reference : none::none_value;
  cell hook = *trace_hook;

  cell* arguments = stack::arguments;
  cell* top = stack::top;
  stack::call_frame* frame_top = stack::frame_top;
  stack::push(unset::unset_value);  // keeps a value just made at the top
  int32_t args_index = static_cast<int32_t>(stack::arguments - stack::bottom);
  int32_t top_index = static_cast<int32_t>(top - stack::bottom);
  stack::mark_func(words::word_interp_callback, hook.data1);
  stack::push(*event_words[bit]);
  stack::push(blk);
  stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(offset), 0});
  stack::push(val);
  stack::push(ref);
  stack::push(pair::make_cell(args_index, top_index));
  if (hook_locals > 0) function::init_locals(hook_locals);
  tracing_on = false;
  uint32_t code = catch_site(FILTER_ALL, [&] { exec_function(&hook, words::word_interp_callback, CALLBACK_NONE); });
  if (code) system::throw_to_catch();  // tracing stays off
  tracing_on = true;
  stack::arguments = arguments;
  stack::top = top;
  stack::frame_top = frame_top;
}

uint32_t event_mask(const cell* hook) {
  cell more{TYPE_BLOCK, 0, hook->data3, 0};
  const cell* body = rs_abs_at(&more, 0);
  if (TYPE_OF(body) != TYPE_BLOCK || block::rs_length_q(body) == 0) return EVENT_ALL;
  const cell* wanted = rs_abs_at(body, static_cast<int32_t>(body->data1));
  if (TYPE_OF(wanted) != TYPE_BLOCK) return EVENT_ALL;
  uint32_t mask = 0;
  for (int32_t i = static_cast<int32_t>(wanted->data1); i < rs_abs_cells(wanted); ++i) {
    const cell* w = rs_abs_at(wanted, i);
    if (TYPE_OF(w) != TYPE_WORD) continue;
    for (int32_t e = 0; e < EVENT_COUNT; ++e)
      if (symbol::EQUAL_WORDS_q(w, static_cast<int32_t>(event_words[e]->data2))) mask |= 1u << e;
  }
  return mask;
}

void start_trace(const cell* hook) {
  if (trace_installed) return;
  hook_locals = function::count_locals(hook->data2, 0, false);
  trace_event_mask = event_mask(hook);
  *trace_hook = *hook;
  tracing_on = trace_installed = true;
  fire_event(EVENT_INIT, nullptr, -1, nullptr, nullptr);
}

void end_trace() {
  if (!trace_installed) return;
  fire_event(EVENT_END, nullptr, -1, nullptr, nullptr);
  tracing_on = trace_installed = false;
  *trace_hook = unset::unset_value;
}

// ---- Start-up ------------------------------------------------------------------------

void init() {
  trace_hook = root::append(unset::unset_value);
  eval_cursor = root::append(unset::unset_value);
  for (int32_t e = 0; e < EVENT_COUNT; ++e) event_words[e] = root::append(*word::load(event_names[e]));
  tracing_on = trace_installed = false;
  trace_event_mask = EVENT_ALL;
  auto general = platform::get_env("IXO_GENERAL_ROUTE");
  general_route = general && *general == "1";
  std::fill(std::begin(op_plans), std::end(op_plans), no_plan);  // a restarted runtime reuses nodes
  install_hooks();
}

}  // namespace ixo::interpreter
