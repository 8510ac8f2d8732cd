// The table of registered roots.
#include "runtime/memory/roots.hpp"

#include <cstring>

#include "startup/system/heap.hpp"

namespace ixo::memory {

root_table roots{};

void grow_roots() {
  roots.capacity = roots.capacity ? roots.capacity * 2 : 64;
  roots.entries = static_cast<root_slot*>(
      heap::resize_tracked(roots.entries, roots.capacity * static_cast<int32_t>(sizeof(root_slot))));
}

void remove_root_below(const void* slot) {
  for (int32_t i = roots.count - 1; i >= 0; --i) {
    if (roots.entries[i].slot != slot) continue;
    std::memmove(roots.entries + i, roots.entries + i + 1, (roots.count - i - 1) * sizeof(root_slot));
    --roots.count;
    return;
  }
}

}  // namespace ixo::memory
