// The memory manager's record and its frames. Every frame (node frame,
// series frame, big frame, fixed series) is a run of whole pages of the
// arena whose first 32-bit word holds the run's size; the frame itself
// starts just after that word. The record's links are arena offsets.
//
// A frame that the system cannot give raises the language error
// internal/no-memory; one it cannot take back raises internal/wrong-mem.
#pragma once
#include <cstdint>

#include "runtime/memory/arena.hpp"

namespace ixo {

// Set from the start of runtime/init until the compiled top-level code
// runs: while set, every new word is also kept in the root block.
extern int32_t boot_flag;
// No collection runs while this is 0; start-up sets it once the runtime's
// tables and the boot image are complete.
extern int32_t collector_active;

}  // namespace ixo

namespace ixo::memory {

// A collection that empties series frames mostly has new ones asked for
// soon after: up to SPARE_FRAMES emptied frames stay committed, their
// pages resident, for the next frame of the same size, which then costs no
// page faults. Beyond that, freed frames go back to the system at once, so
// the memory kept but unused stays within a few frames.
constexpr int32_t SPARE_FRAMES = 4;

struct memory_record {
  uint32_t bytes_in_use;         // pages of every frame made and not freed, spares aside
  uint32_t node_frame_head;      // node frames in creation order
  uint32_t node_frame_tail;
  uint32_t current_node_frame;   // tried first by alloc_node
  uint32_t series_frame_head;    // series frames in ascending address order
  uint32_t current_series_frame; // tried first by buffer allocation
  uint32_t series_frame_tail;
  int32_t initial_frame_size;    // data bytes of the first series frame
  int32_t next_frame_size;       // data bytes of the next series frame
  int32_t big_series_threshold;  // a buffer needing this much gets a frame of its own
  uint32_t big_frame_head;       // big frames, singly linked
  int32_t spare_count;           // frames kept committed for reuse...
  uint32_t spare_frames[SPARE_FRAMES];  // ...these, in the order they were kept
};

extern memory_record record;

// The collection an allocation runs: before every series allocation when
// the environment says IXO_GC_STRESS=1 (or IXO_GC_STRESS=after-boot, once
// boot_finished has been called), else when a big series is asked for
// or no series frame has room and a collection is due (collection_due). It
// runs only while collector_active is set; the collector installs it.
extern void (*run_collector)();
extern bool collect_every_allocation;

// Collections are paced by growth, so that a program whose live data grows
// pays a time linear in it: a collection is due once the series bytes
// allocated since the last cycle reach the bytes live after it (at least
// COLLECT_FLOOR), or once half the arena would be committed, whichever
// comes first. The collector resets the count and records what stays live.
constexpr uint64_t COLLECT_FLOOR = 8u << 20;
extern uint64_t allocated_since_cycle;
extern uint64_t live_after_cycle;
bool collection_due(int32_t need);

// Reserves an arena of `arena_size` bytes (tests make it small), or less
// down to `floor` where the address space is limited (see reserve_arena),
// and sets the record to its start values: no frames, series frames of a
// 1 MB run then of 2 MB runs, big series from what no 2 MB frame holds.
void init(uint64_t arena_size = ARENA_LIMIT, uint64_t floor = ARENA_LIMIT);

// The boot code has run: IXO_GC_STRESS=after-boot turns collection at every
// allocation on from here.
void boot_finished();

// The memory that live data takes, as `stats` answers it: 4 bytes per node
// in use, each series frame from its first buffer to its bump pointer and
// each big frame's buffer area. Walking the frames allocates nothing.
double stats_in_use();

// A zeroed frame of at least `size` bytes whose page run starts at an
// address that is a multiple of `align`; a run of whole huge pages so
// aligned is asked to be backed by huge pages. When the arena has no room,
// the spare frames go back to it before the request fails.
void* alloc_frame(uint64_t size, uint64_t align = PAGE_SIZE);
void free_frame(void* frame);

// A frame given back whose content no longer matters: kept as a spare
// while fewer than SPARE_FRAMES are, else freed.
void retire_frame(void* frame);
// The spare frame that alloc_frame(size) would have made the same size,
// holding whatever it held when retired; nullptr when none is kept.
void* reuse_frame(uint64_t size);
// Frees every spare frame.
void release_spare_frames();
// Releases every frame and the arena itself, at the runtime's exit (and
// does nothing before init): the memory manager is unusable until the next
// init.
void free_all_frames();

}  // namespace ixo::memory
