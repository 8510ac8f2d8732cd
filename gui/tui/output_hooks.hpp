// The text UI's pause and resume hooks. Every console print runs the pause
// hook before it writes and the resume hook after, so that a running text UI
// can leave its screen mode around the output and redraw afterwards. With no
// text UI active both do nothing.
#pragma once

namespace ixo::tui {

void pause_output();
void resume_output();

// The active backend installs its pair here; null pointers uninstall.
void set_output_hooks(void (*pause)(), void (*resume)());

}  // namespace ixo::tui
