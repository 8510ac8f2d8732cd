// series!: navigation, pick and poke, clear, remove, reverse, take, copy,
// move and random over the unit view of a buffer, with the branches where
// an element is read or stored by its type (a cell for the block-like
// types, a value of the element type for vector!, a char! for the string
// types) and where a hash! keeps its table in step with its cells.
#include "runtime/datatypes/series.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/core/hash.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/core/random.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::series {

using namespace memory;

namespace {

// The one-element buffer that take without /part fills: a fixed series of
// 16 bytes whose unit is set to the source's at each use, so that taking
// a single element allocates nothing. Made on first use and held by the
// root block, as a binary! cell so that the collector keeps its node and
// never reads its content: what it holds is read at once by the caller.
cell* take_scratch = nullptr;

cell integer_cell(int32_t v) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
int32_t integer_of(const cell* c) { return static_cast<int32_t>(c->data2); }

int32_t abs_length(const series_buffer* b) {
  return static_cast<int32_t>((b->tail - b->head) >> unit_shift(GET_UNIT(b)));
}

uint8_t* element_at(series_buffer* b, int32_t p) {
  return head_of(b) + (static_cast<int64_t>(p) << unit_shift(GET_UNIT(b)));
}

int32_t index_of(const cell* s) { return static_cast<int32_t>(s->data1); }

// The element at p as a value: the cell itself for the block-like types, a
// pushed value of the element type for a vector!, a pushed char! for the
// string types.
cell* element_value(cell* s, int32_t p) {
  series_buffer* b = GET_BUFFER(s);
  uint8_t* at = element_at(b, p);
  if (any_block_q(TYPE_OF(s))) return reinterpret_cast<cell*>(at);
  if (TYPE_OF(s) == TYPE_VECTOR) return vector::get_value(at, GET_UNIT(b), s->data3);
  // A binary! holds bytes, which read as integers.
  uint32_t type = TYPE_OF(s) == TYPE_BINARY ? TYPE_INTEGER : TYPE_CHAR;
  return stack::push(cell{type, 0, string::get_char(at, GET_UNIT(b)), 0});
}

void swap_units(uint8_t* a, uint8_t* b, int32_t bytes) {
  uint8_t scratch[64];
  while (bytes > 0) {
    int32_t n = std::min(bytes, static_cast<int32_t>(sizeof scratch));
    std::memcpy(scratch, a, n);
    std::memcpy(a, b, n);
    std::memcpy(b, scratch, n);
    a += n;
    b += n;
    bytes -= n;
  }
}

// ---- Navigation ------------------------------------------------------------

void head() { stack::arguments->data1 = 0; }

void tail() { stack::arguments->data1 = static_cast<uint32_t>(rs_abs_length_q(stack::arguments)); }

void head_q() { stack::set_last(logic::make_cell(stack::arguments->data1 == 0)); }

void tail_q() { stack::set_last(logic::make_cell(rs_tail_q(stack::arguments))); }

void index_q() { stack::set_last(integer_cell(index_of(stack::arguments) + 1)); }

void next() { rs_skip(stack::arguments, 1); }

void back() {
  if (stack::arguments->data1 > 0) --stack::arguments->data1;
}

void at() { stack::arguments->data1 = static_cast<uint32_t>(at_skip_index(true)); }

void skip() { stack::arguments->data1 = static_cast<uint32_t>(at_skip_index(false)); }

int32_t length_q(cell* s) { return get_length(s, false); }

// ---- Elements ----------------------------------------------------------------

// The position of pick and poke: n counts from 1 forward, from -1 backward;
// -1 when n is 0 or the position lies outside the buffer.
int32_t pick_position(const cell* s, int32_t n) {
  if (n == 0) return -1;
  int64_t p = static_cast<int64_t>(index_of(s)) + n - (n > 0 ? 1 : 0);
  return p < 0 || p >= rs_abs_length_q(s) ? -1 : static_cast<int32_t>(p);
}

cell* pick(cell* s, int32_t index, cell*) {
  int32_t p = pick_position(s, index);
  return p < 0 ? &none::none_value : element_value(s, p);
}

cell* poke(cell* s, int32_t index, cell* data, cell*) {
  int32_t p = pick_position(s, index);
  if (p < 0) fire(err::script_out_of_range, {integer_cell(index)});
  // Bad values are refused before anything, the owner included, hears of it.
  if (TYPE_OF(s) == TYPE_BINARY) {
    // The same byte range as append: -128 to 255.
    int32_t n = static_cast<int32_t>(data->data2);
    if (TYPE_OF(data) == TYPE_INTEGER && (n < -128 || n > 255)) fire(err::script_invalid_arg, {*data});
    if (TYPE_OF(data) != TYPE_INTEGER && TYPE_OF(data) != TYPE_CHAR) fire(err::script_invalid_arg, {*data});
  } else if (TYPE_OF(s) == TYPE_VECTOR) {
    if (TYPE_OF(data) != s->data3) fire(err::script_invalid_arg, {*data});
  } else if (!any_block_q(TYPE_OF(s)) && TYPE_OF(data) != TYPE_CHAR) {
    fire(err::script_invalid_arg, {*data});
  }
  bool owned = ownership::check(s, words::word_poke, data, p, 1);
  series_buffer* b = GET_BUFFER(s);
  if (any_block_q(TYPE_OF(s))) {
    cell* at = reinterpret_cast<cell*>(element_at(b, p));
    uint32_t table = table_of(s);
    if (table) hashtable::delete_key(table, at);
    *at = *data;
    if (table) hashtable::put(table, at);
  } else if (TYPE_OF(s) == TYPE_BINARY) {
    binary::set_value(element_at(b, p), data);
  } else if (TYPE_OF(s) == TYPE_VECTOR) {
    vector::set_value(element_at(b, p), data, GET_UNIT(b));
  } else {
    string::poke_char(b, element_at(b, p), data->data2);
  }
  if (owned) ownership::check(s, words::word_poked, data, p, 1);
  return data;
}

// ---- Removal -----------------------------------------------------------------

cell* clear(cell* s) {
  series_buffer* b = GET_BUFFER(s);
  int32_t index = index_of(s);
  int32_t d = abs_length(b) - index;
  if (d < 1) return s;
  bool owned = ownership::check(s, words::word_clear, nullptr, index, d);
  b = GET_BUFFER(s);
  d = std::max(abs_length(b) - index, 0);  // the owner may have changed it
  if (uint32_t table = table_of(s)) hashtable::clear(table, index, d);
  set_tail(b, element_at(b, index));
  if (owned) ownership::check(s, words::word_cleared, nullptr, index, d);
  return s;
}

// Cuts `count` elements at p (p before the tail), moving the rest down.
void cut(cell* s, int32_t p, int32_t count) {
  series_buffer* b = GET_BUFFER(s);
  int32_t length = abs_length(b);
  count = std::min(count, length - p);
  uint8_t* at = element_at(b, p);
  uint8_t* rest = element_at(b, p + count);
  std::memmove(at, rest, static_cast<size_t>(tail_of(b) - rest));
  set_tail(b, tail_of(b) - (rest - at));
  rehash_moved(s, -count, p + count, length - p - count);
}

cell* remove(cell* s, cell* part, cell* key) {
  int32_t count = 1;
  if (stack::given_q(part)) {
    count = static_cast<int32_t>(part_length(s, index_of(s), part));
    if (count < 1) return s;
  }
  int32_t p = index_of(s);
  if (stack::given_q(key)) {
    cell* saved_top = stack::top;
    auto find = reinterpret_cast<find_fn>(actions::get_action(TYPE_OF(s), ACT_FIND));
    cell found = *find(s, key, nullptr, 0, 1, 0, 0, nullptr, nullptr, 0, 0, 0, 0);
    stack::top = saved_top;
    if (TYPE_OF(&found) == TYPE_NONE) return &none::none_value;
    p = index_of(&found);
    s->data1 = static_cast<uint32_t>(p);
    ++count;
  }
  if (p < rs_abs_length_q(s)) {
    cell remove_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_remove), 0xFFFFFFFF};
    bool owned = ownership::check(s, &remove_word, nullptr, p, count);
    if (p < rs_abs_length_q(s)) cut(s, p, count);
    if (owned) ownership::check(s, words::word_removed, nullptr, p, count);
  }
  return s;
}

