// Test support for the string! actions: a started runtime with series!,
// block! and string! registered, a test-only row for integer! that forms
// it (restored afterwards), and builders of strings of a given unit,
// chars, integers and blocks on the value stack, where the actions find
// their arguments.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "raised.hpp"
#include "runtime.hpp"

namespace ixo::test {

// integer! forms as decimal.
inline int32_t form_integer(cell* value, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, std::to_string(static_cast<int32_t>(value->data2)).c_str(), part);
}

inline datatype_registration form_row(uint32_t type, form_fn form, mold_fn mold) {
  // clang-format off
  return datatype_registration(type, 0, "test!",
      unsupported, unsupported, unsupported, unsupported, form, mold, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported);
  // clang-format on
}

struct string_actions : ::testing::Test {
  std::vector<action_entry> saved;

  void SetUp() override {
    if (!cycles::entries()) cycles::init();  // a module global that start-up sets
    start_runtime();
    series::init();
    block::init();
    string::init();
    action_entry* row = datatype::action_table + TYPE_INTEGER * ACTION_STRIDE;
    saved.assign(row, row + ACTION_STRIDE);
    datatype::register_type(form_row(TYPE_INTEGER, form_integer, nullptr));
    stack::reset();
  }
  void TearDown() override { std::copy(saved.begin(), saved.end(), datatype::action_table + TYPE_INTEGER * ACTION_STRIDE); }
};

// A string of `unit` (or wider, when a code point needs it) holding the code points of `text` (UTF-32), on the
// value stack.
inline cell* push_text(const std::u32string& text, uint32_t unit = 1, uint32_t type = TYPE_STRING) {
  cell* c = stack::push_slot();
  string::make_at_unit(c, static_cast<int32_t>(text.size()), unit);
  memory::series_buffer* b = memory::GET_BUFFER(c);
  int32_t i = 0;
  for (char32_t cp : text) b = string::overwrite_char(b, i++, cp);
  set_type(c, type);
  return c;
}

inline cell* push_ascii(const char* text, uint32_t unit = 1, uint32_t type = TYPE_STRING) {
  return push_text(std::u32string(text, text + std::char_traits<char>::length(text)), unit, type);
}

inline cell integer(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
inline cell character(uint32_t cp) { return cell{TYPE_CHAR, 0, cp, 0}; }
inline cell* push_integer(int32_t v) { return stack::push(integer(v)); }

// A block of the given cells, on the value stack.
inline cell* push_block(const std::vector<cell>& cells) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()));
  memory::series_buffer* b = memory::buffer_of(node);
  std::copy(cells.begin(), cells.end(), memory::head_of<cell>(b));
  b->tail = b->head + static_cast<uint32_t>(cells.size() * sizeof(cell));
  return stack::push(cell{TYPE_BLOCK, 0, node, 0});
}

// The code points of a string from its index, as UTF-32.
inline std::u32string chars_of(const cell* s) {
  std::u32string out;
  for (int32_t i = static_cast<int32_t>(s->data1); i < string::rs_abs_length_q(s); ++i)
    out.push_back(string::rs_abs_at(s, i));
  return out;
}

// The whole string from its head, as UTF-8, whatever the cell's index.
inline std::string whole_text(const cell* s) {
  cell head = *s;
  head.data1 = 0;
  head.data3 = 0;
  return text_of(&head);
}

inline uint32_t unit_of(const cell* s) { return memory::GET_UNIT(memory::GET_BUFFER(s)); }

}  // namespace ixo::test
