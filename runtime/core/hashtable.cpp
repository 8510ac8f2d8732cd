// Hashtables of kinds 0-2: sizing, probing, insertion with duplicate
// chains, lookup, removal, growth (rebuild for blocks, in-place re-bucketing
// for maps and symbol tables), renumbering after moves, symbol interning,
// context word lists, and the collector's mark hook.
//
// Every function that allocates or compares roots the table node it was
// given and reads buffers again through nodes afterwards: a compare may
// allocate too.
#include "runtime/core/hashtable.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/core/array.hpp"
#include "runtime/core/hash.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::hashtable {

using namespace memory;

// ---- Buckets, views and index arrays -------------------------------------------

namespace {

constexpr int32_t MOVE_LIMIT = 30000;
constexpr int32_t REBUILT = 2;

// Where a table's arrays and cells are, until the next call that may
// allocate or compare. `hashes` is nullptr for kind 2.
struct view {
  hashtable_record* rec;
  uint32_t* flags;
  int32_t* keys;
  uint32_t* hashes;
  cell* cells;
};

[[gnu::always_inline]] inline view view_of(uint32_t table) {
  hashtable_record* rec = record_of(table);
  return {rec, head_of<uint32_t>(buffer_of(rec->flags)), head_of<int32_t>(buffer_of(rec->keys)),
          rec->hashes ? head_of<uint32_t>(buffer_of(rec->hashes)) : nullptr, head_of<cell>(buffer_of(rec->block))};
}

int32_t cell_count(uint32_t series) {
  series_buffer* b = buffer_of(series);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

cell* cell_at(uint32_t table, int32_t index) { return head_of<cell>(buffer_of(record_of(table)->block)) + index; }

int32_t next_step(int32_t i, int32_t* step, uint32_t mask) { return static_cast<int32_t>((i + ++*step) & mask); }

// The keys whose hash depends on a node address.
bool address_hashed_q(uint32_t type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: case TYPE_IMAGE: case TYPE_EVENT: case TYPE_MAP:
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_FUNCTION: case TYPE_OBJECT:
    case TYPE_ERROR: case TYPE_PORT:
      return true;
    default:
      return false;
  }
}

uint32_t make_flags(int32_t buckets) { return alloc_filled_bytes(buckets / 4, ALL_EMPTY); }
uint32_t make_keys(int32_t buckets) { return alloc_filled_bytes(buckets * 4, 0); }
bool hashes_kept_q(int32_t kind) { return kind == KIND_BLOCK || kind == KIND_MAP; }

// Index arrays: one int32 per cell, -1 for a cell not indexed.
int32_t* index_entries(const hashtable_record* rec) { return head_of<int32_t>(buffer_of(rec->indexes)); }
int32_t index_length(const hashtable_record* rec) { return array::length_q(rec->indexes); }

uint32_t make_indexes(int32_t n) {
  uint32_t node = array::make(n, 4);
  series_buffer* b = buffer_of(node);
  fill(head_of(b), head_of(b) + 4 * n, 0xFF);
  b->tail = b->head + 4 * static_cast<uint32_t>(n);
  return node;
}

// Grows the index array to `length` entries, the new ones -1.
void grow_indexes(uint32_t table, int32_t length) {
  series_buffer* b = buffer_of(record_of(table)->indexes);
  uint32_t kept = b->tail - b->head;
  if (head_of(b) + 4 * length > data_end(b)) b = expand_series(b, 4 * length);
  fill(head_of(b) + kept, head_of(b) + 4 * length, 0xFF);
  b->tail = b->head + 4 * static_cast<uint32_t>(length);
}

// Kind 0: the bucket (1-based) of a cell, growing the index array to twice
// the cell's index when it is too short.
void set_index(uint32_t table, int32_t index, int32_t bucket) {
  if (index >= index_length(record_of(table))) grow_indexes(table, std::max(2 * index, index + 1));
  index_entries(record_of(table))[index] = bucket + 1;
}

// Kind 0: the first cell index of a live bucket.
int32_t first_index(const view& v, int32_t bucket) {
  int32_t key = v.keys[bucket];
  if (key >= 0) return key;
  return array::pick_int(array::pick_ptr(v.rec->chains, -key), 1);
}

// Kind 0: adds a cell index to the duplicates of a live bucket, turning a
// single index into a chain first.
void join_chain(uint32_t table, int32_t bucket, int32_t index) {
  int32_t key = view_of(table).keys[bucket];
  if (key < 0) {
    array::append_int(array::pick_ptr(record_of(table)->chains, -key), index);
    return;
  }
  uint32_t chain = array::make(2, 4);
  root_guard keep(&chain);
  array::append_int(chain, key);
  array::append_int(chain, index);
  array::append_ptr(record_of(table)->chains, chain);
  view_of(table).keys[bucket] = -array::length_q(record_of(table)->chains);
}

// Kind 0: forgets one cell. A chain loses the index; a bucket left without
// cells is marked deleted.
void forget(uint32_t table, int32_t index) {
  hashtable_record* rec = record_of(table);
  if (index < 0 || index >= index_length(rec)) return;
  int32_t* entry = index_entries(rec) + index;
  int32_t bucket = *entry - 1;
  if (bucket < 0) return;
  *entry = -1;
  view v = view_of(table);
  int32_t key = v.keys[bucket];
  if (key < 0) {
    uint32_t chain = array::pick_ptr(rec->chains, -key);
    int32_t at = array::find_int(chain, index);
    if (at >= 0) array::remove_at(chain, at, 4);
    if (array::length_q(chain) > 0) return;
    array::poke_int(rec->chains, -key, 0);
  }
  set_bucket_state(v.flags, bucket, BUCKET_DELETED);
  --rec->size;
}

// Growth of a block's table: a rebuild with node compaction off.
void regrow(uint32_t table, int32_t target) {
  compaction_off off;
  rebuild(table, target);
}

void refresh(uint32_t table) {
  hashtable_record* rec = record_of(table);
  if (rec->kind == KIND_BLOCK && stale_q(rec)) regrow(table, cell_count(rec->block));
}

// Kind 0: among a live bucket's cells, the one `get` answers, or -1.
int32_t best_in_bucket(uint32_t table, int32_t bucket, const cell* key, int32_t start, int32_t skip,
                       int32_t op, bool from_end, bool backward) {
  view v = view_of(table);
  int32_t single = v.keys[bucket];
  if (!actions::compare(cell_at(table, first_index(v, bucket)), key, COMP_EQUAL)) return -1;
  int32_t length = cell_count(record_of(table)->block);
  int32_t best = from_end ? -1 : length;
  int32_t count = single >= 0 ? 1 : array::length_q(array::pick_ptr(record_of(table)->chains, -single));
  for (int32_t n = 1; n <= count; ++n) {
    int32_t x = single >= 0 ? single : array::pick_int(array::pick_ptr(record_of(table)->chains, -single), n);
    if (!actions::compare(cell_at(table, x), key, op)) continue;
    int32_t offset = from_end ? start - 1 - x : x - start;
    if (skip != 0 && offset % skip != 0) continue;
    if (backward) {
      if (x < start && x > best) best = x;
    } else if (from_end) {
      if (x >= start && x > best) best = x;
    } else if (x >= start && x < best) {
      best = x;
    }
  }
  return from_end ? best : (best < length ? best : -1);
}

// ---- Renumbering after moves ---------------------------------------------------

// Renumbers the keys of the cells [low, high) through `renumber`, each
// chain once. Indexes are those before the move, read from the index array.
template <class Renumber>
void renumber_keys(uint32_t table, int32_t low, int32_t high, Renumber renumber) {
  hashtable_record* rec = record_of(table);
  view v = view_of(table);
  const int32_t* entries = index_entries(rec);
  high = std::min(high, index_length(rec));
  uint8_t* seen = nullptr;
  for (int32_t x = std::max(low, 0); x < high; ++x) {
    int32_t bucket = entries[x] - 1;
    if (bucket < 0) continue;
    int32_t key = v.keys[bucket];
    if (key >= 0) {
      v.keys[bucket] = renumber(key);
      continue;
    }
    int32_t number = -key;
    if (!seen) seen = static_cast<uint8_t*>(heap::alloc_zeroed(array::length_q(rec->chains) / 8 + 1));
    if (seen[number >> 3] & (1 << (number & 7))) continue;
    seen[number >> 3] |= static_cast<uint8_t>(1 << (number & 7));
    uint32_t chain = array::pick_ptr(rec->chains, number);
    int32_t* items = reinterpret_cast<int32_t*>(array::head(chain));
    for (int32_t n = array::length_q(chain) - 1; n >= 0; --n) items[n] = renumber(items[n]);
  }
  heap::free_tracked(seen);
}

// ---- Spellings and symbol cells ------------------------------------------------

// Same spelling: equal byte lengths and equal bytes, exactly or with A-Z
// and a-z taken as the same.
bool same_name_q(const cell* entry, const uint8_t* name, int32_t length, bool exact) {
  series_buffer* b = buffer_of(entry->data3);
  if (static_cast<int32_t>(b->tail - b->head) != length) return false;
  const uint8_t* spelling = head_of(b);
  if (exact) return std::memcmp(spelling, name, static_cast<size_t>(length)) == 0;
  for (int32_t i = 0; i < length; ++i) {
    uint8_t a = spelling[i], c = name[i];
    if (a >= 'A' && a <= 'Z') a += 0x20;
    if (c >= 'A' && c <= 'Z') c += 0x20;
    if (a != c) return false;
  }
  return true;
}

// Walks a probe path of the symbol table for a spelling; answers the cell
// index of the first match, or -1. The first empty bucket met is kept in
// *free_bucket.
int32_t find_name(const view& v, int32_t start, uint32_t mask, const uint8_t* spelling, int32_t length,
                  bool exact, int32_t* free_bucket) {
  int32_t i = start, step = 0;
  do {
    uint32_t state = bucket_state(v.flags, i);
    if (state == BUCKET_EMPTY) {
      if (*free_bucket < 0) *free_bucket = i;
      return -1;
    }
    if (state == BUCKET_LIVE && same_name_q(v.cells + v.keys[i], spelling, length, exact)) return v.keys[i];
    i = next_step(i, &step, mask);
  } while (i != start);
  return -1;
}

// The spelling being interned, copied out of the caller's memory, which may
// be a series buffer that the allocations of interning move.
uint8_t* scratch = nullptr;
int32_t scratch_size = 0;

const uint8_t* keep_spelling(const uint8_t* name, int32_t length) {
  if (name == scratch) return scratch;
  if (length > scratch_size) {
    heap::free_tracked(scratch);
    scratch_size = std::max(length, 256);
    scratch = static_cast<uint8_t*>(heap::alloc_tracked(scratch_size));
  }
  std::memcpy(scratch, name, static_cast<size_t>(length));
  return scratch;
}

// A new symbol! cell in a free bucket of the symbol table: the spelling in
// a byte series of its own, NUL-terminated past the tail.
int32_t new_symbol(uint32_t table, int32_t bucket, const uint8_t* spelling, int32_t length, int32_t alias) {
  spelling = keep_spelling(spelling, length);
  uint32_t name = 0;
  root_guard keep_table(&table), keep_name(&name);
  name = alloc_bytes(length + 1);
  series_buffer* b = buffer_of(name);
  std::memcpy(head_of(b), spelling, static_cast<size_t>(length));
  b->tail = b->head + static_cast<uint32_t>(length);
  *tail_of(b) = 0;
  int32_t index = cell_count(record_of(table)->block);
  cell* entry = series::alloc_tail_cell(buffer_of(record_of(table)->block));
  *entry = {TYPE_UNSET, static_cast<uint32_t>(alias), 0, name};
  entry->header = TYPE_SYMBOL;
  view v = view_of(table);
  v.keys[bucket] = index;
  set_bucket_state(v.flags, bucket, BUCKET_LIVE);
  ++v.rec->size;
  ++v.rec->occupied;
  return index + 1;
}

// A word list's new word: a word! of the context for the symbol at the
// tail of the list, keyed in the empty bucket the lookup stopped at.
// Answers its index.
int32_t add_symbol_word(uint32_t table, int32_t bucket, int32_t symbol, uint32_t context) {
  root_guard keep_table(&table), keep_context(&context);
  int32_t added = cell_count(record_of(table)->block);
  cell* word = series::alloc_tail_cell(buffer_of(record_of(table)->block));
  *word = {TYPE_WORD, context, static_cast<uint32_t>(symbol), static_cast<uint32_t>(added)};
  view v = view_of(table);
  v.keys[bucket] = added;
  set_bucket_state(v.flags, bucket, BUCKET_LIVE);
  ++v.rec->size;
  ++v.rec->occupied;
  return added;
}

}  // namespace

