#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <string>

#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/natives_convert.hpp"
#include "support/natives.hpp"

namespace ixo {
namespace {

using test::bytes;
using test::call_entry;
using test::flt;
using test::int_;
using test::molded;
using test::str;
using test::text;

struct natives_convert : test::natives_suite {};

uint32_t type_of(const cell& c) { return TYPE_OF(&c); }

// A global word of the spelling, of the given word type.
cell word(const char* spelling, uint32_t type = TYPE_WORD) {
  cell w = *word::load(spelling);
  set_type(&w, type);
  return w;
}

TEST_F(natives_convert, dehex_and_enhex) {
  EXPECT_EQ(text(call_entry(natives::dehex, {str("a%20b%C3%A9%4")})), "a b\xC3\xA9%4");
  EXPECT_EQ(text(call_entry(natives::enhex, {str("a b/\xC3\xA9")})), "a%20b%2F%C3%A9");
  // Other string types keep what a url shows as it is.
  EXPECT_EQ(text(call_entry(natives::enhex, {str("a b/c", TYPE_URL)})), "a%20b/c");
  EXPECT_EQ(type_of(call_entry(natives::dehex, {str("x", TYPE_FILE)})), static_cast<uint32_t>(TYPE_STRING));
}

TEST_F(natives_convert, enbase_and_debase) {
  struct row {
    const char* plain;
    int32_t base;
    const char* coded;
  };
  const row rows[] = {
      {"Hello", 64, "SGVsbG8="},
      {"hello world", 58, "StV1DL6CwTryKyV"},
      {"AB", 16, "4142"},
      {"\x0F", 2, "00001111"},
      {"", 64, ""},
  };
  for (const row& r : rows) {
    // Base 64 also without /base.
    cell coded = r.base == 64 ? call_entry(natives::enbase, {str(r.plain)}, {-1})
                              : call_entry(natives::enbase, {str(r.plain), int_(r.base)}, {1});
    EXPECT_EQ(text(coded), r.coded) << r.plain;
    cell decoded = call_entry(natives::debase, {str(r.coded), int_(r.base)}, {1});
    ASSERT_EQ(TYPE_OF(&decoded), static_cast<uint32_t>(TYPE_BINARY)) << r.coded;
    EXPECT_EQ(bytes(decoded), r.plain);
  }
  // A binary is encoded from its index; a string as its UTF-8.
  cell bin = test::bytes_of("xAB", TYPE_BINARY);
  bin.data1 = 1;
  EXPECT_EQ(text(call_entry(natives::enbase, {bin, int_(16)}, {1})), "4142");
  EXPECT_EQ(text(call_entry(natives::enbase, {str("\xC3\xA9"), int_(16)}, {1})), "C3A9");

  EXPECT_EQ(bytes(call_entry(natives::debase, {str("QUI=")}, {-1})), "AB");
  EXPECT_EQ(bytes(call_entry(natives::debase, {str("0A ff"), int_(16)}, {1})), "\x0A\xFF");
  for (const char* bad : {"Q===", "QUI\xC3\xA9", "%%%%"}) {
    EXPECT_EQ(type_of(call_entry(natives::debase, {str(bad)}, {-1})), static_cast<uint32_t>(TYPE_NONE)) << bad;
  }
  for (int32_t base : {16, 58, 2}) {
    // A character above 127 is a digit of no base.
    EXPECT_EQ(type_of(call_entry(natives::debase, {str("1\xC2\xB2"), int_(base)}, {1})),
              static_cast<uint32_t>(TYPE_NONE)) << base;
  }
  for (int32_t base : {0, 10, 32, -64}) {
    EXPECT_TRUE(test::raises(err::script_invalid_arg, [&] { call_entry(natives::debase, {str("00"), int_(base)}, {1}); }));
    EXPECT_TRUE(test::raises(err::script_invalid_arg, [&] { call_entry(natives::enbase, {str("00"), int_(base)}, {1}); }));
  }
}

TEST_F(natives_convert, to_hex) {
  EXPECT_EQ(molded(call_entry(natives::to_hex, {int_(255)}, {-1})), "#000000FF");
  EXPECT_EQ(molded(call_entry(natives::to_hex, {int_(-1)}, {-1})), "#FFFFFFFF");
  EXPECT_EQ(molded(call_entry(natives::to_hex, {int_(255), int_(2)}, {1})), "#FF");
  EXPECT_EQ(molded(call_entry(natives::to_hex, {int_(255), int_(12)}, {1})), "#000000FF");
  EXPECT_EQ(molded(call_entry(natives::to_hex, {int_(0x1234), int_(1)}, {1})), "#4");
  for (int32_t size : {0, -3}) {
    EXPECT_TRUE(test::raises(err::script_invalid_arg, [&] { call_entry(natives::to_hex, {int_(1), int_(size)}, {1}); }));
  }
}

TEST_F(natives_convert, pairs_points_and_money_from_numbers) {
  EXPECT_EQ(molded(call_entry(natives::as_pair, {flt(1.9), flt(-1.9)})), "1x-1");
  EXPECT_EQ(molded(call_entry(natives::as_pair, {int_(INT32_MIN), flt(2147483647.9)})), "-2147483648x2147483647");
  struct bad {
    cell x;
    error_id error;
  };
  const bad bads[] = {{flt(NAN), err::script_invalid_arg},
                      {flt(-INFINITY), err::script_invalid_arg},
                      {flt(2147483648.0), err::script_out_of_range},
                      {flt(-1e10), err::script_out_of_range}};
  for (const bad& b : bads) {
    EXPECT_TRUE(test::raises(b.error, [&] { call_entry(natives::as_pair, {int_(0), b.x}); }));
    EXPECT_TRUE(test::raises(b.error, [&] { call_entry(natives::as_pair, {b.x, int_(0)}); }));
  }

  EXPECT_EQ(molded(call_entry(natives::as_point2D, {int_(1), flt(2.5)})), "(1, 2.5)");
  EXPECT_EQ(molded(call_entry(natives::as_point3D, {int_(1), flt(2.5), int_(-3)})), "(1, 2.5, -3)");
  // Beyond the float32 range a coordinate is the infinity of its sign.
  cell far = call_entry(natives::as_point3D, {flt(1e300), flt(-1e300), flt(NAN)});
  EXPECT_EQ(point2D::coordinate(&far, 0), INFINITY);
  EXPECT_EQ(point2D::coordinate(&far, 1), -INFINITY);
  EXPECT_TRUE(std::isnan(point2D::coordinate(&far, 2)));

  EXPECT_EQ(molded(call_entry(natives::as_money, {test::word_of("usd"), int_(12)})), "USD$12.00");
  EXPECT_EQ(molded(call_entry(natives::as_money, {test::word_of("EUR"), flt(-1.5)})), "-EUR$1.50");
  EXPECT_TRUE(test::raises(err::script_bad_denom, [] { call_entry(natives::as_money, {test::word_of("xyz"), int_(1)}); }));
  EXPECT_TRUE(test::raises(err::script_bad_make_arg, [] { call_entry(natives::as_money, {test::word_of("USD"), flt(1e17)}); }));
}

TEST_F(natives_convert, as_retypes_within_a_class_sharing_the_buffer) {
  cell f = str("f", TYPE_FILE);
  cell s = call_entry(natives::as, {datatype::make_cell(TYPE_STRING), f});
  ASSERT_EQ(TYPE_OF(&s), static_cast<uint32_t>(TYPE_STRING));
  EXPECT_EQ(s.data2, f.data2);
  string::append_char(memory::GET_BUFFER(&s), 'x');
  EXPECT_EQ(text(f), "fx");

  // An example value gives the type; flags stay.
  cell marked = test::block_of({int_(1)});
  marked.header |= NEWLINE_FLAG;
  cell p = call_entry(natives::as, {test::block_of({}), marked});
  EXPECT_EQ(p.header, TYPE_BLOCK | NEWLINE_FLAG);
  set_type(&marked, TYPE_PAREN);
  EXPECT_EQ(type_of(call_entry(natives::as, {datatype::make_cell(TYPE_PATH), marked})), static_cast<uint32_t>(TYPE_PATH));
  EXPECT_EQ(type_of(call_entry(natives::as, {str("", TYPE_TAG), str("a")})), static_cast<uint32_t>(TYPE_TAG));

  EXPECT_TRUE(test::raises(err::script_not_same_class,
                           [&] { call_entry(natives::as, {datatype::make_cell(TYPE_STRING), test::block_of({})}); }));
  EXPECT_TRUE(test::raises(err::script_not_same_class,
                           [&] { call_entry(natives::as, {datatype::make_cell(TYPE_BINARY), str("a")}); }));
}

TEST_F(natives_convert, uppercase_and_lowercase_change_strings_in_place) {
  cell s = str("abc\xC3\xA9");
  cell up = call_entry(natives::uppercase, {s}, {-1});
  EXPECT_EQ(up.data2, s.data2);
  EXPECT_EQ(text(s), "ABC\xC3\x89");
  call_entry(natives::lowercase, {s, int_(2)}, {1});
  EXPECT_EQ(text(s), "abC\xC3\x89");
  cell tail = s;
  tail.data1 = 3;
  call_entry(natives::lowercase, {s, tail}, {1});
  EXPECT_EQ(text(s), "abc\xC3\x89");
  EXPECT_EQ(call_entry(natives::uppercase, {test::chr('q')}, {-1}).data2, static_cast<uint32_t>('Q'));
  EXPECT_TRUE(test::raises(err::script_invalid_refine_arg, [&] { call_entry(natives::uppercase, {s, flt(1.0)}, {1}); }));
}

TEST_F(natives_convert, new_line_markers) {
  cell blk = test::block_of({int_(1), int_(2), int_(3), int_(4), int_(5)});
  auto markers = [&] {
    std::string out;
    for (uint32_t i = 0; i < 5; ++i) {
      cell at = blk;
      at.data1 = i;
      out += call_entry(natives::new_line_q, {at}).data1 ? '1' : '0';
    }
    return out;
  };
  cell at2 = blk;
  at2.data1 = 1;
  cell result = call_entry(natives::new_line, {at2, logic::true_value}, {-1, -1});
  EXPECT_EQ(result.data1, 1u);
  EXPECT_EQ(markers(), "01000");
  call_entry(natives::new_line, {blk, logic::true_value, int_(2)}, {-1, 2});
  EXPECT_EQ(markers(), "10101");
  call_entry(natives::new_line, {blk, logic::false_value, int_(2)}, {-1, 2});
  EXPECT_EQ(markers(), "01010");
  call_entry(natives::new_line, {at2, logic::true_value}, {2, -1});
  EXPECT_EQ(markers(), "01111");
  call_entry(natives::new_line, {blk, logic::false_value}, {2, -1});
  EXPECT_EQ(markers(), "00000");
  cell past = blk;
  past.data1 = 5;
  call_entry(natives::new_line, {past, logic::true_value}, {-1, -1});
  EXPECT_FALSE(call_entry(natives::new_line_q, {past}).data1);
  EXPECT_TRUE(test::raises(err::script_out_of_range,
                           [&] { call_entry(natives::new_line, {blk, logic::true_value, int_(0)}, {-1, 2}); }));
}

TEST_F(natives_convert, construct_makes_an_object_without_evaluating) {
  cell spec = test::block_of({word("a", TYPE_SET_WORD), int_(1), word("b", TYPE_SET_WORD), word("c", TYPE_SET_WORD),
                              word("true"), word("d", TYPE_SET_WORD), word("x")});
  EXPECT_EQ(molded(call_entry(natives::construct, {spec}, {-1, -1})), "make object! [\n    a: 1\n    b: true\n    c: true\n    d: 'x\n]");
  EXPECT_EQ(molded(call_entry(natives::construct, {spec}, {-1, 1})), "make object! [\n    a: 1\n    b: 'true\n    c: 'true\n    d: 'x\n]");
}

}  // namespace
}  // namespace ixo
