#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/record_table.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/handles.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/start.hpp"

namespace ixo {
namespace {

using namespace memory;

// No collection runs in its scope: set-ups that place buffers and nodes
// exactly, then run cycles themselves.
struct collections_off {
  collections_off() { collector_active = 0; }
  ~collections_off() { collector_active = 1; }
};

class collector_cycle : public ::testing::Test {
 protected:
  void SetUp() override {
    collector_active = 0;  // an earlier test's collector has no tables to walk yet
    runtime::init();
    handles::init();
    collector::init();
    collector_active = 1;
  }
  void TearDown() override {
    collector_active = 0;
    collector::ownership_table = 0;
    run_collector = nullptr;
    collect_every_allocation = false;
    free_all_frames();
  }
  void restart() {
    TearDown();
    SetUp();
  }
};

// A string! of unit-1 text in a buffer of exactly its size.
cell text(const std::string& s) {
  uint32_t node = alloc_bytes(static_cast<int32_t>(s.size()));
  series_buffer* b = buffer_of(node);
  std::memcpy(head_of(b), s.data(), s.size());
  b->tail = b->head + static_cast<uint32_t>(s.size());
  return cell{TYPE_STRING, 0, node, 0};
}

std::string text_of(const cell& c) {
  series_buffer* b = GET_BUFFER(&c);
  return std::string(head_of<char>(b), tail_of<char>(b));
}

// A block with room for `room` cells, none used.
uint32_t block(int32_t room) { return alloc_cells(room); }

// Appends without growing: the block has room.
void put(uint32_t node, const cell& value) {
  series_buffer* b = buffer_of(node);
  ASSERT_LT(tail_of(b), data_end(b));
  *tail_of<cell>(b) = value;
  b->tail += sizeof(cell);
}

cell* cells(uint32_t node) { return head_of<cell>(buffer_of(node)); }

// True while the node holds a buffer, false once it is free or its frame
// was given back.
bool in_use_q(uint32_t node) {
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next) {
    node_frame* frame = address<node_frame>(f);
    uint32_t first = offset_of(node_slots(frame));
    uint32_t end = first + 4 * static_cast<uint32_t>(frame->node_count);
    if (node < first || node >= end) continue;
    uint32_t held = *address<uint32_t>(node);
    return held != 0 && (held < first || held >= end);
  }
  return false;
}

bool in_node_frame_q(uint32_t node, uint32_t frame) {
  uint32_t first = offset_of(node_slots(address<node_frame>(frame)));
  return node >= first && node < first + 4 * NODES_PER_FRAME;
}

std::vector<uint32_t> series_frames() {
  std::vector<uint32_t> frames;
  for (uint32_t f = record.series_frame_head; f; f = address<series_frame>(f)->next) frames.push_back(f);
  return frames;
}

bool node_frame_listed_q(uint32_t frame) {
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next)
    if (f == frame) return true;
  return false;
}

// ---- What survives -----------------------------------------------------------

TEST_F(collector_cycle, values_held_by_a_root_or_the_value_stack_survive_every_cycle) {
  collect_every_allocation = true;  // a cycle before every allocation, as under stress
  cell rooted{};
  root_guard keep_rooted(&rooted);
  string::rs_make_at(&rooted, 0);
  string::concatenate_literal(GET_BUFFER(&rooted), "held by a root cell");

  cell pair[2] = {};
  root_pair_guard keep_pair(pair);
  string::rs_make_at(&pair[0], 0);
  string::concatenate_literal(GET_BUFFER(&pair[0]), "first of a rooted pair");
  string::rs_make_at(&pair[1], 0);
  string::concatenate_literal(GET_BUFFER(&pair[1]), "second of a rooted pair");

  uint32_t held = block(4);
  root_guard keep_held(&held);
  cell inner = text("in a block held by a root node");
  put(held, inner);

  // Each new series is put where the roots reach it before the next
  // allocation.
  cell* on_stack = stack::push(cell{TYPE_BLOCK, 0, block(4), 0});
  put(on_stack->data2, cell{TYPE_BLOCK, 0, block(1), 0});
  put(cells(on_stack->data2)[0].data2, text("two blocks down the value stack"));

  uint32_t cycles_before = collector::series_cycle_count;
  uint32_t first_place = *address<uint32_t>(rooted.data2);
  for (int32_t i = 0; i < 300; ++i) {
    text("garbage " + std::to_string(i));  // unreachable at once
    string::concatenate_literal(GET_BUFFER(&rooted), ".");
  }
  EXPECT_GE(collector::series_cycle_count - cycles_before, 300u);
  EXPECT_NE(*address<uint32_t>(rooted.data2), first_place);  // buffers did move
  EXPECT_EQ(text_of(rooted), "held by a root cell" + std::string(300, '.'));
  EXPECT_EQ(text_of(pair[0]), "first of a rooted pair");
  EXPECT_EQ(text_of(pair[1]), "second of a rooted pair");
  EXPECT_EQ(text_of(cells(held)[0]), "in a block held by a root node");
  EXPECT_EQ(text_of(cells(cells(on_stack->data2)[0].data2)[0]), "two blocks down the value stack");
}

