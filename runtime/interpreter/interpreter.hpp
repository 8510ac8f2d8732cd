// The interpreter: evaluation of blocks, expressions and paths, calls of
// function values with their arguments and refinements, and the trace
// hook. Values pass through the value stack (stack.hpp): a call's
// arguments start at its argument base, whose cell is also its result.
//
// Positions are absolute cell indexes in the series of the block being
// evaluated (from the series' head, not from the block's index), so that
// they survive the buffer moves of any allocation; `end` is the index
// where evaluation stops (the tail, or less). Every block cell given here
// must stay rooted for the length of the call: a value-stack cell, a
// root-block cell or a cell under memory::root_guard.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::interpreter {

// ---- Evaluation ------------------------------------------------------------

// Evaluates every expression of the block from its index. The result is
// the last expression's value (unset! for an empty block): with `keep` it
// goes to the caller's result slot and is also the caller's last pushed
// cell, without it it is only pushed.
void eval_block(const cell* block, bool keep);

// Evaluates a function's body in the innermost frame, the call's own,
// above its arguments and locals, or a loop's body in its loop frame, as
// eval_block with `keep` would in a frame of its own: the result goes to
// the frame's result slot, the top just above it. Exits travelling as
// status (see stack::pending_exit) may reach the frame from the body's top
// level.
void eval_body(const cell* body);

// Evaluates the branch a conditional chose in the innermost frame, the
// conditional's call, above its arguments, as eval_body does. The
// conditional returns right after it: exits travelling as status may pass
// when the conditional itself was called plainly.
void eval_branch(const cell* branch);

// Evaluates one expression at `pos` in a frame of its own; answers the
// position after it. The result as eval_block's.
int32_t eval_next(const cell* block, int32_t pos, int32_t end, bool keep);

// The block the innermost eval_block is evaluating, at the start of the
// expression under way (an error's `near`); null outside any evaluation.
const cell* current_expression();

// How eval_expression, eval_path and call_function evaluate: bits that
// combine. EVAL_SUB is everybody's; each of the others belongs to the one
// function it names.
constexpr uint32_t EVAL_RESULT = 0;
// The value is pushed (an argument); without it the value becomes the
// result (result slot, and the top just above it).
constexpr uint32_t EVAL_SUB = 1;
// eval_expression: no infix operators after the value.
constexpr uint32_t EVAL_NO_INFIX = 2;
// eval_expression: a function value met literally is a value, not a call.
constexpr uint32_t EVAL_FUNCTIONS_AS_DATA = 4;
// eval_path: the value at `set_value` is stored at the last element.
constexpr uint32_t EVAL_SET = 8;
// eval_path: a function reached is answered, not called.
constexpr uint32_t EVAL_GET = 16;
// eval_path: keys are matched case-sensitively.
constexpr uint32_t EVAL_CASE = 32;
// call_function: an operator's call, its left operand the cell at the
// top's position; only the other arguments are fetched.
constexpr uint32_t EVAL_INFIX = 64;

// Evaluates one expression at `pos` (a value, word, set-word, path, paren,
// a call with its arguments, and the infix operators after it unless
// EVAL_NO_INFIX); answers the position after it. `flags` takes EVAL_SUB,
// EVAL_NO_INFIX and EVAL_FUNCTIONS_AS_DATA.
int32_t eval_expression(const cell* block, int32_t pos, int32_t end, uint32_t flags);

// Walks the path (a function reached on the way is called, taking its
// arguments from the block at `pos` and the remaining path elements as its
// refinements); answers the position after what it consumed. `flags`
// takes EVAL_SUB, EVAL_SET (with `set_value`), EVAL_GET and EVAL_CASE.
int32_t eval_path(const cell* path, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                  const cell* set_value);

// ---- Calls -------------------------------------------------------------------

// How `apply` hands arguments over, bits that combine: refinements come
// as logic! values in their spec positions (APPLY_LOGIC) or as refinement!
// values each followed by the expression that decides it
// (APPLY_REFINEMENTS); with APPLY_SAFER each argument is exactly one
// value of the block and the arguments of an unused refinement are
// skipped unevaluated. With any mode the block's end fills the missing
// arguments with none.
enum apply_mode : uint32_t {
  APPLY_NONE = 0,
  APPLY_LOGIC = 1,
  APPLY_REFINEMENTS = 2,
  APPLY_SAFER = 4,
};

// Calls a native!, action!, function! or routine! whose arguments follow at
// `pos` in the block; answers the position after them. `path` (or null)
// supplies refinements from its element `refinement_at` on; `name` is the
// word that named the call (null: <anon>). `flags` takes EVAL_SUB and
// EVAL_INFIX. `mode` is APPLY_NONE but from `apply`.
int32_t call_function(const cell* function, const cell* block, int32_t pos, int32_t end, uint32_t flags,
                      const cell* path, int32_t refinement_at, const cell* name, uint32_t mode = APPLY_NONE);

