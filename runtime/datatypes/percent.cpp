// percent!: constructors and the text form; float! gives the rest.
#include "runtime/datatypes/percent.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::percent {

cell* push(double fraction) { return stack::push(make_cell(fraction)); }

cell* make_at(cell* c, double fraction) {
  *c = make_cell(fraction);
  return c;
}

cell* make_in(cell* block, uint32_t low, uint32_t high) {
  cell* c = series::alloc_tail_cell(memory::GET_BUFFER(block));
  *c = cell{TYPE_PERCENT, 0, low, high};
  return c;
}

namespace {

// form and mold: the fraction in hundreds, with "%".
int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, float_::form_float(get_float(value) * 100.0, float_::FORM_PERCENT), part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_PERCENT, TYPE_FLOAT, "percent!",
    /* make .. set-path */     inherit, inherit, unsupported, inherit, form, mold, unsupported, unsupported,
    /* compare .. remainder */ inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* round .. xor~ */        inherit, inherit, inherit, inherit, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::percent