TEST_F(collector_cycle, memory_in_use_drops_and_emptied_frames_go_unless_last) {
  uint32_t big = 0;
  {
    collections_off off;
    collector::do_cycle();
    cell* held = stack::push(cell{TYPE_BLOCK, 0, block(40000), 0});
    // About 4 MB of strings: the first frame fills, two more follow.
    for (int32_t i = 0; i < 30000; ++i) put(held->data2, text(std::string(100, 'a' + i % 26)));
    big = alloc_bytes(3 << 20);  // a big series of its own, unreachable
    put(held->data2, cell{TYPE_BINARY, 0, alloc_bytes(3 << 20), 0});  // and one kept
  }
  ASSERT_EQ(series_frames().size(), 3u);
  std::vector<uint32_t> frames = series_frames();
  double before = stats_in_use();
  collector::do_cycle();  // everything is reachable but the big series
  EXPECT_FALSE(in_use_q(big));
  ASSERT_NE(record.big_frame_head, 0u);
  series_buffer* kept = reinterpret_cast<series_buffer*>(address<big_frame>(record.big_frame_head) + 1);
  EXPECT_EQ(address<big_frame>(record.big_frame_head)->next, 0u);
  EXPECT_EQ(kept->flags & SERIES_MARK, 0u);
  EXPECT_TRUE(in_use_q(kept->node));
  EXPECT_EQ(series_frames(), frames);
  double live = stats_in_use();
  EXPECT_LT(live, before - (3 << 20));

  stack::pop(1);
  collector::do_cycle();
  EXPECT_EQ(record.big_frame_head, 0u);
  EXPECT_LT(stats_in_use(), live - 30000 * 100 - (3 << 20));
  // The middle frame died and went; the last stays, empty.
  EXPECT_EQ(series_frames(), (std::vector<uint32_t>{frames[0], frames[2]}));
  series_frame* last = address<series_frame>(frames[2]);
  EXPECT_EQ(last->bump, frames[2] + sizeof(series_frame));
}

TEST_F(collector_cycle, a_frame_a_cycle_empties_stays_committed_and_is_refilled_in_place) {
  uint32_t holder = 0;
  root_guard keep(&holder);
  {
    collections_off off;
    collector::do_cycle();
    holder = block(40);
    // Garbage until a third frame starts, then a live string in it.
    while (series_frames().size() < 3) text(std::string(1000, 'g'));
    put(holder, text("kept in the last frame"));
  }
  std::vector<uint32_t> frames = series_frames();
  collector::do_cycle();
  EXPECT_EQ(series_frames(), (std::vector<uint32_t>{frames[0], frames[2]}));
  EXPECT_EQ(record.spare_count, 1);
  // What stays live paces the next cycle; the spare is no part of it.
  EXPECT_EQ(live_after_cycle, static_cast<uint64_t>(stats_in_use()));
  EXPECT_LT(live_after_cycle, uint64_t{1} << 20);
  uint32_t in_use = record.bytes_in_use;
  {
    collections_off off;
    while (series_frames().size() < 3) text(std::string(1000, 'r'));
    put(holder, text("made in the frame taken again"));
  }
  EXPECT_EQ(series_frames(), frames);
  EXPECT_EQ(record.spare_count, 0);
  EXPECT_EQ(record.bytes_in_use, in_use + HUGE_PAGE_SIZE);
  uint32_t made = *address<uint32_t>(cells(holder)[1].data2);
  EXPECT_GT(made, frames[1]);
  EXPECT_LT(made, address<series_frame>(frames[1])->end);
  EXPECT_EQ(text_of(cells(holder)[0]), "kept in the last frame");
  EXPECT_EQ(text_of(cells(holder)[1]), "made in the frame taken again");
}

