// map! actions: make and to, reflect, form and mold ("#[" ... "]"),
// eval-path reads and writes, compare, clear, copy, find, length?, put,
// remove/key and select, over the storage block and its map-kind
// hashtable (map.hpp). Lookups compare keys under three modes: equal
// (words and strings without case, the default), strict-equal (/case,
// remove/key and duplicate keys in make) and same (/same).
#include "runtime/datatypes/map.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "runtime/core/cycles.hpp"
#include "runtime/core/hash.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::map {

using namespace memory;

namespace {

cell datatype_cell(uint32_t type) { return cell{TYPE_DATATYPE, type, 0, 0}; }

cell* storage_head(const cell* m) { return head_of<cell>(buffer_of(m->data2)); }
int32_t storage_cells(const cell* m) {
  series_buffer* b = buffer_of(m->data2);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}
bool removed_q(const cell* pair) { return pair[1].header == 0; }

// Keys the map holds as its own copy of a series.
bool series_key_q(uint32_t type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_BINARY || type == TYPE_TAG ||
         type == TYPE_EMAIL || type == TYPE_REF;
}

// A key as reflection and foreach hand it out (`key` rooted): a series key
// is copied, so changing what was handed out cannot change the map's key
// and lose its pair; a set-word key becomes a word when `as_word`.
void hand_out_key(cell* key, bool as_word) {
  if (series_key_q(TYPE_OF(key))) series::copy(key, key, nullptr, 0, nullptr);
  if (as_word && TYPE_OF(key) == TYPE_SET_WORD) key->header = TYPE_WORD;
}

// The key cell of the pair equal to `key` under the mode, removed pairs
// included, or nullptr.
cell* find_pair(const cell* m, const cell* key, int32_t mode) {
  return hashtable::get(m->data3, key, 0, 0, mode, false, false);
}

int32_t lookup_mode(int32_t case_, int32_t same) {
  return same ? COMP_SAME : case_ ? COMP_STRICT_EQUAL : COMP_EQUAL;
}

// Values from the block's index, or -1 when the count is odd (raised by
// the caller with its own argument).
void check_pairs(cell* block) {
  if (block::rs_length_q(block) % 2 != 0) fire(err::script_invalid_arg, {*block});
}

// A new pair at the tail of the storage: the prepared key and an unset!
// value, indexed under the key's hash; answers the key cell.
cell* add_pair(cell* m, const cell* key, const cell* path, uint32_t hash) {
  cell k = *key, held = *m;
  root_guard keep_key(&k), keep_map(&held);
  prepare_key(&k, path);
  // The storage is a plain block, which no table of its own indexes: the
  // pair goes at its tail as one piece.
  auto* pair = reinterpret_cast<cell*>(series::alloc_tail_bytes(buffer_of(held.data2), 2 * sizeof(cell)));
  pair[0] = k;
  pair[1] = unset::unset_value;
  return hashtable::put_hashed(held.data3, pair, hash);
}

// Stores the value into the key's pair, adding or reviving it. The key is
// hashed once, for the look-up and the new pair alike: its prepared form
// (a copy, a set-word) hashes as it does.
cell* store(cell* m, const cell* key, const cell* value, const cell* path, int32_t mode) {
  cell v = *value, held = *m;
  root_guard keep_value(&v), keep_map(&held);
  uint32_t hash = hash::value(key);
  cell* pair = hashtable::get_hashed(held.data3, key, hash, mode);
  if (!pair) {
    pair = add_pair(&held, key, path, hash);
  } else if (removed_q(pair)) {
    ++hashtable::record_of(held.data3)->size;
  }
  pair[1] = v;
  return pair + 1;
}

// ---- Writers ---------------------------------------------------------------

int32_t append_indent(cell* buffer, int32_t level, int32_t part) {
  for (int32_t i = 0; i < level; ++i) part = datatype::append_text(buffer, "    ", part);
  return part;
}

// The shared writer of form and mold: each live pair as its key molded, a
// space and its value molded. Answers the part budget left.
int32_t mold_entries(cell* m, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
                     bool indent, int32_t level, bool mold) {
  cell held = *m, item{};
  root_guard keep_map(&held), keep_item(&item);
  int32_t left = count_of(&held);
  if (left == 0) return part;
  const char* separator = flat ? " " : "\n";
  bool indenting = indent && !flat;
  if (mold && !only && !flat) part = datatype::append_text(buffer, "\n", part);
  cycles::walk walk(held.data2);
  for (int32_t i = static_cast<int32_t>(held.data1) & ~1; i + 1 < storage_cells(&held) && left > 0; i += 2) {
    if (stack::given_q(arg) && part < 1) break;
    if (removed_q(storage_head(&held) + i)) continue;
    --left;
    if (indenting && mold && !only) part = append_indent(buffer, level, part);
    item = storage_head(&held)[i];
    part = actions::mold(&item, buffer, 0, all, flat, arg, part, level);
    part = datatype::append_text(buffer, " ", part);
    item = storage_head(&held)[i + 1];
    part = actions::mold(&item, buffer, 0, all, flat, arg, part, level);
    if (indenting || left > 0) part = datatype::append_text(buffer, separator, part);
  }
  return part;
}

// ---- Actions ---------------------------------------------------------------

cell* copy(cell* m, cell* result, cell* part, int32_t deep, cell* types);

cell* make_from(cell* spec, int32_t type, bool to) {
  uint32_t t = TYPE_OF(spec);
  if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
    check_pairs(spec);
    // Every key is checked before anything is built.
    int32_t count = 0;
    const cell* values = block::values_of(spec, count);
    for (int32_t i = 0; i < count; i += 2)
      if (!valid_key_type_q(TYPE_OF(values + i)))
        fire(err::script_invalid_path, {none::none_value, datatype_cell(TYPE_OF(values + i))});
    cell* storage = block::clone(spec, false, false);
    set_type(storage, TYPE_BLOCK);
    // A key is prepared in a rooted copy: copying a series key allocates,
    // which may move the storage.
    for (int32_t i = 0; i < count; ++i) {
      cell item = storage_head(storage)[i];
      root_guard keep_item(&item);
      clear_new_line(&item);
      if (i % 2 == 0) prepare_key(&item, nullptr);
      storage_head(storage)[i] = item;
    }
    make_at(storage, storage, count);
    set_type(storage, TYPE_MAP);
    return storage;
  }
  if ((t == TYPE_INTEGER || t == TYPE_FLOAT) && !to) {
    double n = t == TYPE_INTEGER ? static_cast<int32_t>(spec->data2) : std::trunc(get_float(spec));
    if (!(n >= 0 && n <= 1073741823.0)) fire(err::script_out_of_range, {*spec});
    int32_t size = static_cast<int32_t>(n);
    cell* result = stack::push(none::none_value);
    return make_at(result, nullptr, size == 0 ? 2 : size * 2);
  }
  if (t == TYPE_MAP && !to) return copy(spec, stack::push(*spec), nullptr, 0, nullptr);
  fire(err::script_bad_to_arg, {datatype_cell(static_cast<uint32_t>(type)), *spec});
}

