#include <gtest/gtest.h>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "support/raised.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::word_of;

constexpr cell UNSET{TYPE_UNSET, 0, 0, 0};
cell integer(int32_t n) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

class contexts : public ::testing::Test {
 protected:
  void SetUp() override { test::start_words(); }

  static int32_t values_length(uint32_t ctx) { return test::cell_count(context::context_cell(ctx)->data2); }

  static int32_t slot_of(uint32_t ctx, const char* spelling, bool canonical = true) {
    return context::find_word(ctx, symbol::make(spelling), canonical);
  }

  // Points a stack context at `count` argument cells pushed now.
  static cell* run(uint32_t ctx, std::initializer_list<cell> arguments) {
    cell* base = stack::top;
    for (const cell& a : arguments) stack::push(a);
    context::context_cell(ctx)->data2 = memory::offset_of(base);
    return base;
  }
};

TEST_F(contexts, are_made_with_their_kind_flags_and_room) {
  uint32_t object = test::kept_context(context::make(0, false, true, 0, context::KIND_OBJECT));
  const cell* c = context::context_cell(object);
  EXPECT_EQ(TYPE_OF(c), TYPE_CONTEXT);
  EXPECT_EQ(context::kind_of(c), context::KIND_OBJECT);
  EXPECT_TRUE(c->header & context::FLAG_SELF);
  EXPECT_FALSE(context::stack_q(c));
  EXPECT_EQ(TYPE_OF(context::owner_cell(object)), TYPE_UNSET);
  EXPECT_EQ(values_length(object), 0);  // empty, with room for one pre-typed cell
  EXPECT_EQ(TYPE_OF(memory::head_of<cell>(memory::buffer_of(c->data2))), TYPE_UNSET);

  uint32_t function = test::kept_context(context::make(3, true, false, 0, context::KIND_FUNCTION));
  c = context::context_cell(function);
  EXPECT_EQ(context::kind_of(c), context::KIND_FUNCTION);
  EXPECT_TRUE(context::stack_q(c));
  EXPECT_EQ(c->data2, 0u);
}

TEST_F(contexts, specs_give_one_slot_per_distinct_word) {
  cell spec = test::block_of({word_of(TYPE_WORD, "a"), word_of(TYPE_WORD, "b"), word_of(TYPE_REFINEMENT, "c"),
                              word_of(TYPE_LIT_WORD, "A"), word_of(TYPE_GET_WORD, "d"),
                              word_of(TYPE_SET_WORD, "e"), integer(1), word_of(TYPE_ISSUE, "f")});
  for (bool stack : {false, true}) {
    uint32_t ctx = test::kept_context(context::make_from_spec(&spec, stack, false, stack ? context::KIND_FUNCTION : context::KIND_OBJECT));
    EXPECT_EQ(context::word_count(ctx), 4);
    const char* names[] = {"a", "b", "c", "d"};
    for (int32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(slot_of(ctx, names[i]), i);
      const cell* w = context::word_at(context::context_cell(ctx), i);
      EXPECT_EQ(TYPE_OF(w), TYPE_WORD);
      EXPECT_EQ(w->data1, ctx);
    }
    EXPECT_EQ(slot_of(ctx, "e"), -1);
    if (!stack) {
      EXPECT_EQ(values_length(ctx), 4);
    }
  }
  // Words before the spec's index count too, and every word has a value.
  spec.data1 = 6;
  uint32_t ctx = test::kept_context(context::make_from_spec(&spec, false, false, context::KIND_OBJECT));
  EXPECT_EQ(values_length(ctx), context::word_count(ctx));
}

TEST_F(contexts, a_context_made_with_a_collection_at_every_allocation_keeps_its_word_list) {
  memory::collect_every_allocation = true;
  uint32_t ctx = test::kept_context(context::make(2, false, false, 0, context::KIND_OBJECT));
  for (const char* spelling : {"foo", "bar", "baz"}) context::add_word(ctx, symbol::make(spelling));
  EXPECT_EQ(slot_of(ctx, "foo"), 0);
  EXPECT_EQ(slot_of(ctx, "baz"), 2);
  EXPECT_EQ(context::word_count(ctx), 3);
}

