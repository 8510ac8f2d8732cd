// point2D!: its constructors and its registration row; its actions are the
// points' shared ones (coordinates.cpp).
#include "runtime/datatypes/point2d.hpp"

#include "runtime/datatypes/coordinates.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::point2D {

cell* make_at(cell* c, float x, float y) {
  set_type(c, TYPE_POINT2D);
  set_coordinate(c, 0, x);
  set_coordinate(c, 1, y);
  c->data3 = 0;
  return c;
}

cell* make_in(cell* block, float x, float y) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = make_cell(x, y);
  return c;
}

cell* push(float x, float y) { return stack::push(make_cell(x, y)); }

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_POINT2D, 0, "point2D!",
    /* make .. set-path */     point::make<2>, point::random<2>, unsupported, point::make<2>, point::form<2>, point::mold<2>, point::eval_path<2>, unsupported,
    /* compare .. remainder */ point::compare<2>, point::absolute<2>, point::math<2, integer::OP_ADD>, point::math<2, integer::OP_DIVIDE>, point::math<2, integer::OP_MULTIPLY>, point::negate<2>, unsupported, point::math<2, integer::OP_REMAINDER>,
    /* round .. xor~ */        point::round<2>, point::math<2, integer::OP_SUBTRACT>, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, point::pick<2>, unsupported,
    /* put .. tail */          unsupported, unsupported, point::reverse<2>, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::point2D