// call_function for a native! or action! called by the word `name`, with
// no path, operator or apply mode.
int32_t call_native(const cell* function, const cell* name, const cell* block, int32_t pos, int32_t end, bool sub);

// For a native! or action! of exactly two evaluated arguments and nothing
// more (its op_plan says `binary`), called by `name` in the current frame: checks the
// argument at the argument base plus `index` (0 or 1) as the call would,
// raising its error.
void check_binary_arg(const cell* function, const cell* name, int32_t index);
// Runs such a function's entry on the two arguments of the current frame;
// its result goes into the frame's result slot.
void call_binary_entry(const cell* function);

// Callback kinds of exec_function and call_value: what runs a function on
// behalf of the runtime. The trace hook does not see inside callbacks.
enum callback_kind : uint32_t {
  CALLBACK_NONE = 0,
  CALLBACK_LEXER = 1,
  CALLBACK_PARSE = 2,
  CALLBACK_SORT = 4,
  CALLBACK_CHANGE = 8,
  CALLBACK_DEEP_CHANGE = 16,
  CALLBACK_PORT = 32,
};

// Runs a function! on the arguments already in the innermost frame, which
// holds one cell per spec word (arguments, refinement flags and their
// arguments, /local and the locals). `return` and `exit` end here; other
// exits and errors pass on. The result is left in the result slot.
void exec_function(const cell* function, const cell* reference, uint32_t callback);

// The entry for runtime code: runs any function value (native!, action!,
// function!, routine!) on the `count` cells pushed last, as its mandatory
// arguments, in a frame named by `name`; refinements are not used and
// locals are none. Those cells are replaced by the result, left as the
// last pushed cell.
void call_value(const cell* function, const cell* name, int32_t count, uint32_t callback);

// ---- Tracing -----------------------------------------------------------------

// Events, by bit.
enum trace_event : uint32_t {
  EVENT_INIT = 0x1, EVENT_END = 0x2, EVENT_PROLOG = 0x4, EVENT_EPILOG = 0x8,
  EVENT_ENTER = 0x10, EVENT_EXIT = 0x20, EVENT_OPEN = 0x40, EVENT_RETURN = 0x80,
  EVENT_FETCH = 0x100, EVENT_PUSH = 0x200, EVENT_SET = 0x400, EVENT_CALL = 0x800,
  EVENT_ERROR = 0x1000, EVENT_THROW = 0x2000, EVENT_CATCH = 0x4000, EVENT_EXPR = 0x8000,
};
constexpr uint32_t EVENT_ALL = 0x1FFFF;

// Events fire while tracing_on is set; it is cleared while the hook runs.
extern bool tracing_on;
extern bool trace_installed;
extern uint32_t trace_event_mask;

// Set at start-up by the environment's IXO_GENERAL_ROUTE=1: every
// evaluation then takes the general route, as a traced one does, and no
// shortcut stands in for it (the script suite runs once this way to show
// that the shortcuts answer what the general route answers).
extern bool general_route;

// Whether the evaluation under way may take the shortcuts: tracing is off
// and the general route was not asked for.
inline bool shortcuts_q() { return !(tracing_on | general_route); }

// Calls the trace hook with the event word, the block (or none) and the
// position as an integer! offset from the block's index (-1 without one),
// the value (or none), the reference (for prolog, epilog, return, set and
// call; else none) and a pair! of the argument base and top indexes.
// Nothing happens unless tracing is on and the event is in the mask.
void fire_event(uint32_t event, const cell* block, int32_t pos, const cell* reference, const cell* value);
// fire_event behind an inline test of tracing_on, for the event sites on
// the evaluation route: with tracing off they cost one load.
inline void traced(uint32_t event, const cell* block, int32_t pos, const cell* reference, const cell* value) {
  if (tracing_on) fire_event(event, block, pos, reference, value);
}

// The events a hook asks for: the words of a block at the head of its
// body, or every event.
uint32_t event_mask(const cell* hook);

// Installs a trace hook (a function! of six arguments) and fires `init`;
// a hook already installed stays. end_trace fires `end` and removes it.
void start_trace(const cell* hook);
void end_trace();

// ---- Start-up ----------------------------------------------------------------

// After the stacks and the runtime's words exist: the trace-hook cell,
// the evaluation cursor, and the runtime hooks that run language
// functions (object change handlers and bodies, sort comparators).
void init();

// After the boot code: builds the call spec of every native! and action!
// the global context holds, op! values included, so that an operator's
// shortcut, which must not allocate, finds its record from the first use.
void build_native_call_specs();

}  // namespace ixo::interpreter
