#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/datatypes/action.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/op.hpp"
#include "runtime/datatypes/routine.hpp"
#include "support/blocks.hpp"
#include "support/raised.hpp"
#include "support/words.hpp"

namespace ixo {
namespace {

using test::arg;
using test::integer_value;
using test::is;
using test::raised;
using test::word_of;

cell w(const char* s) { return word_of(TYPE_WORD, s); }
cell lit(const char* s) { return word_of(TYPE_LIT_WORD, s); }
cell get(const char* s) { return word_of(TYPE_GET_WORD, s); }
cell set(const char* s) { return word_of(TYPE_SET_WORD, s); }
cell ref(const char* s) { return word_of(TYPE_REFINEMENT, s); }

struct functions : ::testing::Test {
  void SetUp() override {
    test::start_words();
    native::init();
    action::init();
    op::init();
    function::init();
    routine::init();
    test::fresh_arguments();
    // integer! names its datatype, as the boot library makes it.
    context::set_global(test::symbol_of("integer!"), datatype::make_cell(TYPE_INTEGER));
  }
  void TearDown() override { EXPECT_EQ(cycles::depth(), 0) << "a walk left the cycles stack"; }

  // The global word of a spelling, bound to its slot.
  static cell global(const char* s) { return *context::find_or_add_global(test::symbol_of(s), false, false); }
  static cell types(std::initializer_list<cell> cells) { return test::block_of(cells); }
  static cell* block(std::initializer_list<cell> cells) { return arg(test::block_of(cells)); }
  static cell text(const char* s) { return test::text_value(s); }

