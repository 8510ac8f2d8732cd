#include "runtime/datatypes/binary.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/fire.hpp"
#include "support/numbers.hpp"
#include "support/raised.hpp"
#include "support/strings.hpp"

namespace ixo::binary {
namespace {

using test::is;
using test::raised;

struct binary_type : test::numbers {
  void SetUp() override {
    test::numbers::SetUp();
    series::init();
    block::init();
    string::init();
    issue::init();
    init();
    stack::reset();
  }
};

cell* push_bytes(const std::string& s) { return stack::push(test::bytes_of(s, TYPE_BINARY)); }

std::string bytes_from(const cell* bin) {
  return std::string(reinterpret_cast<const char*>(rs_head(bin)), static_cast<size_t>(rs_length_q(bin)));
}

// append or insert as the dispatcher calls them: no /part is -1, no /dup 1.
cell* edit(int32_t action, cell* bin, cell value, int32_t part = -1, int32_t only = 0, int32_t dup = 1) {
  cell* v = stack::push(value);
  return datatype::action_of<insert_fn>(TYPE_BINARY, action)(bin, v, part, only, dup, action == ACT_APPEND);
}

TEST_F(binary_type, append_takes_the_bytes_of_each_kind_of_value) {
  struct row {
    cell value;
    int32_t part;
    int32_t only;
    int32_t dup;
    std::string bytes;
  } rows[] = {
      {test::int_(255), -1, 0, 1, "\xFF"},
      {test::int_(-1), -1, 0, 1, "\xFF"},
      {test::int_(-128), -1, 0, 1, "\x80"},
      {test::chr(0x20AC), -1, 0, 1, "\xE2\x82\xAC"},
      {test::tup({1, 2, 3}), -1, 0, 1, "\x01\x02\x03"},
      {test::bytes_of("ab", TYPE_BINARY), -1, 0, 3, "ababab"},
      {test::bytes_of("abc", TYPE_BINARY), 2, 0, 1, "ab"},
      {test::block_of({test::int_(1), test::chr('x'), test::int_(2)}), 2, 0, 1, "\x01x"},
      {test::block_of({test::chr(0xE9), test::chr('x')}), 1, 1, 1, "\xC3"},
      {test::block_of({test::chr(0xE9), test::chr('x')}), 0, 0, 1, "\xC3\xA9x"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* bin = push_bytes("");
    edit(ACT_APPEND, bin, r.value, r.part, r.only, r.dup);
    EXPECT_EQ(bytes_from(bin), r.bytes) << r.bytes.size();
  }
}

TEST_F(binary_type, append_of_strings_writes_their_utf8_from_the_index) {
  cell* bin = push_bytes("<");
  cell* text = test::push_text(U"a\x20AC", 2);
  text->data1 = 0;
  cell* b = test::push_block({test::integer(7), *text});
  edit(ACT_APPEND, bin, *b);
  EXPECT_EQ(bytes_from(bin), "<\x07" "a\xE2\x82\xAC");
}

TEST_F(binary_type, an_out_of_range_byte_or_an_unsupported_value_leaves_the_series_as_it_was) {
  struct row {
    cell value;
    error_id error;
  } rows[] = {
      {test::int_(256), err::script_invalid_arg},
      {test::int_(-129), err::script_invalid_arg},
      {test::block_of({test::int_(1), test::int_(300)}), err::script_invalid_arg},
      {test::flt(1.5), err::script_bad_to_arg},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* bin = push_bytes("ab");
    EXPECT_TRUE(is(raised([&] { edit(ACT_APPEND, bin, r.value); }), r.error));
    EXPECT_EQ(bytes_from(bin), "ab");
  }
}

TEST_F(binary_type, insert_puts_the_bytes_at_the_index_and_answers_past_them) {
  cell* bin = push_bytes("abcd");
  bin->data1 = 1;
  cell* result = edit(ACT_INSERT, bin, test::bytes_of("xy", TYPE_BINARY), -1, 0, 3);
  EXPECT_EQ(result->data1, 7u);
  result->data1 = 0;
  EXPECT_EQ(bytes_from(result), "axyxyxybcd");
}

TEST_F(binary_type, a_binary_appended_to_itself_repeats_its_bytes_once) {
  cell* bin = push_bytes("abc");
  bin->data1 = 1;
  cell* result = edit(ACT_APPEND, bin, *bin);
  EXPECT_EQ(result->data1, 0u);
  EXPECT_EQ(bytes_from(result), "abcbc");
}

TEST_F(binary_type, change_replaces_as_many_bytes_as_the_value_has_or_the_part) {
  struct row {
    std::string series;
    cell value;
    int32_t part;
    int32_t dup;
    std::string after;
    uint32_t index;
  } rows[] = {
      {"abcdef", test::bytes_of("XYZ", TYPE_BINARY), -1, 1, "aXYZef", 4},
      {"abcdef", test::bytes_of("XYZ", TYPE_BINARY), 1, 1, "aXYZcdef", 4},
      {"ab", test::bytes_of("XYZ", TYPE_BINARY), -1, 1, "aXYZ", 4},
      {"abcdef", test::bytes_of("XY", TYPE_BINARY), -1, 2, "aXYXYf", 5},
      {"abcdef", test::flt(1.5), 0, 1, "a1.5bcdef", 4},  // any value through its formed text
  };
  for (const row& r : rows) {
    stack::reset();
    cell* bin = push_bytes(r.series);
    bin->data1 = 1;
    cell* v = stack::push(r.value);
    cell* result = datatype::action_of<change_fn>(TYPE_BINARY, ACT_CHANGE)(bin, v, r.part, 0, r.dup);
    EXPECT_EQ(result->data1, r.index) << r.after;
    result->data1 = 0;
    EXPECT_EQ(bytes_from(result), r.after);
  }
}

TEST_F(binary_type, to_binary_of_each_kind_of_value) {
  struct row {
    cell spec;
    std::string bytes;
  } rows[] = {
      {test::int_(1), std::string("\0\0\0\x01", 4)},
      {test::int_(-2), "\xFF\xFF\xFF\xFE"},
      {test::flt(1.0), std::string("\x3F\xF0\0\0\0\0\0\0", 8)},
      {test::chr(0xE9), "\xC3\xA9"},
      {test::tup({10, 20, 30, 40}), "\x0A\x14\x1E\x28"},
      {test::block_of({test::int_(1), test::chr('A')}), "\x01" "A"},
  };
  for (const row& r : rows) {
    cell made = test::make(TYPE_BINARY, r.spec, ACT_TO);
    ASSERT_EQ(TYPE_OF(&made), TYPE_BINARY);
    EXPECT_EQ(bytes_from(&made), r.bytes);
  }
  cell* text = test::push_ascii("xabc");
  text->data1 = 1;
  cell made = test::make(TYPE_BINARY, *text, ACT_TO);
  EXPECT_EQ(bytes_from(&made), "abc");
  EXPECT_TRUE(is(raised([] { test::make(TYPE_BINARY, cell{TYPE_NONE, 0, 0, 0}, ACT_TO); }), err::script_bad_to_arg));
}

TEST_F(binary_type, to_binary_of_an_issue_reads_its_spelling_as_hexadecimal) {
  cell* good = issue::make_at(stack::push_slot(), "0aFF1");
  cell made = test::make(TYPE_BINARY, *good, ACT_TO);
  EXPECT_EQ(bytes_from(&made), "\x0A\xFF");  // an odd last digit is dropped
  cell* bad = issue::make_at(stack::push_slot(), "12G4");
  EXPECT_TRUE(is(raised([&] { test::make(TYPE_BINARY, *bad, ACT_TO); }), err::script_invalid_data));
}

TEST_F(binary_type, mold_breaks_lines_past_30_bytes) {
  auto bytes_n = [](int n) { return test::bytes_of(std::string(static_cast<size_t>(n), '\xAB'), TYPE_BINARY); };
  auto hex = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "AB";
    return s;
  };
  EXPECT_EQ(test::molded(test::bytes_of("", TYPE_BINARY)), "#{}");
  EXPECT_EQ(test::molded(test::bytes_of("\x01\xfe", TYPE_BINARY)), "#{01FE}");
  EXPECT_EQ(test::formed(bytes_n(30)), "#{" + hex(30) + "}");
  EXPECT_EQ(test::molded(bytes_n(31)), "#{\n    " + hex(31) + "\n}");
  EXPECT_EQ(test::molded(bytes_n(64)), "#{\n    " + hex(32) + "\n    " + hex(32) + "\n    }");

  cell buffer{};
  memory::root_guard keep(&buffer);
  string::rs_make_at(&buffer, 16);
  cell v = bytes_n(2);
  datatype::action_of<mold_fn>(TYPE_BINARY, ACT_MOLD)(&v, &buffer, 1, 0, 0, nullptr, 100, 0);
  EXPECT_EQ(test::text_of(&buffer), "ABAB");
}

TEST_F(binary_type, compare_orders_bytes_then_lengths) {
  struct row {
    std::string a, b;
    int32_t op, answer;
  } rows[] = {
      {"\x01", std::string("\x01\x00", 2), COMP_LESSER, -1},
      {"\x01", std::string("\x01\x00", 2), COMP_EQUAL, 1},
      {"\x02", std::string("\x01\x00", 2), COMP_LESSER, 1},
      {"\x80", "\x7F", COMP_LESSER, 1},  // unsigned bytes
      {"ab", "ab", COMP_EQUAL, 0},
      {"ab", "ab", COMP_SAME, -1},
      {"", "", COMP_LESSER, 0},
  };
  for (const row& r : rows) {
    EXPECT_EQ(test::compare(test::bytes_of(r.a, TYPE_BINARY), test::bytes_of(r.b, TYPE_BINARY), r.op), r.answer)
        << r.op;
  }
  cell same = test::bytes_of("x", TYPE_BINARY);
  EXPECT_EQ(test::compare(same, same, COMP_SAME), 0);
  EXPECT_EQ(test::compare(same, test::int_(1), COMP_EQUAL), COMPARE_NONE);
}

TEST_F(binary_type, bitwise_actions_run_to_the_longer_length) {
  struct row {
    int32_t action;
    std::string result;
  } rows[] = {
      {ACT_AND_T, std::string("\x01\0\0", 3)},
      {ACT_OR_T, "\x0F\xF0\x0F"},
      {ACT_XOR_T, "\x0E\xF0\x0F"},
  };
  for (const row& r : rows) {
    cell result = test::operate(r.action, test::bytes_of("\x0F\xF0\x0F", TYPE_BINARY), test::bytes_of("\x01", TYPE_BINARY));
    EXPECT_EQ(bytes_from(&result), r.result);
  }
  EXPECT_TRUE(is(raised([] { test::operate(ACT_AND_T, test::bytes_of("a", TYPE_BINARY), test::int_(1)); }),
                 err::script_invalid_arg));
}

TEST_F(binary_type, complement_inverts_in_place_from_the_index) {
  cell* bin = push_bytes(std::string("\x00\x0F\xFF", 3));
  cell other = *bin;
  bin->data1 = 1;
  datatype::action_of<complement_fn>(TYPE_BINARY, ACT_COMPLEMENT)(bin);
  EXPECT_EQ(bytes_from(&other), std::string("\x00\xF0\x00", 3));
}

TEST_F(binary_type, trim_removes_zero_bytes) {
  struct row {
    int32_t head, tail, all;
    std::string after;
  } rows[] = {
      {0, 0, 0, std::string("\x01\0\x02", 3)},
      {1, 0, 0, std::string("\x01\0\x02\0", 4)},
      {0, 1, 0, std::string("\0\x01\0\x02", 4)},
      {0, 0, 1, "\x01\x02"},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* bin = push_bytes(std::string("\0\x01\0\x02\0", 5));
    datatype::action_of<trim_fn>(TYPE_BINARY, ACT_TRIM)(bin, r.head, r.tail, 0, 0, r.all, nullptr);
    EXPECT_EQ(bytes_from(bin), r.after);
  }
  cell* bin = push_bytes("abcab");
  cell* with = test::push_ascii("b");
  datatype::action_of<trim_fn>(TYPE_BINARY, ACT_TRIM)(bin, 0, 0, 0, 0, 0, with);
  EXPECT_EQ(bytes_from(bin), "aca");
  EXPECT_TRUE(is(raised([&] { datatype::action_of<trim_fn>(TYPE_BINARY, ACT_TRIM)(bin, 0, 0, 1, 0, 0, nullptr); }),
                 err::internal_not_done));
}

TEST_F(binary_type, pick_answers_integers_and_poke_checks_the_byte_range) {
  cell* bin = push_bytes("\xC8");
  cell* picked = datatype::action_of<pick_fn>(TYPE_BINARY, ACT_PICK)(bin, 1, nullptr);
  EXPECT_EQ(TYPE_OF(picked), TYPE_INTEGER);
  EXPECT_EQ(picked->data2, 200u);
  auto poke = datatype::action_of<poke_fn>(TYPE_BINARY, ACT_POKE);
  for (int32_t n : {-129, 256}) {
    cell* v = test::push_integer(n);
    EXPECT_TRUE(is(raised([&] { poke(bin, 1, v, nullptr); }), err::script_invalid_arg)) << n;
  }
  poke(bin, 1, test::push_integer(-1), nullptr);
  EXPECT_EQ(bytes_from(bin), "\xFF");
  poke(bin, 1, stack::push(test::chr('A')), nullptr);
  EXPECT_EQ(bytes_from(bin), "A");
  EXPECT_TRUE(is(raised([&] { poke(bin, 1, test::push_ascii("x"), nullptr); }), err::script_invalid_arg));
}

TEST_F(binary_type, byte_helpers_insert_overwrite_and_append) {
  cell* bin = push_bytes("abc");
  bin->data1 = 1;
  rs_insert(bin, 1, reinterpret_cast<const uint8_t*>("XY"), 2);
  rs_overwrite(bin, 4, reinterpret_cast<const uint8_t*>("123"), 3);  // past the tail: it moves
  append_int32(0x01020304, bin);
  EXPECT_EQ(bytes_from(bin), "bXYc123\x01\x02\x03\x04");
  EXPECT_FALSE(rs_skip(bin, 20));  // out of bounds: the index stays
  EXPECT_EQ(bin->data1, 1u);
  rs_clear(bin);
  bin->data1 = 0;
  EXPECT_EQ(bytes_from(bin), "a");
}

// ---- Base codecs through the series wrappers -------------------------------------

TEST_F(binary_type, debase_decodes_text_of_any_unit_or_answers_none) {
  struct row {
    std::u32string text;
    uint32_t unit;
    int32_t base;
    bool valid;
    std::string bytes;
  } rows[] = {
      {U"0A ff", 1, 16, true, "\x0A\xFF"},
      {U"0A ff", 2, 16, true, "\x0A\xFF"},
      {U"QUI=", 4, 64, true, "AB"},
      {U"QU\x00E9=", 1, 64, false, ""},
      {U"0\x0130", 2, 16, false, ""},  // 0x130 is not "0" (no reduction modulo 128)
      {U"01000001", 1, 2, true, "A"},
      {U"112", 1, 58, true, std::string("\0\0\x01", 3)},
  };
  for (const row& r : rows) {
    stack::reset();
    cell* text = test::push_text(r.text, r.unit);
    cell* result = debase(text, r.base, stack::push_slot());
    if (!r.valid) {
      EXPECT_EQ(TYPE_OF(result), TYPE_NONE);
      continue;
    }
    ASSERT_EQ(TYPE_OF(result), TYPE_BINARY);
    EXPECT_EQ(bytes_from(result), r.bytes);
  }
  cell* text = test::push_ascii("00");
  EXPECT_TRUE(is(raised([&] { debase(text, 10, stack::push_slot()); }), err::script_invalid_arg));
}

TEST_F(binary_type, enbase_encodes_binaries_from_the_index_and_strings_as_utf8) {
  cell* bin = push_bytes("xAB");
  bin->data1 = 1;
  struct row {
    int32_t base;
    std::string text;
  } rows[] = {{64, "QUI="}, {16, "4142"}, {2, "0100000101000010"}, {58, "5y3"}};
  for (const row& r : rows) EXPECT_EQ(test::text_of(enbase(bin, r.base, stack::push_slot())), r.text);
  cell* text = test::push_text(U"\xE9", 1);
  EXPECT_EQ(test::text_of(enbase(text, 16, stack::push_slot())), "C3A9");
  EXPECT_TRUE(is(raised([&] { enbase(text, 8, stack::push_slot()); }), err::script_invalid_arg));
}

}  // namespace
}  // namespace ixo::binary
