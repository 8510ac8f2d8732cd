// set-path!: its constructor, its decorated mold and its registration over
// path!'s actions.
#include "runtime/datatypes/set_path.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/path.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::set_path {

cell* push(cell* c) {
  c->header = TYPE_SET_PATH;
  return stack::push(*c);
}

namespace {

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t) {
  part = path::mold(value, buffer, only, all, flat, arg, part, 0);
  return datatype::append_text(buffer, ":", part);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_SET_PATH, TYPE_PATH, "set-path!",
    /* make .. set-path */     inherit, unsupported, inherit, inherit, inherit, mold, inherit, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::set_path
