// Contexts: making them, looking words up and adding them, reading and
// writing slots, binding, and the context! registration.
#include "runtime/datatypes/context.hpp"

#include <algorithm>
#include <iterator>

#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/stack.hpp"

#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::context {

using namespace memory;

uint32_t global_ctx = 0;

namespace {

constexpr cell UNSET{TYPE_UNSET, 0, 0, 0};

int32_t cell_count(uint32_t series) {
  series_buffer* b = buffer_of(series);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

// The cell of a slot, or nullptr for a stack context that is not running.
cell* slot_at(uint32_t ctx, int32_t index) {
  cell* c = context_cell(ctx);
  if (stack_q(c)) return c->data2 ? address<cell>(c->data2) + index : nullptr;
  return head_of<cell>(buffer_of(c->data2)) + index;
}

void append_unset_value(uint32_t ctx) { *series::alloc_tail_cell(buffer_of(context_cell(ctx)->data2)) = UNSET; }

// Sets a heap context's values to `count` cells, the new ones unset!.
void set_values_length(uint32_t ctx, int32_t count) {
  series_buffer* b = buffer_of(context_cell(ctx)->data2);
  if (head_of(b) + count * sizeof(cell) > data_end(b)) {
    b = expand_series(b, count * static_cast<int32_t>(sizeof(cell)));
  }
  for (cell* v = tail_of<cell>(b); v < head_of<cell>(b) + count; ++v) *v = UNSET;
  b->tail = b->head + static_cast<uint32_t>(count * sizeof(cell));
}

// The word list position of the symbol, or -1; never adds.
int32_t position_of(uint32_t ctx, int32_t symbol, bool canonical) {
  return hashtable::put_symbol(context_cell(ctx)->data1, symbol, canonical, 0, nullptr);
}


// The slot a store into `word` goes to, resolving an unresolved word.
// Raises before changing anything.
int32_t resolve_for_set(cell* word, uint32_t ctx) {
  if (ctx == 0) fire(err::script_not_defined, {*word});
  cell* c = context_cell(ctx);
  bool stack = stack_q(c);
  if (stack && c->data2 == 0) fire(err::script_not_defined, {*word});
  int32_t index = static_cast<int32_t>(word->data3);
  if (index >= 0) return index;
  int32_t symbol = static_cast<int32_t>(word->data2);
  index = find_word(ctx, symbol, false);
  if (index < 0) {
    // A function's slots are its arguments and locals: a word it lacks has
    // nowhere to go.
    if (stack) {
      index = find_word(ctx, symbol, true);
      if (index < 0) fire(err::script_not_defined, {*word});
    } else {
      index = add_word(ctx, symbol);
    }
  }
  word->data3 = static_cast<uint32_t>(index);
  return index;
}

}  // namespace

uint32_t words_node(const cell* ctx) { return hashtable::record_of(ctx->data1)->block; }

series_buffer* words_buffer(const cell* ctx) { return buffer_of(words_node(ctx)); }

cell* word_at(const cell* ctx, int32_t slot) { return head_of<cell>(words_buffer(ctx)) + slot; }

int32_t word_count(uint32_t node) { return cell_count(words_node(context_cell(node))); }

uint32_t make(int32_t slots, bool stack, bool self, uint32_t source, uint32_t kind) {
  if (slots < 1) slots = 1;
  uint32_t node = 0;
  root_guard keep_source(&source), keep_node(&node);
  node = alloc_cells(2);
  series_buffer* b = buffer_of(node);
  head_of<cell>(b)[0] = UNSET;
  head_of<cell>(b)[1] = UNSET;
  b->tail = b->head + 2 * sizeof(cell);
  // The context cell takes each part as soon as it is made: a word list is
  // marked whole through the cell, while a root holding its bare node
  // would keep the record alone.
  uint32_t symbols;
  if (source) {
    cell from = *context_cell(source);
    symbols = hashtable::init(slots, &from, hashtable::KIND_SYMBOL, 2);
  } else {
    symbols = hashtable::init(slots, nullptr, hashtable::KIND_SYMBOL, 1);
  }
  cell* c = context_cell(node);
  c->header = TYPE_CONTEXT | kind << KIND_SHIFT | (stack ? FLAG_STACK : 0) | (self ? FLAG_SELF : 0);
  c->data1 = symbols;
  c->data2 = 0;
  c->data3 = 0;
  if (!stack) {
    uint32_t values = alloc_unset_cells(slots);
    context_cell(node)->data2 = values;
  }
  return node;
}

uint32_t make_from_spec(const cell* spec, bool stack, bool self, uint32_t kind) {
  cell block = *spec;
  uint32_t node = 0;
  root_guard keep_block(&block), keep_node(&node);
  int32_t total = cell_count(block.data2);
  node = make(total - static_cast<int32_t>(block.data1), stack, self, 0, kind);
  for (int32_t i = 0; i < total; ++i) {
    const cell* c = head_of<cell>(buffer_of(block.data2)) + i;
    uint32_t type = TYPE_OF(c);
    if (type != TYPE_WORD && type != TYPE_GET_WORD && type != TYPE_LIT_WORD && type != TYPE_REFINEMENT) continue;
    int32_t added;
    find_word_at(node, static_cast<int32_t>(c->data2), true, &added);
  }
  // One value per word: the spec may hold words before its index, and
  // repeated words take one slot.
  if (!stack) set_values_length(node, word_count(node));
  return node;
}

uint32_t duplicate(cell* holder, uint32_t kind) {
  uint32_t source = holder->data1;
  cell* from = context_cell(source);
  int32_t count = word_count(source);
  uint32_t node = make(count, stack_q(from), (from->header & FLAG_SELF) != 0, source, kind);
  series_buffer* words = words_buffer(context_cell(node));
  for (cell* w = head_of<cell>(words); w < tail_of<cell>(words); ++w) w->data1 = node;
  holder->data1 = node;
  return node;
}

found_memo found_memos[256];

int32_t find_word(uint32_t ctx, int32_t symbol, bool canonical) {
  found_memo& m = found_memos[memo_index(ctx, symbol)];
  if (m.ctx == ctx && m.symbol == symbol) {
    if (m.cycle == collector::series_cycle_count) return m.slot;
    uint32_t words = words_node(context_cell(ctx));
    if (m.at < cell_count(words)) {
      const cell* w = head_of<cell>(buffer_of(words)) + m.at;
      if (static_cast<int32_t>(w->data2) == symbol) {
        m.slot = static_cast<int32_t>(w->data3);
        m.cycle = collector::series_cycle_count;
        return m.slot;
      }
    }
  }
  int32_t at = position_of(ctx, symbol, canonical);
  if (at < 0) return -1;
  const cell* w = word_at(context_cell(ctx), at);
  bool exact = static_cast<int32_t>(w->data2) == symbol;
  m = {ctx, symbol, at, static_cast<int32_t>(w->data3), exact ? collector::series_cycle_count : NO_CYCLE};
  return static_cast<int32_t>(w->data3);
}

int32_t find_word_at(uint32_t ctx, int32_t symbol, bool canonical, int32_t* index) {
  int32_t at = hashtable::put_symbol(context_cell(ctx)->data1, symbol, canonical, ctx, index);
  return at < 0 ? -1 : static_cast<int32_t>(word_at(context_cell(ctx), at)->data3);
}

int32_t add_word(uint32_t ctx, int32_t symbol) {
  root_guard keep(&ctx);
  int32_t index;
  int32_t found = find_word_at(ctx, symbol, true, &index);
  if (found >= 0) return found;
  if (!stack_q(context_cell(ctx))) append_unset_value(ctx);
  return index;
}

cell* add_value(uint32_t ctx, int32_t symbol, const cell& value) {
  cell kept = value;
  root_guard keep_value(&kept), keep_ctx(&ctx);
  int32_t index;
  if (find_word_at(ctx, symbol, true, &index) >= 0) return nullptr;
  if (stack_q(context_cell(ctx))) return nullptr;
  cell* slot = series::alloc_tail_cell(buffer_of(context_cell(ctx)->data2));
  *slot = kept;
  return slot;
}

cell* put_value(uint32_t ctx, int32_t symbol, const cell& value) {
  cell kept = value;
  root_guard keep_value(&kept), keep_ctx(&ctx);
  int32_t found = find_word(ctx, symbol, true);
  if (found < 0) return add_value(ctx, symbol, kept);
  cell* slot = slot_at(ctx, found);
  if (slot) *slot = kept;
  return slot;
}

cell* find_or_add_global(int32_t symbol, bool canonical, bool variant) {
  int32_t added;
  int32_t at = hashtable::put_symbol(context_cell(global_ctx)->data1, symbol, canonical, global_ctx, &added);
  if (at >= 0) {
    cell* word = word_at(context_cell(global_ctx), at);
    if (!(canonical && variant) || static_cast<int32_t>(word->data2) == symbol) return word;
    cell copy = *word;
    copy.data2 = static_cast<uint32_t>(symbol);
    return root::append(copy);
  }
  // Every spelling of the same letters reads one slot: the canonical
  // lookup meets the earlier spellings on the probe path before the word
  // just added, and each of them already holds the shared slot.
  int32_t first = position_of(global_ctx, symbol, true);
  cell* c = context_cell(global_ctx);
  word_at(c, added)->data3 = word_at(c, first)->data3;
  append_unset_value(global_ctx);
  return word_at(context_cell(global_ctx), added);
}

cell* add_global(int32_t symbol) {
  cell* word = find_or_add_global(symbol, false, true);
  return boot_flag ? root::append(*word) : word;
}

cell* find_value_or_add(uint32_t ctx, int32_t symbol) {
  int32_t at = position_of(ctx, symbol, false);
  if (at >= 0) return word_at(context_cell(ctx), at);
  return add_global(symbol);
}

cell* get(const cell* word, uint32_t ctx) {
  if (ctx == 0) fire(err::script_not_defined, {*word});
  int32_t index = static_cast<int32_t>(word->data3);
  if (index < 0) {
    if (static_cast<int32_t>(word->data2) == words::sym_self && word->data1) return owner_cell(word->data1);
    fire(err::script_no_value, {*word});
  }
  cell* slot = slot_at(ctx, index);
  if (!slot) fire(err::script_not_in_context, {*word});
  return slot;
}

cell* get_in(int32_t symbol, uint32_t ctx) {
  if (stack_q(context_cell(ctx))) ctx = global_ctx;
  int32_t index = find_word(ctx, symbol, true);
  return index < 0 ? nullptr : slot_at(ctx, index);
}

cell* get_global(int32_t symbol) { return get_in(symbol, global_ctx); }

cell* set_in(cell* word, const cell& value, uint32_t ctx, bool notify) {
  cell kept = value;
  root_guard keep_value(&kept), keep_ctx(&ctx);
  int32_t index = resolve_for_set(word, ctx);
  cell* c = context_cell(ctx);
  if (kind_of(c) == KIND_OBJECT) word_at(c, index)->header |= WORD_CHANGED;
  cell* slot = slot_at(ctx, index);
  // An object with a change-handler record hears of the store once the
  // slot holds the new value.
  cell owner = *owner_cell(ctx);
  if (!notify || TYPE_OF(&owner) != TYPE_OBJECT || owner.data3 == 0) {
    *slot = kept;
    return slot;
  }
  cell named = *word;
  root_guard keep_owner(&owner), keep_named(&named);
  cell* old = stack::push(*slot);
  *slot_at(ctx, index) = kept;
  object::call_on_change(&owner, &named, old, &kept);
  stack::top = old;
  return slot_at(ctx, index);
}

void set_global(int32_t symbol, const cell& value) {
  cell kept = value;
  root_guard keep(&kept);
  int32_t index = static_cast<int32_t>(find_or_add_global(symbol, false, false)->data3);
  *slot_at(global_ctx, index) = kept;
}

void set_integer(cell* word, int32_t value) {
  uint32_t ctx = word->data1;
  int32_t index = resolve_for_set(word, ctx);
  *slot_at(ctx, index) = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0};
}

