// none!: the value of nothing; it behaves as an empty series for the
// series actions that make sense on it.
#pragma once
#include "runtime/memory/cell.hpp"

namespace ixo::none {

extern cell none_value;

void box();
cell* push();
void init();

}  // namespace ixo::none
