// The value stack and the call-frame stack. Every evaluation passes its
// values through one stack of cells: a call's arguments start at the
// argument base, whose cell is also the call's result slot, and the callee
// pushes above them. Calls are recorded as 20-byte frames on the
// call-frame stack. Both stacks are fixed blocks held by the root block,
// so their cells never move.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/memory/arena.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::stack {

constexpr int32_t VALUE_STACK_CELLS = 20000;
constexpr int32_t FRAME_STACK_CELLS = 15000;  // 12,000 frames of 20 bytes

// Frame kinds, the top byte of a frame header.
enum frame_kind : uint32_t {
  FRAME_FUNCTION = 0x01,  // call of a function value
  FRAME_NATIVE = 0x02,    // call of a native or action by word
  FRAME_TRY = 0x04,
  FRAME_TRY_ALL = 0x05,
  FRAME_CATCH = 0x06,
  FRAME_LOOP = 0x08,
  FRAME_BODY = 0x12,        // body of a function (native call plus the body flag)
  FRAME_INTERP_CALL = 0x81,
  FRAME_INTERP = 0x82,
  FRAME_EVAL = 0x87,
};
constexpr uint32_t FRAME_BODY_FLAG = 0x10;
constexpr uint32_t FRAME_INTERP_FLAG = 0x80;

struct call_frame {
  uint32_t header;      // symbol id << 8 | kind << 24, and the frame's mark (below)
  uint32_t arguments;   // the caller's argument base (arena offset)
  uint32_t ctx;         // context node of the word naming the call
  uint32_t fun_ctx;     // function context node, or 0
  uint32_t saved;       // that context's values when the frame was pushed
};
static_assert(sizeof(call_frame) == 20, "a call frame is 20 bytes");

inline uint32_t frame_kind_of(const call_frame* f) { return f->header >> 24; }

// The stacks' globals.
extern cell* bottom;
extern cell* arguments;  // argument base, also the result slot
extern cell* top;        // first free cell
extern cell* end;
extern call_frame* frame_bottom;
extern call_frame* frame_top;  // first free frame
extern call_frame* frame_end;

// The error on its way from the raise to the try that takes it (header 0
// when none). It travels here, rooted, rather than as the last pushed
// cell alone: code that puts the stack top back while the error unwinds
// through it cannot lose it.
extern cell error_in_flight;

// Points both stacks at their fixed blocks (empty).
void init(uint32_t value_stack_node, uint32_t frame_stack_node);

// The next free cell, typed as no value; a full stack backs off 5 cells
// and raises internal/stack-overflow.
inline cell* push_slot();
inline cell* push(const cell& value);
// The last pushed cell, or the bottom cell when the stack is empty.
cell* top_cell();
void pop(int32_t n);
// Copies `value` into the result slot; the top does not move.
inline cell* set_last(const cell& value);
// top := arguments + 1, then the value into the result slot.
inline cell* set_result(const cell& value);
// top := arguments.
inline cell* reset();
// top := arguments + 1.
inline cell* keep();

// A refinement's argument cell counts as given when it lies above the
// argument base; direct calls from C++ pass nullptr for an absent one.
inline bool given_q(const cell* arg) { return arg != nullptr && arg > arguments; }

// Pushes a frame named by `word` (a word cell) and opens a new argument
// base at the top. A full frame stack backs the value stack off 5 cells
// and raises internal/stack-overflow.
inline void mark(const cell* word, uint32_t kind);
// Pops the innermost frame, leaving the callee's result as the caller's
// last pushed cell.
inline void unwind();
// unwind, then the callee's result also into the caller's result slot.
inline void unwind_last();
// How an evaluation step closes its frame: unwind for a sub-expression
// (`sub`, its value an argument), else unwind_last.
inline void close(bool sub);
// Pops the innermost frame and drops the callee's cells, result included.
void unroll();
// mark, also recording a function context and its current values, which
// the collector keeps alive while the frame stands.
void mark_func(const cell* word, uint32_t fun_ctx);

// A frame's header holds 16 bits of the naming word's symbol. A word whose
// symbol id does not fit names its frame with FRAME_NAME_NONE, which call
// traces treat like an internal frame: the kind and flag bits stay intact.
constexpr uint32_t FRAME_NAME_NONE = 0xFFFF;
inline uint32_t frame_symbol(const call_frame* f) { return f->header >> 8 & 0xFFFF; }

// The argument base that frame `f` opened: the saved base of the frame
// above it, or the current base for the innermost frame.
cell* own_base(const call_frame* f);
// The innermost frame of the kind, or nullptr.
call_frame* find_frame(uint32_t kind);

// The word of the innermost named call (frames named <body> or <anon> are
// skipped), for the `where` field of errors; <not-found> when there is
// none. Copied into `out`.
void find_call_frame(cell* out);

// Appends to the block, innermost call first, for each frame that names a
// call: its word, bound as find_call_frame binds it, and an integer!, the
// argument base the frame saved in cells from the bottom.
void collect_calls(cell* blk);

// The symbols of the calls that the frames from the bottom up to (not
// including) frame position `limit` name, outermost first: at `level` 1 or
// below only those whose word holds a function! in the frame's context,
// above it every named frame. It reads the frames and allocates nothing, so
// frames that an unwinding left above the top may be read before the next
// allocation; `limit` is at most frame_end - frame_bottom.
std::vector<int32_t> call_words(int32_t level, int32_t limit);

// When an error is in flight, moves it into the result slot; then
// top := arguments + 1.
void set_last_if_error();

