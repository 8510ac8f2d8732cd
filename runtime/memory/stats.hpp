// Memory statistics for the `stats` native: the bytes that live data takes,
// or a block describing every node frame, series frame and big frame and
// the tracked heap.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::memory {

// Level 1 answers the bytes in use (stats_in_use). Level 2 and above
// append to `block` (a block cell that no allocation moves) three blocks:
// per node frame [free used total] in nodes, per series frame [free used
// total] in bytes, per big frame its size; then the total of the big frames
// (size + 12 each) and the tracked heap blocks (size + 16 each), and the
// tracked heap alone, each an integer! when it fits, else a float!; every
// entry marked to mold on a line of its own. Those levels answer 0.0, and
// so does any level below 1, which appends nothing.
double stats(cell* block, int32_t level);

}  // namespace ixo::memory
