// block!: the rs- helpers and constructors, form and mold with new-line
// markers, comparison, the editing actions (append and insert, change,
// put, swap, take, trim), copy, find and select, sort, make, to and the
// path step. Every walk into nested values is guarded by the cycles stack,
// and every change to a hash! keeps its table in step.
//
// Rooting: any call that may allocate (growth, copies, form and mold of a
// cell, and compare, which the hashtable treats as allocating) may move
// every buffer, so loops re-read cells by position after each such call,
// and cells taken out of a buffer are held in rooted locals or on the
// value stack.
#include "runtime/datatypes/block.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "runtime/core/cycles.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/core/sort.hpp"
#include "runtime/core/sort_compare.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/typeset.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::block {

using namespace memory;
using series::refinement_value;
using series::table_of;

namespace {

constexpr int32_t CELL = sizeof(cell);

int32_t index_of(const cell* b) { return static_cast<int32_t>(b->data1); }
int32_t integer_of(const cell* c) { return static_cast<int32_t>(c->data2); }
cell* cells_of(const cell* b) { return head_of<cell>(GET_BUFFER(b)); }
int32_t abs_length(const cell* b) {
  series_buffer* buf = GET_BUFFER(b);
  return static_cast<int32_t>((buf->tail - buf->head) / CELL);
}
// The index, set back to the tail when it lies past it.
int32_t clamped_index(cell* b) {
  int32_t length = abs_length(b);
  if (index_of(b) > length) b->data1 = static_cast<uint32_t>(length);
  return index_of(b);
}

// The bit of a type in a typeset!: the twelve payload bytes in memory
// order, type t in byte t >> 3 under 0x80 >> (t & 7).
bool typeset_has_q(const cell* typeset, uint32_t type) {
  if (type >= 96) return false;
  const auto* bits = reinterpret_cast<const uint8_t*>(&typeset->data1);
  return (bits[type >> 3] & (0x80 >> (type & 7))) != 0;
}

bool type_matches_q(const cell* types, uint32_t type) {
  if (TYPE_OF(types) == TYPE_DATATYPE) return types->data1 == type;
  return typeset_has_q(types, type);
}

// The series a walk is inside, pushed on the cycles stack for its scope;
// an error leaves the stack as the walk found it.
using cycle_walk = cycles::walk;

// Room for `extra` more cells, growing the buffer (to twice what it needs
// when `doubling`) when it lacks it; overflowing sizes raise
// internal/no-memory. `held`, a cell the caller goes on reading, is rooted
// while the buffer grows.
void ensure_room(const cell* b, int64_t extra, bool doubling, cell* held) {
  series_buffer* buf = GET_BUFFER(b);
  int64_t needed = static_cast<int64_t>(buf->tail - buf->head) + extra * CELL;
  if (needed > INT32_MAX) fire(err::internal_no_memory);
  if (data_end(buf) - head_of(buf) >= needed) return;
  int64_t size = doubling && 2 * needed <= INT32_MAX ? 2 * needed : needed;
  root_guard keep(held);
  expand_series(buf, static_cast<int32_t>(size));
}

// The cells a block value supplies to an insertion (none for a single
// value), copied out of their buffer when it is also the target's, whose
// cells are about to move.
struct supply {
  const cell* cells;
  cell* copied;
  supply(const cell* source, int32_t count, const cell* target) : cells(nullptr), copied(nullptr) {
    if (!source) return;
    const cell* from = cells_of(source) + index_of(source);
    if (source->data2 != target->data2) {
      cells = from;
      return;
    }
    copied = static_cast<cell*>(heap::alloc_tracked(std::max(count, 1) * CELL));
    std::memcpy(copied, from, static_cast<size_t>(count) * CELL);
    cells = copied;
  }
  ~supply() {
    if (copied) heap::free_tracked(copied);
  }
  supply(const supply&) = delete;
  supply& operator=(const supply&) = delete;
};

// Repeats the first `count` cells at `at` until `total` cells are filled,
// doubling the copied run each step.
void fill_pattern(cell* at, int32_t count, int64_t total) {
  int64_t filled = count;
  while (filled < total) {
    int64_t n = std::min(filled, total - filled);
    std::memcpy(at + filled, at, static_cast<size_t>(n) * CELL);
    filled += n;
  }
}

// Indexes the cells [first, first + count) of a hash!.
void enter_cells(const cell* b, int32_t first, int32_t count) {
  uint32_t table = table_of(b);
  if (!table) return;
  root_guard keep(&table);
  int32_t status;
  for (int32_t p = first; p < first + count; ++p) {
    hashtable::put_key(table, cells_of(b) + p, &status);
    if (status != 0) return;  // rebuilt: every cell is indexed
  }
}

cell* action_copy(cell* value, cell* result, cell* part, int32_t deep, cell* types) {
  auto f = reinterpret_cast<copy_fn>(actions::get_action(TYPE_OF(value), ACT_COPY));
  return f(value, result, part, deep, types);
}

// ---- Searching -------------------------------------------------------------

enum search_kind { SEARCH_VALUE, SEARCH_TYPE, SEARCH_TYPESET, SEARCH_SEQUENCE };

// A search's parameters once the refinements are read.
struct search {
  search_kind kind;
  int32_t op;
  int32_t step;
  int32_t limit;  // last position searched (part), -1 for none
  int32_t run;    // cells of a sequence
  bool last, reverse, match;
};

bool matches_at(cell* b, int32_t p, const cell* value, const search& s) {
  switch (s.kind) {
    case SEARCH_TYPE: return TYPE_OF(cells_of(b) + p) == value->data1;
    case SEARCH_TYPESET: return typeset_has_q(value, TYPE_OF(cells_of(b) + p));
    case SEARCH_VALUE: return actions::compare(cells_of(b) + p, value, s.op);
    case SEARCH_SEQUENCE:
      if (p + s.run > abs_length(b)) return false;
      for (int32_t i = 0; i < s.run; ++i) {
        if (!actions::compare(cells_of(b) + p + i, cells_of(value) + index_of(value) + i, s.op)) return false;
      }
      return true;
  }
  return false;
}

// The position of the first match, or -1.
int32_t find_position(cell* b, const cell* value, const search& s) {
  int32_t length = abs_length(b);
  int32_t index = std::min(index_of(b), length);
  if (length == 0 || (!s.reverse && index >= length)) return -1;

  // A hash! answers through its table what a scan would answer. Blocks and
  // objects hash by node but compare by content, so only sameness finds
  // them there; and the table aligns a backward search's steps on the
  // start, a scan from the tail on the last cell, so /last with /skip scans.
  uint32_t table = table_of(b);
  bool by_content = TYPE_OF(value) == TYPE_OBJECT || any_block_q(TYPE_OF(value));
  if (table && s.kind == SEARCH_VALUE && (!by_content || s.op == COMP_SAME) && !s.match &&
      !(s.last && s.step > 1)) {
    cell* found = hashtable::get(table, value, s.last ? 0 : index, s.step, s.op, s.last, s.reverse);
    if (!found) return -1;
    int32_t p = static_cast<int32_t>(found - cells_of(b));
    return s.limit >= 0 && p > s.limit ? -1 : p;
  }

  int32_t start, end, step;
  int32_t behind = s.kind == SEARCH_SEQUENCE && s.run > 0 ? s.run : 1;
  if (s.last || s.reverse) {
    step = -s.step;
    start = s.limit >= 0 ? s.limit : (s.last ? length : index) - behind;
    end = 0;
    if (start < 0) return -1;
  } else {
    step = s.step;
    start = index;
    end = s.limit >= 0 ? s.limit : length - 1;
  }
  for (int64_t p = start; step > 0 ? p <= end : p >= end; p += step) {
    if (matches_at(b, static_cast<int32_t>(p), value, s)) return static_cast<int32_t>(p);
    if (s.match) break;
  }
  return -1;
}

// Reads the refinements of find and select.
search read_search(cell* b, const cell* value, cell* part, int32_t only, int32_t case_, int32_t same,
                   cell* skip, int32_t last, int32_t reverse, int32_t match, bool* nothing) {
  search s{SEARCH_VALUE, same ? COMP_SAME : case_ ? COMP_STRICT_EQUAL : COMP_FIND, 1, -1, 0,
           last != 0, reverse != 0, match != 0};
  *nothing = false;
  if (stack::given_q(skip)) {
    if (TYPE_OF(skip) != TYPE_INTEGER) fire(err::script_invalid_refine_arg, {refinement_value("skip"), *skip});
    if (integer_of(skip) < 1) fire(err::script_out_of_range, {*skip});
    s.step = integer_of(skip);
  }
  if (stack::given_q(part)) {
    // The last position searched: a count ends before the position it
    // reaches, a position is searched itself.
    int64_t limit = index_of(b) + series::part_length(b, index_of(b), part, series::PART_WORD);
    if (TYPE_OF(part) == TYPE_INTEGER) {
      if (integer_of(part) < 1) *nothing = true;
      --limit;
    }
    s.limit = static_cast<int32_t>(std::min<int64_t>(limit, abs_length(b) - 1));
  }
  if (!only) {
    if (TYPE_OF(value) == TYPE_DATATYPE) {
      s.kind = SEARCH_TYPE;
    } else if (TYPE_OF(value) == TYPE_TYPESET) {
      s.kind = SEARCH_TYPESET;
    } else if (any_block_q(TYPE_OF(value))) {
      s.kind = SEARCH_SEQUENCE;
      s.run = std::max(abs_length(value) - index_of(value), 0);
    }
  }
  return s;
}

cell* find(cell* b, cell* value, cell* part, int32_t only, int32_t case_, int32_t same, int32_t, cell*,
           cell* skip, int32_t last, int32_t reverse, int32_t tail, int32_t match) {
  cell* result = stack::push(*b);
  bool nothing;
  search s = read_search(result, value, part, only, case_, same, skip, last, reverse, match, &nothing);
  int32_t p = nothing ? -1 : find_position(result, value, s);
  if (p < 0) {
    *result = none::none_value;
    return result;
  }
  if (tail) {
    if (s.kind == SEARCH_SEQUENCE) p += s.run;
    else if (s.last || s.reverse) p += 1;
    else p = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(p) + s.step, abs_length(result)));
  }
  result->data1 = static_cast<uint32_t>(p);
  return result;
}

