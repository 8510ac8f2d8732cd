#include "runtime/datatypes/url.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "support/strings.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::push_ascii;
using test::push_text;
using test::text_of;

struct url_file : ::testing::Test {
  void SetUp() override {
    test::start_words();
    url::init();
    file::init();
    stack::reset();
  }

  static cell* push_utf8(const std::string& utf8, uint32_t type = TYPE_STRING) {
    cell* c = stack::push_slot();
    string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), c,
                    string::LOAD_UTF8);
    set_type(c, type);
    return c;
  }
  static cell* push_buffer() {
    cell* b = stack::push_slot();
    string::rs_make_at(b, 16);
    return b;
  }
  static std::string molded(cell* v, int32_t limit = INT32_MIN, int32_t* left = nullptr) {
    cell* buffer = push_buffer();
    cell* arg = limit == INT32_MIN ? nullptr : test::push_integer(limit);
    auto mold = reinterpret_cast<mold_fn>(actions::get_action(TYPE_OF(v), ACT_MOLD));
    int32_t budget = mold(v, buffer, 0, 0, 0, arg, limit == INT32_MIN ? 1000 : limit, 0);
    if (left) *left = budget;
    return text_of(buffer);
  }
  static std::string formed(cell* v) {
    cell* buffer = push_buffer();
    actions::form(v, buffer, nullptr, INT32_MAX);
    return text_of(buffer);
  }
};

TEST_F(url_file, os_path_collapses_repeated_slashes_only) {
  const std::pair<const char*, const char*> rows[] = {
      {"/c/windows/x", "/c/windows/x"}, {"//x", "/x"},   {"/", "/"},          {"a//b///c", "a/b/c"},
      {"a/b", "a/b"},                   {"", ""},         {"dir/", "dir/"},    {"%41 b", "%41 b"},
  };
  for (const auto& [path, os] : rows) {
    cell* f = push_ascii(path, 1, TYPE_FILE);
    cell* target = push_buffer();
    file::to_OS_path_at(f, target);
    EXPECT_EQ(text_of(target), os) << path;
    EXPECT_EQ(file::to_OS_path(f), os) << path;
  }
  cell* f = push_ascii("x//y//z", 1, TYPE_FILE);
  f->data1 = 2;
  EXPECT_EQ(file::to_OS_path(f), "/y/z");
}

TEST_F(url_file, file_mold_quotes_only_for_ascii_outside_the_keep_set) {
  const std::pair<std::string, std::string> rows[] = {
      {"a b", "%\"a b\""},   {"\xC3\xA9", "%\xC3\xA9"}, {"", "%\"\""},
      {"dir/f.txt", "%dir/f.txt"}, {"a;b", "%\"a;b\""},   {"a%b", "%\"a%b\""},
      {"x\x7F", "%x\x7F"},         {"@!#$&'()*+,-.:=?_~", "%@!#$&'()*+,-.:=?_~"},
  };
  for (const auto& [text, mold] : rows) EXPECT_EQ(molded(push_utf8(text, TYPE_FILE)), mold) << text;

  int32_t left = 0;
  EXPECT_EQ(molded(push_utf8("abcdef", TYPE_FILE), 3, &left), "%abc");
  EXPECT_EQ(left, 3 - 3 - 1);
  cell* past = push_utf8("abc", TYPE_FILE);
  past->data1 = 7;
  EXPECT_EQ(molded(past), "%\"\"");
}

TEST_F(url_file, url_mold_escapes_and_form_does_not) {
  const std::pair<std::string, std::string> rows[] = {
      {"http://a.b/c d", "http://a.b/c%20d"}, {"a%b", "a%25b"},     {"\xC3\xA9", "%C3%A9"},
      {"x<y>\"", "x%3Cy%3E%22"},              {"a@b.c?q=1#f", "a@b.c?q=1#f"},
  };
  for (const auto& [text, mold] : rows) {
    cell* u = push_utf8(text, TYPE_URL);
    EXPECT_EQ(molded(u), mold) << text;
    EXPECT_EQ(formed(u), text);
  }
  EXPECT_EQ(molded(push_utf8("a b c", TYPE_URL), 4), "a%20");
}

TEST_F(url_file, dehex_decodes_whole_characters_and_keeps_the_rest) {
  const std::pair<std::string, std::string> rows[] = {
      {"%41", "A"},           {"%C3%A9", "\xC3\xA9"}, {"%C3", "%C3"},      {"%zz", "%zz"},
      {"%4", "%4"},           {"%", "%"},             {"a%2fb", "a/b"},    {"%E2%82%AC!", "\xE2\x82\xAC!"},
      {"%E2%82", "%E2\xC2\x82"},   {"%C3%28", "%C3("},     {"%A9", "\xC2\xA9"}, {"\xC3\xA9%20", "\xC3\xA9 "},
      {"%F0%9F%98%80", "\xF0\x9F\x98\x80"},
  };
  for (const auto& [text, plain] : rows) {
    cell* s = push_utf8(text);
    cell* target = push_buffer();
    url::decode_hex(s, target);
    EXPECT_EQ(text_of(target), plain) << text;
  }
}