// ---- Making a table ------------------------------------------------------------

uint32_t init(int32_t n, const cell* source, int32_t kind, int32_t extra) {
  uint32_t series = source ? source->data2 : 0;
  int32_t from = source ? static_cast<int32_t>(source->data1) : 0;
  if (kind == KIND_SYMBOL && extra == 2 && source) {
    uint32_t cloned = source->data1;
    root_guard keep(&cloned);
    uint32_t words = copy_series(buffer_of(record_of(cloned)->block));
    root_guard keep_words(&words);
    return copy(cloned, words);
  }
  if (kind == KIND_SYMBOL && n >= 4000) n *= 2;
  if (n < 4) n = 4;
  int32_t buckets = static_cast<int32_t>(next_power_of_two(static_cast<uint32_t>(n / LOAD_LIMIT)));

  uint32_t table = 0, flags = 0, keys = 0, hashes = 0, indexes = 0, chains = 0;
  root_guard keep_series(&series), keep_table(&table), keep_flags(&flags), keep_keys(&keys),
      keep_hashes(&hashes), keep_indexes(&indexes), keep_chains(&chains);
  table = alloc_filled_bytes(sizeof(hashtable_record), 0);
  flags = make_flags(buckets);
  keys = make_keys(buckets);
  if (hashes_kept_q(kind)) hashes = make_keys(buckets);
  if (kind == KIND_BLOCK) {
    indexes = make_indexes(n);
    chains = array::make(0, 4);
  }
  bool indexing = source && kind <= KIND_SYMBOL;
  if (!indexing) series = alloc_cells(n);

  series_buffer* b = buffer_of(table);
  b->tail = b->head + sizeof(hashtable_record);
  hashtable_record* rec = record_of(table);
  rec->kind = kind;
  rec->indexes = kind >= KIND_RECORD ? 16 * static_cast<uint32_t>(extra + 1) : indexes;
  rec->chains = chains;
  rec->flags = flags;
  rec->keys = keys;
  rec->hashes = hashes;
  rec->block = series;
  rec->buckets = buckets;
  rec->bound = static_cast<int32_t>(buckets * LOAD_LIMIT);
  if (kind >= KIND_RECORD) rec->stamp = collector::node_relocation_count + 1;
  if (indexing) {
    cell held{TYPE_HASH, static_cast<uint32_t>(from), series, table};
    root_guard keep_held(&held);
    put_all(table, from, kind == KIND_MAP ? 2 : 1);
  }
  return table;
}

