#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/array.hpp"
#include "runtime/core/hash.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/memory/node.hpp"
#include "support/tables.hpp"

namespace ixo::hashtable {
namespace {

using memory::buffer_of;
using memory::head_of;
using memory::series_buffer;
using test::block;
using test::cells_of;
using test::find;
using test::integer;
using test::length_of;
using test::text;
using test::word;

struct hashtable_suite : test::table_suite {};

// Appends a cell to a table's block and indexes it; answers the status.
int32_t add(uint32_t table, const cell& c) {
  cell* at = series::alloc_tail_cell(buffer_of(record_of(table)->block));
  *at = c;
  int32_t status;
  put_key(table, at, &status);
  return status;
}

TEST_F(hashtable_suite, sizes_follow_the_load_limit) {
  struct row { int32_t n, kind, buckets, bound; };
  const row rows[] = {
      {4, KIND_BLOCK, 8, 6},         {1, KIND_BLOCK, 8, 6},          {0, KIND_MAP, 8, 6},
      {100, KIND_MAP, 256, 197},     {4000, KIND_BLOCK, 8192, 6307}, {4000, KIND_SYMBOL, 16384, 12615},
      {4, KIND_RECORD, 8, 6},
  };
  for (const row& r : rows) {
    hashtable_record* rec = record_of(init(r.n, nullptr, r.kind, 1));
    EXPECT_EQ(rec->buckets, r.buckets) << r.n << " kind " << r.kind;
    EXPECT_EQ(rec->bound, r.bound) << r.n << " kind " << r.kind;
    EXPECT_EQ(rec->kind, r.kind);
    EXPECT_EQ(rec->size, 0);
  }
}

TEST_F(hashtable_suite, the_seventh_key_of_a_table_for_four_grows_it) {
  for (int32_t kind : {KIND_BLOCK, KIND_MAP}) {
    uint32_t table = test::kept_table(init(4, nullptr, kind, 1));
    for (int32_t k = 1; k <= 7; ++k) {
      int32_t status = add(table, integer(k * 10));
      if (kind == KIND_MAP) series::alloc_tail_cell(buffer_of(record_of(table)->block))[0] = integer(k);
      EXPECT_EQ(record_of(table)->buckets, k < 7 ? 8 : 16) << "kind " << kind << " key " << k;
      EXPECT_EQ(status, kind == KIND_BLOCK && k == 7 ? 2 : 0) << "kind " << kind << " key " << k;
    }
    EXPECT_EQ(record_of(table)->size, 7);
    for (int32_t k = 1; k <= 7; ++k) {
      EXPECT_EQ(find(table, integer(k * 10)), kind == KIND_MAP ? 2 * (k - 1) : k - 1) << "kind " << kind;
    }
  }
}

// Block tables: "abc" and "ABC" are equal ignoring case.

std::vector<int32_t> chain_of(uint32_t table, int32_t cell_index) {
  hashtable_record* rec = record_of(table);
  int32_t bucket = array::pick_int(rec->indexes, cell_index + 1) - 1;
  int32_t key = head_of<int32_t>(buffer_of(rec->keys))[bucket];
  if (key >= 0) return {key};
  uint32_t chain = array::pick_ptr(rec->chains, -key);
  std::vector<int32_t> items;
  for (int32_t n = 1; n <= array::length_q(chain); ++n) items.push_back(array::pick_int(chain, n));
  return items;
}

TEST_F(hashtable_suite, abc_and_ABC_share_one_bucket_and_chain) {
  cell source = block({text("abc"), text("ABC"), text("xyz"), text("abc")});
  uint32_t table = test::kept_table(init(4, &source, KIND_BLOCK, 1));
  hashtable_record* rec = record_of(table);
  EXPECT_EQ(rec->size, 2);
  EXPECT_EQ(rec->occupied, 2);
  EXPECT_EQ(array::length_q(rec->chains), 1);
  EXPECT_EQ(chain_of(table, 0), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(chain_of(table, 3), chain_of(table, 0));
  EXPECT_EQ(chain_of(table, 2), (std::vector<int32_t>{2}));
  EXPECT_EQ(rec->stamp, 0u);  // no key hashes by node
}

TEST_F(hashtable_suite, find_answers_by_start_skip_case_and_direction) {
  // 0 abc, 1 ABC, 2 xyz, 3 abc, 4 Abc, 5 abc
  cell source = block({text("abc"), text("ABC"), text("xyz"), text("abc"), text("Abc"), text("abc")});
  uint32_t table = test::kept_table(init(6, &source, KIND_BLOCK, 1));
  struct row { const char* key; int32_t start, op, skip; bool from_end, backward; int32_t found; };
  const row rows[] = {
      {"abc", 0, COMP_EQUAL, 1, false, false, 0},
      {"abc", 1, COMP_EQUAL, 1, false, false, 1},
      {"abc", 2, COMP_EQUAL, 1, false, false, 3},
      {"ABC", 0, COMP_STRICT_EQUAL, 1, false, false, 1},
      {"ABC", 2, COMP_STRICT_EQUAL, 1, false, false, -1},
      {"abc", 1, COMP_STRICT_EQUAL, 1, false, false, 3},
      {"aBc", 0, COMP_STRICT_EQUAL, 1, false, false, -1},
      {"abc", 6, COMP_EQUAL, 1, false, false, -1},
      {"abc", 1, COMP_EQUAL, 2, false, false, 1},  // offsets 0, 2, 4
      {"abc", 0, COMP_EQUAL, 3, false, false, 0},
      {"abc", 1, COMP_EQUAL, 3, false, false, 1},  // then 4
      {"abc", 2, COMP_EQUAL, 3, false, false, 5},
      {"abc", 0, COMP_EQUAL, 1, true, false, 5},
      {"abc", 2, COMP_STRICT_EQUAL, 1, true, false, 5},
      {"abc", 4, COMP_EQUAL, 1, false, true, 3},
      {"abc", 4, COMP_STRICT_EQUAL, 1, false, true, 3},
      {"ABC", 4, COMP_STRICT_EQUAL, 1, false, true, 1},
      {"abc", 1, COMP_EQUAL, 1, false, true, 0},
      {"abc", 0, COMP_EQUAL, 1, false, true, -1},
      {"xyz", 0, COMP_EQUAL, 1, false, false, 2},
      {"nope", 0, COMP_EQUAL, 1, false, false, -1},
  };
  for (const row& r : rows) {
    EXPECT_EQ(find(table, text(r.key), r.start, r.op, r.skip, r.from_end, r.backward), r.found)
        << r.key << " from " << r.start << " op " << r.op << " skip " << r.skip << (r.from_end ? " last" : "")
        << (r.backward ? " reverse" : "");
  }
}

// The chains of equal cells live in arrays that only the table's chain
// list reaches, while the list itself is rooted by node as the table is
// built.
TEST_F(hashtable_suite, chains_built_while_indexing_survive_a_collection_at_every_allocation) {
  cell source = block({text("a"), text("a"), text("a"), text("b"), text("b"), text("a")});
  memory::collect_every_allocation = true;
  uint32_t table = test::kept_table(init(6, &source, KIND_BLOCK, 1));
  for (int32_t start : {0, 1, 2, 5}) EXPECT_EQ(find(table, text("a"), start), start);
  EXPECT_EQ(find(table, text("b"), 4), 4);
  EXPECT_EQ(find(table, text("a"), 3), 5);
}

TEST_F(hashtable_suite, deleting_and_clearing_forget_cells) {
  cell source = block({text("abc"), text("ABC"), text("xyz"), text("abc"), text("q")});
  uint32_t table = test::kept_table(init(5, &source, KIND_BLOCK, 1));
  delete_key(table, cells_of(table) + 1);
  EXPECT_EQ(find(table, text("ABC"), 0, COMP_STRICT_EQUAL), -1);
  EXPECT_EQ(find(table, text("ABC"), 1), 3);
  EXPECT_EQ(record_of(table)->size, 3);
  delete_key(table, cells_of(table) + 1);  // not indexed any more: nothing happens
  delete_key(table, cells_of(table) + 0);
  delete_key(table, cells_of(table) + 3);
  EXPECT_EQ(find(table, text("abc")), -1);
  EXPECT_EQ(record_of(table)->size, 2);
  EXPECT_EQ(record_of(table)->occupied, 3);  // the deleted bucket stays occupied
  EXPECT_EQ(array::pick_ptr(record_of(table)->chains, 1), 0u);  // the emptied chain is freed

  clear(table, 3, 10);  // cut to the block's end: forgets 3 (already gone) and 4
  EXPECT_EQ(find(table, text("q")), -1);
  EXPECT_EQ(find(table, text("xyz")), 2);
  EXPECT_EQ(record_of(table)->size, 1);

  clear(table, 0, 5);
  EXPECT_EQ(record_of(table)->size, 0);
  EXPECT_EQ(record_of(table)->occupied, 0);
  EXPECT_EQ(find(table, text("xyz")), -1);
  put_all(table, 0, 1);
  for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(find(table, cells_of(table)[x], x, COMP_STRICT_EQUAL), x);
}

// A block's table mirrored by the texts of its cells: every edit goes to
// both, as the series actions of a hash! do.
struct mirrored {
  uint32_t table;
  std::vector<std::string> texts;

  explicit mirrored(const std::vector<std::string>& initial) : texts(initial) {
    std::vector<cell> cells;
    for (const std::string& t : texts) cells.push_back(text(t));
    cell source = block(cells);
    table = test::kept_table(init(static_cast<int32_t>(cells.size()), &source, KIND_BLOCK, 1));
  }

  void insert(int32_t at, const std::vector<std::string>& more) {
    std::vector<cell> cells;
    for (const std::string& t : more) cells.push_back(text(t));
    int32_t n = static_cast<int32_t>(cells.size()), length = length_of(table);
    series_buffer* b = buffer_of(record_of(table)->block);
    if (memory::tail_of(b) + n * sizeof(cell) > memory::data_end(b)) b = memory::expand_series(b, 32 * (length + n));
    cell* head = head_of<cell>(b);
    std::memmove(head + at + n, head + at, (length - at) * sizeof(cell));
    std::copy(cells.begin(), cells.end(), head + at);
    b->tail += static_cast<uint32_t>(n * sizeof(cell));
    texts.insert(texts.begin() + at, more.begin(), more.end());
    if (move(table, n, at, length - at, true)) {
      rebuild(table, length + n);
      return;
    }
    for (int32_t i = at; i < at + n; ++i) put(table, cells_of(table) + i);
  }

  void remove(int32_t at, int32_t n) {
    int32_t length = length_of(table);
    series_buffer* b = buffer_of(record_of(table)->block);
    cell* head = head_of<cell>(b);
    std::memmove(head + at, head + at + n, (length - at - n) * sizeof(cell));
    b->tail -= static_cast<uint32_t>(n * sizeof(cell));
    texts.erase(texts.begin() + at, texts.begin() + at + n);
    if (move(table, -n, at + n, length - at - n, true)) rebuild(table, length - n);
  }

  // The run [first, first + count) goes to `destination`: after the cell
  // there when it lies after the run, else before it.
  void move_run(int32_t destination, int32_t first, int32_t count) {
    int32_t length = length_of(table);
    std::vector<cell> all(cells_of(table), cells_of(table) + length);
    std::vector<int32_t> order;
    for (int32_t x = 0; x < length; ++x) order.push_back(x);
    if (destination < first || destination >= first + count) {
      std::vector<int32_t> run(order.begin() + first, order.begin() + first + count);
      order.erase(order.begin() + first, order.begin() + first + count);
      int32_t at = destination > first ? destination - count + 1 : destination;
      order.insert(order.begin() + at, run.begin(), run.end());
    }
    std::vector<std::string> moved;
    for (int32_t x = 0; x < length; ++x) {
      cells_of(table)[x] = all[order[x]];
      moved.push_back(texts[order[x]]);
    }
    texts = moved;
    move_range(table, destination, first, count);
  }

  // Every cell is found at its place, with its text, and the table counts
  // one bucket per spelling ignoring case.
  void check(const std::string& step) const {
    std::set<std::string> spellings;
    ASSERT_EQ(length_of(table), static_cast<int32_t>(texts.size())) << step;
    for (int32_t x = 0; x < length_of(table); ++x) {
      EXPECT_EQ(test::text_of(cells_of(table) + x), texts[x]) << step;
      EXPECT_EQ(find(table, cells_of(table)[x], x, COMP_STRICT_EQUAL), x) << step << ": cell " << x;
      std::string upper = texts[x];
      for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      spellings.insert(upper);
    }
    EXPECT_EQ(record_of(table)->size, static_cast<int32_t>(spellings.size())) << step;
  }
};

TEST_F(hashtable_suite, inserting_removing_and_moving_cells_keeps_every_cell_in_place) {
  mirrored m({"a", "b", "A", "c", "a", "B", "d", "e", "C", "a"});
  m.check("made");
  m.insert(1, {"c", "x"});
  m.check("insert in the middle");
  m.insert(0, {"A"});
  m.check("insert at the head");
  m.insert(13, {"b", "y", "Y", "z"});
  m.check("append");
  m.remove(0, 2);
  m.check("remove at the head");
  m.remove(4, 3);
  m.check("remove in the middle");
  m.remove(9, 3);
  m.check("remove at the tail");
  struct run { int32_t destination, first, count; };
  const run runs[] = {{5, 1, 2}, {1, 5, 2}, {8, 0, 1}, {0, 7, 2}, {3, 2, 3}, {2, 3, 1}, {4, 3, 1}, {8, 0, 9}};
  for (const run& r : runs) {
    m.move_run(r.destination, r.first, r.count);
    m.check("move " + std::to_string(r.count) + " from " + std::to_string(r.first) + " to " +
            std::to_string(r.destination));
  }
}

TEST_F(hashtable_suite, moving_more_than_30000_cells_asks_for_a_rebuild) {
  constexpr int32_t N = 40000;
  std::vector<cell> cells;
  for (int32_t i = 0; i < N; ++i) cells.push_back(integer(i % 5000));
  cell source = block(cells, 1);
  uint32_t table = test::kept_table(init(N, &source, KIND_BLOCK, 1));
  cell* head = cells_of(table);
  std::memmove(head + 1, head, N * sizeof(cell));
  head[0] = integer(4999);
  buffer_of(record_of(table)->block)->tail += sizeof(cell);
  EXPECT_EQ(move(table, 1, 0, N, true), 1);
  rebuild(table, N + 1);
  struct probe { int32_t value, start, found; };
  const probe probes[] = {{4999, 0, 0}, {4999, 1, 5000}, {0, 0, 1}, {0, 2, 5001}, {1234, 30000, 31235}};
  for (const probe& p : probes) EXPECT_EQ(find(table, integer(p.value), p.start), p.found) << p.value;
  EXPECT_EQ(record_of(table)->size, 5000);
}

TEST_F(hashtable_suite, copies_index_their_own_block) {
  cell source = block({text("abc"), text("ABC"), text("x")});
  uint32_t table = test::kept_table(init(3, &source, KIND_BLOCK, 1));
  uint32_t copied_block = memory::copy_series(buffer_of(source.data2));
  uint32_t copy_table = test::kept_table(copy(table, copied_block));
  EXPECT_EQ(record_of(copy_table)->block, copied_block);
  delete_key(table, cells_of(table) + 1);
  clear(table, 2, 1);
  EXPECT_EQ(find(copy_table, text("ABC"), 0, COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(find(copy_table, text("x")), 2);
  EXPECT_EQ(find(table, text("ABC"), 0, COMP_STRICT_EQUAL), -1);
  EXPECT_EQ(chain_of(copy_table, 0), (std::vector<int32_t>{0, 1}));
}

// Stands in for node compaction: a new node takes over the series of
// `node`, and the cells that named it name the new one.
uint32_t relocate(uint32_t node, cell* cells, int32_t count) {
  uint32_t moved = memory::alloc_node();
  *memory::address<uint32_t>(moved) = *memory::address<uint32_t>(node);
  buffer_of(moved)->node = moved;
  for (int32_t i = 0; i < count; ++i) {
    if (cells[i].data2 == node) cells[i].data2 = moved;
  }
  ++collector::node_relocation_count;
  return moved;
}

TEST_F(hashtable_suite, blocks_keyed_by_node_are_rebuilt_after_a_relocation) {
  std::vector<cell> keys;
  for (int32_t i = 0; i < 50; ++i) keys.push_back(test::keep(cell{TYPE_BLOCK, 0, memory::alloc_cells(1), 0}));
  cell source = block(keys);
  uint32_t table = test::kept_table(init(50, &source, KIND_BLOCK, 1));
  EXPECT_EQ(record_of(table)->stamp, collector::node_relocation_count + 1);

  cell key = cells_of(table)[20];
  key.data2 = relocate(key.data2, cells_of(table), 50);
  collector::in_progress = 1;  // a lookup from inside a collection re-hashes nothing
  find(table, key);
  EXPECT_NE(record_of(table)->stamp, collector::node_relocation_count + 1);
  collector::in_progress = 0;
  EXPECT_EQ(find(table, key), 20);
  EXPECT_EQ(record_of(table)->stamp, collector::node_relocation_count + 1);
  for (int32_t i = 0; i < 50; ++i) EXPECT_EQ(find(table, cells_of(table)[i]), i);
}

// Map tables: keys at even places, values after them.

TEST_F(hashtable_suite, map_word_keys_are_looked_up_as_set_words) {
  cell storage = block({word("a", TYPE_SET_WORD), integer(1), word("b", TYPE_SET_WORD), integer(2),
                        word("A", TYPE_SET_WORD), integer(3)});
  uint32_t table = test::kept_table(init(4, &storage, KIND_MAP, 1));
  EXPECT_EQ(record_of(table)->size, 3);  // a: and A: are two keys
  struct row { cell key; int32_t op, found; };
  const row rows[] = {
      {word("a"), COMP_EQUAL, 0},
      {word("a", TYPE_LIT_WORD), COMP_EQUAL, 0},
      {word("a", TYPE_GET_WORD), COMP_EQUAL, 0},
      {word("a", TYPE_SET_WORD), COMP_EQUAL, 0},
      {word("A"), COMP_STRICT_EQUAL, 4},
      {word("b"), COMP_STRICT_EQUAL, 2},
      {word("B"), COMP_STRICT_EQUAL, -1},
      {word("a", TYPE_REFINEMENT), COMP_EQUAL, -1},
      {integer(1), COMP_EQUAL, -1},
  };
  for (const row& r : rows) EXPECT_EQ(find(table, r.key, 0, r.op), r.found) << TYPE_OF(&r.key);
  cell key = word("a");
  find(table, key);
  EXPECT_EQ(TYPE_OF(&key), TYPE_WORD);  // the caller's key is left as it was
}

TEST_F(hashtable_suite, a_removed_map_entry_keeps_its_bucket_and_growth_is_one_step_up) {
  std::vector<cell> pairs;
  for (int32_t k = 1; k <= 6; ++k) {
    pairs.push_back(integer(k));
    pairs.push_back(integer(100 + k));
  }
  cell storage = block(pairs, 2);
  uint32_t table = test::kept_table(init(4, &storage, KIND_MAP, 1));
  for (int32_t k = 1; k <= 4; ++k) delete_key(table, cells_of(table) + 2 * (k - 1));
  EXPECT_EQ(record_of(table)->size, 2);
  EXPECT_EQ(record_of(table)->occupied, 6);
  EXPECT_EQ(cells_of(table)[1].header, 0u);  // the value marks the entry removed
  EXPECT_EQ(find(table, integer(1)), 0);     // the key is still there to revive

  cell* key = series::alloc_tail_cell(buffer_of(record_of(table)->block));
  *key = integer(7);
  series::alloc_tail_cell(buffer_of(record_of(table)->block))[0] = integer(107);
  put(table, cells_of(table) + 12);
  hashtable_record* rec = record_of(table);
  EXPECT_EQ(rec->buckets, 16);  // up, though fewer than half the buckets are live
  EXPECT_EQ(rec->bound, 12);
  EXPECT_EQ(rec->size, 3);
  EXPECT_EQ(rec->occupied, 7);
  for (int32_t k = 1; k <= 7; ++k) EXPECT_EQ(find(table, integer(k)), 2 * (k - 1)) << k;
}

TEST_F(hashtable_suite, a_map_keeps_the_first_place_and_the_last_value_of_a_key) {
  cell storage = block({word("a", TYPE_SET_WORD), integer(1), word("b", TYPE_SET_WORD), integer(2),
                        word("a", TYPE_SET_WORD), integer(3), word("c", TYPE_SET_WORD), integer(4)});
  uint32_t table = test::kept_table(init(4, &storage, KIND_MAP, 1));
  ASSERT_EQ(length_of(table), 6);
  EXPECT_EQ(cells_of(table)[1].data2, 3u);
  EXPECT_EQ(find(table, word("c")), 4);
  EXPECT_EQ(cells_of(table)[5].data2, 4u);
  EXPECT_EQ(record_of(table)->size, 3);
}

TEST_F(hashtable_suite, get_next_walks_the_keys_equal_to_a_key) {
  cell storage = block({word("a", TYPE_SET_WORD), integer(1), word("A", TYPE_SET_WORD), integer(2),
                        word("b", TYPE_SET_WORD), integer(3)});
  uint32_t table = test::kept_table(init(4, &storage, KIND_MAP, 1));
  cell key = word("a", TYPE_SET_WORD);
  int32_t position = -1, start = 0, step = 0;
  std::set<int32_t> seen;
  while (cell* found = get_next(table, &key, &position, &start, &step)) {
    seen.insert(static_cast<int32_t>(found - cells_of(table)));
  }
  EXPECT_EQ(seen, (std::set<int32_t>{0, 2}));
  cell other = word("a");  // not a set-word: no key of its type
  position = -1;
  EXPECT_EQ(get_next(table, &other, &position, &start, &step), nullptr);
}

TEST_F(hashtable_suite, reset_empties_the_table_and_its_storage) {
  cell storage = block({integer(1), integer(10), integer(2), integer(20)});
  uint32_t table = test::kept_table(init(4, &storage, KIND_MAP, 1));
  reset(table);
  EXPECT_EQ(record_of(table)->size, 0);
  EXPECT_EQ(record_of(table)->occupied, 0);
  EXPECT_EQ(length_of(table), 0);
  EXPECT_EQ(find(table, integer(1)), -1);
  add(table, integer(2));
  EXPECT_EQ(find(table, integer(2)), 0);
}

// Symbol tables.

std::string spelling_of(uint32_t table, int32_t id) {
  const cell* entry = cells_of(table) + id - 1;
  series_buffer* b = buffer_of(entry->data3);
  return std::string(head_of<char>(b), memory::tail_of<char>(b));
}

int32_t alias_of(uint32_t table, int32_t id) { return static_cast<int32_t>(cells_of(table)[id - 1].data1); }

int32_t lookup(uint32_t table, const std::string& s, bool any_case) {
  return get_symbol(table, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()), any_case);
}

TEST_F(hashtable_suite, spellings_of_the_same_letters_alias_the_first_one_interned) {
  struct row {
    std::vector<std::string> interned;
    std::vector<int32_t> aliases;  // by position in `interned`, -1 canonical
  };
  const row rows[] = {
      {{"foo", "Foo", "FOO"}, {-1, 0, 0}},
      {{"Foo", "foo"}, {-1, 0}},
      {{"print", "Print", "PRINT", "print"}, {-1, 0, 0, -1}},
      {{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"}, {-1, -1}},  // letters beyond ASCII do not fold
      {{"ab", "abc", "AB", "a"}, {-1, -1, 0, -1}},             // prefixes never match
      {{"", "x", ""}, {-1, -1, -1}},
  };
  for (const row& r : rows) {
    uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
    std::vector<int32_t> ids;
    for (const std::string& s : r.interned) ids.push_back(lookup(table, s, false));
    std::set<std::string> distinct(r.interned.begin(), r.interned.end());
    EXPECT_EQ(length_of(table), static_cast<int32_t>(distinct.size())) << r.interned[0];
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(spelling_of(table, ids[i]), r.interned[i]);
      int32_t expected = r.aliases[i] < 0 ? -1 : ids[r.aliases[i]];
      EXPECT_EQ(alias_of(table, ids[i]), expected) << r.interned[i];
      for (size_t j = 0; j < i; ++j) EXPECT_EQ(ids[i] == ids[j], r.interned[i] == r.interned[j]);
    }
  }
}

TEST_F(hashtable_suite, any_case_lookup_answers_the_first_spelling) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  int32_t print = lookup(table, "print", false);
  int32_t capital = lookup(table, "Print", false);
  EXPECT_EQ(alias_of(table, capital), print);
  EXPECT_EQ(lookup(table, "PRINT", true), print);
  EXPECT_EQ(lookup(table, "Print", true), print);
  EXPECT_EQ(length_of(table), 2);  // found: nothing interned
  int32_t fresh = lookup(table, "PROBE", true);
  EXPECT_EQ(alias_of(table, fresh), -1);
  EXPECT_EQ(lookup(table, "probe", true), fresh);
}

TEST_F(hashtable_suite, symbol_entries_hold_their_utf8_bytes_nul_terminated) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  for (const std::string& s : {std::string(""), std::string("a"), std::string(300, 'q'), std::string("\xE2\x82\xAC")}) {
    int32_t id = lookup(table, s, false);
    const cell* entry = cells_of(table) + id - 1;
    EXPECT_EQ(entry->header, TYPE_SYMBOL);
    EXPECT_EQ(entry->data2, 0u);  // no name string yet
    series_buffer* b = buffer_of(entry->data3);
    EXPECT_EQ(static_cast<size_t>(b->tail - b->head), s.size());
    EXPECT_EQ(*memory::tail_of(b), 0);
    EXPECT_EQ(hash::value(entry), hash::fold_name(head_of(b), static_cast<int32_t>(s.size())));
  }
}

TEST_F(hashtable_suite, symbol_tables_grow_32_times_and_keep_every_id) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  for (int32_t i = 0; i < 6; ++i) lookup(table, "w" + std::to_string(i), false);
  EXPECT_EQ(record_of(table)->buckets, 8);
  lookup(table, "w6", false);
  EXPECT_EQ(record_of(table)->buckets, 256);
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < 5000; ++i) ids.push_back(lookup(table, "w" + std::to_string(i), false));
  for (int32_t i = 0; i < 100; ++i) EXPECT_EQ(alias_of(table, lookup(table, "W" + std::to_string(i), false)), ids[i]);
  for (int32_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(lookup(table, "w" + std::to_string(i), false), ids[i]);
    ASSERT_EQ(spelling_of(table, ids[i]), "w" + std::to_string(i));
  }
  EXPECT_EQ(length_of(table), 5100);
}

// Context word lists.

TEST_F(hashtable_suite, context_words_are_added_once_and_found_by_canonical_symbol) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  uint32_t context = memory::alloc_cells(1);
  memory::root_guard keep_context(&context);
  int32_t foo = test::intern("foo"), capital = test::intern("FOO"), bar = test::intern("bar");
  int32_t index = -5;
  EXPECT_EQ(put_symbol(table, foo, false, context, &index), -1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(put_symbol(table, bar, false, context, &index), -1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(put_symbol(table, foo, false, context, &index), 0);
  const cell added = cells_of(table)[1];
  EXPECT_EQ(added.header, TYPE_WORD);
  EXPECT_EQ(added.data1, context);
  EXPECT_EQ(added.data2, static_cast<uint32_t>(bar));
  EXPECT_EQ(added.data3, 1u);

  EXPECT_EQ(put_symbol(table, capital, true, 0, nullptr), 0);
  EXPECT_EQ(put_symbol(table, capital, false, 0, nullptr), -1);
  EXPECT_EQ(put_symbol(table, capital, false, context, &index), -1);  // a word of its own
  EXPECT_EQ(index, 2);

  for (int32_t i = 0; i < 150; ++i) put_symbol(table, test::intern("v" + std::to_string(i)), false, context, &index);
  EXPECT_EQ(record_of(table)->buckets, 256);  // 8, then 32 times that
  for (int32_t i = 0; i < 150; ++i) {
    EXPECT_EQ(put_symbol(table, test::intern("V" + std::to_string(i)), true, 0, nullptr), i + 3);
  }
  EXPECT_EQ(put_symbol(table, bar, false, 0, nullptr), 1);
}

TEST_F(hashtable_suite, a_cloned_context_table_is_independent) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  uint32_t context = memory::alloc_cells(1);
  memory::root_guard keep_context(&context);
  int32_t index;
  put_symbol(table, test::intern("a"), false, context, &index);
  cell source{TYPE_CONTEXT, table, 0, 0};
  uint32_t clone = test::kept_table(init(4, &source, KIND_SYMBOL, 2));
  EXPECT_NE(record_of(clone)->block, record_of(table)->block);
  put_symbol(clone, test::intern("b"), false, context, &index);
  EXPECT_EQ(put_symbol(clone, test::intern("a"), false, 0, nullptr), 0);
  EXPECT_EQ(put_symbol(clone, test::intern("b"), false, 0, nullptr), 1);
  EXPECT_EQ(put_symbol(table, test::intern("b"), false, 0, nullptr), -1);
  EXPECT_EQ(length_of(table), 1);
}

// A stand-in collector that, at every allocation, moves every buffer of
// the watched table and of the series its cells name, and scribbles over
// where they were: a pointer kept across an allocation reads garbage.
uint32_t watched = 0;
std::vector<uint32_t> also_moved;
int32_t collections = 0;

void move_buffer(uint32_t node) {
  series_buffer* old = buffer_of(node);
  memory::expand_series(old, old->size > 0 ? old->size : 16);
  memory::fill(memory::data_of(old), memory::data_end(old), 0xEE);
}

void move_everything() {
  memory::run_collector = nullptr;
  ++collections;
  hashtable_record* rec = record_of(watched);
  std::vector<uint32_t> nodes{watched, rec->flags, rec->keys, rec->block};
  if (rec->kind == KIND_BLOCK) {
    nodes.push_back(rec->indexes);
    nodes.push_back(rec->chains);
    for (int32_t n = 1; n <= array::length_q(rec->chains); ++n) {
      if (uint32_t chain = array::pick_ptr(rec->chains, n)) nodes.push_back(chain);
    }
  }
  for (const cell* c = cells_of(watched); c < cells_of(watched) + length_of(watched); ++c) {
    if (TYPE_OF(c) == TYPE_STRING) nodes.push_back(c->data2);
    if (TYPE_OF(c) == TYPE_SYMBOL) nodes.push_back(c->data3);
  }
  nodes.insert(nodes.end(), also_moved.begin(), also_moved.end());
  for (uint32_t node : nodes) move_buffer(node);
  memory::run_collector = move_everything;
}

// Runs `body` with every allocation moving the watched table's buffers.
template <class Body>
void while_moving(uint32_t table, Body body) {
  test::collector_restorer restored;
  watched = table;
  collections = 0;
  memory::run_collector = move_everything;
  memory::collect_every_allocation = true;
  collector_active = 1;
  body();
  also_moved.clear();
}

TEST_F(hashtable_suite, block_tables_hold_no_address_across_an_allocation) {
  mirrored m({"a", "b", "A", "c", "a"});
  while_moving(m.table, [&] {
    m.insert(2, {"B", "d", "a"});
    for (int32_t i = 0; i < 12; ++i) m.insert(0, {"k" + std::to_string(i % 5)});
    m.remove(1, 3);
    m.move_run(6, 1, 2);
  });
  EXPECT_GT(collections, 20);
  m.check("after moving buffers");
}

TEST_F(hashtable_suite, map_tables_hold_no_address_across_an_allocation) {
  std::vector<cell> pairs;
  for (int32_t i = 0; i < 20; ++i) {
    pairs.push_back(text("key" + std::to_string(i % 15)));
    pairs.push_back(integer(i));
  }
  cell storage = block(pairs);
  uint32_t table = test::kept_table(init(2, nullptr, KIND_MAP, 1));
  record_of(table)->block = storage.data2;  // indexed once the buffers move, unlike a source given to init
  while_moving(table, [&] { put_all(table, 0, 2); });
  EXPECT_GT(collections, 2);
  EXPECT_EQ(length_of(table), 30);
  for (int32_t i = 0; i < 15; ++i) {
    int32_t at = find(table, text("KEY" + std::to_string(i)));
    ASSERT_EQ(at, 2 * i);
    EXPECT_EQ(cells_of(table)[at + 1].data2, static_cast<uint32_t>(i < 5 ? i + 15 : i));
  }
}

TEST_F(hashtable_suite, symbol_tables_hold_no_address_across_an_allocation) {
  uint32_t table = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  uint32_t context = memory::alloc_cells(1);
  memory::root_guard keep_context(&context);
  cell name = text("spelling-00");
  std::vector<int32_t> ids;
  while_moving(table, [&] {
    for (int32_t i = 0; i < 40; ++i) {
      also_moved = {name.data2};  // the spelling itself lies in a series that moves
      char* digits = head_of<char>(buffer_of(name.data2)) + 9;
      digits[0] = static_cast<char>('0' + i / 10);
      digits[1] = static_cast<char>('0' + i % 10);
      ids.push_back(get_symbol(table, head_of(buffer_of(name.data2)), 11, false));
    }
  });
  EXPECT_GT(collections, 40);
  for (int32_t i = 0; i < 40; ++i) {
    std::string s = "spelling-" + std::to_string(i / 10) + std::to_string(i % 10);
    EXPECT_EQ(spelling_of(table, ids[i]), s);
    EXPECT_EQ(lookup(table, s, false), ids[i]);
  }

  uint32_t words = test::kept_table(init(4, nullptr, KIND_SYMBOL, 1));
  std::vector<int32_t> symbols;
  for (int32_t i = 0; i < 40; ++i) symbols.push_back(test::intern("v" + std::to_string(i)));
  int32_t index;
  while_moving(words, [&] {
    for (int32_t s : symbols) put_symbol(words, s, false, context, &index);
  });
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(put_symbol(words, symbols[i], false, 0, nullptr), i);
}

// Marking.

std::set<uint32_t> marked;
std::vector<std::pair<cell*, cell*>> marked_runs;

bool note_node(uint32_t* slot) { return marked.insert(*slot).second; }
void note_values(cell* first, cell* end) { marked_runs.push_back({first, end}); }

TEST_F(hashtable_suite, marking_reaches_every_series_of_a_table) {
  cell source = block({text("abc"), text("ABC"), text("x")});
  uint32_t table = test::kept_table(init(3, &source, KIND_BLOCK, 1));
  marked.clear();
  marked_runs.clear();
  mark(&table, marker{note_node, note_values});
  hashtable_record* rec = record_of(table);
  uint32_t chain = array::pick_ptr(rec->chains, 1);
  EXPECT_EQ(marked, (std::set<uint32_t>{table, rec->flags, rec->keys, rec->hashes, rec->indexes, rec->chains, chain,
                                        rec->block}));
  ASSERT_EQ(marked_runs.size(), 1u);
  EXPECT_EQ(marked_runs[0].first, cells_of(table));
  EXPECT_EQ(marked_runs[0].second, cells_of(table) + 3);

  marked_runs.clear();
  mark(&table, marker{note_node, note_values});  // marked already: the cells are not walked again
  EXPECT_TRUE(marked_runs.empty());
}

}  // namespace
}  // namespace ixo::hashtable
