// The series iteration natives. Each pushes its loop state before opening
// its loop frame: a copy of the series, whose index the walk advances,
// and a copy of the word or words block, so that both stay rooted and
// the caller's argument cells are left as passed. The body may change
// the series under the walk: every step re-reads the buffer and its
// length, and elements past the tail read as none.
#include "runtime/interpreter/natives_iteration.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/natives_loop.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::natives {

using memory::root_guard;

namespace {

// Element i (from 1) of the series from its index, as `pick` answers it:
// a char! of a string, an integer! of a binary!, a tuple! of an image!,
// none past the tail. An image's buffer holds its width × height pixels,
// so its tail is where the walk of every series ends.
cell pick_at(const cell* series, int32_t i) {
  cell held = *series, index{TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
  cell* top = stack::top;
  cell value = *actions::pick(&held, &index);
  stack::top = top;
  return value;
}

// Word k (from 0) of the words block; anything but a word raises
// script/invalid-arg with it.
cell loop_word(const cell* words, int32_t k) {
  cell w = pick_at(words, k + 1);
  if (!any_word_q(TYPE_OF(&w))) fire(err::script_invalid_arg, {w});
  return w;
}

void set_word(cell w, cell value) {
  root_guard keep_word(&w), keep_value(&value);
  word::set(&w, value);
}

// One step with one word: the word takes the value at the series' index,
// which moves on. False at the tail. A block's cell goes straight into a
// word that takes a plain store (no change handlers to hear of it).
bool foreach_next(cell* series, cell* word) {
  int32_t index = static_cast<int32_t>(series->data1);
  if (any_block_q(TYPE_OF(series))) {
    if (index >= block::rs_abs_cells(series)) return false;
    if (cell* slot = context::plain_slot(word, word->data1)) *slot = *block::rs_abs_at(series, index);
    else set_word(*word, pick_at(series, 1));
  } else {
    if (series::rs_tail_q(series)) return false;
    set_word(*word, pick_at(series, 1));
  }
  ++series->data1;
  return true;
}

// One step with the n words of a block, which take the next n values
// (none past the tail); a map! gives a key and its value to exactly two
// words. False at the tail.
bool foreach_next_block(cell* series, const cell* words, int32_t n) {
  if (series::rs_tail_q(series)) return false;
  uint32_t type = TYPE_OF(series);
  if (type == TYPE_MAP) {
    if (n != 2) fire(err::script_invalid_arg, {*words});
    // Removed pairs up to the tail leave nothing to walk.
    if (!map::foreach_next(words, series, n)) return false;
  } else if (any_block_q(type)) {
    set_many(words, series, n, true, false, false);
  } else {
    for (int32_t k = 0; k < n; ++k) set_word(loop_word(words, k), pick_at(series, k + 1));
  }
  series->data1 += static_cast<uint32_t>(n);
  return true;
}

// After remove-each's body: a truthy result (anything but none and false)
// removes the n values the step had set the words from.
void remove_each_next(cell* series, int32_t n) {
  const cell* result = stack::arguments;
  if (TYPE_OF(result) == TYPE_NONE || (TYPE_OF(result) == TYPE_LOGIC && !logic::get(result))) return;
  series->data1 -= static_cast<uint32_t>(n);
  // remove reads a /part cell above the argument base as given.
  cell* part = n == 1 ? nullptr : stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0});
  actions::remove(series, part, nullptr);
  stack::keep();
}

// The words of a words block from its index; script/invalid-arg for none.
int32_t words_count(const cell* words) {
  int32_t n = block::rs_length_q(words);
  if (n <= 0) fire(err::script_invalid_arg, {*words});
  return n;
}

}  // namespace

void set_many(const cell* words, const cell* value, int32_t count, bool any, bool only, bool some) {
  uint32_t type = TYPE_OF(value);
  bool source = !only && (type == TYPE_MAP || any_block_q(type));
  cell* top = stack::top;
  if (source && type == TYPE_MAP) {
    // A map has no pick: the block of its live keys and values stands for it.
    cell field{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_body), 0xFFFFFFFF};
    cell held = *value;
    root_guard keep_map(&held);
    value = actions::reflect(&held, &field);
  }
  for (int32_t i = 0; i < count; ++i) {
    cell w = loop_word(words, i);
    if (!source || any) continue;
    cell v = pick_at(value, i + 1);
    if (TYPE_OF(&v) == TYPE_UNSET) fire(err::script_need_value, {w});
  }
  for (int32_t i = 0; i < count; ++i) {
    cell v = source ? pick_at(value, i + 1) : *value;
    if (some && TYPE_OF(&v) == TYPE_NONE) continue;
    set_word(loop_word(words, i), v);
  }
  stack::top = top;
}

void foreach(const int32_t*) {
  cell* args = stack::arguments;  // word or words, series, body
  cell* series = stack::push(args[1]);
  cell* words = stack::push(args[0]);
  bool many = TYPE_OF(words) == TYPE_BLOCK;
  int32_t n = many ? words_count(words) : 1;
  if (!many && TYPE_OF(series) == TYPE_MAP) fire(err::script_invalid_arg, {*words});
  open_loop();
  stack::set_result(unset::unset_value);
  while (many ? foreach_next_block(series, words, n) : foreach_next(series, words)) {
    stack::reset();
    loop_step step = run_body(args + 2);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
  }
  stack::unwind_last();
}

void forall(const int32_t*) {
  cell* args = stack::arguments;  // word, body
  cell* series = word::get(args);
  if (!series_q(TYPE_OF(series))) {
    cell function = error_word("forall");
    cell argument = error_word("word");
    fire(err::script_expect_arg, {function, datatype::make_cell(TYPE_OF(series)), argument});
  }
  cell* word = stack::push(args[0]);
  open_loop();
  stack::set_result(unset::unset_value);
  bool broke = false;
  if (!series::rs_tail_q(series)) {
    for (;;) {
      stack::reset();
      loop_step step = run_body(args + 1);
      if (step == LOOP_EXIT) return;
      if (step == LOOP_BREAK) {
        broke = true;
        break;
      }
      cell* now = word::get_value(word);
      if (!series_q(TYPE_OF(now)) || now->data2 != series->data2) fire(err::script_bad_loop_series, {*now});
      ++now->data1;
      if (series::rs_tail_q(now)) break;
    }
  }
  // A walk that ran to its end leaves the word where it started.
  if (!broke) set_word(*word, *series);
  stack::unwind_last();
}

void remove_each(const int32_t*) {
  cell* args = stack::arguments;  // word or words, data, body
  cell* series = stack::push(args[1]);
  cell* words = stack::push(args[0]);
  bool many = TYPE_OF(words) == TYPE_BLOCK;
  int32_t n = many ? block::rs_length_q(words) : 1;
  open_loop();
  stack::set_result(unset::unset_value);
  while (n > 0 && (many ? foreach_next_block(series, words, n) : foreach_next(series, words))) {
    stack::reset();
    loop_step step = run_body(args + 2);
    if (step == LOOP_EXIT) return;
    if (step == LOOP_BREAK) break;
    if (step == LOOP_NEXT) remove_each_next(series, n);
  }
  stack::set_result(args[1]);
  stack::unwind_last();
}

}  // namespace ixo::natives
