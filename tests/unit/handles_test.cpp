#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "runtime/memory/handles.hpp"
#include "support/raised.hpp"

namespace ixo::handles {
namespace {

std::vector<void*> finalised;
void note_finalised(void* pointer) { finalised.push_back(pointer); }

void* resource(intptr_t n) { return reinterpret_cast<void*>(n); }

class handle_table_suite : public ::testing::Test {
 protected:
  void SetUp() override {
    init();
    finalised.clear();
    kept = register_type("kept", note_finalised);
  }
  int32_t kept = 0;
};

std::vector<int32_t> used_list() {
  std::vector<int32_t> order;
  for (int32_t i = table.used_head; i != -1; i = table.entries[i].next) order.push_back(i);
  return order;
}

TEST_F(handle_table_suite, the_thousandth_allocation_doubles_the_table_first) {
  for (int32_t i = 0; i < 999; ++i) EXPECT_EQ(alloc(resource(i + 1), kept), i);
  EXPECT_EQ(table.capacity, 1000);
  EXPECT_EQ(alloc(resource(1000), kept), 999);  // the last free entry: the table grew before
  EXPECT_EQ(table.capacity, 2000);
  EXPECT_EQ(alloc(resource(1001), kept), 1000);
  for (int32_t i = 0; i < 1001; ++i) EXPECT_EQ(table.entries[i].pointer, resource(i + 1)) << i;
  EXPECT_EQ(used_list().size(), 1001u);
}

TEST_F(handle_table_suite, a_sweep_frees_exactly_the_unmarked_entries) {
  std::vector<int32_t> indexes;
  for (int32_t i = 0; i < 6; ++i) indexes.push_back(alloc(resource(100 + i), kept));
  for (int32_t index : indexes) EXPECT_TRUE(mark(index, nullptr));
  EXPECT_FALSE(mark(indexes[0], nullptr));  // marked already
  sweep();
  EXPECT_TRUE(finalised.empty());
  EXPECT_EQ(used_list().size(), 6u);
  for (int32_t index : indexes) EXPECT_EQ(table.entries[index].type & HANDLE_MARK, 0u);

  // Marks were cleared: the next sweep keeps only what is marked again,
  // the head of the used list among what goes.
  mark(indexes[1], resource(7));  // a pointer given to mark is stored
  mark(indexes[3], nullptr);
  sweep();
  EXPECT_EQ(std::set<void*>(finalised.begin(), finalised.end()),
            (std::set<void*>{resource(100), resource(102), resource(104), resource(105)}));
  EXPECT_EQ(used_list(), (std::vector<int32_t>{indexes[3], indexes[1]}));
  EXPECT_EQ(table.entries[indexes[1]].pointer, resource(7));
  EXPECT_EQ(alloc(resource(9), kept), indexes[0]);  // the entry freed last is reused first
}

TEST_F(handle_table_suite, finalisers_run_only_for_known_types_that_have_one) {
  int32_t quiet = register_type("quiet", nullptr);
  struct row { uint32_t type_word; bool finalised; };
  const row rows[] = {
      {static_cast<uint32_t>(kept), true},
      {static_cast<uint32_t>(kept) | 0x1200, true},  // the caller's bits above the type
      {static_cast<uint32_t>(quiet), false},          // a null finaliser
      {0, false},                                     // no type
      {static_cast<uint32_t>(quiet + 1), false},      // a type never registered
      {0xFF, false},
  };
  for (const row& r : rows) {
    finalised.clear();
    int32_t index = alloc(resource(5), r.type_word);
    sweep();  // unmarked
    EXPECT_EQ(finalised.size(), r.finalised ? 1u : 0u) << r.type_word;
    EXPECT_TRUE(used_list().empty()) << r.type_word;
    EXPECT_NE(table.entries[index].type & HANDLE_FREE, 0u);
  }
}

TEST_F(handle_table_suite, the_table_keeps_its_own_bits_out_of_a_type_word) {
  int32_t index = alloc(resource(1), kept | HANDLE_FREE | HANDLE_MARK);
  EXPECT_EQ(table.entries[index].type, static_cast<uint32_t>(kept));
  EXPECT_TRUE(mark(index, nullptr));
}

TEST_F(handle_table_suite, freeing_unlinks_from_anywhere_in_the_used_list) {
  int32_t a = alloc(resource(1), kept), b = alloc(resource(2), kept), c = alloc(resource(3), kept);
  EXPECT_EQ(used_list(), (std::vector<int32_t>{c, b, a}));
  free(c, true);  // the head: the head moves on
  EXPECT_EQ(used_list(), (std::vector<int32_t>{b, a}));
  free(a, false);  // the last, without its finaliser
  EXPECT_EQ(used_list(), (std::vector<int32_t>{b}));
  EXPECT_EQ(finalised, (std::vector<void*>{resource(3)}));
  EXPECT_EQ(table.free_head, a);

  // Indexes that name no entry in use change nothing.
  for (int32_t stray : {a, -1, table.capacity, 1 << 30}) {
    free(stray, true);
    set_pointer(stray, resource(9));
    EXPECT_FALSE(mark(stray, resource(9))) << stray;
  }
  EXPECT_EQ(used_list(), (std::vector<int32_t>{b}));
  EXPECT_EQ(finalised.size(), 1u);
  EXPECT_EQ(table.free_head, a);
}

TEST_F(handle_table_suite, replacing_a_pointer_finalises_the_old_one_only_when_it_differs) {
  int32_t index = alloc(resource(1), kept);
  set_pointer(index, resource(1));
  EXPECT_TRUE(finalised.empty());
  set_pointer(index, resource(2));
  EXPECT_EQ(finalised, (std::vector<void*>{resource(1)}));
  EXPECT_EQ(table.entries[index].pointer, resource(2));
}

TEST_F(handle_table_suite, for_each_visits_one_type_in_used_list_order) {
  int32_t other = register_type("other", nullptr);
  alloc(resource(1), kept);
  alloc(resource(2), other);
  alloc(resource(3), kept);
  std::vector<void*> seen;
  static std::vector<void*>* sink;
  sink = &seen;
  for_each(kept, [](void* p) { sink->push_back(p); });
  EXPECT_EQ(seen, (std::vector<void*>{resource(3), resource(1)}));
}

TEST_F(handle_table_suite, a_type_beyond_the_twentieth_is_refused) {
  for (int32_t i = 2; i <= HANDLE_TYPES; ++i) EXPECT_EQ(register_type("type", nullptr), i);
  EXPECT_TRUE(test::is(test::raised([] { register_type("one too many", note_finalised); }),
                       err::internal_limit_hit));
  EXPECT_EQ(table.type_count, HANDLE_TYPES);
  // The table is whole: the first type still finalises, the last has none.
  alloc(resource(1), kept);
  alloc(resource(2), HANDLE_TYPES);
  sweep();
  EXPECT_EQ(finalised, (std::vector<void*>{resource(1)}));
}

}  // namespace
}  // namespace ixo::handles
