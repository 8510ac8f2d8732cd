// The one record a function value gets for its calls: what a call reads
// of the function's call spec (a copy of its first cells) and what the
// calls decide from it, the operators' shortcut included. Made by
// whichever route meets the function first, the general route's calls
// or an operator's step, and kept by the function's `more` node in a
// direct-mapped table (call.cpp). Only the collector frees nodes, so a
// record is good until its next cycle; a restarted runtime starts with an
// empty table. A call spec longer than the record's room is read from its
// block each call.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/collector.hpp"

namespace ixo::interpreter {

constexpr int32_t PLAN_ENTRIES = 14;

// What an operator over the function decides: whether the function is a
// native! or action! of exactly two evaluated arguments and no refinement
// (`binary`), the integer-core math code (`math` set) or compare code it
// stands for (-1: no shortcut), and which pairs of integer! and float!
// operands its two typesets accept (`fits`, bit (left is float) << 1 |
// (right is float)).
struct op_plan {
  int8_t code;
  bool math;
  bool binary;
  uint8_t fits;
};
inline constexpr op_plan no_op_plan{-1, false, false, 0};

struct function_plan {
  uint32_t more;
  uint32_t cycle;
  int32_t count;             // call-spec entries; PLAN_ENTRIES + 1 when they do not fit
  int32_t locals;            // a function!'s or routine!'s locals count
  int32_t first_refinement;  // the entry of the first refinement; the entry count when none
  int32_t prefix_end;        // one past the last argument entry before it
  bool plain_prefix;         // only evaluated arguments before it
  op_plan op;
  uint16_t prefix_arguments;  // bit i: entry i, before prefix_end and in the entries, is an argument
  cell entries[PLAN_ENTRIES];
};

static_assert(sizeof(function_plan) == 256, "a table entry is one shift away from its index");

constexpr uint32_t FUNCTION_PLANS = 128;
extern function_plan function_plans[FUNCTION_PLANS];

// The table entry of a function value's record.
inline function_plan& plan_entry(const cell* function) {
  return function_plans[(function->data3 >> 2) & (FUNCTION_PLANS - 1)];
}

// The record of a function value when its entry holds it, made in this
// collector cycle; else nullptr.
inline const function_plan* kept_plan(const cell* function) {
  const function_plan& p = plan_entry(function);
  return p.more == function->data3 && p.cycle == collector::series_cycle_count && p.more != 0 ? &p : nullptr;
}

// Makes the record of a native!, action!, function! or routine! into its
// entry, building the call spec first when it has none: that allocates,
// so `function` must be a rooted cell.
const function_plan& make_plan(const cell* function);

// The record of a function value (rooted, as for make_plan).
inline const function_plan& plan_of(const cell* function) {
  if (const function_plan* p = kept_plan(function)) return *p;
  return make_plan(function);
}

// The record when it can be had without allocating: kept, or made from
// a call spec already built; else nullptr.
const function_plan* built_plan(const cell* function);

}  // namespace ixo::interpreter
