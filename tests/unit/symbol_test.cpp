#include <gtest/gtest.h>

#include <string>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/roots.hpp"
#include "support/runtime.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

class symbols : public ::testing::Test {
 protected:
  void SetUp() override { test::start_words(); }

  static int32_t entries() { return test::cell_count(hashtable::record_of(symbol::table)->block); }

  static std::string name_of(int32_t id) {
    cell name{TYPE_STRING, 0, symbol::get_c_string(id), 0};
    return test::text_of(&name);
  }

  static std::string bytes_of(int32_t id) {
    memory::series_buffer* b = memory::buffer_of(symbol::entry_of(id)->data3);
    return std::string(memory::head_of<char>(b), memory::tail_of<char>(b));
  }
};

TEST_F(symbols, case_variants_alias_the_first_spelling_and_repeats_add_nothing) {
  int32_t before = entries();
  int32_t foo = symbol::make("quux"), Foo = symbol::make("Quux"), FOO = symbol::make("QUUX");
  EXPECT_NE(foo, Foo);
  EXPECT_NE(Foo, FOO);
  EXPECT_EQ(symbol::get_alias(foo), -1);
  EXPECT_EQ(symbol::get_alias(Foo), foo);
  EXPECT_EQ(symbol::get_alias(FOO), foo);
  for (int32_t id : {foo, Foo, FOO}) EXPECT_EQ(symbol::resolve(id), foo);
  EXPECT_EQ(symbol::make("Quux"), Foo);
  EXPECT_EQ(entries(), before + 3);

  // make_exact finds the first spelling of the letters and adds nothing.
  EXPECT_EQ(symbol::make_exact("qUUx"), foo);
  EXPECT_EQ(entries(), before + 3);
  int32_t fresh = symbol::make_exact("Zorp");
  EXPECT_EQ(symbol::get_alias(fresh), -1);
  EXPECT_EQ(symbol::get_alias(symbol::make("zorp")), fresh);  // the first spelling, whatever its case
  EXPECT_EQ(bytes_of(fresh), "Zorp");
}

TEST_F(symbols, spellings_are_kept_exactly_and_nul_terminated) {
  for (const char* text : {"", "x", "tag-name?", "\xC3\xA9t\xC3\xA9"}) {
    int32_t id = symbol::make(text);
    EXPECT_EQ(bytes_of(id), text);
    memory::series_buffer* b = memory::buffer_of(symbol::entry_of(id)->data3);
    EXPECT_EQ(*memory::tail_of(b), 0) << text;
    EXPECT_STREQ(reinterpret_cast<const char*>(memory::head_of(b)), text);
  }
  // Letters beyond ASCII are not folded when interning.
  EXPECT_EQ(symbol::get_alias(symbol::make("\xC3\x89T\xC3\x89")), -1);
}

TEST_F(symbols, strings_intern_from_their_index_and_within_their_length) {
  cell s{};
  memory::root_guard keep(&s);
  const char text[] = "pre-\xD0\xB6uk-post";  // a UCS-2 string
  string::load_at(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, &s, string::LOAD_UTF8);
  s.data1 = 4;
  EXPECT_EQ(symbol::make_from_string(&s, 3), symbol::make("\xD0\xB6uk"));
  EXPECT_EQ(symbol::make_from_string(&s, -1), symbol::make("\xD0\xB6uk-post"));
}

TEST_F(symbols, name_strings_are_built_once_on_demand) {
  int32_t id = symbol::make("na\xC3\xAFve");
  EXPECT_EQ(symbol::entry_of(id)->data2, 0u);
  uint32_t name = symbol::get(id)->data2;
  EXPECT_NE(name, 0u);
  EXPECT_EQ(symbol::get_c_string(id), name);
  EXPECT_EQ(name_of(id), "na\xC3\xAFve");

  // A name that fills its buffer grows by a byte for the zero.
  int32_t full = symbol::make("sixteen-letters!");
  memory::series_buffer* b = memory::buffer_of(symbol::get_c_string(full));
  ASSERT_EQ(memory::tail_of(b), memory::data_end(b));
  EXPECT_STREQ(reinterpret_cast<const char*>(symbol::get_name_head(full)), "sixteen-letters!");
  EXPECT_EQ(name_of(full), "sixteen-letters!");
}

TEST_F(symbols, spellings_compare_as_text) {
  struct row { const char *a, *b; int32_t op, answer; };
  const row rows[] = {
      {"abc", "ABC", COMP_EQUAL, 0},       {"abc", "ABC", COMP_STRICT_EQUAL, 1},
      {"abc", "abd", COMP_LESSER, -1},     {"ab", "abc", COMP_LESSER, -1},
      {"abc", "ab", COMP_SORT, 1},         {"ab", "abc", COMP_EQUAL, 1},
      {"", "a", COMP_SORT, -1},            {"a", "", COMP_SORT, 1},
      {"\xC3\xA9", "\xC3\x89", COMP_EQUAL, 0},  // folded beyond ASCII
      {"\xC3\xA9", "\xC3\x89", COMP_CASE_SORT, 1},
      {"abc", "abc", COMP_SAME, 0},        {"abc", "ABC", COMP_SAME, -1},
  };
  for (const row& r : rows) {
    cell a = *symbol::entry_of(symbol::make(r.a)), b = *symbol::entry_of(symbol::make(r.b));
    EXPECT_EQ(actions::compare_raw(&a, &b, r.op), r.answer) << r.a << " " << r.b << " " << r.op;
  }
  cell a = *symbol::entry_of(symbol::make("a")), number{TYPE_INTEGER, 0, 1, 0};
  EXPECT_EQ(actions::compare_raw(&a, &number, COMP_EQUAL), COMPARE_NONE);
}

}  // namespace
}  // namespace ixo
