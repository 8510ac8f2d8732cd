// get-path!: a path whose evaluation fetches the value it reaches without
// calling it (:a/b). Molded as :a/b. Everything else is path!'s.
#pragma once

#include "runtime/memory/cell.hpp"

namespace ixo::get_path {

// Retypes the cell (its whole header) and pushes a copy.
cell* push(cell* c);

void init();

}  // namespace ixo::get_path
