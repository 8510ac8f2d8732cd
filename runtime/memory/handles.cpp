// The handle table's entries, lists and finalisers.
#include "runtime/memory/handles.hpp"

#include <cstdint>

#include "runtime/interpreter/fire.hpp"
#include "startup/system/heap.hpp"

namespace ixo::handles {

handle_table table{nullptr, 0, nullptr, 0, -1, -1};

namespace {

// Chains entries [from, to) into one free list ending at -1.
void make_free(int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) table.entries[i] = {nullptr, HANDLE_FREE, i + 1 < to ? i + 1 : -1};
}

void grow() {
  int64_t capacity = 2 * static_cast<int64_t>(table.capacity);
  int64_t bytes = capacity * static_cast<int64_t>(sizeof(entry));
  if (bytes > INT32_MAX) fire(err::internal_no_memory);
  table.entries = static_cast<entry*>(heap::resize_tracked(table.entries, static_cast<int32_t>(bytes)));
  make_free(table.capacity, static_cast<int32_t>(capacity));
  table.capacity = static_cast<int32_t>(capacity);
}

void finalise(uint32_t type_word, void* pointer) {
  int32_t type = static_cast<int32_t>(type_word & HANDLE_TYPE_MASK);
  if (type < 1 || type > table.type_count) return;
  if (finaliser f = table.types[type - 1].finalise) f(pointer);
}

bool in_use_q(int32_t index) {
  return index >= 0 && index < table.capacity && !(table.entries[index].type & HANDLE_FREE);
}

void push_free(int32_t index) {
  table.entries[index] = {nullptr, HANDLE_FREE, table.free_head};
  table.free_head = index;
}

}  // namespace

void init() {
  heap::free_tracked(table.types);
  heap::free_tracked(table.entries);
  table.types = static_cast<handle_type*>(heap::alloc_tracked(HANDLE_TYPES * sizeof(handle_type)));
  table.type_count = 0;
  table.entries = static_cast<entry*>(heap::alloc_tracked(INITIAL_HANDLES * sizeof(entry)));
  table.capacity = INITIAL_HANDLES;
  make_free(0, INITIAL_HANDLES);
  table.free_head = 0;
  table.used_head = -1;
}

int32_t register_type(const char* name, finaliser finalise) {
  if (table.type_count == HANDLE_TYPES) fire(err::internal_limit_hit, {cell{TYPE_INTEGER, 0, HANDLE_TYPES, 0}});
  table.types[table.type_count] = {name, finalise};
  return ++table.type_count;
}

int32_t alloc(void* pointer, uint32_t type_word) {
  if (table.entries[table.free_head].next == -1) {
    int32_t first_new = table.capacity;
    grow();
    table.entries[table.free_head].next = first_new;
  }
  int32_t index = table.free_head;
  entry& e = table.entries[index];
  table.free_head = e.next;
  e = {pointer, type_word & ~(HANDLE_FREE | HANDLE_MARK), table.used_head};
  table.used_head = index;
  return index;
}

void free(int32_t index, bool finalise_it) {
  if (!in_use_q(index)) return;
  entry& e = table.entries[index];
  if (finalise_it) finalise(e.type, e.pointer);
  if (table.used_head == index) {
    table.used_head = e.next;
  } else {
    int32_t before = table.used_head;
    while (table.entries[before].next != index) before = table.entries[before].next;
    table.entries[before].next = e.next;
  }
  push_free(index);
}

void set_pointer(int32_t index, void* pointer) {
  if (!in_use_q(index)) return;
  entry& e = table.entries[index];
  if (e.pointer != pointer) finalise(e.type, e.pointer);
  e.pointer = pointer;
}

bool mark(int32_t index, void* pointer) {
  if (!in_use_q(index)) return false;
  entry& e = table.entries[index];
  if (pointer) e.pointer = pointer;
  if (e.type & HANDLE_MARK) return false;
  e.type |= HANDLE_MARK;
  return true;
}

void sweep() {
  int32_t before = -1;
  int32_t i = table.used_head;
  while (i != -1) {
    entry& e = table.entries[i];
    int32_t next = e.next;
    if (e.type & HANDLE_MARK) {
      e.type &= ~HANDLE_MARK;
      before = i;
    } else {
      finalise(e.type, e.pointer);
      if (before == -1) table.used_head = next;
      else table.entries[before].next = next;
      push_free(i);
    }
    i = next;
  }
}

void for_each(int32_t type, void (*callback)(void* pointer)) {
  for (int32_t i = table.used_head; i != -1; i = table.entries[i].next) {
    const entry& e = table.entries[i];
    if (static_cast<int32_t>(e.type & HANDLE_TYPE_MASK) == type) callback(e.pointer);
  }
}

}  // namespace ixo::handles
