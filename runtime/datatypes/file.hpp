// file!: a url! whose text is a path in the language's form, with its own
// mold, the OS form of a path that the platform's services are given, and
// the file actions read, write, delete, query and rename over them.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::file {

// Appends the OS form of the path held by `file` (from its index) to the
// string `target`. On this platform the OS form is the language's form
// with each run of slashes collapsed to one.
void to_OS_path_at(cell* file, cell* target);

// The OS form of the path as NUL-terminated UTF-8 text, for the platform.
std::string to_OS_path(cell* file);

// c becomes a string of the process's current directory in the OS form,
// ending with "/"; access/cannot-open with %./ when the system cannot tell
// it (the directory was removed).
cell* get_current_dir(cell* c);

// Registers file! (type 8) under url!, from which it inherits make, to and
// the path step.
void init();

}  // namespace ixo::file
