// issue!: constructors, make and to from text, mold, compare, and the
// registration.
#include "runtime/datatypes/issue.hpp"

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::issue {

using namespace memory;

namespace {

cell issue_of(int32_t symbol) {
  return cell{TYPE_ISSUE, context::global_ctx, static_cast<uint32_t>(symbol), static_cast<uint32_t>(-1)};
}

}  // namespace

cell* make_at(cell* c, const char* text) {
  *c = issue_of(symbol::make(text));
  return c;
}

cell* make_in(const char* text, uint32_t block) {
  root_guard keep(&block);
  int32_t symbol = symbol::make(text);
  cell* c = series::alloc_tail_cell(buffer_of(block));
  *c = issue_of(symbol);
  return c;
}

cell* load(const char* text) {
  if (boot_flag) return root::append(issue_of(symbol::make(text)));
  return make_at(stack::push_slot(), text);
}

cell* push(const cell& c) {
  cell* pushed = stack::push(c);
  set_type(pushed, TYPE_ISSUE);
  return pushed;
}

namespace {

// make and to: a word of any type retyped; the text of a string! from its
// index, or a char!, interned as it is; anything else as word! makes it.
cell* make(cell* proto, cell* spec, int32_t) {
  switch (TYPE_OF(spec)) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE:
      copy_cell(spec, proto);
      break;
    case TYPE_STRING: {
      cell text = *spec;
      root_guard keep(&text);
      *proto = issue_of(symbol::make_from_string(&text, -1));
      break;
    }
    case TYPE_CHAR: {
      uint8_t bytes[4];
      int32_t length = unicode::cp_to_utf8(spec->data2, bytes);
      *proto = issue_of(symbol::make_part(bytes, length));
      break;
    }
    default:
      word::make(proto, spec, TYPE_ISSUE);
  }
  proto->header = TYPE_ISSUE;
  return proto;
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return word::form(value, buffer, arg, datatype::append_text(buffer, "#", part));
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_ISSUE) return COMPARE_NONE;
  return word::compare(value1, value2, op);
}

}  // namespace

int32_t hex_digits(const cell* value, uint8_t* digits, int32_t max) {
  uint32_t name = symbol::get_c_string(static_cast<int32_t>(value->data2));
  cell spelling{TYPE_STRING, 0, name, 0};
  int32_t n = string::rs_length_q(&spelling);
  if (n > max) return -1;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t c = string::rs_abs_at(&spelling, i) & 0x7F;
    if (c >= '0' && c <= '9') digits[i] = static_cast<uint8_t>(c - '0');
    else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') digits[i] = static_cast<uint8_t>((c | 0x20) - 'a' + 10);
    else return -1;
  }
  return n;
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_ISSUE, TYPE_WORD, "issue!",
    /* make .. set-path */     make, unsupported, unsupported, make, inherit, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::issue