// ---- Reordering --------------------------------------------------------------

cell* reverse(cell* s, cell* part, cell* skip) {
  int32_t length = rs_abs_length_q(s);
  int32_t index = index_of(s);
  if (index >= length) return s;
  int32_t count = length - index;
  if (stack::given_q(part)) {
    count = static_cast<int32_t>(part_length(s, index, part));
    if (count < 1) return s;
    count = std::min(count, length - index);
  }
  int32_t size = 1;
  if (stack::given_q(skip)) {
    if (TYPE_OF(skip) != TYPE_INTEGER) fire(err::script_invalid_refine_arg, {refinement_value("skip"), *skip});
    size = integer_of(skip);
    if (size == count) return s;
    if (size < 1) fire(err::script_out_of_range, {*skip});
    if (count < size || count % size != 0)
      fire(err::script_invalid_refine_arg, {refinement_value("skip"), *skip});
  }
  bool owned = ownership::check(s, words::word_reverse, nullptr, index, count);
  series_buffer* b = GET_BUFFER(s);
  count = std::min(count, abs_length(b) - index) / size * size;  // the owner may have changed it
  int32_t record = size << unit_shift(GET_UNIT(b));
  uint8_t* low = element_at(b, index);
  uint8_t* high = element_at(b, index + count - size);
  for (; low < high; low += record, high -= record) swap_units(low, high, record);
  rehash_range(s, index, count);
  if (owned) ownership::check(s, words::word_reversed, nullptr, index, count);
  return s;
}

