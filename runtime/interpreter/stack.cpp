// Value stack and call frames.
#include "runtime/interpreter/stack.hpp"

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/natives_print.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::stack {

cell* bottom = nullptr;
cell* arguments = nullptr;
cell* top = nullptr;
cell* end = nullptr;
call_frame* frame_bottom = nullptr;
call_frame* frame_top = nullptr;
call_frame* frame_end = nullptr;
cell error_in_flight{};
uint32_t pending_exit = 0;
frame_mark body_mark = MARK_NONE;

namespace {

// The frame position saved by the first throw, where the `where` of the
// error that a throw may end in starts looking; nullptr when none.
call_frame* throw_position = nullptr;

// Frames named by these words are the runtime's own and name no call.
bool internal_frame_q(const call_frame* f) {
  uint32_t symbol = frame_symbol(f);
  if (symbol == FRAME_NAME_NONE) return true;
  if (!words::word_body) return false;  // before the runtime's words exist
  return symbol == (words::word_body->data2 & 0xFFFF) || symbol == (words::word_anon->data2 & 0xFFFF);
}

// The search of the non-local exits: from the frame top downwards, the
// innermost frame of `kind` (kind 0 looks for the body flag); nullptr when
// there is none or a try/all frame comes first.
call_frame* search(call_frame* from, uint32_t kind) {
  for (call_frame* f = from; f > frame_bottom;) {
    --f;
    uint32_t k = frame_kind_of(f);
    if (kind == 0 ? (k & FRAME_BODY_FLAG) != 0 : k == kind) return f;
    if (k == FRAME_TRY_ALL) return nullptr;
  }
  return nullptr;
}

// Whether an exit from the native whose frame is the innermost may reach
// `target` as status: the native was called plainly at the top level of a
// block that a run_body site evaluates directly, and that site's frame is
// the target (a function's or a loop's body evaluated in the site's own
// frame is such a block, with no frame of its own); the block may also be
// the branch of a conditional that was itself called so, repeatedly; with
// `through_loops`, also a loop whose native was itself called so,
// repeatedly.
bool status_path_q(const call_frame* target, bool through_loops) {
  const call_frame* f = frame_top - 1;
  if (frame_mark_of(f) != MARK_PLAIN_CALL) return false;
  for (;;) {
    // `f` is a plain call; its block runs in the frame below.
    if (f - 1 < frame_bottom) return false;
    --f;
    switch (frame_mark_of(f)) {
      case MARK_BODY_FRAME:
        break;  // the site's own frame
      case MARK_BRANCH_FRAME:
        continue;  // the conditional's own call, plain
      case MARK_BRANCH:
        --f;  // the conditional's own call
        if (frame_mark_of(f) != MARK_PLAIN_CALL) return false;
        continue;
      case MARK_DIRECT_BODY:
        if (f - 1 < frame_bottom) return false;
        --f;  // the site's own frame
        break;
      default:
        return false;
    }
    if (f == target) return true;
    if (!through_loops || frame_kind_of(f) != FRAME_LOOP) return false;
    --f;  // the loop native's call
    if (frame_mark_of(f) != MARK_PLAIN_CALL) return false;
  }
}

// Makes `f` the innermost frame with its own argument base as the current
// base and an empty argument area.
void position_at(call_frame* f) {
  cell* base = own_base(f);
  frame_top = f + 1;
  arguments = top = base;
}

}  // namespace

void overflow() {
  top = top - 5 < bottom ? bottom : top - 5;
  cycles::reset();
  fire(err::internal_stack_overflow);
}

void init(uint32_t value_stack_node, uint32_t frame_stack_node) {
  memory::series_buffer* v = memory::buffer_of(value_stack_node);
  bottom = arguments = top = memory::head_of<cell>(v);
  end = reinterpret_cast<cell*>(memory::data_end(v));
  memory::series_buffer* f = memory::buffer_of(frame_stack_node);
  frame_bottom = frame_top = memory::head_of<call_frame>(f);
  frame_end = frame_bottom + (f->size / static_cast<int32_t>(sizeof(call_frame)));
  pending_exit = 0;
  body_mark = MARK_NONE;
  error_in_flight = cell{};
  memory::remove_root(&error_in_flight);  // registered once across restarts
  memory::add_root(&error_in_flight, memory::ROOT_CELL);
}

cell* top_cell() { return top == bottom ? bottom : top - 1; }

void pop(int32_t n) { top = (top - bottom < n) ? bottom : top - n; }

void unroll() {
  --frame_top;
  arguments = memory::address<cell>(frame_top->arguments);
  top = arguments;
}

void mark_func(const cell* word, uint32_t fun_ctx) {
  mark(word, FRAME_FUNCTION);
  frame_top[-1].fun_ctx = fun_ctx;
  frame_top[-1].saved = fun_ctx ? context::context_cell(fun_ctx)->data2 : 0;
}

cell* own_base(const call_frame* f) { return f + 1 < frame_top ? memory::address<cell>(f[1].arguments) : arguments; }

call_frame* find_frame(uint32_t kind) {
  for (call_frame* f = frame_top; f > frame_bottom;) {
    --f;
    if (frame_kind_of(f) == kind) return f;
  }
  return nullptr;
}

void find_call_frame(cell* out) {
  call_frame* f = throw_position ? throw_position : frame_top;
  throw_position = nullptr;
  while (f > frame_bottom && internal_frame_q(f - 1)) --f;
  if (f == frame_bottom) {
    *out = words::word_not_found ? *words::word_not_found : unset::unset_value;
    return;
  }
  --f;
  uint32_t ctx = f->ctx ? f->ctx : context::global_ctx;
  *out = *context::find_value_or_add(ctx, static_cast<int32_t>(frame_symbol(f)));
}

// The frame stack never moves: the frame pointers stay valid while the
// block grows.
void collect_calls(cell* blk) {
  for (call_frame* f = frame_top; f > frame_bottom;) {
    --f;
    if (internal_frame_q(f)) continue;
    uint32_t ctx = f->ctx ? f->ctx : context::global_ctx;
    cell word = *context::find_value_or_add(ctx, static_cast<int32_t>(frame_symbol(f)));
    block::rs_append(blk, &word);
    cell base{TYPE_INTEGER, 0, static_cast<uint32_t>(memory::address<cell>(f->arguments) - bottom), 0};
    block::rs_append(blk, &base);
  }
}

std::vector<int32_t> call_words(int32_t level, int32_t limit) {
  std::vector<int32_t> symbols;
  for (const call_frame* f = frame_bottom; f < frame_bottom + limit; ++f) {
    if (internal_frame_q(f)) continue;
    int32_t symbol = static_cast<int32_t>(frame_symbol(f));
    if (level <= 1) {
      const cell* value = context::get_in(symbol, f->ctx ? f->ctx : context::global_ctx);
      if (!value || TYPE_OF(value) != TYPE_FUNCTION) continue;
    }
    symbols.push_back(symbol);
  }
  return symbols;
}

void set_last_if_error() {
  if (TYPE_OF(&error_in_flight) == TYPE_ERROR) *arguments = error_in_flight;
  error_in_flight = cell{};
  top = arguments + 1;
}

void throw_break(bool with_value, bool continue_) {
  cell* given = arguments;
  call_frame* from = frame_top > frame_bottom ? frame_top - 1 : frame_top;
  call_frame* loop = search(from, FRAME_LOOP);
  if (!loop) fire(continue_ ? err::throw_continue : err::throw_break);
  cell result = with_value && !continue_ ? *given : unset::unset_value;
  bool by_status = status_path_q(loop, false);
  position_at(loop);
  set_result(result);
  top = arguments;
  if (by_status) {
    pending_exit = continue_ ? THROW_CONTINUE : THROW_BREAK;
    return;
  }
  throw throw_signal{continue_ ? THROW_CONTINUE : THROW_BREAK};
}

void throw_return(bool return_, bool keep_own_frame) {
  cell* given = arguments;
  call_frame* from = keep_own_frame || frame_top == frame_bottom ? frame_top : frame_top - 1;
  call_frame* body = search(from, 0);
  if (!body) fire(err::throw_return);
  cell result = return_ ? *given : unset::unset_value;
  bool by_status = !keep_own_frame && status_path_q(body, true);
  position_at(body);
  set_result(result);
  top = arguments;
  if (by_status) {
    pending_exit = return_ ? THROW_RETURN : THROW_EXIT;
    return;
  }
  throw throw_signal{return_ ? THROW_RETURN : THROW_EXIT};
}

void throw_value(uint32_t code) {
  cell value = *arguments, name = top > arguments + 1 ? arguments[1] : unset::unset_value;
  call_frame* from = frame_top > frame_bottom ? frame_top - 1 : frame_top;
  if (!throw_position) throw_position = frame_top;
  call_frame* catcher = search(from, FRAME_CATCH);
  if (!catcher) fire(err::throw_throw, {value});
  position_at(catcher);
  push(value);
  push(name);
  throw throw_signal{code};
}

void take_interrupt() {
  bool taken = false;
  for (call_frame* f = frame_top; f > frame_bottom && !taken;) {
    uint32_t k = frame_kind_of(--f);
    taken = k == FRAME_CATCH || k == FRAME_TRY_ALL;
  }
  if (!taken) return;
  system::interrupt_pending = 0;
  mark(words::word_throw, FRAME_NATIVE);
  word::push_symbol(symbol::make("halt-request"));
  word::push_symbol(symbol::make("console"));
  throw_value(THROW_THROW);
}

void caught_throw() { throw_position = nullptr; }

uint32_t take_pending_exit() {
  uint32_t code = pending_exit;
  pending_exit = 0;
  sysrec.thrown = code;
  return code;
}

void print_report(const cell* error) { natives::print_value(error, true); }

void throw_error(cell* error) {
  if (frame_top > frame_bottom) {
    cell where{};
    memory::root_guard keep_where(&where);
    find_call_frame(&where);
    // Outside any named call the error has no `where` to show.
    if (!words::word_not_found || where.data2 != words::word_not_found->data2) error::set_where(error, where);
    cell* stack_field = error::field(error, error::FIELD_STACK);
    if (TYPE_OF(stack_field) != TYPE_BLOCK)
      *stack_field = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(frame_top - frame_bottom), 0};
  }
  deliver_error(error);
}

void deliver_error(cell* error) {
  call_frame* guard = nullptr;
  for (call_frame* f = frame_top; f > frame_bottom && !guard;) {
    --f;
    if (frame_kind_of(f) == FRAME_TRY || frame_kind_of(f) == FRAME_TRY_ALL) guard = f;
  }
  if (!guard) {
    // Nothing catches it: the report goes to the console and the process
    // ends with status -2. An error raised by the report itself ends it
    // at once.
    static bool reporting = false;
    if (reporting) system::exit_process(-2);
    reporting = true;
    set_last(*error);
    print_report(error);
    system::exit_process(-2);
  }
  // The error goes above the cells the raise left, which C++ callers
  // unwinding meanwhile may still read; when the stack has no room left
  // for it (a stack overflow, or the making of its error, filled it), to
  // the try frame's own base, which lies below the raise.
  cell* base = own_base(guard);
  cell* at = top;
  frame_top = guard + 1;
  arguments = base;
  top = at < base || end - at < 2 ? base : at;
  push(*error);
  error_in_flight = *error;
  throw throw_signal{THROW_ERROR};
}

}  // namespace ixo::stack