// ---- Insertion -----------------------------------------------------------------

namespace {

// put_key with the key's hash known, or to be computed when `known` is
// false (after any growth: the key is read again then).
cell* place_key(uint32_t table, cell* key, int32_t* status, bool known, uint32_t h) {
  root_guard keep(&table);
  *status = 0;
  hashtable_record* rec = record_of(table);
  int32_t index = static_cast<int32_t>(key - head_of<cell>(buffer_of(rec->block)));
  int32_t kind = rec->kind;
  if (rec->occupied >= rec->bound) {
    if (kind == KIND_BLOCK) {
      regrow(table, growth_target(rec));
      *status = REBUILT;
      return cell_at(table, index);
    }
    resize(table, kind == KIND_MAP ? rec->buckets + 1 : growth_target(rec));
  }
  view v = view_of(table);
  key = v.cells + index;
  if (kind == KIND_BLOCK && v.rec->stamp == 0 && address_hashed_q(TYPE_OF(key))) {
    v.rec->stamp = collector::node_relocation_count + 1;
  }
  uint32_t mask = static_cast<uint32_t>(v.rec->buckets - 1);
  if (!known) h = hash::value(key);
  int32_t i = static_cast<int32_t>(h & mask);
  int32_t start = i, step = 0, deleted = -1;
  uint32_t state;
  for (;;) {
    state = bucket_state(v.flags, i);
    if (state == BUCKET_EMPTY) break;
    if (state == BUCKET_DELETED) {
      deleted = i;
    } else if (v.hashes && v.hashes[i] != h) {
      // Keys that hash apart are never equal.
    } else if (kind != KIND_BLOCK) {
      bool same = actions::compare(v.cells + v.keys[i], key, COMP_STRICT_EQUAL);
      v = view_of(table);
      key = v.cells + index;
      if (same) break;
    } else {
      const cell* first = v.cells + first_index(v, i);
      bool equal = TYPE_OF(first) == TYPE_OF(key) && actions::compare(first, key, COMP_EQUAL);
      if (equal) {
        join_chain(table, i, index);
        break;
      }
      v = view_of(table);
      key = v.cells + index;
    }
    i = next_step(i, &step, mask);
    if (i == start) {
      i = deleted;
      state = BUCKET_DELETED;
      break;
    }
  }
  if (state == BUCKET_EMPTY && deleted >= 0) {
    i = deleted;
    state = BUCKET_DELETED;
  }
  v = view_of(table);
  if (state != BUCKET_LIVE) {
    v.keys[i] = index;
    if (v.hashes) v.hashes[i] = h;
    set_bucket_state(v.flags, i, BUCKET_LIVE);
    ++v.rec->size;
    if (state == BUCKET_EMPTY) ++v.rec->occupied;
  }
  if (kind == KIND_BLOCK) set_index(table, index, i);
  return cell_at(table, index);
}

}  // namespace