cell* select(cell* b, cell* value, cell* part, int32_t only, int32_t case_, int32_t same, int32_t, cell*,
             cell* skip, int32_t last, int32_t reverse) {
  bool nothing;
  search s = read_search(b, value, part, only, case_, same, skip, last, reverse, 0, &nothing);
  int32_t p = nothing ? -1 : find_position(b, value, s);
  if (p < 0) return &none::none_value;
  p += s.kind == SEARCH_SEQUENCE ? s.run : 1;
  return p < abs_length(b) ? cells_of(b) + p : &none::none_value;
}

// ---- form, mold, compare -------------------------------------------------------

int32_t append_indent(cell* buffer, int32_t indent, int32_t part) {
  for (int32_t i = 0; i < indent; ++i) part = datatype::append_text(buffer, "    ", part);
  return part;
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (cycles::find_q(value->data2)) return datatype::append_text(buffer, "[...]", part);
  if (!only) part = datatype::append_text(buffer, "[", part);
  part = mold_each(value, buffer, only, all, flat, arg, part, indent);
  if (!only) part = datatype::append_text(buffer, "]", part);
  return part;
}

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  if (cycles::find_q(value->data2)) return part;
  cell self = *value, item{};
  root_guard keep_self(&self), keep_item(&item);
  cycle_walk walk(self.data2);
  int32_t first = index_of(&self);
  for (int32_t i = first; i < abs_length(&self); ++i) {
    if (stack::given_q(arg) && part < 1) break;
    if (i > first) {
      int32_t n = string::rs_abs_length_q(buffer);
      uint32_t last = n > 0 ? string::rs_abs_at(buffer, n - 1) : 0;
      if (n == 0 || (last != '\t' && last != '\n' && last != '\r')) part = datatype::append_text(buffer, " ", part);
    }
    item = cells_of(&self)[i];
    auto f = reinterpret_cast<form_fn>(actions::get_action(TYPE_OF(&item), ACT_FORM));
    part = f(&item, buffer, arg, part);
  }
  return part;
}

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t t1 = TYPE_OF(value1), t2 = TYPE_OF(value2);
  bool paths = (op == COMP_EQUAL_10 || op == COMP_EQUAL_11) && (t1 == TYPE_PATH || t1 == TYPE_LIT_PATH) &&
               (t2 == TYPE_PATH || t2 == TYPE_LIT_PATH);
  if (t1 != t2 && !paths) return COMPARE_NONE;
  return compare_each(value1, value2, op);
}

