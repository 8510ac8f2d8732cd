#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::word_of;

cell integer(int32_t n) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

bool same_cell(const cell& a, const cell& b) {
  return a.header == b.header && a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3;
}

cell text(const std::string& s) {
  cell c{};
  string::load_at(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()), &c, string::LOAD_UTF8);
  return test::keep(c);
}

std::string spelling_of(const cell& w) {
  memory::series_buffer* b = memory::buffer_of(symbol::entry_of(static_cast<int32_t>(w.data2))->data3);
  return std::string(memory::head_of<char>(b), memory::tail_of<char>(b));
}

class words_family : public ::testing::Test {
 protected:
  void SetUp() override { test::start_words(); }

  static std::pair<std::string, int32_t> molded(cell value, bool mold, cell* arg = nullptr, int32_t part = 100) {
    cell buffer{};
    memory::root_guard keep(&buffer);
    string::rs_make_at(&buffer, 16);
    int32_t left = mold ? datatype::action_of<mold_fn>(TYPE_OF(&value), ACT_MOLD)(&value, &buffer, 0, 0, 0, arg, part, 0)
                        : datatype::action_of<form_fn>(TYPE_OF(&value), ACT_FORM)(&value, &buffer, arg, part);
    return {test::text_of(&buffer), left};
  }

  // make (or to) of `type` from the spec: the result, or the error raised.
  static std::optional<error_id> made(uint32_t type, cell spec, cell* result, int32_t action = ACT_MAKE) {
    *result = cell{TYPE_NONE, 0, 0, 0};
    memory::root_guard keep(&spec);
    return test::raised([&] { datatype::action_of<make_fn>(type, action)(result, &spec, static_cast<int32_t>(type)); });
  }
};

TEST_F(words_family, mold_decorates_the_exact_spelling) {
  struct row { uint32_t type; const char* mold; };
  const row rows[] = {
      {TYPE_WORD, "Foo"},        {TYPE_SET_WORD, "Foo:"}, {TYPE_LIT_WORD, "'Foo"},
      {TYPE_GET_WORD, ":Foo"},   {TYPE_REFINEMENT, "/Foo"}, {TYPE_ISSUE, "#Foo"},
  };
  for (const row& r : rows) {
    cell w = word_of(r.type, "Foo");
    EXPECT_EQ(molded(w, false), std::make_pair(std::string("Foo"), 97));
    EXPECT_EQ(molded(w, true), std::make_pair(std::string(r.mold), 100 - static_cast<int32_t>(strlen(r.mold))));
  }
  // A given /part argument stops the text at the budget; the budget still
  // counts the whole spelling.
  stack::reset();
  stack::push(integer(0));  // the argument base
  cell* arg = stack::push(integer(2));
  EXPECT_EQ(molded(word_of(TYPE_WORD, "spelling"), false, arg, 2), std::make_pair(std::string("sp"), -6));
  EXPECT_EQ(molded(word_of(TYPE_LIT_WORD, "spelling"), true, arg, 3), std::make_pair(std::string("'sp"), -6));
  stack::reset();
}

TEST_F(words_family, compare_by_canonical_spelling_type_and_binding) {
  cell word = word_of(TYPE_WORD, "Foo", context::global_ctx), lit = word_of(TYPE_LIT_WORD, "Foo", context::global_ctx),
       lower = word_of(TYPE_WORD, "foo", context::global_ctx), set = word_of(TYPE_SET_WORD, "foo"),
       issue = word_of(TYPE_ISSUE, "Foo"), issue2 = word_of(TYPE_ISSUE, "FOO"), other = word_of(TYPE_WORD, "Fop"),
       unbound = word_of(TYPE_WORD, "Foo", 0), number = integer(1);
  struct row { const cell *a, *b; int32_t op, answer; };
  const row rows[] = {
      {&word, &lit, COMP_EQUAL, 0},        {&word, &lit, COMP_EQUAL_10, 0},  {&word, &lit, COMP_EQUAL_11, 0},
      {&word, &lit, COMP_STRICT_EQUAL, 1}, {&lit, &word, COMP_EQUAL_10, 0},
      {&word, &lower, COMP_EQUAL, 0},      {&word, &lower, COMP_FIND, 0},    {&word, &lower, COMP_NOT_EQUAL, 0},
      {&word, &lower, COMP_STRICT_EQUAL, 1}, {&word, &lower, COMP_EQUAL_10, 1}, {&word, &lower, COMP_EQUAL_11, 0},
      {&lit, &lower, COMP_EQUAL_11, 0},    {&lit, &set, COMP_EQUAL_11, 1},   {&set, &lower, COMP_EQUAL, 0},
      {&word, &word, COMP_SAME, 0},        {&word, &unbound, COMP_SAME, 1},
      {&word, &other, COMP_LESSER, -1},    {&other, &lower, COMP_SORT, 1},
      {&word, &issue, COMP_EQUAL, COMPARE_NONE}, {&word, &number, COMP_EQUAL, COMPARE_NONE},
      {&issue, &word, COMP_EQUAL, COMPARE_NONE}, {&issue, &issue2, COMP_EQUAL, 0},
      {&issue, &issue2, COMP_STRICT_EQUAL, 1},
  };
  for (const row& r : rows) {
    EXPECT_EQ(actions::compare_raw(r.a, r.b, r.op), r.answer)
        << TYPE_OF(r.a) << " " << spelling_of(*r.a) << " " << TYPE_OF(r.b) << " " << r.op;
  }
}

