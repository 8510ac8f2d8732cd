// word!: a name. The word family (word!, set-word!, lit-word!, get-word!,
// refinement!, issue!) shares one cell layout: payload word 1 the node of
// the context the word is bound to (0: bound to nothing), word 2 the
// symbol id of its exact spelling, word 3 its slot in that context, -1
// while unresolved. The types differ only in datatype id and in how mold
// decorates the spelling; the other modules of the family register thin
// rows over the actions here.
//
// Words are made bound to the global context. Constructors that allocate
// before they write their cell want a cell that no allocation moves (the
// value stack, the root block, a local); value cells answered are valid
// until the next allocation.
#pragma once
#include <cstdint>

#include "runtime/datatypes/context.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::word {

// ---- Constructors ------------------------------------------------------------

// The global word of the text (a case variant gets its own copy sharing the
// slot of the first spelling). While the boot flag is set the answer is a
// copy appended to the root block, else the global context's own cell.
cell* load(const char* text);
// The cell becomes a word! of the symbol (its other header flags kept)
// bound to the global context, the word added there when new.
cell* make_at(int32_t symbol, cell* c);
// make_at on the result slot of the running native.
cell* box(int32_t symbol);
// make_at on a new cell at the tail of the block whose node is given.
cell* make_in(int32_t symbol, uint32_t block);
// make_at on a new cell pushed on the value stack.
cell* push_symbol(int32_t symbol);
// The text interned, then make_in.
cell* load_in(const char* text, uint32_t block);
// Appends a copy of the cell to the root block and answers the copy.
cell* track_new(const cell& c);
// Pushes a copy of the cell.
cell* push(const cell& c);
// Pushes a copy of the word cell of a slot of the context's word list.
cell* push_local(uint32_t ctx, int32_t index);

// ---- Value access -------------------------------------------------------------

// The value cell of the word in its own context (see context::get).
inline cell* get_value(const cell* word) { return context::get_fast(word, word->data1); }
// Stores the value through the word's own context, change handlers on.
inline cell* set(cell* word, const cell& value) { return context::set_fast(word, value, word->data1, true); }
// Pushes a copy of the word's value; unset! raises script/no-value.
cell* get(const cell* word);
// Pushes a copy of the word's value, unset! included.
cell* push_value_any(const cell* word);
// The word in the first argument cell takes the value in the second, which
// becomes the result; unset! raises script/need-value.
void check_set_value();
// The word cell of a slot of the context's word list.
cell* value_at(uint32_t ctx, int32_t index);
// The cell of a slot of the context's heap values.
cell* get_value_at(uint32_t ctx, int32_t index);

// ---- Utilities ----------------------------------------------------------------

// The symbol-table entry of the word's symbol.
cell* get_symbol(const cell* word);
// Pushes a string! at index 0 over the symbol's own name string, shared:
// callers must not modify it.
cell* to_string(const cell* word);
// What the word's spelling reads as when scanned as one whole token: the
// id of the word type it makes (word!, set-word!, lit-word!, get-word!,
// refinement!, issue!), or 0 for any other token or none.
uint32_t load_from_string(const cell* word);
// Makes in `c` (which no allocation may move) the word! spelled exactly as
// the UTF-8 text: when the lexer reads the whole text as one word! and its
// spelling forms back as the same text. False, leaving `c` alone, for any
// other text (another token, a word cut short, a leading byte-order mark,
// which a spelling's decoding drops).
bool load_exact(const uint8_t* text, int32_t length, cell* c);

// ---- Actions shared by the family -------------------------------------------

// make and to: from a word type (binding kept), from a refinement! or
// issue! whose spelling scans as a word (bound to the global context when
// it holds the word), from a string! or char! that loads as a word, from
// a datatype! (its name's word) or a logic! (true or false). The result's
// whole header becomes `type`.
cell* make(cell* proto, cell* spec, int32_t type);
// The exact spelling.
int32_t form(cell* value, cell* buffer, cell* arg, int32_t part);
// 0 for a match, 1 for none, -2 when not comparable: the equality codes
// match canonical spellings whatever the word types, strict-equal needs
// the same type and spelling, code 9 also the same context, codes 10 and
// 11 let word! and lit-word! match each other; orderings compare the
// spellings.
int32_t compare(const cell* value1, const cell* value2, int32_t op);

void init();

}  // namespace ixo::word