TEST_F(contexts, words_and_values_are_added_once_in_any_case) {
  uint32_t ctx = test::kept_context(context::make(2, false, false, 0, context::KIND_OBJECT));
  int32_t foo = symbol::make("foo"), Foo = symbol::make("Foo"), bar = symbol::make("bar");
  EXPECT_EQ(context::add_word(ctx, foo), 0);
  EXPECT_EQ(context::add_word(ctx, Foo), 0);
  EXPECT_EQ(context::find_word(ctx, Foo, true), 0);
  EXPECT_EQ(context::find_word(ctx, Foo, false), -1);
  EXPECT_EQ(values_length(ctx), 1);

  cell* added = context::add_value(ctx, bar, integer(7));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->data2, 7u);
  EXPECT_EQ(context::add_value(ctx, symbol::make("BAR"), integer(8)), nullptr);
  EXPECT_EQ(context::get_in(bar, ctx)->data2, 7u);
  EXPECT_EQ(context::put_value(ctx, symbol::make("BAR"), integer(9))->data2, 9u);
  EXPECT_EQ(context::put_value(ctx, symbol::make("baz"), integer(3))->data2, 3u);
  EXPECT_EQ(values_length(ctx), 3);

  int32_t index;
  EXPECT_EQ(context::find_word_at(ctx, symbol::make("qux"), true, &index), -1);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(values_length(ctx), 3);  // a word alone
  EXPECT_EQ(context::find_word_at(ctx, symbol::make("QUX"), true, &index), 3);
}

TEST_F(contexts, duplicates_carry_the_words_rebound_and_fresh_values) {
  uint32_t source = test::kept_context(context::make(2, false, true, 0, context::KIND_OBJECT));
  context::add_value(source, symbol::make("x"), integer(1));
  context::add_value(source, symbol::make("y"), integer(2));
  cell holder{TYPE_OBJECT, source, 0, 0};
  uint32_t copy = test::kept_context(context::duplicate(&holder, context::KIND_OBJECT));
  EXPECT_EQ(holder.data1, copy);
  EXPECT_NE(copy, source);
  EXPECT_EQ(context::word_count(copy), 2);
  EXPECT_EQ(context::word_at(context::context_cell(copy), 1)->data1, copy);
  EXPECT_EQ(context::word_at(context::context_cell(source), 1)->data1, source);
  EXPECT_TRUE(context::context_cell(copy)->header & context::FLAG_SELF);
  EXPECT_EQ(values_length(copy), 0);
  EXPECT_EQ(slot_of(copy, "Y"), 1);
  context::add_word(copy, symbol::make("z"));
  EXPECT_EQ(slot_of(source, "z"), -1);
}

TEST_F(contexts, case_variants_share_the_global_slot) {
  boot_flag = 0;  // words are the global context's own cells
  cell foo = *word::load("glorb");
  cell* variant = word::load("Glorb");
  EXPECT_EQ(variant->data3, foo.data3);
  EXPECT_EQ(variant->data2, static_cast<uint32_t>(symbol::make("Glorb")));
  word::set(variant, integer(5));
  EXPECT_EQ(word::get_value(&foo)->data2, 5u);

  // Added by exact spelling, any order of spellings still shares one slot.
  int32_t upper = static_cast<int32_t>(context::add_global(symbol::make("ZIMP"))->data3);
  int32_t lower = static_cast<int32_t>(context::add_global(symbol::make("zimp"))->data3);
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(context::word_count(context::global_ctx), values_length(context::global_ctx));
  context::set_global(symbol::make("Zimp"), integer(4));
  EXPECT_EQ(context::get_global(symbol::make("zimp"))->data2, 4u);

  // While the boot flag is set, add_global answers a copy in the root block.
  boot_flag = 1;
  int32_t root_length = test::cell_count(root::root_node);
  cell* kept = context::add_global(symbol::make("zimp"));
  EXPECT_EQ(test::cell_count(root::root_node), root_length + 1);
  EXPECT_EQ(kept->data3, static_cast<uint32_t>(lower));
}