// Exits that travel as status. Throwing costs a C++ unwind; when every
// C++ caller between an exit and the site that takes it checks
// `pending_exit` and returns at once, the exit positions the stacks as it
// would for the throw, leaves its code in `pending_exit` and returns
// instead. Those callers are the evaluator's plain path (eval_block, eval_body,
// eval_expression, call_function), the loops' run_body and the
// conditionals that end with their branch; the sites are the loops' and
// function bodies' run_body, which take the code as if caught. Each frame
// carries a mark, cleared when pushed, saying how it was made, from which
// the exit tells whether its path is such a one: the low byte of its
// header.
enum frame_mark : uint8_t {
  MARK_NONE = 0,
  MARK_PLAIN_CALL = 1,   // call_function of a word or function value: no path, infix or trace
  MARK_DIRECT_BODY = 2,  // eval_block run directly by a run_body catch site
  MARK_BRANCH = 3,       // eval_block of the branch a conditional returns right after
  MARK_BODY_FRAME = 4,   // the call or loop frame a run_body site evaluates its body in (eval_body)
  MARK_BRANCH_FRAME = 5, // a plain call of a conditional evaluating its branch in its frame (eval_branch)
};
extern uint32_t pending_exit;  // the code travelling as status, or 0
// The mark of the eval frame of the next eval_block, set by a run_body
// site or a conditional just before it.
extern frame_mark body_mark;
inline void set_frame_mark(call_frame* f, frame_mark m) { f->header = (f->header & ~0xFFu) | m; }
inline frame_mark frame_mark_of(const call_frame* f) { return static_cast<frame_mark>(f->header & 0xFF); }
// A site takes the pending code as a catch site takes a thrown one: into
// the system record's thrown field, answered, and no longer pending.
uint32_t take_pending_exit();

// Non-local exits. Each searches the frame stack from the frame below the
// caller's own call frame, positions both stacks for the frame it found
// (that frame stays on the frame stack, its own argument base becomes the
// current base) and throws its code to the catch site of that frame. A
// try/all frame crossed on the way, or no frame of the kind, raises the
// matching throw/* error with the stacks as they were.
//
// An exit whose path allows it travels as status (see pending_exit) and
// returns to its native, which returns at once.
//
// break (continue false) and continue: to the innermost loop frame; with
// `with_value` the break's argument (the caller's first argument cell)
// becomes the loop's result, else unset.
void throw_break(bool with_value, bool continue_);
// return (value from the caller's first argument cell) and exit (unset):
// to the innermost frame carrying the body flag. With `keep_own_frame`
// the caller's own frame is searched too.
void throw_return(bool return_, bool keep_own_frame);
// throw: to the innermost catch frame, which finds the thrown value and
// the optional name (the caller's first two argument cells) pushed from
// its own base. No catch frame: throw/throw carrying the value.
// The frame position of the first throw stays until a catch takes the
// throw (caught_throw) or an error's `where` is looked up from it.
[[noreturn]] void throw_value(uint32_t code);
// Ctrl-C at the interactive console, taken at an evaluation step: throws
// the word halt-request named console, as `halt` there does, when a catch
// or try/all frame is there to take it; else (the console's own code
// between two commands) it stays pending.
void take_interrupt();
void caught_throw();

// Prints the report of an error value (its form) to the console, as an
// error that nothing catches is reported: the way print prints it.
void print_report(const cell* error);

// Raising an error value (see fire): sets its `where` and `stack` fields,
// positions the stacks at the innermost try frame with the error pushed
// as the last cell (at that frame's own base when the stack is full), and
// throws THROW_ERROR. With no try frame on the frame stack the error
// report is printed and the process ends with status -2.
[[noreturn]] void throw_error(cell* error);
// The second half of throw_error, for an error whose fields are set:
// positions the stacks and throws, or reports and ends the process. It
// allocates nothing on the way to a try frame.
[[noreturn]] void deliver_error(cell* error);

// ---- The pushes, pops and frames of every evaluation step, inline -----------

// Backs the value stack off 5 cells and raises internal/stack-overflow.
[[noreturn]] void overflow();

inline cell* push_slot() {
  cell* slot = top;
  if (++top >= end) overflow();
  // The collector marks every cell below the top: a slot must not show a
  // stale value whose series may be gone.
  slot->header = 0;
  return slot;
}

inline cell* push(const cell& value) {
  cell* slot = push_slot();
  *slot = value;
  return slot;
}

inline cell* set_last(const cell& value) {
  *arguments = value;
  return arguments;
}

inline cell* set_result(const cell& value) {
  top = arguments + 1;
  *arguments = value;
  return arguments;
}

inline cell* reset() {
  top = arguments;
  return arguments;
}

inline cell* keep() {
  top = arguments + 1;
  return arguments;
}

inline void mark(const cell* word, uint32_t kind) {
  // Everything is read before the first store: the build lets any store
  // alias the globals, which would be read again after it.
  call_frame* f = frame_top;
  if (f >= frame_end) overflow();
  // A word cell holds its context node, then its symbol id, then its index.
  uint32_t symbol = word->data2 > 0xFFFE ? FRAME_NAME_NONE : word->data2;
  uint32_t ctx = word->data1;
  uint32_t caller = memory::offset_of(arguments);
  cell* base = top;
  f->header = symbol << 8 | kind << 24 | MARK_NONE;
  f->arguments = caller;
  f->ctx = ctx;
  f->fun_ctx = 0;
  f->saved = 0;
  frame_top = f + 1;
  arguments = base;
}

inline void unwind() {
  call_frame* f = frame_top - 1;
  cell* result = arguments;
  cell* caller = memory::address<cell>(f->arguments);
  frame_top = f;
  top = result + 1;
  arguments = caller;
}

inline void unwind_last() {
  cell* result = arguments;
  unwind();
  *arguments = *result;
}

inline void close(bool sub) {
  if (sub) unwind();
  else unwind_last();
}

}  // namespace ixo::stack
