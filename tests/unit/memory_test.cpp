#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <functional>
#include <vector>

#include "runtime/memory/arena.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "runtime/memory/series_frame.hpp"
#include "support/memory.hpp"

namespace ixo::memory {
namespace {

series_frame* current_frame() { return address<series_frame>(record.current_series_frame); }

void fill_counting(uint32_t node, int32_t count) {
  series_buffer* b = buffer_of(node);
  for (int32_t i = 0; i < count; ++i) head_of(b)[i] = static_cast<uint8_t>(i);
  b->tail = b->head + static_cast<uint32_t>(count);
}

// Whether the system holds memory for the page at `offset`.
bool resident_q(uint32_t offset) {
  unsigned char page = 0;
  EXPECT_EQ(mincore(address(offset & ~(PAGE_SIZE - 1)), PAGE_SIZE, &page), 0);
  return page & 1;
}

bool holds_counting(series_buffer* b, int32_t count, int32_t from = 0) {
  if (static_cast<int32_t>(b->tail - b->head) != count) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (head_of(b)[i] != static_cast<uint8_t>(from + i)) return false;
  }
  return true;
}

// These tests check where the allocator itself puts frames, nodes and
// buffers, and what a collection at a given allocation does: the real
// collector would reclaim their unrooted buffers and slide the rest, so
// they run with collections off (the collector seam's tests turn them on
// with stand-ins of their own).
struct allocator_layout : test::fresh_memory {
  void SetUp() override {
    fresh_memory::SetUp();
    collector_active = 0;
  }
};

TEST(cell, copy_set_type_and_clear_new_line_keep_the_other_bits) {
  cell c{TYPE_INTEGER | NEWLINE_FLAG | 0x400000, 1, 2, 3};
  EXPECT_EQ(copy_cell(&c, &c), &c);
  EXPECT_EQ(c.header, TYPE_INTEGER | NEWLINE_FLAG | 0x400000);
  cell d{};
  EXPECT_EQ(copy_cell(&c, &d), &d);
  EXPECT_EQ(std::memcmp(&c, &d, sizeof c), 0);
  set_type(&c, TYPE_BLOCK);
  EXPECT_EQ(c.header, TYPE_BLOCK | NEWLINE_FLAG | 0x400000);
  clear_new_line(&c);
  EXPECT_EQ(c.header, TYPE_BLOCK | 0x400000u);
  EXPECT_EQ(c.data1 + c.data2 + c.data3, 6u);
}

TEST(arena, freed_ranges_merge_and_are_reused_lowest_first) {
  reserve_arena(1 << 20);
  uint32_t a = commit_range(2 * PAGE_SIZE);
  uint32_t b = commit_range(3 * PAGE_SIZE);
  uint32_t c = commit_range(PAGE_SIZE);
  EXPECT_EQ(a, PAGE_SIZE);  // offset 0 is never handed out
  EXPECT_EQ(b, 3 * PAGE_SIZE);
  EXPECT_EQ(c, 6 * PAGE_SIZE);
  address(b)[100] = 7;
  decommit_range(b, 3 * PAGE_SIZE);
  decommit_range(a, 2 * PAGE_SIZE);
  uint32_t d = commit_range(5 * PAGE_SIZE);
  EXPECT_EQ(d, PAGE_SIZE);
  EXPECT_EQ(address(b)[100], 0);  // decommitted content is gone
  EXPECT_EQ(catch_site(FILTER_MEMORY, [] { commit_range(1 << 20); }), THROW_VMEM_ALLOC);
  system::clear_thrown();
  release_arena();
  release_arena();  // as the exit path may: nothing left to release
  EXPECT_EQ(arena_base, nullptr);
}

TEST(arena, aligned_commits_leave_what_they_skip_free) {
  reserve_arena(8 << 20);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(arena_base) % HUGE_PAGE_SIZE, 0u);
  uint32_t page = commit_range(PAGE_SIZE);
  uint32_t huge = commit_range(HUGE_PAGE_SIZE, HUGE_PAGE_SIZE);
  uint32_t second = commit_range(HUGE_PAGE_SIZE, HUGE_PAGE_SIZE);
  EXPECT_EQ(page, PAGE_SIZE);
  EXPECT_EQ(huge, HUGE_PAGE_SIZE);
  EXPECT_EQ(second, 2 * HUGE_PAGE_SIZE);
  // The skipped pages are the lowest free ones, taken first.
  EXPECT_EQ(commit_range(3 * PAGE_SIZE), 2 * PAGE_SIZE);
  EXPECT_EQ(commit_range(HUGE_PAGE_SIZE - 5 * PAGE_SIZE), 5 * PAGE_SIZE);
  EXPECT_EQ(commit_range(PAGE_SIZE), 3 * HUGE_PAGE_SIZE);
  decommit_range(huge, HUGE_PAGE_SIZE);
  EXPECT_EQ(commit_range(HUGE_PAGE_SIZE, HUGE_PAGE_SIZE), huge);
  // Almost 2 MB are free, but no whole huge page: the arena's last has its
  // first page taken.
  EXPECT_EQ(catch_site(FILTER_MEMORY, [] { commit_range(HUGE_PAGE_SIZE, HUGE_PAGE_SIZE); }), THROW_VMEM_ALLOC);
  system::clear_thrown();
  release_arena();
}