cell* put_key(uint32_t table, cell* key, int32_t* status) { return place_key(table, key, status, false, 0); }

cell* put(uint32_t table, cell* key) {
  int32_t status;
  return place_key(table, key, &status, false, 0);
}

cell* put_hashed(uint32_t table, cell* key, uint32_t hash) {
  int32_t status;
  return place_key(table, key, &status, true, hash);
}

void put_all(uint32_t table, int32_t first, int32_t step) {
  root_guard keep(&table);
  int32_t status;
  if (record_of(table)->kind != KIND_MAP) {
    for (int32_t i = first; i < cell_count(record_of(table)->block); i += step) {
      put_key(table, cell_at(table, i), &status);
      if (status == REBUILT) return;
    }
    return;
  }
  for (int32_t i = first; i < cell_count(record_of(table)->block);) {
    cell* found = get(table, cell_at(table, i), 0, 0, COMP_STRICT_EQUAL, false, false);
    if (!found) {
      put_key(table, cell_at(table, i), &status);
      i += step;
      continue;
    }
    copy_cell(cell_at(table, i) + 1, found + 1);
    series_buffer* b = buffer_of(record_of(table)->block);
    cell* pair = head_of<cell>(b) + i;
    std::memmove(pair, pair + 2, static_cast<size_t>(tail_of(b) - reinterpret_cast<uint8_t*>(pair + 2)));
    b->tail -= 2 * sizeof(cell);
  }
}

