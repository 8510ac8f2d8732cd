// The hashtable: the one index structure of the runtime, kept beside a
// series of cells and mapping keys to positions in it. It indexes blocks
// and hash! values (kind 0, duplicate keys chained), map! storage (kind 1),
// the symbol table and the word lists of contexts (kind 2). Record tables
// (kinds 3 and 4) share the record and are in record_table.hpp.
//
// Open addressing: a power-of-two bucket count, two flag bits per bucket,
// triangular probing (start, +1, +2, +3, ...), growth at 0.77 occupancy,
// MurmurHash3 for hashing. Tables of blocks and maps keep each live
// bucket's hash beside its key, so a probe compares whole keys only when
// the hashes agree; growth hashes every key again from its cell, so a key
// changed in place since it was indexed is found by its new content after
// the table grows, as it would be without the kept hashes. A table and its arrays are series, reached only
// through their nodes; keys of kinds 0-2 are cell indexes into the indexed
// series, never addresses. Any operation here that allocates or compares
// may move every buffer: cell pointers answered are valid until the next
// call that may allocate.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::hashtable {

enum table_kind : int32_t {
  KIND_BLOCK = 0,      // block and hash!: equal keys share one bucket and a chain
  KIND_MAP = 1,        // map!: key/value pairs; a removed entry keeps its bucket
  KIND_SYMBOL = 2,     // the symbol table and the word lists of contexts
  KIND_RECORD = 3,     // fixed-size records keyed by node
  KIND_OWNERSHIP = 4,  // the ownership table: records die with their keys
};

// The head of a table's 48-byte series.
struct hashtable_record {
  int32_t size;       // live keys: kind 0 live buckets, kind 1 entries not removed
  uint32_t indexes;   // kind 0: node of the index array (per cell its 1-based
                      // bucket, -1 for none); kinds 3-4: record size in bytes
  uint32_t chains;    // kind 0: node of the chain list; a chain is an int32
                      // array of cell indexes in insertion order; 0 once freed
  uint32_t flags;     // node of the flag array
  uint32_t keys;      // node of the int32 key array, one per bucket: the key's
                      // cell index (kind 0: or minus its 1-based chain number);
                      // kinds 3-4: the byte offset of the record
  uint32_t block;     // node of the indexed series (kinds 3-4: the records)
  int32_t occupied;   // buckets live or deleted
  int32_t buckets;    // a power of two, at least 4
  int32_t bound;      // a put grows the table first when occupied reaches it
  int32_t kind;
  uint32_t stamp;     // 0 when no key hashes by node, else the collector's
                      // relocation count + 1 at the last hashing
  uint32_t hashes;    // kinds 0-1: node of the uint32 hash array, one per
                      // bucket, the hash of its key; else 0
};
static_assert(sizeof(hashtable_record) == 48, "a table record is twelve 32-bit fields");

inline hashtable_record* record_of(uint32_t table) {
  return memory::head_of<hashtable_record>(memory::buffer_of(table));
}

// Bucket flags: two bits per bucket, bucket i in 32-bit word i >> 4 at bit
// (i & 15) x 2. A fresh flag array is all 0xAA bytes: every bucket empty.
constexpr uint32_t BUCKET_LIVE = 0;
constexpr uint32_t BUCKET_DELETED = 1;
constexpr uint32_t BUCKET_EMPTY = 2;
constexpr uint8_t ALL_EMPTY = 0xAA;

inline uint32_t bucket_state(const uint32_t* flags, int32_t i) { return flags[i >> 4] >> ((i & 15) * 2) & 3; }
inline void set_bucket_state(uint32_t* flags, int32_t i, uint32_t state) {
  int shift = (i & 15) * 2;
  flags[i >> 4] = (flags[i >> 4] & ~(3u << shift)) | state << shift;
}

// v - 1 with every lower bit set, plus 1: the power of two at or above v;
// 0 stays 0.
inline uint32_t next_power_of_two(uint32_t v) {
  v -= 1;
  v |= v >> 1;
  v |= v >> 2;
  v |= v >> 4;
  v |= v >> 8;
  v |= v >> 16;
  return v + 1;
}

constexpr double LOAD_LIMIT = 0.77;

// What growth aims at when occupied reaches the bound: one step down when
// fewer than half the buckets hold live keys (the table is full of deleted
// ones), else one step up.
inline int32_t growth_target(const hashtable_record* rec) {
  return rec->size * 2 < rec->buckets ? rec->buckets - 1 : rec->buckets + 1;
}

// A table whose keys hash by node and that was hashed before the latest
// node relocation; no table is re-hashed while a collection runs.
inline bool stale_q(const hashtable_record* rec) {
  return rec->stamp != 0 && rec->stamp != collector::node_relocation_count + 1 && !collector::in_progress;
}

// Node compaction is off while a table is rebuilt: the rebuild holds nodes
// across its allocations.
struct compaction_off {
  compaction_off() : saved(collector::node_compaction) { collector::node_compaction = 0; }
  ~compaction_off() { collector::node_compaction = saved; }
  compaction_off(const compaction_off&) = delete;
  compaction_off& operator=(const compaction_off&) = delete;
  int32_t saved;
};

