// set-path!: a path that stores into what it reaches (a/b:). Molded as a/b:.
// Everything else is path!'s.
#pragma once

#include "runtime/memory/cell.hpp"

namespace ixo::set_path {

// Retypes the cell (its whole header) and pushes a copy.
cell* push(cell* c);

void init();

}  // namespace ixo::set_path