// ---- Lookup --------------------------------------------------------------------

namespace {

// Whether two cells of one any-string type hold the same units from their
// indexes: equal under every compare but same?. A look-up whose hashes
// agree mostly ends so, told without the compare action.
bool same_text_q(const cell* a, const cell* b) {
  if (!any_string_q(TYPE_OF(a))) return false;
  int32_t length = string::rs_length_q(a);
  if (string::rs_length_q(b) != length) return false;
  series_buffer* buffer_a = GET_BUFFER(a);
  series_buffer* buffer_b = GET_BUFFER(b);
  uint32_t unit = GET_UNIT(buffer_a);
  if (GET_UNIT(buffer_b) != unit) return false;
  size_t bytes = static_cast<size_t>(length) * unit;
  return std::memcmp(tail_of(buffer_a) - bytes, tail_of(buffer_b) - bytes, bytes) == 0;
}

// actions::compare with the table's node and the key rooted across it: a
// compare may allocate, which may move them.
bool compare_rooted(uint32_t& table, const cell* c, cell& wanted, int32_t op) {
  root_guard keep_table(&table), keep_key(&wanted);
  return actions::compare(c, &wanted, op);
}

}  // namespace

cell* get_hashed(uint32_t table, const cell* key, uint32_t h, int32_t op) {
  cell wanted = *key;
  if (any_word_q(TYPE_OF(&wanted))) set_type(&wanted, TYPE_SET_WORD);
  view v = view_of(table);
  uint32_t mask = static_cast<uint32_t>(v.rec->buckets - 1);
  int32_t i = static_cast<int32_t>(h & mask);
  int32_t first = i, step = 0;
  for (;;) {
    uint32_t state = bucket_state(v.flags, i);
    if (state == BUCKET_EMPTY) return nullptr;
    if (state == BUCKET_LIVE && v.hashes[i] == h) {
      int32_t x = v.keys[i];
      const cell* c = v.cells + x;
      if (TYPE_OF(c) == TYPE_OF(&wanted)) {
        if (op != COMP_SAME && same_text_q(c, &wanted)) return cell_at(table, x);
        if (compare_rooted(table, c, wanted, op)) return cell_at(table, x);
        v = view_of(table);  // the compare may have moved every buffer
      }
    }
    i = next_step(i, &step, mask);
    if (i == first) return nullptr;
  }
}

cell* get(uint32_t table, const cell* key, int32_t start, int32_t skip, int32_t op, bool from_end, bool backward) {
  if (record_of(table)->kind == KIND_MAP) return get_hashed(table, key, hash::value(key), op);
  root_guard keep_table(&table);
  cell wanted = *key;
  root_guard keep_key(&wanted);
  refresh(table);
  hashtable_record* rec = record_of(table);
  int32_t kind = rec->kind;
  if (backward) from_end = true;
  uint32_t mask = static_cast<uint32_t>(rec->buckets - 1);
  uint32_t h = hash::value(&wanted);
  int32_t i = static_cast<int32_t>(h & mask);
  int32_t first = i, step = 0;
  for (;;) {
    view v = view_of(table);
    uint32_t state = bucket_state(v.flags, i);
    if (state == BUCKET_EMPTY) return nullptr;
    if (state == BUCKET_LIVE && (!v.hashes || v.hashes[i] == h)) {
      if (kind == KIND_BLOCK) {
        int32_t x = best_in_bucket(table, i, &wanted, start, skip, op, from_end, backward);
        if (x >= 0) return cell_at(table, x);
      } else {
        int32_t x = v.keys[i];
        const cell* c = v.cells + x;
        if (TYPE_OF(c) == TYPE_OF(&wanted) && actions::compare(c, &wanted, op)) return cell_at(table, x);
      }
    }
    i = next_step(i, &step, mask);
    if (i == first) return nullptr;
  }
}

