// The process's command line as the language sees it: the raw line of
// system/script/args and the argument strings of system/options/args,
// both made from the arguments that start-up copied into the system
// record. Arguments are bytes on Linux: invalid UTF-8 in them becomes
// U+FFFD, never an error.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::platform {

// The arguments joined with single spaces, the program's path first; an
// argument that is empty or holds a space, a tab or a double quote is
// written in double quotes, a double quote inside it doubled, so that it
// stays one argument when the line is split again.
std::string raw_command_line(int32_t argc, char* const* argv);

// Pushes the raw command line of the process as a string!.
cell* get_command_line();

// Pushes a block of the arguments after the program's path, one string!
// each, exactly as given: no splitting, no quotes removed.
cell* push_arguments(int32_t argc, char* const* argv);

}  // namespace ixo::platform
