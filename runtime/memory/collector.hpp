// The compacting collector. A cycle marks every series the roots reach,
// slides the live buffers of each series frame towards lower addresses
// (into the frame before when that one has room), gives back the nodes of
// dead buffers, dead big series and emptied frames, and now and then moves
// the nodes out of sparse node frames that have stayed unchanged for
// several cycles so that those frames can be given back too.
//
// Roots: the root block, the symbol table, the ownership table, the value
// stack from its bottom to its top, the call frames, the registered roots
// of C++ code (roots.hpp) and the root callbacks below. Nothing on the
// machine stack is scanned. Marking works through an explicit stack of
// cell ranges, never by recursion, so nesting depth costs heap, not stack.
//
// A cycle allocates no series and no node: code called from it (the hooks,
// root callbacks, finalisers) must not allocate either.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::collector {

// Cycles that moved nodes; only grows.
extern uint32_t node_relocation_count;
// 1 while a cycle runs: table operations called from a cycle never re-hash.
extern int32_t in_progress;
// Node compaction runs only while this is 1; a table rebuild clears it for
// its duration.
extern int32_t node_compaction;
// Cycles run so far; only grows.
extern uint32_t series_cycle_count;
// The ownership table (a record table of kind 4), once made: marked like
// every table, and after marking swept of the records whose key died.
extern uint32_t ownership_table;

// Starts the counts, learns the symbol of `self` (the symbol table must
// exist) and installs `collect` as the collection that allocation runs.
void init();
// A cycle, unless collector_active is 0 or a cycle is running already.
void collect();
// One full cycle, whatever the active flag says (`recycle` runs it).
void do_cycle();

// A function called during marking to mark roots that live outside the
// runtime's own tables, with mark_node and mark_values.
using root_callback = void (*)();
void register_root(root_callback callback);
// Forgets the first registration of `callback`; the others keep running.
void unregister_root(root_callback callback);

// Marks the node held in *slot, first rewriting the slot when the node was
// relocated in this cycle; true when it was not marked yet. 0 is no node.
bool mark_node(uint32_t* slot);
// Marks every cell of [first, end) by its datatype before the cycle goes
// on; the cells must stay where they are until the cycle ends.
void mark_values(cell* first, cell* end);

}  // namespace ixo::collector