cell* random(cell* s, int32_t seed, int32_t secure, int32_t only) {
  series_buffer* b = GET_BUFFER(s);
  int32_t length = abs_length(b);
  int32_t index = std::min(index_of(s), length);
  uint32_t shift = unit_shift(GET_UNIT(b));
  if (seed) {
    int32_t bytes = (length - index) << shift;
    random::seed(static_cast<int32_t>(hash::murmur3_x86_32(element_at(b, index), bytes, hash::seed)));
    return &unset::unset_value;
  }
  int32_t count = length - index;
  if (only) {
    if (count < 1) return &none::none_value;
    return element_value(s, index + random::int_in_range(secure != 0, count) - 1);
  }
  bool owned = ownership::check(s, words::word_random, nullptr, index, count);
  b = GET_BUFFER(s);
  length = abs_length(b);
  int32_t unit = 1 << shift;
  for (int32_t p = index; p < length - 1; ++p) {
    int32_t r = random::int_in_range(secure != 0, length - p);
    if (r > 1) swap_units(element_at(b, p), element_at(b, p + r - 1), unit);
  }
  rehash_range(s, index, std::max(length - index, 0));
  if (owned) ownership::check(s, words::word_randomized, nullptr, index, count);
  return s;
}

// ---- Moving elements ---------------------------------------------------------

bool movable_target_q(uint32_t type) {
  return any_block_q(type) || any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR ||
         type == TYPE_IMAGE;
}

// A move inside one series: `items` elements from src land before dst when
// dst lies before them, after the element at dst (at the tail when dst is
// the tail) when it lies after them.
cell* move_within(cell* origin, cell* target, int32_t items) {
  series_buffer* b = GET_BUFFER(origin);
  int32_t length = abs_length(b);
  int32_t src = index_of(origin);
  int32_t dst = index_of(target);
  if (dst == src) return target;
  if (dst > src && dst < length && length - dst < items) return origin;
  dst = std::min(dst, length);
  // A destination inside the moved run (past its first element) leaves the
  // series as it is.
  if (dst > src && dst < src + items) return target;

  uint32_t shift = unit_shift(GET_UNIT(b));
  int32_t bytes = items << shift;
  auto* saved = static_cast<uint8_t*>(heap::alloc_tracked(bytes));
  std::memcpy(saved, element_at(b, src), static_cast<size_t>(bytes));
  int32_t landing;  // the last moved element's position when moving up
  if (dst > src) {
    landing = dst == length ? length - 1 : dst;
    int32_t first = landing + 1 - items;
    std::memmove(element_at(b, src), element_at(b, src + items), static_cast<size_t>((first - src) << shift));
    std::memcpy(element_at(b, first), saved, static_cast<size_t>(bytes));
    target->data1 = static_cast<uint32_t>(dst - items);
  } else {
    landing = dst;
    std::memmove(element_at(b, dst + items), element_at(b, dst), static_cast<size_t>((src - dst) << shift));
    std::memcpy(element_at(b, dst), saved, static_cast<size_t>(bytes));
  }
  heap::free_tracked(saved);
  if (uint32_t table = table_of(origin)) hashtable::move_range(table, landing, src, items);
  return target;
}