// ---- make, to, path steps ---------------------------------------------------------

// The room a number asks for: a float! truncates toward zero; out of the
// 32-bit range, or negative, is out of range.
int32_t room_of(const cell* spec) {
  double n = TYPE_OF(spec) == TYPE_INTEGER ? integer_of(spec) : std::trunc(get_float(spec));
  if (!(n >= 0 && n <= 2147483647.0)) fire(err::script_out_of_range, {*spec});
  return std::max(static_cast<int32_t>(n), 1);
}

cell* typed(cell* c, int32_t type) {
  set_type(c, static_cast<uint32_t>(type));
  return c;
}

// The body of an object or map: its fields (keys) as set-words, each
// followed by its value.
cell* body_of(cell* spec) {
  return actions::reflect(spec, word::push_symbol(words::sym_body));
}

cell* make(cell*, cell* spec, int32_t type) {
  uint32_t t = TYPE_OF(spec);
  if (any_block_q(t)) return typed(clone(spec, false, false), type);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) return typed(push_only(room_of(spec)), type);
  if (t == TYPE_OBJECT || t == TYPE_MAP) return typed(body_of(spec), type);
  if (t == TYPE_VECTOR) return typed(vector::to_block(spec, stack::push_slot()), type);
  fire(err::script_bad_make_arg, {cell{TYPE_DATATYPE, static_cast<uint32_t>(type), 0, 0}, *spec});
}

cell* to(cell*, cell* spec, int32_t type) {
  uint32_t t = TYPE_OF(spec);
  if (any_block_q(t)) return typed(clone(spec, false, false), type);
  if (t == TYPE_STRING) {  // the values the text loads as
    cell* result = stack::push(*spec);
    lexer::load_string(result, result, -1, lexer::scan_mode{}, nullptr, nullptr, nullptr);
    return typed(result, type);
  }
  if (t == TYPE_OBJECT || t == TYPE_MAP) return typed(body_of(spec), type);
  // A typeset gives the words of its datatypes, in type id order.
  if (t == TYPE_TYPESET) return typed(typeset::to_block(spec, stack::push_slot()), type);
  if (t == TYPE_VECTOR) return typed(vector::to_block(spec, stack::push_slot()), type);
  cell* result = push_only(1);
  rs_append(result, spec);
  return typed(result, type);
}

cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t case_,
                int32_t, int32_t, int32_t) {
  if (TYPE_OF(element) == TYPE_INTEGER) {
    if (data) {
      auto poke = reinterpret_cast<poke_fn>(actions::get_action(TYPE_OF(value), ACT_POKE));
      return poke(value, integer_of(element), data, element);
    }
    auto pick = reinterpret_cast<pick_fn>(actions::get_action(TYPE_OF(value), ACT_PICK));
    return pick(value, integer_of(element), element);
  }
  if (!data) {
    if (TYPE_OF(element) == TYPE_WORD && TYPE_OF(value) != TYPE_HASH) return select_word(value, element, case_ != 0);
    return select(value, element, nullptr, 1, case_, 0, 0, nullptr, nullptr, 0, 0);
  }
  cell* saved_top = stack::top;
  cell found = *find(value, element, nullptr, 0, case_, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
  stack::top = saved_top;
  if (TYPE_OF(&found) == TYPE_NONE) fire(err::script_bad_path_set, {path ? *path : none::none_value, *element});
  cell* at = stack::push(found);
  auto poke = reinterpret_cast<poke_fn>(actions::get_action(TYPE_OF(value), ACT_POKE));
  poke(at, 2, data, nullptr);
  stack::top = saved_top;
  return data;
}

// ---- Editing ---------------------------------------------------------------------

// insert's general edit: `count` values (the cells of a spread block, or
// the value itself) `dup` times, at the tail or the index. Out of line, so
// that the common case in insert stays a short leaf.
[[gnu::noinline]] cell* insert_cells(cell* b, cell* value, int32_t count, int32_t dup, int32_t append, bool spread) {
  int64_t total = static_cast<int64_t>(count) * dup;
  if (total > INT32_MAX / CELL) fire(err::internal_no_memory);

  int32_t length = abs_length(b);
  int32_t position = append ? length : clamped_index(b);
  // The runtime's words have no `insert` word of their own: its symbol does.
  cell insert_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_insert), 0xFFFFFFFF};
  const cell* before = append ? words::word_append : &insert_word;
  const cell* after = append ? words::word_appended : words::word_inserted;
  if (ownership::check(b, before, value, position, static_cast<int32_t>(total))) length = abs_length(b);
  cell single = *value;
  ensure_room(b, total, dup < 5, &single);

  supply source(spread ? value : nullptr, count, b);
  cell* at = cells_of(b) + position;
  if (position < length) std::memmove(at + total, at, static_cast<size_t>(length - position) * CELL);
  if (spread) {
    std::memcpy(at, source.cells, static_cast<size_t>(count) * CELL);
  } else {
    *at = single;
  }
  fill_pattern(at, count, total);
  GET_BUFFER(b)->tail += static_cast<uint32_t>(total * CELL);

  bool rebuilt = position < length && series::rehash_moved(b, static_cast<int32_t>(total), position, length - position);
  if (!rebuilt) enter_cells(b, position, static_cast<int32_t>(total));
  b->data1 = append ? 0 : static_cast<uint32_t>(position + total);
  ownership::check(b, after, value, position, static_cast<int32_t>(total));
  return b;
}

