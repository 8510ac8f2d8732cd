// set-word!: a word that sets its value when evaluated. Molded with ":"
// after the spelling. The cell layout and every other action are word!'s.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::set_word {

// word::load retyped. Outside start-up the global context's own cell
// stays a word!: the answer is then a copy appended to the root block.
cell* load(const char* text);
// word::load_in retyped.
cell* load_in(const char* text, uint32_t block);
// Pushes a copy of the cell retyped, its other header flags kept.
cell* push(const cell& c);
// Pushes a copy of the word cell of a slot of the context's word list,
// retyped.
cell* push_local(uint32_t ctx, int32_t index);

void init();

}  // namespace ixo::set_word
