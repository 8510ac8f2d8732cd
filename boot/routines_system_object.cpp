// The routines that the system object is made from and kept in step with:
// the global context seen as an object (system/words), the runtime's error
// catalog (system/catalog/errors: the object start-up made, not a copy),
// the raw command line (system/script/args), and the float former's pretty
// switch, which the change handler of system/options/float sets.
#include "boot/routines.hpp"

#include "platform/command_line.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::boot {

// An object over the global context itself, of no class and without
// change handlers: a path through it reaches the global value of a word
// even where a local word of that name hides it.
void make_system_words() {
  *stack::arguments = cell{TYPE_OBJECT, context::global_ctx, 0xFFFFFFFF, 0};
}

void error_catalog() { *stack::arguments = error::catalog; }

void get_command_line() { *stack::arguments = *platform::get_command_line(); }

void set_float_pretty() {
  float_::pretty_q = logic::get(stack::arguments) != 0;
  *stack::arguments = unset::unset_value;
}

void init_system_object_routines() {
  routine::register_entry("make-system-words", make_system_words);
  routine::register_entry("error-catalog", error_catalog);
  routine::register_entry("get-command-line", get_command_line);
  routine::register_entry("set-float-pretty", set_float_pretty);
}

}  // namespace ixo::boot