cell* make(cell*, cell* spec, int32_t type) { return make_from(spec, type, false); }
cell* to(cell*, cell* spec, int32_t type) {
  if (TYPE_OF(spec) == TYPE_MAP) return copy(spec, stack::push(*spec), nullptr, 0, nullptr);
  return make_from(spec, type, true);
}

cell* reflect(cell* m, cell* field) {
  bool words = symbol::EQUAL_WORDS_q(field, words::sym_words);
  bool values = symbol::EQUAL_WORDS_q(field, words::sym_values);
  bool body = symbol::EQUAL_WORDS_q(field, words::sym_body);
  if (!words && !values && !body) fire(err::internal_not_done);
  cell held = *m;
  root_guard keep(&held);
  int32_t count = count_of(&held);
  cell* result = block::push_only(std::max(body ? count * 2 : count, 1));
  int32_t left = count;
  for (int32_t i = 0; i + 1 < storage_cells(&held) && left > 0; i += 2) {
    if (removed_q(storage_head(&held) + i)) continue;
    --left;
    cell key = storage_head(&held)[i], value = storage_head(&held)[i + 1];
    root_guard keep_key(&key), keep_value(&value);
    if (words || body) hand_out_key(&key, words);
    if (body) key.header |= NEWLINE_FLAG;
    if (words || body) block::rs_append(result, &key);
    if (values || body) block::rs_append(result, &value);
  }
  return result;
}

int32_t form(cell* m, cell* buffer, cell* arg, int32_t part) {
  if (cycles::detect_q(m, buffer, &part, false)) return part;
  return mold_entries(m, buffer, 0, 0, 0, arg, part, false, 0, false);
}

int32_t mold(cell* m, cell* buffer, int32_t only, int32_t all, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  if (cycles::detect_q(m, buffer, &part, true)) return part;
  if (!only) part = datatype::append_text(buffer, "#[", part);
  int32_t before = part;
  part = mold_entries(m, buffer, only, all, flat, arg, part, true, indent + 1, true);
  if (part != before && indent >= 1 && !flat) part = append_indent(buffer, indent, part);
  if (!only) part = datatype::append_text(buffer, "]", part);
  return part;
}

