// The view platform's members that the GUI layer itself supplies in C++:
// make-null-handle, the handle that screens hold when the backend has no
// handle of its own for them.
#include "gui/platform.hpp"

#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::gui::platform {

namespace {

// A handle! of no class holding 0.
void make_null_handle() { handle::make_at(stack::arguments, 0, 0); }

}  // namespace

void init_routines() { routine::register_entry("make-null-handle", make_null_handle); }

}  // namespace ixo::gui::platform
