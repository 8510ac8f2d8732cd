// datatype!: form, mold and compare.
#include "runtime/datatypes/datatype.hpp"

#include <cstring>

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::datatype {

cell* push(uint32_t type) { return stack::push(make_cell(type)); }

int32_t append_text(cell* buffer, const char* text, int32_t part) {
  auto n = static_cast<int32_t>(std::strlen(text));
  string::concatenate_literal_part(memory::GET_BUFFER(buffer), reinterpret_cast<const uint8_t*>(text), n);
  return part - n;
}

int32_t compare_one_value(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_OF(value1)) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
      return 0;
    default:
      return COMPARE_NONE;
  }
}

namespace {

int32_t append_name(cell* buffer, uint32_t type, bool with_bang, int32_t part) {
  const type_name_entry& e = type_name_table[type];
  int32_t n = e.length + (with_bang ? 1 : 0);
  string::concatenate_literal_part(memory::GET_BUFFER(buffer),
                                   reinterpret_cast<const uint8_t*>(e.name), n);
  return part - n;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t part) {
  return append_name(buffer, value->data1, false, part);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell*, int32_t part, int32_t) {
  if (!all) return append_name(buffer, value->data1, true, part);
  part = append_text(buffer, "#(", part);
  part = append_name(buffer, value->data1, true, part);
  return append_text(buffer, ")", part);
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
      return TYPE_OF(value2) == TYPE_DATATYPE && value2->data1 == value1->data1 ? 0 : 1;
    default:
      return COMPARE_NONE;
  }
}

}  // namespace

void init() {
  // clang-format off
  register_type(datatype_registration(TYPE_DATATYPE, 0, "datatype!",
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

}  // namespace ixo::datatype
