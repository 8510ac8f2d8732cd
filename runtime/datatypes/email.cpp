// email!: mold, the path fields `user` and `host`, and the registration of
// email! under string!, whose string cell, buffers and other actions it
// shares. The text splits at its first at sign after the index; without
// one, all of it is the user part and the host part is empty.
#include "runtime/datatypes/email.hpp"

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/string_edit.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::email {

using namespace memory;

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return string::form(value, buffer, arg, part);
}

bool field_q(const cell* element, int32_t symbol) {
  return TYPE_OF(element) == TYPE_WORD && symbol::EQUAL_WORDS_q(element, symbol);
}

// Reading a field answers a new string! of its text; setting one changes
// the email's own text in place, as change/part does, and answers the
// value set. Positions count from the index.
cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell* parent, cell* previous,
                int32_t element_index, int32_t case_, int32_t get, int32_t last, int32_t notify) {
  if (TYPE_OF(element) == TYPE_INTEGER)
    return string::eval_path(value, element, data, path, parent, previous, element_index, case_, get, last, notify);
  bool user = field_q(element, words::sym_user);
  if (!user && !field_q(element, words::sym_host)) fire(err::script_invalid_path, {*path, *element});

  cell e = *value;
  int32_t length = string::rs_length_q(&e);
  int32_t index = string::rs_abs_length_q(&e) - length;
  int32_t at = string::find_char(&e, '@');
  int32_t start = user ? 0 : at < 0 ? length : at + 1;
  int32_t count = user ? (at < 0 ? length : at) : length - start;

  if (!data) {
    uint32_t node = series::copy_part(e.data2, index + start, count);
    return stack::push(cell{TYPE_STRING, 0, node, 0});
  }
  cell* target = stack::push(e);
  target->data1 = static_cast<uint32_t>(index + start);
  string::change(target, data, count, 0, 1);
  return data;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_EMAIL, TYPE_STRING, "email!",
    /* make .. set-path */     inherit, unsupported, inherit, inherit, inherit, mold, eval_path, unsupported,
    /* compare .. remainder */ inherit, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          inherit, inherit, inherit, inherit, unsupported, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, unsupported, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::email
