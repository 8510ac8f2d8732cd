// percent!: a float shown as a percentage. The cell holds the fraction
// (12.5% holds 0.125) in payload words 2-3, as float! does; every action
// but the text form comes from float!, whose math and round know percents.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::percent {

inline cell make_cell(double fraction) {
  cell c{TYPE_PERCENT, 0, 0, 0};
  set_float(&c, fraction);
  return c;
}

cell* push(double fraction);
cell* make_at(cell* c, double fraction);
// A new percent from the two halves of its bit pattern at the tail of the
// block; the answer is valid until the next allocation.
cell* make_in(cell* block, uint32_t low, uint32_t high);

void init();

}  // namespace ixo::percent