cell* eval_path(cell* m, cell* element, cell* data, cell* path, cell*, cell*, int32_t, int32_t case_, int32_t,
                int32_t, int32_t) {
  int32_t mode = case_ ? COMP_STRICT_EQUAL : COMP_EQUAL;
  if (data) return store(m, element, data, path, mode);
  cell* pair = find_pair(m, element, mode);
  return pair && !removed_q(pair) ? pair + 1 : &none::none_value;
}

int32_t compare(const cell* m1, const cell* m2, int32_t op) {
  if (TYPE_OF(m2) != TYPE_MAP) return COMPARE_NONE;
  if (op == COMP_SORT || op == COMP_CASE_SORT) return m1->data2 == m2->data2 ? 0 : m1->data2 < m2->data2 ? -1 : 1;
  if (op != COMP_EQUAL && op != COMP_NOT_EQUAL && op != COMP_STRICT_EQUAL && op != COMP_SAME && op != COMP_FIND)
    return COMPARE_NONE;
  if (m1->data2 == m2->data2 && m1->data1 == m2->data1) return 0;
  if (op == COMP_SAME) return -1;
  if (cycles::find_q(m1->data2)) return cycles::find_q(m2->data2) ? 0 : -1;
  cell a = *m1, b = *m2;
  root_guard keep_a(&a), keep_b(&b);
  int32_t count = count_of(&a);
  if (count != count_of(&b)) return 1;
  if (count == 0) return 0;
  cycles::walk walk_a(a.data2), walk_b(b.data2);
  int32_t answer = 0;
  for (int32_t i = 0; i + 1 < storage_cells(&a) && count > 0 && answer == 0; i += 2) {
    if (removed_q(storage_head(&a) + i)) continue;
    --count;
    cell key = storage_head(&a)[i], value = storage_head(&a)[i + 1];
    root_guard keep_key(&key), keep_value(&value);
    if (op == COMP_STRICT_EQUAL) {
      cell* pair = find_pair(&b, &key, COMP_STRICT_EQUAL);
      answer = pair && !removed_q(pair) ? actions::compare_raw(&value, pair + 1, COMP_STRICT_EQUAL) : 1;
      if (answer == COMPARE_NONE) answer = 1;
      continue;
    }
    // Without case, equal keys may repeat: any of them with an equal value
    // matches.
    answer = 1;
    int32_t position = -1, start = 0, step = 0;
    while (cell* pair = hashtable::get_next(b.data3, &key, &position, &start, &step)) {
      if (removed_q(pair)) continue;
      int32_t c = actions::compare_raw(&value, pair + 1, op == COMP_FIND ? COMP_FIND : COMP_EQUAL);
      if (c == 0) {
        answer = 0;
        break;
      }
    }
  }
  return answer;
}

cell* clear(cell* m) {
  hashtable::reset(m->data3);
  return m;
}

cell* copy(cell* m, cell* result, cell*, int32_t deep, cell* types) {
  bool typed_copy = stack::given_q(types);
  cell held = *m;
  root_guard keep(&held);
  if (deep && typed_copy && cycles::find_q(held.data2)) {
    cycles::reset();
    fire(err::internal_no_cycle);
  }
  cell storage{TYPE_BLOCK, 0, held.data2, 0};
  root_guard keep_storage(&storage);
  series::copy(&storage, &storage, nullptr, 0, nullptr);
  if (deep || typed_copy) {
    std::optional<cycles::walk> walk;
    if (deep && typed_copy) walk.emplace(held.data2);
    int32_t n = storage_cells(&storage);
    if (typed_copy)
      block::copy_nested(&storage, 1, n, 2, deep != 0, types);
    else
      block::copy_nested(&storage, 0, n, 1, true, nullptr);
  }
  uint32_t table = hashtable::copy(held.data3, storage.data2);
  *result = cell{(held.header & ~0xFFu) | TYPE_MAP, held.data1, storage.data2, table};
  return result;
}

cell* find(cell* m, cell* key, cell*, int32_t, int32_t case_, int32_t same, int32_t, cell*, cell*, int32_t,
           int32_t, int32_t, int32_t) {
  cell* pair = find_pair(m, key, lookup_mode(case_, same));
  if (!pair || removed_q(pair)) return &none::none_value;
  cell* result = stack::push(*pair);
  if (TYPE_OF(result) == TYPE_SET_WORD) result->header = TYPE_WORD;
  return result;
}

