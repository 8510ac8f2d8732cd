// The handle table: values that hold an outside resource (an OS handle
// behind a handle! value, a platform bitmap behind an image!) keep a small
// index into this table instead of the resource. Each entry records the
// resource and its handle type; each type has a finaliser. The collector
// marks the entries that live values reach and sweeps the rest, finalising
// them, so a resource is released when the last value holding it dies.
//
// The table lives on the tracked heap, so it may hold host pointers. Two
// lists thread through the entries by index: the free list, which never
// runs empty (the table doubles before handing out its last free entry,
// so an index stays valid across growth), and the used list. Indexes and
// type indexes that come from values are checked before use.
#pragma once
#include <cstdint>

namespace ixo::handles {

// Called with the resource of an entry that is freed or replaced.
using finaliser = void (*)(void* pointer);

constexpr int32_t HANDLE_TYPES = 20;
constexpr int32_t INITIAL_HANDLES = 1000;

// An entry's type word: the type index (1-based) in the low byte, bits the
// caller chooses above it, and two bits of the table's own.
constexpr uint32_t HANDLE_TYPE_MASK = 0xFF;
constexpr uint32_t HANDLE_FREE = 0x40000000;
constexpr uint32_t HANDLE_MARK = 0x80000000;

struct handle_type {
  const char* name;
  finaliser finalise;  // null: nothing to release
};

struct entry {
  void* pointer;
  uint32_t type;  // type word
  int32_t next;   // next entry of the same list, -1 at its end
};

struct handle_table {
  handle_type* types;  // HANDLE_TYPES records
  int32_t type_count;
  entry* entries;
  int32_t capacity;
  int32_t free_head;
  int32_t used_head;   // -1: no entry in use
};

extern handle_table table;

// An empty table of 1,000 free entries and no types; a table made before
// is given back first.
void init();
// Appends a type and answers its index (1-based). A type beyond the 20th
// raises internal/limit-hit and changes nothing.
int32_t register_type(const char* name, finaliser finalise);
// Stores the resource in a free entry (doubling the table when that entry
// is the last free one) and answers the entry's index. The table's own
// bits are cleared from `type_word`.
int32_t alloc(void* pointer, uint32_t type_word);
// Frees an entry in use, after running its finaliser when `finalise` is
// set; an index that names no entry in use is ignored.
void free(int32_t index, bool finalise);
// Replaces an entry's resource, finalising the old one when it differs.
void set_pointer(int32_t index, void* pointer);
// The collector's mark: true when the entry was not marked yet; a non-null
// pointer is stored. An index that names no entry in use answers false.
bool mark(int32_t index, void* pointer);
// After marking: clears the marks of marked entries, finalises and frees
// the others.
void sweep();
// Calls `callback` with the resource of every entry in use of a type, in
// used-list order.
void for_each(int32_t type, void (*callback)(void* pointer));

}  // namespace ixo::handles
