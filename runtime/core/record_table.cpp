// Record tables (hashtable kinds 3 and 4): probing by key node, records
// appended to and reused in the record series, growth into a new record
// series, the in-place re-hash after a node relocation and the collector's
// sweep. Then the node map on the tracked heap.
#include "runtime/core/record_table.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/core/hash.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::hashtable {

using namespace memory;

namespace {

int32_t record_cells(const hashtable_record* rec) { return static_cast<int32_t>(rec->indexes / sizeof(cell)); }

// Records are named by their byte offset from the head of the record series.
cell* record_at(const hashtable_record* rec, int32_t offset) {
  return address<cell>(buffer_of(rec->block)->head + static_cast<uint32_t>(offset));
}

uint32_t* flags_of(const hashtable_record* rec) { return head_of<uint32_t>(buffer_of(rec->flags)); }
int32_t* keys_of(const hashtable_record* rec) { return head_of<int32_t>(buffer_of(rec->keys)); }

bool live_record_q(const cell* r) { return r->header == TYPE_UNSET; }

struct probe_result {
  int32_t bucket;
  uint32_t state;
};

// The bucket of a node's record: live when found; otherwise the last
// deleted bucket passed, or the empty one the probe stopped at.
probe_result probe(const hashtable_record* rec, uint32_t node) {
  const uint32_t* flags = flags_of(rec);
  const int32_t* keys = keys_of(rec);
  uint32_t mask = static_cast<uint32_t>(rec->buckets - 1);
  int32_t i = static_cast<int32_t>(hash::mix_pointer(node) & mask), start = i, step = 0, deleted = -1;
  do {
    uint32_t state = bucket_state(flags, i);
    if (state == BUCKET_EMPTY) return deleted >= 0 ? probe_result{deleted, BUCKET_DELETED} : probe_result{i, state};
    if (state == BUCKET_DELETED) {
      deleted = i;
    } else if (record_at(rec, keys[i])->data1 == node) {
      return {i, BUCKET_LIVE};
    }
    i = static_cast<int32_t>((i + ++step) & mask);
  } while (i != start);
  return {deleted, BUCKET_DELETED};
}

// Stores a record's offset in the first empty bucket of its key's probe.
void place(uint32_t* flags, int32_t* keys, uint32_t mask, uint32_t node, int32_t offset) {
  int32_t i = static_cast<int32_t>(hash::mix_pointer(node) & mask), step = 0;
  while (bucket_state(flags, i) != BUCKET_EMPTY) i = static_cast<int32_t>((i + ++step) & mask);
  keys[i] = offset;
  set_bucket_state(flags, i, BUCKET_LIVE);
}

// After a node relocation every key may hash elsewhere: the live records
// are placed again in emptied buckets.
void refresh(uint32_t table) {
  hashtable_record* rec = record_of(table);
  if (!stale_q(rec)) return;
  series_buffer* f = buffer_of(rec->flags);
  fill(data_of(f), data_end(f), ALL_EMPTY);
  rec->size = 0;
  rec->occupied = 0;
  uint32_t mask = static_cast<uint32_t>(rec->buckets - 1);
  series_buffer* b = buffer_of(rec->block);
  int32_t stride = record_cells(rec);
  for (cell* r = head_of<cell>(b); r < tail_of<cell>(b); r += stride) {
    if (!live_record_q(r)) continue;
    place(flags_of(rec), keys_of(rec), mask, r->data1, static_cast<int32_t>(offset_of(r) - b->head));
    ++rec->size;
    ++rec->occupied;
  }
  rec->stamp = collector::node_relocation_count + 1;
}

// Growth: new buckets and a new record series holding the live records
// only, with node compaction off.
void regrow(uint32_t table, int32_t target) {
  compaction_off off;
  int32_t buckets = std::max(static_cast<int32_t>(next_power_of_two(static_cast<uint32_t>(target))), 4);
  uint32_t flags = 0, keys = 0, series = 0;
  root_guard keep_table(&table), keep_flags(&flags), keep_keys(&keys), keep_series(&series);
  flags = alloc_filled_bytes(buckets / 4, ALL_EMPTY);
  keys = alloc_filled_bytes(buckets * 4, 0);
  series = alloc_cells(std::max(record_of(table)->size, 1) * record_cells(record_of(table)));

  hashtable_record* rec = record_of(table);
  int32_t stride = record_cells(rec);
  uint32_t mask = static_cast<uint32_t>(buckets - 1);
  series_buffer* old = buffer_of(rec->block);
  series_buffer* fresh = buffer_of(series);
  int32_t live = 0;
  for (cell* r = head_of<cell>(old); r < tail_of<cell>(old); r += stride) {
    if (!live_record_q(r)) continue;
    std::memcpy(tail_of(fresh), r, stride * sizeof(cell));
    place(head_of<uint32_t>(buffer_of(flags)), head_of<int32_t>(buffer_of(keys)), mask, r->data1,
          static_cast<int32_t>(fresh->tail - fresh->head));
    fresh->tail += static_cast<uint32_t>(stride * sizeof(cell));
    ++live;
  }
  rec->flags = flags;
  rec->keys = keys;
  rec->block = series;
  rec->buckets = buckets;
  rec->bound = static_cast<int32_t>(LOAD_LIMIT * buckets + 0.5);
  rec->size = live;
  rec->occupied = live;
  rec->stamp = collector::node_relocation_count + 1;
}

bool marked_q(uint32_t node) { return buffer_of(node)->flags & SERIES_MARK; }

}  // namespace