// Fills the current frame up to `room` free bytes (within 16 below) with a
// live byte series put in `holder`.
void fill_frame_to(uint32_t holder, uint32_t room) {
  series_frame* frame = address<series_frame>(record.current_series_frame);
  uint32_t take = frame->end - frame->bump - room;
  cell filler{TYPE_BINARY, 0, alloc_bytes(static_cast<int32_t>((take - BUFFER_OVERHEAD) & ~15u)), 0};
  put(holder, filler);
}

TEST_F(collector_cycle, live_runs_move_into_the_previous_frame_only_when_it_has_room_to_spare) {
  struct row { uint32_t room; bool moved; };
  const row rows[] = {
      {FRAME_REUSE_ROOM - 15, false},  // at most 52,428 bytes free: nothing moves
      {FRAME_REUSE_ROOM + 1, true},
  };
  for (const row& r : rows) {
    restart();
    uint32_t holder = 0;
    root_guard keep(&holder);
    std::vector<uint32_t> frames;
    {
      collections_off off;
      collector::do_cycle();  // the first frame without holes
      holder = block(200);
      fill_frame_to(holder, r.room);
      frames.push_back(record.series_frame_head);
      // A second frame of small strings that fit the first one's room,
      // and an empty third, so that the second is not the last.
      frames.push_back(offset_of(new_series_frame()));
      record.current_series_frame = frames.back();
      for (int32_t i = 0; i < 100; ++i) put(holder, text(std::string(100, 'k')));
      frames.push_back(offset_of(new_series_frame()));
    }
    ASSERT_EQ(series_frames(), frames);
    uint32_t room = address<series_frame>(frames[0])->end - address<series_frame>(frames[0])->bump;
    ASSERT_EQ(room > static_cast<uint32_t>(FRAME_REUSE_ROOM), r.moved);
    int32_t n = static_cast<int32_t>((buffer_of(holder)->tail - buffer_of(holder)->head) / sizeof(cell));
    std::vector<uint32_t> places;
    for (int32_t i = 0; i < n; ++i) places.push_back(*address<uint32_t>(cells(holder)[i].data2));
    uint32_t holder_place = *address<uint32_t>(holder);

    collector::do_cycle();
    EXPECT_EQ(*address<uint32_t>(holder), holder_place);
    int32_t moved = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (*address<uint32_t>(cells(holder)[i].data2) != places[i]) ++moved;
      if (i > 0) {
        EXPECT_EQ(text_of(cells(holder)[i]), std::string(100, 'k'));
      }
    }
    if (r.moved) {
      EXPECT_EQ(moved, 100);
      EXPECT_EQ(series_frames(), (std::vector<uint32_t>{frames[0], frames[2]}));
    } else {
      EXPECT_EQ(moved, 0);
      EXPECT_EQ(series_frames(), frames);
    }
  }
}

TEST_F(collector_cycle, holes_close_up_within_a_frame) {
  uint32_t holder = 0;
  root_guard keep(&holder);
  std::vector<cell> kept;
  {
    collections_off off;
    holder = block(100);
    for (int32_t i = 0; i < 100; ++i) {
      cell s = text("string " + std::to_string(i));
      if (i % 3 == 0) put(holder, s);  // every third lives
    }
  }
  series_frame* frame = address<series_frame>(record.series_frame_head);
  uint32_t bump = frame->bump;
  collector::do_cycle();
  EXPECT_LT(frame->bump, bump);
  int32_t n = static_cast<int32_t>((buffer_of(holder)->tail - buffer_of(holder)->head) / sizeof(cell));
  ASSERT_EQ(n, 34);
  // The survivors lie end to end in their old order, each with its node.
  for (int32_t i = 0; i < n; ++i) {
    const cell& s = cells(holder)[i];
    EXPECT_EQ(text_of(s), "string " + std::to_string(3 * i));
    EXPECT_EQ(GET_BUFFER(&s)->node, s.data2);
    EXPECT_EQ(GET_BUFFER(&s)->flags & SERIES_MARK, 0u);
    if (i > 0) {
      series_buffer* before = GET_BUFFER(&cells(holder)[i - 1]);
      EXPECT_EQ(offset_of(GET_BUFFER(&s)), offset_of(before) + before->size + BUFFER_OVERHEAD);
    }
  }
}

