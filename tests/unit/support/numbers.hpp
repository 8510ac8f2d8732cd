// Test support for the number datatypes: a started runtime with them
// registered in start-up order, their actions called as the dispatchers
// call them, and builders of the cells they take.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/percent.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/triple.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "kept.hpp"
#include "memory.hpp"
#include "runtime.hpp"

namespace ixo::test {

struct numbers : ::testing::Test {
  void SetUp() override {
    start_runtime();
    integer::init();
    char_::init();
    triple::init();
    float_::init();
    pair::init();
    percent::init();
    tuple::init();
    point2D::init();
    point3D::init();
    stack::reset();
  }
};

inline cell int_(int32_t v) { return integer::make_cell(v); }
inline cell flt(double d) { return float_::make_cell(d); }
inline cell pct(double fraction) { return percent::make_cell(fraction); }
inline cell chr(uint32_t cp) { return char_::make_cell(cp); }
inline cell xy(int32_t x, int32_t y) { return pair::make_cell(x, y); }
inline cell pt(float x, float y) { return point2D::make_cell(x, y); }
inline cell pt(float x, float y, float z) { return point3D::make_cell(x, y, z); }
inline cell tup(const std::vector<int32_t>& bytes) {
  cell t = *tuple::push_bytes(static_cast<int32_t>(bytes.size()), bytes.data());
  stack::pop(1);
  return t;
}
inline int32_t int_of(const cell& c) { return integer::get(&c); }
inline double float_of(const cell& c) { return get_float(&c); }
inline cell typed(uint32_t type, double d) {
  cell c{type, 0, 0, 0};
  set_float(&c, d);
  return c;
}

// A block! holding copies of the cells, kept until the test ends.
inline cell block_of(const std::vector<cell>& cells) {
  uint32_t node = memory::alloc_cells(static_cast<int32_t>(cells.size()));
  memory::series_buffer* b = memory::buffer_of(node);
  for (size_t i = 0; i < cells.size(); ++i) memory::head_of<cell>(b)[i] = cells[i];
  b->tail = b->head + static_cast<uint32_t>(cells.size() * sizeof(cell));
  return keep(cell{TYPE_BLOCK, 0, node, 0});
}

// A string-like cell (unit 1) or binary! of the bytes, kept until the
// test ends.
inline cell bytes_of(const std::string& s, uint32_t type) {
  uint32_t node = memory::alloc_bytes(static_cast<int32_t>(s.size()));
  memory::series_buffer* b = memory::buffer_of(node);
  std::memcpy(memory::head_of(b), s.data(), s.size());
  b->tail = b->head + static_cast<uint32_t>(s.size());
  return keep(cell{type, 0, node, 0});
}

// A stack action (math, absolute, power) on its arguments: the first at
// the argument base, the second above it; the entry is the left operand's
// type's, or that of `via` (for types registered elsewhere). Answers the
// result slot.
inline cell operate(int32_t action, cell left, cell right, uint32_t via = 0) {
  stack::reset();
  stack::push(left);
  stack::push(right);
  datatype::action_of<stack_action_fn>(via ? via : TYPE_OF(&left), action)();
  return *stack::arguments;
}
inline cell operate(int32_t action, cell value) {
  stack::reset();
  stack::push(value);
  datatype::action_of<stack_action_fn>(TYPE_OF(&value), action)();
  return *stack::arguments;
}

inline cell make(uint32_t type, cell spec, int32_t action = ACT_MAKE) {
  stack::reset();
  cell* proto = stack::push(datatype::make_cell(type));
  cell* s = stack::push(spec);
  return *datatype::action_of<make_fn>(type, action)(proto, s, static_cast<int32_t>(type));
}

// round with a /to scale (nullptr: none) and the refinement flags in spec
// order: even, down, half-down, floor, ceiling, half-ceiling.
struct round_flags {
  int32_t even = 0, down = 0, half_down = 0, floor = 0, ceiling = 0, half_ceiling = 0;
};
inline cell round(cell value, const cell* scale, round_flags f = {}) {
  stack::reset();
  cell* v = stack::push(value);
  cell* s = scale ? stack::push(*scale) : stack::arguments - 1;
  return *datatype::action_of<round_fn>(TYPE_OF(&value), ACT_ROUND)(v, s, f.even, f.down, f.half_down, f.floor,
                                                                      f.ceiling, f.half_ceiling);
}

inline int32_t compare(cell a, cell b, int32_t op) { return actions::compare_raw(&a, &b, op); }

// form or mold, as the dispatchers call them, into a rooted string.
inline std::string formed(cell value, bool mold = false, bool all = false) {
  cell buffer{};
  memory::root_guard keep(&buffer);
  string::rs_make_at(&buffer, 16);
  if (mold)
    datatype::action_of<mold_fn>(TYPE_OF(&value), ACT_MOLD)(&value, &buffer, 0, all, 0, nullptr, 100, 0);
  else
    datatype::action_of<form_fn>(TYPE_OF(&value), ACT_FORM)(&value, &buffer, nullptr, 100);
  return text_of(&buffer);
}
inline std::string molded(cell value, bool all = false) { return formed(value, true, all); }

}  // namespace ixo::test
