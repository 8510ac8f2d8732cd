// Test support for the hashtable: compare behaviours registered in the rows
// of the types the tests use (string!, integer!, the word types, block!),
// restored when the suite ends; a symbol table per test; and builders of
// strings, words and blocks.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "kept.hpp"
#include "memory.hpp"

namespace ixo::test {

inline int32_t order(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The unit-1 text of a string-like cell from its index.
inline std::string text_of(const cell* c) {
  memory::series_buffer* b = memory::GET_BUFFER(c);
  char* head = memory::head_of<char>(b);
  return std::string(head + c->data1, memory::tail_of<char>(b));
}

// Strings compare ignoring case but for strict equality and the case sort.
inline int32_t compare_text(const cell* a, const cell* b, int32_t op) {
  if (TYPE_OF(a) != TYPE_OF(b)) return COMPARE_NONE;
  std::string x = text_of(a), y = text_of(b);
  if (op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT) {
    for (std::string* s : {&x, &y}) {
      for (char& ch : *s) ch = static_cast<char>(case_folding::change_char(static_cast<uint8_t>(ch), 1));
    }
  }
  return order(x.compare(y), 0);
}

inline int32_t compare_integer(const cell* a, const cell* b, int32_t) {
  if (TYPE_OF(a) != TYPE_OF(b)) return COMPARE_NONE;
  return order(static_cast<int32_t>(a->data2), static_cast<int32_t>(b->data2));
}

// Words compare by canonical symbol, strictly by their own symbol.
inline int32_t compare_word(const cell* a, const cell* b, int32_t op) {
  uint32_t t = TYPE_OF(b);
  if (t < TYPE_WORD || t > TYPE_GET_WORD) return COMPARE_NONE;
  int32_t x = static_cast<int32_t>(a->data2), y = static_cast<int32_t>(b->data2);
  if (op != COMP_STRICT_EQUAL) {
    x = symbol::resolve(x);
    y = symbol::resolve(y);
  }
  return order(x, y);
}

inline int32_t compare_series(const cell* a, const cell* b, int32_t) {
  if (TYPE_OF(a) != TYPE_OF(b)) return COMPARE_NONE;
  return a->data2 != b->data2 ? order(a->data2, b->data2) : order(a->data1, b->data1);
}

inline datatype_registration compare_row(uint32_t type, compare_fn cmp) {
  // clang-format off
  return datatype_registration(type, 0, "test!",
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      cmp, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported);
  // clang-format on
}

struct saved_row {
  uint32_t type;
  std::vector<action_entry> actions;
  datatype::type_name_entry name;
};

inline std::vector<saved_row>& saved_rows() {
  static std::vector<saved_row> rows;
  return rows;
}

struct table_suite : fresh_memory {
  static void SetUpTestSuite() {
    case_folding::init();
    if (!datatype::action_table) datatype::alloc_tables();
    datatype::type_words_made = false;  // the runtime that made them may be gone
    const std::pair<uint32_t, compare_fn> rows[] = {
        {TYPE_STRING, compare_text},   {TYPE_INTEGER, compare_integer}, {TYPE_WORD, compare_word},
        {TYPE_SET_WORD, compare_word}, {TYPE_LIT_WORD, compare_word},   {TYPE_GET_WORD, compare_word},
        {TYPE_BLOCK, compare_series},
    };
    for (auto [type, cmp] : rows) {
      action_entry* row = datatype::action_table + type * ACTION_STRIDE;
      saved_rows().push_back({type, {row, row + ACTION_STRIDE}, datatype::type_name_table[type]});
      datatype::register_type(compare_row(type, cmp));
    }
  }
  static void TearDownTestSuite() {
    for (const saved_row& r : saved_rows()) {
      std::copy(r.actions.begin(), r.actions.end(), datatype::action_table + r.type * ACTION_STRIDE);
      datatype::type_name_table[r.type] = r.name;
    }
    saved_rows().clear();
  }
  void SetUp() override {
    fresh_memory::SetUp();
    symbol::table = hashtable::init(16, nullptr, hashtable::KIND_SYMBOL, 1);
  }
  void TearDown() override {
    symbol::table = 0;
    collector::node_relocation_count = 0;
    collector::in_progress = 0;
    fresh_memory::TearDown();
  }
};

// A string-like cell of unit-1 text, kept until the test ends.
inline cell text(const std::string& s, uint32_t type = TYPE_STRING) {
  uint32_t node = memory::alloc_bytes(static_cast<int32_t>(s.size()));
  memory::series_buffer* b = memory::buffer_of(node);
  std::memcpy(memory::head_of(b), s.data(), s.size());
  b->tail = b->head + static_cast<uint32_t>(s.size());
  return keep(cell{type, 0, node, 0});
}

inline int32_t intern(const std::string& spelling) {
  return hashtable::get_symbol(symbol::table, reinterpret_cast<const uint8_t*>(spelling.data()),
                               static_cast<int32_t>(spelling.size()), false);
}

inline cell word(const std::string& spelling, uint32_t type = TYPE_WORD) {
  return cell{type, 0, static_cast<uint32_t>(intern(spelling)), 0};
}

inline cell integer(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

// A block holding copies of the cells, with room for `room` more, kept
// until the test ends.
inline cell block(const std::vector<cell>& cells, int32_t room = 0) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()) + room);
  memory::series_buffer* b = memory::buffer_of(node);
  std::copy(cells.begin(), cells.end(), memory::head_of<cell>(b));
  b->tail = b->head + static_cast<uint32_t>(cells.size() * sizeof(cell));
  return keep(cell{TYPE_BLOCK, 0, node, 0});
}

inline cell* cells_of(uint32_t table) {
  return memory::head_of<cell>(memory::buffer_of(hashtable::record_of(table)->block));
}

inline int32_t length_of(uint32_t table) {
  memory::series_buffer* b = memory::buffer_of(hashtable::record_of(table)->block);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

// The position `get` answers, or -1.
inline int32_t find(uint32_t table, const cell& key, int32_t start = 0, int32_t op = COMP_EQUAL,
                    int32_t skip = 1, bool from_end = false, bool backward = false) {
  cell* found = hashtable::get(table, &key, start, skip, op, from_end, backward);
  return found ? static_cast<int32_t>(found - cells_of(table)) : -1;
}

}  // namespace ixo::test