struct series_alloc : allocator_layout {};

TEST_F(series_alloc, sizes_heads_and_footprints) {
  struct row { int32_t count; uint32_t unit; int32_t offset; int32_t size; int32_t head_at; };
  const row rows[] = {
      {1, 1, 0, 16, 0},           // takes 40 bytes of its frame
      {0, 1, 0, 0, 0},
      {100, 16, -1, 1600, 800},   // head in the middle, room at both ends
      {3, 4, 4, 16, 4},
      {17, 2, 0, 48, 0},
      {5, 16, 32, 80, 32},
  };
  for (const row& r : rows) {
    series_buffer* b = alloc_series_buffer(r.count, r.unit, r.offset);
    EXPECT_EQ(b->size, r.size) << r.count;
    EXPECT_EQ(current_frame()->bump, offset_of(b) + static_cast<uint32_t>(r.size + 24));
    EXPECT_EQ(head_of(b), data_of(b) + r.head_at);
    EXPECT_EQ(b->tail, b->head);
    EXPECT_EQ(b->node, 0u);
    uint32_t expected = r.unit | SERIES_IN_USE | SERIES_ALLOCATED | (r.offset == -1 ? SERIES_HEAD_MIDDLE : 0);
    EXPECT_EQ(b->flags, expected) << r.count;
  }
  EXPECT_EQ(buffer_of(alloc_bytes(0))->size, 16);
  for (uint32_t unit : {1u, 2u, 4u}) {
    series_buffer* b = buffer_of(alloc_unit_series(0, unit));
    EXPECT_EQ(b->size, 16);
    EXPECT_EQ(GET_UNIT(b), unit);
  }
}

TEST_F(series_alloc, a_frame_walks_buffer_by_buffer) {
  const uint32_t units[] = {1, 2, 4, 16};
  std::vector<uint32_t> nodes;
  for (int32_t i = 0; i < 300; ++i) nodes.push_back(alloc_series(i * 7 % 50, units[i % 4], i % 3 ? 0 : -1));
  series_frame* frame = current_frame();
  ASSERT_EQ(record.series_frame_head, offset_of(frame));
  uint32_t at = offset_of(frame) + sizeof(series_frame);
  size_t seen = 0;
  while (at < frame->bump && seen < nodes.size()) {
    series_buffer* b = address<series_buffer>(at);
    EXPECT_EQ(b->node, nodes[seen]);
    EXPECT_EQ(*address<uint32_t>(b->node), at);
    EXPECT_GE(head_of(b), data_of(b));
    EXPECT_LE(head_of(b), data_end(b));
    at += static_cast<uint32_t>(b->size + BUFFER_OVERHEAD);
    ++seen;
  }
  EXPECT_EQ(at, frame->bump);
  EXPECT_EQ(seen, nodes.size());
}

