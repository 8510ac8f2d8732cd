#include "runtime/datatypes/string_edit.hpp"

#include <gtest/gtest.h>

#include <string>

#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/string_sort.hpp"
#include "support/kept.hpp"
#include "support/moving_collector.hpp"
#include "support/strings.hpp"

namespace ixo::string {
namespace {

using test::push_ascii;
using test::push_text;

struct string_edit : test::string_actions {};

enum action { APPEND, INSERT, CHANGE };

struct edited {
  std::string text;  // the whole string
  int32_t index;     // of the answer
  uint32_t unit;
};

edited run(action a, cell* series, cell* value, int32_t part = -1, bool only = false, int32_t dup = 1) {
  cell* result = a == APPEND   ? append(series, value, part, only, dup, 1)
                 : a == INSERT ? insert(series, value, part, only, dup, 0)
                               : change(series, value, part, only, dup);
  return {test::whole_text(result), static_cast<int32_t>(result->data1), test::unit_of(result)};
}

bool operator==(const edited& a, const edited& b) {
  return a.text == b.text && a.index == b.index && a.unit == b.unit;
}
std::ostream& operator<<(std::ostream& os, const edited& e) {
  return os << '"' << e.text << "\" @" << e.index << " unit " << e.unit;
}

TEST_F(string_edit, append_insert_and_change_a_text_or_a_char) {
  struct row {
    const char* name;
    action a;
    std::u32string series;
    int32_t index;
    cell value;
    int32_t part, dup;
    edited want;
  };
  auto text = [](const std::u32string& t, uint32_t unit = 1, uint32_t type = TYPE_STRING) {
    return *push_text(t, unit, type);
  };
  const row rows[] = {
      {"append E9 widens", APPEND, U"abc", 2, test::character(0xE9), -1, 1, {"abc\xC3\xA9", 0, 2}},
      {"append a unit-1 E9 text", APPEND, U"abc", 0, text(U"\xE9!"), -1, 1, {"abc\xC3\xA9!", 0, 1}},
      {"append 1F600", APPEND, U"ab", 0, test::character(0x1F600), -1, 1, {"ab\xF0\x9F\x98\x80", 0, 4}},
      {"append part", APPEND, U"ab", 0, text(U"cdef"), 2, 1, {"abcd", 0, 1}},
      {"append dup", APPEND, U"ab", 0, text(U"cd"), -1, 3, {"abcdcdcd", 0, 1}},
      {"append dup 0 adds nothing", APPEND, U"ab", 0, test::character('x'), -1, 0, {"ab", 0, 1}},
      {"append from the value's index", APPEND, U"a", 0, [&] { cell c = text(U"xyz"); c.data1 = 1; return c; }(), -1, 1, {"ayz", 0, 1}},
      {"append a tag", APPEND, U"a", 0, text(U"b", 1, TYPE_TAG), -1, 1, {"a<b>", 0, 1}},
      {"append a tag part 1", APPEND, U"a", 0, text(U"bc", 1, TYPE_TAG), 1, 1, {"a<", 0, 1}},
      {"append a tag part 3", APPEND, U"a", 0, text(U"bc", 1, TYPE_TAG), 3, 1, {"a<bc", 0, 1}},
      {"append a tag part 4", APPEND, U"a", 0, text(U"bc", 1, TYPE_TAG), 4, 1, {"a<bc>", 0, 1}},
      {"insert in the middle", INSERT, U"ad", 1, text(U"bc"), -1, 1, {"abcd", 3, 1}},
      {"insert dup", INSERT, U"ad", 1, test::character(0x4E2D), -1, 2, {"a\xE4\xB8\xAD\xE4\xB8\xAD" "d", 3, 2}},
      {"insert at the tail", INSERT, U"ab", 2, text(U"cd"), -1, 1, {"abcd", 4, 1}},
      {"insert part", INSERT, U"ab", 0, text(U"xyz"), 2, 1, {"xyab", 2, 1}},
      {"insert E9 keeps unit 1 text", INSERT, U"ab", 1, text(U"\xE9"), -1, 1, {"a\xC3\xA9" "b", 2, 1}},
      {"change overwrites", CHANGE, U"abcdef", 1, text(U"XY"), -1, 1, {"aXYdef", 3, 1}},
      {"change extends past the tail", CHANGE, U"abc", 2, text(U"XYZ"), -1, 1, {"abXYZ", 5, 1}},
      {"change part 0 inserts", CHANGE, U"abc", 1, text(U"XY"), 0, 1, {"aXYbc", 3, 1}},
      {"change part 1 writes the value whole", CHANGE, U"abc", 1, text(U"XYZ"), 1, 1, {"aXYZc", 4, 1}},
      {"change part 2 with a shorter value", CHANGE, U"abcd", 0, test::character('X'), 2, 1, {"Xcd", 1, 1}},
      {"change dup", CHANGE, U"abcdefg", 1, text(U"XY"), -1, 2, {"aXYXYfg", 5, 1}},
      {"change at the tail appends", CHANGE, U"ab", 2, test::character(0xE9), -1, 1, {"ab\xC3\xA9", 3, 2}},
      {"change with an empty text and a part removes", CHANGE, U"abcd", 1, text(U""), 2, 1, {"ad", 1, 1}},
      {"change a tag in whole", CHANGE, U"abcd", 0, text(U"t", 1, TYPE_TAG), 1, 1, {"<t>bcd", 3, 1}},
  };
  for (const row& r : rows) {
    cell* s = push_text(r.series);
    s->data1 = static_cast<uint32_t>(r.index);
    cell* v = stack::push(r.value);
    EXPECT_EQ(run(r.a, s, v, r.part, false, r.dup), r.want) << r.name;
  }
}

TEST_F(string_edit, a_string_edits_itself) {
  cell* s = push_ascii("abcd");
  cell copy = *s;
  copy.data1 = 1;
  cell* v = stack::push(copy);
  EXPECT_EQ(run(APPEND, s, v), (edited{"abcdbcd", 0, 1}));
  s->data1 = 1;
  v->data1 = 0;
  EXPECT_EQ(run(INSERT, s, v), (edited{"aabcdbcdbcdbcd", 8, 1}));
  cell* t = push_ascii("abcdef");
  cell tail_part = *t;
  tail_part.data1 = 4;
  cell* w = stack::push(tail_part);
  t->data1 = 1;
  EXPECT_EQ(run(CHANGE, t, w), (edited{"aefdef", 3, 1}));
}

TEST_F(string_edit, formed_values_are_cut_by_the_part_as_each_action_reads_it) {
  auto block = [] {
    return test::push_block({*push_ascii("ab"), test::integer(12345), logic::true_value, *push_ascii("cd")});
  };
  struct row {
    const char* name;
    action a;
    bool use_block;
    int32_t part;
    bool only;
    int32_t dup;
    edited want;
  };
  const row rows[] = {
      {"append a block", APPEND, true, -1, false, 1, {">ab12345truecd", 0, 1}},
      {"append part counts values", APPEND, true, 2, false, 1, {">ab12345", 0, 1}},
      {"append only part counts characters", APPEND, true, 4, true, 1, {">ab12", 0, 1}},
      {"append an integer part 2", APPEND, false, 2, false, 1, {">12345", 0, 1}},
      {"append an integer part 2 only", APPEND, false, 2, true, 1, {">12", 0, 1}},
      {"append an integer part 0", APPEND, false, 0, false, 1, {">", 0, 1}},
      {"append a block dup", APPEND, true, 2, false, 2, {">ab12345ab12345", 0, 1}},
      {"insert part counts characters", INSERT, true, 3, false, 1, {"ab1>", 3, 1}},
      {"insert a block dup", INSERT, true, 3, false, 2, {"ab1ab1>", 6, 1}},
      {"change replaces the formed size", CHANGE, false, -1, false, 1, {"12345", 5, 1}},
  };
  for (const row& r : rows) {
    cell* s = push_ascii(">");
    if (r.a != APPEND) s->data1 = 0;
    cell* v = r.use_block ? block() : test::push_integer(12345);
    EXPECT_EQ(run(r.a, s, v, r.part, r.only, r.dup), r.want) << r.name;
  }
  cell* s = push_ascii("abcdef");
  s->data1 = 1;
  EXPECT_EQ(run(CHANGE, s, block(), 2), (edited{"aab12345truecddef", 14, 1}));
  cell* t = push_ascii("abcdef");
  t->data1 = 1;
  cell* empty = test::push_block({});
  EXPECT_EQ(run(INSERT, t, empty), (edited{"abcdef", 1, 1}));
}

// pair! forms with no action in this test: forming it raises an error.
TEST_F(string_edit, an_error_leaves_the_string_as_it_was) {
  cell unformed{TYPE_PAIR, 0, 0, 0};
  datatype::register_type(test::form_row(TYPE_PAIR, nullptr, nullptr));
  for (action a : {APPEND, INSERT, CHANGE}) {
    cell* s = push_text(U"ab", 1);
    s->data1 = 1;
    cell* v = test::push_block({*push_text(U"\x4E2D\x4E2D"), unformed});
    EXPECT_TRUE(test::is(test::raised([&] { run(a, s, v); }), err::script_expect_arg));
    EXPECT_EQ(test::whole_text(s), "ab");
  }
  cell* s = push_ascii("ab");
  cell* v = push_ascii("xyz");
  EXPECT_TRUE(test::is(test::raised([&] { append(s, v, -1, 0, 0x40000000, 1); }), err::internal_no_memory));
  EXPECT_EQ(test::whole_text(s), "ab");
}

TEST_F(string_edit, trim_by_refinements) {
  struct row {
    const char* name;
    std::u32string text;
    int32_t index;
    bool head, tail, lines, all;
    const char32_t* with;  // null: no /with
    std::u32string want;
  };
  const std::u32string indented = U"  \n  one  \n\t two \t\n\n  three  \n  ";
  const row rows[] = {
      {"default", indented, 0, false, false, false, false, nullptr, U"one\ntwo\n\nthree\n"},
      {"head", indented, 0, true, false, false, false, nullptr, U"one  \n\t two \t\n\n  three  \n  "},
      {"tail", indented, 0, false, true, false, false, nullptr, U"  \n  one  \n\t two \t\n\n  three"},
      {"head and tail", indented, 0, true, true, false, false, nullptr, U"one  \n\t two \t\n\n  three"},
      {"default keeps inner blanks and CR", U" a  b\r\n c ", 0, false, false, false, false, nullptr, U"a  b\r\nc"},
      {"default without a final line feed", U"a\n b", 0, false, false, false, false, nullptr, U"a\nb"},
      {"unicode spaces", U"\x3000" "a\x2003\n\xA0" "b\x3000", 0, false, false, false, false, nullptr, U"a\nb"},
      {"from the index", U" x  a  ", 2, false, false, false, false, nullptr, U" xa"},
      {"lines", U"  a \t\n b\r\n\n c  ", 0, false, false, true, false, nullptr, U"a b c"},
      {"all", U" a\tb\nc\r d ", 0, false, false, false, true, nullptr, U"abcd"},
      {"with", U"abcabd", 1, false, false, false, false, U"ab", U"acd"},
      {"with empty", U"abc", 0, false, false, false, false, U"", U"abc"},
      {"with many", U"a1b2c3d4e5f6g7h8i9j0", 0, false, false, false, false, U"0123456789xyz", U"abcdefghij"},
  };
  for (const row& r : rows) {
    for (uint32_t unit : {1u, 2u, 4u}) {
      bool fits = true;
      for (char32_t cp : r.text) fits &= unit == 4 || cp < (unit == 1 ? 0x100u : 0x10000u);
      if (!fits) continue;
      cell* s = push_text(r.text, unit);
      s->data1 = static_cast<uint32_t>(r.index);
      cell* with = r.with ? push_text(r.with) : nullptr;
      cell* result = trim(s, r.head, r.tail, 0, r.lines, r.all, with);
      result->data1 = 0;
      EXPECT_EQ(test::chars_of(result), r.want) << r.name << " unit " << unit;
    }
  }
  cell* s = push_ascii("xaxbx");
  cell* c = stack::push(test::character('x'));
  EXPECT_EQ(test::whole_text(trim(s, 0, 0, 0, 0, 0, c)), "ab");
  EXPECT_TRUE(test::is(test::raised([&] { trim(s, 0, 0, 1, 0, 0, nullptr); }), err::internal_not_done));
}

TEST_F(string_edit, swap_exchanges_the_code_points_at_the_indexes) {
  cell* a = push_ascii("abc");
  cell* b = push_text(U"x\x4E2Dz");
  b->data1 = 1;
  EXPECT_EQ(swap(a, b), a);
  EXPECT_EQ(test::whole_text(a), "\xE4\xB8\xAD" "bc");
  EXPECT_EQ(test::whole_text(b), "xaz");
  EXPECT_EQ(test::unit_of(a), 2u);

  cell* at_tail = push_ascii("q");
  at_tail->data1 = 1;
  swap(a, at_tail);
  EXPECT_EQ(test::whole_text(a), "\xE4\xB8\xAD" "bc");

  cell* integer = test::push_integer(1);
  EXPECT_TRUE(test::is(test::raised([&] { swap(a, integer); }), err::script_invalid_arg));
  cell* binary = push_ascii("\x01\x02");
  set_type(binary, TYPE_BINARY);
  EXPECT_TRUE(test::is(test::raised([&] { swap(a, binary); }), err::script_invalid_arg));
  EXPECT_EQ(test::whole_text(a), "\xE4\xB8\xAD" "bc");
  a->data1 = 1;
  swap(a, binary);
  EXPECT_EQ(test::chars_of(binary), (std::u32string{U'b', 2}));
}

}  // namespace
}  // namespace ixo::string

