// refinement!: a word written after "/", naming an optional part of a
// function's interface. Molded with "/" before the spelling; the cell
// layout and the other actions are word!'s (index? excepted).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::refinement {

// Appends to the root block a refinement of the text bound to no context
// (unresolved) and answers it.
cell* load(const char* text);
// word::load_in, then the whole header becomes refinement!.
cell* load_in(const char* text, uint32_t block);
// Pushes a copy of the cell retyped, its other header flags kept.
cell* push(const cell& c);
// Pushes a copy of the word cell of a slot of the context's word list
// whose whole header becomes refinement!.
cell* push_local(uint32_t ctx, int32_t index);

void init();

}  // namespace ixo::refinement