TEST_F(series_alloc, a_footprint_no_full_frame_holds_gets_a_frame_of_its_own) {
  // A full frame holds 2 MB - 24 bytes. Sizes are multiples of 16, so
  // footprints step from 2 MB - 40, which fits, to 2 MB - 24.
  series_buffer* below = alloc_series_buffer(0x200000 - 64, 1, 0);
  EXPECT_FALSE(below->flags & SERIES_BIG);
  EXPECT_EQ(record.big_frame_head, 0u);
  uint32_t in_use = record.bytes_in_use;
  series_buffer* first = alloc_series_buffer(0x200000 - 48, 1, 0);
  series_buffer* second = alloc_series_buffer(0x300000, 1, 0);
  for (series_buffer* b : {first, second}) EXPECT_TRUE(b->flags & SERIES_BIG);
  big_frame* head = address<big_frame>(record.big_frame_head);
  EXPECT_EQ(reinterpret_cast<series_buffer*>(head + 1), first);
  EXPECT_EQ(head->size, 0x200000 - 24);
  EXPECT_EQ(head->link, 0u);
  EXPECT_EQ(address<big_frame>(head->next) + 1, reinterpret_cast<big_frame*>(second));
  free_big_series(first);
  EXPECT_EQ(address<big_frame>(record.big_frame_head) + 1, reinterpret_cast<big_frame*>(second));
  free_big_series(second);
  EXPECT_EQ(record.big_frame_head, 0u);
  EXPECT_EQ(record.bytes_in_use, in_use);

  // The comparison itself: a footprint equal to the threshold is big.
  record.big_series_threshold = 64 + BUFFER_OVERHEAD;
  EXPECT_TRUE(alloc_series_buffer(64, 1, 0)->flags & SERIES_BIG);
  EXPECT_FALSE(alloc_series_buffer(48, 1, 0)->flags & SERIES_BIG);
}

TEST_F(series_alloc, fixed_series_stay_out_of_the_series_frames) {
  series_buffer* root = buffer_of(alloc_fixed_series(8942, 16, 0));
  EXPECT_EQ(root->flags, 16 | SERIES_IN_USE | SERIES_ALLOCATED | SERIES_FIXED);
  EXPECT_EQ(root->size, 8942 * 16);
  EXPECT_EQ(head_of(root), data_of(root));
  EXPECT_EQ(record.series_frame_head, 0u);
  series_buffer* offset = buffer_of(alloc_fixed_series(4, 4, 8));
  EXPECT_EQ(head_of(offset), data_of(offset) + 8);
  EXPECT_EQ(offset->tail, offset->head);
}

TEST_F(series_alloc, unset_cells_and_filled_bytes_leave_the_series_empty) {
  series_buffer* cells = buffer_of(alloc_unset_cells(5));
  EXPECT_EQ(cells->tail, cells->head);
  for (int i = 0; i < 5; ++i) {
    cell c = head_of<cell>(cells)[i];
    EXPECT_EQ(c.header, TYPE_UNSET);
    EXPECT_EQ(c.data1 | c.data2 | c.data3, 0u);
  }
  series_buffer* bytes = buffer_of(alloc_filled_bytes(20, 0xAB));
  EXPECT_EQ(bytes->size, 32);
  EXPECT_EQ(bytes->tail, bytes->head);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(data_of(bytes)[i], 0xAB);
}

struct series_frames : allocator_layout {};

TEST_F(series_frames, the_first_frame_takes_a_1_mb_run_and_every_later_one_a_huge_page) {
  while (record.series_frame_head == 0 || address<series_frame>(record.series_frame_head)->next == 0 ||
         address<series_frame>(address<series_frame>(record.series_frame_head)->next)->next == 0) {
    alloc_series_buffer(0x10000, 1, 0);
  }
  // Each run: the size word, the 20-byte header, the data.
  int32_t expected = 0x100000 - 24;
  uint32_t previous = 0;
  for (uint32_t f = record.series_frame_head; f; f = address<series_frame>(f)->next) {
    series_frame* frame = address<series_frame>(f);
    EXPECT_EQ(frame->end - (f + sizeof(series_frame)), static_cast<uint32_t>(expected));
    EXPECT_EQ(frame->total_size, expected + 20);
    EXPECT_EQ(frame->prev, previous);
    EXPECT_GT(f, previous);
    if (previous) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(address(f - 4)) % HUGE_PAGE_SIZE, 0u);
    }
    previous = f;
    expected = 0x200000 - 24;
  }
  EXPECT_EQ(record.series_frame_tail, previous);
  EXPECT_EQ(record.current_series_frame, previous);
}

TEST_F(series_frames, a_first_request_above_1_mb_gets_a_2_mb_frame) {
  alloc_series_buffer(0x180000, 1, 0);
  series_frame* frame = current_frame();
  EXPECT_EQ(frame->total_size, 0x200000 - 4);
}

