// action!: the language-level handle of an action dispatcher, which calls
// the action's implementation for the datatype of its first argument. The
// cell is native!'s, payload word 1 holding the action's number (1-62,
// never 8, whose slot is empty) instead of a native slot.
#pragma once

namespace ixo::action {

void init();

}  // namespace ixo::action