int32_t bind_word(uint32_t ctx, cell* word) {
  int32_t index = find_word(ctx, static_cast<int32_t>(word->data2), true);
  if (index < 0) return -1;
  word->data1 = ctx;
  word->data3 = static_cast<uint32_t>(index);
  return index;
}

namespace {

// bind's walk. Binding looks words up and never adds one: nothing here
// allocates, so the word list is read in place throughout.
void bind_words(cell* block, uint32_t ctx, bool self, const hashtable::word_list& list) {
  uint32_t node = block->data2;
  if (cycles::find_q(node)) return;
  cycles::push(node);
  series_buffer* b = buffer_of(node);
  for (int32_t i = static_cast<int32_t>(block->data1); i < cell_count(node); ++i) {
    cell* c = head_of<cell>(b) + i;
    uint32_t type = TYPE_OF(c);
    if (any_word_q(type) || type == TYPE_REFINEMENT) {
      if (self && type == TYPE_WORD && static_cast<int32_t>(c->data2) == words::sym_self) {
        c->data1 = ctx;
        c->data3 = static_cast<uint32_t>(-1);
        continue;
      }
      int32_t bucket;
      int32_t at = hashtable::find_symbol(list, static_cast<int32_t>(c->data2), true, &bucket);
      if (at >= 0) {
        c->data1 = ctx;
        c->data3 = list.words[at].data3;
      }
    } else if (any_block_q(type)) {
      bind_words(c, ctx, self, list);
    }
  }
  cycles::pop();
}

}  // namespace

cell* bind(cell* block, uint32_t ctx, bool self) {
  bind_words(block, ctx, self, hashtable::word_list_of(context_cell(ctx)->data1));
  return block;
}

bool collect_set_words(uint32_t ctx, cell* block) {
  int32_t length = cell_count(block->data2);
  if (static_cast<int32_t>(block->data1) > length) block->data1 = static_cast<uint32_t>(length);
  cell kept = *block;
  root_guard keep_block(&kept), keep_ctx(&ctx);
  int32_t before = word_count(ctx);
  for (int32_t i = static_cast<int32_t>(kept.data1); i < cell_count(kept.data2); ++i) {
    const cell* c = head_of<cell>(buffer_of(kept.data2)) + i;
    if (TYPE_OF(c) == TYPE_SET_WORD) add_word(ctx, static_cast<int32_t>(c->data2));
  }
  return word_count(ctx) > before;
}

void init() {
  // A restarted runtime counts cycles from 0 again over reused nodes.
  std::fill(std::begin(found_memos), std::end(found_memos), found_memo{});
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_CONTEXT, 0, "context!",
    /* make .. set-path */     unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* compare .. remainder */ unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::context