TEST_F(series_frames, freed_frames_leave_the_list_in_address_order) {
  series_frame* a = new_series_frame();  // 1 MB
  series_frame* b = new_series_frame();  // 2 MB
  series_frame* c = new_series_frame();
  uint32_t at_b = offset_of(b);
  uint32_t in_use = record.bytes_in_use;
  free_series_frame(b);
  EXPECT_EQ(a->next, offset_of(c));
  EXPECT_EQ(c->prev, offset_of(a));
  EXPECT_LT(record.bytes_in_use, in_use);
  series_frame* again = new_series_frame();  // fills the hole between a and c
  EXPECT_EQ(offset_of(again), at_b);
  EXPECT_EQ(a->next, at_b);
  EXPECT_EQ(again->next, offset_of(c));
  EXPECT_EQ(c->prev, at_b);
  EXPECT_EQ(record.bytes_in_use, in_use);
  record.current_series_frame = offset_of(a);
  free_series_frame(a);
  EXPECT_EQ(record.series_frame_head, at_b);
  EXPECT_EQ(again->prev, 0u);
  EXPECT_EQ(record.current_series_frame, offset_of(c));  // the tail
  free_series_frame(c);
  EXPECT_EQ(record.series_frame_tail, at_b);
  EXPECT_EQ(again->next, 0u);
}

TEST_F(series_frames, an_emptied_frame_stays_committed_and_is_the_next_frame_made) {
  series_frame* a = new_series_frame();  // 1 MB
  series_frame* b = new_series_frame();  // 2 MB
  series_frame* c = new_series_frame();
  uint32_t at_b = offset_of(b);
  uint8_t* data = address(b->bump);
  std::memset(data, 0x5A, b->end - b->bump);
  uint32_t in_use = record.bytes_in_use;
  free_series_frame(b);
  EXPECT_EQ(record.spare_count, 1);
  EXPECT_EQ(record.bytes_in_use, in_use - HUGE_PAGE_SIZE);
  EXPECT_TRUE(resident_q(at_b + 0x100000));
  EXPECT_EQ(data[0x100000], 0x5A);  // kept as it was: nobody reads it
  EXPECT_EQ(a->next, offset_of(c));

  series_frame* again = new_series_frame();
  EXPECT_EQ(offset_of(again), at_b);
  EXPECT_EQ(record.spare_count, 0);
  EXPECT_EQ(record.bytes_in_use, in_use);
  EXPECT_EQ(again->prev, offset_of(a));
  EXPECT_EQ(again->next, offset_of(c));
  EXPECT_EQ(c->prev, at_b);
  EXPECT_EQ(again->bump, at_b + sizeof(series_frame));
  EXPECT_EQ(again->end, again->bump + 0x200000 - 24);
  EXPECT_EQ(again->total_size, 0x200000 - 4);
  record.current_series_frame = at_b;
  series_buffer* first = alloc_series_buffer(100, 1, 0);
  EXPECT_EQ(offset_of(first), at_b + sizeof(series_frame));
  EXPECT_EQ(first->node, 0u);
  EXPECT_EQ(first->tail, first->head);
}

TEST_F(series_frames, the_smaller_first_frame_goes_back_to_the_system) {
  series_frame* first = new_series_frame();  // 1 MB: no later frame takes its size
  new_series_frame();
  uint32_t at = offset_of(first);
  std::memset(address(first->bump), 1, first->end - first->bump);
  free_series_frame(first);
  EXPECT_EQ(record.spare_count, 0);
  EXPECT_FALSE(resident_q(at + 0x1000));
}