namespace ixo::string {
namespace {

// Every allocation moves the buffers of the rooted strings (the edited
// string, its value, and what the actions root themselves) and scribbles
// over the old ones: an action that kept a buffer address across an
// allocation reads the scribble.
struct string_edit_moving : test::string_actions {
  void SetUp() override {
    test::string_actions::SetUp();
    memory::run_collector = test::move_rooted_buffers;
    memory::collect_every_allocation = true;
    collector_active = 1;
    test::buffer_moves = 0;
  }
  void TearDown() override {
    memory::run_collector = nullptr;
    memory::collect_every_allocation = false;
    collector_active = 0;
    test::string_actions::TearDown();
  }
};

TEST_F(string_edit_moving, edits_read_their_buffers_again_after_each_allocation) {
  cell* s = push_ascii("ab");
  cell held = *s;
  memory::root_guard keep(&held);
  cell* t = push_text(U"x\xE9\x4E2D", 2);
  cell held_t = *t;
  memory::root_guard keep_t(&held_t);

  append(s, t, -1, 0, 3, 1);
  const std::u32string piece = U"x\xE9\x4E2D", formed = piece + U"7{q}";
  EXPECT_EQ(test::chars_of(s), U"ab" + piece + piece + piece);
  s->data1 = 1;
  cell* block = test::push_block({*t, test::integer(7), *push_ascii("{q}")});
  insert(s, block, -1, 0, 2, 0);
  const std::u32string inserted = U"a" + formed + formed + U"b" + piece + piece + piece;
  EXPECT_EQ(s->data1, 15u);
  s->data1 = 0;
  EXPECT_EQ(test::chars_of(s), inserted);
  change(s, s, 2, 0, 1);
  EXPECT_EQ(s->data1, 25u);
  s->data1 = 0;
  EXPECT_EQ(test::chars_of(s), inserted + inserted.substr(2));

  cell* buffer = stack::push_slot();
  rs_make_at(buffer, 1);
  cell* quoted = push_ascii("a\"{b}^");
  mold(quoted, buffer, 0, 0, 0, nullptr, 100, 0);
  form(t, buffer, nullptr, 100);
  EXPECT_EQ(test::text_of(buffer), "{a\"{b}^^}x\xC3\xA9\xE4\xB8\xAD");

  // A formed pattern, a block made a string, a set operation.
  cell* digits = push_ascii("ab127");
  cell* twelve = test::push_integer(12);
  EXPECT_EQ(find(digits, twelve, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)->data1, 2u);
  cell* proto = stack::push(datatype::make_cell(TYPE_STRING));
  EXPECT_EQ(test::text_of(to(proto, block, TYPE_STRING)), "x\xC3\xA9\xE4\xB8\xAD" "7{q}");
  stack::reset();
  push_text(U"ab\x4E2D");
  push_text(U"\x4E2D" "cd");
  EXPECT_EQ(test::text_of(do_set_op(0, nullptr, SET_UNION)), "ab\xE4\xB8\xAD" "cd");
  EXPECT_GT(test::buffer_moves, 10);
}

}  // namespace
}  // namespace ixo::string

