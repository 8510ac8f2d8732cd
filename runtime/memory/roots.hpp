// Registered roots: cells and node slots held by C++ code (locals, module
// globals) that the collector must treat as live and may rewrite when it
// moves nodes. Code that keeps a language value across a call that may
// allocate registers it here for the length of its scope with a
// root_guard, or keeps it on the value stack.
//
// The table grows on the tracked heap; it is in registration order and
// guards usually leave it from the top.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::memory {

enum root_kind : uint32_t {
  ROOT_CELL,  // a cell, marked by its datatype
  ROOT_NODE,  // a 32-bit slot holding a node, or 0
  ROOT_PAIR,  // two cells in a row, each marked by its datatype
};

struct root_slot {
  void* slot;
  root_kind kind;
};

struct root_table {
  root_slot* entries;
  int32_t count;
  int32_t capacity;
};

extern root_table roots;

// Makes room for more registrations.
void grow_roots();
// Removes the latest registration of `slot` below the top one.
void remove_root_below(const void* slot);

// Guards register and leave on every evaluation step, almost always from
// the top of the table: that case is inline.
inline void add_root(void* slot, root_kind kind) {
  if (roots.count == roots.capacity) grow_roots();
  roots.entries[roots.count++] = {slot, kind};
}
// Removes the latest registration of `slot`; a slot not registered is
// left alone.
inline void remove_root(const void* slot) {
  if (roots.count > 0 && roots.entries[roots.count - 1].slot == slot) {
    --roots.count;
    return;
  }
  remove_root_below(slot);
}

// Registers a cell or a node slot outside the arena for its scope.
struct root_guard {
  explicit root_guard(cell* value) : slot(value) { add_root(value, ROOT_CELL); }
  explicit root_guard(uint32_t* node) : slot(node) { add_root(node, ROOT_NODE); }
  ~root_guard() { remove_root(slot); }
  root_guard(const root_guard&) = delete;
  root_guard& operator=(const root_guard&) = delete;

  void* slot;
};

// Registers two cells in a row for its scope with one registration.
struct root_pair_guard {
  explicit root_pair_guard(cell (&pair)[2]) : slot(pair) { add_root(pair, ROOT_PAIR); }
  ~root_pair_guard() { remove_root(slot); }
  root_pair_guard(const root_pair_guard&) = delete;
  root_pair_guard& operator=(const root_pair_guard&) = delete;

  void* slot;
};

}  // namespace ixo::memory