// A move between two buffers of the same unit: the target opens a gap at
// its index (growing to twice what it needs), the elements are copied in
// and the origin closes its gap.
void move_across(cell* origin, cell* target, int32_t items) {
  series_buffer* t = GET_BUFFER(target);
  uint32_t shift = unit_shift(GET_UNIT(t));
  int64_t bytes = static_cast<int64_t>(items) << shift;
  int64_t needed = static_cast<int64_t>(t->tail - t->head) + bytes;
  if (data_end(t) - head_of(t) < needed) {
    if (needed > INT32_MAX) fire(err::internal_no_memory);
    t = expand_series(t, static_cast<int32_t>(std::min<int64_t>(2 * needed, INT32_MAX)));
  }
  int32_t target_length = abs_length(t);
  int32_t dst = std::min(index_of(target), target_length);
  uint8_t* at = element_at(t, dst);
  std::memmove(at + bytes, at, static_cast<size_t>(tail_of(t) - at));
  std::memcpy(at, element_at(GET_BUFFER(origin), index_of(origin)), static_cast<size_t>(bytes));
  t->tail += static_cast<uint32_t>(bytes);
  cut(origin, index_of(origin), items);
  if (table_of(target)) {
    rehash_moved(target, items, dst, target_length - dst);
    rehash_range(target, dst, items);
  }
}

cell* move_items(cell* origin, cell* target, cell* part) {
  uint32_t to = TYPE_OF(target);
  if (!movable_target_q(to)) fire(err::script_expect_arg, {cell{TYPE_DATATYPE, to, 0, 0}});
  int32_t remaining = rs_abs_length_q(origin) - index_of(origin);
  if (remaining <= 0) return target;
  int32_t items = 1;
  if (stack::given_q(part)) {
    if (TYPE_OF(part) != TYPE_INTEGER) fire(err::script_invalid_refine_arg, {refinement_value("part"), *part});
    if (integer_of(part) < 1) return target;
    items = std::min(integer_of(part), remaining);
  }
  if (origin->data2 == target->data2) return move_within(origin, target, items);

  uint32_t from = TYPE_OF(origin);
  cell bad{TYPE_DATATYPE, from, 0, 0}, bad_target{TYPE_DATATYPE, to, 0, 0};
  bool from_block = any_block_q(from), to_block = any_block_q(to);
  if (from_block != to_block) fire(err::script_move_bad, {bad, bad_target});
  if (GET_UNIT(GET_BUFFER(origin)) == GET_UNIT(GET_BUFFER(target))) {
    move_across(origin, target, items);
    return target;
  }
  // Units differ: only two strings of different widths can meet; the
  // target widens as needed.
  if (!any_string_q(from) || !any_string_q(to)) fire(err::script_move_bad, {bad, bad_target});
  string::concatenate(target, origin, items, 0, true, string::MODE_INSERT);
  string::remove_part(origin, index_of(origin), items);
  return target;
}

// The target's owner hears of a move before and after it.
cell* move(cell* origin, cell* target, cell* part) {
  int32_t at = index_of(target);
  int32_t items = stack::given_q(part) && TYPE_OF(part) == TYPE_INTEGER ? integer_of(part) : 1;
  bool owned = ownership::check(target, words::word_move, nullptr, at, items);
  cell* result = move_items(origin, target, part);
  if (owned) ownership::check(target, words::word_moved, nullptr, index_of(result), items);
  return result;
}

