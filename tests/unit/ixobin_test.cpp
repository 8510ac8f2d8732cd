// Ixobin: exact bytes of both layouts, round trips of every datatype with a
// record, shared series and cycles, objects and functions with their bound
// words, and corrupt data (every truncation of a valid encoding included).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "support/blocks.hpp"
#include "support/child.hpp"
#include "support/raised.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::arg;
using test::integer_value;
using test::is;
using test::keep;
using test::raised;
using test::word_of;

using bytes = std::vector<uint8_t>;

void noop_routine() {}

struct ixobin_suite : ::testing::Test {
  void SetUp() override {
    test::start_words();
    test::fresh_arguments();
  }

  static bytes encoded(const cell& value, bool compact) {
    cell v = value;
    memory::root_guard keep_v(&v);
    cell* bin = compact ? ixobin::encode_compact(&v) : ixobin::encode(&v);
    bytes out(binary::rs_head(bin), binary::rs_tail(bin));
    stack::pop(1);
    return out;
  }
  // The block of the values decoded from the bytes.
  static cell decoded(const bytes& data) {
    cell target = keep(test::block_of({}));
    ixobin::decode(data.data(), static_cast<int32_t>(data.size()), &target, true);
    return target;
  }
  static cell first_of(const cell& block) { return *block::rs_abs_at(&block, 0); }
  static cell round_trip(const cell& value, bool compact) { return keep(first_of(decoded(encoded(value, compact)))); }

  static cell text(const char* s, uint32_t type = TYPE_STRING) {
    cell c = test::text_value(s);
    set_type(&c, type);
    return keep(c);
  }
  static cell float_of(double d, uint32_t type = TYPE_FLOAT) {
    cell c{type, 0, 0, 0};
    set_float(&c, d);
    return c;
  }
  static cell w(const char* s, uint32_t type = TYPE_WORD) { return word_of(type, s); }
  static std::string hex(const bytes& b) {
    std::string out;
    char buf[4];
    for (uint8_t x : b) {
      std::snprintf(buf, sizeof buf, "%02X", x);
      out += buf;
    }
    return out;
  }
  static bytes tail_bytes(const bytes& b, size_t from) { return bytes(b.begin() + static_cast<long>(from), b.end()); }
};

// ---- Exact bytes ------------------------------------------------------------------

TEST_F(ixobin_suite, standard_layout_writes_the_documented_bytes) {
  EXPECT_EQ(hex(encoded(none::none_value, false)), "49584F42494E0200" "01000000" "04000000" "03000000");
  cell b = test::block_of({integer_value(1), text("ab")});
  bytes e = encoded(b, false);
  ASSERT_EQ(e.size(), 52u);
  EXPECT_EQ(hex(e), "49584F42494E0200" "01000000" "24000000"
                    "05000000" "00000000" "02000000" "0B000000" "01000000"
                    "07010000" "00000000" "02000000" "61620000");
  // An empty string: unit, index and length, no data.
  EXPECT_EQ(encoded(text(""), false).size(), 16u + 12u);
  // A float is padded to a multiple of 8 from the payload start.
  bytes f = encoded(test::block_of({float_of(1.5)}), false);
  EXPECT_EQ(hex(bytes(f.begin() + 16, f.begin() + 32)), "05000000" "00000000" "01000000" "00000000");
}

