// The natives table, filled in slot order from the families' entries. A
// family not built yet leaves its slots empty.
#include "runtime/interpreter/natives.hpp"

#include <algorithm>

#include "runtime/datatypes/block.hpp"
#include "runtime/interpreter/natives_conditional.hpp"
#include "runtime/memory/root_block.hpp"

namespace ixo::natives {

native_entry table[TABLE_SLOTS] = {};
int32_t fill_count = 1;
cell* buffer_blk = nullptr;

namespace {

constexpr int32_t BUFFER_CELLS = 32;

// Slots 1 to 107, in order.
const native_entry entries[] = {
    /* 1-10 */ if_, unless, either, any, all, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 11-20 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, switch_, case_, nullptr,
    /* 21-30 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 31-40 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 41-50 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 51-60 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 61-70 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 71-80 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 81-90 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 91-100 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 101-107 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
static_assert(sizeof entries / sizeof entries[0] == 107, "slots 1 to 107");

}  // namespace

void copy_table(int32_t count, const native_entry* given) {
  for (int32_t i = 0; i < count && fill_count <= TABLE_SLOTS; ++i) table[fill_count++ - 1] = given[i];
}

void init() {
  std::fill(table, table + TABLE_SLOTS, nullptr);
  fill_count = 1;
  cell blk{};
  block::make_at(&blk, BUFFER_CELLS);
  buffer_blk = root::append(blk);
  copy_table(static_cast<int32_t>(sizeof entries / sizeof entries[0]), entries);
}

}  // namespace ixo::natives
