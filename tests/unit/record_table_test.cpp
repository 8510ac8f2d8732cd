#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "runtime/core/record_table.hpp"
#include "runtime/memory/node.hpp"
#include "support/memory.hpp"

namespace ixo::hashtable {
namespace {

using memory::buffer_of;

// These tests check where records lie in a table's block across puts,
// deletions and growth, and call the mark and sweep hooks by hand on
// marks they set themselves: a real collection would move the block under
// the record addresses they compare and clear their marks, so they run
// with collections off.
struct record_tables : test::fresh_memory {
  void SetUp() override {
    test::fresh_memory::SetUp();
    collector_active = 0;
  }
  void TearDown() override {
    collector::node_relocation_count = 0;
    test::fresh_memory::TearDown();
  }
};

int32_t records_in(uint32_t table) {
  memory::series_buffer* b = buffer_of(record_of(table)->block);
  return static_cast<int32_t>((b->tail - b->head) / record_of(table)->indexes);
}

TEST_F(record_tables, putting_a_node_again_answers_its_record_with_the_cells_reset) {
  uint32_t table = init(4, nullptr, KIND_RECORD, 2);
  EXPECT_EQ(record_of(table)->indexes, 48u);
  uint32_t node = memory::alloc_bytes(4);
  cell* values = put_node(table, node);
  EXPECT_EQ(values[-1].header, static_cast<uint32_t>(TYPE_UNSET));
  EXPECT_EQ(values[-1].data1, node);
  values[0] = {TYPE_INTEGER, 0, 5, 0};
  values[1] = {TYPE_INTEGER, 0, 6, 0};
  cell* again = put_node(table, node);
  EXPECT_EQ(again, values);
  EXPECT_EQ(again[0].header, static_cast<uint32_t>(TYPE_UNSET));
  EXPECT_EQ(again[1].header, static_cast<uint32_t>(TYPE_UNSET));
  EXPECT_EQ(record_of(table)->size, 1);
  EXPECT_EQ(get_node(table, node), values);
  EXPECT_EQ(get_node(table, memory::alloc_bytes(4)), nullptr);
}

TEST_F(record_tables, a_deleted_record_is_reused_by_its_node) {
  uint32_t table = init(4, nullptr, KIND_RECORD, 1);
  uint32_t first = memory::alloc_bytes(4), second = memory::alloc_bytes(4);
  cell* kept = put_node(table, first);
  put_node(table, second);
  kept[0] = {TYPE_INTEGER, 0, 7, 0};
  EXPECT_EQ(delete_node(table, first), kept);
  EXPECT_EQ(kept[-1].header, 0u);
  EXPECT_EQ(kept[0].data2, 7u);  // the removed record's values are the caller's to read
  EXPECT_EQ(get_node(table, first), nullptr);
  EXPECT_EQ(delete_node(table, first), nullptr);
  EXPECT_EQ(record_of(table)->size, 1);
  EXPECT_EQ(record_of(table)->occupied, 2);
  EXPECT_EQ(put_node(table, first), kept);
  EXPECT_EQ(record_of(table)->occupied, 2);
  EXPECT_EQ(records_in(table), 2);
}

TEST_F(record_tables, growth_keeps_the_live_records_and_their_values_only) {
  uint32_t table = init(4, nullptr, KIND_RECORD, 1);
  std::vector<uint32_t> nodes;
  for (int32_t i = 0; i < 6; ++i) {
    nodes.push_back(memory::alloc_bytes(4));
    put_node(table, nodes.back())[0] = {TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
  }
  for (int32_t i : {0, 2, 4}) delete_node(table, nodes[i]);
  nodes.push_back(memory::alloc_bytes(4));
  put_node(table, nodes.back());  // six buckets taken, three live: rebuilt at the same size
  EXPECT_EQ(record_of(table)->buckets, 8);
  EXPECT_EQ(record_of(table)->occupied, 4);
  EXPECT_EQ(records_in(table), 4);
  for (int32_t i : {1, 3, 5}) EXPECT_EQ(get_node(table, nodes[i])->data2, static_cast<uint32_t>(i));
  for (int32_t i : {0, 2, 4}) EXPECT_EQ(get_node(table, nodes[i]), nullptr);

  for (int32_t i = 0; i < 3; ++i) {
    nodes.push_back(memory::alloc_bytes(4));
    put_node(table, nodes.back());
  }
  EXPECT_EQ(record_of(table)->buckets, 16);  // then up
  EXPECT_EQ(record_of(table)->size, 7);
}

// The collector's marking stood in for: marks by setting the buffer's mark
// bit, and rewrites the nodes of a relocation map.
std::map<uint32_t, uint32_t> relocated;
std::vector<std::pair<cell*, cell*>> marked_runs;

bool mark_node(uint32_t* slot) {
  auto moved = relocated.find(*slot);
  if (moved != relocated.end()) *slot = moved->second;
  memory::series_buffer* b = buffer_of(*slot);
  bool fresh = !(b->flags & memory::SERIES_MARK);
  b->flags |= memory::SERIES_MARK;
  return fresh;
}
void mark_values(cell* first, cell* end) { marked_runs.push_back({first, end}); }

bool marked_q(uint32_t node) { return buffer_of(node)->flags & memory::SERIES_MARK; }

TEST_F(record_tables, a_relocated_key_node_finds_its_record) {
  uint32_t table = init(4, nullptr, KIND_RECORD, 1);
  std::vector<uint32_t> nodes;
  for (int32_t i = 0; i < 40; ++i) {
    nodes.push_back(memory::alloc_bytes(4));
    put_node(table, nodes.back())[0] = {TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
  }
  uint32_t moved = memory::alloc_node();
  *memory::address<uint32_t>(moved) = *memory::address<uint32_t>(nodes[17]);
  relocated = {{nodes[17], moved}};
  marked_runs.clear();
  mark(&table, marker{mark_node, mark_values});
  relocated.clear();
  ++collector::node_relocation_count;
  cell* found = get_node(table, moved);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->data2, 17u);
  EXPECT_EQ(get_node(table, nodes[17]), nullptr);
  EXPECT_EQ(record_of(table)->stamp, collector::node_relocation_count + 1);
  for (int32_t i = 0; i < 40; ++i) {
    if (i != 17) {
      EXPECT_EQ(get_node(table, nodes[i])->data2, static_cast<uint32_t>(i));
    }
  }
}

TEST_F(record_tables, a_record_table_keeps_its_keys_alive_an_ownership_table_does_not) {
  uint32_t block_key = memory::alloc_unset_cells(2);
  buffer_of(block_key)->tail += 2 * sizeof(cell);
  uint32_t bytes_key = memory::alloc_bytes(4);
  for (int32_t kind : {KIND_RECORD, KIND_OWNERSHIP}) {
    uint32_t table = init(4, nullptr, kind, 3);
    put_node(table, block_key);
    put_node(table, bytes_key);
    for (uint32_t node : {block_key, bytes_key}) buffer_of(node)->flags &= ~memory::SERIES_MARK;
    marked_runs.clear();
    mark(&table, marker{mark_node, mark_values});
    hashtable_record* rec = record_of(table);
    for (uint32_t part : {table, rec->flags, rec->keys, rec->block}) EXPECT_TRUE(marked_q(part)) << kind;
    bool strong = kind == KIND_RECORD;
    EXPECT_EQ(marked_q(block_key), strong);
    EXPECT_EQ(marked_q(bytes_key), strong);
    // The records, then the cells of the key that holds cells.
    EXPECT_EQ(marked_runs.size(), strong ? 2u : 0u);
    if (strong) {
      EXPECT_EQ(marked_runs[1].first, memory::head_of<cell>(buffer_of(block_key)));
    }
  }
}

TEST_F(record_tables, sweeping_deletes_the_records_of_unmarked_keys_and_owners) {
  uint32_t table = init(4, nullptr, KIND_OWNERSHIP, 3);
  uint32_t live_owner = memory::alloc_cells(1), dead_owner = memory::alloc_cells(1);
  uint32_t kept = memory::alloc_bytes(4), orphaned = memory::alloc_bytes(4), unreached = memory::alloc_bytes(4);
  struct row { uint32_t key, owner; };
  for (row r : {row{kept, live_owner}, row{orphaned, dead_owner}, row{unreached, live_owner}}) {
    cell* values = put_node(table, r.key);
    values[0] = {TYPE_BINARY, 0, r.key, 0};
    values[1] = {TYPE_OBJECT, r.owner, 0, 0};
  }
  for (uint32_t node : {live_owner, kept, orphaned}) buffer_of(node)->flags |= memory::SERIES_MARK;
  marked_runs.clear();
  sweep(table, marker{mark_node, mark_values});
  cell* survivor = get_node(table, kept);
  ASSERT_NE(survivor, nullptr);
  EXPECT_EQ(get_node(table, orphaned), nullptr);
  EXPECT_EQ(get_node(table, unreached), nullptr);
  EXPECT_EQ(record_of(table)->size, 1);
  ASSERT_EQ(marked_runs.size(), 1u);  // the cells of the record that stays
  EXPECT_EQ(marked_runs[0].first, survivor);
  EXPECT_EQ(marked_runs[0].second, survivor + 3);
  int32_t dead = 0;
  memory::series_buffer* b = buffer_of(record_of(table)->block);
  for (cell* r = memory::head_of<cell>(b); r < memory::tail_of<cell>(b); r += 4) {
    if (r->header == 0) {
      EXPECT_EQ(r->data1, 0u);
      ++dead;
    }
  }
  EXPECT_EQ(dead, 2);
}

// The node map.

TEST(node_map, sizes_growth_and_lookups) {
  node_map::map* m = node_map::make(1);
  EXPECT_EQ(m->buckets, 8);
  EXPECT_EQ(m->bound, 6);
  for (uint32_t k = 1; k <= 6; ++k) node_map::put(m, k * 64, k);
  EXPECT_EQ(m->buckets, 8);
  node_map::put(m, 7 * 64, 7);
  EXPECT_EQ(m->buckets, 16);
  node_map::put(m, 3 * 64, 33);  // a key already there takes the new value
  EXPECT_EQ(node_map::count(m), 7);
  for (uint32_t k = 1; k <= 7; ++k) {
    ASSERT_NE(node_map::get(m, k * 64), nullptr);
    EXPECT_EQ(*node_map::get(m, k * 64), k == 3 ? 33u : k);
    EXPECT_GE(node_map::find(m, k * 64), 0);
  }
  EXPECT_EQ(node_map::get(m, 8 * 64), nullptr);
  EXPECT_EQ(node_map::find(m, 8 * 64), -1);
  node_map::free(m);
}

TEST(node_map, removal_iteration_and_clearing) {
  node_map::map* m = node_map::make(100);
  std::map<uint32_t, uint32_t> model;
  for (uint32_t k = 0; k < 5000; ++k) {
    node_map::put(m, 0x10000 + 4 * k, k);
    model[0x10000 + 4 * k] = k;
    if (k % 3 == 0) {
      node_map::remove(m, 0x10000 + 2 * k);  // some keys were never there
      model.erase(0x10000 + 2 * k);
    }
  }
  EXPECT_EQ(node_map::count(m), static_cast<int32_t>(model.size()));
  std::map<uint32_t, uint32_t> walked;
  for (uint32_t* pair = node_map::next(m, nullptr); pair; pair = node_map::next(m, pair)) {
    EXPECT_TRUE(walked.insert({pair[0], pair[1]}).second) << pair[0];
  }
  EXPECT_EQ(walked, model);

  node_map::clear(m);
  EXPECT_EQ(node_map::count(m), 0);
  EXPECT_EQ(m->occupied, 0);
  EXPECT_EQ(node_map::next(m, nullptr), nullptr);
  EXPECT_EQ(node_map::get(m, 0x10000), nullptr);
  node_map::free(m);
}

TEST(node_map, growth_of_a_map_full_of_deleted_keys_stays_at_its_size) {
  node_map::map* m = node_map::make(4);
  for (uint32_t k = 1; k <= 6; ++k) node_map::put(m, k, k);
  for (uint32_t k = 1; k <= 5; ++k) node_map::remove(m, k);
  EXPECT_EQ(m->occupied, 6);
  node_map::put(m, 100, 100);
  EXPECT_EQ(m->buckets, 8);
  EXPECT_EQ(m->occupied, 2);  // the deleted buckets were let go
  EXPECT_EQ(*node_map::get(m, 6), 6u);
  EXPECT_EQ(*node_map::get(m, 100), 100u);
  node_map::free(m);
}

}  // namespace
}  // namespace ixo::hashtable
