// triple!: an internal value of three signed 32-bit integers in payload
// words 1-3, made by the parse engine for its own bookkeeping. The language
// cannot make one; it can only be formed and molded, so that it shows in
// traces and error reports.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::triple {

inline cell make_cell(int32_t a, int32_t b, int32_t c) {
  return cell{TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
}

void init();

}  // namespace ixo::triple
