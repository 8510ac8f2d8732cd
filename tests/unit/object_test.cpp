// object!: class ids, set and construct, change handlers through the
// interpreter's hook (observed by a stand-in), ownership of series by an
// object with on-deep-change*, mold, and the externals table.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/core/externals.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/unset.hpp"
#include "support/blocks.hpp"
#include "support/words.hpp"

namespace ixo::test {
namespace {

struct handler_call {
  std::string name;
  std::vector<std::string> args;
};
std::vector<handler_call> calls;

void record_call(const cell* handler, const cell* name, const cell* args, int32_t count, int32_t) {
  handler_call c{mold_text(*name), {}};
  (void)handler;
  for (int32_t i = 0; i < count; ++i) {
    cell v = args[i];
    memory::root_guard keep(&v);
    c.args.push_back(TYPE_OF(&v) == TYPE_OBJECT ? "obj" : mold_text(v));
  }
  calls.push_back(c);
}

struct objects : block_suite {
  void SetUp() override {
    block_suite::SetUp();
    for (uint32_t t : {TYPE_OBJECT})
      rows.push_back({t, {datatype::action_table + t * ACTION_STRIDE, datatype::action_table + (t + 1) * ACTION_STRIDE},
                      datatype::type_name_table[t]});
    object::init();
    ownership::init();
    externals::init();
    object::call_handler = record_call;
    calls.clear();
    fresh_arguments();
  }
  void TearDown() override {
    object::call_handler = nullptr;
    collector::ownership_table = 0;
    block_suite::TearDown();
  }
  static cell w(const char* s, uint32_t type = TYPE_WORD) { return word_of(type, s); }
  static cell i(int32_t v) { return integer_value(v); }
  // An object made by construct from the cells.
  static cell* build(const std::vector<cell>& spec, cell* proto = nullptr, bool only = false) {
    cell* s = arg(block_of(spec));
    return object::construct(s, proto, only, arg(none::none_value));
  }
  // A function! value standing for a handler.
  static cell handler() {
    cell f{TYPE_FUNCTION, 0, 0, 0};
    memory::root_guard keep(&f);
    f.data1 = context::make(1, false, false, 0, context::KIND_FUNCTION);
    f.data2 = block_of(std::vector<cell>{}).data2;
    f.data3 = block_of(std::vector<cell>{}).data2;
    return f;
  }
  static std::string mold_with(const cell& v, int32_t all, int32_t flat) {
    cell* value = arg(v);
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 16);
    actions::mold(value, buffer, 0, all, flat, nullptr, INT32_MAX, 0);
    return text_of(buffer);
  }
};

TEST_F(objects, class_ids_are_kept_by_copies_and_by_makes_that_add_no_field) {
  object::class_counter = object::CLASS_BASE;
  cell* o = build({w("a", TYPE_SET_WORD), i(1)});
  EXPECT_EQ(o->data2, 1000001u);
  cell* c = arg(none::none_value);
  object::copy(o, c, nullptr, 0, nullptr);
  EXPECT_EQ(c->data2, 1000001u);
  cell* same = object::make_from_block(o, arg(block_of(std::vector<cell>{w("a", TYPE_SET_WORD), i(2)})), arg(none::none_value));
  EXPECT_EQ(same->data2, 1000001u);
  cell* grown = object::make_from_block(o, arg(block_of(std::vector<cell>{w("b", TYPE_SET_WORD), i(2)})), arg(none::none_value));
  EXPECT_EQ(grown->data2, 1000002u);
}

TEST_F(objects, construct_shares_values_across_set_word_runs_and_reads_logic_words) {
  cell spec[] = {w("a", TYPE_SET_WORD), w("b", TYPE_SET_WORD), i(1), w("c", TYPE_SET_WORD), w("on"),
                 w("d", TYPE_SET_WORD)};
  cell* o = build({spec[0], spec[1], spec[2], spec[3], spec[4], spec[5]});
  EXPECT_EQ(mold_with(*o, 0, 1), "make object! [a: 1 b: 1 c: true d: none]");
  cell* only = build({spec[0], spec[1], spec[2], spec[3], spec[4], spec[5]}, nullptr, true);
  EXPECT_EQ(mold_with(*only, 0, 1), "make object! [a: 1 b: 1 c: 'on d: none]");
}

TEST_F(objects, set_fills_fields_in_order_and_some_skips_none) {
  cell* o = build({w("a", TYPE_SET_WORD), i(1), w("b", TYPE_SET_WORD), i(2), w("c", TYPE_SET_WORD), i(3)});
  object::set_values(o, arg(ints({7, 8})), false, false, false);
  EXPECT_EQ(mold_with(*o, 0, 1), "make object! [a: 7 b: 8 c: none]");
  object::set_values(o, arg(block_of(std::vector<cell>{none::none_value, i(5), none::none_value})), false, false, true);
  EXPECT_EQ(mold_with(*o, 0, 1), "make object! [a: 7 b: 5 c: none]");
  cell* bad = arg(block_of(std::vector<cell>{i(1), unset::unset_value}));
  EXPECT_TRUE(is(raised([&] { object::set_values(o, bad, false, false, false); }), err::script_need_value));
}

TEST_F(objects, mold_indents_fields_flat_joins_them_and_handlers_show_only_with_all) {
  cell* o = build({w("a", TYPE_SET_WORD), i(1), w("b", TYPE_SET_WORD), i(2)});
  EXPECT_EQ(mold_with(*o, 0, 0), "make object! [\n    a: 1\n    b: 2\n]");
  EXPECT_EQ(mold_with(*o, 0, 1), "make object! [a: 1 b: 2]");
  EXPECT_EQ(mold_with(*build({}), 0, 0), "make object! []");
  cell* h = build({w("a", TYPE_SET_WORD), i(1), w("on-change*", TYPE_SET_WORD), none::none_value});
  EXPECT_EQ(mold_with(*h, 0, 1), "make object! [a: 1]");
  EXPECT_EQ(mold_with(*h, 1, 1), "make object! [a: 1 on-change*: #(none)]");
}

TEST_F(objects, on_change_hears_the_field_word_bound_to_the_object_with_old_and_new_values) {
  cell* o = build({w("x", TYPE_SET_WORD), i(1), w("on-change*", TYPE_SET_WORD), i(0)});
  *object::select_word(o, arg(w("on-change*"))) = handler();
  object::attach_events(o->data1, o);
  cell* field = arg(w("x"));
  object::eval_path(o, field, arg(i(5)), nullptr, nullptr, nullptr, 0, 0, 0, 1, 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "on-change*");
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"x", "1", "5"}));
  // A store through the context's setter reports the same way.
  cell* word = arg(w("x"));
  context::bind_word(o->data1, word);
  context::set_in(word, i(9), o->data1, true);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"x", "5", "9"}));
}