cell* get_next(uint32_t table, const cell* key, int32_t* position, int32_t* start_bucket, int32_t* step) {
  root_guard keep_table(&table);
  cell wanted = *key;
  root_guard keep_key(&wanted);
  uint32_t mask = static_cast<uint32_t>(record_of(table)->buckets - 1);
  uint32_t h = hash::value(&wanted);
  int32_t i;
  if (*position == -1) {
    i = static_cast<int32_t>(h & mask);
    *start_bucket = i;
    *step = 0;
  } else {
    i = next_step(*position, step, mask);
    if (i == *start_bucket) return nullptr;
  }
  for (;;) {
    view v = view_of(table);
    uint32_t state = bucket_state(v.flags, i);
    if (state == BUCKET_EMPTY) return nullptr;
    if (state == BUCKET_LIVE && (!v.hashes || v.hashes[i] == h)) {
      int32_t x = v.keys[i];
      const cell* c = v.cells + x;
      if (TYPE_OF(c) == TYPE_OF(&wanted) && actions::compare(c, &wanted, COMP_EQUAL)) {
        *position = i;
        return cell_at(table, x);
      }
    }
    i = next_step(i, step, mask);
    if (i == *start_bucket) return nullptr;
  }
}

// ---- Removal -------------------------------------------------------------------

void delete_key(uint32_t table, cell* key) {
  hashtable_record* rec = record_of(table);
  if (rec->kind == KIND_MAP) {
    key[1].header = 0;
    --rec->size;
    return;
  }
  forget(table, static_cast<int32_t>(key - head_of<cell>(buffer_of(rec->block))));
}

void clear(uint32_t table, int32_t first, int32_t count) {
  hashtable_record* rec = record_of(table);
  int32_t length = cell_count(rec->block);
  count = std::min(count, length - first);
  if (count <= 0) return;
  if (first == 0 && count == length) {
    series_buffer* b = buffer_of(rec->flags);
    fill(data_of(b), data_end(b), ALL_EMPTY);
    b = buffer_of(rec->indexes);
    fill(head_of(b), tail_of(b), 0xFF);
    array::clear(rec->chains);
    rec->size = 0;
    rec->occupied = 0;
    return;
  }
  for (int32_t x = first; x < first + count; ++x) forget(table, x);
}

void reset(uint32_t table) {
  hashtable_record* rec = record_of(table);
  rec->size = 0;
  rec->occupied = 0;
  series_buffer* b = buffer_of(rec->block);
  b->tail = b->head;
  b = buffer_of(rec->flags);
  fill(data_of(b), data_end(b), ALL_EMPTY);
}

// ---- Copies, moves and growth --------------------------------------------------

uint32_t copy(uint32_t table, uint32_t block) {
  uint32_t duplicate = 0, flags = 0, keys = 0, hashes = 0, indexes = 0, chains = 0;
  root_guard keep_table(&table), keep_block(&block), keep_duplicate(&duplicate), keep_flags(&flags),
      keep_keys(&keys), keep_hashes(&hashes), keep_indexes(&indexes), keep_chains(&chains);
  duplicate = copy_series(buffer_of(table));
  flags = copy_series(buffer_of(record_of(table)->flags));
  keys = copy_series(buffer_of(record_of(table)->keys));
  if (record_of(table)->hashes) hashes = copy_series(buffer_of(record_of(table)->hashes));
  if (record_of(table)->kind == KIND_BLOCK) {
    indexes = copy_series(buffer_of(record_of(table)->indexes));
    chains = copy_series(buffer_of(record_of(table)->chains));
    for (int32_t n = 1; n <= array::length_q(chains); ++n) {
      uint32_t chain = array::pick_ptr(chains, n);
      if (chain) array::poke_int(chains, n, static_cast<int32_t>(array::copy(chain)));
    }
  }
  hashtable_record* rec = record_of(duplicate);
  rec->flags = flags;
  rec->keys = keys;
  rec->hashes = hashes;
  rec->block = block;
  if (rec->kind == KIND_BLOCK) {
    rec->indexes = indexes;
    rec->chains = chains;
  }
  return duplicate;
}

int32_t move(uint32_t table, int32_t offset, int32_t first, int32_t count, bool shift) {
  if (count > MOVE_LIMIT) return 1;
  root_guard keep(&table);
  if (shift && offset < 0) {
    for (int32_t x = std::max(first + offset, 0); x < first; ++x) forget(table, x);
  }
  int32_t end = first + count;
  renumber_keys(table, first, end, [=](int32_t x) { return x >= first && x < end ? x + offset : x; });
  if (!shift) return 0;
  if (end + offset > index_length(record_of(table))) grow_indexes(table, 2 * (end + offset));
  int32_t* entries = index_entries(record_of(table));
  std::memmove(entries + first + offset, entries + first, 4 * static_cast<size_t>(count));
  // The entries the run left and did not land on.
  int32_t from = offset > 0 ? first : std::max(first, end + offset);
  int32_t to = offset > 0 ? std::min(end, first + offset) : end;
  std::fill(entries + from, entries + to, -1);
  return 0;
}

