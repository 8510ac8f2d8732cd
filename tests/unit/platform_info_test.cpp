// The command line, the environment, the OS description and the routines
// over values and the process: quit-return, set-quiet, as-color, as-ipv4.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boot/routines.hpp"
#include "platform/command_line.hpp"
#include "platform/environment.hpp"
#include "platform/os_info.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/stack.hpp"
#include "support/child.hpp"
#include "support/kept.hpp"
#include "support/raised.hpp"
#include "support/routine_call.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using test::text_of;

struct platform_info : ::testing::Test {
  void SetUp() override {
    test::start_runtime();
    stack::keep();
  }
  static std::string tuple_text(const cell& t) {
    std::string out;
    for (int32_t i = 0; i < tuple::length_of(&t); ++i) {
      if (i) out += '.';
      out += std::to_string(tuple::bytes_of(&t)[i]);
    }
    return out;
  }
  static cell field(const cell& obj, const char* name) {
    return test::keep(*context::get_in(symbol::make(name), obj.data1));
  }
};

TEST_F(platform_info, raw_command_line_quotes_what_would_split) {
  struct row { std::vector<const char*> argv; const char* line; };
  const row rows[] = {
      {{"ixo"}, "ixo"},
      {{"/bin/ixo", "--catch", "s.ixo", "x"}, "/bin/ixo --catch s.ixo x"},
      {{"ixo", "a b", "", "tab\there"}, "ixo \"a b\" \"\" \"tab\there\""},
      {{"ixo", "say \"hi\""}, "ixo \"say \"\"hi\"\"\""},
  };
  for (const row& r : rows) {
    std::vector<char*> argv;
    for (const char* a : r.argv) argv.push_back(const_cast<char*>(a));
    EXPECT_EQ(platform::raw_command_line(static_cast<int32_t>(argv.size()), argv.data()), r.line);
  }
}

TEST_F(platform_info, arguments_are_kept_exactly_as_given) {
  const char* given[] = {"ixo", "script.ixo", "a b", "", "\"q\"", "bad\xFF" "byte", "\xC3\xA9"};
  std::vector<char*> argv;
  for (const char* a : given) argv.push_back(const_cast<char*>(a));
  cell args = test::keep(*platform::push_arguments(static_cast<int32_t>(argv.size()), argv.data()));
  std::vector<std::string> got;
  for (int32_t i = 0; i < block::rs_length_q(&args); ++i) {
    cell s = test::keep(block::rs_head(&args)[i]);
    EXPECT_EQ(TYPE_OF(&s), TYPE_STRING);
    got.push_back(text_of(&s));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"script.ixo", "a b", "", "\"q\"", "bad\xEF\xBF\xBD" "byte", "\xC3\xA9"}));
}

TEST_F(platform_info, list_env_maps_every_variable) {
  setenv("IXO_TEST_EQ", "a=b=c", 1);
  setenv("IXO_TEST_EMPTY", "", 1);
  setenv("ixo_test_eq", "lower", 1);
  cell m = test::keep(*platform::list_env());
  ASSERT_EQ(TYPE_OF(&m), TYPE_MAP);
  cell pairs{TYPE_BLOCK, 0, m.data2, 0};
  std::vector<std::pair<std::string, std::string>> found;
  for (int32_t i = 0; i + 1 < block::rs_length_q(&pairs); i += 2) {
    cell k = test::keep(block::rs_head(&pairs)[i]), v = test::keep(block::rs_head(&pairs)[i + 1]);
    found.emplace_back(text_of(&k), text_of(&v));
  }
  auto value_of = [&](const std::string& name) -> std::string {
    for (auto& [k, v] : found)
      if (k == name) return v;
    return "(absent)";
  };
  EXPECT_EQ(value_of("HOME"), std::getenv("HOME") ? std::getenv("HOME") : "(absent)");
  EXPECT_EQ(value_of("IXO_TEST_EQ"), "a=b=c");
  EXPECT_EQ(value_of("ixo_test_eq"), "lower");
  EXPECT_EQ(value_of("IXO_TEST_EMPTY"), "");
  EXPECT_EQ(map::count_of(&m), static_cast<int32_t>(found.size()));
  unsetenv("IXO_TEST_EQ");
  unsetenv("IXO_TEST_EMPTY");
  unsetenv("ixo_test_eq");
}

