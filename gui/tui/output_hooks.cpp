// The text UI's pause and resume hook points. Prints nest (the console
// printer's error line is a typed print inside a print), so only the
// outermost pause and resume reach the installed hooks: they run exactly
// once around every print.
#include "gui/tui/output_hooks.hpp"

#include <cstdint>

namespace ixo::tui {

namespace {
void (*pause_hook)() = nullptr;
void (*resume_hook)() = nullptr;
int32_t depth = 0;  // prints in progress
}  // namespace

void pause_output() {
  if (depth++ == 0 && pause_hook) pause_hook();
}

void resume_output() {
  if (--depth == 0 && resume_hook) resume_hook();
}

void set_output_hooks(void (*pause)(), void (*resume)()) {
  pause_hook = pause;
  resume_hook = resume;
}

}  // namespace ixo::tui
