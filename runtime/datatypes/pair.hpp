// pair!: two 32-bit signed integers written x "x" y (1x2), the sizes and
// positions of the GUI layer. Arithmetic stays in integers while every
// coordinate result is an exact integer; when one is not (an overflow, an
// inexact quotient, a float factor or divisor) the operation is done in
// point2D! instead, so a pair operation may answer a point.
//
// Cell: payload word 1 not used, word 2 x, word 3 y.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::pair {

inline cell make_cell(int32_t x, int32_t y) {
  return cell{TYPE_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}
inline int32_t x_of(const cell* c) { return static_cast<int32_t>(c->data2); }
inline int32_t y_of(const cell* c) { return static_cast<int32_t>(c->data3); }

// The cell becomes the pair, keeping its header flags.
cell* make_at(cell* c, int32_t x, int32_t y);
// A new pair at the tail of the block; the answer is valid until the next
// allocation.
cell* make_in(cell* block, int32_t x, int32_t y);
cell* push(int32_t x, int32_t y);
// An integer!, or a float! truncated toward zero; a float that does not
// fit 32 bits raises script/out-of-range.
int32_t get_value_int(const cell* c);
// The argument cell at the argument base + index becomes the point2D! of
// its pair.
void as_point2D(int32_t index);
// The action: the pair in the first argument cell op the second.
void do_math(int32_t op);

void init();

}  // namespace ixo::pair