TEST_F(url_file, enhex_keeps_its_mode_set) {
  struct row {
    const char* text;
    int32_t mode;
    const char* encoded;
  };
  const row rows[] = {
      {"a-._~/:", url::KEEP_UNRESERVED, "a-._~%2F%3A"},
      {"a-._~/:", 255, "a-._~/:"},
      {"a b%", 255, "a%20b%25"},
      {"\xC3\xA9", url::KEEP_UNRESERVED, "%C3%A9"},
  };
  for (const row& r : rows) {
    cell* s = push_utf8(r.text);
    cell* target = push_buffer();
    url::encode_hex(s, target, r.mode);
    EXPECT_EQ(text_of(target), r.encoded) << r.text;
  }
}

TEST_F(url_file, to_url_builds_from_parts) {
  cell scheme = test::word_of(TYPE_WORD, "http");
  cell host = test::word_of(TYPE_WORD, "example.org");
  cell a = test::word_of(TYPE_WORD, "a"), b = test::word_of(TYPE_WORD, "b");
  cell frag = test::word_of(TYPE_ISSUE, "top");
  cell port = test::integer(8080), p80 = test::integer(80);
  struct row {
    std::initializer_list<cell> parts;
    const char* url;
  };
  const row rows[] = {
      {{scheme, host, port, a, b}, "http://example.org:8080/a/b"},
      {{scheme, host, p80}, "http://example.org:80"},
      {{scheme, host, a, frag}, "http://example.org/a#top"},
      {{scheme, host}, "http://example.org"},
      {{scheme}, "http://"},
  };
  for (const row& r : rows) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) {
      cell* spec = stack::push(test::block_of(r.parts));
      cell* proto = stack::push_slot();
      auto f = reinterpret_cast<make_fn>(actions::get_action(TYPE_URL, action));
      f(proto, spec, TYPE_URL);
      EXPECT_EQ(TYPE_OF(proto), TYPE_URL);
      EXPECT_EQ(text_of(proto), r.url);
    }
  }
  cell* empty = stack::push(test::block_of({}));
  cell* proto = stack::push_slot();
  EXPECT_TRUE(test::is(test::raised([&] { url::to(proto, empty, TYPE_URL); }), err::script_bad_to_arg));
  // file! takes string!'s way: the forms of the values, no scheme.
  cell* spec = stack::push(test::block_of({a, b}));
  auto make_file = reinterpret_cast<make_fn>(actions::get_action(TYPE_FILE, ACT_TO));
  make_file(proto, spec, TYPE_FILE);
  EXPECT_EQ(TYPE_OF(proto), TYPE_FILE);
  EXPECT_EQ(text_of(proto), "ab");
}

TEST_F(url_file, path_step_joins_with_one_slash_and_keeps_the_base) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"http://a/", "/b", "http://a/b"},
      {"http://a/", "b", "http://a/b"},
      {"http://a", "/b", "http://a/b"},
      {"http://a", "b", "http://a/b"},
      {"", "b", "/b"},
  };
  for (uint32_t type : {TYPE_URL, TYPE_FILE}) {
    for (const auto& [base, element, joined] : cases) {
      cell* u = push_ascii(base, 1, type);
      cell* e = push_ascii(element);
      auto step = reinterpret_cast<eval_path_fn>(actions::get_action(type, ACT_EVAL_PATH));
      cell* r = step(u, e, nullptr, e, nullptr, nullptr, 1, 0, 0, 1, 0);
      EXPECT_EQ(TYPE_OF(r), type);
      EXPECT_EQ(text_of(r), joined);
      EXPECT_EQ(test::whole_text(u), base);
    }
  }
  cell* u = push_ascii("dir/sub", 1, TYPE_FILE);
  u->data1 = 4;
  cell* e = test::push_integer(3);
  cell* r = url::eval_path(u, e, nullptr, e, nullptr, nullptr, 1, 0, 0, 1, 0);
  EXPECT_EQ(text_of(r), "sub/3");
  cell* v = push_ascii("x");
  EXPECT_TRUE(test::is(test::raised([&] { url::eval_path(u, e, v, e, nullptr, nullptr, 1, 0, 0, 1, 0); }),
                       err::script_bad_path_set));
  EXPECT_EQ(test::whole_text(u), "dir/sub");
}

TEST_F(url_file, file_inherits_url_and_string_actions) {
  EXPECT_EQ(datatype::entry_of(TYPE_FILE, ACT_MAKE), datatype::entry_of(TYPE_URL, ACT_MAKE));
  EXPECT_EQ(datatype::entry_of(TYPE_FILE, ACT_EVAL_PATH), datatype::entry_of(TYPE_URL, ACT_EVAL_PATH));
  EXPECT_NE(datatype::entry_of(TYPE_FILE, ACT_MOLD), datatype::entry_of(TYPE_URL, ACT_MOLD));
  for (int32_t a : {ACT_FORM, ACT_COMPARE, ACT_APPEND, ACT_CHANGE, ACT_FIND, ACT_SELECT, ACT_TAKE, ACT_POKE}) {
    EXPECT_EQ(datatype::entry_of(TYPE_URL, a), datatype::entry_of(TYPE_STRING, a)) << a;
    EXPECT_EQ(datatype::entry_of(TYPE_FILE, a), datatype::entry_of(TYPE_STRING, a)) << a;
  }
  for (int32_t a : {ACT_SORT, ACT_TRIM, ACT_PUT, ACT_RANDOM, ACT_REFLECT, ACT_ADD})
    EXPECT_EQ(datatype::entry_of(TYPE_FILE, a), nullptr) << a;
}

}  // namespace
}  // namespace ixo