void move_range(uint32_t table, int32_t destination, int32_t first, int32_t count) {
  if (count <= 0 || (destination >= first && destination < first + count)) return;
  root_guard keep(&table);
  int32_t gap = destination - first;
  if (gap > 0) gap -= count - 1;
  if (count > MOVE_LIMIT || std::abs(gap) > MOVE_LIMIT) {
    regrow(table, cell_count(record_of(table)->block));
    return;
  }
  int32_t end = first + count;
  // The run moves by gap; the cells it passes over move the other way by
  // count. Every key is renumbered from its place before the move.
  int32_t low = gap > 0 ? first : first + gap;
  int32_t high = gap > 0 ? end + gap : end;
  renumber_keys(table, low, high, [=](int32_t x) {
    if (x >= first && x < end) return x + gap;
    if (x >= low && x < high) return gap > 0 ? x - count : x + count;
    return x;
  });
  if (high > index_length(record_of(table))) grow_indexes(table, high);
  int32_t* entries = index_entries(record_of(table));
  if (gap > 0) {
    std::rotate(entries + first, entries + end, entries + high);
  } else {
    std::rotate(entries + low, entries + first, entries + end);
  }
}

void rebuild(uint32_t table, int32_t target) {
  root_guard keep(&table);
  uint32_t power = next_power_of_two(static_cast<uint32_t>(1.5 * target));
  int32_t buckets = std::max(static_cast<int32_t>(power), 4);
  uint32_t flags = 0, keys = 0;
  root_guard keep_flags(&flags), keep_keys(&keys);
  flags = make_flags(buckets);
  keys = make_keys(buckets);
  uint32_t hashes = make_keys(buckets);
  hashtable_record* rec = record_of(table);
  rec->flags = flags;
  rec->keys = keys;
  rec->hashes = hashes;
  rec->buckets = buckets;
  rec->bound = static_cast<int32_t>(LOAD_LIMIT * power);
  rec->size = 0;
  rec->occupied = 0;
  rec->stamp = 0;
  array::clear(rec->chains);
  put_all(table, 0, 1);
}

void resize(uint32_t table, int32_t target) {
  root_guard keep(&table);
  int32_t buckets = std::max(static_cast<int32_t>(next_power_of_two(static_cast<uint32_t>(target))), 4);
  int32_t bound = static_cast<int32_t>(LOAD_LIMIT * buckets + 0.5);
  hashtable_record* rec = record_of(table);
  if (rec->size >= bound) return;
  int32_t old_buckets = rec->buckets;
  uint32_t flags = 0;
  root_guard keep_flags(&flags);
  flags = make_flags(buckets);
  if (buckets > old_buckets) {
    expand_series_filled(buffer_of(record_of(table)->keys), 4 * buckets, 0);
    if (record_of(table)->hashes) expand_series_filled(buffer_of(record_of(table)->hashes), 4 * buckets, 0);
  }

  // Every live key moves to its place in the new flags. A place that still
  // holds a key not yet moved takes the moving key, and the one it held
  // moves next.
  view v = view_of(table);
  uint32_t* fresh = head_of<uint32_t>(buffer_of(flags));
  uint32_t mask = static_cast<uint32_t>(buckets - 1);
  for (int32_t j = 0; j < old_buckets; ++j) {
    if (bucket_state(v.flags, j) != BUCKET_LIVE) continue;
    int32_t key = v.keys[j];
    set_bucket_state(v.flags, j, BUCKET_DELETED);
    for (;;) {
      uint32_t h = hash::value(v.cells + key);
      int32_t i = static_cast<int32_t>(h & mask), step = 0;
      while (bucket_state(fresh, i) != BUCKET_EMPTY) i = next_step(i, &step, mask);
      set_bucket_state(fresh, i, BUCKET_LIVE);
      if (v.hashes) v.hashes[i] = h;
      if (i < old_buckets && bucket_state(v.flags, i) == BUCKET_LIVE) {
        std::swap(key, v.keys[i]);
        set_bucket_state(v.flags, i, BUCKET_DELETED);
        continue;
      }
      v.keys[i] = key;
      break;
    }
  }
  v.rec->flags = flags;
  v.rec->buckets = buckets;
  v.rec->bound = bound;
  // Removed map entries keep their buckets.
  if (v.rec->kind != KIND_MAP) v.rec->occupied = v.rec->size;
}

// ---- Symbols and word lists ----------------------------------------------------

