// set-word!: constructors, mold and the registration over word!'s actions.
#include "runtime/datatypes/set_word.hpp"

#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::set_word {

cell* load(const char* text) {
  cell* c = word::load(text);
  if (!boot_flag) c = word::track_new(*c);
  c->header = TYPE_SET_WORD;
  return c;
}

cell* load_in(const char* text, uint32_t block) {
  cell* c = word::load_in(text, block);
  c->header = TYPE_SET_WORD;
  return c;
}

cell* push(const cell& c) {
  cell* pushed = word::push(c);
  set_type(pushed, TYPE_SET_WORD);
  return pushed;
}

cell* push_local(uint32_t ctx, int32_t index) {
  cell* pushed = word::push_local(ctx, index);
  set_type(pushed, TYPE_SET_WORD);
  return pushed;
}

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return datatype::append_text(buffer, ":", word::form(value, buffer, arg, part));
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_SET_WORD, TYPE_WORD, "set-word!",
    /* make .. set-path */     inherit, unsupported, unsupported, inherit, inherit, mold, unsupported, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::set_word
