// The members of system/view/platform written in C++ by the GUI layer
// (the backend's own members come with the backend).
#pragma once

namespace ixo::gui::platform {

// Registers make-null-handle.
void init_routines();

}  // namespace ixo::gui::platform