int32_t length_q(cell* m) { return count_of(m); }

cell* put(cell* m, cell* key, cell* value, int32_t case_) {
  store(m, key, value, nullptr, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
  return value;
}

cell* remove(cell* m, cell*, cell* key) {
  if (!stack::given_q(key)) fire(err::script_missing_arg);
  cell* pair = find_pair(m, key, COMP_STRICT_EQUAL);
  if (pair && !removed_q(pair)) hashtable::delete_key(m->data3, pair);
  return m;
}

cell* select(cell* m, cell* key, cell*, int32_t, int32_t case_, int32_t same, int32_t, cell*, cell*, int32_t,
             int32_t) {
  cell* pair = find_pair(m, key, lookup_mode(case_, same));
  return pair && !removed_q(pair) ? pair + 1 : &none::none_value;
}

}  // namespace

bool valid_key_type_q(uint32_t type) {
  switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT:
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TUPLE: case TYPE_BINARY: case TYPE_TIME:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_DATE: case TYPE_MONEY: case TYPE_REF: case TYPE_POINT2D:
    case TYPE_POINT3D:
      return true;
    default:
      return false;
  }
}

void prepare_key(cell* key, const cell* path) {
  uint32_t type = TYPE_OF(key);
  if (series_key_q(type)) {
    cell copied = *key;
    root_guard keep(&copied);
    series::copy(&copied, &copied, nullptr, 0, nullptr);
    *key = copied;
  } else if (type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD) {
    set_type(key, TYPE_SET_WORD);
  } else if (!valid_key_type_q(type)) {
    fire(err::script_invalid_path, {path ? *path : none::none_value, datatype_cell(type)});
  }
}

cell* make_at(cell* c, const cell* storage, int32_t size) {
  cell source = storage ? *storage : cell{TYPE_BLOCK, 0, 0, 0};
  root_guard keep(&source);
  uint32_t table;
  if (storage) {
    table = hashtable::init(std::max(size / 2, 1), &source, hashtable::KIND_MAP, 0);
  } else {
    block::make_at(&source, size);
    table = hashtable::init(std::max(size / 2, 1), &source, hashtable::KIND_MAP, 0);
  }
  *c = cell{(c->header & ~0xFFu) | TYPE_MAP, source.data1, source.data2, table};
  return c;
}

cell* extend(cell* m, cell* block, int32_t case_) {
  check_pairs(block);
  cell held = *m, source = *block;
  root_guard keep_map(&held), keep_source(&source);
  int32_t count = block::rs_length_q(&source);
  int32_t first = static_cast<int32_t>(source.data1);
  for (int32_t i = 0; i < count; i += 2) {
    cell key = head_of<cell>(buffer_of(source.data2))[first + i];
    cell value = head_of<cell>(buffer_of(source.data2))[first + i + 1];
    root_guard keep_key(&key), keep_value(&value);
    store(&held, &key, &value, nullptr, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
  }
  return m;
}

int32_t count_of(const cell* m) { return hashtable::record_of(m->data3)->size; }

bool foreach_next(const cell* words, cell* m, int32_t count) {
  auto loop_word = [&](int32_t k) {
    cell w = block::rs_length_q(words) > k ? *block::rs_abs_at(words, static_cast<int32_t>(words->data1) + k)
                                           : none::none_value;
    uint32_t t = TYPE_OF(&w);
    if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
      fire(err::script_invalid_arg, {w});
    return w;
  };
  for (int32_t k = 0; k < count; ++k) loop_word(k);
  bool any = false;
  int32_t pos = static_cast<int32_t>(m->data1);
  for (int32_t k = 0; k < count; ++k) {
    if (k % 2 == 0) {
      while (pos + 1 < storage_cells(m) && removed_q(storage_head(m) + pos)) {
        pos += 2;
        m->data1 += 2;
      }
    }
    cell value = none::none_value;
    root_guard keep_value(&value);
    if (pos < storage_cells(m)) {
      value = storage_head(m)[pos];
      if (k % 2 == 0) hand_out_key(&value, true);
      else if (TYPE_OF(&value) == TYPE_SET_WORD) value.header = TYPE_WORD;
      any = true;
    }
    ++pos;
    cell w = loop_word(k);
    root_guard keep_word(&w);
    word::set(&w, value);
  }
  return any;
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_MAP, 0, "map!",
    /* make .. set-path */     make, unsupported, reflect, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, clear, copy, find, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, length_q, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          put, remove, unsupported, select, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::map
