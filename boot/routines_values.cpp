// The value routines of the boot library: the quiet store into a block
// slot, the three bit shifts (forwarded to the shift native) and the
// character count of a UTF-8 byte run, and the empty handle (null-handle,
// and the handle of screens that the view backend has none for).
#include "boot/routines.hpp"

#include <algorithm>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/natives_math.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::boot {

namespace {

bool any_slot_block_q(uint32_t type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_PATH || type == TYPE_LIT_PATH ||
         type == TYPE_SET_PATH || type == TYPE_GET_PATH;
}

// The shift native's refinements, /left then /logical: -1 absent, else
// given (the index of the refinement's flag among the arguments).
constexpr int32_t SHIFT_RIGHT[] = {-1, -1};
constexpr int32_t SHIFT_LEFT[] = {2, -1};
constexpr int32_t SHIFT_LOGICAL[] = {-1, 2};

}  // namespace

// The cell is written directly: no ownership check runs, so no owner's
// on-deep-change* hears of it. The result is the series.
void set_slot_quiet() {
  cell* series = stack::arguments;
  if (!any_slot_block_q(TYPE_OF(series))) {
    cell name = error_word("set-slot-quiet");
    cell argument = error_word("series");
    fire(err::script_expect_arg, {name, datatype::make_cell(TYPE_OF(series)), argument});
  }
  if (block::rs_tail_q(series)) return;
  *block::rs_abs_at(series, static_cast<int32_t>(series->data1)) = stack::arguments[1];
}

void shift_right() { natives::shift(SHIFT_RIGHT); }
void shift_left() { natives::shift(SHIFT_LEFT); }
void shift_logical() { natives::shift(SHIFT_LOGICAL); }

// Counts in the buffer of `start`, from its index to the index of `pos`,
// both clamped to the buffer's tail; a `pos` before `start` counts 0.
void count_chars() {
  const cell* start = stack::arguments;
  const memory::series_buffer* b = memory::GET_BUFFER(start);
  const uint8_t* head = memory::head_of<uint8_t>(b);
  int64_t length = memory::tail_of<uint8_t>(b) - head;
  int64_t from = std::min<int64_t>(start->data1, length);
  int64_t to = std::max(from, std::min<int64_t>(stack::arguments[1].data1, length));
  integer::box(unicode::count_chars(head + from, head + to));
}

void make_null_handle() { handle::make_at(stack::arguments, 0, 0); }

void init_value_routines() {
  routine::register_entry("set-slot-quiet", set_slot_quiet);
  routine::register_entry("shift-right", shift_right);
  routine::register_entry("shift-left", shift_left);
  routine::register_entry("shift-logical", shift_logical);
  routine::register_entry("count-chars", count_chars);
  routine::register_entry("make-null-handle", make_null_handle);
}

}  // namespace ixo::boot
