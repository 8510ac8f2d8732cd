// paren!: a block written in parentheses, (1 + 2), which the interpreter
// evaluates where it meets it. Same cell layout and actions as block!;
// only its mold differs.
#pragma once

#include "runtime/memory/cell.hpp"

namespace ixo::paren {

// Retypes the cell (its whole header) and pushes a copy.
cell* push(cell* c);

void init();

}  // namespace ixo::paren
