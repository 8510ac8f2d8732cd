// The symbol table: interning through the hashtable's symbol kind, name
// strings built on demand, canonical ids, the comparison of spellings and
// the symbol! registration.
#include "runtime/datatypes/symbol.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/hashtable.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::symbol {

using namespace memory;

uint32_t table = 0;

int32_t make(const char* text) {
  return make_part(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

int32_t make_part(const uint8_t* bytes, int32_t length) {
  return hashtable::get_symbol(table, bytes, length, false);
}

int32_t make_from_string(cell* s, int32_t length) {
  uint32_t cache = unicode::to_utf8_buffer(s, length, false);
  return make_part(head_of(buffer_of(cache)), length);
}

int32_t make_exact(const char* text) {
  return hashtable::get_symbol(table, reinterpret_cast<const uint8_t*>(text),
                               static_cast<int32_t>(std::strlen(text)), true);
}

uint32_t get_c_string(int32_t id) {
  if (uint32_t name = entry_of(id)->data2) return name;
  // The bytes lie in a series that the decoding's allocation may move.
  series_buffer* b = buffer_of(entry_of(id)->data3);
  std::string bytes(head_of<char>(b), tail_of<char>(b));
  uint32_t name = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         static_cast<int32_t>(bytes.size()));
  entry_of(id)->data2 = name;
  return name;
}

cell* get(int32_t id) {
  get_c_string(id);
  return entry_of(id);
}

int32_t get_alias(int32_t id) { return static_cast<int32_t>(entry_of(id)->data1); }

uint8_t* get_name_head(int32_t id) {
  series_buffer* b = buffer_of(get_c_string(id));
  if (tail_of(b) == data_end(b)) b = expand_series(b, b->size + 1);
  *tail_of(b) = 0;
  return head_of(b);
}

bool any_type_word_q(const cell* word) {
  return resolve(static_cast<int32_t>(word->data2)) == resolve(words::sym_any_type);
}

namespace {

// A spelling's UTF-8 bytes, read a code point at a time.
struct spelling {
  const uint8_t* p;
  const uint8_t* end;

  explicit spelling(const cell* entry) {
    series_buffer* b = buffer_of(entry->data3);
    p = head_of(b);
    end = tail_of(b);
  }
  int32_t length() const { return unicode::count_chars(p, end); }
  uint32_t next() {
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, cp);
    return static_cast<uint32_t>(cp);
  }
};

bool equality_op_q(int32_t op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
}

}  // namespace

int32_t compare_spellings(const cell* entry1, const cell* entry2, int32_t op) {
  if (entry1->data3 == entry2->data3) return 0;
  if (op == COMP_SAME) return -1;
  spelling s1(entry1), s2(entry2);
  int32_t length1 = s1.length(), length2 = s2.length();
  if (length1 != length2) {
    if (equality_op_q(op) || length2 == 0) return 1;
    if (length1 == 0) return -1;
  } else if (length1 == 0) {
    return 0;
  }
  bool fold = op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT;
  for (int32_t n = std::min(length1, length2); n > 0; --n) {
    uint32_t c1 = s1.next(), c2 = s2.next();
    if (fold) {
      c1 = case_folding::change_char(c1, 1);
      c2 = case_folding::change_char(c2, 1);
    }
    if (c1 != c2) return c1 < c2 ? -1 : 1;
  }
  return length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
}

namespace {

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_SYMBOL) return COMPARE_NONE;
  return compare_spellings(value1, value2, op);
}

}  // namespace

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_SYMBOL, 0, "symbol!",
    /* make .. set-path */     unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::symbol
