#include "runtime/datatypes/bitset.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/words.hpp"
#include "support/strings.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::character;
using test::integer;

struct bitsets : ::testing::Test {
  cell minus, not_word;
  void SetUp() override {
    test::start_words();
    bitset::init();
    stack::reset();
    minus = test::word_of(TYPE_WORD, "-");
    not_word = test::word_of(TYPE_WORD, "not");
  }
  static cell* made(const cell& spec, int32_t mode = bitset::MODE_MAKE) {
    cell* s = stack::push(spec);
    cell* proto = stack::push_slot();
    return bitset::make_from(proto, s, mode);
  }
  static std::string molded(cell* v) {
    cell* buffer = stack::push_slot();
    string::rs_make_at(buffer, 16);
    actions::mold(v, buffer, 0, 0, 0, nullptr, INT32_MAX, 0);
    return test::text_of(buffer);
  }
  static bool member(cell* bits, const cell& key) {
    cell* k = stack::push(key);
    return reinterpret_cast<pick_fn>(actions::get_action(TYPE_BITSET, ACT_PICK))(bits, 0, k) == &logic::true_value;
  }
  static int32_t length(cell* bits) {
    return reinterpret_cast<length_q_fn>(actions::get_action(TYPE_BITSET, ACT_LENGTH_Q))(bits);
  }
  static std::string bytes_of(cell* bits) {
    std::string out;
    memory::series_buffer* b = memory::GET_BUFFER(bits);
    for (uint8_t* p = memory::head_of(b); p < memory::tail_of(b); ++p) out += string::byte_to_hex(*p);
    return out;
  }
};

TEST_F(bitsets, make_sizes_and_molds) {
  std::string abc = "make bitset! #{" + std::string(24, '0') + "70}";
  struct row {
    cell spec;
    int32_t bits;
    std::string mold;
  };
  const row rows[] = {
      {test::block_of({character('a'), character('b'), character('c')}), 104, abc},
      {integer(10), 16, "make bitset! #{0000}"},
      {integer(0), 0, "make bitset! #{}"},
      {integer(8), 8, "make bitset! #{00}"},
      {test::block_of({integer(0)}), 8, "make bitset! #{80}"},
      {test::block_of({}), 8, "make bitset! #{00}"},
      {test::block_of({integer(1), minus, integer(9)}), 16, "make bitset! #{7FC0}"},
      {test::block_of({test::block_of({integer(7)}), integer(8)}), 16, "make bitset! #{0180}"},
  };
  for (const row& r : rows) {
    cell* b = made(r.spec);
    EXPECT_EQ(length(b), r.bits);
    EXPECT_EQ(molded(b), r.mold);
  }
  cell* s = test::push_ascii("abc");
  EXPECT_EQ(molded(made(*s)), abc);
  EXPECT_EQ(length(made(cell{TYPE_CHAR, 0, 0x41, 0})), 72);
}

TEST_F(bitsets, ranges_need_matching_types_and_order) {
  cell* az = made(test::block_of({character('a'), minus, character('z')}));
  int32_t members = 0;
  for (uint32_t c = 0; c < 256; ++c) members += member(az, character(c));
  EXPECT_EQ(members, 26);
  struct row {
    cell spec;
    error_id error;
  };
  const row rows[] = {
      {test::block_of({character('a'), minus, integer(122)}), err::script_invalid_arg},
      {test::block_of({character('z'), minus, character('a')}), err::script_past_end},
      {test::block_of({character('a'), minus}), err::script_past_end},
      {test::block_of({integer(-1)}), err::script_out_of_range},
      {integer(-8), err::script_out_of_range},
      {test::block_of({test::word_of(TYPE_WORD, "x")}), err::script_bad_make_arg},
      {test::word_of(TYPE_WORD, "x"), err::script_bad_make_arg},
  };
  for (const row& r : rows) EXPECT_TRUE(test::is(test::raised([&] { made(r.spec); }), r.error));
  EXPECT_TRUE(test::is(test::raised([&] { made(integer(8), bitset::MODE_TO); }), err::script_bad_to_arg));
  EXPECT_TRUE(test::is(test::raised([&] { made(test::word_of(TYPE_WORD, "x"), bitset::MODE_TO); }),
                       err::script_bad_to_arg));
}