cell* put_node(uint32_t table, uint32_t node) {
  root_guard keep_table(&table), keep_node(&node);
  refresh(table);
  hashtable_record* rec = record_of(table);
  if (rec->occupied >= rec->bound) regrow(table, growth_target(rec));
  probe_result at = probe(record_of(table), node);
  int32_t offset;
  if (at.state == BUCKET_EMPTY) {
    int32_t bytes = static_cast<int32_t>(record_of(table)->indexes);
    uint8_t* appended = series::alloc_tail_bytes(buffer_of(record_of(table)->block), bytes);
    offset = static_cast<int32_t>(offset_of(appended) - buffer_of(record_of(table)->block)->head);
  } else {
    offset = keys_of(record_of(table))[at.bucket];
  }
  rec = record_of(table);
  if (at.state != BUCKET_LIVE) {
    keys_of(rec)[at.bucket] = offset;
    set_bucket_state(flags_of(rec), at.bucket, BUCKET_LIVE);
    ++rec->size;
    if (at.state == BUCKET_EMPTY) ++rec->occupied;
  }
  cell* r = record_at(rec, offset);
  r->data1 = node;
  for (int32_t c = 0; c < record_cells(rec); ++c) r[c].header = TYPE_UNSET;
  return r + 1;
}

cell* get_node(uint32_t table, uint32_t node) {
  refresh(table);
  hashtable_record* rec = record_of(table);
  probe_result at = probe(rec, node);
  if (at.state != BUCKET_LIVE) return nullptr;
  return record_at(rec, keys_of(rec)[at.bucket]) + 1;
}

cell* delete_node(uint32_t table, uint32_t node) {
  refresh(table);
  hashtable_record* rec = record_of(table);
  probe_result at = probe(rec, node);
  if (at.state != BUCKET_LIVE) return nullptr;
  set_bucket_state(flags_of(rec), at.bucket, BUCKET_DELETED);
  --rec->size;
  cell* r = record_at(rec, keys_of(rec)[at.bucket]);
  r->header = 0;
  return r + 1;
}

void sweep(uint32_t table, const marker& m) {
  hashtable_record* rec = record_of(table);
  uint32_t* flags = flags_of(rec);
  const int32_t* keys = keys_of(rec);
  int32_t stride = record_cells(rec);
  bool ownership = rec->kind == KIND_OWNERSHIP;
  for (int32_t i = 0; i < rec->buckets; ++i) {
    if (bucket_state(flags, i) != BUCKET_LIVE) continue;
    cell* r = record_at(rec, keys[i]);
    // An ownership record's second value cell is the owner object, whose
    // payload word 1 is its context.
    uint32_t owner = ownership && stride > 2 ? r[2].data1 : 0;
    if (!marked_q(r->data1) || (owner && !marked_q(owner))) {
      set_bucket_state(flags, i, BUCKET_DELETED);
      --rec->size;
      r->header = 0;
      r->data1 = 0;
    } else if (ownership) {
      m.mark_node(&r->data1);
      m.mark_values(r + 1, r + stride);
    }
  }
}

}  // namespace ixo::hashtable