TEST_F(contexts, getting_a_word_raises_where_it_has_no_value) {
  uint32_t object = test::kept_context(context::make(1, false, true, 0, context::KIND_OBJECT));
  *context::owner_cell(object) = cell{TYPE_OBJECT, object, 0, 0};
  cell spec = test::block_of({word_of(TYPE_WORD, "arg")});
  uint32_t function = test::kept_context(context::make_from_spec(&spec, true, false, context::KIND_FUNCTION));
  context::add_word(object, symbol::make("field"));

  cell self = word_of(TYPE_WORD, "self", object);
  EXPECT_EQ(context::get(&self, object), context::owner_cell(object));
  cell field = word_of(TYPE_WORD, "field", object, 0);
  EXPECT_EQ(TYPE_OF(context::get(&field, object)), TYPE_UNSET);  // unset is a value here

  struct row { cell word; uint32_t ctx; error_id error; };
  const row rows[] = {
      {word_of(TYPE_WORD, "field", object), object, err::script_no_value},
      {word_of(TYPE_WORD, "Self", object), object, err::script_no_value},
      {word_of(TYPE_WORD, "arg", function, 0), function, err::script_not_in_context},
      {word_of(TYPE_REFINEMENT, "local"), 0, err::script_not_defined},
  };
  for (const row& r : rows) {
    EXPECT_TRUE(test::is(test::raised([&] { context::get(&r.word, r.ctx); }), r.error));
    EXPECT_EQ(last_raised.args[0].data2, r.word.data2);
  }
}

TEST_F(contexts, setting_a_word_resolves_it_or_raises_and_changes_nothing) {
  uint32_t object = test::kept_context(context::make(1, false, true, 0, context::KIND_OBJECT));
  cell fresh = word_of(TYPE_WORD, "fresh", object);
  context::set_in(&fresh, integer(1), object, true);
  EXPECT_EQ(static_cast<int32_t>(fresh.data3), 0);
  EXPECT_EQ(context::get(&fresh, object)->data2, 1u);
  EXPECT_TRUE(context::word_at(context::context_cell(object), 0)->header & context::WORD_CHANGED);

  cell spec = test::block_of({word_of(TYPE_WORD, "arg")});
  uint32_t function = test::kept_context(context::make_from_spec(&spec, true, false, context::KIND_FUNCTION));
  cell arg = word_of(TYPE_WORD, "ARG", function);
  cell stranger = word_of(TYPE_WORD, "stranger", function);
  // Outside a call, and for a word the function lacks: nothing is added.
  for (cell* w : {&arg, &stranger}) {
    EXPECT_TRUE(test::is(test::raised([&] { context::set_in(w, integer(2), function, true); }),
                         err::script_not_defined));
  }
  cell* base = run(function, {integer(0)});
  EXPECT_TRUE(test::is(test::raised([&] { context::set_in(&stranger, integer(2), function, true); }),
                       err::script_not_defined));
  EXPECT_EQ(context::word_count(function), 1);
  EXPECT_EQ(static_cast<int32_t>(stranger.data3), -1);
  EXPECT_EQ(context::set_in(&arg, integer(3), function, true), base);
  EXPECT_EQ(base->data2, 3u);
  EXPECT_EQ(arg.data3, 0u);
  context::set_integer(&arg, 12);
  EXPECT_EQ(context::get(&arg, function)->data2, 12u);
  stack::reset();
}

TEST_F(contexts, binding_is_deep_and_meets_each_block_once_per_visit) {
  uint32_t ctx = test::kept_context(context::make(2, false, false, 0, context::KIND_OBJECT));
  context::add_word(ctx, symbol::make("a"));
  context::add_word(ctx, symbol::make("b"));
  cell inner = test::block_of({word_of(TYPE_GET_WORD, "B"), word_of(TYPE_WORD, "c")}, TYPE_PAREN);
  cell path = test::block_of({word_of(TYPE_WORD, "a"), word_of(TYPE_REFINEMENT, "b")}, TYPE_PATH);
  cell outer = test::block_of({word_of(TYPE_WORD, "a"), inner, path, word_of(TYPE_ISSUE, "a", 0, 5)});
  // The paren holds the outer block, which holds the paren.
  *series::alloc_tail_cell(memory::GET_BUFFER(&inner)) = outer;
  context::bind(&outer, ctx, false);
  EXPECT_EQ(cycles::depth(), 0);
  struct row { const cell* w; uint32_t ctx; int32_t index; };
  const row rows[] = {
      {&test::cells_in(outer)[0], ctx, 0},  {&test::cells_in(inner)[0], ctx, 1},
      {&test::cells_in(inner)[1], 0, -1},   {&test::cells_in(path)[0], ctx, 0},
      {&test::cells_in(path)[1], ctx, 1},   {&test::cells_in(outer)[3], 0, 5},  // issues keep theirs
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.w->data1, r.ctx);
    EXPECT_EQ(static_cast<int32_t>(r.w->data3), r.index);
  }
  EXPECT_EQ(TYPE_OF(&test::cells_in(inner)[0]), TYPE_GET_WORD);
}