TEST_F(ixobin_suite, compact_layout_writes_the_documented_bytes) {
  struct row { cell value; std::string payload; };
  cell tuple4{TYPE_TUPLE | 4u << 19, 0x04030201, 0, 0};
  const row rows[] = {
      {integer_value(63), "BF"},
      {integer_value(64), "0B8001"},
      {integer_value(-1), "0B01"},
      {logic::make_cell(true), "C2"},
      {logic::make_cell(false), "C3"},
      {float_of(3.0), "4C06"},
      {float_of(1.5), "0C000000000000F83F"},
      {float_of(-0.0), "0C0000000000000080"},
      {float_of(0.5, TYPE_PERCENT), "6664"},
      {float_of(0.125, TYPE_PERCENT), "26000000000000C03F"},
      {cell{TYPE_TUPLE | 3u << 19, 0x030201, 0, 0}, "27010203"},
      {tuple4, "670401020304"},
      {cell{TYPE_TYPESET, 0, 0, 0}, "2100"},
      {cell{TYPE_BLOCK, 2, test::ints({1, 2, 3}).data2, 0}, "4502038182 83"},
  };
  for (const row& r : rows) {
    bytes e = encoded(r.value, true);
    std::string want = r.payload;
    want.erase(std::remove(want.begin(), want.end(), ' '), want.end());
    EXPECT_EQ(hex(tail_bytes(e, 10)), want) << hex(e);
  }
  bytes e = encoded(test::block_of({integer_value(1), text("ab")}), true);
  EXPECT_EQ(hex(e), "49584F42494E020101070502810708" "6162");
}

// ---- Round trips ---------------------------------------------------------------------

struct ixobin_round_trip : ixobin_suite {
  // One value of every datatype with a record.
  std::vector<cell> samples() {
    std::vector<cell> v;
    v.push_back(datatype::make_cell(TYPE_BLOCK));
    v.push_back(unset::unset_value);
    v.push_back(none::none_value);
    v.push_back(logic::make_cell(true));
    v.push_back(logic::make_cell(false));
    v.push_back(test::block_of({integer_value(1), w("x"), test::block_of({})}));
    v.push_back(test::block_of({integer_value(1)}, TYPE_PAREN));
    v.push_back(text("h\xC3\xA9llo"));
    v.push_back(text("wide \xE2\x82\xAC"));
    v.push_back(text("\xF0\x9F\x98\x80 4 bytes"));
    v.push_back(text("dir/file.txt", TYPE_FILE));
    v.push_back(text("http://example.org", TYPE_URL));
    v.push_back(cell{TYPE_CHAR, 0, 0x20AC, 0});
    for (int32_t i : {0, 63, 64, -1, INT32_MIN, INT32_MAX}) v.push_back(integer_value(i));
    for (double d : {0.0, -0.0, 1.5, 3.0, -2147483000.0, 1e300, 0.1}) v.push_back(float_of(d));
    v.push_back(w("alpha"));
    v.push_back(w("beta", TYPE_SET_WORD));
    v.push_back(w("gamma", TYPE_LIT_WORD));
    v.push_back(w("delta", TYPE_GET_WORD));
    v.push_back(w("only", TYPE_REFINEMENT));
    v.push_back(w("tag-like", TYPE_ISSUE));
    v.push_back(test::block_of({w("a"), w("b")}, TYPE_PATH));
    v.push_back(test::block_of({w("a"), w("b")}, TYPE_LIT_PATH));
    v.push_back(test::block_of({w("a"), w("b")}, TYPE_SET_PATH));
    v.push_back(test::block_of({w("a"), w("b")}, TYPE_GET_PATH));
    cell bits = keep(*binary::load(reinterpret_cast<const uint8_t*>("\x81\x42"), 2));
    set_type(&bits, TYPE_BITSET);
    v.push_back(bits);
    v.push_back(cell{TYPE_TYPESET, 0x00204080, 0x01, 0x80000000});
    v.push_back(test::hash_of({integer_value(5), text("k"), integer_value(5)}));
    v.push_back(cell{TYPE_PAIR, 0, static_cast<uint32_t>(-3), 7});
    for (double d : {0.5, 0.125, -0.07}) v.push_back(float_of(d, TYPE_PERCENT));
    v.push_back(cell{TYPE_TUPLE | 3u << 19, 0x030201, 0, 0});
    v.push_back(cell{TYPE_TUPLE | 12u << 19, 0x04030201, 0x08070605, 0x0C0B0A09});
    cell m{};
    {
      memory::root_guard keep_m(&m);
      map::make_at(&m, nullptr, 4);
      cell* spec = arg(test::block_of({w("k", TYPE_SET_WORD), integer_value(1), text("s"), text("v")}));
      map::extend(&m, spec, 0);
    }
    v.push_back(keep(m));
    v.push_back(keep(*binary::load(reinterpret_cast<const uint8_t*>("\x00\xFF\x10"), 3)));
    v.push_back(float_of(3723.5, TYPE_TIME));
    v.push_back(float_of(-60.0, TYPE_TIME));
    v.push_back(text("b", TYPE_TAG));
    v.push_back(text("me@example.org", TYPE_EMAIL));
    v.push_back(cell{TYPE_DATE, 2024u << 17 | 3u << 12 | 5u << 7, 0, 0});
    cell timed{TYPE_DATE, 2024u << 17 | 3u << 12 | 5u << 7 | date::HAS_TIME, 0, 0};
    set_float(&timed, 45296.25);
    v.push_back(timed);
    cell cash{TYPE_MONEY, 0, 0, 0};
    reinterpret_cast<uint8_t*>(&cash.data1)[9] = 0x15;
    v.push_back(cash);
    cash.header |= money::SIGN_FLAG;
    v.push_back(cash);
    v.push_back(text("@someone", TYPE_REF));
    float x = 1.5f, y = -2.25f, z = 1e-3f;
    cell p2{TYPE_POINT2D, 0, 0, 0}, p3{TYPE_POINT3D, 0, 0, 0};
    std::memcpy(&p2.data1, &x, 4);
    std::memcpy(&p2.data2, &y, 4);
    p3 = p2;
    p3.header = TYPE_POINT3D;
    std::memcpy(&p3.data3, &z, 4);
    v.push_back(p2);
    v.push_back(p3);
    cell vec{};
    {
      memory::root_guard keep_vec(&vec);
      vector::make_at(&vec, 3, TYPE_INTEGER, 2);
      for (int32_t i : {1, -2, 300}) {
        cell n = integer_value(i);
        vector::rs_append(&vec, &n);
      }
    }
    v.push_back(keep(vec));
    for (int32_t width : {0, 3}) {
      cell img{};
      memory::root_guard keep_img(&img);
      image::make_at(&img, width, 2);
      if (width) {
        image::pixels_of(&img)[4] = 0x7F102030;
        img.data1 = 1;
      }
      v.push_back(keep(img));
    }
    cell nl = integer_value(7);
    nl.header |= NEWLINE_FLAG;
    v.push_back(test::block_of({nl, text("x"), nl}));
    return v;
  }
};

