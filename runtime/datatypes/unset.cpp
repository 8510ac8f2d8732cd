// unset!: the absence of a value.
#include "runtime/datatypes/unset.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::unset {

cell unset_value{TYPE_UNSET, 0, 0, 0};

void box() { stack::set_last(unset_value); }
cell* push() { return stack::push(unset_value); }

namespace {

// make and to: a new unset whatever the argument.
cell* make(cell*, cell*, int32_t) { return push(); }

// Unset forms as nothing and molds as "unset".
int32_t form(cell*, cell*, cell*, int32_t part) { return part; }

int32_t mold(cell*, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  return datatype::append_text(buffer, all ? "#(unset)" : "unset", part);
}

}  // namespace

void init() {
  unset_value.header = TYPE_UNSET;
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_UNSET, 0, "unset!",
    /* make .. set-path */     make, unsupported, unsupported, make, form, mold, unsupported, unsupported,
    /* compare .. remainder */ datatype::compare_one_value, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::unset
