// The cycles stack: CYCLES_ENTRIES nodes on the tracked heap, pushed and
// popped as a recursive walk enters and leaves a series or context, and
// the placeholders that mold and form write for a value met again inside
// itself. A push that fills the stack empties it and raises
// internal/too-deep. Relies on string! for the placeholders.
#include "runtime/core/cycles.hpp"

#include <cstring>

#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/heap.hpp"

namespace ixo::cycles {

namespace {
uint32_t* base = nullptr;
uint32_t* top = nullptr;
uint32_t* end = nullptr;
}  // namespace

void init() {
  base = top = static_cast<uint32_t*>(heap::alloc_tracked(CYCLES_ENTRIES * 4));
  end = base + CYCLES_ENTRIES;
}

void push(uint32_t node) {
  *top++ = node;
  if (top == end) {
    top = base;
    fire(err::internal_too_deep);
  }
}

void pop() {
  if (top > base) --top;
}

void pop_n(int32_t n) { top -= n; }

void reset() { top = base; }

bool find_q(uint32_t node) {
  for (uint32_t* p = base; p < top; ++p)
    if (*p == node) return true;
  return false;
}

bool detect_q(const cell* value, cell* output, int32_t* limit, bool mold) {
  uint32_t type = TYPE_OF(value);
  if (!find_q(type == TYPE_OBJECT ? value->data1 : value->data2)) return false;
  const char* placeholder = "...";
  if (mold) {
    switch (type) {
      case TYPE_BLOCK: case TYPE_HASH: placeholder = "[...]"; break;
      case TYPE_PAREN: placeholder = "(...)"; break;
      case TYPE_MAP: placeholder = "#[...]"; break;
      case TYPE_OBJECT: placeholder = "make object! [...]"; break;
      default: break;
    }
  }
  string::concatenate_literal(memory::GET_BUFFER(output), placeholder);
  *limit -= static_cast<int32_t>(std::strlen(placeholder));
  return true;
}

int32_t depth() { return static_cast<int32_t>(top - base); }

uint32_t* entries() { return base; }

}  // namespace ixo::cycles