TEST_F(bitsets, complemented_holds_everything_beyond_its_bits) {
  cell* a = test::push_ascii("a");
  cell* nb = made(test::block_of({not_word, *a}));
  EXPECT_FALSE(member(nb, character('a')));
  for (uint32_t c : {0u, 'b'+0u, 'z'+0u, 0x4E2Du, 0x10FFFFu}) EXPECT_TRUE(member(nb, character(c))) << c;
  EXPECT_EQ(molded(nb), "make bitset! [not #{" + std::string(24, '0') + "40}]");
  // A test names every code point: one non-member fails it, even after a
  // code point past the stored bits.
  EXPECT_FALSE(member(nb, *test::push_ascii("~a")));
  EXPECT_TRUE(member(nb, *test::push_ascii("~b")));
}

TEST_F(bitsets, pick_find_poke_append_remove) {
  cell* b = made(*test::push_ascii("ac"));
  auto find = reinterpret_cast<find_fn>(actions::get_action(TYPE_BITSET, ACT_FIND));
  auto poke = reinterpret_cast<poke_fn>(actions::get_action(TYPE_BITSET, ACT_POKE));
  auto append = reinterpret_cast<insert_fn>(actions::get_action(TYPE_BITSET, ACT_APPEND));
  auto remove = reinterpret_cast<remove_fn>(actions::get_action(TYPE_BITSET, ACT_REMOVE));
  cell* missing = stack::push(character('b'));
  EXPECT_EQ(find(b, missing, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0), &none::none_value);
  EXPECT_FALSE(member(b, character('b')));
  EXPECT_EQ(TYPE_OF(find(b, stack::push(character('a')), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)),
            TYPE_LOGIC);

  for (const cell& off : {logic::false_value, none::none_value, integer(0), float_::make_cell(0.0)}) {
    poke(b, 0, stack::push(off), stack::push(character('a')));
    EXPECT_FALSE(member(b, character('a')));
    poke(b, 0, stack::push(integer(1)), stack::push(character('a')));
    EXPECT_TRUE(member(b, character('a')));
  }
  append(b, stack::push(integer(300)), -1, 0, 1, 1);
  EXPECT_TRUE(member(b, integer(300)));
  EXPECT_EQ(length(b), 304);
  remove(b, nullptr, stack::push(test::block_of({character('a'), integer(300)})));
  EXPECT_FALSE(member(b, character('a')));
  EXPECT_FALSE(member(b, integer(300)));
  EXPECT_TRUE(member(b, character('c')));
  EXPECT_TRUE(test::is(test::raised([&] { remove(b, nullptr, nullptr); }), err::script_missing_arg));
}

TEST_F(bitsets, remove_key_from_a_complemented_set_clears_its_bits) {
  cell* nb = made(test::block_of({not_word, character('a')}));
  auto remove = reinterpret_cast<remove_fn>(actions::get_action(TYPE_BITSET, ACT_REMOVE));
  remove(nb, nullptr, stack::push(test::block_of({character('b'), integer(5000)})));
  EXPECT_FALSE(member(nb, character('b')));
  EXPECT_FALSE(member(nb, integer(5000)));
  EXPECT_TRUE(member(nb, integer(5001)));
  EXPECT_TRUE(member(nb, character('c')));
}

TEST_F(bitsets, a_bad_spec_changes_nothing) {
  cell* b = made(*test::push_ascii("a"));
  std::string before = bytes_of(b);
  auto append = reinterpret_cast<insert_fn>(actions::get_action(TYPE_BITSET, ACT_APPEND));
  auto remove = reinterpret_cast<remove_fn>(actions::get_action(TYPE_BITSET, ACT_REMOVE));
  auto poke = reinterpret_cast<poke_fn>(actions::get_action(TYPE_BITSET, ACT_POKE));
  const cell bad[] = {
      test::block_of({integer(900), integer(-1)}),
      test::block_of({integer(900), character('z'), minus, character('a')}),
      test::block_of({integer(900), test::word_of(TYPE_WORD, "x")}),
      test::block_of({integer(900), character('a'), minus, integer(1)}),
  };
  for (const cell& spec : bad) {
    EXPECT_TRUE(test::raised([&] { append(b, stack::push(spec), -1, 0, 1, 1); }));
    EXPECT_TRUE(test::raised([&] { remove(b, nullptr, stack::push(spec)); }));
    EXPECT_TRUE(test::raised([&] { poke(b, 0, stack::push(integer(1)), stack::push(spec)); }));
    EXPECT_EQ(bytes_of(b), before);
  }
  EXPECT_TRUE(test::is(test::raised([&] { append(b, stack::push(test::word_of(TYPE_WORD, "x")), -1, 0, 1, 1); }),
                       err::script_invalid_arg));
}

