// The root block: one fixed series of ROOT_CELLS cells made at start-up,
// filled from the head by append (a full block raises internal/limit-hit),
// and the child blocks whose cells it holds so that they live for the
// whole run.
#include "runtime/memory/root_block.hpp"

#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::root {

uint32_t root_node = 0;

void make() { root_node = memory::alloc_fixed_series(ROOT_CELLS, 16, 0); }

cell* append(const cell& value) {
  memory::series_buffer* b = memory::buffer_of(root_node);
  cell* at = memory::tail_of<cell>(b);
  if (reinterpret_cast<uint8_t*>(at + 1) > memory::data_end(b))
    fire(err::internal_limit_hit, {cell{TYPE_INTEGER, 0, ROOT_CELLS, 0}});
  *at = value;
  b->tail += sizeof(cell);
  return at;
}

uint32_t make_child_block(int32_t cells, bool fixed) {
  uint32_t node = fixed ? memory::alloc_fixed_series(cells, 16, 0) : memory::alloc_cells(cells);
  append(cell{TYPE_BLOCK, 0, node, 0});
  return node;
}

}  // namespace ixo::root
