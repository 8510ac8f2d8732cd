// tag!, email!, ref! and handle!.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/datatypes/email.hpp"
#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/ref.hpp"
#include "runtime/datatypes/tag.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/memory/handles.hpp"
#include "support/strings.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::push_ascii;
using test::text_of;
using test::whole_text;

struct string_types : ::testing::Test {
  void SetUp() override {
    test::start_words();
    tag::init();
    email::init();
    ref::init();
    handle::init();
    stack::reset();
  }

  static std::string molded(cell* v, bool all = false, int32_t limit = INT32_MIN, int32_t* left = nullptr) {
    cell* buffer = stack::push_slot();
    string::rs_make_at(buffer, 16);
    cell* arg = limit == INT32_MIN ? nullptr : test::push_integer(limit);
    int32_t budget = limit == INT32_MIN ? 1000 : limit;
    budget = actions::mold(v, buffer, 0, all, 0, arg, budget, 0);
    if (left) *left = budget;
    return text_of(buffer);
  }
  static std::string formed(cell* v) {
    cell* buffer = stack::push_slot();
    string::rs_make_at(buffer, 16);
    actions::form(v, buffer, nullptr, INT32_MAX);
    return text_of(buffer);
  }
  static cell* step(cell* value, cell* element, cell* data = nullptr) {
    auto f = reinterpret_cast<eval_path_fn>(actions::get_action(TYPE_OF(value), ACT_EVAL_PATH));
    return f(value, element, data, element, nullptr, nullptr, 1, 0, 0, 1, 0);
  }
};

TEST_F(string_types, tag_email_ref_text_forms) {
  struct row {
    uint32_t type;
    const char* text;
    const char* form;
    const char* mold;
  };
  const row rows[] = {
      {TYPE_TAG, "a href=\"x\"", "<a href=\"x\">", "<a href=\"x\">"},
      {TYPE_TAG, "", "<>", "<>"},
      {TYPE_EMAIL, "joe@example.org", "joe@example.org", "joe@example.org"},
      {TYPE_REF, "name", "name", "@name"},
      {TYPE_REF, "a\"b", "a\"b", "@a\"b"},
  };
  for (const row& r : rows) {
    cell* v = push_ascii(r.text, 1, r.type);
    EXPECT_EQ(formed(v), r.form) << r.text;
    EXPECT_EQ(molded(v), r.mold) << r.text;
  }
  int32_t left = 0;
  EXPECT_EQ(molded(push_ascii("abcdef", 1, TYPE_TAG), false, 4, &left), "<abc>");
  EXPECT_EQ(left, 4 - 1 - 6 - 1);
  EXPECT_EQ(molded(push_ascii("abcdef", 1, TYPE_REF), false, 4, &left), "@abc");
  EXPECT_EQ(left, 4 - 1 - 6);
}

TEST_F(string_types, email_fields_split_at_the_first_at_sign_after_the_index) {
  struct row {
    const char* text;
    int32_t index;
    const char* user;
    const char* host;
  };
  const row rows[] = {
      {"joe@example.org", 0, "joe", "example.org"},
      {"joe", 0, "joe", ""},
      {"@h", 0, "", "h"},
      {"a@b@c", 0, "a", "b@c"},
      {"a@b@c", 2, "b", "c"},
      {"xjoe@host", 1, "joe", "host"},
  };
  cell user = test::word_of(TYPE_WORD, "USER"), host = test::word_of(TYPE_WORD, "host");
  for (const row& r : rows) {
    cell* e = push_ascii(r.text, 1, TYPE_EMAIL);
    e->data1 = static_cast<uint32_t>(r.index);
    cell* u = step(e, stack::push(user));
    EXPECT_EQ(TYPE_OF(u), TYPE_STRING);
    EXPECT_EQ(text_of(u), r.user) << r.text;
    cell* h = step(e, stack::push(host));
    EXPECT_EQ(TYPE_OF(h), TYPE_STRING);
    EXPECT_EQ(text_of(h), r.host) << r.text;
    EXPECT_EQ(whole_text(e), r.text);
  }
}

TEST_F(string_types, email_field_set_changes_the_text_in_place) {
  struct row {
    const char* text;
    int32_t index;
    const char* field;
    const char* value;
    const char* after;
  };
  const row rows[] = {
      {"joe@example.org", 0, "user", "ann", "ann@example.org"},
      {"joe@example.org", 0, "host", "x.net", "joe@x.net"},
      {"joe@example.org", 0, "user", "", "@example.org"},
      {"joe", 0, "user", "bob", "bob"},
      {"joe", 0, "host", "h", "joeh"},
      // The host counts from the index, so the text before it stays.
      {"mail:joe@example.org", 5, "host", "x.net", "mail:joe@x.net"},
      {"mail:joe@example.org", 5, "user", "ann", "mail:ann@example.org"},
  };
  for (const row& r : rows) {
    cell* e = push_ascii(r.text, 1, TYPE_EMAIL);
    e->data1 = static_cast<uint32_t>(r.index);
    cell* v = push_ascii(r.value);
    cell* answer = step(e, stack::push(test::word_of(TYPE_WORD, r.field)), v);
    EXPECT_EQ(answer, v);
    EXPECT_EQ(whole_text(e), r.after) << r.text << " " << r.field;
    EXPECT_EQ(e->data1, static_cast<uint32_t>(r.index));
  }
}