TEST_F(ixobin_round_trip, every_datatype_with_a_record_survives_both_layouts) {
  std::vector<cell> values = samples();
  for (bool compact : {false, true}) {
    for (const cell& value : values) {
      cell back = round_trip(value, compact);
      std::string want = test::mold_text(value), got = test::mold_text(back);
      EXPECT_EQ(got, want) << "compact " << compact << ", type " << TYPE_OF(&value);
      cell* a = arg(value);
      cell* b = arg(back);
      EXPECT_TRUE(actions::compare(a, b, COMP_STRICT_EQUAL) || TYPE_OF(a) == TYPE_UNSET)
          << want << " compact " << compact;
      EXPECT_EQ(back.header, value.header) << want << " compact " << compact;
    }
  }
}

TEST_F(ixobin_round_trip, the_whole_sample_block_survives_and_new_lines_stay) {
  std::vector<cell> values = samples();
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(values.size()));
  cell all = keep(cell{TYPE_BLOCK, 0, node, 0});
  for (const cell& c : values) block::rs_append(&all, &c);
  for (bool compact : {false, true}) {
    cell back = round_trip(all, compact);
    EXPECT_EQ(test::mold_text(back), test::mold_text(all));
    for (int32_t i = 0; i < static_cast<int32_t>(values.size()); ++i)
      EXPECT_EQ(block::rs_abs_at(&back, i)->header, values[static_cast<size_t>(i)].header) << i;
  }
}