TEST_F(series_frames, spares_are_kept_up_to_a_bound_and_the_rest_go_back_to_the_system) {
  new_series_frame();  // 1 MB: stays, as does the last
  std::vector<series_frame*> freed;
  for (int32_t i = 0; i < SPARE_FRAMES + 3; ++i) freed.push_back(new_series_frame());
  series_frame* last = new_series_frame();
  for (series_frame* frame : freed) std::memset(address(frame->bump), 1, frame->end - frame->bump);
  std::vector<uint32_t> places;
  for (series_frame* frame : freed) {
    places.push_back(offset_of(frame));
    free_series_frame(frame);
  }
  EXPECT_EQ(record.spare_count, SPARE_FRAMES);
  for (size_t i = 0; i < places.size(); ++i) {
    // The first SPARE_FRAMES freed are kept, page for page.
    bool kept = i < static_cast<size_t>(SPARE_FRAMES);
    EXPECT_EQ(resident_q(places[i]), kept) << i;
    EXPECT_EQ(resident_q(places[i] + 0x1FF000), kept) << i;
  }
  // A spare of another size is not taken: the frame is new, in the lowest
  // free range. Of the right size, the last kept comes first.
  record.next_frame_size = record.initial_frame_size;
  series_frame* small = new_series_frame();
  EXPECT_EQ(record.spare_count, SPARE_FRAMES);
  EXPECT_EQ(offset_of(small), places[SPARE_FRAMES]);
  EXPECT_LT(offset_of(small), offset_of(last));
  EXPECT_EQ(offset_of(new_series_frame()), places[SPARE_FRAMES - 1]);
  release_spare_frames();
  EXPECT_EQ(record.spare_count, 0);
  EXPECT_FALSE(resident_q(places[0]));
}

struct node_frames : allocator_layout {};

TEST_F(node_frames, nodes_come_in_address_order_and_freed_ones_first) {
  uint32_t a = alloc_node();
  uint32_t b = alloc_node();
  node_frame* frame = address<node_frame>(record.node_frame_head);
  EXPECT_EQ(frame->node_count, NODES_PER_FRAME);
  EXPECT_EQ(a, offset_of(node_slots(frame)));
  EXPECT_EQ(b, a + 4);
  EXPECT_EQ(frame->used_count, 2);
  free_node(frame, a);
  EXPECT_EQ(frame->used_count, 1);
  EXPECT_EQ(alloc_node(), a);
  EXPECT_EQ(*address<uint32_t>(a), 0u);
}

TEST_F(node_frames, a_full_frame_hands_over_to_the_first_with_a_free_node) {
  std::vector<uint32_t> first;
  for (int i = 0; i < NODES_PER_FRAME; ++i) first.push_back(alloc_node());
  node_frame* one = address<node_frame>(record.node_frame_head);
  EXPECT_EQ(one->free_list, 0u);
  uint32_t n = alloc_node();
  node_frame* two = address<node_frame>(record.node_frame_tail);
  EXPECT_NE(two, one);
  EXPECT_EQ(one->next, offset_of(two));
  EXPECT_EQ(record.current_node_frame, offset_of(two));
  EXPECT_EQ(n, offset_of(node_slots(two)));

  free_node(one, first[5]);
  EXPECT_EQ(alloc_node(), n + 4);  // the current frame still has room
  for (int i = 2; i < NODES_PER_FRAME; ++i) alloc_node();
  EXPECT_EQ(alloc_node(), first[5]);
  EXPECT_EQ(record.current_node_frame, offset_of(one));

  free_node(two, n);
  two->released = 1;  // emptied by the collector: never allocated from
  free_node(one, first[7]);
  EXPECT_EQ(alloc_node(), first[7]);
  uint32_t third = alloc_node();
  EXPECT_EQ(record.node_frame_tail, record.current_node_frame);
  EXPECT_NE(record.current_node_frame, offset_of(two));

  free_node_frame(address<node_frame>(record.current_node_frame));
  EXPECT_EQ(record.current_node_frame, offset_of(two));  // the tail
  EXPECT_EQ(two->next, 0u);
  (void)third;
}

struct series_growth : allocator_layout {};

TEST_F(series_growth, expanding_keeps_content_and_length_and_gives_up_the_old_buffer) {
  uint32_t node = alloc_bytes(64);
  fill_counting(node, 64);
  series::set_flags(node, SERIES_OWNED);
  uint32_t old = *address<uint32_t>(node);
  series_buffer* b = expand_series(buffer_of(node), 0);
  EXPECT_EQ(b->size, 128);
  EXPECT_TRUE(holds_counting(b, 64));
  EXPECT_EQ(buffer_of(node), b);
  EXPECT_EQ(b->node, node);
  EXPECT_EQ(b->flags, 1 | SERIES_IN_USE | SERIES_ALLOCATED | SERIES_OWNED);
  series_buffer* given_up = address<series_buffer>(old);
  EXPECT_FALSE(given_up->flags & SERIES_IN_USE);
  EXPECT_TRUE(given_up->flags & SERIES_OWNED);
  EXPECT_EQ(given_up->node, 0u);
}