TEST_F(platform_info, os_description_parts) {
  EXPECT_EQ(platform::os_release_name("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(platform::os_release_name("NAME=Alpine\n"), "Alpine");
  EXPECT_EQ(platform::os_release_name("PRETTY_NAME='It''s'\nNAME=x"), "It''s");
  EXPECT_EQ(platform::os_release_name("PRETTY_NAME=\"say \\\"hi\\\"\""), "say \"hi\"");
  EXPECT_EQ(platform::os_release_name("ID=debian"), "");

  struct arch { const char* machine; const char* word; };
  for (arch a : {arch{"x86_64", "x86-64"}, {"i686", "x86-32"}, {"aarch64", "ARM64"}, {"armv7l", "ARM"},
                 {"ia64", "IA-64"}, {"riscv64", "Unknown"}})
    EXPECT_STREQ(platform::arch_name(a.machine), a.word) << a.machine;

  struct release { const char* text; int32_t v[3]; };
  for (release r : {release{"6.1.0-18-amd64", {6, 1, 0}}, {"5.15.153.1-microsoft", {5, 15, 153}},
                    {"4.19", {4, 19, 0}}, {"3.999.1", {3, 255, 1}}, {"weird", {0, 0, 0}}}) {
    int32_t v[3];
    platform::kernel_version(r.text, v);
    EXPECT_EQ(std::vector<int32_t>(v, v + 3), std::vector<int32_t>(r.v, r.v + 3)) << r.text;
  }
  EXPECT_EQ(platform::kernel_build("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1"), 1);
  EXPECT_EQ(platform::kernel_build("#37~22.04.1-Ubuntu SMP"), 37);
  EXPECT_EQ(platform::kernel_build("SMP"), 0);
}

TEST_F(platform_info, os_info_is_an_object_of_four_fields) {
  cell info = test::call_routine(boot::os_info, {});
  ASSERT_EQ(TYPE_OF(&info), TYPE_OBJECT);
  cell name = field(info, "name"), arch = field(info, "arch");
  cell version = field(info, "version"), build = field(info, "build");
  EXPECT_EQ(TYPE_OF(&name), TYPE_STRING);
  EXPECT_FALSE(text_of(&name).empty());
  EXPECT_EQ(TYPE_OF(&arch), TYPE_WORD);
  EXPECT_EQ(TYPE_OF(&version), TYPE_TUPLE);
  EXPECT_EQ(tuple::length_of(&version), 3);
  EXPECT_EQ(TYPE_OF(&build), TYPE_INTEGER);
  platform::os_description d = platform::read_os_description();
  EXPECT_EQ(text_of(&name), d.name);
  EXPECT_EQ(tuple_text(version),
            std::to_string(d.version[0]) + "." + std::to_string(d.version[1]) + "." + std::to_string(d.version[2]));
}

TEST_F(platform_info, tuple_routines) {
  struct row { routine::routine_entry entry; std::vector<int32_t> args; const char* tuple; int32_t bad; };
  const row rows[] = {
      {boot::as_color, {256, 1, 2}, "0.1.2", 0},
      {boot::as_color, {255, 511, 7}, "255.255.7", 0},
      {boot::as_color, {-1, 0, 0}, nullptr, -1},
      {boot::as_color, {1, 2, -3}, nullptr, -3},
      {boot::as_ipv4, {192, 168, 0, 1}, "192.168.0.1", 0},
      {boot::as_rgba, {192, 168, 0, 1}, "192.168.0.1", 0},
      {boot::as_ipv4, {1, 256, 0, 0}, nullptr, 256},
      {boot::as_rgba, {0, 0, -5, 300}, nullptr, -5},
  };
  for (const row& r : rows) {
    auto call = [&] {
      switch (r.args.size()) {
        case 3: return test::call_routine(r.entry, {integer::make_cell(r.args[0]), integer::make_cell(r.args[1]),
                                                    integer::make_cell(r.args[2])});
        default: return test::call_routine(r.entry, {integer::make_cell(r.args[0]), integer::make_cell(r.args[1]),
                                                     integer::make_cell(r.args[2]), integer::make_cell(r.args[3])});
      }
    };
    if (r.tuple) {
      cell t = call();
      EXPECT_EQ(tuple_text(t), r.tuple);
    } else {
      EXPECT_TRUE(test::is(test::raised([&] { call(); }), err::script_invalid_arg));
      EXPECT_EQ(integer::get(&last_raised.args[0]), r.bad);
    }
  }
}

TEST_F(platform_info, set_quiet_sets_without_the_change_handler) {
  static int calls = 0;
  calls = 0;
  object::handler_caller saved = object::call_handler;
  object::call_handler = [](const cell*, const cell*, const cell*, int32_t, int32_t) { ++calls; };

  cell* obj = stack::push_slot();
  object::make_empty_at(obj, 2);
  int32_t on_change = symbol::make("on-change*"), x = symbol::make("x");
  // A function! standing for the handler: an empty spec and body.
  cell* handler = stack::push(cell{TYPE_FUNCTION, 0, 0, 0});
  handler->data1 = context::make(1, false, false, 0, context::KIND_FUNCTION);
  cell* empty = stack::push_slot();
  block::make_at(empty, 1);
  handler->data2 = handler->data3 = empty->data2;
  context::add_value(obj->data1, x, integer::make_cell(1));
  context::add_value(obj->data1, on_change, *handler);
  object::attach_events(obj->data1, obj);
  ASSERT_NE(obj->data3, 0u);
  cell o = test::keep(*obj);
  cell* w = stack::push_slot();
  word::make_at(x, w);
  context::bind_word(o.data1, w);
  cell word = test::keep(*w);

  cell answer = test::call_routine(boot::set_quiet, {word, integer::make_cell(7)});
  EXPECT_EQ(integer::get(&answer), 7);
  EXPECT_EQ(integer::get(context::get_in(x, o.data1)), 7);
  EXPECT_EQ(calls, 0);
  word::set(&word, integer::make_cell(8));  // the ordinary way calls it
  EXPECT_EQ(calls, 1);
  object::call_handler = saved;

  EXPECT_TRUE(test::is(test::raised([] { test::call_routine(boot::set_quiet, {integer::make_cell(1), integer::make_cell(2)}); }),
                       err::script_expect_arg));
}

TEST_F(platform_info, quit_return_ends_the_process_with_its_status) {
  for (int32_t status : {3, 0, 254}) {
    test::child_result r = test::run_child([status] { test::call_routine(boot::quit_return, {integer::make_cell(status)}); });
    EXPECT_EQ(r.status, status);
  }
}

TEST_F(platform_info, clipboard_routines_answer_false) {
  cell read = test::call_routine(boot::read_clipboard, {});
  cell none{TYPE_NONE, 0, 0, 0};
  cell written = test::call_routine(boot::write_clipboard, {none});
  EXPECT_EQ(TYPE_OF(&read), TYPE_LOGIC);
  EXPECT_FALSE(logic::get(&read));
  EXPECT_FALSE(logic::get(&written));
}

}  // namespace
}  // namespace ixo