TEST_F(ixobin_suite, a_shared_series_decodes_as_one_series_and_a_cycle_survives) {
  for (bool compact : {false, true}) {
    cell inner = test::block_of({integer_value(1)});
    cell s = text("shared");
    cell at2 = s;
    at2.data1 = 2;
    cell outer = test::block_of({inner, s, inner, at2});
    cell back = round_trip(outer, compact);
    cell* c = memory::head_of<cell>(memory::GET_BUFFER(&back));
    EXPECT_EQ(c[0].data2, c[2].data2) << "one block, written once";
    EXPECT_EQ(c[1].data2, c[3].data2) << "one string";
    EXPECT_EQ(c[3].data1, 2u);

    cell self = test::block_of({integer_value(1)});
    block::rs_append(&self, &self);
    cell again = round_trip(self, compact);
    EXPECT_EQ(block::rs_abs_at(&again, 1)->data2, again.data2) << "the block holds itself";
  }
}

TEST_F(ixobin_suite, objects_keep_their_words_bound_and_share_their_context) {
  cell* spec = arg(test::block_of({w("a", TYPE_SET_WORD), integer_value(1), w("b", TYPE_SET_WORD), text("x")}));
  cell obj = keep(*object::construct(spec, nullptr, false, arg(none::none_value)));
  cell a = w("a");
  int32_t slot = object::find_word(&obj, &a);
  ASSERT_GE(slot, 0);
  cell bound{TYPE_WORD, obj.data1, a.data2, static_cast<uint32_t>(slot)};
  for (bool compact : {false, true}) {
    cell back = round_trip(test::block_of({bound, obj, bound}), compact);
    cell* c = memory::head_of<cell>(memory::GET_BUFFER(&back));
    EXPECT_EQ(TYPE_OF(&c[1]), TYPE_OBJECT);
    EXPECT_EQ(c[0].data1, c[1].data1) << "the word's context is the object's";
    EXPECT_EQ(c[2].data1, c[1].data1);
    EXPECT_EQ(word::get_value(&c[0])->data2, 1u);
    cell o = c[1];
    EXPECT_EQ(test::mold_text(o), test::mold_text(obj));
    // Two objects over one context: the second is a reference.
    cell twice = round_trip(test::block_of({obj, obj}), compact);
    EXPECT_EQ(block::rs_abs_at(&twice, 0)->data1, block::rs_abs_at(&twice, 1)->data1);
  }
}

TEST_F(ixobin_suite, functions_keep_their_body_bound_to_their_context) {
  cell* spec = arg(test::block_of({w("a"), w("b")}));
  cell* body = arg(test::block_of({w("a"), w("b"), integer_value(2)}));
  function::push(spec, body, 0, function::validate(spec));
  cell f = keep(*stack::top_cell());
  for (bool compact : {false, true}) {
    cell back = round_trip(test::block_of({f, f}), compact);
    cell g = *block::rs_abs_at(&back, 0);
    EXPECT_EQ(TYPE_OF(&g), TYPE_FUNCTION);
    EXPECT_EQ(test::mold_text(g), test::mold_text(f));
    cell more{TYPE_BLOCK, 0, g.data3, 0};
    cell decoded_body = *block::rs_abs_at(&more, 0);
    EXPECT_EQ(block::rs_abs_at(&decoded_body, 0)->data1, g.data1) << "body words bound to the function";
    EXPECT_EQ(block::rs_abs_at(&back, 1)->data1, g.data1) << "the second occurrence is the same function";
    EXPECT_EQ(context::owner_cell(g.data1)->data3, g.data3);
  }
}

