// Support routines that natives share with the interpreter.
#pragma once

#include "runtime/memory/cell.hpp"

namespace ixo::compiled {

// Looks the key up in the block `cases` from its index, stepping one cell
// (`every_value`) or two: a cell of the key's datatype that compares equal
// to it matches. Answers the value after the match (with `to_block`: the
// first block! after it), or the match itself when nothing follows; none
// when nothing matches or the key is a block!.
cell select_key(const cell* key, const cell* cases, bool every_value, bool to_block);

}  // namespace ixo::compiled