cell* insert(cell* b, cell* value, int32_t part, int32_t only, int32_t dup, int32_t append) {
  bool spread = !only && any_block_q(TYPE_OF(value));
  int32_t count = spread ? rs_length_q(value) : 1;
  if (part >= 0 && part < count) count = part;
  if (count <= 0 || dup <= 0) return b;
  // The common case, one value appended to a block that no owner watches
  // and no table indexes, with room at the tail: one cell stored there. A
  // full buffer grows in the general edit, as it would for this append.
  if (append && count == 1 && dup == 1 && !spread && TYPE_OF(b) != TYPE_HASH) {
    series_buffer* buf = GET_BUFFER(b);
    if (!(buf->flags & SERIES_OWNED) && tail_of(buf) + CELL <= data_end(buf)) {
      *tail_of<cell>(buf) = *value;
      buf->tail += CELL;
      b->data1 = 0;
      return b;
    }
  }
  return insert_cells(b, value, count, dup, append, spread);
}

cell* change_cells(cell* b, cell* value, int32_t part, int32_t only, int32_t dup) {
  int32_t length = abs_length(b);
  int32_t index = clamped_index(b);
  int32_t remaining = length - index;
  bool spread = !only && any_block_q(TYPE_OF(value));
  int32_t count = spread ? rs_length_q(value) : 1;
  int64_t inserted = static_cast<int64_t>(count) * std::max(dup, 0);
  if (inserted > INT32_MAX / CELL) fire(err::internal_no_memory);
  int64_t replaced = std::clamp<int64_t>(part >= 0 ? part : inserted, 0, remaining);
  int64_t new_length = length + inserted - replaced;
  if (new_length * CELL > INT32_MAX) fire(err::internal_no_memory);

  cell single = *value;
  if (new_length > length) ensure_room(b, new_length - length, false, &single);
  supply source(spread ? value : nullptr, count, b);
  cell* at = cells_of(b) + index;
  std::memmove(at + inserted, at + replaced, static_cast<size_t>(length - index - replaced) * CELL);
  if (inserted > 0) {
    if (spread) {
      std::memcpy(at, source.cells, static_cast<size_t>(count) * CELL);
    } else {
      *at = single;
    }
    fill_pattern(at, count, inserted);
  }
  series_buffer* buf = GET_BUFFER(b);
  buf->tail = buf->head + static_cast<uint32_t>(new_length * CELL);
  series::rehash_all(b);
  b->data1 = static_cast<uint32_t>(std::min<int64_t>(index + inserted, new_length));
  return b;
}

// An owned block's owner hears of the change before and after it.
cell* change(cell* b, cell* value, int32_t part, int32_t only, int32_t dup) {
  int32_t at = clamped_index(b);
  int32_t count = std::max(abs_length(b) - clamped_index(b), 0);
  bool owned = ownership::check(b, words::word_change, nullptr, at, count);
  cell* result = change_cells(b, value, part, only, dup);
  if (owned) ownership::check(b, words::word_changed, nullptr, at, count);
  return result;
}

