// file!: a url! whose text is a path in the language's form, with its own
// mold and the OS form of a path that the platform's services are given.
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

// Registers file! (type 8) under url!, from which it inherits make, to and
// the path step.
void init();

}  // namespace ixo::file
