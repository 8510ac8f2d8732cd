// The global routines over values and the running runtime: the shifts at
// their edges, the quiet slot store, the UTF-8 character count, the value
// stack and call frames as the routines see them, the trace and print
// flags; and that every routine the boot source binds is registered.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "boot/routines.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "support/blocks.hpp"
#include "support/kept.hpp"
#include "support/lexer.hpp"
#include "support/raised.hpp"
#include "support/routine_call.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using test::call_routine;

int32_t int_of(const cell& c) { return integer::get(&c); }
bool logic_of(const cell& c) { return logic::get(&c) != 0; }
uint32_t type_of(const cell& c) { return TYPE_OF(&c); }
// The spelling of a word's symbol, copied before anything else allocates.
std::string spelling(const cell& w) {
  return reinterpret_cast<const char*>(symbol::get_name_head(static_cast<int32_t>(w.data2)));
}

struct routines : test::lexer_runtime {
  void SetUp() override {
    test::lexer_runtime::SetUp();
    boot::init_file_routines();
    boot::init_system_routines();
    boot::init_value_routines();
    boot::init_runtime_routines();
    stack::keep();
  }
  static cell number(int32_t v) { return integer::make_cell(v); }
  static cell ints_as(std::initializer_list<int32_t> values, uint32_t type) {
    std::vector<cell> cells;
    for (int32_t v : values) cells.push_back(number(v));
    return test::block_of(cells, 0, type);
  }
  // The integers of a block from its head, whatever its index.
  static std::vector<int32_t> all_ints(cell b) {
    b.data1 = 0;
    return test::ints_of(&b);
  }
  static cell binary_at(const std::string& bytes, int32_t index) {
    cell b{};
    memory::root_guard rooted(&b);
    binary::load_at(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), &b);
    b.data1 = static_cast<uint32_t>(index);
    return test::keep(b);
  }
};

TEST_F(routines, shifts_follow_the_shift_native_at_every_edge) {
  struct row { int32_t data, bits, right, left, logical; };
  const row rows[] = {
      {-8, 1, -4, -16, 2147483644},
      {1, 0, 1, 1, 1},
      {1, 31, 0, INT_MIN, 0},
      {INT_MIN, 31, -1, 0, 1},
      {0x40000000, 1, 0x20000000, INT_MIN, 0x20000000},
      {1, 32, 0, 0, 0},
      {-1, 32, -1, 0, 0},
      {-1, 40, -1, 0, 0},
      {5, -1, 5, 5, 5},  // a negative count shifts by 0
      {-5, INT_MIN, -5, -5, -5},
      {-5, INT_MAX, -1, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.data) + " by " + std::to_string(r.bits));
    EXPECT_EQ(int_of(call_routine(boot::shift_right, {number(r.data), number(r.bits)})), r.right);
    EXPECT_EQ(int_of(call_routine(boot::shift_left, {number(r.data), number(r.bits)})), r.left);
    EXPECT_EQ(int_of(call_routine(boot::shift_logical, {number(r.data), number(r.bits)})), r.logical);
  }
}

TEST_F(routines, set_slot_quiet_stores_at_the_index_of_any_block_kind) {
  struct row { uint32_t type; int32_t index; std::vector<int32_t> after; };
  const row rows[] = {
      {TYPE_BLOCK, 0, {9, 2, 3}},
      {TYPE_BLOCK, 2, {1, 2, 9}},
      {TYPE_BLOCK, 3, {1, 2, 3}},  // at the tail: nothing changes
      {TYPE_PAREN, 1, {1, 9, 3}},
      {TYPE_PATH, 1, {1, 9, 3}},
      {TYPE_LIT_PATH, 1, {1, 9, 3}},
      {TYPE_SET_PATH, 1, {1, 9, 3}},
      {TYPE_GET_PATH, 1, {1, 9, 3}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " at " + std::to_string(r.index));
    cell series = ints_as({1, 2, 3}, r.type);
    series.data1 = static_cast<uint32_t>(r.index);
    cell answer = call_routine(boot::set_slot_quiet, {series, number(9)});
    EXPECT_EQ(TYPE_OF(&answer), r.type);
    EXPECT_EQ(all_ints(series), r.after);
  }
}

