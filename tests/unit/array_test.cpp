#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/core/array.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "support/memory.hpp"

namespace ixo::array {
namespace {

struct raw_array : test::fresh_memory {};

std::vector<int32_t> items(uint32_t node) {
  std::vector<int32_t> out;
  int32_t bytes = static_cast<int32_t>(memory::buffer_of(node)->tail - memory::buffer_of(node)->head);
  for (int32_t n = 1; n <= bytes / 4; ++n) out.push_back(pick_int(node, n));
  return out;
}

TEST_F(raw_array, length_counts_items_of_the_arrays_unit) {
  uint32_t ints = make(4, 4);
  memory::root_guard keep_ints(&ints);
  uint32_t bytes = memory::alloc_bytes(0);
  memory::root_guard keep_bytes(&bytes);
  for (uint32_t node : {ints, bytes}) {
    for (int32_t v : {5, 7, 7}) append_int(node, v);
  }
  EXPECT_EQ(length_q(ints), 3);
  EXPECT_EQ(length_q(bytes), 12);
  EXPECT_EQ(items(bytes), (std::vector<int32_t>{5, 7, 7}));
  EXPECT_EQ(memory::GET_UNIT(memory::buffer_of(make(2, 16))), 16u);
}

TEST_F(raw_array, find_answers_the_byte_offset_of_the_first_match) {
  uint32_t node = make(0, 4);
  memory::root_guard keep_node(&node);
  EXPECT_EQ(find_int(node, 7), -1);
  for (int32_t v : {5, 7, 7}) append_int(node, v);
  EXPECT_EQ(find_int(node, 7), 4);
  EXPECT_EQ(find_int(node, 5), 0);
  EXPECT_EQ(find_ptr(node, 9), -1);
}

TEST_F(raw_array, removing_and_inserting_items) {
  uint32_t node = make(3, 4);  // 16 bytes: inserting the fifth item grows it
  memory::root_guard keep_node(&node);
  for (int32_t v : {1, 2, 3, 4}) append_int(node, v);
  remove_ptr(node, 9);
  EXPECT_EQ(items(node), (std::vector<int32_t>{1, 2, 3, 4}));
  insert_int(node, 10, 0);
  insert_int(node, 20, 3);
  insert_int(node, 30, 6);
  EXPECT_EQ(items(node), (std::vector<int32_t>{10, 1, 2, 20, 3, 4, 30}));
  remove_ptr(node, 20);
  remove_at(node, 0, 8);
  EXPECT_EQ(items(node), (std::vector<int32_t>{2, 3, 4, 30}));
  poke_int(node, 2, -1);
  EXPECT_EQ(pick_ptr(node, 2), 0xFFFFFFFFu);
}

TEST_F(raw_array, set_length_keeps_one_item_fewer) {
  uint32_t node = make(4, 4);
  memory::root_guard keep_node(&node);
  for (int32_t v : {1, 2, 3, 4}) append_int(node, v);
  set_length(node, 3);
  EXPECT_EQ(length_q(node), 2);
  set_length(node, 1);
  EXPECT_EQ(length_q(node), 0);
  append_int(node, 8);
  clear(node);
  EXPECT_EQ(length_q(node), 0);
}

TEST_F(raw_array, appends_survive_growth_and_copies_are_independent) {
  uint32_t node = make(1, 1);
  memory::root_guard keep_node(&node);
  const char text[] = "raw arrays hold plain bytes";
  for (int i = 0; i < 100; ++i) {
    uint8_t* at = append_bytes(node, text, sizeof text);
    EXPECT_EQ(at, head(node) + i * static_cast<int32_t>(sizeof text));
  }
  append_byte(node, '!');
  ASSERT_EQ(length_q(node), 100 * static_cast<int32_t>(sizeof text) + 1);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(std::memcmp(head(node) + i * sizeof text, text, sizeof text), 0);
  EXPECT_EQ(pick_byte(node, length_q(node)), '!');

  uint32_t twin = copy(node);
  memory::root_guard keep_twin(&twin);
  head(twin)[0] = 'R';
  EXPECT_EQ(pick_byte(node, 1), 'r');
  EXPECT_EQ(length_q(twin), length_q(node));
}

TEST_F(raw_array, a_size_beyond_31_bits_raises_no_memory) {
  EXPECT_TRUE(test::raises(err::internal_no_memory, [] { make(0x40000000, 4); }));
  EXPECT_TRUE(test::raises(err::internal_no_memory, [] { make(-1, 4); }));
}

}  // namespace
}  // namespace ixo::array
