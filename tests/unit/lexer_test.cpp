// The lexer's structure and its rows: source text, the mold of the values it
// loads, and the syntax errors of bad text.
#include "support/lexer.hpp"

namespace ixo::test {
namespace {

using lexer_structure = lexer_runtime;

struct row_case {
  const char* source;
  const char* molded;
};

const row_case structure_rows[] = {
      {"", ""},
      {"a b c", "a b c"},
      {"[1 2 [3]] (a) []", "[1 2 [3]] (a) []"},
      {"a: :b 'c /d #e", "a: :b 'c /d #e"},
      {"a/b/c 'a/b :a/b a/b: a/(b)/c", "a/b/c 'a/b :a/b a/b: a/(b)/c"},
      {"a/1/2.5/\"s\"", "a/1/2.5/\"s\""},
      {"+ - * / // < <= <> > >= = == % ->", "+ - * / // < <= <> > >= = == % ->"},
      {"x ; comment\ny", "x\ny"},
};

const row_case string_rows[] = {
      {"\"abc\" {a {b} c}", "\"abc\" \"a {b} c\""},
      {"{a^/b}", "\"a^/b\""},
      {"\"a^(line)b^(tab)\"", "\"a^/b^-\""},
      {"%%{a}%b}%%", "\"a}%b\""},
      {"#\"a\" #\"^(line)\" #\"^/\" #\"^(41)\" #\"é\"", "#\"a\" #\"^/\" #\"^/\" #\"A\" #\"é\""},
      {"<a href=\"x>y\"> %a/b.txt %\"a b\" @ref joe@example.com http://h.com/a%20b",
       "<a href=\"x>y\"> %a/b.txt %\"a b\" @ref joe@example.com http://h.com/a%20b"},
      {"#[a 1 \"b\" 2]", "#[\n    a: 1\n    \"b\" 2\n]"},
      {"#(none) #(true) #(integer!) #(integer)", "none true integer! integer!"},
};

const row_case number_rows[] = {
      {"0 -0 1'000 2147483647 -2147483648", "0 0 1000 2147483647 -2147483648"},
      {"2147483648 12345678901", "2147483648.0 12345678901.0"},
      {"12h FFh 1.5 .5 1. 1e3 -2.5E-2", "18 255 1.5 0.5 1.0 1000.0 -0.025"},
      {"1.#INF -1.#inf 12.5% 1x2 -3X-4", "1.#INF -1.#INF 12.5% 1x2 -3x-4"},
      {"1.2.3 255.0.0.128", "1.2.3 255.0.0.128"},
      {"1:30 1:30.5 -0:01:30 1:02:03.5", "1:30:00 0:01:30.5 -0:01:30 1:02:03.5"},
      {"$1.10 USD$1'234.50 -$2", "$1.10 USD$1234.50 -$2.00"},
      {"15-Jan-2020 2020-01-15 15/1/2020", "15-Jan-2020 15-Jan-2020 15-Jan-2020"},
      {"1-Jan-2020/10:00+2:00", "1-Jan-2020/10:00:00+02:00"},
      {"2021-W01-1 2020-032 20200115T1030Z", "4-Jan-2021 1-Feb-2020 15-Jan-2020/10:30:00"},
  {"2021-W01-1 2020-032 20200115T1030Z", "4-Jan-2021 1-Feb-2020 15-Jan-2020/10:30:00"},
      {"(1, 2) (1.5, -2, 3)", "(1, 2) (1.5, -2, 3)"},
      {"#{0AFF} 2#{00000001} 64#{QUI=}", "#{0AFF} #{01} #{4142}"},
};

const row_case blank_rows[] = {
      {"\xEF\xBB\xBF" "a", "a"},
      {"\x01\x02\x08\x0B\x0C\x0E\x1F" "a\tb\r\nc", "a b\nc"},
      {"\xC2\xA0" "word", "word"},
      {"ab\xE2\x80\x83" "cd", "ab cd"},
      {"a\0b", "a"},
};

template <size_t N>
void expect_rows(const row_case (&cases)[N]) {
  for (const row_case& c : cases) {
    std::optional<error_id> e;
    std::string text;
    e = raised([&] { text = loaded(c.source); });
    if (e) keep_raised_args();
    EXPECT_FALSE(e) << c.source << " raised " << (e ? raised_arg(e->index == 2 ? 2 : 1) : "");
    EXPECT_EQ(text, c.molded) << c.source;
  }
}

TEST_F(lexer_structure, blocks_parens_and_words) {
  expect_rows(structure_rows);
}

}  // namespace
}  // namespace ixo::test

