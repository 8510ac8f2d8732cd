// point2D!: a point with 32-bit float coordinates, written (x, y); also
// the result of pair arithmetic that leaves the integers. Computations run
// in double precision and round to float32 when stored.
//
// Cell: payload word 1 x, word 2 y (float32), word 3 not used. point3D!
// keeps z in word 3, so the coordinate accessors serve both.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/memory/cell.hpp"

namespace ixo::point2D {

// Coordinate i (0 x, 1 y, 2 z), the float32 in payload word i + 1.
inline float coordinate(const cell* c, int32_t i) {
  float f;
  std::memcpy(&f, reinterpret_cast<const uint8_t*>(c) + 4 * (i + 1), sizeof f);
  return f;
}
inline void set_coordinate(cell* c, int32_t i, float f) {
  std::memcpy(reinterpret_cast<uint8_t*>(c) + 4 * (i + 1), &f, sizeof f);
}

inline cell make_cell(float x, float y) {
  cell c{TYPE_POINT2D, 0, 0, 0};
  set_coordinate(&c, 0, x);
  set_coordinate(&c, 1, y);
  return c;
}

// The cell becomes the point, keeping its header flags.
cell* make_at(cell* c, float x, float y);
// A new point at the tail of the block; the answer is valid until the next
// allocation.
cell* make_in(cell* block, float x, float y);
cell* push(float x, float y);
void init();

}  // namespace ixo::point2D
