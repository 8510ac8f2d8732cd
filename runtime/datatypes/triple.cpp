// triple!: its one behaviour, the text "make triple! [a b c]".
#include "runtime/datatypes/triple.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/registry.hpp"

namespace ixo::triple {

namespace {

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  part = datatype::append_text(buffer, "make triple! [", part);
  part = datatype::append_text(buffer, integer::form_signed(static_cast<int32_t>(value->data1)), part);
  part = datatype::append_text(buffer, " ", part);
  part = datatype::append_text(buffer, integer::form_signed(static_cast<int32_t>(value->data2)), part);
  part = datatype::append_text(buffer, " ", part);
  part = datatype::append_text(buffer, integer::form_signed(static_cast<int32_t>(value->data3)), part);
  return datatype::append_text(buffer, "]", part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_TRIPLE, 0, "triple!",
    /* make .. set-path */     unsupported, unsupported, unsupported, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::triple