TEST_F(objects, a_handler_field_that_is_not_a_function_cannot_be_attached) {
  cell* o = build({w("on-change*", TYPE_SET_WORD), i(0)});
  EXPECT_TRUE(is(raised([&] { object::attach_events(o->data1, o); }), err::script_bad_field_set));
  EXPECT_EQ(o->data3, 0u);
}

TEST_F(objects, an_owner_hears_of_changes_to_its_series_but_not_to_copies) {
  cell* blk = arg(ints({1}, 4));
  cell* o = build({w("b", TYPE_SET_WORD), i(0), w("on-deep-change*", TYPE_SET_WORD), i(0)});
  *object::select_word(o, arg(w("b"))) = *blk;
  *object::select_word(o, arg(w("on-deep-change*"))) = handler();
  // The block holds itself: owning it must end.
  block::rs_append(blk, blk);
  object::attach_events(o->data1, o);
  EXPECT_TRUE(object::has_deep_handler_q(o));
  auto append = reinterpret_cast<insert_fn>(actions::get_action(TYPE_BLOCK, ACT_APPEND));
  append(blk, arg(i(2)), -1, 0, 1, 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "on-deep-change*");
  EXPECT_EQ(calls[0].args[3], "append");
  EXPECT_EQ(calls[1].args[3], "appended");
  EXPECT_EQ(calls[0].args[1], "b");
  cell* copied = arg(none::none_value);
  auto copy = reinterpret_cast<copy_fn>(actions::get_action(TYPE_BLOCK, ACT_COPY));
  copy(blk, copied, nullptr, 0, nullptr);
  append(copied, arg(i(3)), -1, 0, 1, 1);
  EXPECT_EQ(calls.size(), 2u);
  ownership::unbind(blk);
  append(blk, arg(i(4)), -1, 0, 1, 1);
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(ownership::get_owner(blk->data2), nullptr);
}

