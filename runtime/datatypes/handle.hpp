// handle!: an OS resource handle with the class under which the handle
// table registered its kind. The cell holds the kind (1-based class index,
// 0 for none) in payload word 1, the OS handle value in word 2 and -1 in
// word 3. A handle! forms, molds and compares; it supports nothing else.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::handle {

// Writes a handle! into c.
cell* make_at(cell* c, uint32_t value, int32_t kind);
// Pushes a new handle!.
cell* push(uint32_t value, int32_t kind);

// Registers handle! (type 46) under integer!.
void init();

}  // namespace ixo::handle
