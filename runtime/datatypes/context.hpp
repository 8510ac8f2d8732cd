// Contexts: the maps from words to value slots that binding points words
// at. A context is a node whose series holds two cells, the context cell
// and the owner cell (the object or function the context belongs to,
// unset! until one claims it); words, functions and objects hold the node.
//
// The context cell: header with the kind in bits 11-12 and the flags
// below; payload word 1 the node of its word list's hashtable (kind 2: the
// indexed block holds one word! cell per slot, in slot order, hashed by
// canonical symbol); word 2 the values: for a heap context the node of a
// cell series with one value per slot, for a stack context the arena
// offset of the running call's first argument cell, 0 while no call runs;
// word 3 unused.
//
// The global context holds every word not bound elsewhere and only grows;
// there a case variant of a word (Foo after foo) has a word cell of its
// own whose index is the slot of the spelling that came first. Function
// contexts keep their values on the value stack; object contexts have a
// `self` and mark the word cell of every slot stored into.
//
// Anything here that adds a word may allocate and so move every buffer:
// cell addresses answered are valid until the next allocation, and cells
// given to be written after an allocation (a word whose index gets
// resolved, a holder) must lie where no allocation moves them (the value
// stack, the root block, a local).
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::context {

enum context_kind : uint32_t { KIND_GLOBAL = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2 };
constexpr uint32_t KIND_SHIFT = 11;
constexpr uint32_t FLAG_OWNER = 0x10000;   // an object context whose object owns series
constexpr uint32_t FLAG_STACK = 0x400000;  // values on the value stack
constexpr uint32_t FLAG_SELF = 0x1000000;  // the context has a `self`
// On the word cell of an object's slot: the slot was stored into.
constexpr uint32_t WORD_CHANGED = 0x2000;

constexpr int32_t GLOBAL_SLOTS = 4000;

// The global context's node.
extern uint32_t global_ctx;

inline cell* context_cell(uint32_t node) { return memory::head_of<cell>(memory::buffer_of(node)); }
inline cell* owner_cell(uint32_t node) { return context_cell(node) + 1; }
inline uint32_t kind_of(const cell* ctx) { return ctx->header >> KIND_SHIFT & 3; }
inline bool stack_q(const cell* ctx) { return (ctx->header & FLAG_STACK) != 0; }

// The word list of a context cell: its node, its buffer, the word cell of
// a 0-based slot.
uint32_t words_node(const cell* ctx);
memory::series_buffer* words_buffer(const cell* ctx);
cell* word_at(const cell* ctx, int32_t slot);
// Words in the list.
int32_t word_count(uint32_t node);

// A new context for `slots` slots (0 counts as 1): values on the stack
// (none yet) or a new empty values series with room for the slots, every
// cell of that room unset!; an empty word list, or with a source context
// node a copy of its word list and index (the words still bound to the
// source). The owner is unset!.
uint32_t make(int32_t slots, bool stack, bool self, uint32_t source, uint32_t kind);
// A context sized by the spec block's length from its index, holding every
// word!, get-word!, lit-word! and refinement! of the whole spec series,
// from its first cell, once each (canonical match); a heap context gets
// one unset! value per word.
uint32_t make_from_spec(const cell* spec, bool stack, bool self, uint32_t kind);
// A new context with the words of the holder's (payload word 1), re-bound
// to it, the same stack and self flags, the given kind and an empty
// values series; the holder is pointed at it. Answers the new node.
uint32_t duplicate(cell* holder, uint32_t kind);

// The slot of the symbol (canonically: any letter case; else the exact
// spelling), or -1.
int32_t find_word(uint32_t ctx, int32_t symbol, bool canonical);

// find_word's answers by context node and symbol: the word's position in
// the context's words and its slot. A path reads a field by a word bound
// elsewhere and so looks it up on every read. Within one collector cycle an
// answer whose word has exactly the symbol stands as it is: only the
// collector frees or moves nodes, and a context never loses a word nor
// holds a canonical spelling twice. After a cycle an entry is taken only
// while the word at its position still has its symbol, however nodes were
// reused or words moved meanwhile.
struct found_memo {
  uint32_t ctx;
  int32_t symbol;
  int32_t at;
  int32_t slot;
  uint32_t cycle;  // the cycle the exact answer was found in, else NO_CYCLE
};
constexpr uint32_t NO_CYCLE = 0xFFFFFFFF;
extern found_memo found_memos[256];
inline uint32_t memo_index(uint32_t ctx, int32_t symbol) {
  return (ctx >> 2 ^ static_cast<uint32_t>(symbol) * 31) & 255;
}
// find_word with a canonical match, its answer taken inline when it stands
// for this cycle.
inline int32_t find_word_kept(uint32_t ctx, int32_t symbol) {
  const found_memo& m = found_memos[memo_index(ctx, symbol)];
  if (m.ctx == ctx && m.symbol == symbol && m.cycle == collector::series_cycle_count) return m.slot;
  return find_word(ctx, symbol, true);
}
// The slot of the symbol; when absent, appends a word cell bound to this
// context, stores its slot in *index and answers -1. No value is added.
int32_t find_word_at(uint32_t ctx, int32_t symbol, bool canonical, int32_t* index);
// The slot of the symbol (canonical match), added when absent; a heap
// context gets an unset! value for it.
int32_t add_word(uint32_t ctx, int32_t symbol);
// When the symbol is absent (canonical match), adds it with a copy of the
// value and answers the value's cell; when present changes nothing and
// answers nullptr. Only heap contexts hold values: a stack context gets
// the word alone.
cell* add_value(uint32_t ctx, int32_t symbol, const cell& value);
// As add_value, but a present word's slot takes the value; answers the slot
// (nullptr for a stack context that is not running).
cell* put_value(uint32_t ctx, int32_t symbol, const cell& value);

// The global context's word cell of the symbol, added with an unset! value
// when absent. Found by a canonical match with `variant` set, a word of
// another spelling answers a copy in the root block carrying the given
// symbol: it shares the slot and keeps its own case. A word added under
// exact matching takes the slot of the first spelling of its letters.
cell* find_or_add_global(int32_t symbol, bool canonical, bool variant);
// find_or_add_global with exact matching and the variant flag; while the
// boot flag is set, answers a copy appended to the root block.
cell* add_global(int32_t symbol);
// The context's word cell of the exact symbol, else add_global's.
cell* find_value_or_add(uint32_t ctx, int32_t symbol);

// The value cell of a word in the context. An unresolved word answers the
// owner of its own context when it is exactly `self`, else raises
// script/no-value; a stack context outside a call raises
// script/not-in-context; a word bound to no context script/not-defined.
cell* get(const cell* word, uint32_t ctx);
// get for a resolved word of a heap context or of a running stack
// context, inline: every word the evaluator meets reads its value here.
// Anything else takes get.
inline cell* get_fast(const cell* word, uint32_t ctx) {
  int32_t index = static_cast<int32_t>(word->data3);
  if (ctx != 0 && index >= 0) {
    const cell* c = context_cell(ctx);
    if (!stack_q(c)) return memory::head_of<cell>(memory::buffer_of(c->data2)) + index;
    if (c->data2) return memory::address<cell>(c->data2) + index;
  }
  return get(word, ctx);
}
// get_fast's value cell of a resolved word of its own context, or nullptr
// where get_fast would take get: never raises.
inline const cell* peek(const cell* word) {
  uint32_t ctx = word->data1;
  int32_t index = static_cast<int32_t>(word->data3);
  if (ctx == 0 || index < 0) return nullptr;
  const cell* c = context_cell(ctx);
  if (!stack_q(c)) return memory::head_of<cell>(memory::buffer_of(c->data2)) + index;
  return c->data2 ? memory::address<cell>(c->data2) + index : nullptr;
}
// The value cell of the symbol (canonical match) in the context, the
// global context standing for a stack context; nullptr when absent.
cell* get_in(int32_t symbol, uint32_t ctx);
cell* get_global(int32_t symbol);
// Stores a copy of the value in the word's slot and answers the slot. An
// unresolved word is looked up by its exact spelling and gets the slot
// written into it; a heap context adds it when absent. A stack context
// outside a call, or one that lacks the word, raises script/not-defined
// and changes nothing. In an object context the slot's word cell is
// marked changed.
cell* set_in(cell* word, const cell& value, uint32_t ctx, bool notify);
// set_in for a resolved word of a context that is no object's and has no
// change handlers to hear of it (the global one, a function's while it
// runs), inline: a plain store, nothing to allocate or notify. Anything
// else takes set_in.
// The slot that set_fast stores a resolved word's value into with a plain
// store, for a word of its own context; nullptr where it would take set_in.
inline cell* plain_slot(const cell* word, uint32_t ctx) {
  int32_t index = static_cast<int32_t>(word->data3);
  if (ctx == 0 || index < 0) return nullptr;
  const cell* c = context_cell(ctx);
  const cell* owner = c + 1;
  if (kind_of(c) == KIND_OBJECT || (TYPE_OF(owner) == TYPE_OBJECT && owner->data3 != 0)) return nullptr;
  if (!stack_q(c)) return memory::head_of<cell>(memory::buffer_of(c->data2)) + index;
  return c->data2 ? memory::address<cell>(c->data2) + index : nullptr;
}
inline cell* set_fast(cell* word, const cell& value, uint32_t ctx, bool notify) {
  if (cell* slot = plain_slot(word, ctx)) {
    *slot = value;
    return slot;
  }
  return set_in(word, value, ctx, notify);
}
// Stores the value in the global slot of the exact symbol, adding the word
// when absent.
void set_global(int32_t symbol, const cell& value);
// Stores an integer! in the word's slot of its own context, resolving it
// as set_in does.
void set_integer(cell* word, int32_t value);

// When the word's symbol is in the context (canonical match), points the
// word at this context and slot; its type stays. Answers the slot or -1
// (the word untouched).
int32_t bind_word(uint32_t ctx, cell* word);
// Binds every word of the block from its index, and of the blocks, parens,
// paths and hash! values in it, to the context; a block met again on the
// way is skipped. With `self`, a word! spelled exactly `self` is bound to
// the context unresolved, so that it reads the owner. Answers the block.
cell* bind(cell* block, uint32_t ctx, bool self);
// Adds the set-words of the block, from its index (clamped to its length
// and written back), top level only; answers whether the word list grew.
bool collect_set_words(uint32_t ctx, cell* block);

// Registers context!, which has no actions.
void init();

}  // namespace ixo::context