TEST_F(ixobin_suite, global_words_keep_their_spelling_type_line_and_slot) {
  // A spelling met again and its case variants decode to the slot of their
  // letters, each with its own symbol, type and new-line flag.
  struct { const char* spelling; uint32_t type; bool new_line; } rows[] = {
      {"foo", TYPE_WORD, false},      {"Foo", TYPE_WORD, true},         {"foo", TYPE_SET_WORD, false},
      {"bar", TYPE_LIT_WORD, true},   {"FOO", TYPE_GET_WORD, false},    {"foo", TYPE_REFINEMENT, true},
      {"bar", TYPE_WORD, false},
  };
  cell all = keep(test::block_of({}));
  for (const auto& row : rows) {
    cell c = *word::load(row.spelling);
    c.header = row.type | (row.new_line ? NEWLINE_FLAG : 0);
    block::rs_append(&all, &c);
  }
  for (bool compact : {false, true}) {
    cell back = round_trip(all, compact);
    ASSERT_EQ(block::rs_length_q(&back), block::rs_length_q(&all));
    for (int32_t i = 0; i < block::rs_length_q(&all); ++i) {
      const cell* a = block::rs_abs_at(&all, i);
      const cell* b = block::rs_abs_at(&back, i);
      EXPECT_EQ(b->header, a->header) << i;
      EXPECT_EQ(b->data1, context::global_ctx) << i;
      EXPECT_EQ(b->data2, a->data2) << i;
      EXPECT_EQ(b->data3, a->data3) << i;
    }
  }
}

TEST_F(ixobin_suite, natives_actions_ops_routines_and_errors_round_trip) {
  native::init();
  cell* nspec = arg(test::block_of({test::block_of({w("value")}), integer_value(12)}));
  cell nat = keep(*native::make_value(arg(cell{TYPE_NATIVE, 0, 0, 0}), nspec, TYPE_NATIVE));
  cell* aspec = arg(test::block_of({test::block_of({w("value1"), w("value2")}), integer_value(11)}));
  cell act = keep(*native::make_value(arg(cell{TYPE_ACTION, 0, 0, 0}), aspec, TYPE_ACTION));
  cell* act_arg = arg(act);
  cell op = keep(*datatype::action_of<make_fn>(TYPE_OP, ACT_MAKE)(arg(cell{TYPE_OP, 0, 0, 0}), act_arg, TYPE_OP));
  cell rspec = test::block_of({w("a")});
  cell rout = keep(*routine::push("ixobin-test-noop", &rspec, noop_routine));
  cell err{};
  {
    memory::root_guard keep_err(&err);
    error::create(err::script_no_value, {w("thing")}, &err);
  }
  keep(err);
  for (bool compact : {false, true}) {
    for (const cell& v : {nat, act, op, rout, err}) {
      cell back = round_trip(v, compact);
      EXPECT_EQ(TYPE_OF(&back), TYPE_OF(&v));
      EXPECT_EQ(back.data1 == v.data1, TYPE_OF(&v) != TYPE_ROUTINE && TYPE_OF(&v) != TYPE_ERROR);
      EXPECT_EQ(test::mold_text(back), test::mold_text(v)) << "compact " << compact;
    }
    cell r = round_trip(rout, compact);
    cell more{TYPE_BLOCK, 0, r.data3, 0};
    EXPECT_EQ(routine::entry_of(static_cast<int32_t>(block::rs_abs_at(&more, 2)->data2)), &noop_routine);
  }
}

// ---- Errors ----------------------------------------------------------------------------