namespace ixo::test {
namespace {

using lexer_rows = lexer_runtime;

TEST_F(lexer_rows, strings_chars_and_escapes) {
  expect_rows(string_rows);
}

TEST_F(lexer_rows, numbers) {
  expect_rows(number_rows);
}

struct error_case {
  const char* source;
  error_id id;
  const char* arg2;  // molded
};

TEST_F(lexer_rows, bad_tokens_raise_their_syntax_error) {
  const error_case cases[] = {
      {"1''0", err::syntax_invalid, "integer!"},
      {"29-Feb-2021", err::syntax_invalid, "date!"},
      {"011000000-001", err::syntax_invalid, "date!"},
      {"$1.123456", err::syntax_invalid, "money!"},
      {"1.2..3", err::syntax_invalid, "tuple!"},
      {"1.2.256", err::syntax_invalid, "tuple!"},
      {"1.5x2", err::syntax_invalid, "pair!"},
      {"#", err::syntax_invalid, "issue!"},
      {"#\"\"", err::syntax_invalid, "char!"},
      {"#{ABC}", err::syntax_invalid, "binary!"},
      {"#{AZ}", err::syntax_invalid, "binary!"},
      {"\"a\nb\"", err::syntax_invalid, "string!"},
      {"{abc", err::syntax_invalid, "string!"},
      {"'a:", err::syntax_invalid, "lit-word!"},
      {"a,b", err::syntax_invalid, "word!"},
      {"1,2", err::syntax_invalid, "point2D!"},
      {"#[a]", err::syntax_invalid, "map!"},
  };
  for (const error_case& c : cases) {
    auto e = load_error(c.source);
    ASSERT_TRUE(is(e, c.id)) << c.source;
    EXPECT_EQ(raised_arg(1), c.arg2) << c.source;
  }
  EXPECT_TRUE(is(load_error("#(foo)"), err::syntax_malconstruct));
  EXPECT_TRUE(is(load_error("\x7F"), err::syntax_bad_char));
  EXPECT_TRUE(is(load_error("a \xC0"), err::syntax_bad_char));
  // bytes that are not UTF-8 show in the error text as replacement characters
  ASSERT_TRUE(load_error("/" + std::string(40, '\x8F')));
  std::string replaced;
  for (int32_t i = 0; i < 29; ++i) replaced += "\xEF\xBF\xBD";
  EXPECT_EQ(raised_arg(2), "\"/" + replaced + "\"");
}

TEST_F(lexer_structure, missing_delimiters_name_the_line_and_text) {
  ASSERT_TRUE(is(load_error("[1 2"), err::syntax_missing));
  EXPECT_EQ(raised_arg(0), "\"(line 1)\"");
  EXPECT_EQ(raised_arg(1), "#\"]\"");
  EXPECT_EQ(raised_arg(2), "\"[1 2\"");
  ASSERT_TRUE(is(load_error("(1]"), err::syntax_missing));
  EXPECT_EQ(raised_arg(1), "#\")\"");
  EXPECT_EQ(raised_arg(2), "\"]\"");
  ASSERT_TRUE(is(load_error("a\n{x\ny}\n[1"), err::syntax_missing));
  EXPECT_EQ(raised_arg(0), "\"(line 4)\"");
  ASSERT_TRUE(is(load_error("x ]"), err::syntax_missing));
  EXPECT_EQ(raised_arg(1), "#\"[\"");
  // the text stops at 30 bytes of whole characters
  ASSERT_TRUE(is(load_error("[" + std::string(40, 'a')), err::syntax_missing));
  EXPECT_EQ(raised_arg(2), "\"[" + std::string(29, 'a') + "\"");
  EXPECT_EQ(lexer::depth(), 0);
}

TEST_F(lexer_structure, blanks_controls_spaces_and_bom) {
  expect_rows(blank_rows);
}

}  // namespace
}  // namespace ixo::test

namespace ixo::test {
namespace {

// What a value molds to loads back to a value that molds the same.
TEST_F(lexer_rows, molded_values_load_back_to_the_same_mold) {
  auto check = [](const row_case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      std::string once = loaded(cases[i].source);
      std::string twice;
      auto e = raised([&] { twice = loaded(once); });
      EXPECT_FALSE(e) << once;
      EXPECT_EQ(twice, once) << cases[i].source;
    }
  };
  check(structure_rows, std::size(structure_rows));
  check(string_rows, std::size(string_rows));
  check(number_rows, std::size(number_rows));
}

}  // namespace
}  // namespace ixo::test
