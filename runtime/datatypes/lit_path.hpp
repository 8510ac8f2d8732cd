// lit-path!: a path taken as itself ('a/b): evaluating it gives the path.
// Molded as 'a/b. Everything else is path!'s.
#pragma once

#include "runtime/memory/cell.hpp"

namespace ixo::lit_path {

// Retypes the cell (its whole header) and pushes a copy.
cell* push(cell* c);

void init();

}  // namespace ixo::lit_path