TEST_F(ixobin_suite, values_without_a_record_raise_no_codec_and_the_next_write_starts_clean) {
  cell handle{TYPE_HANDLE, 1, 5, static_cast<uint32_t>(-1)};
  cell block = test::block_of({integer_value(1), handle});
  for (bool compact : {false, true}) {
    EXPECT_TRUE(is(raised([&] { encoded(block, compact); }), err::access_no_codec));
    EXPECT_EQ(encoded(none::none_value, compact), encoded(none::none_value, compact));
    EXPECT_EQ(hex(tail_bytes(encoded(none::none_value, compact), compact ? 10 : 16)), compact ? "03" : "03000000");
  }
  // Found in data, such a type names its datatype.
  bytes data = encoded(test::block_of({integer_value(1)}), true);
  data.back() = 31;  // triple! where the integer was
  EXPECT_TRUE(is(raised([&] { decoded(data); }), err::access_no_codec));
}

TEST_F(ixobin_suite, corrupt_data_raises_invalid_record_with_its_position) {
  struct row { std::string name; bytes data; error_id error; int32_t position; };
  auto compact = [](std::initializer_list<uint8_t> payload, uint8_t flags = 1) {
    bytes b{'I', 'X', 'O', 'B', 'I', 'N', 2, flags, 1, static_cast<uint8_t>(payload.size())};
    b.insert(b.end(), payload);
    return b;
  };
  const row rows[] = {
      {"bad magic", {'I', 'X', 'O', 'B', 'I', 'X', 2, 0}, err::script_invalid_data, 0},
      {"standard header cut short", {'I', 'X', 'O', 'B', 'I', 'N', 2, 0, 1, 0, 0}, err::script_invalid_data, 0},
      {"logic header byte", compact({0x04}), err::script_ix_invalid_record, 11},
      {"reference before an integer tag", compact({0xC1, 0x81}), err::script_ix_invalid_record, 12},
      {"unknown tag", compact({0xC5}), err::script_ix_invalid_record, 11},
      {"define outside the boot image", compact({0xC4, 0x0F, 0x00}), err::script_ix_invalid_record, 11},
      {"datatype id 0", compact({0x00}), err::script_ix_invalid_record, 11},
      {"datatype! of a type not registered", compact({0x01, 55}), err::script_ix_invalid_record, 12},
      {"string unit code 3", compact({0x07, 0x07}), err::script_ix_invalid_record, 12},
      {"block count past the end", compact({0x05, 0x05, 0x81}), err::script_ix_invalid_record, 12},
      {"word without a symbol table", compact({0x0F, 0x00}), err::script_ix_invalid_record, 12},
      {"tuple of 13 bytes", compact({0x67, 13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}),
       err::script_ix_invalid_record, 12},
      {"typeset of 13 bytes", compact({0x21, 13}), err::script_ix_invalid_record, 12},
      {"path leads nowhere", compact({0x05, 0x01, 0xC1, 0x05, 0x01, 0x09}), err::script_ix_invalid_record, 15},
      {"path of no index", compact({0x05, 0x01, 0xC1, 0x05, 0x00}), err::script_ix_invalid_record, 15},
      {"copy of an integer as a block", compact({0x05, 0x02, 0x81, 0xC1, 0x05, 0x02, 0x00, 0x00}),
       err::script_ix_invalid_record, 16},
      {"action slot 8", compact({0x16, 0x08, 0x05, 0x00}), err::script_ix_invalid_record, 12},
      {"image pixels past the end", compact({0x35, 0x02, 0x02, 0x00}), err::script_ix_invalid_record, 12},
      {"image wider than 65535", compact({0x35, 0x80, 0x80, 0x04, 0x00}), err::script_ix_invalid_record, 12},
      {"image reference to a block", compact({0x05, 0x02, 0x81, 0xC1, 0x35, 0x01, 0x00}),
       err::script_ix_invalid_record, 16},
      {"date with month 13", compact({0x2F, 0x80, 0xD0, 0x00, 0x00}), err::script_ix_invalid_record, 12},
      {"date whose time flag disagrees", compact({0x6F, 0x80, 0x32, 0x00, 0x00}), err::script_ix_invalid_record, 12},
      {"six-byte varint", {'I', 'X', 'O', 'B', 'I', 'N', 2, 1, 1, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00},
       err::script_ix_invalid_record, 10},
      {"payload past the end", {'I', 'X', 'O', 'B', 'I', 'N', 2, 1, 1, 0x09, 0x03}, err::script_ix_invalid_record, 10},
  };
  for (const row& r : rows) {
    auto e = raised([&] { decoded(r.data); });
    EXPECT_TRUE(is(e, r.error)) << r.name;
    if (r.position && is(e, err::script_ix_invalid_record)) {
      EXPECT_EQ(static_cast<int32_t>(last_raised.args[0].data2), r.position) << r.name;
    }
  }
}

