// The collector's state that other modules read: whether a cycle is
// running, whether node compaction may run, and how many cycles have moved
// nodes. Tables whose keys hash by node address compare their stamp with
// the relocation count to know when to re-hash.
#pragma once
#include <cstdint>

namespace ixo::collector {

// Cycles that moved nodes; only grows.
extern uint32_t node_relocation_count;
// 1 while a cycle runs: table operations called from a cycle never re-hash.
extern int32_t in_progress;
// Node compaction runs only while this is 1; a table rebuild clears it for
// its duration.
extern int32_t node_compaction;

}  // namespace ixo::collector
