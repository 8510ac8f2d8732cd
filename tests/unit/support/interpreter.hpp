// A started interpreter for tests: the runtime, the interpreter and the
// natives table, native! values of the built slots set to their words in
// the global context, and a small reader of test code: integers, words,
// set-words (a:), get-words (:a), lit-words ('a), refinements (/a), paths
// (a/b/1, set-path a/b:, get-path :a/b), blocks and parens, every word
// bound to the global context. Also test natives in free slots, restored
// when the test ends.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "runtime/datatypes/series.hpp"
#include "kept.hpp"
#include "raised.hpp"
#include "words.hpp"

namespace ixo::test {

inline cell global_word(uint32_t type, const std::string& spelling) {
  cell w = *word::load(spelling.c_str());
  w.header = type;
  return w;
}

// Reads one value at `i` of the text; `i` moves past it.
inline cell read_value(const std::string& s, size_t& i);

inline cell read_series(const std::string& s, size_t& i, char close, uint32_t type) {
  std::vector<cell> cells;
  for (;;) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size() || s[i] == close) break;
    cells.push_back(keep(read_value(s, i)));
  }
  ++i;
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()) + 1);
  for (const cell& c : cells) *series::alloc_tail_cell(memory::buffer_of(node)) = c;
  return keep(cell{type, 0, node, 0});
}

inline cell read_token(const std::string& t) {
  if (std::isdigit(static_cast<unsigned char>(t[0])) || (t[0] == '-' && t.size() > 1 && std::isdigit(static_cast<unsigned char>(t[1]))))
    return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(std::stoi(t)), 0};
  if (t[0] == ':') return global_word(TYPE_GET_WORD, t.substr(1));
  if (t[0] == '/' && t.size() > 1) return global_word(TYPE_REFINEMENT, t.substr(1));
  if (t[0] == '\'') return global_word(TYPE_LIT_WORD, t.substr(1));
  if (t.size() > 1 && t.back() == ':') return global_word(TYPE_SET_WORD, t.substr(0, t.size() - 1));
  return global_word(TYPE_WORD, t);
}

inline cell read_value(const std::string& s, size_t& i) {
  if (s[i] == '[') return read_series(s, ++i, ']', TYPE_BLOCK);
  if (s[i] == '(') return read_series(s, ++i, ')', TYPE_PAREN);
  size_t start = i;
  while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])) && s[i] != '[' && s[i] != ']' &&
         s[i] != '(' && s[i] != ')')
    ++i;
  std::string t = s.substr(start, i - start);
  if (t[0] == '/' || t.find('/') == std::string::npos) return read_token(t);
  // A path: its kind from its decoration, its elements plain.
  uint32_t type = TYPE_PATH;
  if (t[0] == ':') type = TYPE_GET_PATH, t = t.substr(1);
  else if (t.back() == ':') type = TYPE_SET_PATH, t.pop_back();
  std::vector<cell> parts;
  for (size_t from = 0;;) {
    size_t to = t.find('/', from);
    parts.push_back(keep(read_token(t.substr(from, to - from))));
    if (to == std::string::npos) break;
    from = to + 1;
  }
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(parts.size()) + 1);
  for (const cell& c : parts) *series::alloc_tail_cell(memory::buffer_of(node)) = c;
  return keep(cell{type, 0, node, 0});
}

// The block of the test code's values, kept until the test ends.
inline cell code(const std::string& text) {
  size_t i = 0;
  return read_series(text + "]", i, ']', TYPE_BLOCK);
}

// A native! of the slot over the spec (test code), set to the word.
inline void define_native(const std::string& name, const std::string& spec, int32_t slot) {
  cell proto{TYPE_NATIVE, 0, 0, 0};
  cell made = code("[] " + std::to_string(slot));
  cell spec_block = code(spec);
  *memory::head_of<cell>(memory::GET_BUFFER(&made)) = *memory::head_of<cell>(memory::GET_BUFFER(&spec_block));
  cell value = keep(*native::make_value(&proto, &made, TYPE_NATIVE));
  stack::pop(1);
  cell w = global_word(TYPE_WORD, name);
  word::set(&w, value);
}

// Evaluates the test code; answers its result, kept.
inline cell eval(const std::string& text) {
  cell block = code(text);
  cell* top = stack::top;
  std::optional<error_id> e = raised([&] { interpreter::eval_block(&block, false); });
  EXPECT_FALSE(e) << text << ": error " << e->category << "/" << e->index << " arg1 type "
                  << TYPE_OF(&last_raised.args[0]) << " symbol " << last_raised.args[0].data2;
  if (e) return none::none_value;
  cell result = keep(stack::top[-1]);
  stack::top = top;
  return result;
}

inline std::optional<error_id> eval_raised(const std::string& text) {
  cell block = code(text);
  return raised([&] { interpreter::eval_block(&block, false); });
}

inline int32_t int_of(const cell& c) { return TYPE_OF(&c) == TYPE_INTEGER ? static_cast<int32_t>(c.data2) : -999; }

struct interpreter_suite : ::testing::Test {
  natives::native_entry saved[natives::TABLE_SLOTS];

  void SetUp() override {
    start_words();
    interpreter::init();
    natives::init();
    std::copy(natives::table, natives::table + natives::TABLE_SLOTS, saved);
    cell any = global_word(TYPE_WORD, "any-type!");
    word::set(&any, cell{TYPE_TYPESET, ~0u, ~0u, ~0u});
    // What the boot library will define: the datatype words, any-type!,
    // true, false and none.
    for (uint32_t t = 1; t <= datatype::max_type_id; ++t) {
      if (!datatype::type_name_table[t].name) continue;
      cell w = global_word(TYPE_WORD, datatype::type_name_table[t].name);
      word::set(&w, datatype::make_cell(t));
    }
    for (const char* name : {"true", "false", "none"}) {
      cell w = global_word(TYPE_WORD, name);
      word::set(&w, name[0] == 'n' ? none::none_value : logic::make_cell(name[0] == 't'));
    }
    define_native("if", "[cond [any-type!] then-blk [block!]]", 1);
    define_native("unless", "[cond [any-type!] then-blk [block!]]", 2);
    define_native("either", "[cond [any-type!] true-blk [block!] false-blk [block!]]", 3);
    define_native("any", "[conds [block!]]", 4);
    define_native("all", "[conds [block!]]", 5);
    define_native("switch", "[value [any-type!] cases [block!] /default case [block!]]", 18);
    define_native("case", "[cases [block!] /all]", 19);
  }
  void TearDown() override {
    std::copy(saved, saved + natives::TABLE_SLOTS, natives::table);
    interpreter::tracing_on = interpreter::trace_installed = false;
  }
  // A test native in a free slot, over the spec.
  void test_native(const std::string& name, const std::string& spec, int32_t slot, natives::native_entry entry) {
    natives::table[slot - 1] = entry;
    define_native(name, spec, slot);
  }
};

}  // namespace ixo::test