// ---- Marking by datatype -----------------------------------------------------

// What a payload word is given: a probe (a block holding one string, so
// that marking its cells shows), a hashtable, or a plain number.
constexpr uint32_t PROBE = 0xFFFFFFFF;
constexpr uint32_t TABLE = 0xFFFFFFFE;
enum fate { DIES, NODE_ONLY, WITH_CELLS, NONE };

TEST_F(collector_cycle, each_datatype_marks_the_nodes_of_its_payload) {
  struct row { uint32_t header; uint32_t word[3]; fate fates[3]; };
  constexpr uint32_t P = PROBE, T = TABLE;
  std::vector<row> rows;
  for (uint32_t t : {TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH})
    rows.push_back({t, {0, P, P}, {NONE, WITH_CELLS, DIES}});
  for (uint32_t t : {TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_SYMBOL})
    rows.push_back({t, {P, P, P}, {DIES, NODE_ONLY, NODE_ONLY}});
  for (uint32_t t : {TYPE_BITSET, TYPE_VECTOR, TYPE_BINARY, TYPE_IMAGE})
    rows.push_back({t, {P, P, P}, {DIES, NODE_ONLY, DIES}});
  for (uint32_t t : {TYPE_OBJECT, TYPE_ERROR, TYPE_PORT})
    rows.push_back({t, {P, P, P}, {WITH_CELLS, DIES, NODE_ONLY}});
  for (uint32_t t : {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT})
    rows.push_back({t, {P, P, P}, {WITH_CELLS, DIES, DIES}});
  for (uint32_t t : {TYPE_FUNCTION, TYPE_ROUTINE})
    rows.push_back({t, {P, P, P}, {WITH_CELLS, WITH_CELLS, WITH_CELLS}});
  for (uint32_t t : {TYPE_NATIVE, TYPE_ACTION, TYPE_OP})
    rows.push_back({t, {P, P, P}, {DIES, WITH_CELLS, WITH_CELLS}});
  rows.push_back({TYPE_OP | TYPE_FUNCTION << 16, {P, P, P}, {WITH_CELLS, WITH_CELLS, WITH_CELLS}});
  rows.push_back({TYPE_OP | TYPE_ROUTINE << 16, {P, P, P}, {WITH_CELLS, WITH_CELLS, WITH_CELLS}});
  rows.push_back({TYPE_CONTEXT, {T, P, P}, {NODE_ONLY, WITH_CELLS, DIES}});
  rows.push_back({TYPE_CONTEXT | 0x400000, {T, P, P}, {NODE_ONLY, DIES, DIES}});  // values on the stack
  for (uint32_t t : {TYPE_HASH, TYPE_MAP}) rows.push_back({t, {P, P, T}, {DIES, WITH_CELLS, NODE_ONLY}});
  rows.push_back({TYPE_EVENT, {P, P, 0x10000}, {DIES, WITH_CELLS, NONE}});
  rows.push_back({TYPE_EVENT, {P, P, 0}, {DIES, DIES, NONE}});
  for (uint32_t t : {TYPE_DATATYPE, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT,
                     TYPE_ISSUE, TYPE_TRIPLE, TYPE_TYPESET, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE, TYPE_SERIES,
                     TYPE_TIME, TYPE_DATE, TYPE_MONEY, TYPE_POINT2D, TYPE_POINT3D, TYPE_HANDLE})
    rows.push_back({t, {P, P, P}, {DIES, DIES, DIES}});  // a handle index this large names no entry

  for (const row& r : rows) {
    cell value{r.header, 0, 0, 0};
    root_guard keep(&value);
    uint32_t* words[3] = {&value.data1, &value.data2, &value.data3};
    uint32_t strings[3] = {};
    {
      collections_off off;
      for (int32_t w = 0; w < 3; ++w) {
        if (r.word[w] == PROBE) {
          *words[w] = block(1);
          put(*words[w], text("probe"));
          strings[w] = cells(*words[w])[0].data2;
        } else if (r.word[w] == TABLE) {
          *words[w] = hashtable::init(4, nullptr, hashtable::KIND_SYMBOL, 1);
        } else {
          *words[w] = r.word[w];
        }
      }
    }
    collector::do_cycle();
    for (int32_t w = 0; w < 3; ++w) {
      if (r.fates[w] == NONE) continue;
      EXPECT_EQ(in_use_q(*words[w]), r.fates[w] != DIES) << "type " << (r.header & 0xFF) << " word " << w + 1;
      if (strings[w]) {
        EXPECT_EQ(in_use_q(strings[w]), r.fates[w] == WITH_CELLS) << "type " << (r.header & 0xFF) << " word " << w + 1;
      }
    }
  }
}

