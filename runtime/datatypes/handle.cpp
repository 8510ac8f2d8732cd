// handle!: constructors, form, mold, compare and the registration.
#include "runtime/datatypes/handle.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/handles.hpp"

namespace ixo::handle {

cell* make_at(cell* c, uint32_t value, int32_t kind) {
  *c = cell{TYPE_HANDLE, static_cast<uint32_t>(kind), value, static_cast<uint32_t>(-1)};
  return c;
}

cell* push(uint32_t value, int32_t kind) { return make_at(stack::push_slot(), value, kind); }

namespace {

// The value as eight hexadecimal digits and "h".
int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  part = datatype::append_text(buffer, string::to_hex(static_cast<int32_t>(value->data2), false), part);
  return datatype::append_text(buffer, "h", part);
}

// With /all, "#[handle! " the form and the class name "]"; else the word
// handle!. A kind that names no registered class shows no name.
int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell* arg, int32_t part, int32_t) {
  if (!all) return datatype::append_text(buffer, "handle!", part);
  part = form(value, buffer, arg, datatype::append_text(buffer, "#[handle! ", part));
  int32_t kind = static_cast<int32_t>(value->data1);
  if (kind > 0 && kind <= handles::table.type_count) {
    part = datatype::append_text(buffer, " ", part);
    part = datatype::append_text(buffer, handles::table.types[kind - 1].name, part);
  }
  return datatype::append_text(buffer, "]", part);
}

int32_t compare(const cell* value1, const cell* value2, int32_t) {
  if (TYPE_OF(value2) != TYPE_HANDLE) return 1;
  int32_t a = static_cast<int32_t>(value1->data2), b = static_cast<int32_t>(value2->data2);
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_HANDLE, TYPE_INTEGER, "handle!",
    /* make .. set-path */     unsupported, unsupported, unsupported, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::handle