// ---- Ownership -----------------------------------------------------------------

// `owned` is the only field: the owner object, or none.
cell* reflect(cell* s, cell* field) {
  if (!symbol::EQUAL_WORDS_q(field, words::sym_owned)) fire(err::internal_not_done);
  cell* owner = ownership::get_owner(s->data2);
  return owner ? owner : &none::none_value;
}

// Only `owned` changes anything (ownership::modify_owned).
cell* modify(cell* s, cell* field, cell* value, int32_t) {
  if (symbol::EQUAL_WORDS_q(field, words::sym_owned)) ownership::modify_owned(s, value);
  return value;
}

}  // namespace

// ---- Helpers -------------------------------------------------------------------

bool rs_tail_q(const cell* s) { return index_of(s) >= rs_abs_length_q(s); }

bool rs_skip(cell* s, int32_t n) {
  int64_t p = static_cast<int64_t>(index_of(s)) + n;
  int32_t length = rs_abs_length_q(s);
  if (p >= 0 && p <= length) s->data1 = static_cast<uint32_t>(p);
  return index_of(s) >= length;
}

int32_t get_length(cell* s, bool from_head) {
  int32_t length = rs_abs_length_q(s);
  if (index_of(s) > length) {
    s->data1 = static_cast<uint32_t>(length);
    return 0;
  }
  return from_head ? length : length - index_of(s);
}

int32_t at_skip_index(bool at) {
  cell* s = stack::arguments;
  cell* offset = stack::arguments + 1;
  if (TYPE_OF(offset) != TYPE_INTEGER) fire(err::script_invalid_arg, {*offset});
  int64_t n = integer_of(offset);
  int64_t p = index_of(s) + (at && n >= 1 ? n - 1 : n);
  return static_cast<int32_t>(std::clamp<int64_t>(p, 0, rs_abs_length_q(s)));
}

cell refinement_value(const char* spelling) {
  auto* name = reinterpret_cast<const uint8_t*>(spelling);
  int32_t id = hashtable::get_symbol(symbol::table, name, static_cast<int32_t>(std::strlen(spelling)), false);
  return cell{TYPE_REFINEMENT, 0, static_cast<uint32_t>(id), 0};
}

int64_t part_length(const cell* s, int32_t index, const cell* part, part_error error) {
  if (TYPE_OF(part) == TYPE_INTEGER) return integer_of(part);
  if (TYPE_OF(part) == TYPE_OF(s) && part->data2 == s->data2) return static_cast<int64_t>(index_of(part)) - index;
  if (error == PART_NOT_SAME_TYPE) fire(err::script_not_same_type);
  if (error == PART_WORD) fire(err::script_invalid_refine_arg, {error_word("part"), *part});
  // A bare runtime has no refinement words yet: the error then names none.
  fire(err::script_invalid_refine_arg, {refinements::part ? *refinements::part : none::none_value, *part});
}

bool rehash_moved(const cell* s, int32_t offset, int32_t first, int32_t count) {
  uint32_t table = table_of(s);
  if (!table || hashtable::move(table, offset, first, count, true) == 0) return false;
  rehash_all(s);
  return true;
}

void rehash_range(const cell* s, int32_t first, int32_t count) {
  uint32_t table = table_of(s);
  if (!table || count <= 0) return;
  root_guard keep(&table);
  hashtable::clear(table, first, count);
  int32_t status;
  for (int32_t p = first; p < first + count; ++p) {
    hashtable::put_key(table, head_of<cell>(GET_BUFFER(s)) + p, &status);
    if (status != 0) return;  // rebuilt: every cell is indexed
  }
}

void rehash_all(const cell* s) {
  if (uint32_t table = table_of(s)) hashtable::rebuild(table, rs_abs_length_q(s));
}