TEST_F(words_family, make_and_to_word_read_a_word_or_refuse) {
  cell refinement_with_space = word_of(TYPE_REFINEMENT, "a b");
  cell set_word_on_new_line = word_of(TYPE_SET_WORD, "line", context::global_ctx, 3);
  set_word_on_new_line.header |= NEWLINE_FLAG;
  struct row {
    cell spec;
    const char* spelling;  // nullptr: the error
    error_id error;
  };
  const row rows[] = {
      {text("12"), nullptr, err::script_invalid_chars},
      {text(""), nullptr, err::script_invalid_chars},
      {text("\"quoted\""), nullptr, err::script_invalid_chars},
      {text("<tag>"), nullptr, err::script_invalid_chars},
      {text("-1"), nullptr, err::script_invalid_chars},
      {text("'x:"), nullptr, err::script_invalid_chars},
      {text("%file"), nullptr, err::script_invalid_chars},
      {text("a/b"), nullptr, err::script_invalid_chars},
      {text("foo"), "foo", {}},
      {text(" \t:got rest"), "got", {}},
      {text("set:"), "set", {}},
      {text("/ref"), "ref", {}},
      {text("#iss"), "iss", {}},
      {text("<="), "<=", {}},
      {text("-"), "-", {}},
      {text("//"), "//", {}},
      {text("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9", {}},
      {text("\xC2\xA0spaced\xE2\x80\x83"), "spaced", {}},  // Unicode spaces around
      {cell{TYPE_CHAR, 0, 'x', 0}, "x", {}},
      {cell{TYPE_CHAR, 0, '7', 0}, nullptr, err::script_invalid_chars},
      {datatype::make_cell(TYPE_LOGIC), "logic!", {}},
      {cell{TYPE_LOGIC, 1, 0, 0}, "true", {}},
      {word_of(TYPE_REFINEMENT, "refined"), "refined", {}},
      {word_of(TYPE_ISSUE, "12"), nullptr, err::script_bad_to_arg},
      {refinement_with_space, nullptr, err::script_bad_to_arg},
      {set_word_on_new_line, "line", {}},
      {integer(3), nullptr, err::script_bad_to_arg},
  };
  for (const row& r : rows) {
    for (int32_t action : {ACT_MAKE, ACT_TO}) {
      cell result;
      auto raised = made(TYPE_WORD, r.spec, &result, action);
      if (!r.spelling) {
        EXPECT_TRUE(test::is(raised, r.error)) << TYPE_OF(&r.spec);
        continue;
      }
      ASSERT_FALSE(raised) << r.spelling;
      EXPECT_EQ(result.header, TYPE_WORD) << r.spelling;  // flags dropped
      EXPECT_EQ(spelling_of(result), r.spelling);
    }
  }
  // Words made from text are bound to the global context.
  cell result;
  made(TYPE_WORD, text("foo"), &result);
  EXPECT_EQ(result.data1, context::global_ctx);
  EXPECT_EQ(static_cast<int32_t>(result.data3), context::find_word(context::global_ctx, symbol::make("foo"), true));
  made(TYPE_GET_WORD, datatype::make_cell(TYPE_NONE), &result);
  EXPECT_EQ(result.header, TYPE_GET_WORD);
  EXPECT_EQ(spelling_of(result), "none!");
}

TEST_F(words_family, issues_take_text_as_it_is) {
  struct row { cell spec; const char* spelling; };
  const row rows[] = {
      {text("a b"), "a b"},  {text("12"), "12"}, {cell{TYPE_CHAR, 0, 0xE9, 0}, "\xC3\xA9"},
      {word_of(TYPE_SET_WORD, "w"), "w"},         {datatype::make_cell(TYPE_ISSUE), "issue!"},
  };
  for (const row& r : rows) {
    cell result;
    ASSERT_FALSE(made(TYPE_ISSUE, r.spec, &result, ACT_TO));
    EXPECT_EQ(result.header, TYPE_ISSUE);
    EXPECT_EQ(spelling_of(result), r.spelling);
  }
  cell result;
  EXPECT_TRUE(test::is(made(TYPE_ISSUE, integer(1), &result), err::script_bad_to_arg));
  EXPECT_EQ(last_raised.args[0].data1, static_cast<uint32_t>(TYPE_ISSUE));
}

TEST_F(words_family, reading_a_word_needs_a_value) {
  cell* unset_word = word::load("never-set");
  cell unresolved = word_of(TYPE_WORD, "nowhere", context::global_ctx);
  EXPECT_TRUE(test::is(test::raised([&] { word::get(unset_word); }), err::script_no_value));
  EXPECT_TRUE(test::is(test::raised([&] { word::get(&unresolved); }), err::script_no_value));
  EXPECT_EQ(TYPE_OF(word::push_value_any(unset_word)), TYPE_UNSET);

  cell* w = word::load("now-set");
  word::set(w, integer(4));
  EXPECT_EQ(word::get(w)->data2, 4u);

  stack::reset();
  stack::push(*w);
  stack::push(cell{TYPE_UNSET, 0, 0, 0});
  EXPECT_TRUE(test::is(test::raised([] { word::check_set_value(); }), err::script_need_value));
  stack::arguments[1] = integer(6);
  word::check_set_value();
  EXPECT_EQ(stack::arguments->data2, 6u);
  EXPECT_EQ(word::get_value(w)->data2, 6u);
  stack::reset();
}

TEST_F(words_family, load_answers_the_root_copy_only_while_booting) {
  int32_t root_length = test::cell_count(root::root_node);
  cell* booting = word::load("loaded");
  EXPECT_EQ(test::cell_count(root::root_node), root_length + 1);
  EXPECT_EQ(booting, memory::tail_of<cell>(memory::buffer_of(root::root_node)) - 1);

  boot_flag = 0;
  cell* later = word::load("loaded");
  memory::series_buffer* words = context::words_buffer(context::context_cell(context::global_ctx));
  EXPECT_EQ(later, memory::head_of<cell>(words) + later->data3);
  EXPECT_EQ(test::cell_count(root::root_node), root_length + 1);
  EXPECT_EQ(later->data3, booting->data3);
  // A retyped load keeps the global word list's cell a word!.
  cell* lit = lit_word::load("loaded");
  EXPECT_EQ(TYPE_OF(lit), TYPE_LIT_WORD);
  EXPECT_EQ(TYPE_OF(later), TYPE_WORD);
  boot_flag = 1;
}

TEST_F(words_family, constructors_bind_to_the_global_context) {
  cell* refinement = refinement::load("only");
  EXPECT_EQ(refinement->data1, 0u);
  EXPECT_EQ(TYPE_OF(refinement), TYPE_REFINEMENT);
  cell* issue = issue::load("note");
  EXPECT_TRUE(same_cell(*issue, {TYPE_ISSUE, context::global_ctx, static_cast<uint32_t>(symbol::make("note")), 0xFFFFFFFF}));

  cell block = test::block_of({});
  cell* made = set_word::load_in("field", block.data2);
  EXPECT_EQ(made->header, TYPE_SET_WORD);
  EXPECT_EQ(made->data3, static_cast<uint32_t>(context::find_word(context::global_ctx, symbol::make("field"), true)));

  cell marked = word_of(TYPE_WORD, "mark", context::global_ctx, 0);
  marked.header |= NEWLINE_FLAG;
  EXPECT_EQ(lit_word::push(marked)->header, TYPE_LIT_WORD | NEWLINE_FLAG);
  EXPECT_EQ(refinement::push_local(context::global_ctx, 0)->header, TYPE_REFINEMENT);
  EXPECT_EQ(word::box(symbol::make("boxed")), stack::arguments);
  EXPECT_EQ(test::text_of(word::to_string(&marked)), "mark");
  stack::reset();
}

TEST_F(words_family, index_answers_the_slot_or_none) {
  auto index_q = datatype::action_of<stack_action_fn>(TYPE_GET_WORD, ACT_INDEX_Q);
  EXPECT_EQ(datatype::entry_of(TYPE_REFINEMENT, ACT_INDEX_Q), nullptr);
  cell* w = word::load("counted");
  stack::reset();
  *stack::push(*w) = *w;
  set_type(stack::arguments, TYPE_GET_WORD);
  index_q();
  EXPECT_TRUE(same_cell(*stack::arguments, integer(static_cast<int32_t>(w->data3) + 1)));
  *stack::arguments = word_of(TYPE_WORD, "loose");
  index_q();
  EXPECT_EQ(TYPE_OF(stack::arguments), TYPE_NONE);
  stack::reset();
}

TEST_F(words_family, type_words_exist_for_every_registered_type) {
  for (uint32_t type : {TYPE_DATATYPE, TYPE_LOGIC, TYPE_SYMBOL, TYPE_WORD, TYPE_ISSUE}) {
    const datatype::type_name_entry& e = datatype::type_name_table[type];
    EXPECT_EQ(static_cast<int32_t>(e.word), symbol::make(e.name));
  }
  // A type registered once the words exist gets its word at once.
  datatype::register_type(datatype_registration(55, TYPE_WORD, "late!",
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit));
  EXPECT_EQ(static_cast<int32_t>(datatype::type_name_table[55].word), symbol::make("late!"));
  EXPECT_GE(context::find_word(context::global_ctx, symbol::make("late!"), false), 0);
}

}  // namespace
}  // namespace ixo
