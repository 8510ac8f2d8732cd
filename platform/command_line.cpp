// The raw command line and the argument block, from the argument strings.
#include "platform/command_line.hpp"

#include <cstring>

#include "platform/simple_io.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/system.hpp"

namespace ixo::platform {

std::string raw_command_line(int32_t argc, char* const* argv) {
  std::string line;
  for (int32_t i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    const char* arg = argv[i];
    bool quoted = *arg == 0 || std::strpbrk(arg, " \t\"") != nullptr;
    if (!quoted) {
      line += arg;
      continue;
    }
    line += '"';
    for (const char* p = arg; *p; ++p) {
      if (*p == '"') line += '"';
      line += *p;
    }
    line += '"';
  }
  return line;
}

cell* get_command_line() {
  std::string line = raw_command_line(sysrec.argc, sysrec.argv);
  cell* result = stack::push_slot();
  return simple_io::load_os_text(line.data(), line.size(), result);
}

cell* push_arguments(int32_t argc, char* const* argv) {
  cell* result = stack::push_slot();
  block::make_at(result, argc > 1 ? argc - 1 : 1);
  cell* arg = stack::push_slot();
  for (int32_t i = 1; i < argc; ++i) {
    simple_io::load_os_text(argv[i], std::strlen(argv[i]), arg);
    block::rs_append(result, arg);
  }
  stack::pop(1);
  return result;
}

}  // namespace ixo::platform
