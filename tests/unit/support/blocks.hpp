// Test support for the series and block actions: a started runtime with
// series! and block! registered, and test-only rows for integer! and
// string! (compare, form and mold, string! inheriting the series actions)
// and hash! (block!'s slots) standing in for the modules that own them; every row a test changes is
// restored afterwards. Builders of integer, string and block cells, and a
// reader of a block's integers.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/core/array.hpp"
#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "kept.hpp"
#include "raised.hpp"
#include "runtime.hpp"

namespace ixo::test {

inline int32_t ordered(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

inline cell integer_value(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

// The code points of a string cell from its index.
inline std::u32string chars_from(const cell* s) {
  memory::series_buffer* b = memory::GET_BUFFER(s);
  uint32_t unit = memory::GET_UNIT(b);
  std::u32string out;
  for (const uint8_t* p = memory::head_of(b) + s->data1 * unit; p < memory::tail_of(b); p += unit)
    out += static_cast<char32_t>(string::get_char(p, unit));
  return out;
}

// Integers order by value; strings by code points, ignoring ASCII case
// except for strict equality and the case-sensitive sort.
inline int32_t compare_integer(const cell* a, const cell* b, int32_t) {
  if (TYPE_OF(b) != TYPE_INTEGER) return COMPARE_NONE;
  return ordered(static_cast<int32_t>(a->data2), static_cast<int32_t>(b->data2));
}

inline int32_t compare_text(const cell* a, const cell* b, int32_t op) {
  if (TYPE_OF(b) != TYPE_OF(a)) return COMPARE_NONE;
  std::u32string x = chars_from(a), y = chars_from(b);
  if (op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT && op != COMP_SAME) {
    for (std::u32string* s : {&x, &y})
      for (char32_t& c : *s) c = c >= 'a' && c <= 'z' ? c - 32 : c;
  }
  return ordered(x.compare(y), 0);
}

inline int32_t form_integer(cell* value, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, std::to_string(static_cast<int32_t>(value->data2)).c_str(), part);
}

inline int32_t mold_integer(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part,
                            int32_t) {
  return form_integer(value, buffer, arg, part);
}

inline int32_t form_text(cell* value, cell* buffer, cell*, int32_t part) {
  string::concatenate(buffer, value, -1, 0, true, string::MODE_APPEND);
  return part - string::rs_length_q(value);
}

inline int32_t mold_text(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part,
                         int32_t) {
  part = datatype::append_text(buffer, "\"", part);
  part = form_text(value, buffer, arg, part);
  return datatype::append_text(buffer, "\"", part);
}

struct block_suite : ::testing::Test {
  struct saved {
    uint32_t type;
    std::vector<action_entry> actions;
    datatype::type_name_entry name;
  };
  std::vector<saved> rows;

  void SetUp() override {
    start_runtime();
    for (uint32_t type : {TYPE_INTEGER, TYPE_STRING, TYPE_SERIES, TYPE_BLOCK, TYPE_HASH}) {
      action_entry* row = datatype::action_table + type * ACTION_STRIDE;
      rows.push_back({type, {row, row + ACTION_STRIDE}, datatype::type_name_table[type]});
    }
    series::init();
    block::init();
    // clang-format off
    datatype::register_type(datatype_registration(TYPE_INTEGER, 0, "integer!",
      unsupported, unsupported, unsupported, unsupported, form_integer, mold_integer, unsupported, unsupported,
      compare_integer, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
    datatype::register_type(datatype_registration(TYPE_STRING, TYPE_SERIES, "string!",
      unsupported, inherit, inherit, unsupported, form_text, mold_text, unsupported, unsupported,
      compare_text, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, inherit, inherit, unsupported, inherit, inherit, unsupported, inherit,
      inherit, inherit, unsupported, inherit, inherit, inherit, inherit, inherit,
      unsupported, inherit, inherit, unsupported, unsupported, inherit, unsupported, inherit,
      inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
    // hash! as block! with a table: every slot from block!.
    datatype::register_type(datatype_registration(TYPE_HASH, TYPE_BLOCK, "hash!",
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit, inherit, inherit, inherit, inherit));
    // clang-format on
    if (!cycles::entries()) cycles::init();  // a module global that start-up sets
    cycles::reset();
  }

  void TearDown() override {
    for (const saved& r : rows) {
      std::copy(r.actions.begin(), r.actions.end(), datatype::action_table + r.type * ACTION_STRIDE);
      datatype::type_name_table[r.type] = r.name;
    }
  }
};

// A string! of UTF-8 text, kept until the test ends.
inline cell text_value(const std::string& utf8) {
  cell s{};
  string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), &s,
                  string::LOAD_UTF8);
  return keep(s);
}

// A block of copies of the cells, with room for `room` more, kept until
// the test ends.
inline cell block_of(const std::vector<cell>& cells, int32_t room = 0, uint32_t type = TYPE_BLOCK) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()) + room);
  memory::series_buffer* b = memory::buffer_of(node);
  std::copy(cells.begin(), cells.end(), memory::head_of<cell>(b));
  b->tail = b->head + static_cast<uint32_t>(cells.size() * sizeof(cell));
  return keep(cell{type, 0, node, 0});
}

inline cell ints(const std::vector<int32_t>& values, int32_t room = 0) {
  std::vector<cell> cells;
  for (int32_t v : values) cells.push_back(integer_value(v));
  return block_of(cells, room);
}

// The integers of a block from its index (-999 for a cell of another type).
inline std::vector<int32_t> ints_of(const cell* b) {
  std::vector<int32_t> out;
  memory::series_buffer* buf = memory::GET_BUFFER(b);
  for (cell* c = memory::head_of<cell>(buf) + b->data1; c < memory::tail_of<cell>(buf); ++c)
    out.push_back(TYPE_OF(c) == TYPE_INTEGER ? static_cast<int32_t>(c->data2) : -999);
  return out;
}

// An empty value stack whose argument base is its bottom; `arg` pushes the
// next argument and answers its cell, which stays where it is.
inline void fresh_arguments() {
  stack::arguments = stack::bottom;
  stack::reset();
}
inline cell* arg(const cell& value) { return stack::push(value); }

// The molded text of a value (its cell pushed as an argument).
inline std::string mold_text(const cell& value) {
  cell* v = arg(value);
  cell* buffer = arg(cell{});
  string::rs_make_at(buffer, 16);
  auto mold = reinterpret_cast<mold_fn>(actions::get_action(TYPE_OF(v), ACT_MOLD));
  mold(v, buffer, 0, 0, 0, nullptr, INT32_MAX, 0);
  return text_of(buffer);
}

// A hash! over a copy of the cells, its table built by the hashtable, kept
// until the test ends.
inline cell hash_of(const std::vector<cell>& cells) {
  cell h = block_of(cells, 0, TYPE_HASH);
  memory::root_guard rooted(&h);
  h.data3 = hashtable::init(static_cast<int32_t>(cells.size()), &h, hashtable::KIND_BLOCK, 1);
  return keep(h);
}

// A hash! is consistent when its table finds every cell at its own place
// (the first equal cell at or after it, strictly equal, is itself) and holds
// exactly one bucket per set of equal cells.
inline ::testing::AssertionResult consistent_hash(const cell* h) {
  uint32_t table = h->data3;
  int32_t length = series::rs_abs_length_q(h);
  int32_t distinct = 0;
  for (int32_t i = 0; i < length; ++i) {
    cell c = memory::head_of<cell>(memory::GET_BUFFER(h))[i];
    cell* found = hashtable::get(table, &c, i, 1, COMP_STRICT_EQUAL, false, false);
    cell* head = memory::head_of<cell>(memory::GET_BUFFER(h));
    if (found != head + i)
      return ::testing::AssertionFailure() << "cell " << i << " found at " << (found ? found - head : -1);
    // The first of its equal cells when the first equal cell from the head is itself.
    cell* earliest = hashtable::get(table, &c, 0, 1, COMP_EQUAL, false, false);
    distinct += earliest == memory::head_of<cell>(memory::GET_BUFFER(h)) + i;
  }
  hashtable::hashtable_record* rec = hashtable::record_of(table);
  if (rec->size != distinct) return ::testing::AssertionFailure() << "size " << rec->size << ", distinct " << distinct;
  // Every live bucket's cells lie in the block, and each cell is in one.
  std::vector<int32_t> seen(static_cast<size_t>(length), 0);
  const uint32_t* flags = memory::head_of<uint32_t>(memory::buffer_of(rec->flags));
  const int32_t* keys = memory::head_of<int32_t>(memory::buffer_of(rec->keys));
  for (int32_t i = 0; i < rec->buckets; ++i) {
    if (hashtable::bucket_state(flags, i) != hashtable::BUCKET_LIVE) continue;
    std::vector<int32_t> cells_in;
    if (keys[i] >= 0) {
      cells_in.push_back(keys[i]);
    } else {
      uint32_t chain = array::pick_ptr(rec->chains, -keys[i]);
      for (int32_t n = 1; n <= array::length_q(chain); ++n) cells_in.push_back(array::pick_int(chain, n));
    }
    for (int32_t x : cells_in) {
      if (x < 0 || x >= length) return ::testing::AssertionFailure() << "bucket " << i << " holds cell " << x;
      ++seen[static_cast<size_t>(x)];
    }
  }
  for (int32_t x = 0; x < length; ++x)
    if (seen[static_cast<size_t>(x)] != 1)
      return ::testing::AssertionFailure() << "cell " << x << " is in " << seen[static_cast<size_t>(x)] << " buckets";
  return ::testing::AssertionSuccess();
}

}  // namespace ixo::test
