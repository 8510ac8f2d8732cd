// Series ownership: an object with an on-deep-change* handler owns the
// series held in its fields (and in the objects and blocks they hold), and
// every modifying action on an owned series reports to it through `check`.
// The table is a kind-4 record table keyed by the owned buffer's node, with
// three value cells per record: the owned value, the owner object and the
// owner's field word. Owned buffers carry SERIES_OWNED; an owner's context
// cell carries context::FLAG_OWNER. The collector marks the table and drops
// records whose key or owner died.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::ownership {

constexpr int32_t TABLE_KEYS = 1000;

// Makes the table and hands it to the collector.
void init();
void set_owner(const cell* value, const cell* owner, const cell* word);
// set_owner, then the owner's context is flagged as an owner.
void bind(const cell* value, const cell* owner, const cell* word);
void unbind(const cell* value);
// The `owned` field of modify: none gives the value up; a block [owner
// word] hands it to that object under the field word. An owner that is not
// an object raises script/invalid-arg; any other value changes nothing.
void modify_owned(const cell* value, const cell* spec);
// The owner object cell of the node's record, or nullptr.
cell* get_owner(uint32_t node);
// Reports a change of an owned value to its owner's on-deep-change*:
// answers true when the handler was called. `new_value` may be nullptr.
bool check(const cell* value, const cell* action, const cell* new_value, int32_t index, int32_t count);

}  // namespace ixo::ownership
