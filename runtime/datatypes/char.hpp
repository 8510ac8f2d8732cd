// char!: one Unicode code point, 0 to 10FFFFh, in payload word 2 as
// integer! keeps its value. Its arithmetic runs on the integer core and
// keeps results within the code-point range.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::char_ {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;

inline cell make_cell(uint32_t cp) { return cell{TYPE_CHAR, 0, cp, 0}; }

cell* push(uint32_t cp);
// A new char at the tail of the block; the answer is valid until the next
// allocation.
cell* make_in(cell* block, uint32_t cp);
// The action: the char in the first argument cell op the second.
void do_math(int32_t op);

void init();

}  // namespace ixo::char_
