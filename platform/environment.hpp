// The process's environment as a language value.
#pragma once
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::platform {

// Pushes a map! of every environment variable, name to value, both
// string!. The name ends at the first "=" after its first character, so a
// value keeps every "=" it holds; names differing only in case stay apart.
cell* list_env();

// The user's home folder: HOME when it is set and not empty, else the home
// that the password database gives the user. Empty when that is not an
// existing folder: a home is never created here.
std::string user_home();

}  // namespace ixo::platform
