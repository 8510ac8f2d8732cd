// point3D!: its constructors and its registration row; its actions are the
// points' shared ones (coordinates.cpp).
#include "runtime/datatypes/point3d.hpp"

#include "runtime/datatypes/coordinates.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::point3D {

using point2D::coordinate;
using point2D::set_coordinate;

cell* make_at(cell* c, float x, float y, float z) {
  set_type(c, TYPE_POINT3D);
  set_coordinate(c, 0, x);
  set_coordinate(c, 1, y);
  set_coordinate(c, 2, z);
  return c;
}

cell* make_in(cell* block, float x, float y, float z) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(x, y, z);
  return c;
}

cell* push(float x, float y, float z) { return stack::push(make_cell(x, y, z)); }

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_POINT3D, 0, "point3D!",
    /* make .. set-path */     point::make<3>, point::random<3>, unsupported, point::make<3>, point::form<3>, point::mold<3>, point::eval_path<3>, unsupported,
    /* compare .. remainder */ point::compare<3>, point::absolute<3>, point::math<3, integer::OP_ADD>, point::math<3, integer::OP_DIVIDE>, point::math<3, integer::OP_MULTIPLY>, point::negate<3>, unsupported, point::math<3, integer::OP_REMAINDER>,
    /* round .. xor~ */        point::round<3>, point::math<3, integer::OP_SUBTRACT>, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, point::pick<3>, unsupported,
    /* put .. tail */          unsupported, unsupported, point::reverse<3>, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::point3D