TEST_F(collector_cycle, a_word_of_self_keeps_its_whole_series_any_other_its_context_cells) {
  int32_t self = hashtable::get_symbol(symbol::table, reinterpret_cast<const uint8_t*>("SELF"), 4, false);
  int32_t other = hashtable::get_symbol(symbol::table, reinterpret_cast<const uint8_t*>("other"), 5, false);
  for (int32_t symbol : {self, other}) {
    cell word{TYPE_WORD, 0, static_cast<uint32_t>(symbol), 0};
    root_guard keep(&word);
    {
      collections_off off;
      word.data1 = block(4);
      for (int32_t i = 0; i < 4; ++i) put(word.data1, text("cell " + std::to_string(i)));
    }
    uint32_t third = cells(word.data1)[2].data2, fourth = cells(word.data1)[3].data2;
    collector::do_cycle();
    EXPECT_TRUE(in_use_q(third));
    EXPECT_EQ(in_use_q(fourth), symbol == self);
  }
}

TEST_F(collector_cycle, call_frames_keep_their_contexts_and_saved_values) {
  struct row { uint32_t context_flags; bool saved_lives; };
  for (row r : {row{0, true}, row{0x400000, false}}) {
    uint32_t word_context = 0, function_context = 0, saved = 0;
    {
      collections_off off;
      word_context = block(3);
      put(word_context, text("word context"));
      function_context = block(3);
      put(function_context, cell{TYPE_CONTEXT | r.context_flags, 0, 0, 0});
      saved = block(1);
      put(saved, text("saved values"));
    }
    cell word{TYPE_WORD, word_context, 0, 0};
    stack::mark(&word, stack::FRAME_FUNCTION);
    stack::frame_top[-1].fun_ctx = function_context;
    stack::frame_top[-1].saved = saved;
    collector::do_cycle();
    EXPECT_TRUE(in_use_q(word_context));
    EXPECT_TRUE(in_use_q(function_context));
    EXPECT_EQ(in_use_q(saved), r.saved_lives);
    EXPECT_EQ(in_use_q(cells(saved)[0].data2), r.saved_lives);
    stack::unroll();
    collector::do_cycle();
    EXPECT_FALSE(in_use_q(word_context));
    EXPECT_FALSE(in_use_q(function_context));
  }
}

TEST_F(collector_cycle, handles_live_while_a_handle_value_holds_them) {
  static std::vector<void*> finalised;
  finalised.clear();
  handles::init();
  int32_t type = handles::register_type("test", [](void* p) { finalised.push_back(p); });
  cell held{TYPE_HANDLE, 0, 0, static_cast<uint32_t>(handles::alloc(&finalised, type))};
  root_guard keep(&held);
  int32_t dropped = handles::alloc(&held, type);
  cell none{TYPE_HANDLE, 0, 0, static_cast<uint32_t>(-1)};  // no entry
  root_guard keep_none(&none);
  collector::do_cycle();
  EXPECT_EQ(finalised, (std::vector<void*>{&held}));
  EXPECT_NE(handles::table.entries[dropped].type & handles::HANDLE_FREE, 0u);
  held.header = TYPE_INTEGER;
  collector::do_cycle();
  EXPECT_EQ(finalised.size(), 2u);
}

