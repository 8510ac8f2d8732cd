// none!: actions that let none behave as an empty series.
#include "runtime/datatypes/none.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::none {

cell none_value{TYPE_NONE, 0, 0, 0};

void box() { stack::set_last(none_value); }
cell* push() { return stack::push(none_value); }

namespace {

cell* make(cell*, cell*, int32_t) { return push(); }

int32_t form(cell*, cell* buffer, cell*, int32_t part) {
  return datatype::append_text(buffer, "none", part);
}

int32_t mold(cell*, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  return datatype::append_text(buffer, all ? "#(none)" : "none", part);
}

// clear, find, remove, select and take of none answer none.
cell* clear(cell*) { return &none_value; }
cell* find(cell*, cell*, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t, int32_t,
           int32_t, int32_t) {
  return &none_value;
}
cell* select(cell*, cell*, cell*, int32_t, int32_t, int32_t, int32_t, cell*, cell*, int32_t,
             int32_t) {
  return &none_value;
}
cell* remove(cell*, cell*, cell*) { return &none_value; }
cell* take(cell*, cell*, int32_t, int32_t) { return &none_value; }
int32_t length_q(cell*) { return -1; }

}  // namespace

void init() {
  none_value.header = TYPE_NONE;
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_NONE, 0, "none!",
    /* make .. set-path */     make, unsupported, unsupported, make, form, mold, unsupported, unsupported,
    /* compare .. remainder */ datatype::compare_one_value, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, clear, unsupported, find, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, length_q, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, remove, unsupported, select, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, take, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::none