TEST_F(series_growth, a_head_in_the_middle_moves_to_the_start) {
  uint32_t node = alloc_series(8, 16, -1);
  for (uint32_t i = 0; i < 5; ++i) series::alloc_tail_cell(buffer_of(node))->data1 = i;
  series_buffer* b = buffer_of(node);
  EXPECT_EQ(b->size, 256);
  EXPECT_EQ(head_of(b), data_of(b));
  EXPECT_FALSE(b->flags & SERIES_HEAD_MIDDLE);
  ASSERT_EQ(b->tail - b->head, 5 * sizeof(cell));
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(head_of<cell>(b)[i].header, TYPE_UNSET);
    EXPECT_EQ(head_of<cell>(b)[i].data1, i);
  }
}

TEST_F(series_growth, tail_bytes_double_or_take_twice_a_larger_request) {
  struct row { int32_t used, n, size; };
  const row rows[] = {
      {64, 200, 400},  // the request is larger than the buffer
      {64, 1, 128},    // full: doubled
      {60, 4, 64},     // fits
      {0, 64, 64},
  };
  for (const row& r : rows) {
    uint32_t node = alloc_bytes(64);
    fill_counting(node, r.used);
    uint8_t* at = series::alloc_tail_bytes(buffer_of(node), r.n);
    series_buffer* b = buffer_of(node);
    EXPECT_EQ(b->size, r.size) << r.used << " + " << r.n;
    EXPECT_EQ(at, head_of(b) + r.used);
    EXPECT_EQ(static_cast<int32_t>(b->tail - b->head), r.used + r.n);
    for (int32_t i = 0; i < r.used; ++i) ASSERT_EQ(head_of(b)[i], i);
  }
}

TEST_F(series_growth, an_empty_buffer_grows_to_16_bytes) {
  uint32_t node = alloc_cells(0);
  EXPECT_EQ(buffer_of(node)->size, 0);
  series::alloc_tail_cell(buffer_of(node));
  EXPECT_EQ(buffer_of(node)->size, 16);
  EXPECT_EQ(expand_series(buffer_of(alloc_series(0, 1, 0)), 0)->size, 16);
}

TEST_F(series_growth, filled_expansion_sets_only_the_new_bytes) {
  uint32_t node = alloc_bytes(64);
  fill_counting(node, 64);
  series_buffer* b = expand_series_filled(buffer_of(node), 100, 0xFF);
  EXPECT_EQ(b->size, 112);
  EXPECT_TRUE(holds_counting(b, 64));
  for (int i = 64; i < 112; ++i) EXPECT_EQ(head_of(b)[i], 0xFF);
}

TEST_F(series_growth, copies_keep_content_length_and_flags_but_not_ownership) {
  uint32_t bytes = alloc_bytes(32);
  fill_counting(bytes, 20);
  series::set_flags(bytes, SERIES_OWNED | 0x40);
  series_buffer* copy = buffer_of(copy_series(buffer_of(bytes)));
  EXPECT_NE(copy, buffer_of(bytes));
  EXPECT_EQ(copy->size, 32);
  EXPECT_EQ(copy->flags, buffer_of(bytes)->flags);
  EXPECT_TRUE(holds_counting(copy, 20));

  uint32_t cells = alloc_cells(5);
  for (uint32_t i = 0; i < 5; ++i) series::alloc_tail_cell(buffer_of(cells))->data1 = i;
  series::set_flags(cells, SERIES_OWNED);
  series_buffer* part = buffer_of(series::copy_part(cells, 1, 3));
  EXPECT_EQ(GET_UNIT(part), 16u);
  EXPECT_FALSE(part->flags & SERIES_OWNED);
  ASSERT_EQ(part->tail - part->head, 3 * sizeof(cell));
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(head_of<cell>(part)[i].data1, i + 1);
}

struct memory_errors : ::testing::Test {
  void TearDown() override { free_all_frames(); }
};