TEST_F(collector_cycle, ownership_records_live_with_their_key_and_keep_their_values) {
  static int32_t finalised;
  finalised = 0;
  int32_t type = handles::register_type("owned", [](void*) { ++finalised; });
  cell owned{}, unowned{};
  root_guard keep_owned(&owned);
  {
    collections_off off;
    collector::ownership_table = hashtable::init(8, nullptr, hashtable::KIND_OWNERSHIP, 3);
    owned = text("owned");
    unowned = text("owner gone");
    for (const cell* key : {&owned, &unowned}) {
      uint32_t only_here = block(1);
      put(only_here, text("reached through the record"));
      cell* values = hashtable::put_node(collector::ownership_table, key->data2);
      values[0] = cell{TYPE_BLOCK, 0, only_here, 0};
      values[1] = cell{TYPE_NONE, 0, 0, 0};  // no owner object
      values[2] = cell{TYPE_HANDLE, 0, 0, static_cast<uint32_t>(handles::alloc(nullptr, type))};
    }
  }
  uint32_t kept_block = hashtable::get_node(collector::ownership_table, owned.data2)[0].data2;
  uint32_t lost_block = hashtable::get_node(collector::ownership_table, unowned.data2)[0].data2;
  collector::do_cycle();
  EXPECT_TRUE(in_use_q(kept_block));
  EXPECT_EQ(text_of(cells(kept_block)[0]), "reached through the record");
  EXPECT_FALSE(in_use_q(lost_block));
  EXPECT_FALSE(in_use_q(unowned.data2));
  EXPECT_EQ(hashtable::record_of(collector::ownership_table)->size, 1);
  EXPECT_EQ(finalised, 1);  // the handle of the record that stays is not swept
}

// ---- Roots beyond a hundred ------------------------------------------------------

constexpr int32_t CALLBACKS = 150;
std::array<uint32_t, CALLBACKS> callback_nodes;

template <size_t... I>
std::array<collector::root_callback, CALLBACKS> make_callbacks(std::index_sequence<I...>) {
  return {[] { collector::mark_node(&callback_nodes[I]); }...};
}

TEST_F(collector_cycle, more_than_a_hundred_roots_and_callbacks_all_hold) {
  const auto callbacks = make_callbacks(std::make_index_sequence<CALLBACKS>());
  std::vector<cell> values(CALLBACKS);
  std::vector<std::unique_ptr<root_guard>> guards;
  for (int32_t i = 0; i < CALLBACKS; ++i) {
    guards.push_back(std::make_unique<root_guard>(&values[i]));
    values[i] = text("rooted " + std::to_string(i));
    callback_nodes[i] = text("called back " + std::to_string(i)).data2;
    collector::register_root(callbacks[i]);
  }
  collector::unregister_root(callbacks[10]);
  uint32_t unregistered = callback_nodes[10];
  for (int32_t i = 0; i < 50; ++i) text("garbage");
  collector::do_cycle();
  for (int32_t i = 0; i < CALLBACKS; ++i) {
    EXPECT_EQ(text_of(values[i]), "rooted " + std::to_string(i));
    if (i != 10) {
      EXPECT_EQ(text_of(cell{TYPE_STRING, 0, callback_nodes[i], 0}), "called back " + std::to_string(i));
    }
  }
  EXPECT_FALSE(in_use_q(unregistered));
  for (collector::root_callback c : callbacks) collector::unregister_root(c);
  // Registering again after removals stays within the table.
  for (int32_t round = 0; round < 20; ++round) {
    for (collector::root_callback c : callbacks) collector::register_root(c);
    for (collector::root_callback c : callbacks) collector::unregister_root(c);
  }
  collector::do_cycle();
  EXPECT_FALSE(in_use_q(callback_nodes[0]));
}

// ---- Depth -------------------------------------------------------------------

