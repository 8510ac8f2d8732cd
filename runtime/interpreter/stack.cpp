// Value stack and call frames.
#include "runtime/interpreter/stack.hpp"

#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::stack {

cell* bottom = nullptr;
cell* arguments = nullptr;
cell* top = nullptr;
cell* end = nullptr;
call_frame* frame_bottom = nullptr;
call_frame* frame_top = nullptr;
call_frame* frame_end = nullptr;

namespace {

[[noreturn]] void overflow() {
  top = top - 5 < bottom ? bottom : top - 5;
  fire(err::internal_stack_overflow);
}

}  // namespace

void init(uint32_t value_stack_node, uint32_t frame_stack_node) {
  memory::series_buffer* v = memory::buffer_of(value_stack_node);
  bottom = arguments = top = memory::head_of<cell>(v);
  end = reinterpret_cast<cell*>(memory::data_end(v));
  memory::series_buffer* f = memory::buffer_of(frame_stack_node);
  frame_bottom = frame_top = memory::head_of<call_frame>(f);
  frame_end = frame_bottom + (f->size / static_cast<int32_t>(sizeof(call_frame)));
}

cell* push_slot() {
  cell* slot = top;
  if (++top >= end) overflow();
  // The collector marks every cell below the top: a slot must not show a
  // stale value whose series may be gone.
  slot->header = 0;
  return slot;
}

cell* push(const cell& value) {
  cell* slot = push_slot();
  *slot = value;
  return slot;
}

cell* top_cell() { return top == bottom ? bottom : top - 1; }

void pop(int32_t n) { top = (top - bottom < n) ? bottom : top - n; }

cell* set_last(const cell& value) {
  *arguments = value;
  return arguments;
}

cell* set_result(const cell& value) {
  top = arguments + 1;
  *arguments = value;
  return arguments;
}

cell* reset() {
  top = arguments;
  return arguments;
}

cell* keep() {
  top = arguments + 1;
  return arguments;
}

void mark(const cell* word, uint32_t kind) {
  if (frame_top >= frame_end) overflow();
  // A word cell holds its context node, then its symbol id, then its index.
  frame_top->header = (word->data2 & 0xFFFF) << 8 | kind << 24;
  frame_top->arguments = memory::offset_of(arguments);
  frame_top->ctx = word->data1;
  frame_top->fun_ctx = 0;
  frame_top->saved = 0;
  ++frame_top;
  arguments = top;
}

void unwind() {
  --frame_top;
  top = arguments + 1;
  arguments = memory::address<cell>(frame_top->arguments);
}

void unwind_last() {
  cell* result = arguments;
  unwind();
  *arguments = *result;
}

void unroll() {
  --frame_top;
  arguments = memory::address<cell>(frame_top->arguments);
  top = arguments;
}

}  // namespace ixo::stack
