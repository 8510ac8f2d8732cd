// The process's environment as a language value.
#pragma once
#include "runtime/memory/cell.hpp"

namespace ixo::platform {

// Pushes a map! of every environment variable, name to value, both
// string!. The name ends at the first "=" after its first character, so a
// value keeps every "=" it holds; names differing only in case stay apart.
cell* list_env();

}  // namespace ixo::platform