TEST_F(memory_errors, sizes_beyond_31_bits_raise_no_memory_and_change_nothing) {
  init(test::fresh_memory::ARENA);
  uint32_t node = alloc_bytes(64);
  fill_counting(node, 64);
  const std::function<void()> cases[] = {
      [] { alloc_series(INT32_MAX, 16, 0); },
      [] { alloc_series(0x7FFFFFF0, 1, 0); },
      [] { alloc_series(-1, 1, 0); },
      [] { alloc_fixed_series(0x10000000, 16, 0); },
      [&] { move_series_buffer(buffer_of(node), -5); },
      [&] { series::alloc_tail_bytes(buffer_of(node), INT32_MAX / 2 + 1); },
  };
  for (const auto& body : cases) {
    memory_record before = record;
    EXPECT_TRUE(test::raises(err::internal_no_memory, body));
    EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
    EXPECT_TRUE(holds_counting(buffer_of(node), 64));
  }
}

TEST_F(memory_errors, an_exhausted_arena_raises_no_memory_and_keeps_what_it_has) {
  init(4 << 20);  // room for the node frame and two series frames
  uint32_t kept = alloc_bytes(64);
  fill_counting(kept, 64);
  EXPECT_TRUE(test::raises(err::internal_no_memory, [] { alloc_bytes(3 << 20); }));
  int allocations = 0;
  bool raised = false;
  while (!raised && allocations < 100) {
    raised = test::raises(err::internal_no_memory, [] { alloc_bytes(0x10000); });
    ++allocations;
  }
  EXPECT_TRUE(raised);
  EXPECT_LE(record.bytes_in_use, 4u << 20);
  EXPECT_EQ(address<series_frame>(record.series_frame_head)->next, record.series_frame_tail);
  EXPECT_TRUE(holds_counting(buffer_of(kept), 64));
  uint32_t more = alloc_bytes(16);  // the current frame still has room for small series
  EXPECT_EQ(buffer_of(more)->size, 16);
}

TEST_F(memory_errors, an_arena_without_room_takes_back_its_spares_first) {
  init(8 << 20);
  new_series_frame();  // 1 MB
  series_frame* b = new_series_frame();
  series_frame* c = new_series_frame();
  series_frame* d = new_series_frame();  // less than 1 MB of the arena is left free
  free_series_frame(b);
  free_series_frame(c);
  ASSERT_EQ(record.spare_count, 2);
  // 3 MB fit only where the two spares lie, with the gap below them.
  series_buffer* big = nullptr;
  EXPECT_FALSE(test::raises(err::internal_no_memory, [&] { big = alloc_big_series(3 << 20); }));
  EXPECT_EQ(record.spare_count, 0);
  EXPECT_LT(offset_of(big), offset_of(d));
}

// A stand-in for the collector: counts its runs, and can slide one buffer
// down onto the one before it as compaction does, scribbling over where it
// was.
int collections = 0;
uint32_t sliding_node = 0;
uint32_t hole = 0;

// Stands for a cycle: counts it, notes the bytes allocated since the last
// one and what the arena had committed, and resets the count as a cycle
// does, with `simulated_live` bytes taken as live after it.
uint64_t allocated_seen = 0, committed_seen = 0, simulated_live = 0;
void count_collection() {
  ++collections;
  allocated_seen = allocated_since_cycle;
  committed_seen = record.bytes_in_use;
  allocated_since_cycle = 0;
  live_after_cycle = simulated_live;
}

void slide_down() {
  run_collector = nullptr;
  series_buffer* b = buffer_of(sliding_node);
  uint32_t from = offset_of(b);
  uint32_t distance = from - hole;
  uint32_t footprint = static_cast<uint32_t>(b->size + BUFFER_OVERHEAD);
  std::memmove(address(hole), b, footprint);
  std::memset(address(hole + footprint), 0xEE, distance);
  *address<uint32_t>(sliding_node) = hole;
  series_buffer* moved = address<series_buffer>(hole);
  moved->head -= distance;
  moved->tail -= distance;
}

struct collector_seam : allocator_layout {};

