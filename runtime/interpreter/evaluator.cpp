// The evaluator: blocks expression by expression, each expression by the
// type of its first value, infix operators chained left to right, paths
// element by element, and the trace hook's events. Calls are call.cpp's;
// the shortcuts that stand in for parts of this route are shortcuts.hpp's.
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
#include "runtime/interpreter/shortcuts.hpp"
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

// The object a word's context belongs to, when that context is not the
// global one; else none.
cell parent_of(const cell* word) {
  uint32_t ctx = word->data1;
  if (ctx == 0 || ctx == context::global_ctx) return none::none_value;
  cell owner = *context::owner_cell(ctx);
  return TYPE_OF(&owner) == TYPE_OBJECT ? owner : none::none_value;
}

// How expression evaluates: bits of its `how` argument.
// eval_expression's flags (EVAL_SUB, EVAL_NO_INFIX, EVAL_FUNCTIONS_AS_DATA)
// and one of its own:
constexpr uint32_t EXPR_PAREN_TRIED = 128;  // the cell at `pos`, when a paren, is no number run
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
      return eval_path(right, block, pos + 1, end, EVAL_SUB, nullptr);
    case TYPE_WORD: {
      const cell* value = context::peek(right);
      if (!value || !prefix_function_q(TYPE_OF(value))) break;
      return call_function(value, block, pos + 1, end, EVAL_SUB, nullptr, 0, right);
    }
    default:
      break;
  }
  return expression<false>(block, pos, end, EVAL_NO_INFIX | EVAL_SUB | (paren_tried ? EXPR_PAREN_TRIED : 0));
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
  stack::close(sub);
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
      const op_plan plan = op_plan_of(&op);
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
    next = call_function(&op, block, next + 1, end, (sub ? EVAL_SUB : EVAL_RESULT) | EVAL_INFIX, nullptr, 0, &word);
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
  stack::close(!keep);
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
  const bool sub = how & EVAL_SUB;
  cell* entry_top = stack::top;
  event<General>(EVENT_FETCH, block, pos, rs_abs_at(block, pos), rs_abs_at(block, pos));
  cell v = *rs_abs_at(block, pos);
  root_if<General> keep_v(&v);
  // The expression's value as it stands, with its push event.
  auto pushed = [&](const cell& value) {
    store(value, sub);
    event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
  };
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
        next = expression<General>(block, next, end, EVAL_SUB);
      }
      cell* value = word + 1;
      event<General>(EVENT_SET, block, next, word, value);
      if (TYPE_OF(value) == TYPE_UNSET) fire(err::script_need_value, {*word});
      word::set(word, *value);
      *stack::arguments = *value;
      stack::close(sub);
      break;
    }
    case TYPE_SET_PATH: {
      root_if<!General> keep_path(&v);
      event<General>(EVENT_PUSH, block, pos, nullptr, &v);
      if (next >= end) fire(err::script_need_value, {v});
      stack::mark(words::word_set_path, stack::FRAME_INTERP);
      next = expression<General>(block, next, end, EVAL_SUB);
      cell* value = stack::arguments;
      event<General>(EVENT_SET, block, next, &v, value);
      next = eval_path(&v, block, next, end, EVAL_SUB | EVAL_SET, value);
      stack::keep();  // the expression's value is the value set
      stack::close(sub);
      break;
    }
    case TYPE_GET_WORD:
      pushed(*word::get_value(&v));
      break;
    case TYPE_LIT_WORD: {
      cell w = v;
      w.header = TYPE_WORD;
      pushed(w);
      break;
    }
    case TYPE_WORD: {
      cell value = *word::get_value(&v);
      uint32_t t = TYPE_OF(&value);
      if (t == TYPE_UNSET) fire(err::script_no_value, {v});
      if (!General && (t == TYPE_NATIVE || t == TYPE_ACTION)) {
        next = call_native(&value, &v, block, next, end, sub);
      } else if (prefix_function_q(t)) {
        next = call_function(&value, block, next, end, how & EVAL_SUB, nullptr, 0, &v);
      } else if (t == TYPE_OP) {
        fire(err::script_no_op_arg, {v});
      } else {
        pushed(value);
      }
      break;
    }
    case TYPE_PATH:
    case TYPE_GET_PATH:
      next = eval_path(&v, block, next, end, (how & EVAL_SUB) | (TYPE_OF(&v) == TYPE_GET_PATH ? EVAL_GET : 0), nullptr);
      event<General>(EVENT_PUSH, block, pos, nullptr, stack::top - 1);
      break;
    case TYPE_LIT_PATH: {
      cell p = v;
      p.header = TYPE_PATH;
      p.data3 = 0;
      pushed(p);
      break;
    }
    case TYPE_OP:
      fire(err::internal_not_done);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
      if (!(how & EVAL_FUNCTIONS_AS_DATA)) {
        next = call_function(&v, block, next, end, how & EVAL_SUB, nullptr, 0, nullptr);
        break;
      }
      pushed(v);
      break;
    case TYPE_ISSUE:
      if (next < end && TYPE_OF(rs_abs_at(block, next)) == TYPE_BLOCK &&
          (symbol::EQUAL_WORDS_q(&v, words::sym_system) || symbol::EQUAL_WORDS_q(&v, words::sym_system_global)))
        fire(err::internal_ixo_system);
      [[fallthrough]];
    default:
      pushed(v);
      break;
  }
  if (stack::pending_exit) return next;

  if (!(how & EVAL_NO_INFIX)) {
    next = infix_steps<General>(block, next, end, sub, entry_top);
    if (stack::pending_exit) return next;
  }
  if constexpr (General) {
    if (tracing_on && !sub) fire_event(EVENT_EXPR, block, next, &v, stack::arguments);
  }
  return next;
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
  uint32_t how = EVAL_SUB | EXPR_PAREN_TRIED;
  do {
    eval_cursor->data1 = static_cast<uint32_t>(pos);
    stack::top = base;
    pos = expression<false>(&block, pos, end, how);
    how = EVAL_SUB;
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
  else pos = eval_expression(block, pos, end, EVAL_RESULT);
  stack::close(!keep);
  return pos;
}

int32_t eval_expression(const cell* block, int32_t pos, int32_t end, uint32_t flags) {
  end = std::min(end, rs_abs_cells(block));
  if (!shortcuts_q()) return expression<true>(block, pos, end, flags);
  return expression<false>(block, pos, end, flags);
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

int32_t walk_path(const cell* given, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                  const cell* set_value);

}  // namespace

int32_t eval_path(const cell* given, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                  const cell* set_value) {
  const bool set = flags & EVAL_SET, get = flags & EVAL_GET, sub = flags & EVAL_SUB;
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
    return call_function(&function, block, pos, end, flags & EVAL_SUB, &path, static_cast<int32_t>(path.data1) + 1,
                         &name);
  }
  return walk_path(given, block, pos, end, flags, set_value);
}

namespace {

// The path evaluated element by element, with tracing's events: what the
// shortcuts above leave.
[[gnu::noinline]] int32_t walk_path(const cell* given, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                                    const cell* set_value) {
  const bool set = flags & EVAL_SET, get = flags & EVAL_GET, sub = flags & EVAL_SUB, case_ = flags & EVAL_CASE;
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
    pos = call_function(&f, block, pos, end, flags & EVAL_SUB, &path, first + 1, &head);
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
      pos = call_function(&f, block, pos, end, flags & EVAL_SUB, &path, i + 1, &name);
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
      eval_path(&holder, block, pos, end, EVAL_SUB | EVAL_SET | (flags & EVAL_CASE), &changed);
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
  install_hooks();
}

}  // namespace ixo::interpreter