TEST_F(collector_cycle, a_million_nested_blocks_are_marked_without_recursion) {
  constexpr int32_t DEPTH = 1000000;
  uint32_t outer = 0;
  root_guard keep(&outer);
  double before = stats_in_use();  // what the started runtime holds
  {
    collections_off off;
    outer = block(1);
    put(outer, text("innermost"));
    for (int32_t i = 1; i < DEPTH; ++i) {
      uint32_t around = block(1);
      put(around, cell{TYPE_BLOCK, 0, outer, 0});
      outer = around;
    }
  }
  double built = stats_in_use();
  collector::do_cycle();
  uint32_t at = outer;
  for (int32_t i = 1; i < DEPTH; ++i) at = cells(at)[0].data2;
  EXPECT_EQ(text_of(cells(at)[0]), "innermost");
  outer = 0;
  collector::do_cycle();
  EXPECT_LT(stats_in_use() - before, (built - before) / 100);
}

// ---- Node compaction ---------------------------------------------------------

TEST_F(collector_cycle, a_quiet_sparse_node_frame_is_emptied_after_six_quiet_cycles) {
  cycles::init();
  struct row { int32_t used; bool emptied; };
  for (row r : {row{4999, true}, row{5000, false}}) {
    restart();
    uint32_t holder = 0;
    root_guard keep(&holder);
    uint32_t lone = 0;  // a node held by C++ code
    root_guard keep_lone(&lone);
    uint32_t frame = 0;
    {
      collections_off off;
      collector::do_cycle();
      holder = block(10000);
      uint32_t first = record.node_frame_head;
      while (address<node_frame>(first)->free_list) alloc_bytes(16);  // garbage fills the first frame
      // The second frame keeps `used` nodes, the third 5,000.
      for (int32_t i = 0; i < 2 * NODES_PER_FRAME; ++i) {
        bool second = i < NODES_PER_FRAME;
        cell s = text("s" + std::to_string(i));
        if (i == 0) frame = record.node_frame_tail;
        if ((second && i < r.used) || (!second && i < NODES_PER_FRAME + 5000)) put(holder, s);
      }
      ASSERT_NE(frame, record.node_frame_tail);
      lone = cells(holder)[1].data2;
      stack::push(cells(holder)[2]);
      cycles::push(cells(holder)[3].data2);
    }
    uint32_t relocations = collector::node_relocation_count;
    for (int32_t cycle = 1; cycle <= 7; ++cycle) collector::do_cycle();
    ASSERT_TRUE(node_frame_listed_q(frame));
    EXPECT_EQ(address<node_frame>(frame)->used_count, r.used);
    collector::do_cycle();  // the eighth: six quiet cycles are behind it
    EXPECT_EQ(node_frame_listed_q(frame), !r.emptied);
    EXPECT_EQ(collector::node_relocation_count, relocations + (r.emptied ? 1 : 0));
    int32_t n = static_cast<int32_t>((buffer_of(holder)->tail - buffer_of(holder)->head) / sizeof(cell));
    ASSERT_EQ(n, r.used + 5000);
    for (int32_t i = 0; i < r.used; ++i) {
      const cell& s = cells(holder)[i];
      ASSERT_EQ(text_of(s), "s" + std::to_string(i));
      ASSERT_EQ(GET_BUFFER(&s)->node, s.data2);
      ASSERT_NE(in_node_frame_q(s.data2, frame), r.emptied);
    }
    // Every holder of a moved node was rewritten.
    EXPECT_EQ(lone, cells(holder)[1].data2);
    EXPECT_EQ(stack::top_cell()->data2, cells(holder)[2].data2);
    EXPECT_EQ(cycles::entries()[0], cells(holder)[3].data2);
    cycles::reset();
  }
}

