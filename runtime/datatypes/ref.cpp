// ref!: mold after an at sign, and the registration of ref! under string!,
// whose string cell, buffers and other actions it shares. A ref! has no
// path step and cannot be appended to.
#include "runtime/datatypes/ref.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string_form.hpp"

namespace ixo::ref {

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return string::form(value, buffer, arg, datatype::append_text(buffer, "@", part));
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_REF, TYPE_STRING, "ref!",
    /* make .. set-path */     inherit, unsupported, inherit, inherit, inherit, mold, unsupported, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::ref