// A table sized for n keys. `source` (nullptr for none) gives the series to
// index from its index, two cells a step for a map; without one, and for
// record tables, the table gets a new cell series with room for n cells.
// `extra`: for kind 2, 2 clones the table of the context cell `source`;
// for record tables, the number of value cells per record; else unused.
uint32_t init(int32_t n, const cell* source, int32_t kind, int32_t extra);

// Indexes `key`, a cell of the indexed series; answers it (re-read). Status
// 2 when a kind-0 table was rebuilt instead, which indexed the whole series
// this cell included, else 0.
cell* put_key(uint32_t table, cell* key, int32_t* status);
cell* put(uint32_t table, cell* key);
// put of a key whose hash (hash::value) the caller has computed already.
cell* put_hashed(uint32_t table, cell* key, uint32_t hash);
// Indexes the cells first, first + step, ... to the tail. A map keeps the
// first position and the last value of equal keys: a later pair's value
// goes to the earlier key and the later pair is cut out of the storage.
void put_all(uint32_t table, int32_t first, int32_t step);

// The indexed cell equal to `key` under the compare operator `op`, or
// nullptr. Kind 1 looks words up as set-words. Kind 0 answers, among the
// equal cells whose distance from `start` is a multiple of `skip`, the
// first at or after start; with from_end the last at or after start; with
// backward the last before start.
cell* get(uint32_t table, const cell* key, int32_t start, int32_t skip, int32_t op, bool from_end, bool backward);
// Kind 1: get with the key's hash (hash::value of the key as given: a word
// hashes by its symbol, as the set-word it is looked up as does).
cell* get_hashed(uint32_t table, const cell* key, uint32_t hash, int32_t op);
// Continues a probe of a kind-1 or kind-2 table for the next cell of the
// key's type equal to it. *position -1 starts at the key's hash; the
// bucket found, the probe's start bucket and its step are kept in the
// three variables for the next call.
cell* get_next(uint32_t table, const cell* key, int32_t* position, int32_t* start_bucket, int32_t* step);

// Forgets an indexed cell. Kind 1: the entry is marked removed (its value
// cell's header cleared) and keeps its bucket. Kind 0: the cell leaves its
// chain; a bucket left with no cell is marked deleted.
void delete_key(uint32_t table, cell* key);
// Kind 0: forgets `count` cells from `first` (all of them at once when the
// run covers the whole block).
void clear(uint32_t table, int32_t first, int32_t count);
// Empties the table and its series.
void reset(uint32_t table);
// A copy of a kind 0-2 table, its arrays and chains duplicated, indexing
// `block` (a copy of the table's block).
uint32_t copy(uint32_t table, uint32_t block);

// Kind 0, after `count` cells from `first` moved by `offset` places:
// renumbers their keys and, with `shift`, moves their index entries too
// (a negative offset first forgets the cells whose places the run takes).
// Answers 1 and changes nothing above 30,000 cells: the caller rebuilds.
int32_t move(uint32_t table, int32_t offset, int32_t first, int32_t count, bool shift);
// Kind 0, after `count` cells from `first` moved inside the block to
// `destination` (when it lies after the run, they now end at it); the cells
// between run and destination took up the run's places.
void move_range(uint32_t table, int32_t destination, int32_t first, int32_t count);

// Kind 0: re-indexes the whole block with buckets for `target` keys.
void rebuild(uint32_t table, int32_t target);
// Kinds 1 and 2: re-buckets in place for `target` buckets; nothing when
// the live keys would not fit below the new bound.
void resize(uint32_t table, int32_t target);

// Symbol table: the id (1-based) of the spelling, interned when new. With
// any_case, the first interned spelling of the same letters is answered;
// otherwise a new spelling of known letters is interned with the canonical
// spelling's id as its alias.
int32_t get_symbol(uint32_t table, const uint8_t* name, int32_t length, bool any_case);
// Context word list. Without a context node: the word's index, or -1.
// With one: a word not yet there is appended as a word! of that context
// and -1 answered; a word there answers its index. *index receives the
// word's index when adding. Words compare by canonical symbol when
// case_insensitive.
int32_t put_symbol(uint32_t table, int32_t symbol, bool case_insensitive, uint32_t context, int32_t* index);

// The collector's marking primitives, lent to the hooks.
struct marker {
  // Marks the node held in *slot, rewriting the slot first when the node
  // was relocated; true when it was not marked yet.
  bool (*mark_node)(uint32_t* slot);
  // Marks every cell of [first, end) by its datatype.
  void (*mark_values)(cell* first, cell* end);
};

// A context word list read in place, for lookups that allocate nothing in
// between (binding a block): valid until the next allocation.
struct word_list {
  const uint32_t* flags;
  const int32_t* keys;
  const cell* words;
  const cell* symbols;  // the symbol table's entries, for resolving ids
  uint32_t mask;
};
word_list word_list_of(uint32_t table);
// The position in the list of the word of the symbol (by canonical symbol
// when case_insensitive), or -1. *bucket receives the bucket the probe
// stopped at: the word's, or the empty one where it would go (-1 when the
// probe met no empty bucket).
int32_t find_symbol(const word_list& list, int32_t symbol, bool case_insensitive, int32_t* bucket);

// Collector hook: marks the table in *table and every series it holds.
// Records of an ownership table are left to `sweep` (record_table.hpp).
void mark(uint32_t* table, const marker& m);

}  // namespace ixo::hashtable
