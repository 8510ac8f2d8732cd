// Record tables and the node map: two relatives of the hashtable keyed by
// a node rather than by a cell's value, both hashing the key with fmix32.
//
// A record table (hashtable kind 3 or 4, made by hashtable::init with the
// number of value cells per record) keeps one fixed-size run of cells per
// key node in a collected record series: a key cell (header unset! while
// the record is live, 0 once deleted; payload word 1 the key node), then
// the value cells. Records are appended and only a growth moves them.
// Keys are node numbers, so a table is re-hashed when it is used after the
// collector relocated nodes.
//
// The node map is a plain table on the tracked heap from one 32-bit key to
// one 32-bit value: the collector's map from old to new node while it
// compacts node frames.
#pragma once
#include <cstdint>

#include "runtime/core/hashtable.hpp"

namespace ixo::hashtable {

// The first value cell of the node's record, made when new; every cell of
// the record is (re)set to unset!.
cell* put_node(uint32_t table, uint32_t node);
// The first value cell of the node's record, or nullptr.
cell* get_node(uint32_t table, uint32_t node);
// Deletes the node's record; answers its first value cell, or nullptr when
// there is none.
cell* delete_node(uint32_t table, uint32_t node);

// Collector hook, run after marking: deletes the records whose key node
// was not marked (for an ownership table also those whose owner's context
// was not marked), and marks the cells of the ownership records that stay.
void sweep(uint32_t table, const marker& m);

}  // namespace ixo::hashtable

namespace ixo::node_map {

struct map {
  int32_t size;      // live keys
  uint32_t* flags;   // two bits per bucket, as in a hashtable
  uint32_t* pairs;   // buckets x {key, value}
  int32_t occupied;  // buckets live or deleted
  int32_t buckets;
  int32_t bound;
};

// A map sized for n keys.
map* make(int32_t n);
// Stores the value of a key, adding the key when new.
void put(map* m, uint32_t key, uint32_t value);
// Where the key's value is, or nullptr.
uint32_t* get(map* m, uint32_t key);
// The key's bucket, or -1.
int32_t find(map* m, uint32_t key);
void remove(map* m, uint32_t key);
// The live pair after `previous` (nullptr: the first) in bucket order, or
// nullptr.
uint32_t* next(map* m, uint32_t* previous);
int32_t count(map* m);
void clear(map* m);
void free(map* m);

}  // namespace ixo::node_map
