// Symbols: every spelling the runtime meets as a word is interned once in
// the symbol table and named from then on by its symbol id, the 1-based
// position of its symbol! cell in the table's block. Ids are never reused
// and stay valid when the block grows.
//
// A symbol! cell: payload word 1 holds the id of its canonical spelling
// (the first interned spelling of the same letters, ASCII case folded), or
// -1 when it is canonical itself; word 2 the node of its name as a string
// (code points, built on first need, 0 until then); word 3 the node of its
// UTF-8 bytes exactly as interned, NUL-terminated past the tail. Words
// compare by canonical id; strict comparisons and molding use the exact id,
// so a word keeps the case it was written in.
#pragma once
#include <cstdint>

#include "runtime/core/hashtable.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::symbol {

// The symbol table's hashtable (kind 2); its block holds the symbol! cells.
extern uint32_t table;

// The table's entries, the id 1 first; valid until the next allocation.
inline cell* entries() { return memory::head_of<cell>(memory::buffer_of(hashtable::record_of(table)->block)); }
// The entry of an id, valid until the next allocation.
inline cell* entry_of(int32_t id) { return entries() + (id - 1); }

// The id of the exact spelling, interned when new: a new spelling of known
// letters gets the canonical spelling's id as its alias.
int32_t make(const char* text);
int32_t make_part(const uint8_t* bytes, int32_t length);
// The string `s` from its index (at most `length` units; -1 for the rest)
// as UTF-8. `s` must lie where no allocation moves it: its conversion
// cache carries the bytes.
int32_t make_from_string(cell* s, int32_t length);
// The first interned spelling that matches ignoring ASCII case, which may
// differ in case from the text; the text is interned as a new canonical
// symbol only when nothing matches.
int32_t make_exact(const char* text);

// The node of the entry's name string, decoded from its UTF-8 bytes and
// kept in the entry the first time it is asked for.
uint32_t get_c_string(int32_t id);
// The entry, its name string built; valid until the next allocation.
cell* get(int32_t id);
// resolve over the table's entries as `entries` answered them: for a walk
// that allocates nothing and reads them once.
inline int32_t resolve_in(const cell* entries, int32_t id) {
  int32_t alias = static_cast<int32_t>(entries[id - 1].data1);
  return alias > 0 ? alias : id;
}
// The canonical id: the alias when it has one, else the id; inline, as
// every word lookup by letters resolves the ids it compares.
inline int32_t resolve(int32_t id) { return resolve_in(entries(), id); }
// Whether a word cell is spelled as the symbol, ignoring ASCII case: both
// resolve to one canonical id.
inline bool EQUAL_WORDS_q(const cell* word, int32_t id) {
  return resolve(static_cast<int32_t>(word->data2)) == resolve(id);
}
// The raw alias field.
int32_t get_alias(int32_t id);
// The head of the name string with a zero byte written just past its tail
// (the buffer grows by one byte when full); valid until the next
// allocation.
uint8_t* get_name_head(int32_t id);

// True when the word's symbol and any-type! have the same canonical id.
bool any_type_word_q(const cell* word);

// Compares the spellings of two symbol! entries code point by code point:
// folded (Unicode simple case mapping) except under the strict codes 2 and
// 8. Equality codes answer 0 or 1, orderings -1, 0 or 1 with the shorter
// spelling first after an equal prefix; code 9 answers 0 only for the same
// entry, else -1.
int32_t compare_spellings(const cell* entry1, const cell* entry2, int32_t op);

// Registers symbol!, whose only action is compare.
void init();

}  // namespace ixo::symbol