TEST_F(routines, set_slot_quiet_refuses_what_is_not_a_block_kind) {
  cell hash = test::hash_of({number(1), number(2)});  // its key index would go stale
  for (const cell& bad : {number(1), hash, binary_at("ab", 0)}) {
    EXPECT_TRUE(test::is(test::raised([&] { call_routine(boot::set_slot_quiet, {bad, number(9)}); }),
                         err::script_expect_arg));
    EXPECT_EQ(last_raised.args[1].data1, TYPE_OF(&bad));  // names the type given
  }
}

TEST_F(routines, set_slot_quiet_tells_no_owner) {
  static int calls = 0;
  calls = 0;
  object::handler_caller saved = object::call_handler;
  object::call_handler = [](const cell*, const cell*, const cell*, int32_t, int32_t) { ++calls; };

  // An object with an on-deep-change* handler owning a block in its field.
  cell* obj = stack::push_slot();
  object::make_empty_at(obj, 2);
  int32_t deep = symbol::make("on-deep-change*"), field = symbol::make("items");
  cell* handler = stack::push(cell{TYPE_FUNCTION, 0, 0, 0});
  handler->data1 = context::make(1, false, false, 0, context::KIND_FUNCTION);
  cell* empty = stack::push_slot();
  block::make_at(empty, 1);
  handler->data2 = handler->data3 = empty->data2;
  cell items = ints_as({1, 2, 3}, TYPE_BLOCK);
  context::add_value(obj->data1, field, items);
  context::add_value(obj->data1, deep, *handler);
  object::attach_events(obj->data1, obj);
  ASSERT_TRUE(object::has_deep_handler_q(obj));
  cell owner = test::keep(*obj);
  cell* w = stack::push_slot();
  word::make_at(field, w);
  ownership::bind(&items, &owner, w);

  items.data1 = 1;
  call_routine(boot::set_slot_quiet, {items, number(9)});
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(all_ints(items), (std::vector<int32_t>{1, 9, 3}));

  cell at = number(1), value = number(7);  // the ordinary store tells the owner
  actions::poke(&items, &at, &value);
  EXPECT_GT(calls, 0);
  object::call_handler = saved;
}

TEST_F(routines, count_chars_counts_between_positions_clamped_to_the_buffer) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀: 10 bytes
  struct row { std::string bytes; int32_t start, pos, count; };
  const row rows[] = {
      {text, 0, 10, 4},
      {text, 0, 0, 0},
      {text, 1, 6, 2},
      {text, 3, 10, 2},
      {text, 6, 1, 0},     // pos before start
      {text, 0, 500, 4},   // pos past the tail
      {text, 500, 600, 0}, // start past the tail
      {"a\xFF" "b\xC3", 0, 4, 4},  // each invalid sequence counts as one
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.start) + " to " + std::to_string(r.pos));
    cell start = binary_at(r.bytes, r.start);
    cell pos = start;
    pos.data1 = static_cast<uint32_t>(r.pos);
    EXPECT_EQ(int_of(call_routine(boot::count_chars, {start, pos})), r.count);
  }
  // Only the position of `pos` counts, whatever buffer it is in.
  cell other = binary_at("xyz", 1);
  EXPECT_EQ(int_of(call_routine(boot::count_chars, {binary_at(text, 0), other})), 1);
}

TEST_F(routines, stack_routines_read_the_prepared_stack) {
  stack::push(number(11));
  stack::push(number(22));
  // call_routine opens a frame at the top: the base is here.
  int32_t base = static_cast<int32_t>(stack::top - stack::bottom);
  EXPECT_EQ(int_of(call_routine(boot::stack_size_q, {})), base);
  EXPECT_EQ(int_of(call_routine(boot::frame_index_q, {})), base);

  // Cell n from the bottom is 1-based; the routine's own argument, cell
  // base + 1 and the last one, is out of reach, as are 0 and below.
  EXPECT_EQ(int_of(call_routine(boot::pick_stack, {number(base - 1)})), 11);
  EXPECT_EQ(int_of(call_routine(boot::pick_stack, {number(base)})), 22);
  for (int32_t idx : {base + 1, base + 2, 0, -1, INT_MIN, INT_MAX})
    EXPECT_EQ(type_of(call_routine(boot::pick_stack, {number(idx)})), TYPE_NONE) << idx;
  stack::pop(2);
}

