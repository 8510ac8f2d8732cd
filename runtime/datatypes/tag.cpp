// tag!: form and mold between angle brackets, and the registration of tag!
// under string!, whose string cell, buffers and other actions it shares.
#include "runtime/datatypes/tag.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string_form.hpp"

namespace ixo::tag {

namespace {

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  part = string::form(value, buffer, arg, datatype::append_text(buffer, "<", part));
  return datatype::append_text(buffer, ">", part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_TAG, TYPE_STRING, "tag!",
    /* make .. set-path */     inherit, unsupported, inherit, inherit, form, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::tag