int32_t get_symbol(uint32_t table, const uint8_t* name, int32_t length, bool any_case) {
  const uint8_t* spelling = name;
  hashtable_record* rec = record_of(table);
  if (rec->occupied >= rec->bound) {
    spelling = keep_spelling(name, length);
    root_guard keep(&table);
    resize(table, 16 * growth_target(rec));
  }
  view v = view_of(table);
  uint32_t mask = static_cast<uint32_t>(v.rec->buckets - 1);
  int32_t start = static_cast<int32_t>(hash::fold_name(spelling, length) & mask);
  int32_t free_bucket = -1;
  if (!any_case) {
    int32_t found = find_name(v, start, mask, spelling, length, true, &free_bucket);
    if (found >= 0) return found + 1;
  }
  int32_t found = find_name(v, start, mask, spelling, length, false, &free_bucket);
  int32_t alias = -1;
  if (found >= 0) {
    // The canonical spelling of the letters: re-bucketing may have put a
    // later spelling first on the probe path.
    int32_t canonical = static_cast<int32_t>(v.cells[found].data1);
    alias = canonical > 0 ? canonical : found + 1;
    if (any_case) return alias;
  }
  return new_symbol(table, free_bucket, spelling, length, alias);
}

word_list word_list_of(uint32_t table) {
  const hashtable_record* rec = record_of(table);
  return {head_of<uint32_t>(buffer_of(rec->flags)), head_of<int32_t>(buffer_of(rec->keys)),
          head_of<cell>(buffer_of(rec->block)), symbol::entries(), static_cast<uint32_t>(rec->buckets - 1)};
}

int32_t find_symbol(const word_list& list, int32_t symbol, bool case_insensitive, int32_t* bucket) {
  int32_t canonical = symbol::resolve_in(list.symbols, symbol);
  int32_t wanted = case_insensitive ? canonical : symbol;
  int32_t i = static_cast<int32_t>(hash::mix_pointer(static_cast<uint32_t>(canonical)) & list.mask);
  int32_t start = i, step = 0;
  for (;;) {
    uint32_t state = bucket_state(list.flags, i);
    if (state == BUCKET_EMPTY) break;
    if (state == BUCKET_LIVE) {
      // The same id, or the canonical one, matches without resolving it.
      int32_t found = static_cast<int32_t>(list.words[list.keys[i]].data2);
      bool same = found == symbol || found == wanted;
      if (same || (case_insensitive && symbol::resolve_in(list.symbols, found) == wanted)) {
        *bucket = i;
        return list.keys[i];
      }
    }
    i = next_step(i, &step, list.mask);
    if (i == start) {
      *bucket = -1;
      return -1;
    }
  }
  *bucket = i;
  return -1;
}

int32_t put_symbol(uint32_t table, int32_t symbol, bool case_insensitive, uint32_t context, int32_t* index) {
  if (context && record_of(table)->occupied >= record_of(table)->bound) {
    root_guard keep_table(&table), keep_context(&context);
    resize(table, 16 * growth_target(record_of(table)));
  }
  int32_t bucket;
  int32_t found = find_symbol(word_list_of(table), symbol, case_insensitive, &bucket);
  if (found >= 0) {
    if (context) *index = found;
    return found;
  }
  if (context && bucket >= 0) *index = add_symbol_word(table, bucket, symbol, context);
  return -1;
}

// ---- The collector's mark hook -------------------------------------------------

namespace {

bool mark_if(const marker& m, uint32_t* slot) { return *slot && m.mark_node(slot); }

}  // namespace

void mark(uint32_t* table, const marker& m) {
  if (!*table) return;
  m.mark_node(table);
  hashtable_record* rec = record_of(*table);
  mark_if(m, &rec->flags);
  mark_if(m, &rec->keys);
  mark_if(m, &rec->hashes);
  if (rec->kind == KIND_BLOCK) {
    mark_if(m, &rec->indexes);
    // The chain arrays are walked even when the chain list was marked
    // already: a root that holds the list by node (as init does while it
    // indexes) marks that node alone.
    mark_if(m, &rec->chains);
    if (rec->chains) {
      uint32_t* chains = head_of<uint32_t>(buffer_of(rec->chains));
      for (int32_t n = array::length_q(rec->chains) - 1; n >= 0; --n) mark_if(m, chains + n);
    }
  }
  if (!rec->block) return;
  bool fresh = m.mark_node(&rec->block);
  if (rec->kind == KIND_OWNERSHIP) return;
  series_buffer* b = buffer_of(rec->block);
  cell* cells = head_of<cell>(b);
  cell* end = tail_of<cell>(b);
  if (fresh) m.mark_values(cells, end);
  if (rec->kind != KIND_RECORD) return;
  // A record table keeps the series of its keys, and their cells, alive.
  int32_t stride = static_cast<int32_t>(rec->indexes / sizeof(cell));
  for (cell* r = cells; r < end; r += stride) {
    if (r->header != TYPE_UNSET || !mark_if(m, &r->data1)) continue;
    series_buffer* key = buffer_of(r->data1);
    if (GET_UNIT(key) == sizeof(cell)) m.mark_values(head_of<cell>(key), tail_of<cell>(key));
  }
}

}  // namespace ixo::hashtable
