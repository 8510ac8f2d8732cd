// function!: a function defined in the language. The cell: header 24 with
// the attribute flags, payload word 1 the node of its function context
// (values on the value stack while it runs, one slot per argument,
// refinement, refinement argument, /local and local word, in spec order),
// word 2 the node of its spec block, word 3 the node of its `more` block
// of five cells: the body (a deep copy of the given body, or none!),
// unset!, unset!, the op! source slot (unset! until an op! is made from
// the function) and unset!. The context's owner cell holds the function.
// routine! shares the layout.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::function {

// Attribute flags, from the spec's leading attribute block.
constexpr uint32_t FLAG_NO_TRACE = 0x200;
constexpr uint32_t FLAG_TRACE = 0x400;

// Checks a spec against every rule of function specs and answers its
// attribute flags. Any broken rule raises script/bad-func-def with the
// spec; a repeated word script/dup-vars; a bad type block
// script/invalid-type-spec (or script/no-value for an unset type word).
uint32_t validate(const cell* spec);
// The flags of an attribute block, or -1 when it holds a non-word.
int32_t parse_attributes(const cell* attributes);
// Each element of a type block, or the value of a word element, must be a
// datatype!, typeset! or word!.
void check_spec_block(const cell* types);
// Raises script/dup-vars with the first word or refinement whose
// spelling (any case) came before.
void check_duplicates(const cell* spec);
// Context slots from /local on, counted from the index: 1 for /local and
// 1 per word! after it; without /local, -1 when strict, else 0.
int32_t count_locals(uint32_t spec, int32_t index, bool strict);
// Pushes the locals of a call whose arguments are on the stack: false for
// /local, then n - 1 none! cells.
void init_locals(int32_t n);
// Adds to the spec, as locals, the body's set-words and the words that
// foreach, remove-each and repeat set, when the spec does not name them;
// an /extern section names words to leave out and is cut from the spec.
// Pushes the block of added words and answers it.
cell* collect_locals(cell* spec, const cell* body);
// Pushes a new function! from the spec and body (none! for no body), with
// the given context or, for 0, one made from the spec, whose body copy is
// then bound to it. Answers the context node.
uint32_t push(const cell* spec, const cell* body, uint32_t ctx, uint32_t flags);

// Shared with routine!: reflect (spec, body, words) and compare (by the
// `more` block: a function equals only itself).
cell* reflect(cell* value, cell* field);
int32_t compare(const cell* value1, const cell* value2, int32_t op);

void init();

}  // namespace ixo::function