// Growing or copying a series allocates, and the collection that the
// allocation runs may empty the node frame of the series' own node: the
// operation goes on with the node's new place, never the freed slot.
TEST_F(collector_cycle, a_series_grown_or_copied_while_its_node_frame_is_emptied_keeps_its_text) {
  cycles::init();
  enum op { EXPAND, MOVE, COPY_SERIES, COPY_PART };
  for (op o : {EXPAND, MOVE, COPY_SERIES, COPY_PART}) {
    restart();
    uint32_t holder = 0;
    root_guard keep(&holder);
    uint32_t frame = 0;
    {
      collections_off off;
      collector::do_cycle();
      holder = block(10000);
      uint32_t first = record.node_frame_head;
      while (address<node_frame>(first)->free_list) alloc_bytes(16);
      // A second frame keeps 100 strings, a third 5,000: the second is
      // sparse and will be emptied into the third.
      for (int32_t i = 0; i < 2 * NODES_PER_FRAME; ++i) {
        cell s = text("s" + std::to_string(i));
        if (i == 0) frame = record.node_frame_tail;
        if (i < 100 || (i >= NODES_PER_FRAME && i < NODES_PER_FRAME + 5000)) put(holder, s);
      }
    }
    for (int32_t cycle = 1; cycle <= 7; ++cycle) collector::do_cycle();
    ASSERT_TRUE(node_frame_listed_q(frame));
    ASSERT_TRUE(in_node_frame_q(cells(holder)[7].data2, frame));
    uint32_t relocations = collector::node_relocation_count;
    collect_every_allocation = true;  // the allocation below runs the eighth cycle
    uint32_t copy = 0;
    root_guard keep_copy(&copy);
    switch (o) {
      case EXPAND: expand_series(GET_BUFFER(&cells(holder)[7]), 4096); break;
      case MOVE: move_series_buffer(GET_BUFFER(&cells(holder)[7]), 4096); break;
      case COPY_SERIES: copy = copy_series(GET_BUFFER(&cells(holder)[7])); break;
      case COPY_PART: copy = series::copy_part(cells(holder)[7].data2, 1, 1); break;
    }
    collect_every_allocation = false;
    ASSERT_EQ(collector::node_relocation_count, relocations + 1);
    EXPECT_FALSE(node_frame_listed_q(frame));
    const cell& s = cells(holder)[7];
    EXPECT_FALSE(in_node_frame_q(s.data2, frame));
    EXPECT_EQ(GET_BUFFER(&s)->node, s.data2);
    EXPECT_NE(GET_BUFFER(&s)->flags & SERIES_IN_USE, 0u);
    if (o == MOVE) continue;  // a move keeps the size and tail, not the data
    EXPECT_EQ(text_of(s), "s7");
    if (o == COPY_SERIES) {
      EXPECT_EQ(text_of(cell{TYPE_STRING, 0, copy, 0}), "s7");
    }
    if (o == COPY_PART) {
      EXPECT_EQ(text_of(cell{TYPE_STRING, 0, copy, 0}), "7");
    }
    EXPECT_EQ(text_of(cells(holder)[99]), "s99");
  }
  cycles::reset();
}

TEST_F(collector_cycle, init_installs_the_collection_that_allocation_runs) {
  EXPECT_EQ(run_collector, collector::collect);
  uint32_t before = collector::series_cycle_count;
  collector_active = 0;
  collector::collect();
  EXPECT_EQ(collector::series_cycle_count, before);
  collector_active = 1;
  collector::collect();
  EXPECT_EQ(collector::series_cycle_count, before + 1);
  EXPECT_EQ(collector::in_progress, 0);
}

TEST_F(collector_cycle, a_cycle_starts_the_next_budget_from_what_stays_live) {
  // Paced, not collecting at every allocation as IXO_GC_STRESS=1 does.
  struct paced {
    bool stress = collect_every_allocation;
    paced() { collect_every_allocation = false; }
    ~paced() { collect_every_allocation = stress; }
  } pacing;
  uint32_t keep = alloc_bytes(3 << 20);
  root_guard hold(&keep);
  alloc_bytes(1 << 20);  // garbage
  EXPECT_GT(allocated_since_cycle, uint64_t{4} << 20);
  collector::collect();
  EXPECT_EQ(allocated_since_cycle, 0u);
  EXPECT_EQ(live_after_cycle, static_cast<uint64_t>(stats_in_use()));
  EXPECT_GE(live_after_cycle, uint64_t{3} << 20);
  EXPECT_LT(live_after_cycle, uint64_t{4} << 20);
}

}  // namespace
}  // namespace ixo
