#include "gui/tui/output_hooks.hpp"

namespace ixo::tui {

namespace {
void (*pause_hook)() = nullptr;
void (*resume_hook)() = nullptr;
}  // namespace

void pause_output() {
  if (pause_hook) pause_hook();
}

void resume_output() {
  if (resume_hook) resume_hook();
}

void set_output_hooks(void (*pause)(), void (*resume)()) {
  pause_hook = pause;
  resume_hook = resume;
}

}  // namespace ixo::tui
