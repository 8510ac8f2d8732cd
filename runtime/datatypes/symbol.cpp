// The symbol table and canonical ids.
#include "runtime/datatypes/symbol.hpp"

#include "runtime/core/hashtable.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::symbol {

uint32_t table = 0;

const cell* get(int32_t id) {
  return memory::head_of<cell>(memory::buffer_of(hashtable::record_of(table)->block)) + (id - 1);
}

int32_t resolve(int32_t id) {
  int32_t alias = static_cast<int32_t>(get(id)->data1);
  return alias > 0 ? alias : id;
}

}  // namespace ixo::symbol
