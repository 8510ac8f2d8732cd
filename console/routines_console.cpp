// The console's routines: the language's side of the line editor (`ask`
// reads through `_set-buffer-history` and `_read-input`), the two plain
// readers of standard input, the console object's `init`, and the bridge
// that lets the editor's Tab key call the language's completion. Also the
// console's launch, the last step of start-up.
#include "console/routines_console.hpp"

#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <string>
#include <vector>

#include "console/line_editor.hpp"
#include "console/terminal.hpp"
#include "platform/posix/files.hpp"
#include "platform/simple_io.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::console {

namespace {

// Fields of system/console that the runtime reads by position.
constexpr int32_t FIELD_SIZE = 5;

// system/console when it is an object, else null.
cell* console_object() {
  cell* sys = context::get_global(symbol::make("system"));
  if (!sys || TYPE_OF(sys) != TYPE_OBJECT) return nullptr;
  int32_t sym = symbol::make("console");
  if (context::find_word(sys->data1, sym, true) < 0) return nullptr;
  cell* con = context::get_in(sym, sys->data1);
  return con && TYPE_OF(con) == TYPE_OBJECT && object::count_words(con) > FIELD_SIZE ? con : nullptr;
}

// system/console/size follows the window: columns and rows, 80x50 when the
// terminal cannot tell.
void store_window_size() {
  cell* con = console_object();
  if (!con) return;
  terminal::window w = terminal::window_size();
  if (w.columns <= 0 || w.rows <= 0) w = {80, 50};
  object::get_values(con)[FIELD_SIZE] = pair::make_cell(w.columns, w.rows);
}

// The editor's Tab key: the language's `ixo-complete-input` over the line,
// for the console. An error raised by the completion counts as nothing to
// complete, so that a Tab never ends the console.
void complete(cell* line, cell* answer) {
  cell* found = context::get_global(symbol::make("ixo-complete-input"));
  if (!found || TYPE_OF(found) != TYPE_FUNCTION) return;
  cell function = *found;
  memory::root_guard keep(&function);
  stack::call_frame* frame = stack::frame_top;
  stack::mark(words::word_try, stack::FRAME_TRY);
  cell* base = stack::arguments;
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    stack::push(*line);
    stack::push(logic::make_cell(true));
    interpreter::call_value(&function, words::word_anon, 2, interpreter::CALLBACK_NONE);
    *answer = *stack::top_cell();
  });
  if (code != 0 && code != THROW_ERROR) system::throw_to_catch();
  if (code == THROW_ERROR) {
    system::clear_thrown();
    stack::frame_top = frame + 1;
    stack::arguments = base;
    *answer = cell{TYPE_NONE, 0, 0, 0};
  }
  stack::unroll();
}

// Arguments of a routine, by position.
cell* argument(int32_t i) { return stack::arguments + i; }

}  // namespace

// _set-buffer-history line hist
void set_buffer_history() { line_editor::set_buffer_history(argument(0), argument(1)); }

// _read-input prompt hidden?: true when a line came, false when the input
// had ended and nothing was typed.
void read_input() {
  if (terminal::input_is_console_q) store_window_size();
  bool got = line_editor::read_input(argument(0), TYPE_OF(argument(1)) == TYPE_LOGIC && argument(1)->data1);
  *stack::arguments = logic::make_cell(got);
}

// _halt-on-interrupt on?: while on, and the input is a terminal, Ctrl-C
// stops the evaluation under way as `halt` does instead of ending the
// process.
void halt_on_interrupt() {
  system::set_interrupt_halts(terminal::input_is_console_q && TYPE_OF(argument(0)) == TYPE_LOGIC &&
                              argument(0)->data1);
  *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
}

// _terminate-console: nothing to undo on a terminal, raw mode is left at
// the end of every edit.
void terminate_console() { *stack::arguments = cell{TYPE_UNSET, 0, 0, 0}; }

// input-stdin: one line of standard input, without its line feed.
void input_stdin() {
  std::string bytes;
  terminal::read_line_bytes(bytes);
  *stack::arguments = cell{TYPE_STRING, 0,
                           unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                  static_cast<int32_t>(bytes.size())),
                           0};
}

// read-stdin buffer buflen: appends up to buflen bytes of standard input to
// the binary (growing it as needed) and answers how many came, 0 at the
// end of input.
void read_stdin() {
  int32_t room = integer::get(argument(1));
  if (room < 0) fire(err::script_out_of_range, {*argument(1)});
  std::vector<uint8_t> bytes(static_cast<size_t>(room));
  int32_t got = room > 0 ? terminal::read_bytes(bytes.data(), room) : 0;
  if (got > 0) {
    uint8_t* at = series::alloc_tail_bytes(memory::GET_BUFFER(argument(0)), got);
    std::memcpy(at, bytes.data(), static_cast<size_t>(got));
  }
  *stack::arguments = integer::make_cell(got);
}

// make-private-dir dir: one folder that only its owner may use; its
// parent must exist.
void make_private_dir() {
  std::string path;
  if (!simple_io::os_path_of(argument(0), path) || !platform::make_private_dir(path.c_str()))
    fire(err::access_no_create, {*argument(0)});
  *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
}

// replace-file file text: the text as UTF-8 in place of the file, written
// to a new file beside it that is then renamed over it.
void replace_file() {
  std::string path;
  cell* file = argument(0);
  std::string bytes = simple_io::value_to_bytes(argument(1), -1);
  if (!simple_io::os_path_of(file, path)) fire(err::access_cannot_open, {*file});
  if (!platform::replace_file(path.c_str(), bytes.data(), static_cast<int32_t>(bytes.size())))
    simple_io::cannot_write(file, errno);
  *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
}

// init str: the window title (on a terminal, as an xterm title sequence)
// and system/console/size.
void init() {
  if (isatty(STDOUT_FILENO)) {
    std::string title = "\x1b]0;";
    cell* s = argument(0);
    for (int32_t i = 0, n = string::rs_length_q(s); i < n; ++i) {
      uint32_t cp = string::rs_abs_at(s, static_cast<int32_t>(s->data1) + i);
      if (cp >= 32 && cp < 127) title += static_cast<char>(cp);
    }
    title += '\a';
    ssize_t written = write(STDOUT_FILENO, title.data(), title.size());
    (void)written;
  }
  store_window_size();
  *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
}

void init_routines() {
  routine::register_entry("_set-buffer-history", set_buffer_history);
  routine::register_entry("_read-input", read_input);
  routine::register_entry("_terminate-console", terminate_console);
  routine::register_entry("_halt-on-interrupt", halt_on_interrupt);
  routine::register_entry("input-stdin", input_stdin);
  routine::register_entry("read-stdin", read_stdin);
  routine::register_entry("init", init);
  routine::register_entry("make-private-dir", make_private_dir);
  routine::register_entry("replace-file", replace_file);
  line_editor::set_completion(complete);
}

// Start-up's last step: `cli-console-ctx/launch`, which runs the script
// named on the command line or the read-eval-print loop.
void launch() {
  static const char code[] = "cli-console-ctx/launch";
  cell* block = stack::push_slot();
  lexer::load_text(block, code, static_cast<int32_t>(sizeof code - 1));
  interpreter::eval_block(block, false);
}

}  // namespace ixo::console
