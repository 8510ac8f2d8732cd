// Cell helpers shared by the boot library's routines that walk the blocks
// and objects of the library's own code: a block's index, a cell by
// position, an object's field by symbol.
#pragma once
#include <cstdint>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::boot {

inline int32_t index_of(const cell* blk) { return static_cast<int32_t>(blk->data1); }

// The cell at position n of a block, none past its tail.
inline cell cell_at(const cell* blk, int32_t n) {
  return n >= 0 && n < block::rs_abs_cells(blk) ? *block::rs_abs_at(blk, n) : none::none_value;
}

// The field of an object named by the symbol, or nullptr; valid until the
// next allocation.
inline cell* field(const cell* obj, int32_t symbol) {
  if (TYPE_OF(obj) != TYPE_OBJECT) return nullptr;
  cell word{TYPE_WORD, 0, static_cast<uint32_t>(symbol), 0xFFFFFFFFu};
  return object::field_of(obj, &word);
}

}  // namespace ixo::boot