namespace ixo::node_map {

using hashtable::BUCKET_DELETED;
using hashtable::BUCKET_EMPTY;
using hashtable::BUCKET_LIVE;
using hashtable::bucket_state;
using hashtable::set_bucket_state;

namespace {

// Whole 32-bit flag words: a word holds 16 buckets.
uint32_t* make_flags(int32_t buckets) {
  int32_t bytes = (buckets + 15) / 16 * 4;
  auto* flags = static_cast<uint32_t*>(heap::alloc_tracked(bytes));
  std::memset(flags, hashtable::ALL_EMPTY, static_cast<size_t>(bytes));
  return flags;
}

// The key's bucket when live; else the last deleted bucket passed or the
// empty one where the probe stopped.
int32_t probe(const map* m, uint32_t key, uint32_t* state) {
  uint32_t mask = static_cast<uint32_t>(m->buckets - 1);
  int32_t i = static_cast<int32_t>(hash::mix_pointer(key) & mask), start = i, step = 0, deleted = -1;
  do {
    *state = bucket_state(m->flags, i);
    if (*state == BUCKET_EMPTY) {
      if (deleted < 0) return i;
      *state = BUCKET_DELETED;
      return deleted;
    }
    if (*state == BUCKET_DELETED) {
      deleted = i;
    } else if (m->pairs[2 * i] == key) {
      return i;
    }
    i = static_cast<int32_t>((i + ++step) & mask);
  } while (i != start);
  *state = BUCKET_DELETED;
  return deleted;
}

// In-place re-bucketing, as the hashtable's resize does for kinds 1 and 2.
void resize(map* m, int32_t target) {
  int32_t buckets = std::max(static_cast<int32_t>(hashtable::next_power_of_two(static_cast<uint32_t>(target))), 4);
  int32_t bound = static_cast<int32_t>(hashtable::LOAD_LIMIT * buckets + 0.5);
  if (m->size >= bound) return;
  int32_t old_buckets = m->buckets;
  uint32_t* fresh = make_flags(buckets);
  if (buckets > old_buckets) {
    m->pairs = static_cast<uint32_t*>(heap::resize_tracked(m->pairs, buckets * 8));
  }
  uint32_t mask = static_cast<uint32_t>(buckets - 1);
  for (int32_t j = 0; j < old_buckets; ++j) {
    if (bucket_state(m->flags, j) != BUCKET_LIVE) continue;
    uint32_t key = m->pairs[2 * j], value = m->pairs[2 * j + 1];
    set_bucket_state(m->flags, j, BUCKET_DELETED);
    for (;;) {
      int32_t i = static_cast<int32_t>(hash::mix_pointer(key) & mask), step = 0;
      while (bucket_state(fresh, i) != BUCKET_EMPTY) i = static_cast<int32_t>((i + ++step) & mask);
      set_bucket_state(fresh, i, BUCKET_LIVE);
      if (i < old_buckets && bucket_state(m->flags, i) == BUCKET_LIVE) {
        std::swap(key, m->pairs[2 * i]);
        std::swap(value, m->pairs[2 * i + 1]);
        set_bucket_state(m->flags, i, BUCKET_DELETED);
        continue;
      }
      m->pairs[2 * i] = key;
      m->pairs[2 * i + 1] = value;
      break;
    }
  }
  heap::free_tracked(m->flags);
  m->flags = fresh;
  if (buckets < old_buckets) {
    m->pairs = static_cast<uint32_t*>(heap::resize_tracked(m->pairs, buckets * 8));
  }
  m->buckets = buckets;
  m->bound = bound;
  m->occupied = m->size;
}

}  // namespace

map* make(int32_t n) {
  if (n < 4) n = 4;
  auto* m = static_cast<map*>(heap::alloc_zeroed(sizeof(map)));
  m->buckets = static_cast<int32_t>(hashtable::next_power_of_two(static_cast<uint32_t>(n / hashtable::LOAD_LIMIT)));
  m->bound = static_cast<int32_t>(m->buckets * hashtable::LOAD_LIMIT);
  m->flags = make_flags(m->buckets);
  m->pairs = static_cast<uint32_t*>(heap::alloc_tracked(m->buckets * 8));
  return m;
}

void put(map* m, uint32_t key, uint32_t value) {
  if (m->occupied >= m->bound) resize(m, m->size * 2 < m->buckets ? m->buckets - 1 : m->buckets + 1);
  uint32_t state;
  int32_t i = probe(m, key, &state);
  m->pairs[2 * i + 1] = value;
  if (state == BUCKET_LIVE) return;
  m->pairs[2 * i] = key;
  set_bucket_state(m->flags, i, BUCKET_LIVE);
  ++m->size;
  if (state == BUCKET_EMPTY) ++m->occupied;
}

uint32_t* get(map* m, uint32_t key) {
  int32_t i = find(m, key);
  return i < 0 ? nullptr : m->pairs + 2 * i + 1;
}

int32_t find(map* m, uint32_t key) {
  uint32_t state;
  int32_t i = probe(m, key, &state);
  return state == BUCKET_LIVE ? i : -1;
}

void remove(map* m, uint32_t key) {
  int32_t i = find(m, key);
  if (i < 0) return;
  set_bucket_state(m->flags, i, BUCKET_DELETED);
  --m->size;
}

uint32_t* next(map* m, uint32_t* previous) {
  int32_t i = previous ? static_cast<int32_t>(previous - m->pairs) / 2 + 1 : 0;
  for (; i < m->buckets; ++i) {
    if (bucket_state(m->flags, i) == BUCKET_LIVE) return m->pairs + 2 * i;
  }
  return nullptr;
}

int32_t count(map* m) { return m->size; }

void clear(map* m) {
  std::memset(m->flags, hashtable::ALL_EMPTY, static_cast<size_t>((m->buckets + 15) / 16 * 4));
  m->size = 0;
  m->occupied = 0;
}

void free(map* m) {
  heap::free_tracked(m->flags);
  heap::free_tracked(m->pairs);
  heap::free_tracked(m);
}

}  // namespace ixo::node_map
