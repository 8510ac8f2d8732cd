// The process, system and value routines of the boot library: quitting,
// quiet assignment, the OS description, colour and address tuples, and the
// clipboard routines.
#include "boot/routines.hpp"

#include "platform/clipboard.hpp"
#include "platform/os_info.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::boot {

namespace {

// The integer arguments of a tuple routine, checked in order: negative
// ones are invalid, and so are ones above `most` when it is given.
void read_components(int32_t count, int32_t most, int32_t* values) {
  for (int32_t i = 0; i < count; ++i) {
    values[i] = integer::get(stack::arguments + i);
    if (values[i] < 0 || (most >= 0 && values[i] > most)) fire(err::script_invalid_arg, {stack::arguments[i]});
  }
}

}  // namespace

void quit_return() { system::exit_process(integer::get(stack::arguments)); }

void set_quiet() {
  cell word = stack::arguments[0];
  cell value = stack::arguments[1];
  memory::root_guard keep_word(&word), keep_value(&value);
  if (!any_word_q(TYPE_OF(&word))) {
    cell name = error_word("set-quiet");
    cell argument = error_word("word");
    fire(err::script_expect_arg, {name, datatype::make_cell(TYPE_OF(&word)), argument});
  }
  if (word.data1 == 0) fire(err::script_not_defined, {word});
  context::set_in(&word, value, word.data1, false);
  *stack::arguments = value;
}

void os_info() { *stack::arguments = *platform::get_OS_info(); }

void as_color() {
  int32_t v[3];
  read_components(3, -1, v);
  tuple::make_rgba(stack::arguments, v[0] & 255, v[1] & 255, v[2] & 255, -1);
}

// A component above 255 is refused rather than carried into the next byte.
void as_ipv4() {
  int32_t v[4];
  read_components(4, 255, v);
  tuple::make_rgba(stack::arguments, v[0], v[1], v[2], v[3]);
}

void as_rgba() { as_ipv4(); }

void read_clipboard() { clipboard::read(stack::arguments); }

void write_clipboard() { *stack::arguments = logic::make_cell(clipboard::write(stack::arguments)); }

void init_system_routines() {
  routine::register_entry("quit-return", quit_return);
  routine::register_entry("set-quiet", set_quiet);
  routine::register_entry("os-info", os_info);
  routine::register_entry("as-color", as_color);
  routine::register_entry("as-ipv4", as_ipv4);
  routine::register_entry("as-rgba", as_rgba);
  routine::register_entry("read-clipboard", read_clipboard);
  routine::register_entry("write-clipboard", write_clipboard);
}

}  // namespace ixo::boot
