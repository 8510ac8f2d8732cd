// point3D!: a point with three 32-bit float coordinates, written
// (x, y, z); the twin of point2D! with a third coordinate.
//
// Cell: payload words 1-3 x, y, z (float32), read with the point2D!
// coordinate accessors.
#pragma once
#include <cstdint>

#include "runtime/datatypes/point2d.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::point3D {

inline cell make_cell(float x, float y, float z) {
  cell c{TYPE_POINT3D, 0, 0, 0};
  point2D::set_coordinate(&c, 0, x);
  point2D::set_coordinate(&c, 1, y);
  point2D::set_coordinate(&c, 2, z);
  return c;
}

// The cell becomes the point, keeping its header flags.
cell* make_at(cell* c, float x, float y, float z);
// A new point at the tail of the block; the answer is valid until the next
// allocation.
cell* make_in(cell* block, float x, float y, float z);
cell* push(float x, float y, float z);
void init();

}  // namespace ixo::point3D
