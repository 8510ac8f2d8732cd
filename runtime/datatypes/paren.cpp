// paren!: its constructor, its mold in parentheses and its registration
// over block!'s actions.
#include "runtime/datatypes/paren.hpp"

#include "runtime/core/cycles.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::paren {

cell* push(cell* c) {
  c->header = TYPE_PAREN;
  return stack::push(*c);
}

namespace {

// With /only the elements alone, without the parentheses. A paren that
// holds itself molds as "(...)" where it recurs.
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (cycles::detect_q(value, buffer, &part, true)) return part;
  if (!only) part = datatype::append_text(buffer, "(", part);
  part = block::mold_each(value, buffer, only, all, flat, arg, part, indent);
  if (!only) part = datatype::append_text(buffer, ")", part);
  return part;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_PAREN, TYPE_BLOCK, "paren!",
    /* make .. set-path */     inherit, inherit, inherit, inherit, inherit, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::paren