cell* copy(cell* s, cell* result, cell* part, int32_t, cell*) {
  int32_t length = rs_abs_length_q(s);
  int32_t index = index_of(s);
  int64_t start = index;
  int64_t count = length - index;
  if (stack::given_q(part) && TYPE_OF(part) != TYPE_UNSET) {
    count = part_length(s, index, part);
    if (count < 0) {
      count = -count;
      start -= count;
      if (start < 0) {
        start = 0;
        count = index;
      }
    }
  }
  start = std::min<int64_t>(start, length);
  count = std::clamp<int64_t>(count, 0, length - start);
  uint32_t header = s->header & (0xFF | NEWLINE_FLAG);
  uint32_t extra = TYPE_OF(s) == TYPE_VECTOR ? s->data3 : 0;
  uint32_t node = s->data2;
  if (result != s) *result = unset::unset_value;
  node = copy_part(node, static_cast<int32_t>(start), static_cast<int32_t>(count));
  *result = cell{header, 0, node, extra};
  return result;
}

cell* take_items(cell* s, cell* part, int32_t last) {
  int32_t length = get_length(s, false);
  if (length < 1) {
    *s = none::none_value;
    return s;
  }
  int32_t index = index_of(s);
  int32_t count = 1;
  bool before = false;  // the elements come from before the index
  if (stack::given_q(part)) {
    int64_t d = part_length(s, index, part);
    // A position takes nothing before the index, and with /last what lies
    // from it to the tail.
    if (TYPE_OF(part) != TYPE_INTEGER) d = d < 0 ? 0 : last ? length - d : d;
    // Nothing to take: a count of 0, or elements before the index with
    // /last or at the head.
    if (d == 0 || (d < 0 && (last || index == 0))) {
      count = 0;
    } else if (d < 0) {
      before = true;
      count = static_cast<int32_t>(std::min<int64_t>(-d, index));
    } else {
      count = static_cast<int32_t>(std::min<int64_t>(d, length));
    }
  }

  uint32_t unit = GET_UNIT(GET_BUFFER(s));
  int32_t from = before ? index - count : last ? index + length - count : index;
  uint32_t taken = 0;
  root_guard keep(&taken);
  if (stack::given_q(part)) {
    taken = copy_part(s->data2, from, count);
  } else {
    if (!take_scratch) take_scratch = root::append(cell{TYPE_BINARY, 0, alloc_fixed_series(1, sizeof(cell), 0), 0});
    taken = take_scratch->data2;
    series_buffer* scratch = buffer_of(taken);
    scratch->flags = (scratch->flags & ~SERIES_UNIT) | unit;
    std::memcpy(head_of(scratch), element_at(GET_BUFFER(s), from), unit);
    scratch->tail = scratch->head + unit;
  }
  if (count > 0) {
    if (last && !before) {
      if (uint32_t table = table_of(s)) hashtable::clear(table, from, count);
      series_buffer* b = GET_BUFFER(s);
      set_tail(b, element_at(b, from));
    } else {
      cut(s, from, count);
    }
  }
  bool own_table = TYPE_OF(s) == TYPE_HASH && stack::given_q(part);
  uint32_t extra = TYPE_OF(s) == TYPE_VECTOR ? s->data3 : 0;
  *s = cell{TYPE_OF(s), 0, taken, extra};
  if (own_table) s->data3 = hashtable::init(count, s, hashtable::KIND_BLOCK, 1);
  return s;
}

// An owned series' owner hears of a take before and after it.
cell* take(cell* s, cell* part, int32_t, int32_t last) {
  int32_t at = index_of(s);
  int32_t count = stack::given_q(part) && TYPE_OF(part) == TYPE_INTEGER ? integer_of(part) : 1;
  cell kept = *s;
  root_guard keep(&kept);
  bool owned = ownership::check(s, words::word_take, nullptr, at, count);
  cell* taken = take_items(s, part, last);
  if (owned) ownership::check(&kept, words::word_taken, nullptr, at, count);
  return taken;
}

