// Memory statistics for the `stats` native, as plain numbers: every node
// frame, series frame and big frame and the tracked heap. The native builds
// the language block from them.
#pragma once
#include <cstdint>
#include <vector>

namespace ixo::memory {

struct frame_sizes {
  int32_t free, used, total;
};

struct frame_measures {
  std::vector<frame_sizes> node_frames;    // in nodes
  std::vector<frame_sizes> series_frames;  // in bytes
  std::vector<int32_t> big_frames;         // each one's size
  double big_and_heap = 0;  // the big frames (size + 12 each) and the tracked heap blocks (size + 16 each)
  double heap = 0;          // the tracked heap alone
};

// Walks the frames and the tracked heap; allocates nothing in the arena.
frame_measures measure_frames();

}  // namespace ixo::memory
