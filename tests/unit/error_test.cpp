// error!: codes from catalog positions, make from integers, blocks and
// strings, the report that form writes, and error values made by fire.
#include <gtest/gtest.h>

#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/object.hpp"
#include "support/blocks.hpp"
#include "support/words.hpp"

namespace ixo::test {
namespace {

struct errors : block_suite {
  void SetUp() override {
    block_suite::SetUp();
    for (uint32_t t : {TYPE_OBJECT, TYPE_ERROR})
      rows.push_back({t, {datatype::action_table + t * ACTION_STRIDE, datatype::action_table + (t + 1) * ACTION_STRIDE},
                      datatype::type_name_table[t]});
    object::init();
    error::init();
    error::make_catalog();
    fresh_arguments();
  }
  void TearDown() override {
    error::drop_catalog();
    block_suite::TearDown();
  }
  static cell w(const char* s, uint32_t type = TYPE_WORD) { return word_of(type, s); }
  static cell i(int32_t v) { return integer_value(v); }
  static cell* make(const cell& spec) {
    auto m = reinterpret_cast<make_fn>(actions::get_action(TYPE_ERROR, ACT_MAKE));
    return m(arg(none::none_value), arg(spec), TYPE_ERROR);
  }
  static std::string spelling(const cell* word) { return mold_text(*word); }
  static std::string report(cell* e) {
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 64);
    actions::form(e, buffer, nullptr, INT32_MAX);
    return text_of(buffer);
  }
  // The error a body raised, taken from the top of the value stack as a
  // try frame takes it.
  template <class Body>
  static cell raised_value(Body&& body) {
    EXPECT_EQ(catch_site(FILTER_FUNCTION, body), THROW_ERROR);
    system::clear_thrown();
    return *stack::top_cell();
  }
};

TEST_F(errors, integer_codes_name_category_and_id_by_position) {
  cell* e = make(i(305));
  EXPECT_EQ(TYPE_OF(e), TYPE_ERROR);
  EXPECT_EQ(spelling(error::field(e, error::FIELD_TYPE)), "script");
  EXPECT_EQ(spelling(error::field(e, error::FIELD_ID)), "expect-arg");
  EXPECT_EQ(error::field(e, error::FIELD_CODE)->data2, 305u);
  EXPECT_EQ(e->data2, static_cast<uint32_t>(error::CLASS_ERROR));
}

TEST_F(errors, every_catalog_id_round_trips_through_its_code) {
  for (int32_t c = 0; c < 10; ++c) {
    for (int32_t k = 0; k < error_catalog[c].count; ++k) {
      int32_t code = c * 100 + k;
      cell* e = make(i(code));
      EXPECT_EQ(spelling(error::field(e, error::FIELD_ID)), error_catalog[c].ids[k].id) << code;
      EXPECT_EQ(spelling(error::field(e, error::FIELD_TYPE)), error_catalog[c].name) << code;
      fresh_arguments();
    }
  }
}

// The object start-up makes and the table generated from the catalog's
// source agree field by field: names, order, codes, titles, messages.
TEST_F(errors, the_catalog_object_holds_the_table_in_its_order) {
  ASSERT_EQ(object::count_words(&error::catalog), ERROR_CATEGORY_COUNT);
  for (int32_t c = 0; c < ERROR_CATEGORY_COUNT; ++c) {
    const catalog_category& t = error_catalog[c];
    cell category = *(object::get_values(&error::catalog) + c);
    memory::root_guard keep(&category);
    EXPECT_EQ(spelling(object::value_at(error::catalog.data1, c)), t.name);
    ASSERT_EQ(object::count_words(&category), 2 + t.count) << t.name;
    EXPECT_EQ(spelling(object::value_at(category.data1, 0)), "code");
    EXPECT_EQ(object::get_values(&category)->data2, static_cast<uint32_t>(t.code));
    EXPECT_EQ(spelling(object::value_at(category.data1, 1)), "type");
    EXPECT_EQ(text_of(object::get_values(&category) + 1), t.title);
    for (int32_t k = 0; k < t.count; ++k) {
      EXPECT_EQ(spelling(object::value_at(category.data1, 2 + k)), t.ids[k].id);
      EXPECT_EQ(mold_text(*(object::get_values(&category) + 2 + k)), t.ids[k].message) << t.ids[k].id;
      fresh_arguments();
    }
  }
}

TEST_F(errors, blocks_of_category_and_id_get_their_code) {
  struct row {
    const char* category;
    const char* id;
    int32_t code;
  };
  const row rows[] = {{"script", "no-value", 300}, {"script", "expect-arg", 305}, {"throw", "break", 0},
                      {"user", "message", 800},    {"internal", "deprecated", 913}, {"Math", "overflow", 401}};
  for (const row& r : rows) {
    cell* e = make(block_of({w(r.category), w(r.id)}));
    EXPECT_EQ(static_cast<int32_t>(error::field(e, error::FIELD_CODE)->data2), r.code) << r.id;
  }
}

TEST_F(errors, bad_specs_raise_and_make_nothing) {
  struct row {
    cell spec;
    error_id expected;
  };
  const row rows[] = {
      {i(399), err::script_out_of_range},
      {i(-1), err::script_out_of_range},
      {i(600), err::script_out_of_range},  // reserved1 has no ids
      {i(1000), err::script_out_of_range},
      {block_of({w("bogus"), w("x")}), err::script_invalid_spec_field},
      {block_of({w("script")}), err::script_invalid_spec_field},
      {block_of({w("script"), i(5)}), err::script_invalid_arg},
      {block_of({w("script"), w("nothing-like-it")}), err::script_invalid_spec_field},
      // code and type are fields of a category but no ids
      {block_of({w("script"), w("code")}), err::script_invalid_spec_field},
      {block_of({i(1), i(2)}), err::internal_invalid_error},
      {none::none_value, err::script_bad_make_arg},
  };
  for (const row& r : rows) {
    cell spec = r.spec;
    memory::root_guard keep(&spec);
    cell* before = stack::top;
    cell e = raised_value([&] { make(spec); });
    memory::root_guard keep_e(&e);
    EXPECT_TRUE(is(last_raised.id, r.expected));
    // Only the raised error was pushed: no error value was made from the spec.
    EXPECT_EQ(stack::top, before + 3);
    EXPECT_EQ(error::field(&e, error::FIELD_CODE)->data2,
              static_cast<uint32_t>(r.expected.category * 100 + r.expected.index - 2));
    fresh_arguments();
  }
}

TEST_F(errors, a_string_makes_a_user_error_reported_as_its_text) {
  cell* e = make(text_value("disk on fire"));
  EXPECT_EQ(spelling(error::field(e, error::FIELD_ID)), "message");
  EXPECT_EQ(report(e), "*** User Error: disk on fire\n*** Where: ???\n*** Near : none");
}

TEST_F(errors, the_report_fills_message_arguments_and_names_where) {
  cell* e = make(i(305));
  *error::field(e, error::FIELD_ARG1) = w("append");
  *error::field(e, error::FIELD_ARG2) = cell{TYPE_DATATYPE, TYPE_NONE, 0, 0};
  *error::field(e, error::FIELD_ARG3) = w("value");
  error::set_where(e, w("append"));
  error::set_where(e, w("insert"));  // where is set once
  EXPECT_EQ(report(e),
            "*** Script Error: append does not allow none! for its value argument\n"
            "*** Where: append\n*** Near : none");
}

TEST_F(errors, near_is_cut_to_forty_characters_and_files_show_when_a_block) {
  cell* e = make(i(300));
  std::vector<int32_t> many(30, 1234);
  *error::field(e, error::FIELD_NEAR) = ints(many);
  *error::field(e, error::FIELD_FILES) = block_of({text_value("a.ixo")});
  std::string text = report(e);
  size_t near = text.find("*** Near : ") + 11;
  size_t files = text.find("\n*** Files: ");
  ASSERT_NE(files, std::string::npos);
  EXPECT_EQ(text.substr(near, files - near), "1234 1234 1234 1234 1234 1234 1234 1234 ");  // 40 characters
  EXPECT_EQ(text.substr(files), "\n*** Files: \"a.ixo\"");
}

TEST_F(errors, an_unknown_category_or_id_reports_as_internal_invalid_error) {
  struct row {
    const char* field;
    int32_t index;
  };
  for (row r : {row{"type", error::FIELD_TYPE}, row{"id", error::FIELD_ID}}) {
    cell* e = make(i(300));
    *error::field(e, r.index) = w("bogus");
    EXPECT_EQ(report(e),
              "*** Internal Error: invalid error object field value: bogus\n*** Where: ???\n*** Near : none")
        << r.field;
    EXPECT_EQ(spelling(error::field(e, error::FIELD_ID)), "invalid-error");
    fresh_arguments();
  }
}

TEST_F(errors, fire_raises_an_error_value_with_the_arguments_given) {
  cell e = raised_value([] { fire(err::script_need_value, {w("x")}); });
  memory::root_guard keep(&e);
  EXPECT_TRUE(is(last_raised.id, err::script_need_value));
  ASSERT_EQ(TYPE_OF(&e), TYPE_ERROR);
  EXPECT_EQ(error::field(&e, error::FIELD_CODE)->data2, 301u);
  EXPECT_EQ(TYPE_OF(error::field(&e, error::FIELD_ARG2)), TYPE_NONE);
  EXPECT_EQ(report(&e), "*** Script Error: x needs a value\n*** Where: ???\n*** Near : none");
}

TEST_F(errors, mold_writes_the_fields_and_stack_is_no_path) {
  cell* e = make(block_of({w("math"), w("zero-divide")}));
  cell* buffer = arg(cell{});
  string::rs_make_at(buffer, 64);
  actions::mold(e, buffer, 0, 0, 1, nullptr, INT32_MAX, 0);
  EXPECT_EQ(text_of(buffer),
            "make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none arg3: none near: none "
            "where: none stack: none files: none]");
  auto path = reinterpret_cast<eval_path_fn>(actions::get_action(TYPE_ERROR, ACT_EVAL_PATH));
  EXPECT_EQ(spelling(path(e, arg(w("id")), nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0)), "zero-divide");
  EXPECT_TRUE(is(raised([&] { path(e, arg(w("stack")), nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 0); }),
                 err::script_invalid_path_set));
}

TEST_F(errors, errors_compare_with_errors_only) {
  cell* a = make(i(300));
  cell* b = make(i(300));
  cell* c = make(i(301));
  cell* o = arg(cell{});
  object::make_empty_at(o, 1);
  auto cmp = reinterpret_cast<compare_fn>(actions::get_action(TYPE_ERROR, ACT_COMPARE));
  EXPECT_EQ(cmp(a, b, COMP_EQUAL), 0);
  EXPECT_NE(cmp(a, c, COMP_EQUAL), 0);
  EXPECT_EQ(cmp(a, o, COMP_EQUAL), COMPARE_NONE);
}

}  // namespace
}  // namespace ixo::test