cell* put_cells(cell* b, cell* key, cell* value, int32_t case_) {
  cell k = *key, v = *value;
  root_guard keep_key(&k), keep_value(&v);
  cell* saved_top = stack::top;
  cell found = *find(b, &k, nullptr, 0, case_, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
  stack::top = saved_top;
  int32_t length = abs_length(b);
  if (TYPE_OF(&found) == TYPE_NONE) {
    rs_append(b, &k);
    rs_append(b, &v);
    return value;
  }
  int32_t after = index_of(&found) + 1;
  if (after >= length) {
    rs_append(b, &v);
    return value;
  }
  if (actions::compare(cells_of(b) + after, &v, COMP_FIND)) return value;
  uint32_t table = table_of(b);
  if (table) hashtable::delete_key(table, cells_of(b) + after);
  cells_of(b)[after] = v;
  if (table) hashtable::put(table, cells_of(b) + after);
  return value;
}

cell* put(cell* b, cell* key, cell* value, int32_t case_) {
  int32_t at = clamped_index(b);
  int32_t count = 1;
  bool owned = ownership::check(b, words::word_put, nullptr, at, count);
  cell* result = put_cells(b, key, value, case_);
  if (owned) ownership::check(b, words::word_put_ed, nullptr, at, count);
  return result;
}

cell* swap_cells(cell* b1, cell* b2) {
  if (!any_block_q(TYPE_OF(b2))) fire(err::script_invalid_arg, {*b2});
  if (series::rs_tail_q(b1) || series::rs_tail_q(b2)) return b1;
  if (b1->data2 == b2->data2 && b1->data1 == b2->data1) return b1;
  uint32_t t1 = table_of(b1), t2 = table_of(b2);
  cell* c1 = cells_of(b1) + index_of(b1);
  cell* c2 = cells_of(b2) + index_of(b2);
  if (t1) hashtable::delete_key(t1, c1);
  if (t2) hashtable::delete_key(t2, c2);
  std::swap(*c1, *c2);
  if (t1) hashtable::put(t1, cells_of(b1) + index_of(b1));
  if (t2) hashtable::put(t2, cells_of(b2) + index_of(b2));
  return b1;
}

// Both blocks' owners hear of the exchange, before and after.
cell* swap(cell* b1, cell* b2) {
  if (!any_block_q(TYPE_OF(b2))) fire(err::script_invalid_arg, {*b2});
  bool owned1 = ownership::check(b1, words::word_swap, nullptr, clamped_index(b1), 1);
  bool owned2 = ownership::check(b2, words::word_swap, nullptr, clamped_index(b2), 1);
  swap_cells(b1, b2);
  if (owned1) ownership::check(b1, words::word_swaped, nullptr, clamped_index(b1), 1);
  if (owned2) ownership::check(b2, words::word_swaped, nullptr, clamped_index(b2), 1);
  return b1;
}

cell* trim_cells(cell* b, int32_t, int32_t, int32_t, int32_t, int32_t, cell*) {
  int32_t length = abs_length(b);
  int32_t index = clamped_index(b);
  if (uint32_t table = table_of(b)) hashtable::clear(table, index, length - index);
  cell* cells = cells_of(b);
  int32_t kept = index;
  for (int32_t i = index; i < length; ++i) {
    if (TYPE_OF(cells + i) != TYPE_NONE) cells[kept++] = cells[i];
  }
  series_buffer* buf = GET_BUFFER(b);
  buf->tail = buf->head + static_cast<uint32_t>(kept * CELL);
  enter_cells(b, index, kept - index);
  return b;
}

cell* trim(cell* b, int32_t, int32_t, int32_t, int32_t, int32_t, cell*) {
  int32_t at = clamped_index(b);
  int32_t count = std::max(abs_length(b) - clamped_index(b), 0);
  bool owned = ownership::check(b, words::word_trim, nullptr, at, count);
  cell* result = trim_cells(b, 0, 0, 0, 0, 0, nullptr);
  if (owned) ownership::check(b, words::word_trimmed, nullptr, at, count);
  return result;
}

cell* copy(cell* b, cell* result, cell* part, int32_t deep, cell* types) {
  bool typed_copy = stack::given_q(types);
  uint32_t node = b->data2;
  root_guard keep(&node);
  if (deep && cycles::find_q(node)) {
    cycles::reset();
    fire(err::internal_no_cycle);
  }
  series::copy(b, result, part, deep, types);
  if (deep || typed_copy) {
    std::optional<cycle_walk> walk;
    if (deep) walk.emplace(node);
    copy_nested(result, 0, abs_length(result), 1, deep != 0, typed_copy ? types : nullptr);
  }
  if (TYPE_OF(result) == TYPE_HASH) result->data3 = hashtable::init(abs_length(result), result, hashtable::KIND_BLOCK, 1);
  return result;
}

cell* take(cell* b, cell* part, int32_t deep, int32_t last) {
  series::take(b, part, deep, last);
  if (TYPE_OF(b) == TYPE_NONE) return b;
  if (!stack::given_q(part)) {
    *b = cells_of(b)[0];
    if (deep && series_q(TYPE_OF(b))) action_copy(b, b, nullptr, 1, nullptr);
    return b;
  }
  if (deep) {
    copy_nested(b, 0, abs_length(b), 1, true, nullptr);
    series::rehash_all(b);
  }
  return b;
}

// ---- Sorting ---------------------------------------------------------------------

// Sort flags: bit 0 reverse, bit 1 all cells of a record, then from bit 2
// the record size (all) or the offset of the compared cell.
constexpr intptr_t SORT_REVERSE = 1;
constexpr intptr_t SORT_ALL = 2;

int32_t compare_cells(const cell* a, const cell* b, int32_t op) {
  int32_t r = actions::compare_raw(a, b, op);
  return r == COMPARE_NONE ? static_cast<int32_t>(TYPE_OF(a)) - static_cast<int32_t>(TYPE_OF(b)) : r;
}

// The default order of records. The sort holds the buffer's address, so it
// relies on the compare actions allocating nothing.
int32_t sort_compare(const void* x, const void* y, intptr_t op, intptr_t flags) {
  const auto* a = static_cast<const cell*>(x);
  const auto* b = static_cast<const cell*>(y);
  if (flags & SORT_REVERSE) std::swap(a, b);
  int32_t n = static_cast<int32_t>(flags >> 2);
  if (!(flags & SORT_ALL)) return compare_cells(a + n, b + n, static_cast<int32_t>(op));
  for (int32_t i = 0; i < n; ++i) {
    int32_t r = compare_cells(a + i, b + i, static_cast<int32_t>(op));
    if (r != 0) return r;
  }
  return 0;
}

// The same orders for records whose compared cells are all integer!, all
// float! or all string!: the compare action of that type, taken without
// the dispatch. Each answers what compare_cells would.
struct integer_order {
  static int32_t compare(const cell* a, const cell* b, int32_t) {
    int32_t x = integer_of(a), y = integer_of(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
};

// NaN sorts after every number and equal to another NaN.
struct float_order {
  static int32_t compare(const cell* a, const cell* b, int32_t) {
    double x = get_float(a), y = get_float(b);
    bool x_nan = std::isnan(x), y_nan = std::isnan(y);
    if (x_nan || y_nan) return x_nan == y_nan ? 0 : x_nan ? 1 : -1;
    return x < y ? -1 : x > y ? 1 : 0;
  }
};

struct string_order {
  static int32_t compare(const cell* a, const cell* b, int32_t op) { return string::equal_q(a, b, op, false); }
};

template <class Order>
int32_t typed_sort_compare(const void* x, const void* y, intptr_t op, intptr_t flags) {
  const auto* a = static_cast<const cell*>(x);
  const auto* b = static_cast<const cell*>(y);
  if (flags & SORT_REVERSE) std::swap(a, b);
  int32_t n = static_cast<int32_t>(flags >> 2);
  if (!(flags & SORT_ALL)) return Order::compare(a + n, b + n, static_cast<int32_t>(op));
  for (int32_t i = 0; i < n; ++i) {
    int32_t r = Order::compare(a + i, b + i, static_cast<int32_t>(op));
    if (r != 0) return r;
  }
  return 0;
}

// The comparator for `records` records of `size` cells from `base`: a
// typed one when every compared cell (the one at `offset`, or with `all`
// every cell) has the same type among integer!, float! and string!, else
// the general one.
sort::comparator sort_comparator(const cell* base, int32_t records, int32_t size, int32_t offset, bool all) {
  int32_t step = all ? 1 : size;
  const cell* first = base + (all ? 0 : offset);
  const cell* end = base + static_cast<ptrdiff_t>(records) * size;
  uint32_t type = TYPE_OF(first);
  if (type != TYPE_INTEGER && type != TYPE_FLOAT && type != TYPE_STRING) return sort_compare;
  for (const cell* c = first; c < end; c += step) {
    if (TYPE_OF(c) != type) return sort_compare;
  }
  switch (type) {
    case TYPE_INTEGER: return typed_sort_compare<integer_order>;
    case TYPE_FLOAT: return typed_sort_compare<float_order>;
    default: return typed_sort_compare<string_order>;
  }
}

// Sorting by a comparison function. The function may allocate, which moves
// the block's buffer, or even change the block: the records are copied into
// a block of their own, their numbers are sorted, and the records are
// written back in that order when the block still holds the range.
struct function_order {
  cell* function;
  cell* records;  // the copy
  int32_t size;   // cells per record
  bool all;
  bool reverse;
  cell* left;  // with /all, the blocks that hold the two records
  cell* right;
};

// The argument that stands for a record: its first cell, or with /all a
// block holding the record's cells.
cell record_argument(const function_order& o, int32_t record, cell* holder) {
  if (!o.all) return *rs_abs_at(o.records, record * o.size);
  rs_truncate(holder, 0);
  holder->data1 = 0;
  for (int32_t k = 0; k < o.size; ++k) {
    cell v = *rs_abs_at(o.records, record * o.size + k);
    rs_append(holder, &v);
  }
  return *holder;
}

int32_t compare_by_function(const void* x, const void* y, intptr_t context, intptr_t) {
  const function_order& o = *reinterpret_cast<const function_order*>(context);
  int32_t ra, rb;
  std::memcpy(&ra, x, sizeof ra);
  std::memcpy(&rb, y, sizeof rb);
  cell a = record_argument(o, ra, o.left);
  root_guard keep_a(&a);
  cell b = record_argument(o, rb, o.right);
  root_guard keep_b(&b);
  // The second record comes first unless reversed.
  return o.reverse ? sort::call_compare(o.function, a, b) : sort::call_compare(o.function, b, a);
}

void sort_by_function(cell* blk, int32_t index, int32_t records, int32_t size, cell* function, bool all,
                      bool reverse, bool stable) {
  cell fn = *function, copy{TYPE_UNSET, 0, 0, 0}, left{TYPE_UNSET, 0, 0, 0}, right{TYPE_UNSET, 0, 0, 0};
  root_guard keep_fn(&fn), keep_copy(&copy), keep_left(&left), keep_right(&right);
  int32_t n = records * size;
  make_at(&copy, n);
  for (int32_t i = 0; i < n; ++i) {
    cell v = cells_of(blk)[index + i];
    rs_append(&copy, &v);
  }
  if (all) {
    make_at(&left, size);
    make_at(&right, size);
  }
  std::vector<int32_t> order(static_cast<size_t>(records));
  for (int32_t i = 0; i < records; ++i) order[static_cast<size_t>(i)] = i;
  function_order o{&fn, &copy, size, all, reverse, &left, &right};
  if (stable) {
    sort::mergesort(order.data(), records, sizeof(int32_t), reinterpret_cast<intptr_t>(&o), 0,
                    compare_by_function);
  } else {
    sort::qsort(order.data(), records, sizeof(int32_t), reinterpret_cast<intptr_t>(&o), 0, compare_by_function);
  }
  if (index + n > abs_length(blk)) return;
  cell* target = cells_of(blk) + index;
  const cell* source = cells_of(&copy);
  for (int32_t i = 0; i < records; ++i) {
    std::memcpy(target + i * size, source + order[static_cast<size_t>(i)] * size,
                static_cast<size_t>(size) * sizeof(cell));
  }
}

cell* sort_cells(cell* b, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
                 int32_t reverse, int32_t stable) {
  int32_t index = clamped_index(b);
  int32_t n = abs_length(b) - index;
  if (stack::given_q(part)) {
    int64_t l = series::part_length(b, index, part);
    if (l < 0) {
      // The cells before the index, as many as there are.
      n = static_cast<int32_t>(std::min<int64_t>(-l, index));
      index -= n;
    } else {
      n = static_cast<int32_t>(std::min<int64_t>(n, l));
    }
  }
  if (n == 0) return b;
  int32_t size = 1;
  if (stack::given_q(skip)) {
    if (TYPE_OF(skip) != TYPE_INTEGER || integer_of(skip) < 1 || n < integer_of(skip) || n % integer_of(skip) != 0)
      fire(err::script_invalid_refine_arg, {refinement_value("skip"), *skip});
    size = integer_of(skip);
  } else if (all) {
    fire(err::script_bad_refines);
  }
  intptr_t flags = reverse ? SORT_REVERSE : 0;
  if (all) flags |= SORT_ALL | static_cast<intptr_t>(size) << 2;
  bool by_function = stack::given_q(comparator) && TYPE_OF(comparator) == TYPE_FUNCTION;
  if (stack::given_q(comparator) && !by_function) {
    if (TYPE_OF(comparator) != TYPE_INTEGER)
      fire(err::script_invalid_refine_arg, {refinement_value("compare"), *comparator});
    int32_t offset = integer_of(comparator);
    if (all || !stack::given_q(skip)) fire(err::script_bad_refines);
    if (offset < 1 || offset > size) fire(err::script_out_of_range, {*comparator});
    flags |= static_cast<intptr_t>(offset - 1) << 2;
  }
  b->data1 = static_cast<uint32_t>(index);
  int32_t records = n / size;
  if (records > 1 && by_function) {
    sort_by_function(b, index, records, size, comparator, all != 0, reverse != 0, stable != 0);
    series::rehash_range(b, index, n);
  } else if (records > 1) {
    cell* base = cells_of(b) + index;
    int32_t op = case_ ? COMP_CASE_SORT : COMP_SORT;
    sort::comparator compare = sort_comparator(base, records, size, static_cast<int32_t>(flags >> 2), all != 0);
    if (stable) {
      sort::mergesort(base, records, size * CELL, op, flags, compare);
    } else {
      sort::qsort(base, records, size * CELL, op, flags, compare);
    }
    series::rehash_range(b, index, n);
  }
  return b;
}

cell* sort(cell* b, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all, int32_t reverse,
           int32_t stable) {
  int32_t at = clamped_index(b);
  int32_t count = std::max(abs_length(b) - clamped_index(b), 0);
  bool owned = ownership::check(b, words::word_sort, nullptr, at, count);
  cell* result = sort_cells(b, case_, skip, comparator, part, all, reverse, stable);
  if (owned) ownership::check(b, words::word_sorted, nullptr, at, count);
  return result;
}

}  // namespace

// ---- Readers and writers -------------------------------------------------------

int32_t rs_length_q(const cell* blk) { return std::max(abs_length(blk) - index_of(blk), 0); }

cell* rs_head(cell* blk) { return cells_of(blk) + clamped_index(blk); }

cell* rs_tail(const cell* blk) { return tail_of<cell>(GET_BUFFER(blk)); }

bool rs_tail_q(const cell* blk) { return index_of(blk) >= abs_length(blk); }

const cell* values_of(const cell* blk, int32_t& count) {
  count = rs_length_q(blk);
  return cells_of(blk) + (count > 0 ? index_of(blk) : 0);
}

bool rs_next(cell* blk) {
  if (index_of(blk) < abs_length(blk)) ++blk->data1;
  return rs_tail_q(blk);
}

void rs_clear(cell* blk) { rs_truncate(blk, clamped_index(blk)); }

void rs_truncate(cell* blk, int32_t n) {
  series_buffer* buf = GET_BUFFER(blk);
  if (n < 0 || n >= abs_length(blk)) return;
  if (uint32_t table = table_of(blk)) hashtable::clear(table, n, abs_length(blk) - n);
  buf->tail = buf->head + static_cast<uint32_t>(n * CELL);
}

void rs_remove_last(cell* blk) {
  int32_t length = abs_length(blk);
  if (length == 0) return;
  rs_truncate(blk, length - 1);
  clamped_index(blk);
}

cell* rs_append(cell* blk, const cell* value) {
  cell copy = *value;
  root_guard keep(&copy);
  cell* at = series::alloc_tail_cell(GET_BUFFER(blk));
  *at = copy;
  int32_t position = abs_length(blk) - 1;
  enter_cells(blk, position, 1);
  return cells_of(blk) + position;
}

cell* rs_append_block(cell* target, const cell* source) {
  cell from = *source;
  root_guard keep(&from);
  uint32_t index = target->data1;
  insert(target, &from, -1, 0, 1, 1);
  target->data1 = index;
  return target;
}

// ---- Keys ------------------------------------------------------------------------

int32_t find_value(cell* blk, const cell* value, int32_t op, int32_t skip) {
  search s{SEARCH_VALUE, op, std::max(skip, 1), -1, 0, false, false, false};
  return find_position(blk, value, s);
}

cell* select_key(cell* blk, const cell* key) {
  int32_t p = find_value(blk, key, COMP_FIND, 1);
  if (p < 0 || p + 1 >= abs_length(blk)) return &none::none_value;
  return cells_of(blk) + p + 1;
}

bool remove_key(cell* blk, const cell* key, bool from_head) {
  cell at = *blk;
  root_guard keep(&at);
  if (from_head) at.data1 = 0;
  int32_t p = find_value(&at, key, COMP_FIND, 1);
  if (p < 0) return false;
  at.data1 = static_cast<uint32_t>(p);
  auto remove = reinterpret_cast<remove_fn>(actions::get_action(TYPE_OF(blk), ACT_REMOVE));
  remove(&at, nullptr, nullptr);
  return p <= index_of(blk);
}

cell* select_word(cell* blk, const cell* word, bool case_sensitive) {
  int32_t wanted = static_cast<int32_t>(word->data2);
  if (!case_sensitive) wanted = symbol::resolve(wanted);
  int32_t length = abs_length(blk);
  cell* cells = cells_of(blk);
  for (int32_t i = std::min(index_of(blk), length); i < length; ++i) {
    if (!any_word_q(TYPE_OF(cells + i))) continue;
    int32_t symbol = static_cast<int32_t>(cells[i].data2);
    if ((case_sensitive ? symbol : symbol::resolve(symbol)) != wanted) continue;
    return i + 1 < length ? cells + i + 1 : &none::none_value;
  }
  return &none::none_value;
}

// ---- Construction ----------------------------------------------------------------

cell* make_at(cell* c, int32_t n) {
  *c = unset::unset_value;
  uint32_t node = alloc_cells(n < 0 ? 1 : n);
  *c = cell{TYPE_BLOCK, 0, node, 0};
  return c;
}

cell* make_fixed(cell* c, int32_t n, bool fixed) {
  *c = unset::unset_value;
  uint32_t node = fixed ? alloc_fixed_series(n, CELL, 0) : alloc_unset_cells(n);
  *c = cell{TYPE_BLOCK, 0, node, 0};
  return c;
}

cell* make_in(cell* parent, int32_t n) {
  cell fresh{};
  root_guard keep(&fresh);
  make_at(&fresh, n);
  return rs_append(parent, &fresh);
}

cell* push(const cell* blk) { return stack::push(*blk); }

cell* push_only(int32_t n) { return make_at(stack::push(unset::unset_value), n == 0 ? 1 : n); }

cell* clone(const cell* blk, bool deep, bool paths) {
  cell source = *blk;
  root_guard keep(&source);
  int32_t count = rs_length_q(&source);
  cell* result = push_only(std::max(count, 1));
  result->header = TYPE_OF(&source);
  if (count > 0) {
    std::memcpy(cells_of(result), cells_of(&source) + index_of(&source), static_cast<size_t>(count) * CELL);
    GET_BUFFER(result)->tail += static_cast<uint32_t>(count * CELL);
  }
  if (TYPE_OF(result) == TYPE_HASH) result->data3 = hashtable::init(count, result, hashtable::KIND_BLOCK, 1);
  if (!deep) return result;
  cycle_walk walk(source.data2);
  for (int32_t i = 0; i < count; ++i) {
    uint32_t t = TYPE_OF(cells_of(result) + i);
    bool nested = t == TYPE_BLOCK || (paths && (t == TYPE_PAREN || (t >= TYPE_PATH && t <= TYPE_GET_PATH)));
    if (!nested) continue;
    if (cycles::find_q(cells_of(result)[i].data2)) {
      cycles::reset();
      fire(err::internal_no_cycle);
    }
    cell nested_copy = *clone(cells_of(result) + i, true, paths);
    nested_copy.header = cells_of(result)[i].header;
    cells_of(result)[i] = nested_copy;
    stack::pop(1);
  }
  return result;
}

void insert_value(cell* blk, const cell* value, bool advance, bool at_head) {
  cell v = *value;
  root_guard keep(&v);
  int32_t index = index_of(blk);
  if (at_head) blk->data1 = 0;
  insert(blk, &v, -1, 1, 1, 0);
  if (!advance) blk->data1 = static_cast<uint32_t>(index);
}

void insert_block(cell* target, const cell* source) {
  cell from = *source;
  root_guard keep(&from);
  insert(target, &from, -1, 0, 1, 0);
}

void insert_result() { insert_value(stack::arguments - 1, stack::arguments, true, false); }

void append_result() { rs_append(stack::arguments - 1, stack::arguments); }

void append_to_result() { rs_append(stack::arguments, stack::arguments + 1); }

// ---- Walks -----------------------------------------------------------------------

int32_t mold_each(cell* blk, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
                  int32_t indent) {
  cell self = *blk, item{};
  root_guard keep_self(&self), keep_item(&item);
  bool closing = false;
  {
    cycle_walk walk(self.data2);
    int32_t first = index_of(&self);
    for (int32_t i = first; i < abs_length(&self); ++i) {
      if (stack::given_q(arg) && part < 1) break;
      item = cells_of(&self)[i];
      if (!flat && (item.header & NEWLINE_FLAG)) {
        if (i == first && !only) {
          ++indent;
          closing = true;
        }
        if (i != first || !only) part = datatype::append_text(buffer, "\n", part);
        part = append_indent(buffer, indent, part);
      } else if (i != first) {
        part = datatype::append_text(buffer, " ", part);
      }
      auto f = reinterpret_cast<mold_fn>(actions::get_action(TYPE_OF(&item), ACT_MOLD));
      part = f(&item, buffer, 0, all, flat, arg, part, indent);
    }
  }
  if (closing) {
    part = datatype::append_text(buffer, "\n", part);
    part = append_indent(buffer, indent - 1, part);
  }
  return part;
}

int32_t compare_each(const cell* blk1, const cell* blk2, int32_t op) {
  if (blk1->data2 == blk2->data2 && blk1->data1 == blk2->data1) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find_q(blk1->data2)) return cycles::find_q(blk2->data2) ? 0 : -1;
  cell a = *blk1, b = *blk2;
  root_guard keep_a(&a), keep_b(&b);
  int32_t length1 = rs_length_q(&a), length2 = rs_length_q(&b);
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_EQUAL_10 ||
                  op == COMP_EQUAL_11 || op == COMP_FIND;
  if (length1 != length2 && equality) return 1;
  int32_t order = length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
  if (length1 == 0 || length2 == 0) return order;

  cycle_walk walk1(a.data2);
  cycle_walk walk2(b.data2);
  auto number_q = [](uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; };
  auto word_q = [](uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; };
  for (int32_t i = 0, n = std::min(length1, length2); i < n; ++i) {
    const cell* x = cells_of(&a) + index_of(&a) + i;
    const cell* y = cells_of(&b) + index_of(&b) + i;
    uint32_t tx = TYPE_OF(x), ty = TYPE_OF(y);
    if (tx != ty && !(word_q(tx) && word_q(ty)) && !(number_q(tx) && number_q(ty))) return tx < ty ? -1 : 1;
    int32_t r = actions::compare_raw(x, y, op);
    if (r != 0) return r;
  }
  return order;
}

void copy_nested(cell* blk, int32_t first, int32_t end, int32_t step, bool deep, cell* types) {
  cell self = *blk;
  root_guard keep(&self);
  cell* saved_top = stack::top;
  for (int64_t i = first; i < std::min(end, abs_length(&self)); i += step) {
    uint32_t t = TYPE_OF(cells_of(&self) + i);
    bool wanted = types ? type_matches_q(types, t) && (series_q(t) || t == TYPE_BITSET || t == TYPE_OBJECT ||
                                                       t == TYPE_ERROR || t == TYPE_MAP)
                        : series_q(t);
    if (!wanted) continue;
    cell* slot = stack::push(cells_of(&self)[i]);
    action_copy(slot, slot, nullptr, deep, deep ? types : nullptr);
    cells_of(&self)[i] = *slot;
    stack::top = saved_top;
  }
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_BLOCK, TYPE_SERIES, "block!",
    /* make .. set-path */     make, inherit, inherit, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       insert, inherit, inherit, change, inherit, copy, find, inherit,
    /* head? .. poke */        inherit, inherit, insert, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          put, inherit, inherit, select, sort, inherit, swap, inherit,
    /* tail? .. open */        inherit, take, trim, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::block
