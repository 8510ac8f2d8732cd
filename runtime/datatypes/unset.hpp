// unset!: the absence of a value.
#pragma once
#include "runtime/memory/cell.hpp"

namespace ixo::unset {

// The shared unset cell; actions answer it where a shared result suffices
// and the caller copies it.
extern cell unset_value;

void box();     // the result slot becomes unset
cell* push();   // a new unset cell on the value stack
void init();    // registers unset!

}  // namespace ixo::unset