namespace ixo::string {
namespace {

TEST_F(string_edit, take_answers_one_element_or_a_string) {
  cell* s = push_text(U"a\x4E2D" "bc");
  s->data1 = 1;
  cell keep = test::keep(*s);  // take answers in the argument cell
  cell* taken = take(s, nullptr, 0, 0);
  EXPECT_EQ(TYPE_OF(taken), TYPE_CHAR);
  EXPECT_EQ(taken->data2, 0x4E2Du);
  EXPECT_EQ(test::whole_text(&keep), "abc");

  cell* t = stack::push(keep);
  cell* last = take(t, nullptr, 0, 1);
  EXPECT_EQ(last->data2, static_cast<uint32_t>('c'));

  cell* u = stack::push(keep);
  cell* one = test::push_integer(1);
  cell* part = stack::push(*take(u, one, 0, 0));  // with /part: a string, even of one unit
  EXPECT_EQ(TYPE_OF(part), TYPE_STRING);
  EXPECT_EQ(test::text_of(part), "b");
  EXPECT_EQ(test::whole_text(&keep), "a");

  cell* v = stack::push(keep);
  v->data1 = 1;
  EXPECT_EQ(TYPE_OF(take(v, nullptr, 0, 0)), TYPE_NONE);

  cell* bytes = push_text(U"\xFF\x01");
  set_type(bytes, TYPE_BINARY);
  cell* byte = take(bytes, nullptr, 0, 0);
  EXPECT_EQ(TYPE_OF(byte), TYPE_INTEGER);
  EXPECT_EQ(byte->data2, 0xFFu);
}

TEST_F(string_edit, string_inherits_the_series_actions) {
  for (int32_t action : {ACT_RANDOM, ACT_AT, ACT_BACK, ACT_CLEAR, ACT_COPY, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q,
                         ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_REMOVE, ACT_REVERSE, ACT_SKIP,
                         ACT_TAIL, ACT_TAIL_Q}) {
    EXPECT_EQ(datatype::entry_of(TYPE_STRING, action), datatype::entry_of(TYPE_SERIES, action)) << action;
    EXPECT_NE(datatype::entry_of(TYPE_STRING, action), nullptr) << action;
  }
  for (int32_t action : {ACT_SET_PATH, ACT_ADD, ACT_PUT, ACT_CREATE, ACT_READ}) {
    EXPECT_EQ(datatype::entry_of(TYPE_STRING, action), nullptr) << action;
  }
}

}  // namespace
}  // namespace ixo::string