TEST_F(string_types, email_path_refuses_other_words_and_picks_by_integer) {
  cell* e = push_ascii("joe@h", 1, TYPE_EMAIL);
  for (const cell& element : {test::word_of(TYPE_WORD, "domain"), test::word_of(TYPE_SET_WORD, "user")}) {
    cell* el = stack::push(element);
    EXPECT_TRUE(test::is(test::raised([&] { step(e, el); }), err::script_invalid_path));
    cell* v = push_ascii("x");
    EXPECT_TRUE(test::is(test::raised([&] { step(e, el, v); }), err::script_invalid_path));
  }
  EXPECT_EQ(whole_text(e), "joe@h");
  cell* picked = step(e, test::push_integer(2));
  EXPECT_EQ(TYPE_OF(picked), TYPE_CHAR);
  EXPECT_EQ(picked->data2, static_cast<uint32_t>('o'));
}

TEST_F(string_types, rows_inherit_string_actions_as_listed) {
  for (uint32_t type : {TYPE_TAG, TYPE_EMAIL, TYPE_REF}) {
    for (int32_t a : {ACT_MAKE, ACT_TO, ACT_COMPARE, ACT_CHANGE, ACT_COPY, ACT_FIND, ACT_TAKE, ACT_INSERT})
      EXPECT_EQ(datatype::entry_of(type, a), datatype::entry_of(TYPE_STRING, a)) << type << " " << a;
    for (int32_t a : {ACT_SORT, ACT_TRIM, ACT_RANDOM, ACT_ADD, ACT_READ})
      EXPECT_EQ(datatype::entry_of(type, a), nullptr) << type << " " << a;
  }
  EXPECT_EQ(datatype::entry_of(TYPE_REF, ACT_APPEND), nullptr);
  EXPECT_EQ(datatype::entry_of(TYPE_REF, ACT_EVAL_PATH), nullptr);
  EXPECT_EQ(datatype::entry_of(TYPE_TAG, ACT_EVAL_PATH), datatype::entry_of(TYPE_STRING, ACT_EVAL_PATH));
  EXPECT_EQ(datatype::entry_of(TYPE_EMAIL, ACT_FORM), datatype::entry_of(TYPE_STRING, ACT_FORM));
}

TEST_F(string_types, handle_forms_molds_and_compares) {
  int32_t kind = handles::register_type("image", nullptr);
  struct row {
    uint32_t value;
    int32_t kind;
    const char* form;
    const char* mold_all;
  };
  const row rows[] = {
      {0x1A2B, kind, "00001A2Bh", "#[handle! 00001A2Bh image]"},
      {0xFFFFFFFF, 0, "FFFFFFFFh", "#[handle! FFFFFFFFh]"},
      {0, 0, "00000000h", "#[handle! 00000000h]"},
      {5, 999, "00000005h", "#[handle! 00000005h]"},
  };
  for (const row& r : rows) {
    cell* h = handle::push(r.value, r.kind);
    EXPECT_EQ(formed(h), r.form);
    EXPECT_EQ(molded(h), "handle!");
    EXPECT_EQ(molded(h, true), r.mold_all);
  }
  cell* a = handle::push(1, 0);
  cell* b = handle::push(0xFFFFFFFF, 0);  // -1 as a signed value
  cell* c = handle::push(1, kind);
  cell* i = test::push_integer(1);
  EXPECT_EQ(actions::compare_raw(a, b, COMP_LESSER), 1);
  EXPECT_EQ(actions::compare_raw(b, a, COMP_LESSER), -1);
  EXPECT_EQ(actions::compare_raw(a, c, COMP_EQUAL), 0);
  EXPECT_FALSE(actions::compare(a, i, COMP_EQUAL));
  EXPECT_TRUE(actions::compare(a, i, COMP_NOT_EQUAL));
  EXPECT_EQ(b->data3, 0xFFFFFFFFu);
  EXPECT_EQ(datatype::entry_of(TYPE_HANDLE, ACT_ADD), nullptr);
  EXPECT_EQ(datatype::entry_of(TYPE_HANDLE, ACT_MAKE), nullptr);
}

}  // namespace
}  // namespace ixo