TEST_F(collector_seam, allocations_collect_only_when_a_cycle_is_due) {
  run_collector = count_collection;
  collect_every_allocation = false;
  collections = 0;
  simulated_live = 0;
  alloc_bytes(16);
  alloc_bytes(3 << 20);
  EXPECT_EQ(collections, 0);  // the collector is not active yet

  collector_active = 1;
  alloc_bytes(16);
  EXPECT_EQ(collections, 0);  // room in the current frame
  alloc_bytes(3 << 20);
  EXPECT_EQ(collections, 0);  // a big series within the budget
  // Each step's allocation needs this much of a frame.
  constexpr uint64_t STEP = 0x10000, NEED = STEP + BUFFER_OVERHEAD;
  auto allocate_until_a_cycle = [&] {
    int32_t before = collections;
    for (int i = 0; i < 4000 && collections == before; ++i) alloc_bytes(static_cast<int32_t>(STEP));
  };

  // A cycle runs when a frame fills after the budget is spent: at most a
  // frame's worth later.
  constexpr uint64_t FRAME = 2u << 20;
  // Nothing live yet: the floor is the budget.
  simulated_live = 12u << 20;
  allocate_until_a_cycle();
  EXPECT_EQ(collections, 1);
  EXPECT_GE(allocated_seen, COLLECT_FLOOR);
  EXPECT_LT(allocated_seen, COLLECT_FLOOR + FRAME + NEED);
  // 12 MB live after it: the next cycle waits for 12 MB more.
  allocate_until_a_cycle();
  EXPECT_EQ(collections, 2);
  EXPECT_GE(allocated_seen, simulated_live);
  EXPECT_LT(allocated_seen, simulated_live + FRAME + NEED);
  // More live than the arena can hold twice: half the arena committed
  // decides.
  simulated_live = 1ull << 30;
  allocate_until_a_cycle();
  EXPECT_EQ(collections, 3);
  EXPECT_LT(allocated_seen, simulated_live);
  EXPECT_GE(2 * (committed_seen + NEED), arena_size());

  collect_every_allocation = true;
  for (int i = 0; i < 5; ++i) alloc_bytes(16);
  EXPECT_EQ(collections, 8);
  collect_every_allocation = false;
}

TEST_F(collector_seam, growing_and_copying_read_the_buffer_again_after_a_collection) {
  // Each operation answers the node whose series should hold `count` bytes
  // counting from `from` (-1: only the length is kept, not the content).
  struct row {
    const char* name;
    std::function<uint32_t(series_buffer*, uint32_t)> run;
    int32_t from, count;
    bool gives_up;  // the source buffer is given up, not left in use
  };
  const row rows[] = {
      {"expand", [](series_buffer* b, uint32_t n) { expand_series(b, 0); return n; }, 0, 64, true},
      {"expand filled", [](series_buffer* b, uint32_t n) { expand_series_filled(b, 0, 1); return n; }, 0, 64, true},
      {"move", [](series_buffer* b, uint32_t n) { move_series_buffer(b, 0); return n; }, -1, 64, true},
      {"tail bytes", [](series_buffer* b, uint32_t n) {
         series::alloc_tail_bytes(b, 100);
         buffer_of(n)->tail -= 100;
         return n;
       }, 0, 64, true},
      {"copy", [](series_buffer* b, uint32_t) { return copy_series(b); }, 0, 64, false},
      {"copy part", [](series_buffer*, uint32_t n) { return series::copy_part(n, 10, 20); }, 10, 20, false},
  };
  collector_active = 1;
  for (const row& r : rows) {
    uint32_t dead = alloc_bytes(64);
    uint32_t live = alloc_bytes(64);
    fill_counting(live, 64);
    hole = *address<uint32_t>(dead);
    sliding_node = live;
    series_buffer* stale = buffer_of(live);
    run_collector = slide_down;
    collect_every_allocation = true;
    uint32_t result = r.run(stale, live);
    collect_every_allocation = false;
    EXPECT_EQ(run_collector, nullptr) << r.name << ": no collection ran";
    series_buffer* b = buffer_of(result);
    if (r.from >= 0) {
      EXPECT_TRUE(holds_counting(b, r.count, r.from)) << r.name;
    }
    EXPECT_EQ(static_cast<int32_t>(b->tail - b->head), r.count) << r.name;
    series_buffer* source = address<series_buffer>(hole);
    if (r.gives_up) {
      EXPECT_EQ(source->node, 0u) << r.name;
      EXPECT_FALSE(source->flags & SERIES_IN_USE) << r.name;
    } else {
      EXPECT_EQ(buffer_of(live), source) << r.name;
      EXPECT_TRUE(holds_counting(source, 64)) << r.name;
    }
  }
}

}  // namespace
}  // namespace ixo::memory
