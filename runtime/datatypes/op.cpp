// op!: making an infix operator from a function value whose spec takes
// exactly two evaluated-left arguments, and its form, mold and comparison;
// reflect is native!'s.
#include "runtime/datatypes/op.hpp"

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::op {

namespace {

// The `more` cell that keeps the function value an op! was made from.
constexpr int32_t MORE_OP_SOURCE = 3;

// Whether a spec, read from its first cell, takes exactly two arguments
// before its locals, the left one evaluated: a lit-word! or get-word! is
// refused until a word! came, and so is any refinement but /local and
// /extern, which end the arguments like a set-word! (return:) does.
bool valid_spec_q(const cell* spec) {
  int32_t count = 0;
  bool seen_word = false;
  for (int32_t i = 0; i < series::rs_abs_length_q(spec); ++i) {
    const cell* c = block::rs_abs_at(spec, i);
    switch (TYPE_OF(c)) {
      case TYPE_SET_WORD:
        return count == 2;
      case TYPE_REFINEMENT:
        if (symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(refinements::local->data2)) ||
            symbol::EQUAL_WORDS_q(c, static_cast<int32_t>(refinements::extern_->data2)))
          return count == 2;
        return false;
      case TYPE_WORD:
        seen_word = true;
        ++count;
        break;
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
        if (!seen_word) return false;
        ++count;
        break;
      default:
        break;  // type blocks and doc strings
    }
  }
  return count == 2;
}

cell* make(cell*, cell* source, int32_t) {
  uint32_t type = TYPE_OF(source);
  if (type != TYPE_NATIVE && type != TYPE_ACTION && !function_or_routine_q(type))
    fire(err::script_invalid_type, {datatype::make_cell(type)});
  cell spec{TYPE_BLOCK, 0, source->data2, 0};
  if (!valid_spec_q(&spec)) fire(err::script_bad_op_spec);
  cell* result = stack::push(*source);
  if (function_or_routine_q(type)) {
    cell more{TYPE_BLOCK, 0, source->data3, 0};
    *block::rs_abs_at(&more, MORE_OP_SOURCE) = *source;
  }
  result->header = TYPE_OP | type << 16;
  return result;
}

int32_t form(cell*, cell* buffer, cell*, int32_t part) { return datatype::append_text(buffer, "?op?", part); }

// An op! over a function! molds as the function's source; any other as
// its spec in brackets.
int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  bool function = wrapped_type(value) == TYPE_FUNCTION;
  part = datatype::append_text(buffer, "make op! ", part);
  part = datatype::append_text(buffer, function ? "func " : "[", part);
  cell spec{TYPE_BLOCK, 0, value->data2, 0};
  part = actions::mold(&spec, buffer, only, all, flat, arg, part, indent);
  if (!function) return datatype::append_text(buffer, "]", part);
  cell more{TYPE_BLOCK, 0, value->data3, 0};
  cell body = *block::rs_abs_at(&more, 0);
  if (TYPE_OF(&body) == TYPE_BLOCK) part = actions::mold(&body, buffer, 0, all, flat, arg, part, indent);
  return part;
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_OP, TYPE_NATIVE, "op!",
    /* make .. set-path */     make, unsupported, inherit, unsupported, form, mold, unsupported, unsupported,
    /* compare .. remainder */ native::compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::op