TEST_F(ixobin_suite, a_nesting_deeper_than_the_limit_is_refused_both_ways) {
  bytes data{'I', 'X', 'O', 'B', 'I', 'N', 2, 1, 1};
  std::vector<uint8_t> payload;
  for (int i = 0; i < 5000; ++i) {
    payload.push_back(0x05);
    payload.push_back(0x01);
  }
  payload.push_back(0x81);
  data.push_back(static_cast<uint8_t>(payload.size() | 0x80));
  data.push_back(static_cast<uint8_t>(payload.size() >> 7));
  data.insert(data.end(), payload.begin(), payload.end());
  EXPECT_TRUE(is(raised([&] { decoded(data); }), err::script_ix_invalid_record));

  cell deep = test::block_of({});
  for (int i = 0; i < 1100; ++i) deep = test::block_of({deep});
  EXPECT_TRUE(is(raised([&] { encoded(deep, true); }), err::internal_too_deep));
}

// Every prefix of a valid encoding is an error, never a crash or a value.
TEST_F(ixobin_suite, every_truncation_of_a_valid_encoding_is_an_error) {
  cell* spec = arg(test::block_of({w("a", TYPE_SET_WORD), float_of(2.5), w("b", TYPE_SET_WORD), text("x")}));
  cell obj = keep(*object::construct(spec, nullptr, false, arg(none::none_value)));
  cell a = w("a");
  cell bound{TYPE_WORD, obj.data1, a.data2, static_cast<uint32_t>(object::find_word(&obj, &a))};
  cell inner = test::block_of({integer_value(100000), text("\xE2\x82\xAC")});
  cell img{};
  {
    memory::root_guard keep_img(&img);
    image::make_at(&img, 2, 2);
  }
  keep(img);
  cell value = test::block_of({inner, bound, obj, inner, float_of(0.5, TYPE_PERCENT), w("z"), img, img});
  for (bool compact : {false, true}) {
    bytes full = encoded(value, compact);
    for (size_t n = 0; n < full.size(); ++n) {
      bytes cut(full.begin(), full.begin() + static_cast<long>(n));
      // The payload length stays as written, so the data ends early.
      auto e = raised([&] { decoded(cut); });
      EXPECT_TRUE(is(e, err::script_ix_invalid_record) || is(e, err::script_invalid_data))
          << "compact " << compact << ", " << n << " bytes";
    }
  }
}

TEST_F(ixobin_suite, the_boot_load_appends_to_the_root_block_and_refuses_a_bad_image) {
  bytes image = encoded(test::block_of({integer_value(5), text("boot")}), true);
  ixobin::decode_boot_image(image.data(), static_cast<int32_t>(image.size()));
  cell* first = ixobin::literal_cell(0);
  EXPECT_EQ(TYPE_OF(first), TYPE_BLOCK);
  EXPECT_EQ(test::mold_text(*first), "[5 \"boot\"]");

  test::child_result r = test::run_child([] {
    const uint8_t junk[] = {'N', 'O', 'T', 'I', 'X', 'O', 2, 1, 1, 1, 3};
    ixobin::decode_boot_image(junk, sizeof junk);
  });
  EXPECT_EQ(r.output, "Error: Not a Ixobin file!\n");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace ixo
