// action!: make, form, mold and comparison over native!'s helpers;
// reflect is native!'s.
#include "runtime/datatypes/action.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/actions.hpp"

namespace ixo::action {

namespace {

cell* make(cell* proto, cell* spec, int32_t) { return native::make_value(proto, spec, TYPE_ACTION); }

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "?action?", part); }

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  part = datatype::append_text(buffer, "make action! [", part);
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  part = actions::mold(&spec, buffer, only, all, flat, arg, part, indent);
  return datatype::append_text(buffer, "]", part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_ACTION, TYPE_NATIVE, "action!",
    /* make .. set-path */     make, unsupported, inherit, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ native::compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::action
