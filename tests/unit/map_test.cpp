// map!: making from blocks and sizes, key rules (duplicates, case, none
// values, removal, copied string keys), mold with cycles, comparison by
// contents and ordering by storage, and the errors that change nothing.
#include <gtest/gtest.h>

#include "runtime/datatypes/map.hpp"
#include "support/blocks.hpp"
#include "support/words.hpp"

namespace ixo::test {
namespace {

struct map_actions : block_suite {
  void SetUp() override {
    block_suite::SetUp();
    rows.push_back({TYPE_MAP, {datatype::action_table + TYPE_MAP * ACTION_STRIDE,
                               datatype::action_table + (TYPE_MAP + 1) * ACTION_STRIDE},
                    datatype::type_name_table[TYPE_MAP]});
    map::init();
    fresh_arguments();
  }
  static cell w(const char* s) { return word_of(TYPE_WORD, s); }
  static cell i(int32_t v) { return integer_value(v); }
  // make map! of a block of the cells, on the stack.
  static cell* make_map(const std::vector<cell>& cells) {
    cell* spec = arg(block_of(cells));
    auto make = reinterpret_cast<make_fn>(actions::get_action(TYPE_MAP, ACT_MAKE));
    return arg(*make(nullptr, spec, TYPE_MAP));
  }
  template <class F>
  static F act(int32_t index) {
    return reinterpret_cast<F>(actions::get_action(TYPE_MAP, index));
  }
  static cell* select(cell* m, const cell& key, int32_t case_ = 0) {
    cell* k = arg(key);
    return act<select_fn>(ACT_SELECT)(m, k, nullptr, 0, case_, 0, 0, nullptr, nullptr, 0, 0);
  }
  static int32_t length(cell* m) { return act<length_q_fn>(ACT_LENGTH_Q)(m); }
};

TEST_F(map_actions, make_keeps_the_first_position_and_last_value_of_case_equal_keys) {
  cell* m = make_map({w("a"), i(1), w("b"), i(2), w("a"), i(3)});
  EXPECT_EQ(mold_text(*m), "#[\n    a: 3\n    b: 2\n]");
  EXPECT_EQ(length(m), 2);
  // Keys differing in case are two keys; a read without case finds the first.
  cell* m2 = make_map({w("a"), i(1), w("A"), i(2)});
  EXPECT_EQ(length(m2), 2);
  EXPECT_EQ(static_cast<int32_t>(select(m2, w("A"))->data2), 1);
  EXPECT_EQ(static_cast<int32_t>(select(m2, w("A"), 1)->data2), 2);
}

TEST_F(map_actions, a_key_set_to_none_still_counts_until_removed_and_comes_back_in_place) {
  cell* m = make_map({w("a"), i(1), w("b"), i(2)});
  cell* key = arg(w("a"));
  act<put_fn>(ACT_PUT)(m, key, arg(none::none_value), 0);
  EXPECT_EQ(length(m), 2);
  EXPECT_EQ(TYPE_OF(select(m, w("a"))), TYPE_NONE);
  act<remove_fn>(ACT_REMOVE)(m, nullptr, arg(w("a")));
  EXPECT_EQ(length(m), 1);
  EXPECT_EQ(mold_text(*m), "#[\n    b: 2\n]");
  // Set again, the removed pair is revived at its old place.
  act<put_fn>(ACT_PUT)(m, arg(w("a")), arg(i(7)), 0);
  EXPECT_EQ(length(m), 2);
  EXPECT_EQ(mold_text(*m), "#[\n    a: 7\n    b: 2\n]");
  // find answers a word key as a word!.
  cell* found = act<find_fn>(ACT_FIND)(m, arg(w("a")), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
  EXPECT_EQ(TYPE_OF(found), TYPE_WORD);
}

TEST_F(map_actions, a_string_key_is_a_copy) {
  cell* s = arg(text_value("key"));
  cell* m = make_map({*s, i(1)});
  string::poke_char(memory::GET_BUFFER(s), memory::head_of(memory::GET_BUFFER(s)), 'X');
  EXPECT_EQ(mold_text(*m), "#[\n    \"key\" 1\n]");
  EXPECT_EQ(static_cast<int32_t>(select(m, text_value("KEY"))->data2), 1);
}

TEST_F(map_actions, mold_writes_empty_flat_and_self_containing_maps) {
  cell* empty = make_map({});
  EXPECT_EQ(mold_text(*empty), "#[]");
  cell* m = make_map({w("a"), i(1)});
  act<put_fn>(ACT_PUT)(m, arg(w("me")), m, 0);
  EXPECT_EQ(mold_text(*m), "#[\n    a: 1\n    me: #[...]\n]");
  cell* buffer = arg(cell{});
  string::rs_make_at(buffer, 16);
  act<mold_fn>(ACT_MOLD)(m, buffer, 0, 0, 1, nullptr, INT32_MAX, 0);
  EXPECT_EQ(text_of(buffer), "#[a: 1 me: #[...]]");
}

TEST_F(map_actions, compare_matches_contents_and_orders_by_storage_node) {
  cell* a = make_map({w("x"), i(1), w("y"), i(2)});
  cell* b = make_map({w("y"), i(2), w("X"), i(1)});
  auto compare = act<compare_fn>(ACT_COMPARE);
  EXPECT_EQ(compare(a, b, COMP_EQUAL), 0);
  EXPECT_NE(compare(a, b, COMP_STRICT_EQUAL), 0);  // x and X differ by case
  EXPECT_EQ(compare(a, b, COMP_SAME), -1);
  int32_t order = compare(a, b, COMP_SORT);
  EXPECT_EQ(order, a->data2 < b->data2 ? -1 : 1);
  EXPECT_EQ(compare(b, a, COMP_SORT), -order);
  EXPECT_EQ(compare(a, b, COMP_LESSER), COMPARE_NONE);
}

TEST_F(map_actions, reflect_answers_live_words_values_and_body) {
  cell* m = make_map({w("a"), i(1), w("b"), i(2)});
  act<remove_fn>(ACT_REMOVE)(m, nullptr, arg(w("a")));
  using reflect = cell* (*)(cell*, cell*);
  auto f = act<reflect>(ACT_REFLECT);
  EXPECT_EQ(mold_text(*f(m, arg(w("words")))), "[b]");
  EXPECT_EQ(mold_text(*f(m, arg(w("values")))), "[2]");
  EXPECT_EQ(mold_text(*f(m, arg(w("body")))), "[\n    b: 2\n]");
}

TEST_F(map_actions, bad_specs_raise_and_change_nothing) {
  auto make = act<make_fn>(ACT_MAKE);
  auto to = act<make_fn>(ACT_TO);
  EXPECT_TRUE(is(raised([&] { make(nullptr, arg(i(-1)), TYPE_MAP); }), err::script_out_of_range));
  EXPECT_TRUE(is(raised([&] { to(nullptr, arg(i(5)), TYPE_MAP); }), err::script_bad_to_arg));
  EXPECT_TRUE(is(raised([&] { make_map({w("a"), i(1), w("b")}); }), err::script_invalid_arg));
  EXPECT_TRUE(is(raised([&] { make_map({block_of(std::vector<cell>{}), i(1)}); }), err::script_invalid_path));
  cell* m = make_map({w("a"), i(1)});
  EXPECT_TRUE(is(raised([&] { act<remove_fn>(ACT_REMOVE)(m, nullptr, nullptr); }), err::script_missing_arg));
  EXPECT_EQ(length(make(nullptr, arg(i(0)), TYPE_MAP)), 0);
  EXPECT_EQ(length(m), 1);
}

TEST_F(map_actions, copy_is_independent_of_the_original) {
  cell* m = make_map({w("a"), i(1)});
  cell* c = arg(*m);
  act<copy_fn>(ACT_COPY)(m, c, nullptr, 0, nullptr);
  act<put_fn>(ACT_PUT)(c, arg(w("b")), arg(i(2)), 0);
  EXPECT_EQ(length(m), 1);
  EXPECT_EQ(length(c), 2);
  EXPECT_EQ(mold_text(*m), "#[\n    a: 1\n]");
}

}  // namespace
}  // namespace ixo::test