TEST_F(contexts, with_self_only_the_plain_word_self_reads_the_owner) {
  uint32_t ctx = test::kept_context(context::make(1, false, true, 0, context::KIND_OBJECT));
  context::add_word(ctx, symbol::make("self"));  // a field named self
  struct row { cell word; int32_t index; };
  const row rows[] = {
      {word_of(TYPE_WORD, "self"), -1},     {word_of(TYPE_WORD, "Self"), 0},
      {word_of(TYPE_SET_WORD, "self"), 0},  {word_of(TYPE_GET_WORD, "self"), 0},
      {word_of(TYPE_LIT_WORD, "self"), 0},
  };
  for (const row& r : rows) {
    cell block = test::block_of({r.word});
    context::bind(&block, ctx, true);
    EXPECT_EQ(test::cells_in(block)->data1, ctx);
    EXPECT_EQ(static_cast<int32_t>(test::cells_in(block)->data3), r.index) << TYPE_OF(&r.word);
  }
}

TEST_F(contexts, set_words_are_collected_from_the_index) {
  uint32_t ctx = test::kept_context(context::make(1, false, true, 0, context::KIND_OBJECT));
  context::add_word(ctx, symbol::make("kept"));
  cell block = test::block_of({word_of(TYPE_SET_WORD, "skipped"), word_of(TYPE_SET_WORD, "Kept"),
                               word_of(TYPE_WORD, "plain"), word_of(TYPE_SET_WORD, "new")});
  block.data1 = 1;
  EXPECT_TRUE(context::collect_set_words(ctx, &block));
  EXPECT_EQ(context::word_count(ctx), 2);
  EXPECT_EQ(slot_of(ctx, "new"), 1);
  EXPECT_EQ(slot_of(ctx, "skipped"), -1);
  EXPECT_FALSE(context::collect_set_words(ctx, &block));
  block.data1 = 9;
  EXPECT_FALSE(context::collect_set_words(ctx, &block));
  EXPECT_EQ(block.data1, 4u);  // clamped to the length
}

TEST_F(contexts, hold_no_address_across_an_allocation) {
  uint32_t ctx = 0;
  cell spec = test::block_of({word_of(TYPE_WORD, "p"), word_of(TYPE_REFINEMENT, "q")});
  cell body = test::block_of({word_of(TYPE_SET_WORD, "r"), word_of(TYPE_SET_WORD, "s")});
  cell late = word_of(TYPE_WORD, "t");
  memory::root_guard keep_ctx(&ctx), keep_spec(&spec), keep_body(&body);
  test::while_moving_everything([&] {
    ctx = context::make_from_spec(&spec, false, true, context::KIND_OBJECT);
    context::collect_set_words(ctx, &body);
    context::add_value(ctx, symbol::make("u"), integer(21));
    context::put_value(ctx, symbol::make("P"), integer(20));
    late.data1 = ctx;
    context::set_in(&late, integer(22), ctx, true);
    for (int32_t i = 0; i < 30; ++i) context::set_global(symbol::make(("g" + std::to_string(i)).c_str()), integer(i));
  });
  EXPECT_GT(test::everything_moves, 30);
  const char* names[] = {"p", "q", "r", "s", "u", "t"};
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(slot_of(ctx, names[i]), i);
  EXPECT_EQ(context::get_in(symbol::make("p"), ctx)->data2, 20u);
  EXPECT_EQ(context::get_in(symbol::make("u"), ctx)->data2, 21u);
  EXPECT_EQ(context::get(&late, ctx)->data2, 22u);
  EXPECT_EQ(TYPE_OF(context::get_in(symbol::make("s"), ctx)), TYPE_UNSET);
  for (int32_t i = 0; i < 30; ++i)
    EXPECT_EQ(context::get_global(symbol::make(("G" + std::to_string(i)).c_str()))->data2, static_cast<uint32_t>(i));
}

}  // namespace
}  // namespace ixo