void init() {
  take_scratch = nullptr;
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_SERIES, 0, "series!",
    /* make .. set-path */     unsupported, random, reflect, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* compare .. remainder */ unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, at, back, unsupported, clear, copy, unsupported, head,
    /* head? .. poke */        head_q, index_q, unsupported, length_q, move, next, pick, poke,
    /* put .. tail */          unsupported, remove, reverse, unsupported, unsupported, skip, unsupported, tail,
    /* tail? .. open */        tail_q, take, unsupported, unsupported, unsupported, unsupported, modify, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

uint8_t* fill_pattern(uint8_t* start, int32_t pattern, int32_t count) {
  int64_t total = static_cast<int64_t>(pattern) * count;
  int64_t done = pattern;
  while (done < total) {
    int64_t n = done < total - done ? done : total - done;
    std::memcpy(start + done, start, static_cast<size_t>(n));
    done += n;
  }
  return start + (total > 0 ? total : 0);
}

// ---- Unit series edits ---------------------------------------------------------

namespace {

// Room for `size` bytes from the head: a buffer too small doubles, or
// grows to exactly the size when that is more.
series_buffer* reserve_bytes(const cell* s, int64_t size) {
  series_buffer* b = GET_BUFFER(s);
  int64_t capacity = data_end(b) - head_of(b);
  if (size <= capacity) return b;
  if (size > INT32_MAX) fire(err::internal_no_memory);
  return expand_series(b, size < 2 * capacity ? 0 : static_cast<int32_t>(size));
}

}  // namespace

insertion insert_units(cell* s, const cell* value, const uint8_t* data, size_t size, int32_t dup, bool append) {
  uint32_t unit = GET_UNIT(GET_BUFFER(s));
  int64_t total = static_cast<int64_t>(size / unit) * dup;
  int32_t length = rs_abs_length_q(s);
  int32_t index = std::min(index_of(s), length);
  s->data1 = static_cast<uint32_t>(index);
  int32_t position = append ? length : index;
  cell insert_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_insert), 0xFFFFFFFF};
  int32_t reported = total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
  if (ownership::check(s, append ? words::word_append : &insert_word, value, position, reported)) {
    length = rs_abs_length_q(s);
    position = append ? length : std::min(position, length);
  }
  if (total > INT32_MAX || (length + total) * unit > INT32_MAX) fire(err::internal_no_memory);
  series_buffer* b = reserve_bytes(s, (length + total) * unit);
  uint8_t* at = head_of(b) + static_cast<size_t>(position) * unit;
  std::memmove(at + total * unit, at, static_cast<size_t>(length - position) * unit);
  std::memcpy(at, data, size);
  fill_pattern(at, static_cast<int32_t>(size), dup);
  b->tail += static_cast<uint32_t>(total * unit);
  return {position, static_cast<int32_t>(total)};
}

void change_units(cell* s, const cell* value, const uint8_t* data, size_t size, int32_t part, int32_t dup) {
  uint32_t unit = GET_UNIT(GET_BUFFER(s));
  int32_t length = rs_abs_length_q(s);
  int32_t index = std::min(index_of(s), length);
  int64_t inserted = static_cast<int64_t>(size / unit) * std::max(dup, 0);
  int64_t rest = length - index;
  int64_t removed = std::min(part >= 0 ? part : inserted, rest);
  if (ownership::check(s, words::word_change, value, index, part >= 0 ? part : 1)) {
    length = rs_abs_length_q(s);
    index = std::min(index, length);
    rest = length - index;
    removed = std::min(removed, rest);
  }
  int64_t new_length = length + inserted - removed;
  if (new_length * unit > INT32_MAX) fire(err::internal_no_memory);
  series_buffer* b = reserve_bytes(s, new_length * unit);
  uint8_t* at = head_of(b) + static_cast<size_t>(index) * unit;
  std::memmove(at + inserted * unit, at + removed * unit, static_cast<size_t>(rest - removed) * unit);
  if (inserted > 0) {
    std::memcpy(at, data, size);
    fill_pattern(at, static_cast<int32_t>(size), dup);
  }
  b->tail = b->head + static_cast<uint32_t>(new_length * unit);
  s->data1 = static_cast<uint32_t>(std::min<int64_t>(index + inserted, new_length));
  ownership::check(s, words::word_changed, value, index, part >= 0 ? part : 1);
}

}  // namespace ixo::series