TEST_F(objects, every_modifying_series_action_tells_the_owner_before_and_after) {
  cell* blk = arg(ints({1, 2, 3, 4}, 8));
  cell* o = build({w("b", TYPE_SET_WORD), i(0), w("on-deep-change*", TYPE_SET_WORD), i(0)});
  *object::select_word(o, arg(w("b"))) = *blk;
  *object::select_word(o, arg(w("on-deep-change*"))) = handler();
  object::attach_events(o->data1, o);
  struct row { const char *before, *after; std::function<void()> act; };
  const row rows[] = {
      {"poke", "poked", [&] { reinterpret_cast<poke_fn>(actions::get_action(TYPE_BLOCK, ACT_POKE))(blk, 1, arg(i(9)), nullptr); }},
      {"reverse", "reversed", [&] { reinterpret_cast<reverse_fn>(actions::get_action(TYPE_BLOCK, ACT_REVERSE))(blk, nullptr, nullptr); }},
      {"random", "randomized", [&] { reinterpret_cast<random_fn>(actions::get_action(TYPE_BLOCK, ACT_RANDOM))(blk, 0, 0, 0); }},
      {"remove", "removed", [&] { reinterpret_cast<remove_fn>(actions::get_action(TYPE_BLOCK, ACT_REMOVE))(blk, nullptr, nullptr); }},
      {"change", "changed", [&] { reinterpret_cast<change_fn>(actions::get_action(TYPE_BLOCK, ACT_CHANGE))(blk, arg(i(7)), -1, 0, 1); }},
      {"put", "put-ed", [&] { reinterpret_cast<put_fn>(actions::get_action(TYPE_BLOCK, ACT_PUT))(blk, arg(i(7)), arg(i(8)), 0); }},
      {"swap", "swaped", [&] { reinterpret_cast<swap_fn>(actions::get_action(TYPE_BLOCK, ACT_SWAP))(blk, arg(ints({5}, 2))); }},
      {"sort", "sorted", [&] { reinterpret_cast<sort_fn>(actions::get_action(TYPE_BLOCK, ACT_SORT))(blk, 0, nullptr, nullptr, nullptr, 0, 0, 0); }},
      {"trim", "trimmed", [&] { reinterpret_cast<trim_fn>(actions::get_action(TYPE_BLOCK, ACT_TRIM))(blk, 0, 0, 0, 0, 0, nullptr); }},
      {"take", "taken", [&] { reinterpret_cast<take_fn>(actions::get_action(TYPE_BLOCK, ACT_TAKE))(arg(*blk), nullptr, 0, 0); }},
      {"move", "moved", [&] { reinterpret_cast<move_fn>(actions::get_action(TYPE_BLOCK, ACT_MOVE))(arg(ints({6}, 2)), blk, nullptr); }},
      {"clear", "cleared", [&] { reinterpret_cast<clear_fn>(actions::get_action(TYPE_BLOCK, ACT_CLEAR))(blk); }},
  };
  for (const row& r : rows) {
    calls.clear();
    r.act();
    ASSERT_EQ(calls.size(), 2u) << r.before;
    EXPECT_EQ(calls[0].args[3], r.before);
    EXPECT_EQ(calls[1].args[3], r.after);
  }
}

TEST_F(objects, the_externals_table_doubles_when_full_and_reuses_released_slots) {
  for (int32_t n = 1; n <= 100; ++n) EXPECT_EQ(externals::store(i(n)), n);
  EXPECT_EQ(externals::store(i(101)), 101);
  EXPECT_EQ(externals::capacity, 200);
  EXPECT_EQ(externals::get(50)->data2, 50u);
  externals::release(5);
  EXPECT_EQ(externals::store(i(55)), 5);
  EXPECT_EQ(externals::get(5)->data2, 55u);
}

}  // namespace
}  // namespace ixo::test
