// The language's type classes as predicates on a datatype id: the members
// of the typesets `any-word!`, `all-word!`, `any-list!`, `any-path!`,
// `any-block!`, `any-string!`, `series!` and `any-function!`, plus the few
// narrower classes the runtime tests often. One home for them all: before
// writing a type test of a few lines, look here. They rely on the type ids
// alone, so any floor may include this file.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo {

// word! set-word! lit-word! get-word! (ids in a row)
inline bool any_word_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

// any-word! and refinement! issue! (ids in a row)
inline bool all_word_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }

// block! paren! hash!
inline bool any_list_q(uint32_t type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

// path! lit-path! set-path! get-path! (ids in a row)
inline bool any_path_q(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }

// any-list! and any-path!
inline bool any_block_q(uint32_t type) { return any_list_q(type) || any_path_q(type); }

// string! file! url! tag! email! ref!
inline bool any_string_q(uint32_t type) {
  switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      return true;
    default:
      return false;
  }
}

// any-block!, any-string!, binary! vector! image!
inline bool series_q(uint32_t type) {
  return any_block_q(type) || any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR ||
         type == TYPE_IMAGE;
}

// word! lit-word! get-word!: the words that name an argument in a
// function's spec
inline bool argument_word_q(uint32_t type) {
  return type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD;
}

// native! action! op! function! routine!
inline bool any_function_q(uint32_t type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP || type == TYPE_FUNCTION ||
         type == TYPE_ROUTINE;
}

// function! and its child routine!: the functions with a spec of their own
// and a body (or entry) that a call binds its frame to.
inline bool function_or_routine_q(uint32_t type) { return type == TYPE_FUNCTION || type == TYPE_ROUTINE; }

// integer! or float!: the numbers that coordinates and the evaluator's
// shortcuts of integer and float math take as they are.
inline bool integer_or_float_q(uint32_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT; }

}  // namespace ixo