TEST_F(bitsets, bitwise_lengths_and_complement) {
  cell* two = made(integer(16));
  cell* four = made(integer(32));
  memory::head_of(memory::GET_BUFFER(two))[0] = 0xF0;
  memory::head_of(memory::GET_BUFFER(four))[0] = 0x3C;
  memory::head_of(memory::GET_BUFFER(four))[3] = 0x01;
  struct row {
    int32_t op;
    const char* bytes;
  };
  const row rows[] = {{6, "3000"}, {10, "30000000"}, {5, "FC000001"}, {7, "CC000001"}, {11, "C0000000"}};
  for (const row& r : rows) {
    stack::arguments = stack::top;
    stack::push(*two);
    stack::push(*four);
    bitset::do_bitwise(r.op);
    EXPECT_EQ(bytes_of(stack::arguments), r.bytes) << r.op;
  }
  stack::arguments = stack::top;
  stack::push(*two);
  stack::push(integer(1));
  EXPECT_TRUE(test::is(test::raised([&] { bitset::do_bitwise(5); }), err::script_invalid_type));
  stack::arguments = stack::bottom;

  auto complement = reinterpret_cast<complement_fn>(actions::get_action(TYPE_BITSET, ACT_COMPLEMENT));
  cell* c = complement(made(*test::push_ascii("a")));
  EXPECT_FALSE(member(c, character('a')));
  EXPECT_TRUE(member(c, character('b')));
  EXPECT_TRUE(member(c, integer(100000)));
  EXPECT_EQ(molded(c), "make bitset! [not #{" + std::string(24, '0') + "40}]");
}

TEST_F(bitsets, compare_orders_by_size_first) {
  cell* small = made(test::block_of({integer(7)}));
  cell* big = made(integer(16));
  cell* a = made(*test::push_ascii("a"));
  cell* a2 = made(*test::push_ascii("a"));
  cell* na = made(test::block_of({not_word, character('a')}));
  EXPECT_EQ(actions::compare_raw(small, big, COMP_LESSER), -1);
  EXPECT_EQ(actions::compare_raw(big, small, COMP_LESSER), 1);
  EXPECT_EQ(actions::compare_raw(a, a2, COMP_EQUAL), 0);
  EXPECT_EQ(actions::compare_raw(a, a2, COMP_SAME), 1);
  EXPECT_EQ(actions::compare_raw(a, a, COMP_SAME), 0);
  EXPECT_EQ(actions::compare_raw(a, na, COMP_LESSER), -1);
  EXPECT_EQ(actions::compare_raw(a, stack::push(integer(1)), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(bitsets, clear_and_path_keys) {
  cell* b = made(*test::push_ascii("ab"));
  auto clear = reinterpret_cast<clear_fn>(actions::get_action(TYPE_BITSET, ACT_CLEAR));
  clear(b);
  EXPECT_FALSE(member(b, character('a')));
  EXPECT_EQ(length(b), 104);
  cell* nb = made(test::block_of({not_word, character('a')}));
  clear(nb);
  EXPECT_TRUE(member(nb, character('a')));
  auto step = reinterpret_cast<eval_path_fn>(actions::get_action(TYPE_BITSET, ACT_EVAL_PATH));
  cell* key = stack::push(character('x'));
  EXPECT_EQ(step(b, key, nullptr, key, nullptr, nullptr, 1, 0, 0, 1, 0), &logic::false_value);
  cell* on = stack::push(logic::true_value);
  EXPECT_EQ(step(b, key, on, key, nullptr, nullptr, 1, 0, 0, 1, 0), on);
  EXPECT_TRUE(member(b, character('x')));
  cell* s = test::push_ascii("x");
  EXPECT_TRUE(test::is(test::raised([&] { step(b, s, nullptr, s, nullptr, nullptr, 1, 0, 0, 1, 0); }),
                       err::script_invalid_type));
}

}  // namespace
}  // namespace ixo
