// The cycles stack: the series and contexts that a recursive walk (mold,
// form, compare, bind, copy...) is currently inside, so that a value that
// contains itself is met with a placeholder instead of endless recursion.
// Only the current path of the walk is on it.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::cycles {

constexpr int32_t CYCLES_ENTRIES = 1000;

// The entries (nodes) live on the tracked heap; set up once at start-up.
void init();

// Records a node the walk descends into; the 1,000th nested push empties
// the stack and raises internal/too-deep.
void push(uint32_t node);
// Back by one entry; nothing on an empty stack.
void pop();
void pop_n(int32_t n);
void reset();
bool find_q(uint32_t node);
// When the value (an object by its context, any other by its series) is
// already on the stack, appends its placeholder to the output string,
// takes the placeholder's length off *limit and answers true. Molded:
// "[...]" for block! and hash!, "(...)" for paren!, "#[...]" for map!,
// "make object! [...]" for object!, "..." for the paths and anything else;
// formed: "...".
bool detect_q(const cell* value, cell* output, int32_t* limit, bool mold);
// Entries in use, for tests and the collector's rewrite of moved nodes.
int32_t depth();
uint32_t* entries();

// A walk inside a node for its scope: pushed on construction; on the way
// out, by return or by error, the stack is cut back to where it was.
struct walk {
  explicit walk(uint32_t node) : depth_at(depth()) { push(node); }
  ~walk() {
    if (depth() > depth_at) pop_n(depth() - depth_at);
  }
  walk(const walk&) = delete;
  walk& operator=(const walk&) = delete;
  int32_t depth_at;
};

}  // namespace ixo::cycles
