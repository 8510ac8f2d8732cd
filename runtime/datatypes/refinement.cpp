// refinement!: constructors, mold and the registration over word!'s actions.
#include "runtime/datatypes/refinement.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/memory/root_block.hpp"

namespace ixo::refinement {

cell* load(const char* text) {
  int32_t symbol = symbol::make(text);
  return root::append(cell{TYPE_REFINEMENT, 0, static_cast<uint32_t>(symbol), static_cast<uint32_t>(-1)});
}

cell* load_in(const char* text, uint32_t block) {
  cell* c = word::load_in(text, block);
  c->header = TYPE_REFINEMENT;
  return c;
}

cell* push(const cell& c) {
  cell* pushed = word::push(c);
  set_type(pushed, TYPE_REFINEMENT);
  return pushed;
}

cell* push_local(uint32_t ctx, int32_t index) {
  cell* pushed = word::push_local(ctx, index);
  pushed->header = TYPE_REFINEMENT;
  return pushed;
}

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return word::form(value, buffer, arg, datatype::append_text(buffer, "/", part));
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_REFINEMENT, TYPE_WORD, "refinement!",
    /* make .. set-path */     inherit, unsupported, unsupported, inherit, inherit, mold, unsupported, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::refinement
