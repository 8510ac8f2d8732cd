// native!: making a native value from a spec block and a slot number,
// reflection, form, mold and comparison. Calling it is the interpreter's.
#include "runtime/datatypes/native.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::native {

using memory::root_guard;

namespace {

// The action dispatcher table has 62 slots; slot 8 (set-path) is empty.
constexpr int32_t ACTION_SLOTS = 62;
constexpr int32_t EMPTY_ACTION_SLOT = 8;

bool slot_ok_q(uint32_t type, int32_t n) {
  if (type == TYPE_NATIVE) return n >= 1 && n <= NATIVE_SLOTS;
  return n >= 1 && n <= ACTION_SLOTS && n != EMPTY_ACTION_SLOT;
}

}  // namespace

cell* make_value(cell* proto, cell* spec, uint32_t type) {
  // Read from the spec's first cell, whatever its index.
  bool ok = TYPE_OF(spec) == TYPE_BLOCK && series::rs_abs_length_q(spec) == 2;
  cell words{}, slot{};
  if (ok) {
    words = *block::rs_abs_at(spec, 0);
    slot = *block::rs_abs_at(spec, 1);
    ok = TYPE_OF(&words) == TYPE_BLOCK && TYPE_OF(&slot) == TYPE_INTEGER &&
         slot_ok_q(type, static_cast<int32_t>(slot.data2));
  }
  if (!ok) fire(err::script_bad_make_arg, {*proto, *spec});

  cell* result = stack::push(unset::unset_value);
  cell more{};
  root_guard keep_words(&words), keep_more(&more);
  block::make_at(&more, 2);
  uint32_t ctx = context::make_from_spec(&words, true, false, context::KIND_FUNCTION);
  block::rs_append(&more, context::context_cell(ctx));
  block::rs_append(&more, &none::none_value);
  *result = cell{type, slot.data2, words.data2, more.data2};
  return result;
}

cell* reflect(cell* value, cell* field) {
  if (symbol::EQUAL_WORDS_q(field, words::sym_spec)) return stack::push(cell{TYPE_BLOCK, 0, value->data2, 0});
  if (symbol::EQUAL_WORDS_q(field, words::sym_body)) {
    uint32_t wrapped = TYPE_OF(value) == TYPE_OP ? value->header >> 16 & 0xFF : TYPE_OF(value);
    if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) {
      cell more{TYPE_BLOCK, 0, value->data3, 0};
      return block::rs_abs_at(&more, 0);
    }
    return stack::push(cell{TYPE_INTEGER, 0, value->data1, 0});
  }
  fire(err::internal_not_done);
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_OF(value1)) return COMPARE_NONE;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND: {
      auto a = static_cast<int32_t>(value1->data1), b = static_cast<int32_t>(value2->data1);
      return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
      return COMPARE_NONE;
  }
}

namespace {

cell* make(cell* proto, cell* spec, int32_t) { return make_value(proto, spec, TYPE_NATIVE); }

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "?native?", part); }

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  part = datatype::append_text(buffer, "make native! [", part);
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  part = actions::mold(&spec, buffer, only, all, flat, arg, part, indent);
  return datatype::append_text(buffer, "]", part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_NATIVE, 0, "native!",
    /* make .. set-path */     make, unsupported, reflect, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::native
