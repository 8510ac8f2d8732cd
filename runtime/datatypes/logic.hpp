// logic!: true and false, and the truth rule of the language: none and
// false are false, every other value is true.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::logic {

extern cell true_value;
extern cell false_value;

inline cell make_cell(bool v) { return cell{TYPE_LOGIC, v ? 1u : 0u, 0, 0}; }
inline uint32_t get(const cell* value) { return value->data1; }

void box(bool v);
cell* push(bool v);

// The truth rule applied to a cell; with `check`, an unset cell raises
// script/no-value with `error_arg`.
bool value_true_q(const cell* value, bool check, const cell* error_arg);
// The result slot: unset raises script/no-return.
bool true_q();
// The result slot is none or false; never raises.
bool false_q();
// The rule's negation on the last pushed cell, and its negation.
bool top_false_q();
bool top_true_q();

void init();

}  // namespace ixo::logic
