// port!: make from a spec and a scheme registered in system/schemes, form
// and mold, and every action passed to the actor's function of the same
// name with the arguments it mirrors. The actors here are objects of
// functions that note what they were given through a test native.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/port.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/memory/handles.hpp"
#include "support/kept.hpp"
#include "support/lexer.hpp"
#include "support/native_call.hpp"
#include "support/raised.hpp"
#include "support/words.hpp"

namespace ixo::test {
namespace {

// The values the actor functions noted, in order.
std::vector<cell> notes;
constexpr int32_t NOTE_SLOT = 6;  // a slot no native uses

void note(const int32_t*) { notes.push_back(keep(stack::arguments[0])); }

// The actor functions of the recording scheme: each notes its own name,
// the port and then its arguments, named as the action's spec names them,
// and answers its name (length? answers 7).
const std::pair<const char*, const char*> recorded_actions[] = {
    {"append", "value part length only dup count"},
    {"insert", "value part length only dup count"},
    {"change", "value part range only dup count"},
    {"clear", ""},
    {"copy", "part length deep types kind"},
    {"find", "value part length only case same any with wild skip size last reverse tail match"},
    {"select", "value part length only case same any with wild skip size last reverse"},
    {"length?", ""},
    {"move", "target part length"},
    {"pick", "index"},
    {"poke", "index value"},
    {"put", "key value case"},
    {"modify", "field value case"},
    {"remove", "part length"},
    {"reverse", "part length"},
    {"sort", "case skip size compare comparator part length all reverse stable"},
    {"swap", "series2"},
    {"take", "part length deep last"},
    {"trim", "head tail auto lines all with str"},
    {"create", ""},
    {"close", ""},
    {"delete", ""},
    {"query", ""},
    {"update", ""},
    {"open", "new read write seek allow access"},
    {"rename", "to"},
    {"at", "index"},
    {"back", ""},
    {"head", ""},
    {"head?", ""},
    {"index?", ""},
    {"next", ""},
    {"skip", "offset"},
    {"tail", ""},
    {"tail?", ""},
};

std::string recorder_actor() {
  std::string text = "make object! [\n";
  for (const auto& [name, params] : recorded_actions) {
    std::string body = std::string("note '") + name + " note :port";
    std::string words = params;
    for (size_t from = 0; from < words.size();) {
      size_t to = std::min(words.find(' ', from), words.size());
      body += " note :" + words.substr(from, to - from);
      from = to + 1;
    }
    body += std::string(name) == "length?" ? " 7" : std::string(" '") + name;
    text += std::string(name) + ": make function! [[port " + params + "] [" + body + "]]\n";
  }
  return text + "]";
}

// The system object with the fields and templates make port! reads, and
// three schemes: one that records, one whose actor has no open and whose
// functions take fewer or more arguments than they are given, and one
// without an actor.
std::string prelude() {
  return R"(
system: make object! [
    version: build: words: platform: catalog: state: modules: codecs: none
    schemes: []
    ports: locale: options: script: none
    standard: make object! [
        header: none
        port: make object! [spec: scheme: actor: awake: state: data: extra: none]
        error: file-info: none
        url-parts: make object! [scheme: user-info: host: port: path: target: query: fragment: ref: none]
        scheme: none
    ]
    lexer: console: view: reactivity: tools: none
]
recorder: make object! [name: 'recorder title: info: none actor: )" +
         recorder_actor() + R"( awake: none]
no-open: make object! [
    name: 'no-open title: info: none
    actor: make object! [
        copy: make function! [[port] [note 'copy]]
        close: make function! [[port /local x y] [note :x note :y]]
        query: make function! [[port a b] [note :a note :b 'queried]]
        length?: make function! [[port] ["long"]]
    ]
    awake: none
]
no-actor: make object! [name: 'no-actor title: info: actor: awake: none]
append system/schemes 'recorder append system/schemes recorder
append system/schemes 'no-open append system/schemes no-open
append system/schemes 'no-actor append system/schemes no-actor
)";
}

struct ports : ::testing::Test {
  natives::native_entry saved[natives::TABLE_SLOTS];

  void SetUp() override {
    start_words();
    std::copy(natives::table, natives::table + natives::TABLE_SLOTS, saved);
    notes.clear();
    // What the boot code has defined before any scheme exists.
    for (uint32_t t = 1; t <= datatype::max_type_id; ++t) {
      const datatype::type_name_entry& e = datatype::type_name_table[t];
      if (e.name && e.word) context::set_global(static_cast<int32_t>(e.word), datatype::make_cell(t));
    }
    context::set_global(symbol::make("none"), none::none_value);
    define("make", "[[type spec] 1]", TYPE_ACTION);
    define("append", "[[series value /part length /only /dup count] 25]", TYPE_ACTION);
    natives::table[NOTE_SLOT - 1] = note;
    define("note", "[[value] " + std::to_string(NOTE_SLOT) + "]", TYPE_NATIVE);
    run(prelude());
    port1 = run("make port! [scheme: 'recorder host: \"h\"]");
    port2 = run("make port! [scheme: 'recorder]");
    notes.clear();
  }
  void TearDown() override { std::copy(saved, saved + natives::TABLE_SLOTS, natives::table); }

  static void define(const std::string& name, const std::string& spec, uint32_t type) {
    cell made = load_source(spec);
    cell proto = datatype::make_cell(type);
    cell value = keep(*native::make_value(&proto, cells_in(made), type));
    stack::pop(1);
    context::set_global(symbol::make(name.c_str()), value);
  }

  static cell run(const std::string& text) {
    cell code = load_source(text);
    cell* top = stack::top;
    auto e = raised([&] { interpreter::eval_block(&code, false); });
    EXPECT_FALSE(e) << text << ": error " << e->category << "/" << e->index;
    cell result = e ? none::none_value : keep(stack::top[-1]);
    stack::top = top;
    return result;
  }

  static std::optional<error_id> run_raised(const std::string& text) {
    cell code = load_source(text);
    auto e = raised([&] { interpreter::eval_block(&code, false); });
    if (e) keep_raised_args();
    return e;
  }

  // The notes as text: the two test ports by name, other values molded.
  std::string noted() const {
    std::string text;
    for (const cell& c : notes) {
      if (!text.empty()) text += " ";
      if (TYPE_OF(&c) == TYPE_PORT) text += c.data1 == port1.data1 ? "<port1>" : "<port2>";
      else text += mold_of(c);
    }
    return text;
  }

  cell port1{}, port2{};
};

cell int_(int32_t v) { return integer::make_cell(v); }
cell word_(const char* spelling) { return keep(error_word(spelling)); }
cell datatype_(uint32_t t) { return datatype::make_cell(t); }

// Calls an action's dispatcher as the interpreter does: a frame, the
// arguments from its base, one integer per refinement. Answers the result.
cell call(int32_t action, const std::vector<cell>& args, std::vector<int32_t> refinements) {
  stacks_restored saved;
  cell name = error_word("port-test");
  stack::mark(&name, stack::FRAME_NATIVE);
  for (const cell& a : args) stack::push(a);
  refinements.push_back(-1);  // never read: keeps data() valid for no refinements
  actions::dispatchers[action](refinements.data());
  return keep(*stack::arguments);
}

TEST_F(ports, make_takes_the_spec_and_the_actor_of_the_registered_scheme) {
  EXPECT_EQ(port1.header, static_cast<uint32_t>(TYPE_PORT));
  EXPECT_EQ(port1.data2, port::CLASS_PORT);
  const cell* fields = object::get_values(&port1);
  cell spec = fields[port::FIELD_SPEC], scheme = fields[port::FIELD_SCHEME], actor = fields[port::FIELD_ACTOR];
  // The spec object is a copy of the port-spec template with the spec applied.
  ASSERT_EQ(TYPE_OF(&spec), static_cast<uint32_t>(TYPE_OBJECT));
  EXPECT_EQ(object::count_words(&spec), 9);
  EXPECT_EQ(mold_of(object::get_values(&spec)[2]), "\"h\"");
  EXPECT_EQ(mold_of(scheme), "recorder");
  cell recorder = *context::get_global(symbol::make("recorder"));
  EXPECT_EQ(actor.data1, object::get_values(&recorder)[3].data1);
  // Each port has a context of its own, made from the port template.
  EXPECT_NE(port1.data1, port2.data1);
  EXPECT_EQ(object::count_words(&port1), 7);
  // An object spec is taken as it is.
  cell from_object = run("spec: make object! [scheme: 'recorder] make port! spec");
  EXPECT_EQ(object::get_values(&from_object)[port::FIELD_SPEC].data1, run("spec").data1);
}

TEST_F(ports, make_refuses_specs_without_a_usable_scheme) {
  struct row { const char* code; error_id error; const char* spec; };
  const row rows[] = {
      {"make port! [1]", err::access_no_scheme, "[1]"},
      {"make port! [scheme: 1]", err::access_no_scheme, "[scheme: 1]"},
      {"make port! make object! [host: \"recorder\"]", err::access_no_scheme, "make object! ["},
      {"make port! [scheme: 'nowhere]", err::access_unknown_scheme, "[scheme: 'nowhere]"},
      {"make port! [scheme: 'no-actor]", err::access_invalid_actor, "[scheme: 'no-actor]"},
  };
  for (const row& r : rows) {
    EXPECT_TRUE(is(run_raised(r.code), r.error)) << r.code;
    std::string spec = r.spec;
    EXPECT_EQ(mold_of(*raised_args[0]).substr(0, spec.size()), spec) << r.code << ": the spec is the argument";
  }
  // With no port template there is no port to make.
  run("system/standard/port: none");
  EXPECT_TRUE(is(run_raised("make port! [scheme: 'recorder]"), err::access_invalid_port));
}

TEST_F(ports, form_and_mold_write_the_fields_as_make_port) {
  std::string molded = mold_of(port1);
  EXPECT_EQ(molded.rfind("make port! [", 0), 0u) << molded;
  EXPECT_NE(molded.find("scheme: 'recorder"), std::string::npos) << molded;
  EXPECT_EQ(molded.back(), ']');
  cell buffer{};
  memory::root_guard keep_buffer(&buffer);
  string::rs_make_at(&buffer, 16);
  actions::form(&port1, &buffer, nullptr, INT32_MAX);
  EXPECT_EQ(text_of(&buffer), molded);
  // A port that holds itself molds once, with a placeholder inside.
  object::get_values(&port1)[5] = port1;
  molded = mold_of(port1);
  EXPECT_NE(molded.find("data: make port! [...]"), std::string::npos) << molded;
}

// Each action through its dispatcher, as the interpreter calls it: the
// arguments after the port, the refinement integers, and what the actor's
// function noted.
TEST_F(ports, each_action_passes_the_arguments_its_spec_names) {
  cell xyz = load_source("x y z");
  cell one = load_source("d");
  struct row {
    int32_t action;
    std::vector<cell> args;
    std::vector<int32_t> refinements;
    const char* noted;
  };
  const row rows[] = {
      {ACT_APPEND, {xyz, int_(2), int_(3)}, {2, -1, 3}, "append <port1> [x y z] true 2 false true 3"},
      {ACT_INSERT, {xyz}, {-1, 2, -1}, "insert <port1> [x y z] false none true false none"},
      {ACT_CHANGE, {one, int_(1), int_(1)}, {2, -1, 3}, "change <port1> [d] true 1 false false none"},
      {ACT_CLEAR, {}, {}, "clear <port1>"},
      {ACT_COPY, {int_(5), datatype_(TYPE_BLOCK)}, {1, 2, 2}, "copy <port1> true 5 true true block!"},
      {ACT_FIND, {word_("a"), int_(3), int_(2)}, {2, -1, 4, -1, -1, -1, 3, 4, -1, -1, 4},
       "find <port1> a true 3 false true false false false none true 2 true false false true"},
      {ACT_SELECT, {word_("a"), int_(9)}, {-1, 3, -1, -1, 3, 2, -1, -1, 3},
       "select <port1> a false none true false false true true 9 false none false true"},
      {ACT_LENGTH_Q, {}, {}, "length? <port1>"},
      {ACT_MOVE, {one, int_(2)}, {2}, "move <port1> [d] true 2"},
      {ACT_PICK, {int_(3)}, {}, "pick <port1> 3"},
      {ACT_POKE, {int_(3), word_("v")}, {}, "poke <port1> 3 v"},
      {ACT_PUT, {word_("k"), int_(1)}, {3}, "put <port1> k 1 true"},
      {ACT_MODIFY, {word_("f"), int_(2)}, {-1}, "modify <port1> f 2 false"},
      {ACT_REMOVE, {int_(2)}, {1, -1}, "remove <port1> true 2"},
      {ACT_REVERSE, {}, {-1, -1}, "reverse <port1> false none"},
      {ACT_SORT, {int_(2), int_(1), int_(4)}, {1, 1, 2, 3, 4, -1, 4},
       "sort <port1> true true 2 true 1 true 4 true false true"},
      {ACT_SWAP, {}, {}, "swap <port1> <port2>"},
      {ACT_TAKE, {int_(2)}, {1, -1, 1}, "take <port1> true 2 false true"},
      {ACT_TRIM, {int_(32)}, {1, -1, -1, 1, -1, 1}, "trim <port1> true false false true false true 32"},
      {ACT_CREATE, {}, {}, "create <port1>"},
      {ACT_CLOSE, {}, {}, "close <port1>"},
      {ACT_DELETE, {}, {}, "delete <port1>"},
      {ACT_QUERY, {}, {}, "query <port1>"},
      {ACT_UPDATE, {}, {}, "update <port1>"},
      {ACT_OPEN, {one}, {1, -1, 1, -1, 1}, "open <port1> true false true false true [d]"},
      {ACT_RENAME, {word_("new")}, {}, "rename <port1> new"},
      {ACT_AT, {int_(2)}, {}, "at <port1> 2"},
      {ACT_BACK, {}, {}, "back <port1>"},
      {ACT_HEAD, {}, {}, "head <port1>"},
      {ACT_HEAD_Q, {}, {}, "head? <port1>"},
      {ACT_INDEX_Q, {}, {}, "index? <port1>"},
      {ACT_NEXT, {}, {}, "next <port1>"},
      {ACT_SKIP, {int_(-1)}, {}, "skip <port1> -1"},
      {ACT_TAIL, {}, {}, "tail <port1>"},
      {ACT_TAIL_Q, {}, {}, "tail? <port1>"},
  };
  for (const row& r : rows) {
    notes.clear();
    std::vector<cell> args{port1};
    if (r.action == ACT_SWAP) args.push_back(port2);
    args.insert(args.end(), r.args.begin(), r.args.end());
    std::optional<cell> result;
    EXPECT_FALSE(raised([&] { result = call(r.action, args, r.refinements); })) << r.noted;
    EXPECT_EQ(noted(), r.noted);
    // The function's answer is the action's.
    ASSERT_TRUE(result) << r.noted;
    if (r.action == ACT_LENGTH_Q) EXPECT_EQ(mold_of(*result), "7");
    else EXPECT_EQ(mold_of(*result), noted().substr(0, noted().find(' ')));
  }
}

// read opens (passing /seek on), copies with the /part limit and closes;
// write opens for writing, inserts with an integer! /part count, copies
// and closes. The copy's answer is theirs.
TEST_F(ports, read_and_write_open_copy_and_close) {
  cell data = load_source("d");
  cell result = call(ACT_READ, {port1, int_(10), int_(5)}, {1, 2, -1, -1, -1, -1});
  EXPECT_EQ(noted(),
            "open <port1> false false false true false none "
            "copy <port1> true 10 false false none close <port1>");
  EXPECT_EQ(mold_of(result), "copy");
  notes.clear();
  result = call(ACT_WRITE, {port1, data, int_(3)}, {-1, -1, -1, -1, 2, -1, -1, -1});
  EXPECT_EQ(noted(),
            "open <port1> false false true false false none insert <port1> [d] true 3 false false none "
            "copy <port1> true 3 false false none close <port1>");
  EXPECT_EQ(mold_of(result), "copy");
  // A /part limit that is no count is not passed to insert.
  notes.clear();
  call(ACT_WRITE, {port1, data, float_::make_cell(2.5)}, {-1, -1, -1, -1, 2, -1, -1, -1});
  EXPECT_NE(noted().find("insert <port1> [d] false none"), std::string::npos) << noted();
}

TEST_F(ports, a_missing_actor_function_is_a_missing_port_action) {
  cell no_open = run("make port! [scheme: 'no-open]");
  // read opens first: nothing is copied or closed.
  EXPECT_TRUE(is(raised([&] { call(ACT_READ, {no_open}, {-1, -1, -1, -1, -1, -1}); }), err::access_no_port_action));
  EXPECT_EQ(mold_of(last_raised.args[0]), "open");
  EXPECT_EQ(noted(), "");
  // open? has no port! entry at all.
  EXPECT_TRUE(is(raised([&] { call(ACT_OPEN_Q, {port1}, {}); }), err::script_expect_arg));
  EXPECT_EQ(mold_of(last_raised.args[1]), "port!");
  // A port whose actor field holds no object has no actor.
  object::get_values(&port1)[port::FIELD_ACTOR] = none::none_value;
  EXPECT_TRUE(is(raised([&] { call(ACT_CLEAR, {port1}, {}); }), err::access_invalid_port));
}

// The frame of an actor function holds one cell per word of its spec:
// arguments it does not take are dropped, those it takes but was not given
// are none, and its locals start as none.
TEST_F(ports, actor_functions_see_exactly_the_words_of_their_spec) {
  cell no_open = run("make port! [scheme: 'no-open]");
  cell result = call(ACT_COPY, {no_open, int_(5)}, {1, -1, -1});
  EXPECT_EQ(noted(), "copy");
  EXPECT_EQ(mold_of(result), "copy");
  notes.clear();
  call(ACT_CLOSE, {no_open}, {});
  EXPECT_EQ(noted(), "none none");
  notes.clear();
  result = call(ACT_QUERY, {no_open}, {});
  EXPECT_EQ(noted(), "none none");
  EXPECT_EQ(mold_of(result), "queried");
  // length? takes a count or none from its actor, nothing else.
  EXPECT_TRUE(is(raised([&] { call(ACT_LENGTH_Q, {no_open}, {}); }), err::script_invalid_arg));
}

// A native actor: a handle whose table entry lists one entry per action
// from append to write.
cell* native_pick(cell*, int32_t index, cell*) { return stack::push(integer::make_cell(index * 10)); }

TEST_F(ports, a_handle_actor_takes_its_actions_from_its_entry_table) {
  static action_entry entries[port::NATIVE_ACTIONS] = {};
  entries[ACT_PICK - ACT_APPEND] = reinterpret_cast<action_entry>(native_pick);
  cell scheme = run("native: make object! [name: 'native title: info: actor: awake: none]");
  // The scheme holds the handle from the moment its entry exists, so that
  // no collection finds the entry unreachable.
  int32_t kind = handles::register_type("port-actor", nullptr);
  cell* actor = handle::make_at(object::get_values(&scheme) + 3, 0, kind);
  actor->data3 = static_cast<uint32_t>(handles::alloc(entries, static_cast<uint32_t>(kind)));
  run("append system/schemes 'native append system/schemes native");
  cell port = run("make port! [scheme: 'native]");
  EXPECT_EQ(mold_of(call(ACT_PICK, {port, int_(4)}, {})), "40");
  EXPECT_TRUE(is(raised([&] { call(ACT_READ, {port}, {-1, -1, -1, -1, -1, -1}); }), err::access_no_port_action));
  // A handle that names no table entry has no actions.
  object::get_values(&port)[port::FIELD_ACTOR].data3 = static_cast<uint32_t>(-1);
  EXPECT_TRUE(is(raised([&] { call(ACT_PICK, {port, int_(4)}, {}); }), err::access_no_port_action));
}

}  // namespace
}  // namespace ixo::test