  static std::string written(cell* value, bool mold) {
    cell* buffer = arg(cell{});
    string::rs_make_at(buffer, 16);
    if (mold) actions::mold(value, buffer, 0, 0, 0, nullptr, INT32_MAX, 0);
    else actions::form(value, buffer, nullptr, INT32_MAX);
    return test::text_of(buffer);
  }
  static std::vector<std::string> spellings(const cell* b) {
    std::vector<std::string> out;
    for (int32_t i = static_cast<int32_t>(b->data1); i < series::rs_abs_length_q(b); ++i) {
      cell* c = block::rs_abs_at(b, i);
      std::string decoration = TYPE_OF(c) == TYPE_REFINEMENT ? "/" : "";
      out.push_back(decoration + reinterpret_cast<const char*>(symbol::get_name_head(static_cast<int32_t>(c->data2))));
    }
    return out;
  }
  static cell* make(uint32_t type, const cell& spec) {
    cell* proto = arg(cell{type, 0, 0, 0});
    cell* s = arg(spec);
    return datatype::action_of<make_fn>(type, ACT_MAKE)(proto, s, static_cast<int32_t>(type));
  }
  // A function! from spec and body blocks, on the stack.
  static cell* func(std::initializer_list<cell> spec, std::initializer_list<cell> body) {
    cell* s = block(spec);
    cell* b = block(body);
    function::push(s, b, 0, function::validate(s));
    return stack::top_cell();
  }
  static cell* reflect(cell* value, const char* field) {
    cell f = w(field);
    return datatype::action_of<reflect_fn>(TYPE_OF(value), ACT_REFLECT)(value, &f);
  }
};

TEST_F(functions, validate_applies_every_spec_rule) {
  cell ints = types({global("integer!")});
  struct row { std::vector<cell> spec; std::optional<error_id> error; };
  const row rows[] = {
      {{w("a"), ints, text("doc"), w("b")}, std::nullopt},
      {{w("a"), text("doc"), ints, w("b")}, err::script_bad_func_def},
      {{w("a"), w("b"), set("return"), ints}, std::nullopt},
      {{set("return"), ints, w("a")}, err::script_bad_func_def},
      {{w("a"), ref("local"), w("b"), set("return"), ints}, err::script_bad_func_def},
      {{w("a"), set("return"), ints, ref("local"), w("b")}, std::nullopt},
      {{w("a"), set("return"), ints, set("return"), ints}, err::script_bad_func_def},
      {{w("a"), set("result"), ints}, err::script_bad_func_def},
      {{w("a"), set("return"), w("b")}, err::script_bad_func_def},
      {{w("a"), ref("b"), w("c"), ref("local"), w("d")}, std::nullopt},
      {{w("a"), ref("local"), w("d"), ref("b")}, err::script_bad_func_def},
      {{ref("local"), get("d")}, err::script_bad_func_def},
      {{lit("a"), get("b")}, std::nullopt},
      {{w("a"), ref("b"), integer_value(1)}, err::script_bad_func_def},
      {{w("a"), integer_value(1)}, err::script_bad_func_def},
      {{w("a"), w("A")}, err::script_dup_vars},
      {{w("a"), ref("A")}, err::script_dup_vars},
      {{w("a"), types({integer_value(1)})}, err::script_invalid_type_spec},
      {{w("a"), types({global("no-such-type!")})}, err::script_no_value},
  };
  for (const row& r : rows) {
    cell* spec = arg(test::block_of(r.spec));
    auto e = raised([&] { function::validate(spec); });
    if (r.error) EXPECT_TRUE(is(e, *r.error)) << written(spec, true);
    else EXPECT_FALSE(e) << written(spec, true);
  }
}

TEST_F(functions, the_attribute_block_sets_flags_and_holds_only_words) {
  struct row { cell attributes; int32_t flags; };
  const row rows[] = {{types({w("trace")}), 0x400}, {types({w("No-Trace"), w("trace")}), 0x600},
                      {types({w("foo")}), 0}, {types({w("trace"), integer_value(1)}), -1}};
  for (const row& r : rows) {
    cell* spec = block({r.attributes, w("a")});
    auto e = raised([&] { EXPECT_EQ(function::validate(spec), static_cast<uint32_t>(r.flags)); });
    EXPECT_EQ(is(e, err::script_bad_func_def), r.flags < 0);
  }
}

TEST_F(functions, count_locals_counts_from_local_on) {
  cell* with = block({w("a"), ref("local"), w("b"), w("c")});
  cell* without = block({w("a"), w("b")});
  EXPECT_EQ(function::count_locals(with->data2, 0, true), 3);
  EXPECT_EQ(function::count_locals(without->data2, 0, true), -1);
  EXPECT_EQ(function::count_locals(without->data2, 0, false), 0);
  cell* base = stack::top;
  function::init_locals(3);
  ASSERT_EQ(stack::top - base, 3);
  EXPECT_EQ(TYPE_OF(base), TYPE_LOGIC);
  EXPECT_EQ(base->data1, 0u);
  EXPECT_EQ(TYPE_OF(base + 2), TYPE_NONE);
}

TEST_F(functions, collect_locals_adds_each_set_and_loop_word_once) {
  test::while_moving_everything([&] {
    cell* spec = block({w("m")});
    cell* body = block({set("x"), integer_value(1), w("foreach"), types({w("k"), w("v")}), w("m"),
                        types({set("y"), w("k")}), w("repeat"), w("i"), integer_value(3), types({}), set("x")});
    cell* added = function::collect_locals(spec, body);
    EXPECT_EQ(spellings(added), (std::vector<std::string>{"x", "k", "v", "y", "i"}));
    EXPECT_EQ(spellings(spec), (std::vector<std::string>{"m", "/local", "x", "k", "v", "y", "i"}));
  });
}

TEST_F(functions, collect_locals_honours_extern_and_existing_locals) {
  // [a /extern y /local z] with [x: y: local: 1]: y stays out, z is kept
  // as a local, `local` is never a local.
  cell* spec = block({w("a"), ref("extern"), w("y"), ref("local"), w("z")});
  cell* body = block({set("x"), set("y"), set("local"), integer_value(1)});
  function::collect_locals(spec, body);
  EXPECT_EQ(spellings(spec), (std::vector<std::string>{"a", "/local", "z", "x"}));
  // A spec with /local already gets no second one.
  cell* declared = block({w("a"), ref("local"), w("b")});
  function::collect_locals(declared, body);
  EXPECT_EQ(spellings(declared), (std::vector<std::string>{"a", "/local", "b", "x", "y"}));
  cell* bad = block({w("a"), ref("extern"), integer_value(1)});
  EXPECT_TRUE(is(raised([&] { function::collect_locals(bad, body); }), err::script_bad_func_extern));
}

TEST_F(functions, collect_locals_walks_a_body_that_holds_itself) {
  cell* spec = block({});
  cell* body = block({set("x")});
  block::rs_append(body, body);
  function::collect_locals(spec, body);
  EXPECT_EQ(spellings(spec), (std::vector<std::string>{"/local", "x"}));
}

TEST_F(functions, a_function_copies_and_binds_its_body) {
  test::while_moving_everything([&] {
    cell* body = block({w("a"), types({w("b")})});
    cell* spec = block({w("a"), w("b")});
    uint32_t ctx = function::push(spec, body, 0, 0);
    cell fn = *stack::top_cell();
    EXPECT_EQ(fn.header, TYPE_FUNCTION);
    EXPECT_EQ(fn.data1, ctx);
    EXPECT_EQ(context::owner_cell(ctx)->data3, fn.data3) << "the context's owner is the function";
    block::rs_append(body, &fn);  // changing the given body changes nothing
    cell* copy = reflect(stack::top_cell(), "body");
    ASSERT_EQ(series::rs_abs_length_q(copy), 2);
    EXPECT_EQ(block::rs_abs_at(copy, 0)->data1, ctx) << "a is bound to the function";
    EXPECT_EQ(block::rs_abs_at(block::rs_abs_at(copy, 1), 0)->data1, ctx) << "nested blocks are copied and bound";
    EXPECT_NE(block::rs_abs_at(copy, 1)->data2, block::rs_abs_at(body, 1)->data2);
  });
}

TEST_F(functions, make_reflect_form_mold_and_compare) {
  cell* spec = block({w("a"), w("b")});
  cell* body = block({w("a")});
  cell* made = make(TYPE_FUNCTION, test::block_of({*spec, *body, test::block_of({})}));
  cell* f = arg(*made);
  EXPECT_EQ(written(f, true), "func [a b][a]");
  EXPECT_EQ(written(f, false), "?function?");
  EXPECT_EQ(spellings(reflect(f, "spec")), (std::vector<std::string>{"a", "b"}));
  cell* words = arg(*reflect(f, "words"));
  EXPECT_EQ(spellings(words), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(block::rs_abs_at(words, 1)->data1, f->data1);
  EXPECT_TRUE(is(raised([&] { reflect(f, "class"); }), err::internal_not_done));

  cell* twin = arg(*make(TYPE_FUNCTION, test::block_of({*spec, *body})));
  EXPECT_FALSE(actions::compare(f, twin, COMP_EQUAL)) << "same spec and body, two functions";
  EXPECT_TRUE(actions::compare(f, f, COMP_EQUAL));
  EXPECT_TRUE(actions::compare(f, f, COMP_SAME));

  for (const cell& bad : {test::block_of({*spec}), test::block_of({*spec, integer_value(1)}), integer_value(1)})
    EXPECT_TRUE(is(raised([&] { make(TYPE_FUNCTION, bad); }), err::script_bad_func_def));
}

TEST_F(functions, native_and_action_slots_are_bounded) {
  struct row { uint32_t type; int32_t slot; bool ok; };
  const row rows[] = {{TYPE_NATIVE, 1, true},   {TYPE_NATIVE, 107, true},  {TYPE_NATIVE, 0, false},
                      {TYPE_NATIVE, 108, false}, {TYPE_NATIVE, 120, false}, {TYPE_NATIVE, 121, false},
                      {TYPE_ACTION, 1, true},   {TYPE_ACTION, 62, true},   {TYPE_ACTION, 8, false},
                      {TYPE_ACTION, 0, false},  {TYPE_ACTION, 63, false}};
  for (const row& r : rows) {
    cell* value = nullptr;
    auto e = raised([&] { value = make(r.type, test::block_of({test::block_of({w("a")}), integer_value(r.slot)})); });
    if (!r.ok) {
      EXPECT_TRUE(is(e, err::script_bad_make_arg)) << r.slot;
      continue;
    }
    ASSERT_FALSE(e) << r.slot;
    EXPECT_EQ(value->header, r.type);
    EXPECT_EQ(reflect(value, "body")->data2, static_cast<uint32_t>(r.slot));
  }
  cell spec = test::block_of({w("a")});
  for (const cell& bad : {test::block_of({spec, integer_value(1), w("x")}), test::block_of({spec, w("x")}),
                          test::block_of({w("a"), integer_value(1)}), integer_value(1)})
    EXPECT_TRUE(is(raised([&] { make(TYPE_NATIVE, bad); }), err::script_bad_make_arg));
}

TEST_F(functions, natives_and_actions_reflect_form_mold_and_compare) {
  cell spec = test::block_of({w("value")});
  cell* n1 = arg(*make(TYPE_NATIVE, test::block_of({spec, integer_value(1)})));
  cell* n1b = arg(*make(TYPE_NATIVE, test::block_of({spec, integer_value(1)})));
  cell* n2 = arg(*make(TYPE_NATIVE, test::block_of({spec, integer_value(2)})));
  cell* a1 = arg(*make(TYPE_ACTION, test::block_of({spec, integer_value(1)})));
  EXPECT_EQ(actions::compare_raw(n1, n1b, COMP_EQUAL), 0);
  EXPECT_EQ(actions::compare_raw(n1, n2, COMP_SORT), -1);
  EXPECT_EQ(actions::compare_raw(n1, a1, COMP_EQUAL), COMPARE_NONE);
  EXPECT_EQ(actions::compare_raw(n1, n2, COMP_LESSER), COMPARE_NONE);
  EXPECT_EQ(written(n1, false), "?native?");
  EXPECT_EQ(written(a1, false), "?action?");
  EXPECT_EQ(written(n1, true), "make native! [[value]]");
  EXPECT_EQ(written(a1, true), "make action! [[value]]");
  EXPECT_EQ(spellings(reflect(a1, "spec")), (std::vector<std::string>{"value"}));
  EXPECT_TRUE(is(raised([&] { reflect(n1, "words"); }), err::internal_not_done));
}

TEST_F(functions, op_takes_two_arguments_the_left_one_evaluated) {
  struct row { std::vector<cell> spec; bool ok; };
  const row rows[] = {
      {{w("a"), w("b"), ref("local"), w("c")}, true}, {{w("a"), get("b")}, true},
      {{w("a"), types({}), text("doc"), w("b"), set("return"), types({})}, true},
      {{w("a")}, false}, {{w("a"), w("b"), w("c")}, false}, {{get("a"), w("b")}, false},
      {{lit("a"), w("b")}, false}, {{w("a"), w("b"), ref("only")}, false},
  };
  for (const row& r : rows) {
    cell* source = arg(*make(TYPE_NATIVE, test::block_of({test::block_of(r.spec), integer_value(5)})));
    cell* result = nullptr;
    auto e = raised([&] { result = make(TYPE_OP, *source); });
    if (!r.ok) {
      EXPECT_TRUE(is(e, err::script_bad_op_spec)) << written(source, true);
      continue;
    }
    ASSERT_FALSE(e) << written(source, true);
    EXPECT_EQ(result->header, TYPE_OP | TYPE_NATIVE << 16);
  }
  EXPECT_TRUE(is(raised([&] { make(TYPE_OP, integer_value(1)); }), err::script_invalid_type));
}

TEST_F(functions, op_reflects_molds_and_keeps_its_function) {
  cell spec = test::block_of({w("value1"), w("value2")});
  cell* add = arg(*make(TYPE_ACTION, test::block_of({spec, integer_value(11)})));
  cell* plus = arg(*make(TYPE_OP, *add));
  EXPECT_EQ(reflect(plus, "body")->data2, 11u);
  EXPECT_EQ(written(plus, false), "?op?");
  EXPECT_EQ(written(plus, true), "make op! [[value1 value2]]");

  cell* f = arg(*func({w("a"), w("b")}, {w("a")}));
  cell* infix = arg(*make(TYPE_OP, *f));
  EXPECT_EQ(infix->header, TYPE_OP | TYPE_FUNCTION << 16);
  EXPECT_EQ(written(infix, true), "make op! func [a b][a]");
  EXPECT_EQ(spellings(reflect(infix, "body")), (std::vector<std::string>{"a"}));
  cell more{TYPE_BLOCK, 0, f->data3, 0};
  EXPECT_EQ(block::rs_abs_at(&more, 3)->data3, f->data3) << "the function's more block keeps it";
  EXPECT_TRUE(actions::compare(infix, infix, COMP_EQUAL));
}

void add_two() {}

TEST_F(functions, routines_are_registered_entries_that_say_they_are_built_in) {
  cell* spec = block({w("a"), types({global("integer!")}), w("b"), ref("local"), w("c")});
  cell* r = arg(*routine::push("add-two", spec, add_two));
  EXPECT_EQ(TYPE_OF(r), TYPE_ROUTINE);
  EXPECT_EQ(routine::get_arity(r), 3);
  EXPECT_TRUE(r->header & routine::FLAG_CELLS);
  cell more{TYPE_BLOCK, 0, r->data3, 0};
  int32_t index = static_cast<int32_t>(block::rs_abs_at(&more, 2)->data2);
  EXPECT_EQ(routine::entry_of(index), &add_two);
  EXPECT_EQ(routine::register_entry("add-two", add_two), index) << "a name keeps its index";
  EXPECT_EQ(routine::entry_of(0), nullptr);
  EXPECT_EQ(written(r, false), "?routine?");
  EXPECT_EQ(written(r, true), "routine [a [integer!] b /local c] \"built in: add-two\"");
  EXPECT_EQ(TYPE_OF(reflect(r, "body")), TYPE_STRING);
  EXPECT_EQ(spellings(reflect(r, "words")), (std::vector<std::string>{"a", "b", "local", "c"}));
  cell* other = arg(*routine::push("add-two", spec, add_two));
  EXPECT_FALSE(actions::compare(r, other, COMP_EQUAL));
  EXPECT_TRUE(actions::compare(r, r, COMP_EQUAL));
}

}  // namespace
}  // namespace ixo