TEST_F(routines, collect_calls_lists_named_frames_innermost_first) {
  cell* outer_arguments = stack::arguments;
  stack::call_frame* frame_top = stack::frame_top;
  int32_t outer_base = static_cast<int32_t>(stack::arguments - stack::bottom);
  cell name = test::keep(*context::find_or_add_global(symbol::make("outer-call"), false, true));
  stack::mark(&name, stack::FRAME_FUNCTION);
  stack::mark(words::word_body, stack::FRAME_BODY);  // the runtime's own: not listed
  int32_t body_base = static_cast<int32_t>(stack::arguments - stack::bottom);

  cell blk = ints_as({}, TYPE_BLOCK);
  call_routine(boot::collect_calls, {blk});
  ASSERT_EQ(block::rs_length_q(&blk), 4);
  cell listed[4];
  for (int32_t i = 0; i < 4; ++i) listed[i] = *block::rs_abs_at(&blk, i);
  EXPECT_EQ(spelling(listed[0]), "routine-call");
  EXPECT_EQ(int_of(listed[1]), body_base);
  EXPECT_EQ(spelling(listed[2]), "outer-call");
  EXPECT_EQ(type_of(listed[2]), TYPE_WORD);
  EXPECT_EQ(listed[2].data1, context::global_ctx);
  EXPECT_EQ(int_of(listed[3]), outer_base);

  stack::frame_top = frame_top;
  stack::arguments = outer_arguments;
}

TEST_F(routines, flags_of_tracing_and_the_last_print) {
  EXPECT_FALSE(logic_of(call_routine(boot::tracing_q, {})));
  EXPECT_FALSE(logic_of(call_routine(boot::last_lf_q, {})));
  interpreter::tracing_on = true;
  natives::last_newline = true;
  EXPECT_TRUE(logic_of(call_routine(boot::tracing_q, {})));
  EXPECT_TRUE(logic_of(call_routine(boot::last_lf_q, {})));
  interpreter::tracing_on = false;
  natives::last_newline = false;
}

TEST_F(routines, collector_state_counts_cycles) {
  EXPECT_TRUE(logic_of(call_routine(boot::active_q, {})));
  int32_t before = int_of(call_routine(boot::series_cycles, {}));
  collector::do_cycle();
  EXPECT_EQ(int_of(call_routine(boot::series_cycles, {})), before + 1);
  EXPECT_GE(int_of(call_routine(boot::nodes_cycles, {})), 0);
}

// The boot source binds each routine by the name its entry is registered
// under: `name: routine spec body`, 26 of them, each name once.
TEST_F(routines, every_routine_of_the_boot_source_is_registered) {
  std::string path = IXO_SOURCE_DIR "/boot/routines.ixo";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::stringstream text;
  text << in.rdbuf();
  cell source = test::load_source(text.str());

  std::set<std::string> names;
  int32_t length = block::rs_length_q(&source);
  ASSERT_EQ(length % 4, 0);
  for (int32_t i = 0; i < length; i += 4) {
    cell c[4];
    for (int32_t k = 0; k < 4; ++k) c[k] = *block::rs_abs_at(&source, i + k);
    ASSERT_EQ(type_of(c[0]), TYPE_SET_WORD) << i;
    std::string name = spelling(c[0]);
    EXPECT_EQ(spelling(c[1]), "routine") << name;
    EXPECT_EQ(type_of(c[2]), TYPE_BLOCK) << name;
    EXPECT_EQ(type_of(c[3]), TYPE_BLOCK) << name;
    EXPECT_NE(routine::find_entry(name.c_str()), 0) << name;
    EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_EQ(names.size(), 26u);
}

}  // namespace
}  // namespace ixo
