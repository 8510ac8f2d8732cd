// unset!: the absence of a value.
#include "runtime/datatypes/unset.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/actions.hpp"
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

int32_t compare(const cell*, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_UNSET) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
      return 0;
    default:
      return COMPARE_NONE;
  }
}

}  // namespace

void init() {
  unset_value.header = TYPE_UNSET;
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_UNSET, 0, "unset!",
    /* make .. set-path */     make, unsupported, unsupported, make, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::unset
