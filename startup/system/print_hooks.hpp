// Print hooks: the language's print and prin hand each formed string to
// every registered value hook; the console printer, registered at start-up,
// is the one that writes it to the console. Sized hooks run after every
// C-string and number print. Both lists live in the tracked heap.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::print_hooks {

// A string's content as the printer reads it: `bytes` bytes of units of
// `unit` bytes from the string's index to its tail.
using value_hook = void (*)(const void* text, int32_t bytes, int32_t unit, bool newline);
using sized_hook = void (*)(const void* text, int32_t length, int32_t extra);

template <class hook>
struct hook_list {
  hook* entries;
  int32_t count;
  int32_t capacity;  // starts at 5, grows by 5
};

extern hook_list<value_hook> value_hooks;
extern hook_list<sized_hook> sized_hooks;
extern bool ready;  // set once init has finished

// Allocates both lists and registers the console printer as the value hook.
void init();

// Appends each non-null hook to its list.
void add(value_hook value, sized_hook sized);
// Removes the first occurrence of each non-null hook; absent ones are
// ignored.
void remove(value_hook value, sized_hook sized);

// Calls every value hook in registration order.
void run(const void* text, int32_t bytes, int32_t unit, bool newline);
// The same with the units of a string cell from its index (an index past
// the tail gives no units): how print and prin hand over the formed text.
void run(const cell* s, bool newline);
// Calls every sized hook in registration order.
void run_sized(const void* text, int32_t length, int32_t extra);

// The output hook pair: every console print (the console printer's and
// every typed print) runs the pause hook before it writes and the resume
// hook after, so that a running text UI can leave its screen mode around
// the output and redraw afterwards. Prints nest (the console printer's
// error line is a typed print inside a print), so only the outermost pause
// and resume reach the installed hooks: they run exactly once around every
// print. With no pair installed both do nothing.
void pause_output();
void resume_output();
// The active text-UI backend installs its pair here; null pointers
// uninstall.
void set_output_hooks(void (*pause)(), void (*resume)());

// Writes the text in its own unit width; a unit other than 1, 2 or 4 prints
// "Error: unknown string encoding: " and the unit instead.
void console_printer(const void* text, int32_t bytes, int32_t unit, bool newline);

}  // namespace ixo::print_hooks
