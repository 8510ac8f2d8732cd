// The test driver of the language-level scripts: starts the runtime with
// the boot image as `ixo` does, then loads the script named on the command
// line and evaluates it. Until the console launches scripts itself, the
// script tests run through this driver. An error that ends the script is
// printed as the console prints it and ends the process with status 1.
//
//   script_driver SCRIPT.ixo
#include <fstream>
#include <sstream>
#include <string>

#include "platform/start.hpp"
#include "runtime/core/words.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/catch.hpp"
#include "startup/runtime_error.hpp"
#include "startup/start.hpp"

namespace {

const char* script_path = nullptr;

void run_script() {
  using namespace ixo;
  std::ifstream in(script_path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "script_driver: cannot read %s\n", script_path);
    system::exit_process(1);
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string source = text.str();
  // The script runs in a try frame, so that an error that ends it is
  // reported here and the process says it failed.
  stack::mark(words::word_anon, stack::FRAME_TRY);
  cell* code = stack::push_slot();
  uint32_t failed = catch_site(FILTER_FUNCTION, [&] {
    lexer::load_text(code, source.data(), static_cast<int32_t>(source.size()));
    interpreter::eval_block(code, false);
  });
  if (failed == THROW_ERROR) {
    system::clear_thrown();
    cell error = *stack::top_cell();
    memory::root_guard keep(&error);
    stack::print_report(&error);
    system::exit_process(1);
  }
  system::throw_to_catch();
  system::exit_process(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: script_driver SCRIPT.ixo\n");
    return 2;
  }
  script_path = argv[1];
  ixo::platform::set_process_args(argc, argv);
  ixo::platform::run_on_runtime_stack(
      [] { ixo::start_program(ixo::boot_image::data, ixo::boot_image::size, run_script); });
  return 0;
}
